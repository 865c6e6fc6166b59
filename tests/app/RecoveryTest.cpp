// Recordings left behind by a run that did not end, and calls kept beside an unreadable
// call list, through the main window.
#include <fcntl.h>
#include <linux/capability.h>
#include <sys/file.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <functional>
#include <thread>

#include "MainFormTestSupport.h"
#include "calls/CallFile.h"
#include "calls/CallNames.h"
#include "calls/RecordingRecovery.h"
#include "modem/MonitorForm.h"
#include "calls/JournalFormat.h"
#include "recording/RecordingJournal.h"
#include "sound/VoiceStream.h"
#include "sound/WavFormat.h"

namespace {
const QByteArray kPort1Ini = "[Modem]\nport=1\n";
const QString kFixture = QStringLiteral(TAVRIN_TEST_DATA_DIR "/calls3.dbt");

QByteArray Samples(int n, int seed) {
  QByteArray s(n, '\0');
  for (int i = 0; i < n; ++i) s[i] = static_cast<char>((i * 13 + seed) & 0xff);
  return s;
}

// The journal a run killed during its recording leaves: header and samples.
QString WriteJournal(const MainFormFixture& fx, const QByteArray& samples, int64_t startMs,
                     uint64_t identity, uint32_t rate = 8000) {
  QDir(fx.dir.path()).mkpath("wav");
  TJournalHeader h;
  h.SamplesPerSecond = rate;
  h.StartMsUtc = startMs;
  h.Identity = identity;
  const QString name = QStringLiteral("wav/%1.journal").arg(identity, 16, 16, QLatin1Char('0'));
  fx.Write(name, EncodeJournalHeader(h) + samples);
  return name;
}

// What Stop saves for these samples.
QByteArray StopImage(const QByteArray& samples, uint32_t rate = 8000) {
  TVoiceStream s;
  WriteWavHeader(s, static_cast<uint32_t>(samples.size()), rate);
  s.Write(samples.constData(), samples.size());
  return s.Data();
}

int64_t Ms(const char* iso) {
  return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate).toMSecsSinceEpoch();
}

// Runs f on a thread that obeys the permissions of files even when the test runs as
// root (capabilities belong to a thread).
void WithoutOverridingPermissions(const std::function<void()>& f) {
  std::thread t([&] {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
    if (::syscall(SYS_capget, &header, data) == 0) {
      data[0].effective &= ~(1u << CAP_DAC_OVERRIDE);
      ::syscall(SYS_capset, &header, data);
    }
    f();
  });
  t.join();
}

QStringList Journals(const MainFormFixture& fx) {
  return QDir(fx.Path("wav")).entryList({"*.journal"}, QDir::Files);
}
}  // namespace

TEST(RecoveryTest, AJournalLeftBehindIsTheWavStopWouldHaveSavedAndACallShownAtStart) {
  MainFormFixture fx;
  fx.Write("Tavrin.ini", kPort1Ini);
  const QByteArray samples = Samples(12001, 3);  // not a whole scope block
  const int64_t start = Ms("2024-03-05T14:07:09");
  WriteJournal(fx, samples, start, 4242);
  TMainForm& form = fx.Start();

  ASSERT_EQ(form.CallCount(), 1);
  const TCallRecord& call = form.CallList[0];
  const QDateTime local = QDateTime::fromMSecsSinceEpoch(start).toLocalTime();
  EXPECT_EQ(call.FileName, FileNameFromNumber(4242));
  EXPECT_EQ(call.Date, CutToField(ShortDateText(local.date()), kDateCapacity));
  EXPECT_EQ(call.Time, CutToField(LongTimeText(local.time()), kTimeCapacity));
  EXPECT_EQ(call.Duration, "0:2");  // 1.5001 s
  EXPECT_EQ(call.Memo, kRecoveredMemo);
  EXPECT_EQ(fx.Read("wav/" + call.FileName + ".wav"), StopImage(samples));
  EXPECT_TRUE(Journals(fx).isEmpty());
  EXPECT_TRUE(form.MonitorForm->Text().contains("recovered"))
      << form.MonitorForm->Text().toStdString();
  EXPECT_EQ(QFile(fx.Path("wav/" + call.FileName + ".wav")).permissions() &
                (QFile::ReadGroup | QFile::ReadOther),
            QFile::Permissions());

  form.close();
  EXPECT_EQ(fx.Read("Calls.dbt").size(), 305);
  EXPECT_FALSE(QFile::exists(fx.Path("Calls.dbt.new")));  // merged into the list
}

