// Caller ID and the end of the call, below the main window: the link hands over the
// lines no exchange listens to; the call watch shows the caller and names the
// recording; the recorder stops by itself when the far end hangs up.
#include <gtest/gtest.h>
#include <QTest>

#include "common/ModemRecorderRig.h"

namespace {
struct Panel {
  QString text = QStringLiteral(" Virtual");
  bool caller = false;
  void Attach(TCallWatch& w) {
    w.PanelText = [this] { return text; };
    w.SetPanelText = [this](const QString& t, bool isCaller) {
      text = t;
      caller = isCaller;
    };
  }
};

// The ringing is taken to be over this long after the last line (instead of a real
// cadence's gap), so that the tests need not wait seconds for it.
constexpr int kRingingOverMs = 400;

struct WatchRig : RecorderRig {
  Panel panel2;
  int64_t ms = 100000;
  WatchRig() {
    panel2.Attach(panel->CallWatch);
    panel->CallWatch.SetRingingOverMs(kRingingOverMs);
    panel->CallWatch.Clock = [this] { return ms; };
    panel->CallWatch.SetEnabled(true);
  }
  TCallWatch& watch() { return panel->CallWatch; }
  void Hear(const char* line, int64_t atMs) {
    ms = atMs;
    watch().TakeLine(QByteArray(line));
  }
  int MonitorCount(const QString& line) const {
    return static_cast<int>(monitor.Lines().count(line));
  }
};

vmodem::Options RingingModem(double period, int rings, double at = 0.2) {
  vmodem::Options o = PatternLine("conexant", std::string("\x20\xe0", 2));
  o.ring.atSeconds = at;
  o.ring.periodSeconds = period;
  o.ring.rings = rings;
  return o;
}
}  // namespace

TEST(CallWatch, TheCallerIsShownWhileItRingsAndThePanelComesBackAfterwards) {
  WatchRig rig;
  rig.Hear("RING", 100000);
  EXPECT_EQ(rig.panel2.text, " Incoming call");
  rig.Hear("DATE = 1208", 101000);
  rig.Hear("NMBR = 5551234", 101000);
  rig.Hear("NAME = JOHN DOE", 101000);
  EXPECT_EQ(rig.panel2.text, " Call from 5551234 JOHN DOE");
  EXPECT_TRUE(rig.panel2.caller);
  rig.Hear("RING", 106000);
  rig.Hear("RING", 112000);
  // The monitor has each caller text once: the ring, then the caller.
  EXPECT_EQ(rig.monitor.Lines(), QStringList({"Incoming call", "Call from 5551234 JOHN DOE"}));
  // No more rings: the panel shows what it showed before.
  ASSERT_TRUE(QTest::qWaitFor([&] { return rig.panel2.text == " Virtual"; },
                              kRingingOverMs + 3000));
  EXPECT_FALSE(rig.panel2.caller);
  // Other lines change nothing.
  rig.Hear("OK", 113000);
  rig.Hear("ATE0", 113000);
  EXPECT_EQ(rig.panel2.text, " Virtual");
  EXPECT_EQ(rig.monitor.Lines().size(), 2);
}

TEST(CallWatch, ARecordingSoonAfterTheLastRingIsThatCallsAndKeepsTheCallerShown) {
  WatchRig rig;
  rig.Hear("RING", 100000);
  rig.Hear("NMBR=5551234", 100500);
  rig.Hear("NAME=JOHN DOE", 100500);
  rig.ms = 100000 + TCallWatch::kRecordingAfterRingMs;
  rig.watch().RecordingStarted();
  EXPECT_EQ(rig.watch().RecordingMemo(), "5551234 JOHN DOE");
  EXPECT_EQ(rig.panel2.text, " Call from 5551234 JOHN DOE");
  EXPECT_EQ(rig.MonitorCount("Call from 5551234 JOHN DOE"), 1);
  // The ringing's time-out does not take it away during the recording; the port's close
  // at the end of the recording does.
  QTest::qWait(kRingingOverMs + 300);
  EXPECT_EQ(rig.panel2.text, " Call from 5551234 JOHN DOE");
  rig.link.ComPort1PortClose();
  EXPECT_EQ(rig.panel2.text, " Virtual");
  EXPECT_EQ(rig.watch().RecordingMemo(), "5551234 JOHN DOE");  // for the call row
  // Later than a minute after the last ring: no caller for that recording.
  rig.ms = 100001 + TCallWatch::kRecordingAfterRingMs;
  rig.watch().RecordingStarted();
  EXPECT_EQ(rig.watch().RecordingMemo(), "");
  EXPECT_EQ(rig.panel2.text, " Virtual");
}

