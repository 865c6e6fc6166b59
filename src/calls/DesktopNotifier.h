#pragma once
// The desktop's notices through the freedesktop notification service on the session
// bus (org.freedesktop.Notifications). Nothing waits for the bus: each request goes out
// at once and its answer comes back through the event loop; a notice shown before its
// number has come back is replaced or withdrawn once it has.
#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

#include "calls/CallNotifier.h"

class QDBusPendingCallWatcher;

// Who the notices are from.
struct TNoticeSender {
  QString AppName;       // "Tavrin"
  QString Icon;          // the application icon's name in the icon theme
  QString DesktopEntry;  // the desktop file's name, without ".desktop"
};

class TDesktopNotifier : public ICallNotifier {
 public:
  // The notice's title.
  static inline const QString kTitle = QStringLiteral("Incoming call");

  // bus: where the service is looked for; asked for at the first notice.
  explicit TDesktopNotifier(TNoticeSender sender,
                            std::function<QDBusConnection()> bus = QDBusConnection::sessionBus);
  ~TDesktopNotifier() override;
  TDesktopNotifier(const TDesktopNotifier&) = delete;
  TDesktopNotifier& operator=(const TDesktopNotifier&) = delete;

  void Show(const QString& caller) override;
  void Withdraw() override;

  // There is no bus, or no service on it: said once, with the reason; the notices of
  // later calls are tried all the same, and say nothing more.
  std::function<void(const QString& why)> OnUnavailable;

 private:
  void Notify(const QString& caller, uint32_t replaces);
  void Answered(QDBusPendingCallWatcher* watcher);
  void Close(uint32_t id);
  void Unavailable(const QString& why);
  std::optional<QDBusConnection> Bus();

  TNoticeSender sender_;
  std::function<QDBusConnection()> bus_;
  std::optional<QDBusConnection> connection_;
  QObject context_;  // the answers' receiver: none is taken once this notifier has gone
  uint32_t id_ = 0;  // the service's number of the notice shown, 0 when none is
  bool awaiting_ = false;            // a notice went out, its number has not come back
  std::optional<QString> pending_;   // shown meanwhile: the notice's text once it has
  bool withdrawPending_ = false;     // withdrawn meanwhile
  bool toldUnavailable_ = false;
};