TEST(RecoveryTest, EmptyAndCutShortJournalsAreRemovedTwoJournalsGiveTwoCallsInTheirOrder) {
  MainFormFixture fx;
  fx.Write("Tavrin.ini", kPort1Ini);
  QDir(fx.dir.path()).mkpath("wav");
  fx.Write("wav/empty.journal", "");
  fx.Write("wav/cut.journal", EncodeJournalHeader({8000, 1, 2}).left(10));
  WriteJournal(fx, QByteArray(), Ms("2024-01-01T00:00:00"), 77);  // header only: no sound
  fx.Write("wav/foreign.journal", QByteArray(64, 'x'));
  const QByteArray later = Samples(800, 1), earlier = Samples(16000, 2);
  WriteJournal(fx, later, Ms("2024-02-02T10:00:00"), 1);
  WriteJournal(fx, earlier, Ms("2024-02-02T09:00:00"), 2, 7200);
  TMainForm& form = fx.Start();

  ASSERT_EQ(form.CallCount(), 2);
  EXPECT_EQ(form.CallList[0].FileName, FileNameFromNumber(2));
  EXPECT_EQ(form.CallList[0].Duration, "0:2");  // 16000 bytes at 7200/s
  EXPECT_EQ(fx.Read("wav/" + form.CallList[0].FileName + ".wav"), StopImage(earlier, 7200));
  EXPECT_EQ(form.CallList[1].FileName, FileNameFromNumber(1));
  EXPECT_EQ(fx.Read("wav/" + form.CallList[1].FileName + ".wav"), StopImage(later));
  EXPECT_TRUE(Journals(fx).isEmpty());
  const QString log = form.MonitorForm->Text();
  EXPECT_EQ(log.count("held no sound and was removed"), 3) << log.toStdString();
  EXPECT_TRUE(log.contains("foreign.journal cannot be read")) << log.toStdString();
}

TEST(RecoveryTest, AJournalThatCannotBeReadIsSetAsideAndToldOnce) {
  MainFormFixture fx;
  QDir(fx.dir.path()).mkpath("wav");
  QByteArray otherVersion = EncodeJournalHeader({8000, 1, 3}) + Samples(100, 1);
  otherVersion[4] = 2;
  fx.Write("wav/0000000000000003.journal", otherVersion);
  QByteArray noRate = EncodeJournalHeader({0, 1, 4}) + Samples(100, 1);
  fx.Write("wav/0000000000000004.journal", noRate);
  fx.Write("wav/foreign.journal", QByteArray(64, 'x'));

  const QStringList first = RecoverRecordings();
  ASSERT_EQ(first.size(), 3) << first.join('|').toStdString();
  for (const QString& line : first) {
    EXPECT_TRUE(line.contains("cannot be read") && line.contains("set aside"))
        << line.toStdString();
  }
  EXPECT_TRUE(Journals(fx).isEmpty());
  // Kept as they were, under a name no start looks at again.
  EXPECT_EQ(fx.Read("wav/0000000000000003.journal.unreadable"), otherVersion);
  EXPECT_EQ(fx.Read("wav/0000000000000004.journal.unreadable"), noRate);
  EXPECT_TRUE(QFile::exists(fx.Path("wav/foreign.journal.unreadable")));
  EXPECT_TRUE(RecoverRecordings().isEmpty());
  EXPECT_FALSE(QFile::exists(fx.Path("Calls.dbt.new")));
}

