// Calls through the real main window on the virtual modem over a pty: a call rings and
// shows its caller, Record, the far end hangs up and the recording ends by itself, with
// the caller as its memo. With both settings off, the dialogue and the files are those
// the program has always made.
#include <gtest/gtest.h>
#include <QAction>
#include <QLabel>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>
#include <chrono>

#include "MainFormTestSupport.h"
#include "modem/ModemF.h"
#include "modem/MonitorForm.h"
#include "recording/RecorderPanel.h"
#include "vmodem/VirtualModem.h"

namespace {
using Clock = std::chrono::steady_clock;
constexpr int kWaitMs = 15000;
const QString kCaller = QStringLiteral("Call from 5551234 JOHN DOE");

vmodem::Options CallingModem(double hangupAfter, char hangupCode = 'd') {
  vmodem::Options o;
  // No sample of it lies near the zero level, and its 0x10 comes doubled.
  o.line.kind = vmodem::LineOptions::Kind::Pattern;
  o.line.pattern = std::string("\x80\x10\x90\x03\x7f", 5);
  o.line.hangupAfterSeconds = hangupAfter;
  o.line.hangupCode = hangupCode;
  return o;
}

// The profile of the virtual modem with ForCallerId, and the keys of section Params.
QByteArray Ini(const QByteArray& params) {
  QByteArray ini = kVirtualModemIni;
  ini.replace("[Modem]\n", "[Modem]\nForCallerId=at+vcid=1\n");
  return ini + params;
}

struct CallRig {
  explicit CallRig(vmodem::Options options, const QByteArray& ini) : modem(std::move(options)) {
    TWavPlayer::SetSilentOutput(true);
    modem.start();
    fx.portPath = modem.slavePath();
    fx.Write("Tavrin.ini", ini);
  }
  TMainForm& Start() {
    TMainForm& form = fx.Start();
    QObject::connect(form.RecSb1, &QToolButton::toggled, form.RecSb1, [this](bool pressed) {
      if (!pressed) released = Clock::now();
    });
    return form;
  }
  // Seconds from the far end's hang-up to the release of Record.
  double StopDelay(double hangupAfter) const {
    const Clock::time_point hangUp =
        modem.status().streamBegan +
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(hangupAfter));
    return std::chrono::duration<double>(released - hangUp).count();
  }
  QByteArray Wav(const TMainForm& form) const {
    return fx.Read("wav/" + form.CallList.back().FileName + ".wav");
  }

  MainFormFixture fx;
  vmodem::VirtualModem modem;
  Clock::time_point released{};
};

// What a run with the settings off leaves: the commands the modem got, the event log,
// the settings file's bytes beyond what was written in, the memo and the recording.
struct OffRun {
  std::vector<std::string> commands;
  QByteArray eventLog;
  QByteArray iniAdded;
  QString memo;
  bool wavIsTheStream = false;
  QString panel2;
};

OffRun RunWithTheSettingsOff(const QByteArray& ini) {
  vmodem::Options o = CallingModem(0.5);
  o.ring.atSeconds = 1.0;  // once the start sequence is over
  o.ring.periodSeconds = 0.3;
  o.ring.rings = 2;
  CallRig rig(o, ini);
  TMainForm& form = rig.Start();
  OffRun run;
  EXPECT_TRUE(rig.fx.messages.isEmpty()) << rig.fx.messages.join('\n').toStdString();
  EXPECT_TRUE(rig.modem.waitFor([](const vmodem::ModemStatus& s) { return s.rings == 2; },
                                std::chrono::milliseconds(kWaitMs)));
  QTest::qWait(200);  // the rings reach the program
  run.panel2 = form.StatusPanel(2);
  form.RecSb1->click();
  EXPECT_TRUE(form.RecordingActive());
  // Past the dial tone and well into the silence after it: the recording goes on.
  EXPECT_TRUE(QTest::qWaitFor([&] { return form.ModemF->RecordedBytes >= 12000; }, kWaitMs));
  EXPECT_TRUE(rig.modem.status().hungUp);
  EXPECT_TRUE(form.RecSb1->isChecked());
  form.StopSb1->click();
  EXPECT_EQ(form.CallCount(), 1);
  if (form.CallCount() == 1) {
    run.memo = form.CallList[0].Memo;
    const QByteArray wav = rig.Wav(form);
    run.wavIsTheStream =
        wav.size() == 44 + form.ModemF->RecordedBytes &&
        wav.mid(44) == QByteArray::fromStdString(rig.modem.streamed()).left(wav.size() - 44);
  }
  form.close();
  run.commands = rig.modem.commands();
  run.eventLog = rig.fx.Read("Events.log");
  const QByteArray after = rig.fx.Read("Tavrin.ini");
  EXPECT_TRUE(after.startsWith(ini));
  run.iniAdded = after.mid(ini.size());
  return run;
}
}  // namespace

