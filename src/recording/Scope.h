#pragma once
// The scope: a black strip of the main window on which received or played samples are
// drawn as a green trace. The trace is drawn on an off-screen bitmap and copied to the
// window when it repaints.
#include <QImage>
#include <QRect>
#include <cstdint>
#include <functional>

class QPainter;

class TScope {
 public:
  TScope();

  static constexpr int32_t ScopeLeft = 8;
  static constexpr int32_t ScopeTop = 48;
  static constexpr int32_t ScopeWidth = 368;
  static constexpr int32_t ScopeHeight = 50;

  // Draws samples[0..n-1] (values 0..255), squeezed into the scope's width, and asks
  // for a repaint. n < 1 draws nothing.
  void DrawScope(const int32_t* samples, int32_t n);
  // Blanks the scope and asks for a repaint.
  void ClearScope();
  // The window's repaint: the blank box or the last trace.
  void Paint(QPainter& window) const;

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
};
