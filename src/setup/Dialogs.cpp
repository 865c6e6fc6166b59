#include "setup/Dialogs.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>

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

QString InputBox(const QString& caption, const QString& prompt, const QString& def) {
  if (Hooks().input) return Hooks().input(caption, prompt, def);
  bool ok = false;
  const QString text = QInputDialog::getText(QApplication::activeWindow(), caption, prompt,
                                             QLineEdit::Normal, def, &ok);
  return ok ? text : def;
}
