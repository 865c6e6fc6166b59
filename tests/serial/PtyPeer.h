#pragma once
// The far end of a pseudo-terminal for the serial tests: the port under test opens the
// slave side by its path; the test reads and writes the master side.
#include <QByteArray>
#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

class PtyPeer {
 public:
  PtyPeer();
  ~PtyPeer();
  PtyPeer(const PtyPeer&) = delete;
  PtyPeer& operator=(const PtyPeer&) = delete;

  const std::string& SlavePath() const { return slavePath_; }
  void Write(const QByteArray& bytes);
  // Reads until count bytes have come or the limit has passed.
  QByteArray Read(size_t count, std::chrono::milliseconds limit);
  // Reads whatever arrives until nothing has come for quiet.
  QByteArray ReadUntilQuiet(std::chrono::milliseconds quiet);
  int MasterFd() const { return master_; }
  // Both ends go: the device vanishes under whoever has the slave open.
  void HangUp();

 private:
  int master_ = -1;
  int slave_ = -1;  // kept open so that the master never sees a hang-up between opens
  std::string slavePath_;
};

// Installs a port map for the test's lifetime: the given COM numbers map to paths, every
// other number to a path that does not exist (so the machine's own ports never appear).
class TestPortMap {
 public:
  explicit TestPortMap(std::map<int, std::string> ports);
  ~TestPortMap();
  void Set(int port, const std::string& path) { ports_[port] = path; }

 private:
  std::map<int, std::string> ports_;
};

// Processes main-thread events, blocking while none come, until done() or the limit.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);
// Processes main-thread events for the given time.
void PumpFor(std::chrono::milliseconds time);
// CPU time this process has used so far, in seconds (all threads).
double ProcessCpuSeconds();

// The open ports' own threads, found by their names (the process has others, the
// sanitizers' among them, that come and go on their own): for each, how often it has
// blocked and been woken so far (its voluntary context switches).
struct PortThread {
  std::string name;
  uint64_t wakeUps = 0;
};
std::vector<PortThread> PortThreads();
