// The crop window: tracking along the free axis, presses on and beside the frame, a
// whole job driven by presses, placement, and the error box for a failed confirmation.

#include <QCheckBox>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "AppTestSupport.h"
#include "imaging/Fit.h"
#include "imaging/JPEGImage.h"

namespace qv::test {
namespace {

struct TTrackingRow {
  bool fitWidth;
  int32_t width;
  int32_t height;
  int32_t half; // half the frame's size along the free axis, rounded half to even
};

// The frame's centre sits under the pointer, measured from the client area's origin.
TEST(CropWindow, FrameFollowsThePointerAlongTheFreeAxisOnly) {
  const TTrackingRow rows[] = {
      {false, 176, 220, 88}, {false, 69, 65, 34}, {false, 101, 67, 50}, {false, 65, 65, 32},
      {true, 65, 65, 32},    {true, 101, 67, 34}, {true, 128, 115, 58}, {true, 32, 32, 16},
  };
  TProgram program;
  TForm3& form3 = program.Form3();
  form3.Timer1->stop();
  for (const bool shown : {false, true}) {
    if (shown)
      form3.move(120, 90);
    form3.setVisible(shown);
    for (const TTrackingRow& row : rows) {
      SCOPED_TRACE(testing::Message() << (shown ? "shown " : "hidden ") << (row.fitWidth ? "vertical " : "horizontal ")
                                      << row.width << "x" << row.height);
      form3.Model().fitWidth = row.fitWidth;
      form3.Model().Shape1 = {0, 0, row.width, row.height};
      const QPoint origin = form3.mapToGlobal(QPoint(0, 0));
      // Far outside the window too: nothing clamps the frame.
      for (const QPoint pointer : {QPoint(400, 300), QPoint(3, 2), QPoint(1500, 1200)}) {
        program.pointer.pos = pointer;
        form3.Timer1Timer();
        const TFrame& frame = form3.Model().Shape1;
        if (row.fitWidth) {
          EXPECT_EQ(frame.top, pointer.y() - origin.y() - row.half);
          EXPECT_EQ(frame.left, 0);
        } else {
          EXPECT_EQ(frame.left, pointer.x() - origin.x() - row.half);
          EXPECT_EQ(frame.top, 0);
        }
        EXPECT_EQ(form3.Shape1->geometry(), QRect(frame.left, frame.top, frame.width, frame.height));
      }
    }
  }
}

TEST(CropWindow, TimerMovesTheFrameOfAHiddenWindowByItself) {
  TProgram program;
  TForm3& form3 = program.Form3();
  ASSERT_FALSE(form3.isVisible());
  ASSERT_FALSE(form3.Model().fitWidth);
  const QPoint origin = form3.mapToGlobal(QPoint(0, 0));
  program.pointer.pos = origin + QPoint(250, 40);
  // The frame is 65 wide before any file: half of it is 32.
  EXPECT_TRUE(QTest::qWaitFor([&] { return form3.Shape1->x() == 250 - 32; }, 2000)) << form3.Shape1->x();
  program.pointer.pos = origin + QPoint(10, 40);
  EXPECT_TRUE(QTest::qWaitFor([&] { return form3.Shape1->x() == 10 - 32; }, 2000)) << form3.Shape1->x();
  EXPECT_EQ(form3.Shape1->y(), 16);
}

// Three photos of different shapes in one folder, listed, with the output folder chosen.
class CropJob : public ::testing::Test {
protected:
  void SetUp() override {
    std::filesystem::create_directory(Out());
    WriteJpeg(program.Path("alpha.jpg"), {500, 300});
    WriteJpeg(program.Path("Берёза.jpg"), {300, 500});
    WriteJpeg(program.Path("gamma.jpg"), {250, 250});
    program.ChooseOutputFolder(Out());
    program.AddByDialog({program.Path("alpha.jpg"), program.Path("Берёза.jpg"), program.Path("gamma.jpg")});
    program.Form1().show();
  }

