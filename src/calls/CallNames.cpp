#include "calls/CallNames.h"

#include <QLocale>
#include <algorithm>
#include <chrono>
#include <random>

namespace {
// The letter table has 25 entries (A..Z without N); only the first 23 are ever drawn.
constexpr char kLetters[] = "ABCDEFGHIJKLMOPQRSTUVWXYZ";
constexpr int kDrawnLetters = 23;
constexpr int kNameLength = 6;
constexpr int64_t kWavHeaderBytes = 44;
constexpr int64_t kSecondsPerMinute = 60;
}  // namespace

QString MakeFileName() {
  std::mt19937 gen(static_cast<std::mt19937::result_type>(
      std::chrono::high_resolution_clock::now().time_since_epoch().count()));
  std::uniform_int_distribution<int> pick(1, kDrawnLetters);
  QString name;
  for (int i = 0; i < kNameLength; ++i) {
    name += QLatin1Char(kLetters[pick(gen) - 1]);
  }
  return name;
}

QString FileNameFromNumber(uint64_t number) {
  QString name;
  for (int i = 0; i < kNameLength; ++i) {
    name += QLatin1Char(kLetters[number % kDrawnLetters]);
    number /= kDrawnLetters;
  }
  return name;
}

bool IsGeneratedFileName(const QString& name) {
  if (name.size() != kNameLength) {
    return false;
  }
  const QLatin1String drawn(kLetters, kDrawnLetters);
  return std::all_of(name.begin(), name.end(), [&](QChar c) { return drawn.contains(c); });
}

QString DurationText(int64_t streamSize, int32_t samplingFreq) {
  if (samplingFreq <= 0) {
    return QStringLiteral("?");
  }
  const int64_t samples = std::max<int64_t>(streamSize - kWavHeaderBytes, 0);
  int64_t s = samples / samplingFreq;
  const int64_t twiceRest = 2 * (samples % samplingFreq);
  if (twiceRest > samplingFreq || (twiceRest == samplingFreq && s % 2 == 1)) {
    ++s;
  }
  return QString::number(s / kSecondsPerMinute) + QLatin1Char(':') +
         QString::number(s % kSecondsPerMinute);
}

QString ShortDateText(const QDate& date) {
  return QLocale().toString(date, QLocale::ShortFormat);
}

QString LongTimeFormat() {
  // The locale's long format may name the time zone ('t'); a call record has no room
  // for it, so the zone and the blank before it are left out.
  const QString format = QLocale().timeFormat(QLocale::LongFormat);
  QString cleaned;
  bool quoted = false;
  for (const QChar c : format) {
    if (c == QLatin1Char('\'')) {
      quoted = !quoted;
    }
    if (!quoted && c == QLatin1Char('t')) {
      continue;
    }
    cleaned += c;
  }
  return cleaned.trimmed();
}

QString LongTimeText(const QTime& time) {
  return QLocale().toString(time, LongTimeFormat());
}
