#pragma once
// The "Monitor" window: an always-on-top, read-only list of the modem dialogue. Its
// lines are the event log (Events.log) and the diagnostics transcript (Diagnostics.log).
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QWidget>

#include "setup/ModemLink.h"

class QPlainTextEdit;

class TMonitorForm : public QWidget, public IMonitorLog {
 public:
  explicit TMonitorForm(QWidget* parent = nullptr);

  void Add(const QString& text) override;  // a new line; line breaks inside it start further lines
  // Text the modem sent: shown as lines, kept as the bytes it was for the event log.
  void AddReceived(const QByteArray& bytes);
  void Clear() override;
  const QStringList& Lines() const { return lines_; }
  QString Text() const;  // every line followed by CR LF: the diagnostics transcript
  bool SaveToFile(const QString& path) const override;
  // Every entry followed by CR LF, received text with its own line ends as it came.
  QByteArray EventLogBytes() const;
  bool SaveEventLog(const QString& path) const;

  void FormCreate();

  QPlainTextEdit* Memo1 = nullptr;

 private:
  void Show(const QStringList& added);

  // The lines are kept apart from the display so that the files hold exactly what was
  // added, whatever the widget does with long lines.
  QStringList lines_;
  // Each entry as the event log holds it, without the CR LF that ends it.
  QList<QByteArray> entries_;
};
