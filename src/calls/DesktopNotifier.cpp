#include "calls/DesktopNotifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>
#include <utility>

namespace {
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
const QString kDesktopEntryHint = QStringLiteral("desktop-entry");
constexpr int kServerDefaultTimeout = -1;
}  // namespace

TDesktopNotifier::TDesktopNotifier(TNoticeSender sender, std::function<QDBusConnection()> bus)
    : sender_(std::move(sender)), bus_(std::move(bus)) {}

TDesktopNotifier::~TDesktopNotifier() {
  // A notice left on the desktop would announce a call long gone.
  Withdraw();
}

std::optional<QDBusConnection> TDesktopNotifier::Bus() {
  if (!connection_) connection_ = bus_();
  if (!connection_->isConnected()) {
    const QString why = connection_->lastError().message();
    Unavailable(why.isEmpty() ? QStringLiteral("no session bus") : why);
    return std::nullopt;
  }
  return connection_;
}

void TDesktopNotifier::Show(const QString& caller) {
  if (awaiting_) {
    pending_ = caller;  // goes out as a replacement once the number is back
    withdrawPending_ = false;
    return;
  }
  Notify(caller, id_);
}

void TDesktopNotifier::Withdraw() {
  if (awaiting_) {
    pending_.reset();
    withdrawPending_ = true;
    return;
  }
  if (id_ != 0) Close(std::exchange(id_, 0));
}

void TDesktopNotifier::Notify(const QString& caller, uint32_t replaces) {
  const std::optional<QDBusConnection> bus = Bus();
  if (!bus) return;
  QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface,
                                                     QStringLiteral("Notify"));
  QVariantMap hints;
  hints.insert(kDesktopEntryHint, sender_.DesktopEntry);
  call << sender_.AppName << replaces << sender_.Icon << kTitle << caller << QStringList()
       << hints << kServerDefaultTimeout;
  awaiting_ = true;
  auto* watcher = new QDBusPendingCallWatcher(bus->asyncCall(call), &context_);
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, &context_,
                   [this](QDBusPendingCallWatcher* w) { Answered(w); });
}

void TDesktopNotifier::Answered(QDBusPendingCallWatcher* watcher) {
  watcher->deleteLater();
  awaiting_ = false;
  const QDBusPendingReply<uint32_t> reply = *watcher;
  if (reply.isError()) {
    id_ = 0;
    pending_.reset();
    withdrawPending_ = false;
    Unavailable(reply.error().message());
    return;
  }
  id_ = reply.value();
  if (std::exchange(withdrawPending_, false)) {
    Close(std::exchange(id_, 0));
  } else if (pending_) {
    Notify(*std::exchange(pending_, std::nullopt), id_);
  }
}

void TDesktopNotifier::Close(uint32_t id) {
  const std::optional<QDBusConnection> bus = Bus();
  if (!bus) return;
  QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface,
                                                     QStringLiteral("CloseNotification"));
  call << id;
  bus->asyncCall(call);  // the answer says nothing worth waiting for
}

void TDesktopNotifier::Unavailable(const QString& why) {
  if (std::exchange(toldUnavailable_, true)) return;
  if (OnUnavailable) OnUnavailable(why);
}
