#include "app/MainForm.h"

#include <QAction>
#include <QActionGroup>
#include <QEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>
#include <QTableWidget>
#include <QTimer>
#include <algorithm>

#include "app/AboutForm.h"
#include "app/AppInfo.h"
#include "app/TextFit.h"
#include "app/ToolIcons.h"
#include "modem/ModemF.h"
#include "modem/MonitorForm.h"
#include "recording/RecorderPanel.h"
#include "serial/SerialPort.h"
#include "serial/ui/ComSelectForm.h"
#include "setup/Dialogs.h"
#include "setup/ProgressForm.h"
#include "setup/SettingsForm.h"
#include "setup/Shared.h"
#include "setup/SpecModemForm.h"

namespace {
constexpr int kClientWidth = 384;
constexpr int kClientHeight = 386;
constexpr int kNavButtonWidth = 36;
constexpr int kNavBarHeight = 36;
constexpr int kNavIconSize = 24;
constexpr int kRecorderButtonWidth = 40;
constexpr int kRecorderButtonHeight = 23;
constexpr int kRecorderIconSize = 16;
constexpr int kGridRowHeight = 18;
constexpr std::array<int, 4> kGridColumnWidths = {69, 75, 58, 396};
constexpr std::array<int, 3> kStatusPanelWidths = {80, 80, 50};
constexpr int kStatusBarHeight = 22;
constexpr int kPanelGap = 4;  // between the status bar's panels
constexpr int kDeveloperLeft = 408;
constexpr int kTimer2Interval = 100;

// The client area: paints the scope through the window.
class TClientArea : public QWidget {
 public:
  TClientArea(TMainForm* form, QWidget* parent) : QWidget(parent), form_(form) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    form_->FormPaint(painter);
  }

 private:
  TMainForm* form_;
};

template <typename W>
W* Place(W* w, const char* name, int left, int top, int width, int height) {
  w->setObjectName(QLatin1String(name));
  w->setGeometry(left, top, width, height);
  return w;
}

QToolButton* NavButton(QWidget* bar, const char* name, int index, const char* hint,
                       TToolIcon icon) {
  auto* b =
      Place(new QToolButton(bar), name, index * kNavButtonWidth, 0, kNavButtonWidth, kNavBarHeight);
  b->setToolTip(QLatin1String(hint));
  b->setAutoRaise(true);  // a flat tool bar
  b->setIcon(MakeToolIcon(icon, kNavIconSize));
  b->setIconSize(QSize(kNavIconSize, kNavIconSize));
  b->setFocusPolicy(Qt::NoFocus);
  return b;
}

TSpeedButton* RecorderButton(QWidget* bar, const char* name, int index, const char* hint,
                             TToolIcon icon) {
  auto* b = Place(new TSpeedButton(bar), name, index * kRecorderButtonWidth, 1,
                  kRecorderButtonWidth, kRecorderButtonHeight);
  b->setToolTip(QLatin1String(hint));
  b->setCheckable(true);
  b->setCursor(Qt::PointingHandCursor);
  b->setIcon(MakeToolIcon(icon, kRecorderIconSize));
  b->setIconSize(QSize(kRecorderIconSize, kRecorderIconSize));
  b->setFocusPolicy(Qt::NoFocus);
  return b;
}

QAction* Item(QMenu* menu, const char* name, const char* caption) {
  QAction* a = menu->addAction(QLatin1String(caption));
  a->setObjectName(QLatin1String(name));
  return a;
}
}  // namespace

TMainForm::TMainForm(QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                              Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("MainForm"));
  setWindowTitle(QString::fromLatin1(kAppTitle));
  ExecModal = [](QDialog& dialog) { return dialog.exec(); };
  HelpPlaces = DefaultHelpPlaces();
  OpenUrl = OpenWithDesktop;
  BuildControls();
  BuildMenus();
  FormCreate();
  CreateWindows();
  ConnectHandlers();
  layout()->setSizeConstraint(QLayout::SetFixedSize);  // a fixed border
}

TMainForm::~TMainForm() {
  // The windows that use the link go first, then the link (closing its port reports to
  // the monitor), then the rest with the other children. The recorder holds on to the
  // link, so it goes before it.
  Recorder.reset();
  delete SettingsForm;
  delete SpecModemForm;
  delete ModemF;
  SettingsForm = nullptr;
  SpecModemForm = nullptr;
  ModemF = nullptr;
  TCustomSerialPort::SetPortPrompt(nullptr);
  TCustomSerialPort::SetExceptionDisplay(nullptr);
  SettingsFile.reset();
}

