// Record, Stop and Play through the main window against the virtual modem on a pty.
#include <gtest/gtest.h>
#include <QAction>
#include <QPainter>
#include <QSlider>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <optional>

#include "MainFormTestSupport.h"
#include "common/SoundServer.h"
#include "modem/ModemF.h"
#include "recording/RecorderPanel.h"
#include "vmodem/VirtualModem.h"

namespace {
constexpr int kWaitMs = 10000;

// The window is to start on this modem, set up for it.
void UseModem(MainFormFixture& fx, const vmodem::VirtualModem& modem) {
  fx.portPath = modem.slavePath();
  fx.Write("Tavrin.ini", kVirtualModemIni);
}
}  // namespace

TEST(MainFormRecorderTest, RecordStopAndPlayThroughTheWindow) {
  TWavPlayer::SetSilentOutput(true);
  vmodem::VirtualModem modem;
  modem.start();
  MainFormFixture fx;
  UseModem(fx, modem);
  TMainForm& form = fx.Start();
  ASSERT_TRUE(fx.messages.isEmpty()) << fx.messages.join('\n').toStdString();
  ASSERT_TRUE(form.ModemF->PortIsOpen);

  form.RecSb1->click();
  ASSERT_TRUE(fx.messages.isEmpty()) << fx.messages.join('\n').toStdString();
  EXPECT_TRUE(form.RecSb1->isChecked());
  EXPECT_TRUE(form.StopSb1->isEnabled());
  EXPECT_TRUE(form.RecordingActive());
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.ModemF->RecordedBytes >= 8000; }, kWaitMs));
  EXPECT_GE(form.Recorder->Scope.DrawCount, 4);

  // The scope strip shows the trace.
  QImage shot(form.Client->size(), QImage::Format_RGB32);
  form.Client->render(&shot);
  bool green = false;
  for (int x = 8; x < 376 && !green; ++x) {
    for (int y = 48; y < 98 && !green; ++y) green = shot.pixel(x, y) == qRgb(0, 255, 0);
  }
  EXPECT_TRUE(green);

  form.StopSb1->click();
  ASSERT_TRUE(fx.messages.isEmpty()) << fx.messages.join('\n').toStdString();
  EXPECT_FALSE(form.RecSb1->isChecked());
  EXPECT_FALSE(form.ModemF->PortIsOpen);
  ASSERT_EQ(form.CallCount(), 1);
  EXPECT_EQ(form.SelectedRow(), 1);
  const QString name = form.CallList[0].FileName;
  EXPECT_EQ(form.CurrentFileName, name);
  const QByteArray file = fx.Read("wav/" + name + ".wav");
  EXPECT_EQ(file.size(), 44 + form.ModemF->RecordedBytes);
  EXPECT_EQ(form.Grid1->item(0, 2)->text(), form.CallList[0].Duration);

  form.Playsb1->click();
  ASSERT_TRUE(fx.messages.isEmpty()) << fx.messages.join('\n').toStdString();
  EXPECT_TRUE(form.Playsb1->isChecked());
  EXPECT_TRUE(form.Timer2->isActive());
  EXPECT_FALSE(form.RecSb1->isEnabled());
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.TrackBar1->value() > 0; }, kWaitMs));
  form.PauseSb1->click();
  EXPECT_TRUE(form.PauseSb1->isChecked());
  EXPECT_FALSE(form.Playsb1->isChecked());
  EXPECT_TRUE(form.NextSb1->isEnabled());
  form.NextSb1->click();
  EXPECT_TRUE(form.Recorder->Playback.PositionMoved);
  form.Playsb1->click();  // resume, then play to the end
  ASSERT_TRUE(QTest::qWaitFor([&] { return !form.Timer2->isActive(); }, kWaitMs));
  EXPECT_FALSE(form.Playsb1->isChecked());
  EXPECT_EQ(form.TrackBar1->value(), 0);
  EXPECT_TRUE(form.RecSb1->isEnabled());
  EXPECT_TRUE(form.Record1->isEnabled());
  form.close();
}

TEST(MainFormRecorderTest, ModemMenuTicksFollowThePortAndOffCutsTheRecording) {
  vmodem::VirtualModem modem;
  modem.start();
  MainFormFixture fx;
  UseModem(fx, modem);
  TMainForm& form = fx.Start();
  ASSERT_TRUE(form.ModemF->PortIsOpen);
  form.On1->trigger();  // already open: nothing changes
  EXPECT_TRUE(form.On1->isChecked());
  EXPECT_FALSE(form.Off1->isChecked());
  form.Record1->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.ModemF->RecordedBytes >= 800; }, kWaitMs));
  form.Off1->trigger();
  EXPECT_FALSE(form.ModemF->PortIsOpen);
  EXPECT_FALSE(form.On1->isChecked());
  EXPECT_TRUE(form.Off1->isChecked());
  EXPECT_FALSE(form.RecSb1->isChecked());
  EXPECT_FALSE(form.Record1->isEnabled());
  form.Stop1->trigger();
  EXPECT_EQ(form.CallCount(), 0);
  form.On1->trigger();
  EXPECT_TRUE(form.ModemF->PortIsOpen);
  EXPECT_TRUE(form.On1->isChecked());
  EXPECT_FALSE(form.Off1->isChecked());
  form.close();
}

