#include "recording/Recorder.h"

#include <QAction>
#include <QTimer>
#include <QToolButton>
#include <utility>

#include "calls/CallNames.h"
#include "calls/CallWav.h"
#include "modem/ModemF.h"
#include "modem/MonitorForm.h"
#include "recording/Playback.h"
#include "recording/Scope.h"
#include "serial/SerialErrors.h"
#include "setup/Dialogs.h"
#include "setup/Shared.h"
#include "sound/VoiceStream.h"
#include "sound/WavFormat.h"

namespace {
const QString kNone = QStringLiteral("none");
constexpr int kGainValueLength = 4;

// The gain command's value: the four characters after its first "=", or its first four.
QString GainValue(const QString& command) {
  const qsizetype eq = command.indexOf(QLatin1Char('='));
  return eq < 0 ? command.left(kGainValueLength) : command.mid(eq + 1, kGainValueLength);
}

// Record looks pressed from the moment it is taken until the samples are saved or given up.
bool ShowsPressed(TRecordState state) {
  return state == TRecordState::kSettingUp || state == TRecordState::kReceiving ||
         state == TRecordState::kStoppedUnsaved || state == TRecordState::kSaving;
}

QString LineEndText(TLineEnd end) {
  switch (end) {
    case TLineEnd::kBusyTone:
      return QStringLiteral("busy tone");
    case TLineEnd::kDialTone:
      return QStringLiteral("dial tone");
    case TLineEnd::kLoopBreak:
      return QStringLiteral("loop current break");
    case TLineEnd::kStreamEnd:
      return QStringLiteral("the modem ended the reception");
    case TLineEnd::kSilence:
      return QString::number(CallOptions.SilenceSeconds) + QStringLiteral(" s of silence");
    case TLineEnd::kNone:
      break;
  }
  return QString();
}
}  // namespace

uint32_t ProfileSamplingRate() {
  return CurrentProfile.SamplingFreq > 0 ? static_cast<uint32_t>(CurrentProfile.SamplingFreq)
                                         : kDefaultSamplingRate;
}

TRecorder::TRecorder(const TRecorderControls& controls, const TCallListHooks& calls, TModemF& link,
                     TVoiceStream& stream, TScope& scope, TPlayback& playback)
    : c_(controls), calls_(calls), link_(link), stream_(stream), scope_(scope), playback_(playback) {
  link_.OnPortLost = [this] { PortLost(); };
  Journal.OnFailed = [this](const QString& error) { ReportJournalFailure(error); };
}

TRecorder::~TRecorder() {
  link_.OnPortLost = nullptr;
}

bool TRecorder::UsesModem() const {
  switch (state_) {
    case TRecordState::kSettingUp:
    case TRecordState::kReceiving:
    case TRecordState::kVoiceReceive:
    case TRecordState::kSaving:
      return true;
    case TRecordState::kIdle:
    case TRecordState::kStoppedUnsaved:
      break;
  }
  return false;
}

void TRecorder::EndReception() {
  if (state_ == TRecordState::kReceiving) Enter(TRecordState::kStoppedUnsaved);
  if (state_ == TRecordState::kVoiceReceive) Enter(TRecordState::kIdle, TIdleCause::kEnded);
}

void TRecorder::Enter(TRecordState next, TIdleCause cause) {
  const TRecordState previous = state_;
  ShowState(next, cause);
  if (OnStateChanged) OnStateChanged(previous, next, cause);
}

void TRecorder::ShowState(TRecordState next, TIdleCause cause) {
  const bool wasPressed = ShowsPressed(state_);
  state_ = next;
  const auto enable = [](std::initializer_list<QAction*> actions,
                         std::initializer_list<QToolButton*> buttons, bool on) {
    for (QAction* a : actions) a->setEnabled(on);
    for (QToolButton* b : buttons) b->setEnabled(on);
  };
  c_.RecSb1->setChecked(ShowsPressed(next));
  switch (next) {
    case TRecordState::kSettingUp:
      enable({c_.Record1, c_.Play1, c_.Pause1},
             {c_.Playsb1, c_.PauseSb1, c_.PrevSb1, c_.NextSb1, c_.StopSb1}, false);
      break;
    case TRecordState::kReceiving:
      c_.StopSb1->setEnabled(true);
      break;
    case TRecordState::kVoiceReceive:
      break;
    case TRecordState::kStoppedUnsaved:
      c_.Record1->setEnabled(false);
      c_.StopSb1->setEnabled(true);
      break;
    case TRecordState::kSaving:
      break;
    case TRecordState::kIdle:
      switch (cause) {
        case TIdleCause::kReset:
          enable({c_.Record1, c_.Play1, c_.Pause1}, {c_.Playsb1, c_.PauseSb1, c_.StopSb1}, true);
          enable({}, {c_.PrevSb1, c_.NextSb1}, false);
          break;
        case TIdleCause::kSaved:
          c_.Record1->setEnabled(true);
          if (calls_.CallCount() >= 1) {
            enable({c_.Comment1, c_.Delete1, c_.Play1, c_.Pause1, c_.Stop1},
                   {c_.Playsb1, c_.PauseSb1, c_.StopSb1}, true);
            enable({c_.Previous1, c_.Next1}, {c_.PrevSb1, c_.NextSb1}, false);
          }
          break;
        case TIdleCause::kCutOff:
          if (wasPressed) c_.Record1->setEnabled(false);
          break;
        case TIdleCause::kEnded:
          break;
      }
      break;
  }
}

