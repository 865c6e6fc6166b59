#pragma once
// The record side of the recorder: Record puts the modem into voice mode with the
// profile's commands and starts voice reception; Stop writes the WAV file and adds the
// call; Modem On and Off open and close the port by hand; two developer controls.
#include <QString>
#include <cstdint>
#include <functional>

#include "calls/HangUpDetector.h"
#include "recording/RecorderControls.h"
#include "recording/RecordingJournal.h"

class TModemF;
class TPlayback;
class TScope;
class TVoiceStream;

// The samples per second of the modem's profile; the usual rate where it has none.
uint32_t ProfileSamplingRate();

// What the record side is doing, for commands that must not talk to the modem meanwhile.
enum class TRecordState {
  kIdle,
  kSettingUp,  // the set-up's exchanges are under way
  kReceiving,  // the modem streams samples (a recording, or the developer reception)
};

class TRecorder {
 public:
  // Takes the link's loss event (OnPortLost) until destroyed.
  TRecorder(const TRecorderControls& controls, const TCallListHooks& calls, TModemF& link,
            TVoiceStream& stream, TScope& scope, TPlayback& playback, bool& recordingActive);
  ~TRecorder();
  TRecorder(const TRecorder&) = delete;
  TRecorder& operator=(const TRecorder&) = delete;

  TRecordState State() const;

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

  // The journal of the recording in progress, from its reception to Stop, Modem Off or
  // Close port.
  TRecordingJournal Journal;

 private:
  bool OpenPortOnDemand();
  void ClosePort();
  int Exchange(const QString& command, const QString& line, const QString& expected);
  bool SetUpModem(uint64_t setUp);
  bool SetUpCancelled(uint64_t setUp) const;
  void StartJournal();
  void ReportJournalFailure(const QString& error);

  const TRecorderControls& c_;
  const TCallListHooks& calls_;
  TModemF& link_;
  TVoiceStream& stream_;
  TScope& scope_;
  TPlayback& playback_;
  bool& recordingActive_;
  // The set-up sequence in progress (0: none). Its exchanges pump the event loop, so
  // Stop, Modem Off or another Record can run in the middle of it.
  uint64_t activeSetUp_ = 0;
  uint64_t lastSetUp_ = 0;
  uint64_t receptions_ = 0;  // receptions begun, so that a late stop knows its own
};
