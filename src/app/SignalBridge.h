#pragma once
// Turns SIGTERM, SIGINT and SIGHUP into a call on the UI thread: the signal handler only
// writes the signal number to a socket pair, which the event loop watches.
#include <functional>
#include <memory>

class QSocketNotifier;

class TSignalBridge {
 public:
  TSignalBridge();   // installs the handlers
  ~TSignalBridge();  // restores the previous handlers
  TSignalBridge(const TSignalBridge&) = delete;
  TSignalBridge& operator=(const TSignalBridge&) = delete;

  bool Installed() const { return installed_; }
  std::function<void(int signalNumber)> OnSignal;

 private:
  void Drain();
  int fds_[2] = {-1, -1};
  bool installed_ = false;
  std::unique_ptr<QSocketNotifier> notifier_;
};
