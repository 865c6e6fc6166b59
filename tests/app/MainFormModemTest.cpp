// The start sequence and the Settings command against the virtual modem on a pty.
#include <gtest/gtest.h>
#include <QAction>
#include <QTableWidget>
#include <QToolButton>
#include <chrono>

#include <QTest>

#include "MainFormTestSupport.h"
#include "modem/ModemF.h"
#include "setup/SpecModemForm.h"
#include "vmodem/VirtualModem.h"

namespace {
using namespace std::chrono_literals;
}  // namespace

TEST(StartWithModemTest, ThePortOpensAndTheSettingsCommandReopensIt) {
  vmodem::VirtualModem modem;
  modem.start();
  MainFormFixture fx;
  fx.portPath = modem.slavePath();
  fx.Write("Tavrin.ini", "[Modem]\nport=3\nModel=Virtual\n");
  TMainForm& form = fx.Start();
  EXPECT_TRUE(fx.messages.isEmpty()) << fx.messages.join('\n').toStdString();
  EXPECT_TRUE(modem.waitFor([](const vmodem::ModemStatus& s) { return s.portOpen; }, 5s));
  EXPECT_TRUE(form.ModemF->ComPort1.Open());
  EXPECT_TRUE(form.On1->isChecked());
  EXPECT_FALSE(form.Off1->isChecked());
  EXPECT_TRUE(form.RecSb1->isEnabled());
  EXPECT_TRUE(form.Record1->isEnabled());
  EXPECT_EQ(form.StatusPanel(1), " COM PORT 3");
  EXPECT_EQ(form.StatusPanel(2), " Virtual");

  const long resetsBefore = modem.status().resets;
  form.SetStatusPanel(1, "kept");
  form.Settings1->trigger();
  // The port was closed for the settings window (the modem saw it go) and opened again.
  EXPECT_TRUE(modem.waitFor(
      [&](const vmodem::ModemStatus& s) { return s.resets > resetsBefore && s.portOpen; }, 5s));
  EXPECT_TRUE(form.ModemF->ComPort1.Open());
  EXPECT_TRUE(form.On1->isChecked());
  EXPECT_FALSE(form.Off1->isChecked());
  EXPECT_EQ(form.StatusPanel(1), "kept");

  form.close();
  EXPECT_FALSE(form.ModemF->ComPort1.Open());
  EXPECT_TRUE(modem.waitFor([](const vmodem::ModemStatus& s) { return !s.portOpen; }, 5s));
}

TEST(StartWithModemTest, DestroyingTheWindowWithThePortOpenIsSafe) {
  vmodem::VirtualModem modem;
  modem.start();
  MainFormFixture fx;
  fx.portPath = modem.slavePath();
  fx.Write("Tavrin.ini", "[Modem]\nport=2\n");
  fx.Start();
  ASSERT_TRUE(fx.form->ModemF->ComPort1.Open());
  fx.form.reset();  // no shutdown ran: the link closes its port on the way out
  EXPECT_TRUE(modem.waitFor([](const vmodem::ModemStatus& s) { return !s.portOpen; }, 5s));
}

// A first start on a modem that refuses its "T" line alone and takes "ST": the profile
// records on the line it takes.
TEST(StartWithModemTest, FirstStartChoosesALineTheModemTakesAndRecordWorks) {
  vmodem::Options options;
  options.profile = "speakerline";
  vmodem::VirtualModem modem(options);
  modem.start();
  MainFormFixture fx;
  const std::string path = modem.slavePath();
  SetPortPathSource([path](int n) {
    return std::optional<std::string>(n == 1 ? path : std::string(kNoDevicePath));
  });
  TMainForm& form = fx.Create();
  ConfirmTheModemFound(form);
  fx.Start();
  ASSERT_TRUE(fx.messages.isEmpty()) << fx.messages.join('\n').toStdString();
  const QByteArray ini = fx.Read("Tavrin.ini");
  EXPECT_TRUE(ini.contains("LineSel_T#=error")) << ini.toStdString();
  EXPECT_TRUE(ini.contains("UseLine=at+vls=5\n") || ini.contains("UseLine=at+vls=5\r\n"))
      << ini.toStdString();
  ASSERT_TRUE(form.ModemF->PortIsOpen);

  form.RecSb1->click();
  ASSERT_TRUE(fx.messages.isEmpty()) << fx.messages.join('\n').toStdString();
  EXPECT_TRUE(form.RecordingActive());
  EXPECT_EQ(modem.status().line, 5);
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.ModemF->RecordedBytes >= 800; }, 10000));
  form.StopSb1->click();
  ASSERT_TRUE(fx.messages.isEmpty()) << fx.messages.join('\n').toStdString();
  EXPECT_EQ(form.CallCount(), 1);
  form.close();
}
