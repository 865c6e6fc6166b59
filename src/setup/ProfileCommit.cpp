// "Ok" in the modem list window: check the chosen modem, probe its voice
// commands and write its profile to the settings file.
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include "serial/SerialPort.h"
#include "setup/Dialogs.h"
#include "setup/ModemLink.h"
#include "setup/ModemText.h"
#include "setup/SettingsStore.h"
#include "setup/Shared.h"
#include "setup/SpecModemForm.h"

namespace {
const QString kNone = QStringLiteral("none");
const QString kOk = QStringLiteral("ok");
constexpr int32_t kGaugeSteps = 14;
constexpr int32_t kStoredTimeout = 500;
const QString kNoUsableLine = QStringLiteral(
    "The modem accepted none of its line selections: recording cannot select "
    "the telephone line");

// The no-voice profile: every command key, in the order it is written.
const char* const kVoiceKeys[] = {
    "VoiceMode",    "InitVoice",   "DisCallerId",  "ForCallerId", "UnfCallerId",  "Distinctive",
    "SpeakerVol",   "LineSel_T",   "LineSel_T#",   "LineSel_LT",  "LineSel_LT#",  "LineSel_ST",
    "LineSel_ST#",  "LineSel_MST", "LineSel_MST#", "BeepTone",    "SilenceTimer", "ToneGeneration",
    "VoiceProcess", "VoiceTrx",    "VoiceRec",     "RecGain",     "SpeakerOn",    "SpeakerOff",
    "MicGain",      "SpeakerGain"};

}  // namespace

void TSpecModemForm::SetDefaultVoiceCommands(int entry) {
  TModemParams& e = FoundModems[entry];
  e.VoiceMode = QStringLiteral("at+fclass=8");
  e.InitVoice = QStringLiteral("at+vid");
  e.DisCallerId = QStringLiteral("at+vcid=0");
  e.ForCallerId = QStringLiteral("at+vcid=1");
  e.UnfCallerId = QStringLiteral("at+vcid=2");
  e.Distinctive = QStringLiteral("at+vdr=0");
  e.SpeakerVol = QStringLiteral("at+vgt=128");
  e.LineSel_T = QStringLiteral("at+vls=1");
  e.LineSel_LT = QStringLiteral("at+vls=3");
  e.LineSel_ST = QStringLiteral("at+vls=5");
  e.LineSel_MST = QStringLiteral("at+vls=7");
  e.BeepTone = QStringLiteral("at+vtd=100");
  e.SilenceTimer = QStringLiteral("at+vsd=127,50");
  e.ToneGeneration = QStringLiteral("at+vts=");
  e.VoiceProcess = QStringLiteral("at+vtr");
  e.VoiceTrx = QStringLiteral("at+vtx");
  e.VoiceRec = QStringLiteral("at+vrx");
  e.VoiceCompression = QStringLiteral("at+vsm=128");
  e.RecGain = QStringLiteral("at+vgr=128");
  e.SpeakerOn = QStringLiteral("at+vsp=1");
  e.SpeakerOff = QStringLiteral("at+vsp=0");
  e.MicGain = QStringLiteral("at+vgm=128");
  e.SpeakerGain = QStringLiteral("at+vgs=128");
}

void TSpecModemForm::EnterBusy() {
  setCursor(Qt::WaitCursor);
  GroupBox1->setCursor(Qt::WaitCursor);
  OkBtn->setEnabled(false);
  ComboBox3->setEnabled(false);
  QCoreApplication::processEvents();
}

void TSpecModemForm::LeaveBusy() {
  unsetCursor();
  GroupBox1->unsetCursor();
  OkBtn->setEnabled(true);
  ComboBox3->setEnabled(true);
}

void TSpecModemForm::ClosePort() {
  TSerialPort& port = link_.Port();
  try {
    if (port.Open()) port.SetOpen(false);
  } catch (const ESerialException&) {
    // A device that has gone away: nothing left to release.
  }
}

void TSpecModemForm::RequirePort() {
  if (!link_.Port().Open()) CheckSerialResult(serial_error::kCommNotOpen);
}

