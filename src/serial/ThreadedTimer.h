#pragma once
// A tick timer driven by a thread of its own; each tick is handed to the main thread
// and waited for, so ticks never queue up.
#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>

enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

class TThreadedTimer : public QObject {
 public:
  explicit TThreadedTimer(QObject* owner = nullptr);
  ~TThreadedTimer() override;  // ends the thread promptly

  bool Enabled() const;
  void SetEnabled(bool enabled);  // true restarts the period
  uint32_t Interval() const;
  void SetInterval(uint32_t ms);
  bool AllowZero() const;
  void SetAllowZero(bool allow);
  TThreadPriority ThreadPriority() const;
  void SetThreadPriority(TThreadPriority p);
  void SetOnTimer(std::function<void(TThreadedTimer& sender)> handler);

 private:
  struct Impl;
  std::unique_ptr<Impl> d;
};
