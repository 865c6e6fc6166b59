#include "sound/PulseLoop.h"

#include <pulse/rtclock.h>

namespace {
constexpr pa_usec_t kUsPerMs = 1000;

struct TDeadline {
  TPulseLoop* loop = nullptr;
  bool expired = false;
};

void DeadlinePassed(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* userdata) {
  auto* d = static_cast<TDeadline*>(userdata);
  d->expired = true;
  d->loop->Signal();
}

void Wake(void* userdata) {
  static_cast<TPulseLoop*>(userdata)->Signal();
}
}  // namespace

std::unique_ptr<TPulseLoop> TPulseLoop::Connect(const char* clientName) {
  std::unique_ptr<TPulseLoop> self(new TPulseLoop);
  self->loop_ = pa_threaded_mainloop_new();
  if (!self->loop_) return nullptr;
  self->context_ = pa_context_new(pa_threaded_mainloop_get_api(self->loop_), clientName);
  if (!self->context_) return nullptr;
  pa_context_set_state_callback(
      self->context_, [](pa_context*, void* userdata) { Wake(userdata); }, self.get());
  if (pa_context_connect(self->context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
    return nullptr;
  }
  if (pa_threaded_mainloop_start(self->loop_) < 0) return nullptr;
  bool ready = false;
  {
    TLock lock(*self);
    self->WaitUntil([&] {
      return !PA_CONTEXT_IS_GOOD(pa_context_get_state(self->context_)) ||
             pa_context_get_state(self->context_) == PA_CONTEXT_READY;
    });
    ready = pa_context_get_state(self->context_) == PA_CONTEXT_READY;
  }
  return ready ? std::move(self) : nullptr;
}

TPulseLoop::~TPulseLoop() {
  if (context_) {
    if (loop_) {
      TLock lock(*this);
      pa_context_set_state_callback(context_, nullptr, nullptr);
      pa_context_disconnect(context_);
    }
  }
  // The thread is stopped before what it works on goes away.
  if (loop_) pa_threaded_mainloop_stop(loop_);
  if (context_) pa_context_unref(context_);
  if (loop_) pa_threaded_mainloop_free(loop_);
}

bool TPulseLoop::Alive() const {
  return pa_context_get_state(context_) == PA_CONTEXT_READY;
}

bool TPulseLoop::WaitUntil(const std::function<bool()>& done, int timeoutMs) {
  if (done()) return true;
  TDeadline deadline{this, false};
  pa_time_event* timer = pa_context_rttime_new(
      context_, pa_rtclock_now() + pa_usec_t(timeoutMs) * kUsPerMs, DeadlinePassed, &deadline);
  bool met = false;
  while (!(met = done()) && !deadline.expired) pa_threaded_mainloop_wait(loop_);
  pa_threaded_mainloop_get_api(loop_)->time_free(timer);
  return met;
}

bool TPulseLoop::Complete(pa_operation* operation) {
  if (!operation) return false;
  pa_operation_set_state_callback(
      operation, [](pa_operation*, void* userdata) { Wake(userdata); }, this);
  const bool done =
      WaitUntil([operation] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; });
  pa_operation_set_state_callback(operation, nullptr, nullptr);
  pa_operation_unref(operation);
  return done;
}