void TSpecModemForm::GaugeStep() {
  ++gaugeSteps_;
  Gauge1->setValue(StepPercent(gaugeSteps_, kGaugeSteps));
}

void TSpecModemForm::TestCommand(TIniFile& ini, const QString& key, QString TModemParams::*field) {
  QString& command = CurrentProfile.*field;
  const int result = link_.SendAndExpect(command.toLatin1(), QString(), kOk);
  RequirePort();
  if (result != kExchangeOk) command = kNone;
  ini.WriteString(kModemSection, key, command);
}

void TSpecModemForm::OkBtnClick() {
  if (ComboBox3->currentIndex() < 0) {
    accept();
    return;
  }
  EnterBusy();
  bool close = false;
  profileWritten_ = false;
  try {
    close = Commit();
  } catch (const std::exception& e) {
    // A settings write that failed, or the port lost in the middle of the probe: the
    // commit stops; the user may try again, choose another modem or leave.
    link_.EchoToSpecMemo = false;
    Timer1->stop();
    Gauge1->hide();
    ClosePort();
    LeaveBusy();
    if (profileWritten_) {
      // A profile cut short must not count as configured at the next start.
      try {
        OpenSettingsStore().WriteInteger(kModemSection, QStringLiteral("port"), 0);
      } catch (const EIniWriteError&) {
        // The file refuses writes: the message below names the cause.
      }
    }
    ShowMessage(link_.PortLost
                    ? QStringLiteral("The modem was disconnected. Connect it again and "
                                     "press Ok, or close this window to go on without it.")
                    : QString::fromLocal8Bit(e.what()));
    SetWayOut(true);
    return;
  }
  if (close) accept();
}

// The commit proper; true when the window is to close, false when the user stays in it.
bool TSpecModemForm::Commit() {
  const int entry = ComboBox3->currentIndex() + 1;
  TSerialPort& port = link_.Port();
  port.SetComNumber(static_cast<uint16_t>(FoundModems[entry].port));
  CurrentProfile = FoundModems[entry];

  try {
    port.SetOpen(true);
  } catch (const ESerialException& e) {
    LeaveBusy();
    ShowMessage(OpenFailureMessage(QStringLiteral("No valid com port specified for this modem"), e));
    SetWayOut(true);
    return false;
  }
  if (!link_.PortIsOpen) {
    LeaveBusy();
    ClosePort();
    return true;
  }
  // A modem that reset when the scan closed its port echoes this command: the echo is a
  // line of its own, passed over, and the "OK" after it is the answer.
  if (link_.SendAndExpect(QByteArrayLiteral("atE0"), QString(), kOk) != kExchangeOk) {
    RequirePort();  // a modem that has gone away is not "no modem"
    LeaveBusy();
    ShowMessage(QStringLiteral("No valid modem on this port"));
    SetWayOut(true);
    return false;
  }

  TIniFile& ini = OpenSettingsStore();
  profileWritten_ = true;
  ini.WriteString(kModemSection, QStringLiteral("DriverDate"), CurrentProfile.DriverDate);
  ini.WriteString(kModemSection, QStringLiteral("Manufacturer"), CurrentProfile.Manufacturer);
  ini.WriteString(kModemSection, QStringLiteral("DeviceDesc"), CurrentProfile.DeviceDesc);
  ini.WriteString(kModemSection, QStringLiteral("Model"), CurrentProfile.Model);
  ini.WriteString(kModemSection, QStringLiteral("Reset"), CurrentProfile.Reset);
  ini.WriteString(kModemSection, QStringLiteral("answer"), CurrentProfile.answer);
  ini.WriteString(kModemSection, QStringLiteral("monitor"), CurrentProfile.monitor);
  ini.WriteInteger(kModemSection, QStringLiteral("port"), CurrentProfile.port);

  VoiceCapable = false;
  const int voiceMode = link_.SendAndExpect(QByteArrayLiteral("at+fclass=8"), QString(), kOk);
  RequirePort();
  if (voiceMode == kExchangeOk) {
    Gauge1->show();
    VoiceCapable = true;
    gaugeSteps_ = 0;
    SetDefaultVoiceCommands(entry);
    CurrentProfile = FoundModems[entry];
    Gauge1->setValue(0);
    ProbeVoiceCommands(ini);
    Gauge1->hide();
  }
  if (!VoiceCapable) WriteNoVoiceProfile(ini);

  LeaveBusy();
  ClosePort();
  return true;
}