TEST(CallWatch, APanelChangedMeanwhileIsLeftAndOffShowsNothing) {
  WatchRig rig;
  rig.Hear("RING", 100000);
  rig.panel2.text = " New model";  // the start sequence's window shows its model
  rig.Hear("NMBR = P", 100100);
  EXPECT_EQ(rig.panel2.text, " Call from withheld number");
  rig.watch().SetEnabled(false);
  EXPECT_EQ(rig.panel2.text, " New model");
  EXPECT_FALSE(rig.link.OnUnsolicitedLine);
  rig.Hear("RING", 100200);
  EXPECT_EQ(rig.panel2.text, " New model");
  rig.watch().RecordingStarted();
  EXPECT_EQ(rig.watch().RecordingMemo(), "");
  rig.watch().SetEnabled(true);
  rig.Hear("RING", 100300);
  rig.panel2.text = " Changed again";
  rig.link.ComPort1PortClose();
  EXPECT_EQ(rig.panel2.text, " Changed again");
}

TEST(CallWatch, ACallThatRangOnceIsLoggedWhenTheRingingIsOver) {
  WatchRig rig;
  rig.Hear("RING", 100000);
  rig.Hear("NMBR = 0123", 101000);
  EXPECT_EQ(rig.monitor.Lines(), QStringList({"Incoming call"}));
  ASSERT_TRUE(QTest::qWaitFor([&] { return rig.monitor.Lines().size() == 2; },
                              kRingingOverMs + 3000));
  EXPECT_EQ(rig.monitor.Lines().last(), "Call from 0123");
}

// What the watch tells the desktop, as a list: "show|caller" and "withdraw".
struct FakeNotifier : ICallNotifier {
  explicit FakeNotifier(QStringList& log) : log_(log) {}
  void Show(const QString& caller) override { log_ << "show|" + caller; }
  void Withdraw() override { log_ << "withdraw"; }
  QStringList& log_;
};

TEST(CallWatch, OneNoticeACallUpToDateWithEachRingWithdrawnWhenRecordedOrOver) {
  WatchRig rig;
  QStringList told;
  rig.watch().SetNotifier(std::make_unique<FakeNotifier>(told));
  rig.Hear("RING", 100000);
  EXPECT_TRUE(told.isEmpty());  // once the lines that came with it are in
  QTest::qWait(10);
  EXPECT_TRUE(told.isEmpty());  // the notice is off
  rig.watch().SetNotifying(true);
  rig.Hear("RING", 103000);
  rig.Hear("DATE = 1208", 103400);
  rig.Hear("NMBR = 5551234", 103400);
  rig.Hear("NAME = JOHN DOE", 103400);
  QTest::qWait(10);
  EXPECT_EQ(told, QStringList({"show|5551234 JOHN DOE"}));
  rig.Hear("RING", 106000);
  QTest::qWait(10);
  EXPECT_EQ(told.size(), 2);
  // No more rings: withdrawn.
  ASSERT_TRUE(QTest::qWaitFor([&] { return told.last() == "withdraw"; }, 2000));
  // The next call, recorded: withdrawn as the recording begins.
  rig.Hear("RING", 120000);
  rig.Hear("NMBR = P", 120400);
  QTest::qWait(10);
  EXPECT_EQ(told.mid(3), QStringList({"show|withheld number"}));
  rig.watch().RecordingStarted();
  EXPECT_EQ(told.mid(4), QStringList({"withdraw"}));
  EXPECT_EQ(rig.watch().RecordingMemo(), "withheld number");
  rig.watch().RecordingEnded();
  // A call within a ring's gap of the last, after that recording: another call, whose
  // notice is its own, with nothing of the one before.
  rig.Hear("RING", 121000);
  QTest::qWait(10);
  EXPECT_EQ(told.mid(5), QStringList({"show|"}));
  rig.Hear("RING", 122000);
  rig.watch().SetNotifying(false);
  EXPECT_EQ(told.mid(6), QStringList({"withdraw"}));
  QTest::qWait(10);
  EXPECT_EQ(told.size(), 7);  // the ring just before was not told
}

