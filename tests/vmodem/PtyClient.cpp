#include "PtyClient.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <system_error>

namespace vmodem::test {
namespace {

bool endsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

bool endsWithResult(const std::string& answer) {
  for (const char* code : {"OK", "ERROR", "CONNECT", "VCON", "NO CARRIER"}) {
    if (endsWith(answer, std::string("\r\n") + code + "\r\n") ||
        endsWith(answer, std::string("\n\r\n") + code + "\r"))
      return true;
  }
  return false;
}

PtyClient::PtyClient(const std::string& path) {
  fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "open " + path);
  termios tio{};
  ::tcgetattr(fd_, &tio);
  ::cfmakeraw(&tio);
  ::cfsetispeed(&tio, B115200);
  ::cfsetospeed(&tio, B115200);
  ::tcsetattr(fd_, TCSANOW, &tio);
}

PtyClient::~PtyClient() {
  close();
}

void PtyClient::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void PtyClient::send(const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EAGAIN) {
      pollfd p{fd_, POLLOUT, 0};
      ::poll(&p, 1, 1000);
      continue;
    }
    if (n < 0) throw std::system_error(errno, std::generic_category(), "write");
    done += static_cast<size_t>(n);
  }
}

bool PtyClient::readSome(std::string& into, std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  if (!pending_.empty()) {
    into += pending_;
    pending_.clear();
    return true;
  }
  if (left.count() < 0 || gone_) return false;
  pollfd p{fd_, POLLIN, 0};
  if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
  char buffer[4096];
  const ssize_t n = ::read(fd_, buffer, sizeof buffer);
  if (n > 0) {
    into.append(buffer, static_cast<size_t>(n));
    return true;
  }
  if (n == 0 || (errno != EAGAIN && errno != EINTR)) gone_ = true;
  return !gone_;
}

std::string PtyClient::readUntil(const std::string& until, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::string got;
  while (got.find(until) == std::string::npos && readSome(got, deadline)) {
  }
  const size_t at = got.find(until);
  if (at != std::string::npos && at + until.size() < got.size()) {
    pending_ = got.substr(at + until.size());
    got.resize(at + until.size());
  }
  return got;
}

std::string PtyClient::readAnswer(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::string got;
  for (;;) {
    if (endsWithResult(got)) return got;
    if (!readSome(got, deadline)) return got;
  }
}

std::string PtyClient::readBytes(size_t n, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::string got;
  while (got.size() < n && readSome(got, deadline)) {
  }
  return got;
}

std::string PtyClient::readFor(std::chrono::milliseconds duration) {
  const auto deadline = std::chrono::steady_clock::now() + duration;
  std::string got;
  while (!gone_ && std::chrono::steady_clock::now() < deadline) readSome(got, deadline);
  return got;
}

std::string PtyClient::command(const std::string& cmd) {
  send(cmd + "\r");
  return readAnswer();
}

}  // namespace vmodem::test
