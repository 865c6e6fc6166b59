#pragma once
// The voice side of the modem link's receive handler: while a recording is active every
// received byte is a sample. It is counted, converted when the modem sends signed PCM,
// appended to the voice stream and gathered into display blocks for the scope.
#include <QByteArrayView>
#include <cstdint>
#include <functional>

#include "calls/HangUpDetector.h"
#include "recording/CommandEcho.h"
#include "sound/WavFormat.h"

class TModemF;
class TScope;
class TVoiceStream;

class TVoiceReceiver {
 public:
  // recordingActive: received bytes are samples now; blockSize: the current
  // samples-per-update value (SpinEdit1).
  TVoiceReceiver(TModemF& link, TVoiceStream& stream, TScope& scope,
                 std::function<bool()> recordingActive, std::function<int32_t()> blockSize);

  ~TVoiceReceiver();
  TVoiceReceiver(const TVoiceReceiver&) = delete;
  TVoiceReceiver& operator=(const TVoiceReceiver&) = delete;

  // Installs OnVoiceData on the link; the destructor takes it away again.
  void Attach();
  // Takes the bytes the text side has just put into ReceivedText; false when they are
  // no samples (no recording is active).
  bool OnVoiceData(uint16_t count);
  // A reception began with `command`: its echo, when the modem sends one, is no sound.
  void ReceptionStarted(QByteArray command) { echo_.Expect(std::move(command)); }

  // From the next chunk on, the bytes are watched for the end of the call (they are
  // stored all the same); OnLineEnded runs once, inside the receive handler.
  void WatchForHangUp(int64_t silentSamples);
  void StopWatching() { watching_ = false; }
  std::function<void(TLineEnd end)> OnLineEnded;

  static uint8_t FromSigned(uint8_t b) { return static_cast<uint8_t>(b ^ 0x80); }

  // The samples of each chunk as they went into the stream (the recording's journal).
  std::function<void(QByteArrayView samples)> OnSamples;
  // The recording has reached MaxSamples: the bytes beyond it were not taken and no
  // more are until the next recording. Runs inside the receive handler.
  std::function<void()> OnLimitReached;
  // The most sample bytes a recording may hold: what a WAV file can describe.
  int64_t MaxSamples = kMaxWavDataLength;

 private:
  void DrawBlock();

  TModemF& link_;
  TVoiceStream& stream_;
  TScope& scope_;
  std::function<bool()> recordingActive_;
  std::function<int32_t()> blockSize_;
  bool attached_ = false;
  bool watching_ = false;
  THangUpDetector hangUp_;
  TCommandEcho echo_;
};
