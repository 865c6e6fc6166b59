#include "PtyPeer.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <dirent.h>

#include <cerrno>
#include <fstream>
#include <stdexcept>

#include "serial/Dispatcher.h"
#include "serial/PortMap.h"

PtyPeer::PtyPeer() {
  char name[256] = {};
  if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
    throw std::runtime_error("openpty failed");
  }
  slavePath_ = name;
  termios tio{};
  ::tcgetattr(slave_, &tio);
  ::cfmakeraw(&tio);
  ::tcsetattr(slave_, TCSANOW, &tio);
  ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtyPeer::~PtyPeer() {
  HangUp();
}

void PtyPeer::HangUp() {
  if (master_ >= 0) ::close(master_);
  if (slave_ >= 0) ::close(slave_);
  master_ = slave_ = -1;
}

void PtyPeer::Write(const QByteArray& bytes) {
  qsizetype done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(master_, bytes.constData() + done, bytes.size() - done);
    if (n > 0) {
      done += n;
    } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
      throw std::runtime_error("pty write failed");
    } else {
      pollfd p{master_, POLLOUT, 0};
      ::poll(&p, 1, 100);
    }
  }
}

QByteArray PtyPeer::Read(size_t count, std::chrono::milliseconds limit) {
  QByteArray got;
  QDeadlineTimer deadline(limit);
  char buffer[4096];
  while (static_cast<size_t>(got.size()) < count && !deadline.hasExpired()) {
    pollfd p{master_, POLLIN, 0};
    ::poll(&p, 1, static_cast<int>(deadline.remainingTime()));
    const ssize_t n = ::read(master_, buffer, sizeof buffer);
    if (n > 0) got.append(buffer, n);
  }
  return got;
}

QByteArray PtyPeer::ReadUntilQuiet(std::chrono::milliseconds quiet) {
  QByteArray got;
  char buffer[4096];
  while (true) {
    pollfd p{master_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(quiet.count())) <= 0) break;
    const ssize_t n = ::read(master_, buffer, sizeof buffer);
    if (n <= 0) break;
    got.append(buffer, n);
  }
  return got;
}

TestPortMap::TestPortMap(std::map<int, std::string> ports) : ports_(std::move(ports)) {
  SetPortPathSource([this](int n) -> std::optional<std::string> {
    auto it = ports_.find(n);
    if (it != ports_.end()) return it->second;
    return "/nonexistent/tavrin-test-port-" + std::to_string(n);
  });
}

TestPortMap::~TestPortMap() {
  SetPortPathSource(nullptr);
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  QDeadlineTimer deadline(limit);
  // Some conditions change on other threads without any event for this one (the
  // writer thread emptying the output buffer): look again every few milliseconds.
  QTimer wake;
  wake.start(std::chrono::milliseconds(5));
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  return true;
}

void PumpFor(std::chrono::milliseconds time) {
  bool over = false;
  QTimer::singleShot(time, [&over] { over = true; });
  PumpUntil([&over] { return over; }, time + std::chrono::milliseconds(1000));
}

double ProcessCpuSeconds() {
  rusage ru{};
  ::getrusage(RUSAGE_SELF, &ru);
  return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
         static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

std::vector<PortThread> PortThreads() {
  std::vector<PortThread> threads;
  DIR* dir = ::opendir("/proc/self/task");
  if (dir == nullptr) return threads;
  while (const dirent* e = ::readdir(dir)) {
    if (e->d_name[0] == '.') continue;
    const std::string task = std::string("/proc/self/task/") + e->d_name;
    std::ifstream comm(task + "/comm");
    PortThread t;
    std::getline(comm, t.name);
    bool own = false;
    for (const char* name : {kEventThreadName, kDispatchThreadName, kWriterThreadName}) {
      own |= t.name == name;
    }
    if (!own) continue;
    std::ifstream status(task + "/status");
    std::string line;
    const std::string key = "voluntary_ctxt_switches:";
    while (std::getline(status, line)) {
      if (line.compare(0, key.size(), key) == 0) t.wakeUps = std::stoull(line.substr(key.size()));
    }
    threads.push_back(t);
  }
  ::closedir(dir);
  return threads;
}
