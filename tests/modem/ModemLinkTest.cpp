// The command channel: answers, time-outs, answer limits, the guard wait and the port
// events, against a test modem on a pseudo-terminal.
#include <gtest/gtest.h>

#include <QTimer>
#include <memory>

#include "modem/ModemF.h"
#include "modem/MonitorForm.h"
#include "serial/PortMap.h"
#include "setup/Dialogs.h"
#include "setup/ScriptedModem.h"
#include "vmodem/VirtualModem.h"

using testmodem::Chunk;
using testmodem::Chunks;
using testmodem::ScriptedModem;

namespace {

class ModemLink : public ::testing::Test {
 protected:
  void TearDown() override {
    if (link && link->ComPort1.Open()) link->ComPort1.SetOpen(false);
    SetPortPathSource(nullptr);
    SetDialogHooks({});
  }

  // Opens the link on COM1, served by a scripted modem.
  void Start(testmodem::Script script) {
    modem = std::make_unique<ScriptedModem>(std::move(script));
    const std::string path = modem->SlavePath();
    SetPortPathSource([path](int n) -> std::optional<std::string> {
      if (n == 1) return path;
      return std::string("/nonexistent/tavrin-com") + std::to_string(n);
    });
    link->OnStatusText = [this](const QString& s) { status << s; };
    link->ComPort1.SetComNumber(1);
    link->ComPort1.SetOpen(true);
    ASSERT_TRUE(link->PortIsOpen);
  }

  TMonitorForm monitor;
  std::unique_ptr<TModemF> link = std::make_unique<TModemF>(&monitor);
  std::unique_ptr<ScriptedModem> modem;
  QStringList status;
};

}  // namespace

TEST_F(ModemLink, CreatedWithLineRateAndDefaults) {
  EXPECT_EQ(link->BaudRate, 115200);
  EXPECT_EQ(link->TimeoutFactor, 500);
  EXPECT_FALSE(link->EchoToSpecMemo);
  EXPECT_FALSE(link->PortIsOpen);
  EXPECT_EQ(link->ComPort1.Baud(), 115200);
  EXPECT_FALSE(link->ComPort1.AutoOpen());
  EXPECT_EQ(link->ComPort1.TapiMode(), tmNone);
  EXPECT_EQ(link->Timer1.Interval(), 10u);
  EXPECT_FALSE(link->Timer1.Enabled());
  // A rate outside the table leaves BaudRate as it was.
  link->ComPort1.SetBaud(12345);
  link->FormCreate();
  EXPECT_EQ(link->BaudRate, 115200);
  link->ComPort1.SetBaud(57600);
  link->FormCreate();
  EXPECT_EQ(link->BaudRate, 57600);
}

TEST_F(ModemLink, OpenAndCloseShowInMonitorAndStatusBar) {
  Start([](const std::string&) { return std::vector<Chunk>{}; });
  link->ComPort1.SetOpen(false);
  EXPECT_FALSE(link->PortIsOpen);
  EXPECT_EQ(monitor.Lines(), QStringList({"Com port opened...", "Com port closed..."}));
  EXPECT_EQ(status, QStringList({" Modem on", " Modem off"}));
}

TEST_F(ModemLink, BlankChunkIsSkippedAndOkAloneIsAnEmptyAnswer) {
  Start([](const std::string&) { return Chunks({"\r\n", "OK\r\n"}); });
  QByteArray answer = "unchanged";
  EXPECT_EQ(link->SendAndRead("AT", answer), kExchangeOk);
  EXPECT_EQ(answer, QByteArray());
  EXPECT_EQ(link->SendAndExpect("AT", QStringLiteral("probe.."), QStringLiteral("ok")),
            kExchangeOk);
  EXPECT_EQ(monitor.Lines().mid(1), QStringList({"probe..", "", "OK", ""}));
  EXPECT_EQ(modem->Commands(), std::vector<std::string>({"AT", "AT"}));
}

TEST_F(ModemLink, ReadDeletesFirstLowerAndFirstUpperOkOnly) {
  Start([](const std::string& c) {
    if (c == "A1") return Chunks({"\r\nlook book\r\n\r\nOK\r\n"});
    return Chunks({"\r\nOk OK ok\r\n"});
  });
  QByteArray answer;
  ASSERT_EQ(link->SendAndRead("A1", answer), kExchangeOk);
  EXPECT_EQ(answer, QByteArray("lo book"));
  // No final result: the answer is what came until the limit passed without more.
  link->TimeoutFactor = 30;
  ASSERT_EQ(link->SendAndRead("A2", answer), kExchangeOk);
  EXPECT_EQ(answer, QByteArray("Ok"));  // "Ok" stays; the next "OK" and "ok" go, then a trim
}

