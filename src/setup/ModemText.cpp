#include "setup/ModemText.h"

#include <QRegularExpression>
#include <QStringList>
#include <cfenv>
#include <cmath>

namespace {
constexpr float kTimeoutNumerator = 115200.0f;
constexpr int32_t kReferenceBaud = 115200;

template <typename Text, typename Code>
Text TrimWith(const Text& text, Code code) {
  qsizetype begin = 0;
  qsizetype end = text.size();
  while (begin < end && code(text.at(begin)) <= 32) ++begin;
  while (end > begin && code(text.at(end - 1)) <= 32) --end;
  return text.mid(begin, end - begin);
}
}  // namespace

QByteArray TrimCodes(const QByteArray& text) {
  return TrimWith(text, [](char c) { return static_cast<unsigned>(static_cast<uint8_t>(c)); });
}

QString TrimCodes(const QString& text) {
  return TrimWith(text, [](QChar c) { return static_cast<unsigned>(c.unicode()); });
}

QByteArray UpperAscii(const QByteArray& text) {
  QByteArray out = text;
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

QString UpperAscii(const QString& text) {
  QString out = text;
  for (QChar& c : out) {
    if (c >= QLatin1Char('a') && c <= QLatin1Char('z')) c = QChar(c.unicode() - 'a' + 'A');
  }
  return out;
}

bool IsFinalResult(const QByteArray& line) {
  const QByteArray word = UpperAscii(TrimCodes(line));
  return word == "OK" || word == "ERROR";
}

int32_t RoundHalfEven(double value) {
  // nearbyint follows the current rounding mode; make sure it is to-nearest-even.
  const int saved = std::fegetround();
  std::fesetround(FE_TONEAREST);
  const double r = std::nearbyint(value);
  std::fesetround(saved);
  return static_cast<int32_t>(r);
}

int32_t StepPercent(int32_t step, int32_t total) {
  return RoundHalfEven(static_cast<double>(step) / total * 100.0);
}

float TimeoutLimit(int32_t baud, int32_t timeoutFactor) {
  const int32_t rate = baud > 0 ? baud : kReferenceBaud;
  const float perFactor = kTimeoutNumerator / static_cast<float>(rate);
  return static_cast<float>(RoundHalfEven(static_cast<double>(perFactor) * timeoutFactor));
}

QStringList MemoLines(const QString& text) {
  static const QRegularExpression kBreak(QStringLiteral("\r\n|\r|\n"));
  return text.split(kBreak);
}
