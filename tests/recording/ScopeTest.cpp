#include <gtest/gtest.h>
#include <QPainter>
#include <QTest>
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
  int64_t now = 0;
  scope.Clock = [&] { return now; };
  std::vector<int32_t> high(100, 254);
  scope.DrawScope(high.data(), 100);
  std::vector<int32_t> ramp = {0, 254};
  now += TScope::kFrameMs;
  scope.DrawScope(ramp.data(), 2);  // one line from (8, 98) to (192, 48)
  const QImage& img = scope.ScopeBitmap;
  EXPECT_NE(img.pixel(300, 48), kGreen);  // the old trace is gone
  EXPECT_EQ(img.pixel(8, 97), kBlack);    // row 98 is past the bitmap
  int greenColumns = 0;
  for (int x = 8; x < 376; ++x) greenColumns += GreenRows(img, x).empty() ? 0 : 1;
  EXPECT_GE(greenColumns, 180);
  EXPECT_LE(greenColumns, 185);

  std::vector<int32_t> one = {200};
  now += TScope::kFrameMs;
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

// Blocks that come faster than the display shows them: at most one trace per frame, and
// the one drawn when the frame is over is the newest; none is lost at the end.
TEST(Scope, DrawsAtMostOneTracePerFrameAndTheNewestAtItsEnd) {
  TScope scope;
  int64_t now = 1000;
  int repaints = 0;
  scope.Clock = [&] { return now; };
  scope.Repaint = [&] { ++repaints; };
  const std::vector<int32_t> low(400, 10), mid(400, 128), high(400, 254);
  scope.DrawScope(low.data(), 400);
  EXPECT_EQ(scope.DrawCount, 1);
  now += 5;
  scope.DrawScope(mid.data(), 400);
  now += 5;
  scope.DrawScope(high.data(), 400);
  EXPECT_EQ(scope.DrawCount, 1);  // still the frame of the first
  EXPECT_EQ(repaints, 1);
  EXPECT_EQ(GreenRows(scope.ScopeBitmap, 100), std::vector<int>{TScope::SampleRow(10)});
  ASSERT_TRUE(QTest::qWaitFor([&] { return scope.DrawCount == 2; }, 2000));
  EXPECT_EQ(repaints, 2);
  EXPECT_EQ(GreenRows(scope.ScopeBitmap, 100), std::vector<int>{48});  // the newest
  QTest::qWait(3 * TScope::kFrameMs);
  EXPECT_EQ(scope.DrawCount, 2);  // the middle one is never drawn
  now += TScope::kFrameMs;
  scope.DrawScope(mid.data(), 400);  // a frame later: at once
  EXPECT_EQ(scope.DrawCount, 3);
  // A blank after a block still waiting drops it.
  now += 1;
  scope.DrawScope(low.data(), 400);
  scope.ClearScope();
  QTest::qWait(3 * TScope::kFrameMs);
  EXPECT_EQ(scope.DrawCount, 3);
  EXPECT_FALSE(scope.ScopeDrawn);
}

// While the window does not show the scope nothing is drawn or repainted; the newest
// block appears when it shows it again, or with the repaint that shows it.
TEST(Scope, AHiddenScopeDrawsNothingAndShowsTheNewestBlockWhenItComesBack) {
  TScope scope;
  int64_t now = 0;
  bool shown = false;
  int repaints = 0;
  scope.Clock = [&] { return now; };
  scope.Shown = [&] { return shown; };
  scope.Repaint = [&] { ++repaints; };
  const std::vector<int32_t> low(400, 10), high(400, 254);
  for (int i = 0; i < 10; ++i) {
    now += 100;
    scope.DrawScope((i % 2 ? high : low).data(), 400);
  }
  QTest::qWait(3 * TScope::kFrameMs);
  EXPECT_EQ(scope.DrawCount, 0);
  EXPECT_EQ(repaints, 0);
  scope.ShowingChanged();  // still hidden: nothing
  EXPECT_EQ(scope.DrawCount, 0);
  shown = true;
  scope.ShowingChanged();
  EXPECT_EQ(scope.DrawCount, 1);
  EXPECT_EQ(repaints, 1);
  EXPECT_EQ(GreenRows(scope.ScopeBitmap, 100), std::vector<int>{48});
  scope.ShowingChanged();  // nothing waits any more
  EXPECT_EQ(scope.DrawCount, 1);

  shown = false;
  now += 100;
  scope.DrawScope(low.data(), 400);
  QImage window(384, 386, QImage::Format_RGB32);
  QPainter p(&window);
  scope.Paint(p);  // a repaint means the scope is seen after all
  p.end();
  EXPECT_EQ(scope.DrawCount, 2);
  EXPECT_EQ(repaints, 1);  // drawn for this repaint, no other asked for
  EXPECT_EQ(window.pixel(100, TScope::SampleRow(10)), kGreen);
}
