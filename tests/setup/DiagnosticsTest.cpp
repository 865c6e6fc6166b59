// The diagnostics report: the transcript in the monitor and in Diagnostics.log.
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <atomic>

#include "setup/Diagnostics.h"
#include "setup/DiscoveryFixture.h"

using testmodem::Chunks;

namespace {
class Diagnose : public Discovery {
 protected:
  void Open(int n) {
    link.ComPort1.SetComNumber(static_cast<uint16_t>(n));
    link.ComPort1.SetOpen(true);
    ASSERT_TRUE(link.PortIsOpen);
  }
  QByteArray LogFile() const {
    QFile f(dir.filePath(QLatin1String(kDiagnosticsFileName)));
    if (!f.open(QIODevice::ReadOnly)) return "<missing>";
    return f.readAll();
  }
  const QStringList queries = {"ate0",     "at+fclass=8", "at+fclass=?", "at+VNH=?", "at+FMI?",
                               "at+FMM?",  "at+FMR?",     "at+GMI?",     "at+GMM?",  "at+GMR?",
                               "at+FLO=?", "at+VIP=?",    "at+VTS=?",    "at+VXT=?", "at+VGR=?",
                               "at+VGT=?", "at+VIT=?",    "at+VLS=?",    "at+VRA=?", "at+VRN=?",
                               "at+VSD=?", "at+VSM=?",    "at+VTD=?",    "at+VDR=?", "at+VDT=?",
                               "at+VEM=?", "at+VBT=?",    "at+VPP=?",    "at+VPR=?"};
};
}  // namespace

TEST_F(Diagnose, ErrorAndOkOnlyAnswersAndTheFile) {
  AddScripted(1, [](const std::string& c) {
    if (c == "at+GMM?") return Chunks({"\r\nMODEL X\r\n\r\nOK\r\n"}, 5);
    if (c.find('?') != std::string::npos && c != "at+fclass=?") return Chunks({"\r\nERROR\r\n"}, 5);
    return Chunks({"\r\nOK\r\n"}, 5);
  });
  Open(1);
  monitor.Add(QStringLiteral("earlier line"));
  RunDiagnostics(link, progress);
  EXPECT_FALSE(progress.isVisible());
  EXPECT_EQ(progress.windowTitle(), "Progress...");
  ASSERT_EQ(progressValues.size(), 30);  // 0 when shown, then one step per query
  EXPECT_EQ(progressValues[0], 0);
  EXPECT_EQ(progressValues[1], 3);
  EXPECT_EQ(progressValues[15], 52);
  EXPECT_EQ(progressValues.last(), 100);
  QStringList expected;
  for (const QString& q : queries) {
    expected << q;
    if (q == "at+GMM?") {
      expected << "MODEL X";
    } else if (q.contains('?') && q != "at+fclass=?") {
      expected << "ERROR";
    } else {
      expected << "";  // "OK" alone: an empty answer
    }
    expected << "";
  }
  EXPECT_EQ(monitor.Lines(), expected);
  EXPECT_EQ(LogFile(), (expected.join("\r\n") + "\r\n").toLatin1());
  EXPECT_TRUE(messages.isEmpty());
}

TEST_F(Diagnose, UnansweredQueryLeavesOnlyItsLineAndASecondRunReplacesTheFile) {
  link.TimeoutFactor = 5;
  std::atomic<bool> answer{false};
  AddScripted(1, [&answer](const std::string& c) {
    if (!answer || c != "ate0") return std::vector<testmodem::Chunk>{};
    return Chunks({"\r\nOK\r\n"}, 5);
  });
  Open(1);
  RunDiagnostics(link, progress);
  EXPECT_EQ(monitor.Lines(), queries);
  EXPECT_EQ(LogFile(), (queries.join("\r\n") + "\r\n").toLatin1());
  answer = true;
  RunDiagnostics(link, progress);
  QStringList second = queries;
  second.insert(1, "");
  second.insert(1, "");
  EXPECT_EQ(LogFile(), (second.join("\r\n") + "\r\n").toLatin1());
}

TEST_F(Diagnose, ClosedPortRefusesWithAMessage) {
  monitor.Add(QStringLiteral("kept"));
  RunDiagnostics(link, progress);
  ASSERT_EQ(messages.size(), 1);
  EXPECT_TRUE(messages[0].contains("modem is off")) << messages[0].toStdString();
  EXPECT_FALSE(progress.isVisible());
  EXPECT_TRUE(progressValues.isEmpty());
  EXPECT_EQ(monitor.Lines(), QStringList({"kept"}));
  EXPECT_FALSE(QFile::exists(dir.filePath(QLatin1String(kDiagnosticsFileName))));
}

TEST_F(Diagnose, PortClosedHalfwayStopsReportsAndClosesTheProgressWindow) {
  AddModem(1, "conexant");
  Open(1);
  // The user switches the modem off while a query waits for its answer.
  QTimer::singleShot(400, [this] { link.ComPort1.SetOpen(false); });
  RunDiagnostics(link, progress);
  EXPECT_FALSE(progress.isVisible());
  ASSERT_EQ(messages.size(), 1);
  EXPECT_TRUE(messages[0].startsWith("Diagnostics stopped: ")) << messages[0].toStdString();
  // What was gathered up to then is kept.
  const QStringList lines = monitor.Lines();
  ASSERT_FALSE(lines.isEmpty());
  EXPECT_EQ(lines.first(), "ate0");
  EXPECT_TRUE(lines.contains("Com port closed..."));
  EXPECT_LT(lines.size(), 60);
  EXPECT_TRUE(QFile::exists(dir.filePath(QLatin1String(kDiagnosticsFileName))));
}

TEST_F(Diagnose, AModemUnpluggedHalfwayStopsAtOnceAndSaysSo) {
  vmodem::VirtualModem& modem = AddModem(1, "conexant");
  Open(1);
  QTimer::singleShot(300, [&] { modem.unplug(); });
  QElapsedTimer clock;
  clock.start();
  RunDiagnostics(link, progress);
  EXPECT_LT(clock.elapsed(), 4000);  // no query waits for its time-out
  EXPECT_FALSE(progress.isVisible());
  EXPECT_EQ(messages, QStringList({"Diagnostics stopped: the modem was disconnected."}));
  const QStringList lines = monitor.Lines();
  ASSERT_FALSE(lines.isEmpty());
  EXPECT_EQ(lines.first(), "ate0");
  EXPECT_TRUE(lines.contains("Com port closed..."));
  EXPECT_TRUE(lines.contains("Modem disconnected..."));
  EXPECT_TRUE(QFile::exists(dir.filePath(QLatin1String(kDiagnosticsFileName))));
  EXPECT_FALSE(link.ComPort1.Open());
}
