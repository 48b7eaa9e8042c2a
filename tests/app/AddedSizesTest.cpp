// Sizes the user adds to the settings window's list: the size box and its refusals, removing
// an added size, and the list kept between starts in $XDG_CONFIG_HOME.

#include <QCheckBox>
#include <QListWidget>
#include <QMenu>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "AppTestSupport.h"

namespace qv::test {
namespace {

// The rows of the list from one on, a checked one marked " +".
std::vector<std::string> Rows(const QListWidget* list, int from = 0) {
  std::vector<std::string> rows;
  for (int row = from; row < list->count(); ++row)
    rows.push_back(list->item(row)->text().toStdString() + (list->item(row)->checkState() == Qt::Checked ? " +" : ""));
  return rows;
}

using TRows = std::vector<std::string>;

std::string ReadText(const std::string& path) {
  const std::vector<uint8_t> bytes = ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

void WriteText(const std::string& path, const std::string& text) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

class AddedSizes : public ::testing::Test {
protected:
  void SetUp() override {
    program.Form1().show();
    program.Form1().SpeedButton6->click();
  }
  // The size box answers text and the add button is pressed.
  void Add(const std::optional<std::string>& text) {
    program.dialogs.sizeAnswers.push_back(text);
    form2.SpeedButton3->click();
  }
  std::string Kept() const { return program.keptSizes.Path(); }

  TProgram program;
  TForm2& form2 = program.Form2();
};

TEST_F(AddedSizes, TypedSizesAreAppendedCheckedAndKept) {
  Add("1080x2400");
  Add(" 720X1600 ");
  ASSERT_EQ(program.dialogs.sizeOffers.size(), 2u);
  const std::vector<std::string> offered = program.dialogs.sizeOffers[0];
  for (const char* phone : {"720x1600", "1080x1920", "1080x2340", "1080x2400", "1170x2532", "1179x2556", "1284x2778",
                            "1290x2796", "1440x3120", "1440x3200"})
    EXPECT_NE(std::find(offered.begin(), offered.end(), phone), offered.end()) << phone;

  EXPECT_EQ(Rows(form2.resol, 27), TRows({"320x240", "1080x2400 +", "720x1600 +"}));
  EXPECT_EQ(form2.resol->currentRow(), 29);
  EXPECT_EQ(form2.Values().resolutionItems.size(), 30u);
  EXPECT_TRUE(form2.Values().resolutionItems[29].checked);
  EXPECT_TRUE(program.dialogs.messages.empty());
  EXPECT_TRUE(program.errorBox.texts.empty());
  EXPECT_EQ(ReadText(Kept()), "[resolutions]\nadded=1080x2400, 720x1600\n");

  // Cancel adds nothing and writes nothing.
  std::filesystem::remove(Kept());
  Add(std::nullopt);
  EXPECT_EQ(form2.resol->count(), 30);
  EXPECT_FALSE(std::filesystem::exists(Kept()));
}

TEST_F(AddedSizes, EachRefusalSaysWhyAndChangesNothing) {
  Add("1080x2400");
  const std::string kept = ReadText(Kept());
  const TRows before = Rows(form2.resol);
  struct TRow {
    const char* typed;
    const char* message;
  };
  const TRow rows[] = {
      {"", "Размер не введён"},
      {"   ", "Размер не введён"},
      {"abc", "Размер пишется как ширина x высота, например 1080x2400"},
      {"100x", "Размер пишется как ширина x высота, например 1080x2400"},
      {"x100", "Размер пишется как ширина x высота, например 1080x2400"},
      {"1080x2400x1", "Размер пишется как ширина x высота, например 1080x2400"},
      {"0x2400", "Ширина и высота должны быть от 1 до 16384"},
      {"-1080x2400", "Ширина и высота должны быть от 1 до 16384"},
      {"16385x100", "Ширина и высота должны быть от 1 до 16384"},
      {"1080X2400", "Размер уже есть в списке"},
  };
  for (const TRow& row : rows) {
    program.dialogs.messages.clear();
    Add(row.typed);
    EXPECT_EQ(program.dialogs.messages, std::vector<std::string>{row.message}) << '"' << row.typed << '"';
    EXPECT_EQ(Rows(form2.resol), before) << '"' << row.typed << '"';
  }
  EXPECT_EQ(ReadText(Kept()), kept);
  EXPECT_TRUE(program.errorBox.texts.empty());
}

TEST_F(AddedSizes, ARepeatedSizeChecksItsEntryAndScrollsToIt) {
  Add("1080x2400");
  form2.resol->item(28)->setCheckState(Qt::Unchecked);
  form2.resol->item(0)->setCheckState(Qt::Unchecked);
  form2.resol->scrollToTop();
  const QRect view = form2.resol->viewport()->rect();
  for (const auto& [typed, row] : std::vector<std::pair<std::string, int>>{{"1080\u00d72400", 28}, {"32X32", 0}}) {
    SCOPED_TRACE(typed);
    if (row == 0)
      form2.resol->scrollToBottom();
    ASSERT_FALSE(view.contains(form2.resol->visualItemRect(form2.resol->item(row))));
    Add(typed);
    EXPECT_EQ(program.dialogs.messages.back(), "Размер уже есть в списке");
    EXPECT_EQ(form2.resol->item(row)->checkState(), Qt::Checked);
    EXPECT_TRUE(form2.Values().resolutionItems[static_cast<size_t>(row)].checked);
    EXPECT_EQ(form2.resol->currentRow(), row);
    EXPECT_TRUE(view.contains(form2.resol->visualItemRect(form2.resol->item(row))));
  }
  EXPECT_EQ(form2.resol->count(), 29);
}

TEST_F(AddedSizes, OnlyAddedSizesCanBeRemovedByMenuOrDeleteKey) {
  Add("1080x2400");
  Add("720x1600");
  Add("1440x3200");
  QListWidget* resol = form2.resol;
  // A designed size has no menu, and the Delete key leaves it.
  for (const int row : {0, 21, 27}) {
    resol->scrollToItem(resol->item(row));
    form2.resolContextPopup(resol->visualItemRect(resol->item(row)).center());
    EXPECT_FALSE(form2.PopupMenu1->isVisible()) << row;
    resol->setCurrentRow(row);
    resol->setFocus();
    QTest::keyClick(resol, Qt::Key_Delete);
  }
  EXPECT_EQ(resol->count(), 31);

  // An added one offers "Удалить".
  resol->scrollToItem(resol->item(29));
  form2.resolContextPopup(resol->visualItemRect(resol->item(29)).center());
  ASSERT_TRUE(form2.PopupMenu1->isVisible());
  EXPECT_EQ(form2.PopupMenu1->actions().size(), 1);
  EXPECT_EQ(form2.PopupMenu1->actions().front()->text(), "Удалить");
  EXPECT_EQ(resol->currentRow(), 29);
  form2.PopupMenu1->actions().front()->trigger();
  form2.PopupMenu1->hide();
  EXPECT_EQ(Rows(resol, 28), TRows({"1080x2400 +", "1440x3200 +"}));
  EXPECT_EQ(ReadText(Kept()), "[resolutions]\nadded=1080x2400, 1440x3200\n");

  resol->setCurrentRow(28);
  QTest::keyClick(resol, Qt::Key_Delete);
  EXPECT_EQ(Rows(resol, 28), TRows({"1440x3200 +"}));
  EXPECT_EQ(form2.Values().resolutionItems.size(), 29u);
  EXPECT_EQ(form2.Values().resolutionItems[28].text, "1440x3200");
  EXPECT_EQ(ReadText(Kept()), "[resolutions]\nadded=1440x3200\n");
  resol->setCurrentRow(28);
  QTest::keyClick(resol, Qt::Key_Delete);
  EXPECT_EQ(resol->count(), 28);
  EXPECT_EQ(ReadText(Kept()).find("1440"), std::string::npos);
  EXPECT_TRUE(program.errorBox.texts.empty());
}

// The kept list in a temporary $XDG_CONFIG_HOME, where the program looks for it.
class KeptSizes : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(config.isValid());
    saved = qgetenv("XDG_CONFIG_HOME");
    hadConfig = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    path = config.path().toStdString() + "/Quarvelle/Quarvelle.conf";
  }
  void TearDown() override {
    if (hadConfig)
      qputenv("XDG_CONFIG_HOME", saved);
    else
      qunsetenv("XDG_CONFIG_HOME");
  }
  static void Add(TProgram& program, const std::string& text) {
    program.dialogs.sizeAnswers.push_back(text);
    program.Form2().SpeedButton3->click();
  }

