// Interim windows of modem discovery so that the program builds and runs before the
// real scan and probe land: the scan finds no modem. Replaced by the real windows.
#include <QProgressBar>

#include "setup/Diagnostics.h"
#include "setup/ModemLink.h"
#include "setup/ProgressForm.h"
#include "setup/SettingsForm.h"
#include "setup/SpecModemForm.h"

TProgressForm::TProgressForm(QWidget* parent) : QDialog(parent) {
  ProgressBar1 = new QProgressBar(this);
}
void TProgressForm::ShowWithCaption(const QString& caption) {
  setWindowTitle(caption);
  ProgressBar1->setValue(0);
  show();
}
void TProgressForm::SetPosition(int percent) {
  ProgressBar1->setValue(percent);
}

TSpecModemForm::TSpecModemForm(IModemLink& link, TProgressForm& progress, QWidget* parent)
    : QDialog(parent), link_(link), progress_(progress) {}
void TSpecModemForm::FindModems() {
  FoundCount = 0;
}
void TSpecModemForm::AddMemoLine(const QByteArray&) {}

TSettingsForm::TSettingsForm(IModemLink& link, TSpecModemForm& specForm, QWidget* parent)
    : QDialog(parent), link_(link), specForm_(specForm) {}

void RunDiagnostics(IModemLink&, TProgressForm&) {}
void DiagnosticQuery(IModemLink&, const QString&) {}
