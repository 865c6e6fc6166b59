#pragma once
// The "Monitor" window: an always-on-top, read-only list of the modem dialogue. Its
// lines are the event log (Events.log) and the diagnostics transcript (Diagnostics.log).
#include <QString>
#include <QStringList>
#include <QWidget>

#include "setup/ModemLink.h"

class QPlainTextEdit;

class TMonitorForm : public QWidget, public IMonitorLog {
 public:
  explicit TMonitorForm(QWidget* parent = nullptr);

  void Add(const QString& text) override;  // a new line; line breaks inside it start further lines
  void Clear() override;
  const QStringList& Lines() const { return lines_; }
  QString Text() const;  // the file content: every line followed by CR LF
  bool SaveToFile(const QString& path) const override;

  void FormCreate();

  QPlainTextEdit* Memo1 = nullptr;

 private:
  // The lines are kept apart from the display so that the files hold exactly what was
  // added, whatever the widget does with long lines.
  QStringList lines_;
};
