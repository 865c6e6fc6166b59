// An incoming call on the virtual modem's line: the rings, the caller ID only after
// +VCID=1, the end of the ringing when the modem takes the line; and the far end's
// hang-up during +VRX.
#include <thread>

#include "ModemFixture.h"
#include "vmodem/CommandLine.h"

namespace vmodem::test {
namespace {

const std::string kRing = "\r\nRING\r\n";
const std::string kConnect = "\r\nCONNECT\r\n";
const std::string kDialTone = std::string(1, '\x10') + 'd';

Options Ringing(double periodSeconds = 0.4, int rings = 3) {
  Options o;
  o.ring.atSeconds = 0.3;
  o.ring.periodSeconds = periodSeconds;
  o.ring.rings = rings;
  o.ring.number = "5551234";
  o.ring.name = "JOHN DOE";
  return o;
}

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class CallTest : public ModemTest {};

TEST_F(CallTest, RingsWithoutCallerIdUntilTheModemIsToldToReportIt) {
  startModem(Ringing());
  echoOff();
  const std::string heard = client_->readFor(2s);
  EXPECT_EQ(Count(heard, kRing), 3u) << printable(heard);
  EXPECT_EQ(heard.find("NMBR"), std::string::npos);
  EXPECT_EQ(modem_->status().rings, 3);
  EXPECT_EQ(modem_->status().callerIds, 0);
}

TEST_F(CallTest, WithCallerIdOnTheCallerComesBetweenTheFirstTwoRings) {
  startModem(Ringing());
  echoOff();
  // In data mode, as the program sets it at start.
  ASSERT_EQ(client_->command("at+vcid=1"), "\r\nOK\r\n");
  const std::string heard = client_->readFor(2s);
  const size_t first = heard.find(kRing);
  const size_t number = heard.find("\r\nNMBR = 5551234\r\n");
  ASSERT_NE(first, std::string::npos) << printable(heard);
  ASSERT_NE(number, std::string::npos) << printable(heard);
  EXPECT_LT(first, number);
  EXPECT_NE(heard.find(kRing, number), std::string::npos);
  EXPECT_NE(heard.find("NAME = JOHN DOE\r\n"), std::string::npos);
  const size_t date = heard.find("\r\nDATE = ");
  ASSERT_NE(date, std::string::npos);
  EXPECT_LT(date, heard.find("TIME = "));
  EXPECT_EQ(heard.substr(date + 9, 4).find_first_not_of("0123456789"), std::string::npos);
  EXPECT_EQ(modem_->status().callerIds, 1);
}

TEST_F(CallTest, AWithheldCallerWithoutANameSendsTheNumberLineAlone) {
  Options o = Ringing();
  o.ring.number = "P";
  o.ring.name.clear();
  startModem(o);
  echoOff();
  ASSERT_EQ(client_->command("at+vcid=1"), "\r\nOK\r\n");
  const std::string heard = client_->readFor(2s);
  EXPECT_NE(heard.find("\r\nNMBR = P\r\n"), std::string::npos) << printable(heard);
  EXPECT_EQ(heard.find("NAME"), std::string::npos);
}

TEST_F(CallTest, TakingTheLineEndsTheRinging) {
  startModem(Ringing(0.3, 20));
  echoOff();
  ASSERT_EQ(client_->command("at+fclass=8"), "\r\nOK\r\n");
  ASSERT_NE(client_->readUntil(kRing).find(kRing), std::string::npos);
  client_->send("at+vls=1\r");
  client_->readUntil("OK\r\n");
  const long rings = modem_->status().rings;
  const std::string after = client_->readFor(1s);
  EXPECT_EQ(after.find("RING"), std::string::npos) << printable(after);
  EXPECT_EQ(modem_->status().rings, rings);
}

TEST_F(CallTest, ALineTakenBeforeTheCallComesDoesNotStopIt) {
  Options o = Ringing(0.2, 3);
  o.ring.atSeconds = 0.6;
  startModem(o);
  echoOff();
  ASSERT_EQ(client_->command("at+fclass=8"), "\r\nOK\r\n");
  ASSERT_EQ(client_->command("at+vls=1"), "\r\nOK\r\n");
  ASSERT_EQ(client_->command("at+vls=0"), "\r\nOK\r\n");
  ASSERT_EQ(modem_->status().rings, 0);
  EXPECT_EQ(Count(client_->readFor(1500ms), kRing), 3u);
}

TEST_F(CallTest, RingsInPiecesWithTheSplitFault) {
  Options o = Ringing();
  o.faults.splitBytes = 1;
  o.faults.splitGapMs = 5;
  startModem(o);
  const std::string heard = client_->readFor(2s);
  EXPECT_GE(Count(heard, kRing), 2u) << printable(heard);
}

TEST_F(CallTest, ARingComesAheadOfADelayedAnswerButNeverInsideOne) {
  Options o = Ringing(0.05, 100);
  startModem(o);
  echoOff();
  ASSERT_TRUE(modem_->waitFor([](const ModemStatus& s) { return s.rings >= 1; }, kAnswerTimeout));
  Faults slow;
  slow.delayMs = 500;  // some ten rings while the modem thinks
  slow.splitBytes = 1;
  slow.splitGapMs = 10;  // the answer's pieces take some 60 ms
  modem_->setFaults(slow);
  client_->send("ATI3\r");
  const std::string heard = client_->readUntil("\r\nOK\r\n");
  const size_t answer = heard.find("\r\nCX93001");
  ASSERT_NE(answer, std::string::npos) << printable(heard);
  EXPECT_NE(heard.rfind(kRing, answer), std::string::npos) << printable(heard);
  // The information line and the result come whole, one after the other.
  EXPECT_EQ(heard.substr(answer), "\r\nCX93001-EIS_V0.2013-V92\r\n\r\nOK\r\n") << printable(heard);
}

TEST_F(CallTest, TheFarEndHangsUpWithOneDialToneCodeThenSilence) {
  Options o;
  o.line.kind = LineOptions::Kind::Pattern;
  o.line.pattern = std::string("\x10\x22", 2);
  o.line.hangupAfterSeconds = 0.25;
  startModem(o);
  echoOff();
  ASSERT_EQ(client_->command("at+fclass=8"), "\r\nOK\r\n");
  ASSERT_EQ(client_->command("at+vsm=1,8000"), "\r\nOK\r\n");
  ASSERT_EQ(client_->command("at+vls=1"), "\r\nOK\r\n");
  client_->send("at+vrx\r");
  std::string data = client_->readUntil(kConnect);
  ASSERT_EQ(data.substr(0, kConnect.size()), kConnect);
  data = data.substr(kConnect.size()) + client_->readBytes(8000);
  // 0.25 s at 8000/s: 2000 samples of the pattern, each DLE doubled on the wire.
  const size_t code = data.find("\x22" + kDialTone);
  ASSERT_NE(code, std::string::npos);
  EXPECT_EQ(code, 2999u);
  EXPECT_EQ(Count(data, kDialTone), 1u);
  const std::string after = data.substr(code + 3);
  ASSERT_GT(after.size(), 1000u);
  EXPECT_EQ(after.find_first_not_of('\x80'), std::string::npos);
  EXPECT_TRUE(modem_->status().hungUp);
}

TEST_F(CallTest, AHangUpWithoutACodeIsSilenceAlone) {
  Options o;
  o.line.kind = LineOptions::Kind::Tone;
  o.line.hangupAfterSeconds = 0.1;
  o.line.hangupCode = 0;
  startModem(o);
  echoOff();
  ASSERT_EQ(client_->command("at+fclass=8"), "\r\nOK\r\n");
  ASSERT_EQ(client_->command("at+vsm=0,8000"), "\r\nOK\r\n");  // signed: silence is 0x00
  ASSERT_EQ(client_->command("at+vls=1"), "\r\nOK\r\n");
  client_->send("at+vrx\r");
  std::string data = client_->readUntil(kConnect);
  data = data.substr(kConnect.size()) + client_->readBytes(4000);
  ASSERT_GE(data.size(), 4000u);
  EXPECT_EQ(data.substr(900, 2000).find_first_not_of('\0'), std::string::npos);
  EXPECT_NE(data.substr(0, 700).find_first_not_of('\0'), std::string::npos);
}

TEST_F(CallTest, CallAfterCallEachWithItsOwnCallerAndABusyLineRingsNot) {
  Options o = Ringing(0.2, 2);  // the first at 0.3 s
  o.ring.moreAtSeconds = {1.1, 1.9, 2.7};
  o.ring.moreCallers = {{"P", ""}, {"O", ""}};
  startModem(o);
  echoOff();
  ASSERT_EQ(client_->command("at+vcid=1"), "\r\nOK\r\n");
  const std::string first = client_->readFor(750ms);
  EXPECT_EQ(Count(first, kRing), 2u) << printable(first);
  EXPECT_NE(first.find("NMBR = 5551234\r\nNAME = JOHN DOE\r\n"), std::string::npos);
  const std::string second = client_->readFor(800ms);
  EXPECT_EQ(Count(second, kRing), 2u) << printable(second);
  EXPECT_NE(second.find("\r\nNMBR = P\r\n"), std::string::npos) << printable(second);
  EXPECT_EQ(second.find("NAME"), std::string::npos);
  // The third call comes while the modem has the line: busy, so it never rings.
  ASSERT_EQ(client_->command("at+fclass=8"), "\r\nOK\r\n");
  ASSERT_EQ(client_->command("at+vls=1"), "\r\nOK\r\n");
  EXPECT_EQ(client_->readFor(800ms).find("RING"), std::string::npos);
  ASSERT_EQ(client_->command("at+vls=0"), "\r\nOK\r\n");
  // The fourth, and every call after the list of callers, is the last caller's.
  const std::string fourth = client_->readFor(800ms);
  EXPECT_EQ(Count(fourth, kRing), 2u) << printable(fourth);
  EXPECT_NE(fourth.find("\r\nNMBR = O\r\n"), std::string::npos) << printable(fourth);
  EXPECT_EQ(modem_->status().callerIds, 3);
}

TEST_F(CallTest, ARingWhileThePortIsClosedIsHeardByNobody) {
  Options o = Ringing(0.3, 8);
  o.ring.atSeconds = 0.6;
  startModem(o);
  client_->close();
  ASSERT_TRUE(modem_->waitFor([](const ModemStatus& s) { return !s.portOpen; }, kAnswerTimeout));
  std::this_thread::sleep_for(1200ms);  // the first rings and the caller ID
  EXPECT_EQ(modem_->status().rings, 0);
  EXPECT_EQ(modem_->status().callerIds, 0);
  client_ = std::make_unique<PtyClient>(modem_->slavePath());
  const std::string heard = client_->readFor(1000ms);
  EXPECT_GE(Count(heard, kRing), 2u) << printable(heard);
  EXPECT_EQ(modem_->status().rings, static_cast<long>(Count(heard, kRing)));
}

TEST_F(CallTest, AModemThatResetsCallerIdOnCloseHangsUpForgetsItAndItsEchoAndKeepsTheRest) {
  Options o;
  o.vcidResetOnClose = true;
  startModem(o);
  echoOff();
  ASSERT_EQ(client_->command("at+fclass=8"), "\r\nOK\r\n");
  ASSERT_EQ(client_->command("at+vgr=200"), "\r\nOK\r\n");
  ASSERT_EQ(client_->command("at+vls=1"), "\r\nOK\r\n");
  ASSERT_EQ(client_->command("at+vcid=1"), "\r\nOK\r\n");
  const long closes = modem_->status().closes;
  client_->close();
  ASSERT_TRUE(modem_->waitFor([closes](const ModemStatus& s) { return s.closes > closes; },
                              kAnswerTimeout));
  EXPECT_EQ(modem_->status().resets, 0);  // no return to the power-on state
  client_ = std::make_unique<PtyClient>(modem_->slavePath());
  EXPECT_TRUE(modem_->status().echo);
  EXPECT_EQ(modem_->status().fclass, "8");
  EXPECT_EQ(modem_->status().line, 0);  // on the hook again
  EXPECT_EQ(client_->command("at+vcid?"), "at+vcid?\r\r\n0\r\n\r\nOK\r\n");
  EXPECT_EQ(client_->command("at+vgr?"), "at+vgr?\r\r\n200\r\n\r\nOK\r\n");
}

TEST_F(CallTest, ACallAskedForRingsAtOnceAndAgainUntilTheRingsRunOut) {
  Options o = Ringing(0.3, 3);
  o.ring.atSeconds = -1;  // no call of its own
  o.ring.moreCallers = {{"P", ""}};
  startModem(o);
  echoOff();
  ASSERT_EQ(client_->command("at+vcid=1"), "\r\nOK\r\n");
  EXPECT_EQ(client_->readFor(400ms).find("RING"), std::string::npos);
  EXPECT_FALSE(modem_->status().ringing);
  for (int call = 1; call <= 2; ++call) {
    modem_->ring();
    ASSERT_NE(client_->readUntil(kRing).find(kRing), std::string::npos) << "call " << call;
    EXPECT_TRUE(modem_->status().ringing);
    const std::string rest = client_->readFor(900ms);
    EXPECT_EQ(Count(rest, kRing), 2u) << printable(rest);
    // Each call asked for takes the next caller of the list.
    EXPECT_NE(rest.find(call == 1 ? "NMBR = 5551234" : "NMBR = P\r\n"), std::string::npos)
        << printable(rest);
    EXPECT_FALSE(modem_->status().ringing);
  }
  EXPECT_EQ(modem_->status().rings, 6);
  EXPECT_EQ(modem_->status().callerIds, 2);
  // A call asked for while the modem has the line finds it busy.
  ASSERT_EQ(client_->command("at+fclass=8"), "\r\nOK\r\n");
  ASSERT_EQ(client_->command("at+vls=1"), "\r\nOK\r\n");
  modem_->ring();
  EXPECT_EQ(client_->readFor(400ms).find("RING"), std::string::npos);
  EXPECT_FALSE(modem_->status().ringing);
  EXPECT_EQ(modem_->status().rings, 6);
}

TEST_F(CallTest, ACallAskedForTakesItsPlaceAmongTheCallsOfTheList) {
  Options o = Ringing(0.2, 1);  // the first at 0.3 s
  o.ring.moreAtSeconds = {1.5};
  o.ring.moreCallers = {{"P", ""}, {"O", ""}};
  startModem(o);
  echoOff();
  ASSERT_EQ(client_->command("at+vcid=1"), "\r\nOK\r\n");
  const std::string first = client_->readFor(700ms);
  EXPECT_NE(first.find("NMBR = 5551234"), std::string::npos) << printable(first);
  modem_->ring();  // between the two calls of the list: the second caller's
  const std::string asked = client_->readFor(500ms);
  EXPECT_EQ(Count(asked, kRing), 1u) << printable(asked);
  EXPECT_NE(asked.find("NMBR = P\r\n"), std::string::npos) << printable(asked);
  const std::string last = client_->readFor(1000ms);
  EXPECT_EQ(Count(last, kRing), 1u) << printable(last);
  EXPECT_NE(last.find("NMBR = O\r\n"), std::string::npos) << printable(last);
  EXPECT_EQ(modem_->status().callerIds, 3);
}

TEST_F(CallTest, TheFarEndHangsUpWhenToldAndTheMarksSayWhenTheStreamWentOut) {
  Options o;
  o.line.kind = LineOptions::Kind::Pattern;
  o.line.pattern = "\x22";
  startModem(o);
  echoOff();
  ASSERT_EQ(client_->command("at+fclass=8"), "\r\nOK\r\n");
  ASSERT_EQ(client_->command("at+vsm=1,8000"), "\r\nOK\r\n");
  ASSERT_EQ(client_->command("at+vls=1"), "\r\nOK\r\n");
  modem_->hangUp();  // outside a stream: nothing to hang up
  const auto began = VirtualModem::Clock::now();
  client_->send("at+vrx\r");
  std::string data = client_->readBytes(2400);
  EXPECT_EQ(data.find(kDialTone), std::string::npos);
  modem_->hangUp();
  data += client_->readBytes(2400);
  const size_t code = data.find(kDialTone);
  ASSERT_NE(code, std::string::npos);
  EXPECT_GE(code, 2400u);
  EXPECT_EQ(Count(data, kDialTone), 1u);
  EXPECT_EQ(data.find_first_not_of('\x80', code + 2), std::string::npos);
  EXPECT_TRUE(modem_->status().hungUp);

  const std::vector<VirtualModem::StreamMark> marks = modem_->streamMarks();
  const std::string sent = modem_->streamed();
  ASSERT_FALSE(marks.empty());
  EXPECT_EQ(marks.back().bytes, sent.size());
  EXPECT_GE(sent.size(), data.size());
  EXPECT_GE(marks.front().at, began);
  for (size_t i = 1; i < marks.size(); ++i) {
    EXPECT_GT(marks[i].bytes, marks[i - 1].bytes);
    EXPECT_GE(marks[i].at, marks[i - 1].at);
  }
  // Paced at 8000 samples a second: 4800 bytes take some 0.6 s.
  EXPECT_GT(marks.back().at - marks.front().at, 400ms);
}

TEST(CallOptionsTest, TheCallAndHangUpOptionsAreParsed) {
  const CommandLine cl =
      parseCommandLine({"--ring-at", "2.5", "--caller", "0123,ANNA B, JR", "--rings", "4",
                        "--hangup-after", "7", "--hangup-code", "b"});
  ASSERT_TRUE(cl.error.empty()) << cl.error;
  EXPECT_EQ(cl.options.ring.atSeconds, 2.5);
  EXPECT_EQ(cl.options.ring.number, "0123");
  EXPECT_EQ(cl.options.ring.name, "ANNA B, JR");
  EXPECT_EQ(cl.options.ring.rings, 4);
  EXPECT_EQ(cl.options.line.hangupAfterSeconds, 7.0);
  EXPECT_EQ(cl.options.line.hangupCode, 'b');
  EXPECT_EQ(parseCommandLine({"--hangup-code", "none"}).options.line.hangupCode, 0);
  EXPECT_EQ(parseCommandLine({"--caller", "5551234"}).options.ring.name, "");
  const CommandLine calls = parseCommandLine(
      {"--ring-at", "25,3,40", "--caller", "5551234,JOHN DOE;P;O", "--vcid-reset-on-close"});
  ASSERT_TRUE(calls.error.empty()) << calls.error;
  EXPECT_EQ(calls.options.ring.atSeconds, 3.0);
  EXPECT_EQ(calls.options.ring.moreAtSeconds, (std::vector<double>{25.0, 40.0}));
  EXPECT_EQ(calls.options.ring.number, "5551234");
  EXPECT_EQ(calls.options.ring.name, "JOHN DOE");
  ASSERT_EQ(calls.options.ring.moreCallers.size(), 2u);
  EXPECT_EQ(calls.options.ring.moreCallers[0].number, "P");
  EXPECT_EQ(calls.options.ring.moreCallers[1].number, "O");
  EXPECT_EQ(calls.options.ring.moreCallers[1].name, "");
  EXPECT_TRUE(calls.options.vcidResetOnClose);
  EXPECT_FALSE(parseCommandLine({}).options.vcidResetOnClose);
  const CommandLine fast = parseCommandLine({"--ring-period", "0.5", "--varied-calls"});
  ASSERT_TRUE(fast.error.empty()) << fast.error;
  EXPECT_EQ(fast.options.ring.periodSeconds, 0.5);
  EXPECT_TRUE(fast.options.line.variedCalls);
  EXPECT_FALSE(parseCommandLine({}).options.line.variedCalls);
  for (const std::vector<std::string>& bad : {std::vector<std::string>{"--caller", ",NAME"},
                                              {"--rings", "0"},
                                              {"--ring-at", "-1"},
                                              {"--ring-at", "1e300"},
                                              {"--ring-at", "3,"},
                                              {"--ring-at", "3,x"},
                                              {"--caller", "5551234;"},
                                              {"--caller", "P;,NAME"},
                                              {"--ring-period", "0"},
                                              {"--hangup-code", "dd"},
                                              {"--hangup-after", "x"}}) {
    EXPECT_FALSE(parseCommandLine(bad).error.empty()) << bad[0] << " " << bad[1];
  }
}

}  // namespace
}  // namespace vmodem::test
