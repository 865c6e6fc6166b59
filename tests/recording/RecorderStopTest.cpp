#include <gtest/gtest.h>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <QtEndian>

#include "common/RecorderRig.h"
#include "common/FileBytes.h"
#include "serial/PortMap.h"

TEST(RecorderStop, SavesHeaderAndSamplesAndAddsTheCall) {
  RecorderRig rig;
  QByteArray samples(3000, '\0');
  for (int i = 0; i < samples.size(); ++i) samples[i] = static_cast<char>(i * 7);
  rig.FakeRecording(samples);
  rig.panel->Recorder.StopRecordingOrPlayback();
  ASSERT_TRUE(rig.messages.isEmpty()) << rig.messages.join('|').toStdString();
  ASSERT_EQ(rig.calls, QStringList{QStringLiteral("CALL1")});
  EXPECT_EQ(rig.currentFileName, QStringLiteral("CALL1"));
  const QByteArray file = ReadAll(QStringLiteral("wav/CALL1.wav"));
  ASSERT_EQ(file.size(), 44 + 3000);
  EXPECT_EQ(file.mid(44), samples);
  EXPECT_EQ(file.left(4), "RIFF");
  EXPECT_FALSE(rig.c.RecSb1->isChecked());
  EXPECT_FALSE(rig.panel->RecordingActive());
  for (QAction* a :
       {rig.c.Record1, rig.c.Comment1, rig.c.Delete1, rig.c.Play1, rig.c.Pause1, rig.c.Stop1}) {
    EXPECT_TRUE(a->isEnabled());
  }
  for (QToolButton* b : {rig.c.Playsb1, rig.c.PauseSb1, rig.c.StopSb1}) EXPECT_TRUE(b->isEnabled());
  for (QToolButton* b : {rig.c.PrevSb1, rig.c.NextSb1}) EXPECT_FALSE(b->isEnabled());
  EXPECT_FALSE(rig.c.Previous1->isEnabled() || rig.c.Next1->isEnabled());
  EXPECT_TRUE(rig.panel->Scope.ScopeBlank);

  // Bytes that still arrive after the stop are not appended to the saved image.
  rig.Receive(QByteArray(10, 'z'));
  EXPECT_EQ(rig.panel->VoiceStream.Size(), 44 + 3000);
}

TEST(RecorderStop, UnwritableFileLeavesNoRowAndStopCanBeRetried) {
  RecorderRig rig;
  rig.AddCall(QStringLiteral("OLDONE"));
  rig.currentFileName = QStringLiteral("OLDONE");
  const QByteArray samples(800, '\x81');
  rig.FakeRecording(samples);
  {
    QFile blocker(QStringLiteral("wav"));  // a file where the folder should be
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  }
  rig.panel->Recorder.StopRecordingOrPlayback();
  ASSERT_EQ(rig.messages.size(), 1);
  EXPECT_TRUE(rig.messages[0].contains(QStringLiteral("wav")));
  EXPECT_EQ(rig.calls, QStringList{QStringLiteral("OLDONE")});
  EXPECT_EQ(rig.currentFileName, QStringLiteral("OLDONE"));
  EXPECT_TRUE(rig.c.RecSb1->isChecked());
  EXPECT_FALSE(rig.c.Record1->isEnabled());
  EXPECT_TRUE(rig.c.StopSb1->isEnabled());

  ASSERT_TRUE(QFile::remove(QStringLiteral("wav")));
  rig.messages.clear();
  rig.panel->Recorder.StopRecordingOrPlayback();
  ASSERT_TRUE(rig.messages.isEmpty()) << rig.messages.join('|').toStdString();
  ASSERT_EQ(rig.calls.size(), 2);
  const QByteArray file = ReadAll(QStringLiteral("wav/") + rig.calls[1] + QStringLiteral(".wav"));
  ASSERT_EQ(file.size(), 844);
  EXPECT_EQ(file.mid(44), samples);
  EXPECT_FALSE(rig.c.RecSb1->isChecked());
}

TEST(RecorderStop, ModemOffDuringARecordingSavesNothing) {
  RecorderRig rig;
  rig.FakeRecording(QByteArray(500, '\x80'));
  rig.c.On1->setChecked(true);
  rig.panel->Recorder.Off1Click();
  EXPECT_FALSE(rig.c.RecSb1->isChecked());
  EXPECT_FALSE(rig.c.Record1->isEnabled());
  EXPECT_FALSE(rig.c.On1->isChecked());
  EXPECT_TRUE(rig.c.Off1->isChecked());
  rig.panel->Recorder.StopRecordingOrPlayback();
  EXPECT_TRUE(rig.calls.isEmpty());
  EXPECT_FALSE(QFileInfo::exists(QStringLiteral("wav")));
  EXPECT_EQ(rig.panel->VoiceStream.Size(), 544);  // kept until the next reception
}

