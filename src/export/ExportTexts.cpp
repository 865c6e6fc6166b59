#include "export/ExportTexts.h"

namespace {
constexpr int64_t kSecondsPerMinute = 60;
constexpr int64_t kSecondsPerHour = 3600;

QString TwoDigits(int64_t n) {
  return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
}
}  // namespace

QString IsoDateText(const QDate& date) {
  return date.toString(QStringLiteral("yyyy-MM-dd"));
}

QString IsoTimeText(const QTime& time) {
  return time.toString(QStringLiteral("HH:mm:ss"));
}

QString ClockDurationText(int64_t seconds) {
  seconds = std::max<int64_t>(seconds, 0);
  return TwoDigits(seconds / kSecondsPerHour) + QLatin1Char(':') +
         TwoDigits(seconds % kSecondsPerHour / kSecondsPerMinute) + QLatin1Char(':') +
         TwoDigits(seconds % kSecondsPerMinute);
}

QString ExportBaseName(const QDateTime& moment) {
  return moment.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
}

TExportTags MakeExportTags(const QDateTime& moment, int64_t seconds, const QString& memo) {
  TExportTags tags;
  tags.title =
      QStringLiteral("Call %1 %2 (%3)")
          .arg(IsoDateText(moment.date()), IsoTimeText(moment.time()), ClockDurationText(seconds));
  tags.date = IsoDateText(moment.date()) + QLatin1Char('T') + IsoTimeText(moment.time());
  tags.comment = memo;
  return tags;
}

QString CallLabel(const TCallRecord& call) {
  return QStringLiteral("%1 (%2 %3)").arg(call.FileName, call.Date, call.Time);
}
