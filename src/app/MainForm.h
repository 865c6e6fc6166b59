#pragma once
// The main window: menus, the two tool bars, the scope strip, the position bar, the call
// grid and the status bar; the start sequence, the shutdown and the call list commands.
//
// Layout: the central widget is the client area, 384 x 386; every control is a child of
// it at its client coordinates and carries its control name as object name. The
// developer controls lie at left 408, outside the client area, so they are never seen.
//
// Recorder buttons (Playsb1 ... RecSb1) are TSpeedButtons: checkable, but a click never
// toggles one by itself. "Pressed" is isChecked(); the handlers press and release them
// with setChecked().
#include <QDialog>
#include <QImage>
#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <QToolButton>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/HelpContents.h"
#include "calls/CallFilter.h"
#include "calls/CallRecord.h"
#include "export/ExportFormat.h"

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPainter;
class QPushButton;
class QSlider;
class QSpinBox;
class QStatusBar;
class QTableWidget;
class QTimer;
class TAboutForm;
class TModemF;
class TMonitorForm;
class TRecorderPanel;
class TProgressForm;
class TSettingsForm;
class TSpecModemForm;

class TSpeedButton : public QToolButton {
 public:
  using QToolButton::QToolButton;

 protected:
  void nextCheckState() override {}  // the click handler decides the pressed state
};

class TMainForm : public QMainWindow {
 public:
  explicit TMainForm(QWidget* parent = nullptr);
  ~TMainForm() override;

  // ---- Controls (children of Client) ----
  QWidget* Client = nullptr;
  QWidget* ToolBar1 = nullptr;
  QToolButton *ToolButton1 = nullptr, *ToolButton2 = nullptr, *ToolButton3 = nullptr,
              *ToolButton4 = nullptr, *ToolButton5 = nullptr;
  QSlider* TrackBar1 = nullptr;
  QWidget* ToolBar2 = nullptr;
  TSpeedButton *Playsb1 = nullptr, *PauseSb1 = nullptr, *StopSb1 = nullptr, *PrevSb1 = nullptr,
               *NextSb1 = nullptr, *RecSb1 = nullptr;
  QTableWidget* Grid1 = nullptr;  // header = fixed row 0; description row r = table row r-1
  // The search over the call list, right of the recorder buttons (Ctrl+F, Escape clears);
  // and the count of calls it shows, in the status bar while it is on.
  QLineEdit* SearchEdit1 = nullptr;
  QLabel* SearchCount1 = nullptr;
  QStatusBar* StatusBar1 = nullptr;
  std::array<QLabel*, 3> StatusPanels{};
  QSpinBox* SpinEdit1 = nullptr;
  QPushButton *ClosePortBtn = nullptr, *VoiceRecBtn = nullptr, *Button3 = nullptr,
              *Button1 = nullptr, *Button4 = nullptr;
  QLabel* Label10 = nullptr;
  QTimer* Timer2 = nullptr;

  // ---- Menus ----
  QMenu *FileMenu = nullptr, *RecorderMenu = nullptr, *OptionsMenu = nullptr, *HelpMenu = nullptr;
  QAction *Comment1 = nullptr, *Delete1 = nullptr, *Exit1 = nullptr;
  QAction *ExportCall1 = nullptr, *ExportShown1 = nullptr, *ExportList1 = nullptr;
  QAction *Play1 = nullptr, *Pause1 = nullptr, *Stop1 = nullptr, *Previous1 = nullptr,
          *Next1 = nullptr, *Record1 = nullptr;
  QAction* Settings1 = nullptr;
  QMenu* Modem1 = nullptr;
  QAction *On1 = nullptr, *Off1 = nullptr, *Diagnostics1 = nullptr;
  QAction *Contents1 = nullptr, *About1 = nullptr;
  QMenu* PopupMenu1 = nullptr;
  QAction *Memo1 = nullptr, *Delete2 = nullptr;

  // ---- The other windows, created hidden with this one and living as long ----
  TAboutForm* AboutForm = nullptr;
  TProgressForm* ProgressForm = nullptr;
  TSpecModemForm* SpecModemForm = nullptr;
  TMonitorForm* MonitorForm = nullptr;
  TModemF* ModemF = nullptr;
  TSettingsForm* SettingsForm = nullptr;

