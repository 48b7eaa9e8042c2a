// The crop window without the mouse and through a long job: the keys that place the frame,
// Return, Space and Backspace, the caption that says where the run is, and tracking from the
// window's own pointer events where the platform cannot say where the pointer is.

#include <QApplication>
#include <QEnterEvent>
#include <QGuiApplication>
#include <QListWidget>
#include <QScreen>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <filesystem>

#include "AppTestSupport.h"

namespace qv::test {
namespace {

struct TKey {
  Qt::Key key;
  Qt::KeyboardModifiers modifiers = Qt::NoModifier;
};

// Keys pressed from wherever the frame stands, and where they leave it: at v in the view and
// at the full-size offset N, worked out by hand from the sizes in the row.
struct TKeysCase {
  std::vector<TKey> keys;
  int32_t v;
  int32_t offset;
};

struct TKeysRow {
  const char* what;
  qvtest::TJpegKind photo;
  TResolution size;
  bool scaled;
  bool vertical;
  std::vector<TKeysCase> cases;
};

const Qt::KeyboardModifiers kShift = Qt::ShiftModifier;

// Each case is one photo of its own, placed by keys alone and confirmed with Return (the
// keypad's Enter for the last one); every wallpaper is the one quarvelle-cut --offset N writes.
TEST(CropKeys, KeysPlaceTheFrameWithinTheEndsAndReturnConfirmsIt) {
  // 500 x 300 at 176x220: 367 x 220, travel 191, Shift moves round(36.7) = 37.
  // 300 x 500 at 176x220: 176 x 293, travel 73, Shift moves round(29.3) = 29.
  // 3000 x 2000 at 1080x2400: 3600 x 2400 shown as 1194 x 796, frame 358, travel 836 for
  //   2520, Shift moves round(119.4) = 119; v 121 is 365 (364.7), v 717 is 2161 (2161.3).
  // 1000 x 3000 at 1080x2400: 1080 x 3240 shown as 265 x 796, frame 590, travel 206 for 840,
  //   Shift moves round(79.6) = 80; v 82 is 334 (334.4), v 126 is 514 (513.8).
  const TKeysRow rows[] = {
      {"unscaled, horizontal", {500, 300}, {176, 220}, false, false,
       {{{{Qt::Key_End}}, 191, 191},
        {{{Qt::Key_End}, {Qt::Key_Right}, {Qt::Key_Right, kShift}}, 191, 191},
        {{{Qt::Key_Home}, {Qt::Key_Left}, {Qt::Key_Right}, {Qt::Key_Right}, {Qt::Key_Right, kShift}}, 39, 39},
        {{{Qt::Key_End}, {Qt::Key_Left, kShift}, {Qt::Key_Down}, {Qt::Key_Up}}, 154, 154},
        {{{Qt::Key_End}, {Qt::Key_Home}, {Qt::Key_Left, kShift}}, 0, 0}}},
      {"unscaled, vertical", {300, 500}, {176, 220}, false, true,
       {{{{Qt::Key_End}, {Qt::Key_Down, kShift}}, 73, 73},
        {{{Qt::Key_Home}, {Qt::Key_Down}, {Qt::Key_Down}, {Qt::Key_Down, kShift}, {Qt::Key_Right}}, 31, 31},
        {{{Qt::Key_End}, {Qt::Key_Up, kShift}, {Qt::Key_Left}}, 44, 44},
        {{{Qt::Key_Home}, {Qt::Key_Up}}, 0, 0}}},
      {"scaled, horizontal", {3000, 2000}, {1080, 2400}, true, false,
       {{{{Qt::Key_End}}, 836, 2520},
        {{{Qt::Key_Home}, {Qt::Key_Right}, {Qt::Key_Right}, {Qt::Key_Right, kShift}}, 121, 365},
        {{{Qt::Key_End}, {Qt::Key_Left, kShift}, {Qt::Key_Right, kShift}, {Qt::Key_Left, kShift}}, 717, 2161},
        {{{Qt::Key_Home}, {Qt::Key_Left}}, 0, 0}}},
      {"scaled, vertical", {1000, 3000}, {1080, 2400}, true, true,
       {{{{Qt::Key_End}, {Qt::Key_Down}}, 206, 840},
        {{{Qt::Key_Home}, {Qt::Key_Down}, {Qt::Key_Down}, {Qt::Key_Down, kShift}}, 82, 334},
        {{{Qt::Key_End}, {Qt::Key_Up, kShift}}, 126, 514},
        {{{Qt::Key_Home}}, 0, 0}}},
  };
  for (const TKeysRow& row : rows) {
    SCOPED_TRACE(row.what);
    TProgram program;
    TForm1& form1 = program.Form1();
    TForm3& form3 = program.Form3();
    const std::string out = program.Path("out");
    std::filesystem::create_directory(out);
    program.ChooseOutputFolder(out);
    std::vector<std::string> paths;
    for (size_t i = 0; i < row.cases.size(); ++i)
      paths.push_back(WriteJpeg(program.Path(QString("p%1.jpg").arg(i).toStdString()), row.photo));
    program.AddByDialog(paths);
    if (row.scaled) {
      program.dialogs.sizeAnswers.push_back("1080x2400");
      program.Form2().SpeedButton3->click();
      program.CheckResolution(21, false);
    }
    form1.show();
    program.PressStart();
    for (size_t i = 0; i < row.cases.size(); ++i) {
      const TKeysCase& keys = row.cases[i];
      SCOPED_TRACE(i);
      ASSERT_TRUE(form3.isVisible());
      ASSERT_EQ(form1.Driver().fileIndex(), static_cast<int32_t>(i));
      ASSERT_EQ(form3.Scale().Scaled(), row.scaled);
      ASSERT_EQ(form3.Model().fitWidth, row.vertical);
      for (const TKey& key : keys.keys)
        QTest::keyClick(&form3, key.key, key.modifiers);
      const TFrame frame = form3.Model().Shape1;
      EXPECT_EQ(row.vertical ? frame.top : frame.left, keys.offset);
      EXPECT_EQ(row.vertical ? frame.left : frame.top, 0);
      const QPoint view = row.vertical ? QPoint(0, keys.v) : QPoint(keys.v, 0);
      EXPECT_EQ(form3.Shape1->pos(), view);

      const bool last = i + 1 == row.cases.size();
      QTest::keyClick(&form3, last ? Qt::Key_Enter : Qt::Key_Return, last ? Qt::KeypadModifier : Qt::NoModifier);
      const std::string output =
          QString("%1/p%2-%3x%4.JPG").arg(QString::fromStdString(out)).arg(i).arg(row.size.width).arg(row.size.height).toStdString();
      ASSERT_TRUE(std::filesystem::exists(output));
      EXPECT_EQ(ReadBytes(output),
                CutToolBytes(paths[i], row.size.width, row.size.height, keys.offset, program.Path("reference.jpg")));
    }
    EXPECT_FALSE(form3.isVisible());
    EXPECT_TRUE(program.errorBox.texts.empty());
  }
}

// Three photos listed at two sizes, walked with Return, Space and Backspace.
class CropRun : public ::testing::Test {
protected:
  void SetUp() override {
    std::filesystem::create_directory(Out());
    for (const char* name : {"alpha.jpg", "beta.jpg", "gamma.jpg"})
      WriteJpeg(program.Path(name), {500, 300});
    program.ChooseOutputFolder(Out());
    program.AddByDialog({program.Path("alpha.jpg"), program.Path("beta.jpg"), program.Path("gamma.jpg")});
    program.CheckResolution(5, true); // 101x67, before 176x220
    program.Form1().show();
  }

