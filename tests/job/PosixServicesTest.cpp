#include "job/PosixServices.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qv {
namespace {

namespace fs = std::filesystem;

class PosixServices : public ::testing::Test {
protected:
  PosixServices() {
    std::ofstream(temp / "photo.jpg") << "data";
    std::ofstream(temp / "readonly.jpg") << "data";
    fs::permissions(temp / "readonly.jpg", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    fs::create_directory(temp / "folder.jpg");
    fs::create_symlink(temp / "photo.jpg", temp / "link.jpg");
    fs::create_symlink(temp / "gone.jpg", temp / "dangling.jpg");
    fs::create_symlink(temp / "folder.jpg", temp / "folderlink.jpg");
  }

  qvtest::TTempDir temp;
  TPosixOpenTest openTest;
};

TEST_F(PosixServices, OpenTestWantsAReadableRegularFile) {
  const std::vector<std::pair<std::string, bool>> rows = {
      {"photo.jpg", true},   {"readonly.jpg", true},   {"link.jpg", true},    {"missing.jpg", false},
      {"folder.jpg", false}, {"dangling.jpg", false},  {"folderlink.jpg", false},
  };
  for (const auto& [name, expected] : rows)
    EXPECT_EQ(openTest.CanOpen(temp / name), expected) << name;
  EXPECT_FALSE(openTest.CanOpen(""));
  // A NUL would cut the path short and name photo.jpg instead.
  EXPECT_FALSE(openTest.CanOpen(temp / std::string("photo.jpg\0x", 11)));
}

TEST_F(PosixServices, OpenTestRefusesAFifoWithoutWaiting) {
  ASSERT_EQ(::mkfifo((temp / "pipe.jpg").c_str(), 0600), 0);
  EXPECT_FALSE(openTest.CanOpen(temp / "pipe.jpg"));
}

TEST_F(PosixServices, OpenTestRefusesAnUnreadableFile) {
  std::ofstream(temp / "secret.jpg") << "data";
  fs::permissions(temp / "secret.jpg", fs::perms::owner_write);
  const std::string readable = temp / "photo.jpg";
  const std::string unreadable = temp / "secret.jpg";
  if (::geteuid() != 0) {
    EXPECT_TRUE(openTest.CanOpen(readable));
    EXPECT_FALSE(openTest.CanOpen(unreadable));
    return;
  }
  // Root reads every file, so the question is put by a child that has given up root.
  fs::permissions(temp.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                   fs::perms::others_read | fs::perms::others_exec);
  fs::permissions(readable, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const pid_t child = ::fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0)
      ::_exit(9);
    TPosixOpenTest test;
    ::_exit((test.CanOpen(readable) ? 1 : 0) | (test.CanOpen(unreadable) ? 2 : 0));
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_NE(WEXITSTATUS(status), 9) << "could not give up root";
  EXPECT_EQ(WEXITSTATUS(status), 1) << "1: readable accepted, unreadable refused";
}

TEST_F(PosixServices, FolderMakerMakesOneLevelAndIgnoresFailure) {
  TPosixFolderMaker folders;
  folders.CreateFolder(temp / "one");
  EXPECT_TRUE(fs::is_directory(temp / "one"));
  EXPECT_NO_THROW(folders.CreateFolder(temp / "one"));
  EXPECT_NO_THROW(folders.CreateFolder(temp / "two/three"));
  EXPECT_FALSE(fs::exists(temp / "two"));
  EXPECT_NO_THROW(folders.CreateFolder(temp / "photo.jpg"));
  EXPECT_TRUE(fs::is_regular_file(temp / "photo.jpg"));
}

} // namespace
} // namespace qv
