#pragma once
// The call list as RFC 4180 CSV in UTF-8: the header date,time,duration,memo,file, then
// one line per call, each ending in CR LF. Dates and times are ISO 8601 (2024-05-01,
// 22:03:04), the duration is hours, minutes and seconds (00:02:05; empty when the stored
// one cannot be read), "file" is the WAV's name (ABCDEF.wav).
#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

#include "export/SkippedCall.h"

inline constexpr const char* kCsvHeader = "date,time,duration,memo,file";

// One field, quoted when it holds a comma, a quote, CR or LF (quotes doubled).
QString CsvField(const QString& text);

// A memo that a spreadsheet would take for a formula (it begins with =, +, -, @, a tab
// or CR) gets a leading apostrophe: memos come from caller ID, which the far end sets.
QString SpreadsheetSafe(const QString& memo);

// The CSV of the calls; calls whose date or time cannot be read, or whose file name is
// not plain, are left out and added to *skipped.
QByteArray CallListCsv(const std::vector<TCallRecord>& calls, std::vector<TSkippedCall>* skipped);

// Writes the CSV to `path`, replacing a file there only once the new one is complete.
// The system's error text on failure.
std::optional<QString> WriteCallListCsv(const QString& path, const std::vector<TCallRecord>& calls,
                                        std::vector<TSkippedCall>* skipped);
