// The call list as CSV, read back with a strict RFC 4180 reader (common/StrictCsv.h).
#include <gtest/gtest.h>

#include <optional>

#include "ExportTestSupport.h"
#include "common/StrictCsv.h"
#include "export/CallCsv.h"
#include "export/ExportTexts.h"

TEST(CallCsvTest, MemosWithCommasQuotesLineBreaksAndOtherLettersReadBackExactly) {
  const std::vector<QString> memos = {
      QStringLiteral("plain"),
      QStringLiteral("Smith, John"),
      QStringLiteral("said \"call back\""),
      QStringLiteral("two\r\nlines and\na bare LF"),
      QString::fromUtf8("Grüße aus Köln — 日本語 ✓"),
      QString(),
      QStringLiteral("\""),
      QStringLiteral(",,"),
  };
  std::vector<TCallRecord> calls;
  for (size_t i = 0; i < memos.size(); ++i) {
    calls.push_back(Call(QStringLiteral("CALL%1").arg(i), kMay1.addSecs(static_cast<int>(i)),
                         memos[i], QStringLiteral("2:5")));
  }
  std::vector<TSkippedCall> skipped;
  const std::optional<TCsvRows> rows = ReadStrictCsv(CallListCsv(calls, &skipped));
  ASSERT_TRUE(rows.has_value());
  EXPECT_TRUE(skipped.empty());
  ASSERT_EQ(rows->size(), calls.size() + 1);
  EXPECT_EQ((*rows)[0], (std::vector<QString>{"date", "time", "duration", "memo", "file"}));
  for (size_t i = 0; i < memos.size(); ++i) {
    const std::vector<QString>& row = (*rows)[i + 1];
    ASSERT_EQ(row.size(), 5u);
    EXPECT_EQ(row[0], "2024-05-01");
    EXPECT_EQ(row[1], IsoTimeText(kMay1.time().addSecs(static_cast<int>(i))));
    EXPECT_EQ(row[2], "00:02:05");
    EXPECT_EQ(row[3], memos[i]);
    EXPECT_EQ(row[4], QStringLiteral("CALL%1.wav").arg(i));
  }
}

TEST(CallCsvTest, FormulasAreDefusedAndUnreadableRowsAreLeftOutAndReported) {
  std::vector<TCallRecord> calls = {
      Call("FORMUL", kMay1, QStringLiteral("=HYPERLINK(\"x\")")),
      Call("PLUSAB", kMay1, QStringLiteral("+4930123")),
      Call("ATSIGN", kMay1, QStringLiteral("@home")),
      Call("MIDDLE", kMay1, QStringLiteral("a=b")),
      Call("../x", kMay1),
      Call("NODATE", kMay1),
      Call("NOTIME", kMay1),
      Call("LONGAB", kMay1, {}, QStringLiteral("150:59")),
      Call("NODURA", kMay1, {}, QStringLiteral("?")),
  };
  calls[5].Date = QStringLiteral("13/13/13");
  calls[6].Time = QStringLiteral("noon");
  std::vector<TSkippedCall> skipped;
  const std::optional<TCsvRows> rows = ReadStrictCsv(CallListCsv(calls, &skipped));
  ASSERT_TRUE(rows.has_value());
  ASSERT_EQ(rows->size(), 7u);
  EXPECT_EQ((*rows)[1][3], "'=HYPERLINK(\"x\")");
  EXPECT_EQ((*rows)[2][3], "'+4930123");
  EXPECT_EQ((*rows)[3][3], "'@home");
  EXPECT_EQ((*rows)[4][3], "a=b");
  EXPECT_EQ((*rows)[5][2], "02:30:59");
  EXPECT_EQ((*rows)[6][2], "");
  ASSERT_EQ(skipped.size(), 3u);
  EXPECT_EQ(skipped[0].call.FileName, "../x");
  EXPECT_EQ(skipped[1].call.FileName, "NODATE");
  EXPECT_EQ(skipped[2].call.FileName, "NOTIME");
}

TEST(CallCsvTest, TheFileIsReplacedWholeAndAnEmptyListIsTheHeaderAlone) {
  QTemporaryDir dir;
  const QString path = dir.filePath("calls.csv");
  WriteRaw(path, "old content that is longer than the new one");
  std::vector<TSkippedCall> skipped;
  ASSERT_FALSE(WriteCallListCsv(path, {}, &skipped).has_value());
  EXPECT_EQ(ReadAll(path), "date,time,duration,memo,file\r\n");
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"calls.csv"});
  EXPECT_TRUE(WriteCallListCsv(dir.filePath("missing/calls.csv"), {}, &skipped).has_value());
}
