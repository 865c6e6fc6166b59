#pragma once
// Auto- and manual-reset events for the dispatcher's threads. The list of one
// dispatcher share a group (one mutex and condition variable) so that a thread can
// wait for either of two of them.
#include <chrono>
#include <condition_variable>
#include <initializer_list>
#include <mutex>
#include <optional>

class SignalGroup {
 public:
  std::mutex mutex;
  std::condition_variable changed;
};

class Signal {
 public:
  enum class Reset { kAuto, kManual };
  Signal(SignalGroup& group, Reset reset) : group_(group), auto_(reset == Reset::kAuto) {}
  Signal(const Signal&) = delete;
  Signal& operator=(const Signal&) = delete;

  void Set();
  void Clear();
  // true when the signal came, false when the limit passed first (nullopt: no limit).
  bool Wait(std::optional<std::chrono::milliseconds> limit = std::nullopt);
  // Index in the list of the signal that came (the first one set), or -1 on time-out.
  static int WaitAny(std::initializer_list<Signal*> list,
                     std::optional<std::chrono::milliseconds> limit = std::nullopt);

 private:
  bool Take();  // group mutex held

  SignalGroup& group_;
  const bool auto_;
  bool set_ = false;
};
