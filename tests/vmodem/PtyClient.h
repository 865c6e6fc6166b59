#pragma once
// The computer's side of a serial line to the virtual modem, with plain POSIX calls.
#include <chrono>
#include <string>

namespace vmodem::test {

using namespace std::chrono_literals;

// Generous: the machine running the tests may be busy.
constexpr auto kAnswerTimeout = 10s;

// True when the answer ends with a final result code, in either framing the profiles use.
bool endsWithResult(const std::string& answer);

class PtyClient {
 public:
  explicit PtyClient(const std::string& path);
  ~PtyClient();
  PtyClient(const PtyClient&) = delete;
  PtyClient& operator=(const PtyClient&) = delete;

  bool isOpen() const { return fd_ >= 0; }
  void close();
  void send(const std::string& bytes);
  // Reads until the bytes received contain `until`, or the timeout passes. Returns the
  // bytes up to and including `until`; those read beyond it (a stream right behind its
  // CONNECT, in one chunk) are kept for the next read.
  std::string readUntil(const std::string& until,
                        std::chrono::milliseconds timeout = kAnswerTimeout);
  std::string readAnswer(std::chrono::milliseconds timeout = kAnswerTimeout);
  // Reads at least n bytes (or until the timeout).
  std::string readBytes(size_t n, std::chrono::milliseconds timeout = kAnswerTimeout);
  // Everything that arrives within the given time.
  std::string readFor(std::chrono::milliseconds duration);
  // Sends the command with a CR and returns the whole answer.
  std::string command(const std::string& cmd);
  // True once a read reports that the device has gone (EIO or end of file).
  bool gone() const { return gone_; }

 private:
  bool readSome(std::string& into, std::chrono::steady_clock::time_point deadline);
  int fd_ = -1;
  bool gone_ = false;
  std::string pending_;  // read already, not yet returned
};

}  // namespace vmodem::test
