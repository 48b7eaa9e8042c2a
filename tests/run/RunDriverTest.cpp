#include "FakeSurroundings.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace qv::test {
namespace {

constexpr int k176x220 = 21;
constexpr int k240x320 = 26;
constexpr int k320x240 = 27;

const std::string kA = "/p/a.jpg";
const std::string kB = "/p/b.jpg";
const std::string kC = "/p/c.jpg";

std::string Files() { return std::string("ErrorMessage(") + kNoFilesMessage + ")"; }
std::string Resolutions() { return std::string("ErrorMessage(") + kNoResolutionsMessage + ")"; }
std::string Cannot(const std::string& path) {
  return "ReportError(Cannot open file \"" + path + "\". No such file or directory)";
}

class RunDriverTest : public ::testing::Test {
protected:
  RunDriverTest() {
    state.transliterate = true;
    state.appendResolution = true;
    env.Attach(driver);
  }

  void Start() { env.Guard([this] { driver.SpeedButton5Click(); }); }

  // The crop window's confirmation: a name for fileIndex (it cannot be built past the end of
  // the list unless names are typed), the picture on screen cut at the current target size,
  // then next.
  void Confirm() {
    ASSERT_TRUE(env.visible);
    ASSERT_TRUE(env.picture);
    const bool listed = driver.fileIndex() < env.list.Count();
    if (!listed && !state.askName) {
      env.log.push_back("error box(name)");
      return;
    }
    // A save names the file on screen, or the picture and its name have come apart.
    if (listed) {
      EXPECT_EQ(env.picture->path, env.list.Path(driver.fileIndex()));
    }
    saves.push_back(env.picture->path + " " + std::to_string(state.targetWidth) + "x" +
                    std::to_string(state.targetHeight));
    env.Guard([this] { driver.next(); });
  }

  void RunToEnd() {
    for (int guard = 0; env.visible && guard < 1000; ++guard)
      Confirm();
  }

  int Count(const std::string& prefix) const {
    return static_cast<int>(
        std::count_if(env.log.begin(), env.log.end(), [&](const std::string& e) { return e.starts_with(prefix); }));
  }

