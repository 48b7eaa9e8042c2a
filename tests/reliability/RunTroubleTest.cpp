// A whole job through the run driver and the real pipeline while its files and folders
// go wrong: sources that vanish or change after they were listed, output folders that are
// missing, read-only or full, and names that are not plain text.

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include "RealSurroundings.h"
#include "support/Photos.h"
#include "support/TempDir.h"
#include "imaging/SafeWriter.h"

using namespace qvrel;
using namespace qvtest;
namespace fs = std::filesystem;

namespace {

std::pair<int32_t, int32_t> SizeOf(const std::string& path) {
  qv::TJPEGImage image;
  image.ReadJpegFile(path);
  image.GetPixels();
  return {image.Width(), image.Height()};
}

// The calls of safe writing with a disk that fills up after a few short writes.
class TFillingDisk : public qv::ISafeFileSystem {
public:
  int CreateTemporary(const std::string& target, std::string& temp) override {
    return real.CreateTemporary(target, temp);
  }
  ssize_t Write(int fd, const uint8_t* data, size_t size) override {
    if (writesLeft-- > 0)
      return real.Write(fd, data, std::min<size_t>(size, 100));
    errno = ENOSPC;
    return -1;
  }
  int Close(int fd) override { return real.Close(fd); }
  int Rename(const std::string& from, const std::string& to) override { return real.Rename(from, to); }
  void Remove(const std::string& path) override { real.Remove(path); }

  qv::ISafeFileSystem& real = qv::PosixFileSystem();
  int writesLeft = 3;
};

class RunTrouble : public ::testing::Test {
protected:
  std::string Photo(const std::string& name, int w, int h) {
    WriteBytes(dir / name, MakeJpeg({.width = w, .height = h}));
    return dir / name;
  }
  // An output folder inside the test's folder, with the separator the main window appends.
  std::string Output(const std::string& name) {
    fs::create_directory(dir / name);
    return dir / name + "/";
  }

  TTempDir dir;
};

} // namespace

TEST_F(RunTrouble, SourcesChangedAfterListingAreSkippedWithTheirError) {
  TRealSurroundings run(Output("out"));
  run.CheckResolutions({"176x220"});
  const std::string names[] = {"a.jpg", "gone.jpg", "text.jpg", "folder.jpg", "swapped.jpg", "pipe.jpg", "z.jpg"};
  for (const std::string& name : names)
    run.list.addfile(Photo(name, 60, 40));
  ASSERT_EQ(run.list.Count(), 7);

  fs::remove(dir / "gone.jpg");
  WriteBytes(dir / "text.jpg", {'h', 'e', 'l', 'l', 'o'});
  fs::remove(dir / "folder.jpg");
  fs::create_directory(dir / "folder.jpg");
  Photo("swapped.jpg", 40, 80); // another photo under the same name: that one is cut
  fs::remove(dir / "pipe.jpg");
  ASSERT_EQ(::mkfifo((dir / "pipe.jpg").c_str(), 0644), 0);

  run.RunToTheEnd();
  EXPECT_EQ(run.errorBox, (std::vector<std::string>{
                              "Cannot open file \"" + dir / "gone.jpg" + "\". No such file or directory.",
                              "JPEG error #53.",
                              "Cannot open file \"" + dir / "folder.jpg" + "\". Is a directory.",
                              "Invalid floating point operation.",
                          }));
  EXPECT_EQ(run.saved, (std::vector<std::string>{run.outputFolder + "a-176x220.JPG",
                                                 run.outputFolder + "swapped-176x220.JPG",
                                                 run.outputFolder + "z-176x220.JPG"}));
  for (const std::string& path : run.saved)
    EXPECT_EQ(SizeOf(path), std::pair(176, 220)) << path;
  EXPECT_EQ(dir.Everything().count("out/gone-176x220.JPG"), 0u);
  // The job ended as ever: window hidden, list empty.
  EXPECT_FALSE(run.visible);
  EXPECT_EQ(run.list.Count(), 0);
}

TEST_F(RunTrouble, AnUnreadableSourceIsSkipped) {
  TRealSurroundings run(Output("out"));
  run.CheckResolutions({"176x220"});
  run.list.addfile(Photo("locked.jpg", 60, 40));
  run.list.addfile(Photo("b.jpg", 60, 40));
  ::chmod((dir / "locked.jpg").c_str(), 0);
  if (::access((dir / "locked.jpg").c_str(), R_OK) == 0)
    GTEST_SKIP() << "this user reads files without read permission";
  run.RunToTheEnd();
  EXPECT_EQ(run.errorBox,
            std::vector<std::string>{"Cannot open file \"" + dir / "locked.jpg" + "\". Permission denied."});
  EXPECT_EQ(run.saved, std::vector<std::string>{run.outputFolder + "b-176x220.JPG"});
}

