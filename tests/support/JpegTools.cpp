#include "JpegTools.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>

#include "TempDir.h"

extern char** environ;

namespace qvtest {

pid_t Start(const std::vector<std::string>& args, const std::string& out, const std::string& err) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<char*> argv;
  for (const std::string& arg : args)
    argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int failed = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0)
    throw std::runtime_error("cannot start " + args[0] + ": " + std::strerror(failed));
  return pid;
}

TRun Wait(pid_t pid, const std::string& out, const std::string& err) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0)
    if (errno != EINTR)
      throw std::runtime_error("lost process " + std::to_string(pid));
  const Bytes o = ReadBytes(out), e = ReadBytes(err);
  return TRun{WIFEXITED(status) ? WEXITSTATUS(status) : -1, std::string(o.begin(), o.end()),
              std::string(e.begin(), e.end())};
}

TRun Run(const std::vector<std::string>& args) {
  TTempDir dir;
  const std::string out = dir / "out", err = dir / "err";
  return Wait(Start(args, out, err), out, err);
}

namespace {

// Status 2 is a warning, such as data that ends early; the picture is still written.
Bytes Output(const std::vector<std::string>& args) {
  TRun run = Run(args);
  if (run.status != 0 && run.status != 2)
    throw std::runtime_error(args[0] + " failed (" + std::to_string(run.status) + "): " + run.err);
  return Bytes(run.out.begin(), run.out.end());
}

// A binary PPM, red first, as cjpeg reads it.
Bytes Ppm(const qv::TPixelImage& image) {
  const std::string header = "P6\n" + std::to_string(image.Width()) + " " + std::to_string(image.Height()) + "\n255\n";
  Bytes bytes(header.begin(), header.end());
  for (int y = 0; y < image.Height(); ++y)
    for (int x = 0; x < image.Width(); ++x) {
      const qv::TBGR c = image.Pixel(x, y);
      bytes.insert(bytes.end(), {c.r, c.g, c.b});
    }
  return bytes;
}

} // namespace

qv::TPixelImage Djpeg(const std::string& jpeg, const std::vector<std::string>& switches) {
  std::vector<std::string> args = {QV_DJPEG, "-dct", "float"};
  args.insert(args.end(), switches.begin(), switches.end());
  args.push_back(jpeg);
  return FromPnm(Output(args));
}

Bytes Cjpeg(const qv::TPixelImage& image, int quality) {
  TTempDir dir;
  WriteBytes(dir / "in.ppm", Ppm(image));
  return Output({QV_CJPEG, "-dct", "float", "-quality", std::to_string(quality), "-baseline", dir / "in.ppm"});
}

qv::TPixelImage FromPnm(const Bytes& pnm) {
  std::istringstream in(std::string(pnm.begin(), pnm.end()));
  std::string magic;
  int width = 0, height = 0, maximum = 0;
  in >> magic >> width >> height >> maximum;
  const int channels = magic == "P6" ? 3 : magic == "P5" ? 1 : 0;
  const size_t start = static_cast<size_t>(in.tellg()) + 1; // one whitespace after the maximum
  if (!in || channels == 0 || maximum != 255 || pnm.size() - start != size_t(width) * size_t(height) * size_t(channels))
    throw std::runtime_error("not a binary 8-bit PNM");
  qv::TPixelImage image(width, height);
  const uint8_t* p = pnm.data() + start;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x, p += channels)
      image.SetPixel(x, y, channels == 3 ? qv::TBGR{p[2], p[1], p[0]} : qv::TBGR{p[0], p[0], p[0]});
  return image;
}

std::string Difference(const qv::TPixelImage& expected, const qv::TPixelImage& actual) {
  auto text = [](const qv::TBGR& c) {
    return std::to_string(c.b) + "/" + std::to_string(c.g) + "/" + std::to_string(c.r);
  };
  if (expected.Width() != actual.Width() || expected.Height() != actual.Height())
    return "size " + std::to_string(actual.Width()) + "x" + std::to_string(actual.Height()) + " instead of " +
           std::to_string(expected.Width()) + "x" + std::to_string(expected.Height());
  for (int y = 0; y < expected.Height(); ++y)
    for (int x = 0; x < expected.Width(); ++x)
      if (!(expected.Pixel(x, y) == actual.Pixel(x, y)))
        return "pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") is " + text(actual.Pixel(x, y)) +
               " instead of " + text(expected.Pixel(x, y)) + " (blue/green/red)";
  return "";
}

std::string Difference(const Bytes& expected, const Bytes& actual) {
  if (expected == actual)
    return "";
  const auto parting = std::mismatch(expected.begin(), expected.end(), actual.begin(), actual.end());
  const size_t at = static_cast<size_t>(parting.first - expected.begin());
  return "the files part at byte " + std::to_string(at) + " of " + std::to_string(actual.size()) + " instead of " +
         std::to_string(expected.size());
}

} // namespace qvtest
