#include "serial/posix/UucpLock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>

#include "serial/SerialErrors.h"
#include "serial/posix/SysCall.h"

namespace posix {
namespace {

constexpr char kDefaultFolder[] = "/var/lock";
constexpr char kDevPrefix[] = "/dev/";
constexpr int kAcquireAttempts = 2;  // one retry after removing a stale lock
constexpr mode_t kLockMode = 0644;   // other programs read the pid in it
constexpr int kBinaryPidSize = 4;
// A lock without a readable pid may be one that its writer has only just created.
constexpr time_t kFreshLockSeconds = 5;
constexpr size_t kMaxLockText = 32;

std::string& FolderSetting() {
  static std::string folder = kDefaultFolder;
  return folder;
}

// The pid in a lock's content: decimal text of any width (blanks around it and a final
// newline allowed), or the old binary form, 4 bytes. Nothing when empty or unreadable.
std::optional<pid_t> ParseLockPid(const char* data, size_t size) {
  size_t i = 0;
  while (i < size && data[i] == ' ') ++i;
  long value = 0;
  size_t digits = 0;
  while (i < size && data[i] >= '0' && data[i] <= '9' && digits < 10) {
    value = value * 10 + (data[i] - '0');
    ++i;
    ++digits;
  }
  while (i < size && (data[i] == ' ' || data[i] == '\n')) ++i;
  if (digits > 0 && i == size) return static_cast<pid_t>(value);
  if (size == kBinaryPidSize) {
    int32_t binary = 0;
    std::memcpy(&binary, data, sizeof binary);
    if (binary > 0) return static_cast<pid_t>(binary);
  }
  return std::nullopt;
}

std::optional<pid_t> ReadLockPid(const std::string& path) {
  UniqueFd fd(RetryEintr([&] { return ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC); }));
  if (!fd.Valid()) return std::nullopt;
  char buffer[kMaxLockText] = {};
  const ssize_t n = RetryEintr([&] { return ::read(fd.Get(), buffer, sizeof buffer); });
  if (n <= 0) return std::nullopt;
  return ParseLockPid(buffer, static_cast<size_t>(n));
}

bool ProcessAlive(pid_t pid) {
  if (pid <= 0) return false;
  return ::kill(pid, 0) == 0 || errno == EPERM;
}

enum class LockState { kNone, kHeld, kStale };

LockState Inspect(const std::string& lockPath) {
  struct stat st {};
  // A lock we cannot even look at is none we could honour.
  if (::lstat(lockPath.c_str(), &st) != 0) return LockState::kNone;
  if (const auto pid = ReadLockPid(lockPath)) {
    return ProcessAlive(*pid) ? LockState::kHeld : LockState::kStale;
  }
  const time_t age = std::time(nullptr) - st.st_mtime;
  return age < kFreshLockSeconds ? LockState::kHeld : LockState::kStale;
}

// Writes our pid under the temporary name; 0 or the errno of the failure. The name is
// created afresh: whatever lies there (a leftover, a planted link) is removed first,
// which never touches what a link points at.
int WriteTemp(const std::string& tempPath) {
  UniqueFd fd;
  for (int attempt = 0; attempt < kAcquireAttempts && !fd.Valid(); ++attempt) {
    fd = UniqueFd(CreateFile(tempPath, O_WRONLY | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kLockMode));
    if (!fd.Valid() && errno == EEXIST) ::unlink(tempPath.c_str());
  }
  if (!fd.Valid()) return errno;
  char text[16];
  const int len = std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(::getpid()));
  if (::fchmod(fd.Get(), kLockMode) != 0 ||
      RetryEintr([&] { return ::write(fd.Get(), text, len); }) != len) {
    const int err = errno != 0 ? errno : EIO;
    ::unlink(tempPath.c_str());
    return err;
  }
  return 0;
}

}  // namespace

const std::string& UucpLock::Folder() {
  return FolderSetting();
}

void UucpLock::SetFolder(const std::string& folder) {
  FolderSetting() = folder.empty() ? std::string(kDefaultFolder) : folder;
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

std::string UucpLock::TempFileFor(const std::string& lockPath) {
  return lockPath + ".tmp" + std::to_string(::getpid());
}

int UucpLock::Acquire(const std::string& devicePath) {
  Release();
  const std::string lockPath = LockFileFor(devicePath, Folder());
  const std::string tempPath = TempFileFor(lockPath);
  if (WriteTemp(tempPath) != 0) {
    // The folder refuses us: we hold no lock, but the locks of others still count.
    return Inspect(lockPath) == LockState::kHeld ? serial_error::kOsAccessDenied : 0;
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
    const LockState state = Inspect(lockPath);
    if (state == LockState::kHeld) break;  // by another process, or by this one
    if (state == LockState::kStale) ::unlink(lockPath.c_str());
  }
  ::unlink(tempPath.c_str());
  return result;
}

void UucpLock::Release() {
  if (path_.empty()) return;
  // Someone may have taken the device over meanwhile (counting our lock as stale): their
  // lock is not ours to remove.
  if (ReadLockPid(path_) == ::getpid()) ::unlink(path_.c_str());
  path_.clear();
}

}  // namespace posix
