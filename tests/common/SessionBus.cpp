#include "common/SessionBus.h"

#include <QFile>

namespace {
const QString kListenerConnection = QStringLiteral("notification-listener");
constexpr int kDaemonWaitMs = 5000;
}  // namespace

TSessionBus::TSessionBus() {
  const QString config = dir_.filePath(QStringLiteral("bus.conf"));
  QFile f(config);
  if (!f.open(QIODevice::WriteOnly)) return;
  f.write("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
          " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
          "<busconfig><type>session</type><listen>unix:dir=" +
          dir_.path().toUtf8() +
          "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
          "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
          "<allow own=\"*\"/></policy></busconfig>\n");
  f.close();
  daemon_.start(QStringLiteral("dbus-daemon"),
                {QStringLiteral("--nofork"), QStringLiteral("--print-address=1"),
                 QStringLiteral("--config-file=") + config});
  if (!daemon_.waitForStarted(kDaemonWaitMs)) return;
  while (!daemon_.canReadLine() && daemon_.waitForReadyRead(kDaemonWaitMs)) {
  }
  address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
}

TSessionBus::~TSessionBus() {
  daemon_.terminate();
  daemon_.waitForFinished(kDaemonWaitMs);
}

TNotificationListener::TNotificationListener(const QString& address)
    : bus_(QDBusConnection::connectToBus(address, kListenerConnection)) {
  owned_ = bus_.isConnected() &&
           bus_.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this,
                               QDBusConnection::ExportAllSlots) &&
           bus_.registerService(QStringLiteral("org.freedesktop.Notifications"));
}

TNotificationListener::~TNotificationListener() {
  QDBusConnection::disconnectFromBus(kListenerConnection);
}

uint TNotificationListener::Notify(const QString& appName, uint replaces, const QString& icon,
                                   const QString& summary, const QString& body,
                                   const QStringList&, const QVariantMap& hints, int) {
  // As the service does: a notice replaced keeps its number.
  const uint id = replaces != 0 ? replaces : ++lastId_;
  calls.push_back({QStringLiteral("Notify"), id, appName, replaces, icon, summary, body, hints});
  return id;
}

void TNotificationListener::CloseNotification(uint id) {
  TNoticeCall call;
  call.method = QStringLiteral("CloseNotification");
  call.id = id;
  calls.push_back(call);
}

QStringList TNotificationListener::GetCapabilities() {
  return {QStringLiteral("body")};
}
