// What a recording costs, side by side with a command-line recorder on the same virtual
// modem, and what reached the WAV file.
//
// First the comparison. The virtual modem runs as a program of its own on a pty, and the
// recorder too: this program started again as the main window (the real one, on the
// platform of the environment: offscreen, or X where DISPLAY is set) on that modem. It
// opens the port, idles, records with the scope shown, then with the window minimised,
// and stops. The figures are of the recording alone (set-up excluded), per recorded
// second or per 20 ms chunk of the modem. Then `vm record` of mgetty-voice on another
// such modem with the same profile, where it is installed, measured the same way from
// this process; and the ratios.
//
// Then the in-process runs: at one sampling rate (or at the full line rate) once with
// the UI idle and once with the UI thread kept busy by a modal dialog and continuous
// repaints, each checking that every byte sent reached the WAV file.
//
//   record            phases of 10 s, in-process runs of 3 s
//   record --full     phases of 60 s, in-process runs of 60 s
//   record --seconds N
//   record --compare-only | --runs-only
//
// System calls and futex wake calls are counted by the kernel's syscall tracepoints
// where tracefs is mounted (mount -t tracefs nodev /sys/kernel/tracing); elsewhere only
// the read- and write-class calls of /proc/self/io are, under their own name.
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
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "BenchRecorder.h"
#include "ProcessCounters.h"
#include "Spawn.h"
#include "app/MainForm.h"
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
constexpr int kShortPhaseSeconds = 10;
constexpr int kIdleSeconds = 5;
constexpr int kModemPort = 1;
constexpr int kDrainMs = 10000;
constexpr int kStartMs = 20000;
constexpr int kSettleMs = 1000;
constexpr int kRate = 8000;
constexpr double kChunkSeconds = 0.020;  // the virtual modem streams every 20 ms
constexpr long kPeerHeaderBytes = 32;    // of the peer's voice file
constexpr int kMaxCaptureOffset = 64;    // the modem's CONNECT before the samples

// A voice modem whose unsigned 8-bit method offers both rates the in-process runs use.
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

// The modem of the comparison: one that both recorders take for a voice modem of the
// standard command set (it names its chip to ATI, and takes the flow-control command).
const char* const kCompareProfile = R"(description=Bench V.253 voice modem
ati0=CX93001-EIS_V0.2013-V92
ati3=CX93001-EIS_V0.2013-V92
gmi=CONEXANT
gmm=CX93001-EIS_V0.2013-V92
fclass=0,1,1.0,2,8
vls=0,"",00000000,00000000,00000000
vls=1,"T",0B8433C1,0FE431C1,0B8431C1
vls.result=OK
vsm=0,"SIGNED PCM",8,0,8000,0,0
vsm=1,"UNSIGNED PCM",8,0,8000,0,0
+VGR=(0-255)|128
+VGT=(0-255)|128
+VSD=(0-255),(0-255)|128,50
+VRA=(0-255)|50
+VRN=(0-255)|10
+VCID=(0-2)|0
+VNH=(0-2)|0
+VIT=(0-255)|0
+VDR=(0,1),(0-255)|0,0
+IFC=(0-2),(0-2)|2,2
)";

// Tavrin.ini of the recorder: the modem above on COM1, its unsigned 8-bit method.
const char* const kCompareIni =
    "[Modem]\nport=1\nModel=Bench\nSamplingFreq=8000\nVoiceMode=at+fclass=8\n"
    "RecGain=at+vgr=128\nVoiceCompression=at+vsm=1,8000\n"
    "[Params]\nUseLine=at+vls=1\nUseLineRes=OK\nCompression=UNSIGNED PCM\nVoicefeatures=1\n";

double PeakRssMb() {
  rusage u{};
  return getrusage(RUSAGE_SELF, &u) == 0 ? double(u.ru_maxrss) / 1024.0 : 0.0;
}

void Print(const std::string& name, double value) {
  std::printf("%s: %.6g\n", name.c_str(), value);
  std::fflush(stdout);
}

void Print(const std::string& run, const char* figure, double value) {
  Print(run + "_" + figure, value);
}

// Runs the event loop for ms, with nothing else waking it.
void RunFor(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return bool(out);
}

// ---- The recorder's side: this program as the main window on the modem's pty ----

// What the recorder process has cost so far.
struct Snapshot {
  explicit Snapshot(const bench::SyscallCounters& counters, int64_t recorded, int64_t draws)
      : cpu(bench::CpuSeconds()),
        syscalls(counters.Available() ? counters.all.Count() : bench::ReadWriteSyscalls()),
        futexWakes(counters.futexWakes.Count()),
        threads(bench::Threads()),
        recordedBytes(recorded),
        scopeDraws(draws) {
    clock.start();
  }
  double cpu;
  uint64_t syscalls;
  uint64_t futexWakes;
  std::map<int, bench::ThreadSwitches> threads;
  int64_t recordedBytes;
  int64_t scopeDraws;
  QElapsedTimer clock;
};

