// The WAV player on a real sound server: a null sink of the test's own, its monitor
// recorded where the sound matters; and servers of the tests' own that stop answering,
// have nothing to play to, or die and come back.
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
using soundtest::kUiBoundMs;
// A server that stops answering is given up within a second; the wait allows for load.
constexpr int kNoticeWaitMs = 4000;
// How far the count may go past what the server last said before it stops.
constexpr int64_t kCarryMs = 100;

const QString kNotAnswering = soundtest::kNoticeNotAnswering;
const QString kGone = soundtest::kNoticeGone;
const QString kNoOutput = soundtest::kNoticeNoOutput;
const QString kNoServer = soundtest::kNoticeNoServer;

QByteArray Tone(int64_t ms) {
  return soundtest::ToneBurstWav({{0, ms}}, ms, kRate);
}

// A player that plays to the server, with its notices and the longest that any of its
// calls has kept this thread.
struct PlayerRig {
  soundtest::TSoundOn soundOn;
  TWavPlayer player;
  QStringList notices;
  int64_t longestCallMs = 0;
  PlayerRig() {
    player.SetNotice([this](const QString& text) { notices << text; });
  }
  ~PlayerRig() { player.Close(); }
  template <class Call>
  auto Timed(Call call) {
    QElapsedTimer t;
    t.start();
    struct TStamp {
      QElapsedTimer& t;
      int64_t& longest;
      ~TStamp() { longest = std::max<int64_t>(longest, t.elapsed()); }
    } stamp{t, longestCallMs};
    return call();
  }
  int64_t Position() {
    return Timed([&] { return player.Position(); });
  }
  TPlayerMode Mode() {
    return Timed([&] { return player.Mode(); });
  }
  bool WaitForEnd() {
    return QTest::qWaitFor([&] { return Mode() == TPlayerMode::Stopped; }, kWaitMs);
  }
  bool WaitForNotice(const QString& text) {
    return QTest::qWaitFor(
        [&] {
          Mode();
          return notices.contains(text);
        },
        kNoticeWaitMs);
  }
  bool WaitForSound() {
    return QTest::qWaitFor([&] { return Position() > 0; }, kWaitMs);
  }
};

