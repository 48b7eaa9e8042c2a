#pragma once
// A fresh folder under the system's temporary folder, removed with everything in it when
// the test is done.

#include <set>
#include <string>

namespace qvtest {

class TTempDir {
public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  // Every file and folder below, as paths relative to this folder.
  std::set<std::string> Everything() const;

private:
  std::string path_;
};

} // namespace qvtest
