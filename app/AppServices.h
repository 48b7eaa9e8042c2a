#pragma once
// The platform services the windows are built on, chosen once at start-up; the GUI tests
// hand in fakes.

#include <QCursor>
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
};

class TCursorPointer : public IPointer {
public:
  QPoint Pos() const override { return QCursor::pos(); }
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
