#include <gtest/gtest.h>
#include <QFile>

#include "common/FakeSoundOutput.h"
#include "common/RecorderRig.h"

namespace {
const QRgb kGreen = qRgb(0, 255, 0);

// Enabled state of every recorder control, and the pressed state of the buttons.
QString ControlState(const TRecorderControls& c) {
  QString s;
  for (QToolButton* b : {c.Playsb1, c.PauseSb1, c.StopSb1, c.PrevSb1, c.NextSb1, c.RecSb1}) {
    s += b->isEnabled() ? QLatin1Char('E') : QLatin1Char('d');
    s += b->isChecked() ? QLatin1Char('P') : QLatin1Char('-');
  }
  for (QAction* a : {c.Play1, c.Pause1, c.Stop1, c.Previous1, c.Next1, c.Record1}) {
    s += a->isEnabled() ? QLatin1Char('E') : QLatin1Char('d');
  }
  s += c.Timer2->isActive() ? QLatin1Char('T') : QLatin1Char('-');
  return s;
}

struct PlaybackRig : RecorderRig {
  // A call whose recording lasts `ms` milliseconds at 8000 samples per second.
  explicit PlaybackRig(int64_t ms = 20000) {
    QByteArray samples(static_cast<int>(ms * 8), '\x80');
    for (int i = 0; i < samples.size(); i += 7) samples[i] = '\xC0';
    WriteWav(QStringLiteral("PLAYME"), samples);
    AddCall(QStringLiteral("PLAYME"));
  }
  TPlayback& pb() { return panel->Playback; }
  TWavPlayer& player() { return panel->Player; }
  void ExpectIdle() {
    EXPECT_EQ(player().Mode(), TPlayerMode::NotReady);
    EXPECT_FALSE(c.Playsb1->isChecked());
    EXPECT_FALSE(c.PauseSb1->isChecked());
    EXPECT_FALSE(c.Timer2->isActive());
    EXPECT_FALSE(c.PrevSb1->isEnabled());
    EXPECT_FALSE(c.NextSb1->isEnabled());
    EXPECT_FALSE(c.Previous1->isEnabled());
    EXPECT_FALSE(c.Next1->isEnabled());
    EXPECT_FALSE(pb().PositionMoved);
    EXPECT_EQ(c.TrackBar1->value(), 0);
    EXPECT_TRUE(panel->Scope.ScopeBlank);
  }
};
}  // namespace

TEST(Playback, PlayPauseResumeAndStopFollowTheStateTable) {
  PlaybackRig rig;
  rig.pb().StartPlayback();
  ASSERT_TRUE(rig.messages.isEmpty()) << rig.messages.join('|').toStdString();
  EXPECT_EQ(rig.currentFileName, QStringLiteral("PLAYME"));
  EXPECT_EQ(rig.player().Mode(), TPlayerMode::Playing);
  EXPECT_EQ(rig.panel->VoiceStream.Size(), 44 + 160000);
  EXPECT_TRUE(rig.c.Playsb1->isChecked());
  EXPECT_TRUE(rig.c.Timer2->isActive());
  EXPECT_FALSE(rig.c.RecSb1->isEnabled());
  EXPECT_FALSE(rig.c.Record1->isEnabled());
  EXPECT_FALSE(rig.c.PrevSb1->isEnabled());

  rig.now += 5000;
  rig.pb().Timer2Timer();
  EXPECT_EQ(rig.c.TrackBar1->value(), 25);
  EXPECT_EQ(rig.c.Label10->text(), QStringLiteral("20000   5000"));
  EXPECT_TRUE(rig.panel->Scope.ScopeDrawn);

  rig.pb().StartPlayback();  // Play while playing keeps playing
  EXPECT_EQ(rig.player().Mode(), TPlayerMode::Playing);
  EXPECT_TRUE(rig.c.Playsb1->isChecked());

  rig.pb().PausePlayback();
  EXPECT_EQ(rig.player().Mode(), TPlayerMode::Paused);
  EXPECT_TRUE(rig.c.PauseSb1->isChecked());
  EXPECT_FALSE(rig.c.Playsb1->isChecked());
  EXPECT_FALSE(rig.c.Timer2->isActive());
  EXPECT_TRUE(rig.c.PrevSb1->isEnabled() && rig.c.NextSb1->isEnabled());
  EXPECT_TRUE(rig.c.Previous1->isEnabled() && rig.c.Next1->isEnabled());
  EXPECT_FALSE(rig.c.RecSb1->isEnabled());
  rig.now += 3000;
  rig.pb().PausePlayback();  // Pause while paused does not resume
  EXPECT_EQ(rig.player().Mode(), TPlayerMode::Paused);
  EXPECT_EQ(rig.player().Position(), 5000);

  rig.pb().StartPlayback();  // resume
  EXPECT_EQ(rig.player().Mode(), TPlayerMode::Playing);
  EXPECT_TRUE(rig.c.Playsb1->isChecked());
  EXPECT_FALSE(rig.c.PauseSb1->isChecked());
  EXPECT_TRUE(rig.c.Timer2->isActive());
  EXPECT_FALSE(rig.c.PrevSb1->isEnabled());
  rig.now += 1000;
  EXPECT_EQ(rig.player().Position(), 6000);

  rig.panel->Recorder.StopRecordingOrPlayback();
  rig.ExpectIdle();
  EXPECT_TRUE(rig.c.RecSb1->isEnabled());
  EXPECT_TRUE(rig.c.Record1->isEnabled());
}

