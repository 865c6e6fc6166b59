// Recording end to end: the recorder drives a virtual voice modem over a pseudo-terminal.
#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include "common/ModemRecorderRig.h"

TEST(RecordOverModem, FileHoldsExactlyWhatTheModemSentAfterVrx) {
  // 0x10 in the line makes the modem send DLE pairs; nothing may be filtered.
  ModemRecorderRig rig(PatternLine("conexant", std::string("\x80\x10\x90\x03\x7f", 5)));
  rig.OpenModem();
  rig.panel->Recorder.StartRecording();
  ASSERT_TRUE(rig.messages.isEmpty()) << rig.messages.join('|').toStdString();
  EXPECT_TRUE(rig.c.RecSb1->isChecked());
  EXPECT_TRUE(rig.c.StopSb1->isEnabled());
  EXPECT_FALSE(rig.c.Record1->isEnabled());
  EXPECT_FALSE(rig.c.Playsb1->isEnabled());
  EXPECT_TRUE(rig.panel->RecordingActive());
  const QString log = rig.monitor.Text();
  for (const char* line : {"Setting modem in voice mode..", "Setting Rec gain..",
                           "Setting voice compression..", "Voice line set.. "}) {
    EXPECT_TRUE(log.contains(QString::fromLatin1(line))) << line;
  }

  ASSERT_TRUE(rig.WaitForBytes(4000));
  EXPECT_EQ(rig.modem.commands(),
            (std::vector<std::string>{"ate0", "at+fclass=8", "at+vgr=128", "at+vsm=1,8000",
                                      "at+vls=1", "at+vrx"}));
  EXPECT_GE(rig.panel->Scope.DrawCount, 1);
  // Stop the modem's side, let everything it wrote arrive, then stop the recording.
  rig.modem.stop();
  const std::string streamed = rig.modem.streamed();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return rig.link.RecordedBytes >= static_cast<int64_t>(streamed.size()); }, kWaitMs));
  const int64_t n = rig.link.RecordedBytes;
  rig.panel->Recorder.StopRecordingOrPlayback();
  ASSERT_TRUE(rig.messages.isEmpty()) << rig.messages.join('|').toStdString();
  EXPECT_FALSE(rig.link.PortIsOpen);
  ASSERT_EQ(rig.calls.size(), 1);
  const QByteArray file = rig.SavedFile();
  ASSERT_EQ(file.size(), 44 + n);
  EXPECT_EQ(file.mid(44), QByteArray::fromStdString(streamed));
  EXPECT_TRUE(file.mid(44, 12).contains("CONNECT"));
  EXPECT_TRUE(file.contains(QByteArray("\x10\x10", 2)));
  EXPECT_TRUE(rig.c.Playsb1->isEnabled());
  EXPECT_FALSE(rig.c.RecSb1->isChecked());
}

TEST(RecordOverModem, SignedPcmIsStoredWithTheTopBitInverted) {
  ModemRecorderRig rig(PatternLine("signedpcm", std::string("\x00\x7f\x80\xff", 4)));
  rig.link.SignedSamples = 1;
  rig.OpenModem();
  rig.panel->Recorder.StartRecording();
  ASSERT_TRUE(rig.messages.isEmpty()) << rig.messages.join('|').toStdString();
  ASSERT_TRUE(rig.WaitForBytes(2000));
  rig.panel->Recorder.StopRecordingOrPlayback();
  const QByteArray file = rig.SavedFile();
  const std::string streamed = rig.modem.streamed();
  const QByteArray data = file.mid(44);
  ASSERT_GE(data.size(), 2000);
  ASSERT_LE(static_cast<size_t>(data.size()), streamed.size());
  for (qsizetype i = 0; i < data.size(); ++i) {
    ASSERT_EQ(static_cast<uint8_t>(data[i]), static_cast<uint8_t>(streamed[i]) ^ 0x80) << i;
  }
  const QByteArray converted("\x80\xff\x00\x7f", 4);
  EXPECT_TRUE(data.contains(converted));
}

