// Plays a file of short tone bursts, one every 100 ms, through the WAV player on a real
// sound server while recording the sink's monitor, and compares what the player reports
// with what the sink played:
//   position_error_ms_p99  the player's position at the moment each burst reached the
//                          sink, against the burst's place in the file
//   end_early_ms           how long before the last sample was played the player said
//                          the file had ended (the worst run; negative: it said so later)
//   start_latency_ms       from Play to the first sample at the sink (the median run)
//   cpu_s_per_played_s     the process's CPU time per second played, queried every
//                          100 ms as the main window does
//   ui_block_ms_max        the longest that one call of the player kept the UI thread,
//                          across servers of its own that stop answering (SIGSTOP)
//                          during each action, have no sink, are asked for a sink that
//                          is missing, or are killed and restarted during a playback
// Uses PULSE_SERVER when it answers, else starts a private pulseaudio.
//
//   playback [--runs N]
#include <sys/resource.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "common/SoundServer.h"
#include "sound/WavPlayer.h"

namespace {
using soundtest::TBurst;
constexpr uint32_t kRate = 8000;
constexpr int64_t kFileMs = 3000;
constexpr int64_t kBurstEveryMs = 100;
constexpr int64_t kBurstMs = 20;
constexpr int kDefaultRuns = 5;
constexpr int kPollMs = 1;
constexpr int kUiTickMs = 100;
constexpr int64_t kSettleMs = 500;
constexpr int64_t kUsPerMs = 1000;

struct TSample {
  int64_t wallUs;
  int64_t position;
};

struct TRun {
  int64_t playUs = 0;
  int64_t endUs = 0;
  std::vector<TSample> positions;
};

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The player's position at a wall time, interpolated between the queries around it.
std::optional<double> PositionAt(const TRun& run, int64_t wallUs) {
  const auto& p = run.positions;
  const auto after = std::lower_bound(p.begin(), p.end(), wallUs,
                                      [](const TSample& s, int64_t t) { return s.wallUs < t; });
  if (after == p.begin() || after == p.end()) return std::nullopt;
  const auto before = after - 1;
  const double span = double(after->wallUs - before->wallUs);
  const double f = span > 0 ? double(wallUs - before->wallUs) / span : 0;
  return double(before->position) + f * double(after->position - before->position);
}

TRun Play(TWavPlayer& player, const QByteArray& image, int pollMs) {
  TRun run;
  player.OpenImage(image);
  run.playUs = soundtest::SteadyUs();
  player.Play();
  while (player.Mode() == TPlayerMode::Playing) {
    run.positions.push_back({soundtest::SteadyUs(), player.Position()});
    // What the server says reaches the player through the UI thread's events.
    QCoreApplication::processEvents();
    QThread::msleep(static_cast<unsigned long>(pollMs));
  }
  run.endUs = soundtest::SteadyUs();
  run.positions.push_back({run.endUs, player.Position()});
  player.Close();
  return run;
}

// The longest call of the player seen so far.
class TStallMeter {
 public:
  template <class Call>
  void Time(Call call) {
    QElapsedTimer t;
    t.start();
    call();
    maxMs_ = std::max(maxMs_, double(t.nsecsElapsed()) / 1e6);
  }
  double MaxMs() const { return maxMs_; }

