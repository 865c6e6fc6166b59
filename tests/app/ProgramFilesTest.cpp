// The settings file and the call list through the real program. Reads fail through the
// read fault seam (the tests run as root, so file modes would not stop a read); boxes
// are read and answered, and buttons clicked, on a private X server.
#include <signal.h>

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "MainFormTestSupport.h"
#include "ProgramSupport.h"
#include "calls/CallFile.h"
#include "calls/RecordingRecovery.h"
#include "calls/JournalFormat.h"
#include "sound/WavFormat.h"
#include "vmodem/VirtualModem.h"

namespace {
const QByteArray kNoModemIni =
    QByteArray("[Modem]\nport=1\n[Ports]\nCOM1=") + kNoDevicePath + "\n";
const QString kPortError = QStringLiteral("Error during opening com port 1");
const QString kFixture = QStringLiteral(TAVRIN_TEST_DATA_DIR "/calls3.dbt");

QString IoErrorText() {
  return QString::fromLocal8Bit(std::strerror(EIO));
}

QByteArray VirtualModemIni(const vmodem::VirtualModem& modem) {
  return QByteArray(kVirtualModemIni) + "[Ports]\nCOM1=" + modem.slavePath().c_str() + "\n";
}

// The files of a folder whose names start with `prefix` (temporary files included).
QStringList Named(const QString& folder, const QString& prefix) {
  return QDir(folder).entryList({prefix + "*"}, QDir::Files | QDir::Hidden | QDir::System);
}

// Started offscreen; once the start sequence has run (Calls.dbt exists and the port
// message is up) ended with SIGTERM, which dismisses the message and runs the shutdown.
void RunOnceOffscreen(const QString& folder) {
  Program tavrin(folder);
  ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(folder + "/Calls.dbt"); },
                              kProgramWaitMs));
  QTest::qWait(500);
  ASSERT_TRUE(tavrin.Running());
  tavrin.Signal(SIGTERM);
  ASSERT_TRUE(tavrin.EndedNormally());
}
}  // namespace

TEST(ProgramSettingsFileTest, AFileThatCannotBeReadIsToldNotScannedForAndLeftByteForByte) {
  XServer x;
  ASSERT_FALSE(x.display.isEmpty()) << "no X server (Xvfb) could be started";
  vmodem::VirtualModem modem;
  modem.start();
  QTemporaryDir dir;
  const QString path = dir.filePath("Tavrin.ini");
  const QByteArray ini = VirtualModemIni(modem) + "[params]\nMainTop=20\nMainLeft=30\n";
  ASSERT_TRUE(WriteBytes(path, ini));

  Program tavrin(dir.path(), ProgramOptions().On(x).FailingReads("Tavrin.ini"));
  XUser user(x);
  const QString told = user.ReadAndCloseBox();
  EXPECT_TRUE(told.startsWith("Unable to read ")) << told.toStdString();
  EXPECT_TRUE(told.contains("Tavrin.ini")) << told.toStdString();
  EXPECT_TRUE(told.contains(IoErrorText())) << told.toStdString();
  // No scan: its windows would open, and one that finds no modem ends the program.
  EXPECT_FALSE(user.WaitForBox(2000));
  EXPECT_TRUE(tavrin.Running());
  EXPECT_TRUE(modem.commands().empty());

  tavrin.Signal(SIGTERM);
  // The shutdown stores the window place: refused on a file not read, and told.
  const QString atShutdown = user.ReadAndCloseBox();
  EXPECT_TRUE(atShutdown.startsWith("Unable to read ")) << atShutdown.toStdString();
  ASSERT_TRUE(tavrin.EndedNormally());
  EXPECT_EQ(ReadBytes(path), ini);
  EXPECT_EQ(Named(dir.path(), "Tavrin.ini"), QStringList{"Tavrin.ini"});
}

