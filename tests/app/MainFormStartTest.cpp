#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>

#include "MainFormTestSupport.h"
#include "modem/ModemF.h"
#include "modem/MonitorForm.h"
#include "setup/Shared.h"

namespace {
const QByteArray kPort1Ini = "[Modem]\nport=1\nModel=Test modem\n";
const QString kFixture = QStringLiteral(TAVRIN_TEST_DATA_DIR "/calls3.dbt");

QByteArray FixtureBytes() {
  QFile f(kFixture);
  f.open(QIODevice::ReadOnly);
  return f.readAll();
}

template <typename T>
T* Find(TMainForm& form, const char* name) {
  return form.findChild<T*>(QLatin1String(name));
}
}  // namespace

TEST(MainFormLayoutTest, ControlsSitAtTheirClientCoordinates) {
  MainFormFixture fx;
  TMainForm& form = fx.Create();
  EXPECT_EQ(form.windowTitle(), "Tavrin");
  EXPECT_EQ(form.centralWidget()->size(), QSize(384, 386));
  EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(form.windowFlags() & Qt::WindowMinimizeButtonHint);
  form.show();
  EXPECT_EQ(form.minimumSize(), form.maximumSize());  // a fixed border

  struct Expect {
    const char* name;
    QRect rect;
  };
  const Expect expected[] = {
      {"ToolBar1", {0, 0, 384, 36}},     {"TrackBar1", {2, 96, 380, 22}},
      {"ToolBar2", {8, 118, 265, 25}},   {"Grid1", {8, 152, 369, 201}},
      {"StatusBar1", {0, 364, 384, 22}}, {"SpinEdit1", {408, 56, 81, 22}},
      {"Button4", {312, 120, 75, 25}},
  };
  for (const Expect& e : expected) {
    QWidget* w = form.centralWidget()->findChild<QWidget*>(QLatin1String(e.name));
    ASSERT_NE(w, nullptr) << e.name;
    EXPECT_EQ(w->parentWidget(), form.centralWidget()) << e.name;
    EXPECT_EQ(w->geometry(), e.rect) << e.name;
  }
  for (const char* name : {"ClosePortBtn", "VoiceRecBtn", "Button3", "Button1", "Label10"}) {
    QWidget* w = Find<QWidget>(form, name);
    ASSERT_NE(w, nullptr) << name;
    EXPECT_EQ(w->x(), 408) << name;
  }
  EXPECT_EQ(Find<QWidget>(form, "ClosePortBtn")->y(), 80);
  EXPECT_EQ(Find<QWidget>(form, "VoiceRecBtn")->y(), 112);
  EXPECT_EQ(Find<QWidget>(form, "Button3")->y(), 144);
  EXPECT_EQ(Find<QWidget>(form, "Button1")->y(), 176);
  EXPECT_EQ(Find<QWidget>(form, "Label10")->y(), 208);
  EXPECT_FALSE(form.Button4->isVisible());

  const char* navNames[] = {"ToolButton1", "ToolButton2", "ToolButton3", "ToolButton4",
                            "ToolButton5"};
  const char* navHints[] = {"First file", "Previous file", "Next file", "Last file", "Delete file"};
  for (int i = 0; i < 5; ++i) {
    auto* b = Find<QToolButton>(form, navNames[i]);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->toolTip(), navHints[i]);
    EXPECT_EQ(b->width(), 36);
    EXPECT_FALSE(b->icon().isNull());
  }
  const char* recNames[] = {"Playsb1", "PauseSb1", "StopSb1", "PrevSb1", "NextSb1", "RecSb1"};
  const char* recHints[] = {"Play", "Pause", "Stop", "Rewind", "Fast forward", "Record"};
  for (int i = 0; i < 6; ++i) {
    auto* b = Find<TSpeedButton>(form, recNames[i]);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->toolTip(), recHints[i]);
    EXPECT_EQ(b->size(), QSize(40, 23));
    EXPECT_EQ(b->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_TRUE(b->isCheckable());
  }

  EXPECT_FALSE(form.TrackBar1->isEnabled());
  EXPECT_EQ(form.TrackBar1->maximum(), 100);
  EXPECT_EQ(form.TrackBar1->tickPosition(), QSlider::NoTicks);
  EXPECT_EQ(form.SpinEdit1->value(), 1600);
  EXPECT_EQ(form.SpinEdit1->minimum(), 100);
  EXPECT_EQ(form.SpinEdit1->maximum(), 2000);
  EXPECT_EQ(form.SpinEdit1->singleStep(), 100);
  EXPECT_EQ(form.Timer2->interval(), 100);
  EXPECT_FALSE(form.Timer2->isActive());

  EXPECT_EQ(form.Grid1->columnCount(), 4);
  // The design's widths, or more where the texts need it (MainFormTextFitTest).
  const int widths[] = {69, 75, 58, 396};
  for (int c = 0; c < 4; ++c) EXPECT_GE(form.Grid1->columnWidth(c), widths[c]);
  EXPECT_EQ(form.Grid1->verticalHeader()->defaultSectionSize(), 18);
  EXPECT_FALSE(form.Grid1->showGrid());
  EXPECT_EQ(form.Grid1->selectionBehavior(), QAbstractItemView::SelectRows);
  EXPECT_EQ(form.Grid1->horizontalHeaderItem(3)->text(), "Memo");

  for (int i = 0; i < 3; ++i) {
    auto* panel = form.StatusBar1->findChild<QLabel*>(QStringLiteral("StatusBar1Panel%1").arg(i));
    ASSERT_NE(panel, nullptr);
  }
  EXPECT_GE(form.StatusPanels[0]->width(), 80);
  EXPECT_GE(form.StatusPanels[1]->width(), 80);
  EXPECT_EQ(form.StatusPanels[2]->width(), 50);  // empty
  EXPECT_FALSE(form.StatusBar1->isSizeGripEnabled());

  // Menus, their captions and the Modem check marks.
  const std::pair<const char*, const char*> items[] = {{"Comment1", "Memo..."},
                                                       {"Delete1", "Delete..."},
                                                       {"Exit1", "Exit"},
                                                       {"Play1", "Play"},
                                                       {"Pause1", "Pause"},
                                                       {"Stop1", "Stop"},
                                                       {"Previous1", "Rewind"},
                                                       {"Next1", "Fast forward"},
                                                       {"Record1", "Record"},
                                                       {"Settings1", "Settings..."},
                                                       {"On1", "On"},
                                                       {"Off1", "Off"},
                                                       {"Diagnostics1", "Diagnostics"},
                                                       {"Contents1", "Contents..."},
                                                       {"About1", "About..."},
                                                       {"Memo1", "Memo..."},
                                                       {"Delete2", "Delete..."}};
  for (const auto& [name, caption] : items) {
    auto* a = Find<QAction>(form, name);
    ASSERT_NE(a, nullptr) << name;
    EXPECT_EQ(a->text(), caption) << name;
  }
  EXPECT_TRUE(form.On1->isChecked());
  EXPECT_FALSE(form.Off1->isChecked());
  EXPECT_EQ(form.Modem1->title(), "Modem");
  EXPECT_EQ(form.PopupMenu1->actions().size(), 2);
}

