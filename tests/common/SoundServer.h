#pragma once
// The real sound server for tests and benchmarks: a null sink of a test's own whose
// monitor is recorded, a private server that a test may kill, and tone-burst files with
// the detection of their bursts in a capture.
//
// scripts/test starts a server and sets PULSE_SERVER and TAVRIN_SOUND_REQUIRED=1; a test
// run by hand without one skips its sound tests with the reason.
#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "sound/PulseLoop.h"

namespace soundtest {

// A client of the tests' own that waits for the server, as the program never does: its
// calls are made with the loop locked (TPulseLoop::TLock on Loop()).
class TTestClient {
 public:
  static constexpr int kServerTimeoutMs = 3000;
  // Nothing when no server answers in time.
  static std::unique_ptr<TTestClient> Connect(const char* clientName);
  ~TTestClient();
  TTestClient(const TTestClient&) = delete;
  TTestClient& operator=(const TTestClient&) = delete;

  TPulseLoop& Loop() const { return *loop_; }
  pa_context* Context() const { return context_; }
  // The rest with the lock held. Waits until done() holds; false when the time-out came.
  bool WaitUntil(const std::function<bool()>& done, int timeoutMs = kServerTimeoutMs);
  // Waits for the operation to finish and releases it; false for none or a time-out.
  bool Complete(pa_operation* operation);
  void Signal() { loop_->Signal(); }

 private:
  TTestClient() = default;
  std::unique_ptr<TPulseLoop> loop_;
  pa_context* context_ = nullptr;
};

// The player's notices, as the monitor shows them.
inline const char kNoticeNotAnswering[] = "The sound server does not answer: playing on silently";
inline const char kNoticeGone[] = "The sound server has gone: playing on silently";
inline const char kNoticeNoOutput[] = "No sound output: playing silently";
inline const char kNoticeNoServer[] = "No sound server: playing silently";
// The longest a call of the player (or a click of the window) may keep the UI thread,
// with a wide margin for a loaded machine and the sanitizers: a call that waited for
// the server would take the server's time-out, seconds. The figure itself is the
// playback benchmark's (ui_block_ms_max).
inline constexpr int64_t kUiBoundMs = 250;

// Why no sound server can be reached, or nothing when one answers.
std::optional<QString> ServerMissing();
bool ServerRequired();  // a missing server is a failure, not a skip
// The server answering is PipeWire's: where PulseAudio refuses a stream to a sink that is
// missing, it plays to its default sink instead.
bool ServerIsPipeWire();

// At the start of a test body: skips (or, where a server is required, fails) the test
// when no server answers.
#define TAVRIN_NEED_SOUND_SERVER()                                                \
  do {                                                                            \
    if (const auto missing_ = ::soundtest::ServerMissing()) {                     \
      if (::soundtest::ServerRequired()) GTEST_FAIL() << missing_->toStdString(); \
      GTEST_SKIP() << missing_->toStdString();                                    \
    }                                                                             \
  } while (0)

// Sets an environment variable for the lifetime of the object.
class TScopedEnv {
 public:
  TScopedEnv(const char* name, const QByteArray& value);
  ~TScopedEnv();
  TScopedEnv(const TScopedEnv&) = delete;
  TScopedEnv& operator=(const TScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<QByteArray> old_;
};

// Players opened while it lives play to the sound server; the process-wide switch is
// put back however the test ends.
class TSoundOn {
 public:
  TSoundOn();
  ~TSoundOn();
  TSoundOn(const TSoundOn&) = delete;
  TSoundOn& operator=(const TSoundOn&) = delete;

 private:
  bool wasSilent_;
};

// A null sink of this process on the server; while it lives, players opened in this
// process play to it (PULSE_SINK), so tests running side by side never hear each other.
class TNullSink {
 public:
  TNullSink();
  ~TNullSink();
  bool Loaded() const { return module_ != PA_INVALID_INDEX; }
  const QString& Name() const { return name_; }
  QString Monitor() const { return name_ + QStringLiteral(".monitor"); }

