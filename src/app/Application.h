#pragma once
// The application object. An error that no handler catches is shown in a message box and
// abandons the command in progress; the program runs on.
#include <QApplication>

class TApplication : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override;
};

class TMainForm;

// Ends the program the normal way from outside (a signal, the end of the session):
// modal windows are dismissed first, then the main window closes and runs its shutdown.
void CloseProgram(TMainForm& form);
