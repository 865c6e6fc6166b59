#include "ProgramSupport.h"

#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

#include <QFile>
#include <QProcessEnvironment>
#include <QTest>
#include <QUuid>
#include <algorithm>

#include "vmodem/VirtualModem.h"

namespace {
const QString kStyleSheet = QStringLiteral(TAVRIN_TEST_DATA_DIR "/selectable-boxes.qss");
constexpr int kClientHeight = 386;  // the main window below its menu bar
constexpr int kCopyTries = 4;

// The sanitizer runtime this test runs with, when it is a library of its own: the
// program is built the same way, and that runtime must come first in LD_PRELOAD.
QString SanitizerRuntime() {
  void* symbol = ::dlsym(RTLD_DEFAULT, "__asan_init");
  Dl_info info{};
  if (!symbol || ::dladdr(symbol, &info) == 0 || !info.dli_fname) {
    return {};
  }
  const QString file = QString::fromLocal8Bit(info.dli_fname);
  return file.contains(QLatin1String("libasan")) ? file : QString();
}
}  // namespace

QString UniqueInstanceName() {
  return QStringLiteral("tavrin-test-") + QUuid::createUuid().toString(QUuid::Id128);
}

QString RunTool(const QString& program, const QStringList& args, const QString& display) {
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("DISPLAY", display);
  p.setProcessEnvironment(env);
  p.start(program, args);
  p.waitForFinished(kProgramWaitMs);
  return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
}