void PrintRecordingPhase(const char* phase, const bench::SyscallCounters& counters,
                         const Snapshot& before, const Snapshot& after) {
  const double seconds = double(after.recordedBytes - before.recordedBytes) / kRate;
  const double chunks = seconds / kChunkSeconds;
  const std::string name = phase;
  Print(name, "recorded_s", seconds);
  Print(name, "cpu_s_per_recorded_s", (after.cpu - before.cpu) / seconds);
  Print(name, counters.Available() ? "syscalls_per_chunk" : "read_write_syscalls_per_chunk",
        double(after.syscalls - before.syscalls) / chunks);
  if (counters.Available()) {
    Print(name, "futex_wakeups_per_chunk", double(after.futexWakes - before.futexWakes) / chunks);
  }
  const bench::WakeUps w = bench::WakeUpsBetween(before.threads, after.threads);
  Print(name, "wakeups_per_chunk", double(w.total) / chunks);
  Print(name, "scope_draws_per_s", double(after.scopeDraws - before.scopeDraws) / seconds);
  std::fprintf(stderr, "%s: wake-ups by thread over %.1f s: %s\n", phase, seconds,
               w.perThread.c_str());
}

// Bytes of the WAV data that differ from what the modem sent, at the offset where the
// samples begin in its capture; what it sent after the port closed does not count.
int64_t LostAgainstCapture(const QByteArray& data, const std::string& capture) {
  int64_t best = data.size();
  for (int offset = 0; offset <= kMaxCaptureOffset; ++offset) {
    int64_t lost = 0;
    for (qsizetype i = 0; i < data.size(); ++i) {
      const size_t at = static_cast<size_t>(offset) + static_cast<size_t>(i);
      if (at >= capture.size() || capture[at] != data[i]) ++lost;
    }
    best = std::min(best, lost);
    if (best == 0) break;
  }
  return best;
}

// Counts the paint events of every widget, by object name.
class PaintCounter : public QObject {
 public:
  std::map<std::string, long> paints;
  long total = 0;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      ++total;
      ++paints[watched->objectName().isEmpty() ? watched->metaObject()->className()
                                               : watched->objectName().toStdString()];
    }
    return false;
  }
};

