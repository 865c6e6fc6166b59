#include <signal.h>
#include <sys/resource.h>

#include <cstring>

#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "MainFormTestSupport.h"
#include "UrlCatcher.h"
#include "app/AboutForm.h"
#include "calls/CallFile.h"
#include "common/FileSizeLimit.h"
#include "modem/MonitorForm.h"
#include "setup/SettingsForm.h"
#include "setup/Shared.h"

namespace {
const QByteArray kPort1Ini = "[Modem]\nport=1\n";
const QString kFixture = QStringLiteral(TAVRIN_TEST_DATA_DIR "/calls3.dbt");

QByteArray FixtureBytes() {
  QFile f(kFixture);
  f.open(QIODevice::ReadOnly);
  return f.readAll();
}

// A started window on the three-record fixture, with the port failing to open.
struct ThreeRecords : MainFormFixture {
  ThreeRecords() {
    Write("Tavrin.ini", kPort1Ini);
    Write("Calls.dbt", FixtureBytes());
    Start();
    messages.clear();
  }
};
}  // namespace

TEST(CallNavigationTest, ButtonsMoveTheSelectionAndStopAtBothEnds) {
  ThreeRecords fx;
  TMainForm& form = *fx.form;
  ASSERT_EQ(form.SelectedRow(), 1);
  form.ToolButton2->click();  // "Previous file" on row 1
  EXPECT_EQ(form.SelectedRow(), 1);
  form.ToolButton3->click();
  EXPECT_EQ(form.SelectedRow(), 2);
  form.ToolButton3->click();
  EXPECT_EQ(form.SelectedRow(), 3);
  form.ToolButton3->click();  // "Next file" on the last row
  EXPECT_EQ(form.SelectedRow(), 3);
  form.ToolButton1->click();
  EXPECT_EQ(form.SelectedRow(), 1);
  form.ToolButton4->click();
  EXPECT_EQ(form.SelectedRow(), 3);
  form.ToolButton2->click();
  EXPECT_EQ(form.SelectedRow(), 2);
  EXPECT_EQ(form.Grid1->selectionModel()->selectedRows().size(), 1);
}

TEST(CallNavigationTest, EmptyListNavigationStaysOnTheBlankRow) {
  MainFormFixture fx;
  fx.Write("Tavrin.ini", kPort1Ini);
  TMainForm& form = fx.Start();
  for (QToolButton* b : {form.ToolButton1, form.ToolButton2, form.ToolButton3, form.ToolButton4}) {
    b->click();
    EXPECT_EQ(form.SelectedRow(), 1);
  }
  EXPECT_EQ(form.RowCount(), 2);
}

TEST(CallDeleteTest, DeletingTheMiddleOfThreeKeepsOrderSelectionAndRemovesItsWav) {
  ThreeRecords fx;
  TMainForm& form = *fx.form;
  ASSERT_TRUE(QDir(fx.dir.path()).mkdir("wav"));
  fx.Write("wav/QRSTUV.wav", "RIFF");
  fx.Write("wav/ABCDEF.wav", "RIFF");
  form.SelectRow(2);
  form.Delete1->trigger();
  EXPECT_EQ(fx.confirms, QStringList{"Confirm|Delete record?"});
  ASSERT_EQ(form.CallCount(), 2);
  EXPECT_EQ(form.CallList[0].FileName, "ABCDEF");
  EXPECT_EQ(form.CallList[1].FileName, "MOXABC");
  EXPECT_EQ(form.SelectedRow(), 2);
  EXPECT_EQ(form.Grid1->item(1, 3)->text(), QString::fromUtf8("Grüße ✓"));
  EXPECT_FALSE(QFile::exists(fx.Path("wav/QRSTUV.wav")));
  EXPECT_TRUE(QFile::exists(fx.Path("wav/ABCDEF.wav")));
  // The list without the row is on disk at once.
  EXPECT_EQ(fx.Read("Calls.dbt"), FixtureBytes().left(305) + FixtureBytes().mid(610));
  form.close();
  EXPECT_EQ(fx.Read("Calls.dbt"), FixtureBytes().left(305) + FixtureBytes().mid(610));
}

