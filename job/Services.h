#pragma once
// Platform services the job model calls. The windows supply Qt ones, the tests fakes;
// PosixServices.h has the real open test and folder creation.

#include <cstdint>
#include <string>

namespace qv {

// The one path separator of the platform; the design's backslash becomes this.
inline constexpr char kPathDelim = '/';

// True when path names an existing regular file (links followed) that opens for reading.
class IOpenTest {
public:
  virtual ~IOpenTest() = default;
  virtual bool CanOpen(const std::string& path) = 0;
};

// Creates one folder level; the result is not looked at by design.
class IFolderMaker {
public:
  virtual ~IFolderMaker() = default;
  virtual void CreateFolder(const std::string& path) = 0;
};

// Modal one-line input: returns the typed text on OK, defaultText on Cancel or close.
class IInputBox {
public:
  virtual ~IInputBox() = default;
  virtual std::string InputBox(const std::string& caption, const std::string& prompt,
                               const std::string& defaultText) = 0;
};

// The main window's overall progress bar pos2.
class IProgressBar {
public:
  virtual ~IProgressBar() = default;
  virtual void SetMaximum(int32_t maximum) = 0;
  virtual void SetPosition(int32_t position) = 0;
  virtual int32_t Maximum() const = 0;
  virtual int32_t Position() const = 0;
};

} // namespace qv