TEST(Playback, RewindAndFastForwardStepByAFortiethAndRefuseToLeaveTheFile) {
  PlaybackRig rig(20000);
  rig.pb().StartPlayback();
  rig.now += 1200;
  rig.pb().PausePlayback();
  rig.pb().RewindPlayback();
  EXPECT_EQ(rig.pb().SeekStep, 500);
  EXPECT_TRUE(rig.pb().PositionMoved);
  EXPECT_EQ(rig.player().Position(), 700);
  rig.pb().RewindPlayback();
  rig.pb().RewindPlayback();  // 200 - 500 is refused
  EXPECT_EQ(rig.player().Position(), 200);
  EXPECT_EQ(rig.c.Label10->text(), QStringLiteral("20000   200"));
  EXPECT_EQ(rig.c.TrackBar1->value(), 1);
  rig.pb().PausePlayback();  // moved: Pause keeps PauseSb1 pressed
  EXPECT_TRUE(rig.c.PauseSb1->isChecked());

  rig.pb().StartPlayback();  // resumes from the moved position
  EXPECT_EQ(rig.player().Mode(), TPlayerMode::Playing);
  EXPECT_TRUE(rig.pb().PositionMoved);
  rig.now += 19400;
  rig.pb().PausePlayback();
  EXPECT_EQ(rig.player().Position(), 19600);
  rig.pb().ForwardPlayback();  // 20100 is refused
  EXPECT_EQ(rig.player().Position(), 19600);
  EXPECT_EQ(rig.player().Mode(), TPlayerMode::Paused);
  rig.pb().RewindPlayback();
  EXPECT_EQ(rig.player().Position(), 19100);
  rig.pb().StartPlayback();
  rig.now += 400;
  rig.pb().PausePlayback();
  rig.pb().ForwardPlayback();  // lands exactly on the end: as if played to the end
  rig.ExpectIdle();
  EXPECT_TRUE(rig.c.RecSb1->isEnabled());
}

TEST(Playback, ShortRecordingStepsByOneUnit) {
  PlaybackRig rig(30);
  rig.pb().StartPlayback();
  rig.now += 10;
  rig.pb().PausePlayback();
  rig.pb().ForwardPlayback();
  EXPECT_EQ(rig.pb().SeekStep, 1);
  EXPECT_EQ(rig.player().Position(), 11);
}

TEST(Playback, EndOfFileResetsTheControlsAndRecordNeedsVoiceFeatures) {
  for (const bool voice : {true, false}) {
    PlaybackRig rig(1000);
    Voicefeatures = voice;
    rig.pb().StartPlayback();
    rig.now += 600;
    rig.pb().Timer2Timer();
    EXPECT_EQ(rig.c.TrackBar1->value(), 60);
    rig.now += 600;
    rig.pb().Timer2Timer();
    rig.ExpectIdle();
    EXPECT_EQ(rig.c.RecSb1->isEnabled(), voice);
    EXPECT_EQ(rig.c.Record1->isEnabled(), voice);
  }
}

