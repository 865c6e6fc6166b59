#pragma once
// The record side of the recorder: Record puts the modem into voice mode with the
// profile's commands and starts voice reception; Stop writes the WAV file and adds the
// call; Modem On and Off open and close the port by hand; two developer controls.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

#include "calls/HangUpDetector.h"
#include "recording/RecorderControls.h"
#include "recording/RecordingJournal.h"

class TModemF;
class TPlayback;
class TScope;
class TVoiceStream;

// The samples per second of the modem's profile; the usual rate where it has none.
uint32_t ProfileSamplingRate();

// The command that starts voice reception; every byte after it is the recording.
inline const QByteArray kVoiceReceiveCommand = QByteArrayLiteral("at+vrx\r");

// What the record side is doing. The recorder's buttons and menu items show it; they
// never hold it. Every change goes through TRecorder::Enter:
//   Idle           -> SettingUp       Record
//   SettingUp      -> Receiving       the set-up was answered and "at+vrx" went out
//   SettingUp      -> Idle            a set-up step failed; Stop, Modem Off, Close port
//   Idle           -> VoiceReceive    the developer's "Voice receive"
//   Receiving      -> Saving          Stop (by hand, at a hang-up, at the WAV limit, or
//   StoppedUnsaved -> Saving            when the modem went away)
// Record looks pressed in SettingUp, Receiving, StoppedUnsaved and Saving.
//   Saving         -> Idle            the file is written and the call added
//   Saving         -> StoppedUnsaved  the file could not be written
//   Receiving      -> StoppedUnsaved  the reception ended without a Stop (WAV limit, Settings)
//   Receiving, StoppedUnsaved, VoiceReceive -> Idle   Modem Off, Close port (a recording's
//                                     journal is kept for the next start)
//   VoiceReceive   -> Idle            the reception ended (the port closed or went away)
// The shutdown saves a recording (Receiving, StoppedUnsaved) as Stop does.
enum class TRecordState {
  kIdle,
  kSettingUp,       // Record's set-up exchanges are under way
  kReceiving,       // a recording: the modem streams samples that Stop saves
  kVoiceReceive,    // the developer's "Voice receive": samples that Stop does not save
  kStoppedUnsaved,  // the samples are in the voice stream, not yet in a file; Stop saves them
  kSaving,          // Stop is writing the file and adding the call
};

// How Idle was reached: each way leaves the other controls its own way.
enum class TIdleCause {
  kReset,    // a set-up failed or was stopped: ResetRecorderButtons
  kSaved,    // Stop saved the recording
  kCutOff,   // Modem Off or Close port ended it unsaved
  kEnded,    // a developer reception ended; no control changes
};

class TRecorder {
 public:
  // Takes the link's loss event (OnPortLost) until destroyed.
  TRecorder(const TRecorderControls& controls, const TCallListHooks& calls, TModemF& link,
            TVoiceStream& stream, TScope& scope, TPlayback& playback);
  ~TRecorder();
  TRecorder(const TRecorder&) = delete;
  TRecorder& operator=(const TRecorder&) = delete;

  TRecordState State() const { return state_; }
  // Received bytes are voice samples (the main window's RecordingActive).
  bool RecordingActive() const {
    return state_ == TRecordState::kReceiving || state_ == TRecordState::kVoiceReceive;
  }
  // The modem is busy with the recorder: no other dialogue may run meanwhile.
  bool UsesModem() const;
  // The port closed under a reception (Settings, shutdown): the bytes that come once it is
  // open again are no samples. A recording keeps its samples for Stop to save.
  void EndReception();

  void StartRecording();
  void ResetRecorderButtons();
  bool StartVoiceReception();
  void StopRecordingOrPlayback();
  void On1Click();
  void Off1Click();
  void VoiceRecBtnClick();
  void ClosePortBtnClick();
  void WriteWavHeader();
  void Button3Click();  // "Sine create"
  // The modem went away and the port has closed: a recording is saved as by Stop.
  void PortLost();
  // The program ends: a recording in progress is saved as by Stop. The line for the
  // monitor saying what became of it; empty when there was none.
  QString SaveAtShutdown();
  // The call list is on disk: the journals of recordings saved since go.
  void CallListStored();

  // The samples of each received chunk, as the voice stream took them.
  void TakeSamples(QByteArrayView samples);
  // The recording holds as much as a WAV file can: it is stopped and saved.
  void LimitReached();
  // The call has ended (the far end hung up): the recording is stopped and saved, and
  // the monitor says why. Runs inside the receive handler; the stop comes after it.
  void LineEnded(TLineEnd end);

  // Voice reception has begun; recording: it is a recording that Stop saves (not the
  // developer's "Voice receive").
  std::function<void(bool recording)> OnReceptionStarted;
  // After every change of the state; cause tells how Idle was reached.
  std::function<void(TRecordState from, TRecordState to, TIdleCause cause)> OnStateChanged;
  // The modem went away (after what that did to a recording).
  std::function<void()> OnModemLost;

  // Opens the port when it is closed and then, while caller ID is in use, switches it on
  // (a modem that resets when the port closes has forgotten it). False when the port did
  // not open; the user is told why.
  bool OpenPortOnDemand();
  // The same, telling no one: false with the reason in *failure.
  bool OpenPort(QString* failure);
  // Modem On and Off show whether the port is open.
  void ShowPortMarks(bool open);

  // The journal of the recording in progress, from its reception to Stop, Modem Off or
  // Close port.
  TRecordingJournal Journal;

 private:
  void ClosePort();
  int Exchange(const QString& command, const QString& line, const QString& expected);
  bool SetUpModem(uint64_t setUp);
  bool SetUpCancelled(uint64_t setUp) const;
  void StartJournal();
  void ReportJournalFailure(const QString& error);
  // Stop's part once the reception has ended; the message for the user when the
  // recording could not be saved (it then waits, StoppedUnsaved, for another Stop).
  std::optional<QString> StopAndSave();
  std::optional<QString> SaveRecording();
  // Receiving or StoppedUnsaved: samples that no file holds yet.
  bool HoldsUnsavedRecording() const;
  // Modem Off or Close port cut a recording off unsaved: its journal stays for the next
  // start, and the user is told.
  void KeepCutOff();
  // The one way the state changes: sets it and the controls that show it, then tells
  // OnStateChanged.
  void Enter(TRecordState next, TIdleCause cause = TIdleCause::kReset);
  void ShowState(TRecordState next, TIdleCause cause);  // Enter's first half
  // The reception has begun: counters and stream cleared, the state entered.
  void ReceptionBegun(TRecordState receiving);

  // Tests put the recorder into a reception without a modem.
  friend struct RecorderRig;

  const TRecorderControls& c_;
  const TCallListHooks& calls_;
  TModemF& link_;
  TVoiceStream& stream_;
  TScope& scope_;
  TPlayback& playback_;
  TRecordState state_ = TRecordState::kIdle;
  // The set-up sequence running while SettingUp. Its exchanges pump the event loop, so
  // Stop, Modem Off or another Record can run in the middle of it: each set-up knows
  // itself by its number.
  uint64_t setUp_ = 0;
  uint64_t receptions_ = 0;  // receptions begun, so that a late stop knows its own
  // The file name a Stop chose for the recording; kept when its save failed, so that
  // the next Stop saves it under the name its journal carries.
  QString pendingName_;
};
