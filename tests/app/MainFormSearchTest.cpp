// The search over the call list through the main window: the rows it shows, the count,
// Ctrl+F and Escape, and the commands that act on the call a row shows, Delete and Play
// above all; then the export commands on what the search shows.
#include <gtest/gtest.h>

#include <QAction>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "MainFormTestSupport.h"
#include "app/ExportForm.h"
#include "calls/CallNames.h"
#include "modem/MonitorForm.h"
#include "recording/RecorderPanel.h"
#include "sound/WavFormat.h"
#include "sound/WavPlayer.h"

namespace {
QByteArray Wav(int samples, char value) {
  TVoiceStream stream;
  stream.Assign(QByteArray(kWavHeaderSize, '\0'));
  WriteWavHeader(stream, static_cast<uint32_t>(samples), 8000);
  return stream.Data().left(kWavHeaderSize) + QByteArray(samples, value);
}

struct Row {
  const char* name;
  int day;
  const char* memo;
  const char* duration;
};
// Five calls; the memos hold callers, as caller ID leaves them.
const Row kRows[] = {
    {"AAAAAA", 1, "5551234 ANNA SMITH", "0:3"},
    {"BBBBBB", 2, "5559876 BOB JONES", "1:5"},
    {"CCCCCC", 3, "anna again, about the invoice", "2:5"},
    {"DDDDDD", 4, "Grüße von Jürgen", "0:3"},
    {"EEEEEE", 5, "Anna Jones", "1:5"},
};

struct FiveCalls : MainFormFixture {
  FiveCalls() {
    TWavPlayer::SetSilentOutput(true);
    Write("Tavrin.ini", "[Modem]\nport=1\n");
    QDir(dir.path()).mkpath("wav");
    std::vector<TCallRecord> calls;
    for (const Row& row : kRows) {
      TCallRecord r;
      r.FileName = QString::fromLatin1(row.name);
      r.Date = ShortDateText(QDate(2024, 5, row.day));
      r.Time = LongTimeText(QTime(10, row.day, 0));
      r.Duration = QString::fromLatin1(row.duration);
      r.Memo = QString::fromUtf8(row.memo);
      calls.push_back(r);
      Write("wav/" + r.FileName + ".wav", Wav(4000 + 800 * row.day, static_cast<char>(row.day)));
    }
    SaveCallFile(Path(kCallFileName), calls);
    Start();
    messages.clear();
  }
  ~FiveCalls() { TWavPlayer::SetSilentOutput(false); }
  QStringList ShownNames() const {
    QStringList names;
    for (int r = 1; r < form->RowCount(); ++r) {
      if (const auto i = form->CallIndexOfRow(r)) names << form->CallList[*i].FileName;
    }
    return names;
  }
  // Types the text key by key (letters the test's keyboard lacks are pasted).
  void Type(const QString& text) const {
    form->SearchEdit1->clear();
    for (const QChar c : text) {
      if (c.unicode() < 0x80) {
        QTest::keyClick(form->SearchEdit1, c.toLatin1());
      } else {
        form->SearchEdit1->insert(QString(c));
      }
    }
  }
};
}  // namespace

TEST(MainFormSearchTest, EveryWordMustMatchMemoDateTimeOrDurationWhateverTheCase) {
  FiveCalls fx;
  TMainForm& form = *fx.form;
  EXPECT_FALSE(form.SearchCount1->isVisibleTo(form.StatusBar1));
  fx.Type("anna");
  EXPECT_EQ(fx.ShownNames(), (QStringList{"AAAAAA", "CCCCCC", "EEEEEE"}));
  EXPECT_TRUE(form.SearchCount1->isVisibleTo(form.StatusBar1));
  EXPECT_EQ(form.SearchCount1->text(), "3 of 5 calls");
  fx.Type("JONES anna");
  EXPECT_EQ(fx.ShownNames(), QStringList{"EEEEEE"});
  EXPECT_EQ(form.SearchCount1->text(), "1 of 5 calls");
  fx.Type("1:5");  // the duration as shown
  EXPECT_EQ(fx.ShownNames(), (QStringList{"BBBBBB", "EEEEEE"}));
  fx.Type(QString::fromUtf8("GRÜSSE"));  // no word matches "Grüße": ß is not ss
  EXPECT_EQ(fx.ShownNames(), QStringList{});
  fx.Type(QString::fromUtf8("jürgen"));
  EXPECT_EQ(fx.ShownNames(), QStringList{"DDDDDD"});
  fx.Type(ShortDateText(QDate(2024, 5, 3)) + " " + LongTimeText(QTime(10, 3, 0)));
  EXPECT_EQ(fx.ShownNames(), QStringList{"CCCCCC"});
  EXPECT_EQ(form.Grid1->rowCount(), 1);
  EXPECT_EQ(form.Grid1->item(0, 3)->text(), "anna again, about the invoice");
  // Nothing matches: one blank row, as for an empty list.
  fx.Type("nobody");
  EXPECT_EQ(form.RowCount(), 2);
  EXPECT_EQ(form.Grid1->item(0, 0)->text(), "");
  EXPECT_EQ(form.SearchCount1->text(), "0 of 5 calls");
  form.SearchEdit1->clear();
  EXPECT_EQ(fx.ShownNames().size(), 5);
  EXPECT_FALSE(form.SearchCount1->isVisibleTo(form.StatusBar1));
  // The search is not stored: the list file holds all five, the settings no search.
  EXPECT_EQ(fx.Read("Calls.dbt").size(), 5 * kCallRecordSize);
  EXPECT_FALSE(fx.Read("Tavrin.ini").contains("nobody"));
}

