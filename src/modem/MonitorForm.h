#pragma once
// The "Monitor" window: an always-on-top, read-only list of the modem dialogue. Its
// text is the event log (Events.log) and the diagnostics transcript (Diagnostics.log).
#include <QString>
#include <QStringList>
#include <QWidget>

#include "setup/ModemLink.h"

class QPlainTextEdit;

class TMonitorForm : public QWidget, public IMonitorLog {
 public:
  explicit TMonitorForm(QWidget* parent = nullptr);

  void Add(const QString& text) override;  // a new entry; line breaks inside it start further lines
  void Clear() override;
  QString Text() const;  // the file content: every entry followed by CR LF
  bool SaveToFile(const QString& path) const override;

  QPlainTextEdit* Memo1 = nullptr;
};