void TSpecModemForm::ProbeVoiceCommands(TIniFile& ini) {
  ini.WriteString(kModemSection, QStringLiteral("VoiceMode"), CurrentProfile.VoiceMode);
  const std::pair<const char*, QString TModemParams::*> before[] = {
      {"InitVoice", &TModemParams::InitVoice},     {"DisCallerId", &TModemParams::DisCallerId},
      {"ForCallerId", &TModemParams::ForCallerId}, {"UnfCallerId", &TModemParams::UnfCallerId},
      {"Distinctive", &TModemParams::Distinctive}, {"SpeakerVol", &TModemParams::SpeakerVol}};
  for (const auto& [key, field] : before) {
    TestCommand(ini, QLatin1String(key), field);
    GaugeStep();
  }
  ProbeLineSelection();
  GaugeStep();
  ChooseCompression();
  GaugeStep();
  TestCommand(ini, QStringLiteral("SilenceTimer"), &TModemParams::SilenceTimer);
  GaugeStep();
  // Stored without a test: they only make sense inside a voice session.
  ini.WriteString(kModemSection, QStringLiteral("ToneGeneration"), CurrentProfile.ToneGeneration);
  ini.WriteString(kModemSection, QStringLiteral("VoiceProcess"), CurrentProfile.VoiceProcess);
  ini.WriteString(kModemSection, QStringLiteral("VoiceTrx"), CurrentProfile.VoiceTrx);
  ini.WriteString(kModemSection, QStringLiteral("VoiceRec"), CurrentProfile.VoiceRec);
  const std::pair<const char*, QString TModemParams::*> after[] = {
      {"RecGain", &TModemParams::RecGain},
      {"SpeakerOn", &TModemParams::SpeakerOn},
      {"SpeakerOff", &TModemParams::SpeakerOff},
      {"MicGain", &TModemParams::MicGain},
      {"SpeakerGain", &TModemParams::SpeakerGain}};
  for (const auto& [key, field] : after) {
    TestCommand(ini, QLatin1String(key), field);
    GaugeStep();
  }
  ini.WriteBool(kParamsSection, QStringLiteral("Voicefeatures"), true);
  const bool lineChosen = ChooseRecordingLine(ini);
  ini.WriteInteger(kParamsSection, QStringLiteral("Timeout"), kStoredTimeout);
  if (!lineChosen) ShowMessage(kNoUsableLine);
}

// The recording line is the first line type whose select command this probe tried and
// the modem took ("ok" or "vcon"): a line it refused could never be set for a recording.
// False when there is none.
bool TSpecModemForm::ChooseRecordingLine(TIniFile& ini) {
  for (int type = 0; type < kLineTypeCount; ++type) {
    if (!(probedLineTypes_ & (1u << type))) continue;
    const QString key = QStringLiteral("LineSel_") + QLatin1String(kLineTypes[type]);
    const QString value = ini.ReadString(kModemSection, key, QString());
    if (UpperAscii(value) == QLatin1String("NONE")) continue;
    const QString result = ini.ReadString(kModemSection, key + QLatin1Char('#'), QString());
    const QString answer = UpperAscii(result);
    if (answer != QLatin1String("OK") && answer != QLatin1String("VCON")) continue;
    ini.WriteString(kParamsSection, QStringLiteral("UseLine"), value);
    ini.WriteString(kParamsSection, QStringLiteral("UseLineRes"), result);
    return true;
  }
  return false;
}

void TSpecModemForm::WriteNoVoiceProfile(TIniFile& ini) {
  for (const char* key : kVoiceKeys) ini.WriteString(kModemSection, QLatin1String(key), kNone);
  ini.WriteBool(kParamsSection, QStringLiteral("Voicefeatures"), false);
  ini.WriteInteger(kParamsSection, QStringLiteral("Timeout"), kStoredTimeout);
}
