#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>

#include "calls/CallFile.h"
#include "calls/CallNames.h"
#include "calls/CallRecord.h"
#include "common/FileBytes.h"
#include "common/FileSizeLimit.h"

namespace {
const QString kFixture = QStringLiteral(TAVRIN_TEST_DATA_DIR "/calls3.dbt");

TCallRecord NewRecord(const QString& name, const QString& memo) {
  TCallRecord r;
  r.FileName = name;
  r.Date = "1/2/27";
  r.Time = "10:00:00";
  r.Duration = "0:1";
  r.Memo = memo;
  return r;
}
}  // namespace

TEST(CallRecordTest, FixtureDecodesFieldByFieldWithBothEncodings) {
  const std::vector<TCallRecord> list = LoadCallFile(kFixture);
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].FileName, "ABCDEF");
  EXPECT_EQ(list[0].Date, "08.12.2026");
  EXPECT_EQ(list[0].Time, "10:15:02");
  EXPECT_EQ(list[0].Duration, "1:6");
  EXPECT_EQ(list[0].Memo, "Doctor");
  EXPECT_EQ(list[0].Reserved, 0);
  // Written on a Windows code page: not UTF-8, read as Windows-1252.
  EXPECT_EQ(list[1].Memo, QString::fromUtf8("Café €5 order"));
  EXPECT_EQ(list[1].Duration, "60:0");
  EXPECT_EQ(list[2].Memo, QString::fromUtf8("Grüße ✓"));
  EXPECT_EQ(list[2].Time, "7:03:09 AM");
  EXPECT_EQ(list[2].Reserved, 7);
}

TEST(CallRecordTest, ByteExactRoundTripOfTheFixture) {
  QTemporaryDir dir;
  const QString out = dir.filePath(kCallFileName);
  ASSERT_FALSE(SaveCallFile(out, LoadCallFile(kFixture)).has_value());
  EXPECT_EQ(ReadAll(out), ReadAll(kFixture));
}

TEST(CallRecordTest, AChangedFieldIsRewrittenAloneAndCleanly) {
  std::vector<TCallRecord> list = LoadCallFile(kFixture);
  list[2].Memo = "new";
  const QByteArray before = ReadAll(kFixture).mid(2 * kCallRecordSize);
  const QByteArray after = EncodeCallRecord(list[2]);
  ASSERT_EQ(after.size(), kCallRecordSize);
  EXPECT_EQ(after.left(49), before.left(49));  // other fields and their padding unchanged
  EXPECT_EQ(after[49], 3);
  EXPECT_EQ(after.mid(50, 3), "new");
  EXPECT_EQ(after.mid(53), QByteArray(kCallRecordSize - 53, '\0'));
}

TEST(CallRecordTest, NewRecordLayoutAtTheFixedOffsets) {
  TCallRecord r = NewRecord("QWERTY", QString::fromUtf8("ü"));
  r.Reserved = 0;
  const QByteArray img = EncodeCallRecord(r);
  ASSERT_EQ(img.size(), 305);
  EXPECT_EQ(img[0], 6);
  EXPECT_EQ(img.mid(1, 6), "QWERTY");
  EXPECT_EQ(img[11], 0);
  EXPECT_EQ(img[12], 6);
  EXPECT_EQ(img.mid(13, 6), "1/2/27");
  EXPECT_EQ(img[25], 8);
  EXPECT_EQ(img.mid(26, 8), "10:00:00");
  EXPECT_EQ(img[38], 3);
  EXPECT_EQ(img.mid(39, 3), "0:1");
  EXPECT_EQ(img[49], 2);
  EXPECT_EQ(img.mid(50, 2), "\xC3\xBC");
  EXPECT_EQ(DecodeCallRecord(img).Memo, QString::fromUtf8("ü"));
}

TEST(CallRecordTest, OversizedLengthBytesAreCutToTheFieldCapacity) {
  QByteArray img(kCallRecordSize, 'x');
  img[0] = static_cast<char>(200);   // FileName: capacity 10
  img[11] = 'R';                     // reserved byte right after the file name area
  img[12] = static_cast<char>(255);  // Date: capacity 12
  img[49] = static_cast<char>(255);  // Memo: capacity 255, exactly the rest of the record
  const TCallRecord r = DecodeCallRecord(img);
  EXPECT_EQ(r.FileName, QString(10, 'x'));
  EXPECT_EQ(r.Date, QString(12, 'x'));
  EXPECT_EQ(r.Memo, QString(255, 'x'));
  // Written back, the damaged length bytes are repaired.
  const QByteArray out = EncodeCallRecord(r);
  EXPECT_EQ(out[0], 10);
  EXPECT_EQ(out[12], 12);
  EXPECT_EQ(static_cast<uint8_t>(out[49]), 255);
}

