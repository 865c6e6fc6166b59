#include <gtest/gtest.h>

#include "common/FakeSoundOutput.h"
#include "common/RecorderRig.h"
#include "common/SoundServer.h"
#include "sound/WavPlayer.h"

namespace {
// A silent player on a hand-driven clock with an open file of `ms` milliseconds at 8000/s.
struct PlayerRig {
  int64_t now = 1000;
  TWavPlayer player;
  explicit PlayerRig(int64_t ms) {
    TWavPlayer::SetSilentOutput(true);
    player.SetClock([this] { return now; });
    if (ms > 0) Open(ms);
  }
  void Open(int64_t ms) {
    TVoiceStream s;
    const auto n = static_cast<uint32_t>(ms * 8);
    WriteWavHeader(s, n, 8000);
    s.Write(QByteArray(n, '\x80').constData(), n);
    EXPECT_TRUE(player.OpenImage(s.Data()));
  }
};
}  // namespace

TEST(WavPlayer, PlaysAgainstTheClockPausesAndEndsAtTheLength) {
  PlayerRig r(2000);
  EXPECT_FALSE(r.player.Audible());
  EXPECT_EQ(r.player.Length(), 2000);
  EXPECT_EQ(r.player.Mode(), TPlayerMode::Stopped);
  ASSERT_TRUE(r.player.Play());
  r.now += 300;
  EXPECT_EQ(r.player.Position(), 300);
  EXPECT_EQ(r.player.Mode(), TPlayerMode::Playing);
  r.player.Pause();
  r.now += 5000;
  EXPECT_EQ(r.player.Mode(), TPlayerMode::Paused);
  EXPECT_EQ(r.player.Position(), 300);
  r.player.Resume();
  r.now += 1000;
  EXPECT_EQ(r.player.Position(), 1300);
  r.now += 1000;
  EXPECT_EQ(r.player.Position(), 2000);
  EXPECT_EQ(r.player.Mode(), TPlayerMode::Stopped);
  r.now += 1000;
  EXPECT_EQ(r.player.Position(), 2000);
  r.player.Close();
  EXPECT_EQ(r.player.Mode(), TPlayerMode::NotReady);
  EXPECT_EQ(r.player.Length(), 0);
}

TEST(WavPlayer, SeekOutsideTheFileIsRefusedAndStopsPlayingInside) {
  PlayerRig r(1000);
  r.player.Play();
  r.now += 400;
  EXPECT_FALSE(r.player.Seek(-1));
  EXPECT_FALSE(r.player.Seek(1001));
  EXPECT_EQ(r.player.Mode(), TPlayerMode::Playing);
  EXPECT_EQ(r.player.Position(), 400);
  ASSERT_TRUE(r.player.Seek(100));
  EXPECT_EQ(r.player.Mode(), TPlayerMode::Stopped);
  r.now += 500;
  EXPECT_EQ(r.player.Position(), 100);
  r.player.Resume();  // from a stop: plays from the position
  r.now += 50;
  EXPECT_EQ(r.player.Position(), 150);
  ASSERT_TRUE(r.player.Seek(1000));
  EXPECT_EQ(r.player.Position(), 1000);
}

TEST(WavPlayer, AFileThatIsNotPlayableLeavesTheOpenFileAlone) {
  PlayerRig r(1000);
  r.player.Play();
  r.now += 100;
  EXPECT_FALSE(r.player.OpenImage(QByteArray("RIFF\x10\0\0\0WAVEfmt ", 16)));
  r.player.SetFileName(QStringLiteral("/nonexistent/x.wav"));
  EXPECT_FALSE(r.player.Open());
  EXPECT_EQ(r.player.Mode(), TPlayerMode::Playing);
  EXPECT_EQ(r.player.Position(), 100);
  EXPECT_EQ(r.player.Length(), 1000);
}

TEST(WavPlayer, WithNoFileOpenItIsNeitherPlayingNorPaused) {
  TWavPlayer::SetSilentOutput(true);
  TWavPlayer player;
  EXPECT_FALSE(player.Play());
  player.Pause();
  EXPECT_FALSE(player.Seek(0));
  EXPECT_EQ(player.Mode(), TPlayerMode::NotReady);
  EXPECT_EQ(player.Position(), 0);
}

namespace {
struct DeviceRig : PlayerRig {
  FakeDevice device;
  explicit DeviceRig(int64_t ms) : PlayerRig(0) {
    player.SetOutputFactory(FakeOutputFactory(device));
    Open(ms);
  }
};
}  // namespace

TEST(WavPlayerOnADevice, PositionIsWhatTheDeviceHasPlayedAndTheEndWaitsForItsLastSample) {
  DeviceRig r(1000);
  EXPECT_TRUE(r.player.Audible());
  ASSERT_TRUE(r.player.Play());
  EXPECT_EQ(r.device.starts, std::vector<int64_t>{0});
  r.now += 5000;  // the clock does not count while a device plays
  EXPECT_EQ(r.player.Position(), 0);
  r.device.playedUs = 300400;
  EXPECT_EQ(r.player.Position(), 300);
  // Everything played by the count, but the device has not said it is done: the
  // last sample may still be on its way to the speaker.
  r.device.playedUs = 1000000;
  EXPECT_EQ(r.player.Position(), 999);
  EXPECT_EQ(r.player.Mode(), TPlayerMode::Playing);
  EXPECT_TRUE(r.device.running);
  r.device.drained = true;
  EXPECT_EQ(r.player.Position(), 1000);
  EXPECT_EQ(r.player.Mode(), TPlayerMode::Stopped);
  EXPECT_FALSE(r.device.running);
}

