// Recovery of a long recording journal, the cost of journaling a chunk, and what a slow
// disk does to a recording.
//   recovery_1h_journal_ms: a journal of one hour at 8000/s turned into a WAV and a call
//   journal_append_us_per_chunk: one received chunk of 160 bytes written to the journal
//   ui_block_ms_max: the longest the UI thread did not run its events during a recording
//     from the virtual modem whose journal syncs each take 2 s (the disk at its slowest)
//   delivery_ms_p99: how late, at the 99th percentile, received samples reached the
//     recorder in that run (bytes the modem had sent but the recorder had not taken)
//   bytes_lost: samples the modem sent that are not in the saved WAV file
//   each again with "_fast_disk": the same recording with the journal's real sync
//
//   recovery [--seconds N]   (each recording N seconds, 8 by default)
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "BenchRecorder.h"
#include "calls/RecordingRecovery.h"
#include "recording/RecordingJournal.h"
#include "setup/Dialogs.h"
#include "setup/Shared.h"
#include "sound/RecordingFiles.h"

namespace {
constexpr int kRate = 8000;
constexpr int kDefaultSeconds = 8;
constexpr int kSlowSyncMs = 2000;
constexpr int kHeartbeatMs = 5;
constexpr int kDrainMs = 10000;

void Print(const char* name, double value) {
  std::printf("%s: %.6g\n", name, value);
  std::fflush(stdout);
}

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0.0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(p * double(v.size())))];
}

struct RunFigures {
  double uiBlockMsMax = 0;
  double deliveryMsP99 = 0;
  double bytesLost = 0;
};

// Records `seconds` from the virtual modem with the journal's sync taking `syncMs` more.
RunFigures RecordWithSync(int syncMs, int seconds) {
  vmodem::Options options;
  options.line.kind = vmodem::LineOptions::Kind::Pattern;
  options.line.pattern = std::string("\x80\x81\x7f\x90", 4);  // no DLE: wire = samples
  TBenchRecorder bench(options, kRate);
  TRecorderPanel& panel = bench.panel;
  TModemF& link = bench.link;
  if (syncMs > 0) {
    panel.Recorder.Journal.SetSync([syncMs](int fd) {
      std::this_thread::sleep_for(std::chrono::milliseconds(syncMs));
      return ::fdatasync(fd);
    });
  }

  // How far behind the modem each delivery is: bytes sent but not yet taken.
  std::vector<int64_t> behind;
  const auto take = panel.Receiver.OnSamples;
  panel.Receiver.OnSamples = [&](QByteArrayView samples) {
    take(samples);
    behind.push_back(static_cast<int64_t>(bench.modem.status().streamedBytes) - link.RecordedBytes);
  };
  RunFigures f;
  if (!bench.Record()) {
    std::fprintf(stderr, "the recording did not start\n");
    f.bytesLost = -1;
    return f;
  }

  QElapsedTimer beat;
  beat.start();
  int64_t lastBeat = 0;
  int64_t maxGap = 0;
  QTimer heartbeat;
  heartbeat.setTimerType(Qt::PreciseTimer);
  QObject::connect(&heartbeat, &QTimer::timeout, [&] {
    const int64_t now = beat.elapsed();
    maxGap = std::max(maxGap, now - lastBeat);
    lastBeat = now;
  });
  heartbeat.start(kHeartbeatMs);
  {
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
  }
  heartbeat.stop();

  bench.modem.stop();
  const std::string sent = bench.modem.streamed();
  PumpUntil([&] { return link.RecordedBytes >= static_cast<int64_t>(sent.size()); }, kDrainMs);
  panel.Recorder.StopRecordingOrPlayback();
  QFile file(QStringLiteral("wav/") + bench.callList.currentFileName + QStringLiteral(".wav"));
  const QByteArray image = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  // The modem's answer to "at+vrx" comes before the samples and is recorded too.
  const QByteArray data = image.mid(44);
  const qsizetype at = data.indexOf(QByteArray::fromStdString(sent.substr(0, 64)));
  const int64_t lost = LostBytes(sent, at < 0 ? QByteArray() : data.mid(at));

  // The delivery least behind was on time: the answer's bytes put it below zero.
  const int64_t onTime = behind.empty() ? 0 : *std::min_element(behind.begin(), behind.end());
  std::vector<double> lateMs;
  lateMs.reserve(behind.size());
  for (const int64_t b : behind) lateMs.push_back(double(b - onTime) * 1000.0 / kRate);
  f.uiBlockMsMax = double(maxGap - kHeartbeatMs);
  f.deliveryMsP99 = Percentile(lateMs, 0.99);
  f.bytesLost = double(lost);
  return f;
}

void JournalAppendCost() {
  constexpr int kChunk = 160, kChunks = 20000;
  const QByteArray chunk(kChunk, '\x80');
  TRecordingJournal journal;
  QString error;
  journal.Start(kRate, &error);
  QElapsedTimer t;
  t.start();
  for (int i = 0; i < kChunks; ++i) journal.Append(chunk);
  Print("journal_append_us_per_chunk", double(t.nsecsElapsed()) / 1000.0 / kChunks);
  journal.Discard();
}

bool RecoveryOfAnHour() {
  TJournalHeader h{kRate, 1700000000000, 12345};
  QFile f(QStringLiteral("wav/0000000000003039.journal"));
  if (!f.open(QIODevice::WriteOnly)) return false;
  f.write(EncodeJournalHeader(h));
  const QByteArray second(kRate, '\x81');
  for (int s = 0; s < 3600; ++s) f.write(second);
  f.close();
  QElapsedTimer t;
  t.start();
  const QStringList lines = RecoverRecordings();
  Print("recovery_1h_journal_ms", double(t.elapsed()));
  return lines.size() == 1 && lines[0].contains(QStringLiteral("recovered"));
}
}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  int seconds = kDefaultSeconds;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) seconds = std::atoi(argv[++i]);
  }
  SetDialogHooks(
      {[](const QString& m) { std::fprintf(stderr, "message: %s\n", qPrintable(m)); }, {}, {}});
  TWavPlayer::SetSilentOutput(true);
  QTemporaryDir dir;
  QDir::setCurrent(dir.path());
  Voicefeatures = true;
  QString error;
  if (!EnsureWavFolder(&error)) return 1;

  JournalAppendCost();
  const bool recovered = RecoveryOfAnHour();
  QDir(QStringLiteral("wav")).removeRecursively();

  const RunFigures fast = RecordWithSync(0, seconds);
  const RunFigures slow = RecordWithSync(kSlowSyncMs, seconds);
  Print("seconds_per_recording", seconds);
  Print("ui_block_ms_max", slow.uiBlockMsMax);
  Print("delivery_ms_p99", slow.deliveryMsP99);
  Print("bytes_lost", slow.bytesLost);
  Print("ui_block_ms_max_fast_disk", fast.uiBlockMsMax);
  Print("delivery_ms_p99_fast_disk", fast.deliveryMsP99);
  Print("bytes_lost_fast_disk", fast.bytesLost);
  return recovered && slow.bytesLost == 0 && fast.bytesLost == 0 ? 0 : 1;
}
