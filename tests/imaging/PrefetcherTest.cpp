#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <functional>

#include "imaging/CropModel.h"
#include "imaging/Orientation.h"
#include "imaging/Prefetcher.h"
#include "job/Errors.h"
#include "support/JpegTools.h"
#include "support/TempDir.h"

using qv::TCropModel;
using qv::TPixelImage;
using qv::TPrefetcher;
using qv::TResizeFilter;
using qv::TTarget;
using namespace qvtest;

namespace {

// Files of these tests are written a moment before they are read.
constexpr std::chrono::nanoseconds kNoSettling{0};

class TCountingView : public qv::TPlainCropView {
public:
  void SetDisplaySize(int32_t width, int32_t height, bool widthFirst) override {
    TPlainCropView::SetDisplaySize(width, height, widthFirst);
    ++calls;
  }
  int calls = 0;
};

// Everything an openfile leaves behind, and the error it raised.
struct TOutcome {
  std::string error;
  double aspect;
  bool fitWidth;
  bool hasData;
  bool hasPixels;
  TPixelImage pixels; // empty unless the displayed image holds pixels
  std::tuple<int, int, int, int> frame;
  std::tuple<int, int, int> view;
  int snapshots;
  bool operator==(const TOutcome&) const = default;
};

void PrintTo(const TOutcome& o, std::ostream* out) {
  *out << "{error \"" << o.error << "\", aspect " << o.aspect << ", fitWidth " << o.fitWidth << ", data "
       << o.hasData << ", pixels " << o.hasPixels << " " << o.pixels.Width() << "x" << o.pixels.Height() << ", frame "
       << std::get<0>(o.frame) << "," << std::get<1>(o.frame) << " " << std::get<2>(o.frame) << "x"
       << std::get<3>(o.frame) << ", view " << std::get<0>(o.view) << "x" << std::get<1>(o.view) << " after "
       << std::get<2>(o.view) << " calls, " << o.snapshots << " snapshots}";
}

class PrefetcherTest : public ::testing::Test {
protected:
  std::string Jpeg(const std::string& name, const TJpegKind& kind) { return WriteJpeg(dir / name, kind); }
  std::string Tagged(const std::string& name, const TJpegKind& kind, int orientation) {
    WriteBytes(dir / name, WithOrientation(MakeJpeg(kind), orientation));
    return dir / name;
  }

  // Opens previous and then path in a fresh model, the second through prefetched if given.
  TOutcome Open(const std::string& previous, const std::string& path, TTarget target, TPrefetcher* prefetched,
                TPixelImage* prepared = nullptr) {
    TCropModel model;
    TCountingView view;
    int snapshots = 0;
    model.openfile(previous, [] { return TTarget{176, 220, 0}; }, view);
    model.Shape1 = {-30, 12, 176, 220};
    const std::function<TTarget()> snapshot = [&] {
      ++snapshots;
      return target;
    };
    TOutcome outcome{};
    try {
      if (prefetched)
        model.openfile(path, snapshot, view, *prefetched);
      else
        model.openfile(path, snapshot, view);
    } catch (const qv::Exception& error) {
      outcome.error = error.what();
    }
    outcome.aspect = model.aspect;
    outcome.fitWidth = model.fitWidth;
    outcome.hasData = model.displayed.HasData();
    outcome.hasPixels = model.displayed.HasPixels();
    if (outcome.hasPixels)
      outcome.pixels = model.displayed.GetPixels();
    const qv::TFrame& f = model.Shape1;
    outcome.frame = {f.left, f.top, f.width, f.height};
    outcome.view = {view.DisplayWidth(), view.DisplayHeight(), view.calls};
    outcome.snapshots = snapshots;
    if (prepared)
      *prepared = model.preparedView;
    return outcome;
  }

  TTempDir dir;
};

} // namespace

