#pragma once
// The manual crop window: the fitted picture, the lime frame that follows the pointer
// along the free axis, and the press on the frame that names, saves and moves on.

#include <QImage>
#include <QMargins>
#include <QWidget>

#include <functional>
#include <optional>
#include <string>

#include "imaging/CropModel.h"
#include "imaging/Prefetcher.h"
#include "imaging/ScaledView.h"

class QTimer;

namespace qv {

class TForm1;

inline constexpr const char* kCropCaption = QT_TRANSLATE_NOOP("qv::TForm3", "Ручная обработка");
inline constexpr int kCropInitialWidth = 200;
inline constexpr int kCropInitialHeight = 143;
inline constexpr int kTrackingInterval = 10;
// Room kept for a compositor's title bar and borders that Qt cannot measure. A compositor
// that centres a window by its content (sway does) puts half the spare height above it, so
// the height leaves room for a title bar of 30 pixels there.
inline constexpr int kDecorationHeight = 64;
inline constexpr int kDecorationWidth = 8;

// Shows a picture unscaled from its top-left corner.
class TPicture : public QWidget {
public:
  explicit TPicture(QWidget* parent);
  void SetImage(const QImage& image);
  const QImage& Image() const { return image_; }

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  QImage image_;
};

// A one-pixel lime outline, clear inside, that takes presses anywhere within its bounds.
class TFrameShape : public QWidget {
public:
  explicit TFrameShape(QWidget* parent);
  std::function<void()> onMouseDown;

protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
};

class TForm3 : public QWidget, public ICropView {
  Q_OBJECT

public:
  explicit TForm3(TForm1& main);

  // Fits one source to the current target and shows it with the frame at 0, 0.
  void openfile(const std::string& path);
  // One tick of the tracking timer.
  void Timer1Timer();
  // The confirmation: name, save, next.
  void Shape1MouseDown();
  // Space: passes over the photo on screen for this size, saving nothing.
  void Skip();
  // Backspace: the previous photo of the pass again, its frame where it was confirmed.
  void Back();
  // The caption: where the run is, and the scale while the picture is shown scaled down.
  void ShowCaption();

  TCropModel& Model() { return model_; }
  // Whether the next photo is read while the user places the frame (on by default).
  void SetPrefetching(bool on);
  TPrefetcher& Prefetch() { return prefetch_; }

  // ICropView: the display area is the client area. A fitted picture larger than the room
  // the screen has for the window is shown scaled down; the display area then keeps the
  // fitted size, and the client area takes the view's.
  void SetDisplaySize(int32_t width, int32_t height, bool widthFirst) override;
  int32_t DisplayWidth() const override;
  int32_t DisplayHeight() const override;

  // The factor the picture on screen is shown at (1 when it fits).
  TViewScale Scale() const { return scale_; }
  // The space the screen that shows the window has for its client area.
  QSize Room() const;

  TPicture* Image1;
  TFrameShape* Shape1;
  QTimer* Timer1;

protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  // Where the platform cannot say where the pointer is on the screen, these carry it.
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

private:
  // The free axis, in view pixels: the frame's position, the picture's length V and the
  // frame's length t.
  int32_t ViewPosition() const;
  int32_t PictureLength() const;
  int32_t FrameLength() const;
  // Puts the frame at view position v and its full-size offset where that maps to.
  void PlaceAt(int32_t v);
  // The frame's centre under a pointer at local, a position in the client area.
  void FollowAt(QPoint local);
  // Tracking from the window's own pointer events: a new position within it.
  void FollowWithin(QPoint local);
  // A new photo's frame: under the pointer when it is over the window, else in the middle.
  void PlaceWithin();
  // The keys move the frame to v, kept within the picture, and it stays there until the
  // pointer moves.
  void MoveByKey(int32_t v);
  void Hold();
  bool ScreenWide() const;
  void ShowFrame();
  void ShowPicture();
  // The window's frame as known from its own or the main window's showing; none before.
  QMargins FrameMargins() const;
  // The frame margins with room for a compositor's decorations where Qt sees none.
  QMargins Decoration() const;
  // A scaled window is kept within its screen's available area.
  void KeepOnScreen();
  // Asks for the file the run driver says the next save opens.
  void PrefetchFollowing() noexcept;
  // Once no file is on screen, nothing read ahead will be opened.
  void DropUnusedPrefetch() noexcept;

  TForm1& main_;
  TCropModel model_;
  TPrefetcher prefetch_;
  bool prefetching_ = true;
  bool placed_ = false;
  // The fitted picture's size, the factor it is shown at, and the frame's place in the view.
  TSize fitted_;
  TViewScale scale_;
  QPoint viewFrame_;
  // Whether a file has been opened, so that the caption tells where the run is.
  bool opened_ = false;
  // The pointer's position in the client area while it is over the window (tracking from
  // window events only).
  std::optional<QPoint> within_;
  // The keys placed the frame: it stays while the pointer stands where it was then (on the
  // screen under screen-wide tracking, within the window otherwise).
  bool held_ = false;
  QPoint heldScreen_;
  std::optional<QPoint> heldWithin_;
};

} // namespace qv
