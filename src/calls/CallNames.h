#pragma once
// Names, dates and durations of new call records.
#include <QDateTime>
#include <QString>
#include <cstdint>

// Six capital letters drawn uniformly from A..M and O..X (never N, Y or Z), from a
// generator seeded afresh from the clock.
QString MakeFileName();

// True for six letters of that alphabet: a name MakeFileName or FileNameFromNumber
// could have made.
bool IsGeneratedFileName(const QString& name);

// Six letters of the same alphabet made from a number, the same for the same number.
QString FileNameFromNumber(uint64_t number);

// The length of a recording whose WAV image (44-byte header included) is `streamSize`
// bytes of 8-bit mono sound at `samplingFreq` samples per second, as minutes ":" seconds,
// the seconds rounded half to even. "?" when the rate is not positive.
QString DurationText(int64_t streamSize, int32_t samplingFreq);

// The user's short date and long time (without a time zone), in the default locale: the
// system's, as the program never sets another.
QString ShortDateText(const QDate& date);
QString LongTimeText(const QTime& time);
// The format LongTimeText writes with: the user's long time format less the time zone.
QString LongTimeFormat();
