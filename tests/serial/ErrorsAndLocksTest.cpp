// Error codes and their exceptions, the port map, and the UUCP lock files that keep
// other programs off an open modem.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <fstream>
#include <new>
#include <string>

#include "PtyPeer.h"
#include "serial/PortMap.h"
#include "serial/SerialErrors.h"
#include "serial/SerialPort.h"
#include "serial/posix/UucpLock.h"

namespace {

template <class E>
void ExpectRaises(int code, int number, const char* message) {
  try {
    CheckSerialResult(code);
    ADD_FAILURE() << "no exception for " << code;
  } catch (const E& e) {
    EXPECT_EQ(e.ErrorNumber, number) << code;
    if (message != nullptr) {
      EXPECT_STREQ(e.what(), message) << code;
    }
  } catch (...) {
    ADD_FAILURE() << "wrong exception for " << code;
  }
}

TEST(SerialErrorsTest, CodesRaiseTheirOwnClassesWithTheTableTexts) {
  EXPECT_EQ(CheckSerialResult(0), 0);
  EXPECT_EQ(CheckSerialResult(7), 7);
  ExpectRaises<EBadId>(-2001, -2001, "ie_BadId - Specified comport doesn't exist");
  ExpectRaises<EAlreadyOpen>(-2008, -2008, "ie_Open - device already open");
  ExpectRaises<ECommNotOpen>(-2007, -2007, "ie_NOpen - device not open");
  ExpectRaises<EPutBlockFail>(-3004, -3004, "Failed to put entire block");
  ExpectRaises<EOutputBufferTooSmall>(-3006, -3006, "Output buffer too small for block");
  ExpectRaises<EBufferIsEmpty>(-3007, -3007, "Buffer is empty");
  ExpectRaises<EBadArgument>(-1002, -1002, "Bad argument passed to function");
  ExpectRaises<EGeneral>(-1005, -1005, nullptr);
  ExpectRaises<EOpenComm>(-2003, -2003, nullptr);
  ExpectRaises<ESerialIO>(-3001, -3001, nullptr);
  ExpectRaises<ESerialException>(-5000, 0, "Vexa exception");
  EXPECT_THROW(CheckSerialResult(-8), std::bad_alloc);
}

TEST(SerialErrorsTest, SystemErrorsKeepTheirNumberAndText) {
  ExpectRaises<EInOutError>(-2, 2, "File not found");
  ExpectRaises<EInOutError>(-162, 162, "General failure");
  // No table row: the system's text, cleaned.
  try {
    CheckSerialResult(-22);
    ADD_FAILURE();
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.ErrorNumber, 22);
    EXPECT_STREQ(e.what(), "Invalid argument");
  }
}

TEST(SerialErrorsTest, APermissionProblemNamesTheDialoutGroup) {
  const QString text = SerialErrorMessage(-13);
  EXPECT_TRUE(text.startsWith("Permission denied")) << text.toStdString();
  EXPECT_TRUE(text.contains("dialout")) << text.toStdString();
  EXPECT_FALSE(text.contains("already open"));
}

TEST(PortMapTest, DefaultsAndConfiguredPaths) {
  SetPortPathSource(nullptr);
  EXPECT_EQ(PortDevicePath(1), "/dev/ttyS0");
  EXPECT_EQ(PortDevicePath(4), "/dev/ttyS3");
  EXPECT_EQ(PortDevicePath(5), "/dev/ttyACM0");
  EXPECT_EQ(PortDevicePath(6), "/dev/ttyACM1");
  EXPECT_EQ(PortDevicePath(7), "/dev/ttyUSB0");
  EXPECT_EQ(PortDevicePath(8), "/dev/ttyUSB1");
  EXPECT_EQ(PortDevicePath(0), std::nullopt);
  EXPECT_EQ(PortDevicePath(9), std::nullopt);
  EXPECT_EQ(PortDevicePath(50), std::nullopt);

  SetPortPathSource([](int n) -> std::optional<std::string> {
    if (n == 5) return "/dev/modem";
    if (n == 12) return "/tmp/vmodem-pty";
    return std::nullopt;
  });
  EXPECT_EQ(PortDevicePath(5), "/dev/modem");
  EXPECT_EQ(PortDevicePath(12), "/tmp/vmodem-pty");
  EXPECT_EQ(PortDevicePath(1), "/dev/ttyS0");  // not configured: the default
  SetPortPathSource(nullptr);
}

// Lock files are honoured only where the lock folder is writable (as root in CI).
class UucpLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::access(posix::UucpLock::DefaultFolder(), W_OK) != 0) {
      GTEST_SKIP() << "lock folder not writable";
    }
    lockFile = posix::UucpLock::LockFileFor(peer.SlavePath(), posix::UucpLock::DefaultFolder());
    port.SetComNumber(1);
    port.SetAutoOpen(false);
  }
  void TearDown() override {
    if (!lockFile.empty()) ::unlink(lockFile.c_str());
  }
  void WriteLock(pid_t pid) {
    std::ofstream out(lockFile);
    char text[16];
    std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(pid));
    out << text;
  }

  PtyPeer peer;
  TestPortMap map_{{{1, peer.SlavePath()}}};
  TSerialPort port;
  std::string lockFile;
};

TEST_F(UucpLockTest, OpenWritesOurPidAndCloseRemovesIt) {
  port.SetOpen(true);
  std::ifstream in(lockFile);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  char expected[16];
  std::snprintf(expected, sizeof expected, "%10d\n", static_cast<int>(::getpid()));
  EXPECT_EQ(text, expected);
  port.SetOpen(false);
  EXPECT_NE(::access(lockFile.c_str(), F_OK), 0);
}

TEST_F(UucpLockTest, ALockOfALiveProcessRefusesTheOpen) {
  WriteLock(::getppid());
  try {
    port.SetOpen(true);
    FAIL() << "no exception";
  } catch (const EAlreadyOpen& e) {
    EXPECT_EQ(e.ErrorNumber, -2008);
  }
  EXPECT_EQ(::access(lockFile.c_str(), F_OK), 0);  // not ours to remove
}

TEST_F(UucpLockTest, AStaleLockIsRemovedAndTheOpenSucceeds) {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  WriteLock(child);
  port.SetOpen(true);
  EXPECT_TRUE(port.Open());
}

}  // namespace
