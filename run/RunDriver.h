#pragma once
// Walks a job: one pass per checked resolution, one step per listed file. It has no loop
// of its own; it reacts to Start, to the crop window turning visible and to a finished save.

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <vector>

namespace qv {

struct TJobState;
struct TResolution;
class IProgressBar;

// What a step leaves for the driver to do.
enum class TStep {
  // A file is on screen awaiting its confirmation, or the run stopped: nothing until the user acts.
  awaitUser,
  // The file the step tried to open failed and was reported: the driver moves past it.
  passOver,
};

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
  // Showing a hidden crop window runs the driver's FormShow before the window reaches the
  // screen, inside the error guard (an error is reported and the window is still shown),
  // and returns what FormShow returned. A visible window is left as it is: awaitUser.
  virtual TStep ShowCropWindow() = 0;
  virtual void HideCropWindow() = 0;
  virtual bool CropWindowVisible() = 0;
  // The message box of the error kind with a single "OK".
  virtual void ErrorMessage(const std::string& text) = 0;
  // The application's error box, for a source the run skips.
  virtual void ReportError(const std::exception& error) = 0;
  // Whether any resolution is checked in the settings window's live values.
  virtual bool AnyResolutionChecked() = 0;
};

// Where a confirmed frame stood along the free axis: the full-size offset cut at, and the
// position in the crop window's view it was placed at (the same when shown unscaled).
struct TPlace {
  int32_t offset = 0;
  int32_t view = 0;
  bool operator==(const TPlace&) const = default;
};

inline constexpr const char* kNoFilesMessage = "Сначала добавьте файлы";
inline constexpr const char* kNoResolutionsMessage = "Сначала выберите разрешения";

class TRunDriver {
public:
  // progress is the main window's overall progress bar pos2.
  TRunDriver(TJobState& state, IRunSurroundings& surroundings, IProgressBar& progress);

  // Start ("Старт!", the menu's "Начать обработку").
  void SpeedButton5Click();
  void N5Click() { SpeedButton5Click(); }
  // Start again at a pass change.
  void StartAround() { SpeedButton5Click(); }
  // The crop window is turning visible: file 0 of the pass.
  TStep FormShow();
  // After each successful save; place is where the frame stood, for a later back().
  void next(std::optional<TPlace> place = std::nullopt);
  // The user passes over the file on screen: nothing is saved, the run moves on as after a save.
  void skip() { next(); }
  // Back to the previous file of the pass, shown again; false on the first file of a pass,
  // where nothing happens. The progress position becomes the new fileIndex, as it is
  // whenever a file of the pass is on screen.
  bool back();
  // Where the file on screen was confirmed the last time the run left it in this pass, if
  // it was saved then (not skipped, not failed).
  std::optional<TPlace> ConfirmedPlace() const;

  // The position in the file list of the file on screen.
  int32_t fileIndex() const { return fileIndex_; }
  // The file the next save opens first: the next one of the list, file 0 of the next pass
  // after the last one, or -1 when that save ends the job.
  int32_t FollowingIndex();
  // The target size that file is opened at: this pass's, or the next pass's after the last
  // file; 0 x 0 when the save ends the job.
  TResolution FollowingSize();

private:
  // Moves past files that fail to open, one at a time, so that no number of them deepens
  // the call stack.
  void PassOverFailures(TStep step);
  // Start's own steps: the pass's target size, the window shown, the progress maximum.
  TStep ShowPass();
  // What a save leads to: the next file, the next pass or the end of the job.
  TStep MoveOn();
  // Opens entry index of the path list; a source that fails is reported and passed over.
  TStep OpenFile(int32_t index);
  // Notes how the run leaves the file on screen.
  void Leave(std::optional<TPlace> place);

  TJobState& state_;
  IRunSurroundings& env_;
  IProgressBar& progress_;
  int32_t fileIndex_ = 0;
  // How each file of the pass was left last, by position in the list; cleared at each
  // pass's first file.
  std::vector<std::optional<TPlace>> left_;
};

} // namespace qv
