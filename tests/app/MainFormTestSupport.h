#pragma once
// A main window in a folder of its own, with the message, confirmation and input boxes
// and the modal windows answered by the test.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>

#include "calls/CallFile.h"
#include "app/MainForm.h"
#include "serial/PortMap.h"
#include "setup/Dialogs.h"
#include "setup/SpecModemForm.h"

// A device path that exists on no machine: the port fails to open whatever the machine has.
inline constexpr const char* kNoDevicePath = "/nonexistent/tavrin-test-tty";

// Tavrin.ini with the profile of the virtual modem (its default profile) on COM1.
inline constexpr const char* kVirtualModemIni =
    "[Modem]\nport=1\nModel=Virtual\nSamplingFreq=8000\nVoiceMode=at+fclass=8\n"
    "RecGain=at+vgr=128\nVoiceCompression=at+vsm=1,8000\n"
    "[Params]\nUseLine=at+vls=1\nUseLineRes=OK\nCompression=UNSIGNED PCM\nVoicefeatures=1\n";

// The modal windows of a first start answered as its user does: the modem found is
// confirmed with "Ok"; any other window is left at once.
inline void ConfirmTheModemFound(TMainForm& form) {
  form.ExecModal = [](QDialog& dialog) {
    auto* modemList = dynamic_cast<TSpecModemForm*>(&dialog);
    if (!modemList) return 0;
    modemList->show();
    modemList->OkBtnClick();
    return static_cast<int>(QDialog::Accepted);
  };
}

class MainFormFixture {
 public:
  MainFormFixture() : oldDir_(QDir::currentPath()) {
    QDir::setCurrent(dir.path());
    DialogHooks hooks;
    hooks.message = [this](const QString& text) { messages << text; };
    hooks.confirm = [this](const QString& caption, const QString& text) {
      confirms << caption + "|" + text;
      return confirmAnswer;
    };
    hooks.input = [this](const QString& caption, const QString&, const QString& def) {
      inputs << caption + "|" + def;
      return inputAnswer;
    };
    SetDialogHooks(hooks);
    // The machine's own serial ports (/dev/ttyS0...) must not answer for COMn here.
    SetPortPathSource([this](int) { return std::optional<std::string>(portPath); });
  }
  ~MainFormFixture() {
    form.reset();
    SetDialogHooks({});
    SetPortPathSource(nullptr);
    QDir::setCurrent(oldDir_);
  }
  MainFormFixture(const MainFormFixture&) = delete;
  MainFormFixture& operator=(const MainFormFixture&) = delete;

  QString Path(const QString& name) const { return dir.filePath(name); }
  void Write(const QString& name, const QByteArray& bytes) const {
    QFile f(Path(name));
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(bytes);
  }
  QByteArray Read(const QString& name) const {
    QFile f(Path(name));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
  }

  // A call in Calls.dbt (after those already there) with its WAV file in wav/.
  void AddRecording(const QString& name, const QByteArray& wavImage) const {
    QDir(dir.path()).mkpath(QStringLiteral("wav"));
    Write(QStringLiteral("wav/") + name + QStringLiteral(".wav"), wavImage);
    std::vector<TCallRecord> calls = LoadCallFile(Path(QString::fromLatin1(kCallFileName)));
    TCallRecord r;
    r.FileName = name;
    r.Date = QStringLiteral("01.02.2024");
    r.Time = QStringLiteral("10:00:00");
    r.Duration = QStringLiteral("0:3");
    calls.push_back(r);
    SaveCallFile(Path(QString::fromLatin1(kCallFileName)), calls);
  }

  TMainForm& Create() {
    form = std::make_unique<TMainForm>();
    form->ExecModal = [this](QDialog& d) {
      modals << d.objectName() + "|" + d.windowTitle();
      return modalResult;
    };
    return *form;
  }
  // Shows the window and lets the start sequence run.
  TMainForm& Start() {
    if (!form) Create();
    form->show();
    QCoreApplication::processEvents();
    return *form;
  }

  QTemporaryDir dir;
  std::unique_ptr<TMainForm> form;
  QStringList messages, confirms, inputs, modals;
  std::string portPath = kNoDevicePath;  // the device of every port number
  bool confirmAnswer = true;
  QString inputAnswer;
  int modalResult = 0;

 private:
  QString oldDir_;
};
