// Start sequence, shutdown and the shell's own commands.
#include <QDir>
#include <QScopeGuard>
#include <QTimer>

#include "app/AboutForm.h"
#include "calls/CallFile.h"
#include "app/MainForm.h"
#include "app/TextFit.h"
#include "calls/RecordingRecovery.h"
#include "modem/ModemF.h"
#include "modem/MonitorForm.h"
#include "recording/RecorderPanel.h"
#include "serial/SerialErrors.h"
#include "setup/Diagnostics.h"
#include "setup/Dialogs.h"
#include "setup/PrivateFile.h"
#include "setup/Profile.h"
#include "setup/SettingsForm.h"
#include "setup/Shared.h"
#include "setup/SpecModemForm.h"

namespace {
const QString kParamsSection = QStringLiteral("params");
const QString kMainTop = QStringLiteral("MainTop");
const QString kMainLeft = QStringLiteral("MainLeft");
constexpr int kDesignLeft = 367;
constexpr int kDesignTop = 146;
const QString kEventLogName = QStringLiteral("Events.log");
const QString kSignedPcm = QStringLiteral("SIGNED PCM");
constexpr int kMaxPortNumber = 65535;
}  // namespace

void TMainForm::FormCreate() {
  StartDirectory = QDir::currentPath();
  CurrentProfile = TModemParams{};
  Voicefeatures = true;
  CreateScopeAndStream();
  SettingsFile = std::make_unique<TIniFile>(QDir(StartDirectory).filePath(kSettingsFileName));
  try {
    const int top = SettingsFile->ReadInteger(kParamsSection, kMainTop, kDesignTop);
    const int left = SettingsFile->ReadInteger(kParamsSection, kMainLeft, kDesignLeft);
    move(left, top);
  } catch (const EIniError&) {
    // Told by the start sequence, which reads the file next.
    move(kDesignLeft, kDesignTop);
  }
}

void TMainForm::FormShow() {
  if (shutDownDone_) {
    return;
  }
  if (!RunStartSequence()) {
    return;
  }
  SetStatusPanel(1, PortPanelText(CurrentProfile.port));
  SetStatusPanel(2, QStringLiteral(" ") + CurrentProfile.Model);
  ClearScope();
}

bool TMainForm::RunStartSequence(bool reloadCallList) {
  // Between recordings the port is kept open for the calls from the end of the sequence
  // on, whichever way it ends: the sequence opens it itself.
  Recorder->Listener.SetEnabled(false);
  const auto listen = qScopeGuard([this] {
    Recorder->Listener.SetEnabled(!shutDownDone_ && Recorder->CallWatch.Enabled());
  });
  // Recordings left by a run that did not end become calls before the list is shown.
  const QStringList recovered = reloadCallList ? RecoverRecordings() : QStringList();
  if (reloadCallList) {
    try {
      LoadCallList();
    } catch (const ECallFileError& e) {
      for (const QString& line : recovered) {
        MonitorForm->Add(line);
      }
      ShowMessage(QString::fromUtf8(e.what()));
      return false;
    }
    // Recovered calls (and calls kept beside the list) go into the list on disk now.
    if (sideMerged_) {
      StoreCallList();
    }
  }
  ModemF->EchoToSpecMemo = false;

  // Left without a modem when the modem list was closed without one (each one listed had
  // gone): the program goes on without a modem until the user finds one in the settings.
  bool withModem = true;
  try {
    if (!LoadOrFindProfile(withModem)) {
      return false;
    }
    CallOptions = LoadCallOptions(*SettingsFile);
  } catch (const EIniError& e) {
    // A settings file that cannot be read is no missing profile: no scan, nothing
    // written over it.
    ShowMessage(QString::fromUtf8(e.what()));
    return false;
  }
  // A profile changed in the settings window takes effect both ways.
  ModemF->SignedSamples = CurrentProfile.Compression.toUpper() == kSignedPcm ? 1 : 0;
  Recorder->CallWatch.SetEnabled(withModem && WatchesCalls(CallOptions, CurrentProfile));
  Recorder->CallWatch.SetNotifying(CallOptions.NotifyCalls);

  if (withModem && !Voicefeatures) {
    ShowMessage(QStringLiteral("Your modem does not support IS101 voice command set"));
    if (shutDownDone_) {
      return false;
    }
  }
  RecSb1->setEnabled(withModem && Voicefeatures);
  Record1->setEnabled(withModem && Voicefeatures);

  MonitorForm->Clear();
  for (const QString& line : recovered) {
    MonitorForm->Add(line);
  }
  Recorder->Recorder.EndReception();
  ModemF->DataReceived = false;

  for (QAction* a : {Previous1, Next1}) {
    a->setEnabled(false);
  }
  for (QToolButton* b : {PrevSb1, NextSb1}) {
    b->setEnabled(false);
  }

  if (CallCount() >= 1) {
    CurrentCall = CallList.front();
    CurrentFileName = CurrentCall.FileName;
  } else {
    SetRecordCommandsEnabled(false);
  }
  if (!withModem) {
    return true;  // no port to open
  }

  if (QString failure; !OpenPortForStart(failure)) {
    ShowMessage(failure);
    if (shutDownDone_) {
      return false;
    }
    RecSb1->setEnabled(false);
    return true;
  }
  On1->setChecked(true);
  Off1->setChecked(false);

  ModemF->SendAndExpect("atE0", QStringLiteral("initialization string.."), QStringLiteral("OK"));
  if (shutDownDone_) {
    return false;
  }
  ModemF->SendAndExpect("ats0=0", QStringLiteral("Setting no autoanswer.."), QStringLiteral("OK"));
  if (shutDownDone_) {
    return false;
  }
  SwitchCallerIdOn(*ModemF, CallOptions, CurrentProfile);
  return !shutDownDone_;
}