void TRecorder::ShowPortMarks(bool open) {
  c_.On1->setChecked(open);
  c_.Off1->setChecked(!open);
}

bool TRecorder::OpenPortOnDemand() {
  QString failure;
  if (OpenPort(&failure)) return true;
  ShowMessage(failure);
  return false;
}

bool TRecorder::OpenPort(QString* failure) {
  if (link_.PortIsOpen) return true;
  try {
    link_.ComPort1.SetComNumber(static_cast<uint16_t>(CurrentProfile.port));
    link_.ComPort1.SetOpen(true);
  } catch (const ESerialException& e) {
    *failure = OpenFailureMessage(
        QStringLiteral("Error during opening com port ") + QString::number(CurrentProfile.port),
        e);
    return false;
  }
  try {
    SwitchCallerIdOn(link_, CallOptions, CurrentProfile);
  } catch (const ESerialException&) {
    // The port was closed under the exchange; whoever closed it has said so.
  }
  return true;
}

void TRecorder::ClosePort() {
  try {
    link_.ComPort1.SetOpen(false);
  } catch (const ESerialException& e) {
    ShowMessage(QString::fromUtf8(e.what()));
  }
}

int TRecorder::Exchange(const QString& command, const QString& line, const QString& expected) {
  try {
    return link_.SendAndExpect(command.toLatin1(), line, expected);
  } catch (const ESerialException&) {
    // The port was closed under the set-up (Modem Off, Close port).
    return kExchangeNotSent;
  }
}

bool TRecorder::SetUpCancelled(uint64_t setUp) const {
  return state_ != TRecordState::kSettingUp || setUp_ != setUp;
}

void TRecorder::ResetRecorderButtons() {
  Enter(TRecordState::kIdle, TIdleCause::kReset);
}

bool TRecorder::SetUpModem(uint64_t setUp) {
  // Each failure resets the buttons and names the step; a set-up cancelled by Stop,
  // Modem Off or Close port in the middle ends quietly.
  const auto failed = [&](const char* message) {
    if (SetUpCancelled(setUp)) return false;
    ResetRecorderButtons();
    ShowMessage(QString::fromLatin1(message));
    return false;
  };
  const TModemParams& p = CurrentProfile;
  if (Exchange(p.VoiceMode, QStringLiteral("Setting modem in voice mode.."),
               QStringLiteral("OK")) != kExchangeOk ||
      SetUpCancelled(setUp)) {
    return failed("Error Setting modem in voice mode..");
  }
  if (GainValue(p.RecGain) != kNone && (Exchange(p.RecGain, QStringLiteral("Setting Rec gain.."),
                                                 QStringLiteral("OK")) != kExchangeOk ||
                                        SetUpCancelled(setUp))) {
    return failed("Error setting Rec gain..");
  }
  if (p.VoiceCompression.toUpper().contains(QStringLiteral("NONE"))) {
    return failed("Voice compression codec can not be recognized");
  }
  if (Exchange(p.VoiceCompression, QStringLiteral("Setting voice compression.."),
               QStringLiteral("OK")) != kExchangeOk ||
      SetUpCancelled(setUp)) {
    return failed("Error setting voice compession..");
  }
  if (Exchange(p.UseLine, QStringLiteral("Voice line set.. "), p.UseLineRes) != kExchangeOk ||
      SetUpCancelled(setUp)) {
    return failed("Error setting line..");
  }
  return true;
}

void TRecorder::StartRecording() {
  if (ShowsPressed(state_)) return;
  // Record can be enabled during a playback (the start sequence after Settings enables
  // it): the playback ends first, as the recording takes over the voice stream.
  playback_.EndBeforeRecording();
  const uint64_t setUp = ++setUp_;
  Enter(TRecordState::kSettingUp);

  if (!OpenPortOnDemand()) {
    ResetRecorderButtons();
    return;
  }
  if (SetUpCancelled(setUp)) return;  // stopped while caller ID was being switched on
  ShowPortMarks(true);

  if (const auto error = PrepareWavFolder()) {
    ResetRecorderButtons();
    ShowMessage(*error);
    return;
  }

  if (!SetUpModem(setUp)) return;
  if (!StartVoiceReception()) {
    ResetRecorderButtons();
    ShowMessage(QStringLiteral("Error starting voice reception.."));
  }
}

