#pragma once
// Shared set-up of the discovery window tests: a modem link and its windows as the
// program makes them, a settings file in a scratch folder, virtual modems on chosen
// COM ports and the message boxes answered by the test.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <map>
#include <memory>
#include <string>

#include "modem/ModemF.h"
#include "modem/MonitorForm.h"
#include "serial/PortMap.h"
#include "setup/Dialogs.h"
#include "setup/ProgressForm.h"
#include "setup/ScriptedModem.h"
#include "setup/Shared.h"
#include "setup/SpecModemForm.h"
#include "vmodem/VirtualModem.h"

// Clicks a button of a window once the window is shown (a modal window's own loop runs
// the click).
class ClickOnShow : public QObject {
 public:
  ClickOnShow(QWidget& window, QAbstractButton* button) : window_(window), button_(button) {
    window_.installEventFilter(this);
  }
  ~ClickOnShow() override { window_.removeEventFilter(this); }
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == &window_ && event->type() == QEvent::Show) {
      QTimer::singleShot(0, button_, [b = button_] { QTest::mouseClick(b, Qt::LeftButton); });
    }
    return false;
  }

 private:
  QWidget& window_;
  QAbstractButton* button_;
};

class Discovery : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    previousDir = QDir::currentPath();
    QDir::setCurrent(dir.path());
    StartDirectory = dir.path();
    SettingsFile = std::make_unique<TIniFile>(dir.filePath(QLatin1String(kSettingsFileName)));
    link.OnSpecMemoEcho = [this](const QByteArray& chunk) { modemList.AddMemoLine(chunk); };
    SetPortPathSource([this](int n) -> std::optional<std::string> {
      auto it = paths.find(n);
      if (it != paths.end()) return it->second;
      return std::string("/nonexistent/tavrin-com") + std::to_string(n);
    });
    SetDialogHooks({[this](const QString& text) { messages << text; }, {}, {}});
    QObject::connect(progress.ProgressBar1, &QProgressBar::valueChanged,
                     [this](int v) { progressValues << v; });
  }

  void TearDown() override {
    if (link.ComPort1.Open()) link.ComPort1.SetOpen(false);
    SetPortPathSource(nullptr);
    SetDialogHooks({});
    SettingsFile.reset();
    QDir::setCurrent(previousDir);
  }

  // A virtual modem made from the options on COMn.
  vmodem::VirtualModem& AddModem(int n, const vmodem::Options& options) {
    auto modem = std::make_unique<vmodem::VirtualModem>(options);
    modem->start();
    paths[n] = modem->slavePath();
    auto& ref = *modem;
    modems.push_back(std::move(modem));
    return ref;
  }

  // A virtual modem of the named profile on COMn.
  vmodem::VirtualModem& AddModem(int n, const std::string& profile) {
    vmodem::Options options;
    options.profile = profile;
    return AddModem(n, options);
  }

  // A virtual modem described by profile text on COMn.
  vmodem::VirtualModem& AddModemText(int n, const std::string& profileText) {
    vmodem::Options options;
    options.profileText = profileText;
    return AddModem(n, options);
  }

  // A test modem whose every answer the test chooses, on COMn.
  testmodem::ScriptedModem& AddScripted(int n, testmodem::Script script) {
    scripted.push_back(std::make_unique<testmodem::ScriptedModem>(std::move(script)));
    paths[n] = scripted.back()->SlavePath();
    return *scripted.back();
  }

  // The settings file as "Section/key=value" lines, in file order.
  QStringList IniEntries() const {
    QFile f(dir.filePath(QLatin1String(kSettingsFileName)));
    if (!f.open(QIODevice::ReadOnly)) return {};
    QStringList out;
    QString section;
    for (QByteArray raw : f.readAll().split('\n')) {
      const QString line = QString::fromLatin1(raw).trimmed();
      if (line.isEmpty()) continue;
      if (line.startsWith('[') && line.endsWith(']')) {
        section = line.mid(1, line.size() - 2);
        continue;
      }
      out << section + '/' + line;
    }
    return out;
  }

  QString Ini(const QString& section, const QString& key) const {
    return SettingsFile->ReadString(section, key, QStringLiteral("<absent>"));
  }

  QTemporaryDir dir;
  QString previousDir;
  TMonitorForm monitor;
  TModemF link{&monitor};
  TProgressForm progress;
  TSpecModemForm modemList{link, progress};
  std::map<int, std::string> paths;
  std::vector<std::unique_ptr<vmodem::VirtualModem>> modems;
  std::vector<std::unique_ptr<testmodem::ScriptedModem>> scripted;
  QStringList messages;
  QList<int> progressValues;
};
