#pragma once
// tavrin-export: the command line's options and the run, for scripts and backups.
//   tavrin-export [--format flac|opus|wav] [--to DIR] [--list FILE.csv]
//                 [--since DATE] [--until DATE] [--folder DIR]
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <optional>

#include "export/ExportFormat.h"

inline constexpr int kExitAllExported = 0;
inline constexpr int kExitSomeSkipped = 1;
inline constexpr int kExitFailed = 2;  // a wrong command line, or the export could not run
inline constexpr int kExitInterrupted = 130;

struct TExportOptions {
  TExportFormat format = kDefaultExportFormat;
  QString to;                             // the folder for the recordings; empty: none are exported
  QString list;                           // the CSV file; empty: none is written
  std::optional<QDateTime> since, until;  // inclusive
  QString folder = QStringLiteral(".");
  bool help = false;
  bool version = false;
};

// Nothing, with *error set, for a command line that is not understood. DATE is
// YYYY-MM-DD or YYYY-MM-DDTHH:MM[:SS] (a blank for the T); --until with a date alone
// takes in the whole day.
std::optional<TExportOptions> ParseExportArguments(const QStringList& args, QString* error);

QString ExportUsage();

// Where the run reports. progress is set only when standard error is a terminal.
struct TExportConsole {
  std::function<void(const QString&)> out;       // one line to standard output
  std::function<void(const QString&)> err;       // one line to standard error
  std::function<void(const QString&)> progress;  // the progress line, redrawn in place
};

// Runs the export; `interrupted` is watched while it runs (a signal sets it) and ends
// the run as a cancel does. Returns the exit code.
int RunExport(const TExportOptions& options, const TExportConsole& console,
              const std::atomic<bool>& interrupted);