TEST(RecorderStop, WithoutVoiceFeaturesStopOnlyDisablesRecord) {
  RecorderRig rig;
  Voicefeatures = false;
  rig.panel->Recorder.StopRecordingOrPlayback();
  EXPECT_FALSE(rig.c.RecSb1->isEnabled());
  EXPECT_FALSE(rig.c.Record1->isEnabled());
  EXPECT_TRUE(rig.c.Playsb1->isEnabled());
  EXPECT_TRUE(rig.calls.isEmpty());
}

TEST(Recorder, RecordWhileRecordingDoesNothing) {
  RecorderRig rig;
  rig.FakeRecording(QByteArray(100, '\x80'));
  rig.c.StopSb1->setEnabled(true);
  rig.panel->Recorder.StartRecording();
  EXPECT_TRUE(rig.messages.isEmpty());
  EXPECT_TRUE(rig.c.RecSb1->isChecked());
  EXPECT_TRUE(rig.c.StopSb1->isEnabled());
  EXPECT_EQ(rig.panel->VoiceStream.Size(), 144);
}

TEST(Recorder, PortThatCannotOpenNamesItsNumberAndResetsTheButtons) {
  RecorderRig rig;
  SetPortPathSource([](int) { return std::optional<std::string>("/nonexistent/tty-none"); });
  CurrentProfile.port = 5;
  rig.panel->Recorder.StartRecording();
  EXPECT_EQ(rig.messages, QStringList{QStringLiteral("Error during opening com port 5")});
  EXPECT_FALSE(rig.c.RecSb1->isChecked());
  EXPECT_TRUE(rig.c.Record1->isEnabled());
  EXPECT_TRUE(rig.c.Playsb1->isEnabled() && rig.c.PauseSb1->isEnabled());
  EXPECT_TRUE(rig.c.StopSb1->isEnabled());
  EXPECT_FALSE(rig.c.PrevSb1->isEnabled() || rig.c.NextSb1->isEnabled());
  EXPECT_FALSE(QFileInfo::exists(QStringLiteral("wav")));

  rig.messages.clear();
  rig.c.On1->setChecked(false);
  rig.c.Off1->setChecked(true);
  rig.panel->Recorder.On1Click();
  EXPECT_EQ(rig.messages, QStringList{QStringLiteral("Error during opening com port 5")});
  EXPECT_FALSE(rig.c.RecSb1->isEnabled());
  EXPECT_TRUE(rig.c.Off1->isChecked());  // ticks as they were
  SetPortPathSource(nullptr);
}

TEST(RecorderStop, ARecordingThatFillsAWavFileIsStoppedAndSavedNeverWrapped) {
  RecorderRig rig;
  rig.panel->Receiver.MaxSamples = 1000;
  rig.FakeRecording(QByteArray(600, '\x81'));
  rig.Receive(QByteArray(600, '\x82'));  // 400 of them fit
  EXPECT_EQ(rig.link.RecordedBytes, 1000);
  EXPECT_FALSE(rig.panel->RecordingActive());
  rig.Receive(QByteArray(50, '\x83'));  // taken by nobody
  EXPECT_EQ(rig.panel->VoiceStream.Size(), 44 + 1000);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !rig.calls.isEmpty(); }, 5000));
  ASSERT_EQ(rig.messages.size(), 1);
  EXPECT_TRUE(rig.messages[0].contains(QStringLiteral("largest size")));
  const QByteArray file = ReadAll(QStringLiteral("wav/CALL1.wav"));
  ASSERT_EQ(file.size(), 44 + 1000);
  EXPECT_EQ(file.mid(44), QByteArray(600, '\x81') + QByteArray(400, '\x82'));
  EXPECT_FALSE(rig.c.RecSb1->isChecked());
}

TEST(RecorderStop, CountsBeyondThirtyTwoBitsReachTheHeaderUnwrapped) {
  RecorderRig rig;
  rig.link.RecordedBytes = 3'000'000'000LL;
  rig.panel->Recorder.WriteWavHeader();
  const QByteArray h = rig.panel->VoiceStream.Data().left(44);
  EXPECT_EQ(qFromLittleEndian<uint32_t>(h.constData() + 40), 3'000'000'000u);
  EXPECT_EQ(qFromLittleEndian<uint32_t>(h.constData() + 4), 3'000'000'036u);
  EXPECT_EQ(kMaxWavDataLength + 36, int64_t(UINT32_MAX));
}
