#include "calls/HangUpDetector.h"

#include <algorithm>
#include <cstdlib>

namespace {
constexpr char kDle = 0x10;
constexpr char kEtx = 0x03;
}  // namespace

void THangUpDetector::Start(int64_t silentSamples, bool signedSamples) {
  *this = THangUpDetector{};
  silentSamples_ = std::max<int64_t>(1, silentSamples);
  signed_ = signedSamples;
}

TLineEnd THangUpDetector::Feed(QByteArrayView bytes) {
  for (const char c : bytes) {
    if (found_ != TLineEnd::kNone) break;
    ++fed_;
    if (dle_) {
      dle_ = false;
      if (c == kDle) {
        TakeSample(static_cast<uint8_t>(c));
      } else {
        TakeCode(c);
      }
    } else if (c == kDle) {
      dle_ = true;
    } else {
      TakeSample(static_cast<uint8_t>(c));
    }
    if (found_ != TLineEnd::kNone) foundAfter_ = fed_;
  }
  return found_;
}

void THangUpDetector::TakeSample(uint8_t b) {
  const int level = signed_ ? (b ^ 0x80) : b;
  if (std::abs(level - kZeroLevel) > kSilentSpread) {
    silentRun_ = 0;
    return;
  }
  if (++silentRun_ >= silentSamples_) found_ = TLineEnd::kSilence;
}

void THangUpDetector::TakeCode(char code) {
  switch (code) {
    case 'b':
      found_ = TLineEnd::kBusyTone;
      break;
    case 'd':
      found_ = TLineEnd::kDialTone;
      break;
    case 'l':
      found_ = TLineEnd::kLoopBreak;
      break;
    case kEtx:
      found_ = TLineEnd::kStreamEnd;
      break;
    default:
      break;  // an event that does not end the call
  }
}