TEST(MainFormSearchTest, CtrlFFocusesTheFieldEscapeClearsItAndTheSelectionFollowsItsCall) {
  FiveCalls fx;
  TMainForm& form = *fx.form;
  form.SelectRow(5);  // EEEEEE
  QTest::keyClick(form.Grid1, Qt::Key_F, Qt::ControlModifier);
  EXPECT_EQ(QApplication::focusWidget(), form.SearchEdit1);
  QTest::keyClicks(form.SearchEdit1, "anna");
  EXPECT_EQ(form.SelectedRow(), 3);  // still EEEEEE, now the third row shown
  EXPECT_EQ(form.CallList[*form.SelectedCallIndex()].FileName, "EEEEEE");
  fx.Type("bob");  // EEEEEE is not shown: the first row is selected
  EXPECT_EQ(form.CallList[*form.SelectedCallIndex()].FileName, "BBBBBB");
  QTest::keyClick(form.SearchEdit1, Qt::Key_Escape);
  EXPECT_EQ(form.SearchEdit1->text(), "");
  EXPECT_EQ(fx.ShownNames().size(), 5);
  EXPECT_EQ(form.CallList[*form.SelectedCallIndex()].FileName, "BBBBBB");
  QTest::keyClick(form.SearchEdit1, Qt::Key_Escape);  // on an empty field: back to the list
  EXPECT_EQ(QApplication::focusWidget(), form.Grid1);
  // The monitor's hot key works in the field as everywhere.
  QTest::keyClick(form.SearchEdit1, Qt::Key_A, Qt::ControlModifier);
  EXPECT_TRUE(form.MonitorForm->isVisible());
}

TEST(MainFormSearchTest, DeleteThroughASearchRemovesTheCallItShowsAndNoOther) {
  FiveCalls fx;
  TMainForm& form = *fx.form;
  fx.Type("anna");
  form.SelectRow(2);  // CCCCCC, the third call of the list
  form.Delete1->trigger();
  EXPECT_EQ(fx.confirms, QStringList{"Confirm|Delete record?"});
  EXPECT_EQ(fx.ShownNames(), (QStringList{"AAAAAA", "EEEEEE"}));
  EXPECT_EQ(form.SelectedRow(), 2);
  EXPECT_EQ(form.SearchCount1->text(), "2 of 4 calls");
  QStringList all;
  for (const TCallRecord& r : form.CallList) all << r.FileName;
  EXPECT_EQ(all, (QStringList{"AAAAAA", "BBBBBB", "DDDDDD", "EEEEEE"}));
  EXPECT_FALSE(QFile::exists(fx.Path("wav/CCCCCC.wav")));
  for (const char* kept : {"AAAAAA", "BBBBBB", "DDDDDD", "EEEEEE"}) {
    EXPECT_TRUE(QFile::exists(fx.Path(QStringLiteral("wav/%1.wav").arg(kept)))) << kept;
  }
  // The list on disk lost that call and no other.
  const std::vector<TCallRecord> stored = LoadCallFile(fx.Path(kCallFileName));
  ASSERT_EQ(stored.size(), 4u);
  EXPECT_EQ(stored[1].FileName, "BBBBBB");
  EXPECT_EQ(stored[2].FileName, "DDDDDD");

  // Twice more through the pop-up and the tool bar; then nothing is shown and Delete
  // asks nothing and removes nothing.
  form.Delete2->trigger();    // EEEEEE
  form.ToolButton5->click();  // AAAAAA
  EXPECT_EQ(fx.ShownNames(), QStringList{});
  EXPECT_EQ(form.CallCount(), 2);
  EXPECT_EQ(form.CallList[0].FileName, "BBBBBB");
  fx.confirms.clear();
  form.Delete1->trigger();
  EXPECT_TRUE(fx.confirms.isEmpty());
  EXPECT_EQ(form.CallCount(), 2);
}