TEST_F(ModemLink, ReplyInPiecesIsReadWholeUpToItsFinalResult) {
  Start([](const std::string& c) {
    if (c == "AT+GMM?") return Chunks({"\r\nCX930", "01\r", "\n\r\nO", "K\r\n"}, 20);
    if (c == "AT+VSM=?") return Chunks({"\r\n0,\"A\"\r\n", "1,\"B\"\r\n\r\nOK\r\n"}, 20);
    return Chunks({"\r\n", "ERR", "OR\r\n"}, 20);
  });
  QByteArray answer;
  ASSERT_EQ(link->SendAndRead("AT+GMM?", answer), kExchangeOk);
  EXPECT_EQ(answer, QByteArray("CX93001"));
  EXPECT_EQ(link->ReceivedText, QByteArray("K\r\n"));  // still the last chunk alone
  ASSERT_EQ(link->SendAndRead("AT+VSM=?", answer), kExchangeOk);
  EXPECT_EQ(answer, QByteArray("0,\"A\"\r\n1,\"B\""));
  ASSERT_EQ(link->SendAndRead("AT+FMM?", answer), kExchangeOk);
  EXPECT_EQ(answer, QByteArray("ERROR"));
}

TEST_F(ModemLink, ExpectedAnswerInPiecesMatchesInEveryFraming) {
  Start([](const std::string& c) {
    if (c == "A1") return Chunks({"\r", "\n", "O", "K", "\r", "\n"}, 10);
    if (c == "A2") return Chunks({"\n\r\nO", "K\r"}, 10);  // ESS framing
    if (c == "A3") return Chunks({"\r\n", "\r\n", "\r\nv", "con\r\n"}, 10);
    if (c == "A4") return Chunks({"\r\nER", "ROR\r\n"}, 10);
    return Chunks({"\r\nOK"}, 10);  // never ended
  });
  EXPECT_EQ(link->SendAndExpect("A1", QStringLiteral("one"), QStringLiteral("ok")), kExchangeOk);
  EXPECT_EQ(monitor.Lines().mid(1), QStringList({"one", "", "OK", ""}));  // as received
  EXPECT_EQ(link->SendAndExpect("A2", QString(), QStringLiteral("ok")), kExchangeOk);
  EXPECT_EQ(link->SendAndExpect("A3", QString(), QStringLiteral("VCON")), kExchangeOk);
  EXPECT_EQ(link->SendAndExpect("A4", QString(), QStringLiteral("ok")), kExchangeRefused);
  // A last line without its end is looked at when the limit has passed.
  link->TimeoutFactor = 30;
  EXPECT_EQ(link->SendAndExpect("A5", QString(), QStringLiteral("ok")), kExchangeOk);
  EXPECT_EQ(link->SendAndExpect("A5", QString(), QStringLiteral("vcon")), kExchangeTimeout);
}

TEST_F(ModemLink, LinesTakenOnTheirOwnAreNoPartOfAnyAnswerHoweverTheyCome) {
  Start([](const std::string& c) {
    // A ring and a caller ID block between an answer's lines, a break cut in two.
    if (c == "AT+VSM=?") {
      return Chunks({"\r\n0,\"A\"\r\n\r\nRI", "NG\r", "\n\r\nNMBR = 5551234\r\n1,\"B\"\r\n",
                     "\r\nOK\r\n"},
                    15);
    }
    if (c == "AT+E") return Chunks({"\n\r\nRING\r", "\n\r\nOK\r"}, 15);  // ESS framing
    // Rings before the answer and right behind it, in the same piece.
    return Chunks({"\r\nRING\r\n", "\r\nRING\r\n\r\nOK\r\n\r\nRING\r\n"}, 15);
  });
  QList<QByteArray> taken;
  link->OnUnsolicitedLine = [&](const QByteArray& line) {
    const bool mine = line == "RING" || line.startsWith("NMBR");
    if (mine) taken << line;
    return mine;
  };
  QByteArray answer;
  ASSERT_EQ(link->SendAndRead("AT+VSM=?", answer), kExchangeOk);
  EXPECT_EQ(answer, QByteArray("0,\"A\"\r\n1,\"B\""));
  EXPECT_EQ(taken, QList<QByteArray>({"RING", "NMBR = 5551234"}));
  EXPECT_EQ(link->SendAndExpect("AT", QStringLiteral("one"), QStringLiteral("OK")), kExchangeOk);
  EXPECT_EQ(monitor.Lines().mid(1), QStringList({"one", "", "OK", ""}));
  EXPECT_EQ(taken.size(), 5);  // the one behind the answer as well
  monitor.Clear();
  EXPECT_EQ(link->SendAndExpect("AT+E", QStringLiteral("ess"), QStringLiteral("OK")), kExchangeOk);
  EXPECT_EQ(monitor.Lines(), QStringList({"ess", "", "", "OK", ""}));
  EXPECT_EQ(taken.size(), 6);
  // Lines not taken are the answer's, as before.
  link->OnUnsolicitedLine = [](const QByteArray&) { return false; };
  ASSERT_EQ(link->SendAndRead("AT+VSM=?", answer), kExchangeOk);
  EXPECT_EQ(answer, QByteArray("0,\"A\"\r\n\r\nRING\r\n\r\nNMBR = 5551234\r\n1,\"B\""));
}