TEST_F(PrefetcherTest, TakeHandsOutTheFileAsReadAndDecodedOnlyForItsPath) {
  TPrefetcher prefetcher(kNoSettling);
  const std::string a = Jpeg("a.jpg", {61, 47});
  const std::string b = Jpeg("b.jpg", {.width = 30, .height = 20, .components = 1});

  // Take waits for a read under way.
  prefetcher.Request(a);
  std::optional<qv::TPrefetchedFile> got = prefetcher.Take(a);
  ASSERT_TRUE(got);
  EXPECT_TRUE(got->file.HasData());
  EXPECT_FALSE(got->file.HasPixels());
  EXPECT_EQ(got->file.Data()->bytes, ReadBytes(a));
  EXPECT_EQ(got->file.Width(), 61);
  EXPECT_EQ(got->file.Height(), 47);
  EXPECT_EQ(Difference(Djpeg(a), got->picture), "");
  EXPECT_EQ(prefetcher.Hits(), 1);
  // Nothing waits after a Take.
  EXPECT_FALSE(prefetcher.Take(a));

  // Another path, a later request for another file, or another display depth give nothing.
  prefetcher.Request(a);
  EXPECT_FALSE(prefetcher.Take(b));
  EXPECT_FALSE(prefetcher.Take(a));
  prefetcher.Request(a);
  prefetcher.Wait();
  prefetcher.Request(b);
  prefetcher.Wait();
  EXPECT_FALSE(prefetcher.Take(a));
  prefetcher.Request(a);
  prefetcher.Wait();
  qv::SetDisplayColorDepth(8);
  EXPECT_FALSE(prefetcher.Take(a));
  qv::SetDisplayColorDepth(24);
  EXPECT_EQ(prefetcher.Hits(), 1);

  // The same file asked for twice is read once and still handed out.
  prefetcher.Request(b);
  prefetcher.Request(b);
  got = prefetcher.Take(b);
  ASSERT_TRUE(got);
  EXPECT_TRUE(got->file.Data()->grayscale);
  EXPECT_EQ(prefetcher.Hits(), 2);

  // A tagged photo is turned ahead as the setting of the request says, and is not taken by
  // an open whose setting changed since.
  const std::string tagged = dir / "tagged.jpg";
  WriteBytes(tagged, WithOrientation(ReadBytes(a), 8, true));
  for (bool orientByExif : {true, false}) {
    prefetcher.Request(tagged, orientByExif);
    prefetcher.Wait();
    EXPECT_FALSE(prefetcher.Take(tagged, !orientByExif));
    prefetcher.Request(tagged, orientByExif);
    got = prefetcher.Take(tagged, orientByExif);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->file.Data()->orientation, 8);
    EXPECT_EQ(Difference(orientByExif ? qv::Orient(Djpeg(tagged), 8) : Djpeg(tagged), got->picture), "")
        << orientByExif;
  }
  EXPECT_EQ(prefetcher.Hits(), 4);
}

TEST_F(PrefetcherTest, FileChangedSinceItsReadIsNotHandedOut) {
  const std::string path = dir / "photo.jpg";
  const Bytes original = MakeJpeg({48, 32});
  struct TChange {
    const char* what;
    std::function<void()> change;
  };
  const TChange changes[] = {
      {"other size", [&] { WriteBytes(path, MakeJpeg({50, 32})); }},
      {"same bytes, other modification time",
       [&] {
         struct stat info {};
         ASSERT_EQ(stat(path.c_str(), &info), 0);
         timespec times[2] = {info.st_atim, info.st_mtim};
         times[1].tv_sec -= 60;
         ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
       }},
      {"an identical copy with the same times put in its place",
       [&] {
         struct stat info {};
         ASSERT_EQ(stat(path.c_str(), &info), 0);
         const std::string copy = dir / "copy.jpg";
         WriteBytes(copy, original);
         const timespec times[2] = {info.st_atim, info.st_mtim};
         ASSERT_EQ(utimensat(AT_FDCWD, copy.c_str(), times, 0), 0);
         ASSERT_EQ(std::rename(copy.c_str(), path.c_str()), 0);
       }},
      {"removed", [&] { ASSERT_EQ(std::remove(path.c_str()), 0); }},
  };
  TPrefetcher prefetcher(kNoSettling);
  for (const TChange& c : changes) {
    SCOPED_TRACE(c.what);
    WriteBytes(path, original);
    prefetcher.Request(path);
    prefetcher.Wait();
    c.change();
    EXPECT_FALSE(prefetcher.Take(path));
  }
  EXPECT_EQ(prefetcher.Hits(), 0);

  // A file changed just before its read cannot be told from one changed just after.
  WriteBytes(path, original);
  prefetcher.SetSettleTime(std::chrono::hours(1));
  prefetcher.Request(path);
  EXPECT_FALSE(prefetcher.Take(path));
  prefetcher.SetSettleTime(kNoSettling);
  prefetcher.Request(path);
  EXPECT_TRUE(prefetcher.Take(path));
}

