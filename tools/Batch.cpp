#include "Batch.h"

#include <chrono>
#include <condition_variable>
#include <exception>
#include <map>
#include <mutex>
#include <new>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <utility>

#include "imaging/Fit.h"
#include "imaging/JPEGImage.h"
#include "imaging/Orientation.h"
#include "imaging/SafeWriter.h"
#include "imaging/SmoothResize.h"
#include "job/Errors.h"
#include "job/JobState.h"
#include "job/Naming.h"
#include "job/Services.h"

namespace qv {

namespace {

// The list's progress bar and the name prompt have no part in a batch.
class TNoProgressBar : public IProgressBar {
public:
  void SetMaximum(int32_t) override {}
  void SetPosition(int32_t) override {}
  int32_t Maximum() const override { return 0; }
  int32_t Position() const override { return 0; }
};

class TNoInputBox : public IInputBox {
public:
  std::string InputBox(const std::string&, const std::string&, const std::string& defaultText) override {
    return defaultText;
  }
};

std::string SizeText(const TSize& size) {
  return std::to_string(size.width) + "x" + std::to_string(size.height);
}

// What tells two output paths apart as the file system does: the device and inode of the
// folder and the name in it, so that doubled separators, "." and links to a folder are
// seen through. A path whose folder is missing cannot be written and keeps its text.
class TFileKeys {
public:
  std::string KeyOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    auto [it, fresh] = folders_.try_emplace(folder);
    if (fresh) {
      struct stat info {};
      if (stat(folder.c_str(), &info) == 0)
        it->second = std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino) + "/";
    }
    if (it->second.empty())
      return "?" + path;
    return it->second + path.substr(slash == std::string::npos ? 0 : slash + 1);
  }

private:
  std::map<std::string, std::string> folders_;
};

using TInode = std::pair<dev_t, ino_t>;

bool InodeOf(const std::string& path, TInode& inode) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0)
    return false;
  inode = {info.st_dev, info.st_ino};
  return true;
}

// Thrown from the decode's rows and between files once the batch is to stop.
struct TStopped {};

std::string Text(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::bad_alloc&) {
    return ErrorBoxText(EOutOfMemory().what());
  } catch (const std::exception& e) {
    return ErrorBoxText(e.what());
  } catch (...) {
    // Nothing of ours raises anything else; should a library, the batch still goes on.
    return "Unknown error.";
  }
}

} // namespace

TFrame PlaceFrame(bool fitWidth, const TSize& display, const TSize& target, const TCutSettings& cut) {
  const int64_t shown = fitWidth ? display.height : display.width;
  const int64_t wanted = fitWidth ? target.height : target.width;
  const int32_t n = cut.center ? static_cast<int32_t>((shown - wanted) / 2) : cut.offset;
  return TFrame{fitWidth ? 0 : n, fitWidth ? n : 0, target.width, target.height};
}

TPlan MakePlan(const TCutOptions& options, IOpenTest& openTest, IFolderMaker& folders) {
  TJobState state;
  state.addPrefix = options.addPrefix;
  state.prefix = options.prefix;
  state.addSuffix = options.addSuffix;
  state.suffix = options.suffix;
  state.appendResolution = options.appendResolution;
  state.transliterate = options.transliterate;
  state.outputFolder = options.outputDir;
  if (state.outputFolder.back() != kPathDelim)
    state.outputFolder += kPathDelim;

  TPlan plan;
  TNoProgressBar progress;
  TSourceList list(state, openTest, progress);
  for (const std::string& path : options.files)
    if (const TRefusal refusal = list.addfile(path); refusal != TRefusal::none)
      plan.skipped.push_back(TSkipped{path, refusal});

  std::set<TInode> photos;
  for (const std::string& path : list.ListBox2())
    if (TInode inode; InodeOf(path, inode))
      photos.insert(inode);

  TNoInputBox noInput;
  TFileKeys keys;
  // Which photo and size took each file first.
  std::map<std::string, std::pair<size_t, TSize>> taken;
  for (int32_t i = 0; i < list.Count(); ++i) {
    TPlannedPhoto photo{list.Path(i), {}};
    for (const TSize& size : options.sizes) {
      state.targetWidth = size.width;
      state.targetHeight = size.height;
      TOutput output{size, makename(i, state, list.ListBox1(), options.folderPerSize, noInput, folders), {}};
      if (TInode inode; InodeOf(output.path, inode) && photos.count(inode)) {
        output.refusal = "\"" + output.path + "\" is one of the photos and is not replaced.";
      } else if (auto [first, fresh] = taken.try_emplace(keys.KeyOf(output.path), static_cast<size_t>(i), size);
                 !fresh) {
        const size_t earlier = first->second.first;
        output.refusal = "\"" + output.path + "\" is already the output of " +
                         (earlier < plan.photos.size() ? plan.photos[earlier].path : photo.path) + " at " +
                         SizeText(first->second.second) + ".";
      }
      photo.outputs.push_back(std::move(output));
    }
    plan.photos.push_back(std::move(photo));
  }
  return plan;
}

