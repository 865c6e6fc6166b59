#include "serial/posix/SysCall.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

#include "serial/SerialErrors.h"

namespace posix {

int OsError(int err) {
  switch (err) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return serial_error::kOsFileNotFound;
    case EBUSY:
    case EWOULDBLOCK:
      return serial_error::kOsAccessDenied;
    case EPERM:
      // Reported like EACCES so that the user is told about the dialout group.
      return serial_error::kOsPermission;
    case EIO:
      // Its number would read as "device already open".
      return serial_error::kOsGeneralFailure;
    default:
      return err > 0 ? err : serial_error::kOsGeneralFailure;
  }
}

namespace {
CreateFault& Fault() {
  static CreateFault fault;
  return fault;
}
}  // namespace

void SetCreateFault(CreateFault fault) {
  Fault() = std::move(fault);
}

int CreateFile(const std::string& path, int flags, mode_t mode) {
  if (Fault()) {
    if (const int err = Fault()(path); err != 0) {
      errno = err;
      return -1;
    }
  }
  return RetryEintr([&] { return ::open(path.c_str(), flags | O_CREAT, mode); });
}

void NameThisThread(const char* name) {
  constexpr size_t kMaxName = 15;
  char cut[kMaxName + 1] = {};
  std::strncpy(cut, name, kMaxName);
  (void)::pthread_setname_np(::pthread_self(), cut);
}

void UniqueFd::Reset(int fd) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

bool WakeFd::Create() {
  const int efd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (efd >= 0) {
    read_.Reset(efd);
    write_.Reset();
    return true;
  }
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  read_.Reset(fds[0]);
  write_.Reset(fds[1]);
  return true;
}

void WakeFd::Signal() {
  const uint64_t one = 1;
  const int fd = write_.Valid() ? write_.Get() : read_.Get();
  // A full pipe or a saturated counter is already signalled: nothing more to do.
  (void)RetryEintr([&] { return ::write(fd, &one, write_.Valid() ? 1 : sizeof one); });
}

void WakeFd::Drain() {
  uint64_t buffer[8];
  while (RetryEintr([&] { return ::read(read_.Get(), buffer, sizeof buffer); }) > 0) {
  }
}

}  // namespace posix
