// The batch form of the built quarvelle-cut, against one-photo runs of the same program for
// the bytes and against names worked out by hand from the window's naming rules.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <map>
#include <pty.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "support/FormatFiles.h"
#include "support/JpegTools.h"
#include "support/TempDir.h"

using namespace qvtest;
namespace fs = std::filesystem;

namespace {

class Batch : public ::testing::Test {
protected:
  TRun Cut(std::vector<std::string> args) {
    args.insert(args.begin(), QV_CUT_PROGRAM);
    return qvtest::Run(args);
  }
  std::string Photo(const std::string& name, int w, int h, TJpegKind kind = {}) {
    fs::create_directories(fs::path(dir / name).parent_path());
    kind.width = w;
    kind.height = h;
    return WriteJpeg(dir / name, kind);
  }
  std::string Tagged(const std::string& name, int w, int h, int orientation) {
    WriteBytes(dir / name, WithOrientation(MakeJpeg({w, h}), orientation));
    return dir / name;
  }
  // What the one-photo form writes for photo at size with the frame arguments.
  Bytes OnePhoto(const std::string& photo, const std::string& size, const std::vector<std::string>& frame) {
    std::vector<std::string> args = {"--size", size};
    args.insert(args.end(), frame.begin(), frame.end());
    args.insert(args.end(), {photo, dir / "one.jpg"});
    const TRun run = Cut(args);
    EXPECT_EQ(run.status, 0) << run.err;
    return ReadBytes(dir / "one.jpg");
  }
  // Every file below folder, as paths relative to it, sorted.
  static std::vector<std::string> Files(const std::string& folder) {
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
      if (entry.is_regular_file())
        files.push_back(fs::relative(entry.path(), folder).string());
    std::sort(files.begin(), files.end());
    return files;
  }

  TTempDir dir;
};

} // namespace

// Every photo at every size, both fit axes, both frame placements, turned by its EXIF tag or
// not, several workers: the bytes of the one-photo runs.
TEST_F(Batch, WritesWhatOnePhotoRunsWrite) {
  TJpegKind gray;
  gray.components = 1;
  TJpegKind progressive;
  progressive.progressive = true;
  const std::map<std::string, std::string> photos = {
      {"wide", Photo("wide.jpg", 400, 300)},
      {"tall", Photo("tall.jpg", 200, 410)},
      {"gray", Photo("gray.jpg", 333, 250, gray)},
      {"small", Photo("small.jpg", 90, 60, progressive)},
      // A phone's portrait photo stored sideways: turned, the same decode gives every size.
      {"phone", Tagged("phone.jpg", 401, 300, 6)},
  };
  // 176x220 fits the wide photo to its height and the tall one to its width; 320x240 is the
  // wide photo's own shape, fitted to the width.
  const std::vector<std::string> sizes = {"176x220", "320x240", "96x65", "1080x2400"};
  struct Case {
    std::vector<std::string> frame;
    std::string jobs;
  };
  const Case cases[] = {
      {{"--center"}, "1"},
      {{"--center", "--compression", "30"}, "4"},
      {{"--offset", "7"}, "4"},
      {{"--offset", "-5"}, "2"},
      {{"--offset", "250"}, "3"},
      {{"--no-orient", "--center"}, "2"},
      {{"--center", "--filter", "lanczos3"}, "2"},
      {{"--offset", "250", "--filter=lanczos3"}, "3"},
      {{"--no-orient", "--offset", "-5", "--filter", "lanczos3"}, "1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.frame) + " --jobs " + c.jobs);
    std::string name = "out" + c.jobs;
    for (const std::string& arg : c.frame)
      name += arg;
    const std::string out = dir / name;
    std::vector<std::string> args = c.frame;
    for (const std::string& size : sizes)
      args.insert(args.end(), {"--size", size});
    args.insert(args.end(), {"--jobs", c.jobs, "--output-dir", out});
    for (const auto& [name, path] : photos)
      args.push_back(path);
    const TRun run = Cut(args);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "20 files written, 0 photos failed, 0 skipped\n");
    EXPECT_EQ(run.err, "");
    for (const auto& [name, path] : photos)
      for (const std::string& size : sizes)
        EXPECT_EQ(ReadBytes(out + "/" + name + "-" + size + ".JPG"), OnePhoto(path, size, c.frame)) << name << " " << size;
  }
}

