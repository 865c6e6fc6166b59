#include <gtest/gtest.h>

#include "RecorderRig.h"
#include "modem/WavPlayer.h"

namespace {
// A silent player on a hand-driven clock with an open file of `ms` milliseconds at 8000/s.
struct PlayerRig {
  int64_t now = 1000;
  TWavPlayer player;
  explicit PlayerRig(int64_t ms) {
    TWavPlayer::SetSilentOutput(true);
    player.SetClock([this] { return now; });
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
