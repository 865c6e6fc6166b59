#pragma once
// Every message, confirmation and input box of the program goes through these, with
// "Tavrin" as the caption of messages. Tests install hooks that answer them instead of
// opening a modal box.
#include <QString>
#include <functional>

struct DialogHooks {
  std::function<void(const QString& text)> message;
  std::function<bool(const QString& caption, const QString& text)> confirm;
  std::function<QString(const QString& caption, const QString& prompt, const QString& def)> input;
};

void SetDialogHooks(DialogHooks hooks);  // empty members: the real boxes

void ShowMessage(const QString& text);                         // OK button
bool ConfirmBox(const QString& caption, const QString& text);  // true for OK
// def on Cancel. With maxBytes the text stays within that many stored (UTF-8) bytes.
QString InputBox(const QString& caption, const QString& prompt, const QString& def,
                 qsizetype maxBytes = 0);
