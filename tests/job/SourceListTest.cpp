#include "job/Errors.h"
#include "job/JobState.h"
#include "job/Services.h"
#include "job/SourceList.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace qv {
namespace {

// Every path opens unless it is named in `closed`; every question is recorded.
class TFakeOpenTest : public IOpenTest {
public:
  bool CanOpen(const std::string& path) override {
    asked.push_back(path);
    return !closed.contains(path);
  }
  std::set<std::string> closed;
  std::vector<std::string> asked;
};

class TFakeProgressBar : public IProgressBar {
public:
  void SetMaximum(int32_t maximum) override { maximum_ = maximum; }
  void SetPosition(int32_t position) override { position_ = position; }
  int32_t Maximum() const override { return maximum_; }
  int32_t Position() const override { return position_; }

private:
  int32_t maximum_ = 10;
  int32_t position_ = 7;
};

class SourceList : public ::testing::Test {
protected:
  SourceList() { list.onChanged = [this](const TListChange&) { ++changes; }; }

  TJobState state;
  TFakeOpenTest openTest;
  TFakeProgressBar progress;
  TSourceList list{state, openTest, progress};
  int changes = 0;
};

struct EndingRow {
  std::string path;
  bool accepted;
  std::string displayName;
};

void PrintTo(const EndingRow& row, std::ostream* out) { *out << row.path; }

class Endings : public ::testing::TestWithParam<EndingRow> {};

TEST_P(Endings, DecideAcceptanceAndDisplayName) {
  const EndingRow& row = GetParam();
  EXPECT_EQ(TSourceList::HasAcceptedEnding(row.path), row.accepted);
  if (row.accepted) {
    EXPECT_EQ(TSourceList::shortname(row.path), row.displayName);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, Endings,
    ::testing::Values(EndingRow{"/a/x.Jpeg", true, "x."}, EndingRow{"/a/x.Jpg", true, "x"},
                      EndingRow{"/a/x.jpeg", true, "x."}, EndingRow{"/a/x.jpg", true, "x"},
                      EndingRow{"/a/x.JPEG", true, "x."}, EndingRow{"/a/x.JPG", true, "x"},
                      EndingRow{"/a/x.JPeg", true, "x."}, EndingRow{"/a/x.JPg", true, "x"},
                      EndingRow{"/a/x.jPg", false, ""}, EndingRow{"/a/x.jPEG", false, ""},
                      EndingRow{"/a/x.JpG", false, ""},
                      EndingRow{"/a/x.jpg ", false, ""}, EndingRow{"pg", false, ""},
                      EndingRow{"/a/jpg", true, ""}, EndingRow{"jpg", true, ""},
                      EndingRow{"/photos/Фото.jpg", true, "Фото"}, EndingRow{"/photos/Фото.jpeg", true, "Фото."},
                      EndingRow{"/a/Фjpg", true, ""}, EndingRow{"/a/ФФjpg", true, "Ф"},
                      EndingRow{"/a/b.c/xyjpg", true, "x"},
                      // The other formats: the dot is part of the ending, any case, and the
                      // name loses the last dot and what follows it.
                      EndingRow{"/p/IMG_0042.HEIC", true, "IMG_0042"}, EndingRow{"/p/x.heic", true, "x"},
                      EndingRow{"/p/x.Heif", true, "x"}, EndingRow{"/p/x.hif", true, "x"},
                      EndingRow{"/p/x.AVIF", true, "x"}, EndingRow{"/p/x.Png", true, "x"},
                      EndingRow{"/p/x.png", true, "x"}, EndingRow{"/p/x.wEbP", true, "x"},
                      EndingRow{"/p/Фото.2024.png", true, "Фото.2024"}, EndingRow{"/p/a.b/.png", true, ""},
                      EndingRow{"/p/xpng", false, ""}, EndingRow{"/p/x.png ", false, ""},
                      EndingRow{"/p/x.heics", false, ""}, EndingRow{"/p/x.gif", false, ""},
                      EndingRow{"/p/x.tiff", false, ""}, EndingRow{"/p/x.pnG.jpg", true, "x.pnG"},
                      EndingRow{"/p/x.jpg.png", true, "x.jpg"}));

TEST(Shortname, CountsCharactersNotBytes) {
  EXPECT_EQ(TSourceList::shortname("/a/Фото"), "");
  EXPECT_EQ(TSourceList::shortname("/a/xФото"), "x");
  EXPECT_EQ(TSourceList::shortname("/a/x.ёжик"), "x.");
  // Stray bytes count one each and are kept as they are.
  EXPECT_EQ(TSourceList::shortname("/a/\xFFx\xFF\xFF\xFF\xFF"), "\xFFx");
  EXPECT_EQ(TSourceList::shortname("/a/\xD0x.jpg"), "\xD0x");
  EXPECT_EQ(TSourceList::shortname("/a/"), "");
}

TEST_F(SourceList, StartsEmptyWithABareStatusText) {
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.StatusText(), "Файлов: ");
  EXPECT_EQ(list.Selected(), -1);
}

TEST_F(SourceList, AllThreeTestsRunAndAnyRefusalIsSilent) {
  openTest.closed = {"/a/locked.jpg"};
  list.AddPaths({"/a/one.jpg", "/a/locked.jpg", "/a/one.jpg", "/a/notes.txt", "/a/two.JPEG"});
  // The open test is asked even for a listed path or a wrong ending.
  EXPECT_EQ(openTest.asked,
            (std::vector<std::string>{"/a/one.jpg", "/a/locked.jpg", "/a/one.jpg", "/a/notes.txt", "/a/two.JPEG"}));
  EXPECT_EQ(list.ListBox2(), (std::vector<std::string>{"/a/one.jpg", "/a/two.JPEG"}));
  EXPECT_EQ(list.ListBox1(), (std::vector<std::string>{"one", "two."}));
  EXPECT_EQ(state.fileCount, 2);
  EXPECT_EQ(list.StatusText(), "Файлов: 2");
  EXPECT_EQ(changes, 1);
}

TEST_F(SourceList, DuplicatesAreCaseSensitive) {
  list.addfile("/a/x.jpg");
  list.addfile("/a/x.jpg");
  EXPECT_EQ(list.Count(), 1);
  list.addfile("/a/X.JPG");
  EXPECT_EQ(list.ListBox2(), (std::vector<std::string>{"/a/x.jpg", "/a/X.JPG"}));
  EXPECT_EQ(list.ListBox1(), (std::vector<std::string>{"x", "X"}));
}

TEST_F(SourceList, DropOfFiveWithTwoForeignEndingsAddsThreeInOrder) {
  list.addfile("/old.jpg");
  // Long paths are taken whole: a cut path would name another file.
  const std::string longPath = "/" + std::string(300, 'd') + "/p.jpg";
  list.AddPaths({"/d/c.jpg", "/d/readme", longPath, "/d/a.gif", "/d/b.Jpg"});
  EXPECT_EQ(list.ListBox2(), (std::vector<std::string>{"/old.jpg", "/d/c.jpg", longPath, "/d/b.Jpg"}));
  EXPECT_EQ(list.StatusText(), "Файлов: 4");
}

TEST_F(SourceList, RemovalKeepsBothListsInStep) {
  list.AddPaths({"/a/1.jpg", "/a/2.jpg", "/a/3.jpg"});
  const int before = changes;
  list.RemoveSelected(); // nothing selected
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(changes, before);

  list.Select(1);
  EXPECT_EQ(list.Selected(), 1);
  list.RemoveSelected();
  EXPECT_EQ(list.ListBox1(), (std::vector<std::string>{"1", "3"}));
  EXPECT_EQ(list.ListBox2(), (std::vector<std::string>{"/a/1.jpg", "/a/3.jpg"}));
  EXPECT_EQ(state.fileCount, 2);
  EXPECT_EQ(list.StatusText(), "Файлов: 2");
  EXPECT_EQ(list.Selected(), -1);
  EXPECT_EQ(changes, before + 1);

  // A removed path can be added again.
  list.addfile("/a/2.jpg");
  EXPECT_EQ(list.Path(2), "/a/2.jpg");
  EXPECT_EQ(list.DisplayName(2), "2");
}

TEST_F(SourceList, SelectionOnlyNamesExistingEntries) {
  list.RemoveSelected(); // empty list
  EXPECT_EQ(list.StatusText(), "Файлов: ");
  list.AddPaths({"/a/1.jpg", "/a/2.jpg"});
  for (int32_t index : {2, -5}) {
    list.Select(index);
    EXPECT_EQ(list.Selected(), -1) << index;
  }
  list.Select(1);
  list.clear();
  EXPECT_EQ(list.Selected(), -1);
  EXPECT_THROW(list.Path(0), EListError);
  try {
    list.DisplayName(3);
    ADD_FAILURE() << "no error for index 3";
  } catch (const EListError& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (3)");
  }
}

TEST_F(SourceList, ClearResetsCountStatusAndProgress) {
  list.clear();
  EXPECT_EQ(list.StatusText(), "Файлов: 0");
  EXPECT_EQ(progress.Position(), 0);
  EXPECT_EQ(changes, 1);

  list.AddPaths({"/a/1.jpg", "/a/2.jpg"});
  progress.SetPosition(5);
  list.clear();
  EXPECT_TRUE(list.ListBox1().empty());
  EXPECT_TRUE(list.ListBox2().empty());
  EXPECT_EQ(state.fileCount, 0);
  EXPECT_EQ(list.StatusText(), "Файлов: 0");
  EXPECT_EQ(progress.Position(), 0);
  EXPECT_EQ(progress.Maximum(), 10);
}

} // namespace
} // namespace qv
