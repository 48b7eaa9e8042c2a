#pragma once
// The source file list: display names (ListBox1) and full paths (ListBox2) in step,
// the selection, the file count and the status text.

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

namespace qv {

struct TJobState;
class IOpenTest;
class IProgressBar;

// What one change did to the lists, so that a window mirroring them can follow it
// without building them again.
struct TListChange {
  enum class TKind {
    appended, // entries first .. Count() - 1 are new
    removed,  // entry first went; the entries after it moved up by one
    cleared,  // every entry went
  };
  TKind kind;
  int32_t first = 0;
};

// The status text's words before the file count; the windows translate them.
inline constexpr const char* kStatusPrefix = "Файлов: ";

// Which of addfile's tests refuses a path: the first that does, in the order they run.
enum class TRefusal { none, cannotOpen, listedAlready, notPictureEnding };

class TSourceList {
public:
  // state.fileCount is kept by the list; progress is reset by clear().
  TSourceList(TJobState& state, IOpenTest& openTest, IProgressBar& progress);

  // Open test, duplicate test and ending test, all three always, in this order; a refusal is
  // silent. Returns the test that refused the path, none when it was listed.
  TRefusal addfile(const std::string& path);
  // Every path of a dialog choice or a drop, in its order, with one notification for all.
  void AddPaths(const std::vector<std::string>& paths);
  void clear();
  // Removes the selected entry from both lists (SpeedButton2Click); nothing when none is selected.
  void RemoveSelected();

  static std::string shortname(const std::string& path);
  // One of the eight JPEG endings, byte for byte, or .heic, .heif, .hif, .avif, .png or
  // .webp in any case.
  static bool HasAcceptedEnding(const std::string& path);

  const std::vector<std::string>& ListBox1() const { return names_; }
  const std::vector<std::string>& ListBox2() const { return paths_; }
  int32_t Count() const { return static_cast<int32_t>(names_.size()); }
  // Entry index of a list; an index outside raises EListError.
  const std::string& DisplayName(int32_t index) const;
  const std::string& Path(int32_t index) const;

  // -1 when nothing is selected.
  int32_t Selected() const { return selected_; }
  void Select(int32_t index);

  // "Файлов: " at start-up, then "Файлов: N".
  const std::string& StatusText() const { return status_; }

  // Called after every change of the lists and the status text, so a window can mirror them.
  std::function<void(const TListChange&)> onChanged;

private:
  // addfile without its notification; none when path was appended.
  TRefusal Accept(const std::string& path);
  void changed(TListChange::TKind kind, int32_t first);

  TJobState& state_;
  IOpenTest& openTest_;
  IProgressBar& progress_;
  std::vector<std::string> names_;
  std::vector<std::string> paths_;
  // The same paths as a set, kept in step, so that the duplicate test of a large drop does
  // not compare every new path with every listed one.
  std::unordered_set<std::string> listed_;
  int32_t selected_ = -1;
  std::string status_ = kStatusPrefix;
};

} // namespace qv
