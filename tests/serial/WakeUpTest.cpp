// An open port's threads wake only for work: none while nothing arrives, the writer
// only for output, and one of the other two about once per arrival of bytes. Counted
// from the threads' own voluntary context switches, which a loaded machine does not add
// to.
#include <gtest/gtest.h>

#include <QByteArray>
#include <atomic>
#include <chrono>
#include <map>
#include <string>
#include <thread>

#include "PtyPeer.h"
#include "serial/Dispatcher.h"
#include "serial/SerialPort.h"

using namespace std::chrono_literals;

namespace {

std::map<std::string, uint64_t> WakeUpsByThread() {
  std::map<std::string, uint64_t> byName;
  for (const PortThread& t : PortThreads()) byName[t.name] += t.wakeUps;
  return byName;
}

std::map<std::string, uint64_t> Since(const std::map<std::string, uint64_t>& before) {
  std::map<std::string, uint64_t> delta = WakeUpsByThread();
  for (auto& [name, n] : delta) n -= before.count(name) ? before.at(name) : 0;
  return delta;
}

class WakeUpTest : public ::testing::Test {
 protected:
  WakeUpTest() : map_({{1, peer.SlavePath()}}) {
    port.SetBaud(115200);
    port.SetAutoOpen(false);
    port.SetComNumber(1);
    port.SetOnTriggerAvail([this](TCustomSerialPort& cp, uint16_t count) {
      ++notifications;
      cp.ReceiveChars(count, received);
    });
    port.SetOpen(true);
    PumpFor(300ms);  // the threads' start
  }

  int notifications = 0;
  QByteArray received;
  PtyPeer peer;
  TestPortMap map_;
  TSerialPort port;
};

}  // namespace

TEST_F(WakeUpTest, WhileNothingArrivesNoThreadWakes) {
  ASSERT_EQ(PortThreads().size(), 3u);
  const auto before = WakeUpsByThread();
  PumpFor(2s);
  for (const auto& [name, n] : Since(before)) {
    EXPECT_LE(n, 1u) << name << " woke while the line was quiet";
  }
  // And it still hears the first byte at once.
  peer.Write("x");
  ASSERT_TRUE(PumpUntil([&] { return received == "x"; }, 3s));
}

TEST_F(WakeUpTest, AStreamWakesTheReadersAboutOncePerChunkAndTheWriterNever) {
  constexpr int kChunks = 50;
  constexpr int kChunkBytes = 160;
  QByteArray sent;
  for (int i = 0; i < kChunks * kChunkBytes; ++i) sent.append(static_cast<char>(i * 7));
  const auto before = WakeUpsByThread();
  std::thread modem([&] {
    for (int i = 0; i < kChunks; ++i) {
      peer.Write(sent.mid(i * kChunkBytes, kChunkBytes));
      std::this_thread::sleep_for(20ms);
    }
  });
  const bool all = PumpUntil([&] { return received.size() >= sent.size(); }, 10s);
  modem.join();
  ASSERT_TRUE(all);
  EXPECT_EQ(received, sent);
  const auto woken = Since(before);
  EXPECT_LE(woken.at(kWriterThreadName), 1u);
  // One wake-up per chunk, of the event thread; chunks that a busy machine runs together
  // only lower it. The dispatch thread takes only chunks that come before the main thread
  // has handled the last one, which a slow machine makes now and then.
  EXPECT_LE(woken.at(kEventThreadName), kChunks * 3 / 2);
  EXPECT_LE(woken.at(kDispatchThreadName), kChunks / 2);
  EXPECT_LE(notifications, kChunks);
}

TEST_F(WakeUpTest, OutputWakesOnlyTheWriter) {
  const auto before = WakeUpsByThread();
  QByteArray sent;
  for (int i = 0; i < 20; ++i) {
    const QByteArray command = "at+vsm=1,8000\r";
    port.SendString(command);
    sent += command;
    PumpFor(10ms);
  }
  EXPECT_EQ(peer.Read(static_cast<size_t>(sent.size()), 3s), sent);
  const auto woken = Since(before);
  EXPECT_LE(woken.at(kEventThreadName), 1u);
  EXPECT_LE(woken.at(kDispatchThreadName), 1u);
  EXPECT_GE(woken.at(kWriterThreadName), 1u);
}

// The dispatch thread does not wait for the main thread to handle a notification; bytes
// that come while the handler runs wait in the driver and are announced when it returns.
TEST_F(WakeUpTest, BytesThatComeDuringAHandlerAreAnnouncedOnceItHasReturned) {
  std::vector<uint16_t> counts;
  port.SetOnTriggerAvail([&](TCustomSerialPort& cp, uint16_t count) {
    counts.push_back(count);
    if (counts.size() == 1) {
      peer.Write("more");
      std::this_thread::sleep_for(200ms);  // the bytes arrive meanwhile
      EXPECT_EQ(cp.InBuffUsed(), count) << "the ring held still during the handler";
    }
    cp.ReceiveChars(count, received);
  });
  peer.Write("first");
  ASSERT_TRUE(PumpUntil([&] { return received.size() >= 9; }, 3s));
  PumpFor(100ms);
  EXPECT_EQ(received, "firstmore");
  EXPECT_EQ(counts, (std::vector<uint16_t>{5, 4}));
  EXPECT_EQ(port.InBuffUsed(), 0);
}

// Several bytes taken at once are taken as one by one: inside a handler only read (and
// consumed when it returns), and one too many raises as ReceiveChar does.
TEST_F(WakeUpTest, ReceiveCharsTakesWhatReceiveCharWouldAndRaisesPastTheCount) {
  QStringList shown;
  TCustomSerialPort::SetExceptionDisplay([&](const QString& m) { shown << m; });
  port.SetOnTriggerAvail([&](TCustomSerialPort& cp, uint16_t count) {
    cp.ReceiveChars(2, received);
    EXPECT_EQ(cp.InBuffUsed(), count - 2);
    cp.ReceiveChars(static_cast<uint16_t>(count - 2 + 1), received);  // one too many
  });
  peer.Write("abcdef");
  ASSERT_TRUE(PumpUntil([&] { return !shown.isEmpty(); }, 3s));
  EXPECT_EQ(shown.front(), "Buffer is empty");
  EXPECT_EQ(received, "abcdef");
  EXPECT_EQ(port.InBuffUsed(), 0);
  TCustomSerialPort::SetExceptionDisplay(nullptr);

  port.SetOnTriggerAvail(nullptr);
  peer.Write("gh");
  ASSERT_TRUE(PumpUntil([&] { return port.InBuffUsed() == 2; }, 3s));
  QByteArray outside;
  port.ReceiveChars(2, outside);  // outside a handler: taken at once
  EXPECT_EQ(outside, "gh");
  EXPECT_EQ(port.InBuffUsed(), 0);
}