TEST(CallWatch, ARecordingAfterTheRecordedCallEndedIsNoRecordingOfIt) {
  WatchRig rig;
  rig.Hear("RING", 100000);
  rig.Hear("NMBR = 5551234", 100400);
  rig.watch().RecordingStarted();
  EXPECT_EQ(rig.watch().RecordingMemo(), "5551234");
  rig.watch().RecordingEnded();
  // Record again 10 s later, with no ring since: no caller for it.
  rig.ms = 110000;
  rig.watch().RecordingStarted();
  EXPECT_EQ(rig.watch().RecordingMemo(), "");
  // The next call's own caller, with nothing of the first.
  rig.Hear("RING", 111000);
  rig.Hear("NAME = ALICE SMITH", 111400);
  rig.watch().RecordingStarted();
  EXPECT_EQ(rig.watch().RecordingMemo(), "ALICE SMITH");
}

TEST(CallWatch, LinesHeldForTheDiagnosticsReachTheMonitorAfterIt) {
  WatchRig rig;
  rig.watch().HoldMonitorLines(true);
  rig.Hear("RING", 100000);
  rig.Hear("NMBR = 5551234", 100400);
  rig.Hear("RING", 103000);
  EXPECT_TRUE(rig.monitor.Lines().isEmpty());
  EXPECT_EQ(rig.panel2.text, " Call from 5551234");  // shown all the same
  rig.watch().HoldMonitorLines(false);
  EXPECT_EQ(rig.monitor.Lines(), QStringList({"Incoming call", "Call from 5551234"}));
}

TEST(CallerIdOverModem, RingsDuringAnExchangeGoToTheCallWatchAndNeverIntoTheAnswer) {
  ModemRecorderRig rig(RingingModem(0.05, 200));
  QList<QByteArray> heard;
  bool exchanging = false;
  int heardDuring = 0;
  rig.link.OnUnsolicitedLine = [&](const QByteArray& line) {
    const bool aboutACall = ParseCallerIdLine(line).Kind != TCallerLine::kOther;
    if (aboutACall) heard << line;
    heardDuring += exchanging && aboutACall;
    return aboutACall;
  };
  rig.OpenModem();
  ASSERT_TRUE(QTest::qWaitFor([&] { return heard.count("RING") >= 2; }, kWaitMs));
  // The modem thinks long before it answers; the rings come meanwhile.
  vmodem::Faults slow;
  slow.delayMs = 400;
  rig.modem.setFaults(slow);
  qsizetype logged = rig.monitor.Lines().size();
  exchanging = true;
  EXPECT_EQ(rig.link.SendAndExpect("at", QStringLiteral("at.."), QStringLiteral("OK")),
            kExchangeOk);
  exchanging = false;
  EXPECT_GE(heardDuring, 4);  // handed over as they came
  // The monitor has the exchange's own line and its answer as the modem framed it, with
  // no ring in it nor the blank lines that framed them.
  EXPECT_EQ(rig.monitor.Lines().mid(logged), QStringList({"at..", "", "OK", ""}));

  // An answer of several lines read whole, with rings before it.
  ASSERT_EQ(rig.link.SendAndExpect("at+fclass=8", QStringLiteral("voice.."), QStringLiteral("OK")),
            kExchangeOk);
  heardDuring = 0;
  logged = rig.monitor.Lines().size();
  exchanging = true;
  QByteArray answer;
  ASSERT_EQ(rig.link.SendAndRead("at+vsm=?", answer), kExchangeOk);
  exchanging = false;
  EXPECT_GE(heardDuring, 4);
  EXPECT_EQ(answer,
            "0,\"SIGNED PCM\",8,0,8000,0,0\r\n1,\"UNSIGNED PCM\",8,0,8000,0,0\r\n"
            "2,\"IMA ADPCM\",4,0,8000,0,0\r\n3,\"G.711U\",8,0,8000,0,0\r\n"
            "4,\"G.711A\",8,0,8000,0,0\r\n5,\"14-BIT PCM\",16,0,8000,0,0");
  EXPECT_EQ(rig.monitor.Lines().size(), logged);  // SendAndRead logs nothing itself
  rig.modem.setFaults({});
  const qsizetype ringsHeard = heard.count("RING");
  ASSERT_TRUE(QTest::qWaitFor([&] { return heard.count("RING") > ringsHeard; }, kWaitMs));
  for (const QByteArray& line : heard) EXPECT_EQ(line, "RING");
}

