#pragma once
// The small stay-on-top progress window of the modem scan and the diagnostics report.
#include <QDialog>

class QProgressBar;

class TProgressForm : public QDialog {
 public:
  explicit TProgressForm(QWidget* parent = nullptr);
  void ShowWithCaption(const QString& caption);  // shows it with the bar at 0
  void SetPosition(int percent);
  QProgressBar* ProgressBar1 = nullptr;
};