 private:
  double maxMs_ = 0;
};

// Runs the UI thread's event loop for ms, asking the player for its mode and position
// every 10 ms as the main window's timer does.
void RunFor(int ms, TWavPlayer& player, TStallMeter& meter) {
  QEventLoop loop;
  QTimer tick;
  QObject::connect(&tick, &QTimer::timeout, [&] {
    meter.Time([&] { player.Mode(); });
    meter.Time([&] { player.Position(); });
  });
  tick.start(10);
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

enum class TAction { kOpen, kPlay, kPause, kResume, kSeek, kClose };

// One action with the server stopped just before it, then the second after it.
void FreezeDuring(TAction action, const QByteArray& image, TStallMeter& meter) {
  constexpr int kBeforeMs = 300;
  constexpr int kAfterMs = 1500;
  soundtest::TPrivateServer server;
  if (!server.Running()) {
    std::fprintf(stderr, "no private server: %s\n", qPrintable(server.Error()));
    return;
  }
  TWavPlayer player;
  if (action != TAction::kOpen) {
    player.OpenImage(image);
    RunFor(kBeforeMs, player, meter);
    if (action != TAction::kPlay) {
      player.Play();
      RunFor(kBeforeMs, player, meter);
    }
    if (action == TAction::kResume) {
      player.Pause();
      RunFor(kBeforeMs, player, meter);
    }
  }
  server.Freeze();
  switch (action) {
    case TAction::kOpen:
      meter.Time([&] { player.OpenImage(image); });
      meter.Time([&] { player.Play(); });
      break;
    case TAction::kPlay:
      meter.Time([&] { player.Play(); });
      break;
    case TAction::kPause:
      meter.Time([&] { player.Pause(); });
      break;
    case TAction::kResume:
      meter.Time([&] { player.Resume(); });
      break;
    case TAction::kSeek:
      meter.Time([&] { player.Seek(player.Length() / 2); });
      meter.Time([&] { player.Resume(); });
      break;
    case TAction::kClose:
      meter.Time([&] { player.Close(); });
      break;
  }
  RunFor(kAfterMs, player, meter);
  meter.Time([&] { player.Close(); });
  server.Thaw();
}

// A server with nothing to play to, or asked for a sink it does not have.
void PlayWithoutOutput(soundtest::TPrivateServer::TSinks sinks, const char* sink,
                       const QByteArray& image, TStallMeter& meter) {
  soundtest::TPrivateServer server(sinks);
  if (!server.Running()) return;
  std::unique_ptr<soundtest::TScopedEnv> env;
  if (sink) env = std::make_unique<soundtest::TScopedEnv>("PULSE_SINK", sink);
  TWavPlayer player;
  meter.Time([&] { player.OpenImage(image); });
  meter.Time([&] { player.Play(); });
  RunFor(1000, player, meter);
  meter.Time([&] { player.Close(); });
}

void KillAndRestart(const QByteArray& image, TStallMeter& meter) {
  soundtest::TPrivateServer server;
  if (!server.Running()) return;
  TWavPlayer player;
  meter.Time([&] { player.OpenImage(image); });
  meter.Time([&] { player.Play(); });
  RunFor(300, player, meter);
  server.Kill();
  RunFor(500, player, meter);
  if (!server.Restart()) return;
  meter.Time([&] { player.Pause(); });
  meter.Time([&] { player.Resume(); });
  RunFor(1000, player, meter);
  meter.Time([&] { player.Close(); });
}

double UiBlockMsMax(const QByteArray& image) {
  TStallMeter meter;
  for (TAction a : {TAction::kOpen, TAction::kPlay, TAction::kPause, TAction::kResume,
                    TAction::kSeek, TAction::kClose}) {
    FreezeDuring(a, image, meter);
  }
  PlayWithoutOutput(soundtest::TPrivateServer::TSinks::kNone, nullptr, image, meter);
  PlayWithoutOutput(soundtest::TPrivateServer::TSinks::kOne, "tavrin_missing", image, meter);
  KillAndRestart(image, meter);
  return meter.MaxMs();
}

double Percentile(std::vector<double> v, double q) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[static_cast<size_t>(std::lround(q * double(v.size() - 1)))];
}
}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  int runs = kDefaultRuns;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--runs") == 0) runs = std::max(1, std::atoi(argv[i + 1]));
  }
  std::unique_ptr<soundtest::TPrivateServer> own;
  if (soundtest::ServerMissing()) {
    own = std::make_unique<soundtest::TPrivateServer>();
    if (!own->Running()) {
      std::fprintf(stderr, "no sound server: %s\n", qPrintable(own->Error()));
      return 1;
    }
  }
  soundtest::TSoundDevice device;
  if (!device.Ready()) {
    std::fprintf(stderr, "the null sink or its capture did not start\n");
    return 1;
  }
  std::vector<TBurst> bursts;
  for (int64_t at = 0; at < kFileMs; at += kBurstEveryMs) bursts.push_back({at, at + kBurstMs});
  bursts.back().endMs = kFileMs;  // the file ends inside a burst: its end is the last sample
  const QByteArray image = soundtest::ToneBurstWav(bursts, kFileMs, kRate);

  TWavPlayer::SetSilentOutput(false);
  TWavPlayer player;
  std::vector<TRun> measured;
  for (int r = 0; r < runs; ++r) {
    measured.push_back(Play(player, image, kPollMs));
    QThread::msleep(kSettleMs);
  }
  const double cpuBefore = CpuSeconds();
  const TRun ui = Play(player, image, kUiTickMs);
  const double cpu = CpuSeconds() - cpuBefore;
  QThread::msleep(kSettleMs);

  // Sample i of the capture was at the sink at origin + i / rate.
  const std::vector<int16_t> samples = device.Capture().Samples();
  std::vector<double> origins;
  for (const auto& c : device.Capture().Chunks()) {
    origins.push_back(double(c.capturedUs) - double(c.first) * 1e6 / kRate);
  }
  const double origin = Percentile(origins, 0.5);
  const std::vector<TBurst> heard = soundtest::FindBursts(samples, kRate);
  const auto wallOf = [&](int64_t captureMs) { return int64_t(origin) + captureMs * kUsPerMs; };

  std::vector<double> errors, starts, ends;
  for (const TRun& run : measured) {
    std::vector<TBurst> mine;
    for (const TBurst& b : heard) {
      const int64_t at = wallOf(b.startMs);
      if (at >= run.playUs && at <= run.endUs + kSettleMs * kUsPerMs) mine.push_back(b);
    }
    if (mine.size() != bursts.size()) {
      std::fprintf(stderr, "a run was heard with %zu bursts, not %zu\n", mine.size(),
                   bursts.size());
      continue;
    }
    starts.push_back(double(wallOf(mine.front().startMs) - run.playUs) / kUsPerMs);
    ends.push_back(double(wallOf(mine.back().endMs) - run.endUs) / kUsPerMs);
    for (size_t k = 0; k < mine.size(); ++k) {
      if (const auto p = PositionAt(run, wallOf(mine[k].startMs))) {
        errors.push_back(std::abs(*p - double(bursts[k].startMs)));
      }
    }
  }
  if (errors.empty()) return 1;
  const double played = double(ui.endUs - ui.playUs) / 1e6;
  std::printf("position_error_ms_p99: %.1f\n", Percentile(errors, 0.99));
  std::printf("end_early_ms: %.1f\n", *std::max_element(ends.begin(), ends.end()));
  std::printf("start_latency_ms: %.1f\n", Percentile(starts, 0.5));
  std::printf("cpu_s_per_played_s: %.4f\n", played > 0 ? cpu / played : 0.0);
  std::fflush(stdout);
  std::printf("ui_block_ms_max: %.1f\n", UiBlockMsMax(image));
  return 0;
}
