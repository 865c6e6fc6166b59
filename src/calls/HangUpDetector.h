#pragma once
// Tells from the bytes of a voice reception that the call has ended. The modem reports
// line events inside the sample stream as <DLE> and a letter, and a data byte 0x10 as
// <DLE><DLE>; a pair may be cut between two chunks. Ends found:
//   <DLE>b busy tone, <DLE>d dial tone, <DLE>l loop current break (the far end is gone),
//   <DLE><ETX> the modem ended the reception itself,
//   and a stretch of samples near the zero level: many modems never report silence, and
//   after a hang-up some lines carry nothing at all.
// Other codes (silence, handset, tones) are neither samples nor ends. The bytes stored
// are not changed: this only watches.
#include <QByteArrayView>
#include <cstdint>

enum class TLineEnd {
  kNone,
  kBusyTone,
  kDialTone,
  kLoopBreak,
  kStreamEnd,
  kSilence,
};

class THangUpDetector {
 public:
  // A sample is silent when it lies this close to the zero level, after conversion.
  static constexpr int kSilentSpread = 2;
  static constexpr int kZeroLevel = 128;

  // Watches a new reception: silence after silentSamples silent samples in a row (at
  // least 1); signedSamples: the samples are converted by inverting the top bit.
  void Start(int64_t silentSamples, bool signedSamples);
  // The next bytes as received. Returns the end, once one has been found (the first one
  // stays), else kNone.
  TLineEnd Feed(QByteArrayView bytes);

  TLineEnd Found() const { return found_; }
  // How many bytes had been fed when the end was found (the byte that completed it
  // included).
  int64_t FoundAfter() const { return foundAfter_; }

 private:
  void TakeSample(uint8_t b);
  void TakeCode(char code);

  int64_t silentSamples_ = 1;
  bool signed_ = false;
  bool dle_ = false;
  int64_t silentRun_ = 0;
  int64_t fed_ = 0;
  int64_t foundAfter_ = 0;
  TLineEnd found_ = TLineEnd::kNone;
};
