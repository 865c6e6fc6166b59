#include "setup/SpecModemForm.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QWindow>

#include "setup/ModemLink.h"
#include "setup/ModemText.h"

namespace {
constexpr int kClientWidth = 316;
constexpr int kClientHeight = 206;
constexpr int kAnswerTickMs = 10;

QLabel* MakeLabel(QWidget* parent, const char* name, int y) {
  auto* label = new QLabel(parent);
  label->setObjectName(QLatin1String(name));
  label->setGeometry(12, y, 276, 17);
  return label;
}
}  // namespace

TSpecModemForm::TSpecModemForm(IModemLink& link, TProgressForm& progress, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      link_(link),
      progress_(progress) {
  setObjectName(QStringLiteral("SpecModemForm"));
  setWindowTitle(QStringLiteral("Modem specification"));
  setFixedSize(kClientWidth, kClientHeight);

  GroupBox1 = new QGroupBox(QStringLiteral("Modems found"), this);
  GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
  GroupBox1->setGeometry(8, 6, 300, 158);
  ComboBox3 = new QComboBox(GroupBox1);
  ComboBox3->setObjectName(QStringLiteral("ComboBox3"));
  ComboBox3->setGeometry(12, 22, 276, 23);
  Label1 = MakeLabel(GroupBox1, "Label1", 52);
  Label2 = MakeLabel(GroupBox1, "Label2", 72);
  Label3 = MakeLabel(GroupBox1, "Label3", 92);
  Label4 = MakeLabel(GroupBox1, "Label4", 112);
  Gauge1 = new QProgressBar(GroupBox1);
  Gauge1->setObjectName(QStringLiteral("Gauge1"));
  Gauge1->setGeometry(12, 134, 276, 16);
  Gauge1->setRange(0, 100);
  Gauge1->hide();

  OkBtn = new QPushButton(QStringLiteral("Ok"), this);
  OkBtn->setObjectName(QStringLiteral("OkBtn"));
  OkBtn->setGeometry(120, 172, 75, 25);
  OkBtn->setDefault(true);

  // The answer memo lies beyond the client area: the probe reads it, the user never sees it.
  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName(QStringLiteral("Memo1"));
  Memo1->setGeometry(328, 8, 185, 89);
  Memo1->setReadOnly(true);

  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(kAnswerTickMs);
  Timer1->setTimerType(Qt::PreciseTimer);

  Button1 = new QPushButton(QStringLiteral("Button1"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setGeometry(328, 104, 75, 25);
  Button1->hide();

  connect(ComboBox3, &QComboBox::currentIndexChanged, this, [this] { ComboBox3Change(); });
  connect(OkBtn, &QPushButton::clicked, this, [this] { OkBtnClick(); });
  connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
}

void TSpecModemForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void TSpecModemForm::closeEvent(QCloseEvent* event) {
  // Without a close button the window is left through "Ok" only.
  if (event->spontaneous() && !wayOut_) {
    event->ignore();
  } else {
    QDialog::closeEvent(event);
  }
}

void TSpecModemForm::reject() {
  if (!wayOut_) return;
  leftWithoutProfile_ = true;
  QDialog::reject();
}

// Every modem listed may be gone by now (unplugged after the scan): the user must be able
// to go on without one. The close button comes and goes without re-creating the shown
// window.
void TSpecModemForm::SetWayOut(bool offered) {
  if (offered && wayOut_) return;
  wayOut_ = offered;
  if (!offered) leftWithoutProfile_ = false;
  const Qt::WindowFlags buttons = Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  const Qt::WindowFlags flags = offered ? windowFlags() | buttons : windowFlags() & ~buttons;
  overrideWindowFlags(flags);
  if (QWindow* window = windowHandle()) window->setFlags(flags);
}

void TSpecModemForm::FormShow() {
  ComboBox3->setCurrentIndex(ComboBox3->count() > 0 ? 0 : -1);
  ShowDetails(ComboBox3->currentIndex());
}

void TSpecModemForm::ComboBox3Change() {
  ShowDetails(ComboBox3->currentIndex());
}

void TSpecModemForm::ShowDetails(int line) {
  const int entry = line + 1;
  if (line < 0 || entry >= static_cast<int>(FoundModems.size())) return;
  const TModemParams& e = FoundModems[entry];
  Label1->setText(QStringLiteral("Model: ") + e.Model);
  Label2->setText(QStringLiteral("Driver version: ") + e.DriverDate);
  Label3->setText(QStringLiteral("Manufacturer: ") + e.Manufacturer);
  Label4->setText(QStringLiteral("Com port: ") + e.PortName);
}

void TSpecModemForm::AddMemoLine(const QByteArray& chunk) {
  answerStarted_ = true;
  lastChunkTick_ = AnswerTicks;
  for (const QByteArray& line : answerLines_.Feed(chunk)) {
    Memo1->appendPlainText(QString::fromLatin1(line));
    finalResultSeen_ |= IsFinalResult(line);
  }
}

void TSpecModemForm::AppendMemoText(const QByteArray& text) {
  Memo1->appendPlainText(::MemoLines(QString::fromLatin1(text)).join(QLatin1Char('\n')));
}

QStringList TSpecModemForm::MemoLines() const {
  if (Memo1->document()->isEmpty()) return {};
  return Memo1->toPlainText().split(QLatin1Char('\n'));
}
