// The modem going away under the main window (the virtual modem's unplug, over a real
// pty): a recording is saved with everything that came, a set-up fails at once, an idle
// port turns off; the modem back at the same link is used again without a restart.
// Also: diagnostics refused while recording, the port selection dialog for port 0, and
// the serial layer's errors shown as message boxes.
#include <gtest/gtest.h>
#include <QAction>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <thread>

#include "MainFormTestSupport.h"
#include "modem/ModemF.h"
#include "modem/MonitorForm.h"
#include "recording/RecorderPanel.h"
#include "serial/ExceptionDisplay.h"
#include "setup/Profile.h"
#include "setup/Shared.h"
#include "setup/SpecModemForm.h"
#include "vmodem/VirtualModem.h"

namespace {
constexpr int kWaitMs = 10000;
const QString kSaved =
    QStringLiteral("The modem was disconnected. The recording so far has been saved.");

// The virtual modem behind a link in the test's folder, as a USB modem behind its
// /dev/serial/by-id/ name; COM1 maps to the link.
struct LinkedModem {
  explicit LinkedModem(MainFormFixture& fx, vmodem::Faults faults = {})
      : options(Options(fx, faults)) {
    modem = std::make_unique<vmodem::VirtualModem>(options);
    modem->start();
    fx.portPath = options.linkPath;
    fx.Write("Tavrin.ini", kVirtualModemIni);
  }
  static vmodem::Options Options(MainFormFixture& fx, vmodem::Faults faults) {
    vmodem::Options o;
    o.linkPath = fx.Path("ttyV0").toStdString();
    o.line.kind = vmodem::LineOptions::Kind::Pattern;
    o.line.pattern = std::string("\x80\x10\x90\x03\x7f", 5);
    o.faults = faults;
    return o;
  }
  bool WaitUntil(const std::function<bool(const vmodem::ModemStatus&)>& predicate) {
    return modem->waitFor(predicate, std::chrono::milliseconds(kWaitMs));
  }
  vmodem::Options options;
  std::unique_ptr<vmodem::VirtualModem> modem;
};

void ExpectModemOff(TMainForm& form) {
  EXPECT_FALSE(form.ModemF->PortIsOpen);
  EXPECT_FALSE(form.ModemF->ComPort1.Open());
  EXPECT_EQ(form.StatusPanel(0), " Modem off");
  EXPECT_FALSE(form.On1->isChecked());
  EXPECT_TRUE(form.Off1->isChecked());
}
}  // namespace

TEST(ModemLossTest, ARecordingCutByAnUnplugIsSavedAndRecordWorksOnceTheModemIsBack) {
  TWavPlayer::SetSilentOutput(true);
  MainFormFixture fx;
  vmodem::Faults faults;
  faults.unplugAfterSeconds = 1.0;
  faults.replugAfterSeconds = 0.5;
  LinkedModem vm(fx, faults);
  TMainForm& form = fx.Start();
  ASSERT_TRUE(form.ModemF->PortIsOpen) << fx.messages.join('\n').toStdString();

  form.RecSb1->click();
  ASSERT_TRUE(form.RecordingActive()) << fx.messages.join('\n').toStdString();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !fx.messages.isEmpty(); }, kWaitMs));
  EXPECT_EQ(fx.messages, QStringList{kSaved});
  ExpectModemOff(form);
  EXPECT_FALSE(form.RecSb1->isChecked());
  EXPECT_TRUE(form.Record1->isEnabled());
  EXPECT_TRUE(form.Playsb1->isEnabled());
  ASSERT_EQ(form.CallCount(), 1);
  // Every byte the modem sent after "at+vrx", up to the unplug, is in the file.
  const std::string streamed = vm.modem->streamed();
  const QByteArray file = fx.Read("wav/" + form.CallList[0].FileName + ".wav");
  ASSERT_EQ(file.size(), 44 + static_cast<qsizetype>(streamed.size()));
  EXPECT_EQ(file.mid(44), QByteArray::fromStdString(streamed));
  EXPECT_GT(streamed.size(), 4000u);
  EXPECT_TRUE(form.MonitorForm->Lines().contains("Modem disconnected..."));
  // The call is in the list on disk at once.
  const std::vector<TCallRecord> onDisk = LoadCallFile(fx.Path("Calls.dbt"));
  ASSERT_EQ(onDisk.size(), 1u);
  EXPECT_EQ(onDisk[0].FileName, form.CallList[0].FileName);

  // The modem comes back as a new device behind the same link.
  ASSERT_TRUE(vm.WaitUntil([](const vmodem::ModemStatus& s) { return s.replugs == 1; }));
  vm.modem->setFaults({});
  form.RecSb1->click();
  ASSERT_TRUE(fx.messages.size() == 1) << fx.messages.join('\n').toStdString();
  EXPECT_TRUE(form.RecordingActive());
  EXPECT_EQ(form.StatusPanel(0), " Modem on");
  EXPECT_TRUE(form.On1->isChecked());
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.ModemF->RecordedBytes >= 800; }, kWaitMs));
  form.StopSb1->click();
  EXPECT_EQ(form.CallCount(), 2);
  EXPECT_EQ(fx.messages.size(), 1);
  form.close();
}

