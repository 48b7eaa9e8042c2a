#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qv {

struct TJobState;
class IInputBox;
class IFolderMaker;

// The caption of the name prompt, with its blank after the colon.
inline constexpr const char* kNamePromptCaption = "Введите желаемое имя файла: ";

// The full output path for file `index` of the current pass. displayNames is ListBox1;
// folderPerResolution the settings window's CheckBox1, read live. An index outside the
// display list raises EListError unless the name is asked for.
std::string makename(int32_t index, const TJobState& state, const std::vector<std::string>& displayNames,
                     bool folderPerResolution, IInputBox& input, IFolderMaker& folders);

} // namespace qv
