// The export of a folder's calls: bad rows skipped and reported with nothing written
// outside the target, names of the same second, files already there, a cancel.
#include <gtest/gtest.h>

#include "ExportTestSupport.h"
#include "export/CallExport.h"

namespace {
const QByteArray kShortTone = WavImage8(Tone8(440, 8000, 0.25), 8000);

QStringList Reasons(const TExportReport& report) {
  QStringList out;
  for (const TSkippedCall& s : report.skipped) out << s.call.FileName + ": " + s.reason;
  return out;
}
}  // namespace

TEST(ExportJobTest, BadRowsAreSkippedWithTheirReasonAndNothingIsWrittenOutsideTheTarget) {
  TavrinFolderFixture fx;
  fx.Add(Call("GOODAB", kMay1.addSecs(1)), kShortTone);
  // "../x" would be tavrin/x.wav: a real recording lies there, so that following the
  // name would export it.
  WriteRaw(fx.Path("x.wav"), kShortTone);
  fx.Add(Call("../x", kMay1.addSecs(2)));
  fx.Add(Call("MISSIN", kMay1.addSecs(3)));
  fx.Add(Call("DAMAGE", kMay1.addSecs(4)), QByteArray("RIFF\x10\0\0\0WAVEfmt ", 16));
  // A header that promises more samples than the file holds.
  QByteArray cut = kShortTone.left(200);
  fx.Add(Call("CUTOFF", kMay1.addSecs(5)), cut);
  TCallRecord undated = Call("NODATE", kMay1.addSecs(6));
  undated.Date = QStringLiteral("31/31/99");
  fx.Add(undated, kShortTone);
  const auto before = fx.Snapshot();

  const TExportReport report = ExportCalls(fx.calls, {fx.folder, fx.target, TExportFormat::kFlac});
  ASSERT_TRUE(report.failure.isEmpty()) << report.failure.toStdString();
  EXPECT_FALSE(report.cancelled);
  ASSERT_EQ(report.exported.size(), 1u);
  EXPECT_EQ(report.exported[0].call.FileName, "GOODAB");
  EXPECT_EQ(
      Reasons(report),
      (QStringList{"../x: the file name is not a plain name", "MISSIN: the WAV file is missing",
                   "DAMAGE: the WAV file is damaged", "CUTOFF: the WAV file is damaged",
                   "NODATE: its date or time cannot be read"}));
  EXPECT_FALSE(report.Complete());
  EXPECT_EQ(fx.TargetFiles(), QStringList{"2024-05-01_22-03-05.flac"});
  // Everything outside the target is as it was.
  auto after = fx.Snapshot();
  after.erase(QDir(fx.target).filePath("2024-05-01_22-03-05.flac"));
  EXPECT_EQ(after, before);
}

TEST(ExportJobTest, CallsOfTheSameSecondAndFilesAlreadyThereGetSuffixesAndNothingIsOverwritten) {
  TavrinFolderFixture fx;
  for (const char* name : {"FIRSTA", "SECOND", "THIRDA"}) {
    fx.Add(Call(name, kMay1, QString::fromLatin1(name)), kShortTone);
  }
  ASSERT_TRUE(QDir().mkpath(fx.target));
  WriteRaw(QDir(fx.target).filePath("2024-05-01_22-03-04.opus"), "mine");
  WriteRaw(QDir(fx.target).filePath("2024-05-01_22-03-04_3.opus"), "mine too");

  const TExportReport report = ExportCalls(fx.calls, {fx.folder, fx.target, TExportFormat::kOpus});
  ASSERT_TRUE(report.Complete());
  ASSERT_EQ(report.exported.size(), 3u);
  EXPECT_EQ(report.exported[0].file, "2024-05-01_22-03-04_2.opus");
  EXPECT_EQ(report.exported[1].file, "2024-05-01_22-03-04_4.opus");
  EXPECT_EQ(report.exported[2].file, "2024-05-01_22-03-04_5.opus");
  EXPECT_EQ(ReadAll(QDir(fx.target).filePath("2024-05-01_22-03-04.opus")), "mine");
  EXPECT_EQ(ReadAll(QDir(fx.target).filePath("2024-05-01_22-03-04_3.opus")), "mine too");
  // Each file is its own call's.
  for (const TExportedCall& e : report.exported) {
    EXPECT_EQ(Decode(QDir(fx.target).filePath(e.file)).tags.at(SF_STR_COMMENT), e.call.Memo);
  }
  // A second run adds, never replaces.
  const TExportReport again = ExportCalls(fx.calls, {fx.folder, fx.target, TExportFormat::kOpus});
  ASSERT_EQ(again.exported.size(), 3u);
  EXPECT_EQ(again.exported[0].file, "2024-05-01_22-03-04_6.opus");
  EXPECT_EQ(fx.TargetFiles().size(), 8);
}

TEST(ExportJobTest, ACancelInTheMiddleOfACallKeepsTheFinishedFilesAndLeavesNoPartOfTheRest) {
  TavrinFolderFixture fx;
  for (int i = 0; i < 3; ++i) {
    fx.Add(Call(QStringLiteral("CALL%1A").arg(i), kMay1.addSecs(60 * i)),
           WavImage8(Tone8(300, 8000, 4), 8000));
  }
  std::vector<std::pair<size_t, double>> seen;
  const TExportProgress cancelHalfwayThroughTheSecond = [&](size_t index, size_t count,
                                                            double fraction) {
    EXPECT_EQ(count, 3u);
    seen.emplace_back(index, fraction);
    return !(index == 1 && fraction >= 0.5);
  };
  const TExportReport report = ExportCalls(fx.calls, {fx.folder, fx.target, TExportFormat::kWav},
                                           cancelHalfwayThroughTheSecond);
  EXPECT_TRUE(report.cancelled);
  EXPECT_TRUE(report.skipped.empty());
  ASSERT_EQ(report.exported.size(), 1u);
  EXPECT_EQ(fx.TargetFiles(), QStringList{"2024-05-01_22-03-04.wav"});
  EXPECT_TRUE(Decode(QDir(fx.target).filePath("2024-05-01_22-03-04.wav")).ok);
  // The progress went up through the first call and stopped inside the second.
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back().first, 1u);
  EXPECT_LT(seen.back().second, 1.0);
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
}

TEST(ExportJobTest, ATargetThatCannotBeMadeStopsTheExport) {
  TavrinFolderFixture fx;
  fx.Add(Call("GOODAB", kMay1), kShortTone);
  WriteRaw(fx.target, "a file, not a folder");
  const TExportReport report = ExportCalls(fx.calls, {fx.folder, fx.target, TExportFormat::kFlac});
  EXPECT_FALSE(report.failure.isEmpty());
  EXPECT_TRUE(report.exported.empty());
  EXPECT_EQ(ReadAll(fx.target), "a file, not a folder");
}
