#include "sound/PulseLoop.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

std::unique_ptr<TPulseLoop> TPulseLoop::Start() {
  std::unique_ptr<TPulseLoop> self(new TPulseLoop);
  self->wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (self->wake_ < 0) return nullptr;
  self->loop_ = pa_threaded_mainloop_new();
  if (!self->loop_) return nullptr;
  // Before the thread runs, the loop is ours alone: no lock needed.
  pa_mainloop_api* api = self->Api();
  if (!api->io_new(api, self->wake_, PA_IO_EVENT_INPUT, Woken, self.get())) return nullptr;
  if (pa_threaded_mainloop_start(self->loop_) < 0) return nullptr;
  return self;
}

TPulseLoop::~TPulseLoop() {
  Close();
  if (loop_) {
    pa_threaded_mainloop_stop(loop_);
    pa_threaded_mainloop_free(loop_);  // with the wake-up's event
  }
  if (wake_ >= 0) ::close(wake_);
}

void TPulseLoop::Post(std::function<void()> job) {
  {
    std::lock_guard lock(mutex_);
    if (closed_) return;
    jobs_.push_back(std::move(job));
  }
  const uint64_t one = 1;
  // EAGAIN: the counter is already far past zero, so the loop is woken anyway.
  while (::write(wake_, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

void TPulseLoop::Close() {
  std::lock_guard lock(mutex_);
  closed_ = true;
  jobs_.clear();
}

void TPulseLoop::Woken(pa_mainloop_api*, pa_io_event*, int fd, pa_io_event_flags_t,
                       void* userdata) {
  auto* self = static_cast<TPulseLoop*>(userdata);
  uint64_t count = 0;
  while (::read(fd, &count, sizeof count) < 0 && errno == EINTR) {
  }
  for (;;) {
    std::function<void()> job;
    {
      std::lock_guard lock(self->mutex_);
      if (self->closed_ || self->jobs_.empty()) return;
      job = std::move(self->jobs_.front());
      self->jobs_.pop_front();
    }
    job();
  }
}
