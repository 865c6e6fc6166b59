#pragma once
// The main window on a virtual modem that calls: the modem's line, the profile with
// its caller ID command, and the moments Record was released.
#include <QObject>
#include <QToolButton>
#include <chrono>

#include "MainFormTestSupport.h"
#include "sound/WavPlayer.h"
#include "vmodem/VirtualModem.h"

// A line none of whose samples lies near the zero level, its 0x10 doubled on the wire;
// the far end hangs up that long into each recording (none when negative).
inline vmodem::Options CallingModem(double hangupAfter, char hangupCode = 'd') {
  vmodem::Options o;
  o.line.kind = vmodem::LineOptions::Kind::Pattern;
  o.line.pattern = std::string("\x80\x10\x90\x03\x7f", 5);
  o.line.hangupAfterSeconds = hangupAfter;
  o.line.hangupCode = hangupCode;
  return o;
}

// The profile of the virtual modem with ForCallerId, and the keys of section Params.
inline QByteArray CallIni(const QByteArray& params) {
  QByteArray ini = kVirtualModemIni;
  ini.replace("[Modem]\n", "[Modem]\nForCallerId=at+vcid=1\n");
  return ini + params;
}

struct CallRig {
  using Clock = std::chrono::steady_clock;

  CallRig(vmodem::Options options, const QByteArray& ini) : modem(std::move(options)) {
    TWavPlayer::SetSilentOutput(true);
    modem.start();
    fx.portPath = modem.slavePath();
    fx.Write("Tavrin.ini", ini);
  }
  TMainForm& Start() {
    TMainForm& form = fx.Start();
    QObject::connect(form.RecSb1, &QToolButton::toggled, form.RecSb1, [this](bool pressed) {
      if (!pressed) released = Clock::now();
    });
    return form;
  }
  // Seconds from the far end's hang-up to the release of Record.
  double StopDelay(double hangupAfter) const {
    const Clock::time_point hangUp =
        modem.status().streamBegan +
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(hangupAfter));
    return std::chrono::duration<double>(released - hangUp).count();
  }
  QByteArray Wav(const TCallRecord& call) const {
    return fx.Read("wav/" + call.FileName + ".wav");
  }

  MainFormFixture fx;
  vmodem::VirtualModem modem;
  Clock::time_point released{};
};
