// The desktop's notice of a call, through the real main window on the virtual modem and
// a real session bus of the test's own: what the notification service is asked (show,
// replace, withdraw, and with which texts), and what happens with no service or no bus.
#include <gtest/gtest.h>
#include <QTest>
#include <QToolButton>

#include "CallRig.h"
#include "common/SessionBus.h"
#include "modem/ModemF.h"
#include "modem/MonitorForm.h"
#include "recording/RecorderPanel.h"
#include "setup/SteadyClock.h"

namespace {
constexpr int kWaitMs = 15000;
// After the last ring the ringing is taken to be over this much later (a ring's gap of
// the modem here, and a margin), so that the test need not wait for a real cadence's.
constexpr int kRingingOverMs = 1200;
const QString kNoNotice = QStringLiteral("No desktop notification of calls: ");

// The calls of the service since `from`, as "Notify(replaces)|body" and "Close(id)".
QStringList Summary(const std::vector<TNoticeCall>& calls, size_t from = 0) {
  QStringList out;
  for (size_t i = from; i < calls.size(); ++i) {
    const TNoticeCall& c = calls[i];
    out << (c.method == "Notify" ? QStringLiteral("Notify(%1)|%2").arg(c.replaces).arg(c.body)
                                 : QStringLiteral("Close(%1)").arg(c.id));
  }
  return out;
}

int Lines(const TMainForm& form, const QString& start) {
  int n = 0;
  for (const QString& line : form.MonitorForm->Lines()) n += line.startsWith(start);
  return n;
}
}  // namespace

TEST(NotifyTest, EachCallIsShownReplacedByItsLaterRingsAndWithdrawnWhenRecordedOrOver) {
  TSessionBus bus;
  ASSERT_FALSE(bus.Address().isEmpty()) << "dbus-daemon did not start";
  qputenv("DBUS_SESSION_BUS_ADDRESS", bus.Address().toUtf8());
  TNotificationListener service(bus.Address());
  ASSERT_TRUE(service.Owned());

  vmodem::Options o = CallingModem(-1);
  o.ring.atSeconds = 1.2;  // once the start sequence has switched caller ID on
  o.ring.moreAtSeconds = {4.5};
  o.ring.moreCallers = {{"P", ""}};
  o.ring.periodSeconds = 0.4;
  o.ring.rings = 4;
  CallRig rig(o, CallIni("CallerId=1\nNotifyCalls=1\n"));
  TMainForm& form = rig.Start();
  ASSERT_TRUE(form.ModemF->PortIsOpen) << rig.fx.messages.join('\n').toStdString();
  form.Recorder->CallWatch.SetRingingOverMs(kRingingOverMs);

  // The first call rings four times and nobody records it: its notice goes once the
  // ringing is over.
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return !service.calls.empty() && service.calls.back().method == "CloseNotification"; },
      kWaitMs))
      << Summary(service.calls).join(' ').toStdString();
  const std::vector<TNoticeCall> first = service.calls;
  const TNoticeCall& shown = first.front();
  EXPECT_EQ(shown.method, "Notify");
  EXPECT_EQ(shown.appName, "Tavrin");
  EXPECT_EQ(shown.icon, "tavrin");
  EXPECT_EQ(shown.summary, "Incoming call");
  EXPECT_EQ(shown.hints.value("desktop-entry").toString(), "tavrin");
  EXPECT_EQ(shown.replaces, 0u);
  const uint id = shown.id;
  ASSERT_NE(id, 0u);
  // Replaced, never stacked: every later notice of the call replaces the first, with
  // the caller once the caller ID has come (between the first two rings), and again at
  // each later ring.
  const QStringList summary = Summary(first);
  const QString replaced = QStringLiteral("Notify(%1)|5551234 JOHN DOE").arg(id);
  EXPECT_EQ(summary.front(), "Notify(0)|");
  EXPECT_EQ(summary.back(), QStringLiteral("Close(%1)").arg(id));
  EXPECT_GE(summary.count(replaced), rig.modem.status().rings);
  for (qsizetype i = 1; i + 1 < summary.size(); ++i) {
    EXPECT_TRUE(summary[i].startsWith(QStringLiteral("Notify(%1)|5551234").arg(id)))
        << summary.join(' ').toStdString();
  }
  for (const TNoticeCall& c : first) {
    if (c.method != "Notify") continue;
    EXPECT_EQ(c.summary, "Incoming call");
    EXPECT_EQ(c.icon, "tavrin");
    EXPECT_EQ(c.hints.value("desktop-entry").toString(), "tavrin");
  }

  // The second call, withheld, comes 10 s later as far as the call watch's clock goes (a
  // ring's gap and more: another call), and is recorded: its notice goes as the
  // recording begins.
  form.Recorder->CallWatch.Clock = [] { return SteadyMs() + 10000; };
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.StatusPanel(2) == " Call from withheld number"; },
                              kWaitMs));
  QTest::qWait(50);  // the notice goes out once the lines that came with the caller are in
  form.RecSb1->click();
  ASSERT_TRUE(form.RecordingActive()) << rig.fx.messages.join('\n').toStdString();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return service.calls.back().method == "CloseNotification"; }, kWaitMs));
  const QStringList second = Summary(service.calls, first.size());
  ASSERT_GE(second.size(), 3) << second.join(' ').toStdString();
  EXPECT_EQ(second.front(), "Notify(0)|");
  const uint secondId = service.calls[first.size()].id;
  EXPECT_NE(secondId, id);
  EXPECT_EQ(second[1], QStringLiteral("Notify(%1)|withheld number").arg(secondId));
  EXPECT_EQ(second.back(), QStringLiteral("Close(%1)").arg(secondId));
  // Nothing more while it is recorded.
  QTest::qWait(kRingingOverMs + 300);
  EXPECT_EQ(Summary(service.calls, first.size()), second);
  EXPECT_EQ(Lines(form, kNoNotice), 0);
  EXPECT_TRUE(rig.fx.messages.isEmpty()) << rig.fx.messages.join('\n').toStdString();
  form.close();
}

