// The journal of a recording: what it writes when, and that it never syncs per chunk.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "common/FileBytes.h"
#include "sound/RecordingFiles.h"
#include "recording/RecordingJournal.h"

namespace {
struct JournalRig {
  QTemporaryDir dir;
  QString previousDir = QDir::currentPath();
  TRecordingJournal journal;
  int syncs = 0;
  int64_t now = 1000;
  JournalRig() {
    QDir::setCurrent(dir.path());
    QString error;
    EXPECT_TRUE(EnsureWavFolder(&error));
    journal.Sync = [this](int fd) {
      ++syncs;
      return ::fdatasync(fd);
    };
    journal.Clock = [this] { return now; };
  }
  ~JournalRig() { QDir::setCurrent(previousDir); }
  QByteArray Bytes() const { return ReadAll(journal.Path()); }
};
}  // namespace

TEST(RecordingJournal, HeaderThenEverySampleAtOnceAndPrivate) {
  JournalRig rig;
  QString error;
  const int64_t before = QDateTime::currentMSecsSinceEpoch();
  ASSERT_TRUE(rig.journal.Start(7200, &error)) << error.toStdString();
  EXPECT_TRUE(rig.journal.Path().startsWith("wav/"));
  EXPECT_TRUE(rig.journal.Path().endsWith(".journal"));
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
  EXPECT_EQ(rig.syncs, 1);  // the header
  for (int i = 0; i < 500; ++i) {
    rig.now += 1;  // 500 chunks within half a second
    ASSERT_TRUE(rig.journal.Append("abcd"));
  }
  EXPECT_EQ(rig.syncs, 1);
  rig.now += TRecordingJournal::kSyncIntervalMs;
  ASSERT_TRUE(rig.journal.Append("e"));
  EXPECT_EQ(rig.syncs, 2);
  ASSERT_TRUE(rig.journal.Append("f"));
  EXPECT_EQ(rig.syncs, 2);
  // Data stops coming: the sync due still happens, within the interval.
  ASSERT_TRUE(QTest::qWaitFor([&] { return rig.syncs == 3; }, 5000));
  QTest::qWait(50);
  EXPECT_EQ(rig.syncs, 3);  // and nothing more without new data
}

TEST(RecordingJournal, LockedWhileLiveKeptByADestroyedJournalGoneOnDiscard) {
  QString path;
  {
    JournalRig rig;
    QString error;
    ASSERT_TRUE(rig.journal.Start(8000, &error));
    path = rig.journal.Path();
    const int other = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    EXPECT_NE(::flock(other, LOCK_EX | LOCK_NB), 0);  // a live journal is not taken
    ::close(other);

    // A second recording replaces the first journal.
    ASSERT_TRUE(rig.journal.Start(8000, &error));
    EXPECT_FALSE(QFile::exists(path));
    path = rig.journal.Path();
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
    const int after = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    EXPECT_EQ(::flock(after, LOCK_EX | LOCK_NB), 0);
    ::close(after);
  }
}

TEST(RecordingJournal, AFailedSyncStopsTheJournalButKeepsWhatItHolds) {
  JournalRig rig;
  QString error;
  ASSERT_TRUE(rig.journal.Start(8000, &error));
  ASSERT_TRUE(rig.journal.Append("abc"));
  rig.journal.Sync = [](int) {
    errno = EIO;
    return -1;
  };
  rig.now += TRecordingJournal::kSyncIntervalMs;
  EXPECT_FALSE(rig.journal.Append("def"));
  EXPECT_FALSE(rig.journal.Active());
  EXPECT_FALSE(rig.journal.LastError().isEmpty());
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
