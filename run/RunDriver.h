#pragma once
// Walks a job: one pass per checked resolution, one step per listed file. It has no loop
// of its own; it reacts to Start, to the crop window turning visible and to a finished save.

#include <cstdint>
#include <exception>
#include <string>

namespace qv {

struct TJobState;

// What the driver needs of the windows around it.
class IRunSurroundings {
public:
  virtual ~IRunSurroundings() = default;
  // Number of entries of the display list ListBox1, read afresh each time.
  virtual int32_t DisplayCount() = 0;
  // Entry index of the path list ListBox2; outside it raises EListError.
  virtual std::string PathAt(int32_t index) = 0;
  // The main window's clear: both lists, the count, the status text, pos2's position.
  virtual void clear() = 0;
  // The crop window's openfile (snapshot, read, fit, size, frame reset).
  virtual void openfile(const std::string& path) = 0;
  // Showing a hidden crop window runs the driver's FormShow before returning, inside the
  // error guard, so an error there is reported and the window is still shown. Showing a
  // visible window does nothing.
  virtual void ShowCropWindow() = 0;
  virtual void HideCropWindow() = 0;
  virtual bool CropWindowVisible() = 0;
  virtual void SetProgressMaximum(int32_t maximum) = 0;
  virtual void SetProgressPosition(int32_t position) = 0;
  // The message box of the error kind with a single "OK".
  virtual void ErrorMessage(const std::string& text) = 0;
  // The application's error box, for a source the run skips.
  virtual void ReportError(const std::exception& error) = 0;
  // Whether any resolution is checked in the settings window's live values.
  virtual bool AnyResolutionChecked() = 0;
};

inline constexpr const char* kNoFilesMessage = "Сначала добавьте файлы";
inline constexpr const char* kNoResolutionsMessage = "Сначала выберите разрешения";

class TRunDriver {
public:
  TRunDriver(TJobState& state, IRunSurroundings& surroundings);

  // Start ("Старт!", the menu's "Начать обработку").
  void SpeedButton5Click();
  void N5Click() { SpeedButton5Click(); }
  // Start again at a pass change.
  void StartAround() { SpeedButton5Click(); }
  // The crop window turned visible: file 0 of the pass.
  void FormShow();
  // After each successful save.
  void next();

  int32_t fileIndex = 0;

private:
  // Start's own steps; true when the pass it showed could not open its file 0.
  bool StartPass();
  // Moves on from the file at fileIndex as after its save; true when the file it then
  // tried to open failed, so that one must be passed over in turn.
  bool Advance();
  // Opens entry index of the path list; a source that fails is reported and false returned.
  bool Opens(int32_t index);

  TJobState& state_;
  IRunSurroundings& env_;
  // Set by FormShow when file 0 failed; the Start that showed the window skips it once
  // the show has returned, because a pass change cannot hide a window still being shown.
  bool firstFileFailed_ = false;
};

} // namespace qv
