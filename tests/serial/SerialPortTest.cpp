// The port component on real pseudo-terminals: open and close sequences, sending,
// receiving through OnTriggerAvail, and the errors of the component boundary.
#include <gtest/gtest.h>

#include <QByteArray>
#include <chrono>
#include <string>
#include <vector>

#include "PtyPeer.h"
#include "serial/SerialPort.h"

using namespace std::chrono_literals;

namespace {

// A port on COM1 (and COM2) mapped to pseudo-terminals, with the modem link's settings,
// recording its events.
class PortTest : public ::testing::Test {
 protected:
  PortTest() : map_({{1, peer1.SlavePath()}, {2, peer2.SlavePath()}}) {
    port.SetBaud(115200);
    port.SetAutoOpen(false);
    port.SetTapiMode(tmNone);
    port.SetComNumber(1);
    port.SetOnPortOpen([this](TCustomSerialPort&) { events.push_back("open"); });
    port.SetOnPortClose([this](TCustomSerialPort&) { events.push_back("close"); });
  }

  // Takes every notified byte, as the modem link does.
  void TakeAll() {
    port.SetOnTriggerAvail([this](TCustomSerialPort& cp, uint16_t count) {
      counts.push_back(count);
      for (uint16_t i = 0; i < count; ++i) received.append(static_cast<char>(cp.ReceiveChar()));
    });
  }