TEST(CallDeleteTest, TheWavGoesOnlyOnceTheListWithoutItsRowIsOnDisk) {
  ThreeRecords fx;
  TMainForm& form = *fx.form;
  ASSERT_TRUE(QDir(fx.dir.path()).mkdir("wav"));
  fx.Write("wav/ABCDEF.wav", "RIFF");
  fx.Write("wav/QRSTUV.wav", "RIFF");
  {
    FileSizeLimit limit(1);  // no list can be written
    form.SelectRow(1);
    form.Delete1->trigger();
    ASSERT_EQ(form.CallCount(), 2);
    EXPECT_EQ(fx.messages.size(), 1);
    // A crash now finds the row in the list on disk, and its file.
    EXPECT_EQ(fx.Read("Calls.dbt"), FixtureBytes());
    EXPECT_TRUE(QFile::exists(fx.Path("wav/ABCDEF.wav")));
  }
  form.SelectRow(1);
  form.Delete1->trigger();  // this store takes both removals to disk
  EXPECT_EQ(fx.Read("Calls.dbt"), FixtureBytes().mid(610));
  EXPECT_FALSE(QFile::exists(fx.Path("wav/ABCDEF.wav")));
  EXPECT_FALSE(QFile::exists(fx.Path("wav/QRSTUV.wav")));
}

TEST(CallDeleteTest, CancelKeepsTheRecordAndDeletingTheLastRowMovesTheSelectionUp) {
  ThreeRecords fx;
  TMainForm& form = *fx.form;
  form.SelectRow(3);
  fx.confirmAnswer = false;
  form.ToolButton5->click();
  EXPECT_EQ(form.CallCount(), 3);
  fx.confirmAnswer = true;
  form.Delete2->trigger();
  EXPECT_EQ(form.CallCount(), 2);
  EXPECT_EQ(form.SelectedRow(), 2);
}

TEST(CallDeleteTest, DeletingTheOnlyRecordDisablesTheRecordCommands) {
  MainFormFixture fx;
  fx.Write("Tavrin.ini", kPort1Ini);
  fx.Write("Calls.dbt", FixtureBytes().left(305));
  TMainForm& form = fx.Start();
  ASSERT_TRUE(form.Play1->isEnabled());
  form.Delete1->trigger();
  EXPECT_EQ(form.CallCount(), 0);
  EXPECT_EQ(form.RowCount(), 2);
  EXPECT_EQ(form.Grid1->item(0, 0)->text(), "");
  for (QAction* a : {form.Comment1, form.Delete1, form.Play1, form.Pause1, form.Stop1,
                     form.Previous1, form.Next1}) {
    EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
  }
  EXPECT_FALSE(form.Playsb1->isEnabled());
  EXPECT_FALSE(form.StopSb1->isEnabled());
  EXPECT_TRUE(form.Record1->isEnabled());
  EXPECT_TRUE(form.ToolButton5->isEnabled());
  EXPECT_TRUE(form.Delete2->isEnabled());
  // Deleting from the empty list asks nothing and changes nothing.
  fx.confirms.clear();
  form.Delete2->trigger();
  EXPECT_TRUE(fx.confirms.isEmpty());
  EXPECT_EQ(form.RowCount(), 2);
}

TEST(CallMemoTest, AnEmptyAnswerKeepsTheMemoAndATextReplacesIt) {
  ThreeRecords fx;
  TMainForm& form = *fx.form;
  form.SelectRow(1);
  fx.inputAnswer = "";
  form.Comment1->trigger();
  EXPECT_EQ(fx.inputs, QStringList{"Comment|Doctor"});
  EXPECT_EQ(form.CallList[0].Memo, "Doctor");
  fx.inputAnswer = QString::fromUtf8("Dentist — Tuesday");
  form.Memo1->trigger();
  EXPECT_EQ(form.CallList[0].Memo, QString::fromUtf8("Dentist — Tuesday"));
  EXPECT_EQ(form.Grid1->item(0, 3)->text(), QString::fromUtf8("Dentist — Tuesday"));
  fx.inputAnswer = QString(300, 'm');
  form.Comment1->trigger();
  EXPECT_EQ(form.CallList[0].Memo, QString(255, 'm'));
  form.close();
  // The next run shows the changed memo.
  EXPECT_EQ(LoadCallFile(fx.Path("Calls.dbt"))[0].Memo, QString(255, 'm'));
}

