#include "recording/Scope.h"

#include <QPainter>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

#include "setup/SteadyClock.h"

namespace {
const QColor kTraceColor(0, 255, 0);
constexpr double kSampleSpan = 254.0;  // sample values 254 and 255 reach the top edge
constexpr int32_t kSampleValues = 256;

// Nearest integer, halves to even (the default floating-point rounding mode).
int32_t RoundEven(double v) {
  return static_cast<int32_t>(std::lrint(v));
}

int32_t ComputeRow(int32_t s) {
  return TScope::ScopeTop + TScope::ScopeHeight -
         RoundEven(double(s * TScope::ScopeHeight) / kSampleSpan);
}

// The row of every sample value, worked out once.
const std::array<int32_t, kSampleValues>& Rows() {
  static const auto rows = [] {
    std::array<int32_t, kSampleValues> r{};
    for (int32_t s = 0; s < kSampleValues; ++s) r[static_cast<size_t>(s)] = ComputeRow(s);
    return r;
  }();
  return rows;
}
}  // namespace

TScope::TScope()
    : ScopeBitmap(ScopeLeft + ScopeWidth, ScopeTop + ScopeHeight, QImage::Format_RGB32),
      Clock(SteadyMs) {
  ScopeBitmap.fill(Qt::black);
  frameEnd_.setSingleShot(true);
  QObject::connect(&frameEnd_, &QTimer::timeout, [this] {
    if (hasWaiting_ && IsShown()) DrawWaiting(true);
  });
}

int32_t TScope::SampleRow(int32_t s) {
  if (s >= 0 && s < kSampleValues) return Rows()[static_cast<size_t>(s)];
  return ComputeRow(s);
}

int32_t TScope::SampleColumn(int32_t i, int32_t n) {
  const float step = float(ScopeWidth) / float(n);
  return RoundEven(double(i) * double(step) + ScopeLeft);
}

void TScope::DrawScope(const int32_t* samples, int32_t n) {
  if (n < 1) return;
  ScopeBlank = false;
  waiting_.assign(samples, samples + n);
  hasWaiting_ = true;
  if (!IsShown()) return;  // drawn by the repaint that shows the scope again
  const int64_t frameLeft = drawnOnce_ ? lastDrawnMs_ + kFrameMs - Clock() : 0;
  if (frameLeft <= 0) {
    frameEnd_.stop();
    DrawWaiting(true);
  } else if (!frameEnd_.isActive()) {
    frameEnd_.start(static_cast<int>(frameLeft));
  }
}

// A line from `from` towards `to` as LineTo draws it: every pixel up to the end point,
// which is left out; pixels off the bitmap are skipped. Plain integer steps along the
// longer axis: a trace is some thousand short lines, drawn many times a second.
void TScope::PlotLine(QPoint from, QPoint to) {
  const int dx = std::abs(to.x() - from.x());
  const int dy = std::abs(to.y() - from.y());
  const int sx = to.x() > from.x() ? 1 : -1;
  const int sy = to.y() > from.y() ? 1 : -1;
  const int steps = std::max(dx, dy);
  int x = from.x();
  int y = from.y();
  int error = (dx > dy ? dx : -dy) / 2;
  for (int i = 0; i < steps; ++i) {
    if (x >= 0 && y >= 0 && x < ScopeBitmap.width() && y < ScopeBitmap.height()) {
      reinterpret_cast<QRgb*>(ScopeBitmap.scanLine(y))[x] = kTraceColor.rgb();
    }
    const int e = error;
    if (e > -dx) {
      error -= dy;
      x += sx;
    }
    if (e < dy) {
      error += dx;
      y += sy;
    }
  }
}

void TScope::DrawWaiting(bool repaint) {
  hasWaiting_ = false;
  const auto n = static_cast<int32_t>(waiting_.size());
  const QRect box = Rect().intersected(ScopeBitmap.rect());
  for (int y = box.top(); y <= box.bottom(); ++y) {
    QRgb* row = reinterpret_cast<QRgb*>(ScopeBitmap.scanLine(y));
    std::fill(row + box.left(), row + box.right() + 1, QColor(Qt::black).rgb());
  }
  QPoint from(ScopeLeft, SampleRow(waiting_[0]));
  for (int32_t i = 1; i < n; ++i) {
    const QPoint to(SampleColumn(i, n), SampleRow(waiting_[static_cast<size_t>(i)]));
    PlotLine(from, to);
    from = to;
  }
  ScopeDrawn = true;
  ++DrawCount;
  lastDrawnMs_ = Clock();
  drawnOnce_ = true;
  if (repaint && Repaint) Repaint();
}

void TScope::ClearScope() {
  ScopeBlank = true;
  ScopeDrawn = false;
  hasWaiting_ = false;
  frameEnd_.stop();
  if (Repaint) Repaint();
}

void TScope::ShowingChanged() {
  if (!hasWaiting_ || !IsShown()) return;
  frameEnd_.stop();
  DrawWaiting(true);
}

void TScope::Paint(QPainter& window) {
  if (hasWaiting_) DrawWaiting(false);  // this repaint shows it
  if (ScopeBlank) window.fillRect(Rect(), Qt::black);
  if (ScopeDrawn) window.drawImage(Rect(), ScopeBitmap, Rect());
}
