#pragma once
// Output files are written whole or not at all: the bytes go to a temporary file beside the
// target, which replaces the target only once everything was written and the file closed.
// An earlier file of that name therefore survives any failure, and no empty file is left.

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>

namespace qv {

// The file system calls of safe writing, POSIX style (-1 and errno on failure), so that
// tests can make one of them fail: a full disk, a short write, a failing close.
class ISafeFileSystem {
public:
  virtual ~ISafeFileSystem() = default;
  // Checks that target may be created or replaced, then creates and opens a new file in
  // the target's folder; fills tempPath and returns its descriptor.
  virtual int CreateTemporary(const std::string& target, std::string& tempPath) = 0;
  // As write(2): may write fewer bytes than asked.
  virtual ssize_t Write(int fd, const uint8_t* data, size_t size) = 0;
  virtual int Close(int fd) = 0;
  virtual int Rename(const std::string& from, const std::string& to) = 0;
  virtual void Remove(const std::string& path) = 0;
};

ISafeFileSystem& PosixFileSystem();

class TSafeWriter {
public:
  // Raises EFCreateError "Cannot create file ..." when the target cannot be created.
  explicit TSafeWriter(const std::string& path, ISafeFileSystem& fs = PosixFileSystem());
  // Removes the temporary file unless Commit succeeded.
  ~TSafeWriter();
  TSafeWriter(const TSafeWriter&) = delete;
  TSafeWriter& operator=(const TSafeWriter&) = delete;

  // Raises EWriteError "Stream write error" unless every byte was written.
  void Write(const uint8_t* data, size_t size);
  // Closes (EWriteError when that fails) and puts the file in the target's place.
  void Commit();

private:
  void Discard();

  ISafeFileSystem& fs_;
  std::string target_;
  std::string temp_;
  int fd_ = -1;
  bool committed_ = false;
};

// The whole of data as the file path, written safely.
void WriteFileSafely(const std::string& path, const uint8_t* data, size_t size,
                     ISafeFileSystem& fs = PosixFileSystem());

} // namespace qv