TEST(MainFormCallTest, WithBothSettingsOffTheDialogueAndTheFilesAreAsTheyAlwaysWere) {
  const QByteArray absent = kVirtualModemIni;
  const QByteArray zero = Ini("CallerId=0\nStopOnHangUp=0\nSilenceSeconds=5\n");
  for (const QByteArray& ini : {absent, zero}) {
    const OffRun run = RunWithTheSettingsOff(ini);
    EXPECT_EQ(run.commands,
              (std::vector<std::string>{"atE0", "ats0=0", "at+fclass=8", "at+vgr=128",
                                        "at+vsm=1,8000", "at+vls=1", "at+vrx"}));
    EXPECT_EQ(QString::fromLatin1(run.eventLog),
              "Com port opened...\r\n"
              "initialization string..\r\n\r\nOK\r\n\r\n"
              "Setting no autoanswer..\r\n\r\nOK\r\n\r\n"
              "Setting modem in voice mode..\r\n\r\nOK\r\n\r\n"
              "Setting Rec gain..\r\n\r\nOK\r\n\r\n"
              "Setting voice compression..\r\n\r\nOK\r\n\r\n"
              "Voice line set.. \r\n\r\nOK\r\n\r\n"
              "Com port closed...\r\n");
    // The window's position alone is written.
    EXPECT_TRUE(QRegularExpression("^MainTop=\\d+\\r?\\nMainLeft=\\d+\\r?\\n$")
                    .match(QString::fromLatin1(run.iniAdded))
                    .hasMatch())
        << run.iniAdded.toStdString();
    EXPECT_EQ(run.memo, "");
    EXPECT_TRUE(run.wavIsTheStream);
    EXPECT_EQ(run.panel2, " Virtual");  // the rings showed nothing
  }
}

TEST(MainFormCallTest, ACallRingsIsRecordedAndTheRecordingEndsWithTheDialTone) {
  vmodem::Options o = CallingModem(1.0);
  o.ring.atSeconds = 2.0;  // once the start sequence has switched caller ID on
  o.ring.periodSeconds = 1.0;
  o.ring.rings = 30;
  CallRig rig(o, Ini("CallerId=1\nStopOnHangUp=1\n"));
  TMainForm& form = rig.Start();
  ASSERT_TRUE(rig.fx.messages.isEmpty()) << rig.fx.messages.join('\n').toStdString();
  const QStringList start = form.MonitorForm->Lines();
  ASSERT_TRUE(start.contains("Setting caller ID.."));
  EXPECT_GT(start.indexOf("Setting caller ID.."), start.indexOf("Setting no autoanswer.."));
  EXPECT_EQ(form.StatusPanel(2), " Virtual");

  ASSERT_TRUE(QTest::qWaitFor([&] { return form.StatusPanel(2) == " " + kCaller; }, kWaitMs))
      << form.StatusPanel(2).toStdString();
  EXPECT_TRUE(form.MonitorForm->Lines().contains("Incoming call"));
  // The panel reaches to the end of the bar for it, the whole text as its tool tip.
  EXPECT_GT(form.StatusPanels[2]->width(), 150);
  EXPECT_EQ(form.StatusPanels[2]->toolTip(), kCaller);

  form.RecSb1->click();
  ASSERT_TRUE(form.RecordingActive()) << rig.fx.messages.join('\n').toStdString();
  EXPECT_EQ(form.StatusPanel(2), " " + kCaller);  // shown during the recording too
  ASSERT_TRUE(QTest::qWaitFor([&] { return !form.RecSb1->isChecked(); }, kWaitMs));
  EXPECT_TRUE(rig.fx.messages.isEmpty()) << rig.fx.messages.join('\n').toStdString();
  // Ended by the dial tone, not by the 5 s of silence after it; how soon is the calls
  // benchmark's figure (dialtone_to_stop_ms), so a loaded machine has a wide margin here.
  const double delay = rig.StopDelay(1.0);
  EXPECT_GT(delay, 0.0);
  EXPECT_LT(delay, 4.0);

  // Saved as by Stop, the row named after the caller, every byte received in the file.
  ASSERT_EQ(form.CallCount(), 1);
  EXPECT_EQ(form.CallList[0].Memo, "5551234 JOHN DOE");
  EXPECT_EQ(form.Grid1->item(0, 3)->text(), "5551234 JOHN DOE");
  EXPECT_FALSE(form.ModemF->PortIsOpen);
  EXPECT_TRUE(form.Playsb1->isEnabled());
  EXPECT_TRUE(form.Record1->isEnabled());
  const QByteArray wav = rig.Wav(form);
  ASSERT_EQ(wav.size(), 44 + form.ModemF->RecordedBytes);
  EXPECT_EQ(wav.mid(44), QByteArray::fromStdString(rig.modem.streamed()).left(wav.size() - 44));
  EXPECT_TRUE(wav.mid(44).contains(QByteArray("\x7f\x10") + 'd'));
  // The call is in the list on disk at once, its journal gone.
  const std::vector<TCallRecord> atOnce =
      LoadCallFile(rig.fx.Path(QString::fromLatin1(kCallFileName)));
  ASSERT_EQ(atOnce.size(), 1u);
  EXPECT_EQ(atOnce[0].Memo, "5551234 JOHN DOE");
  EXPECT_TRUE(QDir(rig.fx.Path("wav")).entryList({"*.journal"}, QDir::Files).isEmpty());
  const QStringList log = form.MonitorForm->Lines();
  // As the recording began (and at a second ring, if one came before Record).
  const qsizetype caller = log.lastIndexOf(kCaller);
  EXPECT_GT(caller, log.indexOf("Voice line set.. "));
  const qsizetype ended = log.indexOf("Call ended (dial tone): recording stopped");
  ASSERT_GT(ended, caller) << log.join('|').toStdString();
  EXPECT_EQ(log.value(ended + 1), "Com port closed...");
  EXPECT_EQ(form.StatusPanel(2), " Virtual");
  EXPECT_LT(form.StatusPanels[2]->width(), 150);  // its own width again
  EXPECT_EQ(form.StatusPanels[2]->toolTip(), "");

  // The user can still edit the memo, and the list keeps it.
  rig.fx.inputAnswer = QStringLiteral("5551234 JOHN DOE about the roof");
  form.EditMemo();
  EXPECT_EQ(rig.fx.inputs, QStringList({"Comment|5551234 JOHN DOE"}));
  form.close();
  const std::vector<TCallRecord> stored =
      LoadCallFile(rig.fx.Path(QString::fromLatin1(kCallFileName)));
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].Memo, "5551234 JOHN DOE about the roof");
}

