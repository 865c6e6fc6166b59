// The journal of a recording: what it writes when, that it never syncs per chunk and
// never on the UI thread, and what becomes of its file at each end of a recording.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "common/FileBytes.h"
#include "recording/RecordingJournal.h"
#include "sound/RecordingFiles.h"

namespace {
struct JournalRig {
  QTemporaryDir dir;
  QString previousDir = QDir::currentPath();
  TRecordingJournal journal;
  std::atomic<int> syncs{0};
  std::atomic<std::thread::id> syncThread{};
  int64_t now = 1000;
  QStringList failures;
  JournalRig() {
    QDir::setCurrent(dir.path());
    QString error;
    EXPECT_TRUE(EnsureWavFolder(&error));
    journal.SetSync([this](int fd) {
      syncThread = std::this_thread::get_id();
      ++syncs;
      return ::fdatasync(fd);
    });
    journal.Clock = [this] { return now; };
    journal.OnFailed = [this](const QString& e) { failures << e; };
  }
  ~JournalRig() { QDir::setCurrent(previousDir); }
  QByteArray Bytes() const { return ReadAll(journal.Path()); }
  bool WaitForSyncs(int n) {
    return QTest::qWaitFor([&] { return syncs.load() >= n; }, 5000);
  }
};

// A sync that waits until the test lets it go: the disk at its slowest.
struct HeldSync {
  std::mutex m;
  std::condition_variable cv;
  bool released = false;
  std::atomic<int> entered{0};
  std::function<int(int)> Seam() {
    return [this](int fd) {
      ++entered;
      std::unique_lock lock(m);
      cv.wait(lock, [&] { return released; });
      return ::fdatasync(fd);
    };
  }
  void Release() {
    {
      std::lock_guard lock(m);
      released = true;
    }
    cv.notify_all();
  }
};

bool Locked(const QString& path) {
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
  ::close(fd);
  return locked;
}

QStringList WavFiles() {
  return QDir(QStringLiteral("wav")).entryList(QDir::Files);
}
}  // namespace

TEST(RecordingJournal, HeaderThenEverySampleAtOnceAndPrivate) {
  JournalRig rig;
  QString error;
  const int64_t before = QDateTime::currentMSecsSinceEpoch();
  ASSERT_TRUE(rig.journal.Start(7200, &error)) << error.toStdString();
  EXPECT_TRUE(rig.journal.Path().startsWith("wav/"));
  EXPECT_TRUE(rig.journal.Path().endsWith(".journal"));
  // Made under another name, put in place locked and with its whole header.
  EXPECT_EQ(WavFiles(), QStringList{QFileInfo(rig.journal.Path()).fileName()});
  EXPECT_TRUE(Locked(rig.journal.Path()));
  EXPECT_EQ(QFile(rig.journal.Path()).permissions() &
                (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther),
            QFile::Permissions());
  const auto header = DecodeJournalHeader(rig.Bytes());
  ASSERT_TRUE(header);
  EXPECT_EQ(header->SamplesPerSecond, 7200u);
  EXPECT_GE(header->StartMsUtc, before);
  EXPECT_LE(header->StartMsUtc, QDateTime::currentMSecsSinceEpoch());

  ASSERT_TRUE(rig.journal.Append("\x80\x81"));
  ASSERT_TRUE(rig.journal.Append(QByteArrayView("\x00\x10", 2)));
  // In the file before any sync: a kill loses nothing that was appended.
  EXPECT_EQ(rig.Bytes().mid(kJournalHeaderSize), QByteArray("\x80\x81\x00\x10", 4));
  EXPECT_EQ(rig.journal.SampleBytes(), 4);
}

