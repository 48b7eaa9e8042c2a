// The image pipeline's benchmarks. The photo is QV_BENCH_PHOTO when set, otherwise a
// 6000 x 4000 photo-like JPEG made in a temporary folder when a case first needs it. After
// the runs the suite prints how much of openfile the resize and the cut take.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

#include "Photo.h"
#ifdef QV_BENCH_WINDOWS
#include "AddPathsBench.h"
#endif
#include "imaging/CropModel.h"
#include "imaging/Fit.h"
#include "imaging/JPEGImage.h"
#include "imaging/Orientation.h"
#include "imaging/SmoothResize.h"
#include "job/JobState.h"
#include "tools/Batch.h"

namespace {

std::string givenPhoto;
std::string workFolder;

// Written on first use, so that a filtered run makes only what it needs.
const std::string& PhotoPath() {
  static const std::string path = [] {
    if (!givenPhoto.empty())
      return givenPhoto;
    const std::string made = workFolder + "/photo.jpg";
    qvbench::WritePhoto(made, 6000, 4000);
    return made;
  }();
  return path;
}

// Made once, on first use, so that a filtered run builds only what it needs.
const qv::TPixelImage& Picture(int32_t width, int32_t height) {
  static std::map<std::pair<int32_t, int32_t>, qv::TPixelImage> made;
  auto [it, fresh] = made.try_emplace({width, height});
  if (fresh)
    it->second = qvbench::MakePhoto(width, height);
  return it->second;
}

const qv::TJPEGImage& ReadPhoto() {
  static qv::TJPEGImage read = [] {
    qv::TJPEGImage image;
    image.ReadJpegFile(PhotoPath());
    return image;
  }();
  return read;
}

// The photo decoded once, as the crop window holds it before the resize.
const qv::TJPEGImage& DecodedPhoto() {
  static qv::TJPEGImage decoded = [] {
    qv::TJPEGImage image;
    image.CopyFrom(ReadPhoto());
    image.GetPixels();
    return image;
  }();
  return decoded;
}

qv::TTarget Target(const benchmark::State& state) {
  return qv::TTarget{static_cast<int32_t>(state.range(0)), static_cast<int32_t>(state.range(1)), 0};
}

void SmoothResizeShape(benchmark::State& state) {
  const qv::TPixelImage& source =
      Picture(static_cast<int32_t>(state.range(0)), static_cast<int32_t>(state.range(1)));
  const int32_t dw = static_cast<int32_t>(state.range(2));
  const int32_t dh = static_cast<int32_t>(state.range(3));
  for (auto _ : state) {
    qv::TPixelImage destination(dw, dh);
    qv::SmoothResize(dw, dh, source, destination);
    benchmark::DoNotOptimize(destination.ScanLine(dh - 1));
  }
  state.SetLabel(std::to_string(source.Width()) + "x" + std::to_string(source.Height()) + " -> " +
                 std::to_string(dw) + "x" + std::to_string(dh));
}
BENCHMARK(SmoothResizeShape)
    ->Name("SmoothResize")
    ->Args({6000, 4000, 330, 220})
    ->Args({6000, 4000, 3600, 2400})
    ->Args({100, 100, 220, 220})
    ->Args({12000, 1200, 2400, 240})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The full-size decode of the photo into a picture, as GetPixels does it for a read file.
void Decode(benchmark::State& state) {
  for (auto _ : state) {
    qv::TJPEGImage image;
    image.CopyFrom(ReadPhoto());
    qv::TPixelImage pixels = image.GetPixels();
    benchmark::DoNotOptimize(pixels.ScanLine(0));
  }
}
BENCHMARK(Decode)->Unit(benchmark::kMillisecond)->UseRealTime();

// The library's decode alone, every row written into one row buffer and dropped: the
// floor of everything that decodes the photo.
class TDroppingSink : public qv::IRowSink {
public:
  void Start(int32_t width, int32_t) override { row_.resize(static_cast<size_t>(width) * 3); }
  uint8_t* RowFor(int32_t) override { return row_.data(); }
  void Filled(int32_t) override {}

private:
  std::vector<uint8_t> row_;
};

void DecodeOnly(benchmark::State& state) {
  for (auto _ : state) {
    TDroppingSink sink;
    qv::DecodeRows(*ReadPhoto().Data(), sink);
  }
}
BENCHMARK(DecodeOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

// The turn of a tagged 6000 x 4000 photo alone: its rows handed to the orienting sink from
// memory, as the decoder hands them, and the turned picture built.
void Orient(benchmark::State& state) {
  const qv::TPixelImage& source = Picture(6000, 4000);
  const int orientation = static_cast<int>(state.range(0));
  const size_t rowBytes = static_cast<size_t>(source.Width()) * 3;
  for (auto _ : state) {
    qv::TOrientingSink sink(orientation);
    sink.Start(source.Width(), source.Height());
    for (int32_t y = 0; y < source.Height(); ++y) {
      std::memcpy(sink.RowFor(y), source.ScanLine(y), rowBytes);
      sink.Filled(y);
    }
    qv::TPixelImage turned = sink.Result();
    benchmark::DoNotOptimize(turned.ScanLine(0));
  }
}
BENCHMARK(Orient)->Arg(3)->Arg(6)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime();

// The photo decoded straight into its turned picture, against Decode and DecodeOnly.
void DecodeOriented(benchmark::State& state) {
  for (auto _ : state) {
    qv::TOrientingSink sink(static_cast<int>(state.range(0)));
    qv::DecodeRows(*ReadPhoto().Data(), sink);
    qv::TPixelImage turned = sink.Result();
    benchmark::DoNotOptimize(turned.ScanLine(0));
  }
}
BENCHMARK(DecodeOriented)->Arg(3)->Arg(6)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime();

// The decode with its rows blended into the display size as they come, as openfile does it.
void DecodeResized(benchmark::State& state) {
  const qv::TTarget target = Target(state);
  const double aspect = qv::Aspect(ReadPhoto().Width(), ReadPhoto().Height());
  const qv::TSize size = qv::DisplaySize(target.width, target.height, aspect,
                                         qv::FitWidth(target.width, target.height, aspect));
  for (auto _ : state) {
    qv::TPixelImage shown = qv::DecodeResized(*ReadPhoto().Data(), size.width, size.height);
    benchmark::DoNotOptimize(shown.ScanLine(0));
  }
}
BENCHMARK(DecodeResized)->Args({176, 220})->Args({320, 240})->Unit(benchmark::kMillisecond)->UseRealTime();

// The photo tagged with an orientation (first argument) decoded and blended into the display
// size of the turned photo for a target, as openfile does it for a phone's photo: its rows go
// into the blend as rows (1 to 4) or columns (5 to 8) of the turned picture. 1 is the same
// as DecodeResized; 1080x2400 makes a destination far larger than the processor's caches.
void DecodeResizedTurned(benchmark::State& state) {
  const int orientation = static_cast<int>(state.range(0));
  const qv::TTarget target{static_cast<int32_t>(state.range(1)), static_cast<int32_t>(state.range(2)), 0};
  const qv::TSize turned = qv::OrientedSize(ReadPhoto().Width(), ReadPhoto().Height(), orientation);
  const double aspect = qv::Aspect(turned.width, turned.height);
  const qv::TSize size = qv::DisplaySize(target.width, target.height, aspect,
                                         qv::FitWidth(target.width, target.height, aspect));
  for (auto _ : state) {
    qv::TPixelImage shown = qv::DecodeResized(*ReadPhoto().Data(), size.width, size.height, orientation);
    benchmark::DoNotOptimize(shown.ScanLine(0));
  }
}
BENCHMARK(DecodeResizedTurned)
    ->ArgsProduct({{1, 2, 3, 4, 5, 6, 7, 8}, {176}, {220}})
    ->ArgsProduct({{1, 3, 6, 8}, {1080}, {2400}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// One decode for the 28 sizes of the settings window and 1080x2400 and 1170x2532, as the
// batch does it: every fitted picture whole (0) or only the part a centred frame covers (1);
// the second argument turns the photo as an orientation tag would.
void DecodeResizedAllSizes(benchmark::State& state) {
  const int orientation = static_cast<int>(state.range(1));
  const qv::TSize turned = qv::OrientedSize(ReadPhoto().Width(), ReadPhoto().Height(), orientation);
  const double aspect = qv::Aspect(turned.width, turned.height);
  std::vector<qv::TSize> sizes;
  std::vector<qv::TFrame> frames;
  std::vector<const char*> texts(qv::kResolutionTexts.begin(), qv::kResolutionTexts.end());
  texts.insert(texts.end(), {"1080x2400", "1170x2532"});
  for (const char* text : texts) {
    const qv::TResolution target = qv::makeres(text);
    const bool fitWidth = qv::FitWidth(target.width, target.height, aspect);
    const qv::TSize size = qv::DisplaySize(target.width, target.height, aspect, fitWidth);
    sizes.push_back(size);
    frames.push_back(qv::PlaceFrame(fitWidth, size, qv::TSize{target.width, target.height}, qv::TCutSettings{0, true, 0}));
  }
  for (auto _ : state) {
    std::vector<qv::TResized> shown =
        qv::DecodeResized(*ReadPhoto().Data(), sizes, {}, state.range(0) ? &frames : nullptr, orientation);
    benchmark::DoNotOptimize(shown.back().picture.ScanLine(0));
  }
}
BENCHMARK(DecodeResizedAllSizes)->ArgsProduct({{0, 1}, {1, 6}})->Unit(benchmark::kMillisecond)->UseRealTime();

// ReadJpegFile alone: the file in one read and its header.
void Read(benchmark::State& state) {
  for (auto _ : state) {
    qv::TJPEGImage image;
    image.ReadJpegFile(PhotoPath());
    benchmark::DoNotOptimize(image.Width());
  }
}
BENCHMARK(Read)->Unit(benchmark::kMillisecond)->UseRealTime();

// The crop window's openfile on the photo: read, decode, fit and resize.
void Openfile(benchmark::State& state) {
  const qv::TTarget target = Target(state);
  for (auto _ : state) {
    qv::TCropModel model;
    qv::TPlainCropView view;
    model.openfile(PhotoPath(), [&] { return target; }, view);
    benchmark::DoNotOptimize(model.displayed.Width());
  }
}
BENCHMARK(Openfile)->Args({176, 220})->Args({320, 240})->Unit(benchmark::kMillisecond)->UseRealTime();

// The resize of a photo already decoded (as a prefetched one is) and the cut that Savefile
// takes. Its source rows come from memory, not from the decoder's last row, so this is
// the dearer way the resize can go.
void ResizeAndCut(benchmark::State& state) {
  const qv::TTarget target = Target(state);
  const qv::TJPEGImage& decoded = DecodedPhoto();
  const double aspect = qv::Aspect(decoded.Width(), decoded.Height());
  const qv::TSize size = qv::DisplaySize(target.width, target.height, aspect,
                                         qv::FitWidth(target.width, target.height, aspect));
  for (auto _ : state) {
    qv::TCropModel model;
    model.displayed.CopyFrom(decoded);
    model.ResizeImage(size.width, size.height);
    qv::TPixelImage cut = qv::CutOut(model.displayed.GetPixels(), qv::TFrame{0, 0, target.width, target.height},
                                     target.width, target.height);
    benchmark::DoNotOptimize(cut.ScanLine(0));
  }
}
BENCHMARK(ResizeAndCut)->Args({176, 220})->Args({320, 240})->Unit(benchmark::kMillisecond)->UseRealTime();

// Savefile: the cut of a target-sized frame, encoded at quality 100 and written safely.
void Savefile(benchmark::State& state) {
  const qv::TTarget target = Target(state);
  qv::TCropModel model;
  qv::TPlainCropView view;
  model.openfile(PhotoPath(), [&] { return target; }, view);
  const std::string output = workFolder + "/cut.jpg";
  for (auto _ : state)
    model.Savefile(output, target);
}
BENCHMARK(Savefile)->Args({176, 220})->Args({320, 240})->Unit(benchmark::kMillisecond)->UseRealTime();

// Prints the table as usual and keeps each run's real time, medians where repeated.
class TShareReporter : public benchmark::ConsoleReporter {
public:
  explicit TShareReporter(OutputOptions options) : ConsoleReporter(options) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred)
        continue;
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median")
        continue;
      const std::string name = run.run_name.str();
      if (run.run_type == Run::RT_Aggregate || !medians_.count(name))
        times_[name] = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
      if (run.run_type == Run::RT_Aggregate)
        medians_[name] = true;
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    auto time = [this](const std::string& name) {
      auto it = times_.find(name + "/real_time");
      return it == times_.end() ? 0.0 : it->second;
    };
    const double decode = time("DecodeOnly");
    for (const char* orientation : {"3", "6", "8"}) {
      const double turned = time(std::string("DecodeOriented/") + orientation);
      if (turned > 0 && decode > 0)
        std::printf("decode turned by orientation %s: %.1f ms, %.2f ms = %.1f %% beyond the library's decode\n",
                    orientation, turned * 1e3, (turned - decode) * 1e3, 100 * (turned - decode) / decode);
    }
    for (const char* size : {"176/220", "1080/2400"}) {
      const double upright = time(std::string("DecodeResizedTurned/1/") + size);
      for (int orientation = 2; orientation <= 8 && upright > 0; ++orientation) {
        const double turned = time("DecodeResizedTurned/" + std::to_string(orientation) + "/" + size);
        if (turned > 0)
          std::printf("decode and blend at %s turned by orientation %d: %.1f ms = %.2f x upright\n", size, orientation,
                      turned * 1e3, turned / upright);
      }
    }
    for (const char* size : {"176/220", "320/240"}) {
      const double openfile = time(std::string("Openfile/") + size);
      const double part = time(std::string("ResizeAndCut/") + size);
      if (openfile <= 0)
        continue;
      if (part > 0)
        std::printf("resize + cut at %s: %.3f ms of openfile's %.1f ms = %.2f %%\n", size, part * 1e3, openfile * 1e3,
                    100 * part / openfile);
      if (decode > 0)
        std::printf("openfile at %s beyond the library's decode (%.1f ms): %.2f ms = %.2f %%\n", size, decode * 1e3,
                    (openfile - decode) * 1e3, 100 * (openfile - decode) / openfile);
    }
  }

private:
  std::map<std::string, double> times_; // seconds
  std::map<std::string, bool> medians_;
};

} // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv))
    return 1;
  std::string folder = (std::filesystem::temp_directory_path() / "qv-bench-XXXXXX").string();
  if (mkdtemp(folder.data()) == nullptr) {
    std::perror("qv-bench: temporary folder");
    return 1;
  }
  workFolder = folder;
  if (const char* given = std::getenv("QV_BENCH_PHOTO"))
    givenPhoto = given;
#ifdef QV_BENCH_WINDOWS
  qvbench::RegisterAddPaths(workFolder);
#endif
  int status = 0;
  try {
    TShareReporter reporter(isatty(STDOUT_FILENO) ? benchmark::ConsoleReporter::OO_ColorTabular
                                                  : benchmark::ConsoleReporter::OO_Tabular);
    benchmark::RunSpecifiedBenchmarks(&reporter);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "qv-bench: %s\n", error.what());
    status = 1;
  }
  benchmark::Shutdown();
  std::error_code ignored;
  std::filesystem::remove_all(workFolder, ignored);
  return status;
}
