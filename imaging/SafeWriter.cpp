#include "SafeWriter.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "SourceFile.h"
#include "job/Errors.h"

namespace qv {

namespace {

class TPosixFileSystem : public ISafeFileSystem {
public:
  int CreateTemporary(const std::string& target, std::string& tempPath) override {
    // The system would take the name only up to a NUL, and so write another file.
    if (target.find('\0') != std::string::npos) {
      errno = EINVAL;
      return -1;
    }
    // The target itself is only replaced later, but a target that could not be created
    // or truncated in place is refused now, as creating it directly would be.
    struct stat info {};
    if (stat(target.c_str(), &info) == 0) {
      if (S_ISDIR(info.st_mode)) {
        errno = EISDIR;
        return -1;
      }
      if (access(target.c_str(), W_OK) != 0)
        return -1;
    } else if (errno != ENOENT) {
      return -1;
    }
    size_t slash = target.rfind('/');
    std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string name = folder + ".quarvelle-" + std::to_string(getpid()) + "-" +
                         std::to_string(counter_++) + ".tmp";
      int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd >= 0) {
        tempPath = name;
        return fd;
      }
      if (errno != EEXIST)
        return -1;
    }
    errno = EEXIST;
    return -1;
  }

  ssize_t Write(int fd, const uint8_t* data, size_t size) override { return write(fd, data, size); }
  int Close(int fd) override { return close(fd); }
  int Rename(const std::string& from, const std::string& to) override {
    return rename(from.c_str(), to.c_str());
  }
  void Remove(const std::string& path) override { unlink(path.c_str()); }

private:
  // Shared by every thread that writes, as the batch's workers do.
  std::atomic<unsigned> counter_ = 0;
};

} // namespace

ISafeFileSystem& PosixFileSystem() {
  static TPosixFileSystem fs;
  return fs;
}

TSafeWriter::TSafeWriter(const std::string& path, ISafeFileSystem& fs) : fs_(fs), target_(path) {
  fd_ = fs_.CreateTemporary(path, temp_);
  if (fd_ < 0) {
    int error = errno;
    throw EFCreateError(ExpandFileName(path), std::strerror(error));
  }
}

TSafeWriter::~TSafeWriter() {
  if (!committed_)
    Discard();
}

void TSafeWriter::Write(const uint8_t* data, size_t size) {
  while (size > 0) {
    ssize_t written = fs_.Write(fd_, data, size);
    if (written < 0 && errno == EINTR)
      continue;
    if (written <= 0 || static_cast<size_t>(written) > size) {
      Discard();
      throw EWriteError();
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
}

void TSafeWriter::Commit() {
  int fd = fd_;
  fd_ = -1;
  if (fs_.Close(fd) != 0) {
    Discard();
    throw EWriteError();
  }
  if (fs_.Rename(temp_, target_) != 0) {
    int error = errno;
    Discard();
    throw EFCreateError(ExpandFileName(target_), std::strerror(error));
  }
  committed_ = true;
}

void TSafeWriter::Discard() {
  if (fd_ >= 0) {
    fs_.Close(fd_);
    fd_ = -1;
  }
  if (!temp_.empty()) {
    fs_.Remove(temp_);
    temp_.clear();
  }
}

void WriteFileSafely(const std::string& path, const uint8_t* data, size_t size, ISafeFileSystem& fs) {
  TSafeWriter file(path, fs);
  file.Write(data, size);
  file.Commit();
}

} // namespace qv
