// The serial device on POSIX systems: termios, modem-control ioctls, poll() and epoll.
#include <fcntl.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>

#include "serial/SerialDevice.h"
#include "serial/posix/CustomBaud.h"
#include "serial/posix/SysCall.h"
#include "serial/posix/UucpLock.h"

namespace posix {
namespace {

constexpr uint8_t kXon = 17;
constexpr uint8_t kXoff = 19;
// How often a hung-up device that still holds unread bytes is looked at again: it
// reports the hang-up only once.
constexpr int kHangUpRecheckMs = 20;

struct Rate {
  int32_t baud;
  speed_t speed;
};

// The modem rates that termios names; 14400 and 56000 go through SetCustomBaud.
constexpr std::array<Rate, 16> kRates = {{{50, B50},
                                          {75, B75},
                                          {110, B110},
                                          {150, B150},
                                          {300, B300},
                                          {600, B600},
                                          {1200, B1200},
                                          {2400, B2400},
                                          {4800, B4800},
                                          {9600, B9600},
                                          {19200, B19200},
                                          {38400, B38400},
                                          {57600, B57600},
                                          {115200, B115200},
                                          {230400, B230400},
                                          {460800, B460800}}};

bool SpeedFor(int32_t baud, speed_t& speed) {
  for (const Rate& r : kRates) {
    if (r.baud == baud) {
      speed = r.speed;
      return true;
    }
  }
  return false;
}

int32_t BaudFor(speed_t speed) {
  for (const Rate& r : kRates) {
    if (r.speed == speed) return r.baud;
  }
  return -1;  // a rate set by number: never equal to a requested rate
}

// Modem-control ioctls are meaningless on pseudo-terminals (the virtual modem and the
// tests run on them) and fail there with these.
bool NotALine(int err) {
  return err == ENOTTY || err == EINVAL;
}

// Unix98 pseudo-terminal slaves have these major numbers.
constexpr unsigned kPtyFirstMajor = 136;
constexpr unsigned kPtyLastMajor = 143;

bool IsPseudoTerminal(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
  return major(st.st_rdev) >= kPtyFirstMajor && major(st.st_rdev) <= kPtyLastMajor;
}

// What a device that has gone away (hung up, unplugged) answers to every call.
bool DeviceGone(int err) {
  return err == EIO || err == ENXIO || err == ENODEV;
}

// Whether some program has put the device into exclusive mode; false where the system
// cannot tell.
bool HeldExclusive(int fd) {
  int exclusive = 0;
  return ::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
}

class PosixSerialDevice final : public SerialDevice {
 public:
  ~PosixSerialDevice() override { Close(); }

  int Open(const std::string& path) override;
  std::string OpenRefusal() const override { return lock_.Refusal(); }
  void Close() override;
  bool IsOpen() const override { return fd_.Valid(); }
  bool Lost() const override { return lost_.load(); }
  int GetLine(LineSettings& out) override;
  int SetLine(const LineSettings& settings) override;
  int SetModemLine(Line line, bool raised) override;
  uint8_t ModemStatus() override;
  size_t Unread() override;
  size_t Read(uint8_t* buffer, size_t size) override;
  WriteResult Write(const uint8_t* data, size_t size, size_t& written) override;
  void AbortWrite() override { abort_.Signal(); }
  void ClearAbort() override { abort_.Drain(); }
  WaitResult WaitInput() override;
  void CancelWaits() override { cancel_.Signal(); }
  int Purge(bool input, bool output) override;

 private:
  // Whether a modem-control ioctl may be tried: a device that has no modem lines (a
  // pseudo-terminal) refuses them every time, so after the first refusal they are not
  // asked for again until the next open. Notes a refusal; false for any other error.
  bool ModemLinesRefused(int err) {
    if (!NotALine(err)) return false;
    noModemLines_ = true;
    return true;
  }