  std::string Out() const { return program.Path("out"); }

  std::vector<std::string> Written() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(Out()))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  void Key(Qt::Key key) { QTest::keyClick(&program.Form3(), key); }

  // Where the run is: the caption, the file on screen, the progress bar.
  void ExpectAt(const char* caption, int32_t file, int32_t position) {
    EXPECT_TRUE(program.Form3().isVisible());
    EXPECT_EQ(program.Form3().windowTitle(), QString::fromUtf8(caption));
    EXPECT_EQ(program.Form1().Driver().fileIndex(), file);
    EXPECT_EQ(program.Form1().Position(), position);
  }

  TProgram program;
};

TEST_F(CropRun, SpaceSkipsAndBackspaceGoesBackWithTheCaptionAtEveryStep) {
  TForm3& form3 = program.Form3();
  program.PressStart();
  // The window takes the keyboard when it shows.
  EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == &form3; }, 2000));
  // 500 x 300 at 101x67 is 112 x 67.
  ASSERT_EQ(form3.size(), QSize(112, 67));
  ExpectAt("Ручная обработка — 101x67, 1 / 3", 0, 0);

  Key(Qt::Key_End);
  Key(Qt::Key_Return);
  const std::string alpha = Out() + "/alpha-101x67.JPG";
  const Bytes first = ReadBytes(alpha);
  EXPECT_EQ(first, CutToolBytes(program.Path("alpha.jpg"), 101, 67, 11, program.Path("reference.jpg")));
  ExpectAt("Ручная обработка — 101x67, 2 / 3", 1, 1);
  Key(Qt::Key_Space);
  ExpectAt("Ручная обработка — 101x67, 3 / 3", 2, 2);
  EXPECT_EQ(Written(), std::vector<std::string>{"alpha-101x67.JPG"});

  // Back to the skipped photo: its frame follows the pointer as for any photo shown.
  Key(Qt::Key_Backspace);
  ExpectAt("Ручная обработка — 101x67, 2 / 3", 1, 1);
  program.pointer.pos = form3.mapToGlobal(QPoint(40 + 50, 5));
  form3.Timer1Timer();
  EXPECT_EQ(form3.Model().Shape1.left, 40);

  // Back to the saved one: the frame where it was confirmed, until the pointer moves.
  Key(Qt::Key_Backspace);
  ExpectAt("Ручная обработка — 101x67, 1 / 3", 0, 0);
  EXPECT_EQ(form3.Model().Shape1.left, 11);
  form3.Timer1Timer();
  EXPECT_EQ(form3.Model().Shape1.left, 11);
  program.pointer.pos += QPoint(3, 0);
  form3.Timer1Timer();
  EXPECT_EQ(form3.Model().Shape1.left, 43);
  // The first photo of the pass: Backspace does nothing.
  Key(Qt::Key_Backspace);
  ExpectAt("Ручная обработка — 101x67, 1 / 3", 0, 0);

  // A press now replaces the file written before, with the region under the frame now.
  QTest::mousePress(form3.Shape1, Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
  EXPECT_EQ(ReadBytes(alpha), CutToolBytes(program.Path("alpha.jpg"), 101, 67, 43, program.Path("reference.jpg")));
  EXPECT_NE(ReadBytes(alpha), first);
  EXPECT_EQ(Written(), std::vector<std::string>{"alpha-101x67.JPG"});
  ExpectAt("Ручная обработка — 101x67, 2 / 3", 1, 1);

  // Space at the last photo of the pass opens the next pass.
  Key(Qt::Key_Space);
  Key(Qt::Key_Space);
  ExpectAt("Ручная обработка — 176x220, 1 / 3", 0, 0);
  Key(Qt::Key_Backspace);
  ExpectAt("Ручная обработка — 176x220, 1 / 3", 0, 0);
  // The list grows during the pass: the caption counts it at once.
  WriteJpeg(program.Path("delta.jpg"), {500, 300});
  program.AddByDialog({program.Path("delta.jpg")});
  ExpectAt("Ручная обработка — 176x220, 1 / 4", 0, 0);

  // And at the last photo of the job it ends the job.
  for (int i = 0; i < 4; ++i)
    Key(Qt::Key_Space);
  EXPECT_FALSE(form3.isVisible());
  EXPECT_EQ(program.Form1().ListBox1->count(), 0);
  EXPECT_EQ(program.Form1().Position(), 0);
  EXPECT_EQ(Written(), std::vector<std::string>{"alpha-101x67.JPG"});
  EXPECT_TRUE(program.errorBox.texts.empty());
}

