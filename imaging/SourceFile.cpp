#include "SourceFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

#include "HugePages.h"
#include "job/Errors.h"

namespace qv {

std::string ExpandFileName(const std::string& path) {
  if (path.empty())
    return path;
  std::string full = path;
  // An error text cut short at a NUL would name another file.
  std::replace(full.begin(), full.end(), '\0', '?');
  if (full[0] != '/') {
    std::vector<char> buffer(4096);
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
      if (errno != ERANGE)
        return path;
      buffer.resize(buffer.size() * 2);
    }
    std::string folder = buffer.data();
    full = folder + (folder.back() == '/' ? "" : "/") + full;
  }
  // Doubled separators are kept: they are valid here and the path names the same file.
  std::vector<std::string> parts;
  size_t start = 1;
  while (true) {
    size_t end = full.find('/', start);
    std::string part = full.substr(start, end == std::string::npos ? std::string::npos : end - start);
    bool last = end == std::string::npos;
    if (part == "..") {
      // ".." leaves the last real folder, not the empty part of a doubled separator:
      // "out//../x" names the file x beside out.
      while (!parts.empty() && parts.back().empty())
        parts.pop_back();
      if (!parts.empty())
        parts.pop_back();
    } else if (part != ".") {
      parts.push_back(part);
    }
    if (last)
      break;
    start = end + 1;
  }
  std::string result;
  for (const std::string& part : parts)
    result += "/" + part;
  return result.empty() ? "/" : result;
}

TSourceFile::TSourceFile(const std::string& path) {
  // A name with a NUL in it would reach the system cut short and open another file.
  if (path.find('\0') != std::string::npos)
    throw EFOpenError(ExpandFileName(path), std::strerror(EINVAL));
  // Without O_NONBLOCK a source replaced by a named pipe after it was listed would wait
  // for a writer for ever; regular files read the same either way.
  fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd_ < 0) {
    int error = errno;
    throw EFOpenError(ExpandFileName(path), std::strerror(error));
  }
  struct stat info {};
  int error = 0;
  if (fstat(fd_, &info) != 0)
    error = errno;
  else if (S_ISDIR(info.st_mode))
    error = EISDIR;
  if (error != 0) {
    close(fd_);
    throw EFOpenError(ExpandFileName(path), std::strerror(error));
  }
  length_ = info.st_size > 0 ? static_cast<size_t>(info.st_size) : 0;
}

TSourceFile::~TSourceFile() { close(fd_); }

void TSourceFile::ReadAll(std::vector<uint8_t>& bytes) {
  try {
    bytes.clear();
    bytes.reserve(length_);
    AdviseHugePages(bytes.data(), length_);
    bytes.resize(length_);
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory();
  }
  size_t total = 0;
  while (total < length_) {
    ssize_t got = read(fd_, bytes.data() + total, length_ - total);
    if (got < 0 && errno == EINTR)
      continue;
    if (got <= 0)
      break;
    total += static_cast<size_t>(got);
  }
  if (total < length_)
    throw EReadError();
}

} // namespace qv
