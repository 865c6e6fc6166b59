#include "recording/Scope.h"

#include <QPainter>
#include <cmath>

namespace {
const QColor kTraceColor(0, 255, 0);
constexpr double kSampleSpan = 254.0;  // sample values 254 and 255 reach the top edge

// Nearest integer, halves to even (the default floating-point rounding mode).
int32_t RoundEven(double v) {
  return static_cast<int32_t>(std::lrint(v));
}
}  // namespace

TScope::TScope()
    : ScopeBitmap(ScopeLeft + ScopeWidth, ScopeTop + ScopeHeight, QImage::Format_RGB32) {
  ScopeBitmap.fill(Qt::black);
}

int32_t TScope::SampleRow(int32_t s) {
  return ScopeTop + ScopeHeight - RoundEven(double(s * ScopeHeight) / kSampleSpan);
}

int32_t TScope::SampleColumn(int32_t i, int32_t n) {
  const float step = float(ScopeWidth) / float(n);
  return RoundEven(double(i) * double(step) + ScopeLeft);
}

void TScope::DrawScope(const int32_t* samples, int32_t n) {
  if (n < 1) return;
  ScopeBlank = false;
  QPainter p(&ScopeBitmap);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.fillRect(Rect(), Qt::black);
  QPen pen(kTraceColor);
  pen.setWidth(1);
  pen.setCapStyle(Qt::FlatCap);  // a line stops short of its end point, as LineTo does
  p.setPen(pen);
  QPoint from(ScopeLeft, SampleRow(samples[0]));
  for (int32_t i = 1; i < n; ++i) {
    const QPoint to(SampleColumn(i, n), SampleRow(samples[i]));
    p.drawLine(from, to);
    from = to;
  }
  p.end();
  ScopeDrawn = true;
  ++DrawCount;
  if (Repaint) Repaint();
}

void TScope::ClearScope() {
  ScopeBlank = true;
  ScopeDrawn = false;
  if (Repaint) Repaint();
}

void TScope::Paint(QPainter& window) const {
  if (ScopeBlank) window.fillRect(Rect(), Qt::black);
  if (ScopeDrawn) window.drawImage(Rect(), ScopeBitmap, Rect());
}
