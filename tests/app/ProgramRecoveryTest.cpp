// The real program killed during a recording, and started again: the recording is
// there. The program runs on a virtual X server and Record is clicked as a user would.
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "MainFormTestSupport.h"
#include "ProgramSupport.h"
#include "calls/CallFile.h"
#include "calls/JournalFormat.h"
#include "calls/RecordingRecovery.h"
#include "sound/WavFormat.h"
#include "vmodem/VirtualModem.h"

namespace {
constexpr int kRate = 8000;

// The program in `dir` on the modem and the X server, recording once the modem has sent
// `bytes` since Record was clicked as a user would click it.
std::unique_ptr<Program> StartRecording(const QTemporaryDir& dir, vmodem::VirtualModem& modem,
                                        const XServer& x, size_t bytes) {
  EXPECT_FALSE(x.display.isEmpty()) << "no X server (Xvfb) could be started";
  modem.start();
  QFile ini(dir.filePath("Tavrin.ini"));
  EXPECT_TRUE(ini.open(QIODevice::WriteOnly));
  ini.write(kVirtualModemIni);
  ini.write(QByteArray("[Ports]\nCOM1=") + modem.slavePath().c_str() + "\n");
  ini.close();
  auto program = std::make_unique<Program>(dir.path(), ProgramOptions().On(x));
  EXPECT_TRUE(program->process.waitForStarted(10000));
  // The start sequence has run once the modem was told not to answer.
  EXPECT_TRUE(WaitForCommand(modem, "ats0=0"));
  XUser user(x);
  const QString window = user.WaitForMainWindow();
  EXPECT_FALSE(window.isEmpty());
  // Record is the sixth recorder button, 40 x 23 at 8 + 200, 119 in the client area.
  user.ClickClient(window, 8 + 5 * 40 + 20, 119 + 11);
  EXPECT_TRUE(modem.waitFor([&](const vmodem::ModemStatus& s) { return s.streamedBytes >= bytes; },
                            std::chrono::milliseconds(kProgramWaitMs)))
      << "the recording did not start";
  return program;
}
}  // namespace

TEST(ProgramRecoveryTest, SigkillDuringARecordingLosesAtMostTheLastSecond) {
  QTemporaryDir dir;
  vmodem::VirtualModem modem;
  XServer x;
  const std::unique_ptr<Program> started = StartRecording(dir, modem, x, 3 * kRate);
  ASSERT_FALSE(::testing::Test::HasFailure());
  Program& first = *started;
  QTest::qWait(1500);
  first.Signal(SIGKILL);
  ASSERT_TRUE(first.process.waitForFinished(10000));
  const std::string sent = modem.streamed();  // what the modem sent up to the kill
  modem.stop();
  EXPECT_EQ(QDir(dir.filePath("wav")).entryList({"*.journal"}, QDir::Files).size(), 1);

  Program second(dir.path());
  // The recovered call is in the list on disk as soon as the start sequence has run.
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        return QFileInfo(dir.filePath("Calls.dbt")).size() == 305 &&
               !QFile::exists(dir.filePath("Calls.dbt.new"));
      },
      kProgramWaitMs));
  second.Signal(SIGTERM);
  ASSERT_TRUE(second.process.waitForFinished(kProgramWaitMs));

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

TEST(ProgramRecoveryTest, SigtermDuringARecordingSavesItAsStopWouldAndSaysSo) {
  QTemporaryDir dir;
  vmodem::VirtualModem modem;
  XServer x;
  const std::unique_ptr<Program> started = StartRecording(dir, modem, x, 2 * kRate);
  ASSERT_FALSE(::testing::Test::HasFailure());
  Program& program = *started;
  // The modem's count runs ahead of what a loaded program has read: wait until two seconds are
  // in the journal, the part that shutdown must save.
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        const QFileInfoList journals =
            QDir(dir.filePath("wav")).entryInfoList({"*.journal"}, QDir::Files);
        return journals.size() == 1 && journals.front().size() >= kJournalHeaderSize + 2 * kRate;
      },
      kProgramWaitMs))
      << "the journal never held two seconds";
  program.Signal(SIGTERM);
  ASSERT_TRUE(program.EndedNormally());
  const std::string sent = modem.streamed();
  modem.stop();

  QString error;
  const auto calls = ReadCallRecords(dir.filePath("Calls.dbt"), &error);
  ASSERT_TRUE(calls && calls->size() == 1) << error.toStdString();
  EXPECT_EQ(calls->front().Memo, "");  // saved as by Stop, not recovered later
  EXPECT_TRUE(QDir(dir.filePath("wav")).entryList({"*.journal"}, QDir::Files).isEmpty());
  const QByteArray image = ReadBytes(dir.filePath("wav/" + calls->front().FileName + ".wav"));
  const auto info = ParseWav(image);
  ASSERT_TRUE(info);
  const QByteArray samples = image.mid(kWavHeaderSize);
  ASSERT_LE(samples.size(), qsizetype(sent.size()));
  EXPECT_GE(samples.size(), 2 * kRate);
  EXPECT_EQ(samples, QByteArray::fromStdString(sent.substr(0, size_t(samples.size()))));
  EXPECT_TRUE(
      ReadBytes(dir.filePath("Events.log")).contains("Recording in progress saved at shutdown"));
}