TEST(CallerIdOverModem, TheCallerFromTheModemNamesTheRecording) {
  Panel panel2;  // outlives the rig, whose port may close as it goes
  // The first ring comes once the rig has switched caller ID on.
  ModemRecorderRig rig(RingingModem(0.6, 30, 1.5));
  CurrentProfile.ForCallerId = QStringLiteral("at+vcid=1");
  CallOptions.CallerId = true;
  panel2.Attach(rig.panel->CallWatch);
  rig.panel->CallWatch.SetEnabled(true);
  rig.OpenModem();
  ASSERT_EQ(SwitchCallerIdOn(rig.link, CallOptions, CurrentProfile), kExchangeOk);
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return panel2.text == " Call from 5551234 JOHN DOE"; }, kWaitMs))
      << panel2.text.toStdString();
  rig.panel->Recorder.StartRecording();
  ASSERT_TRUE(rig.panel->RecordingActive()) << rig.messages.join('|').toStdString();
  ASSERT_TRUE(rig.WaitForBytes(800));
  // The modem took the line: no more rings, and none were taken for samples or answers.
  const long rings = rig.modem.status().rings;
  rig.panel->Recorder.StopRecordingOrPlayback();
  EXPECT_EQ(rig.panel->CallWatch.RecordingMemo(), "5551234 JOHN DOE");
  EXPECT_EQ(panel2.text, " Virtual");
  EXPECT_EQ(rig.modem.status().rings, rings);
  EXPECT_EQ(rig.monitor.Lines().count("Call from 5551234 JOHN DOE"), 2);
}

TEST(CallerIdOverModem, ModemOnSwitchesCallerIdOnAgainOnlyWhenItIsInUse) {
  ModemRecorderRig rig;
  CurrentProfile.ForCallerId = QStringLiteral("at+vcid=1");
  rig.OpenModem();
  rig.panel->Recorder.Off1Click();
  CallOptions.CallerId = true;
  rig.panel->Recorder.On1Click();
  ASSERT_TRUE(rig.link.PortIsOpen);
  EXPECT_EQ(rig.monitor.Lines().count("Setting caller ID.."), 1);
  const auto commands = rig.modem.commands();
  EXPECT_EQ(std::count(commands.begin(), commands.end(), std::string("at+vcid=1")), 1);
  rig.panel->Recorder.Off1Click();
  for (const char* none : {"none", "NONE", ""}) {
    CurrentProfile.ForCallerId = QString::fromLatin1(none);
    rig.panel->Recorder.On1Click();
    rig.panel->Recorder.Off1Click();
  }
  CallOptions.CallerId = false;
  CurrentProfile.ForCallerId = QStringLiteral("at+vcid=1");
  rig.panel->Recorder.On1Click();
  EXPECT_EQ(rig.monitor.Lines().count("Setting caller ID.."), 1);
}

