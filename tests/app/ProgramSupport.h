#pragma once
// The built program run as its user runs it: a process of its own in a folder of its
// own, on the offscreen platform or on a private X server where a test reads its boxes
// and clicks its buttons (xdotool), with the read fault seam preloaded when a test asks.
#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vmodem {
class VirtualModem;
}

inline constexpr int kProgramWaitMs = 30000;

QString UniqueInstanceName();

// Runs a tool with DISPLAY set to `display`; its output, trimmed.
QString RunTool(const QString& program, const QStringList& args, const QString& display);

// A private X server for one test; `display` stays empty when none could be started.
struct XServer {
  XServer();
  ~XServer();
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;
  QProcess process;
  QString display;
};

struct ProgramOptions {
  ProgramOptions& Args(QStringList a) {
    args = std::move(a);
    return *this;
  }
  ProgramOptions& Instance(QString name) {
    instanceName = std::move(name);
    return *this;
  }
  ProgramOptions& On(const XServer& server) {
    x = &server;
    return *this;
  }
  // Base names of files whose every read fails with EIO (':' between them); the program
  // then runs with the read fault seam preloaded.
  ProgramOptions& FailingReads(QString names) {
    faultyReads = std::move(names);
    return *this;
  }
  // A fault seam of the tests (a library) preloaded into the program.
  ProgramOptions& Preload(QString library) {
    preloads << std::move(library);
    return *this;
  }
  // A variable of the program's environment (the seams' settings).
  ProgramOptions& Environment(QString name, QString value) {
    environment.emplace_back(std::move(name), std::move(value));
    return *this;
  }
  QStringList args = {QStringLiteral("ONIDE")};
  QString instanceName;        // empty: one of its own
  const XServer* x = nullptr;  // nullptr: the offscreen platform
  QString faultyReads;
  QStringList preloads;
  std::vector<std::pair<QString, QString>> environment;
};

class Program {
 public:
  explicit Program(const QString& folder, const ProgramOptions& options = {});
  ~Program();  // kills a program that still runs
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;
  void Signal(int sig);
  bool Running() const { return process.state() == QProcess::Running; }
  // Waits for the end; true when the program ended normally with exit code 0.
  bool EndedNormally(int timeoutMs = kProgramWaitMs);
  QProcess process;
};

// A top-level window of the program on the X server.
struct XWindow {
  QString id;
  QString title;
};

// What a user of the program sees and does on the X server. A program started on it
// runs with a style sheet that makes the texts of its boxes selectable, so that a box's
// text can be read the way a user copies it: selected and copied to the clipboard.
class XUser {
 public:
  explicit XUser(const XServer& x) : display_(x.display) {}

  // The main window, once it is shown; empty on timeout.
  QString WaitForMainWindow(int timeoutMs = kProgramWaitMs);
  // Waits for a box (a dialog window) not returned while it has been open; nothing on timeout.
  std::optional<XWindow> WaitForBox(int timeoutMs = kProgramWaitMs);
  // The text of an open box.
  QString BoxText(const XWindow& box);
  // The box text of the next box; closes it with its OK button (Escape). Empty on timeout.
  QString ReadAndCloseBox(int timeoutMs = kProgramWaitMs);
  // Focuses the window and presses the key ("Return": the default button).
  void Press(const QString& window, const char* key);
  bool WaitUntilClosed(const QString& window, int timeoutMs = kProgramWaitMs);
  // Clicks a point of the main window's client area (below the menu bar).
  void ClickClient(const QString& mainWindow, int x, int y);
  // Clicks the menu bar of the main window x pixels from its left edge.
  void ClickMenuBar(const QString& mainWindow, int x);
  // Presses keys in turn ("Down", "Return") in the window that has the focus.
  void Keys(const QStringList& keys);
  // Types text into the window, as a user at the keyboard.
  void Type(const QString& window, const QString& text);
  // The boxes (dialog windows) open now.
  QStringList OpenBoxes() { return VisibleWindows(true); }

 private:
  QStringList VisibleWindows(bool dialogs);
  int MenuBarHeight(const QString& mainWindow);
  QString Tool(const QString& program, const QStringList& args) {
    return RunTool(program, args, display_);
  }
  QString display_;
  QStringList seen_;
};

// Waits until the program has sent `command` to the virtual modem.
bool WaitForCommand(const vmodem::VirtualModem& modem, const std::string& command,
                    int timeoutMs = kProgramWaitMs);

QByteArray ReadBytes(const QString& path);
bool WriteBytes(const QString& path, const QByteArray& bytes);
