// The tavrin-vmodem program as the demo runs it: a child process with a link.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "PtyClient.h"
#include "gtest/gtest.h"

namespace vmodem::test {
namespace {

TEST(ProgramTest, AnswersOnItsLinkAndRemovesItOnSigterm) {
  const std::string link = ::testing::TempDir() + "/vmodem-prog-" + std::to_string(::getpid());
  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::dup2(out[1], STDOUT_FILENO);
    ::close(out[0]);
    ::execl(TAVRIN_VMODEM_EXE, TAVRIN_VMODEM_EXE, "--link", link.c_str(), "--profile", "lucent",
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(out[1]);
  // The first line is the device: the modem answers from then on.
  std::string device;
  char c;
  while (::read(out[0], &c, 1) == 1 && c != '\n') device += c;
  ::close(out[0]);
  EXPECT_EQ(device.rfind("/dev/pts/", 0), 0u) << device;
  {
    PtyClient client(link);
    EXPECT_EQ(client.command("AT+GMI?"), "AT+GMI?\r\r\nLucent\r\n\r\nOK\r\n");
  }
  ASSERT_EQ(::kill(child, SIGTERM), 0);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_NE(::access(link.c_str(), F_OK), 0);
}

}  // namespace
}  // namespace vmodem::test
