#include "sound/PulseOutput.h"

#include <algorithm>

#include "sound/PulseLoop.h"

namespace {
constexpr const char* kClientName = "Tavrin";
constexpr const char* kStreamName = "Tavrin playback";
// The server keeps this much queued: enough to ride out a busy machine, and still
// small next to the position's time unit once the stream's timing is applied.
constexpr uint32_t kTargetLatencyUs = 200000;
// The file is in memory: the server is given this much beyond what it asks for, so a
// busy machine cannot starve the sound. It adds nothing to the latency, which is the
// sink's, and a pause or seek drops or holds the queue at once.
constexpr int64_t kAheadUs = 2000000;

pa_sample_format_t SampleFormatOf(uint16_t bits) {
  switch (bits) {
    case 8:
      return PA_SAMPLE_U8;
    case 16:
      return PA_SAMPLE_S16LE;
    case 32:
      return PA_SAMPLE_S32LE;
    default:
      return PA_SAMPLE_INVALID;
  }
}

class TPulseOutput final : public TSoundOutput {
 public:
  TPulseOutput(std::unique_ptr<TPulseLoop> loop, const TWavInfo& info, const QByteArray& pcm)
      : loop_(std::move(loop)), pcm_(pcm) {
    spec_.format = SampleFormatOf(info.bitsPerSample);
    spec_.rate = info.samplesPerSecond;
    spec_.channels = static_cast<uint8_t>(info.channels);
  }
  ~TPulseOutput() override { Stop(); }
  TPulseOutput(const TPulseOutput&) = delete;
  TPulseOutput& operator=(const TPulseOutput&) = delete;

  bool Start(int64_t offset) override {
    TPulseLoop::TLock lock(*loop_);
    Disconnect();
    if (!loop_->Alive()) return false;
    stream_ = pa_stream_new(loop_->Context(), kStreamName, &spec_, nullptr);
    if (!stream_) return false;  // a format the server cannot take
    pa_stream_set_state_callback(stream_, StreamState, this);
    pa_stream_set_write_callback(stream_, WriteWanted, this);
    next_ = runFirst_ = std::clamp<int64_t>(offset, 0, pcm_.size());
    runUs_ = static_cast<int64_t>(pa_bytes_to_usec(uint64_t(pcm_.size() - next_), &spec_));
    allWritten_ = drained_ = failed_ = false;
    played_ = 0;
    pa_buffer_attr attr;
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.tlength = static_cast<uint32_t>(pa_usec_to_bytes(kTargetLatencyUs, &spec_));
    attr.prebuf = static_cast<uint32_t>(-1);
    attr.minreq = static_cast<uint32_t>(-1);
    attr.fragsize = static_cast<uint32_t>(-1);
    const auto flags = static_cast<pa_stream_flags_t>(
        PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_ADJUST_LATENCY);
    if (pa_stream_connect_playback(stream_, nullptr, &attr, flags, nullptr, nullptr) < 0) {
      Refused();
      return false;
    }
    loop_->WaitUntil([this] { return pa_stream_get_state(stream_) != PA_STREAM_CREATING; });
    if (pa_stream_get_state(stream_) != PA_STREAM_READY) {
      Refused();
      return false;
    }
    return true;
  }

  void Pause() override { Cork(true); }
  void Resume() override { Cork(false); }

  void Stop() override {
    TPulseLoop::TLock lock(*loop_);
    Disconnect();
  }

  int64_t PlayedUs() override {
    TPulseLoop::TLock lock(*loop_);
    return Played();
  }

  bool Drained() override {
    TPulseLoop::TLock lock(*loop_);
    // The server answers a drain only once its sink has moved on, which on some sinks
    // is seconds later; the stream's own count says sooner that the last sample has
    // reached the output.
    if (!drained_ && allWritten_) drained_ = Played() >= runUs_;
    return drained_;
  }

  bool Failed() override {
    TPulseLoop::TLock lock(*loop_);
    return failed_ || !loop_->Alive();
  }

