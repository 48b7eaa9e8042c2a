#pragma once
// Small pieces the three windows share: the font, the bevel line, the list item height,
// the text-fit rule and the placement at a first showing.

#include <QFont>
#include <QImage>
#include <QStyledItemDelegate>
#include <QToolButton>
#include <QWidget>

namespace qv {

class TPixelImage;

// Sans-serif at 11 pixels, the size the control geometry was laid out for.
QFont FormFont();

// The picture's blue-first rows as a QImage of the same size.
QImage ToQImage(const TPixelImage& pixels);

// Grows one label, check box or button that is too narrow or too low for its text.
void FitText(QWidget* widget);

// Grows every label, check box and button under root that is too narrow or too low for
// its text in the font actually used, so that no text is clipped.
void FitTexts(QWidget* root);

// Centres a window's outer frame on the rectangle that spans all screens (at least at
// its top-left corner).
void CentreOnDesktop(QWidget* window);

// A bevel that draws only its top line, sunken or raised.
class TBevel : public QWidget {
public:
  TBevel(QWidget* parent, bool raised);

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  bool raised_;
};

// A plain button that takes no focus and shows its glyph left of its caption, the two
// centred together four pixels apart, with no more padding than its bevel needs.
class TSpeedButton : public QToolButton {
public:
  TSpeedButton(QWidget* parent, const QRect& bounds, const QPixmap& glyph, const QString& caption);
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  int ContentWidth() const;
};

// List rows of a fixed height.
class TItemHeightDelegate : public QStyledItemDelegate {
public:
  TItemHeightDelegate(int height, QObject* parent);
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
  int height_;
};

} // namespace qv
