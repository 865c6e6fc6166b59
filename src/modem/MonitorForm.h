#pragma once
// The "Monitor" window: an always-on-top, read-only list of the modem dialogue. Its
// text is the event log (Events.log) and the diagnostics transcript (Diagnostics.log).
#include <QString>
#include <QStringList>
#include <QWidget>

class QPlainTextEdit;

class TMonitorForm : public QWidget {
 public:
  explicit TMonitorForm(QWidget* parent = nullptr);

  void Add(const QString& text);  // a new entry; line breaks inside it start further lines
  void Clear();
  QString Text() const;  // the file content: every entry followed by CR LF
  bool SaveToFile(const QString& path) const;

  QPlainTextEdit* Memo1 = nullptr;
};
