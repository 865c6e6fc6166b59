#pragma once
// The sound server library's event thread, with a queue of jobs for it. Jobs run on that
// thread with the loop locked, in the order they were posted, and so do the library's
// callbacks. Posting a job waits neither for the loop's thread nor for the server: the
// user interface hands its commands to the server this way and never takes the loop's
// lock for an exchange.
#include <pulse/pulseaudio.h>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class TPulseLoop {
 public:
  // Starts the thread; nothing when it cannot be started.
  static std::unique_ptr<TPulseLoop> Start();
  ~TPulseLoop();  // ends the thread; jobs not yet run are dropped
  TPulseLoop(const TPulseLoop&) = delete;
  TPulseLoop& operator=(const TPulseLoop&) = delete;

  // Any thread but the loop's own: runs job on the loop's thread soon.
  void Post(std::function<void()> job);
  // Drops the jobs not yet run and every later one. A job that is running already holds
  // the loop's lock: taking the lock afterwards waits for it.
  void Close();

  pa_mainloop_api* Api() const { return pa_threaded_mainloop_get_api(loop_); }

  // The loop's lock, for the few places outside the loop's thread that touch what the
  // library owns: teardown, and the tests' own clients.
  class TLock {
   public:
    explicit TLock(const TPulseLoop& loop) : loop_(loop.loop_) { pa_threaded_mainloop_lock(loop_); }
    ~TLock() { pa_threaded_mainloop_unlock(loop_); }
    TLock(const TLock&) = delete;
    TLock& operator=(const TLock&) = delete;

   private:
    pa_threaded_mainloop* loop_;
  };
  // With the lock held: Wait blocks until a callback calls Signal. For tools and tests
  // that wait for the server; the program's user interface never does.
  void Signal() { pa_threaded_mainloop_signal(loop_, 0); }
  void Wait() { pa_threaded_mainloop_wait(loop_); }

 private:
  TPulseLoop() = default;
  static void Woken(pa_mainloop_api*, pa_io_event*, int fd, pa_io_event_flags_t, void* userdata);

  pa_threaded_mainloop* loop_ = nullptr;
  int wake_ = -1;  // an eventfd that the loop's thread polls
  std::mutex mutex_;
  std::deque<std::function<void()>> jobs_;  // guarded by mutex_
  bool closed_ = false;                     // guarded by mutex_
};
