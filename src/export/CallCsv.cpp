#include "export/CallCsv.h"

#include "calls/CallDates.h"
#include "export/ExportTexts.h"
#include "setup/PrivateFile.h"
#include "sound/RecordingFiles.h"

namespace {
constexpr const char* kLineEnd = "\r\n";
constexpr int kBytesPerRowGuess = 64;
}  // namespace

QString CsvField(const QString& text) {
  const bool quote = text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('"')) ||
                     text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n'));
  if (!quote) {
    return text;
  }
  QString out = text;
  out.replace(QLatin1Char('"'), QLatin1String("\"\""));
  return QLatin1Char('"') + out + QLatin1Char('"');
}

QString SpreadsheetSafe(const QString& memo) {
  static const QString kFormulaStarts = QStringLiteral("=+-@\t\r");
  if (!memo.isEmpty() && kFormulaStarts.contains(memo.front())) {
    return QLatin1Char('\'') + memo;
  }
  return memo;
}

QByteArray CallListCsv(const std::vector<TCallRecord>& calls, std::vector<TSkippedCall>* skipped) {
  QString csv;
  csv.reserve(static_cast<qsizetype>(calls.size() + 1) * kBytesPerRowGuess);
  csv += QLatin1String(kCsvHeader) + QLatin1String(kLineEnd);
  for (const TCallRecord& call : calls) {
    const std::optional<QDateTime> moment = ExportableMoment(call, skipped);
    if (!moment) {
      continue;
    }
    const std::optional<int64_t> seconds = ReadDurationSeconds(call.Duration);
    csv += IsoDateText(moment->date()) + QLatin1Char(',') + IsoTimeText(moment->time()) +
           QLatin1Char(',') + (seconds ? ClockDurationText(*seconds) : QString()) +
           QLatin1Char(',') + CsvField(SpreadsheetSafe(call.Memo)) + QLatin1Char(',') +
           CsvField(call.FileName + QLatin1String(kWavExtension)) + QLatin1String(kLineEnd);
  }
  return csv.toUtf8();
}

std::optional<QString> WriteCallListCsv(const QString& path, const std::vector<TCallRecord>& calls,
                                        std::vector<TSkippedCall>* skipped) {
  return WriteFileAtomically(path, CallListCsv(calls, skipped));
}
