#pragma once
// The scope: a black strip of the main window on which received or played samples are
// drawn as a green trace. The trace is drawn on an off-screen bitmap and copied to the
// window when it repaints.
//
// It draws at the display's pace: a block is drawn at once when the last trace is at
// least a frame old, else the newest block waiting is drawn when the frame is over (at
// most kFramesPerSecond traces a second), and while the window does not show the scope
// (hidden, minimised) nothing is drawn: the newest block is drawn when it shows it again.
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <vector>

class QPainter;

class TScope {
 public:
  TScope();

  static constexpr int32_t ScopeLeft = 8;
  static constexpr int32_t ScopeTop = 48;
  static constexpr int32_t ScopeWidth = 368;
  static constexpr int32_t ScopeHeight = 50;
  static constexpr int kFramesPerSecond = 30;
  static constexpr int kFrameMs = 1000 / kFramesPerSecond;

  // Takes samples[0..n-1] (values 0..255) as the trace, squeezed into the scope's width,
  // to be drawn (see above) and repainted. n < 1 draws nothing.
  void DrawScope(const int32_t* samples, int32_t n);
  // Blanks the scope and asks for a repaint.
  void ClearScope();
  // The window's repaint: the blank box or the last trace (a block still waiting is
  // drawn first).
  void Paint(QPainter& window);
  // The window has come back (shown, restored): a block that waited is drawn now.
  void ShowingChanged();

  static QRect Rect() { return {ScopeLeft, ScopeTop, ScopeWidth, ScopeHeight}; }
  // Row of the bitmap on which a sample value lies.
  static int32_t SampleRow(int32_t s);
  // Column of sample i (0-based) of n.
  static int32_t SampleColumn(int32_t i, int32_t n);

  QImage ScopeBitmap;
  bool ScopeBlank = false;
  bool ScopeDrawn = false;
  int64_t DrawCount = 0;  // traces drawn so far

  std::function<void()> Repaint;  // repaints the window's scope area
  // Whether the window shows the scope now; unset: it always does.
  std::function<bool()> Shown;
  // Milliseconds of a monotonic clock; tests replace it.
  std::function<int64_t()> Clock;

 private:
  bool IsShown() const { return !Shown || Shown(); }
  void DrawWaiting(bool repaint);
  void PlotLine(QPoint from, QPoint to);

  std::vector<int32_t> waiting_;  // the newest block not drawn yet
  bool hasWaiting_ = false;
  int64_t lastDrawnMs_ = 0;
  bool drawnOnce_ = false;
  QTimer frameEnd_;
};
