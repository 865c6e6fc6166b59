#include "setup/ProgressForm.h"

#include <QCloseEvent>
#include <QProgressBar>

namespace {
constexpr int kClientWidth = 345;
constexpr int kClientHeight = 61;
constexpr int kMargin = 16;
constexpr int kBarHeight = 21;
}  // namespace

TProgressForm::TProgressForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowStaysOnTopHint) {
  setObjectName(QStringLiteral("ProgressForm"));
  setFixedSize(kClientWidth, kClientHeight);
  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setGeometry(kMargin, (kClientHeight - kBarHeight) / 2, kClientWidth - 2 * kMargin,
                            kBarHeight);
}

void TProgressForm::ShowWithCaption(const QString& caption) {
  setWindowTitle(caption);
  ProgressBar1->setValue(0);
  show();
}

void TProgressForm::SetPosition(int percent) {
  ProgressBar1->setValue(percent);
}

void TProgressForm::closeEvent(QCloseEvent* event) {
  // The window has no close button; only the job that showed it may close it.
  event->ignore();
}

TProgressShown::TProgressShown(TProgressForm& form, const QString& caption) : form_(form) {
  form_.ShowWithCaption(caption);
}

TProgressShown::~TProgressShown() {
  form_.hide();
}
