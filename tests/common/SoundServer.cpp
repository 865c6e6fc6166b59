#include "common/SoundServer.h"

#include <signal.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QThread>
#include <QtGlobal>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <numbers>

#include <pulse/rtclock.h>

#include "sound/VoiceStream.h"
#include "sound/WavFormat.h"
#include "sound/WavPlayer.h"

namespace soundtest {
namespace {
constexpr const char* kClientName = "Tavrin test";
constexpr int kServerStartMs = 10000;
constexpr int kServerPollMs = 50;
// A crashed test leaves no server behind for long: it ends once idle this long.
constexpr const char* kPrivateIdleExit = "--exit-idle-time=20";
constexpr const char* kPrivateSink = "tavrin_private";
constexpr uint32_t kCaptureFragmentUs = 10000;
constexpr double kToneHz = 1000.0;
constexpr double kToneAmplitude = 100.0;
constexpr int kZeroLevel = 128;
constexpr int64_t kWindowMs = 2;
constexpr int64_t kBridgedGapMs = 10;
constexpr int64_t kShortestBurstMs = 6;
constexpr int kThresholdDivisor = 4;

QString ServerName() {
  const QByteArray server = qgetenv("PULSE_SERVER");
  return server.isEmpty() ? QStringLiteral("the default server") : QString::fromUtf8(server);
}
}  // namespace

// ---- TTestClient ----

namespace {
constexpr pa_usec_t kUsPerMs = 1000;

struct TDeadline {
  TTestClient* client = nullptr;
  bool expired = false;
};
}  // namespace

std::unique_ptr<TTestClient> TTestClient::Connect(const char* clientName) {
  std::unique_ptr<TTestClient> self(new TTestClient);
  self->loop_ = TPulseLoop::Start();
  if (!self->loop_) return nullptr;
  // The lock is let go before a failed client is destroyed: that stops the loop's thread.
  const bool ready = [&] {
    TPulseLoop::TLock lock(*self->loop_);
    self->context_ = pa_context_new(self->loop_->Api(), clientName);
    if (!self->context_) return false;
    pa_context_set_state_callback(
        self->context_,
        [](pa_context*, void* userdata) { static_cast<TTestClient*>(userdata)->Signal(); },
        self.get());
    if (pa_context_connect(self->context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
      return false;
    }
    pa_context* c = self->context_;
    self->WaitUntil([c] {
      return !PA_CONTEXT_IS_GOOD(pa_context_get_state(c)) ||
             pa_context_get_state(c) == PA_CONTEXT_READY;
    });
    return pa_context_get_state(c) == PA_CONTEXT_READY;
  }();
  return ready ? std::move(self) : nullptr;
}

TTestClient::~TTestClient() {
  if (context_) {
    {
      TPulseLoop::TLock lock(*loop_);
      pa_context_set_state_callback(context_, nullptr, nullptr);
      pa_context_disconnect(context_);
    }
    // The thread is stopped before what it works on goes away.
    loop_.reset();
    pa_context_unref(context_);
  }
}

bool TTestClient::WaitUntil(const std::function<bool()>& done, int timeoutMs) {
  if (done()) return true;
  TDeadline deadline{this, false};
  pa_time_event* timer = pa_context_rttime_new(
      context_, pa_rtclock_now() + pa_usec_t(timeoutMs) * kUsPerMs,
      [](pa_mainloop_api*, pa_time_event*, const struct timeval*, void* userdata) {
        auto* d = static_cast<TDeadline*>(userdata);
        d->expired = true;
        d->client->Signal();
      },
      &deadline);
  bool met = false;
  while (!(met = done()) && !deadline.expired) loop_->Wait();
  loop_->Api()->time_free(timer);
  return met;
}

bool TTestClient::Complete(pa_operation* operation) {
  if (!operation) return false;
  pa_operation_set_state_callback(
      operation, [](pa_operation*, void* userdata) { static_cast<TTestClient*>(userdata)->Signal(); },
      this);
  const bool done =
      WaitUntil([operation] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; });
  pa_operation_set_state_callback(operation, nullptr, nullptr);
  pa_operation_unref(operation);
  return done;
}

std::optional<QString> ServerMissing() {
  if (TTestClient::Connect(kClientName)) return std::nullopt;
  return QStringLiteral("no sound server answers at %1; scripts/test starts one (PULSE_SERVER)")
      .arg(ServerName());
}

bool ServerIsPipeWire() {
  const auto client = TTestClient::Connect(kClientName);
  if (!client) return false;
  QString name;
  TPulseLoop::TLock lock(client->Loop());
  client->Complete(pa_context_get_server_info(
      client->Context(),
      [](pa_context*, const pa_server_info* info, void* userdata) {
        if (info && info->server_name) *static_cast<QString*>(userdata) = info->server_name;
      },
      &name));
  return name.contains(QLatin1String("PipeWire"));
}

bool ServerRequired() {
  return qgetenv("TAVRIN_SOUND_REQUIRED") == "1";
}

int64_t SteadyUs() {
  using namespace std::chrono;
  return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

TScopedEnv::TScopedEnv(const char* name, const QByteArray& value) : name_(name) {
  if (qEnvironmentVariableIsSet(name)) old_ = qgetenv(name);
  qputenv(name, value);
}
TScopedEnv::~TScopedEnv() {
  if (old_) {
    qputenv(name_, *old_);
  } else {
    qunsetenv(name_);
  }
}

TSoundOn::TSoundOn() : wasSilent_(TWavPlayer::SilentOutput()) {
  TWavPlayer::SetSilentOutput(false);
}
TSoundOn::~TSoundOn() {
  TWavPlayer::SetSilentOutput(wasSilent_);
}

// ---- TNullSink ----

TNullSink::TNullSink() : loop_(TTestClient::Connect(kClientName)) {
  static int counter = 0;
  name_ =
      QStringLiteral("tavrin_test_%1_%2").arg(QCoreApplication::applicationPid()).arg(++counter);
  if (!loop_) return;
  struct TLoaded {
    uint32_t index = PA_INVALID_INDEX;
  } loaded;
  const QByteArray args = "sink_name=" + name_.toUtf8();
  TPulseLoop::TLock lock(loop_->Loop());
  loop_->Complete(pa_context_load_module(
      loop_->Context(), "module-null-sink", args.constData(),
      [](pa_context*, uint32_t index, void* userdata) {
        static_cast<TLoaded*>(userdata)->index = index;
      },
      &loaded));
  module_ = loaded.index;
  if (Loaded()) sinkEnv_ = std::make_unique<TScopedEnv>("PULSE_SINK", name_.toUtf8());
}

TNullSink::~TNullSink() {
  sinkEnv_.reset();
  if (!loop_ || !Loaded()) return;
  TPulseLoop::TLock lock(loop_->Loop());
  loop_->Complete(pa_context_unload_module(loop_->Context(), module_, nullptr, nullptr));
}

// ---- TMonitorCapture ----

TMonitorCapture::TMonitorCapture(const TNullSink& sink, uint32_t rate)
    : loop_(TTestClient::Connect(kClientName)), sink_(sink.Name()), rate_(rate) {}

TMonitorCapture::~TMonitorCapture() {
  Stop();
}

bool TMonitorCapture::Start() {
  if (!loop_) return false;
  TPulseLoop::TLock lock(loop_->Loop());
  const pa_sample_spec spec{PA_SAMPLE_S16LE, rate_, 1};
  stream_ = pa_stream_new(loop_->Context(), "Tavrin test capture", &spec, nullptr);
  if (!stream_) return false;
  pa_stream_set_read_callback(stream_, Readable, this);
  pa_stream_set_state_callback(
      stream_, [](pa_stream*, void* userdata) { static_cast<TTestClient*>(userdata)->Signal(); },
      loop_.get());
  pa_buffer_attr attr;
  attr.maxlength = static_cast<uint32_t>(-1);
  attr.fragsize = static_cast<uint32_t>(pa_usec_to_bytes(kCaptureFragmentUs, &spec));
  attr.tlength = attr.prebuf = attr.minreq = static_cast<uint32_t>(-1);
  const auto flags = static_cast<pa_stream_flags_t>(
      PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE);
  const QByteArray sink = sink_.toUtf8();
  const QByteArray source = sink + ".monitor";
  if (pa_stream_connect_record(stream_, source.constData(), &attr, flags) < 0) return false;
  loop_->WaitUntil([this] { return pa_stream_get_state(stream_) != PA_STREAM_CREATING; });
  if (pa_stream_get_state(stream_) != PA_STREAM_READY) return false;
  // A suspend drops what the sink has rendered ahead; it resumes at the new latency.
  pa_context* c = loop_->Context();
  return loop_->Complete(
             pa_context_suspend_sink_by_name(c, sink.constData(), 1, nullptr, nullptr)) &&
         loop_->Complete(pa_context_suspend_sink_by_name(c, sink.constData(), 0, nullptr, nullptr));
}

void TMonitorCapture::Stop() {
  if (!loop_ || !stream_) return;
  TPulseLoop::TLock lock(loop_->Loop());
  pa_stream_set_read_callback(stream_, nullptr, nullptr);
  pa_stream_set_state_callback(stream_, nullptr, nullptr);
  pa_stream_disconnect(stream_);
  pa_stream_unref(stream_);
  stream_ = nullptr;
}

void TMonitorCapture::Readable(pa_stream* s, size_t, void* userdata) {
  auto* self = static_cast<TMonitorCapture*>(userdata);
  const void* data = nullptr;
  size_t bytes = 0;
  while (pa_stream_peek(s, &data, &bytes) == 0 && bytes > 0) {
    pa_usec_t latency = 0;
    int negative = 0;
    int64_t age = 0;
    if (pa_stream_get_latency(s, &latency, &negative) == 0) {
      age = negative ? -int64_t(latency) : int64_t(latency);
    }
    self->chunks_.push_back({int64_t(self->samples_.size()), SteadyUs() - age});
    const size_t n = bytes / sizeof(int16_t);
    if (data) {
      const auto* p = static_cast<const int16_t*>(data);
      self->samples_.insert(self->samples_.end(), p, p + n);
    } else {
      self->samples_.insert(self->samples_.end(), n, 0);  // a hole in the recording
    }
    pa_stream_drop(s);
  }
}

std::vector<int16_t> TMonitorCapture::Samples() const {
  if (!loop_) return {};
  TPulseLoop::TLock lock(loop_->Loop());
  return samples_;
}

std::vector<TMonitorCapture::TChunk> TMonitorCapture::Chunks() const {
  if (!loop_) return {};
  TPulseLoop::TLock lock(loop_->Loop());
  return chunks_;
}

// ---- TPrivateServer ----

TPrivateServer::TPrivateServer(TSinks sinks) : sinks_(sinks) {
  const QString run = dir_.filePath(QStringLiteral("run"));
  const QString home = dir_.filePath(QStringLiteral("home"));
  QDir().mkpath(run);
  QDir().mkpath(home);
  QFile::setPermissions(run,
                        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("HOME"), home);
  env.insert(QStringLiteral("XDG_RUNTIME_DIR"), run);
  env.remove(QStringLiteral("PULSE_SERVER"));
  // Without a session bus: where another server holds its name there, pulseaudio would
  // refuse to start.
  env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
  process_.setProcessEnvironment(env);
  process_.setProcessChannelMode(QProcess::SeparateChannels);
  const QString socket = dir_.filePath(QStringLiteral("native"));
  serverEnv_ = std::make_unique<TScopedEnv>("PULSE_SERVER", "unix:" + socket.toUtf8());
  // Without a sink of its own, whatever PULSE_SINK named elsewhere is missing here too.
  sinkEnv_ = std::make_unique<TScopedEnv>(
      "PULSE_SINK", sinks_ == TSinks::kOne ? QByteArray(kPrivateSink) : QByteArray("tavrin_none"));
  Launch();
}

bool TPrivateServer::Launch() {
  const QString socket = dir_.filePath(QStringLiteral("native"));
  QStringList args = {QStringLiteral("--daemonize=no"), QString::fromLatin1(kPrivateIdleExit),
                      QStringLiteral("-n"), QStringLiteral("--use-pid-file=no"),
                      QStringLiteral("--log-target=stderr"), QStringLiteral("--log-level=error"),
                      QStringLiteral("--load=module-native-protocol-unix auth-anonymous=1 socket=") +
                          socket};
  if (sinks_ == TSinks::kOne) {
    args.insert(args.size() - 1,
                QStringLiteral("--load=module-null-sink sink_name=") + QString::fromLatin1(kPrivateSink));
  }
  error_.clear();
  process_.start(QStringLiteral("pulseaudio"), args);
  if (!process_.waitForStarted()) {
    error_ = QStringLiteral("pulseaudio cannot be started: ") + process_.errorString();
    return false;
  }
  for (int waited = 0; waited < kServerStartMs; waited += kServerPollMs) {
    if (process_.state() != QProcess::Running) break;
    if (QFile::exists(socket) && TTestClient::Connect(kClientName)) {
      running_ = true;
      return true;
    }
    QThread::msleep(kServerPollMs);
  }
  error_ = QStringLiteral("pulseaudio did not come up: ") +
           QString::fromLocal8Bit(process_.readAllStandardError());
  return false;
}

TPrivateServer::~TPrivateServer() {
  Kill();
}

void TPrivateServer::Kill() {
  if (process_.state() != QProcess::NotRunning) {
    process_.kill();  // a stopped process dies of SIGKILL too
    process_.waitForFinished();
  }
  running_ = frozen_ = false;
}

void TPrivateServer::Freeze() {
  if (process_.state() == QProcess::Running && ::kill(pid_t(process_.processId()), SIGSTOP) == 0) {
    frozen_ = true;
  }
}

void TPrivateServer::Thaw() {
  if (frozen_ && ::kill(pid_t(process_.processId()), SIGCONT) == 0) frozen_ = false;
}

bool TPrivateServer::Restart() {
  Kill();
  return Launch();
}

// ---- Tone bursts ----

QByteArray ToneBurstWav(const std::vector<TBurst>& bursts, int64_t lengthMs, uint32_t rate) {
  const int64_t n = lengthMs * rate / 1000;
  QByteArray samples(static_cast<qsizetype>(n), char(kZeroLevel));
  for (const TBurst& b : bursts) {
    const int64_t from = b.startMs * rate / 1000;
    const int64_t to = std::min(n, b.endMs * rate / 1000);
    for (int64_t i = from; i < to; ++i) {
      const double v = kToneAmplitude * std::sin(2 * std::numbers::pi * kToneHz * double(i) / rate);
      samples[static_cast<qsizetype>(i)] = static_cast<char>(kZeroLevel + std::lround(v));
    }
  }
  TVoiceStream s;
  WriteWavHeader(s, static_cast<uint32_t>(n), rate);
  s.Write(samples.constData(), samples.size());
  return s.Data();
}

std::vector<TBurst> FindBursts(const std::vector<int16_t>& samples, uint32_t rate) {
  const auto window = static_cast<size_t>(rate * kWindowMs / 1000);
  std::vector<int> level;
  for (size_t at = 0; at + window <= samples.size(); at += window) {
    int peak = 0;
    for (size_t i = at; i < at + window; ++i) peak = std::max(peak, std::abs(int(samples[i])));
    level.push_back(peak);
  }
  const int top = level.empty() ? 0 : *std::max_element(level.begin(), level.end());
  std::vector<TBurst> bursts;
  if (top == 0) return bursts;
  const int threshold = top / kThresholdDivisor;
  for (size_t w = 0; w < level.size(); ++w) {
    if (level[w] < threshold) continue;
    const int64_t start = int64_t(w) * kWindowMs;
    if (!bursts.empty() && start - bursts.back().endMs < kBridgedGapMs) {
      bursts.back().endMs = start + kWindowMs;
    } else {
      bursts.push_back({start, start + kWindowMs});
    }
  }
  std::erase_if(bursts, [](const TBurst& b) { return b.endMs - b.startMs < kShortestBurstMs; });
  return bursts;
}

}  // namespace soundtest