void TMainForm::BuildControls() {
  Client = new TClientArea(this, this);
  Client->setObjectName(QStringLiteral("Client"));
  Client->setFixedSize(kClientWidth, kClientHeight);
  setCentralWidget(Client);

  ToolBar1 = Place(new QWidget(Client), "ToolBar1", 0, 0, kClientWidth, kNavBarHeight);
  ToolButton1 = NavButton(ToolBar1, "ToolButton1", 0, "First file", TToolIcon::First);
  ToolButton2 = NavButton(ToolBar1, "ToolButton2", 1, "Previous file", TToolIcon::Previous);
  ToolButton3 = NavButton(ToolBar1, "ToolButton3", 2, "Next file", TToolIcon::Next);
  ToolButton4 = NavButton(ToolBar1, "ToolButton4", 3, "Last file", TToolIcon::Last);
  ToolButton5 = NavButton(ToolBar1, "ToolButton5", 4, "Delete file", TToolIcon::Delete);

  TrackBar1 = Place(new QSlider(Qt::Horizontal, Client), "TrackBar1", 2, 96, 380, 22);
  TrackBar1->setRange(0, 100);
  TrackBar1->setValue(0);
  TrackBar1->setTickPosition(QSlider::NoTicks);
  TrackBar1->setEnabled(false);

  ToolBar2 = Place(new QWidget(Client), "ToolBar2", 8, 118, 265, 25);
  Playsb1 = RecorderButton(ToolBar2, "Playsb1", 0, "Play", TToolIcon::Play);
  PauseSb1 = RecorderButton(ToolBar2, "PauseSb1", 1, "Pause", TToolIcon::Pause);
  StopSb1 = RecorderButton(ToolBar2, "StopSb1", 2, "Stop", TToolIcon::Stop);
  PrevSb1 = RecorderButton(ToolBar2, "PrevSb1", 3, "Rewind", TToolIcon::Rewind);
  NextSb1 = RecorderButton(ToolBar2, "NextSb1", 4, "Fast forward", TToolIcon::FastForward);
  RecSb1 = RecorderButton(ToolBar2, "RecSb1", 5, "Record", TToolIcon::Record);

  Grid1 = Place(new QTableWidget(2, 4, Client), "Grid1", 8, 152, 369, 201);
  Grid1->setHorizontalHeaderLabels({QStringLiteral("Date"), QStringLiteral("Time"),
                                    QStringLiteral("Duration"), QStringLiteral("Memo")});
  QHeaderView* header = Grid1->horizontalHeader();
  header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  header->setSectionResizeMode(QHeaderView::Interactive);
  header->setMinimumSectionSize(8);
  header->setHighlightSections(false);
  header->setFixedHeight(kGridRowHeight + 2);
  for (int c = 0; c < 4; ++c) {
    Grid1->setColumnWidth(c, kGridColumnWidths[c]);
  }
  FitGridColumns({});
  Grid1->verticalHeader()->setVisible(false);
  Grid1->verticalHeader()->setMinimumSectionSize(kGridRowHeight);
  Grid1->verticalHeader()->setDefaultSectionSize(kGridRowHeight);
  Grid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  Grid1->setShowGrid(false);
  Grid1->setSelectionBehavior(QAbstractItemView::SelectRows);
  Grid1->setSelectionMode(QAbstractItemView::SingleSelection);
  Grid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  Grid1->setWordWrap(false);
  Grid1->setContextMenuPolicy(Qt::CustomContextMenu);
  Grid1->installEventFilter(this);
  Grid1->setFocus();

  StatusBar1 = Place(new QStatusBar(Client), "StatusBar1", 0, kClientHeight - kStatusBarHeight,
                     kClientWidth, kStatusBarHeight);
  StatusBar1->setSizeGripEnabled(false);
  for (int i = 0; i < 3; ++i) {
    auto* panel = new QLabel(StatusBar1);
    panel->setObjectName(QStringLiteral("StatusBar1Panel%1").arg(i));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    const auto n = static_cast<size_t>(i);
    panelWidths_[n] = kStatusPanelWidths[n];
    for (const QString& text : StatusPanelSamples(i)) {
      panelWidths_[n] = std::max(panelWidths_[n], LabelWidthFor(*panel, text));
    }
    panel->setFixedWidth(panelWidths_[n]);
    StatusBar1->addWidget(panel);
    StatusPanels[n] = panel;
  }

  SpinEdit1 = Place(new QSpinBox(Client), "SpinEdit1", kDeveloperLeft, 56, 81, 22);
  SpinEdit1->setRange(100, 2000);
  SpinEdit1->setSingleStep(100);
  SpinEdit1->setValue(1600);
  ClosePortBtn = Place(new QPushButton(QStringLiteral("Close port"), Client), "ClosePortBtn",
                       kDeveloperLeft, 80, 75, 25);
  VoiceRecBtn = Place(new QPushButton(QStringLiteral("Voice receive"), Client), "VoiceRecBtn",
                      kDeveloperLeft, 112, 75, 25);
  Button3 = Place(new QPushButton(QStringLiteral("Sine create"), Client), "Button3", kDeveloperLeft,
                  144, 75, 25);
  Button1 =
      Place(new QPushButton(QStringLiteral("add"), Client), "Button1", kDeveloperLeft, 176, 75, 25);
  Label10 = Place(new QLabel(Client), "Label10", kDeveloperLeft, 208, 75, 13);
  Button4 = Place(new QPushButton(QStringLiteral("Button4"), Client), "Button4", 312, 120, 75, 25);
  Button4->setVisible(false);

  Timer2 = new QTimer(this);
  Timer2->setObjectName(QStringLiteral("Timer2"));
  Timer2->setInterval(kTimer2Interval);
  BuildSearch();
}

