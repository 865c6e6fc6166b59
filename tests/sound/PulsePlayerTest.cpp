// The WAV player on a real sound server: a null sink of the test's own, its monitor
// recorded where the sound matters.
#include <gtest/gtest.h>
#include <QElapsedTimer>
#include <QTest>

#include "common/SoundServer.h"
#include "sound/VoiceStream.h"
#include "sound/WavPlayer.h"

namespace {
constexpr uint32_t kRate = 8000;
constexpr int kWaitMs = 10000;
// The server's clock and ours are read at slightly different moments.
constexpr int64_t kClockSlackMs = 20;

struct ServerRig {
  soundtest::TSoundDevice device;
  TWavPlayer player;
  ServerRig() { TWavPlayer::SetSilentOutput(false); }
  ~ServerRig() {
    player.Close();
    TWavPlayer::SetSilentOutput(true);
  }
  bool Open(int64_t ms, const std::vector<soundtest::TBurst>& bursts = {{0, 1 << 30}}) {
    return player.OpenImage(soundtest::ToneBurstWav(bursts, ms, kRate));
  }
  bool WaitForEnd() {
    return QTest::qWaitFor([&] { return player.Mode() == TPlayerMode::Stopped; }, kWaitMs);
  }
};
}  // namespace

TEST(PulsePlayer, PositionFollowsTheDeviceThroughPauseAndTheEndComesNoEarlier) {
  TAVRIN_NEED_SOUND_SERVER();
  ServerRig rig;
  ASSERT_TRUE(rig.device.Ready());
  ASSERT_TRUE(rig.Open(800));
  ASSERT_TRUE(rig.player.Audible());
  EXPECT_EQ(rig.player.Length(), 800);
  QElapsedTimer wall;
  wall.start();
  ASSERT_TRUE(rig.player.Play());
  QTest::qWait(300);
  rig.player.Pause();
  const int64_t paused = rig.player.Position();
  EXPECT_GT(paused, 0);
  EXPECT_LE(paused, wall.elapsed() + kClockSlackMs);
  QTest::qWait(300);
  EXPECT_EQ(rig.player.Position(), paused);
  EXPECT_EQ(rig.player.Mode(), TPlayerMode::Paused);
  int64_t last = paused;
  rig.player.Resume();
  while (rig.player.Mode() == TPlayerMode::Playing && wall.elapsed() < kWaitMs) {
    const int64_t p = rig.player.Position();
    ASSERT_GE(p, last);
    last = p;
    QTest::qWait(5);
  }
  EXPECT_EQ(rig.player.Mode(), TPlayerMode::Stopped);
  EXPECT_EQ(rig.player.Position(), 800);
  // 800 ms of sound and a 300 ms pause cannot have been heard in less.
  EXPECT_GE(wall.elapsed(), 1100 - kClockSlackMs);
}

TEST(PulsePlayer, SeekStartsTheSoundAtTheNewPosition) {
  TAVRIN_NEED_SOUND_SERVER();
  ServerRig rig;
  ASSERT_TRUE(rig.device.Ready());
  ASSERT_TRUE(rig.Open(1500));
  ASSERT_TRUE(rig.player.Play());
  QTest::qWait(100);
  ASSERT_TRUE(rig.player.Seek(1200));
  EXPECT_EQ(rig.player.Mode(), TPlayerMode::Stopped);
  EXPECT_EQ(rig.player.Position(), 1200);
  QElapsedTimer wall;
  wall.start();
  rig.player.Resume();
  ASSERT_TRUE(rig.WaitForEnd());
  EXPECT_EQ(rig.player.Position(), 1500);
  EXPECT_GE(wall.elapsed(), 300 - kClockSlackMs);
  EXPECT_LT(wall.elapsed(), 1200);
}

TEST(PulsePlayer, AFormatTheServerRefusesMakesPlayFail) {
  TAVRIN_NEED_SOUND_SERVER();
  ServerRig rig;
  ASSERT_TRUE(rig.device.Ready());
  TVoiceStream s;
  WriteWavHeader(s, 1000, 1000000);  // a million samples a second
  s.Write(QByteArray(1000, '\x80').constData(), 1000);
  ASSERT_TRUE(rig.player.OpenImage(s.Data()));
  EXPECT_FALSE(rig.player.Play());
  EXPECT_EQ(rig.player.Mode(), TPlayerMode::Stopped);
}

TEST(PulsePlayer, WithNoServerItPlaysOnTheClock) {
  soundtest::TScopedEnv server("PULSE_SERVER", "unix:/nonexistent/tavrin-test/native");
  TWavPlayer::SetSilentOutput(false);
  TWavPlayer player;
  ASSERT_TRUE(player.OpenImage(soundtest::ToneBurstWav({{0, 100}}, 200, kRate)));
  EXPECT_FALSE(player.Audible());
  QElapsedTimer wall;
  wall.start();
  ASSERT_TRUE(player.Play());
  ASSERT_TRUE(QTest::qWaitFor([&] { return player.Mode() == TPlayerMode::Stopped; }, kWaitMs));
  EXPECT_GE(wall.elapsed(), 200);
  EXPECT_EQ(player.Position(), 200);
  TWavPlayer::SetSilentOutput(true);
}

TEST(PulsePlayer, AServerKilledDuringPlayLeavesTheClockToFinish) {
  soundtest::TPrivateServer server;
  if (!server.Running()) {
    if (soundtest::ServerRequired()) GTEST_FAIL() << server.Error().toStdString();
    GTEST_SKIP() << server.Error().toStdString();
  }
  TWavPlayer::SetSilentOutput(false);
  TWavPlayer player;
  ASSERT_TRUE(player.OpenImage(soundtest::ToneBurstWav({{0, 1000}}, 1000, kRate)));
  ASSERT_TRUE(player.Audible());
  ASSERT_TRUE(player.Play());
  QTest::qWait(300);
  const int64_t before = player.Position();
  EXPECT_GT(before, 0);
  server.Kill();
  int64_t last = before;
  QElapsedTimer wall;
  wall.start();
  while (player.Mode() == TPlayerMode::Playing && wall.elapsed() < kWaitMs) {
    const int64_t p = player.Position();
    ASSERT_GE(p, last);
    last = p;
    QTest::qWait(10);
  }
  EXPECT_FALSE(player.Audible());
  EXPECT_EQ(player.Mode(), TPlayerMode::Stopped);
  EXPECT_EQ(player.Position(), 1000);
  EXPECT_LT(wall.elapsed(), 2000);
  TWavPlayer::SetSilentOutput(true);
}