// Photos of the other formats are listed, named without their ending and cut as the one-photo
// form cuts them, a HEIF turned by its own rotation unless --no-orient, its profile kept.
TEST_F(Batch, TakesTheOtherFormatsAsTheOnePhotoFormDoes) {
  const qv::TPixelImage picture = MakeImage(90, 60, Pattern);
  THeifKind turned;
  turned.heifOrientation = 6;
  turned.profile = MakeProfile("RGB ", 7);
  WriteBytes(dir / "IMG_0042.HEIC", MakeHeif(picture, turned));
  TPngKind png;
  png.width = 3;
  png.height = 2;
  png.samples = {0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120, 130, 140, 150, 160, 170};
  WriteBytes(dir / "shot.Png", MakePng(png));
  WriteBytes(dir / "web.webp", MakeWebP(picture, true));
  for (const std::vector<std::string>& frame : {std::vector<std::string>{"--center"}, {"--no-orient", "--offset", "3"}}) {
    SCOPED_TRACE(testing::PrintToString(frame));
    const std::string out = dir / ("out" + std::to_string(frame.size()));
    std::vector<std::string> args = frame;
    args.insert(args.end(), {"--size", "32x32", "--size", "176x220", "--output-dir", out, dir / "IMG_0042.HEIC",
                             dir / "shot.Png", dir / "web.webp"});
    const TRun run = Cut(args);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "6 files written, 0 photos failed, 0 skipped\n");
    for (const auto& [name, photo] : {std::pair{"IMG_0042", "IMG_0042.HEIC"}, {"shot", "shot.Png"}, {"web", "web.webp"}})
      for (const std::string size : {"32x32", "176x220"})
        EXPECT_EQ(ReadBytes(out + "/" + name + "-" + size + ".JPG"), OnePhoto(dir / photo, size, frame)) << name << " " << size;
    EXPECT_EQ(JpegProfile(ReadBytes(out + "/IMG_0042-32x32.JPG")), turned.profile);
  }
}