void TMainForm::BuildMenus() {
  QMenuBar* bar = menuBar();
  bar->setObjectName(QStringLiteral("MainMenu1"));
  FileMenu = bar->addMenu(QStringLiteral("File"));
  Comment1 = Item(FileMenu, "Comment1", "Memo...");
  Delete1 = Item(FileMenu, "Delete1", "Delete...");
  FileMenu->addSeparator();
  ExportCall1 = Item(FileMenu, "ExportCall1", "Export call...");
  ExportShown1 = Item(FileMenu, "ExportShown1", "Export calls shown...");
  ExportList1 = Item(FileMenu, "ExportList1", "Export list...");
  FileMenu->addSeparator();
  Exit1 = Item(FileMenu, "Exit1", "Exit");

  RecorderMenu = bar->addMenu(QStringLiteral("Recorder"));
  Play1 = Item(RecorderMenu, "Play1", "Play");
  Pause1 = Item(RecorderMenu, "Pause1", "Pause");
  Stop1 = Item(RecorderMenu, "Stop1", "Stop");
  Previous1 = Item(RecorderMenu, "Previous1", "Rewind");
  Next1 = Item(RecorderMenu, "Next1", "Fast forward");
  Record1 = Item(RecorderMenu, "Record1", "Record");

  OptionsMenu = bar->addMenu(QStringLiteral("Options"));
  Settings1 = Item(OptionsMenu, "Settings1", "Settings...");
  Modem1 = OptionsMenu->addMenu(QStringLiteral("Modem"));
  Modem1->setObjectName(QStringLiteral("Modem1"));
  Modem1->menuAction()->setObjectName(QStringLiteral("Modem1Item"));
  On1 = Item(Modem1, "On1", "On");
  Off1 = Item(Modem1, "Off1", "Off");
  On1->setCheckable(true);
  Off1->setCheckable(true);
  On1->setChecked(true);
  OptionsMenu->addSeparator();
  Diagnostics1 = Item(OptionsMenu, "Diagnostics1", "Diagnostics");

  HelpMenu = bar->addMenu(QStringLiteral("Help"));
  Contents1 = Item(HelpMenu, "Contents1", "Contents...");
  HelpMenu->addSeparator();
  About1 = Item(HelpMenu, "About1", "About...");

  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  Memo1 = Item(PopupMenu1, "Memo1", "Memo...");
  Delete2 = Item(PopupMenu1, "Delete2", "Delete...");
}

void TMainForm::CreateWindows() {
  AboutForm = new TAboutForm(this);
  ProgressForm = new TProgressForm(this);
  MonitorForm = new TMonitorForm(this);
  ModemF = new TModemF(MonitorForm, this);
  SpecModemForm = new TSpecModemForm(*ModemF, *ProgressForm, this);
  SettingsForm = new TSettingsForm(*ModemF, *SpecModemForm, this);
  ModemF->OnStatusText = [this](const QString& text) { SetStatusPanel(0, text); };
  ModemF->OnSpecMemoEcho = [this](const QByteArray& chunk) { SpecModemForm->AddMemoLine(chunk); };
  CreateRecorder();
  // Errors of the serial layer that reach no caller are shown like any other; a port
  // numbered 0 is asked for with the port selection dialog at each open.
  TCustomSerialPort::SetExceptionDisplay([](const QString& message) { ShowMessage(message); });
  InstallComSelectPrompt(this, [this](QDialog& dialog) { return ExecModal(dialog); });
}