// Under screen-wide tracking too, the keys' place stands while the pointer stands still.
TEST_F(CropRun, KeysHoldTheFrameUntilThePointerMoves) {
  TForm3& form3 = program.Form3();
  program.PressStart();
  program.pointer.pos = form3.mapToGlobal(QPoint(60, 5));
  ASSERT_TRUE(QTest::qWaitFor([&] { return form3.Shape1->x() == 60 - 50; }, 2000));
  Key(Qt::Key_Home);
  QTest::qWait(50);
  EXPECT_EQ(form3.Shape1->x(), 0);
  program.pointer.pos += QPoint(0, 1);
  EXPECT_TRUE(QTest::qWaitFor([&] { return form3.Shape1->x() == 10; }, 2000)) << form3.Shape1->x();
  // A held key repeats its move but confirms only once.
  QKeyEvent repeated(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QString(), true);
  QApplication::sendEvent(&form3, &repeated);
  EXPECT_EQ(program.Form1().Driver().fileIndex(), 0);
  EXPECT_TRUE(Written().empty());
}

// Tracking from the window's own pointer events, as under Wayland.
TEST_F(CropRun, WithoutAScreenWidePointerTheFrameFollowsTheWindowsOwnPointerEvents) {
  TForm3& form3 = program.Form3();
  program.pointer.screenWide = false;
  program.CheckResolution(5, false);
  program.PressStart();
  // 367 x 220 at 176x220: before the pointer has been over it, the frame stands in the
  // middle, at round(191 / 2) = 96, and no tick moves it.
  ASSERT_EQ(form3.size(), QSize(367, 220));
  EXPECT_EQ(form3.Shape1->x(), 96);
  program.pointer.pos = QPoint(3, 3);
  form3.Timer1Timer();
  EXPECT_EQ(form3.Shape1->x(), 96);

  const auto enter = [&](QPoint at) {
    QEnterEvent event(at, form3.mapToGlobal(at), form3.mapToGlobal(at));
    QApplication::sendEvent(&form3, &event);
  };
  // Through the window system's entry point, as a compositor's pointer events arrive; at is
  // in the client area.
  const auto move = [&](QPoint at) { QTest::mouseMove(form3.windowHandle(), at); };
  const auto leave = [&] {
    QEvent event(QEvent::Leave);
    QApplication::sendEvent(&form3, &event);
  };
  struct TStep {
    const char* what;
    std::function<void()> act;
    int32_t left;
  };
  const TStep steps[] = {
      {"enter", [&] { enter({250, 40}); }, 250 - 88},
      {"move over the picture", [&] { move({100, 30}); }, 100 - 88},
      {"move over the frame", [&] { move({12 + 5, 5}); }, 12 + 5 - 88},
      {"leave", [&] { leave(); }, -71},
      {"tick while outside", [&] { form3.Timer1Timer(); }, -71},
      {"enter again", [&] { enter({200, 10}); }, 200 - 88},
      {"End", [&] { Key(Qt::Key_End); }, 191},
      {"a move to where the pointer stands", [&] { move({200, 10}); }, 191},
      {"a move", [&] { move({201, 10}); }, 201 - 88},
  };
  for (const TStep& step : steps) {
    SCOPED_TRACE(step.what);
    step.act();
    EXPECT_EQ(form3.Model().Shape1.left, step.left);
    EXPECT_EQ(form3.Shape1->x(), step.left);
  }

  // The next photo, confirmed with the pointer inside, starts under it.
  Key(Qt::Key_Return);
  EXPECT_EQ(form3.Model().Shape1.left, 201 - 88);
  // Shown again with the pointer outside it stands in the middle; the first position known
  // after the showing puts it under the pointer.
  form3.close();
  program.PressStart();
  ASSERT_TRUE(form3.isVisible());
  EXPECT_EQ(form3.Model().Shape1.left, 96);
  enter({30, 30});
  EXPECT_EQ(form3.Model().Shape1.left, 30 - 88);
  EXPECT_TRUE(program.errorBox.texts.empty());
}

