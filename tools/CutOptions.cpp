#include "CutOptions.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <string_view>

#include "job/JobState.h"

namespace qv {

const char kCutUsage[] =
    "usage: quarvelle-cut --size WxH [--offset N | --center] [--compression C]\n"
    "                     [--no-orient] [--filter F] [--display-ppm FILE] SOURCE OUTPUT\n"
    "       quarvelle-cut --size WxH [--size WxH ...] [--sizes all] [--offset N | --center]\n"
    "                     [--compression C] [--no-orient] [--filter F] [--prefix P]\n"
    "                     [--suffix S] [--no-resolution] [--no-translit] [--folder-per-size]\n"
    "                     [--jobs N] [--quiet] --output-dir DIR PHOTO...\n"
    "\n"
    "The first form fits the photo SOURCE to the target size W x H as the crop window\n"
    "does, cuts a W x H region out of the fitted picture and writes it to OUTPUT as a JPEG.\n"
    "\n"
    "Photos may be JPEG, PNG, WebP, HEIF, HEIC or AVIF files, told apart by their content,\n"
    "not their names. A photo's RGB colour profile is written into every file cut from it.\n"
    "\n"
    "Both forms first turn a photo upright as its EXIF orientation tag says, as the crop\n"
    "window does with \"Поворачивать по EXIF\" checked: a phone's portrait photo stored\n"
    "sideways is fitted, shown and cut standing. A HEIF file's own rotation, mirroring and\n"
    "crop take the place of the EXIF tag. The files written carry no EXIF block.\n"
    "\n"
    "The second form cuts every PHOTO at every size into the folder DIR, with the names and\n"
    "the bytes the windows would give them: each photo is read and decoded once for all its\n"
    "sizes, and the photos are shared out among worker threads. Paths the main window would\n"
    "not list are skipped with the reason.\n"
    "\n"
    "  --size WxH          target size in pixels, for example 176x220; the second form takes\n"
    "                      any number of them\n"
    "  --sizes all         the 28 sizes of the settings window, in its order\n"
    "  --offset N          frame position along the overhanging side: left N, top 0 when the\n"
    "                      picture fits the target height, left 0, top N when it fits the\n"
    "                      width (default 0; may be negative or run past the picture,\n"
    "                      black fills the cut)\n"
    "  --center            put the frame in the middle of the overhanging side\n"
    "  --compression C     JPEG compression 0..100, written at quality 100 - C (default 0)\n"
    "  --no-orient         keep every photo as stored, whatever its EXIF orientation or\n"
    "                      HEIF rotation says\n"
    "  --filter F          how the photo is brought to its fitted size: bilinear (default)\n"
    "                      blends the four source pixels nearest each pixel, as the crop\n"
    "                      window does unless told otherwise; lanczos3 is the high-quality\n"
    "                      reduction of \"Высокое качество уменьшения\": a Lanczos-3 filter\n"
    "                      widened with the reduction, without the moire and jagged edges\n"
    "                      fine detail gets when reduced several times\n"
    "  --display-ppm FILE  first form: also write the fitted picture as a binary PPM (P6, RGB)\n"
    "  --output-dir DIR    second form: the output folder, made when missing (one level)\n"
    "  --prefix P          put P and \"-\" in front of every name\n"
    "  --suffix S          put \"-\" and S after the photo's name\n"
    "  --no-resolution     leave out the \"-WxH\" at the end of the name\n"
    "  --no-translit       keep Cyrillic letters in the names as they are\n"
    "  --folder-per-size   write each size into a folder WxH inside DIR\n"
    "  --jobs N            photos cut at the same time (default: the number of cores)\n"
    "  --quiet             no progress line on the terminal\n"
    "  --version           show the version\n"
    "  --help              show this text\n"
    "\n"
    "The first form prints one line such as \"fit=width display=240x480 frame=0,100\", for\n"
    "the photo as turned: the display size is that of the fitted picture standing upright,\n"
    "and --display-ppm writes that picture.\n"
    "The second form names every photo it cannot cut, and why, on standard error, shows a\n"
    "progress line there when it is a terminal, and ends with the line \"N files written,\n"
    "M photos failed, K skipped\" on standard output. A name that two outputs would share\n"
    "is given to the earlier photo only.\n"
    "Exit status: 0 done, 1 a photo could not be cut or written, 2 wrong arguments,\n"
    "130 and 143 stopped by SIGINT (Ctrl+C) and SIGTERM, with no file left half-written.\n";

namespace {

std::optional<int32_t> ParseInt(std::string_view text) {
  int32_t value = 0;
  const char* end = text.data() + text.size();
  auto [next, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || next != end)
    return std::nullopt;
  return value;
}

TSize ParseSize(std::string_view text) {
  size_t x = text.find('x');
  if (x != std::string_view::npos && text.find_first_not_of("0123456789x") == std::string_view::npos) {
    std::optional<int32_t> width = ParseInt(text.substr(0, x));
    std::optional<int32_t> height = ParseInt(text.substr(x + 1));
    if (width && height && *width > 0 && *height > 0)
      return TSize{*width, *height};
  }
  throw TUsageError{"--size wants WxH with two positive whole numbers, not \"" + std::string(text) + "\""};
}

void AddSize(std::vector<TSize>& sizes, const TSize& size) {
  // A size named twice is still cut once: its outputs would share every name.
  if (std::find(sizes.begin(), sizes.end(), size) == sizes.end())
    sizes.push_back(size);
}

// Options without a value; batchOnly ones belong to the second form.
struct TFlag {
  const char* name;
  void (*set)(TCutOptions&);
  bool batchOnly;
};

const TFlag kFlags[] = {
    {"--center", [](TCutOptions& o) { o.cut.center = true; }, false},
    {"--no-orient", [](TCutOptions& o) { o.cut.orientByExif = false; }, false},
    {"--no-resolution", [](TCutOptions& o) { o.appendResolution = false; }, true},
    {"--no-translit", [](TCutOptions& o) { o.transliterate = false; }, true},
    {"--folder-per-size", [](TCutOptions& o) { o.folderPerSize = true; }, true},
    {"--quiet", [](TCutOptions& o) { o.quiet = true; }, true},
};

} // namespace

TCutOptions ParseCutArguments(const std::vector<std::string>& args) {
  TCutOptions options;
  bool haveOffset = false;
  TSize lastSize;
  // The options given that only the second form takes, to refuse them in the first.
  std::vector<std::string> batchOnly;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    if (arg.size() < 2 || arg.compare(0, 2, "--") != 0 || arg == "--") {
      if (arg == "--") {
        options.files.insert(options.files.end(), args.begin() + static_cast<ptrdiff_t>(i) + 1, args.end());
        break;
      }
      options.files.push_back(arg);
      continue;
    }
    std::string value;
    bool inlineValue = false;
    size_t equals = arg.find('=');
    if (equals != std::string::npos) {
      value = arg.substr(equals + 1);
      arg = arg.substr(0, equals);
      inlineValue = true;
    }
    auto takeValue = [&]() {
      if (inlineValue)
        return value;
      if (i + 1 >= args.size())
        throw TUsageError{arg + " needs a value"};
      return args[++i];
    };
    const TFlag* flag = std::find_if(std::begin(kFlags), std::end(kFlags), [&](const TFlag& f) { return arg == f.name; });
    if (flag != std::end(kFlags) && !inlineValue) {
      flag->set(options);
      if (flag->batchOnly)
        batchOnly.push_back(arg);
    } else if (arg == "--size") {
      lastSize = ParseSize(takeValue());
      AddSize(options.sizes, lastSize);
    } else if (arg == "--sizes") {
      std::string text = takeValue();
      if (text != "all")
        throw TUsageError{"--sizes knows only \"all\", not \"" + text + "\""};
      for (const char* resolution : kResolutionTexts) {
        const TResolution parsed = makeres(resolution);
        AddSize(options.sizes, TSize{parsed.width, parsed.height});
      }
      batchOnly.push_back(arg);
    } else if (arg == "--offset") {
      std::string text = takeValue();
      std::optional<int32_t> offset = ParseInt(text);
      if (!offset)
        throw TUsageError{"--offset wants a whole number, not \"" + text + "\""};
      options.cut.offset = *offset;
      haveOffset = true;
    } else if (arg == "--filter") {
      std::string text = takeValue();
      if (text == "bilinear")
        options.cut.filter = TResizeFilter::bilinear;
      else if (text == "lanczos3")
        options.cut.filter = TResizeFilter::lanczos3;
      else
        throw TUsageError{"--filter knows bilinear and lanczos3, not \"" + text + "\""};
    } else if (arg == "--compression") {
      std::string text = takeValue();
      std::optional<int32_t> compression = ParseInt(text);
      if (!compression || *compression < 0 || *compression > 100)
        throw TUsageError{"--compression wants a whole number from 0 to 100, not \"" + text + "\""};
      options.cut.compression = static_cast<uint8_t>(*compression);
    } else if (arg == "--display-ppm") {
      options.displayPpm = takeValue();
      if (options.displayPpm.empty())
        throw TUsageError{"--display-ppm needs a file name"};
    } else if (arg == "--output-dir") {
      options.outputDir = takeValue();
      if (options.outputDir.empty())
        throw TUsageError{"--output-dir needs a folder"};
      options.batch = true;
    } else if (arg == "--prefix") {
      options.prefix = takeValue();
      options.addPrefix = true;
      batchOnly.push_back(arg);
    } else if (arg == "--suffix") {
      options.suffix = takeValue();
      options.addSuffix = true;
      batchOnly.push_back(arg);
    } else if (arg == "--jobs") {
      std::string text = takeValue();
      std::optional<int32_t> jobs = ParseInt(text);
      if (!jobs || *jobs < 1 || *jobs > 256)
        throw TUsageError{"--jobs wants a whole number from 1 to 256, not \"" + text + "\""};
      options.jobs = *jobs;
      batchOnly.push_back(arg);
    } else {
      throw TUsageError{"unknown option " + args[i]};
    }
  }
  if (options.sizes.empty())
    throw TUsageError{options.batch ? "--size or --sizes all is required" : "--size is required"};
  if (haveOffset && options.cut.center)
    throw TUsageError{"--offset and --center exclude each other"};
  if (options.batch) {
    if (!options.displayPpm.empty())
      throw TUsageError{"--display-ppm is for one photo, not with --output-dir"};
    if (options.files.empty())
      throw TUsageError{"at least one PHOTO is required"};
    return options;
  }
  if (!batchOnly.empty())
    throw TUsageError{batchOnly.front() + " goes with --output-dir"};
  if (options.files.size() != 2)
    throw TUsageError{"SOURCE and OUTPUT are required, and nothing else"};
  // As it always has, the one-photo form takes the last size given.
  options.sizes = {lastSize};
  return options;
}

} // namespace qv
