#include "modem/MonitorForm.h"

#include <QPlainTextEdit>
#include <QSaveFile>
#include <QVBoxLayout>

#include "setup/ModemText.h"

namespace {
constexpr int kLeft = 42;
constexpr int kTop = 379;
constexpr int kWidth = 195;
constexpr int kHeight = 279;
const QByteArray kLineEnd = QByteArrayLiteral("\r\n");

// Written aside and renamed into place: a failed save never leaves a cut-off file.
bool SaveBytes(const QString& path, const QByteArray& bytes) {
  QSaveFile f(path);
  if (!f.open(QIODevice::WriteOnly)) return false;
  if (f.write(bytes) != bytes.size()) return false;
  return f.commit();
}
}  // namespace

TMonitorForm::TMonitorForm(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint) {
  setObjectName(QStringLiteral("MonitorForm"));
  setWindowTitle(QStringLiteral("Monitor"));
  setGeometry(kLeft, kTop, kWidth, kHeight);
  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName(QStringLiteral("Memo1"));
  Memo1->setReadOnly(true);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(Memo1);
  FormCreate();
}

void TMonitorForm::FormCreate() {
  Clear();
}

void TMonitorForm::Show(const QStringList& added) {
  lines_ << added;
  Memo1->appendPlainText(added.join(QLatin1Char('\n')));
}

void TMonitorForm::Add(const QString& text) {
  const QStringList added = MemoLines(text);
  entries_.append(added.join(QLatin1String(kLineEnd)).toLatin1());
  Show(added);
}

void TMonitorForm::AddReceived(const QByteArray& bytes) {
  entries_.append(bytes);
  Show(MemoLines(QString::fromLatin1(bytes)));
}

void TMonitorForm::Clear() {
  lines_.clear();
  entries_.clear();
  Memo1->clear();
}

QString TMonitorForm::Text() const {
  QString out;
  for (const QString& line : lines_) {
    out += line;
    out += QLatin1String(kLineEnd);
  }
  return out;
}

bool TMonitorForm::SaveToFile(const QString& path) const {
  return SaveBytes(path, Text().toLatin1());
}

QByteArray TMonitorForm::EventLogBytes() const {
  QByteArray out;
  for (const QByteArray& entry : entries_) {
    out += entry;
    out += kLineEnd;
  }
  return out;
}

bool TMonitorForm::SaveEventLog(const QString& path) const {
  return SaveBytes(path, EventLogBytes());
}