TEST(ModemLossTest, AnUnplugDuringTheSetUpFailsItAtOnce) {
  MainFormFixture fx;
  LinkedModem vm(fx);
  TMainForm& form = fx.Start();
  ASSERT_TRUE(form.ModemF->PortIsOpen);
  vmodem::Faults slow;
  slow.delayMs = 4000;  // the voice-mode answer would come after this
  vm.modem->setFaults(slow);
  QTimer::singleShot(300, [&] { vm.modem->unplug(); });
  QElapsedTimer clock;
  clock.start();
  form.RecSb1->click();
  EXPECT_LT(clock.elapsed(), 3000);
  EXPECT_EQ(fx.messages, QStringList{"Error Setting modem in voice mode.."});
  EXPECT_FALSE(form.RecSb1->isChecked());
  EXPECT_TRUE(form.Record1->isEnabled());
  EXPECT_TRUE(form.StopSb1->isEnabled());
  EXPECT_FALSE(form.RecordingActive());
  ExpectModemOff(form);
  EXPECT_EQ(form.CallCount(), 0);
  form.close();
}

TEST(ModemLossTest, AnIdlePortTurnsOffAndModemOnOpensTheModemAgainOnceItIsBack) {
  MainFormFixture fx;
  vmodem::Faults faults;
  faults.replugAfterSeconds = 0.3;
  LinkedModem vm(fx, faults);
  TMainForm& form = fx.Start();
  ASSERT_TRUE(form.ModemF->PortIsOpen);
  vm.modem->unplug();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !form.ModemF->PortIsOpen; }, kWaitMs));
  ExpectModemOff(form);
  EXPECT_TRUE(fx.messages.isEmpty()) << fx.messages.join('\n').toStdString();

  ASSERT_TRUE(vm.WaitUntil([](const vmodem::ModemStatus& s) { return s.replugs == 1; }));
  form.On1->trigger();
  EXPECT_TRUE(form.ModemF->PortIsOpen) << fx.messages.join('\n').toStdString();
  EXPECT_EQ(form.StatusPanel(0), " Modem on");
  EXPECT_TRUE(form.On1->isChecked());
  EXPECT_TRUE(vm.WaitUntil([](const vmodem::ModemStatus& s) { return s.portOpen; }));
  form.close();
}

TEST(ModemLossTest, DiagnosticsAreRefusedDuringARecordingAndItsSetUp) {
  MainFormFixture fx;
  LinkedModem vm(fx);
  TMainForm& form = fx.Start();
  ASSERT_TRUE(form.ModemF->PortIsOpen);
  const QString refusal =
      QStringLiteral("The diagnostics cannot run during a recording. Stop the recording first.");
  vmodem::Faults slow;
  slow.delayMs = 300;
  vm.modem->setFaults(slow);
  QTimer::singleShot(100, [&] { form.Diagnostics1->trigger(); });  // in the set-up
  form.RecSb1->click();
  EXPECT_EQ(fx.messages, QStringList{refusal});
  ASSERT_TRUE(form.RecordingActive());
  form.Diagnostics1->trigger();
  EXPECT_EQ(fx.messages, QStringList({refusal, refusal}));
  const auto commands = vm.modem->commands();
  EXPECT_EQ(std::count(commands.begin(), commands.end(), std::string("at+fclass=?")), 0);
  form.StopSb1->click();
  EXPECT_EQ(form.CallCount(), 1);
  form.close();
}