  TJobState state;
  TSettingsValues settings;
  FakeSurroundings env{state, settings};
  TRunDriver driver{state, env, env};
  std::vector<std::string> saves;
};

using Log = std::vector<std::string>;

// --- Start refused ---

TEST_F(RunDriverTest, StartWithEmptyListShowsTheMessageEachTimeAndNothingElse) {
  Start();
  Start();
  EXPECT_EQ(env.log, (Log{"DisplayCount", Files(), "DisplayCount", Files()}));
  EXPECT_FALSE(env.visible);
  EXPECT_EQ(state.currentResolution, 1);
  EXPECT_EQ(state.targetWidth, 0);
  EXPECT_EQ(env.maximum, 100);
  EXPECT_EQ(env.position, 0);
}

TEST_F(RunDriverTest, NoResolutionCheckedAtAPassChangeLeavesTheRunOff) {
  env.Add({kA});
  settings.resolutionItems[k240x320].checked = true;
  Start();
  settings.resolutionItems[k176x220].checked = false;
  settings.resolutionItems[k240x320].checked = false;
  Confirm();
  EXPECT_FALSE(env.visible);
  EXPECT_EQ(state.currentResolution, 2);
  EXPECT_EQ(env.position, 0);
  EXPECT_EQ(Count(Resolutions()), 1);
  EXPECT_EQ(Count("clear"), 0);
}

TEST_F(RunDriverTest, EmptyListIsReportedBeforeMissingResolutions) {
  settings.resolutionItems[k176x220].checked = false;
  Start();
  EXPECT_EQ(env.log, (Log{"DisplayCount", Files()}));
}

TEST_F(RunDriverTest, StartWithNoResolutionCheckedShowsTheMessageAndNothingElse) {
  env.Add({kA, kB});
  settings.resolutionItems[k176x220].checked = false;
  Start();
  // Without this refusal the window would open on a 0 x 0 frame that cannot be pressed.
  EXPECT_EQ(env.log, (Log{"DisplayCount", "AnyResolutionChecked", Resolutions()}));
  EXPECT_FALSE(env.visible);
  EXPECT_EQ(state.targetWidth, 0);
  EXPECT_EQ(env.maximum, 100);

  // While a file is on screen it stays there.
  settings.resolutionItems[k176x220].checked = true;
  Start();
  Confirm();
  settings.resolutionItems[k176x220].checked = false;
  env.log.clear();
  Start();
  EXPECT_EQ(env.Actions(), (Log{Resolutions()}));
  EXPECT_TRUE(env.visible);
  EXPECT_EQ(driver.fileIndex(), 1);
  EXPECT_EQ(env.picture->path, kB);
}

// --- Whole jobs ---

TEST_F(RunDriverTest, OneFileOneResolutionOnAFreshProgram) {
  env.Add({kA});
  Start();
  EXPECT_TRUE(env.visible);
  EXPECT_EQ(env.picture, (TPicture{kA, 176, 220}));
  EXPECT_EQ(env.maximum, 1);
  EXPECT_EQ(env.position, 0);

  Confirm();
  EXPECT_EQ(saves, (Log{kA + " 176x220"}));
  EXPECT_FALSE(env.visible);
  EXPECT_EQ(env.list.Count(), 0);
  EXPECT_EQ(env.list.StatusText(), "Файлов: 0");
  EXPECT_EQ(state.fileCount, 0);
  EXPECT_EQ(env.position, 0);
}

TEST_F(RunDriverTest, ThreeFilesTwoResolutionsWalkEveryFileInEveryPass) {
  env.Add({kA, kB, kC});
  settings.resolutionItems[k240x320].checked = true;
  Start();
  EXPECT_EQ(env.maximum, 3);
  std::vector<int32_t> positions;
  Log passChange, end;
  for (int i = 0; i < 6; ++i) {
    env.log.clear();
    Confirm();
    positions.push_back(env.position);
    if (i == 2)
      passChange = env.Actions();
  }
  end = env.Actions();
  EXPECT_EQ(saves, (Log{kA + " 176x220", kB + " 176x220", kC + " 176x220", kA + " 240x320", kB + " 240x320",
                        kC + " 240x320"}));
  EXPECT_EQ(positions, (std::vector<int32_t>{1, 2, 0, 1, 2, 0}));
  EXPECT_EQ(passChange, (Log{"Hide", "Show", "openfile(" + kA + ")", "SetProgressMaximum(3)", "SetProgressPosition(0)"}));
  EXPECT_EQ(end, (Log{"Hide", "clear"}));
  EXPECT_FALSE(env.visible);
}

// The crop window reads ahead the file the driver names; it must be the one the save opens,
// also when the list shrinks under the run.
TEST_F(RunDriverTest, FollowingIndexIsTheFileTheNextSaveOpens) {
  env.Add({kA, kB, kC});
  settings.resolutionItems[k240x320].checked = true;
  Start();
  std::vector<int32_t> named, opened;
  std::vector<TResolution> sized, cut;
  while (env.visible) {
    if (named.size() == 4)
      env.RemoveLast();
    named.push_back(driver.FollowingIndex());
    sized.push_back(driver.FollowingSize());
    Confirm();
    opened.push_back(env.visible ? driver.fileIndex() : -1);
    cut.push_back(env.visible ? TResolution{state.targetWidth, state.targetHeight} : TResolution{});
  }
  EXPECT_EQ(named, (std::vector<int32_t>{1, 2, 0, 1, -1}));
  EXPECT_EQ(opened, named);
  // The size it is read ahead for: 176x220 within the first pass, 240x320 from its last file.
  EXPECT_EQ(sized, (std::vector<TResolution>{{176, 220}, {176, 220}, {240, 320}, {240, 320}, {0, 0}}));
  EXPECT_EQ(cut, sized);
}

// --- Start during and after a run ---

TEST_F(RunDriverTest, StartWhileShowingKeepsTheFileOnScreen) {
  env.Add({kA, kB, kC});
  Start();
  Confirm();
  env.Add({"/p/d.jpg"});
  state.targetWidth = 1;
  env.log.clear();
  Start();
  EXPECT_EQ(env.Actions(), (Log{"Show", "SetProgressMaximum(4)"}));
  EXPECT_EQ(state.targetWidth, 176);
  EXPECT_EQ(driver.fileIndex(), 1);
  EXPECT_EQ(env.picture->path, kB);

  env.RemoveAll();
  env.log.clear();
  Start();
  EXPECT_EQ(env.Actions(), (Log{Files()}));
  EXPECT_TRUE(env.visible);
  EXPECT_EQ(driver.fileIndex(), 1);
}

TEST_F(RunDriverTest, ClosedAtFileTwoThenStartBeginsThePassAgain) {
  env.Add({kA, kB, kC});
  Start();
  Confirm();
  Confirm();
  env.CloseByUser();
  Start();
  EXPECT_TRUE(env.visible);
  EXPECT_EQ(driver.fileIndex(), 0);
  EXPECT_EQ(env.picture->path, kA);
  EXPECT_EQ(env.position, 2);
  Confirm();
  EXPECT_EQ(env.position, 1);
  EXPECT_EQ(saves, (Log{kA + " 176x220", kB + " 176x220", kA + " 176x220"}));
}

TEST_F(RunDriverTest, RunLeftOffByClosingKeepsItsPass) {
  env.Add({kA, kB});
  settings.resolutionItems[k240x320].checked = true;
  Start();
  Confirm();
  Confirm();
  env.CloseByUser();
  Start();
  EXPECT_EQ(state.currentResolution, 2);
  EXPECT_EQ(env.picture, (TPicture{kA, 240, 320}));
}

TEST_F(RunDriverTest, SecondJobAfterACompletedOneRunsEveryResolutionAgain) {
  env.Add({kA});
  settings.resolutionItems[k240x320].checked = true;
  Start();
  RunToEnd();
  EXPECT_EQ(state.currentResolution, 1);
  env.Add({kB});
  Start();
  RunToEnd();
  // Without the reset the second job would begin at its last pass and cut 240 x 320 only.
  EXPECT_EQ(saves, (Log{kA + " 176x220", kA + " 240x320", kB + " 176x220", kB + " 240x320"}));
}

// --- The list and the settings changed during a run ---

TEST_F(RunDriverTest, FilesAddedDuringAPassAreWalkedToo) {
  env.Add({kA, kB});
  Start();
  env.Add({kC});
  env.Add({"/p/d.jpg"});
  Confirm();
  Confirm();
  Confirm();
  EXPECT_EQ(env.position, 3);
  EXPECT_EQ(env.maximum, 2);
  RunToEnd();
  EXPECT_EQ(saves, (Log{kA + " 176x220", kB + " 176x220", kC + " 176x220", "/p/d.jpg 176x220"}));
}

TEST_F(RunDriverTest, FilesRemovedDuringAPassEndItEarly) {
  env.Add({kA, kB, kC});
  settings.resolutionItems[k240x320].checked = true;
  Start();
  Confirm();
  env.RemoveLast();
  Confirm();
  EXPECT_EQ(state.currentResolution, 2);
  EXPECT_EQ(env.picture, (TPicture{kA, 240, 320}));

  // Emptied in the last pass: the next save (of a typed name) ends the job.
  env.RemoveAll();
  state.askName = true;
  Confirm();
  EXPECT_FALSE(env.visible);
  EXPECT_EQ(Count("clear"), 1);
  EXPECT_EQ(saves, (Log{kA + " 176x220", kB + " 176x220", kA + " 240x320"}));
}

TEST_F(RunDriverTest, ListEmptiedBeforeAFurtherPassLeavesTheRunOff) {
  env.Add({kA, kB});
  settings.resolutionItems[k240x320].checked = true;
  Start();
  env.RemoveAll();
  state.askName = true;
  Confirm();
  EXPECT_FALSE(env.visible);
  EXPECT_EQ(state.currentResolution, 2);
  EXPECT_EQ(env.position, 0);
  EXPECT_EQ(Count(Files()), 1);
  EXPECT_EQ(Count("clear"), 0);

  env.Add({kC});
  Start();
  EXPECT_EQ(env.picture, (TPicture{kC, 240, 320}));
}

TEST_F(RunDriverTest, ResolutionsCheckedDuringARunChangeTheRemainingPasses) {
  env.Add({kA, kB});
  Start();
  settings.resolutionItems[k320x240].checked = true;
  RunToEnd();
  EXPECT_EQ(saves, (Log{kA + " 176x220", kB + " 176x220", kA + " 320x240", kB + " 320x240"}));

  // Unchecked before the last file of the pass opens: the job ends with this pass.
  saves.clear();
  env.Add({kA, kB});
  Start();
  settings.resolutionItems[k320x240].checked = false;
  RunToEnd();
  EXPECT_EQ(saves, (Log{kA + " 176x220", kB + " 176x220"}));
  EXPECT_EQ(state.currentResolution, 1);
}

// --- Sources that cannot be opened ---

TEST_F(RunDriverTest, SourceFailingAfterASaveIsReportedAndSkipped) {
  env.Add({kA, kB, kC});
  env.failing = {kB};
  Start();
  env.log.clear();
  Confirm();
  // Without the skip, a's picture would stay on screen to be saved under b's name.
  EXPECT_EQ(env.Actions(), (Log{"SetProgressPosition(1)", "openfile(" + kB + ")", Cannot(kB), "SetProgressPosition(2)",
                                "openfile(" + kC + ")"}));
  EXPECT_EQ(driver.fileIndex(), 2);
  RunToEnd();
  EXPECT_EQ(saves, (Log{kA + " 176x220", kC + " 176x220"}));
  EXPECT_EQ(Count("error box"), 0);
}

TEST_F(RunDriverTest, FirstFileFailingWhenShownIsSkipped) {
  env.Add({kA, kB});
  settings.resolutionItems[k240x320].checked = true;
  env.failing = {kA};
  Start();
  EXPECT_EQ(env.Actions(), (Log{"Show", "openfile(" + kA + ")", Cannot(kA), "SetProgressMaximum(2)",
                                "SetProgressPosition(1)", "openfile(" + kB + ")"}));
  EXPECT_EQ(driver.fileIndex(), 1);

  env.log.clear();
  Confirm();
  EXPECT_EQ(env.Actions(), (Log{"Hide", "Show", "openfile(" + kA + ")", Cannot(kA), "SetProgressMaximum(2)",
                                "SetProgressPosition(0)", "SetProgressPosition(1)", "openfile(" + kB + ")"}));
  EXPECT_EQ(env.picture, (TPicture{kB, 240, 320}));
  EXPECT_EQ(env.nestedShows, 0);
}

TEST_F(RunDriverTest, FailingLastFileEndsThePassOrTheJob) {
  env.Add({kA, kB});
  settings.resolutionItems[k240x320].checked = true;
  env.failing = {kB};
  Start();
  Confirm();
  EXPECT_EQ(env.picture, (TPicture{kA, 240, 320}));
  Confirm();
  EXPECT_FALSE(env.visible);
  EXPECT_EQ(env.list.Count(), 0);
  EXPECT_EQ(Count("ReportError"), 2);
  EXPECT_EQ(saves, (Log{kA + " 176x220", kA + " 240x320"}));
}

TEST_F(RunDriverTest, EveryFileFailingWalksTheWholeJob) {
  env.Add({kA, kB, kC});
  settings.resolutionItems[k240x320].checked = true;
  env.failing = {kA, kB, kC};
  Start();
  EXPECT_EQ(Count("ReportError"), 6);
  EXPECT_EQ(Count("Show"), 2);
  EXPECT_EQ(env.nestedShows, 0);
  EXPECT_FALSE(env.visible);
  EXPECT_EQ(Count("clear"), 1);
  EXPECT_EQ(state.currentResolution, 1);
  EXPECT_EQ(Count("error box"), 0);
}

TEST_F(RunDriverTest, LongRunOfFailingFilesIsSkippedWithoutDeepeningTheStack) {
  env.Add({kA});
  for (int i = 0; i < 500; ++i) {
    env.failing.insert("/p/bad" + std::to_string(i) + ".jpg");
    env.Add({"/p/bad" + std::to_string(i) + ".jpg"});
  }
  Start();
  env.openFrames.clear();
  Confirm();
  EXPECT_FALSE(env.visible);
  ASSERT_EQ(env.openFrames.size(), 500u);
  const auto [low, high] = std::minmax_element(env.openFrames.begin(), env.openFrames.end());
  // Recursing once per skipped file would spread 500 calls over tens of kilobytes.
  EXPECT_LT(*high - *low, 4096u);
}

// --- Skip and back ---

// Passing over a file moves the run on exactly as its save does: the same calls in the same
// order, at the last file of a pass and of the job too; only nothing is saved.
TEST_F(RunDriverTest, SkipMovesOnExactlyAsASave) {
  const auto walk = [](bool skipping) {
    TJobState state;
    TSettingsValues settings;
    FakeSurroundings env{state, settings};
    TRunDriver driver{state, env, env};
    env.Attach(driver);
    settings.resolutionItems[k240x320].checked = true;
    env.Add({kA, kB, kC});
    env.Guard([&] { driver.SpeedButton5Click(); });
    std::vector<int32_t> positions;
    while (env.visible && positions.size() < 10) {
      env.Guard([&] { skipping ? driver.skip() : driver.next(TPlace{3, 3}); });
      positions.push_back(env.position);
    }
    EXPECT_FALSE(env.visible);
    EXPECT_EQ(env.list.Count(), 0);
    EXPECT_EQ(positions, (std::vector<int32_t>{1, 2, 0, 1, 2, 0}));
    return env.log;
  };
  EXPECT_EQ(walk(true), walk(false));
}

TEST_F(RunDriverTest, BackShowsThePreviousFileWithWhereItWasConfirmed) {
  env.Add({kA, kB, kC});
  Start();
  EXPECT_FALSE(driver.back());
  env.Guard([&] { driver.next(TPlace{40, 13}); });
  env.Guard([&] { driver.skip(); });
  ASSERT_EQ(driver.fileIndex(), 2);
  EXPECT_EQ(env.position, 2);

  struct TBack {
    int32_t index;
    std::optional<TPlace> place;
  };
  // b was skipped, so it has no place; a has the one it was saved at.
  for (const TBack expected : {TBack{1, std::nullopt}, TBack{0, TPlace{40, 13}}}) {
    SCOPED_TRACE(expected.index);
    env.log.clear();
    bool went = false;
    env.Guard([&] { went = driver.back(); });
    EXPECT_TRUE(went);
    const std::string path = env.list.Path(expected.index);
    EXPECT_EQ(env.Actions(), (Log{"SetProgressPosition(" + std::to_string(expected.index) + ")", "openfile(" + path + ")"}));
    EXPECT_EQ(driver.fileIndex(), expected.index);
    EXPECT_EQ(env.picture, (TPicture{path, 176, 220}));
    EXPECT_EQ(driver.ConfirmedPlace(), expected.place);
  }
  // The first file of the pass: nothing at all.
  env.log.clear();
  EXPECT_FALSE(driver.back());
  EXPECT_EQ(env.Actions(), Log{});
  EXPECT_EQ(driver.fileIndex(), 0);

  // Confirmed again elsewhere, a is shown with its new place; the run goes on from there.
  Confirm();
  env.Guard([&] { driver.next(TPlace{7, 2}); });
  env.Guard([&] { driver.back(); });
  EXPECT_EQ(driver.fileIndex(), 1);
  EXPECT_EQ(driver.ConfirmedPlace(), (TPlace{7, 2}));
  EXPECT_EQ(saves, (Log{kA + " 176x220"}));
}

TEST_F(RunDriverTest, BackStaysWithinThePass) {
  env.Add({kA, kB});
  settings.resolutionItems[k240x320].checked = true;
  Start();
  env.Guard([&] { driver.next(TPlace{5, 5}); });
  env.Guard([&] { driver.next(TPlace{6, 6}); });
  ASSERT_EQ(state.currentResolution, 2);
  ASSERT_EQ(driver.fileIndex(), 0);
  // File 0 of the new pass was confirmed in the last one only, at another size.
  EXPECT_EQ(driver.ConfirmedPlace(), std::nullopt);
  env.log.clear();
  EXPECT_FALSE(driver.back());
  EXPECT_EQ(env.Actions(), Log{});
  EXPECT_EQ(env.picture, (TPicture{kA, 240, 320}));
}

TEST_F(RunDriverTest, BackToAFileThatNoLongerOpensReturnsToTheOneOnScreen) {
  env.Add({kA, kB, kC});
  Start();
  Confirm();
  Confirm();
  env.failing = {kB};
  env.log.clear();
  env.Guard([&] { driver.back(); });
  EXPECT_EQ(env.Actions(), (Log{"SetProgressPosition(1)", "openfile(" + kB + ")", Cannot(kB), "SetProgressPosition(2)",
                                "openfile(" + kC + ")"}));
  EXPECT_EQ(driver.fileIndex(), 2);
  EXPECT_EQ(env.picture, (TPicture{kC, 176, 220}));
}

TEST_F(RunDriverTest, BackAfterFilesWereRemovedGoesToTheLastListed) {
  env.Add({kA, kB, kC});
  Start();
  Confirm();
  Confirm();
  env.RemoveLast();
  env.RemoveLast();
  env.Guard([&] { driver.back(); });
  EXPECT_EQ(driver.fileIndex(), 0);
  EXPECT_EQ(env.picture, (TPicture{kA, 176, 220}));
  env.RemoveLast();
  EXPECT_FALSE(driver.back());
  EXPECT_EQ(Count("error box"), 0);
}

// --- Errors the driver does not catch ---

TEST_F(RunDriverTest, OtherErrorsEndTheStepWithTheCountersWhereTheyWere) {
  env.Add({kA, kB});
  env.brokenPathIndex = 0;
  Start();
  // Reported by the guard of the show; the window is shown and Start goes on.
  EXPECT_EQ(env.Actions(), (Log{"Show", "error box(List index out of bounds (0))", "SetProgressMaximum(2)"}));
  EXPECT_TRUE(env.visible);
  EXPECT_FALSE(env.picture);

  env.brokenPathIndex = 1;
  env.CloseByUser();
  Start();
  env.log.clear();
  Confirm();
  EXPECT_EQ(env.Actions(), (Log{"SetProgressPosition(1)", "error box(List index out of bounds (1))"}));
  EXPECT_EQ(driver.fileIndex(), 1);
  EXPECT_EQ(env.picture->path, kA);
}

} // namespace
} // namespace qv::test
