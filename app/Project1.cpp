#include <QApplication>
#include <QLocale>

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "Dialogs.h"
#include "ErrorBox.h"
#include "KeptSizes.h"
#include "Language.h"
#include "Startup.h"
#include "job/PosixServices.h"

namespace {

int WrongLine(const std::string& why) {
  std::fprintf(stderr, "quarvelle: %s\n%s", why.c_str(), qv::kProgramUsage);
  return 2;
}

} // namespace

int main(int argc, char** argv) {
  // --help, --version and a wrong --lang are answered before Qt looks for a display.
  const qv::TCommandLine line = qv::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  switch (line.action) {
  case qv::TCommandLine::TAction::Help:
    std::fputs(qv::kProgramUsage, stdout);
    return 0;
  case qv::TCommandLine::TAction::Version:
    std::puts("quarvelle " QV_VERSION);
    return 0;
  case qv::TCommandLine::TAction::Wrong:
    return WrongLine(line.wrong);
  case qv::TCommandLine::TAction::Run:
    break;
  }

  QApplication application(argc, argv);
  // Qt has taken its own options out of the arguments; anything else left over is a mistake.
  std::vector<std::string> rest;
  for (const QString& argument : QApplication::arguments().mid(1))
    rest.push_back(argument.toStdString());
  if (const qv::TCommandLine left = qv::ParseCommandLine(rest); !left.others.empty())
    return WrongLine("unknown argument \"" + left.others.front() + "\"");

  qv::PrepareApplication();
  // Installed before the windows exist, so that every text they set is translated.
  const qv::TTranslations translations(qv::ChooseLanguage(line.language, QLocale::system().uiLanguages()));
  if (!translations.Missing().isEmpty())
    std::fprintf(stderr, "quarvelle: %s\n", qPrintable(translations.Missing()));

  qv::TQtDialogs dialogs;
  qv::TQtErrorBox errorBox;
  qv::TCursorPointer pointer;
  qv::TPosixOpenTest openTest;
  qv::TPosixFolderMaker folders;
  qv::TKeptSizes keptSizes(qv::KeptSizesPath());
  qv::TAppServices services{dialogs, errorBox, pointer, openTest, folders, keptSizes};

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
