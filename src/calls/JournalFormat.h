#pragma once
// The layout of a recording journal, shared by the recorder that writes it and the
// recovery that reads what a run left behind.
//
// File layout (little-endian): the header below, then the samples exactly as the voice
// stream holds them after the header (signed samples already converted).
//   0  4  "TVRJ"
//   4  2  format version (1)
//   6  2  header size (32)
//   8  4  samples per second
//  12  8  start of the recording, milliseconds since 1970-01-01 UTC
//  20  8  random identity of the recording (the recovered file's name comes from it)
//  28  4  zero
//
// Names, in the folder "wav": a journal is made as "<identity>.journal.part" (its
// identity in 16 hex digits), locked, given its header and only then renamed to
// "<identity>.journal", so that a recovery never finds it unlocked. When Stop has chosen
// the call's file name, the journal is renamed to "<NAME>.journal" before the WAV file
// is written: a recovery that finds it knows the name the call was saved under.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <optional>

inline constexpr const char* kJournalExtension = ".journal";
inline constexpr const char* kJournalPartExtension = ".journal.part";
// Added to the name of a journal that cannot be read, which is then left alone.
inline constexpr const char* kUnreadableExtension = ".unreadable";
inline constexpr qsizetype kJournalHeaderSize = 32;

struct TJournalHeader {
  uint32_t SamplesPerSecond = 0;
  int64_t StartMsUtc = 0;
  uint64_t Identity = 0;
};

QByteArray EncodeJournalHeader(const TJournalHeader& header);
// Nothing when the bytes are not a complete header of this format.
std::optional<TJournalHeader> DecodeJournalHeader(QByteArrayView bytes);

// The base name of a journal whose recording has no call name yet.
QString JournalIdentityName(uint64_t identity);
// "wav/<baseName>.journal" and "wav/<baseName>.journal.part".
QString JournalPath(const QString& baseName);
QString JournalPartPath(const QString& baseName);