TEST(MainFormLayoutTest, RecorderButtonsDoNotToggleByThemselves) {
  TSpeedButton b;
  b.setCheckable(true);
  int clicks = 0;
  QObject::connect(&b, &QAbstractButton::clicked, [&] { ++clicks; });
  b.click();
  EXPECT_EQ(clicks, 1);
  EXPECT_FALSE(b.isChecked());
  b.setChecked(true);  // the handler presses it
  b.click();
  EXPECT_TRUE(b.isChecked());
}

TEST(MainFormStartTest, NoProfileAndNoModemEndsTheProgramAfterTheShutdown) {
  for (const QByteArray& ini :
       {QByteArray(), QByteArray("[Modem]\nport=0\n"), QByteArray("[Modem]\nModel=x\n")}) {
    MainFormFixture fx;
    if (!ini.isEmpty()) fx.Write("Tavrin.ini", ini);
    TMainForm& form = fx.Start();
    EXPECT_EQ(fx.messages, QStringList{"No modems found on your system"}) << ini.constData();
    EXPECT_TRUE(form.ShutDownDone());
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(QFile::exists(fx.Path("Calls.dbt")));
    EXPECT_EQ(QFile(fx.Path("Calls.dbt")).size(), 0);
    EXPECT_TRUE(QFile::exists(fx.Path("Events.log")));
    const QByteArray stored = fx.Read("Tavrin.ini");
    EXPECT_TRUE(stored.contains("MainTop=146")) << stored.constData();
    EXPECT_TRUE(stored.contains("MainLeft=367")) << stored.constData();
  }
}

