#include "export/ExportCommand.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <map>

#include "calls/CallFile.h"
#include "export/CallCsv.h"
#include "export/CallExport.h"
#include "export/ExportTexts.h"
#include "export/TavrinFolder.h"

namespace {
constexpr int kPercent = 100;

std::optional<QDateTime> ReadOptionDate(const QString& text, bool endOfDay) {
  static const QRegularExpression re(
      QStringLiteral("^(\\d{4}-\\d{2}-\\d{2})(?:[T ](\\d{2}):(\\d{2})(?::(\\d{2}))?)?$"));
  const QRegularExpressionMatch m = re.match(text.trimmed());
  if (!m.hasMatch()) {
    return std::nullopt;
  }
  const QDate date = QDate::fromString(m.captured(1), Qt::ISODate);
  if (!date.isValid()) {
    return std::nullopt;
  }
  if (m.captured(2).isEmpty()) {
    return QDateTime(date, endOfDay ? QTime(23, 59, 59) : QTime(0, 0));
  }
  const QTime time(m.captured(2).toInt(), m.captured(3).toInt(),
                   m.captured(4).isEmpty() ? (endOfDay ? 59 : 0) : m.captured(4).toInt());
  if (!time.isValid()) {
    return std::nullopt;
  }
  return QDateTime(date, time);
}

// The calls that can be exported, in the range asked for; the others go to *skipped.
std::vector<TCallRecord> ExportableCalls(const std::vector<TCallRecord>& calls,
                                         const TExportOptions& options,
                                         std::vector<TSkippedCall>* skipped) {
  std::vector<TCallRecord> chosen;
  for (const TCallRecord& call : calls) {
    const std::optional<QDateTime> moment = ExportableMoment(call, skipped);
    if (!moment) {
      continue;
    }
    if ((options.since && *moment < *options.since) ||
        (options.until && *moment > *options.until)) {
      continue;
    }
    chosen.push_back(call);
  }
  return chosen;
}

void ReportSkipped(const TExportConsole& console, const std::vector<TSkippedCall>& skipped) {
  for (const TSkippedCall& s : skipped) {
    console.err(QStringLiteral("tavrin-export: skipped %1: %2").arg(CallLabel(s.call), s.reason));
  }
}

std::optional<QString> CheckTargets(const TExportOptions& options) {
  if (options.to.isEmpty() && options.list.isEmpty()) {
    return QStringLiteral(
        "nothing to do: give --to DIR for the recordings or --list FILE.csv "
        "for the list");
  }
  if (!QFileInfo(QDir(options.folder).filePath(QLatin1String(kCallFileName))).exists()) {
    return QStringLiteral("%1 is no Tavrin folder: it has no %2")
        .arg(options.folder, QLatin1String(kCallFileName));
  }
  if (!options.to.isEmpty() && TouchesTavrinFiles(options.folder, options.to)) {
    return QStringLiteral(
               "--to %1 would write into the Tavrin folder's own files; choose a "
               "folder of its own")
        .arg(options.to);
  }
  if (!options.list.isEmpty() && TouchesTavrinFiles(options.folder, options.list)) {
    return QStringLiteral("--list %1 would overwrite a file of the Tavrin folder")
        .arg(options.list);
  }
  return std::nullopt;
}
}  // namespace

QString ExportUsage() {
  return QStringLiteral(
      "Usage: tavrin-export [--format flac|opus|wav] [--to DIR] [--list FILE.csv]\n"
      "                     [--since DATE] [--until DATE] [--folder DIR]\n"
      "Exports the calls of a Tavrin folder (the current one, or --folder DIR) as audio\n"
      "files named YYYY-MM-DD_HH-MM-SS into DIR, and the call list as CSV.\n"
      "DATE is YYYY-MM-DD or YYYY-MM-DDTHH:MM[:SS]. See tavrin-export(1).");
}

