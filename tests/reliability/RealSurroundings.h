#pragma once
// The run driver among the real window-free parts: a TSourceList with the POSIX open test,
// a TCropModel with a plain display area, makename with the POSIX folder maker, and Savefile.
// The user's press on the frame is Confirm(); the error box keeps its texts.

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "imaging/CropModel.h"
#include "job/Errors.h"
#include "job/JobState.h"
#include "job/Naming.h"
#include "job/PosixServices.h"
#include "job/Services.h"
#include "job/SourceList.h"
#include "run/RunDriver.h"

namespace qvrel {

class TProgress : public qv::IProgressBar {
public:
  void SetMaximum(int32_t value) override { maximum = value; }
  void SetPosition(int32_t value) override { position = value; }
  int32_t Maximum() const override { return maximum; }
  int32_t Position() const override { return position; }
  int32_t maximum = 100;
  int32_t position = 0;
};

class TTypedNames : public qv::IInputBox {
public:
  std::string InputBox(const std::string&, const std::string&, const std::string& defaultText) override {
    if (typed.empty())
      return defaultText;
    std::string next = typed.front();
    typed.erase(typed.begin());
    return next;
  }
  std::vector<std::string> typed;
};

class TRealSurroundings : public qv::IRunSurroundings {
public:
  explicit TRealSurroundings(const std::string& outputFolder) : outputFolder(outputFolder) {
    settings.resolutionItems[qv::kDefaultResolutionIndex].checked = false;
  }

  // Checks exactly these resolutions of the settings window, by their texts.
  void CheckResolutions(const std::vector<std::string>& texts) {
    for (qv::TResolutionItem& item : settings.resolutionItems) {
      item.checked = false;
      for (const std::string& text : texts)
        item.checked = item.checked || item.text == text;
    }
  }

  // Runs a handler as the windows do: an error ends it and goes to the error box.
  void Guard(const std::function<void()>& handler) {
    try {
      handler();
    } catch (const std::exception& error) {
      errorBox.push_back(qv::ErrorBoxText(error.what()));
    }
  }

  void Start() { Guard([this] { driver.SpeedButton5Click(); }); }

  // The press on the frame: the name, the save, then the driver moves on.
  void Confirm() {
    Guard([this] {
      const std::string path =
          qv::makename(driver.fileIndex(), state, list.ListBox1(), settings.folderPerResolutionBox, input, folders);
      model.Savefile(path, qv::TTarget{state.targetWidth, state.targetHeight, state.compression, state.orientByExif});
      saved.push_back(path);
      driver.next();
    });
  }

  // Presses until the crop window closes; a bound against a run that never ends.
  void RunToTheEnd(int presses = 100000) {
    Start();
    while (visible && presses-- > 0)
      Confirm();
  }

  int32_t DisplayCount() override { return list.Count(); }
  std::string PathAt(int32_t index) override { return list.Path(index); }
  void clear() override { list.clear(); }
  void openfile(const std::string& path) override {
    opened.push_back(path);
    model.openfile(
        path,
        [this] {
          qv::GetParams(state, settings, outputFolder, list.Count());
          return qv::TTarget{state.targetWidth, state.targetHeight, state.compression, state.orientByExif};
        },
        view);
  }
  qv::TStep ShowCropWindow() override {
    if (visible)
      return qv::TStep::awaitUser;
    visible = true;
    qv::TStep shown = qv::TStep::awaitUser;
    Guard([&] { shown = driver.FormShow(); });
    return shown;
  }
  void HideCropWindow() override { visible = false; }
  bool CropWindowVisible() override { return visible; }
  void ErrorMessage(const std::string& text) override { messages.push_back(text); }
  void ReportError(const std::exception& error) override { errorBox.push_back(qv::ErrorBoxText(error.what())); }
  bool AnyResolutionChecked() override { return settings.AnyResolutionChecked(); }

  std::string outputFolder;
  qv::TJobState state;
  qv::TSettingsValues settings;
  TProgress progress;
  qv::TPosixOpenTest openTest;
  qv::TPosixFolderMaker folders;
  TTypedNames input;
  qv::TSourceList list{state, openTest, progress};
  qv::TCropModel model;
  qv::TPlainCropView view;
  qv::TRunDriver driver{state, *this, progress};
  bool visible = false;

  std::vector<std::string> opened;
  std::vector<std::string> saved;
  std::vector<std::string> errorBox;
  std::vector<std::string> messages;
};

} // namespace qvrel
