#pragma once
// A session bus of the test's own (dbus-daemon, in a folder of its own, no services to
// start), and a stand-in for the desktop's notification service on it that records what
// it is asked.
#include <QDBusConnection>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantMap>
#include <vector>

class TSessionBus {
 public:
  TSessionBus();
  ~TSessionBus();
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
  uint id = 0;     // Notify: the number it gave back; CloseNotification: the one closed
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
  explicit TNotificationListener(const QString& address);
  ~TNotificationListener() override;
  bool Owned() const { return owned_; }

  std::vector<TNoticeCall> calls;

 public slots:
  uint Notify(const QString& appName, uint replaces, const QString& icon, const QString& summary,
              const QString& body, const QStringList& actions, const QVariantMap& hints,
              int timeout);
  void CloseNotification(uint id);
  QStringList GetCapabilities();

 private:
  QDBusConnection bus_;
  bool owned_ = false;
  uint lastId_ = 0;
};