  std::string Out() const { return program.Path("out"); }

  // Moves the pointer so that the frame's free coordinate becomes offset, and lets one tick
  // run. The window takes half the frame rounded half to even, and so does the aim.
  TFrame PlaceFrame(int32_t offset) {
    TForm3& form3 = program.Form3();
    const QPoint origin = form3.mapToGlobal(QPoint(0, 0));
    TFrame& frame = form3.Model().Shape1;
    const bool vertical = form3.Model().fitWidth;
    const int32_t half = RoundHalfEven((vertical ? frame.height : frame.width) / 2.0L);
    program.pointer.pos = vertical ? QPoint(origin.x(), origin.y() + offset + half)
                                   : QPoint(origin.x() + offset + half, origin.y());
    form3.Timer1Timer();
    EXPECT_EQ(vertical ? frame.top : frame.left, offset);
    return frame;
  }

  void PressFrame(Qt::MouseButton button) {
    QTest::mousePress(program.Form3().Shape1, button, Qt::NoModifier, QPoint(3, 3));
    QTest::mouseRelease(program.Form3().Shape1, button, Qt::NoModifier, QPoint(3, 3));
  }

  TProgram program;
};

TEST_F(CropJob, StartShowsTheFirstFileFittedBeforeShowReturns) {
  TForm3& form3 = program.Form3();
  program.PressStart();
  ASSERT_TRUE(form3.isVisible());
  // 500 x 300 for 176 x 220 is fitted to the height: 367 x 220, frame at 0, 0, and shown
  // as it is, the caption without a scale.
  EXPECT_EQ(form3.size(), QSize(367, 220));
  EXPECT_FALSE(form3.Scale().Scaled());
  EXPECT_EQ(form3.windowTitle(), "Ручная обработка — 176x220, 1 / 3");
  EXPECT_FALSE(form3.Model().fitWidth);
  EXPECT_EQ(form3.Image1->size(), QSize(367, 220));
  ASSERT_EQ(form3.Image1->Image().size(), QSize(367, 220));
  // The picture is shown unscaled, red in the third byte of each pixel.
  TPixelImage shown = form3.Model().displayed.GetPixels();
  for (const QPoint at : {QPoint(0, 0), QPoint(200, 100), QPoint(366, 219)}) {
    const TBGR expected = shown.Pixel(at.x(), at.y());
    const QColor colour = form3.Image1->Image().pixelColor(at);
    EXPECT_EQ(colour, QColor(expected.r, expected.g, expected.b)) << at.x() << "," << at.y();
  }
  EXPECT_EQ(form3.Shape1->geometry(), QRect(0, 0, 176, 220));
  EXPECT_EQ(program.Form1().Maximum(), 3);
  EXPECT_EQ(program.Form1().Position(), 0);

  // Placed at the first showing in the middle of all screens together.
  QRect desktop;
  for (const QScreen* screen : QGuiApplication::screens())
    desktop = desktop.united(screen->geometry());
  const QSize outer = form3.frameGeometry().size();
  EXPECT_EQ(form3.frameGeometry().topLeft(),
            desktop.topLeft() + QPoint(std::max(0, (desktop.width() - outer.width()) / 2),
                                       std::max(0, (desktop.height() - outer.height()) / 2)));
  // Closed and started again, it comes back where the user left it, at file 0.
  form3.move(30, 40);
  const QPoint left = form3.pos();
  PlaceFrame(20);
  PressFrame(Qt::LeftButton);
  form3.close();
  EXPECT_FALSE(form3.isVisible());
  program.PressStart();
  EXPECT_TRUE(form3.isVisible());
  EXPECT_EQ(form3.pos(), left);
  EXPECT_EQ(program.Form1().Driver().fileIndex(), 0);
  EXPECT_TRUE(program.errorBox.texts.empty());
}

TEST_F(CropJob, AnyButtonOnTheFrameConfirmsAndAPressBesideItDoesNothing) {
  TForm3& form3 = program.Form3();
  TRunDriver& driver = program.Form1().Driver();
  program.PressStart();
  const std::string names[] = {"alpha-176x220.JPG", "Beryoza-176x220.JPG", "gamma-176x220.JPG"};
  const Qt::MouseButton buttons[] = {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton};
  for (int file = 0; file < 3; ++file) {
    SCOPED_TRACE(names[file]);
    ASSERT_TRUE(form3.isVisible());
    const TFrame frame = PlaceFrame(0);
    // Beside the frame, on the picture: below a vertical frame or right of a horizontal one.
    const QPoint beside = form3.Model().fitWidth ? QPoint(10, frame.height + 10) : QPoint(frame.width + 10, 10);
    ASSERT_LT(beside.x(), form3.Image1->width());
    ASSERT_LT(beside.y(), form3.Image1->height());
    QTest::mousePress(&form3, buttons[file], Qt::NoModifier, beside);
    QTest::mouseRelease(&form3, buttons[file], Qt::NoModifier, beside);
    EXPECT_EQ(driver.fileIndex(), file);
    EXPECT_FALSE(std::filesystem::exists(Out() + "/" + names[file]));

    PressFrame(buttons[file]);
    EXPECT_TRUE(std::filesystem::exists(Out() + "/" + names[file]));
  }
  EXPECT_FALSE(form3.isVisible());
  EXPECT_EQ(program.Form1().ListBox1->count(), 0);
  EXPECT_TRUE(program.errorBox.texts.empty());
}

// The bytes quarvelle-cut writes for the same source, size and frame offset.
std::vector<uint8_t> ReferenceCut(const std::string& source, const TResolution& size, const TFrame& frame,
                                  const std::string& output) {
  return CutToolBytes(source, size.width, size.height, frame.left != 0 ? frame.left : frame.top, output);
}

TEST_F(CropJob, ThreePhotosAtThreeSizesGiveNineWallpapers) {
  TForm1& form1 = program.Form1();
  TForm3& form3 = program.Form3();
  // In list order: an odd frame, whose half rounds to even, then 176x220 and 320x240.
  program.CheckResolution(5, true); // 101x67
  program.CheckResolution(27, true);
  program.PressStart();

  struct TSaved {
    std::string source;
    std::string output;
    TResolution size;
    TFrame frame;
  };
  std::vector<TSaved> saved;
  std::vector<int32_t> progress;
  const std::vector<std::string> sources = {"alpha.jpg", "Берёза.jpg", "gamma.jpg"};
  const std::vector<std::string> names = {"alpha", "Beryoza", "gamma"};
  for (const TResolution size : {TResolution{101, 67}, TResolution{176, 220}, TResolution{320, 240}}) {
    for (size_t file = 0; file < sources.size(); ++file) {
      ASSERT_TRUE(form3.isVisible());
      ASSERT_EQ(form1.Driver().fileIndex(), static_cast<int32_t>(file));
      ASSERT_EQ(form3.Model().Shape1.width, size.width);
      ASSERT_EQ(form3.Model().Shape1.height, size.height);
      const TFrame frame = PlaceFrame(static_cast<int32_t>(7 + 11 * file));
      const std::string output = Out() + "/" + names[file] + "-" + std::to_string(size.width) + "x" +
                                 std::to_string(size.height) + ".JPG";
      saved.push_back({program.Path(sources[file]), output, size, frame});
      PressFrame(Qt::LeftButton);
      progress.push_back(form1.Position());
    }
  }
  EXPECT_FALSE(form3.isVisible());
  EXPECT_EQ(form1.ListBox1->count(), 0);
  EXPECT_EQ(form1.StatusPanel0->text(), "Файлов: 0");
  EXPECT_EQ(progress, std::vector<int32_t>({1, 2, 0, 1, 2, 0, 1, 2, 0}));
  EXPECT_TRUE(program.errorBox.texts.empty());

  ASSERT_EQ(saved.size(), 9u);
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(Out()))
    files += entry.is_regular_file() ? 1 : 0;
  EXPECT_EQ(files, 9u);
  for (const TSaved& item : saved) {
    SCOPED_TRACE(item.output);
    ASSERT_TRUE(std::filesystem::exists(item.output));
    TJPEGImage written;
    written.ReadJpegFile(item.output);
    EXPECT_EQ(written.Width(), item.size.width);
    EXPECT_EQ(written.Height(), item.size.height);
    // The frame travelled: a vertical frame of a portrait photo, horizontal otherwise.
    EXPECT_NE(item.frame.left + item.frame.top, 0);
    EXPECT_EQ(ReadBytes(item.output), ReferenceCut(item.source, item.size, item.frame, program.Path("reference.jpg")));
  }
}

// Two phone photos stored sideways with orientation 6: the first is shown upright; the box
// switched off before the press, unapplied, shows the second as stored, although it was read
// ahead turned. The wallpapers carry no EXIF block.
TEST_F(CropJob, TurnSettingAppliesFromTheNextPhotoOpened) {
  TForm3& form3 = program.Form3();
  for (const char* name : {"alpha.jpg", "Берёза.jpg"})
    WriteBytes(program.Path(name), WithOrientation(ReadBytes(program.Path(name)), 6));
  program.PressStart();
  ASSERT_TRUE(form3.isVisible());
  // 500 x 300 turned is 300 x 500, fitted to the width.
  EXPECT_EQ(form3.size(), QSize(176, 293));
  EXPECT_EQ(form3.Model().orientation, 6);
  form3.Prefetch().Wait();
  const int32_t hits = form3.Prefetch().Hits();

  program.Form2().CheckBox7->setChecked(false);
  PressFrame(Qt::LeftButton);
  ASSERT_EQ(program.Form1().Driver().fileIndex(), 1);
  // 300 x 500 as stored, also fitted to the width; turned it would be 367 x 220.
  EXPECT_EQ(form3.size(), QSize(176, 293));
  EXPECT_EQ(form3.Model().orientation, 1);
  EXPECT_EQ(form3.Prefetch().Hits(), hits);
  EXPECT_FALSE(program.Form1().State().orientByExif);
  PressFrame(Qt::LeftButton);

  for (const char* name : {"alpha-176x220.JPG", "Beryoza-176x220.JPG"}) {
    const Bytes written = ReadBytes(Out() + "/" + name);
    EXPECT_EQ(FindMarker(written, 0xE1), std::string::npos) << name;
  }
  EXPECT_TRUE(program.errorBox.texts.empty());
}

TEST_F(CropJob, FailedConfirmationGoesToTheErrorBoxAndKeepsTheFileOnScreen) {
  TForm3& form3 = program.Form3();
  TForm1& form1 = program.Form1();
  program.ChooseOutputFolder("/nonexistent-quarvelle-folder");
  program.PressStart();
  PlaceFrame(5);
  PressFrame(Qt::LeftButton);
  ASSERT_EQ(program.errorBox.texts.size(), 1u);
  EXPECT_EQ(program.errorBox.texts[0],
            "Cannot create file \"/nonexistent-quarvelle-folder/alpha-176x220.JPG\". No such file or directory.");
  EXPECT_TRUE(form3.isVisible());
  EXPECT_EQ(form1.Driver().fileIndex(), 0);
  EXPECT_EQ(form1.Position(), 0);

  // A message ending in ")" gets no full stop: the listed files are gone mid-run.
  while (form1.ListBox1->count() > 0) {
    form1.ListBox1->setCurrentRow(0);
    form1.SpeedButton2->click();
  }
  PressFrame(Qt::LeftButton);
  ASSERT_EQ(program.errorBox.texts.size(), 2u);
  EXPECT_EQ(program.errorBox.texts[1], "List index out of bounds (0)");
  EXPECT_TRUE(form3.isVisible());
}

// A photo fitted to 1080x2400 is far larger than the offscreen screen of 1280 x 800, whose
// windows have a frame of 2 pixels all round: the room is 1276 x 796.
//   3000 x 2000 is fitted to 3600 x 2400, shown at 796 / 2400: view 1194 x 796, frame 358 x 796
//   (358.2), so view positions 0 .. 836 stand for offsets 0 .. 2520, 418 for 1260 exactly.
//   1000 x 3000 is fitted to 1080 x 3240, shown at 796 / 3240: view 265 x 796, frame 265 x 590
//   (589.6), positions 0 .. 206 for offsets 0 .. 840, 103 for 420, 50 for 204 (203.9).
TEST_F(CropJob, ScaledWindowFitsTheScreenAndCutsAtFullSize) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  ASSERT_EQ(screen->geometry(), QRect(0, 0, 1280, 800));
  TForm1& form1 = program.Form1();
  TForm2& form2 = program.Form2();
  TForm3& form3 = program.Form3();
  form1.Files().clear();
  const std::vector<std::string> names = {"wide", "wide2", "wide3", "tall", "tall2"};
  for (size_t i = 0; i < names.size(); ++i)
    WriteJpeg(program.Path(names[i] + ".jpg"), i < 3 ? qvtest::TJpegKind{3000, 2000} : qvtest::TJpegKind{1000, 3000});
  std::vector<std::string> paths;
  for (const std::string& name : names)
    paths.push_back(program.Path(name + ".jpg"));
  program.AddByDialog(paths);
  program.dialogs.sizeAnswers.push_back("1080x2400");
  form2.SpeedButton3->click();
  program.CheckResolution(21, false);
  form2.CheckBox1->setChecked(true); // one folder per resolution

