// Error codes and their exceptions, the port map, and the UUCP lock files that keep
// other programs off an open modem.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <fstream>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "PtyPeer.h"
#include "serial/PortMap.h"
#include "serial/SerialErrors.h"
#include "serial/SerialPort.h"
#include "serial/posix/SysCall.h"
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

TEST(SerialErrorsTest, ARefusalByALockFileNamesItUnderTheCallersOwnMessage) {
  try {
    CheckOpenResult(-2008, "/var/lock/LCK..ttyACM0 is held by process 1234");
    ADD_FAILURE();
  } catch (const ELockHeld& e) {
    EXPECT_EQ(e.ErrorNumber, -2008);
    EXPECT_EQ(OpenFailureMessage("Error during opening com port 5", e),
              "Error during opening com port 5\n/var/lock/LCK..ttyACM0 is held by process 1234");
  }
  // Without a lock to name, the caller's message stands alone.
  try {
    CheckOpenResult(-2008, "");
    ADD_FAILURE();
  } catch (const ESerialException& e) {
    EXPECT_STREQ(e.what(), "ie_Open - device already open");
    EXPECT_EQ(OpenFailureMessage("Error during opening com port 5", e),
              "Error during opening com port 5");
  }
  EXPECT_EQ(CheckOpenResult(0, "ignored"), 0);
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

// A second process for the lock tests: it sleeps until the test ends, so its pid is the
// pid of a live holder; or it opens a device and puts it into exclusive mode first.
class Holder {
 public:
  Holder() {
    pid_ = ::fork();
    if (pid_ == 0) {
      ::execl("/bin/sleep", "sleep", "120", static_cast<char*>(nullptr));
      ::_exit(127);
    }
  }
  // Holds the device exclusively; Check() asks it whether its exclusive mode still holds.
  explicit Holder(const std::string& device) {
    int toChild[2], fromChild[2];
    if (::pipe(toChild) != 0 || ::pipe(fromChild) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      // Only async-signal-safe calls in the child of a threaded process.
      const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY);
      char reply = fd >= 0 && ::ioctl(fd, TIOCEXCL) == 0 ? 'y' : 'n';
      (void)::write(fromChild[1], &reply, 1);
      char ask = 0;
      while (::read(toChild[0], &ask, 1) == 1) {
        int exclusive = 0;
        reply = ::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive ? 'y' : 'n';
        (void)::write(fromChild[1], &reply, 1);
      }
      ::_exit(0);
    }
    ::close(toChild[0]);
    ::close(fromChild[1]);
    ask_ = toChild[1];
    answer_ = fromChild[0];
    char ready = 0;
    ready_ = ::read(answer_, &ready, 1) == 1 && ready == 'y';
  }
  ~Holder() {
    if (ask_ >= 0) ::close(ask_);
    if (answer_ >= 0) ::close(answer_);
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  pid_t Pid() const { return pid_; }
  bool Ready() const { return ready_; }
  bool StillExclusive() {
    const char ask = '?';
    char reply = 0;
    return ::write(ask_, &ask, 1) == 1 && ::read(answer_, &reply, 1) == 1 && reply == 'y';
  }

 private:
  pid_t pid_ = -1;
  int ask_ = -1, answer_ = -1;
  bool ready_ = false;
};

pid_t DeadPid() {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  return child;
}

// Locks live in a scratch folder here, so that the tests never depend on /var/lock.
class UucpLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    posix::UucpLock::SetFolder(lockDir.path().toStdString());
    lockFile = posix::UucpLock::LockFileFor(peer.SlavePath(), posix::UucpLock::Folder());
    port.SetComNumber(1);
    port.SetAutoOpen(false);
  }
  void TearDown() override {
    posix::SetCreateFault(nullptr);
    posix::UucpLock::SetFolder("");
  }
  void WriteLock(const std::string& content) {
    std::ofstream out(lockFile, std::ios::binary | std::ios::trunc);
    out << content;
  }
  static std::string Text(pid_t pid) {
    char text[16];
    std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(pid));
    return text;
  }
  static std::string Binary(pid_t pid) {
    const int32_t value = pid;
    return std::string(reinterpret_cast<const char*>(&value), sizeof value);
  }
  std::string LockContent() const {
    std::ifstream in(lockFile, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  // The text of the refusal.
  std::string ExpectRefused() {
    std::string text;
    try {
      port.SetOpen(true);
      ADD_FAILURE() << "no exception";
    } catch (const EAlreadyOpen& e) {
      EXPECT_EQ(e.ErrorNumber, -2008);
      text = e.what();
    }
    EXPECT_FALSE(port.Open());
    return text;
  }
  // Refused by the lock of a live process, which the message names with the lock file.
  void ExpectRefusedBy(pid_t pid) {
    EXPECT_EQ(ExpectRefused(), lockFile + " is held by process " + std::to_string(pid));
  }
  void SetLockAge(int seconds) {
    const timespec then{::time(nullptr) - seconds, 0};
    const timespec times[2] = {then, then};
    ASSERT_EQ(::utimensat(AT_FDCWD, lockFile.c_str(), times, 0), 0);
  }
  static bool Exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

  QTemporaryDir lockDir;
  PtyPeer peer;
  TestPortMap map_{{{1, peer.SlavePath()}}};
  TSerialPort port;
  std::string lockFile;
};

TEST_F(UucpLockTest, OpenWritesOurPidReadableByOthersAndCloseRemovesIt) {
  port.SetOpen(true);
  EXPECT_EQ(LockContent(), Text(::getpid()));
  struct stat st {};
  ASSERT_EQ(::stat(lockFile.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
  EXPECT_FALSE(Exists(posix::UucpLock::TempFileFor(lockFile)));
  port.SetOpen(false);
  EXPECT_FALSE(Exists(lockFile));
}

TEST_F(UucpLockTest, ALockOfALiveProcessRefusesTheOpenBeforeTheDeviceIsTouched) {
  Holder holder;
  WriteLock(Text(holder.Pid()));
  // Any open of the device, ours included, shows here.
  const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(::inotify_add_watch(watch, peer.SlavePath().c_str(), IN_OPEN), 0);
  ExpectRefusedBy(holder.Pid());
  char events[256];
  EXPECT_LT(::read(watch, events, sizeof events), 0) << "the device was opened";
  ::close(watch);
  EXPECT_EQ(LockContent(), Text(holder.Pid()));  // not ours to remove
}

TEST_F(UucpLockTest, AnExclusiveHolderWithoutALockKeepsItsExclusiveMode) {
  Holder holder(peer.SlavePath());
  ASSERT_TRUE(holder.Ready());
  EXPECT_EQ(ExpectRefused(), "ie_Open - device already open");  // no lock to name
  EXPECT_TRUE(holder.StillExclusive());
  EXPECT_FALSE(Exists(lockFile));  // the lock taken for the attempt went with it
}

TEST_F(UucpLockTest, ALockInAFolderWeCannotWriteToIsStillHonoured) {
  const std::string folder = posix::UucpLock::Folder();
  posix::SetCreateFault(
      [folder](const std::string& path) { return path.rfind(folder, 0) == 0 ? EACCES : 0; });
  Holder holder;
  WriteLock(Text(holder.Pid()));
  ExpectRefusedBy(holder.Pid());
  // Without a lock the device opens, and no lock is left behind.
  ASSERT_EQ(::unlink(lockFile.c_str()), 0);
  port.SetOpen(true);
  EXPECT_TRUE(port.Open());
  EXPECT_FALSE(Exists(lockFile));
}

TEST_F(UucpLockTest, AnEmptyOrHalfWrittenLockIsStaleOnlyOnceItIsOld) {
  for (const std::string& content : {std::string(), std::string("     ")}) {
    WriteLock(content);
    // Its writer may be at work right now; there is no pid to name.
    EXPECT_EQ(ExpectRefused(), "ie_Open - device already open");
    SetLockAge(10);
    port.SetOpen(true);
    EXPECT_TRUE(port.Open());
    EXPECT_EQ(LockContent(), Text(::getpid()));
    port.SetOpen(false);
  }
}

// Every form other programs write: the pid as text of any width with a newline, with the
// owner's program and user after it, with nothing after it, and as four binary bytes.
std::vector<std::string> LockForms(pid_t pid) {
  const std::string digits = std::to_string(pid);
  char padded[64];
  std::snprintf(padded, sizeof padded, "%10d minicom root\n", static_cast<int>(pid));
  const int32_t value = pid;
  return {digits + "\n", padded, "  " + digits, digits,
          std::string(reinterpret_cast<const char*>(&value), sizeof value)};
}

TEST_F(UucpLockTest, PidsAreReadInEveryFormOtherProgramsWrite) {
  Holder holder;
  for (const std::string& content : LockForms(holder.Pid())) {
    SCOPED_TRACE(content);
    WriteLock(content);
    ExpectRefusedBy(holder.Pid());
    EXPECT_EQ(LockContent(), content);
  }
  for (const std::string& content : LockForms(DeadPid())) {
    SCOPED_TRACE(content);
    WriteLock(content);
    port.SetOpen(true);
    EXPECT_TRUE(port.Open());
    EXPECT_EQ(LockContent(), Text(::getpid()));
    port.SetOpen(false);
  }
}

TEST_F(UucpLockTest, ALockWhoseProcessEndsDuringTheOpenIsTakenOver) {
  auto holder = std::make_unique<Holder>();
  WriteLock(LockForms(holder->Pid())[1]);
  // The holder dies while our lock is being written, before the lock is looked at.
  posix::SetCreateFault([&](const std::string&) {
    holder.reset();
    return 0;
  });
  port.SetOpen(true);
  EXPECT_TRUE(port.Open());
  EXPECT_EQ(LockContent(), Text(::getpid()));
  EXPECT_FALSE(Exists(posix::UucpLock::AsideFileFor(lockFile)));
  port.SetOpen(false);
  EXPECT_FALSE(Exists(lockFile));
}

// A process that takes and releases the lock of one device at the parent's word.
class LockRacer {
 public:
  explicit LockRacer(const std::string& device) {
    int toChild[2], fromChild[2];
    if (::pipe(toChild) != 0 || ::pipe(fromChild) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(toChild[1]);
      ::close(fromChild[0]);
      posix::UucpLock lock;
      char command = 0;
      while (::read(toChild[0], &command, 1) == 1) {
        char reply = 'a';
        if (command == 'g') {
          const int rc = lock.Acquire(device);
          reply = rc == 0 ? 'w' : rc == serial_error::kOsAccessDenied ? 'l' : 'e';
        } else {
          lock.Release();
        }
        if (::write(fromChild[1], &reply, 1) != 1) break;
      }
      ::_exit(0);
    }
    ::close(toChild[0]);
    ::close(fromChild[1]);
    command_ = toChild[1];
    reply_ = fromChild[0];
  }
  ~LockRacer() {
    ::close(command_);
    ::close(reply_);
    if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
  }
  bool Send(char command) { return ::write(command_, &command, 1) == 1; }
  char Reply() {
    char reply = 0;
    return ::read(reply_, &reply, 1) == 1 ? reply : '?';
  }
  pid_t Pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  int command_ = -1, reply_ = -1;
};

TEST_F(UucpLockTest, OfTwoOpenersRacingOverOneStaleLockExactlyOneWinsEveryRound) {
  constexpr int kRounds = 400;
  const std::string device = peer.SlavePath();
  LockRacer a(device), b(device);
  ASSERT_GT(a.Pid(), 0);
  ASSERT_GT(b.Pid(), 0);
  const std::vector<std::string> stale = LockForms(DeadPid());
  int wonByA = 0;
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE(testing::Message() << "round " << round);
    WriteLock(stale[round % stale.size()]);
    ASSERT_TRUE(a.Send('g') && b.Send('g'));
    const char ra = a.Reply(), rb = b.Reply();
    ASSERT_TRUE((ra == 'w' && rb == 'l') || (ra == 'l' && rb == 'w')) << ra << rb;
    wonByA += ra == 'w' ? 1 : 0;
    // The winner's lock is the one in place, whole.
    EXPECT_EQ(LockContent(), Text(ra == 'w' ? a.Pid() : b.Pid()));
    ASSERT_TRUE(a.Send('r') && b.Send('r'));
    ASSERT_EQ(a.Reply(), 'a');
    ASSERT_EQ(b.Reply(), 'a');
    ASSERT_FALSE(Exists(lockFile));
  }
  // Nothing of the race is left behind.
  for (const pid_t pid : {a.Pid(), b.Pid()}) {
    const std::string tmp = lockFile + ".tmp" + std::to_string(pid);
    const std::string aside = lockFile + ".stale" + std::to_string(pid);
    EXPECT_FALSE(Exists(tmp) || Exists(aside));
  }
  RecordProperty("rounds_won_by_first", wonByA);
}

TEST_F(UucpLockTest, TheTemporaryFileIsNeverWrittenThroughALink) {
  const std::string victim = lockDir.filePath("victim").toStdString();
  {
    std::ofstream out(victim);
    out << "keep me";
  }
  ASSERT_EQ(::symlink(victim.c_str(), posix::UucpLock::TempFileFor(lockFile).c_str()), 0);
  port.SetOpen(true);
  EXPECT_TRUE(port.Open());
  std::ifstream in(victim);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()),
            "keep me");
  EXPECT_EQ(LockContent(), Text(::getpid()));
  EXPECT_FALSE(Exists(posix::UucpLock::TempFileFor(lockFile)));
}

TEST_F(UucpLockTest, CloseRemovesTheLockOnlyWhileItIsOurs) {
  port.SetOpen(true);
  Holder holder;
  WriteLock(Text(holder.Pid()));  // taken over, as by a program that thought ours stale
  port.SetOpen(false);
  EXPECT_EQ(LockContent(), Text(holder.Pid()));
}

TEST_F(UucpLockTest, AStaleLockIsRemovedAndTheOpenSucceeds) {
  WriteLock(Text(DeadPid()));
  port.SetOpen(true);
  EXPECT_TRUE(port.Open());
  EXPECT_EQ(LockContent(), Text(::getpid()));
}

}  // namespace