  QTemporaryDir config;
  QByteArray saved;
  bool hadConfig = false;
  std::string path;
};

TEST_F(KeptSizes, AddedSizesComeBackAfterTheDesignedOnesUnchecked) {
  ASSERT_EQ(KeptSizesPath(), path);
  {
    TProgram first(KeptSizesPath());
    Add(first, "1080x2400");
    Add(first, "1440x3200");
    Add(first, "720x1600");
    first.Form2().resol->setCurrentRow(29);
    first.Form2().N1Click();
  }
  EXPECT_EQ(ReadText(path), "[resolutions]\nadded=1080x2400, 720x1600\n");
  // The file is replaced by a new one: a link to the old file keeps the old list.
  const std::string old = config.path().toStdString() + "/old.conf";
  std::filesystem::create_hard_link(path, old);

  TProgram second(KeptSizesPath());
  EXPECT_EQ(Rows(second.Form2().resol, 20), TRows({"176x208", "176x220 +", "208x144", "208x208", "208x320",
                                                         "220x176", "240x320", "320x240", "1080x2400", "720x1600"}));
  EXPECT_TRUE(second.warnings.empty());
  Add(second, "1179x2556");
  EXPECT_EQ(ReadText(path), "[resolutions]\nadded=1080x2400, 720x1600, 1179x2556\n");
  EXPECT_EQ(ReadText(old), "[resolutions]\nadded=1080x2400, 720x1600\n");

  // Nothing else is kept: the other settings start at their defaults.
  EXPECT_EQ(second.Form2().Values().sliderPosition, 0);
  EXPECT_EQ(second.Form2().Values().folderPerResolutionBox, false);
}

TEST_F(KeptSizes, BadRepeatedAndDesignedEntriesAreLeftOutEachNamedOnce) {
  const std::string text = "[resolutions]\nadded=1080x2400, abc, 176x220, 0x5, 1080X2400, abc, \" 720x1600\"\n";
  WriteText(path, text);
  TProgram program(KeptSizesPath());
  EXPECT_EQ(Rows(program.Form2().resol, 28), TRows({"1080x2400", "720x1600"}));
  const std::string where = "quarvelle: " + path + ": ";
  EXPECT_EQ(program.warnings, (std::vector<std::string>{
                                  where + "\"abc\" in resolutions/added is not a size WxH; left out",
                                  where + "\"176x220\" in resolutions/added is listed already; left out",
                                  where + "\"0x5\" in resolutions/added has a side outside 1..16384; left out",
                                  where + "\"1080X2400\" in resolutions/added is listed already; left out",
                              }));
  EXPECT_TRUE(program.errorBox.texts.empty());
  EXPECT_TRUE(program.dialogs.messages.empty());
  EXPECT_EQ(ReadText(path), text);
}

TEST_F(KeptSizes, DamagedOrUnreadableFilesGiveWhatCanBeReadAndAreNotWrittenByStartUp) {
  struct TRow {
    std::string name;
    std::string text;
    TRows listed;
    size_t warnings;
  };
  std::string noise(3000, '\0');
  for (size_t i = 0; i < noise.size(); ++i)
    noise[i] = static_cast<char>((i * 7919 + 13) % 251);
  // Lines no INI reader makes sense of; the last two run on into whatever follows them.
  const std::string junk = "\xff\xfe\x01 = \x80\x81\n%%%\n=\n";
  const std::string runOn = "\\\n\"\n";
  const TRow rows[] = {
      {"noise", noise, {}, 0},
      {"unclosed group", "[resolutions\nadded=1080x2400\n", {"1080x2400"}, 1},
      {"not a list", "[resolutions]\nadded=@Rect(1 2 3 4)\n", {}, 1},
      {"one size", "[resolutions]\nadded=1080x2400\n", {"1080x2400"}, 0},
      {"junk around it", junk + "[resolutions]\nadded=720x1600, 1080x2400\n" + junk + runOn + noise,
       {"720x1600", "1080x2400"}, 1},
      {"group run into", junk + runOn + "[resolutions]\nadded=720x1600\n", {}, 0},
      {"empty", "", {}, 0},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.name);
    WriteText(path, row.text);
    struct stat before {};
    ASSERT_EQ(stat(path.c_str(), &before), 0);
    {
      TProgram program(KeptSizesPath());
      program.Form1().show();
      program.Form1().SpeedButton6->click();
      program.Form2().SpeedButton2->click();
      EXPECT_EQ(Rows(program.Form2().resol, 28), row.listed);
      EXPECT_EQ(program.warnings.size(), row.warnings) << (program.warnings.empty() ? "" : program.warnings[0]);
      EXPECT_TRUE(program.errorBox.texts.empty());
    }
    struct stat after {};
    ASSERT_EQ(stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(ReadText(path), row.text);
  }

  // Without a file, nothing is written either.
  std::filesystem::remove_all(config.path().toStdString() + "/Quarvelle");
  {
    TProgram program(KeptSizesPath());
    EXPECT_EQ(program.Form2().resol->count(), 28);
    EXPECT_TRUE(program.warnings.empty());
  }
  EXPECT_FALSE(std::filesystem::exists(config.path().toStdString() + "/Quarvelle"));

  // A file that cannot be read at all is never written over: the size is listed all the same
  // and the error box says it is not kept.
  std::filesystem::create_directories(path);
  TProgram program(KeptSizesPath());
  ASSERT_EQ(program.warnings.size(), 1u);
  EXPECT_NE(program.warnings[0].find("cannot be read"), std::string::npos) << program.warnings[0];
  Add(program, "1080x2400");
  EXPECT_EQ(program.Form2().resol->count(), 29);
  ASSERT_EQ(program.errorBox.texts.size(), 1u);
  EXPECT_EQ(program.errorBox.texts[0], "Список размеров не сохранён: файл «" + path +
                                           "» не удалось прочитать при запуске, и он был бы записан без них.");
  EXPECT_TRUE(std::filesystem::is_directory(path));
}

TEST_F(KeptSizes, AFailedWriteIsReportedAndTheSizeStaysListed) {
  // The configuration folder is a file, so nothing can be made in it.
  WriteText(config.path().toStdString() + "/Quarvelle", "");
  TProgram program(KeptSizesPath());
  Add(program, "1080x2400");
  EXPECT_EQ(Rows(program.Form2().resol, 28), TRows({"1080x2400 +"}));
  ASSERT_EQ(program.errorBox.texts.size(), 1u);
  EXPECT_EQ(program.errorBox.texts[0], "Список размеров не сохранён в файл «" + path + "».");
}

TEST_F(KeptSizes, ConfigurationHomeFallsBackToDotConfig) {
  const QByteArray home = qgetenv("HOME");
  qputenv("HOME", config.path().toUtf8());
  for (const char* value : {"", "relative/config"}) {
    qputenv("XDG_CONFIG_HOME", value);
    EXPECT_EQ(KeptSizesPath(), config.path().toStdString() + "/.config/Quarvelle/Quarvelle.conf") << value;
  }
  qputenv("HOME", home);
}

// The high-quality box beside the kept sizes: unchecked and unwritten until the user applies
// a change, then kept in group processing, read back checked at the next start, the sizes
// in the same file left as they were; anything but true or false reads as false, once said.
TEST_F(KeptSizes, HighQualityBoxIsKeptOnlyWhenAChangeIsApplied) {
  {
    TProgram first(KeptSizesPath());
    TForm2& form2 = first.Form2();
    EXPECT_FALSE(form2.CheckBox8->isChecked());
    EXPECT_FALSE(first.Form1().State().highQualityReduction);
    EXPECT_EQ(first.Form1().CurrentTarget().filter, TResizeFilter::bilinear);
    form2.SpeedButton2->click();
    EXPECT_FALSE(std::filesystem::exists(path));
    Add(first, "1080x2400");
    form2.CheckBox8->setChecked(true);
    form2.SpeedButton1->click(); // cancelled: neither the job nor the file see it
    EXPECT_FALSE(first.Form1().State().highQualityReduction);
    EXPECT_EQ(ReadText(path), "[resolutions]\nadded=1080x2400\n");
    form2.CheckBox8->setChecked(true);
    form2.SpeedButton2->click();
    EXPECT_TRUE(first.Form1().State().highQualityReduction);
    EXPECT_EQ(first.Form1().CurrentTarget().filter, TResizeFilter::lanczos3);
    EXPECT_EQ(ReadText(path), "[processing]\nhigh_quality_reduction=true\n\n[resolutions]\nadded=1080x2400\n");
    EXPECT_TRUE(first.errorBox.texts.empty());
  }
  {
    TProgram second(KeptSizesPath());
    EXPECT_TRUE(second.Form2().CheckBox8->isChecked());
    EXPECT_TRUE(second.Form1().State().highQualityReduction);
    EXPECT_TRUE(second.warnings.empty());
    second.Form2().CheckBox8->setChecked(false);
    second.Form2().SpeedButton2->click();
    EXPECT_EQ(ReadText(path), "[processing]\nhigh_quality_reduction=false\n\n[resolutions]\nadded=1080x2400\n");
  }
  for (const char* bad : {"yes", "1", "TRUE", "true, false"}) {
    SCOPED_TRACE(bad);
    const std::string text = std::string("[processing]\nhigh_quality_reduction=") + bad + "\n";
    WriteText(path, text);
    TProgram program(KeptSizesPath());
    EXPECT_FALSE(program.Form2().CheckBox8->isChecked());
    EXPECT_FALSE(program.Form1().State().highQualityReduction);
    EXPECT_EQ(program.warnings, (std::vector<std::string>{
                                    "quarvelle: " + path +
                                    ": processing/high_quality_reduction is neither true nor false; read as false"}));
    EXPECT_EQ(ReadText(path), text);
  }
}

} // namespace
} // namespace qv::test