int RecorderProcess(int argc, char** argv, const std::string& pty, const std::string& capture,
                    int seconds) {
  // Opened before any thread exists, so that every thread is counted.
  const bench::SyscallCounters counters;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication app(argc, argv);
  PaintCounter paints;
  app.installEventFilter(&paints);
  Print("rss_mb_qt_application", bench::RssMb());
  QTemporaryDir dir;
  QDir::setCurrent(dir.path());
  WriteFile(kSettingsFileName, kCompareIni);
  SetDialogHooks(
      {[](const QString& m) { std::fprintf(stderr, "message: %s\n", qPrintable(m)); }, {}, {}});
  SetPortPathSource([&](int n) -> std::optional<std::string> {
    if (n == kModemPort) return pty;
    return std::nullopt;
  });
  TWavPlayer::SetSilentOutput(true);

  TMainForm form;
  form.ExecModal = [](QDialog&) { return 0; };
  form.show();
  if (!PumpUntil([&] { return form.ModemF->PortIsOpen; }, kStartMs)) {
    std::fprintf(stderr, "recorder: the port did not open\n");
    return 1;
  }
  RunFor(kSettleMs);  // the start sequence's commands
  Print("rss_mb_window_and_port_open", bench::RssMb());

  {
    const Snapshot before(counters, 0, 0);
    // CPU and system calls are read right around the wait, so that reading the threads'
    // figures (some hundred calls) is not in them: idle, nothing else runs.
    const double cpuBefore = bench::CpuSeconds();
    const uint64_t callsBefore = counters.all.Count();
    RunFor(kIdleSeconds * 1000);
    const uint64_t callsAfter = counters.all.Count();
    const double cpuAfter = bench::CpuSeconds();
    const Snapshot after(counters, 0, 0);
    const double idle = double(kIdleSeconds);
    const bench::WakeUps w = bench::WakeUpsBetween(before.threads, after.threads);
    Print("idle_cpu_s_per_s", (cpuAfter - cpuBefore) / idle);
    Print("idle_wakeups_per_s", double(w.total) / idle);
    Print("idle_busiest_thread_wakeups_per_s", double(w.busiest) / idle);
    if (counters.Available()) {
      Print("idle_syscalls_per_s", double(callsAfter - callsBefore) / idle);
    }
    std::fprintf(stderr, "idle: wake-ups by thread over %.0f s: %s\n", idle, w.perThread.c_str());
  }

  form.RecSb1->click();
  if (!PumpUntil([&] { return form.RecordingActive() && form.ModemF->RecordedBytes > 0; },
                 kStartMs)) {
    std::fprintf(stderr, "recorder: the recording did not start\n");
    return 1;
  }
  RunFor(kSettleMs);
  auto recorded = [&] { return form.ModemF->RecordedBytes; };
  auto draws = [&] { return form.Recorder->Scope.DrawCount; };
  const double rssAtStart = bench::RssMb();
  Print("rss_mb_recording_start", rssAtStart);

  auto paintsDuring = [&](const char* phase) {
    const long before = paints.total;
    paints.paints.clear();
    RunFor(seconds * 1000);
    Print(std::string(phase) + "_window_paints_per_s", double(paints.total - before) / seconds);
    std::string which;
    for (const auto& [name, n] : paints.paints) which += name + "=" + std::to_string(n) + " ";
    std::fprintf(stderr, "%s: paints: %s\n", phase, which.c_str());
  };
  auto measure = [&](const char* phase) {
    const Snapshot start(counters, recorded(), draws());
    paintsDuring(phase);
    const Snapshot end(counters, recorded(), draws());
    PrintRecordingPhase(phase, counters, start, end);
  };
  measure("scope_on");
  form.showMinimized();
  RunFor(kSettleMs);
  measure("scope_hidden");
  form.showNormal();
  RunFor(kSettleMs);

  const double rssAtEnd = bench::RssMb();
  const double streamMb = double(recorded()) / (1024.0 * 1024.0);
  Print("rss_mb_recording_end", rssAtEnd);
  Print("stream_mb", streamMb);
  // Beyond the stream itself (which the voice stream holds whole until it is saved).
  Print("rss_growth_beyond_stream_mb", rssAtEnd - rssAtStart - streamMb);
  for (const bench::RssShare& share : bench::RssByKind()) {
    Print("rss_mb_of_" + share.kind, share.mb);
  }

  form.StopSb1->click();
  PumpUntil([&] { return !form.RecSb1->isChecked(); }, kDrainMs);
  RunFor(kSettleMs);  // the modem writes its capture once the port has closed
  // Before the checks below, which read the recording and the capture whole.
  Print("peak_rss_mb", PeakRssMb());
  QFile wav(QStringLiteral("wav/") + form.CurrentFileName + QStringLiteral(".wav"));
  const QByteArray image = wav.open(QIODevice::ReadOnly) ? wav.readAll() : QByteArray();
  const QByteArray data = image.mid(44);
  Print("bytes_in_wav", double(data.size()));
  Print("bytes_lost", double(LostAgainstCapture(data, ReadFile(capture))));
  return 0;
}

// ---- The comparison, run from this process ----

using Figures = std::map<std::string, double>;

// Starts this program as the recorder on a modem of its own and passes its figures on.
Figures RunRecorder(const std::string& folder, int seconds) {
  Figures figures;
  const std::string capture = folder + "/capture.bin";
  const std::string profile = folder + "/compare.profile";
  WriteFile(profile, kCompareProfile);
  bench::ModemProcess modem({"--profile", profile, "--capture", capture});
  if (modem.Pty().empty()) {
    std::fprintf(stderr, "the virtual modem did not start\n");
    return figures;
  }
  bench::Child recorder(
      {bench::ExeFolder() + "/record", "--recorder", modem.Pty(), capture, std::to_string(seconds)},
      true);
  recorder.Release();
  std::string line;
  while (recorder.ReadLine(line)) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    const size_t colon = line.find(": ");
    if (colon != std::string::npos)
      figures[line.substr(0, colon)] = std::atof(line.c_str() + colon + 2);
  }
  recorder.Wait();
  return figures;
}

