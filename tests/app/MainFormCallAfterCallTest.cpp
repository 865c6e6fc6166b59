// Call after call through the real main window on the virtual modem: with caller ID in
// use the port is opened again after every recording and caller ID switched on again,
// each recording's row has its own caller (or none), a ring during the diagnostics is the
// call watch's and never part of the report, and a modem that went away is listened to
// again once it is back.
#include <gtest/gtest.h>
#include <QAction>
#include <QDir>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>
#include <algorithm>
#include <chrono>

#include "CallRig.h"
#include "modem/ModemF.h"
#include "modem/MonitorForm.h"
#include "recording/RecorderPanel.h"
#include "setup/SteadyClock.h"

namespace {
constexpr int kWaitMs = 15000;
const QStringList kCallers = {"5551234 JOHN DOE", "withheld number", "unavailable number"};

long Count(const std::vector<std::string>& commands, const char* command) {
  return static_cast<long>(std::count(commands.begin(), commands.end(), std::string(command)));
}

// Three calls in a row: number and name, then a withheld number, then one out of area.
// Each is recorded when its caller shows, and ends when the far end hangs up.
void ThreeCallsInARow(bool vcidResetOnClose) {
  vmodem::Options o = CallingModem(0.4);
  o.vcidResetOnClose = vcidResetOnClose;
  o.ring.atSeconds = 1.5;  // once the start sequence has switched caller ID on
  o.ring.moreAtSeconds = {4.5, 7.5};
  o.ring.moreCallers = {{"P", ""}, {"O", ""}};
  o.ring.periodSeconds = 0.5;
  o.ring.rings = 20;
  CallRig rig(o, CallIni("CallerId=1\nStopOnHangUp=1\n"));
  TMainForm& form = rig.Start();
  ASSERT_TRUE(rig.fx.messages.isEmpty()) << rig.fx.messages.join('\n').toStdString();
  // The watch's clock runs 10 s ahead once the first call has ended: the withheld call
  // comes 10 s after it, as far as the call watch can tell.
  int64_t ahead = 0;
  form.Recorder->CallWatch.Clock = [&ahead] { return SteadyMs() + ahead; };

  for (int k = 0; k < 3; ++k) {
    const QString shown = " Call from " + kCallers[k];
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.StatusPanel(2) == shown; }, kWaitMs))
        << "call " << k + 1 << ": " << form.StatusPanel(2).toStdString();
    EXPECT_TRUE(form.ModemF->PortIsOpen);
    EXPECT_EQ(form.StatusPanel(0), " Modem on");
    EXPECT_TRUE(form.On1->isChecked());
    EXPECT_FALSE(form.Off1->isChecked());
    form.RecSb1->click();
    ASSERT_TRUE(form.RecordingActive()) << rig.fx.messages.join('\n').toStdString();
    EXPECT_EQ(form.StatusPanel(2), shown);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form.RecSb1->isChecked(); }, kWaitMs));
    ASSERT_EQ(form.CallCount(), k + 1);
    EXPECT_EQ(form.CallList[static_cast<size_t>(k)].Memo, kCallers[k]);
    EXPECT_GT(rig.Wav(form.CallList[static_cast<size_t>(k)]).size(), 44 + 2000);
    // Listening again: the port open, caller ID switched on again.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return Count(rig.modem.commands(), "at+vcid=1") == k + 2 && form.ModemF->PortIsOpen; },
        kWaitMs));
    if (k == 0) ahead += 10000;
  }
  EXPECT_TRUE(rig.fx.messages.isEmpty()) << rig.fx.messages.join('\n').toStdString();
  // The modem reported each caller: caller ID was on at every call.
  EXPECT_EQ(rig.modem.status().callerIds, 3);
  const QStringList log = form.MonitorForm->Lines();
  EXPECT_EQ(log.count("Com port opened..."), 4);
  EXPECT_FALSE(log.join('|').contains("withheld number JOHN")) << log.join('|').toStdString();
  EXPECT_FALSE(log.join('|').contains("unavailable number JOHN"));
  for (int k = 0; k < 3; ++k) EXPECT_EQ(form.Grid1->item(k, 3)->text(), kCallers[k]);
  form.close();
  const std::vector<TCallRecord> stored =
      LoadCallFile(rig.fx.Path(QString::fromLatin1(kCallFileName)));
  ASSERT_EQ(stored.size(), 3u);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(stored[static_cast<size_t>(k)].Memo, kCallers[k]);
}
}  // namespace

TEST(CallAfterCallTest, ThreeCallsInARowEachRowWithItsOwnCaller) {
  ThreeCallsInARow(false);
}

TEST(CallAfterCallTest, TheSameCallsOnAModemThatForgetsCallerIdWhenItsPortCloses) {
  ThreeCallsInARow(true);
}