TEST(MainFormCallTest, SilenceAloneEndsTheRecordingWhenTheModemSendsNoCode) {
  vmodem::Options o = CallingModem(1.0, 0);
  CallRig rig(o, Ini("StopOnHangUp=1\nSilenceSeconds=2\n"));
  TMainForm& form = rig.Start();
  form.RecSb1->click();
  ASSERT_TRUE(form.RecordingActive()) << rig.fx.messages.join('\n').toStdString();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !form.RecSb1->isChecked(); }, kWaitMs));
  const double delay = rig.StopDelay(1.0);
  EXPECT_GT(delay, 1.95);  // the modem sends the 16000th silent sample 2 s in
  EXPECT_LT(delay, 2.0 + 3.0);  // the figure itself is the calls benchmark's
  ASSERT_EQ(form.CallCount(), 1);
  EXPECT_EQ(form.CallList[0].Memo, "");  // no call rang, and caller ID is off
  const QByteArray wav = rig.Wav(form);
  ASSERT_EQ(wav.size(), 44 + form.ModemF->RecordedBytes);
  EXPECT_EQ(wav.mid(44), QByteArray::fromStdString(rig.modem.streamed()).left(wav.size() - 44));
  EXPECT_GE(wav.size() - 44, 3 * 8000);
  EXPECT_TRUE(form.MonitorForm->Lines().contains("Call ended (2 s of silence): recording stopped"));
  EXPECT_TRUE(rig.fx.messages.isEmpty()) << rig.fx.messages.join('\n').toStdString();
  form.close();
}

TEST(MainFormCallTest, ARecordingLongAfterTheLastRingHasNoCaller) {
  vmodem::Options o = CallingModem(-1);
  o.ring.atSeconds = 1.0;
  o.ring.periodSeconds = 0.5;
  o.ring.rings = 2;
  CallRig rig(o, Ini("CallerId=1\n"));
  TMainForm& form = rig.Start();
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.StatusPanel(2) == " " + kCaller; }, kWaitMs));
  // The rings stop; the caller goes from the panel. A minute later, as far as the window
  // knows, the user records: that is no recording of the call.
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.StatusPanel(2) == " Virtual"; }, kWaitMs));
  const int64_t later = form.Recorder->CallWatch.Clock() + TCallWatch::kRecordingAfterRingMs;
  form.Recorder->CallWatch.Clock = [later] { return later; };
  form.RecSb1->click();
  ASSERT_TRUE(form.RecordingActive());
  EXPECT_EQ(form.StatusPanel(2), " Virtual");
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.ModemF->RecordedBytes >= 800; }, kWaitMs));
  form.StopSb1->click();
  ASSERT_EQ(form.CallCount(), 1);
  EXPECT_EQ(form.CallList[0].Memo, "");
  form.close();
}