TPhotoResult CutPhoto(const TPlannedPhoto& photo, const TCutSettings& cut, const std::atomic<bool>& stop) {
  TPhotoResult result;
  auto fail = [&](const TOutput& output, const std::string& text) {
    result.errors.push_back(photo.path + " (" + SizeText(output.size) + "): " + text);
  };
  // The outputs to make, each with its fitted size and its frame.
  std::vector<const TOutput*> fitted;
  for (const TOutput& output : photo.outputs)
    if (!output.refusal.empty())
      fail(output, output.refusal);
  try {
    if (stop)
      throw TStopped();
    TJPEGImage source;
    source.ReadJpegFile(photo.path, cut.orientByExif);
    // Fitted, like the crop window, as the photo stands once turned.
    const int orientation = cut.orientByExif ? source.Data()->orientation : 1;
    const TSize turned = OrientedSize(source.Width(), source.Height(), orientation);
    const double aspect = Aspect(turned.width, turned.height);
    std::vector<TSize> displays;
    std::vector<TFrame> frames;
    for (const TOutput& output : photo.outputs) {
      if (!output.refusal.empty())
        continue;
      // As the crop window fits the photo to each size in turn; a size it cannot fit fails alone.
      try {
        const bool fitWidth = FitWidth(output.size.width, output.size.height, aspect);
        const TSize display = DisplaySize(output.size.width, output.size.height, aspect, fitWidth);
        fitted.push_back(&output);
        displays.push_back(display);
        frames.push_back(PlaceFrame(fitWidth, display, output.size, cut));
      } catch (const std::exception&) {
        fail(output, Text(std::current_exception()));
      }
    }
    if (!fitted.empty()) {
      // Only what each frame covers is made: all that its cut reads.
      const std::vector<TResized> pictures = DecodeFiltered(
          *source.Data(), displays,
          [&] {
            if (stop)
              throw TStopped();
          },
          &frames, orientation, cut.filter);
      for (size_t k = 0; k < fitted.size(); ++k) {
        if (stop)
          throw TStopped();
        const TOutput& output = *fitted[k];
        if (pictures[k].error) {
          fail(output, Text(pictures[k].error));
          continue;
        }
        try {
          const TTarget target{output.size.width, output.size.height, cut.compression, cut.orientByExif, cut.filter};
          // The frame where it lies in the part of the fitted picture that was made.
          TFrame frame = frames[k];
          frame.left -= pictures[k].left;
          frame.top -= pictures[k].top;
          SaveCut(pictures[k].picture, frame, target, output.path, PosixFileSystem(), source.Data()->colorProfile);
          ++result.written;
        } catch (const std::exception&) {
          fail(output, Text(std::current_exception()));
        }
      }
    }
    result.done = true;
  } catch (const TStopped&) {
    result.done = false;
  } catch (...) {
    // The photo itself could not be read or decoded: none of its sizes is made.
    result.errors.push_back(photo.path + ": " + Text(std::current_exception()));
    result.done = true;
  }
  return result;
}

namespace {

// No worker outlives the batch, also when a report fails.
struct TJoiner {
  std::vector<std::thread>& threads;
  ~TJoiner() {
    for (std::thread& thread : threads)
      if (thread.joinable())
        thread.join();
  }
};

} // namespace

void RunBatch(const TPlan& plan, const TCutSettings& cut, int workers, const std::atomic<bool>& stop,
              IBatchReport& report) {
  const size_t count = plan.photos.size();
  if (count == 0)
    return;
  std::vector<TPhotoResult> results(count);
  std::vector<bool> ended(count, false);
  std::mutex mutex;
  std::condition_variable changed;
  std::atomic<size_t> next = 0;
  size_t running = 0;

  auto work = [&] {
    for (size_t i; !stop && (i = next++) < count;) {
      TPhotoResult result = CutPhoto(plan.photos[i], cut, stop);
      const std::lock_guard<std::mutex> lock(mutex);
      results[i] = std::move(result);
      ended[i] = true;
      changed.notify_one();
    }
    const std::lock_guard<std::mutex> lock(mutex);
    --running;
    changed.notify_one();
  };

  std::vector<std::thread> threads;
  TJoiner joiner{threads};
  const size_t wanted = std::min(count, static_cast<size_t>(workers > 0 ? workers : 1));
  {
    const std::lock_guard<std::mutex> lock(mutex);
    running = wanted;
  }
  for (size_t t = 0; t < wanted; ++t)
    threads.emplace_back(work);

  size_t reported = 0;
  std::unique_lock<std::mutex> lock(mutex);
  while (true) {
    changed.wait_for(lock, std::chrono::milliseconds(100));
    // Reported in the plan's order, so the messages do not depend on the workers' timing.
    std::vector<std::pair<size_t, TPhotoResult>> ready;
    for (; reported < count && ended[reported]; ++reported)
      ready.emplace_back(reported, std::move(results[reported]));
    const bool over = running == 0;
    lock.unlock();
    for (const auto& [index, result] : ready)
      report.Finished(index, result);
    if (over)
      break;
    report.Waiting();
    lock.lock();
  }
  for (std::thread& thread : threads)
    thread.join();
  // Photos stopped half way still count what they wrote; those never started are left out.
  for (; reported < count; ++reported)
    if (ended[reported])
      report.Finished(reported, results[reported]);
}

} // namespace qv