TEST_F(RunTrouble, AMissingOutputFolderFailsTheSaveAndTheSameFileStays) {
  TRealSurroundings run(dir / "none/");
  run.CheckResolutions({"176x220"});
  run.settings.folderPerResolutionBox = true;
  run.list.addfile(Photo("a.jpg", 60, 40));
  run.Start();
  run.Confirm();
  EXPECT_EQ(run.errorBox, std::vector<std::string>{"Cannot create file \"" + dir / "none//176x220/a-176x220.JPG" +
                                                   "\". No such file or directory."});
  EXPECT_TRUE(run.visible);
  EXPECT_EQ(run.driver.fileIndex(), 0);
  // The user makes the folder and presses again: the same file is saved.
  fs::create_directory(dir / "none");
  run.Confirm();
  EXPECT_EQ(SizeOf(dir / "none/176x220/a-176x220.JPG"), std::pair(176, 220));
  EXPECT_FALSE(run.visible);
}

TEST_F(RunTrouble, AReadOnlyOutputFolderFailsTheSave) {
  const std::string out = Output("out");
  WriteBytes(out + "a-176x220.JPG", {'o', 'l', 'd'});
  ::chmod(dir.path().c_str(), 0755);
  ::chmod((dir / "out").c_str(), 0555);
  if (::access((dir / "out").c_str(), W_OK) == 0)
    GTEST_SKIP() << "this user writes into read-only folders";
  TRealSurroundings run(out);
  run.CheckResolutions({"176x220"});
  run.list.addfile(Photo("a.jpg", 60, 40));
  run.Start();
  run.Confirm();
  EXPECT_EQ(run.errorBox,
            std::vector<std::string>{"Cannot create file \"" + out + "a-176x220.JPG\". Permission denied."});
  EXPECT_EQ(ReadBytes(out + "a-176x220.JPG"), (Bytes{'o', 'l', 'd'}));
}

TEST_F(RunTrouble, AShortWriteOnAFullDiskKeepsTheEarlierFile) {
  const std::string out = Output("out");
  const Bytes earlier = {'o', 'l', 'd'};
  WriteBytes(out + "a.JPG", earlier);
  TRealSurroundings run(out);
  run.CheckResolutions({"176x220"});
  run.list.addfile(Photo("a.jpg", 60, 40));
  run.Start();
  TFillingDisk disk;
  try {
    run.model.Savefile(out + "a.JPG", {176, 220, 0}, disk);
    ADD_FAILURE() << "saved on a full disk";
  } catch (const qv::Exception& error) {
    EXPECT_EQ(qv::ErrorBoxText(error.what()), "Stream write error.");
  }
  EXPECT_EQ(ReadBytes(out + "a.JPG"), earlier);
  EXPECT_EQ(dir.Everything(), (std::set<std::string>{"a.jpg", "out", "out/a.JPG"}));
  // Room again: the same cut is written whole.
  run.model.Savefile(out + "a.JPG", {176, 220, 0});
  EXPECT_EQ(SizeOf(out + "a.JPG"), std::pair(176, 220));
}