// The peer: `vm record` on the same kind of modem, measured from outside. The recording
// begins when the modem has been told +VRX (its transcript says so).
Figures RunPeer(const std::string& folder, int seconds) {
  Figures figures;
  if (!bench::OnPath("vm")) {
    std::fprintf(stderr, "peer: vm (mgetty-voice) is not installed; its figures are skipped\n");
    return figures;
  }
  const std::string transcript = folder + "/peer-transcript.txt";
  const std::string profile = folder + "/compare.profile";
  const std::string voiceFile = folder + "/peer.rmd";
  WriteFile(profile, kCompareProfile);
  bench::ModemProcess modem({"--profile", profile, "--transcript", transcript});
  if (modem.Pty().empty()) return figures;
  const std::string device = modem.Pty().substr(std::string("/dev/").size());
  bench::Child peer({"vm", "record", "-l", device, "-L", std::to_string(seconds), voiceFile}, false,
                    folder);
  const bench::SyscallCounters counters(peer.Pid());
  peer.Release();
  double cpuAtStart = -1.0;
  uint64_t syscallsAtStart = 0, wakesAtStart = 0, switchesAtStart = 0;
  while (!peer.Wait(false)) {
    if (cpuAtStart < 0 && ReadFile(transcript).find("# command AT+VRX") != std::string::npos) {
      cpuAtStart = bench::ScheduledSeconds(peer.Pid());
      syscallsAtStart = counters.all.Count();
      wakesAtStart = counters.futexWakes.Count();
      switchesAtStart = static_cast<uint64_t>(bench::StatusValue(
          "/proc/" + std::to_string(peer.Pid()) + "/status", "voluntary_ctxt_switches"));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  const long bytes = static_cast<long>(ReadFile(voiceFile).size()) - kPeerHeaderBytes;
  if (!peer.ExitedWith(0) || bytes <= 0 || cpuAtStart < 0) {
    std::fprintf(stderr, "peer: vm record did not record; its figures are skipped\n");
    return figures;
  }
  const rusage& u = peer.Usage();
  const double cpu = bench::Seconds(u.ru_utime) + bench::Seconds(u.ru_stime);
  const double recorded = double(bytes) / kRate;
  const double chunks = recorded / kChunkSeconds;
  figures["peer_recorded_s"] = recorded;
  figures["peer_cpu_s_per_recorded_s"] = (cpu - cpuAtStart) / recorded;
  figures["peer_cpu_s_per_recorded_s_setup_included"] = cpu / recorded;
  if (counters.Available()) {
    figures["peer_syscalls_per_chunk"] = double(counters.all.Count() - syscallsAtStart) / chunks;
    figures["peer_futex_wakeups_per_chunk"] =
        double(counters.futexWakes.Count() - wakesAtStart) / chunks;
  }
  figures["peer_wakeups_per_chunk"] = double(uint64_t(u.ru_nvcsw) - switchesAtStart) / chunks;
  figures["peer_peak_rss_mb"] = double(u.ru_maxrss) / 1024.0;
  for (const auto& [name, value] : figures) Print(name, value);
  return figures;
}

void Compare(int seconds) {
  const QTemporaryDir folder;
  const std::string path = folder.path().toStdString();
  std::printf("seconds_per_phase: %d\n", seconds);
  const Figures tavrin = RunRecorder(path, seconds);
  // The peer records as long as both of the recorder's phases together.
  const Figures peer = RunPeer(path, 2 * seconds);
  const auto ours = tavrin.find("scope_on_cpu_s_per_recorded_s");
  const auto oursHidden = tavrin.find("scope_hidden_cpu_s_per_recorded_s");
  const auto theirs = peer.find("peer_cpu_s_per_recorded_s");
  if (ours == tavrin.end() || oursHidden == tavrin.end() || theirs == peer.end()) return;
  Print("ratio_to_peer_scope_on", ours->second / theirs->second);
  Print("ratio_to_peer_scope_hidden", oursHidden->second / theirs->second);
}

// ---- The in-process runs ----

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

  const double cpuBefore = bench::CpuSeconds(RUSAGE_SELF);
  const double uiCpuBefore = bench::CpuSeconds(RUSAGE_THREAD);
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
    RunFor(seconds * 1000);
  }
  const double recorded = double(clock.elapsed()) / 1000.0;
  const double cpu = bench::CpuSeconds(RUSAGE_SELF) - cpuBefore;
  const double uiCpu = bench::CpuSeconds(RUSAGE_THREAD) - uiCpuBefore;
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

void InProcessRuns(int argc, char** argv, int seconds) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
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
}
}  // namespace

int main(int argc, char** argv) {
  // record --recorder PTY CAPTURE SECONDS: the recorder's side of the comparison.
  if (argc == 5 && std::strcmp(argv[1], "--recorder") == 0) {
    return RecorderProcess(1, argv, argv[2], argv[3], std::atoi(argv[4]));
  }
  int seconds = kShortSeconds;
  int phaseSeconds = kShortPhaseSeconds;
  bool compare = true, runs = true;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--full") == 0) seconds = phaseSeconds = kFullSeconds;
    if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
      seconds = phaseSeconds = std::atoi(argv[++i]);
    }
    if (std::strcmp(argv[i], "--compare-only") == 0) runs = false;
    if (std::strcmp(argv[i], "--runs-only") == 0) compare = false;
  }
  if (compare) Compare(phaseSeconds);
  if (runs) InProcessRuns(1, argv, seconds);
  return 0;
}
