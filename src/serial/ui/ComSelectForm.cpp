// The port selection dialog; installed as the serial component's port prompt.
#include "serial/ui/ComSelectForm.h"

#include <QComboBox>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "serial/PortProbe.h"
#include "serial/SerialPort.h"

namespace {
constexpr int kFirstPort = 1;
constexpr int kLastPort = 50;
constexpr int kPrefixLength = 3;  // "COM"
}  // namespace

TComSelectForm::TComSelectForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("ComSelectForm"));
  setWindowTitle(QStringLiteral("Select Port"));
  setFixedSize(220, 131);

  Bevel1 = new QFrame(this);
  Bevel1->setObjectName(QStringLiteral("Bevel1"));
  Bevel1->setFrameShape(QFrame::Box);
  Bevel1->setFrameShadow(QFrame::Sunken);
  Bevel1->setGeometry(8, 8, 201, 42);
  Label1 = new QLabel(QStringLiteral("The configured serial port is not valid."), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->move(18, 14);
  Label2 = new QLabel(QStringLiteral("Please choose another port."), this);
  Label2->setObjectName(QStringLiteral("Label2"));
  Label2->move(18, 30);

  PortsComboBox = new QComboBox(this);
  PortsComboBox->setObjectName(QStringLiteral("PortsComboBox"));
  PortsComboBox->setEditable(false);
  PortsComboBox->setGeometry(8, 64, 201, PortsComboBox->sizeHint().height());

  OkBtn = new QPushButton(QStringLiteral("OK"), this);
  OkBtn->setObjectName(QStringLiteral("OkBtn"));
  OkBtn->setGeometry(8, 95, 85, 27);
  OkBtn->setDefault(true);
  AbortBtn = new QPushButton(QStringLiteral("Cancel"), this);
  AbortBtn->setObjectName(QStringLiteral("AbortBtn"));
  AbortBtn->setGeometry(124, 95, 85, 27);
  setTabOrder(OkBtn, AbortBtn);
  setTabOrder(AbortBtn, PortsComboBox);

  connect(OkBtn, &QPushButton::clicked, this, &QDialog::accept);
  connect(AbortBtn, &QPushButton::clicked, this, &QDialog::reject);

  FillList();
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
}

void TComSelectForm::FillList() {
  PortsComboBox->clear();
  for (int n = kFirstPort; n <= kLastPort; ++n) {
    if (PortAvailable(n)) PortsComboBox->addItem(QStringLiteral("COM%1").arg(n));
  }
  PortsComboBox->setCurrentIndex(PortsComboBox->count() > 0 ? 0 : -1);
  // With nothing to choose, OK would only fail; Cancel remains.
  OkBtn->setEnabled(PortsComboBox->count() > 0);
}

uint16_t TComSelectForm::SelectedPort() const {
  if (PortsComboBox->currentIndex() < 0) return 0;
  return static_cast<uint16_t>(PortsComboBox->currentText().mid(kPrefixLength).toUInt());
}

void InstallComSelectPrompt(QWidget* parent, std::function<int(QDialog&)> exec) {
  TCustomSerialPort::SetPortPrompt([parent, exec = std::move(exec)](uint16_t& chosen) {
    TComSelectForm form(parent);
    const int result = exec ? exec(form) : form.exec();
    if (result != QDialog::Accepted) return false;
    chosen = form.SelectedPort();
    return chosen != 0;
  });
}
