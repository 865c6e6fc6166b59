#include "app/SignalBridge.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <array>
#include <cerrno>

namespace {
constexpr std::array<int, 3> kSignals = {SIGTERM, SIGINT, SIGHUP};
int g_writeFd = -1;  // only the handler and the bridge touch it
std::array<struct sigaction, kSignals.size()> g_previous{};

void OnSignalRaised(int signalNumber) {
  const int savedErrno = errno;
  const auto byte = static_cast<unsigned char>(signalNumber);
  // A full pipe drops the byte: a shutdown is already pending then.
  [[maybe_unused]] const ssize_t n = ::write(g_writeFd, &byte, 1);
  errno = savedErrno;
}
}  // namespace

TSignalBridge::TSignalBridge() {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds_) != 0) {
    return;
  }
  g_writeFd = fds_[0];
  notifier_ = std::make_unique<QSocketNotifier>(fds_[1], QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                   [this] { Drain(); });
  struct sigaction sa {};
  sa.sa_handler = OnSignalRaised;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  installed_ = true;
  for (size_t i = 0; i < kSignals.size(); ++i) {
    if (::sigaction(kSignals[i], &sa, &g_previous[i]) != 0) {
      installed_ = false;
    }
  }
}

TSignalBridge::~TSignalBridge() {
  if (fds_[0] < 0) {
    return;
  }
  for (size_t i = 0; i < kSignals.size(); ++i) {
    ::sigaction(kSignals[i], &g_previous[i], nullptr);
  }
  notifier_.reset();
  g_writeFd = -1;
  ::close(fds_[0]);
  ::close(fds_[1]);
}

void TSignalBridge::Drain() {
  unsigned char buf[16];
  for (;;) {
    const ssize_t n = ::read(fds_[1], buf, sizeof buf);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return;
    }
    for (ssize_t i = 0; i < n; ++i) {
      if (OnSignal) {
        OnSignal(buf[i]);
      }
    }
  }
}