TEST(WavPlayerOnADevice, PauseHoldsTheDeviceAndSeekStartsANewRunAtItsByte) {
  DeviceRig r(2000);
  r.player.Play();
  r.device.playedUs = 400000;
  r.player.Pause();
  EXPECT_TRUE(r.device.paused);
  EXPECT_EQ(r.player.Mode(), TPlayerMode::Paused);
  EXPECT_EQ(r.player.Position(), 400);
  r.player.Resume();
  EXPECT_FALSE(r.device.paused);
  EXPECT_EQ(r.device.starts.size(), 1u);  // the same run goes on
  r.device.playedUs = 650000;
  EXPECT_EQ(r.player.Position(), 650);
  r.player.Pause();
  ASSERT_TRUE(r.player.Seek(250));
  EXPECT_FALSE(r.device.running);
  EXPECT_EQ(r.player.Position(), 250);
  r.player.Resume();  // from the seek: a new run from 250 ms, byte 2000 at 8000/s
  EXPECT_EQ(r.device.starts, (std::vector<int64_t>{0, 2000}));
  r.device.playedUs = 100000;
  EXPECT_EQ(r.player.Position(), 350);
}

TEST(WavPlayerOnADevice, ADeviceThatGoesAwayLeavesTheClockToGoOnFromWhatWasHeard) {
  DeviceRig r(1000);
  r.player.Play();
  r.device.playedUs = 500000;
  EXPECT_EQ(r.player.Position(), 500);
  r.now += 100;
  r.device.failed = true;
  EXPECT_EQ(r.player.Position(), 600);
  EXPECT_FALSE(r.player.Audible());
  EXPECT_EQ(r.player.Mode(), TPlayerMode::Playing);
  r.player.Pause();
  r.now += 1000;
  EXPECT_EQ(r.player.Position(), 600);
  r.player.Resume();
  r.now += 400;
  EXPECT_EQ(r.player.Position(), 1000);
  EXPECT_EQ(r.player.Mode(), TPlayerMode::Stopped);
}

TEST(WavPlayerOnADevice, ADeviceLostWhilePausedKeepsThePosition) {
  DeviceRig r(1000);
  r.player.Play();
  r.device.playedUs = 200000;
  r.player.Pause();
  r.now += 700;
  r.device.failed = true;
  EXPECT_EQ(r.player.Position(), 200);
  EXPECT_EQ(r.player.Mode(), TPlayerMode::Paused);
  r.player.Resume();
  r.now += 300;
  EXPECT_EQ(r.player.Position(), 500);
}

TEST(WavPlayerOnADevice, ADeviceThatRefusesToStartMakesPlayFailAndKeepsTheFileOpen) {
  DeviceRig r(1000);
  r.device.refuse = true;
  EXPECT_FALSE(r.player.Play());
  EXPECT_EQ(r.player.Mode(), TPlayerMode::Stopped);
  EXPECT_EQ(r.player.Length(), 1000);
  r.device.refuse = false;
  EXPECT_TRUE(r.player.Play());
  EXPECT_EQ(r.player.Mode(), TPlayerMode::Playing);
}

TEST(WavPlayerOnADevice, AFailedOutputIsToldOnceAndTheNextPlayTriesTheServerAgain) {
  DeviceRig r(1000);
  QStringList notices;
  r.player.SetNotice([&](const QString& text) { notices << text; });
  ASSERT_TRUE(r.player.Play());
  r.device.playedUs = 200000;
  EXPECT_EQ(r.player.Position(), 200);
  r.device.failed = true;
  r.device.failure = TOutputFault::kNotAnswering;
  EXPECT_EQ(r.player.Position(), 200);
  EXPECT_FALSE(r.player.Audible());
  r.now += 100;
  EXPECT_EQ(r.player.Position(), 300);  // on the clock
  r.player.Mode();
  EXPECT_EQ(notices, QStringList{QString(soundtest::kNoticeNotAnswering)});
  r.player.Pause();
  // The server answers again: Play (a resume) plays on it from the position.
  r.device.failed = false;
  r.player.Resume();
  EXPECT_EQ(r.device.made, 2);
  EXPECT_TRUE(r.player.Audible());
  EXPECT_EQ(r.device.starts, (std::vector<int64_t>{0, 300 * 8}));
  r.device.playedUs = 50000;
  EXPECT_EQ(r.player.Position(), 350);
  EXPECT_EQ(notices.size(), 1);
}

TEST(WavPlayerOnADevice, EachKindOfFailureHasItsOwnNotice) {
  const std::vector<std::pair<TOutputFault, QString>> kinds = {
      {TOutputFault::kNoServer, soundtest::kNoticeNoServer},
      {TOutputFault::kNoOutput, soundtest::kNoticeNoOutput},
      {TOutputFault::kServerGone, soundtest::kNoticeGone}};
  for (const auto& [fault, text] : kinds) {
    DeviceRig r(1000);
    QStringList notices;
    r.player.SetNotice([&](const QString& t) { notices << t; });
    r.device.failed = true;
    r.device.failure = fault;
    ASSERT_TRUE(r.player.Play());  // no output is no error
    r.now += 1000;
    EXPECT_EQ(r.player.Mode(), TPlayerMode::Stopped);
    EXPECT_EQ(r.player.Position(), 1000);
    EXPECT_EQ(notices, QStringList{text});
  }
}
