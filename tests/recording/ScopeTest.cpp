#include <gtest/gtest.h>
#include <QPainter>
#include <vector>

#include "recording/Scope.h"

namespace {
const QRgb kGreen = qRgb(0, 255, 0);
const QRgb kBlack = qRgb(0, 0, 0);

// Rows of the scope rectangle that are green in column x.
std::vector<int> GreenRows(const QImage& img, int x) {
  std::vector<int> rows;
  for (int y = 0; y < img.height(); ++y) {
    if (img.pixel(x, y) == kGreen) rows.push_back(y);
  }
  return rows;
}
}  // namespace

TEST(Scope, BlockOfZeroLevelSamplesIsALineAtRow73) {
  TScope scope;
  int repaints = 0;
  scope.Repaint = [&] { ++repaints; };
  std::vector<int32_t> block(1600, 128);
  scope.DrawScope(block.data(), 1600);
  EXPECT_EQ(repaints, 1);
  EXPECT_TRUE(scope.ScopeDrawn);
  EXPECT_FALSE(scope.ScopeBlank);
  const QImage& img = scope.ScopeBitmap;
  ASSERT_EQ(img.size(), QSize(376, 98));
  for (int x = 8; x < 376; ++x) {
    ASSERT_EQ(GreenRows(img, x), std::vector<int>{73}) << "column " << x;
  }
  for (int x = 0; x < 8; ++x) EXPECT_TRUE(GreenRows(img, x).empty());
  for (int y = 48; y < 98; ++y) {
    if (y != 73) {
      EXPECT_EQ(img.pixel(200, y), kBlack);
    }
  }
}

TEST(Scope, SampleHeightsRoundHalvesToEven) {
  EXPECT_EQ(TScope::SampleRow(0), 98);
  EXPECT_EQ(TScope::SampleRow(127), 73);  // 25.0 exactly
  EXPECT_EQ(TScope::SampleRow(128), 73);  // 25.197
  EXPECT_EQ(TScope::SampleRow(254), 48);
  EXPECT_EQ(TScope::SampleRow(255), 48);  // 50.197
  EXPECT_EQ(TScope::SampleRow(1), 98);    // 0.197
  EXPECT_EQ(TScope::SampleRow(3), 97);    // 0.591
  // Columns: step 368 / 736 = 0.5 puts every odd sample on a half.
  EXPECT_EQ(TScope::SampleColumn(1, 736), 8);   // 8.5
  EXPECT_EQ(TScope::SampleColumn(3, 736), 10);  // 9.5
  EXPECT_EQ(TScope::SampleColumn(5, 736), 10);  // 10.5
  EXPECT_EQ(TScope::SampleColumn(1599, 1600), 376);
}

TEST(Scope, NewTraceReplacesTheOldAndSquashesIntoTheWidth) {
  TScope scope;
  std::vector<int32_t> high(100, 254);
  scope.DrawScope(high.data(), 100);
  std::vector<int32_t> ramp = {0, 254};
  scope.DrawScope(ramp.data(), 2);  // one line from (8, 98) to (192, 48)
  const QImage& img = scope.ScopeBitmap;
  EXPECT_NE(img.pixel(300, 48), kGreen);  // the old trace is gone
  EXPECT_EQ(img.pixel(8, 97), kBlack);    // row 98 is past the bitmap
  int greenColumns = 0;
  for (int x = 8; x < 376; ++x) greenColumns += GreenRows(img, x).empty() ? 0 : 1;
  EXPECT_GE(greenColumns, 180);
  EXPECT_LE(greenColumns, 185);

  std::vector<int32_t> one = {200};
  scope.DrawScope(one.data(), 1);  // a single sample sets only the start point
  for (int x = 8; x < 376; ++x) ASSERT_TRUE(GreenRows(img, x).empty());
}

TEST(Scope, RepaintShowsTheBlankBoxOrTheLastTrace) {
  TScope scope;
  QImage window(384, 386, QImage::Format_RGB32);
  auto paint = [&] {
    window.fill(Qt::white);
    QPainter p(&window);
    scope.Paint(p);
  };
  paint();
  EXPECT_EQ(window.pixel(100, 60), qRgb(255, 255, 255));  // neither blank nor drawn yet
  scope.ClearScope();
  paint();
  EXPECT_EQ(window.pixel(100, 60), kBlack);
  EXPECT_EQ(window.pixel(7, 60), qRgb(255, 255, 255));
  std::vector<int32_t> block(400, 128);
  scope.DrawScope(block.data(), 400);
  paint();
  EXPECT_EQ(window.pixel(100, 73), kGreen);
  EXPECT_EQ(window.pixel(100, 60), kBlack);
  paint();  // the trace survives a second repaint
  EXPECT_EQ(window.pixel(100, 73), kGreen);
  scope.ClearScope();
  paint();
  EXPECT_EQ(window.pixel(100, 73), kBlack);
}
