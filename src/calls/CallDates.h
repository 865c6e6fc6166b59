#pragma once
// The date, time and duration of a call read back from the texts it was stored with: the
// user's short date and long time formats (see CallNames.h), and minutes ":" seconds.
// A text that cannot be read in one of the forms below is not guessed at.
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>
#include <cstdint>
#include <optional>

#include "calls/CallRecord.h"

// The user's short date format (a two-digit year taken as the year nearest before the
// next one), or a year-first date (2024-05-01, 2024/05/01, 2024.05.01), or the C
// locale's short form (1 May 2024).
std::optional<QDate> ReadCallDate(const QString& text);
// The format Tavrin writes (the user's long time less the zone), the user's short time
// format, or 24-hour or AM/PM clock times (22:03:04, 10:03:04 PM, 22:03).
std::optional<QTime> ReadCallTime(const QString& text);
// Both, as a local time; nothing when either cannot be read.
std::optional<QDateTime> ReadCallMoment(const TCallRecord& call);

// Minutes ":" seconds (2:5 and 2:05 alike), the seconds below 60.
std::optional<int64_t> ReadDurationSeconds(const QString& text);