TEST_F(RunTrouble, ARealFullDiskKeepsTheEarlierFile) {
  const std::string disk = dir / "disk";
  fs::create_directory(disk);
  if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=256k") != 0)
    GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
  struct TUnmount {
    std::string path;
    ~TUnmount() {
      if (::umount(path.c_str()) != 0)
        ::umount2(path.c_str(), MNT_DETACH);
    }
  } unmount{disk};

  TRealSurroundings run(disk + "/");
  run.CheckResolutions({"176x220"});
  // A picture that encodes to far more than a few kilobytes.
  WriteBytes(dir / "noise.jpg", MakeJpeg({.width = 400, .height = 400, .quality = 100}));
  run.list.addfile(dir / "noise.jpg");
  run.settings.sliderPosition = 0;
  const Bytes earlier(2000, 'o');
  WriteBytes(disk + "/noise-176x220.JPG", earlier);
  // Fill what is left.
  {
    const int fd = ::open((disk + "/filler").c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    const std::vector<uint8_t> block(4096, 0xAA);
    while (::write(fd, block.data(), block.size()) > 0) {
    }
    ::close(fd);
  }
  fs::resize_file(disk + "/filler", fs::file_size(disk + "/filler") - 4096);
  run.Start();
  run.Confirm();
  EXPECT_EQ(run.errorBox, std::vector<std::string>{"Stream write error."});
  EXPECT_EQ(ReadBytes(disk + "/noise-176x220.JPG"), earlier);
  std::set<std::string> left;
  for (const auto& entry : fs::directory_iterator(disk))
    left.insert(entry.path().filename().string());
  EXPECT_EQ(left, (std::set<std::string>{"filler", "noise-176x220.JPG"}));
  // Room again: the press is repeated and the file replaced whole.
  fs::remove(disk + "/filler");
  run.Confirm();
  EXPECT_EQ(SizeOf(disk + "/noise-176x220.JPG"), std::pair(176, 220));
}

TEST_F(RunTrouble, NamesBeyondCyrillicAndLatinAreNeverConfused) {
  TRealSurroundings run(Output("out"));
  run.CheckResolutions({"176x220"});
  // Not UTF-8, other scripts, an emoji, a composed and a decomposed é, two lone bytes.
  const std::vector<std::string> names = {"\xff\xfe", "中文", "😀", "\xc3\xa9", "e\xcc\x81", "\xd0", "\xd1",
                                          "Фото\xd0", "Ёж"};
  std::vector<std::pair<int, int>> sizes;
  for (size_t i = 0; i < names.size(); ++i) {
    // Every photo its own shape, so a file opened in another's place shows.
    sizes.emplace_back(40 + 10 * static_cast<int>(i), 30);
    run.list.addfile(Photo(names[i] + ".jpg", sizes.back().first, sizes.back().second));
  }
  ASSERT_EQ(run.list.ListBox1(), names);
  run.settings.appendResolutionBox = false;
  run.Start();
  for (size_t i = 0; i < names.size(); ++i) {
    ASSERT_TRUE(run.visible);
    EXPECT_EQ(run.opened.back(), dir / names[i] + ".jpg");
    EXPECT_EQ(run.view.DisplayWidth(), (sizes[i].first * 220 + sizes[i].second / 2) / sizes[i].second);
    run.Confirm();
  }
  EXPECT_TRUE(run.errorBox.empty()) << run.errorBox.front();
  // Transliteration changes only Cyrillic letters; everything else keeps its bytes.
  const std::vector<std::string> expected = {"\xff\xfe", "中文", "😀", "\xc3\xa9", "e\xcc\x81", "\xd0", "\xd1",
                                             "Foto\xd0", "yoj"};
  std::set<std::string> written;
  for (const auto& entry : fs::directory_iterator(dir / "out"))
    written.insert(entry.path().filename().string());
  std::set<std::string> wanted;
  for (const std::string& name : expected)
    wanted.insert(name + ".JPG");
  EXPECT_EQ(written, wanted);
}

TEST_F(RunTrouble, SeparatorsInNamesLandWhereThePathSays) {
  const std::string out = Output("out");
  fs::create_directory(out + "sub");
  TRealSurroundings run(out);
  run.CheckResolutions({"176x220"});
  run.settings.askNameBox = true;
  run.input.typed = {"sub/deep", "missing/x", "/../none/x", "../beside", "/", "sub/../flat"};
  for (int i = 0; i < 5; ++i)
    run.list.addfile(Photo("p" + std::to_string(i) + ".jpg", 60, 40));
  run.Start();
  for (int i = 0; i < 6; ++i)
    run.Confirm();
  // The error text names the file the path names: "out//../none" is "none" beside out.
  EXPECT_EQ(run.errorBox, (std::vector<std::string>{
                              "Cannot create file \"" + out + "missing/x-176x220.JPG\". No such file or directory.",
                              "Cannot create file \"" + dir / "none/x-176x220.JPG\". No such file or directory."}));
  // A failed press stayed on its file; the next name went to it.
  EXPECT_EQ(run.saved, (std::vector<std::string>{out + "sub/deep-176x220.JPG", out + "../beside-176x220.JPG",
                                                 out + "/-176x220.JPG", out + "sub/../flat-176x220.JPG"}));
  std::set<std::string> expected = {"out", "out/sub", "out/sub/deep-176x220.JPG", "beside-176x220.JPG",
                                    "out/-176x220.JPG", "out/flat-176x220.JPG"};
  for (int i = 0; i < 5; ++i)
    expected.insert("p" + std::to_string(i) + ".jpg");
  EXPECT_EQ(dir.Everything(), expected);
  // A prefix with a separator in it works the same way; folder per resolution keeps it inside.
  TRealSurroundings prefixed(out);
  prefixed.CheckResolutions({"176x220"});
  prefixed.settings.prefixBox = true;
  prefixed.settings.prefixText = "sub";
  prefixed.settings.folderPerResolutionBox = true;
  prefixed.settings.transliterateBox = false;
  prefixed.list.addfile(Photo("Фото.jpg", 60, 40));
  prefixed.RunToTheEnd();
  EXPECT_TRUE(prefixed.errorBox.empty());
  EXPECT_EQ(prefixed.saved, std::vector<std::string>{out + "/176x220/sub-Фото-176x220.JPG"});
  EXPECT_TRUE(fs::exists(out + "176x220/sub-Фото-176x220.JPG"));
}
