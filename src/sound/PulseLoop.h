#pragma once
// A connection to the sound server with an event thread of its own. Every call into the
// server library is made with the loop locked (TLock); the library's callbacks run on
// the loop's thread with the lock already held, change plain fields and call Signal()
// to wake a waiter. Nothing here ever calls into the user interface.
#include <pulse/pulseaudio.h>

#include <functional>
#include <memory>

class TPulseLoop {
 public:
  // How long any one exchange with the server may take before it counts as gone.
  static constexpr int kServerTimeoutMs = 3000;

  // Connects to the user's server (PULSE_SERVER or the default); nothing when there is
  // none or it does not answer in time. Never starts a server.
  static std::unique_ptr<TPulseLoop> Connect(const char* clientName);
  ~TPulseLoop();
  TPulseLoop(const TPulseLoop&) = delete;
  TPulseLoop& operator=(const TPulseLoop&) = delete;

  class TLock {
   public:
    explicit TLock(const TPulseLoop& loop) : loop_(loop.loop_) { pa_threaded_mainloop_lock(loop_); }
    ~TLock() { pa_threaded_mainloop_unlock(loop_); }
    TLock(const TLock&) = delete;
    TLock& operator=(const TLock&) = delete;

   private:
    pa_threaded_mainloop* loop_;
  };

  pa_context* Context() const { return context_; }

  // The rest is called with the lock held.
  bool Alive() const;  // the connection is up
  // Waits until done() holds; false when the time-out came first.
  bool WaitUntil(const std::function<bool()>& done, int timeoutMs = kServerTimeoutMs);
  // Waits for the operation to finish and releases it; false for none or a time-out.
  bool Complete(pa_operation* operation);
  void Signal() { pa_threaded_mainloop_signal(loop_, 0); }

 private:
  TPulseLoop() = default;
  pa_threaded_mainloop* loop_ = nullptr;
  pa_context* context_ = nullptr;
};
