#include "setup/Text8Bit.h"

#include <QStringDecoder>
#include <array>

namespace {
// Windows-1252 at 0x80..0x9F; the five unassigned bytes map to the C1 controls, as the
// system's own conversion does. Everything else is the same as Latin-1.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

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

QByteArray EncodeStoredText(const QString& text, qsizetype capacity) {
  QByteArray bytes = text.toUtf8();
  if (bytes.size() <= capacity) {
    return bytes;
  }
  qsizetype cut = capacity;
  // Step back over continuation bytes (10xxxxxx) to the start of the character that
  // does not fit.
  while (cut > 0 && (static_cast<unsigned char>(bytes[cut]) & 0xC0) == 0x80) {
    --cut;
  }
  bytes.truncate(cut);
  return bytes;
}