TEST(CallRecordTest, AnOversizedFieldOfWindowsTextReadsTheSameAfterASave) {
  QByteArray img(kCallRecordSize, '\0');
  img[12] = static_cast<char>(65);  // Date: length beyond its 12 bytes
  img.replace(13, 12, "\xe9\xe9\xe9\xe9\xe9\xe9\xe9\xe9\xe9\xe9\xe9\xe9");  // Windows-1252
  const TCallRecord r = DecodeCallRecord(img);
  ASSERT_EQ(r.Date, QString(12, QChar(0xe9)));
  const QByteArray out = EncodeCallRecord(r);
  EXPECT_EQ(out[12], 12);
  EXPECT_EQ(out.mid(13, 12), img.mid(13, 12));  // not re-encoded and cut
  EXPECT_EQ(DecodeCallRecord(out).Date, r.Date);
}

TEST(CallRecordTest, CuttingNeverSplitsACharacter) {
  const QString memo = QString::fromUtf8("é").repeated(200);  // 400 bytes
  EXPECT_EQ(CutToField(memo, kMemoCapacity), QString::fromUtf8("é").repeated(127));
  const QString euro = QString::fromUtf8("ab€€€€");  // 2 + 4 * 3 bytes
  EXPECT_EQ(CutToField(euro, kFileNameCapacity), QString::fromUtf8("ab€€"));
  TCallRecord r = NewRecord("A", memo);
  const QByteArray img = EncodeCallRecord(r);
  EXPECT_EQ(static_cast<uint8_t>(img[49]), 254);
  EXPECT_EQ(DecodeCallRecord(img).Memo, QString::fromUtf8("é").repeated(127));
}

TEST(CallRecordTest, CuttingKeepsWhatTheUserSeesAsOneCharacterWhole) {
  const QString accented = QString::fromUtf8("e\xcc\x81").repeated(4);  // e + combining acute
  EXPECT_EQ(CutToField(accented, kFileNameCapacity), QString::fromUtf8("e\xcc\x81").repeated(3));
  const QString flag = QString::fromUtf8("\xf0\x9f\x87\xa9\xf0\x9f\x87\xaa");  // two code points
  EXPECT_EQ(CutToField("ab" + flag, kFileNameCapacity), "ab" + flag);  // exactly 10 bytes
  EXPECT_EQ(CutToField("abc" + flag, kFileNameCapacity), "abc");
  EXPECT_EQ(CutToField(flag.repeated(40), kMemoCapacity), flag.repeated(31));  // 248 bytes
  EXPECT_EQ(CutToField(QString(), kMemoCapacity), QString());
}

// A writer that counted bytes left half a character at the end of a full field: what
// is there is read, without the half and without reading the field as Windows text.
TEST(CallRecordTest, AnOldRecordWhoseLastCharacterWasCutReadsWithoutGarbage) {
  QByteArray img(kCallRecordSize, '\0');
  const QByteArray memo = QString::fromUtf8("é").repeated(128).toUtf8().left(255);
  img[49] = static_cast<char>(255);
  img.replace(50, 255, memo);
  const QByteArray name = QString::fromUtf8("ab€€€€").toUtf8().left(10);  // "ab€€" + 2 of 3
  img[0] = 10;
  img.replace(1, 10, name);
  const QByteArray date = QString::fromUtf8("8 déc 2024€").toUtf8();  // 11 + 3 bytes
  ASSERT_EQ(date.size(), 14);
  img[12] = 12;
  img.replace(13, 12, date.left(12));
  const TCallRecord r = DecodeCallRecord(img);
  EXPECT_EQ(r.Memo, QString::fromUtf8("é").repeated(127));
  EXPECT_EQ(r.FileName, QString::fromUtf8("ab€€"));
  EXPECT_EQ(r.Date, QString::fromUtf8("8 déc 2024"));
  // Unchanged, the fields keep their bytes; the record reads the same again.
  EXPECT_EQ(EncodeCallRecord(r), img);
  EXPECT_EQ(DecodeCallRecord(EncodeCallRecord(r)).Memo, r.Memo);
  // A field that is not full, or Windows text, is no cut UTF-8: read as it always was.
  QByteArray windows(kCallRecordSize, '\0');
  windows[25] = 5;
  windows.replace(26, 5, "10:0\xc3");
  windows[38] = 10;
  windows.replace(39, 10, "\xe9\xe9\xe9\xe9\xe9\xe9\xe9\xe9\xe9\xe9");
  const TCallRecord w = DecodeCallRecord(windows);
  EXPECT_EQ(w.Time, QString::fromUtf8("10:0Ã"));
  EXPECT_EQ(w.Duration, QString(10, QChar(0xe9)));
}

