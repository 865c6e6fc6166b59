// The desktop's notices on a real session bus of the test's own, with a stand-in for the
// notification service: what goes out while an answer is still awaited, and when the
// service is gone.
#include <gtest/gtest.h>
#include <QTest>
#include <memory>

#include "calls/DesktopNotifier.h"
#include "common/SessionBus.h"

namespace {
constexpr int kWaitMs = 5000;
const TNoticeSender kSender{QStringLiteral("Tavrin"), QStringLiteral("tavrin"),
                            QStringLiteral("tavrin")};

struct NotifierRig {
  NotifierRig() : service(bus.Address()) {
    notifier = std::make_unique<TDesktopNotifier>(kSender, [this] {
      return QDBusConnection::connectToBus(bus.Address(), QStringLiteral("notifier"));
    });
    notifier->OnUnavailable = [this](const QString& why) { unavailable << why; };
  }
  ~NotifierRig() {
    notifier.reset();
    QDBusConnection::disconnectFromBus(QStringLiteral("notifier"));
  }
  bool WaitForCalls(size_t n) {
    return QTest::qWaitFor([&] { return service.calls.size() >= n; }, kWaitMs);
  }
  QStringList Summary() const {
    QStringList out;
    for (const TNoticeCall& c : service.calls) {
      out << (c.method == "Notify" ? QStringLiteral("Notify(%1)|%2").arg(c.replaces).arg(c.body)
                                   : QStringLiteral("Close(%1)").arg(c.id));
    }
    return out;
  }

  TSessionBus bus;
  TNotificationListener service;
  std::unique_ptr<TDesktopNotifier> notifier;
  QStringList unavailable;
};
}  // namespace

TEST(DesktopNotifier, WhatIsShownMeanwhileReplacesTheNoticeOnceItsNumberIsBack) {
  NotifierRig rig;
  ASSERT_TRUE(rig.service.Owned());
  // Three texts before the service has answered the first: the last one replaces it.
  rig.notifier->Show(QString());
  rig.notifier->Show(QStringLiteral("5551234"));
  rig.notifier->Show(QStringLiteral("5551234 JOHN DOE"));
  ASSERT_TRUE(rig.WaitForCalls(2));
  QTest::qWait(100);
  EXPECT_EQ(rig.Summary(), QStringList({"Notify(0)|", "Notify(1)|5551234 JOHN DOE"}));
  const TNoticeCall& first = rig.service.calls.front();
  EXPECT_EQ(first.appName, "Tavrin");
  EXPECT_EQ(first.icon, "tavrin");
  EXPECT_EQ(first.summary, "Incoming call");
  EXPECT_EQ(first.hints.value("desktop-entry").toString(), "tavrin");
  // Withdrawn: closed; the next notice is one of its own.
  rig.notifier->Withdraw();
  rig.notifier->Withdraw();  // twice is once
  rig.notifier->Show(QStringLiteral("withheld number"));
  ASSERT_TRUE(rig.WaitForCalls(4));
  QTest::qWait(100);
  EXPECT_EQ(rig.Summary().mid(2), QStringList({"Close(1)", "Notify(0)|withheld number"}));
  // Withdrawn before its number is back: closed once it is, and nothing more goes out.
  rig.notifier->Withdraw();
  rig.notifier->Show(QString());
  rig.notifier->Withdraw();
  ASSERT_TRUE(rig.WaitForCalls(7));
  QTest::qWait(100);
  EXPECT_EQ(rig.Summary().mid(4), QStringList({"Close(2)", "Notify(0)|", "Close(3)"}));
  // The notifier's end takes a notice shown with it.
  rig.notifier->Show(QStringLiteral("5551234"));
  ASSERT_TRUE(rig.WaitForCalls(8));
  QTest::qWait(50);
  rig.notifier.reset();
  ASSERT_TRUE(rig.WaitForCalls(9));
  EXPECT_EQ(rig.Summary().last(), "Close(4)");
  EXPECT_TRUE(rig.unavailable.isEmpty());
}

TEST(DesktopNotifier, AServiceThatGoesAwayIsToldOnceAndTriedAgainQuietly) {
  NotifierRig rig;
  ASSERT_TRUE(rig.service.Owned());
  rig.notifier->Show(QStringLiteral("5551234"));
  ASSERT_TRUE(rig.WaitForCalls(1));
  QDBusConnection::connectToBus(rig.bus.Address(), QStringLiteral("notification-listener"))
      .unregisterService(QStringLiteral("org.freedesktop.Notifications"));
  rig.notifier->Withdraw();
  for (int call = 0; call < 3; ++call) {
    rig.notifier->Show(QStringLiteral("withheld number"));
    QTest::qWait(100);
    rig.notifier->Withdraw();
  }
  ASSERT_TRUE(QTest::qWaitFor([&] { return !rig.unavailable.isEmpty(); }, kWaitMs));
  QTest::qWait(200);
  EXPECT_EQ(rig.unavailable.size(), 1) << rig.unavailable.join('|').toStdString();
  EXPECT_EQ(rig.service.calls.size(), 1u);
}
