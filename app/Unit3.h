#pragma once
// The manual crop window: the fitted picture, the lime frame that follows the pointer
// along the free axis, and the press on the frame that names, saves and moves on.

#include <QImage>
#include <QMargins>
#include <QWidget>

#include <functional>
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
  void closeEvent(QCloseEvent* event) override;

private:
  void ShowFrame();
  void ShowPicture();
  void ShowCaption();
  // The window's frame as known from its own or the main window's showing; none before.
  QMargins FrameMargins() const;
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
};

} // namespace qv
