// The threaded timer: a thread waits one interval, hands the tick to the main thread
// and waits until it has run, so ticks never queue up. Disabling closes a gate the
// thread waits at; enabling wakes the thread first so that the period restarts.
#include "serial/ThreadedTimer.h"

#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include "serial/ExceptionDisplay.h"
#include "serial/UiDelivery.h"
#include "serial/posix/SysCall.h"

namespace {
constexpr uint32_t kDefaultInterval = 1000;
}

struct TThreadedTimer::Impl {
  explicit Impl(TThreadedTimer& timer) : self(timer) {}

  void Run();
  void Tick();

  TThreadedTimer& self;
  // Main thread only.
  bool enabled = false;
  bool allowZero = false;
  std::function<void(TThreadedTimer&)> onTimer;
  bool failed = false;  // an OnTimer exception ended the ticks for good

  // Shared with the timer thread.
  std::mutex mutex;
  std::condition_variable changed;
  uint32_t interval = kDefaultInterval;
  TThreadPriority priority = tpNormal;
  bool wake = false;      // the wake event (auto-reset)
  bool suspended = true;  // the gate
  bool terminate = false;
  ui_delivery::Channel channel;
  std::thread thread;
};

void TThreadedTimer::Impl::Run() {
  posix::NameThisThread("threaded-timer");
  std::unique_lock lock(mutex);
  while (!terminate) {
    changed.wait(lock, [&] { return !suspended || terminate; });
    if (terminate) break;
    const bool signalled = changed.wait_for(lock, std::chrono::milliseconds(interval),
                                            [&] { return wake || terminate; });
    if (terminate) break;
    if (signalled) {
      wake = false;  // woken, not elapsed: no tick, a fresh period
      continue;
    }
    if (suspended) continue;  // disabled while waiting: wait at the gate
    lock.unlock();
    bool raised = false;
    const auto result = channel.Call(
        [this, &raised](bool) {
          try {
            Tick();
          } catch (const std::exception& e) {
            raised = true;
            ShowSerialException(QString::fromLocal8Bit(e.what()));
          } catch (...) {
            raised = true;
          }
        },
        std::nullopt);
    lock.lock();
    // An exception from OnTimer ends the ticks for the rest of the timer's life.
    if (result != ui_delivery::Channel::Result::kDone || raised) break;
  }
}

// Main thread. A tick that arrives while disabled is dropped.
void TThreadedTimer::Impl::Tick() {
  if (enabled && onTimer) onTimer(self);
}

TThreadedTimer::TThreadedTimer(QObject* owner) : QObject(owner), d(std::make_unique<Impl>(*this)) {
  ui_delivery::Install();
  d->thread = std::thread([impl = d.get()] { impl->Run(); });
}

TThreadedTimer::~TThreadedTimer() {
  {
    std::lock_guard lock(d->mutex);
    d->terminate = true;
    d->wake = true;
  }
  d->changed.notify_all();
  d->channel.Cancel();  // a tick waiting for the main thread is dropped
  d->thread.join();
}

bool TThreadedTimer::Enabled() const {
  return d->enabled;
}

void TThreadedTimer::SetEnabled(bool enabled) {
  if (enabled == d->enabled) return;
  d->enabled = enabled;
  std::lock_guard lock(d->mutex);
  if (!enabled) {
    d->suspended = true;
  } else if (d->interval > 0 || d->allowZero) {
    d->wake = true;
    d->suspended = false;
    d->changed.notify_all();
  }
}

uint32_t TThreadedTimer::Interval() const {
  std::lock_guard lock(d->mutex);
  return d->interval;
}

void TThreadedTimer::SetInterval(uint32_t ms) {
  if (ms == Interval()) return;
  const bool wasEnabled = d->enabled;
  SetEnabled(false);
  {
    std::lock_guard lock(d->mutex);
    d->interval = ms;
  }
  SetEnabled(wasEnabled);
}

bool TThreadedTimer::AllowZero() const {
  return d->allowZero;
}
void TThreadedTimer::SetAllowZero(bool allow) {
  d->allowZero = allow;
}

TThreadPriority TThreadedTimer::ThreadPriority() const {
  std::lock_guard lock(d->mutex);
  return d->priority;
}

// All timer threads run at the normal priority; the value is kept for the property.
void TThreadedTimer::SetThreadPriority(TThreadPriority p) {
  std::lock_guard lock(d->mutex);
  d->priority = p;
}

void TThreadedTimer::SetOnTimer(std::function<void(TThreadedTimer&)> handler) {
  d->onTimer = std::move(handler);
}
