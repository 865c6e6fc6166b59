#include "vmodem/PseudoTerminal.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <system_error>

namespace vmodem {
namespace {

[[noreturn]] void throwErrno(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

PseudoTerminal::PseudoTerminal() {
  master_.reset(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
  if (!master_.valid()) throwErrno("posix_openpt");
  if (::grantpt(master_.get()) != 0) throwErrno("grantpt");
  if (::unlockpt(master_.get()) != 0) throwErrno("unlockpt");
  char name[PATH_MAX];
  if (::ptsname_r(master_.get(), name, sizeof name) != 0) throwErrno("ptsname_r");
  slavePath_ = name;
  makeRaw();
}

PseudoTerminal::~PseudoTerminal() {
  unlink();
}

void PseudoTerminal::makeRaw() {
  if (!master_.valid()) return;
  termios tio{};
  if (::tcgetattr(master_.get(), &tio) != 0) throwErrno("tcgetattr");
  ::cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  ::cfsetispeed(&tio, B115200);
  ::cfsetospeed(&tio, B115200);
  if (::tcsetattr(master_.get(), TCSANOW, &tio) != 0) throwErrno("tcsetattr");
}

bool PseudoTerminal::clearExclusive(bool* opened) {
  UniqueFd slave(::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  *opened = slave.valid();
  return slave.valid() && ::ioctl(slave.get(), TIOCNXCL) == 0;
}

void PseudoTerminal::closeMaster() {
  master_.reset();
}

void PseudoTerminal::link(const std::string& linkPath) {
  struct stat st {};
  if (::lstat(linkPath.c_str(), &st) == 0) {
    if (!S_ISLNK(st.st_mode)) {
      throw std::system_error(EEXIST, std::generic_category(),
                              linkPath + " exists and is not a link");
    }
    if (::unlink(linkPath.c_str()) != 0) throwErrno("unlink " + linkPath);
  }
  if (::symlink(slavePath_.c_str(), linkPath.c_str()) != 0) throwErrno("symlink " + linkPath);
  linkPath_ = linkPath;
}

void PseudoTerminal::unlink() {
  if (linkPath_.empty()) return;
  char target[PATH_MAX];
  const ssize_t n = ::readlink(linkPath_.c_str(), target, sizeof target - 1);
  if (n >= 0 && std::string(target, static_cast<size_t>(n)) == slavePath_) {
    ::unlink(linkPath_.c_str());
  }
  linkPath_.clear();
}

SlaveWatcher::SlaveWatcher(const std::string& slavePath) {
  fd_.reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
  if (!fd_.valid()) return;  // the modem then falls back to watching for hang-ups
  if (::inotify_add_watch(fd_.get(), slavePath.c_str(), IN_OPEN | IN_CLOSE) < 0) fd_.reset();
}

SlaveWatcher::Events SlaveWatcher::read() {
  Events events;
  if (!fd_.valid()) return events;
  alignas(inotify_event) char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd_.get(), buffer, sizeof buffer);
    if (n <= 0) break;
    for (ssize_t off = 0; off < n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + off);
      if (event->mask & IN_OPEN) {
        ++events.opens;
        ++openFiles_;
      }
      if (event->mask & IN_CLOSE) {
        ++events.closes;
        if (openFiles_ > 0 && --openFiles_ == 0) {
          if (ownCloses_ > 0) {
            --ownCloses_;
          } else {
            events.becameUnused = true;
          }
        }
      }
      if (event->mask & IN_Q_OVERFLOW) openFiles_ = 0;
      off += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
  return events;
}

}  // namespace vmodem