bool TRecorder::StartVoiceReception() {
  if (link_.ComPort1.OutputSpace() < kVoiceReceiveCommand.size()) return false;
  try {
    link_.ComPort1.SendString(kVoiceReceiveCommand);
  } catch (const ESerialException&) {
    return false;
  }
  // A reception while Record is pressed is a recording that Stop saves; the developer's
  // "Voice receive" otherwise is not.
  const bool recording = ShowsPressed(state_);
  ReceptionBegun(recording ? TRecordState::kReceiving : TRecordState::kVoiceReceive);
  // Only a recording that Stop would save is journaled; "Voice receive" is not.
  if (recording) {
    StartJournal();
  } else {
    Journal.Leave();
  }
  if (OnReceptionStarted) OnReceptionStarted(recording);
  return true;
}

void TRecorder::ReceptionBegun(TRecordState receiving) {
  link_.RecordedBytes = 0;
  link_.BlockCount = 0;
  stream_.Clear();
  stream_.SetPosition(kWavHeaderSize);
  ++receptions_;
  pendingName_.clear();
  Enter(receiving);
}

void TRecorder::StartJournal() {
  QString error;
  if (const auto failed = PrepareWavFolder()) {
    ReportJournalFailure(*failed);
  } else if (!Journal.Start(ProfileSamplingRate(), &error)) {
    ReportJournalFailure(error);
  }
}

void TRecorder::ReportJournalFailure(const QString& error) {
  // The recording goes on in memory; the user learns that a crash would now lose it.
  link_.Monitor->Add(QStringLiteral("Recording journal failed: ") + error);
}

void TRecorder::TakeSamples(QByteArrayView samples) {
  // A failure is told through the journal's OnFailed.
  if (Journal.Active()) Journal.Append(samples);
}

void TRecorder::LimitReached() {
  EndReception();
  // The receive handler is still running: the stop (which closes the port) comes after.
  QTimer::singleShot(0, c_.RecSb1, [this] {
    if (state_ != TRecordState::kStoppedUnsaved) return;
    StopRecordingOrPlayback();
    ShowMessage(QStringLiteral(
        "The recording has reached the largest size a WAV file can hold; it was stopped and "
        "saved."));
  });
}

void TRecorder::LineEnded(TLineEnd end) {
  // The bytes keep coming into the recording until the stop, which closes the port.
  QTimer::singleShot(0, c_.RecSb1, [this, end, reception = receptions_] {
    if (reception != receptions_ || state_ != TRecordState::kReceiving) {
      return;  // stopped meanwhile, or another recording
    }
    link_.Monitor->Add(QStringLiteral("Call ended (") + LineEndText(end) +
                       QStringLiteral("): recording stopped"));
    StopRecordingOrPlayback();
  });
}

void TRecorder::WriteWavHeader() {
  WriteWavHeaderFields(stream_, static_cast<uint32_t>(link_.RecordedBytes),
                       static_cast<uint32_t>(link_.RecordedBytes), ProfileSamplingRate());
}

void TRecorder::Button3Click() {
  stream_.Clear();
  link_.RecordedBytes = 0;
  WriteWavHeaderFields(stream_, 0, kSineCreateDataLength, ProfileSamplingRate());
}

void TRecorder::StopRecordingOrPlayback() {
  if (state_ == TRecordState::kSettingUp) {
    // Stop while the modem is still being set up: nothing has been recorded yet.
    ResetRecorderButtons();
  } else if (HoldsUnsavedRecording()) {
    if (const auto error = StopAndSave()) ShowMessage(*error);
  }
  playback_.StopPlayback();
  if (!Voicefeatures) {
    c_.RecSb1->setEnabled(false);
    c_.Record1->setEnabled(false);
  }
}

bool TRecorder::HoldsUnsavedRecording() const {
  return state_ == TRecordState::kReceiving || state_ == TRecordState::kStoppedUnsaved;
}

std::optional<QString> TRecorder::StopAndSave() {
  // Bytes that arrive from here on (the port's close delivers what is pending) are not
  // part of the recording: they would land on the samples after the header.
  Enter(TRecordState::kSaving);
  WriteWavHeader();
  ClosePort();
  scope_.ClearScope();
  if (auto error = SaveRecording()) {
    // No call row without its file. The samples stay in the voice stream and the
    // recorder stays stopped-but-unsaved, so Stop saves them once the cause is fixed.
    Enter(TRecordState::kStoppedUnsaved);
    return error;
  }
  Enter(TRecordState::kIdle, TIdleCause::kSaved);
  return std::nullopt;
}

