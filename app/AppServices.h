#pragma once
// The platform services the windows are built on, chosen once at start-up; the GUI tests
// hand in fakes.

#include <QCursor>
#include <QGuiApplication>
#include <QPoint>

namespace qv {

class IDialogs;
class IErrorBox;
class IOpenTest;
class IFolderMaker;
class TKeptSizes;

// Where the pointer is on the screen.
class IPointer {
public:
  virtual ~IPointer() = default;
  virtual QPoint Pos() const = 0;
  // Whether the platform says where the pointer is on the screen and where windows are.
  // Where it does not, the crop window follows the pointer from its own pointer events.
  virtual bool ScreenWide() const { return true; }
};

class TCursorPointer : public IPointer {
public:
  QPoint Pos() const override { return QCursor::pos(); }
  // A Wayland client learns the pointer only over its own windows, and never where they are.
  bool ScreenWide() const override { return !QGuiApplication::platformName().startsWith(QLatin1String("wayland")); }
};

struct TAppServices {
  IDialogs& dialogs;
  IErrorBox& errorBox;
  IPointer& pointer;
  IOpenTest& openTest;
  IFolderMaker& folders;
  TKeptSizes& keptSizes;
};

} // namespace qv
