#include <QApplication>

#include <exception>

#include "Dialogs.h"
#include "ErrorBox.h"
#include "Startup.h"
#include "job/PosixServices.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  qv::PrepareApplication();

  qv::TQtDialogs dialogs;
  qv::TQtErrorBox errorBox;
  qv::TCursorPointer pointer;
  qv::TPosixOpenTest openTest;
  qv::TPosixFolderMaker folders;
  qv::TAppServices services{dialogs, errorBox, pointer, openTest, folders};

  try {
    qv::TApplicationWindows windows(services);
    windows.Form1.show();
    // The settings and crop windows are transient to the main window, so closing the main
    // window closes the last primary window and ends the loop, whatever else is open.
    return QApplication::exec();
  } catch (const std::exception& error) {
    qv::ReportToErrorBox(errorBox, error);
    return 1;
  }
}
