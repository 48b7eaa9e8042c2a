#include "Glyphs.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <cmath>
#include <numbers>

namespace qv {

namespace {

const QColor kGreen(40, 160, 40);
const QColor kDarkGreen(20, 100, 20);
const QColor kOrange(245, 150, 20);
const QColor kDarkOrange(200, 100, 0);

QPixmap Blank(int side) {
  QPixmap pixmap(side, side);
  pixmap.fill(Qt::transparent);
  return pixmap;
}

void Smooth(QPainter& painter) { painter.setRenderHint(QPainter::Antialiasing, true); }

// A star of `points` rays between the two radii, centred at centre.
QPolygonF Star(QPointF centre, double outer, double inner, int points) {
  QPolygonF star;
  for (int k = 0; k < points * 2; ++k) {
    const double radius = (k % 2 == 0) ? outer : inner;
    const double angle = -std::numbers::pi / 2 + k * std::numbers::pi / points;
    star << centre + QPointF(radius * std::cos(angle), radius * std::sin(angle));
  }
  return star;
}

// An arrow pointing right whose box is the given rectangle.
QPolygonF RightArrow(const QRectF& box) {
  const double shaft = box.height() / 3;
  const double headStart = box.left() + box.width() * 0.5;
  const double mid = box.center().y();
  return QPolygonF({QPointF(box.left(), mid - shaft / 2), QPointF(headStart, mid - shaft / 2),
                    QPointF(headStart, box.top()), QPointF(box.right(), mid), QPointF(headStart, box.bottom()),
                    QPointF(headStart, mid + shaft / 2), QPointF(box.left(), mid + shaft / 2)});
}

} // namespace

QPixmap AddGlyph() {
  QPixmap pixmap = Blank(16);
  QPainter painter(&pixmap);
  Smooth(painter);
  painter.setPen(QPen(kDarkGreen, 1));
  painter.setBrush(kGreen);
  QPainterPath plus;
  plus.addRect(6, 2, 4, 12);
  plus.addRect(2, 6, 12, 4);
  painter.drawPath(plus.simplified());
  return pixmap;
}

QPixmap RemoveGlyph() {
  QPixmap pixmap = Blank(16);
  QPainter painter(&pixmap);
  Smooth(painter);
  painter.setPen(QPen(QColor(140, 0, 0), 4.5, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
  painter.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
  painter.setPen(QPen(QColor(225, 30, 30), 2.5, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
  painter.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
  return pixmap;
}

QPixmap ClearGlyph() {
  QPixmap pixmap = Blank(16);
  QPainter painter(&pixmap);
  Smooth(painter);
  painter.setPen(QPen(QColor(90, 90, 90), 1));
  painter.setBrush(Qt::white);
  painter.drawPolygon(QPolygonF({QPointF(3.5, 1.5), QPointF(10.5, 1.5), QPointF(13.5, 4.5), QPointF(13.5, 14.5),
                                 QPointF(3.5, 14.5)}));
  painter.setPen(QPen(kDarkOrange, 0.8));
  painter.setBrush(kOrange);
  painter.drawPolygon(Star(QPointF(6.5, 6.5), 5.5, 2.2, 8));
  return pixmap;
}

QPixmap FolderGlyph() {
  QPixmap pixmap = Blank(16);
  QPainter painter(&pixmap);
  Smooth(painter);
  painter.setPen(QPen(QColor(150, 110, 20), 1));
  painter.setBrush(QColor(240, 200, 80));
  painter.drawPolygon(QPolygonF({QPointF(0.5, 3.5), QPointF(5.5, 3.5), QPointF(7, 5.5), QPointF(13.5, 5.5),
                                 QPointF(13.5, 13.5), QPointF(0.5, 13.5)}));
  painter.setPen(QPen(kDarkGreen, 0.8));
  painter.setBrush(kGreen);
  painter.drawPolygon(RightArrow(QRectF(6.5, 1.5, 9, 8)));
  return pixmap;
}

QPixmap StartGlyph() {
  QPixmap pixmap = Blank(24);
  QPainter painter(&pixmap);
  Smooth(painter);
  painter.setPen(QPen(kDarkOrange, 1));
  painter.setBrush(kOrange);
  painter.drawPolygon(Star(QPointF(11.5, 12), 11, 5.5, 8));
  painter.setPen(QPen(kDarkGreen, 1));
  painter.setBrush(kGreen);
  painter.drawPolygon(RightArrow(QRectF(5.5, 6.5, 14, 11)));
  return pixmap;
}

QPixmap SettingsGlyph() {
  QPixmap pixmap = Blank(24);
  QPainter painter(&pixmap);
  Smooth(painter);
  const QPointF centre(12, 12);
  QPainterPath cog;
  constexpr int teeth = 8;
  QPolygonF rim;
  for (int k = 0; k < teeth * 4; ++k) {
    // Each tooth: two points on the outer radius, two on the inner.
    const double radius = (k % 4 < 2) ? 11 : 8.5;
    const double angle = (k - 0.5) * 2 * std::numbers::pi / (teeth * 4);
    rim << centre + QPointF(radius * std::cos(angle), radius * std::sin(angle));
  }
  cog.addPolygon(rim);
  cog.closeSubpath();
  cog.addEllipse(centre, 3.5, 3.5);
  cog.setFillRule(Qt::OddEvenFill);
  painter.setPen(QPen(QColor(70, 70, 70), 1));
  painter.setBrush(QColor(160, 160, 165));
  painter.drawPath(cog);
  return pixmap;
}

} // namespace qv