TEST(RecoveryTest, WhatCannotBeDoneIsToldAsItIs) {
  MainFormFixture fx;
  QDir(fx.dir.path()).mkpath("wav");
  fx.Write("wav/empty.journal", "");
  fx.Write("wav/foreign.journal", QByteArray(64, 'x'));
  // A folder the journals cannot leave: nothing is removed or renamed in it.
  ASSERT_TRUE(QFile::setPermissions(fx.Path("wav"), QFile::ReadOwner | QFile::ExeOwner));
  QStringList lines;
  WithoutOverridingPermissions([&] { lines = RecoverRecordings(); });
  ASSERT_TRUE(QFile::setPermissions(fx.Path("wav"),
                                    QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
  ASSERT_EQ(lines.size(), 2) << lines.join('|').toStdString();
  EXPECT_TRUE(lines.join('|').contains("empty.journal held no sound but could not be removed"))
      << lines.join('|').toStdString();
  EXPECT_TRUE(lines.join('|').contains("foreign.journal cannot be read"));
  EXPECT_TRUE(lines.join('|').contains("could not be set aside"));
  EXPECT_FALSE(lines.join('|').contains("was removed"));
}

TEST(RecoveryTest, ACrashDuringRecoveryNeverRecoversTwice) {
  MainFormFixture fx;
  const QByteArray samples = Samples(4000, 9);
  const QString journal = WriteJournal(fx, samples, Ms("2024-05-05T05:05:05"), 99);
  const QByteArray journalBytes = fx.Read(journal);
  RecoverRecordings();
  const QByteArray side = fx.Read("Calls.dbt.new");
  ASSERT_EQ(side.size(), 305);
  // Killed after the call was stored but before the journal went.
  fx.Write(journal, journalBytes);
  RecoverRecordings();
  EXPECT_EQ(fx.Read("Calls.dbt.new"), side);
  EXPECT_FALSE(QFile::exists(fx.Path(journal)));
  // Killed after the WAV file but before the call: the same name, one call.
  ASSERT_TRUE(QFile::remove(fx.Path("Calls.dbt.new")));
  fx.Write(journal, journalBytes);
  RecoverRecordings();
  EXPECT_EQ(fx.Read("Calls.dbt.new"), side);
  EXPECT_EQ(QDir(fx.Path("wav")).entryList(QDir::Files).size(), 1);
  // The merge at start does not add what the list holds already.
  fx.Write("Calls.dbt", side);
  fx.Write("Tavrin.ini", kPort1Ini);
  TMainForm& form = fx.Start();
  EXPECT_EQ(form.CallCount(), 1);
}

TEST(RecoveryTest, AnotherCallsFileOfTheSameNameIsNeverOverwrittenALiveJournalIsLeft) {
  MainFormFixture fx;
  const QByteArray samples = Samples(900, 4);
  WriteJournal(fx, samples, Ms("2024-06-06T06:06:06"), 500);
  fx.Write("wav/" + FileNameFromNumber(500) + ".wav", "another call");
  // A recording running in this folder (another instance) holds its journal.
  TRecordingJournal live;
  QString error;
  ASSERT_TRUE(live.Start(8000, &error)) << error.toStdString();
  ASSERT_TRUE(live.Append("live"));

  const QStringList lines = RecoverRecordings();
  ASSERT_EQ(lines.size(), 1);
  EXPECT_EQ(fx.Read("wav/" + FileNameFromNumber(500) + ".wav"), "another call");
  EXPECT_EQ(fx.Read("wav/" + FileNameFromNumber(501) + ".wav"), StopImage(samples));
  EXPECT_TRUE(QFile::exists(live.Path()));
  EXPECT_EQ(Journals(fx), QStringList{QFileInfo(live.Path()).fileName()});
}

// What a cut leaves at each step of Stop, which names the journal after the call, then
// writes the WAV file, then the list, then removes the journal: each start shows the call
// once, under the name Stop chose, and leaves no journal.
TEST(RecoveryTest, AJournalNamedByStopGivesItsCallOnceWhereverTheCutFell) {
  const QByteArray samples = Samples(6000, 8);
  const QString name = QStringLiteral("KQBDAX");
  TCallRecord stopped;  // the row Stop writes
  stopped.FileName = name;
  stopped.Date = QStringLiteral("01.02.2024");
  stopped.Time = QStringLiteral("10:00:00");
  stopped.Duration = QStringLiteral("0:1");
  stopped.Memo = QStringLiteral("5551234 JOHN DOE");
  enum class Cut { kBeforeTheWav, kBeforeTheRow, kBeforeTheJournalWent };
  for (const Cut cut : {Cut::kBeforeTheWav, Cut::kBeforeTheRow, Cut::kBeforeTheJournalWent}) {
    SCOPED_TRACE(static_cast<int>(cut));
    MainFormFixture fx;
    fx.Write("Tavrin.ini", kPort1Ini);
    fx.AddRecording("ABCDEF", StopImage(Samples(100, 1)));  // a call of an earlier run
    const QString journal = WriteJournal(fx, samples, Ms("2024-02-01T09:59:59"), 31);
    ASSERT_TRUE(QFile::rename(fx.Path(journal), fx.Path("wav/" + name + ".journal")));
    if (cut != Cut::kBeforeTheWav) fx.Write("wav/" + name + ".wav", StopImage(samples));
    if (cut == Cut::kBeforeTheJournalWent) {
      std::vector<TCallRecord> list = LoadCallFile(fx.Path("Calls.dbt"));
      list.push_back(stopped);
      SaveCallFile(fx.Path("Calls.dbt"), list);
    }
    TMainForm& form = fx.Start();
    ASSERT_EQ(form.CallCount(), 2) << form.MonitorForm->Text().toStdString();
    const TCallRecord& call = form.CallList[1];
    EXPECT_EQ(call.FileName, name);
    EXPECT_EQ(call.Memo, cut == Cut::kBeforeTheJournalWent ? stopped.Memo : kRecoveredMemo);
    EXPECT_EQ(fx.Read("wav/" + name + ".wav"), StopImage(samples));
    EXPECT_TRUE(Journals(fx).isEmpty());
    EXPECT_EQ(QDir(fx.Path("wav")).entryList(QDir::Files),
              (QStringList{"ABCDEF.wav", name + ".wav"}));
    // On disk at once, the side file merged and gone.
    EXPECT_EQ(LoadCallFile(fx.Path("Calls.dbt")).size(), 2u);
    EXPECT_FALSE(QFile::exists(fx.Path("Calls.dbt.new")));
    const QString log = form.MonitorForm->Text();
    EXPECT_EQ(log.contains("had been saved; it was removed"), cut == Cut::kBeforeTheJournalWent)
        << log.toStdString();
  }
}

TEST(RecoveryTest, ANamedJournalWhoseNameIsAnotherFileIsRecoveredUnderItsOwn) {
  MainFormFixture fx;
  const QByteArray samples = Samples(3000, 6);
  const QString journal = WriteJournal(fx, samples, Ms("2024-03-03T03:03:03"), 44);
  ASSERT_TRUE(QFile::rename(fx.Path(journal), fx.Path("wav/QQQQQQ.journal")));
  fx.Write("wav/QQQQQQ.wav", "another recording");
  const QStringList lines = RecoverRecordings();
  ASSERT_EQ(lines.size(), 1);
  EXPECT_TRUE(lines[0].contains("recovered")) << lines[0].toStdString();
  EXPECT_EQ(fx.Read("wav/QQQQQQ.wav"), "another recording");
  EXPECT_EQ(fx.Read("wav/" + FileNameFromNumber(44) + ".wav"), StopImage(samples));
}

TEST(RecoveryTest, AJournalCutShortBeforeItWasInPlaceGoesQuietlyALiveOneStays) {
  MainFormFixture fx;
  QDir(fx.dir.path()).mkpath("wav");
  fx.Write("wav/00000000000000aa.journal.part", EncodeJournalHeader({8000, 1, 0xaa}));
  const QString live = fx.Path("wav/00000000000000bb.journal.part");
  fx.Write("wav/00000000000000bb.journal.part", "");
  const int fd = ::open(QFile::encodeName(live).constData(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);  // another instance making its journal
  EXPECT_TRUE(RecoverRecordings().isEmpty());
  ::close(fd);
  EXPECT_EQ(QDir(fx.Path("wav")).entryList(QDir::Files),
            QStringList{"00000000000000bb.journal.part"});
}

TEST(UnreadCallListTest, CallsOfTheRunAreKeptBesideTheListAndMergedOnceItCanBeRead) {
  QByteArray fixture;
  {
    QFile f(kFixture);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    fixture = f.readAll();
  }
  MainFormFixture fx;
  fx.Write("Tavrin.ini", kPort1Ini);
  ASSERT_TRUE(QDir(fx.dir.path()).mkdir("Calls.dbt"));  // cannot be read as a file
  WriteJournal(fx, Samples(8000, 5), Ms("2024-07-07T07:07:07"), 7);
  TMainForm& form = fx.Start();
  ASSERT_EQ(form.CallCount(), 1);  // the recovered call is shown all the same
  EXPECT_EQ(form.CallList[0].Memo, kRecoveredMemo);
  form.Button1->click();
  EXPECT_EQ(fx.Read("Calls.dbt.new").size(), 2 * 305);  // beside the list at once
  // The Settings command reloads the list: the call added in this run stays.
  form.Settings1->trigger();
  ASSERT_EQ(form.CallCount(), 2);
  fx.messages.clear();
  form.close();
  ASSERT_EQ(fx.messages.size(), 1);
  EXPECT_TRUE(fx.messages[0].contains("Calls.dbt.new")) << fx.messages[0].toStdString();
  EXPECT_TRUE(QFileInfo(fx.Path("Calls.dbt")).isDir());
  EXPECT_EQ(fx.Read("Calls.dbt.new").size(), 2 * 305);

  // The next start that can read the list adds them after its own calls.
  ASSERT_TRUE(QDir(fx.dir.path()).rmdir("Calls.dbt"));
  fx.Write("Calls.dbt", fixture);
  fx.form.reset();
  TMainForm& again = fx.Start();
  ASSERT_EQ(again.CallCount(), 5);
  EXPECT_EQ(again.CallList[3].Memo, kRecoveredMemo);
  again.close();
  EXPECT_EQ(fx.Read("Calls.dbt").size(), 5 * 305);
  EXPECT_EQ(fx.Read("Calls.dbt").left(3 * 305), fixture);
  EXPECT_FALSE(QFile::exists(fx.Path("Calls.dbt.new")));
}
