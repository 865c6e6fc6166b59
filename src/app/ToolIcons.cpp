#include "app/ToolIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>

namespace {
const QColor kGlyph(0x2B, 0x4A, 0x6F);
const QColor kNavGlyph(0x1F, 0x6F, 0x3F);
const QColor kRecord(0xD0, 0x1E, 0x1E);
const QColor kDelete(0xB0, 0x2A, 0x2A);

// All glyphs are drawn on a 24 x 24 design grid and scaled to the requested size.
constexpr qreal kGrid = 24.0;

void Triangle(QPainter& p, qreal left, qreal right, bool pointsRight) {
  QPolygonF t;
  if (pointsRight) {
    t << QPointF(left, 5) << QPointF(right, 12) << QPointF(left, 19);
  } else {
    t << QPointF(right, 5) << QPointF(left, 12) << QPointF(right, 19);
  }
  p.drawPolygon(t);
}

void Chevron(QPainter& p, qreal x, bool pointsRight, const QColor& color) {
  QPen pen(color, 3.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  p.setPen(pen);
  p.setBrush(Qt::NoBrush);
  const qreal d = pointsRight ? 5 : -5;
  QPolygonF line;
  line << QPointF(x - d, 5) << QPointF(x + d, 12) << QPointF(x - d, 19);
  p.drawPolyline(line);
}

void Draw(QPainter& p, TToolIcon kind) {
  p.setPen(Qt::NoPen);
  p.setBrush(kGlyph);
  switch (kind) {
    case TToolIcon::Play:
      Triangle(p, 7, 19, true);
      break;
    case TToolIcon::Pause:
      p.drawRoundedRect(QRectF(6, 5, 4.5, 14), 1, 1);
      p.drawRoundedRect(QRectF(13.5, 5, 4.5, 14), 1, 1);
      break;
    case TToolIcon::Stop:
      p.drawRoundedRect(QRectF(6, 6, 12, 12), 1.5, 1.5);
      break;
    case TToolIcon::Rewind:
      Triangle(p, 2, 12, false);
      Triangle(p, 11, 21, false);
      break;
    case TToolIcon::FastForward:
      Triangle(p, 3, 13, true);
      Triangle(p, 12, 22, true);
      break;
    case TToolIcon::Record:
      p.setBrush(kRecord);
      p.setPen(QPen(kRecord.darker(140), 1));
      p.drawEllipse(QPointF(12, 12), 6.5, 6.5);
      break;
    case TToolIcon::First:
      p.setBrush(kNavGlyph);
      p.drawRect(QRectF(4, 5, 3, 14));
      Chevron(p, 14, false, kNavGlyph);
      break;
    case TToolIcon::Previous:
      Chevron(p, 12, false, kNavGlyph);
      break;
    case TToolIcon::Next:
      Chevron(p, 12, true, kNavGlyph);
      break;
    case TToolIcon::Last:
      p.setBrush(kNavGlyph);
      p.drawRect(QRectF(17, 5, 3, 14));
      Chevron(p, 10, true, kNavGlyph);
      break;
    case TToolIcon::Delete: {
      // A waste bin: lid with handle, and a tapering body with three ribs.
      p.setBrush(kDelete);
      p.drawRoundedRect(QRectF(4, 5, 16, 2.5), 1, 1);
      p.drawRect(QRectF(9.5, 3, 5, 2));
      QPainterPath body;
      body.moveTo(5.5, 9);
      body.lineTo(18.5, 9);
      body.lineTo(17, 21);
      body.lineTo(7, 21);
      body.closeSubpath();
      p.drawPath(body);
      p.setPen(QPen(Qt::white, 1.3, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(9.5, 11.5), QPointF(10, 18.5));
      p.drawLine(QPointF(12, 11.5), QPointF(12, 18.5));
      p.drawLine(QPointF(14.5, 11.5), QPointF(14, 18.5));
      break;
    }
  }
}
}  // namespace

QIcon MakeToolIcon(TToolIcon kind, int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / kGrid, size / kGrid);
  Draw(p, kind);
  p.end();
  return QIcon(pixmap);
}
