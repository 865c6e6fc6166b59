// The call list's CSV: whatever the records hold, the CSV reads back strictly as RFC 4180
// with one row per listed call and its memo and file as they were; and the readers of
// stored dates, times and durations take any text without harm.
#include <QRegularExpression>
#include <algorithm>
#include <cstdint>

#include "FuzzCheck.h"
#include "common/StrictCsv.h"

#include "calls/CallDates.h"
#include "calls/CallFile.h"
#include "export/CallCsv.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  // Whole records first; what is left is texts for one more.
  std::vector<TCallRecord> calls;
  qsizetype at = 0;
  for (; at + kCallRecordSize <= bytes.size(); at += kCallRecordSize) {
    calls.push_back(DecodeCallRecord(QByteArrayView(bytes).sliced(at, kCallRecordSize)));
  }
  const QStringList parts = QString::fromUtf8(bytes.mid(at)).split(QChar(u'\x1f'));
  TCallRecord made;
  made.FileName = QStringLiteral("ABCDEF");
  made.Date = parts.value(0);
  made.Time = parts.value(1, QStringLiteral("10:00:00"));
  made.Duration = parts.value(2);
  made.Memo = parts.value(3);
  calls.push_back(made);

  for (const TCallRecord& c : calls) {
    if (const auto d = ReadCallDate(c.Date)) Check(d->isValid());
    if (const auto t = ReadCallTime(c.Time)) Check(t->isValid());
    if (const auto s = ReadDurationSeconds(c.Duration)) Check(*s >= 0);
  }

  std::vector<TSkippedCall> skipped;
  const std::optional<TCsvRows> rows = ReadStrictCsv(CallListCsv(calls, &skipped));
  Check(rows.has_value());
  Check(rows->size() == calls.size() - skipped.size() + 1);
  static const QRegularExpression kDate(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
  static const QRegularExpression kTime(QStringLiteral("^\\d{2}:\\d{2}:\\d{2}$"));
  size_t k = 0;
  for (size_t r = 1; r < rows->size(); ++r) {
    const auto left = [&](const TCallRecord& c) {
      return std::any_of(skipped.begin(), skipped.end(),
                         [&](const TSkippedCall& s) { return SameCall(s.call, c); });
    };
    while (k < calls.size() && left(calls[k])) ++k;
    Check(k < calls.size());
    const std::vector<QString>& row = (*rows)[r];
    Check(row.size() == 5);
    Check(kDate.match(row[0]).hasMatch() && kTime.match(row[1]).hasMatch());
    // Text a spreadsheet would run gets an apostrophe; the rest is the memo itself, also
    // where it held invalid UTF-8 (decoded as the program decodes it).
    Check(row[3] == SpreadsheetSafe(calls[k].Memo));
    Check(row[4] == calls[k].FileName + QStringLiteral(".wav"));
    ++k;
  }
  return 0;
}
