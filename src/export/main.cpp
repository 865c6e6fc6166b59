// tavrin-export: the command line over the export library. Signals and the terminal are
// met here; everything else is ExportCommand's.
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <atomic>
#include <cstdio>

#include "export/ExportCommand.h"

namespace {
std::atomic<bool> gInterrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void OnSignal(int) {
  gInterrupted.store(true);
}

void PrintLine(FILE* stream, const QString& text) {
  std::fputs(text.toLocal8Bit().constData(), stream);
  std::fputc('\n', stream);
}
}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QString error;
  const std::optional<TExportOptions> options =
      ParseExportArguments(QCoreApplication::arguments().mid(1), &error);
  if (!options) {
    PrintLine(stderr, QStringLiteral("tavrin-export: ") + error);
    PrintLine(stderr, ExportUsage());
    return kExitFailed;
  }
  if (options->help) {
    PrintLine(stdout, ExportUsage());
    return kExitAllExported;
  }
  if (options->version) {
    PrintLine(stdout, QStringLiteral("tavrin-export " TAVRIN_VERSION));
    return kExitAllExported;
  }
  // A signal ends the run as a cancel does, so no half-written file stays behind.
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
    if (sigaction(sig, &action, nullptr) != 0) {
      std::perror("tavrin-export: sigaction");
      return kExitFailed;
    }
  }
  bool progressShown = false;
  TExportConsole console;
  console.out = [](const QString& line) { PrintLine(stdout, line); };
  console.err = [&progressShown](const QString& line) {
    if (progressShown) {
      std::fputs("\r\033[K", stderr);
      progressShown = false;
    }
    PrintLine(stderr, line);
  };
  if (::isatty(STDERR_FILENO) == 1) {
    console.progress = [&progressShown](const QString& line) {
      std::fprintf(stderr, "\r\033[K%s", line.toLocal8Bit().constData());
      std::fflush(stderr);
      progressShown = !line.isEmpty();
    };
  }
  return RunExport(*options, console, gInterrupted);
}
