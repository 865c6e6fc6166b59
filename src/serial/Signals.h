#pragma once
// Auto- and manual-reset events for the dispatcher's threads. The signals of one
// dispatcher share a group (one mutex) so that a thread can wait for any of several of
// them. Setting a signal wakes only the threads that wait for that signal, and wakes
// them after the group's mutex is free again, so that a woken thread never has to wait
// for the one that woke it.
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <optional>

class Signal;

class SignalGroup {
 public:
  SignalGroup() = default;
  SignalGroup(const SignalGroup&) = delete;
  SignalGroup& operator=(const SignalGroup&) = delete;

 private:
  friend class Signal;
  // One per thread waiting at a time. They live as long as the group, so a Set may
  // notify one after its waiter has gone; the next user of the slot checks again.
  struct Waiter {
    std::condition_variable wake;
    uint32_t waitedFor = 0;  // bits of the signals waited for; 0: the slot is free
  };
  static constexpr size_t kMaxWaiters = 8;
  static constexpr size_t kMaxSignals = 32;

  std::mutex mutex_;
  std::array<Waiter, kMaxWaiters> waiters_;
  size_t signalCount_ = 0;  // bits handed out
};

class Signal {
 public:
  enum class Reset { kAuto, kManual };
  Signal(SignalGroup& group, Reset reset);
  Signal(const Signal&) = delete;
  Signal& operator=(const Signal&) = delete;

  void Set();
  void Clear();
  // true when the signal came, false when the limit passed first (nullopt: no limit).
  bool Wait(std::optional<std::chrono::milliseconds> limit = std::nullopt);
  // Index in the list of the signal that came (the first one set), or -1 on time-out.
  // Every signal of the list belongs to the same group.
  static int WaitAny(std::initializer_list<Signal*> list,
                     std::optional<std::chrono::milliseconds> limit = std::nullopt);

 private:
  bool Take();  // group mutex held

  SignalGroup& group_;
  const bool auto_;
  const uint32_t bit_;
  bool set_ = false;
};
