#include "job/Naming.h"

#include "job/Errors.h"
#include "job/JobState.h"
#include "job/Services.h"
#include "job/Translit.h"

namespace qv {

namespace {

std::string SizeText(const TJobState& state) {
  std::string text = std::to_string(state.targetWidth);
  return text.append("x").append(std::to_string(state.targetHeight));
}

} // namespace

std::string makename(int32_t index, const TJobState& state, const std::vector<std::string>& displayNames,
                     bool folderPerResolution, IInputBox& input, IFolderMaker& folders) {
  std::string name;
  if (state.addPrefix)
    name.append(state.prefix).append("-");
  if (state.askName) {
    // The request stands in the title; the prompt line and the default are empty.
    name += input.InputBox(kNamePromptCaption, "", "");
  } else {
    if (index < 0 || static_cast<std::size_t>(index) >= displayNames.size())
      throw EListError(index);
    name += displayNames[static_cast<std::size_t>(index)];
  }
  if (state.addSuffix)
    name.append("-").append(state.suffix);
  if (state.appendResolution)
    name.append("-").append(SizeText(state));
  if (state.transliterate)
    name = translit(name);
  if (folderPerResolution) {
    // outputFolder already ends with a separator, so the path keeps a doubled one here.
    std::string dir = state.outputFolder;
    dir.append(1, kPathDelim).append(SizeText(state)).append(1, kPathDelim);
    folders.CreateFolder(dir);
    name = dir + name;
  } else {
    name = state.outputFolder + name;
  }
  return name + ".JPG";
}

} // namespace qv