TEST(CallAfterCallTest, ARingDuringTheDiagnosticsIsTheCallWatchsAndNoPartOfTheReport) {
  vmodem::Options o = CallingModem(-1);
  o.ring.atSeconds = 1.0;
  o.ring.periodSeconds = 0.25;
  o.ring.rings = 40;
  CallRig rig(o, CallIni("CallerId=1\n"));
  TMainForm& form = rig.Start();
  ASSERT_TRUE(form.ModemF->PortIsOpen) << rig.fx.messages.join('\n').toStdString();
  ASSERT_TRUE(rig.modem.waitFor([](const vmodem::ModemStatus& s) { return s.rings >= 1; },
                                std::chrono::milliseconds(kWaitMs)));
  const long ringsBefore = rig.modem.status().rings;
  form.Diagnostics1->trigger();
  EXPECT_GE(rig.modem.status().rings - ringsBefore, 4);  // the call rang all along
  EXPECT_TRUE(rig.fx.messages.isEmpty()) << rig.fx.messages.join('\n').toStdString();
  const QString report = QString::fromLatin1(rig.fx.Read("Diagnostics.log"));
  for (const char* absent : {"RING", "NMBR", "NAME", "5551234", "Call from", "Incoming call"}) {
    EXPECT_FALSE(report.contains(QLatin1String(absent))) << absent << "\n" << report.toStdString();
  }
  // Every query has its answer, whole.
  EXPECT_TRUE(report.contains("at+GMM?\r\nCX93001-EIS_V0.2013-V92\r\n\r\n")) << report.toStdString();
  EXPECT_TRUE(report.contains("at+VLS=?\r\n0,\"\",00000000,00000000,00000000\r\n"));
  EXPECT_TRUE(report.endsWith("at+VPR=?\r\n(0,1,2,4,6,8,10,12,16,18)\r\n\r\n"))
      << report.toStdString();
  // The call was heard all the same: its caller shows, and the monitor has it after the
  // report.
  EXPECT_EQ(form.StatusPanel(2), " Call from 5551234 JOHN DOE");
  EXPECT_TRUE(form.MonitorForm->Lines().contains("Call from 5551234 JOHN DOE"))
      << form.MonitorForm->Lines().join('|').toStdString();
  form.close();
}

TEST(CallAfterCallTest, AModemThatWentAwayIsListenedToOnceItIsBackAndModemOffStaysOff) {
  TWavPlayer::SetSilentOutput(true);
  MainFormFixture fx;
  vmodem::Options o = CallingModem(-1);
  o.linkPath = fx.Path("ttyV0").toStdString();
  o.faults.replugAfterSeconds = 0.6;
  o.ring.atSeconds = 3.5;  // once it is back
  o.ring.periodSeconds = 0.4;
  o.ring.rings = 30;
  vmodem::VirtualModem modem(o);
  modem.start();
  fx.portPath = o.linkPath;
  // A short answer time-out, for the set-up that fails below.
  fx.Write("Tavrin.ini", CallIni("CallerId=1\nTimeout=60\n"));
  TMainForm& form = fx.Start();
  ASSERT_TRUE(form.ModemF->PortIsOpen) << fx.messages.join('\n').toStdString();
  modem.unplug();
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.MonitorForm->Lines().contains("Modem disconnected..."); },
                              kWaitMs));
  EXPECT_FALSE(form.On1->isChecked());
  EXPECT_EQ(form.StatusPanel(0), " Modem off");
  EXPECT_TRUE(QTest::qWaitFor([&] { return form.Recorder->Listener.Waiting(); }, kWaitMs));
  // Back behind the same link: opened again, caller ID on again, the next call heard.
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.ModemF->PortIsOpen; }, kWaitMs));
  EXPECT_EQ(modem.status().replugs, 1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Count(modem.commands(), "at+vcid=1") == 2; }, kWaitMs));
  EXPECT_TRUE(form.On1->isChecked());
  EXPECT_FALSE(form.Off1->isChecked());
  EXPECT_EQ(form.StatusPanel(0), " Modem on");
  EXPECT_FALSE(form.Recorder->Listener.Waiting());
  EXPECT_TRUE(fx.messages.isEmpty()) << fx.messages.join('\n').toStdString();
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.StatusPanel(2) == " Call from 5551234 JOHN DOE"; },
                              kWaitMs));

  // A set-up that fails: caller ID is switched on again after its commands.
  vmodem::Faults mute;
  mute.noAnswer = true;
  modem.setFaults(mute);
  form.RecSb1->click();
  EXPECT_EQ(fx.messages, QStringList{"Error Setting modem in voice mode.."});
  ASSERT_TRUE(QTest::qWaitFor([&] { return modem.commands().back() == "at+vcid=1"; }, kWaitMs));
  EXPECT_EQ(modem.commands().end()[-2], "at+fclass=8");
  modem.setFaults({});

  // Modem Off is the user's: the port stays closed.
  form.Off1->trigger();
  EXPECT_FALSE(form.ModemF->PortIsOpen);
  QTest::qWait(TCallListener::kRetryMs + 500);
  EXPECT_FALSE(form.ModemF->PortIsOpen);
  EXPECT_FALSE(form.Recorder->Listener.Waiting());
  // Record opens it on demand, caller ID switched on with it, and Stop opens it again.
  const long before = Count(modem.commands(), "at+vcid=1");
  fx.messages.clear();
  form.RecSb1->click();
  ASSERT_TRUE(form.RecordingActive()) << fx.messages.join('\n').toStdString();
  EXPECT_EQ(Count(modem.commands(), "at+vcid=1"), before + 1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.ModemF->RecordedBytes >= 800; }, kWaitMs));
  form.StopSb1->click();
  EXPECT_EQ(form.CallCount(), 1);
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return Count(modem.commands(), "at+vcid=1") == before + 2 && form.ModemF->PortIsOpen; },
      kWaitMs));
  EXPECT_TRUE(fx.messages.isEmpty()) << fx.messages.join('\n').toStdString();
  form.close();
}
