#include "calls/CallDates.h"

#include <QLocale>
#include <QRegularExpression>
#include <array>

#include "calls/CallNames.h"

namespace {
constexpr int kCenturyYears = 100;
constexpr int64_t kSecondsPerMinute = 60;

// The longest run of 'y' outside quotes: 2 for a two-digit year.
int YearDigits(const QString& format) {
  int longest = 0;
  int run = 0;
  bool quoted = false;
  for (const QChar c : format) {
    if (c == QLatin1Char('\'')) {
      quoted = !quoted;
    }
    run = (!quoted && c == QLatin1Char('y')) ? run + 1 : 0;
    longest = std::max(longest, run);
  }
  return longest;
}

// A two-digit year read as 19yy is put in the century that makes it the latest year
// not after next year: calls lie in the past.
QDate WithNearCentury(QDate date) {
  const int latest = QDate::currentDate().year() + 1;
  while (date.year() + kCenturyYears <= latest) {
    date = date.addYears(kCenturyYears);
  }
  return date;
}

std::optional<QDate> YearFirstDate(const QString& text) {
  static const QRegularExpression re(QStringLiteral("^(\\d{4})([-/.])(\\d{1,2})\\2(\\d{1,2})$"));
  const QRegularExpressionMatch m = re.match(text);
  if (!m.hasMatch()) {
    return std::nullopt;
  }
  const QDate d(m.captured(1).toInt(), m.captured(3).toInt(), m.captured(4).toInt());
  return d.isValid() ? std::optional<QDate>(d) : std::nullopt;
}
}  // namespace

std::optional<QDate> ReadCallDate(const QString& stored) {
  const QString text = stored.trimmed();
  if (text.isEmpty()) {
    return std::nullopt;
  }
  const QLocale user = QLocale();
  const QString format = user.dateFormat(QLocale::ShortFormat);
  const QDate d = user.toDate(text, format);
  if (d.isValid()) {
    return YearDigits(format) == 2 ? WithNearCentury(d) : d;
  }
  if (const auto yearFirst = YearFirstDate(text)) {
    return yearFirst;
  }
  const QLocale c = QLocale::c();
  const QDate inC = c.toDate(text, c.dateFormat(QLocale::ShortFormat));
  return inC.isValid() ? std::optional<QDate>(inC) : std::nullopt;
}

std::optional<QTime> ReadCallTime(const QString& stored) {
  const QString text = stored.trimmed();
  if (text.isEmpty()) {
    return std::nullopt;
  }
  const QLocale user = QLocale();
  for (const QString& format : {LongTimeFormat(), user.timeFormat(QLocale::ShortFormat)}) {
    const QTime t = user.toTime(text, format);
    if (t.isValid()) {
      return t;
    }
  }
  static const std::array<const char*, 6> kClockForms = {"H:mm:ss", "h:mm:ss AP", "h:mm:ss ap",
                                                         "H:mm",    "h:mm AP",    "h:mm ap"};
  for (const char* format : kClockForms) {
    const QTime t = QTime::fromString(text, QLatin1String(format));
    if (t.isValid()) {
      return t;
    }
  }
  return std::nullopt;
}

std::optional<QDateTime> ReadCallMoment(const TCallRecord& call) {
  const std::optional<QDate> date = ReadCallDate(call.Date);
  const std::optional<QTime> time = ReadCallTime(call.Time);
  if (!date || !time) {
    return std::nullopt;
  }
  return QDateTime(*date, *time);
}

std::optional<int64_t> ReadDurationSeconds(const QString& text) {
  static const QRegularExpression re(QStringLiteral("^(\\d{1,9}):(\\d{1,2})$"));
  const QRegularExpressionMatch m = re.match(text.trimmed());
  if (!m.hasMatch()) {
    return std::nullopt;
  }
  const int64_t seconds = m.captured(2).toLongLong();
  if (seconds >= kSecondsPerMinute) {
    return std::nullopt;
  }
  return m.captured(1).toLongLong() * kSecondsPerMinute + seconds;
}
