// Receiving throughput of the serial port component on a pseudo-terminal.
// A peer process streams 10 MB of a known pseudo-random sequence as fast as it can, then
// a paced stream at 11,520 bytes/s (115200 bit/s); the receiver takes every byte in
// OnTriggerAvail, pumping its event queue the way the modem link does.
// Then the device going away: from both pty ends closed to the close event on the main
// thread, and from the virtual modem's unplug in a recording to the saved call.
//   serial_throughput          paced phase of 10 s
//   serial_throughput --full   paced phase of 60 s
// Prints one "name: value" line per figure.
#include <fcntl.h>
#include <pty.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "common/DetachedRecorderControls.h"
#include "common/RecorderStandIns.h"
#include "modem/ModemF.h"
#include "modem/MonitorForm.h"
#include "recording/RecorderPanel.h"
#include "serial/PortMap.h"
#include "serial/SerialPort.h"
#include "setup/Dialogs.h"
#include "setup/Shared.h"
#include "vmodem/VirtualModem.h"

namespace {

constexpr size_t kFastBytes = 10u * 1024u * 1024u;
constexpr double kPacedBytesPerSecond = 11520.0;
constexpr int kPacedStepMs = 10;
constexpr int kShortPacedSeconds = 10;
constexpr int kFullPacedSeconds = 60;
constexpr size_t kMaxRecords = 1u << 16;
constexpr size_t kFastChunk = 4096;
constexpr double kIdleMs = 3000;
constexpr int kHangUpRounds = 20;
constexpr int kUnplugRounds = 5;
constexpr double kRecordBeforeUnplugMs = 1000;
constexpr double kLossLimitMs = 10000;

double NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

double CpuSeconds() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6 + ru.ru_stime.tv_sec +
         ru.ru_stime.tv_usec / 1e6;
}

// The sequence both sides know: byte i of the stream.
struct Sequence {
  uint32_t state = 0x12345678u;
  uint8_t Next() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return static_cast<uint8_t>(state);
  }
};

// Shared between the peer process and the receiver: when each paced piece was written.
struct Shared {
  std::atomic<uint64_t> records{0};
  std::atomic<uint64_t> fastEnd{0};  // stream offset where the paced phase starts
  std::atomic<bool> done{false};
  std::atomic<uint64_t> total{0};
  uint64_t endOffset[kMaxRecords];
  double writtenMs[kMaxRecords];
};

void WriteAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      std::perror("peer write");
      ::_exit(1);
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
}

[[noreturn]] void RunPeer(int master, Shared* shared, int pacedSeconds) {
  Sequence seq;
  std::vector<uint8_t> buffer(kFastChunk);
  size_t sent = 0;
  while (sent < kFastBytes) {
    const size_t n = std::min(kFastChunk, kFastBytes - sent);
    for (size_t i = 0; i < n; ++i) buffer[i] = seq.Next();
    WriteAll(master, buffer.data(), n);
    sent += n;
  }
  shared->fastEnd = sent;
  const double start = NowMs();
  const double end = start + pacedSeconds * 1000.0;
  uint64_t paced = 0;
  for (double next = start; next < end; next += kPacedStepMs) {
    const double wait = next - NowMs();
    if (wait > 0) ::usleep(static_cast<useconds_t>(wait * 1000));
    const auto due = static_cast<uint64_t>((NowMs() - start) / 1000.0 * kPacedBytesPerSecond);
    if (due <= paced) continue;
    const size_t n = static_cast<size_t>(due - paced);
    buffer.resize(std::max(buffer.size(), n));
    for (size_t i = 0; i < n; ++i) buffer[i] = seq.Next();
    WriteAll(master, buffer.data(), n);
    paced += n;
    const uint64_t r = shared->records;
    if (r < kMaxRecords) {
      shared->endOffset[r] = sent + paced;
      shared->writtenMs[r] = NowMs();
      shared->records = r + 1;
    }
  }
  shared->total = sent + paced;
  shared->done = true;
  // Keep the master open until the receiver has read everything.
  ::pause();
  ::_exit(0);
}

