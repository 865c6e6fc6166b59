// Program entry: the single-instance rule, the windows, and the signals that end the
// program the normal way.
#include <sys/stat.h>

#include <QDir>
#include <QIcon>
#include <QSessionManager>

#include "app/AppInfo.h"
#include "app/Application.h"
#include "app/MainForm.h"
#include "app/PortMapSource.h"
#include "app/SignalBridge.h"
#include "app/SingleInstance.h"
#include "setup/Shared.h"

namespace {
const QString kSkipSingleInstance = QStringLiteral("ONIDE");
constexpr mode_t kPrivateUmask = 077;
}  // namespace

int main(int argc, char** argv) {
  // Recordings, the call list, the event log and the settings are the user's alone.
  ::umask(kPrivateUmask);
  TApplication app(argc, argv);
  TApplication::setApplicationName(QString::fromLatin1(kAppTitle));
  TApplication::setApplicationVersion(QString::fromLatin1(kAppVersion));
  TApplication::setQuitOnLastWindowClosed(false);  // the main window alone ends the program
  // Desktops match the window to its menu entry and icon by these.
  TApplication::setDesktopFileName(QString::fromLatin1(kAppDesktopName));
  QIcon icon(QStringLiteral(":/tavrin-256.png"));
  icon.addFile(QStringLiteral(":/tavrin-48.png"));
  TApplication::setWindowIcon(QIcon::fromTheme(QString::fromLatin1(kAppDesktopName), icon));

  const bool skipRule = TApplication::arguments().value(1).toUpper() == kSkipSingleInstance;
  TSingleInstance instance(TSingleInstance::DefaultName());
  if (skipRule) {
    instance.AcquireIfFree();
  } else if (!instance.Acquire()) {
    return 0;
  }

  TMainForm form;
  InstallPortMapSource(QDir(StartDirectory).filePath(kSettingsFileName));
  form.OnClosed = [] { TApplication::quit(); };
  instance.OnRaise = [&form] {
    form.showNormal();
    form.raise();
    form.activateWindow();
  };

  TSignalBridge signalBridge;
  signalBridge.OnSignal = [&form](int) { CloseProgram(form); };
  QObject::connect(&app, &QGuiApplication::commitDataRequest, &form,
                   [&form](QSessionManager&) { CloseProgram(form); });
  QObject::connect(&app, &QCoreApplication::aboutToQuit, &form, [&form] {
    if (!form.ShutDownDone()) {
      form.FormClose();
    }
  });

  form.show();
  return TApplication::exec();
}