TEST(Playback, MissingOrUnplayableFileChangesNoControl) {
  PlaybackRig rig;
  rig.AddCall(QStringLiteral("GONE"));
  rig.panel->VoiceStream.Assign("previous");
  const QString before = ControlState(rig.c);
  rig.pb().StartPlayback();
  EXPECT_EQ(rig.messages, QStringList{QStringLiteral("Wav file does not exist")});
  EXPECT_EQ(rig.currentFileName, QStringLiteral("GONE"));
  EXPECT_EQ(ControlState(rig.c), before);

  for (const QByteArray& bad : {QByteArray("RIFF\x24\0\0\0WAVEfm", 14), QByteArray(300, 'x')}) {
    rig.messages.clear();
    QFile f(QStringLiteral("wav/GONE.wav"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bad);
    f.close();
    rig.pb().StartPlayback();
    EXPECT_EQ(rig.messages, QStringList{QStringLiteral("Error opening Media player")});
    EXPECT_EQ(ControlState(rig.c), before);
    EXPECT_EQ(rig.panel->VoiceStream.Data(), "previous");
    EXPECT_EQ(rig.player().Mode(), TPlayerMode::NotReady);
  }
}

TEST(Playback, StretchBeforeTheStartOfTheFileIsDrawnAtTheZeroLevel) {
  PlaybackRig rig;
  rig.pb().StartPlayback();
  rig.pb().UpdatePlaybackPosition();  // position 0: the whole stretch lies before the file
  const QImage& img = rig.panel->Scope.ScopeBitmap;
  for (int x = 8; x < 376; ++x) ASSERT_EQ(img.pixel(x, 73), kGreen) << x;
  rig.now += 100;  // 800 bytes in: the last 844 samples of the stretch are the file's
  rig.pb().UpdatePlaybackPosition();
  EXPECT_EQ(img.pixel(20, 73), kGreen);
  bool anyAbove = false;
  for (int y = 48; y < 73; ++y) anyAbove |= img.pixel(370, y) == kGreen;
  EXPECT_TRUE(anyAbove);  // the 0xC0 peaks and the header bytes
}

TEST(Playback, ATickDuringARecordingLeavesTheVoiceStreamAlone) {
  PlaybackRig rig;
  rig.pb().StartPlayback();
  rig.now += 4000;
  // A recording has taken over the stream while the timer still ran.
  rig.FakeRecording(QByteArray(3000, '\x55'));
  const int64_t size = rig.panel->VoiceStream.Size();
  const int64_t position = rig.panel->VoiceStream.Position();
  rig.pb().Timer2Timer();
  EXPECT_EQ(rig.panel->VoiceStream.Size(), size);
  EXPECT_EQ(rig.panel->VoiceStream.Position(), position);
  EXPECT_FALSE(rig.c.Timer2->isActive());
}

TEST(Playback, EndBeforeRecordingEndsAPlaybackInEveryState) {
  for (int state = 0; state < 3; ++state) {
    PlaybackRig rig(1000);
    rig.pb().StartPlayback();
    rig.now += 300;
    if (state >= 1) rig.pb().PausePlayback();
    if (state == 2) rig.pb().ForwardPlayback();
    rig.pb().EndBeforeRecording();
    rig.ExpectIdle();
    EXPECT_TRUE(rig.c.RecSb1->isEnabled());
  }
  // Played to the end but not yet seen by a tick: the timer still runs.
  PlaybackRig rig(1000);
  rig.pb().StartPlayback();
  rig.now += 1500;
  ASSERT_TRUE(rig.c.Timer2->isActive());
  rig.pb().EndBeforeRecording();
  rig.ExpectIdle();
}

TEST(Playback, ADeviceThatRefusesToPlayShowsTheErrorAndStartsNothing) {
  PlaybackRig rig;
  FakeDevice device;
  device.refuse = true;
  rig.player().SetOutputFactory(FakeOutputFactory(device));
  rig.pb().StartPlayback();
  EXPECT_EQ(rig.messages, QStringList{QStringLiteral("Error ")});
  EXPECT_FALSE(rig.c.Timer2->isActive());
  EXPECT_FALSE(rig.c.Playsb1->isChecked());
  EXPECT_TRUE(rig.c.RecSb1->isEnabled());
  // Once the device plays, Play opens the file again and plays it.
  device.refuse = false;
  rig.messages.clear();
  rig.pb().StartPlayback();
  EXPECT_TRUE(rig.messages.isEmpty());
  EXPECT_EQ(rig.player().Mode(), TPlayerMode::Playing);
  EXPECT_TRUE(rig.c.Timer2->isActive());
}
