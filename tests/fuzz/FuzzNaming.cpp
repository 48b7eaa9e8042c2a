// Arbitrary bytes, invalid UTF-8 included, as display names, prefix, suffix and typed names
// through makename and translit, and the made path written into a folder of our own.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "imaging/SafeWriter.h"
#include "imaging/SourceFile.h"
#include "job/Errors.h"
#include "job/JobState.h"
#include "job/Naming.h"
#include "job/PosixServices.h"
#include "job/Services.h"
#include "job/SourceList.h"
#include "job/Translit.h"
#include "job/Utf8.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

// Made once and kept for the whole run, removed at its end.
const std::string& Folder() {
  static const qvtest::TTempDir folder;
  return folder.path();
}

// The path being made, shown when a promise is broken.
std::string context;

void Check(bool promise, const char* what) {
  if (!promise) {
    std::fprintf(stderr, "broken promise: %s\npath: %s\n", what, context.c_str());
    std::abort();
  }
}

bool ValidUtf8(const std::string& s) {
  for (size_t pos = 0; pos < s.size();) {
    const size_t n = qv::utf8::SequenceAt(s, pos);
    if (n == 0)
      return false;
    pos += n;
  }
  return true;
}

bool HoldsCyrillicLetter(const std::string& s) {
  for (size_t pos = 0; pos < s.size();) {
    char32_t c = 0;
    const size_t n = qv::utf8::SequenceAt(s, pos, &c);
    if (n != 0 && ((c >= 0x410 && c <= 0x44F) || c == 0x401 || c == 0x451))
      return true;
    pos += n == 0 ? 1 : n;
  }
  return false;
}

class TFixedInput : public qv::IInputBox {
public:
  std::string InputBox(const std::string& caption, const std::string& prompt, const std::string& defaultText) override {
    Check(caption == qv::kNamePromptCaption && prompt.empty() && defaultText.empty(), "the prompt's texts");
    ++calls;
    return typed;
  }
  std::string typed;
  int calls = 0;
};

std::set<std::string> Everything(const std::string& folder) {
  std::set<std::string> entries;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    entries.insert(entry.path().string());
  return entries;
}

size_t Characters(const std::string& s) {
  size_t count = 0;
  for (size_t pos = 0; pos < s.size(); pos += qv::utf8::CharLength(s, pos))
    ++count;
  return count;
}

void CheckTranslit(const std::string& s) {
  const std::string once = qv::translit(s);
  Check(Characters(once) >= Characters(s), "translit never gives fewer characters");
  Check(qv::translit(once) == once, "translit leaves its own output alone");
  Check(!HoldsCyrillicLetter(once), "no Cyrillic letter is left");
  if (ValidUtf8(s))
    Check(ValidUtf8(once), "valid UTF-8 stays valid");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  qv::TJobState state;
  state.addPrefix = in.ConsumeBool();
  state.addSuffix = in.ConsumeBool();
  state.askName = in.ConsumeBool();
  state.transliterate = in.ConsumeBool();
  state.appendResolution = in.ConsumeBool();
  const bool folderPerResolution = in.ConsumeBool();
  const bool write = in.ConsumeBool();
  state.targetWidth = in.ConsumeIntegralInRange<int32_t>(-2, 4000);
  state.targetHeight = in.ConsumeIntegralInRange<int32_t>(-2, 4000);
  const int32_t index = in.ConsumeIntegralInRange<int32_t>(-1, 3);
  state.prefix = in.ConsumeRandomLengthString(64);
  state.suffix = in.ConsumeRandomLengthString(64);
  TFixedInput input;
  input.typed = in.ConsumeRandomLengthString(300);
  std::vector<std::string> names;
  for (int i = 0; i < 3 && in.remaining_bytes() > 0; ++i) {
    // Display names come from paths, as the list makes them.
    const std::string path = "/photos/" + in.ConsumeRandomLengthString(80);
    const std::string name = qv::TSourceList::shortname(path);
    Check(path.find(name) != std::string::npos && name.find('/') == std::string::npos,
          "a display name is a part of the file's own name");
    if (ValidUtf8(path))
      Check(ValidUtf8(name), "a display name keeps whole characters");
    names.push_back(name);
  }

  for (const std::string* text : {&state.prefix, &state.suffix, &input.typed})
    CheckTranslit(*text);
  for (const std::string& name : names)
    CheckTranslit(name);

  const std::string folder = Folder();
  state.outputFolder = folder + "/";
  qv::TPosixFolderMaker folders;
  std::string path;
  try {
    path = qv::makename(index, state, names, folderPerResolution, input, folders);
  } catch (const qv::EListError& error) {
    Check(!state.askName && (index < 0 || index >= static_cast<int32_t>(names.size())),
          "only an index past the list fails");
    Check(Everything(folder).empty(), "a failed name creates no folder");
    return 0;
  }
  context = path;
  Check(input.calls == (state.askName ? 1 : 0), "the prompt is shown only when names are asked for");
  Check(path.starts_with(state.outputFolder) && path.ends_with(".JPG"), "output folder, name, .JPG");
  if (!state.transliterate) {
    std::string expected = state.addPrefix ? state.prefix + "-" : "";
    expected += state.askName ? input.typed : names[static_cast<size_t>(index)];
    if (state.addSuffix)
      expected += "-" + state.suffix;
    if (state.appendResolution)
      expected += "-" + std::to_string(state.targetWidth) + "x" + std::to_string(state.targetHeight);
    const std::string dir =
        folderPerResolution
            ? "/" + std::to_string(state.targetWidth) + "x" + std::to_string(state.targetHeight) + "/"
            : "";
    Check(path == state.outputFolder + dir + expected + ".JPG", "the pieces in their order");
  }

  // The file lands where the path says, or the save fails with "Cannot create file"; names
  // that lead out of our folder are not tried.
  const std::string expanded = qv::ExpandFileName(path);
  const std::string normal = fs::path(path).lexically_normal().string();
  std::string shown = normal;
  std::replace(shown.begin(), shown.end(), '\0', '?');
  Check(fs::path(expanded).lexically_normal().string() == shown, "the error text names the file the path names");
  if (write && normal.starts_with(folder + "/")) {
    const std::set<std::string> before = Everything(folder);
    const uint8_t bytes[] = {0xFF, 0xD8, 0xFF, 0xD9};
    try {
      qv::WriteFileSafely(path, bytes, sizeof bytes);
      Check(path.find('\0') == std::string::npos, "a path with a NUL is never written");
      std::error_code error;
      Check(fs::file_size(path, error) == sizeof bytes && !error, "written where the path says");
      std::set<std::string> after = Everything(folder);
      after.erase(normal);
      for (const std::string& entry : after)
        if (!before.contains(entry))
          context += "\nalso written: " + entry;
      Check(after == before, "nothing else is written");
    } catch (const qv::EFCreateError& error) {
      Check(std::string(error.what()).starts_with("Cannot create file \"" + expanded + "\". "),
            "the error names the path");
      Check(Everything(folder) == before, "a failed save leaves nothing");
    }
  }
  std::error_code ignored;
  for (const auto& entry : fs::directory_iterator(folder, ignored))
    fs::remove_all(entry.path(), ignored);
  return 0;
}
