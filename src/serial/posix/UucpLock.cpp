#include "serial/posix/UucpLock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "serial/SerialErrors.h"
#include "serial/posix/SysCall.h"

namespace posix {
namespace {

constexpr char kLockFolder[] = "/var/lock";
constexpr char kDevPrefix[] = "/dev/";
constexpr int kAcquireAttempts = 2;  // one retry after removing a stale lock
constexpr mode_t kLockMode = 0644;

// The pid stored in a lock file: ten characters of text and a newline, or (old style)
// a binary int. 0 when unreadable.
pid_t ReadLockPid(const std::string& path) {
  UniqueFd fd(RetryEintr([&] { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC); }));
  if (!fd.Valid()) return 0;
  char buffer[32] = {};
  const ssize_t n = RetryEintr([&] { return ::read(fd.Get(), buffer, sizeof buffer - 1); });
  if (n <= 0) return 0;
  if (n == static_cast<ssize_t>(sizeof(int))) {
    int binary = 0;
    std::memcpy(&binary, buffer, sizeof binary);
    return binary;
  }
  return static_cast<pid_t>(std::strtol(buffer, nullptr, 10));
}

bool ProcessAlive(pid_t pid) {
  if (pid <= 0) return false;
  return ::kill(pid, 0) == 0 || errno == EPERM;
}

}  // namespace

const char* UucpLock::DefaultFolder() {
  return kLockFolder;
}

std::string UucpLock::LockFileFor(const std::string& devicePath, const std::string& folder) {
  std::string device = devicePath;
  if (char resolved[PATH_MAX]; ::realpath(devicePath.c_str(), resolved) != nullptr) {
    device = resolved;
  }
  if (device.rfind(kDevPrefix, 0) == 0) device.erase(0, sizeof kDevPrefix - 1);
  for (char& c : device) {
    if (c == '/') c = '_';
  }
  return folder + "/LCK.." + device;
}

int UucpLock::Acquire(const std::string& devicePath) {
  Release();
  if (::access(kLockFolder, W_OK) != 0) return 0;
  const std::string lockPath = LockFileFor(devicePath, kLockFolder);
  // Written under a temporary name and linked into place, so that nobody reads a
  // half-written lock.
  const std::string tempPath = lockPath + ".tmp" + std::to_string(::getpid());
  {
    UniqueFd fd(RetryEintr([&] {
      return ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, kLockMode);
    }));
    if (!fd.Valid()) return 0;  // the folder refuses us: there is no lock to take
    char text[16];
    const int len = std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(::getpid()));
    if (RetryEintr([&] { return ::write(fd.Get(), text, len); }) != len) {
      const int err = errno;
      ::unlink(tempPath.c_str());
      return OsError(err);
    }
  }
  int result = serial_error::kOsAccessDenied;
  for (int attempt = 0; attempt < kAcquireAttempts; ++attempt) {
    if (::link(tempPath.c_str(), lockPath.c_str()) == 0) {
      path_ = lockPath;
      result = 0;
      break;
    }
    if (errno != EEXIST) {
      result = OsError(errno);
      break;
    }
    const pid_t holder = ReadLockPid(lockPath);
    if (ProcessAlive(holder)) break;  // held, by another process or by this one
    ::unlink(lockPath.c_str());       // stale: its process is gone
  }
  ::unlink(tempPath.c_str());
  return result;
}

void UucpLock::Release() {
  if (path_.empty()) return;
  ::unlink(path_.c_str());
  path_.clear();
}

}  // namespace posix