double Median(std::vector<double> values) {
  if (values.empty()) return -1;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Pumps the main thread's events, blocking while none come, until done() or the limit.
template <class Done>
bool PumpUntil(Done done, double limitMs) {
  const double end = NowMs() + limitMs;
  QTimer wake;  // so that the limit is noticed without events
  wake.start(50);
  while (!done()) {
    if (NowMs() > end) return false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  return true;
}

// Both ends of the pty closed under an open, idle port -> OnPortClose on the main thread.
std::vector<double> HangUpToClose() {
  std::vector<double> times;
  for (int round = 0; round < kHangUpRounds; ++round) {
    int master = -1, slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) break;
    const std::string path = name;
    SetPortPathSource([path](int) { return std::optional<std::string>(path); });
    TSerialPort port;
    port.SetAutoOpen(false);
    port.SetComNumber(1);
    double closedAt = 0;
    port.SetOnPortClose([&](TCustomSerialPort&) { closedAt = NowMs(); });
    port.SetOpen(true);
    PumpUntil([] { return false; }, 20);  // the threads settle into their waits
    const double start = NowMs();
    ::close(master);
    ::close(slave);
    if (PumpUntil([&] { return closedAt != 0; }, kLossLimitMs)) times.push_back(closedAt - start);
  }
  SetPortPathSource(nullptr);
  return times;
}

// The virtual modem unplugged a second into a recording -> the call saved (the message
// that says so comes right after the file is written).
std::vector<double> UnplugToSaved() {
  std::vector<double> times;
  QTemporaryDir dir;
  const QString previous = QDir::currentPath();
  QDir::setCurrent(dir.path());
  TWavPlayer::SetSilentOutput(true);
  Voicefeatures = true;
  double savedAt = 0;
  SetDialogHooks({[&](const QString&) { savedAt = NowMs(); }, {}, {}});
  for (int round = 0; round < kUnplugRounds; ++round) {
    vmodem::VirtualModem modem;
    modem.start();
    SetPortPathSource([&](int) { return std::optional<std::string>(modem.slavePath()); });
    QWidget window;
    TRecorderControls c = MakeDetachedRecorderControls(window);
    TCountedCallList callList;
    const TCallListHooks hooks = callList.Hooks(QStringLiteral("LOSS"));
    TMonitorForm monitor;
    TModemF link(&monitor);
    TRecorderPanel panel(c, hooks, link);
    UseVirtualModemProfile(1);
    panel.Recorder.On1Click();
    QByteArray answer;  // the echo is still on: the answer holds the echoed command
    link.SendAndRead("ate0", answer);
    savedAt = 0;
    panel.Recorder.StartRecording();
    if (!panel.RecordingActive()) continue;
    PumpUntil([] { return false; }, kRecordBeforeUnplugMs);
    const double start = NowMs();
    modem.unplug();
    if (PumpUntil([&] { return savedAt != 0; }, kLossLimitMs) && callList.calls == 1) {
      times.push_back(savedAt - start);
    }
  }
  SetDialogHooks({});
  SetPortPathSource(nullptr);
  QDir::setCurrent(previous);
  return times;
}

}  // namespace

