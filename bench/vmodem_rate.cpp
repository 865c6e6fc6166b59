// Streaming rate and responsiveness of the virtual modem, measured from the computer's
// side of its pty. Prints "name: value" lines.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "vmodem/VirtualModem.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kMeasureTime = 4s;

class Line {
 public:
  explicit Line(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY)) {
    termios tio{};
    ::tcgetattr(fd_, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(fd_, TCSANOW, &tio);
  }
  ~Line() { ::close(fd_); }
  void send(const std::string& s) { (void)!::write(fd_, s.data(), s.size()); }
  // Reads what arrives within the time (blocking in poll).
  std::string read(std::chrono::milliseconds wait) {
    pollfd p{fd_, POLLIN, 0};
    std::string got;
    if (::poll(&p, 1, static_cast<int>(wait.count())) > 0) {
      char buffer[8192];
      const ssize_t n = ::read(fd_, buffer, sizeof buffer);
      if (n > 0) got.assign(buffer, static_cast<size_t>(n));
    }
    return got;
  }
  std::string readUntil(const std::string& what) {
    std::string got;
    const auto deadline = Clock::now() + 10s;
    while (got.find(what) == std::string::npos && Clock::now() < deadline) got += read(100ms);
    return got;
  }

 private:
  int fd_;
};

// Sample bytes per second over the measuring time, DLE pairs counted once.
double streamRate(const char* profile, const std::string& method, bool fullLineRate) {
  vmodem::Options options;
  options.profile = profile;
  options.fullLineRate = fullLineRate;
  vmodem::VirtualModem modem(options);
  modem.start();
  Line line(modem.slavePath());
  for (const std::string& cmd :
       {std::string("ATE0"), std::string("AT+FCLASS=8"), method, std::string("AT+VLS=1")}) {
    line.send(cmd + "\r");
    line.readUntil("OK\r\n");
  }
  line.send("AT+VRX\r");
  line.readUntil("CONNECT\r\n");
  line.read(200ms);  // settle: the first tick may carry a partial batch
  long long samples = 0;
  bool dle = false;
  const auto start = Clock::now();
  while (Clock::now() - start < kMeasureTime) {
    for (char c : line.read(50ms)) {
      if (dle) {
        dle = false;
        if (c == 0x10) ++samples;
      } else if (c == 0x10) {
        dle = true;
      } else {
        ++samples;
      }
    }
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  line.send("\x10!");
  line.readUntil("OK\r\n");
  return static_cast<double>(samples) / seconds;
}

}  // namespace

int main() {
  const double r8000 = streamRate("conexant", "AT+VSM=1,8000", false);
  std::printf("vmodem_stream_8000_bytes_per_s: %.1f\n", r8000);
  std::printf("vmodem_stream_8000_error_percent: %.2f\n", (r8000 / 8000.0 - 1.0) * 100.0);
  const double r11025 = streamRate("lucent", "AT+VSM=128,11025", false);
  std::printf("vmodem_stream_11025_bytes_per_s: %.1f\n", r11025);
  std::printf("vmodem_stream_11025_error_percent: %.2f\n", (r11025 / 11025.0 - 1.0) * 100.0);
  const double r7200 = streamRate("lucent", "AT+VSM=128,7200", false);
  std::printf("vmodem_stream_7200_bytes_per_s: %.1f\n", r7200);
  const double full = streamRate("conexant", "AT+VSM=1,8000", true);
  std::printf("vmodem_stream_full_line_bytes_per_s: %.1f\n", full);

  // Cost of a modem per port in a test: construct, start, answer one AT, stop.
  constexpr int kRounds = 50;
  double answerMs = 0;
  const auto begin = Clock::now();
  for (int i = 0; i < kRounds; ++i) {
    vmodem::VirtualModem modem;
    modem.start();
    Line line(modem.slavePath());
    const auto sent = Clock::now();
    line.send("AT\r");
    line.readUntil("OK\r\n");
    answerMs += std::chrono::duration<double, std::milli>(Clock::now() - sent).count();
  }
  const double totalMs = std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
  std::printf("vmodem_lifecycle_ms: %.2f\n", totalMs / kRounds);
  std::printf("vmodem_answer_latency_ms: %.3f\n", answerMs / kRounds);
  return 0;
}
