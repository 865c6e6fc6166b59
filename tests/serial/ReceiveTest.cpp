// Receiving and sending through the dispatcher on real pseudo-terminals: the receive
// ring and its notifications, partial takes, flushing, closing from inside a handler,
// and the output ring.
#include <gtest/gtest.h>

#include <QByteArray>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "PtyPeer.h"
#include "serial/SerialPort.h"

using namespace std::chrono_literals;

namespace {

QByteArray Pattern(size_t size, uint32_t seed) {
  QByteArray bytes(static_cast<qsizetype>(size), '\0');
  for (auto& b : bytes) {
    seed = seed * 1664525u + 1013904223u;
    b = static_cast<char>(seed >> 24);
  }
  return bytes;
}

class ReceiveTest : public ::testing::Test {
 protected:
  ReceiveTest() : map_({{1, peer.SlavePath()}}) {
    port.SetBaud(115200);
    port.SetAutoOpen(false);
    port.SetComNumber(1);
    port.SetOnPortOpen([this](TCustomSerialPort&) { events.push_back("open"); });
    port.SetOnPortClose([this](TCustomSerialPort&) { events.push_back("close"); });
  }

  // A handler that takes up to `take(call)` bytes of each notification.
  void TakeSome(std::function<size_t(size_t call, uint16_t count)> take) {
    port.SetOnTriggerAvail([this, take](TCustomSerialPort& cp, uint16_t count) {
      const size_t n = take(counts.size(), count);
      counts.push_back(count);
      for (size_t i = 0; i < n; ++i) received.append(static_cast<char>(cp.ReceiveChar()));
    });
  }