  struct TPress {
    QSize view;
    QSize frame;
    int32_t v;
    int32_t offset;
    const char* scale;
  };
  const TPress presses[] = {
      {{1194, 796}, {358, 796}, 0, 0, "33%"},
      {{1194, 796}, {358, 796}, 836, 2520, "33%"},
      {{1194, 796}, {358, 796}, 418, 1260, "33%"},
      {{265, 796}, {265, 590}, 206, 840, "24%"},
      {{265, 796}, {265, 590}, 50, 204, "24%"},
  };
  // Each photo after the first is read, fitted and viewed in the background.
  form3.Prefetch().SetSettleTime(std::chrono::nanoseconds(0));
  program.PressStart();
  for (size_t file = 0; file < names.size(); ++file) {
    const TPress& press = presses[file];
    SCOPED_TRACE(names[file]);
    form3.Prefetch().Wait();
    ASSERT_TRUE(form3.isVisible());
    ASSERT_EQ(form1.Driver().fileIndex(), static_cast<int32_t>(file));
    EXPECT_EQ(form3.windowTitle(), QString("Ручная обработка — 1080x2400, %1 / 5 — %2").arg(file + 1).arg(press.scale));
    EXPECT_EQ(form3.size(), press.view);
    EXPECT_EQ(form3.Image1->size(), press.view);
    EXPECT_EQ(form3.Image1->Image().size(), press.view);
    // The whole window, frame included, lies within the screen.
    EXPECT_TRUE(screen->availableGeometry().contains(QRect(form3.pos(), form3.size().grownBy(QMargins(2, 2, 2, 2)))))
        << form3.pos().x() << "," << form3.pos().y();
    EXPECT_EQ(form3.Shape1->geometry(), QRect(QPoint(0, 0), press.frame));

    // The pointer puts the frame's centre under it, in view pixels.
    const bool vertical = form3.Model().fitWidth;
    EXPECT_EQ(vertical, file >= 3);
    const QPoint origin = form3.mapToGlobal(QPoint(0, 0));
    const int32_t half = RoundHalfEven((vertical ? press.frame.height() : press.frame.width()) / 2.0L);
    program.pointer.pos = vertical ? origin + QPoint(5, press.v + half) : origin + QPoint(press.v + half, 5);
    form3.Timer1Timer();
    const TFrame frame = form3.Model().Shape1;
    EXPECT_EQ(form3.Shape1->geometry(), QRect(vertical ? QPoint(0, press.v) : QPoint(press.v, 0), press.frame));
    EXPECT_EQ(vertical ? frame.top : frame.left, press.offset);
    EXPECT_EQ(vertical ? frame.left : frame.top, 0);
    EXPECT_EQ(QSize(frame.width, frame.height), QSize(1080, 2400));

    QTest::mousePress(form3.Shape1, Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
    const std::string output = Out() + "/1080x2400/" + names[file] + "-1080x2400.JPG";
    ASSERT_TRUE(std::filesystem::exists(output));
    EXPECT_EQ(ReadBytes(output), ReferenceCut(paths[file], {1080, 2400}, frame, program.Path("reference.jpg")));
  }
  EXPECT_EQ(form3.Prefetch().Hits(), static_cast<int32_t>(names.size()) - 1);
  EXPECT_FALSE(form3.isVisible());
  EXPECT_TRUE(program.errorBox.texts.empty());
}

// A window placed for a small picture and moved to a corner comes back within the screen
// when a scaled one follows, and goes back to the designed caption with the next small one.
TEST_F(CropJob, AScaledPictureBringsTheWindowBackOnScreen) {
  TForm3& form3 = program.Form3();
  program.PressStart();
  ASSERT_TRUE(form3.isVisible());
  form3.move(1100, 700);
  program.dialogs.sizeAnswers.push_back("1080x2400");
  program.Form2().SpeedButton3->click();
  program.CheckResolution(21, false);
  WriteJpeg(program.Path("wide.jpg"), {3000, 2000});
  form3.openfile(program.Path("wide.jpg"));
  ASSERT_TRUE(form3.Scale().Scaled());
  const QRect outer(form3.pos(), form3.size().grownBy(QMargins(2, 2, 2, 2)));
  EXPECT_TRUE(QGuiApplication::primaryScreen()->availableGeometry().contains(outer))
      << outer.x() << "," << outer.y() << " " << outer.width() << "x" << outer.height();

  program.CheckResolution(21, true);
  program.CheckResolution(28, false);
  const QPoint left = form3.pos();
  form3.openfile(program.Path("alpha.jpg"));
  EXPECT_FALSE(form3.Scale().Scaled());
  EXPECT_EQ(form3.windowTitle(), "Ручная обработка — 176x220, 1 / 3");
  EXPECT_EQ(form3.size(), QSize(367, 220));
  EXPECT_EQ(form3.pos(), left);
}

// The view is made in the screen's own pixels; the test runs again on a screen of device
// pixel ratio 2 (CTest app.CropWindowHighDensity).
TEST(CropWindowHighDensity, ViewIsMadeInDevicePixels) {
  if (QGuiApplication::primaryScreen()->devicePixelRatio() < 2)
    GTEST_SKIP() << "needs a screen of device pixel ratio 2";
  TProgram program;
  WriteJpeg(program.Path("wide.jpg"), {3000, 2000});
  program.ChooseOutputFolder(program.Path(""));
  program.AddByDialog({program.Path("wide.jpg")});
  program.dialogs.sizeAnswers.push_back("1080x2400");
  program.Form2().SpeedButton3->click();
  program.CheckResolution(21, false);
  program.Form1().show();
  program.PressStart();
  TForm3& form3 = program.Form3();
  ASSERT_TRUE(form3.isVisible());
  EXPECT_EQ(form3.size(), QSize(1194, 796));
  EXPECT_EQ(form3.Image1->Image().size(), QSize(2388, 1592));
  EXPECT_EQ(form3.Image1->Image().devicePixelRatio(), 2.0);
  // Still cut at full size.
  program.pointer.pos = form3.mapToGlobal(QPoint(179 + 836, 5));
  form3.Timer1Timer();
  EXPECT_EQ(form3.Model().Shape1.left, 2520);
}

} // namespace
} // namespace qv::test
