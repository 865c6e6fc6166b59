#include "setup/Text8Bit.h"

#include <QStringDecoder>
#include <QTextBoundaryFinder>
#include <array>

namespace {
// Windows-1252 at 0x80..0x9F; the five unassigned bytes map to the C1 controls, as the
// system's own conversion does. Everything else is the same as Latin-1.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// The length of `bytes` without an unfinished UTF-8 sequence at its end.
qsizetype WithoutCutEnd(QByteArrayView bytes) {
  constexpr qsizetype kLongest = 4;
  qsizetype lead = bytes.size() - 1;
  while (lead >= 0 && bytes.size() - lead < kLongest &&
         (static_cast<unsigned char>(bytes[lead]) & 0xC0) == 0x80) {
    --lead;
  }
  if (lead < 0) return bytes.size();
  const auto b = static_cast<unsigned char>(bytes[lead]);
  const qsizetype length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
  return lead + length > bytes.size() ? lead : bytes.size();
}

QString DecodeCp1252(QByteArrayView bytes) {
  QString out;
  out.reserve(bytes.size());
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    out.append(b >= 0x80 && b < 0xA0 ? QChar(kCp1252High[b - 0x80]) : QChar(b));
  }
  return out;
}
}  // namespace

QString DecodeStoredText(QByteArrayView bytes) {
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = utf8(bytes);
  if (!utf8.hasError()) {
    return text;
  }
  return DecodeCp1252(bytes);
}

QString DecodeStoredField(QByteArrayView bytes, qsizetype capacity) {
  if (bytes.size() == capacity) {
    const qsizetype whole = WithoutCutEnd(bytes);
    if (whole < bytes.size()) {
      QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
      QString text = utf8(bytes.first(whole));
      if (!utf8.hasError()) {
        return text;
      }
    }
  }
  return DecodeStoredText(bytes);
}

QByteArray EncodeStoredText(const QString& text, qsizetype capacity) {
  QByteArray bytes = text.toUtf8();
  if (bytes.size() <= capacity) {
    return bytes;
  }
  // The longest run of whole characters (grapheme clusters) that fits.
  QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, text);
  qsizetype kept = 0;
  qsizetype used = 0;
  for (qsizetype end = characters.toNextBoundary(); end > 0; end = characters.toNextBoundary()) {
    used += text.mid(kept, end - kept).toUtf8().size();
    if (used > capacity) {
      break;
    }
    kept = end;
  }
  return text.left(kept).toUtf8();
}
