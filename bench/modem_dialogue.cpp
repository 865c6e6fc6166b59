// Cost of the modem dialogue: CPU spent while an exchange waits for an answer that never
// comes, tick rate during a wait, and the wall time of a first start (scan of COM1 to
// COM8 with one modem on COM1, probe, profile written, port opened and set up).
#include <time.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "modem/ModemF.h"
#include "modem/MonitorForm.h"
#include "serial/PortMap.h"
#include "setup/Dialogs.h"
#include "setup/Profile.h"
#include "setup/ProgressForm.h"
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

std::unique_ptr<vmodem::VirtualModem> StartModem(const char* profile) {
  vmodem::Options options;
  options.profile = profile;
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

void FirstStart() {
  QTemporaryDir dir;
  const QString previous = QDir::currentPath();
  QDir::setCurrent(dir.path());
  StartDirectory = dir.path();
  SettingsFile = std::make_unique<TIniFile>(dir.filePath(QLatin1String(kSettingsFileName)));
  auto modem = StartModem("conexant");
  MapCom1(modem->slavePath());
  SetDialogHooks(
      {[](const QString& text) { std::fprintf(stderr, "message: %s\n", qPrintable(text)); },
       {},
       {}});

  QElapsedTimer wall;
  wall.start();
  TMonitorForm monitor;
  TModemF link(&monitor);
  TProgressForm progress;
  TSpecModemForm spec(link, progress);
  link.OnSpecMemoEcho = [&spec](const QByteArray& chunk) { spec.AddMemoLine(chunk); };
  spec.FindModems();
  if (spec.FoundCount == 0) {
    std::printf("first_start_s: failed (no modem found)\n");
    return;
  }
  spec.show();
  spec.OkBtnClick();
  LoadProfile(*SettingsFile, CurrentProfile, Voicefeatures, link.TimeoutFactor);
  link.ComPort1.SetComNumber(static_cast<uint16_t>(CurrentProfile.port));
  link.ComPort1.SetOpen(true);
  const int echoOff =
      link.SendAndExpect("atE0", QStringLiteral("initialization string.."), QStringLiteral("ok"));
  const int noAnswer = link.SendAndExpect("ats0=0", QString(), QStringLiteral("ok"));
  const double seconds = wall.nsecsElapsed() / 1e9;
  if (echoOff != kExchangeOk || noAnswer != kExchangeOk || !Voicefeatures) {
    std::printf("first_start_s: failed (%d %d %d)\n", echoOff, noAnswer, Voicefeatures);
  } else {
    std::printf("first_start_s: %.3f\n", seconds);
  }
  link.ComPort1.SetOpen(false);
  SettingsFile.reset();
  QDir::setCurrent(previous);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  UnansweredExchange();
  FirstStart();
  SetPortPathSource(nullptr);
  return 0;
}
