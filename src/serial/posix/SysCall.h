#pragma once
// The one boundary between the POSIX device layer and the system: calls retried on
// EINTR, descriptors owned by RAII, errno mapped to the layer's error numbers once.
#include <sys/types.h>

#include <cerrno>
#include <functional>
#include <string>
#include <utility>

namespace posix {

// Repeats a system call interrupted by a signal. Never wrap close() with it: on Linux
// the descriptor is gone even when close reports EINTR.
template <class Call>
auto RetryEintr(Call call) {
  decltype(call()) result;
  do {
    result = call();
  } while (result == -1 && errno == EINTR);
  return result;
}

// errno -> the error number the serial layer reports: a missing device is 2, a device
// held by someone else is 5, anything else keeps its own number (and text).
int OsError(int err);

// Creates (opens with O_CREAT) a file the layer writes, retried on EINTR; -1 and errno on
// failure. Tests install a fault that names the errno a path is to fail with (0: none),
// to stand for folders that refuse us, which file modes cannot do for root.
int CreateFile(const std::string& path, int flags, mode_t mode);
using CreateFault = std::function<int(const std::string& path)>;
void SetCreateFault(CreateFault fault);

// Names the calling thread (cut to the system's 15 characters); a thread that cannot
// be named runs on under its old name.
void NameThisThread(const char* name);

// An owned file descriptor.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.fd_, -1));
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { Reset(); }

  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  void Reset(int fd = -1);

 private:
  int fd_ = -1;
};

// A wake-up that poll() can wait on: an eventfd, or a pipe where eventfd is missing.
class WakeFd {
 public:
  // false when neither could be created.
  bool Create();
  int PollFd() const { return read_.Get(); }
  void Signal();
  void Drain();

 private:
  UniqueFd read_;
  UniqueFd write_;  // only for the pipe fallback
};

}  // namespace posix