TEST(RecordOverModem, EachSetUpFailureNamesItsStepAndResetsTheButtons) {
  struct Case {
    const char* field;
    const char* value;
    const char* message;
  };
  const Case cases[] = {
      {"VoiceMode", "at+fclass=9", "Error Setting modem in voice mode.."},
      {"RecGain", "at+vgr=999", "Error setting Rec gain.."},
      {"VoiceCompression", "at+vsm=None", "Voice compression codec can not be recognized"},
      {"VoiceCompression", "at+vsm=77", "Error setting voice compession.."},
      {"UseLine", "at+vls=99", "Error setting line.."},
  };
  ModemRecorderRig rig;
  rig.OpenModem();
  const TModemParams good = CurrentProfile;
  for (const Case& k : cases) {
    CurrentProfile = good;
    QString* field = QString(k.field) == "VoiceMode"          ? &CurrentProfile.VoiceMode
                     : QString(k.field) == "RecGain"          ? &CurrentProfile.RecGain
                     : QString(k.field) == "VoiceCompression" ? &CurrentProfile.VoiceCompression
                                                              : &CurrentProfile.UseLine;
    *field = QString::fromLatin1(k.value);
    rig.messages.clear();
    rig.panel->Recorder.StartRecording();
    EXPECT_EQ(rig.messages, QStringList{QString::fromLatin1(k.message)}) << k.value;
    EXPECT_FALSE(rig.c.RecSb1->isChecked());
    EXPECT_TRUE(rig.c.Record1->isEnabled());
    EXPECT_TRUE(rig.c.Playsb1->isEnabled() && rig.c.PauseSb1->isEnabled());
    EXPECT_TRUE(rig.c.Play1->isEnabled() && rig.c.Pause1->isEnabled());
    EXPECT_TRUE(rig.c.StopSb1->isEnabled());
    EXPECT_FALSE(rig.c.PrevSb1->isEnabled() || rig.c.NextSb1->isEnabled());
    EXPECT_FALSE(rig.panel->RecordingActive());
    EXPECT_TRUE(rig.link.PortIsOpen);  // the port stays open after a failure
  }
}

TEST(RecordOverModem, GainNoneIsSkippedOnlyInLowerCase) {
  ModemRecorderRig rig;
  rig.OpenModem();
  CurrentProfile.RecGain = QStringLiteral("at+vgr=none");
  CurrentProfile.UseLine = QStringLiteral("at+vls=99");  // end the set-up early
  rig.panel->Recorder.StartRecording();
  auto cmds = rig.modem.commands();
  EXPECT_EQ(std::count(cmds.begin(), cmds.end(), std::string("at+vgr=none")), 0);
  CurrentProfile.RecGain = QStringLiteral("at+vgr=NONE");
  rig.panel->Recorder.StartRecording();
  cmds = rig.modem.commands();
  EXPECT_EQ(std::count(cmds.begin(), cmds.end(), std::string("at+vgr=NONE")), 1);
  EXPECT_EQ(rig.messages.last(), QStringLiteral("Error setting Rec gain.."));
}

TEST(RecordOverModem,
     ModemOffOrClosePortSaveNoCallButKeepTheJournalAndRecordWhileRecordingIsIgnored) {
  for (const bool modemOff : {true, false}) {
    SCOPED_TRACE(modemOff ? "Modem Off" : "Close port");
    ModemRecorderRig rig;
    rig.OpenModem();
    rig.panel->Recorder.StartRecording();
    ASSERT_TRUE(rig.WaitForBytes(800));
    const size_t commandsBefore = rig.modem.commands().size();
    rig.panel->Recorder.StartRecording();  // ignored
    EXPECT_EQ(rig.modem.commands().size(), commandsBefore);
    const QString journal = rig.panel->Recorder.Journal.Path();
    if (modemOff) {
      rig.panel->Recorder.Off1Click();
    } else {
      rig.panel->Recorder.ClosePortBtnClick();
    }
    EXPECT_FALSE(rig.link.PortIsOpen);
    EXPECT_FALSE(rig.c.RecSb1->isChecked());
    EXPECT_FALSE(rig.c.Record1->isEnabled());
    EXPECT_EQ(rig.c.Off1->isChecked(), modemOff);
    // Not saved, but not lost: the journal stays for the next start, and the user knows.
    ASSERT_FALSE(rig.messages.isEmpty());
    EXPECT_TRUE(rig.messages.last().contains(QStringLiteral("not saved")));
    EXPECT_TRUE(rig.messages.last().contains(journal)) << rig.messages.last().toStdString();
    EXPECT_TRUE(rig.monitor.Text().contains(QStringLiteral("The recording was not saved")));
    EXPECT_FALSE(rig.panel->Recorder.Journal.Open());
    QFile f(journal);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll().mid(kJournalHeaderSize), rig.panel->VoiceStream.Data().mid(44));
    rig.panel->Recorder.StopRecordingOrPlayback();
    EXPECT_TRUE(rig.calls.isEmpty());
    EXPECT_TRUE(
        QDir(QStringLiteral("wav")).entryList({QStringLiteral("*.wav")}, QDir::Files).isEmpty());
    // The next recording gets a journal of its own; the one kept stays.
    rig.panel->Recorder.StartRecording();
    ASSERT_TRUE(rig.WaitForBytes(400));
    EXPECT_NE(rig.panel->Recorder.Journal.Path(), journal);
    rig.panel->Recorder.StopRecordingOrPlayback();
    EXPECT_EQ(rig.calls.size(), 1);
    EXPECT_EQ(QDir(QStringLiteral("wav")).entryList({QStringLiteral("*.journal")}, QDir::Files),
              QStringList{QFileInfo(journal).fileName()});
  }
}