TEST(CallerIdOverModem, ModemOnAfterModemOffInARecordingHearsTheRingsNotSamples) {
  Panel panel2;  // outlives the rig, whose port closes as it goes
  // The call comes once the modem is on again.
  ModemRecorderRig rig(RingingModem(0.3, 60, 2.0));
  CurrentProfile.ForCallerId = QStringLiteral("at+vcid=1");
  CallOptions.CallerId = true;
  panel2.Attach(rig.panel->CallWatch);
  rig.panel->CallWatch.SetEnabled(true);
  rig.OpenModem();
  rig.panel->Recorder.StartRecording();
  ASSERT_TRUE(rig.WaitForBytes(800));
  rig.panel->Recorder.Off1Click();  // the recording is dropped
  EXPECT_FALSE(rig.panel->RecordingActive());
  const QByteArray dropped = rig.panel->VoiceStream.Data();
  rig.panel->Recorder.On1Click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return panel2.text.startsWith(" Call from"); }, kWaitMs))
      << panel2.text.toStdString();
  // What came after Modem On is no part of the dropped recording's samples.
  EXPECT_EQ(rig.panel->VoiceStream.Data(), dropped);
}

TEST(HangUpOverModem, TheDialToneStopsAndSavesTheRecordingWithEveryByte) {
  vmodem::Options o = PatternLine("conexant", std::string("\x80\x10\x90\x03\x7f", 5));
  o.line.hangupAfterSeconds = 0.5;
  ModemRecorderRig rig(o);
  CallOptions.StopOnHangUp = true;
  rig.OpenModem();
  rig.panel->Recorder.StartRecording();
  ASSERT_TRUE(rig.panel->RecordingActive());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !rig.c.RecSb1->isChecked(); }, kWaitMs));
  EXPECT_TRUE(rig.messages.isEmpty()) << rig.messages.join('|').toStdString();
  EXPECT_EQ(rig.calls.size(), 1);
  EXPECT_FALSE(rig.link.PortIsOpen);
  EXPECT_TRUE(rig.monitor.Lines().contains("Call ended (dial tone): recording stopped"));
  const QByteArray file = rig.SavedFile();
  const QByteArray streamed = QByteArray::fromStdString(rig.modem.streamed());
  ASSERT_EQ(file.size(), 44 + rig.link.RecordedBytes);
  EXPECT_EQ(file.mid(44), streamed.left(file.size() - 44));
  EXPECT_TRUE(file.mid(44).contains(QByteArray("\x7f\x10") + 'd'));  // after 800 patterns
}

TEST(HangUpOverModem, OffTheRecordingRunsOnThroughTheHangUpAsItAlwaysDid) {
  vmodem::Options o = PatternLine("conexant", std::string("\x20\xe0", 2));
  o.line.hangupAfterSeconds = 0.2;
  o.line.hangupCode = 'l';
  ModemRecorderRig rig(o);
  rig.OpenModem();
  rig.panel->Recorder.StartRecording();
  ASSERT_TRUE(rig.WaitForBytes(8000));  // a second past the loop break and into silence
  EXPECT_TRUE(rig.c.RecSb1->isChecked());
  EXPECT_TRUE(rig.panel->RecordingActive());
  // The developer's reception is never watched either.
  CallOptions.StopOnHangUp = true;
  rig.panel->Recorder.Off1Click();
  rig.panel->Recorder.VoiceRecBtnClick();
  ASSERT_TRUE(rig.panel->RecordingActive());
  const int64_t start = rig.link.RecordedBytes;
  ASSERT_TRUE(QTest::qWaitFor([&] { return rig.link.RecordedBytes >= start + 4000; }, kWaitMs));
  QTest::qWait(50);
  EXPECT_TRUE(rig.link.PortIsOpen);
  EXPECT_TRUE(rig.panel->RecordingActive());
  EXPECT_TRUE(rig.calls.isEmpty());
}
