// What watching the calls costs, and how soon a recording ends after the far end hangs up.
//   hangup_detector_ns_per_byte: the hang-up watch over received chunks of 160 bytes
//   hangup_detector_cpu_share_at_8000: that cost as a share of one core at 8000 bytes/s
//   callerid_us_per_call: a call's lines (ring, date, time, number, name, ring) parsed
//   dialtone_to_stop_ms_median, dialtone_to_stop_ms_max: from the modem's <DLE>d to the
//     recording saved, on the virtual modem over a pty (5 recordings)
//   silence_to_stop_ms_median: from the start of line silence to the recording saved,
//     minus SilenceSeconds (1 s here; 5 recordings)
//   stop_to_listening_ms_median, stop_to_listening_ms_max: with caller ID in use, from a
//     recording saved at the far end's hang-up to caller ID switched on again on the port
//     opened again, the modem's answer in (5 recordings)
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "BenchRecorder.h"
#include "calls/CallerId.h"
#include "calls/HangUpDetector.h"
#include "modem/MonitorForm.h"
#include "setup/Dialogs.h"
#include "setup/Shared.h"

namespace {
using Clock = std::chrono::steady_clock;
constexpr int kRecordings = 5;
constexpr double kHangUpAfter = 0.5;

void DetectorCost() {
  // An hour at 8000/s, loud, with data bytes 0x10 doubled as the modem sends them.
  QByteArray chunk;
  for (int i = 0; chunk.size() < 160; ++i) {
    chunk += static_cast<char>(i % 7 == 0 ? 0x10 : 0x20 + i % 64);
    if (chunk.back() == '\x10') chunk += '\x10';
  }
  chunk.truncate(160);
  if (chunk.back() == '\x10') chunk.back() = '\x20';
  const qsizetype chunks = qsizetype(3600) * 8000 / chunk.size();
  THangUpDetector d;
  d.Start(5 * 8000, false);
  QElapsedTimer t;
  t.start();
  for (qsizetype i = 0; i < chunks; ++i) d.Feed(chunk);
  const double ns = double(t.nsecsElapsed()) / double(chunks * chunk.size());
  if (d.Found() != TLineEnd::kNone) std::fprintf(stderr, "a loud line ended the call\n");
  std::printf("hangup_detector_ns_per_byte: %.3f\n", ns);
  std::printf("hangup_detector_cpu_share_at_8000: %.6f\n", ns * 8000 / 1e9);
}

void CallerIdCost() {
  const char* lines[] = {"RING",           "DATE = 1208",     "TIME = 0930",
                         "NMBR = 5551234", "NAME = JOHN DOE", "RING"};
  constexpr int kCalls = 100000;
  TCallerId id;
  QElapsedTimer t;
  t.start();
  int64_t ms = 0;
  for (int call = 0; call < kCalls; ++call) {
    for (const char* line : lines) id.Take(QByteArrayView(line), ms);
    ms += 2 * TCallerId::kRingingMs;  // each call a new one
  }
  std::printf("callerid_us_per_call: %.3f\n", double(t.nsecsElapsed()) / 1000.0 / kCalls);
  if (id.Caller().Memo() != QStringLiteral("5551234 JOHN DOE")) std::fprintf(stderr, "no caller\n");
}

// A loud line whose far end hangs up kHangUpAfter into each recording, with this code.
vmodem::Options HangingUpLine(char code) {
  vmodem::Options o;
  o.line.kind = vmodem::LineOptions::Kind::Pattern;
  o.line.pattern = std::string("\x20\xe0", 2);
  o.line.hangupAfterSeconds = kHangUpAfter;
  o.line.hangupCode = code;
  return o;
}

// Stop on hang-up in use; `released` takes the moment Record is released.
void StopOnHangUp(TBenchRecorder& bench, Clock::time_point& released) {
  CallOptions = TCallOptions{};
  CallOptions.StopOnHangUp = true;
  QObject::connect(bench.c.RecSb1, &QToolButton::toggled, bench.c.RecSb1, [&released](bool pressed) {
    if (!pressed) released = Clock::now();
  });
}

// Milliseconds from the hang-up (or the end of the silence it takes) to the release of
// Record, for one recording on the virtual modem.
double StopDelayMs(char code, int silenceSeconds) {
  TBenchRecorder bench(HangingUpLine(code));
  TRecorderControls& c = bench.c;
  Clock::time_point released{};
  StopOnHangUp(bench, released);
  CallOptions.SilenceSeconds = silenceSeconds;
  bench.Record();
  PumpUntil([&] { return !c.RecSb1->isChecked(); }, 20000, 5);
  if (c.RecSb1->isChecked() || bench.callList.calls != 1) return -1;
  const Clock::time_point end =
      bench.modem.status().streamBegan +
      std::chrono::duration_cast<Clock::duration>(
          std::chrono::duration<double>(kHangUpAfter + (code ? 0 : silenceSeconds)));
  return std::chrono::duration<double, std::milli>(released - end).count();
}

// Milliseconds from the release of Record (a recording stopped at the hang-up) to the
// answer to the caller ID command after the port was opened again.
double ListeningAgainMs() {
  TBenchRecorder bench(HangingUpLine('d'));
  TRecorderControls& c = bench.c;
  Clock::time_point released{};
  StopOnHangUp(bench, released);
  CallOptions.CallerId = true;
  CurrentProfile.ForCallerId = QStringLiteral("at+vcid=1");
  bench.panel.CallWatch.SetEnabled(true);
  bench.panel.Listener.SetEnabled(true);
  if (!bench.Record()) return -1;
  PumpUntil([&] { return !c.RecSb1->isChecked(); }, 20000, 5);
  const auto answered = [&] {
    const QStringList& lines = bench.monitor.Lines();
    return bench.link.PortIsOpen && lines.count(QStringLiteral("Setting caller ID..")) == 2 &&
           lines.last() != QStringLiteral("Setting caller ID..");
  };
  if (!PumpUntil(answered, 20000, 1)) return -1;
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - released).count();
  bench.panel.Listener.SetEnabled(false);
  bench.panel.CallWatch.SetEnabled(false);
  CurrentProfile.ForCallerId.clear();
  return ms;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}
}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  SetDialogHooks(
      {[](const QString& m) { std::fprintf(stderr, "message: %s\n", qPrintable(m)); }, {}, {}});
  QTemporaryDir dir;
  QDir::setCurrent(dir.path());
  Voicefeatures = true;

  DetectorCost();
  CallerIdCost();
  std::vector<double> dialTone, silence;
  for (int i = 0; i < kRecordings; ++i) dialTone.push_back(StopDelayMs('d', 1));
  for (int i = 0; i < kRecordings; ++i) silence.push_back(StopDelayMs(0, 1));
  std::printf("dialtone_to_stop_ms_median: %.1f\n", Median(dialTone));
  std::printf("dialtone_to_stop_ms_max: %.1f\n",
              *std::max_element(dialTone.begin(), dialTone.end()));
  std::printf("silence_to_stop_ms_median: %.1f\n", Median(silence));
  std::vector<double> listening;
  for (int i = 0; i < kRecordings; ++i) listening.push_back(ListeningAgainMs());
  std::printf("stop_to_listening_ms_median: %.1f\n", Median(listening));
  std::printf("stop_to_listening_ms_max: %.1f\n",
              *std::max_element(listening.begin(), listening.end()));
  return 0;
}