TEST(RecordingJournal, SyncsAtMostOncePerIntervalAndNeverPerChunk) {
  JournalRig rig;
  QString error;
  ASSERT_TRUE(rig.journal.Start(8000, &error));
  ASSERT_TRUE(rig.WaitForSyncs(1));  // the header and the new name
  EXPECT_NE(rig.syncThread.load(), std::this_thread::get_id());
  for (int i = 0; i < 250; ++i) {
    rig.now += 1;  // 250 chunks within half an interval
    ASSERT_TRUE(rig.journal.Append("abcd"));
  }
  QTest::qWait(50);
  EXPECT_EQ(rig.syncs, 1);
  rig.now += TRecordingJournal::kSyncIntervalMs;
  ASSERT_TRUE(rig.journal.Append("e"));
  ASSERT_TRUE(rig.WaitForSyncs(2));
  ASSERT_TRUE(rig.journal.Append("f"));
  QTest::qWait(50);
  EXPECT_EQ(rig.syncs, 2);
  // Data stops coming: the sync due still happens, within the interval.
  ASSERT_TRUE(rig.WaitForSyncs(3));
  QTest::qWait(TRecordingJournal::kSyncIntervalMs + 50);
  EXPECT_EQ(rig.syncs, 3);  // and nothing more without new data
  EXPECT_TRUE(rig.failures.isEmpty());
}

TEST(RecordingJournal, ASyncThatHangsNeverHoldsUpTheSamples) {
  JournalRig rig;
  HeldSync held;
  rig.journal.SetSync(held.Seam());
  QString error;
  ASSERT_TRUE(rig.journal.Start(8000, &error));
  ASSERT_TRUE(QTest::qWaitFor([&] { return held.entered.load() == 1; }, 5000));
  // The disk does not answer; every chunk still goes into the file at once.
  for (int i = 0; i < 40; ++i) {
    rig.now += TRecordingJournal::kSyncIntervalMs / 4;
    ASSERT_TRUE(rig.journal.Append("0123456789"));
    QCoreApplication::processEvents();
  }
  EXPECT_EQ(rig.Bytes().size(), kJournalHeaderSize + 400);
  EXPECT_EQ(held.entered, 1);  // the syncs asked for meanwhile wait, taken into one
  EXPECT_TRUE(rig.journal.Active());
  const QString path = rig.journal.Path();
  rig.journal.Discard();  // the file goes without waiting for the disk
  EXPECT_FALSE(QFile::exists(path));
  held.Release();
  QTest::qWait(100);
  EXPECT_EQ(held.entered, 1);  // the sync still waiting for the file that went is dropped
  EXPECT_TRUE(rig.failures.isEmpty());
}

TEST(RecordingJournal, LockedWhileLiveKeptByADestroyedJournalGoneOnDiscard) {
  QString path;
  {
    JournalRig rig;
    QString error;
    ASSERT_TRUE(rig.journal.Start(8000, &error));
    path = rig.journal.Path();
    EXPECT_TRUE(Locked(path));  // a live journal is not taken
    rig.journal.Discard();
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_FALSE(rig.journal.Active());
    EXPECT_FALSE(rig.journal.Append("x"));

    auto dying = std::make_unique<TRecordingJournal>();
    ASSERT_TRUE(dying->Start(8000, &error));
    ASSERT_TRUE(dying->Append("kept"));
    path = QDir::current().absoluteFilePath(dying->Path());
    dying.reset();  // what a crash leaves: the file, unlocked
    EXPECT_EQ(ReadAll(path).mid(kJournalHeaderSize), "kept");
    EXPECT_FALSE(Locked(path));
  }
}

