#include "setup/Dialogs.h"

#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>

#include "setup/ByteLimitValidator.h"

namespace {
DialogHooks& Hooks() {
  static DialogHooks hooks;
  return hooks;
}
const QString kTitle = QStringLiteral("Tavrin");
}  // namespace

void SetDialogHooks(DialogHooks hooks) {
  Hooks() = std::move(hooks);
}

void ShowMessage(const QString& text) {
  if (Hooks().message) {
    Hooks().message(text);
    return;
  }
  QMessageBox box(QMessageBox::NoIcon, kTitle, text, QMessageBox::Ok, QApplication::activeWindow());
  box.exec();
}

bool ConfirmBox(const QString& caption, const QString& text) {
  if (Hooks().confirm) return Hooks().confirm(caption, text);
  QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Ok | QMessageBox::Cancel,
                  QApplication::activeWindow());
  return box.exec() == QMessageBox::Ok;
}

QString InputBox(const QString& caption, const QString& prompt, const QString& def,
                 qsizetype maxBytes) {
  if (Hooks().input) return Hooks().input(caption, prompt, def);
  QInputDialog box(QApplication::activeWindow());
  box.setWindowTitle(caption);
  box.setLabelText(prompt);
  box.setInputMode(QInputDialog::TextInput);
  if (maxBytes > 0) {
    if (auto* edit = box.findChild<QLineEdit*>()) {
      edit->setValidator(new TByteLimitValidator(maxBytes, edit));
    }
  }
  box.setTextValue(def);
  return box.exec() == QDialog::Accepted ? box.textValue() : def;
}