TEST(MainFormRecorderTest, RecordDuringAPlaybackAfterSettingsSavesWhatTheModemSent) {
  // Settings runs the start sequence, which enables Record while the playback goes on.
  // The sound goes to the server where there is one, else on the clock.
  std::optional<soundtest::TSoundDevice> device;
  if (!soundtest::ServerMissing()) device.emplace();
  TWavPlayer::SetSilentOutput(!device || !device->Ready());
  vmodem::VirtualModem modem;
  modem.start();
  MainFormFixture fx;
  UseModem(fx, modem);
  fx.AddRecording(QStringLiteral("LONGER"), soundtest::ToneBurstWav({{0, 20000}}, 20000, 8000));
  TMainForm& form = fx.Start();
  ASSERT_TRUE(fx.messages.isEmpty()) << fx.messages.join('\n').toStdString();

  form.Playsb1->click();
  ASSERT_TRUE(form.Timer2->isActive());
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.TrackBar1->value() > 0; }, kWaitMs));
  form.Settings1Click();
  ASSERT_TRUE(form.RecSb1->isEnabled());
  ASSERT_TRUE(form.ModemF->PortIsOpen);

  form.RecSb1->click();
  ASSERT_TRUE(fx.messages.isEmpty()) << fx.messages.join('\n').toStdString();
  EXPECT_FALSE(form.Timer2->isActive());
  EXPECT_FALSE(form.Playsb1->isChecked());
  EXPECT_EQ(form.Recorder->Player.Mode(), TPlayerMode::NotReady);
  ASSERT_TRUE(form.RecordingActive());
  // Long enough for many of the old playback's ticks.
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.ModemF->RecordedBytes >= 8000; }, kWaitMs));
  modem.stop();
  const std::string streamed = modem.streamed();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return form.ModemF->RecordedBytes >= static_cast<int32_t>(streamed.size()); },
      kWaitMs));
  form.StopSb1->click();
  ASSERT_TRUE(fx.messages.isEmpty()) << fx.messages.join('\n').toStdString();
  ASSERT_EQ(form.CallCount(), 2);
  const QByteArray file = fx.Read("wav/" + form.CurrentFileName + ".wav");
  ASSERT_EQ(file.size(), 44 + static_cast<qsizetype>(streamed.size()));
  EXPECT_EQ(file.mid(44), QByteArray::fromStdString(streamed));

  form.Playsb1->click();  // the saved recording plays
  EXPECT_TRUE(fx.messages.isEmpty()) << fx.messages.join('\n').toStdString();
  EXPECT_TRUE(form.Timer2->isActive());
  form.close();
  TWavPlayer::SetSilentOutput(true);
}

// A minimised window draws no trace while the recording goes on; restored, it shows the
// newest block at once.
TEST(MainFormRecorderTest, AMinimisedWindowDrawsNoTraceAndShowsTheNewestWhenRestored) {
  TWavPlayer::SetSilentOutput(true);
  vmodem::VirtualModem modem;
  modem.start();
  MainFormFixture fx;
  UseModem(fx, modem);
  TMainForm& form = fx.Start();
  ASSERT_TRUE(form.ModemF->PortIsOpen);
  form.RecSb1->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.Recorder->Scope.DrawCount >= 1; }, kWaitMs));

  form.showMinimized();
  QCoreApplication::processEvents();
  const int64_t draws = form.Recorder->Scope.DrawCount;
  const int64_t bytes = form.ModemF->RecordedBytes;
  // Two blocks of 1600 samples at 8000 a second come meanwhile.
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.ModemF->RecordedBytes >= bytes + 4000; }, kWaitMs));
  EXPECT_EQ(form.Recorder->Scope.DrawCount, draws);

  form.showNormal();
  QCoreApplication::processEvents();
  EXPECT_TRUE(QTest::qWaitFor([&] { return form.Recorder->Scope.DrawCount > draws; }, kWaitMs));
  form.StopSb1->click();
  EXPECT_EQ(form.CallCount(), 1);
  EXPECT_TRUE(fx.messages.isEmpty()) << fx.messages.join('\n').toStdString();
}