 private:
  int64_t Played() {
    pa_usec_t t = 0;
    // No timing yet means nothing played yet; after a failure the last count stays.
    if (Ready() && pa_stream_get_time(stream_, &t) == 0) {
      played_ = std::max(played_, static_cast<int64_t>(t));
    }
    return played_;
  }

  bool Ready() const { return stream_ && pa_stream_get_state(stream_) == PA_STREAM_READY; }

  void Cork(bool hold) {
    TPulseLoop::TLock lock(*loop_);
    if (!Ready()) return;
    // Waiting for the server makes the count read next the one the sound stopped at.
    loop_->Complete(pa_stream_cork(stream_, hold ? 1 : 0, nullptr, nullptr));
    if (Ready()) loop_->Complete(pa_stream_update_timing_info(stream_, nullptr, nullptr));
  }

  // A run that never started is reported by Start, not as a failure later.
  void Refused() {
    Disconnect();
    failed_ = false;
  }

  void Disconnect() {
    if (!stream_) return;
    pa_stream_set_state_callback(stream_, nullptr, nullptr);
    pa_stream_set_write_callback(stream_, nullptr, nullptr);
    pa_stream_disconnect(stream_);
    pa_stream_unref(stream_);
    stream_ = nullptr;
  }

  // On the loop's thread, lock held.
  static void StreamState(pa_stream* s, void* userdata) {
    auto* self = static_cast<TPulseOutput*>(userdata);
    if (s == self->stream_ && !PA_STREAM_IS_GOOD(pa_stream_get_state(s))) self->failed_ = true;
    self->loop_->Signal();
  }

  static void WriteWanted(pa_stream* s, size_t bytes, void* userdata) {
    auto* self = static_cast<TPulseOutput*>(userdata);
    if (s == self->stream_) self->Feed(bytes);
  }

  static void DrainDone(pa_stream* s, int success, void* userdata) {
    auto* self = static_cast<TPulseOutput*>(userdata);
    if (s == self->stream_ && success) self->drained_ = true;
    self->loop_->Signal();
  }

  void Feed(size_t wanted) {
    const int64_t frame = int64_t(spec_.channels) * pa_sample_size(&spec_);
    const int64_t queuedUs =
        int64_t(pa_bytes_to_usec(uint64_t(next_ - runFirst_), &spec_)) - Played();
    int64_t want = int64_t(wanted);
    if (queuedUs < kAheadUs) {
      want = std::max(want, int64_t(pa_usec_to_bytes(pa_usec_t(kAheadUs - queuedUs), &spec_)));
    }
    const int64_t n = std::min<int64_t>(want, pcm_.size() - next_) / frame * frame;
    if (n > 0 && pa_stream_write(stream_, pcm_.constData() + next_, static_cast<size_t>(n), nullptr,
                                 0, PA_SEEK_RELATIVE) == 0) {
      next_ += n;
    }
    if (next_ + frame > pcm_.size() && !allWritten_) {
      // The last sample is queued: the drain's answer says when it has been played.
      allWritten_ = true;
      if (pa_operation* op = pa_stream_drain(stream_, DrainDone, this)) pa_operation_unref(op);
    }
  }

  std::unique_ptr<TPulseLoop> loop_;
  const QByteArray pcm_;
  pa_sample_spec spec_{};
  // Guarded by the loop's lock.
  pa_stream* stream_ = nullptr;
  int64_t runFirst_ = 0;  // the run's first byte
  int64_t next_ = 0;
  int64_t played_ = 0;
  int64_t runUs_ = 0;  // length of the run's samples
  bool allWritten_ = false;
  bool drained_ = false;
  bool failed_ = false;
};
}  // namespace

std::unique_ptr<TSoundOutput> OpenPulseOutput(const TWavInfo& info, const QByteArray& pcm) {
  auto loop = TPulseLoop::Connect(kClientName);
  if (!loop) return nullptr;
  return std::make_unique<TPulseOutput>(std::move(loop), info, pcm);
}
