// A device that goes away under an open port (both pty ends closed, as a USB modem
// pulled out): the loss is seen at once, the port runs its close sequence, the lock file
// and the descriptor are released, the loss is reported, and nothing keeps running.
#include <gtest/gtest.h>

#include <unistd.h>

#include <QByteArray>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <chrono>
#include <string>
#include <vector>

#include "PtyPeer.h"
#include "serial/Dispatcher.h"
#include "serial/SerialPort.h"
#include "serial/posix/UucpLock.h"

using namespace std::chrono_literals;

namespace {

int PortThreadCount() {
  return static_cast<int>(PortThreads().size());
}

bool Exists(const std::string& path) {
  return ::access(path.c_str(), F_OK) == 0;
}

class HangUpTest : public ::testing::Test {
 protected:
  HangUpTest() : map_({{1, peer.SlavePath()}, {2, spare.SlavePath()}}) {
    posix::UucpLock::SetFolder(lockDir.path().toStdString());
    lockFile = posix::UucpLock::LockFileFor(peer.SlavePath(), posix::UucpLock::Folder());
    port.SetBaud(115200);
    port.SetAutoOpen(false);
    port.SetComNumber(1);
    // Each event with what the port says of itself at that moment.
    port.SetOnPortOpen([this](TCustomSerialPort&) { events.push_back("open"); });
    port.SetOnPortClose([this](TCustomSerialPort& p) {
      events.push_back(p.State() == cpsClosing ? "close" : "close-in-wrong-state");
    });
    port.SetOnPortLost([this](TCustomSerialPort& p) {
      events.push_back(p.Open() || p.State() != cpsClosed ? "lost-while-open" : "lost");
      lostReceived = received;
    });
    port.SetOnTriggerAvail([this](TCustomSerialPort& cp, uint16_t count) {
      for (uint16_t i = 0; i < count; ++i) received.append(static_cast<char>(cp.ReceiveChar()));
    });
  }
  ~HangUpTest() override { posix::UucpLock::SetFolder(""); }

  void HangUp() {
    threadsWhileOpen = PortThreadCount();
    peer.HangUp();
  }
  bool WaitForLoss() {
    return PumpUntil([&] { return events.size() >= 3; }, 5s);
  }

  // CPU used by the whole process while the main thread idles in its event loop.
  static double IdleCpuSeconds(std::chrono::milliseconds time) {
    const double before = ProcessCpuSeconds();
    QEventLoop loop;
    QTimer::singleShot(time, &loop, &QEventLoop::quit);
    loop.exec();
    return ProcessCpuSeconds() - before;
  }

  void ExpectClosedAndQuiet() {
    EXPECT_EQ(events, (std::vector<std::string>{"open", "close", "lost"}));
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(port.State(), cpsClosed);
    EXPECT_FALSE(Exists(lockFile));
    EXPECT_EQ(threadsWhileOpen, kPortThreads);
    EXPECT_EQ(PortThreadCount(), 0);
    // Nothing spins once the port is gone: a thread left looping would take the whole
    // 2 s; a loaded machine under a sanitizer stays far below a fifth of it.
    EXPECT_LT(IdleCpuSeconds(2000ms), 0.4);
    EXPECT_EQ(events.size(), 3u);  // reported once
  }

  static constexpr int kPortThreads = 3;  // event, dispatch and writer
  int threadsWhileOpen = 0;
  QTemporaryDir lockDir;
  std::vector<std::string> events;
  QByteArray received, lostReceived;
  PtyPeer peer, spare;
  TestPortMap map_;
  std::string lockFile;
  TSerialPort port;  // last: its close reports to the members above
};

TEST_F(HangUpTest, WhileWaitingForInputTheCloseSequenceRunsAndTheLossFollows) {
  port.SetOpen(true);
  ASSERT_TRUE(Exists(lockFile));
  peer.Write("RING\r\n");
  ASSERT_TRUE(PumpUntil([&] { return received.size() >= 6; }, 3s));

  HangUp();
  ASSERT_TRUE(WaitForLoss()) << events.size();
  EXPECT_EQ(lostReceived, QByteArray("RING\r\n"));  // everything read before the loss
  ExpectClosedAndQuiet();

  // The component is whole again: another device opens and works.
  port.SetComNumber(2);
  port.SetOpen(true);
  port.SendString("AT\r");
  EXPECT_EQ(spare.Read(3, 2s), QByteArray("AT\r"));
}

TEST_F(HangUpTest, DuringAWriteThatWaitsForRoomTheWriterLetsGo) {
  port.SetOpen(true);
  // Nobody reads the far end: fill the line until the writer waits for room.
  const QByteArray block(port.OutSize(), 'x');
  auto lastProgress = std::chrono::steady_clock::now();
  uint16_t lastSpace = port.OutputSpace();
  while (std::chrono::steady_clock::now() - lastProgress < 300ms) {
    const uint16_t space = port.OutputSpace();
    if (space == port.OutSize()) port.SendString(block);
    if (space != lastSpace) lastProgress = std::chrono::steady_clock::now();
    lastSpace = space;
    PumpFor(20ms);
  }
  ASSERT_LT(port.OutputSpace(), port.OutSize()) << "the writer never had to wait";

  HangUp();
  ASSERT_TRUE(WaitForLoss()) << events.size();
  ExpectClosedAndQuiet();
  EXPECT_EQ(port.OutputSpace(), port.OutSize());
}

TEST_F(HangUpTest, ClosingFromTheLossEventItselfIsHarmless) {
  port.SetOnPortLost([this](TCustomSerialPort& p) {
    events.push_back("lost");
    p.SetOpen(false);  // already closed: nothing more happens
  });
  port.SetOpen(true);
  HangUp();
  ASSERT_TRUE(WaitForLoss());
  ExpectClosedAndQuiet();
}

}  // namespace