TEST(ModemLossTest, RecordWithPortZeroAsksForThePortEachTimeAndStoresNothing) {
  MainFormFixture fx;
  LinkedModem vm(fx);
  TMainForm& form = fx.Start();
  form.Off1->trigger();
  CurrentProfile.port = 0;
  fx.modals.clear();

  form.RecSb1->click();  // the dialog is cancelled
  EXPECT_EQ(fx.modals, QStringList{"ComSelectForm|Select Port"});
  EXPECT_EQ(fx.messages, QStringList{"Error during opening com port 0"});
  EXPECT_FALSE(form.RecSb1->isChecked());
  EXPECT_TRUE(form.Record1->isEnabled());
  EXPECT_FALSE(form.ModemF->PortIsOpen);

  fx.modalResult = QDialog::Accepted;  // OK on the first port listed: COM1, the modem
  form.RecSb1->click();
  EXPECT_EQ(fx.modals.size(), 2);
  EXPECT_EQ(fx.messages.size(), 1) << fx.messages.join('\n').toStdString();
  EXPECT_TRUE(form.RecordingActive());
  form.StopSb1->click();
  EXPECT_EQ(CurrentProfile.port, 0);
  EXPECT_EQ(SettingsFile->ReadInteger("Modem", "port", -1), 1);  // the choice is not stored
  form.close();
}

TEST(ModemLossTest, TheSerialLayersOwnErrorsAreShownAsMessages) {
  MainFormFixture fx;
  fx.Create();
  ShowSerialException(QStringLiteral("from the main thread"));
  std::thread worker([] { ShowSerialException(QStringLiteral("from a worker thread")); });
  worker.join();
  ASSERT_TRUE(QTest::qWaitFor([&] { return fx.messages.size() == 2; }, kWaitMs));
  EXPECT_EQ(fx.messages, QStringList({"from the main thread", "from a worker thread"}));
}

TEST(ModemLossTest, LeavingTheModemListAfterAFailedOkGoesOnWithoutAModem) {
  MainFormFixture fx;
  LinkedModem vm(fx);
  QFile::remove(fx.Path("Tavrin.ini"));
  TMainForm& form = fx.Create();
  // Only COM1 has the modem, so the scan finds it once.
  const std::string link = vm.options.linkPath;
  SetPortPathSource([link](int n) {
    return std::optional<std::string>(n == 1 ? link : std::string(kNoDevicePath));
  });
  form.ExecModal = [&](QDialog& dialog) {
    fx.modals << dialog.objectName();
    auto& list = dynamic_cast<TSpecModemForm&>(dialog);
    // Unplugged after the scan: "Ok" fails, then the user presses Escape.
    vm.modem->unplug();
    vm.WaitUntil(
        [](const vmodem::ModemStatus& s) { return s.state == vmodem::ModemState::Unplugged; });
    list.show();
    list.OkBtnClick();
    QTimer::singleShot(0, [&list] { QTest::keyClick(&list, Qt::Key_Escape); });
    return list.exec();
  };
  fx.Start();
  EXPECT_EQ(fx.modals, QStringList{"SpecModemForm"});
  EXPECT_EQ(fx.messages, QStringList{"No valid com port specified for this modem"});
  EXPECT_TRUE(form.isVisible());  // the program goes on
  EXPECT_FALSE(form.RecSb1->isEnabled());
  EXPECT_FALSE(form.Record1->isEnabled());
  EXPECT_FALSE(form.ModemF->ComPort1.Open());
  EXPECT_FALSE(ModemConfigured(*SettingsFile));
  EXPECT_EQ(CurrentProfile.port, 0);
  form.close();
}