XServer::XServer() {
  // The server picks a free display itself and names it on its standard output once it
  // listens: a number chosen here could be taken meanwhile by a test running beside it.
  // No reset when its last client goes: a program killed and started again finds the
  // server as it left it.
  process.start(
      "Xvfb", {"-displayfd", "1", "-noreset", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"});
  if (!process.waitForStarted(5000)) return;
  QByteArray number;
  (void)QTest::qWaitFor(
      [&] {
        process.waitForReadyRead(50);
        number += process.readAllStandardOutput();
        return number.endsWith('\n') || process.state() != QProcess::Running;
      },
      10000);
  bool ok = false;
  const int n = number.trimmed().toInt(&ok);
  if (ok && process.state() == QProcess::Running) display = QStringLiteral(":%1").arg(n);
}

XServer::~XServer() {
  process.terminate();
  process.waitForFinished(5000);
}

Program::Program(const QString& folder, const ProgramOptions& options) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", options.x ? "xcb" : "offscreen");
  if (options.x) env.insert("DISPLAY", options.x->display);
  env.insert("TAVRIN_INSTANCE_NAME",
             options.instanceName.isEmpty() ? UniqueInstanceName() : options.instanceName);
  QStringList preloads = options.preloads;
  if (!options.faultyReads.isEmpty()) {
    env.insert("TAVRIN_FAULT_READ", options.faultyReads);
    preloads << QStringLiteral(TAVRIN_READ_FAULT_LIBRARY);
  }
  for (const auto& [name, value] : options.environment) env.insert(name, value);
  if (!preloads.isEmpty()) {
    const QString runtime = SanitizerRuntime();
    env.insert("LD_PRELOAD", (runtime.isEmpty() ? QString() : runtime + ' ') + preloads.join(' '));
  }
  process.setProcessEnvironment(env);
  process.setWorkingDirectory(folder);
  process.setProcessChannelMode(QProcess::ForwardedChannels);
  QStringList args = options.args;
  if (options.x) args << "-stylesheet" << kStyleSheet;
  process.start(QStringLiteral(TAVRIN_EXECUTABLE), args);
}

Program::~Program() {
  if (process.state() != QProcess::NotRunning) {
    process.kill();
    process.waitForFinished(5000);
  }
}

void Program::Signal(int sig) {
  ::kill(static_cast<pid_t>(process.processId()), sig);
}

bool Program::EndedNormally(int timeoutMs) {
  return process.waitForFinished(timeoutMs) && process.exitStatus() == QProcess::NormalExit &&
         process.exitCode() == 0;
}

QStringList XUser::VisibleWindows(bool dialogs) {
  QStringList found;
  const QStringList ids =
      Tool("xdotool", {"search", "--onlyvisible", "--name", "."}).split('\n', Qt::SkipEmptyParts);
  for (const QString& id : ids) {
    const bool dialog = Tool("xprop", {"-id", id, "_NET_WM_WINDOW_TYPE"})
                            .contains(QLatin1String("_NET_WM_WINDOW_TYPE_DIALOG"));
    if (dialog == dialogs) found << id;
  }
  return found;
}

QString XUser::WaitForMainWindow(int timeoutMs) {
  QString id;
  (void)QTest::qWaitFor(
      [&] {
        id = VisibleWindows(false).value(0);
        return !id.isEmpty();
      },
      timeoutMs);
  return id;
}

std::optional<XWindow> XUser::WaitForBox(int timeoutMs) {
  std::optional<XWindow> box;
  (void)QTest::qWaitFor(
      [&] {
        const QStringList open = VisibleWindows(true);
        // A box closed since is forgotten: a dialog kept for reuse opens again as the same
        // window.
        seen_.removeIf([&](const QString& id) { return !open.contains(id); });
        for (const QString& id : open) {
          if (!seen_.contains(id)) {
            seen_ << id;
            box = XWindow{id, Tool("xdotool", {"getwindowname", id})};
            return true;
          }
        }
        return false;
      },
      timeoutMs);
  return box;
}

QString XUser::BoxText(const XWindow& box) {
  // The OK button has the focus; Tab reaches the text.
  Tool("xsel", {"--clipboard", "--clear"});
  Tool("xdotool", {"windowfocus", "--sync", box.id});
  for (int i = 0; i < kCopyTries; ++i) {
    Tool("xdotool", {"key", "--clearmodifiers", "Tab", "ctrl+a", "ctrl+c"});
    QString text;
    if (QTest::qWaitFor(
            [&] {
              text = Tool("xsel", {"--clipboard", "--output"});
              return !text.isEmpty();
            },
            500)) {
      return text;
    }
  }
  return {};
}

QString XUser::ReadAndCloseBox(int timeoutMs) {
  const std::optional<XWindow> box = WaitForBox(timeoutMs);
  if (!box) return {};
  const QString text = BoxText(*box);
  Press(box->id, "Escape");
  WaitUntilClosed(box->id);
  return text;
}

void XUser::Press(const QString& window, const char* key) {
  Tool("xdotool", {"windowfocus", "--sync", window});
  Tool("xdotool", {"key", "--clearmodifiers", QString::fromLatin1(key)});
}

bool XUser::WaitUntilClosed(const QString& window, int timeoutMs) {
  const bool closed =
      QTest::qWaitFor([&] { return !VisibleWindows(true).contains(window); }, timeoutMs);
  // The same window may open again (a dialog kept for reuse): then it is a new box.
  if (closed) seen_.removeAll(window);
  return closed;
}

int XUser::MenuBarHeight(const QString& mainWindow) {
  const QStringList geometry =
      Tool("xdotool", {"getwindowgeometry", "--shell", mainWindow}).split('\n');
  int height = -1;
  for (const QString& line : geometry) {
    if (line.startsWith(QLatin1String("HEIGHT="))) height = line.mid(7).toInt();
  }
  return height - kClientHeight;
}

void XUser::ClickClient(const QString& mainWindow, int x, int y) {
  const int menuBar = MenuBarHeight(mainWindow);
  // "--sync" waits until the pointer has moved, so a click on the spot of the last one
  // would wait for a move that never comes: the pointer leaves the spot first.
  Tool("xdotool", {"mousemove", "--sync", "--window", mainWindow, "0", "0"});
  Tool("xdotool", {"mousemove", "--sync", "--window", mainWindow, QString::number(x),
                   QString::number(menuBar + y), "click", "1"});
}

void XUser::ClickMenuBar(const QString& mainWindow, int x) {
  const int menuBar = MenuBarHeight(mainWindow);
  Tool("xdotool", {"mousemove", "--sync", "--window", mainWindow, "0", "0"});
  Tool("xdotool", {"mousemove", "--sync", "--window", mainWindow, QString::number(x),
                   QString::number(menuBar / 2), "click", "1"});
}

void XUser::Keys(const QStringList& keys) {
  Tool("xdotool", QStringList{"key", "--clearmodifiers"} + keys);
}

void XUser::Type(const QString& window, const QString& text) {
  Tool("xdotool", {"windowfocus", "--sync", window});
  Tool("xdotool", {"type", "--clearmodifiers", "--delay", "2", text});
}

bool WaitForCommand(const vmodem::VirtualModem& modem, const std::string& command,
                    int timeoutMs) {
  return QTest::qWaitFor(
      [&] {
        const auto sent = modem.commands();
        return std::find(sent.begin(), sent.end(), command) != sent.end();
      },
      timeoutMs);
}

QByteArray ReadBytes(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

bool WriteBytes(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}
