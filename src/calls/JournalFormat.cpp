#include "calls/JournalFormat.h"

#include <QDir>
#include <QtEndian>
#include <cstring>

#include "sound/RecordingFiles.h"

namespace {
constexpr char kMagic[4] = {'T', 'V', 'R', 'J'};
constexpr uint16_t kVersion = 1;
}  // namespace

QByteArray EncodeJournalHeader(const TJournalHeader& h) {
  QByteArray b(kJournalHeaderSize, '\0');
  char* p = b.data();
  std::memcpy(p, kMagic, sizeof kMagic);
  qToLittleEndian<uint16_t>(kVersion, p + 4);
  qToLittleEndian<uint16_t>(static_cast<uint16_t>(kJournalHeaderSize), p + 6);
  qToLittleEndian<uint32_t>(h.SamplesPerSecond, p + 8);
  qToLittleEndian<int64_t>(h.StartMsUtc, p + 12);
  qToLittleEndian<uint64_t>(h.Identity, p + 20);
  return b;
}

std::optional<TJournalHeader> DecodeJournalHeader(QByteArrayView bytes) {
  if (bytes.size() < kJournalHeaderSize) return std::nullopt;
  const char* p = bytes.data();
  if (std::memcmp(p, kMagic, sizeof kMagic) != 0 ||
      qFromLittleEndian<uint16_t>(p + 4) != kVersion ||
      qFromLittleEndian<uint16_t>(p + 6) != kJournalHeaderSize) {
    return std::nullopt;
  }
  TJournalHeader h;
  h.SamplesPerSecond = qFromLittleEndian<uint32_t>(p + 8);
  h.StartMsUtc = qFromLittleEndian<int64_t>(p + 12);
  h.Identity = qFromLittleEndian<uint64_t>(p + 20);
  return h;
}

QString JournalIdentityName(uint64_t identity) {
  return QString::number(identity, 16).rightJustified(16, QLatin1Char('0'));
}

QString JournalPath(const QString& baseName) {
  return QString::fromLatin1(kWavFolder) + QDir::separator() + baseName +
         QString::fromLatin1(kJournalExtension);
}

QString JournalPartPath(const QString& baseName) {
  return QString::fromLatin1(kWavFolder) + QDir::separator() + baseName +
         QString::fromLatin1(kJournalPartExtension);
}
