// Playback through the main window on a real sound server: what reaches the device, the
// controls hammered in random order, and the server dying under a playback.
#include <gtest/gtest.h>
#include <QAction>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <random>

#include "MainFormTestSupport.h"
#include "common/SoundServer.h"
#include "modem/MonitorForm.h"
#include "recording/RecorderPanel.h"

namespace {
using soundtest::TBurst;
constexpr uint32_t kRate = 8000;
constexpr int kWaitMs = 10000;
constexpr int64_t kToleranceMs = 60;
using soundtest::kUiBoundMs;
const QString kGone = soundtest::kNoticeGone;
const QString kNoServer = soundtest::kNoticeNoServer;
const QString kNotAnswering = soundtest::kNoticeNotAnswering;

// A started window with one call whose recording is the given tone bursts, the port
// failing to open, and sound on.
struct SoundWindow : MainFormFixture {
  soundtest::TSoundOn soundOn;
  SoundWindow(const std::vector<TBurst>& bursts, int64_t lengthMs) {
    Write("Tavrin.ini", "[Modem]\nport=1\n");
    AddRecording(QStringLiteral("BURSTS"), soundtest::ToneBurstWav(bursts, lengthMs, kRate));
    Start();
    messages.clear();
  }
  TWavPlayer& Player() { return form->Recorder->Player; }
  QStringList Monitor() const { return form->MonitorForm->Lines(); }
  bool WaitForEnd() {
    return QTest::qWaitFor([&] { return !form->Timer2->isActive(); }, kWaitMs);
  }
  void ExpectIdleAfterTheEnd() {
    EXPECT_FALSE(form->Playsb1->isChecked());
    EXPECT_FALSE(form->PauseSb1->isChecked());
    EXPECT_EQ(form->TrackBar1->value(), 0);
    EXPECT_EQ(Player().Mode(), TPlayerMode::NotReady);
    EXPECT_TRUE(form->Recorder->Scope.ScopeBlank);
  }
};
}  // namespace

TEST(MainFormSound, EveryToneBurstIsHeardOnTimeAndTheLastOneWhole) {
  TAVRIN_NEED_SOUND_SERVER();
  soundtest::TSoundDevice device;
  ASSERT_TRUE(device.Ready());
  // The last burst runs to the file's last sample: a tail cut off shows there.
  const std::vector<TBurst> file = {{100, 300},   {500, 600},   {800, 1100}, {1300, 1380},
                                    {1600, 2000}, {2300, 2500}, {2700, 3200}};
  SoundWindow w(file, 3200);
  w.form->Playsb1->click();
  ASSERT_TRUE(w.messages.isEmpty()) << w.messages.join('|').toStdString();
  ASSERT_TRUE(w.Player().Audible());
  ASSERT_TRUE(w.WaitForEnd());
  w.ExpectIdleAfterTheEnd();
  QTest::qWait(300);  // the capture runs on past the end

  const std::vector<int16_t> samples = device.Capture().Samples();
  const std::vector<TBurst> heard = soundtest::FindBursts(samples, kRate);
  std::string heardText;
  for (const TBurst& b : heard)
    heardText += std::to_string(b.startMs) + ".." + std::to_string(b.endMs) + " ";
  SCOPED_TRACE("heard " + heardText);
  ASSERT_EQ(heard.size(), file.size());
  const int64_t latency = heard[0].startMs - file[0].startMs;
  for (size_t i = 0; i < file.size(); ++i) {
    EXPECT_NEAR(heard[i].startMs - latency, file[i].startMs, kToleranceMs) << "burst " << i;
    EXPECT_NEAR(heard[i].endMs - latency, file[i].endMs, kToleranceMs) << "burst " << i;
  }
  const int64_t capturedMs = int64_t(samples.size()) * 1000 / kRate;
  EXPECT_GT(capturedMs, heard.back().endMs + 100);  // silence after it: the burst ended
}

