#pragma once
// The program's own options, read before any window exists so that --help and --version
// answer without a display.

#include <optional>
#include <string>
#include <vector>

#include "Language.h"

namespace qv {

extern const char kProgramUsage[];

struct TCommandLine {
  enum class TAction { Run, Help, Version, Wrong };
  TAction action = TAction::Run;
  std::optional<TLanguage> language;
  // Why the line is wrong, when it is.
  std::string wrong;
  // Arguments that are not ours, in their order: Qt's own options before QApplication has
  // taken them, mistakes after.
  std::vector<std::string> others;
};

// Reads the arguments after the program name. The first of --help and --version decides;
// a --lang without "ru" or "en" makes the line wrong.
TCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

} // namespace qv
