#include "Controls.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QStyleOptionButton>
#include <QStylePainter>

#include <algorithm>
#include <cstring>

#include "imaging/PixelImage.h"

namespace qv {

QFont FormFont() {
  QFont font(QStringLiteral("Sans Serif"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(11);
  return font;
}

QImage ToQImage(const TPixelImage& pixels) {
  QImage image(pixels.Width(), pixels.Height(), QImage::Format_BGR888);
  if (image.isNull())
    return image;
  const size_t rowBytes = static_cast<size_t>(pixels.Width()) * 3;
  for (int32_t row = 0; row < pixels.Height(); ++row)
    std::memcpy(image.scanLine(row), pixels.ScanLine(row), rowBytes);
  return image;
}

void FitText(QWidget* widget) {
  const auto* label = qobject_cast<QLabel*>(widget);
  const auto* button = qobject_cast<QAbstractButton*>(widget);
  const bool hasText = (label && !label->text().isEmpty()) || (button && !button->text().isEmpty());
  if (!hasText)
    return;
  const QSize grown = widget->size().expandedTo(widget->sizeHint());
  if (grown != widget->size())
    widget->resize(grown);
}

void FitTexts(QWidget* root) {
  for (QWidget* widget : root->findChildren<QWidget*>())
    FitText(widget);
}

void CentreOnDesktop(QWidget* window) {
  QRect desktop;
  for (const QScreen* screen : QGuiApplication::screens())
    desktop = desktop.united(screen->geometry());
  const QSize outer = window->frameGeometry().size();
  const int x = std::max(0, (desktop.width() - outer.width()) / 2);
  const int y = std::max(0, (desktop.height() - outer.height()) / 2);
  window->move(desktop.left() + x, desktop.top() + y);
}

TBevel::TBevel(QWidget* parent, bool raised) : QWidget(parent), raised_(raised) {}

void TBevel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QColor dark = palette().color(QPalette::Dark);
  const QColor light = palette().color(QPalette::Light);
  painter.setPen(raised_ ? light : dark);
  painter.drawLine(0, 0, width() - 1, 0);
  painter.setPen(raised_ ? dark : light);
  painter.drawLine(0, 1, width() - 1, 1);
}

namespace {
constexpr int kGlyphSpacing = 4;
// Room for the bevel on each side.
constexpr int kButtonBorder = 3;
} // namespace

TSpeedButton::TSpeedButton(QWidget* parent, const QRect& bounds, const QPixmap& glyph, const QString& caption)
    : QToolButton(parent) {
  setGeometry(bounds);
  setFocusPolicy(Qt::NoFocus);
  setAutoRaise(false);
  if (!glyph.isNull()) {
    setIcon(QIcon(glyph));
    setIconSize(glyph.size());
  }
  setText(caption);
}

int TSpeedButton::ContentWidth() const {
  const int glyph = icon().isNull() ? 0 : iconSize().width();
  const int caption = text().isEmpty() ? 0 : fontMetrics().horizontalAdvance(text());
  return glyph + caption + (glyph > 0 && caption > 0 ? kGlyphSpacing : 0);
}

QSize TSpeedButton::sizeHint() const {
  const int glyph = icon().isNull() ? 0 : iconSize().height();
  const int caption = text().isEmpty() ? 0 : fontMetrics().height();
  return {ContentWidth() + 2 * kButtonBorder, std::max(glyph, caption) + 2 * kButtonBorder};
}

void TSpeedButton::paintEvent(QPaintEvent*) {
  QStylePainter painter(this);
  QStyleOptionButton panel;
  panel.initFrom(this);
  const bool down = isDown() || isChecked();
  panel.state |= down ? QStyle::State_Sunken : QStyle::State_Raised;
  painter.drawPrimitive(QStyle::PE_PanelButtonCommand, panel);

  const int shift = down ? 1 : 0;
  int x = (width() - ContentWidth()) / 2 + shift;
  if (!icon().isNull()) {
    const QSize glyph = iconSize();
    const QIcon::Mode mode = isEnabled() ? QIcon::Normal : QIcon::Disabled;
    painter.drawPixmap(x, (height() - glyph.height()) / 2 + shift, icon().pixmap(glyph, devicePixelRatio(), mode));
    x += glyph.width() + kGlyphSpacing;
  }
  if (!text().isEmpty()) {
    const QRect line(x, shift, width() - x, height());
    painter.drawItemText(line, Qt::AlignLeft | Qt::AlignVCenter, palette(), isEnabled(), text(), QPalette::ButtonText);
  }
}

TItemHeightDelegate::TItemHeightDelegate(int height, QObject* parent) : QStyledItemDelegate(parent), height_(height) {}

QSize TItemHeightDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
  return {QStyledItemDelegate::sizeHint(option, index).width(), height_};
}

} // namespace qv