struct ServerRig : PlayerRig {
  soundtest::TSoundDevice device;
  bool Open(int64_t ms, const std::vector<soundtest::TBurst>& bursts = {{0, 1 << 30}}) {
    return player.OpenImage(soundtest::ToneBurstWav(bursts, ms, kRate));
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
  EXPECT_TRUE(rig.notices.isEmpty()) << rig.notices.join('|').toStdString();
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
  // The 300 ms left, not the whole file (how soon it starts is the benchmark's figure).
  EXPECT_GE(wall.elapsed(), 300 - kClockSlackMs);
  EXPECT_LT(wall.elapsed(), 1500 + 2000);
}

TEST(PulsePlayer, AFormatNoDeviceCanTakeMakesPlayFail) {
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

TEST(PulsePlayer, WithNoServerItPlaysOnTheClockAndSaysSoOnce) {
  soundtest::TScopedEnv server("PULSE_SERVER", "unix:/nonexistent/tavrin-test/native");
  PlayerRig rig;
  ASSERT_TRUE(rig.player.OpenImage(Tone(200)));
  QElapsedTimer wall;
  wall.start();
  ASSERT_TRUE(rig.player.Play());
  ASSERT_TRUE(rig.WaitForEnd());
  EXPECT_GE(wall.elapsed(), 200);
  EXPECT_EQ(rig.player.Position(), 200);
  EXPECT_FALSE(rig.player.Audible());
  EXPECT_EQ(rig.notices, QStringList{kNoServer});
}

namespace {
// Plays a second of tone to a server that has no output for it: on the clock, to the
// end, with one notice. PipeWire plays a stream meant for a missing sink on its default
// sink instead (missingSink): then there is nothing to say, and no error either.
void ExpectSilentPlayWithOneNotice(PlayerRig& rig, bool missingSink = false) {
  ASSERT_TRUE(rig.Timed([&] { return rig.player.OpenImage(Tone(1000)); }));
  QElapsedTimer wall;
  wall.start();
  ASSERT_TRUE(rig.Timed([&] { return rig.player.Play(); }));
  ASSERT_TRUE(rig.WaitForEnd());
  EXPECT_GE(wall.elapsed(), 1000);
  EXPECT_EQ(rig.player.Position(), 1000);
  if (missingSink && rig.notices.isEmpty() && soundtest::ServerIsPipeWire()) return;
  EXPECT_EQ(rig.notices, QStringList{kNoOutput});
  EXPECT_LT(rig.longestCallMs, kUiBoundMs);
}
}  // namespace

TEST(PulsePlayer, ASinkThatWasUnloadedIsNoOutputAndNotAnError) {
  TAVRIN_NEED_SOUND_SERVER();
  QByteArray gone;
  {
    soundtest::TNullSink sink;
    ASSERT_TRUE(sink.Loaded());
    gone = sink.Name().toUtf8();
  }
  soundtest::TScopedEnv named("PULSE_SINK", gone);
  PlayerRig rig;
  ExpectSilentPlayWithOneNotice(rig, true);
}

TEST(PulsePlayer, ASinkNamedThatTheServerNeverHadIsNoOutputAndNotAnError) {
  TAVRIN_NEED_SOUND_SERVER();
  soundtest::TScopedEnv named("PULSE_SINK", "tavrin_unplugged_headset");
  PlayerRig rig;
  ExpectSilentPlayWithOneNotice(rig, true);
}

TEST(PulsePlayer, AServerWithNoSinkAtAllIsNoOutputAndNotAnError) {
  soundtest::TPrivateServer server(soundtest::TPrivateServer::TSinks::kNone);
  TAVRIN_NEED_PRIVATE_SERVER(server);
  PlayerRig rig;
  ExpectSilentPlayWithOneNotice(rig);
}

TEST(PulsePlayer, AServerKilledDuringPlayLeavesTheClockToFinish) {
  soundtest::TPrivateServer server;
  TAVRIN_NEED_PRIVATE_SERVER(server);
  PlayerRig rig;
  ASSERT_TRUE(rig.player.OpenImage(Tone(1000)));
  ASSERT_TRUE(rig.player.Audible());
  ASSERT_TRUE(rig.player.Play());
  QTest::qWait(300);
  const int64_t before = rig.player.Position();
  EXPECT_GT(before, 0);
  server.Kill();
  int64_t last = before;
  QElapsedTimer wall;
  wall.start();
  while (rig.Mode() == TPlayerMode::Playing && wall.elapsed() < kWaitMs) {
    const int64_t p = rig.Position();
    ASSERT_GE(p, last);
    last = p;
    QTest::qWait(10);
  }
  EXPECT_FALSE(rig.player.Audible());
  EXPECT_EQ(rig.player.Mode(), TPlayerMode::Stopped);
  EXPECT_EQ(rig.player.Position(), 1000);
  EXPECT_LT(wall.elapsed(), 1000 + 2000);
  EXPECT_EQ(rig.notices, QStringList{kGone});
}

TEST(PulsePlayer, AServerThatComesBackIsUsedAgainAtTheNextPlay) {
  soundtest::TPrivateServer server;
  TAVRIN_NEED_PRIVATE_SERVER(server);
  PlayerRig rig;
  ASSERT_TRUE(rig.player.OpenImage(Tone(4000)));
  ASSERT_TRUE(rig.player.Play());
  ASSERT_TRUE(rig.WaitForSound());
  server.Kill();
  ASSERT_TRUE(rig.WaitForNotice(kGone));
  EXPECT_FALSE(rig.player.Audible());
  ASSERT_TRUE(server.Restart()) << server.Error().toStdString();
  soundtest::TSoundDevice device;
  ASSERT_TRUE(device.Ready());
  // Pause and Play again, as the main window's Play button resumes.
  rig.player.Pause();
  const int64_t paused = rig.player.Position();
  rig.player.Resume();
  EXPECT_TRUE(rig.player.Audible());
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return !soundtest::FindBursts(device.Capture().Samples(), device.Capture().Rate()).empty(); },
      kWaitMs));
  EXPECT_GE(rig.Position(), paused);
  EXPECT_EQ(rig.notices, QStringList{kGone});
  EXPECT_LT(rig.longestCallMs, kUiBoundMs);
}