TEST(MainFormSound, TwoHundredRandomRoundsNeverCrashOrRunThePositionBackwards) {
  TAVRIN_NEED_SOUND_SERVER();
  soundtest::TSoundDevice device;
  ASSERT_TRUE(device.Ready());
  SoundWindow w({{0, 500}}, 500);
  TMainForm& f = *w.form;
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE(testing::Message() << "seed " << seed);
  std::mt19937 random(seed);
  const auto press = [&](QToolButton* button, QAction* action) {
    if (!button->isEnabled()) return;
    if (random() % 2)
      button->click();
    else
      action->trigger();
  };
  int64_t last = -1;  // the last position seen while playing; -1: it may start anew
  const auto watch = [&](int ms) {
    QElapsedTimer gap;
    gap.start();
    do {
      if (w.Player().Mode() == TPlayerMode::Playing) {
        const int64_t p = w.Player().Position();
        ASSERT_GE(p, last);
        last = p;
      }
      QTest::qWait(2);
    } while (gap.elapsed() < ms);
  };
  int ends = 0;
  for (int round = 0; round < 200; ++round) {
    SCOPED_TRACE(testing::Message() << "round " << round);
    const TPlayerMode before = w.Player().Mode();
    switch (random() % 6) {
      case 0:
        press(f.Playsb1, f.Play1);
        break;
      case 1:
        press(f.PauseSb1, f.Pause1);
        break;
      case 2:
        press(f.NextSb1, f.Next1);
        break;
      case 3:
        press(f.PrevSb1, f.Previous1);
        last = -1;
        break;
      case 4:
        press(f.StopSb1, f.Stop1);
        last = -1;
        break;
      default:
        press(f.Playsb1, f.Play1);
        while (f.Timer2->isActive()) {
          ASSERT_NO_FATAL_FAILURE(watch(5));
          ASSERT_LT(round, 10000);
        }
        ends += f.TrackBar1->value() == 0 ? 1 : 0;
        last = -1;
        break;
    }
    if (before == TPlayerMode::NotReady) last = -1;
    ASSERT_NO_FATAL_FAILURE(watch(static_cast<int>(random() % 30)));
    ASSERT_TRUE(w.messages.isEmpty()) << w.messages.join('|').toStdString();
  }
  EXPECT_GT(ends, 0);
  f.StopSb1->click();
  EXPECT_EQ(w.Player().Mode(), TPlayerMode::NotReady);
  EXPECT_FALSE(f.Timer2->isActive());
}

TEST(MainFormSound, AServerKilledDuringPlayEndsThePlaybackInSilence) {
  soundtest::TPrivateServer server;
  if (!server.Running()) {
    if (soundtest::ServerRequired()) GTEST_FAIL() << server.Error().toStdString();
    GTEST_SKIP() << server.Error().toStdString();
  }
  SoundWindow w({{0, 1500}}, 1500);
  w.form->Playsb1->click();
  ASSERT_TRUE(w.Player().Audible());
  QTest::qWait(300);
  server.Kill();
  QElapsedTimer wall;
  wall.start();
  ASSERT_TRUE(w.WaitForEnd());
  EXPECT_LT(wall.elapsed(), 1500 + 2000);
  EXPECT_TRUE(w.messages.isEmpty()) << w.messages.join('|').toStdString();
  w.ExpectIdleAfterTheEnd();
  EXPECT_EQ(w.Monitor().filter("sound"), QStringList{kGone});
  // With no server, the next Play tries again and goes on the clock, and says so.
  w.form->Playsb1->click();
  EXPECT_TRUE(w.form->Timer2->isActive());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w.Player().Audible(); }, kWaitMs));
  ASSERT_TRUE(QTest::qWaitFor([&] { return w.form->TrackBar1->value() > 0; }, kWaitMs));
  w.form->StopSb1->click();
  w.ExpectIdleAfterTheEnd();
  EXPECT_EQ(w.Monitor().filter("sound"), (QStringList{kGone, kNoServer}));
  EXPECT_TRUE(w.messages.isEmpty()) << w.messages.join('|').toStdString();
}

TEST(MainFormSound, AServerThatStopsAnsweringNeverHoldsTheWindowAndTheMonitorSaysSo) {
  soundtest::TPrivateServer server;
  TAVRIN_NEED_PRIVATE_SERVER(server);
  SoundWindow w({{0, 6000}}, 6000);
  w.form->Playsb1->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return w.Player().Position() > 0; }, kWaitMs));
  server.Freeze();
  QElapsedTimer wall;
  wall.start();
  // Pause, Fast forward and Play (a new run on the stuck server), as a user would press.
  for (QToolButton* button : {w.form->PauseSb1, w.form->NextSb1, w.form->Playsb1}) {
    QElapsedTimer press;
    press.start();
    button->click();
    EXPECT_LT(press.elapsed(), kUiBoundMs) << button->objectName().toStdString();
  }
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w.Monitor().filter("sound").isEmpty(); }, 4000));
  EXPECT_EQ(w.Monitor().filter("sound"), QStringList{kNotAnswering});
  // It goes on by the clock while the server stays stuck; Stop answers at once too.
  const int before = w.form->TrackBar1->value();
  ASSERT_TRUE(QTest::qWaitFor([&] { return w.form->TrackBar1->value() > before; }, kWaitMs));
  QElapsedTimer stop;
  stop.start();
  w.form->StopSb1->click();
  EXPECT_LT(stop.elapsed(), kUiBoundMs);
  w.ExpectIdleAfterTheEnd();
  EXPECT_TRUE(w.messages.isEmpty()) << w.messages.join('|').toStdString();
  server.Thaw();
}
