#include "serial/posix/UucpLock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
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
// Enough for: the lock vanished or was stale, we removed it, someone else won the race.
constexpr int kAcquireAttempts = 3;
constexpr mode_t kLockMode = 0644;  // other programs read the pid in it
constexpr size_t kBinaryPidSize = 4;
constexpr int kMaxPidDigits = 10;
// A lock without a readable pid may be one that its writer has only just created.
constexpr time_t kFreshLockSeconds = 5;
constexpr size_t kMaxLockText = 64;

std::string& FolderSetting() {
  static std::string folder = kDefaultFolder;
  return folder;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// The pid in a lock's content, or nothing when it holds none (empty, blanks, garbage).
// The binary form is four bytes whose last is 0 for every possible pid, which no text
// lock ends with; a text lock is blanks, the pid's digits, then whatever its writer
// adds (a newline, its name and its user's).
std::optional<pid_t> ParseLockPid(const char* data, size_t size) {
  if (size == kBinaryPidSize && data[kBinaryPidSize - 1] == '\0') {
    int32_t binary = 0;
    std::memcpy(&binary, data, sizeof binary);
    if (binary > 0) return static_cast<pid_t>(binary);
    return std::nullopt;
  }
  size_t i = 0;
  while (i < size && (data[i] == ' ' || data[i] == '\t')) ++i;
  int64_t value = 0;
  int digits = 0;
  for (; i < size && IsDigit(data[i]); ++i) {
    if (++digits > kMaxPidDigits) return std::nullopt;
    value = value * 10 + (data[i] - '0');
  }
  if (digits == 0 || value <= 0 || value > INT32_MAX) return std::nullopt;
  return static_cast<pid_t>(value);
}

std::optional<pid_t> ReadLockPid(int fd) {
  char buffer[kMaxLockText] = {};
  const ssize_t n = RetryEintr([&] { return ::pread(fd, buffer, sizeof buffer, 0); });
  if (n <= 0) return std::nullopt;
  return ParseLockPid(buffer, static_cast<size_t>(n));
}

// O_NONBLOCK: a FIFO planted under the lock's name must not hang the open.
UniqueFd OpenLock(const std::string& path) {
  return UniqueFd(RetryEintr(
      [&] { return ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC); }));
}