// Each step is on disk before the next, so that a cut at any instant leaves the call
// once: the journal named after the call, the WAV file, the call in the list, and only
// then the journal gone. A recovery that finds the journal and the WAV file of its name
// knows the call was saved.
std::optional<QString> TRecorder::SaveRecording() {
  if (pendingName_.isEmpty()) pendingName_ = calls_.NewFileName();
  QString error;
  if (!Journal.Name(pendingName_, &error)) ReportJournalFailure(error);
  if (auto failed = SaveCallWav(pendingName_, stream_.Data())) return failed;
  const QString name = std::exchange(pendingName_, QString());
  if (calls_.AddCallRecord(name)) {
    Journal.Discard();
  } else {
    Journal.KeepSaved();  // until the list with its call is on disk
  }
  return std::nullopt;
}

void TRecorder::CallListStored() {
  Journal.DiscardSaved();
}

QString TRecorder::SaveAtShutdown() {
  if (state_ == TRecordState::kSettingUp) ResetRecorderButtons();  // nothing recorded yet
  if (!HoldsUnsavedRecording()) return QString();
  const QString duration =
      DurationText(stream_.Size(), static_cast<int32_t>(ProfileSamplingRate()));
  const std::optional<QString> error = StopAndSave();
  if (!error) {
    return QStringLiteral("Recording in progress saved at shutdown (%1)").arg(duration);
  }
  const QString kept = Journal.Leave();
  QString line = QStringLiteral("Recording in progress could not be saved at shutdown: ") + *error;
  if (!kept.isEmpty()) {
    line += QStringLiteral("; its sound is kept in %1 for the next start").arg(kept);
  }
  return line;
}

void TRecorder::KeepCutOff() {
  pendingName_.clear();
  const QString kept = Journal.Leave();
  const QString text =
      kept.isEmpty() ? QStringLiteral("The recording was not saved.")
                     : QStringLiteral(
                           "The recording was not saved. Its sound is kept in %1 and is added "
                           "to the call list at the next start.")
                           .arg(kept);
  link_.Monitor->Add(text);
  ShowMessage(text);
}

// Runs inside the port's loss event, after its close event: the port is closed.
void TRecorder::PortLost() {
  ShowPortMarks(false);
  // A set-up in progress fails on its own: its exchange ends now with "not sent".
  if (state_ == TRecordState::kVoiceReceive) Enter(TRecordState::kIdle, TIdleCause::kEnded);
  if (state_ == TRecordState::kReceiving) {
    StopRecordingOrPlayback();
    // Stop keeps Record pressed when the file could not be saved (and has said why).
    if (state_ == TRecordState::kIdle) {
      ShowMessage(
          QStringLiteral("The modem was disconnected. The recording so far has been saved."));
    }
  }
  if (OnModemLost) OnModemLost();
}

void TRecorder::On1Click() {
  if (link_.PortIsOpen) return;
  if (!OpenPortOnDemand()) {
    c_.RecSb1->setEnabled(false);
    return;
  }
  ShowPortMarks(true);
}

void TRecorder::Off1Click() {
  ClosePort();
  // A recording cut off this way is not saved; its journal stays for the next start.
  const bool unsaved = HoldsUnsavedRecording();
  ShowPortMarks(false);
  // Bytes heard once the port is open again are no part of it (nor samples at all).
  Enter(TRecordState::kIdle, TIdleCause::kCutOff);
  if (unsaved) KeepCutOff();
}

void TRecorder::VoiceRecBtnClick() {
  if (!OpenPortOnDemand()) {
    c_.RecSb1->setEnabled(false);
    return;
  }
  ShowPortMarks(true);
  EndReception();  // the set-up's answers are no samples
  const TModemParams& p = CurrentProfile;
  if (Exchange(p.VoiceMode, QStringLiteral("Setting modem in voice mode.."),
               QStringLiteral("OK")) != kExchangeOk) {
    return;
  }
  if (Exchange(p.UseLine, QStringLiteral("Voice line set.."), p.UseLineRes) != kExchangeOk) return;
  StartVoiceReception();
}

void TRecorder::ClosePortBtnClick() {
  ClosePort();
  const bool unsaved = HoldsUnsavedRecording();
  scope_.ClearScope();
  Enter(TRecordState::kIdle, TIdleCause::kCutOff);
  if (const auto error = SaveCallWav(*calls_.CurrentFileName, stream_.Data())) {
    ShowMessage(*error);
  }
  if (unsaved) KeepCutOff();
}