// The names the main window gives with the same settings, worked out by hand from its rules:
// the photo's name without its last four characters, prefix and "-", "-" and suffix, "-WxH",
// Cyrillic letters transliterated, ".JPG", and a folder WxH after the output folder.
TEST_F(Batch, NamesTheFilesAsTheWindowDoes) {
  const std::string photo = Photo("Фото.jpg", 48, 36);
  const std::string winter = Photo("Зима ёлки.jpeg", 36, 48);
  const std::string bare = Photo("p/jpg", 40, 40);
  struct Case {
    std::vector<std::string> options;
    std::vector<std::string> files;
  };
  const Case cases[] = {
      {{}, {"-32x32.JPG", "-69x65.JPG", "Foto-32x32.JPG", "Foto-69x65.JPG", "Zima yolki.-32x32.JPG",
            "Zima yolki.-69x65.JPG"}},
      {{"--no-translit"}, {"-32x32.JPG", "-69x65.JPG", "Зима ёлки.-32x32.JPG", "Зима ёлки.-69x65.JPG",
                           "Фото-32x32.JPG", "Фото-69x65.JPG"}},
      {{"--prefix", "wall", "--suffix", "hd", "--folder-per-size"},
       {"32x32/wall--hd-32x32.JPG", "32x32/wall-Foto-hd-32x32.JPG", "32x32/wall-Zima yolki.-hd-32x32.JPG",
        "69x65/wall--hd-69x65.JPG", "69x65/wall-Foto-hd-69x65.JPG", "69x65/wall-Zima yolki.-hd-69x65.JPG"}},
      {{"--prefix", "", "--suffix", "", "--no-resolution", "--folder-per-size"},
       {"32x32/--.JPG", "32x32/-Foto-.JPG", "32x32/-Zima yolki.-.JPG", "69x65/--.JPG", "69x65/-Foto-.JPG",
        "69x65/-Zima yolki.-.JPG"}},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.options));
    const std::string out = dir / ("names" + std::to_string(n++));
    std::vector<std::string> args = c.options;
    args.insert(args.end(), {"--size", "32x32", "--size", "69x65", "--output-dir", out, photo, winter, bare});
    const TRun run = Cut(args);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "6 files written, 0 photos failed, 0 skipped\n");
    EXPECT_EQ(Files(out), c.files);
  }
  // The 28 sizes of the settings window, in its order, each once, with a size of its own.
  const TRun all = Cut({"--sizes", "all", "--size", "176x220", "--size", "1170x2532", "--no-resolution",
                        "--folder-per-size", "--output-dir", dir / "all", photo});
  EXPECT_EQ(all.out, "29 files written, 0 photos failed, 0 skipped\n");
  std::vector<std::string> folders;
  for (const std::string& file : Files(dir / "all"))
    folders.push_back(file.substr(0, file.find('/')));
  EXPECT_EQ(folders, (std::vector<std::string>{
                         "100x100", "101x65",  "101x67",  "101x80",  "1170x2532", "120x160", "120x96",  "128x115",
                         "128x128", "128x130", "128x144", "128x160", "128x96",    "130x130", "132x176", "174x132",
                         "176x178", "176x192", "176x208", "176x220", "208x144",   "208x208", "208x320", "220x176",
                         "240x320", "320x240", "32x32",   "69x65",   "96x65"}));
}

// Each photo that cannot be cut is named with its error, each path the window would not
// list with the reason, and the rest are cut; a folder that cannot take files stops the
// batch before any photo is read.
TEST_F(Batch, ReportsFailuresAndSkipsAndGoesOn) {
  const std::string good = Photo("good.jpg", 60, 40), other = Photo("other.jpg", 40, 60);
  // Fitted to the height of 10x1, a picture one row high, which the resize refuses.
  const std::string strip = Photo("strip.jpg", 400, 8);
  WriteBytes(dir / "text.jpg", {'t', 'e', 'x', 't'});
  WriteBytes(dir / "empty.jpg", {});
  WriteBytes(dir / "notes.txt", MakeJpeg({8, 8}));
  const std::string out = dir / "out";
  const TRun run = Cut({"--size", "32x32", "--size", "10x1", "--output-dir", out, good, dir / "text.jpg",
                        dir / "missing.jpg", strip, dir / "notes.txt", good, dir / "empty.jpg", other});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, dir / "missing.jpg: skipped: not a file that can be opened for reading.\n" + dir /
                         "notes.txt: skipped: the name does not end in jpg, jpeg, JPG, JPEG, Jpg, Jpeg, JPg or JPeg, "
                         "nor in .heic, .heif, .hif, .avif, .png or .webp.\n" +
                         good + ": skipped: listed already.\n" + dir / "text.jpg: JPEG error #53.\n" + strip +
                         " (10x1): Scan line index out of range.\n" + dir /
                         "empty.jpg: Invalid floating point operation.\n");
  EXPECT_EQ(run.out, "5 files written, 3 photos failed, 3 skipped\n");
  EXPECT_EQ(Files(out), (std::vector<std::string>{"good-10x1.JPG", "good-32x32.JPG", "other-10x1.JPG",
                                                  "other-32x32.JPG", "strip-32x32.JPG"}));

  WriteBytes(dir / "file", {'x'});
  const TRun blocked = Cut({"--size", "32x32", "--output-dir", dir / "file/out", good});
  EXPECT_EQ(blocked.status, 1);
  EXPECT_EQ(blocked.err, "Cannot write to folder \"" + dir / "file/out" + "\". Not a directory.\n");
  EXPECT_EQ(blocked.out, "0 files written, 0 photos failed, 0 skipped\n");
}