TEST(CallMemoTest, EditingWithAnEmptyListChangesNothing) {
  MainFormFixture fx;
  fx.Write("Tavrin.ini", kPort1Ini);
  TMainForm& form = fx.Start();
  fx.inputAnswer = "memo";
  form.Memo1->trigger();
  EXPECT_TRUE(fx.inputs.isEmpty());
  EXPECT_EQ(form.CallCount(), 0);
  form.close();
  EXPECT_EQ(QFile(fx.Path("Calls.dbt")).size(), 0);
}

TEST(CallAddTest, ANewRecordIsLastSelectedAndNamedFromTheAlphabet) {
  ThreeRecords fx;
  TMainForm& form = *fx.form;
  CurrentProfile.SamplingFreq = 8000;
  EXPECT_TRUE(form.AddCallRecord(form.NewCallFileName(), 44 + 65 * 8000 + 4000));  // 65.5 s
  ASSERT_EQ(form.CallCount(), 4);
  const TCallRecord& r = form.CallList.back();
  EXPECT_EQ(r.Duration, "1:6");
  EXPECT_EQ(r.Memo, "");
  EXPECT_EQ(r.Reserved, 0);
  EXPECT_EQ(form.SelectedRow(), 4);
  EXPECT_EQ(form.CurrentFileName, r.FileName);
  ASSERT_EQ(r.FileName.size(), 6);
  for (const QChar c : r.FileName) EXPECT_TRUE((c >= 'A' && c <= 'M') || (c >= 'O' && c <= 'X'));
  EXPECT_FALSE(r.Date.isEmpty());
  EXPECT_FALSE(r.Time.isEmpty());
  // On disk at once.
  EXPECT_EQ(fx.Read("Calls.dbt").size(), 4 * 305);
  form.AddCallRecord(form.NewCallFileName(), 44 + 64 * 8000 + 4000);  // 64.5 s
  EXPECT_EQ(form.CallList.back().Duration, "1:4");
  form.close();
  EXPECT_EQ(QFile(fx.Path("Calls.dbt")).size(), 5 * 305);
}

TEST(CallAddTest, TheAddButtonKeepsTheDurationAndTheCurrentFile) {
  ThreeRecords fx;
  TMainForm& form = *fx.form;
  ASSERT_EQ(form.CurrentCall.Duration, "1:6");  // the first record, copied at start
  form.Button1->click();
  ASSERT_EQ(form.CallCount(), 4);
  EXPECT_EQ(form.CallList.back().Duration, "1:6");
  EXPECT_NE(form.CallList.back().FileName, "ABCDEF");
  EXPECT_EQ(form.CurrentFileName, "ABCDEF");
  EXPECT_EQ(form.SelectedRow(), 4);
}

