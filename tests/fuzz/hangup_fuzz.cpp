// The end of a call in the bytes of a voice reception, whatever the bytes and however
// the port cut them.
#include <algorithm>
#include <cstdint>

#include "FuzzCheck.h"
#include "calls/HangUpDetector.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int64_t silent = 1 + data[0];
  const bool isSigned = data[1] & 1;
  const int piece = 1 + (data[1] >> 1);
  const QByteArrayView bytes(reinterpret_cast<const char*>(data) + 2,
                             static_cast<qsizetype>(size) - 2);
  THangUpDetector whole;
  whole.Start(silent, isSigned);
  whole.Feed(bytes);
  THangUpDetector cut;
  cut.Start(silent, isSigned);
  for (qsizetype at = 0; at < bytes.size(); at += piece) {
    cut.Feed(bytes.sliced(at, std::min<qsizetype>(piece, bytes.size() - at)));
  }
  Check(whole.Found() == cut.Found());
  Check(whole.FoundAfter() == cut.FoundAfter());
  Check((whole.Found() == TLineEnd::kNone) == (whole.FoundAfter() == 0));
  Check(whole.FoundAfter() <= bytes.size());
  // Silence needs that many samples at least.
  if (whole.Found() == TLineEnd::kSilence) Check(whole.FoundAfter() >= silent);
  return 0;
}