// Two outputs never land on one file: the earlier photo in the list keeps the name whatever
// the workers' order, a file from before the batch is replaced, and no photo is written over.
TEST_F(Batch, RepeatedNamesGoToTheEarlierPhoto) {
  const std::string first = Photo("a/x.jpg", 60, 40), second = Photo("b/x.jpg", 40, 60);
  const std::string out = dir / "out";
  fs::create_directory(out);
  WriteBytes(out + "/x-32x32.JPG", {'o', 'l', 'd'});
  for (const std::string jobs : {"1", "4"}) {
    const TRun run = Cut({"--size", "32x32", "--size", "69x65", "--jobs", jobs, "--output-dir", out, first, second});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, second + " (32x32): \"" + out + "/x-32x32.JPG\" is already the output of " + first +
                           " at 32x32.\n" + second + " (69x65): \"" + out + "/x-69x65.JPG\" is already the output of " +
                           first + " at 69x65.\n");
    EXPECT_EQ(run.out, "2 files written, 1 photos failed, 0 skipped\n");
    EXPECT_EQ(ReadBytes(out + "/x-32x32.JPG"), OnePhoto(first, "32x32", {}));
  }

  // Without the size in the name every size of a photo has the same name; and a name that
  // is a photo's own file leaves the photo as it was.
  const Bytes photo = MakeJpeg({50, 50});
  WriteBytes(dir / "p.JPG", photo);
  const TRun same = Cut({"--size", "32x32", "--size", "69x65", "--no-resolution", "--output-dir", dir / "", first,
                         dir / "p.JPG"});
  EXPECT_EQ(same.status, 1);
  EXPECT_EQ(same.err, first + " (69x65): \"" + dir / "x.JPG\" is already the output of " + first + " at 32x32.\n" +
                          dir / "p.JPG (32x32): \"" + dir / "p.JPG\" is one of the photos and is not replaced.\n" +
                          dir / "p.JPG (69x65): \"" + dir / "p.JPG\" is one of the photos and is not replaced.\n");
  EXPECT_EQ(same.out, "1 files written, 2 photos failed, 0 skipped\n");
  EXPECT_EQ(ReadBytes(dir / "p.JPG"), photo);
  EXPECT_EQ(ReadBytes(dir / "x.JPG"), OnePhoto(first, "32x32", {}));
}

// Stopped half way by a signal: the status of the signal, no temporary file, and every file
// written whole, the bytes of its one-photo run.
TEST_F(Batch, StopsOnASignalLeavingOnlyWholeFiles) {
  std::vector<std::string> photos;
  for (int i = 0; i < 16; ++i)
    photos.push_back(Photo(std::to_string(i) + ".jpg", 1600, 1200 + i));
  struct Case {
    int signal, status;
  };
  for (const Case c : {Case{SIGINT, 130}, Case{SIGTERM, 143}}) {
    SCOPED_TRACE(strsignal(c.signal));
    const std::string out = dir / ("stopped" + std::to_string(c.signal));
    std::vector<std::string> args = {"--size", "1080x2400", "--size", "1170x2532", "--jobs", "2", "--output-dir", out};
    args.insert(args.end(), photos.begin(), photos.end());
    args.insert(args.begin(), QV_CUT_PROGRAM);
    const pid_t pid = Start(args, dir / "stdout", dir / "stderr");
    // As soon as the first file is there, whatever the machine's speed.
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (std::chrono::steady_clock::now() < give_up &&
           (!fs::exists(out) || std::none_of(fs::directory_iterator(out), fs::directory_iterator(), [](const auto& e) {
              return e.path().extension() == ".JPG";
            })))
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    kill(pid, c.signal);
    const TRun run = Wait(pid, dir / "stdout", dir / "stderr");
    EXPECT_EQ(run.status, c.status) << run.err;
    const std::vector<std::string> files = Files(out);
    EXPECT_LT(files.size(), 32u);
    EXPECT_EQ(run.out, std::to_string(files.size()) + " files written, 0 photos failed, 0 skipped\n");
    for (const std::string& file : files) {
      // "N-WxH.JPG"
      ASSERT_EQ(file.substr(file.size() - 4), ".JPG") << file;
      const size_t dash = file.find('-');
      const std::string size = file.substr(dash + 1, file.size() - 4 - dash - 1);
      EXPECT_EQ(ReadBytes(out + "/" + file), OnePhoto(dir / (file.substr(0, dash) + ".jpg"), size, {})) << file;
    }
  }
}