TEST(MainFormStartTest, PortThatCannotOpenDisablesRecordButtonOnly) {
  MainFormFixture fx;
  fx.Write("Tavrin.ini", kPort1Ini);
  TMainForm& form = fx.Start();
  EXPECT_EQ(fx.messages, QStringList{"Error during opening com port 1"});
  EXPECT_FALSE(form.ShutDownDone());
  EXPECT_FALSE(form.RecSb1->isEnabled());
  EXPECT_TRUE(form.Record1->isEnabled());
  EXPECT_TRUE(form.On1->isChecked());  // marks unchanged by a failed opening
  EXPECT_FALSE(form.Off1->isChecked());
  EXPECT_EQ(form.StatusPanel(1), " COM PORT 1");
  EXPECT_EQ(form.StatusPanel(2), " Test modem");
  // No records: the record commands are off, the rest stays on.
  for (QAction* a : {form.Comment1, form.Delete1, form.Play1, form.Pause1, form.Stop1,
                     form.Previous1, form.Next1}) {
    EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
  }
  for (QToolButton* b :
       {static_cast<QToolButton*>(form.Playsb1), static_cast<QToolButton*>(form.PauseSb1),
        static_cast<QToolButton*>(form.StopSb1), static_cast<QToolButton*>(form.PrevSb1),
        static_cast<QToolButton*>(form.NextSb1)}) {
    EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
  }
  for (QToolButton* b :
       {form.ToolButton1, form.ToolButton2, form.ToolButton3, form.ToolButton4, form.ToolButton5}) {
    EXPECT_TRUE(b->isEnabled());
  }
  for (QAction* a : {form.Exit1, form.Settings1, form.Diagnostics1, form.Contents1, form.About1,
                     form.Memo1, form.Delete2}) {
    EXPECT_TRUE(a->isEnabled());
  }
  EXPECT_EQ(form.RowCount(), 2);
  EXPECT_EQ(form.SelectedRow(), 1);
  EXPECT_EQ(form.Grid1->item(0, 0)->text(), "");
  EXPECT_EQ(form.focusWidget(), form.Grid1);  // the grid holds the focus when the window opens
}

TEST(MainFormStartTest, WithRecordsThePlaybackCommandsStayAndTheFirstRecordIsCurrent) {
  MainFormFixture fx;
  fx.Write("Tavrin.ini", kPort1Ini);
  fx.Write("Calls.dbt", FixtureBytes());
  TMainForm& form = fx.Start();
  EXPECT_EQ(form.CallCount(), 3);
  EXPECT_EQ(form.RowCount(), 4);
  EXPECT_EQ(form.Grid1->item(1, 3)->text(), QString::fromUtf8("Café €5 order"));
  EXPECT_EQ(form.CurrentFileName, "ABCDEF");
  EXPECT_EQ(form.CurrentCall.Memo, "Doctor");
  for (QAction* a : {form.Comment1, form.Delete1, form.Play1, form.Pause1, form.Stop1}) {
    EXPECT_TRUE(a->isEnabled()) << a->objectName().toStdString();
  }
  EXPECT_TRUE(form.Playsb1->isEnabled());
  EXPECT_TRUE(form.StopSb1->isEnabled());
  EXPECT_FALSE(form.Previous1->isEnabled());
  EXPECT_FALSE(form.NextSb1->isEnabled());
  EXPECT_FALSE(form.PrevSb1->isEnabled());
}