// A modem that reset when its port closed echoes the next command, and the telephone
// rings right after the echo: the echo is passed over, the ring taken away.
TEST_F(ModemLink, ARingAfterAnEchoIsTakenAndTheMonitorShowsTheAnswerAlone) {
  Start([](const std::string& c) { return Chunks({c + "\r", "\r\nRING\r\n", "\r\nOK\r\n"}, 10); });
  int taken = 0;
  link->OnUnsolicitedLine = [&](const QByteArray& line) { return line == "RING" && ++taken; };
  EXPECT_EQ(link->SendAndExpect("at+vcid=1", QStringLiteral("x"), QStringLiteral("OK")),
            kExchangeOk);
  EXPECT_EQ(monitor.EventLogBytes(), QByteArray("Com port opened...\r\nx\r\n\r\nOK\r\n\r\n"));
  EXPECT_EQ(taken, 1);
}

// A modem that reset when its port closed echoes the next command: the echo is a line
// passed over, and the monitor shows what came after it, however the chunks fell.
TEST_F(ModemLink, AnEchoedCommandIsPassedOverAndTheMonitorShowsTheAnswerAlone) {
  Start([](const std::string& c) {
    if (c == "A1") return Chunks({c + "\r\r\nOK\r\n"});
    if (c == "A2") return Chunks({c + "\r", "\r\nOK\r\n"}, 10);
    if (c == "A3") return Chunks({c + "\r\n", "\r\nOK\r\n"}, 10);
    if (c == "A4") return Chunks({c + "\r", "\n", "\n\r\nOK\r"}, 10);  // LF CR framing
    return Chunks({c + "\r\r\nERROR\r\n"});
  });
  for (const char* command : {"A1", "A2", "A3"}) {
    monitor.Clear();
    EXPECT_EQ(link->SendAndExpect(command, QStringLiteral("x"), QStringLiteral("OK")), kExchangeOk)
        << command;
    EXPECT_EQ(monitor.EventLogBytes(), QByteArray("x\r\n\r\nOK\r\n\r\n")) << command;
  }
  monitor.Clear();
  EXPECT_EQ(link->SendAndExpect("A4", QStringLiteral("x"), QStringLiteral("OK")), kExchangeOk);
  EXPECT_EQ(monitor.EventLogBytes(), QByteArray("x\r\n\n\r\nOK\r\r\n"));
  monitor.Clear();
  EXPECT_EQ(link->SendAndExpect("A5", QStringLiteral("x"), QStringLiteral("OK")),
            kExchangeRefused);
  EXPECT_EQ(monitor.EventLogBytes(), QByteArray("x\r\n\r\nERROR\r\n\r\n"));
}

TEST_F(ModemLink, ErrorAloneRefusesButErrorAfterTextIsSkipped) {
  Start([](const std::string& c) {
    if (c == "AT+X") return Chunks({"\r\nERROR\r\n"});
    if (c == "AT+Z") return Chunks({"\r\n+FOO: 1\r\nERROR\r\n"});
    return Chunks({"\r\n+FOO: 1 ERROR\r\n", "\r\nOK\r\n"});
  });
  EXPECT_EQ(link->SendAndExpect("AT+X", QString(), QStringLiteral("ok")), kExchangeRefused);
  EXPECT_EQ(monitor.Lines().mid(1), QStringList({"", "", "ERROR", ""}));
  monitor.Clear();
  EXPECT_EQ(link->SendAndExpect("AT+Y", QStringLiteral("y"), QStringLiteral("OK")), kExchangeOk);
  EXPECT_EQ(monitor.Lines(), QStringList({"y", "", "OK", ""}));  // the skipped line is not logged
  // An information line and ERROR on a line of its own: the modem refused. The line
  // before is passed over like any other answer that is not the expected one.
  monitor.Clear();
  EXPECT_EQ(link->SendAndExpect("AT+Z", QString(), QStringLiteral("ok")), kExchangeRefused);
  EXPECT_EQ(monitor.Lines(), QStringList({"", "ERROR", ""}));
}