bool ProcessAlive(pid_t pid) {
  if (pid <= 0) return false;
  return ::kill(pid, 0) == 0 || errno == EPERM;
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

enum class LockState { kNone, kHeld, kStale };

struct LockView {
  LockState state = LockState::kNone;
  std::optional<pid_t> pid;
};

// What a lock file says, read through fd when we may open it (its status in st).
LockView Judge(int fd, const struct stat& st) {
  LockView view;
  if (fd >= 0) view.pid = ReadLockPid(fd);
  if (view.pid) {
    view.state = ProcessAlive(*view.pid) ? LockState::kHeld : LockState::kStale;
  } else {
    const time_t age = std::time(nullptr) - st.st_mtime;
    view.state = age < kFreshLockSeconds ? LockState::kHeld : LockState::kStale;
  }
  return view;
}

LockView Inspect(const std::string& lockPath) {
  struct stat st {};
  // A lock we cannot even look at is none we could honour.
  if (::lstat(lockPath.c_str(), &st) != 0) return {};
  const UniqueFd fd = OpenLock(lockPath);
  return Judge(fd.Get(), st);
}

// Removes the stale lock at lockPath unless it has meanwhile been replaced or has come
// to life; either way the caller looks again. Openers that follow this protocol take
// the flock on the stale file first, so only one of them checks and moves it at a time,
// and each moves only the very file it checked (same inode, still stale). A program that
// removes stale locks by a plain unlink can only slip in between the last check and the
// rename; what was moved aside is then not the checked file and is linked back.
void RemoveStale(const std::string& lockPath, const std::string& asidePath) {
  const UniqueFd fd = OpenLock(lockPath);
  const int openError = fd.Valid() ? 0 : errno;
  struct stat checked {};
  if (fd.Valid()) {
    // Blocks only while another opener removes this same stale lock.
    if (RetryEintr([&] { return ::flock(fd.Get(), LOCK_EX); }) != 0) return;
    if (::fstat(fd.Get(), &checked) != 0) return;
  } else if (openError == ENOENT || ::lstat(lockPath.c_str(), &checked) != 0) {
    return;  // gone already
  }
  if (Judge(fd.Get(), checked).state != LockState::kStale) return;
  struct stat current {};
  if (::lstat(lockPath.c_str(), &current) != 0 || !SameFile(current, checked)) return;
  if (::rename(lockPath.c_str(), asidePath.c_str()) != 0) return;
  struct stat moved {};
  if (::lstat(asidePath.c_str(), &moved) == 0 && !SameFile(moved, checked)) {
    // Someone's fresh lock came in the instant before the rename: theirs goes back.
    (void)::link(asidePath.c_str(), lockPath.c_str());
  }
  ::unlink(asidePath.c_str());
}

// Writes our pid under the temporary name; 0 or the errno of the failure. The name is
// created afresh: whatever lies there (a leftover, a planted link) is removed first,
// which never touches what a link points at.
int WriteTemp(const std::string& tempPath) {
  UniqueFd fd;
  for (int attempt = 0; attempt < 2 && !fd.Valid(); ++attempt) {
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

// Removes the temporary file however Acquire ends.
class TempFile {
 public:
  explicit TempFile(std::string path) : path_(std::move(path)) {}
  ~TempFile() { ::unlink(path_.c_str()); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// Our own lock (another port of ours on the device) keeps the plain "already open".
std::string RefusalText(const std::string& lockPath, const LockView& view) {
  if (!view.pid || *view.pid == ::getpid()) return {};
  return lockPath + " is held by process " + std::to_string(*view.pid);
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

std::string UucpLock::AsideFileFor(const std::string& lockPath) {
  return lockPath + ".stale" + std::to_string(::getpid());
}

int UucpLock::Acquire(const std::string& devicePath) {
  Release();
  refusal_.clear();
  const std::string lockPath = LockFileFor(devicePath, Folder());
  if (WriteTemp(TempFileFor(lockPath)) != 0) {
    // The folder refuses us: we hold no lock, but the locks of others still count.
    const LockView view = Inspect(lockPath);
    if (view.state != LockState::kHeld) return 0;
    refusal_ = RefusalText(lockPath, view);
    return serial_error::kOsAccessDenied;
  }
  const TempFile temp(TempFileFor(lockPath));
  LockView view;
  for (int attempt = 0; attempt < kAcquireAttempts; ++attempt) {
    if (::link(temp.Path().c_str(), lockPath.c_str()) == 0) {
      struct stat st {};
      if (::lstat(lockPath.c_str(), &st) != 0) return OsError(errno);
      path_ = lockPath;
      device_ = st.st_dev;
      inode_ = st.st_ino;
      return 0;
    }
    if (errno != EEXIST) return OsError(errno);
    view = Inspect(lockPath);
    if (view.state == LockState::kHeld) break;  // by another process, or by this one
    if (view.state == LockState::kStale) RemoveStale(lockPath, AsideFileFor(lockPath));
  }
  if (view.state == LockState::kHeld) refusal_ = RefusalText(lockPath, view);
  return serial_error::kOsAccessDenied;
}

void UucpLock::Release() {
  if (path_.empty()) return;
  // Someone may have taken the device over meanwhile (counting our lock as stale): their
  // lock is not ours to remove.
  struct stat st {};
  if (::lstat(path_.c_str(), &st) == 0 && st.st_dev == device_ && st.st_ino == inode_) {
    const UniqueFd fd = OpenLock(path_);
    if (fd.Valid() && ReadLockPid(fd.Get()) == ::getpid()) ::unlink(path_.c_str());
  }
  path_.clear();
}

}  // namespace posix
