#include "Unit3.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
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
  setFocusPolicy(Qt::StrongFocus);
  // Moves over the window and its children are what tracking within the window follows.
  setMouseTracking(true);

  Image1 = new TPicture(this);
  Image1->setGeometry(0, 0, 145, 121);
  Image1->setMouseTracking(true);
  Shape1 = new TFrameShape(this);
  Shape1->setMouseTracking(true);
  //: The tooltip of the crop window's picture and frame: the keys.
  const QString keys = tr("Мышь или стрелки: сдвинуть рамку, с Shift на десятую часть\n"
                          "Home, End: рамка у края фото\n"
                          "Enter или щелчок по рамке: сохранить\n"
                          "Пробел: пропустить фото\n"
                          "Backspace: вернуться к предыдущему фото");
  Image1->setToolTip(keys);
  Shape1->setToolTip(keys);
  ShowFrame();
  Shape1->onMouseDown = [this] { Guard(main_.Services().errorBox, [this] { Shape1MouseDown(); }); };

  Timer1 = new QTimer(this);
  Timer1->setInterval(kTrackingInterval);
  connect(Timer1, &QTimer::timeout, this, [this] { Guard(main_.Services().errorBox, [this] { Timer1Timer(); }); });
  Timer1->start();

  main_.AttachCropWindow(this);
}

void TForm3::openfile(const std::string& path) {
  opened_ = true;
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
    held_ = false;
    ShowFrame();
    PlaceWithin();
    ShowPicture();
    ShowCaption();
    // The run passes over a file that fails and opens the next one.
    PrefetchFollowing();
    throw;
  }
  viewFrame_ = QPoint(0, 0);
  // Each photo's frame follows the pointer again.
  held_ = false;
  ShowFrame();
  PlaceWithin();
  ShowPicture();
  ShowCaption();
  PrefetchFollowing();
}

void TForm3::Timer1Timer() {
  // Without a screen-wide pointer the window's own pointer events move the frame.
  if (!ScreenWide())
    return;
  const QPoint pointer = main_.Services().pointer.Pos();
  // The keys' place stands until the pointer moves.
  if (held_) {
    if (pointer == heldScreen_)
      return;
    held_ = false;
  }
  // Measured from the client area, so the frame's centre lies under the pointer.
  FollowAt(pointer - mapToGlobal(QPoint(0, 0)));
}

int32_t TForm3::PictureLength() const {
  const int32_t fitted = model_.fitWidth ? fitted_.height : fitted_.width;
  return scale_.Scaled() ? ViewLength(fitted, scale_) : fitted;
}

int32_t TForm3::FrameLength() const {
  const TFrame& frame = model_.Shape1;
  const int32_t target = model_.fitWidth ? frame.height : frame.width;
  return scale_.Scaled() ? ViewLength(target, scale_) : target;
}

int32_t TForm3::ViewPosition() const {
  const bool vertical = model_.fitWidth;
  if (scale_.Scaled())
    return vertical ? viewFrame_.y() : viewFrame_.x();
  return vertical ? model_.Shape1.top : model_.Shape1.left;
}

void TForm3::PlaceAt(int32_t v) {
  TFrame& frame = model_.Shape1;
  const bool vertical = model_.fitWidth;
  if (!scale_.Scaled()) {
    (vertical ? frame.top : frame.left) = v;
  } else {
    // The full-size offset follows the view position so that both ends meet.
    const int32_t fitted = vertical ? fitted_.height : fitted_.width;
    const int32_t target = vertical ? frame.height : frame.width;
    (vertical ? viewFrame_.ry() : viewFrame_.rx()) = v;
    (vertical ? frame.top : frame.left) = FullOffset(v, fitted, target, ViewLength(fitted, scale_), FrameLength());
  }
  ShowFrame();
}

void TForm3::FollowAt(QPoint local) {
  PlaceAt((model_.fitWidth ? local.y() : local.x()) - RoundHalfEven(FrameLength() / 2.0L));
}

void TForm3::FollowWithin(QPoint local) {
  within_ = local;
  if (ScreenWide())
    return;
  if (held_) {
    if (heldWithin_ == local)
      return;
    held_ = false;
  }
  FollowAt(local);
}

void TForm3::PlaceWithin() {
  if (ScreenWide())
    return;
  if (within_)
    FollowAt(*within_);
  else
    PlaceAt(static_cast<int32_t>(DivideHalfEven(std::max(0, PictureLength() - FrameLength()), 2)));
}

void TForm3::MoveByKey(int32_t v) {
  PlaceAt(std::clamp(v, 0, std::max(0, PictureLength() - FrameLength())));
  Hold();
}

void TForm3::Hold() {
  held_ = true;
  heldScreen_ = main_.Services().pointer.Pos();
  heldWithin_ = within_;
}

bool TForm3::ScreenWide() const { return main_.Services().pointer.ScreenWide(); }

void TForm3::Shape1MouseDown() {
  const std::string path = main_.makename(main_.Driver().fileIndex());
  model_.Savefile(path, main_.CurrentTarget());
  const TFrame& frame = model_.Shape1;
  const TPlace place{model_.fitWidth ? frame.top : frame.left, ViewPosition()};
  try {
    main_.Driver().next(place);
  } catch (...) {
    DropUnusedPrefetch();
    throw;
  }
  DropUnusedPrefetch();
}