TEST(MainFormStartTest, ModemWithoutVoiceDisablesRecordingAndSaysSo) {
  MainFormFixture fx;
  fx.Write("Tavrin.ini", kPort1Ini + "[Params]\nVoicefeatures=0\nCompression=Signed PCM\n");
  TMainForm& form = fx.Start();
  EXPECT_EQ(fx.messages, (QStringList{"Your modem does not support IS101 voice command set",
                                      "Error during opening com port 1"}));
  EXPECT_FALSE(form.RecSb1->isEnabled());
  EXPECT_FALSE(form.Record1->isEnabled());
  EXPECT_EQ(form.ModemF->SignedSamples, 1);
}

TEST(MainFormStartTest, WindowPlaceIsRestoredAndStored) {
  MainFormFixture fx;
  fx.Write("Tavrin.ini", kPort1Ini + "[params]\nMainTop=200\nMainLeft=50\n");
  TMainForm& form = fx.Start();
  EXPECT_EQ(form.pos(), QPoint(50, 200));
  form.move(120, 80);
  form.close();
  EXPECT_TRUE(form.ShutDownDone());
  const QByteArray ini = fx.Read("Tavrin.ini");
  EXPECT_TRUE(ini.contains("MainTop=80")) << ini.constData();
  EXPECT_TRUE(ini.contains("MainLeft=120")) << ini.constData();
  EXPECT_EQ(ini.count("[params]"), 1);  // replaced in place, no second section
}

TEST(MainFormStartTest, PartialRecordIsDroppedAtShutdown) {
  MainFormFixture fx;
  fx.Write("Tavrin.ini", kPort1Ini);
  fx.Write("Calls.dbt", FixtureBytes().left(700));
  TMainForm& form = fx.Start();
  EXPECT_EQ(form.RowCount(), 3);  // header and two records
  form.close();
  EXPECT_EQ(fx.Read("Calls.dbt"), FixtureBytes().left(610));
}

TEST(MainFormStartTest, AnUnreadableCallListIsReportedAndNeverOverwritten) {
  MainFormFixture fx;
  fx.Write("Tavrin.ini", kPort1Ini);
  ASSERT_TRUE(QDir(fx.dir.path()).mkdir("Calls.dbt"));  // cannot be read as a file
  TMainForm& form = fx.Start();
  ASSERT_EQ(fx.messages.size(), 1);
  EXPECT_FALSE(fx.messages[0].isEmpty());
  EXPECT_NE(fx.messages[0], "Error during opening com port 1");  // the sequence stopped
  EXPECT_EQ(form.StatusPanel(1), "");                            // and FormShow as well
  EXPECT_TRUE(form.isVisible());                                 // the window stays open
  form.Button1->click();
  form.close();
  EXPECT_TRUE(QFileInfo(fx.Path("Calls.dbt")).isDir());
  EXPECT_TRUE(QFile::exists(fx.Path("Events.log")));
  EXPECT_TRUE(fx.Read("Tavrin.ini").contains("MainTop="));
}

TEST(MainFormStartTest, ASettingsFileThatCannotBeReadIsToldAndNeverWrittenNorScannedFor) {
  MainFormFixture fx;
  ASSERT_TRUE(QDir(fx.dir.path()).mkdir("Tavrin.ini"));  // exists, every read fails
  TMainForm& form = fx.Start();
  ASSERT_EQ(fx.messages.size(), 1);
  EXPECT_TRUE(fx.messages[0].startsWith("Unable to read ")) << fx.messages[0].toStdString();
  EXPECT_TRUE(fx.modals.isEmpty());  // no scan, no modem window
  EXPECT_EQ(form.pos(), QPoint(367, 146));
  fx.messages.clear();
  form.close();
  ASSERT_EQ(fx.messages.size(), 1);  // the window position could not be stored
  EXPECT_TRUE(fx.messages[0].startsWith("Unable to read "));
  EXPECT_TRUE(QFileInfo(fx.Path("Tavrin.ini")).isDir());
}
