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
#include <QByteArray>
#include <QByteArrayView>
#include <cstdint>
#include <optional>

inline constexpr const char* kJournalExtension = ".journal";
inline constexpr qsizetype kJournalHeaderSize = 32;

struct TJournalHeader {
  uint32_t SamplesPerSecond = 0;
  int64_t StartMsUtc = 0;
  uint64_t Identity = 0;
};

QByteArray EncodeJournalHeader(const TJournalHeader& header);
// Nothing when the bytes are not a complete header of this format.
std::optional<TJournalHeader> DecodeJournalHeader(QByteArrayView bytes);
