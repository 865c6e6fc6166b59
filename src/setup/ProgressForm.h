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

 protected:
  void reject() override {}                      // no way out by Escape: the running job closes it
  void closeEvent(QCloseEvent* event) override;  // ignored: the running job hides it
};

// Shows the progress window for the lifetime of a job and closes it however the job ends.
class TProgressShown {
 public:
  TProgressShown(TProgressForm& form, const QString& caption);
  ~TProgressShown();
  TProgressShown(const TProgressShown&) = delete;
  TProgressShown& operator=(const TProgressShown&) = delete;

 private:
  TProgressForm& form_;
};
