#include "CommandLine.h"

namespace qv {

const char kProgramUsage[] =
    "usage: quarvelle [--lang ru|en]\n"
    "\n"
    "Cuts JPEG photos into phone wallpapers: list the photos, choose the sizes in the\n"
    "settings window, press Start and place the frame on each photo.\n"
    "\n"
    "  --lang ru|en  interface language; without it English when the desktop's language\n"
    "                is English, Russian otherwise\n"
    "  --version     print the version and exit\n"
    "  -h, --help    show this text and exit\n"
    "\n"
    "Qt's own options such as -platform and -style are taken too. quarvelle-cut cuts\n"
    "photos without a window.\n";

TCommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  TCommandLine line;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& arg = arguments[i];
    if (arg == "--help" || arg == "-h") {
      line.action = TCommandLine::TAction::Help;
      return line;
    }
    if (arg == "--version") {
      line.action = TCommandLine::TAction::Version;
      return line;
    }
    std::optional<std::string> code;
    if (arg == "--lang") {
      if (i + 1 < arguments.size())
        code = arguments[++i];
      else
        code = "";
    } else if (arg.starts_with("--lang=")) {
      code = arg.substr(7);
    }
    if (!code) {
      line.others.push_back(arg);
      continue;
    }
    line.language = LanguageNamed(*code);
    if (!line.language) {
      line.action = TCommandLine::TAction::Wrong;
      line.wrong = code->empty() ? "--lang needs ru or en" : "--lang takes ru or en, not \"" + *code + "\"";
      return line;
    }
  }
  return line;
}

} // namespace qv