// The profile of the configured modem, or of the one the user confirms after a scan;
// withModem false when the user left the modem list without one. False when the start
// sequence ends here.
bool TMainForm::LoadOrFindProfile(bool& withModem) {
  if (ModemConfigured(*SettingsFile)) {
    LoadProfile(*SettingsFile, CurrentProfile, Voicefeatures, ModemF->TimeoutFactor);
  } else {
    SpecModemForm->FindModems();
    if (shutDownDone_) {
      return false;
    }
    if (SpecModemForm->FoundCount < 1) {
      ShowMessage(QStringLiteral("No modems found on your system"));
      if (!shutDownDone_) {
        close();
      }
      return false;
    }
    ExecModal(*SpecModemForm);
    if (shutDownDone_) {
      return false;
    }
    withModem = !SpecModemForm->LeftWithoutProfile();
    if (withModem) {
      LoadProfile(*SettingsFile, CurrentProfile, Voicefeatures, ModemF->TimeoutFactor);
    } else {
      CurrentProfile = TModemParams{};
    }
  }
  return true;
}

bool TMainForm::OpenPortForStart(QString& failure) {
  failure = QStringLiteral("Error during opening com port ") + QString::number(CurrentProfile.port);
  // Port 0 makes the port ask the user for one (the choice is not stored).
  if (CurrentProfile.port < 0 || CurrentProfile.port > kMaxPortNumber) {
    return false;
  }
  try {
    ModemF->ComPort1.SetComNumber(static_cast<uint16_t>(CurrentProfile.port));
    ModemF->ComPort1.SetOpen(true);
  } catch (const std::exception& e) {
    failure = OpenFailureMessage(failure, e);
    return false;
  }
  return true;
}

void TMainForm::FormActivate() {
  ClearScope();
}

void TMainForm::FormClose() {
  if (shutDownDone_) {
    return;
  }
  shutDownDone_ = true;
  Timer2->stop();
  // The port closes for good: no call is listened for, none is left on the desktop.
  if (Recorder) {
    Recorder->Listener.SetEnabled(false);
    Recorder->CallWatch.SetEnabled(false);
  }
  // A call must survive a logout: a recording in progress is saved as Stop would, before
  // the list is written, and the monitor (so Events.log) says what became of it.
  if (Recorder) {
    const QString line = Recorder->Recorder.SaveAtShutdown();
    if (!line.isEmpty()) {
      MonitorForm->Add(line);
    }
  }
  ReleaseScopeAndStream();

  if (!callListLoaded_) {
    QString note;
    SaveCallsBesideUnreadList(&note);
    if (!note.isEmpty()) {
      ShowMessage(note);
    }
  } else if (!SaveCallList()) {
    ShowMessage(QStringLiteral("error"));
    return;
  }
  // A new event log is private to the user; an existing one keeps its mode.
  CreatePrivateFile(kEventLogName);
  MonitorForm->SaveEventLog(kEventLogName);
  try {
    ModemF->ComPort1.SetOpen(false);
  } catch (const std::exception&) {
    // Closing a port that is gone: nothing left to do.
  }
  try {
    SettingsFile->WriteInteger(kParamsSection, kMainTop, pos().y());
    SettingsFile->WriteInteger(kParamsSection, kMainLeft, pos().x());
  } catch (const EIniError& e) {
    ShowMessage(QString::fromUtf8(e.what()));
  }
  // SettingsFile stays bound until the window is destroyed: code still unwinding from a
  // modal window closed by the shutdown may read it.
}

void TMainForm::Exit1Click() {
  close();
}

void TMainForm::About1Click() {
  ExecModal(*AboutForm);
}

void TMainForm::Settings1Click() {
  Recorder->Listener.SetEnabled(false);  // the port stays closed until the start sequence
  try {
    ModemF->ComPort1.SetOpen(false);
  } catch (const std::exception&) {
  }
  On1->setChecked(false);
  Off1->setChecked(true);
  ExecModal(*SettingsForm);
  if (shutDownDone_) {
    return;
  }
  // The start sequence reloads Calls.dbt: store the list first (beside it when it could
  // not be read). If that fails, keep the list in memory rather than reload the old one.
  const bool saved = callListLoaded_ ? SaveCallList() : StoreCallList();
  if (!saved && callListLoaded_) {
    ShowMessage(QStringLiteral("error"));
  }
  RunStartSequence(saved);
}

void TMainForm::Contents1Click() {
  const QString message = OpenHelpContents(HelpPlaces, OpenUrl);
  if (!message.isEmpty()) {
    ShowMessage(message);
  }
}

void TMainForm::Diagnostics1Click() {
  // Its queries would go into the voice stream, or between the set-up's commands.
  if (Recorder && Recorder->Recorder.UsesModem()) {
    ShowMessage(
        QStringLiteral("The diagnostics cannot run during a recording. Stop the recording first."));
    return;
  }
  if (Recorder) {
    Recorder->CallWatch.HoldMonitorLines(true);
  }
  const auto release = qScopeGuard([this] {
    if (Recorder) {
      Recorder->CallWatch.HoldMonitorLines(false);
    }
  });
  RunDiagnostics(*ModemF, *ProgressForm);
}

void TMainForm::Button4Click() {
  SpecModemForm->show();
}
