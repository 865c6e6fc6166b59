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

void TMonitorForm::Add(const QString& text) {
  const QStringList added = MemoLines(text);
  lines_ << added;
  Memo1->appendPlainText(added.join(QLatin1Char('\n')));
}

void TMonitorForm::Clear() {
  lines_.clear();
  Memo1->clear();
}

QString TMonitorForm::Text() const {
  QString out;
  for (const QString& line : lines_) {
    out += line;
    out += QStringLiteral("\r\n");
  }
  return out;
}

bool TMonitorForm::SaveToFile(const QString& path) const {
  // Written aside and renamed into place: a failed save never leaves a cut-off log.
  QSaveFile f(path);
  if (!f.open(QIODevice::WriteOnly)) return false;
  const QByteArray bytes = Text().toLatin1();
  if (f.write(bytes) != bytes.size()) return false;
  return f.commit();
}