TEST(NotifyTest, WithTheNoticeOffTheServiceIsNeverAsked) {
  TSessionBus bus;
  ASSERT_FALSE(bus.Address().isEmpty()) << "dbus-daemon did not start";
  qputenv("DBUS_SESSION_BUS_ADDRESS", bus.Address().toUtf8());
  TNotificationListener service(bus.Address());
  ASSERT_TRUE(service.Owned());
  MainFormFixture fx;
  fx.Write("Tavrin.ini", CallIni("CallerId=1\nNotifyCalls=0\n"));
  TMainForm& form = fx.Start();  // the port does not open; the lines are handed in below
  for (const char* line : {"RING", "NMBR = 5551234", "RING"}) {
    form.Recorder->CallWatch.TakeLine(line);
  }
  QTest::qWait(300);
  EXPECT_TRUE(service.calls.empty());
  EXPECT_EQ(form.StatusPanel(2), " Call from 5551234");  // the caller ID works as before
  form.close();
}

// With no notification service on the bus, and with no bus at all: one line in the
// monitor says so, and nothing else happens, call after call.
void NoticesGoNowhere(const QByteArray& busAddress) {
  qputenv("DBUS_SESSION_BUS_ADDRESS", busAddress);
  MainFormFixture fx;
  fx.Write("Tavrin.ini", CallIni("NotifyCalls=1\n"));
  TMainForm& form = fx.Start();
  fx.messages.clear();  // the port's, which does not open here
  ASSERT_TRUE(form.Recorder->CallWatch.Enabled());
  form.Recorder->CallWatch.SetRingingOverMs(200);
  for (int call = 0; call < 3; ++call) {
    form.Recorder->CallWatch.TakeLine("RING");
    form.Recorder->CallWatch.TakeLine("NMBR = P");
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.StatusPanel(2) == " Virtual"; }, kWaitMs));
    QTest::qWait(100);
  }
  EXPECT_TRUE(QTest::qWaitFor([&] { return Lines(form, kNoNotice) >= 1; }, kWaitMs));
  QTest::qWait(300);
  EXPECT_EQ(Lines(form, kNoNotice), 1) << form.MonitorForm->Lines().join('|').toStdString();
  EXPECT_TRUE(fx.messages.isEmpty()) << fx.messages.join('\n').toStdString();
  form.close();
  EXPECT_EQ(QString::fromLatin1(fx.Read("Events.log")).count(kNoNotice), 1);
}

TEST(NotifyTest, WithNoServiceOnTheBusOneMonitorLineSaysSo) {
  TSessionBus bus;
  ASSERT_FALSE(bus.Address().isEmpty()) << "dbus-daemon did not start";
  NoticesGoNowhere(bus.Address().toUtf8());
}

TEST(NotifyTest, WithNoSessionBusOneMonitorLineSaysSo) {
  const QTemporaryDir nowhere;
  NoticesGoNowhere("unix:path=" + nowhere.filePath("no-bus").toUtf8());
}