  // ---- State other parts use ----
  // Received bytes are voice samples; the recorder holds the state that says so.
  bool RecordingActive() const;
  QString CurrentFileName;  // base name of the current recording's WAV file

  // The call list in list order; description slot k is CallList[k - 1].
  std::vector<TCallRecord> CallList;
  TCallRecord CurrentCall;
  int CallCount() const { return static_cast<int>(CallList.size()); }

  // The recorder: VoiceStream, the scope (ScopeBitmap, ScopeBlank, ScopeDrawn), the
  // player and the record and playback commands (MainFormRecorder.cpp). Created with the
  // modem link, released at shutdown.
  std::unique_ptr<TRecorderPanel> Recorder;

  // Shows a modal window and returns its result. Tests replace it.
  std::function<int(QDialog&)> ExecModal;
  // Help > Contents: where it looks and what hands a file to the desktop. Tests replace both.
  THelpPlaces HelpPlaces;
  TUrlOpener OpenUrl;
  // Runs once the window has closed and the shutdown is done (the program ends there).
  std::function<void()> OnClosed;

  // ---- Grid rows in the numbering of the list: row 0 is the header, rows 1.. ----
  // The grid shows the calls the search lets through, in list order; a row's number is
  // not its call's place in CallList while a search is on.
  int SelectedRow() const;
  void SelectRow(int r);
  int RowCount() const;  // calls shown + 1, at least 2

  // ---- Search (MainFormSearch.cpp) ----
  // The call in grid row r: its index in CallList; nothing for the blank row.
  std::optional<size_t> CallIndexOfRow(int r) const;
  std::optional<size_t> SelectedCallIndex() const;
  std::vector<TCallRecord> ShownCalls() const;
  bool SearchIsOn() const { return search_.IsOn(); }
  // The search text changed: the grid shows the calls it lets through, the same call
  // staying selected where it is still shown.
  void SearchEdit1Change();
  void ClearSearch();

  // ---- Export (MainFormExport.cpp) ----
  void ExportCall1Click();   // the selected call
  void ExportShown1Click();  // the calls shown
  void ExportList1Click();   // the calls shown, as CSV

  void SetStatusPanel(int index, const QString& text);
  QString StatusPanel(int index) const;
  // Panel 2 reaches to the end of the bar while it shows a caller (with the whole text
  // as its tool tip), and has its own width again afterwards.
  void ShowCallerRoom(bool caller);
  // The date, time and duration columns widen to show the calls' texts whole (never
  // narrower than they are).
  void FitGridColumns(const std::vector<TCallRecord>& shown);

  // ---- Start, shutdown, shell commands (MainFormStart.cpp) ----
  void FormCreate();
  void FormShow();
  // False when the sequence stopped early (a call list file error, or the program ended).
  bool RunStartSequence(bool reloadCallList = true);
  void FormActivate();
  void FormClose();
  bool ShutDownDone() const { return shutDownDone_; }
  void Exit1Click();
  void About1Click();
  void Settings1Click();
  void Contents1Click();
  void Diagnostics1Click();
  void Button4Click();
  // The monitor hot key, Ctrl+A with no other modifier; true when handled.
  bool FormKeyDown(int key, Qt::KeyboardModifiers modifiers);
  bool Grid1KeyDown(int key, Qt::KeyboardModifiers modifiers);

