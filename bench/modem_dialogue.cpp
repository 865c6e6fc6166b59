// Cost of the modem dialogue: CPU spent while an exchange waits for an answer that never
// comes, tick rate during a wait, and the wall time of a first start (scan of COM1 to
// COM8 with one modem on COM1, probe, profile written, port opened and set up), with
// whole answers and with answers in small pieces.
#include <time.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "app/MainForm.h"
#include "modem/ModemF.h"
#include "modem/MonitorForm.h"
#include "serial/PortMap.h"
#include "setup/Dialogs.h"
#include "setup/Shared.h"
#include "setup/SpecModemForm.h"
#include "vmodem/VirtualModem.h"

namespace {

double CpuMs(clockid_t clock) {
  timespec ts{};
  clock_gettime(clock, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

void MapCom1(const std::string& path) {
  SetPortPathSource([path](int n) -> std::optional<std::string> {
    if (n == 1) return path;
    return std::string("/nonexistent/tavrin-bench-com") + std::to_string(n);
  });
}

std::unique_ptr<vmodem::VirtualModem> StartModem(const char* profile,
                                                 const vmodem::Faults& faults = {}) {
  vmodem::Options options;
  options.profile = profile;
  options.faults = faults;
  auto modem = std::make_unique<vmodem::VirtualModem>(options);
  modem->start();
  return modem;
}

void UnansweredExchange() {
  auto modem = StartModem("silent");
  MapCom1(modem->slavePath());
  TMonitorForm monitor;
  TModemF link(&monitor);
  link.ComPort1.SetComNumber(1);
  link.ComPort1.SetOpen(true);

  const double process0 = CpuMs(CLOCK_PROCESS_CPUTIME_ID);
  const double thread0 = CpuMs(CLOCK_THREAD_CPUTIME_ID);
  QElapsedTimer wall;
  wall.start();
  const int result = link.SendAndExpect("AT", QString(), QStringLiteral("ok"));
  const double seconds = wall.nsecsElapsed() / 1e9;
  std::printf("unanswered_exchange_result: %d\n", result);
  std::printf("unanswered_exchange_s: %.3f\n", seconds);
  std::printf("cpu_ms_during_unanswered_exchange: %.1f\n",
              CpuMs(CLOCK_PROCESS_CPUTIME_ID) - process0);
  std::printf("ui_thread_cpu_ms_during_unanswered_exchange: %.1f\n",
              CpuMs(CLOCK_THREAD_CPUTIME_ID) - thread0);

  constexpr int kTicks = 300;
  wall.restart();
  link.WaitTicks(kTicks);
  std::printf("ticks_per_s: %.1f\n", kTicks / (wall.nsecsElapsed() / 1e9));
  link.ComPort1.SetOpen(false);
}

// A first start as the program makes it: no Tavrin.ini, the main window shown, the scan,
// the modem confirmed in the modem list, the probe, the profile loaded and the port set up.
void FirstStart(const char* figure, const vmodem::Faults& faults = {}) {
  QTemporaryDir dir;
  const QString previous = QDir::currentPath();
  QDir::setCurrent(dir.path());
  auto modem = StartModem("conexant", faults);
  MapCom1(modem->slavePath());
  SetDialogHooks(
      {[](const QString& text) { std::fprintf(stderr, "message: %s\n", qPrintable(text)); },
       {},
       {}});

  QElapsedTimer wall;
  wall.start();
  {
    TMainForm form;
    form.ExecModal = [](QDialog& dialog) {
      // The user confirms the first modem found at once.
      auto* modemList = dynamic_cast<TSpecModemForm*>(&dialog);
      if (!modemList) return dialog.exec();
      modemList->show();
      modemList->OkBtnClick();
      return static_cast<int>(QDialog::Accepted);
    };
    form.show();
    QCoreApplication::processEvents();  // runs the start sequence queued by the first showing
    const double seconds = wall.nsecsElapsed() / 1e9;
    if (form.StatusPanel(0) == QLatin1String(" Modem on") && Voicefeatures &&
        CurrentProfile.port == 1) {
      std::printf("%s: %.3f\n", figure, seconds);
    } else {
      std::printf("%s: failed (status \"%s\")\n", figure, qPrintable(form.StatusPanel(0)));
    }
    form.close();
  }
  SetDialogHooks({});
  QDir::setCurrent(previous);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  UnansweredExchange();
  FirstStart("first_start_s");
  // Answers in pieces of 1 to 7 bytes, 1 to 4 ms apart.
  vmodem::Faults pieces;
  pieces.splitBytes = 1;
  pieces.splitBytesMax = 7;
  pieces.splitGapMs = 1;
  pieces.splitGapMaxMs = 4;
  FirstStart("first_start_pieces_1_7_s", pieces);
  SetPortPathSource(nullptr);
  return 0;
}
