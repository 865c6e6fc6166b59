#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <QDialog>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

#include "MainFormTestSupport.h"
#include "ProgramSupport.h"
#include "app/Application.h"
#include "app/PortMapSource.h"
#include "app/SignalBridge.h"
#include "app/SingleInstance.h"

namespace {
const QByteArray kPort1Ini = "[Modem]\nport=1\n[Ports]\nCOM1=/nonexistent/tavrin-test-tty\n";

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
  for (int waited = 0; waited < timeoutMs; waited += 20) {
    if (done()) return true;
    QTest::qWait(20);
  }
  return done();
}

QFile::Permissions OthersBits() {
  return QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther;
}
}  // namespace

TEST(ProgramTest, SigtermWhileAMessageBoxIsOpenRunsTheShutdown) {
  QTemporaryDir dir;
  {
    QFile ini(dir.filePath("Tavrin.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write(kPort1Ini);
  }
  Program tavrin(dir.path());
  ASSERT_TRUE(tavrin.process.waitForStarted(10000));
  // The start sequence has run once Calls.dbt exists; the port message box then opens.
  ASSERT_TRUE(WaitFor([&] { return QFile::exists(dir.filePath("Calls.dbt")); }, 30000));
  QTest::qWait(500);
  ASSERT_EQ(tavrin.process.state(), QProcess::Running);
  tavrin.Signal(SIGTERM);
  ASSERT_TRUE(tavrin.process.waitForFinished(20000));
  EXPECT_EQ(tavrin.process.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(tavrin.process.exitCode(), 0);

  EXPECT_EQ(QFile(dir.filePath("Calls.dbt")).size(), 0);
  ASSERT_TRUE(QFile::exists(dir.filePath("Events.log")));
  QFile ini(dir.filePath("Tavrin.ini"));
  ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
  const QByteArray text = ini.readAll();
  EXPECT_TRUE(text.contains("MainTop=146")) << text.constData();
  EXPECT_TRUE(text.contains("MainLeft=367")) << text.constData();
  for (const char* name : {"Calls.dbt", "Events.log"}) {
    EXPECT_EQ(QFile(dir.filePath(name)).permissions() & OthersBits(), QFile::Permissions()) << name;
  }
}

TEST(ProgramTest, ASecondStartEndsAtOnceUnlessItsFirstArgumentIsOnide) {
  const QString name = UniqueInstanceName();
  QTemporaryDir first, second, third;
  for (QTemporaryDir* d : {&first, &second, &third}) {
    ASSERT_TRUE(WriteBytes(d->filePath("Tavrin.ini"), kPort1Ini));
  }
  Program one(first.path(), ProgramOptions().Args({}).Instance(name));
  ASSERT_TRUE(WaitFor([&] { return QFile::exists(first.filePath("Calls.dbt")); }, 30000));

  Program two(second.path(), ProgramOptions().Args({}).Instance(name));
  ASSERT_TRUE(two.process.waitForFinished(20000));
  EXPECT_EQ(two.process.exitCode(), 0);
  EXPECT_FALSE(QFile::exists(second.filePath("Calls.dbt")));  // it created nothing
  EXPECT_EQ(one.process.state(), QProcess::Running);

  Program three(third.path(), ProgramOptions().Args({"onide"}).Instance(name));
  ASSERT_TRUE(WaitFor([&] { return QFile::exists(third.filePath("Calls.dbt")); }, 30000));
  EXPECT_EQ(three.process.state(), QProcess::Running);

  for (Program* p : {&one, &three}) {
    p->Signal(SIGTERM);
    ASSERT_TRUE(p->process.waitForFinished(20000));
    EXPECT_EQ(p->process.exitCode(), 0);
  }
}

// The program started with ONIDE is found by a later ordinary start, which ends at once;
// a second ONIDE start still runs beside it.
TEST(ProgramTest, AnOnideStartIsTheRunningOneForALaterOrdinaryStart) {
  const QString name = UniqueInstanceName();
  QTemporaryDir first, second, third;
  for (QTemporaryDir* d : {&first, &second, &third}) {
    ASSERT_TRUE(WriteBytes(d->filePath("Tavrin.ini"), kPort1Ini));
  }
  Program one(first.path(), ProgramOptions().Args({"ONIDE"}).Instance(name));
  ASSERT_TRUE(WaitFor([&] { return QFile::exists(first.filePath("Calls.dbt")); }, 30000));
  Program two(second.path(), ProgramOptions().Args({"OnIde"}).Instance(name));
  ASSERT_TRUE(WaitFor([&] { return QFile::exists(second.filePath("Calls.dbt")); }, 30000));

  Program three(third.path(), ProgramOptions().Args({}).Instance(name));
  ASSERT_TRUE(three.process.waitForFinished(20000));
  EXPECT_EQ(three.process.exitCode(), 0);
  EXPECT_FALSE(QFile::exists(third.filePath("Calls.dbt")));  // it created nothing
  EXPECT_TRUE(one.Running());
  EXPECT_TRUE(two.Running());

  for (Program* p : {&one, &two}) {
    p->Signal(SIGTERM);
    EXPECT_TRUE(p->EndedNormally());
  }
}

TEST(SingleInstanceTest, TheSecondAsksTheFirstToComeForward) {
  const QString name = UniqueInstanceName();
  int raised = 0;
  {
    TSingleInstance first(name);
    first.OnRaise = [&] { ++raised; };
    ASSERT_TRUE(first.Acquire());
    TSingleInstance second(name);
    EXPECT_FALSE(second.Acquire());
    EXPECT_TRUE(WaitFor([&] { return raised == 1; }, 5000));
  }
  // Once the first has ended, a new start is the first again.
  TSingleInstance again(name);
  EXPECT_TRUE(again.Acquire());
}

// ONIDE skips the check, not the slot: the first to run serves it, whichever way it
// started, and one that runs beside it never takes it away.
TEST(SingleInstanceTest, AStartWithoutTheCheckTakesTheSlotOnlyWhenItIsFree) {
  const QString name = UniqueInstanceName();
  int raisedFirst = 0;
  int raisedBeside = 0;
  TSingleInstance first(name);
  first.OnRaise = [&] { ++raisedFirst; };
  first.AcquireIfFree();
  {
    TSingleInstance beside(name);
    beside.OnRaise = [&] { ++raisedBeside; };
    beside.AcquireIfFree();
    QTest::qWait(200);
    EXPECT_EQ(raisedFirst, 0);  // looked for, not asked to come forward
    TSingleInstance plain(name);
    EXPECT_FALSE(plain.Acquire());
    EXPECT_TRUE(WaitFor([&] { return raisedFirst == 1; }, 5000));
  }
  // The one beside has ended: the first still holds the slot.
  TSingleInstance later(name);
  EXPECT_FALSE(later.Acquire());
  EXPECT_TRUE(WaitFor([&] { return raisedFirst == 2; }, 5000));
  EXPECT_EQ(raisedBeside, 0);
}

TEST(SignalBridgeTest, SignalsArriveOnTheUiThreadAndHandlersAreRestored) {
  static int customCalls = 0;
  struct sigaction custom {};
  custom.sa_handler = [](int) { ++customCalls; };
  sigemptyset(&custom.sa_mask);
  struct sigaction before {};
  ASSERT_EQ(::sigaction(SIGHUP, &custom, &before), 0);
  {
    TSignalBridge bridge;
    ASSERT_TRUE(bridge.Installed());
    QList<int> got;
    bridge.OnSignal = [&](int s) { got << s; };
    ::raise(SIGHUP);
    ::raise(SIGTERM);
    EXPECT_TRUE(got.isEmpty());  // nothing runs inside the handler itself
    EXPECT_TRUE(WaitFor([&] { return got.size() == 2; }, 5000));
    EXPECT_EQ(got, (QList<int>{SIGHUP, SIGTERM}));
  }
  ::raise(SIGHUP);
  EXPECT_EQ(customCalls, 1);
  ::sigaction(SIGHUP, &before, nullptr);
}

TEST(CloseProgramTest, AnOpenModalBoxIsDismissedAndTheShutdownRuns) {
  MainFormFixture fx;
  fx.Write("Tavrin.ini", kPort1Ini);
  TMainForm& form = fx.Start();
  QMessageBox box(QMessageBox::NoIcon, "Tavrin", "modal", QMessageBox::Ok, &form);
  QTimer::singleShot(0, &form, [&form] { CloseProgram(form); });
  box.exec();  // returns because the shutdown dismissed it
  EXPECT_TRUE(form.ShutDownDone());
  EXPECT_FALSE(form.isVisible());
  EXPECT_TRUE(QFile::exists(fx.Path("Events.log")));
  EXPECT_TRUE(fx.Read("Tavrin.ini").contains("MainTop="));
}

TEST(PortMapSourceTest, PortsSectionGivesTheDevicePaths) {
  QTemporaryDir dir;
  const QString path = dir.filePath("Tavrin.ini");
  QFile ini(path);
  ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
  ini.write("[Modem]\nport=2\n[ports]\ncom2=/dev/ttyUSB0\nCOM3=\n");
  ini.close();
  EXPECT_EQ(ConfiguredPortPath(path, 2), std::optional<std::string>("/dev/ttyUSB0"));
  EXPECT_EQ(ConfiguredPortPath(path, 1), std::nullopt);
  EXPECT_EQ(ConfiguredPortPath(path, 3), std::nullopt);
  EXPECT_EQ(ConfiguredPortPath(dir.filePath("none.ini"), 2), std::nullopt);
}
