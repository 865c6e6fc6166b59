#pragma once
// A test modem on a pseudo-terminal that answers each command line with chunks chosen by
// the test, each sent after its own pause, so that every chunk reaches the program as a
// receive trigger of its own.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace testmodem {

struct Chunk {
  std::string bytes;
  int pauseMs = 60;  // before this chunk is written
};

using Script = std::function<std::vector<Chunk>(const std::string& command)>;

inline std::vector<Chunk> Chunks(std::initializer_list<std::string> texts, int pauseMs = 60) {
  std::vector<Chunk> out;
  for (const std::string& t : texts) out.push_back({t, pauseMs});
  return out;
}

class ScriptedModem {
 public:
  explicit ScriptedModem(Script script) : script_(std::move(script)) {
    char name[256] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) Fail("openpty");
    slavePath_ = name;
    termios raw{};
    if (tcgetattr(slave_, &raw) != 0) Fail("tcgetattr");
    cfmakeraw(&raw);
    if (tcsetattr(slave_, TCSANOW, &raw) != 0) Fail("tcsetattr");
    if (pipe(wake_) != 0) Fail("pipe");
    thread_ = std::thread([this] { Run(); });
  }

  ~ScriptedModem() {
    const char stop = 'x';
    if (write(wake_[1], &stop, 1) != 1) {
      // The thread would not wake; nothing sensible is left to do in a destructor.
    }
    thread_.join();
    for (int fd : {master_, slave_, wake_[0], wake_[1]}) close(fd);
  }

  ScriptedModem(const ScriptedModem&) = delete;
  ScriptedModem& operator=(const ScriptedModem&) = delete;

  const std::string& SlavePath() const { return slavePath_; }

  std::vector<std::string> Commands() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return commands_;
  }

 private:
  [[noreturn]] static void Fail(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
  }

  // Sleeps up to ms, false when asked to stop meanwhile.
  bool Pause(int ms) {
    pollfd p{wake_[0], POLLIN, 0};
    return poll(&p, 1, ms) == 0;
  }

  void Run() {
    std::string line;
    for (;;) {
      pollfd fds[2] = {{master_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
      if (poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (fds[1].revents) return;
      if (!(fds[0].revents & POLLIN)) {
        // The program has closed its side; wait for it to come back.
        if (!Pause(10)) return;
        continue;
      }
      char buf[256];
      const ssize_t n = read(master_, buf, sizeof buf);
      if (n <= 0) {
        if (!Pause(10)) return;
        continue;
      }
      for (ssize_t i = 0; i < n; ++i) {
        if (buf[i] == '\n') continue;
        if (buf[i] != '\r') {
          line += buf[i];
          continue;
        }
        const std::string command = line;
        line.clear();
        {
          std::lock_guard<std::mutex> lock(mutex_);
          commands_.push_back(command);
        }
        for (const Chunk& c : script_(command)) {
          if (!Pause(c.pauseMs)) return;
          if (write(master_, c.bytes.data(), c.bytes.size()) < 0) break;
        }
      }
    }
  }

  Script script_;
  int master_ = -1;
  int slave_ = -1;
  int wake_[2] = {-1, -1};
  std::string slavePath_;
  mutable std::mutex mutex_;
  std::vector<std::string> commands_;
  std::thread thread_;
};

}  // namespace testmodem
