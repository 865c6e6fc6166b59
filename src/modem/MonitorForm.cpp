#include "modem/MonitorForm.h"

#include <QFile>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace {
// Raw entries are kept apart from the display: received text keeps its own CR and LF.
const char* kEntriesProperty = "tavrinEntries";
}  // namespace

TMonitorForm::TMonitorForm(QWidget* parent) : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint) {
  setObjectName(QStringLiteral("MonitorForm"));
  setWindowTitle(QStringLiteral("Monitor"));
  setGeometry(42, 379, 195, 279);
  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName(QStringLiteral("Memo1"));
  Memo1->setReadOnly(true);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(Memo1);
  Clear();
}

void TMonitorForm::Add(const QString& text) {
  QStringList entries = property(kEntriesProperty).toStringList();
  entries << text;
  setProperty(kEntriesProperty, entries);
  QString shown = text;
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
  Memo1->appendPlainText(shown);
}

void TMonitorForm::Clear() {
  setProperty(kEntriesProperty, QStringList());
  Memo1->clear();
}

QString TMonitorForm::Text() const {
  QString out;
  for (const QString& e : property(kEntriesProperty).toStringList()) {
    out += e;
    out += QStringLiteral("\r\n");
  }
  return out;
}

bool TMonitorForm::SaveToFile(const QString& path) const {
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  const QByteArray bytes = Text().toLatin1();
  return f.write(bytes) == bytes.size();
}
