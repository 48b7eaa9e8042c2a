#include "job/PosixServices.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qv {

namespace {

// A text with a NUL inside would reach the system cut short and name another file.
bool Representable(const std::string& path) {
  return !path.empty() && path.find('\0') == std::string::npos;
}

} // namespace

bool TPosixOpenTest::CanOpen(const std::string& path) {
  if (!Representable(path))
    return false;
  // Look before opening: opening a FIFO or a device could block or have effects of its own.
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
    return false;
  // Only read access is asked for: sources are never written, so a read-only photo is fine.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0)
    return false;
  // The name may have been replaced between the look and the open.
  const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  ::close(fd);
  return regular;
}

void TPosixFolderMaker::CreateFolder(const std::string& path) {
  if (!Representable(path))
    return;
  // One level only; an existing folder or a failure shows up when the file is written.
  (void)::mkdir(path.c_str(), 0777);
}

} // namespace qv
