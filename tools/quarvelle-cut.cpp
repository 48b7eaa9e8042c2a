// quarvelle-cut: photos to wallpapers without a window, through the crop window's own fit,
// resize, cut and save, and for many photos the main window's own listing and naming.

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <malloc.h>
#include <new>
#include <sched.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "Batch.h"
#include "ConsoleReport.h"
#include "CutOptions.h"
#include "imaging/CropModel.h"
#include "imaging/Fit.h"
#include "imaging/LanczosResize.h"
#include "imaging/Orientation.h"
#include "imaging/SafeWriter.h"
#include "imaging/SourceFile.h"
#include "job/Errors.h"
#include "job/PosixServices.h"

namespace {

using qv::TCutOptions;
using qv::TUsageError;

// P6 with the pixels in red, green, blue order.
void WritePpm(const std::string& path, const qv::TPixelImage& image) {
  std::string header = "P6\n" + std::to_string(image.Width()) + " " + std::to_string(image.Height()) + "\n255\n";
  std::vector<uint8_t> bytes(header.begin(), header.end());
  bytes.reserve(bytes.size() + static_cast<size_t>(image.Width()) * 3 * static_cast<size_t>(image.Height()));
  for (int32_t y = 0; y < image.Height(); ++y) {
    const uint8_t* row = image.ScanLine(y);
    for (int32_t x = 0; x < image.Width(); ++x, row += 3) {
      bytes.push_back(row[2]);
      bytes.push_back(row[1]);
      bytes.push_back(row[0]);
    }
  }
  qv::WriteFileSafely(path, bytes.data(), bytes.size());
}

// The high-quality reduction of the part under the frame only, as the batch form makes it:
// the same fit, frame and file as the crop window's, without filtering what is cut away.
int CutFramed(const TCutOptions& options, const qv::TTarget& target) {
  qv::TJPEGImage source;
  source.ReadJpegFile(options.files[0]);
  const int orientation = target.orientByExif ? source.Data()->orientation : 1;
  const qv::TSize turned = qv::OrientedSize(source.Width(), source.Height(), orientation);
  const double aspect = qv::Aspect(turned.width, turned.height);
  const bool fitWidth = qv::FitWidth(target.width, target.height, aspect);
  const qv::TSize display = qv::DisplaySize(target.width, target.height, aspect, fitWidth);
  const qv::TFrame frame = qv::PlaceFrame(fitWidth, display, options.sizes[0], options.cut);
  const std::vector<qv::TFrame> frames = {frame};
  std::vector<qv::TResized> parts =
      qv::DecodeFiltered(*source.Data(), {display}, {}, &frames, orientation, target.filter, true);
  if (parts[0].error)
    std::rethrow_exception(parts[0].error);
  qv::TFrame within = frame;
  within.left -= parts[0].left;
  within.top -= parts[0].top;
  qv::SaveCut(parts[0].picture, within, target, options.files[1], qv::PosixFileSystem());
  std::printf("fit=%s display=%dx%d frame=%d,%d\n", fitWidth ? "width" : "height", display.width, display.height,
              frame.left, frame.top);
  return std::fflush(stdout) == 0 ? 0 : 1;
}

int Cut(const TCutOptions& options) {
  const qv::TTarget target{options.sizes[0].width, options.sizes[0].height, options.cut.compression,
                           options.cut.orientByExif, options.cut.filter};
  if (target.filter == qv::TResizeFilter::lanczos3 && options.displayPpm.empty())
    return CutFramed(options, target);
  qv::TCropModel model;
  qv::TPlainCropView view;
  model.openfile(options.files[0], [&] { return target; }, view);
  const qv::TFrame frame = qv::PlaceFrame(model.fitWidth, qv::TSize{view.DisplayWidth(), view.DisplayHeight()},
                                          options.sizes[0], options.cut);
  model.Shape1.left = frame.left;
  model.Shape1.top = frame.top;
  if (!options.displayPpm.empty())
    WritePpm(options.displayPpm, model.displayed.GetPixels());
  model.Savefile(options.files[1], target);
  std::printf("fit=%s display=%dx%d frame=%d,%d\n", model.fitWidth ? "width" : "height", view.DisplayWidth(),
              view.DisplayHeight(), model.Shape1.left, model.Shape1.top);
  return std::fflush(stdout) == 0 ? 0 : 1;
}

// Set by SIGINT and SIGTERM; the workers stop at the next row or file.
std::atomic<bool> stopRequested = false;
volatile std::sig_atomic_t stopSignal = 0;
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void OnStopSignal(int signal) {
  stopSignal = signal;
  stopRequested = true;
}

void CatchStopSignals() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

int Cores() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
    return CPU_COUNT(&set);
  const unsigned cores = std::thread::hardware_concurrency();
  return cores > 0 ? static_cast<int>(cores) : 1;
}

// Makes the output folder when it is missing (one level, as the folders per size) and says
// why it cannot take files, before any photo is read; empty when it can.
std::string PrepareFolder(const std::string& folder, qv::IFolderMaker& folders) {
  folders.CreateFolder(folder);
  struct stat info {};
  int error = 0;
  if (stat(folder.c_str(), &info) != 0)
    error = errno;
  else if (!S_ISDIR(info.st_mode))
    error = ENOTDIR;
  else if (access(folder.c_str(), W_OK | X_OK) != 0)
    error = errno;
  if (error == 0)
    return std::string();
  return "Cannot write to folder \"" + qv::ExpandFileName(folder) + "\". " + std::strerror(error);
}

int Batch(const TCutOptions& options) {
  CatchStopSignals();
#ifdef __GLIBC__
  // Photo after photo asks for blocks of the same sizes (the file, the cuts, the encoded
  // data). Kept in the heap rather than mapped afresh and given back each time, they cost
  // no page faults and no zeroing by the system after the first photo.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
  qv::TPosixFolderMaker folders;
  qv::TPosixOpenTest openTest;
  const std::string unusable = PrepareFolder(options.outputDir, folders);
  if (!unusable.empty()) {
    std::fprintf(stderr, "%s\n", qv::ErrorBoxText(unusable).c_str());
    qv::TConsoleReport(stderr, stdout, 0, false).End();
    return 1;
  }
  const qv::TPlan plan = qv::MakePlan(options, openTest, folders);
  qv::TConsoleReport report(stderr, stdout, plan.photos.size(), !options.quiet && isatty(STDERR_FILENO));
  for (const qv::TSkipped& skipped : plan.skipped)
    report.Skipped(skipped);
  qv::RunBatch(plan, options.cut, options.jobs > 0 ? options.jobs : Cores(), stopRequested, report);
  const bool ended = report.End();
  if (stopRequested)
    return 128 + stopSignal;
  return ended && report.Failed() == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  for (const std::string& arg : args) {
    if (arg == "--")
      break;
    if (arg == "--help") {
      std::fputs(qv::kCutUsage, stdout);
      return 0;
    }
    if (arg == "--version") {
      std::puts("quarvelle-cut " QV_VERSION);
      return 0;
    }
  }
  TCutOptions options;
  try {
    options = qv::ParseCutArguments(args);
  } catch (const TUsageError& error) {
    std::fprintf(stderr, "quarvelle-cut: %s\n%s", error.reason.c_str(), qv::kCutUsage);
    return 2;
  }
  try {
    return options.batch ? Batch(options) : Cut(options);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "%s\n", qv::EOutOfMemory().what());
  } catch (const std::exception& error) {
    // The error box's text without the full stop it appends.
    std::fprintf(stderr, "%s\n", error.what());
  }
  return 1;
}
