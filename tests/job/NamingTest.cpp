#include "job/Errors.h"
#include "job/JobState.h"
#include "job/Naming.h"
#include "job/PosixServices.h"
#include "job/Services.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace qv {
namespace {

class TFakeInputBox : public IInputBox {
public:
  std::string InputBox(const std::string& caption, const std::string& prompt, const std::string& defaultText) override {
    calls.push_back({caption, prompt, defaultText});
    return reply;
  }
  std::string reply;
  std::vector<std::vector<std::string>> calls;
};

class TFakeFolderMaker : public IFolderMaker {
public:
  void CreateFolder(const std::string& path) override { created.push_back(path); }
  std::vector<std::string> created;
};

// The default snapshot: transliterate and append resolution on, 176 x 220.
TJobState DefaultState(const std::string& outputFolder = "/tmp/x/") {
  TJobState state;
  state.outputFolder = outputFolder;
  state.targetWidth = 176;
  state.targetHeight = 220;
  return state;
}

struct NameRow {
  const char* what;
  std::function<void(TJobState&)> options;
  std::string displayName;
  bool folderPerResolution;
  std::string typed; // the input box's answer; empty is a cancel
  std::string expected;
};

void PrintTo(const NameRow& row, std::ostream* out) { *out << row.what; }

class Names : public ::testing::TestWithParam<NameRow> {};

TEST_P(Names, AreBuiltPieceByPiece) {
  const NameRow& row = GetParam();
  TJobState state = DefaultState();
  row.options(state);
  TFakeInputBox input;
  input.reply = row.typed;
  TFakeFolderMaker folders;
  EXPECT_EQ(makename(0, state, {row.displayName}, row.folderPerResolution, input, folders), row.expected);
  EXPECT_EQ(input.calls.size(), state.askName ? 1u : 0u);
  const std::vector<std::string> folder{state.outputFolder + "/176x220/"};
  EXPECT_EQ(folders.created, row.folderPerResolution ? folder : std::vector<std::string>{});
}

const auto kDefaults = [](TJobState&) {};

INSTANTIATE_TEST_SUITE_P(
    Table, Names,
    ::testing::Values(
        NameRow{"defaults", kDefaults, "Фото", false, "", "/tmp/x/Foto-176x220.JPG"},
        NameRow{"no transliteration", [](TJobState& s) { s.transliterate = false; }, "Фото", false, "",
                "/tmp/x/Фото-176x220.JPG"},
        NameRow{"prefix, suffix, folder per resolution",
                [](TJobState& s) {
                  s.addPrefix = s.addSuffix = true;
                  s.prefix = "wall";
                  s.suffix = "hd";
                  s.outputFolder = "/d/out/";
                },
                "Фото", true, "", "/d/out//176x220/wall-Foto-hd-176x220.JPG"},
        NameRow{"every option off", [](TJobState& s) { s.appendResolution = s.transliterate = false; }, "Фото", false,
                "", "/tmp/x/Фото.JPG"},
        NameRow{"cancelled prompt", [](TJobState& s) { s.askName = true; }, "Фото", false, "", "/tmp/x/-176x220.JPG"},
        NameRow{"typed name", [](TJobState& s) { s.askName = true; }, "Фото", false, "Зима", "/tmp/x/Zima-176x220.JPG"},
        NameRow{"typed separator passes", [](TJobState& s) { s.askName = true; }, "", false, "a/b",
                "/tmp/x/a/b-176x220.JPG"},
        NameRow{"empty prefix", [](TJobState& s) { s.addPrefix = true; }, "Фото", false, "", "/tmp/x/-Foto-176x220.JPG"},
        NameRow{"empty suffix", [](TJobState& s) { s.addSuffix = true; }, "Фото", false, "", "/tmp/x/Foto--176x220.JPG"},
        NameRow{"empty display name", kDefaults, "", false, "", "/tmp/x/-176x220.JPG"},
        NameRow{"display name of a .jpeg", kDefaults, "Фото.", false, "", "/tmp/x/Foto.-176x220.JPG"},
        NameRow{"yo and untouched Latin", [](TJobState& s) {
                  s.addSuffix = true;
                  s.suffix = "ёXy9";
                }, "Ёлка", false, "",
                "/tmp/x/yolka-yoXy9-176x220.JPG"},
        NameRow{"folder part never transliterated", [](TJobState& s) { s.outputFolder = "/Фото/"; }, "Фото", true, "",
                "/Фото//176x220/Foto-176x220.JPG"},
        NameRow{"root folder", [](TJobState& s) { s.outputFolder = "//"; }, "Фото", false, "", "//Foto-176x220.JPG"},
        NameRow{"root folder per resolution", [](TJobState& s) { s.outputFolder = "//"; }, "Фото", true, "",
                "///176x220/Foto-176x220.JPG"},
        NameRow{"negative size as plain decimal", [](TJobState& s) { s.targetHeight = -7; }, "a", false, "",
                "/tmp/x/a-176x-7.JPG"}));

TEST(Makename, PromptsWithTheCaptionOnly) {
  TJobState state = DefaultState();
  state.askName = true;
  TFakeInputBox input;
  TFakeFolderMaker folders;
  // With names asked for, the display list is not consulted, so any index will do.
  makename(5, state, {}, false, input, folders);
  ASSERT_EQ(input.calls.size(), 1u);
  EXPECT_EQ(input.calls[0], (std::vector<std::string>{"Введите желаемое имя файла: ", "", ""}));
}

TEST(Makename, IndexPastTheListFailsBeforeAnyFolderIsMade) {
  TJobState state = DefaultState();
  TFakeInputBox input;
  TFakeFolderMaker folders;
  for (int32_t index : {1, -1}) {
    try {
      makename(index, state, {"a"}, true, input, folders);
      ADD_FAILURE() << "index " << index << " was accepted";
    } catch (const EListError& e) {
      EXPECT_EQ(e.what(), "List index out of bounds (" + std::to_string(index) + ")");
    }
  }
  EXPECT_TRUE(folders.created.empty());
  EXPECT_EQ(makename(1, state, {"a", "b"}, false, input, folders), "/tmp/x/b-176x220.JPG");
}

TEST(Makename, OneRealFolderPerResolution) {
  const qvtest::TTempDir temp;
  TJobState state = DefaultState(temp.path() + "/");
  TFakeInputBox input;
  TPosixFolderMaker folders;
  std::vector<std::string> written;
  for (const auto& [width, height] : std::vector<std::pair<int, int>>{{176, 220}, {240, 320}}) {
    state.targetWidth = width;
    state.targetHeight = height;
    for (const char* name : {"a", "b"}) { // the second name meets an existing folder
      const std::string path = makename(0, state, {name}, true, input, folders);
      std::ofstream(path) << "x";
      written.push_back(path);
    }
  }
  EXPECT_EQ(written[0], temp.path() + "//176x220/a-176x220.JPG");
  EXPECT_EQ(written[3], temp.path() + "//240x320/b-240x320.JPG");
  for (const std::string& path : written)
    EXPECT_TRUE(std::filesystem::is_regular_file(path)) << path;
  std::vector<std::string> entries;
  for (const auto& entry : std::filesystem::directory_iterator(temp.path()))
    entries.push_back(entry.path().filename().string());
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(entries, (std::vector<std::string>{"176x220", "240x320"}));

  // A missing output folder is not created and not reported: only one level is made.
  state.outputFolder = temp / "missing/";
  EXPECT_NO_THROW(makename(0, state, {"a"}, true, input, folders));
  EXPECT_FALSE(std::filesystem::exists(temp / "missing"));
}

} // namespace
} // namespace qv
