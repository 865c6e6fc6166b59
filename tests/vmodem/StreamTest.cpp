// The data phase of +VRX and the line's life: closing, reopening, unplugging.
#include <unistd.h>

#include "ModemFixture.h"

namespace vmodem::test {
namespace {

const std::string kDle(1, '\x10');
const std::string kDleEtx = "\x10\x03";
const std::string kConnect = "\r\nCONNECT\r\n";

class StreamTest : public ModemTest {
 protected:
  // Voice mode, a method and a line, as the recorder sets them up; then +VRX. Returns
  // the samples that came in the same reads as the CONNECT (any chunking is allowed).
  std::string startReceiving(const std::string& method = "at+vsm=1,8000") {
    echoOff();
    EXPECT_EQ(client_->command("at+fclass=8"), "\r\nOK\r\n");
    EXPECT_EQ(client_->command(method), "\r\nOK\r\n");
    EXPECT_EQ(client_->command("at+vls=1"), "\r\nOK\r\n");
    client_->send("at+vrx\r");
    const std::string answer = client_->readUntil(kConnect);
    EXPECT_EQ(answer.substr(0, kConnect.size()), kConnect);
    return answer.size() > kConnect.size() ? answer.substr(kConnect.size()) : std::string();
  }
  // At least n bytes of the stream, starting with those already read.
  std::string readStream(std::string data, size_t n) {
    while (data.size() < n) {
      const std::string more = client_->readBytes(n - data.size());
      if (more.empty()) break;
      data += more;
    }
    return data;
  }
  static Options patternLine(const std::string& pattern) {
    Options options;
    options.line.kind = LineOptions::Kind::Pattern;
    options.line.pattern = pattern;
    return options;
  }
};

TEST_F(StreamTest, DataBytesEqualToDleArriveDoubled) {
  startModem(
      patternLine(std::string("\x10"
                              "A\x10\x10"
                              "B",
                              5)));
  const std::string data = readStream(startReceiving(), 14);
  EXPECT_EQ(data.substr(0, 14), std::string("\x10\x10"
                                            "A\x10\x10\x10\x10"
                                            "B\x10\x10"
                                            "A\x10\x10\x10",
                                            14));
}

TEST_F(StreamTest, DleExclamationEndsTheStreamAndTheBytesMatchTheRecord) {
  startModem("conexant");
  std::string received = kConnect + readStream(startReceiving(), 800);
  ASSERT_GE(received.size(), 800u);
  client_->send(kDle + "!");
  received += client_->readUntil(kDleEtx + "\r\nOK\r\n");
  ASSERT_GE(received.size(), 8u);
  EXPECT_EQ(received.substr(received.size() - 8), kDleEtx + "\r\nOK\r\n");
  // The modem records a write just after making it.
  ASSERT_TRUE(modem_->waitFor(
      [&](const ModemStatus& s) { return s.streamedBytes >= received.size(); }, kAnswerTimeout));
  EXPECT_EQ(modem_->streamed(), received);
  // Back in command mode, still in voice class.
  EXPECT_EQ(client_->command("AT+FCLASS?"), "\r\n8\r\n\r\nOK\r\n");
  EXPECT_EQ(modem_->status().streams, 1);
}

TEST_F(StreamTest, DleCaretAlsoEndsTheStream) {
  startModem(patternLine("\x80"));
  ASSERT_FALSE(readStream(startReceiving(), 10).empty());
  client_->send(kDle + "^");
  const std::string tail = client_->readUntil(kDleEtx + "\r\nOK\r\n");
  ASSERT_GE(tail.size(), 8u);
  EXPECT_EQ(tail.substr(tail.size() - 8), kDleEtx + "\r\nOK\r\n");
  EXPECT_EQ(tail.find_first_not_of('\x80'), tail.size() - 8);
}

TEST_F(StreamTest, ClosingThePortResetsTheModemAndItAnswersAfterReopening) {
  startModem("conexant");
  ASSERT_FALSE(readStream(startReceiving(), 100).empty());
  reopen();
  const ModemStatus status = modem_->status();
  EXPECT_EQ(status.state, ModemState::Command);
  EXPECT_EQ(status.fclass, "0");
  EXPECT_TRUE(status.echo);
  client_->send("AT\r");
  const std::string answer = client_->readUntil("AT\r\r\nOK\r\n");
  EXPECT_EQ(answer, "AT\r\r\nOK\r\n");
  EXPECT_EQ(modem_->status().resets, 1);
}

TEST_F(StreamTest, TheModemToldToKeepItsStateEndsTheStreamOnCloseAndKeepsEchoOff) {
  Options options;
  options.keepStateOnClose = true;
  startModem(options);
  ASSERT_FALSE(readStream(startReceiving(), 100).empty());
  for (int round = 1; round <= 2; ++round) {
    reopen();
    const ModemStatus status = modem_->status();
    EXPECT_EQ(status.closes, round);
    EXPECT_EQ(status.resets, 0);
    EXPECT_EQ(status.state, ModemState::Command);
    EXPECT_FALSE(status.echo);
    EXPECT_EQ(status.fclass, "8");
    EXPECT_EQ(client_->command("at+vls=1"), "\r\nOK\r\n");  // no echo, still in voice class
    client_->send("at+vrx\r");
    ASSERT_EQ(client_->readUntil(kConnect), kConnect);
  }
}

TEST_F(StreamTest, ClosingAndReopeningAtOnceStillResets) {
  startModem("conexant");
  echoOff();
  client_->close();
  client_ = std::make_unique<PtyClient>(modem_->slavePath());
  EXPECT_EQ(client_->command("AT"), "AT\r\r\nOK\r\n");
  EXPECT_EQ(modem_->status().resets, 1);
}

TEST_F(StreamTest, UnplugInTheMiddleOfAStreamRemovesTheDeviceOnceAllSentIsRead) {
  Options options;
  options.linkPath = ::testing::TempDir() + "/vmodem-unplug-" + std::to_string(::getpid());
  options.faults.unplugAfterSeconds = 0.2;
  startModem(options);
  ASSERT_EQ(::access(options.linkPath.c_str(), F_OK), 0);
  const std::string first = startReceiving();
  const std::string rest = first + client_->readFor(kAnswerTimeout);  // ends when it goes
  EXPECT_TRUE(client_->gone());
  EXPECT_TRUE(modem_->waitFor([](const ModemStatus& s) { return s.state == ModemState::Unplugged; },
                              kAnswerTimeout));
  EXPECT_NE(::access(options.linkPath.c_str(), F_OK), 0);
  // The quiet moment before the end lets every byte sent reach the computer.
  EXPECT_GT(rest.size(), 0u);
  EXPECT_EQ(kConnect + rest, modem_->streamed());
}

TEST_F(StreamTest, ReplugBringsANewDeviceBehindTheSameLinkInItsPowerOnState) {
  Options options;
  options.linkPath = ::testing::TempDir() + "/vmodem-replug-" + std::to_string(::getpid());
  options.faults.replugAfterSeconds = 0.3;
  startModem(options);
  echoOff();
  const std::string first = modem_->slavePath();
  modem_->unplug();
  client_->readFor(kAnswerTimeout);
  EXPECT_TRUE(client_->gone());
  ASSERT_TRUE(modem_->waitFor([](const ModemStatus& s) { return s.replugs == 1; }, kAnswerTimeout));
  EXPECT_NE(modem_->slavePath(), first);
  char target[256] = {};
  ASSERT_GT(::readlink(options.linkPath.c_str(), target, sizeof target - 1), 0);
  EXPECT_EQ(std::string(target), modem_->slavePath());
  client_ = std::make_unique<PtyClient>(options.linkPath);
  EXPECT_EQ(client_->command("AT"), "AT\r\r\nOK\r\n");  // echo on again: power-on state
  EXPECT_EQ(modem_->status().state, ModemState::Command);
}

}  // namespace
}  // namespace vmodem::test
