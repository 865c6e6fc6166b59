#pragma once
// A file descriptor that is closed on every path out.
#include <unistd.h>

class TFd {
 public:
  explicit TFd(int fd = -1) : fd_(fd) {}
  ~TFd() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
  }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  TFd(TFd&& other) noexcept : fd_(other.Release()) {}
  TFd& operator=(TFd&& other) noexcept {
    if (this != &other) {
      Reset(other.Release());
    }
    return *this;
  }
  int get() const { return fd_; }
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void Reset(int fd = -1) {
    if (fd_ >= 0) {
      ::close(fd_);
    }
    fd_ = fd;
  }
  // Closes now and reports the error of close (a delayed write error shows up here).
  int Close() {
    const int rc = ::close(fd_);
    fd_ = -1;
    return rc;
  }

 private:
  int fd_;
};