  std::vector<std::string> events;
  std::vector<uint16_t> counts;
  QByteArray received;
  PtyPeer peer;
  TestPortMap map_;
  TSerialPort port;
};

TEST_F(ReceiveTest, RingFillsAt8192AndTheRestWaitsInTheDriver) {
  TakeSome([](size_t, uint16_t) { return 0; });
  port.SetOpen(true);
  const QByteArray sent = Pattern(10000, 1);
  peer.Write(sent);
  ASSERT_TRUE(PumpUntil([&] { return !counts.empty() && counts.back() == 8192; }, 5s));
  PumpFor(200ms);
  EXPECT_EQ(counts.back(), 8192);
  for (size_t i = 0; i < counts.size(); ++i) {
    EXPECT_LE(counts[i], 8192);
    if (i > 0) {
      EXPECT_GT(counts[i], counts[i - 1]) << "one notification per arrival";
    }
  }
  EXPECT_EQ(port.InBuffUsed(), 8192);

  // Taking bytes outside a handler makes room; the rest then comes from the driver.
  TakeSome([](size_t, uint16_t count) { return count; });
  QByteArray taken;
  for (int i = 0; i < 8192; ++i) taken.append(static_cast<char>(port.ReceiveChar()));
  ASSERT_TRUE(PumpUntil([&] { return received.size() >= 10000 - 8192; }, 5s));
  EXPECT_EQ(taken + received, sent);
}

TEST_F(ReceiveTest, AReceiverThatTakesThreeOfTenIsToldTheRestWithTheNextArrival) {
  TakeSome([](size_t call, uint16_t count) { return call == 0 ? 3 : count; });
  port.SetOpen(true);
  const QByteArray first = Pattern(10, 2);
  peer.Write(first);
  ASSERT_TRUE(PumpUntil([&] { return counts.size() == 1; }, 3s));
  EXPECT_EQ(counts[0], 10);
  PumpFor(200ms);  // bytes left unread are not announced again by themselves
  EXPECT_EQ(counts.size(), 1u);
  EXPECT_EQ(port.InBuffUsed(), 7);

  peer.Write("abcde");
  ASSERT_TRUE(PumpUntil([&] { return counts.size() == 2; }, 3s));
  EXPECT_EQ(counts[1], 12);
  EXPECT_EQ(received, first + "abcde");
  EXPECT_EQ(port.InBuffUsed(), 0);
}

TEST_F(ReceiveTest, ThresholdDecidesWhenANotificationComes) {
  TakeSome([](size_t, uint16_t count) { return count; });
  port.SetOpen(true);
  peer.Write("x");
  ASSERT_TRUE(PumpUntil([&] { return counts.size() == 1; }, 3s));
  EXPECT_EQ(counts[0], 1);

  port.SetAvailThreshold(5);
  peer.Write("abc");
  PumpFor(200ms);
  EXPECT_EQ(counts.size(), 1u);
  peer.Write("de");
  ASSERT_TRUE(PumpUntil([&] { return counts.size() == 2; }, 3s));
  EXPECT_EQ(counts[1], 5);
  EXPECT_EQ(received, QByteArray("xabcde"));
}

TEST_F(ReceiveTest, ThresholdSurvivesACloseAndReopen) {
  port.SetOpen(true);
  port.SetAvailThreshold(4);
  port.SetOpen(false);
  port.SetOpen(true);
  TakeSome([](size_t, uint16_t count) { return count; });
  peer.Write("abc");
  PumpFor(200ms);
  EXPECT_TRUE(counts.empty());
  peer.Write("d");
  ASSERT_TRUE(PumpUntil([&] { return counts.size() == 1; }, 3s));
  EXPECT_EQ(counts[0], 4);
}

TEST_F(ReceiveTest, FlushingInputDuringADeliveryConsumesEverythingUnread) {
  port.SetOnTriggerAvail([&](TCustomSerialPort& cp, uint16_t count) {
    counts.push_back(count);
    received.append(static_cast<char>(cp.ReceiveChar()));
    if (counts.size() == 1) cp.FlushInBuffer();
  });
  port.SetOpen(true);
  peer.Write("0123456789");
  ASSERT_TRUE(PumpUntil([&] { return counts.size() == 1; }, 3s));
  // Consumed when the delivery ends, on the dispatch thread.
  EXPECT_TRUE(PumpUntil([&] { return port.InBuffUsed() == 0; }, 1s));
  peer.Write("Z");
  ASSERT_TRUE(PumpUntil([&] { return counts.size() == 2; }, 3s));
  EXPECT_EQ(counts[1], 1);
  EXPECT_EQ(received, QByteArray("0Z"));
}

TEST_F(ReceiveTest, ClosingInsideTheHandlerCompletesAfterItAndRunsARequestedOpen) {
  int calls = 0;
  TComPortState stateInHandler = cpsOpen;
  port.SetOnTriggerAvail([&](TCustomSerialPort& cp, uint16_t count) {
    ++calls;
    for (uint16_t i = 0; i < count; ++i) received.append(static_cast<char>(cp.ReceiveChar()));
    if (calls == 1) {
      cp.SetOpen(false);
      stateInHandler = cp.State();
      EXPECT_FALSE(cp.Open());
      cp.SetOpen(true);  // requested while still closing
      EXPECT_EQ(cp.State(), cpsClosing);
    }
  });
  port.SetOpen(true);
  peer.Write("first");
  ASSERT_TRUE(PumpUntil([&] { return events.size() == 3; }, 3s));
  EXPECT_EQ(stateInHandler, cpsClosing);
  EXPECT_EQ(events, (std::vector<std::string>{"open", "close", "open"}));
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(port.State(), cpsOpen);
  EXPECT_TRUE(port.Open());

  peer.Write("second");
  ASSERT_TRUE(PumpUntil([&] { return received.size() >= 11; }, 3s));
  EXPECT_EQ(received, QByteArray("firstsecond"));
}

TEST_F(ReceiveTest, ClosingInsideTheHandlerDeliversNothingMoreAndFreesTheDevice) {
  int calls = 0;
  port.SetOnTriggerAvail([&](TCustomSerialPort& cp, uint16_t) {
    ++calls;
    cp.SetOpen(false);
  });
  port.SetOpen(true);
  peer.Write("a");
  ASSERT_TRUE(PumpUntil([&] { return port.State() == cpsClosed; }, 3s));
  peer.Write("more");
  PumpFor(200ms);
  EXPECT_EQ(calls, 1);
  TSerialPort other;
  other.SetComNumber(1);
  other.SetOpen(true);
  EXPECT_TRUE(other.Open());
}

TEST_F(ReceiveTest, ALateDeliveryConsumesNothingTwice) {
  TakeSome([](size_t, uint16_t count) { return count; });
  port.SetOpen(true);
  peer.Write("abc");
  // The main thread does not process events for longer than the dispatch thread waits.
  std::this_thread::sleep_for(3300ms);
  peer.Write("de");
  std::this_thread::sleep_for(200ms);
  ASSERT_TRUE(PumpUntil([&] { return received.size() >= 5; }, 3s));
  PumpFor(200ms);
  EXPECT_EQ(received, QByteArray("abcde"));
  EXPECT_EQ(port.InBuffUsed(), 0);
}

TEST_F(ReceiveTest, AnExceptionFromTheHandlerIsShownAndReceivingGoesOn) {
  QStringList shown;
  TCustomSerialPort::SetExceptionDisplay([&](const QString& m) { shown << m; });
  port.SetOnTriggerAvail([&](TCustomSerialPort& cp, uint16_t count) {
    for (uint16_t i = 0; i < count; ++i) received.append(static_cast<char>(cp.ReceiveChar()));
    cp.ReceiveChar();  // one too many
  });
  port.SetOpen(true);
  peer.Write("ab");
  ASSERT_TRUE(PumpUntil([&] { return !shown.isEmpty(); }, 3s));
  EXPECT_EQ(shown.front(), "Buffer is empty");
  peer.Write("c");
  ASSERT_TRUE(PumpUntil([&] { return received.size() >= 3; }, 3s));
  EXPECT_EQ(received, QByteArray("abc"));
  TCustomSerialPort::SetExceptionDisplay(nullptr);
}

// Fills the device's transmit queue (the peer reads nothing) until the writer thread
// cannot get rid of its bytes. Returns everything queued.
QByteArray BlockTheWriter(TSerialPort& port, char fill) {
  QByteArray queued;
  for (int round = 0; round < 1000; ++round) {
    // Half the buffer at a time, so that some room is left once the writer is stuck.
    const QByteArray block(std::min<int>(port.OutputSpace(), port.OutSize() / 2), fill);
    port.SendString(block);
    queued += block;
    if (!PumpUntil([&] { return port.OutputSpace() == port.OutSize(); }, 300ms)) return queued;
  }
  ADD_FAILURE() << "the writer never blocked";
  return queued;
}

TEST_F(ReceiveTest, ABlockOfExactlyTheFreeRoomIsWrittenOnceAcrossTheRingsEnd) {
  port.SetOpen(true);
  QByteArray sent = BlockTheWriter(port, 'a');
  ASSERT_GT(port.OutputSpace(), 0);
  const QByteArray exact = Pattern(port.OutputSpace(), 3);
  port.SendString(exact);
  sent += exact;
  EXPECT_EQ(port.OutputSpace(), 0);
  EXPECT_THROW(port.SendString("x"), EOutputBufferTooSmall);

  // Drain while queuing more in random pieces, so that the ring wraps many times.
  QByteArray got;
  std::atomic<bool> done{false};
  std::thread reader([&] {
    while (!done) got += peer.Read(1 << 20, 20ms);
    got += peer.ReadUntilQuiet(300ms);
  });
  uint32_t seed = 5;
  for (int i = 0; i < 200; ++i) {
    seed = seed * 1664525u + 1013904223u;
    const uint16_t space = port.OutputSpace();
    const size_t size = (i % 3 == 0) ? space : (seed >> 16) % (space + 1u);
    const QByteArray piece = Pattern(size, seed);
    port.SendString(piece);
    sent += piece;
    PumpUntil([&] { return port.OutputSpace() > 0; }, 1s);
  }
  ASSERT_TRUE(PumpUntil([&] { return port.OutputSpace() == port.OutSize(); }, 10s));
  done = true;
  reader.join();
  ASSERT_EQ(got.size(), sent.size());
  EXPECT_TRUE(got == sent);
}

TEST_F(ReceiveTest, FlushingOutputAbandonsAPendingWrite) {
  port.SetOpen(true);
  const QByteArray queued = BlockTheWriter(port, 'a');
  ASSERT_LT(port.OutputSpace(), port.OutSize());
  port.FlushOutBuffer();
  EXPECT_EQ(port.OutputSpace(), port.OutSize());
  port.SendString("NEW");
  const QByteArray got = peer.ReadUntilQuiet(300ms);
  ASSERT_TRUE(got.endsWith("NEW"));
  EXPECT_LT(got.size() - 3, queued.size());
  EXPECT_EQ(got.count('a'), got.size() - 3);
}

}  // namespace