TEST(ProgramSettingsFileTest, AReadOnlyFileIsNotRewrittenAndTheFailedWriteIsTold) {
  XServer x;
  ASSERT_FALSE(x.display.isEmpty()) << "no X server (Xvfb) could be started";
  QTemporaryDir dir;
  const QString path = dir.filePath("Tavrin.ini");
  const QByteArray ini = kNoModemIni + "[params]\nMainTop=20\nMainLeft=30\n";
  ASSERT_TRUE(WriteBytes(path, ini));
  const QFile::Permissions readOnly = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;
  ASSERT_TRUE(QFile::setPermissions(path, readOnly));

  Program tavrin(dir.path(), ProgramOptions().On(x));
  XUser user(x);
  EXPECT_EQ(user.ReadAndCloseBox(), kPortError);
  tavrin.Signal(SIGTERM);
  const QString told = user.ReadAndCloseBox();
  EXPECT_TRUE(told.startsWith("Unable to write to ") && told.endsWith("/Tavrin.ini"))
      << told.toStdString();
  ASSERT_TRUE(tavrin.EndedNormally());
  EXPECT_EQ(ReadBytes(path), ini);
  EXPECT_EQ(QFile::permissions(path) & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser),
            readOnly);
  EXPECT_EQ(Named(dir.path(), "Tavrin.ini"), QStringList{"Tavrin.ini"});
}

TEST(ProgramSettingsFileTest, ALinkIsWrittenThroughToItsTargetAndStaysALink) {
  QTemporaryDir dir;
  ASSERT_TRUE(QDir(dir.path()).mkdir("profiles"));
  const QString target = dir.filePath("profiles/shared.ini");
  ASSERT_TRUE(WriteBytes(target, kNoModemIni));
  const std::filesystem::path link = QFile::encodeName(dir.filePath("Tavrin.ini")).toStdString();
  std::filesystem::create_symlink("profiles/shared.ini", link);

  RunOnceOffscreen(dir.path());
  ASSERT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(std::filesystem::read_symlink(link), "profiles/shared.ini");
  EXPECT_EQ(ReadBytes(target), kNoModemIni + "\n[params]\nMainTop=146\nMainLeft=367\n");
  EXPECT_EQ(Named(dir.filePath("profiles"), ""), QStringList{"shared.ini"});
  EXPECT_EQ(Named(dir.path(), "Tavrin.ini"), QStringList{"Tavrin.ini"});
}

TEST(ProgramSettingsFileTest, ValuesNotWrittenKeepTheirBytesWhateverTheirEncoding) {
  QTemporaryDir dir;
  const QString path = dir.filePath("Tavrin.ini");
  // One value in Windows-1252, one in UTF-8, a comment and CR LF line ends.
  const QByteArray ini = QByteArray("; the modem of the office\r\n[Modem]\r\nport=1\r\n") +
                         "Model=Caf\xe9 Voice 56k\r\n[Ports]\r\nCOM1=" + kNoDevicePath +
                         "\r\n[params]\r\nOwner=Zo\xc3\xab \xe2\x82\xac\r\n";
  ASSERT_TRUE(WriteBytes(path, ini));

  RunOnceOffscreen(dir.path());
  EXPECT_EQ(ReadBytes(path), ini + "MainTop=146\r\nMainLeft=367\r\n");
}