std::optional<TExportOptions> ParseExportArguments(const QStringList& args, QString* error) {
  TExportOptions options;
  std::map<QString, QString> values;
  static const QStringList kValued = {QStringLiteral("--format"), QStringLiteral("--to"),
                                      QStringLiteral("--list"),   QStringLiteral("--since"),
                                      QStringLiteral("--until"),  QStringLiteral("--folder")};
  for (qsizetype i = 0; i < args.size(); ++i) {
    QString arg = args[i];
    if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
      options.help = true;
      continue;
    }
    if (arg == QLatin1String("--version")) {
      options.version = true;
      continue;
    }
    QString value;
    const qsizetype eq = arg.indexOf(QLatin1Char('='));
    if (arg.startsWith(QLatin1String("--")) && eq > 0) {
      value = arg.mid(eq + 1);
      arg = arg.left(eq);
    } else if (kValued.contains(arg)) {
      if (i + 1 >= args.size()) {
        *error = QStringLiteral("%1 needs a value").arg(arg);
        return std::nullopt;
      }
      value = args[++i];
    }
    if (!kValued.contains(arg)) {
      *error = QStringLiteral("unknown argument %1").arg(args[i]);
      return std::nullopt;
    }
    if (value.isEmpty()) {
      *error = QStringLiteral("%1 needs a value").arg(arg);
      return std::nullopt;
    }
    values[arg] = value;
  }
  if (values.count(QStringLiteral("--format"))) {
    const auto format = ExportFormatFromName(values[QStringLiteral("--format")]);
    if (!format) {
      *error = QStringLiteral("--format is flac, opus or wav, not %1")
                   .arg(values[QStringLiteral("--format")]);
      return std::nullopt;
    }
    options.format = *format;
  }
  for (const auto& [name, endOfDay, member] :
       {std::tuple{QStringLiteral("--since"), false, &TExportOptions::since},
        std::tuple{QStringLiteral("--until"), true, &TExportOptions::until}}) {
    if (!values.count(name)) {
      continue;
    }
    options.*member = ReadOptionDate(values[name], endOfDay);
    if (!(options.*member)) {
      *error = QStringLiteral("%1 takes YYYY-MM-DD or YYYY-MM-DDTHH:MM[:SS], not %2")
                   .arg(name, values[name]);
      return std::nullopt;
    }
  }
  options.to = values[QStringLiteral("--to")];
  options.list = values[QStringLiteral("--list")];
  if (values.count(QStringLiteral("--folder"))) {
    options.folder = values[QStringLiteral("--folder")];
  }
  return options;
}

int RunExport(const TExportOptions& options, const TExportConsole& console,
              const std::atomic<bool>& interrupted) {
  if (const auto wrong = CheckTargets(options)) {
    console.err(QStringLiteral("tavrin-export: ") + *wrong);
    return kExitFailed;
  }
  QString error;
  const auto calls = ReadFolderCalls(options.folder, &error);
  if (!calls) {
    console.err(QStringLiteral("tavrin-export: ") + error);
    return kExitFailed;
  }
  std::vector<TSkippedCall> skipped;
  const std::vector<TCallRecord> chosen = ExportableCalls(*calls, options, &skipped);
  ReportSkipped(console, skipped);

  if (!options.list.isEmpty()) {
    std::vector<TSkippedCall> unlisted;
    if (const auto err = WriteCallListCsv(options.list, chosen, &unlisted)) {
      console.err(QStringLiteral("tavrin-export: cannot write %1: %2").arg(options.list, *err));
      return kExitFailed;
    }
    ReportSkipped(console, unlisted);
    skipped.insert(skipped.end(), unlisted.begin(), unlisted.end());
  }
  if (options.to.isEmpty()) {
    return skipped.empty() ? kExitAllExported : kExitSomeSkipped;
  }

  int shownPercent = -1;
  const TExportProgress progress = [&](size_t index, size_t count, double fraction) {
    if (interrupted.load()) {
      return false;
    }
    const int percent = static_cast<int>(fraction * kPercent);
    if (console.progress && percent != shownPercent) {
      shownPercent = percent;
      console.progress(QStringLiteral("tavrin-export: call %1 of %2, %3%")
                           .arg(index + 1)
                           .arg(count)
                           .arg(percent));
    }
    return true;
  };
  TExportRequest request;
  request.tavrinFolder = options.folder;
  request.targetFolder = options.to;
  request.format = options.format;
  const TExportReport report = ExportCalls(chosen, request, progress);
  if (console.progress) {
    console.progress(QString());
  }
  for (const TExportedCall& e : report.exported) {
    console.out(QDir(options.to).filePath(e.file));
  }
  ReportSkipped(console, report.skipped);
  console.err(QStringLiteral("tavrin-export: %1 of %2 calls exported to %3")
                  .arg(report.exported.size())
                  .arg(chosen.size())
                  .arg(options.to));
  if (!report.failure.isEmpty()) {
    console.err(QStringLiteral("tavrin-export: ") + report.failure);
    return kExitFailed;
  }
  if (report.cancelled) {
    console.err(QStringLiteral("tavrin-export: interrupted"));
    return kExitInterrupted;
  }
  return skipped.empty() && report.skipped.empty() ? kExitAllExported : kExitSomeSkipped;
}
