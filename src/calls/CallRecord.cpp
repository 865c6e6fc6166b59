#include "calls/CallRecord.h"

#include <array>

#include "setup/Text8Bit.h"

namespace {
struct Field {
  qsizetype offset;  // of the length byte
  qsizetype capacity;
  QString TCallRecord::*member;
};

constexpr qsizetype kReservedOffset = 11;

const std::array<Field, 5> kFields = {{
    {0, kFileNameCapacity, &TCallRecord::FileName},
    {12, kDateCapacity, &TCallRecord::Date},
    {25, kTimeCapacity, &TCallRecord::Time},
    {38, kDurationCapacity, &TCallRecord::Duration},
    {49, kMemoCapacity, &TCallRecord::Memo},
}};

uint8_t LengthByte(QByteArrayView image, const Field& f) {
  return static_cast<uint8_t>(image[f.offset]);
}

QString ReadField(QByteArrayView image, const Field& f) {
  const qsizetype n = std::min<qsizetype>(LengthByte(image, f), f.capacity);
  return DecodeStoredField(image.sliced(f.offset + 1, n), f.capacity);
}
}  // namespace

TCallRecord DecodeCallRecord(QByteArrayView image) {
  TCallRecord r;
  if (image.size() != kCallRecordSize) {
    return r;
  }
  for (const Field& f : kFields) {
    r.*(f.member) = ReadField(image, f);
  }
  r.Reserved = static_cast<uint8_t>(image[kReservedOffset]);
  r.Image = image.toByteArray();
  return r;
}

QByteArray EncodeCallRecord(const TCallRecord& record) {
  const bool hasImage = record.Image.size() == kCallRecordSize;
  QByteArray image = hasImage ? record.Image : QByteArray(kCallRecordSize, '\0');
  for (const Field& f : kFields) {
    const QString& text = record.*(f.member);
    if (hasImage && ReadField(image, f) == text) {
      // Unchanged: its bytes stay. A length beyond the field (a damaged record) is cut
      // to what was read, so the text reads back the same after a save.
      if (LengthByte(image, f) > f.capacity) {
        image[f.offset] = static_cast<char>(f.capacity);
      }
      continue;
    }
    const QByteArray bytes = EncodeStoredText(text, f.capacity);
    image[f.offset] = static_cast<char>(bytes.size());
    for (qsizetype i = 0; i < f.capacity; ++i) {
      image[f.offset + 1 + i] = i < bytes.size() ? bytes[i] : '\0';
    }
  }
  image[kReservedOffset] = static_cast<char>(record.Reserved);
  return image;
}

QString CutToField(const QString& text, qsizetype capacity) {
  return DecodeStoredText(EncodeStoredText(text, capacity));
}
