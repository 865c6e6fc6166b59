#pragma once
// A session bus of the test's own (dbus-daemon, in a folder of its own, no services to
// start), and a stand-in for the desktop's notification service on it that records what
// it is asked.
#include <QDBusConnection>
#include <QDBusVariant>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantMap>
#include <vector>

class TSessionBus {
 public:
  TSessionBus() {
    const QString config = dir_.filePath(QStringLiteral("bus.conf"));
    QFile f(config);
    f.open(QIODevice::WriteOnly);
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
    if (!daemon_.waitForStarted(5000)) return;
    while (!daemon_.canReadLine() && daemon_.waitForReadyRead(5000)) {
    }
    address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
  }
  ~TSessionBus() {
    daemon_.terminate();
    daemon_.waitForFinished(5000);
  }
  TSessionBus(const TSessionBus&) = delete;
  TSessionBus& operator=(const TSessionBus&) = delete;

  // Empty when the bus did not start.
  const QString& Address() const { return address_; }

 private:
  QTemporaryDir dir_;
  QProcess daemon_;
  QString address_;
};

// What the notification service was asked, in order.
struct TNoticeCall {
  QString method;  // "Notify" or "CloseNotification"
  uint id = 0;     // Notify: the number it got back; CloseNotification: the one closed
  QString appName;
  uint replaces = 0;
  QString icon;
  QString summary;
  QString body;
  QVariantMap hints;
};

class TNotificationListener : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

 public:
  // Owns the service's name on the bus at address; Owned() tells whether it could.
  explicit TNotificationListener(const QString& address)
      : bus_(QDBusConnection::connectToBus(address, QStringLiteral("notification-listener"))) {
    owned_ = bus_.isConnected() &&
             bus_.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this,
                                 QDBusConnection::ExportAllSlots) &&
             bus_.registerService(QStringLiteral("org.freedesktop.Notifications"));
  }
  ~TNotificationListener() override {
    QDBusConnection::disconnectFromBus(QStringLiteral("notification-listener"));
  }
  bool Owned() const { return owned_; }

  std::vector<TNoticeCall> calls;

 public slots:
  uint Notify(const QString& appName, uint replaces, const QString& icon, const QString& summary,
              const QString& body, const QStringList&, const QVariantMap& hints, int) {
    // As the service does: a notice replaced keeps its number.
    const uint id = replaces != 0 ? replaces : ++lastId_;
    calls.push_back({QStringLiteral("Notify"), id, appName, replaces, icon, summary, body, hints});
    return id;
  }
  void CloseNotification(uint id) {
    TNoticeCall call;
    call.method = QStringLiteral("CloseNotification");
    call.id = id;
    calls.push_back(call);
  }
  QStringList GetCapabilities() { return {QStringLiteral("body")}; }

 private:
  QDBusConnection bus_;
  bool owned_ = false;
  uint lastId_ = 0;
};
