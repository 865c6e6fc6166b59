#include "app/Application.h"

#include <QDialog>
#include <exception>

#include "app/MainForm.h"
#include "setup/Dialogs.h"

namespace {
constexpr int kMaxModalDepth = 32;
}  // namespace

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    ShowMessage(QString::fromUtf8(e.what()));
  }
  return false;
}

void CloseProgram(TMainForm& form) {
  // Each modal window's own loop ends once control returns to it; hiding it now takes
  // it off the modal stack so the next one can be reached.
  for (int i = 0; i < kMaxModalDepth; ++i) {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || modal == &form) {
      break;
    }
    if (auto* dialog = qobject_cast<QDialog*>(modal)) {
      dialog->reject();
    } else {
      modal->close();
    }
    if (QApplication::activeModalWidget() == modal) {
      modal->hide();
    }
  }
  form.close();
}