  UniqueFd fd_;
  UniqueFd epoll_;  // the device (edge-triggered) and the cancel wake-up
  UucpLock lock_;
  WakeFd cancel_;
  WakeFd abort_;
  termios saved_{};
  std::atomic<bool> lost_{false};
  bool noModemLines_ = false;
  bool hungUp_ = false;  // event thread only: the hang-up came with bytes still unread

  // Notes a failed call; returns err.
  int Failed(int err) {
    if (DeviceGone(err)) lost_ = true;
    return err;
  }
};

int PosixSerialDevice::Open(const std::string& path) {
  if (IsOpen()) return OsError(EBUSY);
  // The lock file comes first: a device that another program holds is never opened, so
  // its line is never touched (opening a serial device raises DTR).
  if (const int err = lock_.Acquire(path); err != 0) return err;
  auto fail = [&](int err) {
    lock_.Release();
    return OsError(err);
  };
  UniqueFd fd(
      RetryEintr([&] { return ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC); }));
  if (!fd.Valid()) return fail(errno);
  // flock refuses a second opener in this process as well as in others, root included;
  // TIOCEXCL keeps other programs from opening the device at all. An exclusive mode set
  // by another program (root opens in spite of it) is theirs: refuse, and leave it.
  if (RetryEintr([&] { return ::flock(fd.Get(), LOCK_EX | LOCK_NB); }) != 0) return fail(errno);
  if (HeldExclusive(fd.Get())) return fail(EBUSY);
  if (::ioctl(fd.Get(), TIOCEXCL) != 0 && !NotALine(errno)) return fail(errno);
  auto failExclusive = [&](int err) {
    ::ioctl(fd.Get(), TIOCNXCL);
    return fail(err);
  };
  termios tio{};
  if (::tcgetattr(fd.Get(), &tio) != 0) return failExclusive(errno);
  if (!cancel_.Create() || !abort_.Create()) return failExclusive(ENOMEM);
  // Edge-triggered: the event thread is woken once per arrival of bytes, however long
  // they then wait to be read, and never while the line is quiet.
  UniqueFd epoll(::epoll_create1(EPOLL_CLOEXEC));
  if (!epoll.Valid()) return failExclusive(errno);
  epoll_event device{};
  device.events = EPOLLIN | EPOLLET;
  device.data.fd = fd.Get();
  epoll_event cancel{};
  cancel.events = EPOLLIN;
  cancel.data.fd = cancel_.PollFd();
  if (::epoll_ctl(epoll.Get(), EPOLL_CTL_ADD, fd.Get(), &device) != 0 ||
      ::epoll_ctl(epoll.Get(), EPOLL_CTL_ADD, cancel_.PollFd(), &cancel) != 0) {
    return failExclusive(errno);
  }
  saved_ = tio;
  ::cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD | HUPCL;
  tio.c_cflag &= ~CRTSCTS;
  tio.c_iflag &= ~(IXON | IXOFF | IXANY);
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  tio.c_cc[VSTART] = kXon;
  tio.c_cc[VSTOP] = kXoff;
  if (RetryEintr([&] { return ::tcsetattr(fd.Get(), TCSANOW, &tio); }) != 0) {
    return failExclusive(errno);
  }
  lost_ = false;
  noModemLines_ = false;
  hungUp_ = false;
  fd_ = std::move(fd);
  epoll_ = std::move(epoll);
  return 0;
}

void PosixSerialDevice::Close() {
  if (!fd_.Valid()) return;
  // Hang-up on close stays on, so that closing drops DTR and a real modem hangs up.
  termios restore = saved_;
  restore.c_cflag |= HUPCL;
  RetryEintr([&] { return ::tcsetattr(fd_.Get(), TCSANOW, &restore); });
  ::ioctl(fd_.Get(), TIOCNXCL);
  epoll_.Reset();
  fd_.Reset();
  lock_.Release();
  cancel_ = WakeFd();
  abort_ = WakeFd();
}

int PosixSerialDevice::GetLine(LineSettings& out) {
  termios tio{};
  if (::tcgetattr(fd_.Get(), &tio) != 0) return OsError(Failed(errno));
  out.baud = BaudFor(::cfgetospeed(&tio));
  switch (tio.c_cflag & CSIZE) {
    case CS5:
      out.dataBits = 5;
      break;
    case CS6:
      out.dataBits = 6;
      break;
    case CS7:
      out.dataBits = 7;
      break;
    default:
      out.dataBits = 8;
      break;
  }
  if (!(tio.c_cflag & PARENB)) {
    out.parity = 0;
  } else if (tio.c_cflag & CMSPAR) {
    out.parity = (tio.c_cflag & PARODD) ? 3 : 4;
  } else {
    out.parity = (tio.c_cflag & PARODD) ? 1 : 2;
  }
  out.stopBits = (tio.c_cflag & CSTOPB) ? 2 : 1;
  out.hardwareFlow = (tio.c_cflag & CRTSCTS) != 0;
  out.softwareFlow = (tio.c_iflag & (IXON | IXOFF)) != 0;
  out.xonChar = tio.c_cc[VSTART];
  out.xoffChar = tio.c_cc[VSTOP];
  return 0;
}

int PosixSerialDevice::SetLine(const LineSettings& s) {
  termios tio{};
  if (::tcgetattr(fd_.Get(), &tio) != 0) return OsError(Failed(errno));
  speed_t speed = B0;
  const bool named = SpeedFor(s.baud, speed);
  if (named) {
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
  }
  tio.c_cflag &= ~CSIZE;
  switch (s.dataBits) {
    case 5:
      tio.c_cflag |= CS5;
      break;
    case 6:
      tio.c_cflag |= CS6;
      break;
    case 7:
      tio.c_cflag |= CS7;
      break;
    default:
      tio.c_cflag |= CS8;
      break;
  }
  tio.c_cflag &= ~(PARENB | PARODD | CMSPAR);
  switch (s.parity) {
    case 1:
      tio.c_cflag |= PARENB | PARODD;
      break;
    case 2:
      tio.c_cflag |= PARENB;
      break;
    case 3:
      tio.c_cflag |= PARENB | CMSPAR | PARODD;
      break;
    case 4:
      tio.c_cflag |= PARENB | CMSPAR;
      break;
    default:
      break;
  }
  if (s.stopBits == 2) {
    tio.c_cflag |= CSTOPB;
  } else {
    tio.c_cflag &= ~CSTOPB;
  }
  if (s.hardwareFlow) {
    tio.c_cflag |= CRTSCTS;
  } else {
    tio.c_cflag &= ~CRTSCTS;
  }
  if (s.softwareFlow) {
    tio.c_iflag |= IXON | IXOFF;
  } else {
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
  }
  tio.c_cc[VSTART] = s.xonChar;
  tio.c_cc[VSTOP] = s.xoffChar;
  if (RetryEintr([&] { return ::tcsetattr(fd_.Get(), TCSANOW, &tio); }) != 0) {
    // A pseudo-terminal has no character format and newer kernels refuse to change it;
    // the rest of the settings still apply.
    if (errno != EINVAL || !IsPseudoTerminal(fd_.Get())) return OsError(Failed(errno));
    termios current{};
    if (::tcgetattr(fd_.Get(), &current) != 0) return OsError(errno);
    constexpr tcflag_t kFormat = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB;
    tio.c_cflag = (tio.c_cflag & ~kFormat) | (current.c_cflag & kFormat);
    if (RetryEintr([&] { return ::tcsetattr(fd_.Get(), TCSANOW, &tio); }) != 0) {
      return OsError(errno);
    }
  }
  if (!named && s.baud > 0) {
    if (const int err = SetCustomBaud(fd_.Get(), s.baud); err != 0) return OsError(err);
  }
  return 0;
}

int PosixSerialDevice::SetModemLine(Line line, bool raised) {
  if (noModemLines_) return 0;
  int bits = line == Line::kDtr ? TIOCM_DTR : TIOCM_RTS;
  if (::ioctl(fd_.Get(), raised ? TIOCMBIS : TIOCMBIC, &bits) != 0 && !ModemLinesRefused(errno)) {
    return OsError(Failed(errno));
  }
  return 0;
}

uint8_t PosixSerialDevice::ModemStatus() {
  if (noModemLines_) return 0;
  int bits = 0;
  if (::ioctl(fd_.Get(), TIOCMGET, &bits) != 0) {
    if (!ModemLinesRefused(errno)) Failed(errno);
    return 0;
  }
  uint8_t status = 0;
  if (bits & TIOCM_CTS) status |= modem_status::kCts;
  if (bits & TIOCM_DSR) status |= modem_status::kDsr;
  if (bits & TIOCM_RI) status |= modem_status::kRing;
  if (bits & TIOCM_CD) status |= modem_status::kDcd;
  return status;
}

size_t PosixSerialDevice::Unread() {
  int count = 0;
  if (::ioctl(fd_.Get(), FIONREAD, &count) != 0) {
    Failed(errno);
    return 0;
  }
  if (count < 0) return 0;
  return static_cast<size_t>(count);
}

size_t PosixSerialDevice::Read(uint8_t* buffer, size_t size) {
  const ssize_t n = RetryEintr([&] { return ::read(fd_.Get(), buffer, size); });
  if (n < 0) Failed(errno);
  return n > 0 ? static_cast<size_t>(n) : 0;
}

SerialDevice::WriteResult PosixSerialDevice::Write(const uint8_t* data, size_t size,
                                                   size_t& written) {
  written = 0;
  while (written < size) {
    const ssize_t n =
        RetryEintr([&] { return ::write(fd_.Get(), data + written, size - written); });
    if (n > 0) {
      written += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN) {
      Failed(errno);
      return WriteResult::kFailed;
    }
    std::array<pollfd, 2> fds{{{fd_.Get(), POLLOUT, 0}, {abort_.PollFd(), POLLIN, 0}}};
    if (RetryEintr([&] { return ::poll(fds.data(), fds.size(), -1); }) < 0) {
      return WriteResult::kFailed;
    }
    if (fds[1].revents & POLLIN) {
      abort_.Drain();
      return WriteResult::kAborted;
    }
    if (fds[0].revents & (POLLERR | POLLHUP)) {
      lost_ = true;  // the line is gone: no room will ever come
      return WriteResult::kFailed;
    }
    if (fds[0].revents & POLLNVAL) return WriteResult::kFailed;
  }
  return WriteResult::kDone;
}

SerialDevice::WaitResult PosixSerialDevice::WaitInput() {
  for (;;) {
    std::array<epoll_event, 2> events{};
    const int n = RetryEintr([&] {
      return ::epoll_wait(epoll_.Get(), events.data(), static_cast<int>(events.size()),
                          hungUp_ ? kHangUpRecheckMs : -1);
    });
    if (n < 0) return WaitResult::kFailed;
    bool arrived = false;
    bool gone = hungUp_;
    for (int i = 0; i < n; ++i) {
      if (events[i].data.fd == cancel_.PollFd()) return WaitResult::kCancelled;
      arrived |= (events[i].events & EPOLLIN) != 0;
      gone |= (events[i].events & (EPOLLERR | EPOLLHUP)) != 0;
    }
    if (gone) {
      // A hung-up device is gone once what it had received has been read; it says so
      // only once, so until then it is looked at again every little while.
      if (Unread() == 0) {
        lost_ = true;
        return WaitResult::kFailed;
      }
      hungUp_ = true;
      return WaitResult::kReady;
    }
    if (arrived) return WaitResult::kReady;
  }
}

int PosixSerialDevice::Purge(bool input, bool output) {
  const int which = input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH;
  if (::tcflush(fd_.Get(), which) != 0 && !NotALine(errno)) return OsError(Failed(errno));
  return 0;
}

}  // namespace
}  // namespace posix

std::unique_ptr<SerialDevice> SerialDevice::Create() {
  return std::make_unique<posix::PosixSerialDevice>();
}
