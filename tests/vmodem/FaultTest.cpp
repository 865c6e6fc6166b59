// Misbehaviour on demand, and the logs a test can compare against.
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>

#include "ModemFixture.h"
#include "vmodem/Transcript.h"

namespace vmodem::test {
namespace {

std::string tempPath(const std::string& name) {
  return ::testing::TempDir() + "/vmodem-" + name + "-" + std::to_string(::getpid());
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The writes of the modem in the transcript, in printable form.
std::vector<std::string> sentChunks(const std::string& transcript) {
  std::vector<std::string> chunks;
  std::istringstream in(transcript);
  std::string line;
  while (std::getline(in, line)) {
    const auto mark = line.find(" > ");
    if (mark != std::string::npos) chunks.push_back(line.substr(mark + 3));
  }
  return chunks;
}

class FaultTest : public ModemTest {};

TEST_F(FaultTest, SplitAnswersGoOutInChunks) {
  Options options;
  options.transcriptPath = tempPath("split.log");
  options.faults.splitBytes = 4;
  options.faults.splitGapMs = 5;
  startModem(options);
  echoOff();
  EXPECT_EQ(client_->command("AT+GMI?"), "\r\nCONEXANT\r\n\r\nOK\r\n");
  // One more exchange: the modem logs a write before it reads the next command.
  EXPECT_EQ(client_->command("AT"), "\r\nOK\r\n");
  const auto chunks = sentChunks(readFile(options.transcriptPath));
  const std::vector<std::string> split{"\\r\\nCO", "NEXA", "NT\\r\\n", "\\r\\nOK", "\\r\\n"};
  EXPECT_NE(std::search(chunks.begin(), chunks.end(), split.begin(), split.end()), chunks.end());
  ::unlink(options.transcriptPath.c_str());
}

TEST_F(FaultTest, SplitSizesAndGapsDrawnFromRanges) {
  Options options;
  options.transcriptPath = tempPath("ranges.log");
  options.faults.splitBytes = 1;
  options.faults.splitBytesMax = 7;
  options.faults.splitGapMs = 1;  // never 0: each piece is a write of its own
  options.faults.splitGapMaxMs = 3;
  startModem(options);
  echoOff();
  ASSERT_EQ(client_->command("AT+FCLASS=8"), "\r\nOK\r\n");
  const std::string lines = client_->command("AT+VLS=?");
  EXPECT_EQ(client_->command("AT"), "\r\nOK\r\n");
  std::string joined;
  std::vector<size_t> sizes;
  for (const std::string& chunk : sentChunks(readFile(options.transcriptPath))) {
    std::string bytes;
    for (size_t i = 0; i < chunk.size(); ++i) {
      if (chunk[i] == '\\' && i + 1 < chunk.size()) {
        const char c = chunk[++i];
        bytes += c == 'r' ? '\r' : c == 'n' ? '\n' : c;
      } else {
        bytes += chunk[i];
      }
    }
    sizes.push_back(bytes.size());
    joined += bytes;
  }
  EXPECT_NE(joined.find(lines), std::string::npos);
  ASSERT_GT(sizes.size(), 20u);
  EXPECT_LE(*std::max_element(sizes.begin(), sizes.end()), 7u);
  EXPECT_GT(std::set<size_t>(sizes.begin(), sizes.end()).size(), 3u);  // drawn, not fixed
  ::unlink(options.transcriptPath.c_str());
}

TEST_F(FaultTest, SlowModemSendsTheLastLineOfARangeAnswerLate) {
  Options options;
  options.profile = "lucent";
  options.transcriptPath = tempPath("lastline.log");
  startModem(options);
  echoOff();
  ASSERT_EQ(client_->command("AT+FCLASS=8"), "\r\nOK\r\n");
  const std::string lines = client_->command("AT+VLS=?");
  const std::string tail = "\r\n7,\"MST\",00000000,00000000,00000000\r\n\r\nOK\r\n";
  ASSERT_GE(lines.size(), tail.size());
  EXPECT_EQ(lines.substr(lines.size() - tail.size()), tail);
  EXPECT_EQ(client_->command("AT"), "\r\nOK\r\n");
  const auto chunks = sentChunks(readFile(options.transcriptPath));
  // The last line is a write of its own, after the others.
  EXPECT_NE(std::find(chunks.begin(), chunks.end(),
                      "7,\"MST\",00000000,00000000,00000000\\r\\n\\r\\nOK\\r\\n"),
            chunks.end());
  ::unlink(options.transcriptPath.c_str());
}

TEST_F(FaultTest, DelayAndGarbageComeBeforeTheAnswer) {
  Options options;
  options.faults.delayMs = 50;
  options.faults.garbageBytes = 6;
  startModem(options);
  client_->send("ATE0\r");
  const std::string answer = client_->readAnswer();
  ASSERT_EQ(answer.size(), 6u + 5u + 6u);
  EXPECT_EQ(answer.substr(0, 5), "ATE0\r");
  EXPECT_EQ(answer.substr(5, 6).find_first_not_of("#%&*~^$@!?{}[]|"), std::string::npos);
  EXPECT_EQ(answer.substr(11), "\r\nOK\r\n");
  // Faults can change while the modem runs.
  modem_->setFaults({});
  EXPECT_EQ(client_->command("AT"), "\r\nOK\r\n");
}

TEST_F(FaultTest, ManualUnplugClosesTheDevice) {
  startModem("conexant");
  echoOff();
  modem_->unplug();
  ASSERT_TRUE(modem_->waitFor([](const ModemStatus& s) { return s.state == ModemState::Unplugged; },
                              kAnswerTimeout));
  client_->readFor(kAnswerTimeout);
  EXPECT_TRUE(client_->gone());
}

TEST_F(FaultTest, CaptureFileAndTranscriptHoldTheStreamExactly) {
  Options options;
  options.capturePath = tempPath("capture.raw");
  options.transcriptPath = tempPath("stream.log");
  options.line.events = {{'b', 0.05}};
  startModem(options);
  echoOff();
  ASSERT_EQ(client_->command("at+fclass=8"), "\r\nOK\r\n");
  client_->send("at+vrx\r");
  std::string received = client_->readBytes(2000);
  client_->send("\x10!");
  received += client_->readUntil("\x10\x03\r\nOK\r\n");
  ASSERT_TRUE(modem_->waitFor(
      [&](const ModemStatus& s) { return s.streamedBytes >= received.size(); }, kAnswerTimeout));
  EXPECT_EQ(readFile(options.capturePath), received);
  // The busy event came as <DLE>b, not doubled, once the line had run 50 ms.
  std::string events;
  size_t busy = 0;
  for (size_t i = 11; i + 1 < received.size(); ++i) {
    if (received[i] != '\x10') continue;
    if (received[i + 1] != '\x10') {
      events += received[i + 1];
      if (received[i + 1] == 'b') busy = i;
    }
    ++i;
  }
  EXPECT_EQ(events, "b\x03");
  EXPECT_GE(busy, 11u + 400u);
  std::string sent;
  for (const auto& c : sentChunks(readFile(options.transcriptPath))) sent += c;
  EXPECT_NE(sent.find(printable(received.substr(0, 200))), std::string::npos);
  ::unlink(options.capturePath.c_str());
  ::unlink(options.transcriptPath.c_str());
}

TEST_F(FaultTest, TransmitTakesDataUntilDleEtx) {
  startModem("conexant");
  echoOff();
  ASSERT_EQ(client_->command("at+fclass=8"), "\r\nOK\r\n");
  EXPECT_EQ(client_->command("at+vtx"), "\r\nCONNECT\r\n");
  client_->send(std::string("\x80\x81\x10\x10\x7f", 5));
  EXPECT_EQ(client_->readFor(50ms), "");
  client_->send("\x10\x03");
  EXPECT_EQ(client_->readAnswer(), "\r\nOK\r\n");
  EXPECT_EQ(client_->command("AT"), "\r\nOK\r\n");
}

TEST_F(FaultTest, LinkIsMadeAndRemovedAndNeverReplacesAFile) {
  Options options;
  options.linkPath = tempPath("ttyV0");
  {
    startModem(options);
    char target[256] = {};
    ASSERT_GT(::readlink(options.linkPath.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target), modem_->slavePath());
    // A second modem on the same link takes it over from the stale first.
    client_.reset();
    modem_.reset();
    EXPECT_NE(::access(options.linkPath.c_str(), F_OK), 0);
  }
  { std::ofstream(options.linkPath) << "precious"; }
  EXPECT_THROW(VirtualModem m(options), std::system_error);
  EXPECT_EQ(readFile(options.linkPath), "precious");
  ::unlink(options.linkPath.c_str());
}

}  // namespace
}  // namespace vmodem::test
