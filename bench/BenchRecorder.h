#pragma once
// What the benchmarks that record share: the recorder on the virtual voice modem on COM1
// (stand-in controls and call list, the link, the panel), an event-loop wait, and the
// count of sent bytes that are not in a file.
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cstdint>
#include <string>

#include "common/DetachedRecorderControls.h"
#include "common/RecorderStandIns.h"
#include "modem/ModemF.h"
#include "modem/MonitorForm.h"
#include "recording/RecorderPanel.h"
#include "serial/PortMap.h"
#include "vmodem/VirtualModem.h"

inline constexpr int kBenchModemPort = 1;

// Runs the event loop until pred holds or ms have passed; true when it held.
template <class Pred>
bool PumpUntil(Pred pred, int ms, int pollMs = 20) {
  QElapsedTimer t;
  t.start();
  while (!pred()) {
    if (t.elapsed() >= ms) return false;
    QEventLoop loop;
    QTimer::singleShot(pollMs, &loop, &QEventLoop::quit);
    loop.exec();
  }
  return true;
}

// Bytes of `sent` missing from `data` or different in it.
inline int64_t LostBytes(const std::string& sent, const QByteArray& data) {
  int64_t lost = std::max<int64_t>(0, static_cast<int64_t>(sent.size()) - data.size());
  const int64_t common = std::min<int64_t>(data.size(), static_cast<int64_t>(sent.size()));
  for (int64_t i = 0; i < common; ++i) {
    if (data[static_cast<qsizetype>(i)] != sent[static_cast<size_t>(i)]) ++lost;
  }
  return lost;
}

// The recorder on a running virtual modem, in a window of its own.
struct TBenchRecorder {
  explicit TBenchRecorder(vmodem::Options options, int rate = 8000)
      : modem(std::move(options)),
        c(MakeDetachedRecorderControls(window)),
        hooks(callList.Hooks(QStringLiteral("BENCH"))),
        link(&monitor),
        panel(c, hooks, link) {
    modem.start();
    SetPortPathSource([this](int n) -> std::optional<std::string> {
      if (n == kBenchModemPort) return modem.slavePath();
      return std::nullopt;
    });
    UseVirtualModemProfile(kBenchModemPort, rate);
  }
  ~TBenchRecorder() { SetPortPathSource(nullptr); }
  TBenchRecorder(const TBenchRecorder&) = delete;
  TBenchRecorder& operator=(const TBenchRecorder&) = delete;

  // Opens the port, turns the echo off and presses Record; true once it records.
  bool Record() {
    panel.Recorder.On1Click();
    QByteArray answer;  // the echo is still on: the answer holds the echoed command
    link.SendAndRead("ate0", answer);
    panel.Recorder.StartRecording();
    return panel.RecordingActive();
  }

  vmodem::VirtualModem modem;
  QWidget window;
  TRecorderControls c;
  TCountedCallList callList;
  TCallListHooks hooks;
  TMonitorForm monitor;
  TModemF link;
  TRecorderPanel panel;
};
