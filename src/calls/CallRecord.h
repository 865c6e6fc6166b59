#pragma once
// One call record and its 305-byte image in Calls.dbt: five length-prefixed texts and one
// reserved byte, no header. Texts are stored as UTF-8 (old files written on a Windows
// code page are read as Windows-1252).
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>

inline constexpr qsizetype kCallRecordSize = 305;

// Capacities of the text fields, in bytes.
inline constexpr qsizetype kFileNameCapacity = 10;
inline constexpr qsizetype kDateCapacity = 12;
inline constexpr qsizetype kTimeCapacity = 12;
inline constexpr qsizetype kDurationCapacity = 10;
inline constexpr qsizetype kMemoCapacity = 255;

struct TCallRecord {
  QString FileName;  // base name of the WAV file in the folder "wav"
  QString Date;
  QString Time;
  QString Duration;  // minutes ":" seconds, no leading zeros
  QString Memo;
  uint8_t Reserved = 0;
  // The image the record was read from (empty for a new record). Fields that did not
  // change are written back byte for byte, so an old file survives a run unchanged.
  QByteArray Image;
};

// `image` must be kCallRecordSize bytes. A length byte above its field's capacity is cut
// to the capacity; nothing is read past a field.
TCallRecord DecodeCallRecord(QByteArrayView image);
QByteArray EncodeCallRecord(const TCallRecord& record);

// `text` as it will be stored in a field of `capacity` bytes: cut without splitting a
// character.
QString CutToField(const QString& text, qsizetype capacity);
