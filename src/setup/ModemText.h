#pragma once
// Text rules of the modem dialogue shared by the link and the windows: answers are
// compared after trimming codes 0..32 and upper-casing the letters a..z.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>

// Removes leading and trailing characters of code 0 to 32.
QByteArray TrimCodes(const QByteArray& text);
QString TrimCodes(const QString& text);

// Upper-cases the letters a..z only; every other byte stays as it is.
QByteArray UpperAscii(const QByteArray& text);
QString UpperAscii(const QString& text);

// True for the final result of a command: "OK" or "ERROR" alone on its line (after
// trimming, any case).
bool IsFinalResult(const QByteArray& line);

// Nearest integer, halves to even.
int32_t RoundHalfEven(double value);

// Percentage of step of total, rounded halves to even (progress bars and the gauge).
int32_t StepPercent(int32_t step, int32_t total);

// The exchange time-out in ticks: 115200 / baud * factor, rounded halves to even and held
// in single precision. A zero or negative baud counts as 115200, so the limit stays finite.
float TimeoutLimit(int32_t baud, int32_t timeoutFactor);

// Splits a received chunk into the lines a memo shows: CR LF, CR and LF each end a line,
// and a trailing break leaves an empty last line ("OK\r\n" gives "OK" and "").
QStringList MemoLines(const QString& text);
