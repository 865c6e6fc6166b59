// Records from the virtual voice modem and reports what reached the WAV file, what it
// cost and how often the scope was drawn. Each run records at one sampling rate (or at
// the full line rate) once with the UI idle and once with the UI thread kept busy by a
// modal dialog and continuous repaints.
//
//   record            short runs (3 s each)
//   record --full     60 s runs
//   record --seconds N
#include <sys/resource.h>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QPainter>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "BenchRecorder.h"
#include "common/DetachedRecorderControls.h"
#include "common/RecorderStandIns.h"
#include "modem/ModemF.h"
#include "modem/MonitorForm.h"
#include "recording/RecorderPanel.h"
#include "serial/PortMap.h"
#include "setup/Dialogs.h"
#include "setup/Shared.h"
#include "vmodem/VirtualModem.h"

namespace {
constexpr int kShortSeconds = 3;
constexpr int kFullSeconds = 60;
constexpr int kModemPort = 1;
constexpr int kDrainMs = 10000;

// A voice modem whose unsigned 8-bit method offers both rates the runs use.
const char* const kProfile = R"(description=Bench voice modem
ati0=56000
gmi=BENCH
gmm=BENCH-VOICE
fclass=0,1,8
vls=0,"",00000000,00000000,00000000
vls=1,"T",0B8433C1,0FE431C1,0B8431C1
vls.result=OK
vsm=1,"UNSIGNED PCM",8,0,(8000,11025),0,0
+VGR=(0-255)|128
)";

double CpuSeconds(int who) {
  rusage u{};
  if (getrusage(who, &u) != 0) return 0.0;
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double PeakRssMb() {
  rusage u{};
  return getrusage(RUSAGE_SELF, &u) == 0 ? double(u.ru_maxrss) / 1024.0 : 0.0;
}

// A stand-in main window that paints the scope.
class ScopeWindow : public QWidget {
 public:
  TScope* scope = nullptr;
  long paints = 0;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    if (scope) scope->Paint(p);
    ++paints;
  }
};

struct Run {
  const char* name;
  int rate;
  bool fullLine;
  bool busy;
};

void Print(const std::string& run, const char* figure, double value) {
  std::printf("%s_%s: %.6g\n", run.c_str(), figure, value);
  std::fflush(stdout);
}

void RecordOnce(const Run& run, int seconds) {
  vmodem::Options options;
  options.profileText = kProfile;
  options.fullLineRate = run.fullLine;
  vmodem::VirtualModem modem(options);
  modem.start();
  SetPortPathSource([&](int n) -> std::optional<std::string> {
    if (n == kModemPort) return modem.slavePath();
    return std::nullopt;
  });

  ScopeWindow window;
  window.resize(384, 386);
  TRecorderControls c = MakeDetachedRecorderControls(window);

  TCountedCallList callList;
  const TCallListHooks hooks = callList.Hooks(QStringLiteral("BENCH"));

  TMonitorForm monitor;
  TModemF link(&monitor);
  TRecorderPanel panel(c, hooks, link);
  window.scope = &panel.Scope;
  panel.Scope.Repaint = [&] { window.update(); };
  window.show();

  UseVirtualModemProfile(kModemPort, run.rate);

  panel.Recorder.On1Click();
  QByteArray answer;  // the echo is still on: the answer holds the echoed command
  link.SendAndRead("ate0", answer);
  panel.Recorder.StartRecording();
  if (!panel.RecordingActive()) {
    std::fprintf(stderr, "%s: the recording did not start\n", run.name);
    SetPortPathSource(nullptr);
    return;
  }

  const double cpuBefore = CpuSeconds(RUSAGE_SELF);
  const double uiCpuBefore = CpuSeconds(RUSAGE_THREAD);
  const int64_t drawsBefore = panel.Scope.DrawCount;
  const long paintsBefore = window.paints;
  QElapsedTimer clock;
  clock.start();
  if (run.busy) {
    QDialog dialog(&window);
    QTimer repaint;
    repaint.setInterval(0);
    QObject::connect(&repaint, &QTimer::timeout, &window, [&] { window.repaint(); });
    repaint.start();
    QTimer::singleShot(seconds * 1000, &dialog, &QDialog::accept);
    dialog.exec();
  } else {
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
  }
  const double recorded = double(clock.elapsed()) / 1000.0;
  const double cpu = CpuSeconds(RUSAGE_SELF) - cpuBefore;
  const double uiCpu = CpuSeconds(RUSAGE_THREAD) - uiCpuBefore;
  const int64_t draws = panel.Scope.DrawCount - drawsBefore;
  const long paints = window.paints - paintsBefore;

  // The modem stops streaming; everything it wrote must still arrive.
  modem.stop();
  const std::string sent = modem.streamed();
  PumpUntil([&] { return link.RecordedBytes >= static_cast<int64_t>(sent.size()); }, kDrainMs);
  panel.Recorder.StopRecordingOrPlayback();

  QFile file(QStringLiteral("wav/") + callList.currentFileName + QStringLiteral(".wav"));
  const QByteArray image = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  const QByteArray data = image.mid(44);
  const int64_t lost = LostBytes(sent, data);

  const std::string name = run.name;
  Print(name, "bytes_sent", double(sent.size()));
  Print(name, "bytes_in_wav", double(data.size()));
  Print(name, "bytes_lost", double(lost));
  Print(name, "cpu_s_per_recorded_s", cpu / recorded);
  Print(name, "ui_thread_cpu_s_per_recorded_s", uiCpu / recorded);
  Print(name, "scope_updates_per_s", double(draws) / recorded);
  Print(name, "window_paints_per_s", double(paints) / recorded);
  Print(name, "peak_rss_mb", PeakRssMb());
  SetPortPathSource(nullptr);
}
}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  int seconds = kShortSeconds;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--full") == 0) seconds = kFullSeconds;
    if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) seconds = std::atoi(argv[++i]);
  }
  SetDialogHooks(
      {[](const QString& m) { std::fprintf(stderr, "message: %s\n", qPrintable(m)); }, {}, {}});
  TWavPlayer::SetSilentOutput(true);
  QTemporaryDir dir;
  QDir::setCurrent(dir.path());
  Voicefeatures = true;

  const Run runs[] = {
      {"rate8000_idle", 8000, false, false},   {"rate8000_busy", 8000, false, true},
      {"rate11025_idle", 11025, false, false}, {"rate11025_busy", 11025, false, true},
      {"line_idle", 8000, true, false},        {"line_busy", 8000, true, true},
  };
  std::printf("seconds_per_run: %d\n", seconds);
  for (const Run& run : runs) RecordOnce(run, seconds);
  return 0;
}