void TForm3::Skip() {
  try {
    main_.Driver().skip();
  } catch (...) {
    DropUnusedPrefetch();
    throw;
  }
  DropUnusedPrefetch();
}

void TForm3::Back() {
  if (!main_.Driver().back())
    return;
  const std::optional<TPlace> place = main_.Driver().ConfirmedPlace();
  if (!place)
    return;
  // The very offset cut then, so that confirming again writes the same region.
  (model_.fitWidth ? model_.Shape1.top : model_.Shape1.left) = place->offset;
  if (scale_.Scaled())
    (model_.fitWidth ? viewFrame_.ry() : viewFrame_.rx()) = place->view;
  ShowFrame();
  Hold();
}

void TForm3::keyPressEvent(QKeyEvent* event) {
  const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
  if (modifiers != Qt::NoModifier && modifiers != Qt::ShiftModifier) {
    QWidget::keyPressEvent(event);
    return;
  }
  const bool vertical = model_.fitWidth;
  const int32_t step = modifiers == Qt::ShiftModifier
                           ? std::max<int32_t>(1, static_cast<int32_t>(DivideHalfEven(PictureLength(), 10)))
                           : 1;
  // A key held down repeats its move, but never confirms, skips or goes back more than once.
  const bool once = !event->isAutoRepeat();
  std::function<void()> action;
  switch (event->key()) {
  case Qt::Key_Left:
  case Qt::Key_Right:
    if (!vertical)
      action = [this, step, event] { MoveByKey(ViewPosition() + (event->key() == Qt::Key_Left ? -step : step)); };
    break;
  case Qt::Key_Up:
  case Qt::Key_Down:
    if (vertical)
      action = [this, step, event] { MoveByKey(ViewPosition() + (event->key() == Qt::Key_Up ? -step : step)); };
    break;
  case Qt::Key_Home:
    action = [this] { MoveByKey(0); };
    break;
  case Qt::Key_End:
    action = [this] { MoveByKey(PictureLength() - FrameLength()); };
    break;
  case Qt::Key_Return:
  case Qt::Key_Enter:
    if (once)
      action = [this] { Shape1MouseDown(); };
    break;
  case Qt::Key_Space:
    if (once)
      action = [this] { Skip(); };
    break;
  case Qt::Key_Backspace:
    if (once)
      action = [this] { Back(); };
    break;
  default:
    break;
  }
  if (!action) {
    QWidget::keyPressEvent(event);
    return;
  }
  event->accept();
  // Only a visible window has a photo on screen to act on.
  if (isVisible())
    Guard(main_.Services().errorBox, action);
}

void TForm3::enterEvent(QEnterEvent* event) {
  QWidget::enterEvent(event);
  FollowWithin(event->position().toPoint());
}

void TForm3::leaveEvent(QEvent* event) {
  QWidget::leaveEvent(event);
  // The frame stays where the pointer left it.
  within_.reset();
}

void TForm3::mouseMoveEvent(QMouseEvent* event) {
  QWidget::mouseMoveEvent(event);
  FollowWithin(event->position().toPoint());
}

void TForm3::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  within_.reset();
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

QMargins TForm3::Decoration() const {
  QMargins frame = FrameMargins();
  if (ScreenWide())
    return frame;
  // A compositor that draws the title bar and borders itself tells Qt nothing of them.
  frame.setTop(std::max(frame.top(), kDecorationHeight - frame.bottom()));
  const int missing = std::max(0, kDecorationWidth - frame.left() - frame.right());
  frame.setLeft(frame.left() + missing / 2);
  frame.setRight(frame.right() + missing - missing / 2);
  return frame;
}

QSize TForm3::Room() const {
  const QScreen* shown = screen() ? screen() : QGuiApplication::primaryScreen();
  if (!shown)
    return {std::numeric_limits<int>::max(), std::numeric_limits<int>::max()};
  return shown->availableGeometry().size().shrunkBy(Decoration());
}

void TForm3::KeepOnScreen() {
  const QScreen* shown = screen();
  if (!scale_.Scaled() || !placed_ || !shown)
    return;
  const QRect area = shown->availableGeometry();
  const QRect outer(pos(), size().grownBy(Decoration()));
  const int x = std::clamp(outer.x(), area.left(), std::max(area.left(), area.right() + 1 - outer.width()));
  const int y = std::clamp(outer.y(), area.top(), std::max(area.top(), area.bottom() + 1 - outer.height()));
  if (QPoint(x, y) != outer.topLeft())
    move(x, y);
}

void TForm3::ShowCaption() {
  QString caption = tr(kCropCaption);
  if (opened_) {
    const TFrame& frame = model_.Shape1;
    //: The crop window's caption during a run: the size of the pass, the photo's number and
    //: the number of photos.
    caption = tr("%1 — %2x%3, %4 / %5")
                  .arg(caption)
                  .arg(frame.width)
                  .arg(frame.height)
                  .arg(main_.Driver().fileIndex() + 1)
                  .arg(main_.DisplayCount());
  }
  if (scale_.Scaled())
    //: The crop window's caption when the picture is shown scaled down, and the scale.
    caption = tr("%1 — %2%").arg(caption).arg(ScalePercent(scale_));
  setWindowTitle(caption);
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
  // The keys act on the photo on screen from the start.
  activateWindow();
  setFocus(Qt::ActiveWindowFocusReason);
}

} // namespace qv
