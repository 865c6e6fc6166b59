// The command dialogue as the computer sees it on the line.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <thread>

#include "ModemFixture.h"

namespace vmodem::test {
namespace {

class CommandTest : public ModemTest {};

TEST_F(CommandTest, EchoIsOnAtPowerOnAndE0TurnsItOff) {
  startModem("conexant");
  EXPECT_EQ(client_->command("AT"), "AT\r\r\nOK\r\n");
  EXPECT_EQ(client_->command("ATE0"), "ATE0\r\r\nOK\r\n");
  EXPECT_EQ(client_->command("AT"), "\r\nOK\r\n");
  EXPECT_EQ(client_->command("ATE1"), "\r\nOK\r\n");
  EXPECT_EQ(client_->command("at"), "at\r\r\nOK\r\n");
}

TEST_F(CommandTest, FramesInformationErrorsAndSeveralCommandsPerLine) {
  startModem("conexant");
  echoOff();
  EXPECT_EQ(client_->command("AT+GMM?"), "\r\nCX93001-EIS_V0.2013-V92\r\n\r\nOK\r\n");
  EXPECT_EQ(client_->command("ATI3"), "\r\nCX93001-EIS_V0.2013-V92\r\n\r\nOK\r\n");
  EXPECT_EQ(client_->command("AT+NOSUCH"), "\r\nERROR\r\n");
  EXPECT_EQ(client_->command("ATQ7"), "\r\nERROR\r\n");
  // Line feeds are ignored; the case of the prefix and of the commands does not matter.
  EXPECT_EQ(client_->command("\naT+fClass?"), "\r\n0\r\n\r\nOK\r\n");
  EXPECT_EQ(client_->command("ATS0=0S0?+FCLASS=8;+FCLASS?"), "\r\n000\r\n\r\n8\r\n\r\nOK\r\n");
  // An error part way through ends the line with ERROR.
  EXPECT_EQ(client_->command("AT+FCLASS=0;+GMM?;+BAD;+GMI?"),
            "\r\nCX93001-EIS_V0.2013-V92\r\n\r\nERROR\r\n");
  EXPECT_EQ(modem_->status().fclass, "0");
  // A line without "AT" is no command: no answer. The next one is answered.
  client_->send("hello\r");
  EXPECT_EQ(client_->command("AT"), "\r\nOK\r\n");
  EXPECT_EQ(modem_->commands().back(), "AT");
}

TEST_F(CommandTest, ResetCommandsRestorePowerOnState) {
  startModem("conexant");
  echoOff();
  ASSERT_EQ(client_->command("AT+FCLASS=8"), "\r\nOK\r\n");
  EXPECT_EQ(client_->command("ATZ"), "\r\nOK\r\n");
  EXPECT_EQ(client_->command("AT"), "AT\r\r\nOK\r\n");
  EXPECT_EQ(modem_->status().fclass, "0");
  EXPECT_EQ(client_->command("ATE0&F"), "ATE0&F\r\r\nOK\r\n");
  client_->send("ATV0E0\r");
  EXPECT_EQ(client_->readUntil("\r0\r"), "ATV0E0\r0\r");
  EXPECT_EQ(client_->command("ATV1"), "\r\nOK\r\n");
}

TEST_F(CommandTest, AComputerGoneWithThePortExclusiveLeavesItFreeForTheNext) {
  if (::geteuid() != 0) GTEST_SKIP() << "only a privileged process opens a port held exclusive";
  startModem("conexant");
  // A program that took the port for itself (TIOCEXCL) and was killed with it open.
  {
    const int fd = ::open(modem_->slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ioctl(fd, TIOCEXCL), 0);
    client_->close();
    ::close(fd);
  }
  ASSERT_TRUE(modem_->waitFor([](const ModemStatus& s) { return s.resets >= 1; }, kAnswerTimeout));
  const int fd = ::open(modem_->slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  int exclusive = 1;
  ASSERT_EQ(::ioctl(fd, TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 0);
  ::close(fd);
  // The modem's own look at the port is no close of a computer's: one reset per close.
  ASSERT_TRUE(modem_->waitFor([](const ModemStatus& s) { return s.resets >= 2; }, kAnswerTimeout));
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(modem_->status().resets, 2);
  client_ = std::make_unique<PtyClient>(modem_->slavePath());
  EXPECT_EQ(client_->command("AT"), "AT\r\r\nOK\r\n");
}

TEST_F(CommandTest, VoiceCommandsOnlyInClass8AndCheckedAgainstTheirRanges) {
  startModem("conexant");
  echoOff();
  EXPECT_EQ(client_->command("AT+VGR=128"), "\r\nERROR\r\n");
  EXPECT_EQ(client_->command("AT+VLS=?"), "\r\nERROR\r\n");
  EXPECT_EQ(client_->command("AT+FCLASS=?"), "\r\n0,1,1.0,2,8\r\n\r\nOK\r\n");
  ASSERT_EQ(client_->command("at+fclass=8"), "\r\nOK\r\n");
  for (const char* ok :
       {"at+vid", "at+vcid=0", "at+vcid=1", "at+vcid=2", "at+vdr=0", "at+vgt=128", "at+vsd=127,50",
        "at+vgr=128", "at+vsp=1", "at+vsp=0", "at+vgm=128", "at+vgs=128", "at+vip", "AT+FLO=2"})
    EXPECT_EQ(client_->command(ok), "\r\nOK\r\n") << ok;
  for (const char* bad : {"at+vgr=256", "at+vsp=2", "at+vcid=3", "at+vsd=1,2,3", "at+vgr=x",
                          "at+vls=9", "at+vsm=99", "at+vsm=0,11025", "at+vnosuch"})
    EXPECT_EQ(client_->command(bad), "\r\nERROR\r\n") << bad;
  EXPECT_EQ(client_->command("AT+VGR=?"), "\r\n(0-255)\r\n\r\nOK\r\n");
  ASSERT_EQ(client_->command("AT+VGR=200"), "\r\nOK\r\n");
  EXPECT_EQ(client_->command("AT+VGR?"), "\r\n200\r\n\r\nOK\r\n");
  ASSERT_EQ(client_->command("AT+VSM=1,8000,0,0"), "\r\nOK\r\n");
  EXPECT_EQ(client_->command("AT+VSM?"), "\r\n1,8000,0,0\r\n\r\nOK\r\n");
  ASSERT_EQ(client_->command("AT+VLS=5"), "\r\nOK\r\n");
  EXPECT_EQ(client_->command("ATH"), "\r\nOK\r\n");
  EXPECT_EQ(modem_->status().line, 0);
}

TEST_F(CommandTest, SilentDeviceAndNoAnswerFaultSendNothing) {
  startModem("silent");
  client_->send("AT\r");
  ASSERT_TRUE(
      modem_->waitFor([](const ModemStatus& s) { return s.commands == 1; }, kAnswerTimeout));
  EXPECT_EQ(client_->readFor(200ms), "");

  Options options;
  options.faults.noAnswer = true;
  startModem(options);
  client_->send("ATE0\rAT\r");
  ASSERT_TRUE(
      modem_->waitFor([](const ModemStatus& s) { return s.commands == 2; }, kAnswerTimeout));
  EXPECT_EQ(client_->readFor(200ms), "");
  EXPECT_EQ(modem_->status().echo, false);
}

TEST_F(CommandTest, OverlongLineIsAnError) {
  startModem("conexant");
  echoOff();
  EXPECT_EQ(client_->command("AT" + std::string(300, 'E')), "\r\nERROR\r\n");
  EXPECT_EQ(client_->command("AT"), "\r\nOK\r\n");
}

}  // namespace
}  // namespace vmodem::test