// With or without the file read ahead, openfile leaves the same state and raises the
// same error; a file the background could not read is read again in its turn.
TEST_F(PrefetcherTest, OpenfileLeavesTheSameStateAndErrorsWithPrefetch) {
  const std::string previous = Jpeg("previous.jpg", {300, 200});
  WriteBytes(dir / "empty.jpg", {});
  WriteBytes(dir / "text.jpg", {'h', 'e', 'l', 'l', 'o'});
  struct TCase {
    std::string path;
    TTarget target;
    std::string error;
    int hits; // whether the background's file was used
    int fittedHits = hits; // the same, when the background also fits the picture
  };
  const TCase cases[] = {
      {Jpeg("wide.jpg", {640, 480}), {320, 240, 0}, "", 1},
      {Jpeg("tall.jpg", {.width = 500, .height = 1000, .progressive = true}), {240, 320, 0}, "", 1},
      {Jpeg("gray.jpg", {.width = 90, .height = 70, .components = 1}), {176, 220, 0}, "", 1},
      {Jpeg("small.jpg", {100, 100}), {176, 220, 0}, "", 1},
      {dir / "missing.jpg", {120, 96, 0}, "Cannot open file \"" + dir / "missing.jpg" + "\". No such file or directory", 0},
      {dir / "empty.jpg", {120, 96, 0}, "Invalid floating point operation", 0},
      {dir / "text.jpg", {120, 96, 0}, "JPEG error #53", 0},
      // Read, then refused in the decode.
      {Jpeg("cmyk.jpg", {.width = 16, .height = 16, .components = 4}), {120, 96, 0}, "JPEG error #27", 0},
      // Decoded in the background, then refused by the resize (which, fitting there too,
      // leaves the file to be read in its turn).
      {Jpeg("line.jpg", {40, 1}), {120, 96, 0}, "Scan line index out of range", 1, 0},
      // Tagged, turned or not as the snapshot says.
      {Tagged("turned.jpg", {.width = 301, .height = 97, .progressive = true}, 6), {176, 220, 0, true}, "", 1},
      {Tagged("stored.jpg", {.width = 301, .height = 97}, 7), {176, 220, 0, false}, "", 1},
      {Tagged("mirrored.jpg", {.width = 97, .height = 301}, 2), {320, 240, 0, true}, "", 1},
      // Turned upright, one row becomes one column.
      {Tagged("column.jpg", {40, 1}, 8), {120, 96, 0, true}, "", 1},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.path);
    const TOutcome read = Open(previous, c.path, c.target, nullptr);
    EXPECT_EQ(read.error, c.error);
    TPrefetcher prefetcher(kNoSettling);
    prefetcher.Request(c.path, c.target.orientByExif);
    prefetcher.Wait();
    EXPECT_EQ(Open(previous, c.path, c.target, &prefetcher), read);
    EXPECT_EQ(prefetcher.Hits(), c.hits);
    // Asked for nothing, it reads as usual.
    EXPECT_EQ(Open(previous, c.path, c.target, &prefetcher), read);
    EXPECT_EQ(prefetcher.Hits(), c.hits);

    // Fitted in the background for a window whose screen has room for 60 x 60: the same
    // state, and the view the window shows, its longer side 60.
    TPrefetcher fitting(kNoSettling);
    fitting.Request(c.path, c.target.orientByExif, {c.target.width, c.target.height, {60, 60}, 1});
    fitting.Wait();
    TPixelImage prepared;
    EXPECT_EQ(Open(previous, c.path, c.target, &fitting, &prepared), read);
    EXPECT_EQ(fitting.Hits(), c.fittedHits);
    if (c.fittedHits > 0)
      EXPECT_EQ(std::max(prepared.Width(), prepared.Height()), 60);
    else
      EXPECT_EQ(prepared.Width(), 0);
    // Fitted to another size, it is taken but fitted again in the open.
    TPrefetcher other(kNoSettling);
    other.Request(c.path, c.target.orientByExif, {c.target.width + 1, c.target.height + 1, {60, 60}, 1});
    other.Wait();
    EXPECT_EQ(Open(previous, c.path, c.target, &other, &prepared), read);
    EXPECT_EQ(prepared.Width(), 0);
  }
}