void TMainForm::ConnectHandlers() {
  auto click = [this](QAbstractButton* b, void (TMainForm::*handler)()) {
    connect(b, &QAbstractButton::clicked, this, [this, handler] { (this->*handler)(); });
  };
  auto trigger = [this](QAction* a, void (TMainForm::*handler)()) {
    connect(a, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
  };
  click(ToolButton1, &TMainForm::ToolButton1Click);
  click(ToolButton2, &TMainForm::ToolButton2Click);
  click(ToolButton3, &TMainForm::ToolButton3Click);
  click(ToolButton4, &TMainForm::ToolButton4Click);
  click(ToolButton5, &TMainForm::DeleteCallRecord);
  click(Playsb1, &TMainForm::Playsb1Click);
  click(PauseSb1, &TMainForm::PauseSb1Click);
  click(StopSb1, &TMainForm::StopSb1Click);
  click(PrevSb1, &TMainForm::PrevSb1Click);
  click(NextSb1, &TMainForm::NextSb1Click);
  click(RecSb1, &TMainForm::RecSb1Click);
  click(ClosePortBtn, &TMainForm::ClosePortBtnClick);
  click(VoiceRecBtn, &TMainForm::VoiceRecBtnClick);
  click(Button3, &TMainForm::Button3Click);
  click(Button1, &TMainForm::Button1Click);
  click(Button4, &TMainForm::Button4Click);

  trigger(Comment1, &TMainForm::EditMemo);
  trigger(Delete1, &TMainForm::DeleteCallRecord);
  trigger(Exit1, &TMainForm::Exit1Click);
  trigger(ExportCall1, &TMainForm::ExportCall1Click);
  trigger(ExportShown1, &TMainForm::ExportShown1Click);
  trigger(ExportList1, &TMainForm::ExportList1Click);
  // What there is to export is known when the menu opens.
  connect(FileMenu, &QMenu::aboutToShow, this, [this] {
    ExportCall1->setEnabled(SelectedCallIndex().has_value());
    ExportShown1->setEnabled(!shownCalls_.empty());
    ExportList1->setEnabled(!shownCalls_.empty());
  });
  trigger(Play1, &TMainForm::Play1Click);
  trigger(Pause1, &TMainForm::Pause1Click);
  trigger(Stop1, &TMainForm::Stop1Click);
  trigger(Previous1, &TMainForm::Previous1Click);
  trigger(Next1, &TMainForm::Next1Click);
  trigger(Record1, &TMainForm::Record1Click);
  trigger(Settings1, &TMainForm::Settings1Click);
  // The handlers decide the ticks of On1 and Off1: the automatic toggle is undone first.
  auto tick = [this](QAction* a, void (TMainForm::*handler)()) {
    connect(a, &QAction::triggered, this, [this, a, handler](bool checked) {
      a->setChecked(!checked);
      (this->*handler)();
    });
  };
  tick(On1, &TMainForm::On1Click);
  tick(Off1, &TMainForm::Off1Click);
  trigger(Diagnostics1, &TMainForm::Diagnostics1Click);
  trigger(Contents1, &TMainForm::Contents1Click);
  trigger(About1, &TMainForm::About1Click);
  trigger(Memo1, &TMainForm::EditMemo);
  trigger(Delete2, &TMainForm::DeleteCallRecord);

  connect(Timer2, &QTimer::timeout, this, [this] { Timer2Timer(); });
  connect(Grid1, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& pos) { PopupMenu1->popup(Grid1->viewport()->mapToGlobal(pos)); });
}

int TMainForm::RowCount() const {
  return Grid1->rowCount() + 1;
}

int TMainForm::SelectedRow() const {
  const int row = Grid1->currentRow();
  return row < 0 ? 1 : row + 1;
}

void TMainForm::SelectRow(int r) {
  if (r < 1 || r >= RowCount()) {
    return;
  }
  Grid1->setCurrentCell(r - 1, 0);
  Grid1->selectRow(r - 1);
}