TEST_F(ModemLink, EmptyExpectedAnswerMatchesOnlyABlankLine) {
  Start([](const std::string&) { return Chunks({"VCON\r\n", "\r\n"}); });
  EXPECT_EQ(link->SendAndExpect("AT", QString(), QString()), kExchangeOk);
  EXPECT_EQ(link->ReceivedText, QByteArray("\r\n"));
}

TEST_F(ModemLink, ExpectedWordAsNineteenthLineMatchesAsTwentiethRefuses) {
  Start([](const std::string& c) {
    const int others = c == "AT19" ? 18 : 19;
    std::vector<Chunk> chunks;
    for (int i = 0; i < others; ++i) chunks.push_back({"RING" + std::to_string(i) + "\r\n", 40});
    chunks.push_back({"\r\nOK\r\n", 40});
    return chunks;
  });
  EXPECT_EQ(link->SendAndExpect("AT19", QString(), QStringLiteral("ok")), kExchangeOk);
  monitor.Clear();
  EXPECT_EQ(link->SendAndExpect("AT20", QString(), QStringLiteral("ok")), kExchangeRefused);
  EXPECT_EQ(monitor.Lines(), QStringList({"", "", "OK", ""}));  // the 20th line is logged
}

TEST_F(ModemLink, LateChunkInTheGuardWaitIsNotTheNextAnswer) {
  Start([](const std::string& c) {
    if (c == "AT1") return std::vector<Chunk>{{"\r\nONE\r\n\r\nOK\r\n", 5}, {"\r\nLATE\r\n", 30}};
    return Chunks({"\r\nTWO\r\n\r\nOK\r\n"});
  });
  QByteArray answer;
  ASSERT_EQ(link->SendAndRead("AT1", answer), kExchangeOk);
  EXPECT_EQ(answer, QByteArray("ONE"));
  ASSERT_EQ(link->SendAndRead("AT2", answer), kExchangeOk);
  EXPECT_EQ(answer, QByteArray("TWO"));
}

TEST_F(ModemLink, NoAnswerTimesOutAfterTheLimitInTicks) {
  Start([](const std::string&) { return std::vector<Chunk>{}; });
  link->TimeoutFactor = 30;
  QByteArray answer = "kept";
  EXPECT_EQ(link->SendAndRead("AT", answer), kExchangeTimeout);
  EXPECT_EQ(answer, QByteArray("kept"));
  EXPECT_EQ(link->TickCount, 30);
  EXPECT_EQ(link->SendAndExpect("AT", QStringLiteral("x"), QStringLiteral("ok")), kExchangeTimeout);
  EXPECT_EQ(link->TickCount, 30);
  EXPECT_EQ(monitor.Lines().last(), "x");  // nothing more logged on a time-out
  EXPECT_FALSE(link->Timer1.Enabled());
  // Factor 0: the exchange ends after its first pass.
  link->TimeoutFactor = 0;
  EXPECT_EQ(link->SendAndExpect("AT", QString(), QStringLiteral("ok")), kExchangeTimeout);
  EXPECT_LE(link->TickCount, 1);
}

TEST_F(ModemLink, DefaultLimitIsFiveHundredTicks) {
  Start([](const std::string&) { return std::vector<Chunk>{}; });
  EXPECT_EQ(link->SendAndExpect("AT", QString(), QStringLiteral("ok")), kExchangeTimeout);
  EXPECT_EQ(link->TickCount, 500);
}

TEST_F(ModemLink, CommandThatDoesNotFitIsNotSent) {
  // Closed port: the free room is the configured output size.
  link->ComPort1.SetOutSize(7);
  EXPECT_EQ(link->SendAndExpect("ATDT123", QStringLiteral("dial"), QStringLiteral("ok")),
            kExchangeNotSent);
  QByteArray answer;
  EXPECT_EQ(link->SendAndRead("ATDT123", answer), kExchangeNotSent);
  EXPECT_TRUE(monitor.Lines().isEmpty());
  // One byte more room: it would be sent, and the closed port says so.
  link->ComPort1.SetOutSize(8);
  EXPECT_THROW(link->SendAndExpect("ATDT123", QString(), QStringLiteral("ok")), ECommNotOpen);
}