TEST(ProgramCallListTest, AListThatCannotBeReadStaysTheCallsOfTheRunGoBesideItAndAreMerged) {
  XServer x;
  ASSERT_FALSE(x.display.isEmpty()) << "no X server (Xvfb) could be started";
  vmodem::VirtualModem modem;
  modem.start();
  QTemporaryDir dir;
  ASSERT_TRUE(WriteBytes(dir.filePath("Tavrin.ini"), VirtualModemIni(modem)));
  const QByteArray fixture = ReadBytes(kFixture);
  ASSERT_EQ(fixture.size(), 3 * 305);
  ASSERT_TRUE(WriteBytes(dir.filePath("Calls.dbt"), fixture));
  // The recording of this run: what a run killed during it leaves (the start sequence
  // stops at a list it cannot read, so the port is not opened for a new one).
  ASSERT_TRUE(QDir(dir.path()).mkdir("wav"));
  TJournalHeader header;
  header.SamplesPerSecond = 8000;
  header.StartMsUtc = 1700000000000;
  header.Identity = 0x5eed;
  const QByteArray samples(12000, '\x91');
  ASSERT_TRUE(
      WriteBytes(dir.filePath("wav/0000000000005eed.journal"), EncodeJournalHeader(header) + samples));

  {
    Program tavrin(dir.path(), ProgramOptions().On(x).FailingReads("Calls.dbt"));
    XUser user(x);
    EXPECT_EQ(user.ReadAndCloseBox(), IoErrorText());
    EXPECT_TRUE(tavrin.Running());
    tavrin.Signal(SIGTERM);
    const QString note = user.ReadAndCloseBox();
    EXPECT_TRUE(note.contains("Calls.dbt.new")) << note.toStdString();
    ASSERT_TRUE(tavrin.EndedNormally());
  }
  EXPECT_EQ(ReadBytes(dir.filePath("Calls.dbt")), fixture);
  QString error;
  const auto side = ReadCallRecords(dir.filePath("Calls.dbt.new"), &error);
  ASSERT_TRUE(side && side->size() == 1) << error.toStdString();
  EXPECT_EQ(side->front().Memo, kRecoveredMemo);
  EXPECT_EQ(QFile(dir.filePath("wav/" + side->front().FileName + ".wav")).size(),
            kWavHeaderSize + samples.size());

  // The next start reads the list again: the call joins it, the side file goes.
  {
    Program again(dir.path());
    ASSERT_TRUE(WaitForCommand(modem, "ats0=0"));
    again.Signal(SIGTERM);
    ASSERT_TRUE(again.EndedNormally());
  }
  const auto calls = ReadCallRecords(dir.filePath("Calls.dbt"), &error);
  ASSERT_TRUE(calls && calls->size() == 4) << error.toStdString();
  EXPECT_EQ(ReadBytes(dir.filePath("Calls.dbt")).left(fixture.size()), fixture);
  EXPECT_TRUE(SameCall(calls->back(), side->front()));
  EXPECT_FALSE(QFile::exists(dir.filePath("Calls.dbt.new")));
}

TEST(ProgramCallListTest, DeleteOfARecordNamedOutsideWavRemovesTheRecordOnly) {
  XServer x;
  ASSERT_FALSE(x.display.isEmpty()) << "no X server (Xvfb) could be started";
  QTemporaryDir dir;
  ASSERT_TRUE(WriteBytes(dir.filePath("Tavrin.ini"), kNoModemIni));
  QByteArray list;
  for (const char* name : {"../victim", "0000001"}) {
    TCallRecord r;
    r.FileName = QString::fromLatin1(name);
    r.Date = "1.1.24";
    r.Time = "10:00:00";
    r.Duration = "0:1";
    list += EncodeCallRecord(r);
  }
  ASSERT_TRUE(WriteBytes(dir.filePath("Calls.dbt"), list));
  ASSERT_TRUE(QDir(dir.path()).mkdir("wav"));
  ASSERT_TRUE(WriteBytes(dir.filePath("wav/0000001.wav"), "a recording of ours"));
  ASSERT_TRUE(WriteBytes(dir.filePath("victim.wav"), "not a recording of ours"));

  Program tavrin(dir.path(), ProgramOptions().On(x));
  XUser user(x);
  EXPECT_EQ(user.ReadAndCloseBox(), kPortError);
  const QString window = user.WaitForMainWindow();
  ASSERT_FALSE(window.isEmpty());
  // Play, the first recorder button (40 x 23 at 8, 119), on row 1: "../victim".
  user.ClickClient(window, 8 + 20, 119 + 11);
  EXPECT_EQ(user.ReadAndCloseBox(), "Wav file does not exist");
  for (int i = 0; i < 2; ++i) {
    // "Delete file", the fifth button of the top bar (36 x 36), then OK.
    user.ClickClient(window, 4 * 36 + 18, 18);
    const auto confirm = user.WaitForBox();
    ASSERT_TRUE(confirm);
    EXPECT_EQ(confirm->title, "Confirm");
    user.Press(confirm->id, "Return");
    ASSERT_TRUE(user.WaitUntilClosed(confirm->id));
  }
  tavrin.Signal(SIGTERM);
  ASSERT_TRUE(tavrin.EndedNormally());
  EXPECT_EQ(QFile(dir.filePath("Calls.dbt")).size(), 0);
  EXPECT_EQ(ReadBytes(dir.filePath("victim.wav")), "not a recording of ours");
  EXPECT_FALSE(QFile::exists(dir.filePath("wav/0000001.wav")));  // the plain name's file goes
}
