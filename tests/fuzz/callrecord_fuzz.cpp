// Call records: any 305 bytes decode without reading outside their fields, and the
// codec is the identity both ways on valid records.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "FuzzCheck.h"

#include "calls/CallRecord.h"

namespace {

qsizetype Capacity(int field) {
  constexpr qsizetype caps[] = {kFileNameCapacity, kDateCapacity, kTimeCapacity, kDurationCapacity,
                                kMemoCapacity};
  return caps[field];
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  if (bytes.size() >= kCallRecordSize) {
    const QByteArray image = bytes.first(kCallRecordSize);
    const TCallRecord r = DecodeCallRecord(image);
    const QByteArray again = EncodeCallRecord(r);
    Check(again.size() == kCallRecordSize);
    const TCallRecord back = DecodeCallRecord(again);
    Check(back.FileName == r.FileName && back.Date == r.Date && back.Time == r.Time &&
          back.Duration == r.Duration && back.Memo == r.Memo && back.Reserved == r.Reserved);
    // A record whose length bytes fit its fields comes back byte for byte.
    constexpr qsizetype offsets[] = {0, 12, 25, 38, 49};
    bool valid = true;
    for (int f = 0; f < 5; ++f) valid = valid && uint8_t(image[offsets[f]]) <= Capacity(f);
    if (valid) Check(again == image);
  }
  // A new record made of texts from the input: decode of encode gives the cut texts.
  TCallRecord made;
  QString* fields[] = {&made.FileName, &made.Date, &made.Time, &made.Duration, &made.Memo};
  const QString text = QString::fromUtf8(bytes);
  const qsizetype part = text.size() / 5 + 1;
  for (int f = 0; f < 5; ++f) *fields[f] = text.mid(f * part, part);
  made.Reserved = size > 0 ? data[0] : 0;
  const TCallRecord decoded = DecodeCallRecord(EncodeCallRecord(made));
  const QString* decodedFields[] = {&decoded.FileName, &decoded.Date, &decoded.Time,
                                    &decoded.Duration, &decoded.Memo};
  for (int f = 0; f < 5; ++f) Check(*decodedFields[f] == CutToField(*fields[f], Capacity(f)));
  Check(decoded.Reserved == made.Reserved);
  return 0;
}