TEST(RecordingJournal, AnUnsavedRecordingIsLeftLockedUntilTheRunEndsASavedOneGoesOnceListed) {
  JournalRig rig;
  QString cutOff, saved, second;
  {
    TRecordingJournal journal;
    QString error;
    ASSERT_TRUE(journal.Start(8000, &error));
    ASSERT_TRUE(journal.Append("cut off"));
    cutOff = journal.Path();
    EXPECT_EQ(journal.Leave(), cutOff);
    EXPECT_FALSE(journal.Open());
    EXPECT_TRUE(Locked(cutOff));  // this run's own start sequence leaves it alone

    // A new recording never removes the one left: Start leaves an open journal too.
    ASSERT_TRUE(journal.Start(8000, &error));
    ASSERT_TRUE(journal.Append("abandoned"));
    second = journal.Path();
    ASSERT_TRUE(journal.Start(8000, &error));
    EXPECT_TRUE(QFile::exists(second));

    // Stop names the journal after the call before it writes the WAV file.
    ASSERT_TRUE(journal.Append("saved"));
    ASSERT_TRUE(journal.Name("ABCDEF", &error)) << error.toStdString();
    EXPECT_EQ(journal.Path(), "wav/ABCDEF.journal");
    saved = journal.Path();
    ASSERT_TRUE(journal.Append("!"));  // still the same file
    EXPECT_EQ(ReadAll(saved).mid(kJournalHeaderSize), "saved!");
    journal.KeepSaved();  // its call is not on disk yet
    EXPECT_TRUE(Locked(saved));
    journal.DiscardSaved();
    EXPECT_FALSE(QFile::exists(saved));
    EXPECT_TRUE(QFile::exists(cutOff));
  }
  // The run has ended: what it left is there for the next start, unlocked.
  EXPECT_EQ(ReadAll(cutOff).mid(kJournalHeaderSize), "cut off");
  EXPECT_EQ(ReadAll(second).mid(kJournalHeaderSize), "abandoned");
  EXPECT_FALSE(Locked(cutOff));
  EXPECT_EQ(WavFiles().size(), 2);
}

TEST(RecordingJournal, AFailedSyncStopsTheJournalButKeepsWhatItHolds) {
  JournalRig rig;
  QString error;
  ASSERT_TRUE(rig.journal.Start(8000, &error));
  ASSERT_TRUE(rig.WaitForSyncs(1));
  ASSERT_TRUE(rig.journal.Append("abc"));
  rig.journal.SetSync([](int) {
    errno = EIO;
    return -1;
  });
  rig.now += TRecordingJournal::kSyncIntervalMs;
  EXPECT_TRUE(rig.journal.Append("def"));  // the failure comes from the sync's thread
  ASSERT_TRUE(QTest::qWaitFor([&] { return !rig.failures.isEmpty(); }, 5000));
  EXPECT_EQ(rig.failures.size(), 1);
  EXPECT_FALSE(rig.journal.Active());
  EXPECT_FALSE(rig.journal.Append("ghi"));
  EXPECT_EQ(rig.journal.LastError(), rig.failures[0]);
  EXPECT_EQ(rig.Bytes().mid(kJournalHeaderSize), "abcdef");
  const QString path = rig.journal.Path();
  rig.journal.Discard();
  EXPECT_FALSE(QFile::exists(path));
}

TEST(RecordingJournal, StartFailsCleanlyWithoutTheFolder) {
  JournalRig rig;
  ASSERT_TRUE(QDir().rmdir("wav"));
  QString error;
  EXPECT_FALSE(rig.journal.Start(8000, &error));
  EXPECT_FALSE(error.isEmpty());
  EXPECT_FALSE(rig.journal.Active());
}

TEST(RecordingJournal, HeaderCodecRefusesShortOrForeignBytes) {
  TJournalHeader h;
  h.SamplesPerSecond = 11025;
  h.StartMsUtc = -5;
  h.Identity = 0x0123456789abcdefULL;
  const QByteArray b = EncodeJournalHeader(h);
  ASSERT_EQ(b.size(), kJournalHeaderSize);
  const auto back = DecodeJournalHeader(b);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->SamplesPerSecond, h.SamplesPerSecond);
  EXPECT_EQ(back->StartMsUtc, h.StartMsUtc);
  EXPECT_EQ(back->Identity, h.Identity);
  EXPECT_FALSE(DecodeJournalHeader(b.first(kJournalHeaderSize - 1)));
  QByteArray foreign = b;
  foreign[0] = 'X';
  EXPECT_FALSE(DecodeJournalHeader(foreign));
}