TEST(CallFileTest, PartialRecordIsIgnoredAndGoneAfterSaving) {
  QTemporaryDir dir;
  const QString path = dir.filePath(kCallFileName);
  WriteRaw(path, ReadAll(kFixture).left(700));
  const std::vector<TCallRecord> list = LoadCallFile(path);
  EXPECT_EQ(list.size(), 2u);
  ASSERT_FALSE(SaveCallFile(path, list).has_value());
  EXPECT_EQ(ReadAll(path), ReadAll(kFixture).left(610));
}

TEST(CallFileTest, ThereIsNoCapacityLimit) {
  QTemporaryDir dir;
  const QString path = dir.filePath(kCallFileName);
  QByteArray big;
  for (int i = 0; i < 1500; ++i) {
    TCallRecord r = NewRecord(QStringLiteral("N%1").arg(i), QStringLiteral("memo %1").arg(i));
    big += EncodeCallRecord(r);
  }
  WriteRaw(path, big);
  std::vector<TCallRecord> list = LoadCallFile(path);
  ASSERT_EQ(list.size(), 1500u);
  EXPECT_EQ(list[1499].Memo, "memo 1499");
  ASSERT_FALSE(SaveCallFile(path, list).has_value());
  EXPECT_EQ(ReadAll(path), big);
  list.push_back(NewRecord("LAST", ""));
  ASSERT_FALSE(SaveCallFile(path, list).has_value());
  EXPECT_EQ(LoadCallFile(path).size(), 1501u);
}

TEST(CallFileTest, MissingFileIsCreatedEmptyAndPrivate) {
  QTemporaryDir dir;
  const QString path = dir.filePath(kCallFileName);
  EXPECT_TRUE(LoadCallFile(path).empty());
  ASSERT_TRUE(QFile::exists(path));
  EXPECT_EQ(QFile(path).size(), 0);
  struct stat st {};
  ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  // A fresh save is private as well.
  ASSERT_FALSE(SaveCallFile(path, {NewRecord("A", "")}).has_value());
  ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(CallFileTest, UnreadableFileRaisesTheSystemErrorText) {
  QTemporaryDir dir;
  // A folder where the file should be cannot be read as a file.
  const QString path = dir.filePath(kCallFileName);
  ASSERT_TRUE(QDir(dir.path()).mkdir(kCallFileName));
  try {
    LoadCallFile(path);
    FAIL() << "no error";
  } catch (const ECallFileError& e) {
    EXPECT_STRNE(e.what(), "");
  }
}

TEST(CallFileTest, AFailedSaveKeepsTheOldFile) {
  QTemporaryDir dir;
  const QString path = dir.filePath(kCallFileName);
  WriteRaw(path, ReadAll(kFixture));
  std::vector<TCallRecord> list = LoadCallFile(path);
  list.push_back(NewRecord("A", "x"));
  {
    FileSizeLimit limit(400);  // the new list (4 records) cannot be written whole
    const std::optional<QString> err = SaveCallFile(path, list);
    ASSERT_TRUE(err.has_value());
    EXPECT_FALSE(err->isEmpty());
  }
  EXPECT_EQ(ReadAll(path), ReadAll(kFixture));
  // No temporary file is left behind.
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

TEST(CallNamesTest, DurationRoundsHalvesToEven) {
  EXPECT_EQ(DurationText(44 + 65 * 8000 + 4000, 8000), "1:6");  // 65.5 s
  EXPECT_EQ(DurationText(44 + 64 * 8000 + 4000, 8000), "1:4");  // 64.5 s
  EXPECT_EQ(DurationText(44 + 64 * 8000 + 4001, 8000), "1:5");
  EXPECT_EQ(DurationText(44 + 125 * 8000, 8000), "2:5");
  EXPECT_EQ(DurationText(44 + 7 * 11025, 11025), "0:7");
  EXPECT_EQ(DurationText(44 + 3600LL * 8000, 8000), "60:0");
  EXPECT_EQ(DurationText(44, 8000), "0:0");
  EXPECT_EQ(DurationText(10, 8000), "0:0");
  EXPECT_EQ(DurationText(44 + 8000, 0), "?");
}

TEST(CallNamesTest, FileNamesUseTheTwentyThreeLetters) {
  QSet<QChar> seen;
  for (int i = 0; i < 2000; ++i) {
    const QString name = MakeFileName();
    ASSERT_EQ(name.size(), 6);
    for (const QChar c : name) {
      ASSERT_TRUE((c >= 'A' && c <= 'M') || (c >= 'O' && c <= 'X')) << name.toStdString();
      seen.insert(c);
    }
  }
  EXPECT_EQ(seen.size(), 23);  // every drawable letter turns up
}

TEST(CallNamesTest, TimeTextHasNoZoneAndFitsTheField) {
  const QString t = LongTimeText(QTime(23, 59, 58));
  EXPECT_TRUE(t.contains("59")) << t.toStdString();
  EXPECT_LE(t.toUtf8().size(), kTimeCapacity) << t.toStdString();
  EXPECT_FALSE(ShortDateText(QDate(2026, 12, 8)).isEmpty());
}