 private:
  std::unique_ptr<TTestClient> loop_;
  QString name_;
  uint32_t module_ = PA_INVALID_INDEX;
  std::unique_ptr<TScopedEnv> sinkEnv_;
};

// Records the monitor of a null sink as signed 16-bit mono at `rate`, from Start on.
class TMonitorCapture {
 public:
  struct TChunk {
    int64_t first;       // index of its first sample
    int64_t capturedUs;  // steady clock (QElapsedTimer's) when that sample was at the source
  };
  TMonitorCapture(const TNullSink& sink, uint32_t rate);
  ~TMonitorCapture();
  // Once it returns, the sink plays with the capture's short latency: a null sink
  // renders far ahead while nobody asks for less, and keeps what it has rendered.
  bool Start();
  void Stop();
  std::vector<int16_t> Samples() const;
  std::vector<TChunk> Chunks() const;
  uint32_t Rate() const { return rate_; }

 private:
  static void Readable(pa_stream* s, size_t bytes, void* userdata);
  std::unique_ptr<TTestClient> loop_;
  QString sink_;
  uint32_t rate_;
  pa_stream* stream_ = nullptr;
  // Guarded by the loop's lock.
  std::vector<int16_t> samples_;
  std::vector<TChunk> chunks_;
};

// A null sink that behaves like a sound card: its monitor is recorded all along, which
// holds the sink at the recording's short latency. Players opened while it lives play
// to it.
class TSoundDevice {
 public:
  static constexpr uint32_t kCaptureRate = 8000;
  TSoundDevice() { ready_ = sink_.Loaded() && capture_.Start(); }
  bool Ready() const { return ready_; }
  TMonitorCapture& Capture() { return capture_; }

 private:
  TNullSink sink_;
  TMonitorCapture capture_{sink_, kCaptureRate};
  bool ready_ = false;
};

// A server of its own, started from the pulseaudio program with a private runtime
// folder and one null sink (or none); PULSE_SERVER names it while it lives, and
// PULSE_SINK its sink.
class TPrivateServer {
 public:
  enum class TSinks { kOne, kNone };
  explicit TPrivateServer(TSinks sinks = TSinks::kOne);
  ~TPrivateServer();
  bool Running() const { return running_; }
  const QString& Error() const { return error_; }
  void Kill();  // SIGKILL, as a crash of the server would end it
  // SIGSTOP and SIGCONT: a server that stops answering (a stuck process, a dead link)
  // and keeps its connections.
  void Freeze();
  void Thaw();
  // A new server on the same socket, after Kill: true once it answers.
  bool Restart();

 private:
  bool Launch();
  QTemporaryDir dir_;
  TSinks sinks_;
  QProcess process_;
  bool running_ = false;
  bool frozen_ = false;
  QString error_;
  std::unique_ptr<TScopedEnv> serverEnv_;
  std::unique_ptr<TScopedEnv> sinkEnv_;
};

// Skips (or, where a server is required, fails) the test when the private server did not
// come up.
#define TAVRIN_NEED_PRIVATE_SERVER(server)                                           \
  do {                                                                               \
    if (!(server).Running()) {                                                       \
      if (::soundtest::ServerRequired()) GTEST_FAIL() << (server).Error().toStdString(); \
      GTEST_SKIP() << (server).Error().toStdString();                                \
    }                                                                                \
  } while (0)

// Steady microseconds on the clock TMonitorCapture stamps its chunks with.
int64_t SteadyUs();

struct TBurst {
  int64_t startMs;
  int64_t endMs;
};

// An 8-bit mono WAV image of `lengthMs` at `rate`: a 1 kHz tone during each burst,
// silence between.
QByteArray ToneBurstWav(const std::vector<TBurst>& bursts, int64_t lengthMs, uint32_t rate);

// The bursts heard in a capture: runs whose level stays above a quarter of the peak,
// gaps shorter than 10 ms bridged.
std::vector<TBurst> FindBursts(const std::vector<int16_t>& samples, uint32_t rate);

}  // namespace soundtest