namespace {
enum class TAction { kOpen, kPlay, kPause, kResume, kSeek, kClose };

// Brings a player on a server of its own to the moment before the action, stops the
// server (SIGSTOP) and takes the action: each call returns at once, the player notices
// within a second that the server does not answer and goes on by its clock, and until
// then its position does not run ahead of what the server last said was played.
void FreezeDuring(TAction action) {
  soundtest::TPrivateServer server;
  TAVRIN_NEED_PRIVATE_SERVER(server);
  PlayerRig rig;
  const QByteArray image = Tone(6000);
  if (action != TAction::kOpen) {
    ASSERT_TRUE(rig.player.OpenImage(image));
    if (action != TAction::kPlay) {
      ASSERT_TRUE(rig.player.Play());
      ASSERT_TRUE(rig.WaitForSound());
    }
    if (action == TAction::kResume) rig.player.Pause();
  }
  const int64_t heard = rig.Position();
  server.Freeze();
  switch (action) {
    case TAction::kOpen:
      ASSERT_TRUE(rig.Timed([&] { return rig.player.OpenImage(image); }));
      ASSERT_TRUE(rig.Timed([&] { return rig.player.Play(); }));
      break;
    case TAction::kPlay:
      ASSERT_TRUE(rig.Timed([&] { return rig.player.Play(); }));
      break;
    case TAction::kPause:
      rig.Timed([&] { rig.player.Pause(); });
      break;
    case TAction::kResume:
      rig.Timed([&] { rig.player.Resume(); });
      break;
    case TAction::kSeek:
      ASSERT_TRUE(rig.Timed([&] { return rig.player.Seek(3000); }));
      rig.Timed([&] { rig.player.Resume(); });
      break;
    case TAction::kClose:
      rig.Timed([&] { rig.player.Close(); });
      EXPECT_EQ(rig.player.Mode(), TPlayerMode::NotReady);
      EXPECT_LT(rig.longestCallMs, kUiBoundMs);
      server.Thaw();
      return;
  }
  EXPECT_LT(rig.longestCallMs, kUiBoundMs);
  const int64_t from = action == TAction::kSeek ? 3000 : heard;
  // Until it is noticed, nothing is counted that the server has not said was played.
  const bool noticed = QTest::qWaitFor(
      [&] {
        EXPECT_LE(rig.Position(), from + kCarryMs);
        return rig.notices.contains(kNotAnswering);
      },
      kNoticeWaitMs);
  ASSERT_TRUE(noticed) << rig.notices.join('|').toStdString();
  EXPECT_EQ(rig.notices, QStringList{kNotAnswering});
  EXPECT_FALSE(rig.player.Audible());
  // Then the clock: playing moves on, paused stays.
  const int64_t p = rig.Position();
  QTest::qWait(200);
  if (action == TAction::kPause) {
    EXPECT_EQ(rig.Mode(), TPlayerMode::Paused);
    EXPECT_EQ(rig.Position(), p);
  } else {
    EXPECT_EQ(rig.Mode(), TPlayerMode::Playing);
    EXPECT_GT(rig.Position(), p);
  }
  EXPECT_LT(rig.longestCallMs, kUiBoundMs);
  rig.Timed([&] { rig.player.Close(); });
  EXPECT_LT(rig.longestCallMs, kUiBoundMs);
  server.Thaw();
}
}  // namespace

TEST(PulsePlayerHungServer, Open) {
  FreezeDuring(TAction::kOpen);
}
TEST(PulsePlayerHungServer, Play) {
  FreezeDuring(TAction::kPlay);
}
TEST(PulsePlayerHungServer, Pause) {
  FreezeDuring(TAction::kPause);
}
TEST(PulsePlayerHungServer, Resume) {
  FreezeDuring(TAction::kResume);
}
TEST(PulsePlayerHungServer, Seek) {
  FreezeDuring(TAction::kSeek);
}
TEST(PulsePlayerHungServer, Close) {
  FreezeDuring(TAction::kClose);
}