TEST(RecordOverModem, RecordOpensAClosedPortAndTicksModemOn) {
  ModemRecorderRig rig;
  rig.c.On1->setChecked(false);
  rig.c.Off1->setChecked(true);
  CurrentProfile.UseLine = QStringLiteral("at+vls=99");  // end the set-up after the port part
  rig.panel->Recorder.StartRecording();
  EXPECT_TRUE(rig.link.PortIsOpen);
  EXPECT_TRUE(rig.c.On1->isChecked());
  EXPECT_FALSE(rig.c.Off1->isChecked());
}

TEST(RecordOverModem, ASecondRecordingAfterStopFindsTheModemReady) {
  // Stop closes the port; a modem that resets on the DTR drop comes back with its echo
  // on, and the next Record must still get through the set-up.
  ModemRecorderRig rig;
  rig.OpenModem();
  rig.panel->Recorder.StartRecording();
  ASSERT_TRUE(rig.WaitForBytes(800));
  rig.panel->Recorder.StopRecordingOrPlayback();
  ASSERT_FALSE(rig.link.PortIsOpen);
  ASSERT_EQ(rig.calls.size(), 1);

  rig.panel->Recorder.StartRecording();
  EXPECT_TRUE(rig.messages.isEmpty()) << rig.messages.join('|').toStdString();
  EXPECT_TRUE(rig.panel->RecordingActive());
  EXPECT_TRUE(rig.modem.status().echo);  // the modem echoed the set-up and "at+vrx"
  ASSERT_TRUE(rig.WaitForBytes(800));
  rig.modem.stop();
  const std::string streamed = rig.modem.streamed();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return rig.link.RecordedBytes >= static_cast<int64_t>(streamed.size()); }, kWaitMs));
  rig.panel->Recorder.StopRecordingOrPlayback();
  EXPECT_EQ(rig.calls.size(), 2);
  // The echo of "at+vrx" is not sound: the file holds what the modem sent after it.
  EXPECT_EQ(rig.SavedFile().mid(44), QByteArray::fromStdString(streamed));
}

TEST(RecordOverModem, TheJournalHoldsWhatTheStreamHoldsUntilStopSavesTheFile) {
  ModemRecorderRig rig(PatternLine("signedpcm", std::string("\x00\x7f\x80\xff", 4)));
  rig.OpenModem();
  rig.panel->Recorder.StartRecording();
  ASSERT_TRUE(rig.WaitForBytes(4000));
  const TRecordingJournal& journal = rig.panel->Recorder.Journal;
  ASSERT_TRUE(journal.Active());
  const QString path = journal.Path();
  rig.modem.stop();
  const std::string streamed = rig.modem.streamed();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return rig.link.RecordedBytes >= static_cast<int64_t>(streamed.size()); }, kWaitMs));
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QByteArray bytes = f.readAll();
  // The samples as stored, the signed ones converted: the journal alone makes the file.
  EXPECT_EQ(bytes.mid(kJournalHeaderSize), rig.panel->VoiceStream.Data().mid(44));
  EXPECT_EQ(DecodeJournalHeader(bytes)->SamplesPerSecond, 8000u);
  rig.panel->Recorder.StopRecordingOrPlayback();
  EXPECT_FALSE(QFile::exists(path));
  EXPECT_FALSE(journal.Active());
  ASSERT_EQ(rig.calls.size(), 1);
  EXPECT_EQ(rig.SavedFile().mid(44), bytes.mid(kJournalHeaderSize));
}
