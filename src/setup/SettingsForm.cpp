#include "setup/SettingsForm.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QSlider>
#include <QTabWidget>

#include "serial/SerialPort.h"
#include "setup/CallOptions.h"
#include "setup/Dialogs.h"
#include "setup/IniFile.h"
#include "setup/ModemLink.h"
#include "setup/SettingsStore.h"
#include "setup/SliderValue.h"
#include "setup/SpecModemForm.h"

namespace {
constexpr int kClientWidth = 362;
constexpr int kClientHeight = 243;
constexpr int kSliderStart = 128;
const QString kNone = QStringLiteral("none");
const QString kSpeakerVolKey = QStringLiteral("SpeakerVol");
const QString kRecGainKey = QStringLiteral("RecGain");

QLabel* MakeLabel(const QString& text, QWidget* parent, const char* name, QRect at) {
  auto* label = new QLabel(text, parent);
  if (name) label->setObjectName(QLatin1String(name));
  label->setGeometry(at);
  return label;
}

QSlider* MakeSlider(QWidget* parent, const char* name, int y) {
  auto* slider = new QSlider(Qt::Horizontal, parent);
  slider->setObjectName(QLatin1String(name));
  slider->setRange(kSliderMin, kSliderMax);
  slider->setSingleStep(1);
  slider->setValue(kSliderStart);
  slider->setTickPosition(QSlider::TicksBelow);
  slider->setTickInterval(16);
  slider->setGeometry(40, y, 260, 30);
  MakeLabel(QStringLiteral("Min"), parent, nullptr, QRect(10, y + 6, 28, 17));
  MakeLabel(QStringLiteral("Max"), parent, nullptr, QRect(306, y + 6, 30, 17));
  return slider;
}
}  // namespace

TSettingsForm::TSettingsForm(IModemLink& link, TSpecModemForm& specForm, QWidget* parent)
    : QDialog(parent), link_(link), specForm_(specForm) {
  setObjectName(QStringLiteral("SettingsForm"));
  setWindowTitle(QStringLiteral("Settings"));
  setFixedSize(kClientWidth, kClientHeight);

  PageControl1 = new QTabWidget(this);
  PageControl1->setObjectName(QStringLiteral("PageControl1"));
  PageControl1->setGeometry(8, 8, 346, 190);

  TabSheet1 = new QWidget;
  TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
  PageControl1->addTab(TabSheet1, QStringLiteral("Modem"));
  auto* model = new QGroupBox(QStringLiteral(" Model "), TabSheet1);
  model->setGeometry(8, 8, 326, 48);
  Label1 = MakeLabel(QString(), model, "Label1", QRect(10, 20, 306, 20));
  auto* portBox = new QGroupBox(QStringLiteral(" Port "), TabSheet1);
  portBox->setGeometry(8, 62, 326, 48);
  Label2 = MakeLabel(QString(), portBox, "Label2", QRect(10, 20, 306, 20));
  Button1 = new QPushButton(QStringLiteral("Find modems"), TabSheet1);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setGeometry(8, 120, 100, 25);

  TabSheet2 = new QWidget;
  TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
  PageControl1->addTab(TabSheet2, QStringLiteral("Parameters"));
  Label3 = MakeLabel(QStringLiteral("Speaker volume"), TabSheet2, "Label3", QRect(10, 8, 300, 17));
  SpkVolTr = MakeSlider(TabSheet2, "SpkVolTr", 28);
  Label4 = MakeLabel(QStringLiteral("Receive Gain"), TabSheet2, "Label4", QRect(10, 78, 300, 17));
  RecGainTr = MakeSlider(TabSheet2, "RecGainTr", 98);

  TabSheet3 = new QWidget;
  TabSheet3->setObjectName(QStringLiteral("TabSheet3"));
  PageControl1->addTab(TabSheet3, QStringLiteral("Calls"));
  CallerIdCb = new QCheckBox(QStringLiteral("Show the caller's number (caller ID)"), TabSheet3);
  CallerIdCb->setObjectName(QStringLiteral("CallerIdCb"));
  CallerIdCb->setGeometry(10, 12, 320, 22);
  StopOnHangUpCb =
      new QCheckBox(QStringLiteral("Stop the recording when the call ends"), TabSheet3);
  StopOnHangUpCb->setObjectName(QStringLiteral("StopOnHangUpCb"));
  StopOnHangUpCb->setGeometry(10, 44, 320, 22);
  Label5 = MakeLabel(QString(), TabSheet3, "Label5", QRect(30, 68, 300, 36));
  Label5->setWordWrap(true);
  NotifyCallsCb = new QCheckBox(QStringLiteral("Notify me of incoming calls"), TabSheet3);
  NotifyCallsCb->setObjectName(QStringLiteral("NotifyCallsCb"));
  NotifyCallsCb->setGeometry(10, 110, 320, 22);

  OkBtn = new QPushButton(QStringLiteral("Ok"), this);
  OkBtn->setObjectName(QStringLiteral("OkBtn"));
  OkBtn->setGeometry(190, 208, 75, 25);
  OkBtn->setDefault(true);
  CancelBtn = new QPushButton(QStringLiteral("Cancel"), this);
  CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
  CancelBtn->setGeometry(275, 208, 75, 25);

  connect(OkBtn, &QPushButton::clicked, this, [this] { OkBtnClick(); });
  connect(CancelBtn, &QPushButton::clicked, this, [this] { CancelBtnClick(); });
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(SpkVolTr, &QSlider::valueChanged, this, [this] { SpkVolTrChange(); });
  connect(RecGainTr, &QSlider::valueChanged, this, [this] { RecGainTrChange(); });
}

void TSettingsForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void TSettingsForm::ShowModem() {
  const TIniFile& ini = OpenSettingsStore();
  Label1->setText(ini.ReadString(kModemSection, QStringLiteral("Model"), QString()));
  Label2->setText(QStringLiteral("Com ") +
                  QString::number(ini.ReadInteger(kModemSection, QStringLiteral("port"), 1)));
}

void TSettingsForm::LoadSlider(const QString& key, QSlider* slider) {
  const QString stored = OpenSettingsStore().ReadString(kModemSection, key, QString());
  if (StoredSliderText(stored) == kNone) {
    slider->setEnabled(false);
    return;
  }
  // Enabled again once a later probe has stored a command.
  slider->setEnabled(true);
  // A value that is not a number (an absent key, "NONE") leaves the slider where it is.
  if (const std::optional<int> value = StoredSliderValue(stored)) slider->setValue(*value);
}

void TSettingsForm::FormShow() {
  CancelBtn->setEnabled(true);
  PageControl1->setCurrentWidget(TabSheet1);
  OkBtn->setFocus();
  ShowModem();
  LoadSlider(kSpeakerVolKey, SpkVolTr);
  LoadSlider(kRecGainKey, RecGainTr);
  LoadCallPage();
}

void TSettingsForm::LoadCallPage() {
  const TIniFile& ini = OpenSettingsStore();
  const TCallOptions options = LoadCallOptions(ini);
  CallerIdCb->setChecked(options.CallerId);
  StopOnHangUpCb->setChecked(options.StopOnHangUp);
  NotifyCallsCb->setChecked(options.NotifyCalls);
  Label5->setText(QStringLiteral("A busy or dial tone, a break of the line or %1 s of silence "
                                 "ends the call.")
                      .arg(options.SilenceSeconds));
}

// Written only when changed: a file whose user never touched these stays as it was.
void TSettingsForm::StoreCheckBox(const QString& key, const QCheckBox* box) {
  TIniFile& ini = OpenSettingsStore();
  if (ini.ReadBool(kParamsSection, key, false) == box->isChecked()) return;
  ini.WriteBool(kParamsSection, key, box->isChecked());
}

void TSettingsForm::SpkVolTrChange() {
  Label3->setText(QStringLiteral("Speaker volume ") + QString::number(SpkVolTr->value()));
}

void TSettingsForm::RecGainTrChange() {
  Label4->setText(QStringLiteral("Receive gain ") + QString::number(RecGainTr->value()));
}

void TSettingsForm::StoreSlider(const QString& key, const QString& prefix, const QSlider* slider) {
  TIniFile& ini = OpenSettingsStore();
  if (ini.ReadString(kModemSection, key, QString()) == kNone) return;
  ini.WriteString(kModemSection, key, prefix + QString::number(slider->value()));
}

void TSettingsForm::OkBtnClick() {
  try {
    StoreSlider(kSpeakerVolKey, QStringLiteral("at+vgs="), SpkVolTr);
    StoreSlider(kRecGainKey, QStringLiteral("at+vgr="), RecGainTr);
    StoreCheckBox(kCallerIdKey, CallerIdCb);
    StoreCheckBox(kStopOnHangUpKey, StopOnHangUpCb);
    StoreCheckBox(kNotifyCallsKey, NotifyCallsCb);
  } catch (const std::exception& e) {
    ShowMessage(QString::fromLocal8Bit(e.what()));  // the window stays for another try
    return;
  }
  accept();
}

void TSettingsForm::CancelBtnClick() {
  reject();
}

void TSettingsForm::Button1Click() {
  TSerialPort& port = link_.Port();
  if (link_.PortIsOpen) port.SetOpen(false);
  specForm_.FindModems();
  if (specForm_.FoundCount != 0) {
    specForm_.exec();
  } else {
    ShowMessage(QStringLiteral("No modems found on your system"));
    reject();
  }
  // The profile may have been rewritten: there is nothing to go back to.
  CancelBtn->setEnabled(false);
  ShowModem();
}
