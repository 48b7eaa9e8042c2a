#pragma once
// Every failure of Quarvelle is one of these exceptions; what() is the exact text
// the error box shows (before it appends its full stop).

#include <cstdint>
#include <stdexcept>
#include <string>

namespace qv {

class Exception : public std::runtime_error {
public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

// A picture that cannot be handled as one.
class EInvalidGraphic : public Exception {
public:
  using Exception::Exception;
};

// A fatal error of the JPEG library, carrying the library's own message code.
class EJPEG : public EInvalidGraphic {
public:
  explicit EJPEG(int code) : EInvalidGraphic("JPEG error #" + std::to_string(code)), code_(code) {}
  int code() const { return code_; }

private:
  int code_;
};

class EInvalidGraphicOperation : public Exception {
public:
  EInvalidGraphicOperation() : Exception("Scan line index out of range") {}
};

// "Cannot open file "/abs/path". No such file or directory"
class EFOpenError : public Exception {
public:
  EFOpenError(const std::string& path, const std::string& reason)
      : Exception("Cannot open file \"" + path + "\". " + reason) {}
};

class EFCreateError : public Exception {
public:
  EFCreateError(const std::string& path, const std::string& reason)
      : Exception("Cannot create file \"" + path + "\". " + reason) {}
};

class EReadError : public Exception {
public:
  EReadError() : Exception("Stream read error") {}
};

class EWriteError : public Exception {
public:
  EWriteError() : Exception("Stream write error") {}
};

class EListError : public Exception {
public:
  explicit EListError(int64_t index) : Exception("List index out of bounds (" + std::to_string(index) + ")") {}
};

class EInvalidOp : public Exception {
public:
  EInvalidOp() : Exception("Invalid floating point operation") {}
};

class EOutOfMemory : public Exception {
public:
  EOutOfMemory() : Exception("Out of memory") {}
};

// The text of the error box: a full stop is appended when the last character sorts after ".".
inline std::string ErrorBoxText(const std::string& message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > static_cast<unsigned char>('.'))
    return message + ".";
  return message;
}

} // namespace qv
