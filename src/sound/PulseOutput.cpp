#include "sound/PulseOutput.h"

#include <pulse/rtclock.h>

#include <algorithm>
#include <chrono>

#include "serial/UiDelivery.h"
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
// While a stream lasts the server is asked for its timing this often...
constexpr int64_t kTickUs = 50000;
// ...and the UI side carries the last answer forward by its clock at most this far, so
// that the count stops soon after a server that stops answering.
constexpr int64_t kCarryUs = 100000;
// A request left unanswered this long: the server is stuck (noticed within a second).
constexpr int64_t kAnswerUs = 800000;

int64_t SteadyUs() {
  using namespace std::chrono;
  return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

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

// What the connection's thread last knew, as sent to the UI thread.
struct TReport {
  uint64_t seq = 0;         // the last command it had carried out
  int64_t playedUs = 0;     // of the run, as the server last said
  int64_t atUs = 0;         // when the server said it (steady clock)
  bool running = false;     // the run plays, and playedUs was taken after the last command
  bool drained = false;     // the run's last sample has been played
  TOutputFault fault = TOutputFault::kNone;
  bool operator==(const TReport&) const = default;
};

// The UI thread's side: the commands sent, and what came back.
struct THeard {
  uint64_t issued = 0;   // seq of the last command sent
  TReport last;          // the last report that reflects every command sent
  bool current = false;  // last is such a report
  int64_t floor = 0;     // the run's count as last given out: it never goes back
  TOutputFault fault = TOutputFault::kNone;

  void Take(const TReport& r) {
    if (fault == TOutputFault::kNone) fault = r.fault;
    if (r.seq != issued) return;
    last = r;
    current = true;
  }
};

// The connection's side. Every member function runs on the connection's thread with the
// loop locked (posted jobs and the library's callbacks), except Shutdown.
class TStreamer {
 public:
  TStreamer(TPulseLoop& loop, const pa_sample_spec& spec, const QByteArray& pcm,
            std::weak_ptr<THeard> heard)
      : loop_(loop), spec_(spec), pcm_(pcm), heard_(std::move(heard)) {}
  TStreamer(const TStreamer&) = delete;
  TStreamer& operator=(const TStreamer&) = delete;

  void Connect() {
    context_ = pa_context_new(loop_.Api(), kClientName);
    if (!context_) return Fail(TOutputFault::kNoServer);
    pa_context_set_state_callback(context_, ContextState, this);
    Asked();
    connecting_ = true;
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
      connecting_ = false;
      return Fail(TOutputFault::kNoServer);
    }
    tick_ = pa_context_rttime_new(context_, pa_rtclock_now() + kTickUs, Tick, this);
  }

  void Start(uint64_t seq, int64_t offset) {
    seq_ = seq;
    DropStream();
    next_ = runFirst_ = std::clamp<int64_t>(offset, 0, pcm_.size());
    runUs_ = static_cast<int64_t>(pa_bytes_to_usec(uint64_t(pcm_.size() - next_), &spec_));
    allWritten_ = drained_ = hold_ = fresh_ = false;
    played_ = 0;
    playedAt_ = SteadyUs();
    wantRun_ = true;
    if (fault_ == TOutputFault::kNone && ContextReady()) CreateStream();
    Report();
  }

  void Hold(uint64_t seq, bool hold) {
    seq_ = seq;
    hold_ = hold;
    fresh_ = false;
    if (StreamReady()) {
      Track(pa_stream_cork(stream_, hold ? 1 : 0, nullptr, nullptr), false);
      // Answered after the cork: the count the sound stopped or went on at.
      AskTiming();
    }
    Report();
  }

  void Stop(uint64_t seq) {
    seq_ = seq;
    wantRun_ = false;
    DropStream();
    played_ = 0;
    drained_ = fresh_ = false;
    Report();
  }

  // On the UI thread at the end, the loop locked and no job left to run.
  void Shutdown() {
    if (tick_) loop_.Api()->time_free(tick_);
    tick_ = nullptr;
    DropStream();
    if (context_) {
      pa_context_set_state_callback(context_, nullptr, nullptr);
      pa_context_disconnect(context_);  // cancels what is still asked
      pa_context_unref(context_);
      context_ = nullptr;
    }
  }

 private:
  // A request to the server whose end is counted; the operation keeps its stream alive,
  // so the stream's address names it for as long as the request lasts.
  struct TRequest {
    TStreamer* self;
    uint64_t seq;
    bool timing;
    pa_stream* stream;
  };

  bool ContextReady() const {
    return context_ && pa_context_get_state(context_) == PA_CONTEXT_READY;
  }
  bool StreamReady() const { return stream_ && pa_stream_get_state(stream_) == PA_STREAM_READY; }
  bool Waiting() const { return connecting_ || creating_ || requests_ > 0; }
  // Before each request: the time the server has to answer starts now if nothing else
  // was waiting; every answer starts it anew.
  void Asked() {
    if (!Waiting()) lastAnswer_ = SteadyUs();
  }
  void Answered() { lastAnswer_ = SteadyUs(); }

  void Fail(TOutputFault fault) {
    if (fault_ != TOutputFault::kNone) return;
    fault_ = fault;
    wantRun_ = false;
    DropStream();
    Report();
  }

  void CreateStream() {
    stream_ = pa_stream_new(context_, kStreamName, &spec_, nullptr);
    if (!stream_) return Fail(TOutputFault::kNoOutput);
    pa_stream_set_state_callback(stream_, StreamState, this);
    pa_stream_set_write_callback(stream_, WriteWanted, this);
    pa_buffer_attr attr;
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.tlength = static_cast<uint32_t>(pa_usec_to_bytes(kTargetLatencyUs, &spec_));
    attr.prebuf = static_cast<uint32_t>(-1);
    attr.minreq = static_cast<uint32_t>(-1);
    attr.fragsize = static_cast<uint32_t>(-1);
    // No timing of the library's own: ours is asked at a steady pace and never guessed
    // ahead of what the server has said.
    Asked();
    creating_ = true;
    if (pa_stream_connect_playback(stream_, nullptr, &attr, PA_STREAM_ADJUST_LATENCY, nullptr,
                                   nullptr) < 0) {
      creating_ = false;
      Fail(TOutputFault::kNoOutput);
    }
  }

  void DropStream() {
    creating_ = false;
    if (!stream_) return;
    pa_stream_set_state_callback(stream_, nullptr, nullptr);
    pa_stream_set_write_callback(stream_, nullptr, nullptr);
    pa_stream_disconnect(stream_);
    pa_stream_unref(stream_);
    stream_ = nullptr;
  }

  void Track(pa_operation* op, bool timing) {
    if (!op) return;
    Asked();
    ++requests_;
    if (timing) ++timingRequests_;
    pa_operation_set_state_callback(op, RequestEnded, new TRequest{this, seq_, timing, stream_});
    pa_operation_unref(op);  // the library keeps it until it ends
  }

  void AskTiming() {
    if (StreamReady()) Track(pa_stream_update_timing_info(stream_, nullptr, nullptr), true);
  }

  void TimingCame(uint64_t seq) {
    pa_usec_t t = 0;
    if (pa_stream_get_time(stream_, &t) == 0) {
      played_ = std::max(played_, static_cast<int64_t>(t));
      playedAt_ = SteadyUs();
    }
    // Asked after the last command: the count is that of the run as it now stands.
    if (seq == seq_) fresh_ = true;
    // The server answers a drain only once its sink has moved on, which on some sinks
    // is seconds later; the stream's own count says sooner that the last sample has
    // reached the output.
    if (allWritten_ && played_ >= runUs_) drained_ = true;
    Report();
  }

  void Report() {
    const TReport r{seq_,    played_,  playedAt_, StreamReady() && !hold_ && fresh_ && !drained_,
                    drained_, fault_};
    if (r == sent_) return;
    sent_ = r;
    ui_delivery::Post([heard = heard_, r] {
      if (const auto h = heard.lock()) h->Take(r);
    });
  }

  void Feed(size_t wanted) {
    const int64_t frame = int64_t(spec_.channels) * pa_sample_size(&spec_);
    const int64_t queuedUs =
        int64_t(pa_bytes_to_usec(uint64_t(next_ - runFirst_), &spec_)) - played_;
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

  static void ContextState(pa_context* c, void* userdata) {
    auto* self = static_cast<TStreamer*>(userdata);
    const pa_context_state_t state = pa_context_get_state(c);
    if (state == PA_CONTEXT_READY) {
      self->connecting_ = false;
      self->everReady_ = true;
      self->Answered();
      if (self->wantRun_ && !self->stream_) self->CreateStream();
      self->Report();
    } else if (!PA_CONTEXT_IS_GOOD(state)) {
      self->connecting_ = false;
      self->Fail(self->everReady_ ? TOutputFault::kServerGone : TOutputFault::kNoServer);
    }
  }

  static void StreamState(pa_stream* s, void* userdata) {
    auto* self = static_cast<TStreamer*>(userdata);
    if (s != self->stream_) return;
    const pa_stream_state_t state = pa_stream_get_state(s);
    if (state == PA_STREAM_READY) {
      self->creating_ = false;
      self->Answered();
      if (self->hold_) self->Track(pa_stream_cork(s, 1, nullptr, nullptr), false);
      self->AskTiming();
      self->Report();
    } else if (!PA_STREAM_IS_GOOD(state)) {
      self->creating_ = false;
      self->Answered();
      // A live connection whose stream cannot play: no sink, or not the one named.
      self->Fail(self->ContextReady() ? TOutputFault::kNoOutput : TOutputFault::kServerGone);
    }
  }

  static void WriteWanted(pa_stream* s, size_t bytes, void* userdata) {
    auto* self = static_cast<TStreamer*>(userdata);
    if (s == self->stream_) self->Feed(bytes);
  }

  static void DrainDone(pa_stream* s, int success, void* userdata) {
    auto* self = static_cast<TStreamer*>(userdata);
    if (s == self->stream_ && success) {
      self->drained_ = true;
      self->Report();
    }
  }

  static void RequestEnded(pa_operation* op, void* userdata) {
    const pa_operation_state_t state = pa_operation_get_state(op);
    if (state == PA_OPERATION_RUNNING) return;
    pa_operation_set_state_callback(op, nullptr, nullptr);
    const std::unique_ptr<TRequest> r(static_cast<TRequest*>(userdata));
    TStreamer* self = r->self;
    --self->requests_;
    if (r->timing) --self->timingRequests_;
    if (state != PA_OPERATION_DONE) return;  // cancelled with its connection
    self->Answered();
    if (r->timing && r->stream == self->stream_ && self->StreamReady()) self->TimingCame(r->seq);
  }

  static void Tick(pa_mainloop_api*, pa_time_event* e, const struct timeval*, void* userdata) {
    auto* self = static_cast<TStreamer*>(userdata);
    if (self->fault_ != TOutputFault::kNone) return;  // nothing more to ask
    if (self->Waiting() && SteadyUs() - self->lastAnswer_ > kAnswerUs) {
      self->Fail(TOutputFault::kNotAnswering);
      // Its connection is dropped; what it still owes us is cancelled with it.
      pa_context_disconnect(self->context_);
      return;
    }
    if (self->timingRequests_ == 0) self->AskTiming();
    pa_context_rttime_restart(self->context_, e, pa_rtclock_now() + kTickUs);
  }

  TPulseLoop& loop_;
  const pa_sample_spec spec_;
  const QByteArray pcm_;
  const std::weak_ptr<THeard> heard_;
  pa_context* context_ = nullptr;
  pa_stream* stream_ = nullptr;
  pa_time_event* tick_ = nullptr;
  uint64_t seq_ = 0;
  // The run.
  int64_t runFirst_ = 0;  // its first byte
  int64_t next_ = 0;
  int64_t runUs_ = 0;  // length of its samples
  int64_t played_ = 0;
  int64_t playedAt_ = 0;
  bool wantRun_ = false;
  bool hold_ = false;
  bool fresh_ = false;
  bool allWritten_ = false;
  bool drained_ = false;
  // The server's answers.
  bool connecting_ = false;
  bool creating_ = false;
  bool everReady_ = false;
  int requests_ = 0;
  int timingRequests_ = 0;
  int64_t lastAnswer_ = 0;
  TOutputFault fault_ = TOutputFault::kNone;
  TReport sent_;
};

class TPulseOutput final : public TSoundOutput {
 public:
  TPulseOutput(std::unique_ptr<TPulseLoop> loop, const TWavInfo& info, const QByteArray& pcm)
      : loop_(std::move(loop)), heard_(std::make_shared<THeard>()) {
    spec_.format = SampleFormatOf(info.bitsPerSample);
    spec_.rate = info.samplesPerSecond;
    spec_.channels = static_cast<uint8_t>(info.channels);
    streamer_ = std::make_unique<TStreamer>(*loop_, spec_, pcm, heard_);
    loop_->Post([s = streamer_.get()] { s->Connect(); });
  }
  ~TPulseOutput() override {
    loop_->Close();
    {
      TPulseLoop::TLock lock(*loop_);
      streamer_->Shutdown();
    }
    loop_.reset();
  }
  TPulseOutput(const TPulseOutput&) = delete;
  TPulseOutput& operator=(const TPulseOutput&) = delete;

  bool Start(int64_t offset) override {
    // The one refusal that needs no server: a format that no stream can have.
    if (!pa_sample_spec_valid(&spec_)) return false;
    heard_->floor = 0;
    Command([offset](TStreamer& s, uint64_t seq) { s.Start(seq, offset); });
    return true;
  }
  void Pause() override { Hold(true); }
  void Resume() override { Hold(false); }
  void Stop() override {
    heard_->floor = 0;
    Command([](TStreamer& s, uint64_t seq) { s.Stop(seq); });
  }

  int64_t PlayedUs() override {
    THeard& h = *heard_;
    if (!h.current) return h.floor;
    int64_t played = h.last.playedUs;
    if (h.last.running) played += std::clamp<int64_t>(SteadyUs() - h.last.atUs, 0, kCarryUs);
    h.floor = std::max(h.floor, played);
    return h.floor;
  }
  bool Drained() override { return heard_->current && heard_->last.drained; }
  TOutputFault Fault() const override { return heard_->fault; }

 private:
  void Hold(bool hold) {
    heard_->floor = PlayedUs();  // held until the server says where the run stands
    Command([hold](TStreamer& s, uint64_t seq) { s.Hold(seq, hold); });
  }
  template <class Job>
  void Command(Job job) {
    const uint64_t seq = ++heard_->issued;
    heard_->current = false;
    loop_->Post([s = streamer_.get(), seq, job] { job(*s, seq); });
  }

  std::unique_ptr<TPulseLoop> loop_;
  pa_sample_spec spec_{};
  const std::shared_ptr<THeard> heard_;
  std::unique_ptr<TStreamer> streamer_;
};
}  // namespace

std::unique_ptr<TSoundOutput> OpenPulseOutput(const TWavInfo& info, const QByteArray& pcm) {
  auto loop = TPulseLoop::Start();
  if (!loop) return nullptr;
  ui_delivery::Install();  // the server's answers come through it
  return std::make_unique<TPulseOutput>(std::move(loop), info, pcm);
}
