#pragma once
// The texts an export writes: ISO 8601 dates and times, durations as hours, minutes and
// seconds, the exported files' names and tags, and how a call is named in a report.
#include <QDateTime>
#include <QString>
#include <cstdint>

#include "calls/CallRecord.h"

QString IsoDateText(const QDate& date);  // 2024-05-01
QString IsoTimeText(const QTime& time);  // 22:03:04
// 00:02:05; the hours grow past two digits when they must.
QString ClockDurationText(int64_t seconds);

// 2024-05-01_22-03-04: the base name of a call's exported file.
QString ExportBaseName(const QDateTime& moment);

// The tags of an exported file.
struct TExportTags {
  QString title;    // "Call 2024-05-01 22:03:04 (00:02:05)"
  QString date;     // 2024-05-01T22:03:04
  QString comment;  // the memo
};
TExportTags MakeExportTags(const QDateTime& moment, int64_t seconds, const QString& memo);

// "ABCDEF (01.02.2024 10:00:00)": a call as the user sees it, for the lists of skipped
// calls.
QString CallLabel(const TCallRecord& call);
