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

#include "modem/ModemF.h"
#include "modem/MonitorForm.h"
#include "modem/RecorderPanel.h"
#include "modem/WavFormat.h"
#include "setup/Dialogs.h"
#include "setup/Shared.h"

struct RecorderRig {
  QTemporaryDir dir;
  QString previousDir = QDir::currentPath();
  QWidget window;
  TRecorderControls c;
  QStringList calls;  // FileName of each call, in list order
  int selected = -1;  // selected row, 0-based
  int nameCounter = 0;
  QString currentFileName;
  bool recordingActive = false;
  QStringList messages;
  TMonitorForm monitor;
  TModemF link{&monitor};
  std::unique_ptr<TRecorderPanel> panel;
  int64_t now = 0;  // the player's clock, in milliseconds

  RecorderRig() {
    QDir::setCurrent(dir.path());
    TWavPlayer::SetSilentOutput(true);
    SetDialogHooks({[this](const QString& m) { messages << m; }, {}, {}});
    auto button = [this](bool checkable) {
      auto* b = new QToolButton(&window);
      b->setCheckable(checkable);
      return b;
    };
    auto action = [this](bool checkable = false) {
      auto* a = new QAction(&window);
      a->setCheckable(checkable);
      return a;
    };
    c.Playsb1 = button(true);
    c.PauseSb1 = button(true);
    c.StopSb1 = button(false);
    c.PrevSb1 = button(false);
    c.NextSb1 = button(false);
    c.RecSb1 = button(true);
    c.Play1 = action();
    c.Pause1 = action();
    c.Stop1 = action();
    c.Previous1 = action();
    c.Next1 = action();
    c.Record1 = action();
    c.On1 = action(true);
    c.Off1 = action(true);
    c.Comment1 = action();
    c.Delete1 = action();
    c.TrackBar1 = new QSlider(Qt::Horizontal, &window);
    c.TrackBar1->setRange(0, 100);
    c.Label10 = new QLabel(&window);
    c.SpinEdit1 = new QSpinBox(&window);
    c.SpinEdit1->setRange(100, 2000);
    c.SpinEdit1->setSingleStep(100);
    c.SpinEdit1->setValue(1600);
    c.Timer2 = new QTimer(&window);
    c.Timer2->setInterval(100);

    TCallListHooks hooks;
    hooks.AddCallRecord = [this] {
      currentFileName = QStringLiteral("CALL%1").arg(++nameCounter);
      calls << currentFileName;
      selected = static_cast<int>(calls.size()) - 1;
    };
    hooks.DropLastCallRecord = [this] {
      calls.removeLast();
      selected = static_cast<int>(calls.size()) - 1;
    };
    hooks.CallCount = [this] { return static_cast<int>(calls.size()); };
    hooks.SelectedFileName = [this] {
      return selected >= 0 && selected < calls.size() ? calls[selected] : QString();
    };
    hooks.CurrentFileName = &currentFileName;
    panel = std::make_unique<TRecorderPanel>(c, hooks, link, recordingActive);
    panel->Player.SetClock([this] { return now; });

    CurrentProfile = TModemParams{};
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
    c.RecSb1->setChecked(true);
    c.Record1->setEnabled(false);
    panel->RecordingActive = true;
    panel->VoiceStream.Clear();
    panel->VoiceStream.SetPosition(kWavHeaderSize);
    link.RecordedBytes = 0;
    link.BlockCount = 0;
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