// The progress line is shown on a terminal only, and not with --quiet.
TEST_F(Batch, ShowsProgressOnATerminalOnly) {
  const std::string photo = Photo("photo.jpg", 300, 200);
  for (const bool quiet : {false, true}) {
    std::vector<std::string> args = {QV_CUT_PROGRAM, "--size", "176x220", "--output-dir", dir / "out", photo};
    if (quiet)
      args.push_back("--quiet");
    std::vector<char*> argv;
    for (std::string& arg : args)
      argv.push_back(arg.data());
    argv.push_back(nullptr);
    int terminal = -1;
    const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      execv(argv[0], argv.data());
      _exit(127);
    }
    std::string seen;
    char buffer[4096];
    for (ssize_t got; (got = read(terminal, buffer, sizeof buffer)) > 0;)
      seen.append(buffer, static_cast<size_t>(got));
    close(terminal);
    int raw = 0;
    waitpid(pid, &raw, 0);
    EXPECT_EQ(WEXITSTATUS(raw), 0);
    EXPECT_EQ(seen.find("photos 1 of 1, 1 files written, 0:0") != std::string::npos, !quiet) << seen;
    EXPECT_NE(seen.find("1 files written, 0 photos failed, 0 skipped"), std::string::npos) << seen;
  }
}

TEST_F(Batch, WrongArgumentsShowTheUsage) {
  const std::string photo = Photo("photo.jpg", 30, 20);
  const std::vector<std::vector<std::string>> wrong = {
      {"--output-dir", dir / "out", photo},
      {"--size", "32x32", "--output-dir", dir / "out"},
      {"--sizes", "some", "--output-dir", dir / "out", photo},
      {"--size", "32x32", "--jobs", "0", "--output-dir", dir / "out", photo},
      {"--size", "32x32", "--display-ppm", dir / "d.ppm", "--output-dir", dir / "out", photo},
      {"--size", "32x32", "--center", "--offset", "3", "--output-dir", dir / "out", photo},
      {"--size", "32x32", "--prefix", "p", photo, dir / "o.jpg"},
      {"--sizes", "all", photo, dir / "o.jpg"},
      {"--size", "32x32", "--quiet=yes", "--output-dir", dir / "out", photo},
  };
  for (const auto& args : wrong) {
    const TRun run = Cut(args);
    EXPECT_EQ(run.status, 2) << testing::PrintToString(args);
    EXPECT_NE(run.err.find("usage: quarvelle-cut --size WxH"), std::string::npos);
    EXPECT_EQ(run.out, "");
  }
  EXPECT_FALSE(fs::exists(dir / "out"));
  const TRun help = Cut({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("SOURCE OUTPUT\n"), std::string::npos);
  EXPECT_NE(help.out.find("--output-dir DIR PHOTO...\n"), std::string::npos);
  const TRun version = Cut({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "quarvelle-cut " QV_VERSION "\n");
}
