#include "Unit3.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>

#include <algorithm>
#include <limits>

#include "Controls.h"
#include "ErrorBox.h"
#include "imaging/Fit.h"
#include "unit1.h"

namespace qv {

TPicture::TPicture(QWidget* parent) : QWidget(parent) {}

void TPicture::SetImage(const QImage& image) {
  image_ = image;
  update();
}

void TPicture::paintEvent(QPaintEvent*) {
  if (image_.isNull())
    return;
  QPainter painter(this);
  painter.drawImage(0, 0, image_);
}

TFrameShape::TFrameShape(QWidget* parent) : QWidget(parent) {}

void TFrameShape::paintEvent(QPaintEvent*) {
  if (width() <= 0 || height() <= 0)
    return;
  QPainter painter(this);
  painter.setPen(QPen(QColor(0, 255, 0), 0));
  painter.setBrush(Qt::NoBrush);
  // The outline covers the outermost pixels of the bounds.
  painter.drawRect(0, 0, width() - 1, height() - 1);
}

void TFrameShape::mousePressEvent(QMouseEvent* event) {
  // Any button confirms; which one and where inside is of no account.
  event->accept();
  if (onMouseDown)
    onMouseDown();
}

TForm3::TForm3(TForm1& main) : QWidget(&main, Qt::Tool), main_(main) {
  setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setWindowTitle(tr(kCropCaption));
  setFont(FormFont());
  setFixedSize(kCropInitialWidth, kCropInitialHeight);

  Image1 = new TPicture(this);
  Image1->setGeometry(0, 0, 145, 121);
  Shape1 = new TFrameShape(this);
  ShowFrame();
  Shape1->onMouseDown = [this] { Guard(main_.Services().errorBox, [this] { Shape1MouseDown(); }); };

  Timer1 = new QTimer(this);
  Timer1->setInterval(kTrackingInterval);
  connect(Timer1, &QTimer::timeout, this, [this] { Guard(main_.Services().errorBox, [this] { Timer1Timer(); }); });
  Timer1->start();

  main_.AttachCropWindow(this);
}

void TForm3::openfile(const std::string& path) {
  const auto snapshot = [this] {
    main_.GetParams();
    return main_.CurrentTarget();
  };
  try {
    if (prefetching_)
      model_.openfile(path, snapshot, *this, prefetch_);
    else
      model_.openfile(path, snapshot, *this);
  } catch (...) {
    // What the failed step left of the frame and the picture is what the window shows.
    viewFrame_ = QPoint(0, 0);
    ShowFrame();
    ShowPicture();
    // The run passes over a file that fails and opens the next one.
    PrefetchFollowing();
    throw;
  }
  viewFrame_ = QPoint(0, 0);
  ShowFrame();
  ShowPicture();
  PrefetchFollowing();
}

void TForm3::Timer1Timer() {
  const QPoint pointer = main_.Services().pointer.Pos();
  // Measured from the client area, so the frame's centre lies under the pointer.
  const QPoint origin = mapToGlobal(QPoint(0, 0));
  TFrame& frame = model_.Shape1;
  if (!scale_.Scaled()) {
    if (model_.fitWidth)
      frame.top = pointer.y() - origin.y() - RoundHalfEven(frame.height / 2.0L);
    else
      frame.left = pointer.x() - origin.x() - RoundHalfEven(frame.width / 2.0L);
  } else {
    // The same in view pixels; the full-size offset follows so that both ends meet.
    const bool vertical = model_.fitWidth;
    const int32_t fitted = vertical ? fitted_.height : fitted_.width;
    const int32_t target = vertical ? frame.height : frame.width;
    const int32_t viewTarget = ViewLength(target, scale_);
    const int32_t v = (vertical ? pointer.y() - origin.y() : pointer.x() - origin.x()) - RoundHalfEven(viewTarget / 2.0L);
    (vertical ? viewFrame_.ry() : viewFrame_.rx()) = v;
    (vertical ? frame.top : frame.left) = FullOffset(v, fitted, target, ViewLength(fitted, scale_), viewTarget);
  }
  ShowFrame();
}

void TForm3::Shape1MouseDown() {
  const std::string path = main_.makename(main_.Driver().fileIndex());
  model_.Savefile(path, main_.CurrentTarget());
  try {
    main_.Driver().next();
  } catch (...) {
    DropUnusedPrefetch();
    throw;
  }
  DropUnusedPrefetch();
}

void TForm3::SetPrefetching(bool on) {
  prefetching_ = on;
  if (!on)
    prefetch_.Cancel();
}

void TForm3::PrefetchFollowing() noexcept {
  if (!prefetching_)
    return;
  try {
    const int32_t following = main_.Driver().FollowingIndex();
    if (following < 0) {
      prefetch_.Cancel();
      return;
    }
    // Turned as the file just opened was, fitted to the size it opens at and viewed as this
    // window would show it now; an open that finds another size, turn or view makes what it
    // needs itself, with the same pixels.
    const TResolution size = main_.Driver().FollowingSize();
    const QSize room = Room();
    prefetch_.Request(main_.PathAt(following), main_.State().orientByExif,
                      {size.width, size.height, {room.width(), room.height()}, devicePixelRatioF(),
                       main_.CurrentTarget().filter});
  } catch (...) {
    // Reading ahead is only ever a saving; the file is read in its turn all the same.
    prefetch_.Cancel();
  }
}

void TForm3::DropUnusedPrefetch() noexcept {
  if (!isVisible())
    prefetch_.Cancel();
}

void TForm3::SetDisplaySize(int32_t width, int32_t height, bool) {
  fitted_ = {width, height};
  const QSize room = Room();
  scale_ = ViewScale(fitted_, {room.width(), room.height()});
  const TSize view = ViewSize(fitted_, scale_);
  // Both sizes are set at once here, so the order the design gives them in cannot matter.
  Image1->resize(view.width, view.height);
  setFixedSize(view.width, view.height);
  ShowCaption();
  KeepOnScreen();
}

// A scaled picture is resized to the fitted size whatever the view, so the cut is the
// full-size one; otherwise the window system's answer counts, as designed.
int32_t TForm3::DisplayWidth() const { return scale_.Scaled() ? fitted_.width : width(); }

int32_t TForm3::DisplayHeight() const { return scale_.Scaled() ? fitted_.height : height(); }

QMargins TForm3::FrameMargins() const {
  const auto margins = [](const QWidget& window) {
    const QRect outer = window.frameGeometry();
    const QRect inner = window.geometry();
    return QMargins(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                    outer.bottom() - inner.bottom());
  };
  // Before its first showing a window's frame is not known yet; the main window's, shown
  // first, is the nearest guess.
  if (placed_)
    return margins(*this);
  if (main_.isVisible())
    return margins(main_);
  return {};
}

QSize TForm3::Room() const {
  const QScreen* shown = screen() ? screen() : QGuiApplication::primaryScreen();
  if (!shown)
    return {std::numeric_limits<int>::max(), std::numeric_limits<int>::max()};
  const QMargins frame = FrameMargins();
  return shown->availableGeometry().size().shrunkBy(frame);
}

void TForm3::KeepOnScreen() {
  const QScreen* shown = screen();
  if (!scale_.Scaled() || !placed_ || !shown)
    return;
  const QRect area = shown->availableGeometry();
  const QRect outer(pos(), size().grownBy(FrameMargins()));
  const int x = std::clamp(outer.x(), area.left(), std::max(area.left(), area.right() + 1 - outer.width()));
  const int y = std::clamp(outer.y(), area.top(), std::max(area.top(), area.bottom() + 1 - outer.height()));
  if (QPoint(x, y) != outer.topLeft())
    move(x, y);
}

void TForm3::ShowCaption() {
  if (scale_.Scaled())
    //: The crop window's caption when the picture is shown scaled down, and the scale.
    setWindowTitle(tr("%1 — %2%").arg(tr(kCropCaption)).arg(ScalePercent(scale_)));
  else
    setWindowTitle(tr(kCropCaption));
}

void TForm3::ShowFrame() {
  const TFrame& frame = model_.Shape1;
  if (!scale_.Scaled())
    Shape1->setGeometry(frame.left, frame.top, frame.width, frame.height);
  else
    Shape1->setGeometry(viewFrame_.x(), viewFrame_.y(), ViewLength(frame.width, scale_), ViewLength(frame.height, scale_));
}

void TForm3::ShowPicture() {
  if (!model_.displayed.HasPixels())
    return;
  const TPixelImage pixels = model_.displayed.GetPixels();
  if (!scale_.Scaled()) {
    Image1->SetImage(ToQImage(pixels));
    return;
  }
  // A failed resize leaves another picture than the one the view was laid out for.
  if (pixels.Width() != fitted_.width || pixels.Height() != fitted_.height)
    return;
  // Made in the screen's own pixels, so that a high-density screen shows it sharp; the
  // read-ahead has usually made it already.
  const double ratio = devicePixelRatioF();
  const TSize device = DeviceSize(ViewSize(fitted_, scale_), ratio);
  const TPixelImage& prepared = model_.preparedView;
  QImage view = ToQImage(prepared.Width() == device.width && prepared.Height() == device.height
                             ? prepared
                             : AreaResize(pixels, device.width, device.height));
  view.setDevicePixelRatio(device == ViewSize(fitted_, scale_) ? 1.0 : ratio);
  Image1->SetImage(view);
}

void TForm3::closeEvent(QCloseEvent* event) {
  QWidget::closeEvent(event);
  // The user left the run; Start begins it again at file 0.
  prefetch_.Cancel();
}

void TForm3::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (event->spontaneous())
    return;
  // The run opened file 0 and sized the window before showing it (TForm1::ShowCropWindow),
  // so the first placement centres the fitted window.
  if (!placed_) {
    placed_ = true;
    CentreOnDesktop(this);
    KeepOnScreen();
  }
}

} // namespace qv
