#pragma once
// Stand-ins for driving the recorder against the virtual modem without the main window
// (tests, benchmarks): a call list that only counts and names its calls, and the profile
// of the virtual modem's unsigned 8-bit PCM method.
#include <QString>

#include "recording/RecorderControls.h"
#include "setup/Shared.h"

struct TCountedCallList {
  QString currentFileName;
  int calls = 0;

  TCallListHooks Hooks(const QString& prefix) {
    TCallListHooks hooks;
    hooks.NewFileName = [this, prefix] { return prefix + QString::number(calls + 1); };
    hooks.AddCallRecord = [this](const QString& fileName) {
      currentFileName = fileName;
      ++calls;
      return true;
    };
    hooks.CallCount = [this] { return calls; };
    hooks.SelectedFileName = [this] { return currentFileName; };
    hooks.CurrentFileName = &currentFileName;
    return hooks;
  }
};

inline void UseVirtualModemProfile(int port, int rate = 8000) {
  CurrentProfile = TModemParams{};
  CurrentProfile.port = port;
  CurrentProfile.SamplingFreq = rate;
  CurrentProfile.VoiceMode = QStringLiteral("at+fclass=8");
  CurrentProfile.RecGain = QStringLiteral("at+vgr=128");
  CurrentProfile.VoiceCompression = QStringLiteral("at+vsm=1,%1").arg(rate);
  CurrentProfile.UseLine = QStringLiteral("at+vls=1");
  CurrentProfile.UseLineRes = QStringLiteral("OK");
}
