#pragma once
// What the window tests share: fakes for every platform service, a temporary folder, and
// the whole program built from its start-up; test photographs come from tests/support.

#include <QPoint>
#include <QTemporaryDir>

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "AppServices.h"
#include "Dialogs.h"
#include "ErrorBox.h"
#include "KeptSizes.h"
#include "Startup.h"
#include "job/PosixServices.h"
#include "support/Photos.h"

namespace qv::test {

class TFakeDialogs : public IDialogs {
public:
  std::vector<std::string> OpenPictures(QWidget*) override;
  std::optional<std::string> BrowseFolder(QWidget*, const std::string& current) override;
  void MessageBox(const std::string& text) override { messages.push_back(text); }
  std::string InputBox(const std::string& caption, const std::string& prompt, const std::string& defaultText) override;

  std::deque<std::vector<std::string>> pictureAnswers;
  std::optional<std::string> folderAnswer;
  std::vector<std::string> browsedFrom;
  std::vector<std::string> messages;
  std::deque<std::string> nameAnswers;
  std::vector<std::string> inputCaptions;
  // Each size box takes the next answer (none: cancelled) and notes what it offered.
  std::optional<std::string> SizeBox(QWidget*, const std::vector<std::string>& offered) override;
  std::deque<std::optional<std::string>> sizeAnswers;
  std::vector<std::vector<std::string>> sizeOffers;
};

class TRecordingErrorBox : public IErrorBox {
public:
  void ShowError(const std::string& text) override { texts.push_back(text); }
  std::vector<std::string> texts;
};

class TScriptedPointer : public IPointer {
public:
  QPoint Pos() const override { return pos; }
  bool ScreenWide() const override { return screenWide; }
  QPoint pos;
  // false: the crop window tracks from its own pointer events, as under Wayland.
  bool screenWide = true;
};

using qvtest::Bytes;
using qvtest::FindMarker;
using qvtest::MakeJpeg;
using qvtest::ReadBytes;
using qvtest::Squares;
using qvtest::WithOrientation;
using qvtest::WriteBytes;
using qvtest::WriteJpeg;

// The bytes `quarvelle-cut --size WxH --offset N source output` writes, read back from output.
Bytes CutToolBytes(const std::string& source, int32_t width, int32_t height, int32_t offset, const std::string& output);

// The whole program with fake dialogs, error box and pointer, real files and folders.
class TProgram {
public:
  // keptSizesPath: where the added sizes are kept; by default a file in the test's folder.
  explicit TProgram(const std::string& keptSizesPath = {});
  ~TProgram();

  TForm1& Form1() { return windows->Form1; }
  TForm2& Form2() { return windows->Form2; }
  TForm3& Form3() { return windows->Form3; }

  // A path inside the test's own folder.
  std::string Path(const std::string& name) const;
  // Chooses the output folder through the folder browser.
  void ChooseOutputFolder(const std::string& folder);
  // Lists the files through the open dialog.
  void AddByDialog(const std::vector<std::string>& paths);
  // Ticks the resolution check list as a user would.
  void CheckResolution(int index, bool on);
  void PressStart();

  QTemporaryDir folder;
  TFakeDialogs dialogs;
  TRecordingErrorBox errorBox;
  TScriptedPointer pointer;
  TPosixOpenTest openTest;
  TPosixFolderMaker folders;
  // The kept list's warnings, which the program writes to stderr.
  std::vector<std::string> warnings;
  TKeptSizes keptSizes;
  TAppServices services{dialogs, errorBox, pointer, openTest, folders, keptSizes};
  std::unique_ptr<TApplicationWindows> windows;
};

} // namespace qv::test