TEST(MainFormSearchTest, ACallAddedWhileDeleteOrMemoAskLeavesTheAskedCallTheOneChanged) {
  // A recording that ends at a hang-up adds its call while a box is open: the search is
  // cleared and the new call selected, and the list may move in memory.
  FiveCalls fx;
  TMainForm& form = *fx.form;
  DialogHooks hooks;
  hooks.confirm = [&](const QString&, const QString&) {
    form.Button1->click();
    return true;
  };
  hooks.input = [&](const QString&, const QString&, const QString&) {
    for (int i = 0; i < 64; ++i) form.Button1->click();
    return QStringLiteral("Bob again");
  };
  hooks.message = [&](const QString& text) { fx.messages << text; };
  SetDialogHooks(hooks);
  fx.Type("bob");
  form.Delete1->trigger();  // BBBBBB
  QStringList names;
  for (const TCallRecord& r : form.CallList) names << r.FileName;
  EXPECT_EQ(names.mid(0, 4), (QStringList{"AAAAAA", "CCCCCC", "DDDDDD", "EEEEEE"}));
  EXPECT_EQ(names.size(), 5);
  EXPECT_FALSE(QFile::exists(fx.Path("wav/BBBBBB.wav")));
  fx.Type("jones");  // EEEEEE
  form.Comment1->trigger();
  EXPECT_EQ(form.CallList[3].Memo, "Bob again");
  EXPECT_EQ(form.CallCount(), 69);
  EXPECT_TRUE(fx.messages.isEmpty());
}

TEST(MainFormSearchTest, PlayMemoAndTheNavigationActOnTheRowsShown) {
  FiveCalls fx;
  TMainForm& form = *fx.form;
  fx.Type("jones");
  ASSERT_EQ(fx.ShownNames(), (QStringList{"BBBBBB", "EEEEEE"}));
  form.ToolButton3->click();  // "Next file"
  EXPECT_EQ(form.SelectedRow(), 2);
  form.ToolButton3->click();  // the last row shown: stays
  EXPECT_EQ(form.SelectedRow(), 2);
  form.Playsb1->click();
  ASSERT_TRUE(fx.messages.isEmpty()) << fx.messages.join('\n').toStdString();
  EXPECT_EQ(form.CurrentFileName, "EEEEEE");
  EXPECT_TRUE(form.Playsb1->isChecked());
  EXPECT_EQ(form.Recorder->VoiceStream.Data(), fx.Read("wav/EEEEEE.wav"));
  form.StopSb1->click();
  form.ToolButton2->click();  // "Previous file"
  form.Play1->trigger();
  EXPECT_EQ(form.CurrentFileName, "BBBBBB");
  form.Stop1->trigger();

  fx.inputAnswer = "Bob, the plumber";
  form.Comment1->trigger();  // row 1: BBBBBB
  EXPECT_EQ(fx.inputs, QStringList{"Comment|5559876 BOB JONES"});
  EXPECT_EQ(form.CallList[1].Memo, "Bob, the plumber");
  // It no longer matches: the search shows only EEEEEE.
  EXPECT_EQ(fx.ShownNames(), QStringList{"EEEEEE"});
  EXPECT_EQ(LoadCallFile(fx.Path(kCallFileName))[1].Memo, "Bob, the plumber");

  // A search that shows no call leaves nothing to play or edit.
  fx.Type("nobody");
  fx.inputs.clear();
  form.Playsb1->click();
  form.Comment1->trigger();
  EXPECT_TRUE(fx.messages.isEmpty());
  EXPECT_TRUE(fx.inputs.isEmpty());
  EXPECT_FALSE(form.Playsb1->isChecked());
}

TEST(MainFormSearchTest, ANewCallClearsTheSearchAndIsShownSelected) {
  FiveCalls fx;
  TMainForm& form = *fx.form;
  fx.Type("bob");
  form.Button1->click();  // the developer's "add": a call without a recording
  EXPECT_EQ(form.SearchEdit1->text(), "");
  EXPECT_EQ(form.RowCount(), 7);
  EXPECT_EQ(form.SelectedRow(), 6);
  EXPECT_EQ(*form.SelectedCallIndex(), 5u);
  EXPECT_FALSE(form.SearchCount1->isVisibleTo(form.StatusBar1));
}

