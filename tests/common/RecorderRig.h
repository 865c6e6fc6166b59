#pragma once
// A stand-in main window for recorder tests: the recorder controls, a call list kept
// in a vector, the modem link, captured messages and a private current directory.
#include <QAction>
#include <QDir>
#include <QLabel>
#include <QSlider>
#include <QSpinBox>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QWidget>
#include <memory>

#include "common/DetachedRecorderControls.h"
#include "modem/ModemF.h"
#include "modem/MonitorForm.h"
#include "recording/RecorderPanel.h"
#include "setup/Dialogs.h"
#include "setup/Shared.h"
#include "sound/WavFormat.h"

struct RecorderRig {
  QTemporaryDir dir;
  QString previousDir = QDir::currentPath();
  QWidget window;
  TRecorderControls c;
  QStringList calls;  // FileName of each call, in list order
  int selected = -1;  // selected row, 0-based
  int nameCounter = 0;
  QString currentFileName;
  bool listStored = true;  // what AddCallRecord says of the list on disk
  QStringList messages;
  TMonitorForm monitor;
  TModemF link{&monitor};
  std::unique_ptr<TRecorderPanel> panel;
  int64_t now = 0;  // the player's and the scope's clock, in milliseconds

  RecorderRig() {
    QDir::setCurrent(dir.path());
    TWavPlayer::SetSilentOutput(true);
    SetDialogHooks({[this](const QString& m) { messages << m; }, {}, {}});
    c = MakeDetachedRecorderControls(window);

    TCallListHooks hooks;
    hooks.NewFileName = [this] { return QStringLiteral("CALL%1").arg(++nameCounter); };
    hooks.AddCallRecord = [this](const QString& fileName) {
      currentFileName = fileName;
      calls << currentFileName;
      selected = static_cast<int>(calls.size()) - 1;
      return listStored;
    };
    hooks.CallCount = [this] { return static_cast<int>(calls.size()); };
    hooks.SelectedFileName = [this] {
      return selected >= 0 && selected < calls.size() ? calls[selected] : QString();
    };
    hooks.CurrentFileName = &currentFileName;
    panel = std::make_unique<TRecorderPanel>(c, hooks, link);
    panel->Player.SetClock([this] { return now; });
    panel->Scope.Clock = [this] { return now; };

    CurrentProfile = TModemParams{};
    CallOptions = TCallOptions{};
    CurrentProfile.SamplingFreq = 8000;
    Voicefeatures = true;
  }

  ~RecorderRig() {
    panel.reset();
    SetDialogHooks({});
    QDir::setCurrent(previousDir);
  }

  // Puts the recorder in the state of a recording that has received `samples`.
  void FakeRecording(const QByteArray& samples) {
    c.Record1->setEnabled(false);
    panel->Recorder.ReceptionBegun(TRecordState::kReceiving);
    Receive(samples);
  }

  // What the text side of the receive handler does with a chunk, then the voice side.
  void Receive(const QByteArray& chunk) {
    link.DataReceived = true;
    link.ReceivedText = chunk;
    if (link.OnVoiceData) link.OnVoiceData(static_cast<uint16_t>(chunk.size()));
  }

  // A recording file in wav/ with `samples` at `rate`.
  void WriteWav(const QString& name, const QByteArray& samples, uint32_t rate = 8000) {
    TVoiceStream s;
    WriteWavHeader(s, static_cast<uint32_t>(samples.size()), rate);
    s.Write(samples.constData(), samples.size());
    QDir().mkpath(QStringLiteral("wav"));
    QFile f(QStringLiteral("wav/") + name + QStringLiteral(".wav"));
    f.open(QIODevice::WriteOnly);
    f.write(s.Data());
  }

  void AddCall(const QString& name) {
    calls << name;
    selected = static_cast<int>(calls.size()) - 1;
  }
};