  // ---- Call list (MainFormCalls.cpp) ----
  // Every change of the list is stored at once (StoreCallList); the shutdown stores it
  // once more (SaveCallList).
  void LoadCallList();  // raises ECallFileError
  bool SaveCallList();
  // Stores the list as it is now: in Calls.dbt, or beside it while it could not be read.
  // True when it is on disk. A failure is told once, with its reason, until a store
  // succeeds again; the list stays in memory and is stored again at the next change and
  // at shutdown.
  bool StoreCallList();
  // When Calls.dbt could not be read: the calls of the list go to the side file instead.
  // False when they could not be saved; *note is what the user is to be told.
  bool SaveCallsBesideUnreadList(QString* note);
  void ShowCallList();
  // A file name for a new call: six letters of MakeFileName that no call, recording or
  // journal has, so that a new call never takes another's file.
  QString NewCallFileName() const;
  // A finished recording saved as wav/<fileName>.wav, whose WAV image (header included)
  // is `voiceStreamSize` bytes; its memo starts as `memo` (the caller, when known), cut
  // to the field. True when the list with it is on disk.
  bool AddCallRecord(const QString& fileName, int64_t voiceStreamSize,
                     const QString& memo = QString());
  void Button1Click();
  void EditMemo();
  void DeleteCallRecord();
  void ToolButton1Click();
  void ToolButton2Click();
  void ToolButton3Click();
  void ToolButton4Click();
  // Comment1, Delete1, Play1, Pause1, Stop1, Previous1, Next1 and the buttons Playsb1,
  // PauseSb1, StopSb1, PrevSb1, NextSb1.
  void SetRecordCommandsEnabled(bool enabled);

  // ---- Scope, recorder and playback (MainFormRecorder.cpp) ----
  void CreateScopeAndStream();   // FormCreate
  void CreateRecorder();         // once the modem link exists
  void ReleaseScopeAndStream();  // shutdown, once a recording in progress is saved
  void FormPaint(QPainter& painter);
  void DrawScope(const int32_t* samples, int32_t n);
  void ClearScope();
  void StartRecording();
  void StopRecordingOrPlayback();
  void RecSb1Click();
  void Record1Click();
  void StopSb1Click();
  void Stop1Click();
  void Playsb1Click();
  void Play1Click();
  void PauseSb1Click();
  void Pause1Click();
  void PrevSb1Click();
  void Previous1Click();
  void NextSb1Click();
  void Next1Click();
  void On1Click();
  void Off1Click();
  void VoiceRecBtnClick();
  void ClosePortBtnClick();
  void Button3Click();
  void Timer2Timer();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildControls();
  void BuildMenus();
  void CreateWindows();
  void ConnectHandlers();
  // False with the message to show when the port did not open.
  bool OpenPortForStart(QString& failure);
  bool LoadOrFindProfile(bool& withModem);
  bool MonitorHotKey(int key, Qt::KeyboardModifiers modifiers);
  // The call of the list that is `call`, looked for at `where` first; nothing when it is
  // gone. For commands that asked the user first: the list may have changed meanwhile.
  TCallRecord* FindCall(const TCallRecord& call, size_t where);
  void BuildSearch();
  // Ctrl+F (anywhere in the window) and Escape (in the search field); true when handled.
  bool SearchKey(QObject* watched, int key, Qt::KeyboardModifiers modifiers);
  void ShowSearchCount();
  // The export dialog, then the export with a progress dialog for more than one call.
  void ExportCalls(const std::vector<TCallRecord>& calls);
  std::optional<QString> WriteCallList();
  // The list on disk no longer holds what was taken from it: the files that waited for
  // that go.
  void CallListStored();
  // Each panel is as wide as its design, what it can show, and its text now need;
  // panel 2 no wider than the bar has room for, with its whole text as tool tip when cut.
  void FitStatusPanel(int index);

  TCallFilter search_;
  std::vector<size_t> shownCalls_;  // grid row r - 1 shows CallList[shownCalls_[r - 1]]
  // The export dialog's last choices, for this run only.
  QString exportFolder_;
  TExportFormat exportFormat_ = kDefaultExportFormat;
  bool shown_ = false;
  bool shutDownDone_ = false;
  bool callerShown_ = false;  // panel 2 shows a caller
  std::array<int, 3> panelWidths_{};  // of the design, or more for what the panels show
  bool callListLoaded_ = false;
  bool sideReadable_ = true;  // Calls.dbt.new is missing or could be read
  bool sideMerged_ = false;   // the list holds calls of Calls.dbt.new
  bool storeFailed_ = false;  // the last store of the list failed, and the user knows
  // WAV files of deleted calls, removed once the list without them is on disk.
  QStringList pendingWavRemovals_;
};