// The filter travels with the request: a picture fitted with the one the open wants is
// shown as it is, one fitted with the other is made again from the file read ahead, and
// either way the open leaves what reading the file then leaves.
TEST_F(PrefetcherTest, PicturesFittedWithAnotherFilterAreMadeAgain) {
  const std::string previous = Jpeg("previous.jpg", {300, 200});
  const std::string wide = Jpeg("wide.jpg", {640, 480});
  const std::string turned = Tagged("turned.jpg", {.width = 301, .height = 97}, 6);
  for (const std::string& path : {wide, turned})
    for (const TResizeFilter wanted : {TResizeFilter::bilinear, TResizeFilter::lanczos3}) {
      SCOPED_TRACE(path + (wanted == TResizeFilter::lanczos3 ? " lanczos3" : " bilinear"));
      const TTarget target{176, 220, 0, true, wanted};
      const TOutcome read = Open(previous, path, target, nullptr);
      ASSERT_EQ(read.error, "");
      for (const TResizeFilter fitted : {TResizeFilter::bilinear, TResizeFilter::lanczos3}) {
        TPrefetcher prefetcher(kNoSettling);
        prefetcher.Request(path, true, {176, 220, {60, 60}, 1, fitted});
        prefetcher.Wait();
        TPixelImage prepared;
        EXPECT_EQ(Open(previous, path, target, &prefetcher, &prepared), read);
        EXPECT_EQ(prefetcher.Hits(), 1);
        EXPECT_EQ(prepared.Width() > 0, fitted == wanted);
      }
    }
  // The two filters do give different pictures here.
  EXPECT_NE(Open(previous, wide, {176, 220, 0, true, TResizeFilter::bilinear}, nullptr).pixels,
            Open(previous, wide, {176, 220, 0, true, TResizeFilter::lanczos3}, nullptr).pixels);
}

TEST_F(PrefetcherTest, CancelAndDestructionDropWhatWasAskedFor) {
  const std::string large = Jpeg("large.jpg", {3000, 2000});
  {
    TPrefetcher prefetcher(kNoSettling);
    prefetcher.Request(large);
    prefetcher.Wait();
    prefetcher.Cancel();
    EXPECT_FALSE(prefetcher.Take(large));
    // Cancelled while the read is under way: its result is dropped when it ends.
    prefetcher.Request(large);
    prefetcher.Cancel();
    EXPECT_FALSE(prefetcher.Take(large));
    prefetcher.Wait();
    EXPECT_FALSE(prefetcher.Take(large));
    EXPECT_EQ(prefetcher.Hits(), 0);
    // Still serves later requests.
    prefetcher.Request(large);
    EXPECT_TRUE(prefetcher.Take(large));
  }
  // Destroyed with a read under way, and with one waiting.
  const auto start = std::chrono::steady_clock::now();
  {
    TPrefetcher prefetcher(kNoSettling);
    prefetcher.Request(large);
  }
  {
    TPrefetcher prefetcher(kNoSettling);
    prefetcher.Request(large);
    prefetcher.Wait();
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}
