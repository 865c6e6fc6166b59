#include "serial/Signals.h"

#include <stdexcept>

Signal::Signal(SignalGroup& group, Reset reset)
    : group_(group), auto_(reset == Reset::kAuto), bit_(1u << group.signalCount_) {
  if (++group.signalCount_ > SignalGroup::kMaxSignals) {
    throw std::logic_error("too many signals in one group");
  }
}

void Signal::Set() {
  std::array<std::condition_variable*, SignalGroup::kMaxWaiters> woken{};
  size_t n = 0;
  {
    std::lock_guard lock(group_.mutex_);
    set_ = true;
    for (SignalGroup::Waiter& w : group_.waiters_) {
      if (w.waitedFor & bit_) woken[n++] = &w.wake;
    }
  }
  for (size_t i = 0; i < n; ++i) woken[i]->notify_one();
}

void Signal::Clear() {
  std::lock_guard lock(group_.mutex_);
  set_ = false;
}

bool Signal::Take() {
  if (!set_) return false;
  if (auto_) set_ = false;
  return true;
}

bool Signal::Wait(std::optional<std::chrono::milliseconds> limit) {
  return WaitAny({this}, limit) == 0;
}

int Signal::WaitAny(std::initializer_list<Signal*> list,
                    std::optional<std::chrono::milliseconds> limit) {
  SignalGroup& group = (*list.begin())->group_;
  const auto deadline =
      std::chrono::steady_clock::now() + limit.value_or(std::chrono::milliseconds(0));
  std::unique_lock lock(group.mutex_);
  auto taken = [&] {
    int i = 0;
    for (Signal* s : list) {
      if (s->Take()) return i;
      ++i;
    }
    return -1;
  };
  int which = taken();
  if (which >= 0 || (limit && limit->count() <= 0)) return which;
  SignalGroup::Waiter* slot = nullptr;
  for (SignalGroup::Waiter& w : group.waiters_) {
    if (w.waitedFor == 0) {
      slot = &w;
      break;
    }
  }
  if (slot == nullptr) throw std::logic_error("too many threads waiting on one signal group");
  for (Signal* s : list) slot->waitedFor |= s->bit_;
  while ((which = taken()) < 0) {
    if (!limit) {
      slot->wake.wait(lock);
    } else if (slot->wake.wait_until(lock, deadline) == std::cv_status::timeout) {
      which = taken();
      break;
    }
  }
  slot->waitedFor = 0;
  return which;
}
