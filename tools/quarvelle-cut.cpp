// quarvelle-cut: one photo to one wallpaper without a window, through the crop window's
// own fit, resize, cut and save.

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "imaging/CropModel.h"
#include "imaging/SafeWriter.h"
#include "job/Errors.h"

namespace {

const char kUsage[] =
    "usage: quarvelle-cut --size WxH [--offset N | --center] [--compression C]\n"
    "                     [--display-ppm FILE] SOURCE OUTPUT\n"
    "\n"
    "Fits the JPEG photo SOURCE to the target size W x H as the crop window does, cuts a\n"
    "W x H region out of the fitted picture and writes it to OUTPUT as a JPEG.\n"
    "\n"
    "  --size WxH          target size in pixels, for example 176x220\n"
    "  --offset N          frame position along the overhanging side: left N, top 0 when the\n"
    "                      picture fits the target height, left 0, top N when it fits the\n"
    "                      width (default 0; may be negative or run past the picture,\n"
    "                      black fills the cut)\n"
    "  --center            put the frame in the middle of the overhanging side\n"
    "  --compression C     JPEG compression 0..100, written at quality 100 - C (default 0)\n"
    "  --display-ppm FILE  also write the fitted picture as a binary PPM (P6, RGB)\n"
    "  --help              show this text\n"
    "\n"
    "On success prints one line such as \"fit=width display=240x480 frame=0,100\".\n"
    "Exit status: 0 done, 1 the photo could not be cut or written, 2 wrong arguments.\n";

struct TOptions {
  qv::TTarget target;
  int32_t offset = 0;
  bool center = false;
  std::string displayPpm;
  std::string source;
  std::string output;
};

struct TUsageError {
  std::string reason;
};

std::optional<int32_t> ParseInt(std::string_view text) {
  int32_t value = 0;
  const char* end = text.data() + text.size();
  auto [next, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || next != end)
    return std::nullopt;
  return value;
}

qv::TTarget ParseSize(std::string_view text) {
  size_t x = text.find('x');
  if (x != std::string_view::npos && text.find_first_not_of("0123456789x") == std::string_view::npos) {
    std::optional<int32_t> width = ParseInt(text.substr(0, x));
    std::optional<int32_t> height = ParseInt(text.substr(x + 1));
    if (width && height && *width > 0 && *height > 0)
      return qv::TTarget{*width, *height, 0};
  }
  throw TUsageError{"--size wants WxH with two positive whole numbers, not \"" + std::string(text) + "\""};
}

TOptions ParseArguments(const std::vector<std::string>& args) {
  TOptions options;
  bool haveSize = false;
  bool haveOffset = false;
  std::vector<std::string> files;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    if (arg.size() < 2 || arg.compare(0, 2, "--") != 0 || arg == "--") {
      if (arg == "--") {
        files.insert(files.end(), args.begin() + static_cast<ptrdiff_t>(i) + 1, args.end());
        break;
      }
      files.push_back(arg);
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
    if (arg == "--size") {
      options.target = ParseSize(takeValue());
      haveSize = true;
    } else if (arg == "--offset") {
      std::string text = takeValue();
      std::optional<int32_t> offset = ParseInt(text);
      if (!offset)
        throw TUsageError{"--offset wants a whole number, not \"" + text + "\""};
      options.offset = *offset;
      haveOffset = true;
    } else if (arg == "--center" && !inlineValue) {
      options.center = true;
    } else if (arg == "--compression") {
      std::string text = takeValue();
      std::optional<int32_t> compression = ParseInt(text);
      if (!compression || *compression < 0 || *compression > 100)
        throw TUsageError{"--compression wants a whole number from 0 to 100, not \"" + text + "\""};
      options.target.compression = static_cast<uint8_t>(*compression);
    } else if (arg == "--display-ppm") {
      options.displayPpm = takeValue();
      if (options.displayPpm.empty())
        throw TUsageError{"--display-ppm needs a file name"};
    } else {
      throw TUsageError{"unknown option " + args[i]};
    }
  }
  if (!haveSize)
    throw TUsageError{"--size is required"};
  if (haveOffset && options.center)
    throw TUsageError{"--offset and --center exclude each other"};
  if (files.size() != 2)
    throw TUsageError{"SOURCE and OUTPUT are required, and nothing else"};
  options.source = files[0];
  options.output = files[1];
  return options;
}

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

int Cut(const TOptions& options) {
  qv::TCropModel model;
  qv::TPlainCropView view;
  model.openfile(options.source, [&] { return options.target; }, view);
  const int64_t display = model.fitWidth ? view.DisplayHeight() : view.DisplayWidth();
  const int64_t target = model.fitWidth ? options.target.height : options.target.width;
  const int32_t n = options.center ? static_cast<int32_t>((display - target) / 2) : options.offset;
  model.Shape1.left = model.fitWidth ? 0 : n;
  model.Shape1.top = model.fitWidth ? n : 0;
  if (!options.displayPpm.empty())
    WritePpm(options.displayPpm, model.displayed.GetPixels());
  model.Savefile(options.output, options.target);
  std::printf("fit=%s display=%dx%d frame=%d,%d\n", model.fitWidth ? "width" : "height", view.DisplayWidth(),
              view.DisplayHeight(), model.Shape1.left, model.Shape1.top);
  return std::fflush(stdout) == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  for (const std::string& arg : args) {
    if (arg == "--")
      break;
    if (arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
  }
  TOptions options;
  try {
    options = ParseArguments(args);
  } catch (const TUsageError& error) {
    std::fprintf(stderr, "quarvelle-cut: %s\n%s", error.reason.c_str(), kUsage);
    return 2;
  }
  try {
    return Cut(options);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "%s\n", qv::EOutOfMemory().what());
  } catch (const std::exception& error) {
    // The error box's text without the full stop it appends.
    std::fprintf(stderr, "%s\n", error.what());
  }
  return 1;
}