TEST_F(ModemLink, ReceivedChunksGoToTheSpecMemoAndTheVoiceSide) {
  Start([](const std::string&) { return Chunks({"\r\n1,\"T\"\r\n", "\r\nOK\r\n"}); });
  QList<QByteArray> echoed;
  QList<int> counts;
  link->OnSpecMemoEcho = [&](const QByteArray& chunk) { echoed << chunk; };
  link->OnVoiceData = [&](uint16_t count) {
    counts << count;
    return false;
  };
  link->EchoToSpecMemo = true;
  ASSERT_EQ(link->SendAndExpect("at+vls=?", QString(), QStringLiteral("ok")), kExchangeOk);
  EXPECT_EQ(echoed, QList<QByteArray>({"\r\n1,\"T\"\r\n", "\r\nOK\r\n"}));
  EXPECT_EQ(counts, QList<int>({9, 6}));
  link->EchoToSpecMemo = false;
  ASSERT_EQ(link->SendAndExpect("at+vls=?", QString(), QStringLiteral("ok")), kExchangeOk);
  EXPECT_EQ(echoed.size(), 2);
}

TEST_F(ModemLink, CounterWrapsWithAMessage) {
  QStringList messages;
  SetDialogHooks({[&](const QString& t) { messages << t; }, {}, {}});
  link->TickCount = 999999998;
  link->ThreadedTimer1Timer();
  EXPECT_EQ(link->TickCount, 999999999);
  EXPECT_TRUE(messages.isEmpty());
  link->ThreadedTimer1Timer();
  EXPECT_EQ(link->TickCount, 0);
  EXPECT_EQ(messages, QStringList({"Counter1 reaced limit"}));
}

TEST_F(ModemLink, WaitStartedInsideAnotherWaitLeavesItsTicksRunning) {
  Start([](const std::string&) { return std::vector<Chunk>{}; });
  link->TimeoutFactor = 40;
  bool inner = false;
  QTimer::singleShot(50, [&] {
    link->WaitTicks(3);
    inner = true;
  });
  EXPECT_EQ(link->SendAndExpect("AT", QString(), QStringLiteral("ok")), kExchangeTimeout);
  EXPECT_TRUE(inner);
  EXPECT_FALSE(link->Timer1.Enabled());
}

TEST_F(ModemLink, AModemThatGoesAwayEndsTheWaitAtOnceWithNotSent) {
  vmodem::Options options;
  options.profile = "silent";  // would let every exchange run to its time-out
  vmodem::VirtualModem gone(options);
  gone.start();
  const std::string path = gone.slavePath();
  SetPortPathSource([path](int) { return std::optional<std::string>(path); });
  link->OnStatusText = [this](const QString& s) { status << s; };
  link->ComPort1.SetComNumber(1);
  link->ComPort1.SetOpen(true);
  ASSERT_TRUE(link->PortIsOpen);
  int lost = 0;
  link->OnPortLost = [&] { ++lost; };

  QTimer::singleShot(200, [&] { gone.unplug(); });
  EXPECT_EQ(link->SendAndExpect("AT", QStringLiteral("x"), QStringLiteral("ok")), kExchangeNotSent);
  EXPECT_LT(link->TickCount, 300);  // far from the 500 ticks of the time-out
  EXPECT_FALSE(link->Timer1.Enabled());
  EXPECT_EQ(lost, 1);
  EXPECT_TRUE(link->PortLost);
  EXPECT_FALSE(link->PortIsOpen);
  EXPECT_EQ(monitor.Lines().mid(monitor.Lines().size() - 2),
            QStringList({"Com port closed...", "Modem disconnected..."}));
  EXPECT_EQ(status.last(), " Modem off");
  // With the port gone the next command meets the port's not-open error.
  QByteArray answer;
  EXPECT_THROW(link->SendAndRead("AT", answer), ECommNotOpen);
}

TEST_F(ModemLink, ThePortClosedByANestedCommandEndsTheWaitsToo) {
  Start([](const std::string&) { return std::vector<Chunk>{}; });
  QTimer::singleShot(100, [&] { link->ComPort1.SetOpen(false); });  // Modem Off meanwhile
  QByteArray answer = "kept";
  EXPECT_EQ(link->SendAndRead("AT", answer), kExchangeNotSent);
  EXPECT_EQ(answer, QByteArray("kept"));
  EXPECT_LT(link->TickCount, 300);
  EXPECT_FALSE(link->PortLost);
  link->ComPort1.SetOpen(true);
  QTimer::singleShot(100, [&] { link->ComPort1.SetOpen(false); });
  link->WaitTicks(1000);
  EXPECT_LT(link->TickCount, 300);
  EXPECT_FALSE(link->Timer1.Enabled());
}
