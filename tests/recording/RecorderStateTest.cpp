// The recorder's state through the ways a recording goes, on the virtual modem: the
// state is the recorder's, and Record's pressed look always shows it.
#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTest>
#include <QTimer>

#include "common/ModemRecorderRig.h"

namespace {
bool LooksPressed(TRecordState s) {
  return s == TRecordState::kSettingUp || s == TRecordState::kReceiving ||
         s == TRecordState::kStoppedUnsaved || s == TRecordState::kSaving;
}

// Every state the recorder passes through, read each time Record changes its look and
// once each time the event loop runs during the set-up.
struct StateLog {
  explicit StateLog(ModemRecorderRig& rig) : rig_(rig) {
    QObject::connect(rig.c.RecSb1, &QToolButton::toggled, rig.c.RecSb1, [this](bool pressed) {
      const TRecordState s = rig_.panel->Recorder.State();
      seen.push_back(s);
      if (pressed != LooksPressed(s)) mismatches++;
    });
  }
  std::vector<TRecordState> seen;
  int mismatches = 0;

 private:
  ModemRecorderRig& rig_;
};
}  // namespace

TEST(RecorderState, ARecordingGoesFromSettingUpThroughSavingBackToIdle) {
  ModemRecorderRig rig(PatternLine("conexant", std::string("\x81\x82", 2)));
  rig.OpenModem();
  StateLog log(rig);
  TRecordState duringSetUp = TRecordState::kIdle;
  QTimer::singleShot(0, [&] { duringSetUp = rig.panel->Recorder.State(); });
  rig.panel->Recorder.StartRecording();
  EXPECT_EQ(duringSetUp, TRecordState::kSettingUp);
  ASSERT_EQ(rig.panel->Recorder.State(), TRecordState::kReceiving)
      << rig.messages.join('|').toStdString();
  EXPECT_TRUE(rig.panel->RecordingActive());
  EXPECT_TRUE(rig.panel->Recorder.UsesModem());
  ASSERT_TRUE(rig.WaitForBytes(800));

  TRecordState whileAdding = TRecordState::kIdle;
  const auto add = rig.panel->Calls.AddCallRecord;
  rig.panel->Calls.AddCallRecord = [&](const QString& fileName) {
    whileAdding = rig.panel->Recorder.State();
    return add(fileName);
  };
  rig.panel->Recorder.StopRecordingOrPlayback();
  EXPECT_EQ(whileAdding, TRecordState::kSaving);
  EXPECT_EQ(rig.panel->Recorder.State(), TRecordState::kIdle);
  EXPECT_FALSE(rig.panel->RecordingActive());
  EXPECT_EQ(log.mismatches, 0);
  EXPECT_EQ(log.seen, (std::vector<TRecordState>{TRecordState::kSettingUp, TRecordState::kIdle}));
}

TEST(RecorderState, AFailedSaveStaysStoppedUnsavedUntilAStopThatSaves) {
  ModemRecorderRig rig(PatternLine("conexant", std::string("\x81", 1)));
  rig.OpenModem();
  rig.panel->Recorder.StartRecording();
  ASSERT_TRUE(rig.WaitForBytes(400));
  ASSERT_TRUE(QDir(QStringLiteral("wav")).removeRecursively());
  {
    QFile blocker(QStringLiteral("wav"));  // a file where the folder should be
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  }
  StateLog log(rig);
  rig.panel->Recorder.StopRecordingOrPlayback();
  EXPECT_EQ(rig.panel->Recorder.State(), TRecordState::kStoppedUnsaved);
  EXPECT_FALSE(rig.panel->RecordingActive());
  EXPECT_FALSE(rig.panel->Recorder.UsesModem());  // the port is closed: diagnostics may run
  EXPECT_TRUE(rig.c.RecSb1->isChecked());
  EXPECT_TRUE(rig.c.StopSb1->isEnabled());

  // Record does nothing while samples wait for their file.
  rig.messages.clear();
  rig.panel->Recorder.StartRecording();
  EXPECT_EQ(rig.panel->Recorder.State(), TRecordState::kStoppedUnsaved);
  EXPECT_TRUE(rig.messages.isEmpty());

  ASSERT_TRUE(QFile::remove(QStringLiteral("wav")));
  rig.panel->Recorder.StopRecordingOrPlayback();
  EXPECT_EQ(rig.panel->Recorder.State(), TRecordState::kIdle);
  EXPECT_EQ(rig.calls.size(), 1);
  EXPECT_EQ(log.mismatches, 0);
}

TEST(RecorderState, TheDevelopersReceptionIsNoRecordingAndEndsWithModemOff) {
  ModemRecorderRig rig(PatternLine("conexant", std::string("\x81", 1)));
  rig.OpenModem();
  StateLog log(rig);
  rig.panel->Recorder.VoiceRecBtnClick();
  ASSERT_EQ(rig.panel->Recorder.State(), TRecordState::kVoiceReceive)
      << rig.messages.join('|').toStdString();
  EXPECT_TRUE(rig.panel->RecordingActive());
  EXPECT_FALSE(rig.c.RecSb1->isChecked());
  ASSERT_TRUE(rig.WaitForBytes(400));
  rig.panel->Recorder.StopRecordingOrPlayback();  // saves nothing: Record is not pressed
  EXPECT_EQ(rig.panel->Recorder.State(), TRecordState::kVoiceReceive);
  EXPECT_TRUE(rig.calls.isEmpty());
  rig.panel->Recorder.Off1Click();
  EXPECT_EQ(rig.panel->Recorder.State(), TRecordState::kIdle);
  EXPECT_FALSE(rig.panel->RecordingActive());
  EXPECT_TRUE(log.seen.empty());  // Record never changed its look
}

TEST(RecorderState, ModemOffDuringTheSetUpOrTheRecordingCutsItOffUnsaved) {
  for (const bool duringSetUp : {true, false}) {
    SCOPED_TRACE(duringSetUp ? "during the set-up" : "during the recording");
    ModemRecorderRig rig(PatternLine("conexant", std::string("\x81", 1)));
    rig.OpenModem();
    StateLog log(rig);
    if (duringSetUp) {
      QTimer::singleShot(0, [&] { rig.panel->Recorder.Off1Click(); });
      rig.panel->Recorder.StartRecording();
    } else {
      rig.panel->Recorder.StartRecording();
      ASSERT_TRUE(rig.WaitForBytes(400));
      rig.panel->Recorder.Off1Click();
    }
    EXPECT_EQ(rig.panel->Recorder.State(), TRecordState::kIdle);
    EXPECT_FALSE(rig.c.RecSb1->isChecked());
    EXPECT_FALSE(rig.c.Record1->isEnabled());
    // Nothing was recorded during the set-up; a recording is told to be kept for later.
    EXPECT_EQ(rig.messages.size(), duringSetUp ? 0 : 1) << rig.messages.join('|').toStdString();
    EXPECT_TRUE(rig.calls.isEmpty());
    EXPECT_EQ(log.mismatches, 0);
  }
}