  std::vector<std::string> events;
  std::vector<uint16_t> counts;
  QByteArray received;
  PtyPeer peer1, peer2;
  TestPortMap map_;
  TSerialPort port;
};

QByteArray Pattern(size_t size, uint32_t seed) {
  QByteArray bytes(static_cast<qsizetype>(size), '\0');
  for (auto& b : bytes) {
    seed = seed * 1664525u + 1013904223u;
    b = static_cast<char>(seed >> 24);
  }
  return bytes;
}

TEST_F(PortTest, OpensSendsAndReceivesOnAPty) {
  TakeAll();
  port.SetOpen(true);
  EXPECT_TRUE(port.Open());
  EXPECT_EQ(port.State(), cpsOpen);
  EXPECT_EQ(events, std::vector<std::string>{"open"});

  ASSERT_GE(port.OutputSpace(), 5);
  port.SendString("atE0\r");
  EXPECT_EQ(peer1.Read(5, 2s), QByteArray("atE0\r"));

  peer1.Write("\r\nOK\r\n");
  ASSERT_TRUE(PumpUntil([&] { return received.size() >= 6; }, 3s));
  EXPECT_EQ(received, QByteArray("\r\nOK\r\n"));
  EXPECT_EQ(port.InBuffUsed(), 0);

  port.SetOpen(false);
  EXPECT_FALSE(port.Open());
  EXPECT_EQ(port.State(), cpsClosed);
  EXPECT_EQ(events, (std::vector<std::string>{"open", "close"}));
}

TEST_F(PortTest, BinaryBytesPassUnchangedBothWays) {
  TakeAll();
  port.SetOpen(true);
  QByteArray all;
  for (int i = 0; i < 256; ++i) all.append(static_cast<char>(i));
  port.SendString(all);
  EXPECT_EQ(peer1.Read(256, 2s), all);
  peer1.Write(all);
  ASSERT_TRUE(PumpUntil([&] { return received.size() >= 256; }, 3s));
  EXPECT_EQ(received, all);
}

TEST_F(PortTest, EveryModemRateAndLineSettingAppliesWhileOpen) {
  port.SetOpen(true);
  // A pseudo-terminal has no character format; changing it must not fail the port.
  EXPECT_NO_THROW(port.SetParity(pEven));
  EXPECT_NO_THROW(port.SetStopBits(2));
  EXPECT_NO_THROW(port.SetDataBits(7));
  EXPECT_NO_THROW(port.SetDTR(false));
  EXPECT_NO_THROW(port.SetRTS(false));
  port.SetDataBits(8);
  port.SetParity(pNone);
  port.SetStopBits(1);
  // Each change waits for the line to drain at the old rate: fastest first.
  for (const int32_t rate :
       {115200, 57600, 56000, 38400, 19200, 14400, 9600, 4800, 2400, 1200, 600, 300, 150}) {
    EXPECT_NO_THROW(port.SetBaud(rate)) << rate;
  }
  port.SetBaud(115200);
  port.SendString("ok");
  EXPECT_EQ(peer1.Read(2, 2s), QByteArray("ok"));
}

TEST_F(PortTest, OpeningTwiceDoesNothingTheSecondTime) {
  port.SetOpen(true);
  port.SetOpen(true);
  EXPECT_EQ(events, std::vector<std::string>{"open"});
}

TEST_F(PortTest, MissingDeviceRaisesBadIdAndCanBeRetried) {
  port.SetComNumber(3);
  try {
    port.SetOpen(true);
    FAIL() << "no exception";
  } catch (const EBadId& e) {
    EXPECT_EQ(e.ErrorNumber, -2001);
    EXPECT_STREQ(e.what(), "ie_BadId - Specified comport doesn't exist");
  }
  EXPECT_FALSE(port.Open());
  EXPECT_EQ(port.State(), cpsClosed);
  EXPECT_TRUE(events.empty());
  EXPECT_THROW(port.SetOpen(true), EBadId);  // retried, fails again the same way
  port.SetComNumber(1);
  port.SetOpen(true);
  EXPECT_TRUE(port.Open());
}

TEST_F(PortTest, SecondOpenerIsRefusedWithAlreadyOpen) {
  port.SetOpen(true);
  TSerialPort other;
  other.SetAutoOpen(false);
  other.SetComNumber(1);
  try {
    other.SetOpen(true);
    FAIL() << "no exception";
  } catch (const EAlreadyOpen& e) {
    EXPECT_EQ(e.ErrorNumber, -2008);
    EXPECT_STREQ(e.what(), "ie_Open - device already open");
  }
  EXPECT_FALSE(other.Open());
  // Once the first one lets go, the device is free again.
  port.SetOpen(false);
  other.SetOpen(true);
  EXPECT_TRUE(other.Open());
}

TEST_F(PortTest, ClosedPortReportsOutSizeButRefusesTraffic) {
  EXPECT_EQ(port.OutputSpace(), 4096);
  try {
    port.SendString("at\r");
    FAIL() << "no exception";
  } catch (const ECommNotOpen& e) {
    EXPECT_EQ(e.ErrorNumber, -2007);
    EXPECT_STREQ(e.what(), "ie_NOpen - device not open");
  }
  EXPECT_THROW(port.ReceiveChar(), ECommNotOpen);
}

TEST_F(PortTest, NoPortNumberWithoutPromptRaisesNoPortSelected) {
  port.SetComNumber(0);
  port.SetPromptForPort(false);
  try {
    port.SetOpen(true);
    FAIL() << "no exception";
  } catch (const ENoPortSelected& e) {
    EXPECT_EQ(e.ErrorNumber, -2011);
    EXPECT_STREQ(e.what(), "The ComNumber property of the TSerialPort has not been set");
  }
  EXPECT_FALSE(port.Open());
}

TEST_F(PortTest, PromptChoosesThePortWhenNumberIsZero) {
  port.SetComNumber(0);
  TCustomSerialPort::SetPortPrompt([](uint16_t& chosen) {
    chosen = 2;
    return true;
  });
  port.SetOpen(true);
  TCustomSerialPort::SetPortPrompt(nullptr);
  EXPECT_EQ(port.ComNumber(), 2);
  port.SendString("x");
  EXPECT_EQ(peer2.Read(1, 2s), QByteArray("x"));

  port.SetOpen(false);
  port.SetComNumber(0);
  TCustomSerialPort::SetPortPrompt([](uint16_t&) { return false; });
  EXPECT_THROW(port.SetOpen(true), ENoPortSelected);
  TCustomSerialPort::SetPortPrompt(nullptr);
  EXPECT_EQ(port.State(), cpsClosed);
}

TEST_F(PortTest, SendStringQueuesAllOrNothing) {
  port.SetOpen(true);
  port.SendString("");  // nothing, no error
  const uint16_t space = port.OutputSpace();
  EXPECT_EQ(space, 4096);
  const QByteArray tooLong = Pattern(space + 1, 7);
  try {
    port.SendString(tooLong);
    FAIL() << "no exception";
  } catch (const EOutputBufferTooSmall& e) {
    EXPECT_EQ(e.ErrorNumber, -3006);
  }
  EXPECT_TRUE(peer1.ReadUntilQuiet(100ms).isEmpty());
  const QByteArray exact = Pattern(space, 8);
  port.SendString(exact);
  EXPECT_EQ(peer1.Read(exact.size(), 3s), exact);
}

TEST_F(PortTest, DuringPortCloseSendIsIgnoredAndReceiveGivesZero) {
  TakeAll();
  bool checked = false;
  port.SetOnPortClose([&](TCustomSerialPort& p) {
    EXPECT_EQ(p.State(), cpsClosing);
    EXPECT_NO_THROW(p.SendString("late"));
    EXPECT_EQ(p.ReceiveChar(), 0);
    checked = true;
  });
  port.SetOpen(true);
  peer1.Write("abc");
  // Leave the bytes unread in the ring: the handler must not see them.
  port.SetOnTriggerAvail(nullptr);
  port.SetOpen(false);
  EXPECT_TRUE(checked);
  EXPECT_TRUE(peer1.ReadUntilQuiet(100ms).isEmpty());
}

TEST_F(PortTest, ChangingComNumberWhileOpenMovesToTheNewPort) {
  TakeAll();
  port.SetAvailThreshold(1);
  port.SetOpen(true);
  port.SetComNumber(2);
  EXPECT_EQ(events, (std::vector<std::string>{"open", "close", "open"}));
  EXPECT_TRUE(port.Open());
  port.SendString("on2");
  EXPECT_EQ(peer2.Read(3, 2s), QByteArray("on2"));
  peer2.Write("r2");
  ASSERT_TRUE(PumpUntil([&] { return received.size() >= 2; }, 3s));
  EXPECT_EQ(received, QByteArray("r2"));
  // COM1 was let go.
  TSerialPort other;
  other.SetComNumber(1);
  other.SetOpen(true);
  EXPECT_TRUE(other.Open());
}

TEST_F(PortTest, ReceiveCharBeyondCountRaisesBufferIsEmpty) {
  int raised = 0;
  port.SetOnTriggerAvail([&](TCustomSerialPort& cp, uint16_t count) {
    for (uint16_t i = 0; i < count; ++i) received.append(static_cast<char>(cp.ReceiveChar()));
    try {
      cp.ReceiveChar();
    } catch (const EBufferIsEmpty& e) {
      EXPECT_EQ(e.ErrorNumber, -3007);
      ++raised;
    }
  });
  port.SetOpen(true);
  peer1.Write("hello");
  ASSERT_TRUE(PumpUntil([&] { return received.size() >= 5; }, 3s));
  EXPECT_EQ(received, QByteArray("hello"));
  EXPECT_GE(raised, 1);
  EXPECT_EQ(port.InBuffUsed(), 0);
}

TEST_F(PortTest, DestroyingAnOpenPortFiresCloseAndFreesTheDevice) {
  bool closed = false;
  {
    TSerialPort temp;
    temp.SetComNumber(1);
    temp.SetOnPortClose([&](TCustomSerialPort&) { closed = true; });
    temp.SetOpen(true);
  }
  EXPECT_TRUE(closed);
  port.SetOpen(true);
  EXPECT_TRUE(port.Open());
}

}  // namespace
