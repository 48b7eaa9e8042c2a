#pragma once
// Reading a source file whole, and the absolute path that error texts about files name.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qv {

// The absolute form of path that error texts name: relative paths are taken from the
// working folder, and "." and ".." components are resolved by name. A NUL, which no file
// name can hold, shows as "?".
std::string ExpandFileName(const std::string& path);

// A source file open for reading; it is closed on every way out.
class TSourceFile {
public:
  // Raises EFOpenError "Cannot open file ..." when the file cannot be opened or is a folder.
  explicit TSourceFile(const std::string& path);
  ~TSourceFile();
  TSourceFile(const TSourceFile&) = delete;
  TSourceFile& operator=(const TSourceFile&) = delete;

  // bytes becomes the file's length as it was when opened, and is filled in one read;
  // EReadError when fewer bytes come, EOutOfMemory when they do not fit in memory.
  void ReadAll(std::vector<uint8_t>& bytes);

private:
  int fd_ = -1;
  size_t length_ = 0;
};

} // namespace qv