int main(int argc, char** argv) {
  const bool full = argc > 1 && std::strcmp(argv[1], "--full") == 0;
  const int pacedSeconds = full ? kFullPacedSeconds : kShortPacedSeconds;

  int master = -1, slave = -1;
  char name[256] = {};
  if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
    std::perror("openpty");
    return 1;
  }
  termios tio{};
  ::tcgetattr(slave, &tio);
  ::cfmakeraw(&tio);
  ::tcsetattr(slave, TCSANOW, &tio);
  auto* shared = static_cast<Shared*>(
      ::mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
  new (shared) Shared;

  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const std::string path = name;
  SetPortPathSource([path](int) { return std::optional<std::string>(path); });

  TSerialPort port;
  port.SetBaud(115200);
  port.SetAutoOpen(false);
  port.SetComNumber(1);
  Sequence expected;
  uint64_t received = 0, mismatched = 0, notifications = 0;
  uint64_t nextRecord = 0;
  std::vector<double> latencies;
  port.SetOnTriggerAvail([&](TCustomSerialPort& cp, uint16_t count) {
    ++notifications;
    for (uint16_t i = 0; i < count; ++i) {
      if (cp.ReceiveChar() != expected.Next()) ++mismatched;
    }
    received += count;
    const double now = NowMs();
    const uint64_t available = shared->records;
    while (nextRecord < available && shared->endOffset[nextRecord] <= received) {
      latencies.push_back(now - shared->writtenMs[nextRecord]);
      ++nextRecord;
    }
  });
  port.SetOpen(true);

  const double cpuStart = CpuSeconds();
  const double start = NowMs();
  const pid_t peer = ::fork();
  if (peer == 0) RunPeer(master, shared, pacedSeconds);

  double fastDoneMs = 0;
  // The modem link's way of waiting: block until an event comes, handle it, look again.
  QTimer wake;  // only so that the end of the stream is noticed without data
  wake.start(100);
  const double limit = start + (pacedSeconds + 120) * 1000.0;
  while (!(shared->done && received >= shared->total) && NowMs() < limit) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (fastDoneMs == 0 && shared->fastEnd != 0 && received >= shared->fastEnd) {
      fastDoneMs = NowMs();
    }
  }
  const double streamSeconds = (NowMs() - start) / 1000.0;
  const double cpu = CpuSeconds() - cpuStart;

  // An open port with nothing arriving, the main thread waiting for events.
  const double idleCpuStart = CpuSeconds();
  const double idleStart = NowMs();
  while (NowMs() - idleStart < kIdleMs) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  const double idleCpu = (CpuSeconds() - idleCpuStart) / ((NowMs() - idleStart) / 1000.0);

  const double closeStart = NowMs();
  port.SetOpen(false);
  const double closeMs = NowMs() - closeStart;

  ::kill(peer, SIGTERM);
  ::waitpid(peer, nullptr, 0);
  ::close(master);
  ::close(slave);

  const uint64_t sent = shared->total;
  std::sort(latencies.begin(), latencies.end());
  const double p99 = latencies.empty()
                         ? 0.0
                         : latencies[std::min(latencies.size() - 1, latencies.size() * 99 / 100)];
  std::printf("bytes_sent: %llu\n", static_cast<unsigned long long>(sent));
  std::printf("bytes_received: %llu\n", static_cast<unsigned long long>(received));
  std::printf(
      "bytes_lost_or_misordered: %llu\n",
      static_cast<unsigned long long>(mismatched + (sent > received ? sent - received : 0)));
  std::printf("fast_phase_mb_per_s: %.2f\n",
              fastDoneMs > 0 ? kFastBytes / 1048576.0 / ((fastDoneMs - start) / 1000.0) : 0.0);
  std::printf("paced_phase_s: %d\n", pacedSeconds);
  std::printf("notifications_per_s: %.1f\n", notifications / streamSeconds);
  std::printf("mean_bytes_per_notification: %.1f\n",
              notifications ? static_cast<double>(received) / notifications : 0.0);
  std::printf("p99_delivery_ms: %.2f\n", p99);
  std::printf("cpu_s_per_stream_s: %.4f\n", cpu / streamSeconds);
  std::printf("idle_cpu_s_per_s: %.5f\n", idleCpu);
  std::printf("close_ms: %.2f\n", closeMs);
  std::fflush(stdout);

  const std::vector<double> toClose = HangUpToClose();
  std::printf("hangup_to_close_ms: %.2f\n", Median(toClose));
  std::printf("hangup_to_close_max_ms: %.2f\n",
              toClose.empty() ? -1.0 : *std::max_element(toClose.begin(), toClose.end()));
  const std::vector<double> toSaved = UnplugToSaved();
  std::printf("hangup_to_saved_ms: %.2f\n", Median(toSaved));
  std::printf("hangup_to_saved_max_ms: %.2f\n",
              toSaved.empty() ? -1.0 : *std::max_element(toSaved.begin(), toSaved.end()));
  const bool lossesSeen = toClose.size() == kHangUpRounds && toSaved.size() == kUnplugRounds;
  return mismatched == 0 && received == sent && lossesSeen ? 0 : 1;
}