TEST(MonitorHotKeyTest, CtrlAInTheGridAndInTheWindowButNotWithShiftOrAlt) {
  ThreeRecords fx;
  TMainForm& form = *fx.form;
  ASSERT_FALSE(form.MonitorForm->isVisible());
  QTest::keyClick(form.Grid1, Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
  QTest::keyClick(form.Grid1, Qt::Key_A, Qt::ControlModifier | Qt::AltModifier);
  QTest::keyClick(form.Grid1, Qt::Key_A, Qt::AltModifier);
  EXPECT_FALSE(form.MonitorForm->isVisible());
  QTest::keyClick(form.Grid1, Qt::Key_A, Qt::ControlModifier);
  EXPECT_TRUE(form.MonitorForm->isVisible());
  // The grid did not take Ctrl+A as "select all".
  EXPECT_EQ(form.Grid1->selectionModel()->selectedRows().size(), 1);

  form.MonitorForm->hide();
  // A key the focused control does not use reaches the window.
  QTest::keyClick(form.Button1, Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_FALSE(form.MonitorForm->isVisible());
  QTest::keyClick(form.Button1, Qt::Key_A, Qt::ControlModifier);
  EXPECT_TRUE(form.MonitorForm->isVisible());
}

TEST(ShutdownTest, AFailedSaveKeepsTheOldListShowsErrorAndSkipsTheRest) {
  ThreeRecords fx;
  TMainForm& form = *fx.form;
  {
    FileSizeLimit limit(1000);         // room for three records, not four
    form.Button1->click();             // four records: 1220 bytes
    ASSERT_EQ(fx.messages.size(), 1);  // the store of the change is told
    fx.messages.clear();
    form.close();
  }
  EXPECT_EQ(fx.messages, QStringList{"error"});
  EXPECT_EQ(fx.Read("Calls.dbt"), FixtureBytes());
  EXPECT_FALSE(QFile::exists(fx.Path("Events.log")));
  EXPECT_FALSE(fx.Read("Tavrin.ini").contains("MainTop"));
  EXPECT_EQ(QDir(fx.dir.path()).entryList(QDir::Files).size(), 2);  // no temporary left
}

TEST(CallListStoreTest, AFailedStoreIsToldOnceKeptInMemoryAndWrittenAtTheNextChange) {
  ThreeRecords fx;
  TMainForm& form = *fx.form;
  {
    FileSizeLimit limit(1000);
    form.Button1->click();
    ASSERT_EQ(fx.messages.size(), 1);
    EXPECT_TRUE(fx.messages[0].contains("Calls.dbt")) << fx.messages[0].toStdString();
    EXPECT_TRUE(fx.messages[0].contains(QString::fromLocal8Bit(std::strerror(EFBIG))))
        << fx.messages[0].toStdString();
    fx.inputAnswer = "still failing";
    form.SelectRow(1);
    form.Comment1->trigger();  // fails the same way: not told again
    EXPECT_EQ(fx.messages.size(), 1);
    EXPECT_EQ(form.CallCount(), 4);
    EXPECT_EQ(fx.Read("Calls.dbt"), FixtureBytes());
  }
  // The next change writes the whole list, the earlier changes with it.
  fx.inputAnswer = "written";
  form.SelectRow(2);
  form.Comment1->trigger();
  EXPECT_EQ(fx.messages.size(), 1);
  auto onDisk = LoadCallFile(fx.Path("Calls.dbt"));
  ASSERT_EQ(onDisk.size(), 4u);
  EXPECT_EQ(onDisk[0].Memo, "still failing");
  EXPECT_EQ(onDisk[1].Memo, "written");
  // A later failure is news again.
  {
    FileSizeLimit limit(1000);
    form.Delete1->trigger();
    EXPECT_EQ(fx.messages.size(), 1);  // 915 bytes fit
    form.Button1->click();
    form.Button1->click();
    EXPECT_EQ(fx.messages.size(), 2);
  }
  form.close();
  EXPECT_EQ(fx.Read("Calls.dbt").size(), 5 * 305);
}

TEST(ShutdownTest, EventLogAndNewFilesArePrivate) {
  MainFormFixture fx;
  fx.Write("Tavrin.ini", kPort1Ini);
  TMainForm& form = fx.Start();
  form.MonitorForm->Add("Com port opened...");
  form.close();
  EXPECT_EQ(fx.Read("Events.log"), QByteArray("Com port opened...\r\n"));
  for (const char* name : {"Events.log", "Calls.dbt"}) {
    EXPECT_EQ(QFile(fx.Path(name)).permissions() &
                  (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
              QFile::Permissions())
        << name;
  }
}

TEST(SettingsCommandTest, ChangesOfTheRunSurviveTheRestartOfTheSequence) {
  ThreeRecords fx;
  TMainForm& form = *fx.form;
  form.SelectRow(2);
  fx.inputAnswer = "changed";
  form.Comment1->trigger();
  form.Button1->click();
  form.SetStatusPanel(1, " COM PORT 1");
  form.Settings1->trigger();
  EXPECT_TRUE(
      fx.modals.contains(form.SettingsForm->objectName() + "|" + form.SettingsForm->windowTitle()));
  ASSERT_EQ(form.CallCount(), 4);
  EXPECT_EQ(form.CallList[1].Memo, "changed");
  EXPECT_EQ(fx.messages, QStringList{"Error during opening com port 1"});
  // The Settings command took the mark to Off; the failed opening left it there.
  EXPECT_FALSE(form.On1->isChecked());
  EXPECT_TRUE(form.Off1->isChecked());
  EXPECT_EQ(form.StatusPanel(1), " COM PORT 1");
  EXPECT_EQ(QFile(fx.Path("Calls.dbt")).size(), 4 * 305);
}

TEST(AboutTest, AboutShowsNameVersionLinksAndOk) {
  MainFormFixture fx;
  TMainForm& form = fx.Create();
  form.About1->trigger();
  ASSERT_EQ(fx.modals.size(), 1);
  EXPECT_TRUE(fx.modals[0].endsWith("|About"));
  TAboutForm& about = *form.AboutForm;
  EXPECT_EQ(about.ProductName->text(), "Tavrin");
  EXPECT_TRUE(about.Version->text().contains("1.0.0"));
  EXPECT_TRUE(about.HomeLink->openExternalLinks());
  EXPECT_TRUE(about.MailLink->text().contains("mailto:"));
  EXPECT_EQ(about.OKButton->text(), "Ok");
  // The real modal showing: Ok closes it.
  QTimer::singleShot(0, &about, [&about] { about.OKButton->click(); });
  EXPECT_EQ(about.exec(), QDialog::Accepted);
}

TEST(HelpTest, ContentsOpensHelpChmOfTheCurrentFolder) {
  MainFormFixture fx;
  TMainForm& form = fx.Create();
  fx.Write("Help.chm", "help");
  // The window's own opener hands the file to the desktop.
  UrlCatcher catcher("file");
  form.Contents1->trigger();
  ASSERT_EQ(catcher.urls.size(), 1);
  EXPECT_EQ(catcher.urls[0].toLocalFile(), QDir(fx.dir.path()).absoluteFilePath("Help.chm"));
  EXPECT_TRUE(fx.messages.isEmpty());
}

TEST(DamagedNameTest, ANameThatIsNotPlainIsShownButNeverUsedAsAPath) {
  MainFormFixture fx;
  fx.Write("Tavrin.ini", kPort1Ini);
  QByteArray file;
  for (const char* name : {"../victim", "..", "a/b", "", "ok\\..\\x"}) {
    TCallRecord r;
    r.FileName = QString::fromLatin1(name);
    r.Date = "1.1.24";
    r.Time = "10:00:00";
    r.Duration = "0:1";
    file += EncodeCallRecord(r);
  }
  fx.Write("Calls.dbt", file);
  ASSERT_TRUE(QDir(fx.dir.path()).mkpath("wav/a"));
  fx.Write("victim.wav", "not a recording of ours");
  fx.Write("wav/a/b.wav", "inside a sub-folder");
  fx.Write("wav/...wav", "dots");
  TMainForm& form = fx.Start();
  ASSERT_EQ(form.CallCount(), 5);
  EXPECT_EQ(form.Grid1->item(0, 0)->text(), "1.1.24");  // shown like any other
  fx.messages.clear();

  form.Playsb1->click();  // row 1: "../victim"
  EXPECT_EQ(fx.messages, QStringList{"Wav file does not exist"});
  EXPECT_FALSE(form.Playsb1->isChecked());
  // "Close port" saves under the current name, the first record's: refused.
  fx.messages.clear();
  form.ClosePortBtn->click();
  ASSERT_EQ(fx.messages.size(), 1);
  EXPECT_EQ(fx.Read("victim.wav"), "not a recording of ours");

  for (int i = 0; i < 5; ++i) {
    form.SelectRow(1);
    form.Delete1->trigger();
  }
  EXPECT_EQ(form.CallCount(), 0);
  EXPECT_EQ(fx.Read("victim.wav"), "not a recording of ours");
  EXPECT_EQ(fx.Read("wav/a/b.wav"), "inside a sub-folder");
  EXPECT_EQ(fx.Read("wav/...wav"), "dots");
}