namespace {
// Answers the export dialog with `folder` and `format`, and the list's file dialog with
// `csv`.
void AnswerExport(MainFormFixture& fx, const QString& folder, TExportFormat format,
                  const QString& csv = {}) {
  fx.form->ExecModal = [&fx, folder, format, csv](QDialog& d) {
    fx.modals << d.objectName() + "|" + d.windowTitle();
    if (auto* e = dynamic_cast<TExportForm*>(&d)) {
      EXPECT_TRUE(e->FormatButtons.at(TExportFormat::kFlac)->isChecked() ||
                  fx.modals.size() > 1);  // FLAC first, the last choice after
      e->FolderEdit1->setText(folder);
      e->FormatButtons.at(format)->click();
    }
    if (auto* f = qobject_cast<QFileDialog*>(&d)) f->selectFile(csv);
    return int(QDialog::Accepted);
  };
}
}  // namespace

TEST(MainFormSearchTest, ExportCommandsWriteTheCallsTheSearchShows) {
  FiveCalls fx;
  TMainForm& form = *fx.form;
  const QString out = fx.Path("exported");
  AnswerExport(fx, out, TExportFormat::kOpus);
  fx.Type("anna");
  form.ExportShown1->trigger();
  EXPECT_EQ(fx.modals.first(), "ExportForm|Export calls");
  EXPECT_EQ(QDir(out).entryList(QDir::Files),
            (QStringList{"2024-05-01_10-01-00.opus", "2024-05-03_10-03-00.opus",
                         "2024-05-05_10-05-00.opus"}));
  EXPECT_EQ(fx.messages.last(), "3 of 3 calls exported to " + QDir::toNativeSeparators(out) + ".");

  AnswerExport(fx, out, TExportFormat::kWav);
  form.SelectRow(2);
  form.ExportCall1->trigger();
  EXPECT_EQ(fx.modals.last(), "ExportForm|Export call");
  EXPECT_TRUE(QFile::exists(out + "/2024-05-03_10-03-00.wav"));
  EXPECT_EQ(QDir(out).entryList(QDir::Files).size(), 4);

  const QString csv = fx.Path("list.csv");
  AnswerExport(fx, out, TExportFormat::kWav, csv);
  form.ExportList1->trigger();
  const QList<QByteArray> lines = fx.Read("list.csv").split('\n');
  ASSERT_EQ(lines.size(), 5);  // the header, three calls, and after the last CRLF nothing
  EXPECT_EQ(lines[0], "date,time,duration,memo,file\r");
  EXPECT_EQ(lines[1], "2024-05-01,10:01:00,00:00:03,5551234 ANNA SMITH,AAAAAA.wav\r");
  EXPECT_EQ(lines[2],
            "2024-05-03,10:03:00,00:02:05,\"anna again, about the invoice\",CCCCCC.wav\r");

  // Into Tavrin's own folder: refused, nothing written.
  AnswerExport(fx, fx.Path("wav"), TExportFormat::kFlac, fx.Path("Calls.dbt"));
  const QByteArray list = fx.Read("Calls.dbt");
  form.ExportShown1->trigger();
  form.ExportList1->trigger();
  EXPECT_EQ(QDir(fx.Path("wav")).entryList(QDir::Files).size(), 5);
  EXPECT_EQ(fx.Read("Calls.dbt"), list);
  EXPECT_TRUE(fx.messages.last().startsWith("The list cannot be written over"));
}

TEST(MainFormSearchTest, CancelInTheProgressDialogStopsInTheMiddleAndLeavesNoHalfFile) {
  FiveCalls fx;
  TMainForm& form = *fx.form;
  const QString out = fx.Path("exported");
  AnswerExport(fx, out, TExportFormat::kFlac);
  // Cancel as soon as the second call's file is being written.
  bool sawDialog = false;
  QTimer watch;
  watch.setInterval(0);
  QObject::connect(&watch, &QTimer::timeout, [&] {
    auto* progress = form.findChild<QProgressDialog*>("ExportProgress1");
    const QStringList files = QDir(out).entryList(QDir::Files | QDir::Hidden);
    if (progress && files.size() == 2 && files.filter(".tavrin-export-").size() == 1) {
      sawDialog = progress->isVisible() && progress->labelText() == "Exporting call 2 of 5...";
      progress->cancel();
      watch.stop();
    }
  });
  watch.start();
  form.ExportShown1->trigger();
  watch.stop();
  EXPECT_TRUE(sawDialog);
  EXPECT_EQ(QDir(out).entryList(QDir::Files | QDir::Hidden),
            QStringList{"2024-05-01_10-01-00.flac"});
  ASSERT_FALSE(fx.messages.isEmpty());
  EXPECT_TRUE(fx.messages.last().startsWith("The export was cancelled.\n1 of 5 calls exported"))
      << fx.messages.last().toStdString();
}
