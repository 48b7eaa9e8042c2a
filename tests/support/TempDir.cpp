#include "TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace fs = std::filesystem;

namespace qvtest {

TTempDir::TTempDir() {
  std::string pattern = (fs::temp_directory_path() / "qv-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr)
    throw std::runtime_error("cannot make a temporary folder");
  path_ = pattern;
}

TTempDir::~TTempDir() {
  std::error_code ignored;
  // Folders a test made read-only must be writable again to be emptied.
  for (auto it = fs::recursive_directory_iterator(path_, ignored); it != fs::recursive_directory_iterator();
       it.increment(ignored))
    if (it->is_directory(ignored))
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(path_, ignored);
}

std::set<std::string> TTempDir::Everything() const {
  std::set<std::string> entries;
  for (const auto& entry : fs::recursive_directory_iterator(path_))
    entries.insert(fs::relative(entry.path(), path_).string());
  return entries;
}

} // namespace qvtest
