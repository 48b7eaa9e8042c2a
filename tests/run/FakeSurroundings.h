#pragma once
// Surroundings of the run driver without windows: the real source list, the progress bar
// and the crop window's visibility, with every call the driver makes written into a log in
// the order made.

#include "job/Errors.h"
#include "job/JobState.h"
#include "job/Services.h"
#include "job/SourceList.h"
#include "run/RunDriver.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace qv::test {

// What the crop window shows: the file last opened, fitted to the target size of that moment.
struct TPicture {
  std::string path;
  int32_t width = 0;
  int32_t height = 0;
  bool operator==(const TPicture&) const = default;
};

class TOpensAll : public IOpenTest {
public:
  bool CanOpen(const std::string&) override { return true; }
};

class FakeSurroundings : public IRunSurroundings, public IProgressBar {
  TJobState& state_;
  TSettingsValues& settings_;
  TOpensAll openTest_;

public:
  FakeSurroundings(TJobState& state, TSettingsValues& settings) : state_(state), settings_(settings) {}

  void Attach(TRunDriver& driver) { driver_ = &driver; }

  // Runs a handler as the windows do: an error ends it and goes to the error box.
  void Guard(const std::function<void()>& handler) {
    try {
      handler();
    } catch (const std::exception& error) {
      log.push_back("error box(" + std::string(error.what()) + ")");
    }
  }

  // The user's close button: hides, nothing else.
  void CloseByUser() { visible = false; }
  // The user's dialog or drop, and the remove button on the last entry.
  void Add(const std::vector<std::string>& paths) { list.AddPaths(paths); }
  void RemoveLast() {
    list.Select(list.Count() - 1);
    list.RemoveSelected();
  }
  void RemoveAll() {
    while (list.Count() > 0)
      RemoveLast();
  }

  int32_t DisplayCount() override {
    log.push_back("DisplayCount");
    return list.Count();
  }
  std::string PathAt(int32_t index) override {
    log.push_back("PathAt(" + std::to_string(index) + ")");
    if (index == brokenPathIndex)
      throw EListError(index);
    return list.Path(index);
  }
  void clear() override {
    log.push_back("clear");
    // What the list's clear does to the progress bar is the list's own business.
    quiet_ = true;
    list.clear();
    quiet_ = false;
  }
  // Like the crop window's: the snapshot comes first, also for a file that then fails.
  void openfile(const std::string& path) override {
    log.push_back("openfile(" + path + ")");
    openFrames.push_back(reinterpret_cast<uintptr_t>(__builtin_frame_address(0)));
    GetParams(state_, settings_, outputFolder, list.Count());
    if (failing.contains(path))
      throw EFOpenError(path, "No such file or directory");
    picture = TPicture{path, state_.targetWidth, state_.targetHeight};
  }
  TStep ShowCropWindow() override {
    log.push_back("Show");
    if (visible)
      return TStep::awaitUser;
    if (showing_)
      nestedShows++;
    showing_ = true;
    visible = true;
    TStep shown = TStep::awaitUser;
    Guard([&] { shown = driver_->FormShow(); });
    showing_ = false;
    return shown;
  }
  void HideCropWindow() override {
    log.push_back("Hide");
    visible = false;
  }
  bool CropWindowVisible() override {
    log.push_back("Visible?");
    return visible;
  }
  void ErrorMessage(const std::string& text) override { log.push_back("ErrorMessage(" + text + ")"); }
  void ReportError(const std::exception& error) override {
    log.push_back("ReportError(" + std::string(error.what()) + ")");
  }
  bool AnyResolutionChecked() override {
    log.push_back("AnyResolutionChecked");
    return settings_.AnyResolutionChecked();
  }

  // pos2, without the window's holding of the position within the range.
  void SetMaximum(int32_t value) override {
    if (!quiet_)
      log.push_back("SetProgressMaximum(" + std::to_string(value) + ")");
    maximum = value;
  }
  void SetPosition(int32_t value) override {
    if (!quiet_)
      log.push_back("SetProgressPosition(" + std::to_string(value) + ")");
    position = value;
  }
  int32_t Maximum() const override { return maximum; }
  int32_t Position() const override { return position; }

  // The log without the questions, which change nothing.
  std::vector<std::string> Actions() const {
    std::vector<std::string> actions;
    for (const std::string& entry : log)
      if (entry != "DisplayCount" && entry != "Visible?" && entry != "AnyResolutionChecked" &&
          !entry.starts_with("PathAt("))
        actions.push_back(entry);
    return actions;
  }

  TSourceList list{state_, openTest_, *this};
  std::set<std::string> failing;
  int32_t brokenPathIndex = -1;
  std::string outputFolder = "/home/anna/";
  bool visible = false;
  int32_t maximum = 100;
  int32_t position = 0;
  std::optional<TPicture> picture;
  std::vector<std::string> log;
  std::vector<uintptr_t> openFrames;
  int nestedShows = 0;

private:
  TRunDriver* driver_ = nullptr;
  bool showing_ = false;
  bool quiet_ = false;
};

} // namespace qv::test
