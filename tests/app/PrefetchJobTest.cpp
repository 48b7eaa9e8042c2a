// Reading the next photo ahead changes nothing a user can tell: the same job, with files
// changed, removed and damaged along the way, gives the same pictures on screen, the same
// wallpapers, the same errors and the same progress with it as without it.

#include <QImage>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>

#include "AppTestSupport.h"

namespace qv::test {
namespace {

// What the user has before him after each step of the job.
struct TScreen {
  bool visible;
  int32_t fileIndex;
  QSize window;
  QImage picture;
  QRect frame;
  int32_t maximum;
  int32_t position;
  bool operator==(const TScreen&) const = default;
};

void PrintTo(const TScreen& s, std::ostream* out) {
  *out << (s.visible ? "shown" : "hidden") << " file " << s.fileIndex << " window " << s.window.width() << "x"
       << s.window.height() << " picture " << s.picture.width() << "x" << s.picture.height() << " frame "
       << s.frame.x() << "," << s.frame.y() << " " << s.frame.width() << "x" << s.frame.height() << " progress "
       << s.position << "/" << s.maximum;
}

struct TJobRecord {
  std::vector<TScreen> screens;
  std::vector<std::string> errors; // the test folder written as <folder>
  std::map<std::string, std::vector<uint8_t>> wallpapers;
  int32_t hits = 0;
};

TScreen Screen(TProgram& program) {
  TForm3& form3 = program.Form3();
  return {form3.isVisible(),
          program.Form1().Driver().fileIndex(),
          form3.size(),
          form3.Image1->Image(),
          form3.Shape1->geometry(),
          program.Form1().Maximum(),
          program.Form1().Position()};
}

// Five files, two sizes. The third is rewritten and the fourth removed while the file
// before each is on screen, after it was read ahead; the fifth is no JPEG at all.
TJobRecord RunJob(bool prefetching) {
  TProgram program;
  TForm3& form3 = program.Form3();
  form3.SetPrefetching(prefetching);
  // The files are written a moment before they are read.
  form3.Prefetch().SetSettleTime(std::chrono::nanoseconds(0));
  const std::string out = program.Path("out");
  std::filesystem::create_directory(out);
  const std::vector<std::string> sources = {program.Path("a.jpg"), program.Path("b.jpg"), program.Path("c.jpg"),
                                            program.Path("d.jpg"), program.Path("e.jpg")};
  WriteJpeg(sources[0], {900, 600});
  WriteJpeg(sources[1], {400, 700});
  WriteJpeg(sources[2], {250, 250});
  WriteJpeg(sources[3], {333, 222});
  std::ofstream(sources[4]) << "hello";
  program.ChooseOutputFolder(out);
  program.AddByDialog(sources);
  program.CheckResolution(27, true); // 320x240
  program.Form1().show();

  TJobRecord record;
  program.PressStart();
  record.screens.push_back(Screen(program));
  for (int press = 0; press < 10 && form3.isVisible(); ++press) {
    // Each file is changed once it has been read ahead, in the first pass.
    form3.Prefetch().Wait();
    if (press == 1)
      WriteJpeg(sources[2], {260, 250});
    if (press == 2)
      std::filesystem::remove(sources[3]);
    // Half a frame along the free axis from the start.
    const QPoint origin = form3.mapToGlobal(QPoint(0, 0));
    const TFrame& frame = form3.Model().Shape1;
    program.pointer.pos = form3.Model().fitWidth ? origin + QPoint(0, frame.height) : origin + QPoint(frame.width, 0);
    form3.Timer1Timer();
    QTest::mousePress(form3.Shape1, Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
    record.screens.push_back(Screen(program));
  }
  const std::string folder = program.folder.path().toStdString();
  for (std::string text : program.errorBox.texts) {
    for (size_t at = text.find(folder); at != std::string::npos; at = text.find(folder))
      text.replace(at, folder.size(), "<folder>");
    record.errors.push_back(text);
  }
  for (const auto& entry : std::filesystem::directory_iterator(out))
    record.wallpapers[entry.path().filename().string()] = ReadBytes(entry.path().string());
  record.hits = form3.Prefetch().Hits();
  return record;
}

TEST(PrefetchJob, SameScreensWallpapersErrorsAndProgressAsWithout) {
  const TJobRecord plain = RunJob(false);
  const TJobRecord ahead = RunJob(true);

  // The job itself: three good files twice, the removed and the damaged one reported twice.
  ASSERT_EQ(plain.wallpapers.size(), 6u);
  EXPECT_EQ(plain.errors, std::vector<std::string>({
                              "Cannot open file \"<folder>/d.jpg\". No such file or directory.",
                              "JPEG error #53.",
                              "Cannot open file \"<folder>/d.jpg\". No such file or directory.",
                              "JPEG error #53.",
                          }));
  EXPECT_EQ(plain.screens.back().visible, false);
  EXPECT_EQ(plain.hits, 0);

  EXPECT_EQ(ahead.errors, plain.errors);
  ASSERT_EQ(ahead.screens.size(), plain.screens.size());
  for (size_t step = 0; step < plain.screens.size(); ++step)
    EXPECT_EQ(ahead.screens[step], plain.screens[step]) << "after press " << step;
  EXPECT_EQ(ahead.wallpapers, plain.wallpapers);
  // b in the first pass; a, b and the rewritten c in the second. The first file of the job,
  // the file changed after its read, the removed and the damaged one are read in their turn.
  EXPECT_EQ(ahead.hits, 4);
}

TEST(PrefetchJob, ProgramEndsWithAReadUnderWay) {
  const auto start = std::chrono::steady_clock::now();
  {
    TProgram program;
    program.Form3().Prefetch().SetSettleTime(std::chrono::nanoseconds(0));
    WriteJpeg(program.Path("small.jpg"), {300, 200});
    WriteJpeg(program.Path("large.jpg"), {3000, 2000});
    program.ChooseOutputFolder(program.Path(""));
    program.AddByDialog({program.Path("small.jpg"), program.Path("large.jpg")});
    program.PressStart();
    ASSERT_TRUE(program.Form3().isVisible());
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

} // namespace
} // namespace qv::test