// Where Qt knows no decoration of the compositor's, the scaled window keeps 64 x 8 pixels
// of room for it: 3600 x 2400 in 1272 x 736 is shown at 736 / 2400 as 1104 x 736.
TEST_F(CropRun, WithoutAScreenWidePointerTheScaledWindowKeepsRoomForTheDecoration) {
  TForm3& form3 = program.Form3();
  program.pointer.screenWide = false;
  program.Form1().Files().clear();
  WriteJpeg(program.Path("wide.jpg"), {3000, 2000});
  program.AddByDialog({program.Path("wide.jpg")});
  program.dialogs.sizeAnswers.push_back("1080x2400");
  program.Form2().SpeedButton3->click();
  program.CheckResolution(5, false);
  program.CheckResolution(21, false);
  program.PressStart();
  ASSERT_TRUE(form3.isVisible());
  EXPECT_EQ(form3.size(), QSize(1104, 736));
  EXPECT_EQ(form3.windowTitle(), "Ручная обработка — 1080x2400, 1 / 1 — 30%");
  const QRect decorated(form3.pos(), form3.size().grownBy(QMargins(4, 62, 4, 2)));
  EXPECT_TRUE(QGuiApplication::primaryScreen()->availableGeometry().contains(decorated))
      << decorated.x() << "," << decorated.y();
  Key(Qt::Key_End);
  EXPECT_EQ(form3.Model().Shape1.left, 2520);
}

} // namespace
} // namespace qv::test