void TMainForm::SetStatusPanel(int index, const QString& text) {
  if (index < 0 || index >= static_cast<int>(StatusPanels.size())) {
    return;
  }
  StatusPanels[static_cast<size_t>(index)]->setText(text);
  FitStatusPanel(index);
  if (index < 2) {
    FitStatusPanel(2);  // its room may have changed
  }
}

void TMainForm::ShowCallerRoom(bool caller) {
  callerShown_ = caller;
  FitStatusPanel(2);
}

void TMainForm::FitStatusPanel(int index) {
  const auto n = static_cast<size_t>(index);
  QLabel* panel = StatusPanels[n];
  const int need = LabelWidthFor(*panel, panel->text());
  if (index < 2) {
    panel->setFixedWidth(std::max(panelWidths_[n], need));
    return;
  }
  // Where the last panel begins once the first two have their widths.
  StatusBar1->layout()->activate();
  // The search's count, while it is shown, keeps its room at the end of the bar.
  const int end = SearchCount1->isVisibleTo(StatusBar1)
                      ? StatusBar1->width() - std::max(SearchCount1->minimumWidth(),
                                                       SearchCount1->sizeHint().width()) -
                            2 * kPanelGap
                      : StatusBar1->width();
  const int room = end - panel->x() - 2;
  const int width = std::max(panelWidths_[n], std::min(callerShown_ ? room : need, room));
  panel->setFixedWidth(width);
  panel->setToolTip(callerShown_ || need > width ? panel->text().trimmed() : QString());
}

void TMainForm::FitGridColumns(const std::vector<TCallRecord>& shown) {
  QHeaderView* header = Grid1->horizontalHeader();
  for (int c = 0; c < 4; ++c) {
    int width = std::max(Grid1->columnWidth(c), header->sectionSizeHint(c));
    QStringList texts = CallColumnSamples(c);
    for (const TCallRecord& r : shown) {
      if (c < 3) texts << (c == 0 ? r.Date : c == 1 ? r.Time : r.Duration);
    }
    for (const QString& text : texts) {
      width = std::max(width, CellWidthFor(*Grid1, text));
    }
    if (width != Grid1->columnWidth(c)) {
      Grid1->setColumnWidth(c, width);
    }
  }
}

QString TMainForm::StatusPanel(int index) const {
  if (index < 0 || index >= static_cast<int>(StatusPanels.size())) {
    return {};
  }
  return StatusPanels[static_cast<size_t>(index)]->text();
}

void TMainForm::SetRecordCommandsEnabled(bool enabled) {
  for (QAction* a : {Comment1, Delete1, Play1, Pause1, Stop1, Previous1, Next1}) {
    a->setEnabled(enabled);
  }
  for (QToolButton* b : {Playsb1, PauseSb1, StopSb1, PrevSb1, NextSb1}) {
    b->setEnabled(enabled);
  }
}

bool TMainForm::MonitorHotKey(int key, Qt::KeyboardModifiers modifiers) {
  if ((modifiers & ~Qt::KeypadModifier) != Qt::ControlModifier || key != Qt::Key_A) {
    return false;
  }
  MonitorForm->show();
  MonitorForm->raise();
  return true;
}

bool TMainForm::FormKeyDown(int key, Qt::KeyboardModifiers modifiers) {
  return MonitorHotKey(key, modifiers);
}

bool TMainForm::Grid1KeyDown(int key, Qt::KeyboardModifiers modifiers) {
  return MonitorHotKey(key, modifiers);
}

void TMainForm::keyPressEvent(QKeyEvent* event) {
  if (FormKeyDown(event->key(), event->modifiers()) ||
      SearchKey(this, event->key(), event->modifiers())) {
    return;
  }
  QMainWindow::keyPressEvent(event);
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
  if ((watched == Grid1 || watched == SearchEdit1) && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (Grid1KeyDown(key->key(), key->modifiers()) ||
        SearchKey(watched, key->key(), key->modifiers())) {
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void TMainForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (shown_) {
    return;
  }
  shown_ = true;
  // The start sequence shows message boxes and may end the program: run it once the
  // window is on the screen, from the event loop.
  QMetaObject::invokeMethod(this, &TMainForm::FormShow, Qt::QueuedConnection);
}

void TMainForm::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
    FormActivate();
  }
}

void TMainForm::closeEvent(QCloseEvent* event) {
  QMainWindow::closeEvent(event);
  if (!shutDownDone_) {
    FormClose();
  }
  if (OnClosed) {
    OnClosed();
  }
}
