#pragma once
// The sizes the user added to the resolution list, kept between starts in the user's
// configuration: an INI file, group "resolutions", key "added", a list of "WxH" texts; and
// beside them, group "processing", key "high_quality_reduction", the high-quality box.

#include <functional>
#include <string>
#include <vector>

namespace qv {

// $XDG_CONFIG_HOME/Quarvelle/Quarvelle.conf, or under ~/.config when that is unset or not
// an absolute path.
std::string KeptSizesPath();

class TKeptSizes {
public:
  using TWarn = std::function<void(const std::string&)>;

  // warn takes each problem with the file that is no mistake of the user's; by default it
  // is written to stderr.
  explicit TKeptSizes(std::string path, TWarn warn = {});

  // The kept texts in their order, as written. A missing file gives none; one that cannot
  // be read or is damaged gives what could be read, and a warning. Never writes.
  std::vector<std::string> Read();
  // Replaces the kept list, the file as a whole, through a temporary file and a rename.
  // Raises Exception when the list is not kept, or when the file could not be read at
  // Read, which would otherwise be overwritten with what was not read.
  void Write(const std::vector<std::string>& texts);
  // The kept state of the high-quality reduction box: "true" or "false"; missing is false,
  // and anything else is false with a warning. Never writes.
  bool ReadHighQualityReduction();
  // Keeps the box's state, the rest of the file as it was; raises Exception as Write does.
  void WriteHighQualityReduction(bool on);
  void Warn(const std::string& text);

  const std::string& Path() const { return path_; }

private:
  std::string path_;
  TWarn warn_;
  bool unreadable_ = false;
};

} // namespace qv
