// The real program killed during a recording, and started again: the recording is
// there. The program runs on a virtual X server and Record is clicked as a user would.
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

#include "app/CallFile.h"
#include "app/RecordingRecovery.h"
#include "modem/WavFormat.h"
#include "vmodem/VirtualModem.h"

namespace {
constexpr int kWaitMs = 30000;
constexpr int kRate = 8000;
const char* const kProfile =
    "[Modem]\nport=1\nModel=Virtual\nSamplingFreq=8000\nVoiceMode=at+fclass=8\n"
    "RecGain=at+vgr=128\nVoiceCompression=at+vsm=1,8000\n"
    "[Params]\nUseLine=at+vls=1\nUseLineRes=OK\nCompression=UNSIGNED PCM\nVoicefeatures=1\n";

QString RunTool(const QString& program, const QStringList& args, const QString& display) {
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("DISPLAY", display);
  p.setProcessEnvironment(env);
  p.start(program, args);
  p.waitForFinished(kWaitMs);
  return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
}

// A private X server for one test.
struct XServer {
  QProcess process;
  QString display;
  XServer() {
    for (int n = 90 + getpid() % 50; n < 300 && display.isEmpty(); ++n) {
      if (QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n))) continue;
      process.start("Xvfb", {QStringLiteral(":%1").arg(n), "-screen", "0", "1280x1024x24",
                             "-nolisten", "tcp"});
      if (!process.waitForStarted(5000)) return;
      const QString candidate = QStringLiteral(":%1").arg(n);
      if (QTest::qWaitFor(
              [&] { return QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)); }, 10000) &&
          process.state() == QProcess::Running) {
        display = candidate;
      }
    }
  }
  ~XServer() {
    process.terminate();
    process.waitForFinished(5000);
  }
};

struct Tavrin {
  QProcess process;
  Tavrin(const QString& folder, const QString& platform, const QString& display) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", platform);
    env.insert("DISPLAY", display);
    env.insert("TAVRIN_INSTANCE_NAME", "tavrin-test-" + QUuid::createUuid().toString(QUuid::Id128));
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(folder);
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(QStringLiteral(TAVRIN_EXECUTABLE), {"ONIDE"});
  }
  ~Tavrin() {
    if (process.state() != QProcess::NotRunning) {
      process.kill();
      process.waitForFinished(5000);
    }
  }
  void Signal(int sig) { ::kill(static_cast<pid_t>(process.processId()), sig); }
};
}  // namespace

TEST(ProgramRecoveryTest, SigkillDuringARecordingLosesAtMostTheLastSecond) {
  XServer x;
  ASSERT_FALSE(x.display.isEmpty()) << "no X server (Xvfb) could be started";
  vmodem::VirtualModem modem;
  modem.start();
  QTemporaryDir dir;
  {
    QFile ini(dir.filePath("Tavrin.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write(kProfile);
    ini.write(QByteArray("[Ports]\nCOM1=") + modem.slavePath().c_str() + "\n");
  }
  Tavrin first(dir.path(), "xcb", x.display);
  ASSERT_TRUE(first.process.waitForStarted(10000));
  // The start sequence has run once the modem was told not to answer.
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        const auto c = modem.commands();
        return std::find(c.begin(), c.end(), std::string("ats0=0")) != c.end();
      },
      kWaitMs));
  const QString window = RunTool("xdotool", {"search", "--sync", "--name", "^Tavrin$"}, x.display)
                             .split('\n')
                             .value(0);
  ASSERT_FALSE(window.isEmpty());
  const QStringList geometry =
      RunTool("xdotool", {"getwindowgeometry", "--shell", window}, x.display).split('\n');
  auto value = [&](const char* key) {
    for (const QString& line : geometry)
      if (line.startsWith(QLatin1String(key) + '=')) return line.mid(int(strlen(key)) + 1).toInt();
    return -1;
  };
  // The client area (384 x 386) sits below the menu bar; Record is the sixth recorder
  // button, 40 x 23 at 8 + 200, 119 in it.
  const int menuBar = value("HEIGHT") - 386;
  const int clickX = value("X") + 8 + 5 * 40 + 20, clickY = value("Y") + menuBar + 119 + 11;
  RunTool("xdotool",
          {"mousemove", "--sync", QString::number(clickX), QString::number(clickY), "click", "1"},
          x.display);
  ASSERT_TRUE(
      modem.waitFor([](const vmodem::ModemStatus& s) { return s.streamedBytes >= 3 * kRate; },
                    std::chrono::milliseconds(kWaitMs)))
      << "the recording did not start";
  QTest::qWait(1500);
  first.Signal(SIGKILL);
  ASSERT_TRUE(first.process.waitForFinished(10000));
  const std::string sent = modem.streamed();  // what the modem sent up to the kill
  modem.stop();
  EXPECT_EQ(QDir(dir.filePath("wav")).entryList({"*.journal"}, QDir::Files).size(), 1);

  Tavrin second(dir.path(), "offscreen", QString());
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return QFile::exists(dir.filePath("Calls.dbt.new")); }, kWaitMs));
  QTest::qWait(500);
  second.Signal(SIGTERM);
  ASSERT_TRUE(second.process.waitForFinished(kWaitMs));

  QString error;
  const auto calls = ReadCallRecords(dir.filePath("Calls.dbt"), &error);
  ASSERT_TRUE(calls && calls->size() == 1) << error.toStdString();
  EXPECT_EQ(calls->front().Memo, kRecoveredMemo);
  EXPECT_TRUE(QDir(dir.filePath("wav")).entryList({"*.journal"}, QDir::Files).isEmpty());
  QFile wav(dir.filePath("wav/" + calls->front().FileName + ".wav"));
  ASSERT_TRUE(wav.open(QIODevice::ReadOnly));
  const QByteArray image = wav.readAll();
  const auto info = ParseWav(image);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->samplesPerSecond, uint32_t(kRate));
  const QByteArray samples = image.mid(kWavHeaderSize);
  // Exactly what the modem sent, from the first byte after "at+vrx", up to the last
  // second at most before the kill.
  ASSERT_LE(samples.size(), qsizetype(sent.size()));
  EXPECT_EQ(samples, QByteArray::fromStdString(sent.substr(0, size_t(samples.size()))));
  const qsizetype lost = qsizetype(sent.size()) - samples.size();
  EXPECT_LE(lost, kRate) << "lost " << lost << " of " << sent.size() << " bytes";
  std::printf("bytes sent %zu, recovered %lld, lost %lld\n", sent.size(),
              static_cast<long long>(samples.size()), static_cast<long long>(lost));
}
