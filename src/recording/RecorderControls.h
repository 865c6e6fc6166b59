#pragma once
// What the recorder and the playback need of the main window: its recorder controls
// (the tool buttons are checkable; "pressed" is isChecked()) and hooks to its call list.
#include <QString>
#include <functional>

class QAction;
class QLabel;
class QSlider;
class QSpinBox;
class QTimer;
class QToolButton;

struct TRecorderControls {
  QToolButton* Playsb1 = nullptr;
  QToolButton* PauseSb1 = nullptr;
  QToolButton* StopSb1 = nullptr;
  QToolButton* PrevSb1 = nullptr;
  QToolButton* NextSb1 = nullptr;
  QToolButton* RecSb1 = nullptr;
  QAction* Play1 = nullptr;
  QAction* Pause1 = nullptr;
  QAction* Stop1 = nullptr;
  QAction* Previous1 = nullptr;
  QAction* Next1 = nullptr;
  QAction* Record1 = nullptr;
  QAction* On1 = nullptr;   // checkable
  QAction* Off1 = nullptr;  // checkable
  QAction* Comment1 = nullptr;
  QAction* Delete1 = nullptr;
  QSlider* TrackBar1 = nullptr;
  QLabel* Label10 = nullptr;
  QSpinBox* SpinEdit1 = nullptr;
  QTimer* Timer2 = nullptr;
};

struct TCallListHooks {
  // A file name for a new call: six letters that no call, recording or journal has.
  std::function<QString()> NewFileName;
  // Adds the call for the finished recording saved as wav/<fileName>.wav (its WAV image,
  // header included, is in the voice stream), selects its row, sets *CurrentFileName to
  // the name and stores the list. True when the list with the new call is on disk.
  std::function<bool(const QString& fileName)> AddCallRecord;
  std::function<int()> CallCount;
  // FileName of the call in the selected grid row; empty when no call is selected.
  std::function<QString()> SelectedFileName;
  QString* CurrentFileName = nullptr;
};
