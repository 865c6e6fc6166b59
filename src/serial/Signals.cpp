#include "serial/Signals.h"

void Signal::Set() {
  {
    std::lock_guard lock(group_.mutex);
    set_ = true;
  }
  group_.changed.notify_all();
}

void Signal::Clear() {
  std::lock_guard lock(group_.mutex);
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
  std::unique_lock lock(group.mutex);
  int which = -1;
  auto ready = [&] {
    int i = 0;
    for (Signal* s : list) {
      if (s->Take()) {
        which = i;
        return true;
      }
      ++i;
    }
    return false;
  };
  if (limit) {
    group.changed.wait_for(lock, *limit, ready);
  } else {
    group.changed.wait(lock, ready);
  }
  return which;
}
