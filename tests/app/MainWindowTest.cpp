// The main window: drops, the dialog, removing and clearing, the output folder, Start
// with nothing listed, and the settings button.

#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QProgressBar>
#include <QSlider>
#include <QToolButton>
#include <QUrl>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "AppTestSupport.h"

namespace qv::test {
namespace {

QStringList Items(QListWidget* list) {
  QStringList items;
  for (int row = 0; row < list->count(); ++row)
    items << list->item(row)->text();
  return items;
}

void Touch(const std::string& path) { std::ofstream(path) << "x"; }

// Delivers a drop the way the window system does: enter, then drop, at a point of target.
bool Drop(QWidget* target, const QStringList& paths) {
  QMimeData data;
  QList<QUrl> urls;
  for (const QString& path : paths)
    urls << QUrl::fromLocalFile(path);
  data.setUrls(urls);
  const QPoint at = target->rect().center();
  QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &drop);
  return enter.isAccepted() && drop.isAccepted();
}

TEST(MainWindow, DropOfSixPathsAddsTheFourPicturesInOrder) {
  TProgram program;
  TForm1& form1 = program.Form1();
  form1.show();
  // A path longer than 255 characters must arrive whole.
  std::string deep = program.Path("");
  while (deep.size() < 300)
    deep += "folder-with-a-long-name/";
  std::filesystem::create_directories(deep);
  const std::vector<std::string> dropped = {program.Path("Зима.jpg"), program.Path("notes.txt"), deep + "far.JPG",
                                            program.Path("shot.gif"), program.Path("лето.Jpeg"),
                                            program.Path("IMG_0042.HEIC")};
  for (const std::string& path : dropped)
    Touch(path);

  QStringList paths;
  for (const std::string& path : dropped)
    paths << QString::fromStdString(path);
  // Dropped on the list, the files still reach the window.
  EXPECT_TRUE(Drop(form1.ListBox1->viewport(), paths));

  EXPECT_EQ(Items(form1.ListBox1), QStringList({"Зима", "far", "лето.", "IMG_0042"}));
  EXPECT_EQ(Items(form1.ListBox2), QStringList({QString::fromStdString(dropped[0]), QString::fromStdString(dropped[2]),
                                                QString::fromStdString(dropped[4]), QString::fromStdString(dropped[5])}));
  EXPECT_EQ(form1.StatusPanel0->text(), "Файлов: 4");
  EXPECT_EQ(form1.State().fileCount, 4);
  EXPECT_FALSE(form1.ListBox2->isVisible());

  // The same drop again adds nothing: every path is listed already or refused.
  EXPECT_TRUE(Drop(form1.Client(), paths));
  EXPECT_EQ(form1.ListBox1->count(), 4);
  EXPECT_TRUE(program.errorBox.texts.empty());
}

TEST(MainWindow, DialogAddsRemoveTakesTheSelectionClearEmptiesAndMenuItemsDoTheSame) {
  TProgram program;
  TForm1& form1 = program.Form1();
  for (const char* name : {"a.jpg", "b.jpg", "c.jpg"})
    Touch(program.Path(name));
  program.AddByDialog({program.Path("a.jpg"), program.Path("b.jpg"), program.Path("missing.jpg"), program.Path("c.jpg")});
  EXPECT_EQ(Items(form1.ListBox1), QStringList({"a", "b", "c"}));

  // Nothing selected: removal does nothing.
  form1.SpeedButton2->click();
  EXPECT_EQ(form1.ListBox1->count(), 3);

  form1.ListBox1->setCurrentRow(1);
  form1.SpeedButton2->click();
  EXPECT_EQ(Items(form1.ListBox1), QStringList({"a", "c"}));
  EXPECT_EQ(Items(form1.ListBox2), QStringList({QString::fromStdString(program.Path("a.jpg")),
                                                QString::fromStdString(program.Path("c.jpg"))}));
  EXPECT_EQ(form1.StatusPanel0->text(), "Файлов: 2");

  form1.SetMaximum(10);
  form1.SetPosition(4);
  form1.N3->trigger();
  EXPECT_EQ(form1.ListBox1->count(), 0);
  EXPECT_EQ(form1.ListBox2->count(), 0);
  EXPECT_EQ(form1.StatusPanel0->text(), "Файлов: 0");
  EXPECT_EQ(form1.pos2->value(), 0);

  // "Добавить" runs the same dialog intake as the button.
  program.dialogs.pictureAnswers.push_back({program.Path("b.jpg")});
  form1.N2->trigger();
  EXPECT_EQ(Items(form1.ListBox1), QStringList({"b"}));
  form1.SpeedButton3->click();
  EXPECT_EQ(form1.ListBox1->count(), 0);

  // A cancelled dialog adds nothing.
  form1.SpeedButton1->click();
  EXPECT_EQ(form1.ListBox1->count(), 0);
}

// The lists are appended to, not built again: a selection made before stays on its file.
TEST(MainWindow, FilesAddedLaterKeepTheSelectionAndRemovalLeavesNoneBehind) {
  TProgram program;
  TForm1& form1 = program.Form1();
  for (const char* name : {"a.jpg", "b.jpg", "c.jpg"})
    Touch(program.Path(name));
  program.AddByDialog({program.Path("a.jpg"), program.Path("b.jpg")});
  form1.ListBox1->setCurrentRow(1);
  program.AddByDialog({program.Path("c.jpg")});
  EXPECT_EQ(form1.ListBox1->currentRow(), 1);
  EXPECT_EQ(form1.Files().Selected(), 1);

  form1.SpeedButton2->click();
  EXPECT_EQ(Items(form1.ListBox1), QStringList({"a", "c"}));
  EXPECT_EQ(form1.ListBox2->count(), 2);
  EXPECT_EQ(form1.ListBox1->currentRow(), -1);
  EXPECT_TRUE(form1.ListBox1->selectedItems().isEmpty());
}

TEST(MainWindow, FolderBrowserAppendsOneSeparatorAndCancelKeepsTheField) {
  TProgram program;
  TForm1& form1 = program.Form1();
  const QString home = QDir::homePath() + "/";

  program.dialogs.folderAnswer.reset();
  form1.SpeedButton4->click();
  EXPECT_EQ(form1.Edit1->text(), home);
  ASSERT_EQ(program.dialogs.browsedFrom.size(), 1u);
  EXPECT_EQ(program.dialogs.browsedFrom[0], home.toStdString());

  program.ChooseOutputFolder("/srv/photos");
  EXPECT_EQ(form1.Edit1->text(), "/srv/photos/");
  program.ChooseOutputFolder("/");
  EXPECT_EQ(form1.Edit1->text(), "//");

  // The field feeds the snapshot.
  form1.GetParams();
  EXPECT_EQ(form1.State().outputFolder, "//");
}

TEST(MainWindow, StartWithAnEmptyListOnlyShowsTheMessage) {
  TProgram program;
  TForm1& form1 = program.Form1();
  form1.show();
  program.PressStart();
  form1.N5->trigger();
  EXPECT_EQ(program.dialogs.messages, std::vector<std::string>({"Сначала добавьте файлы", "Сначала добавьте файлы"}));
  EXPECT_FALSE(program.Form3().isVisible());
  EXPECT_EQ(form1.State().targetWidth, 0);
  EXPECT_EQ(form1.Maximum(), 100);
  EXPECT_TRUE(program.errorBox.texts.empty());
}

TEST(MainWindow, SettingsButtonWhileTheWindowIsOpenChangesNothing) {
  TProgram program;
  TForm1& form1 = program.Form1();
  TForm2& form2 = program.Form2();
  form1.show();
  form1.SpeedButton6->click();
  ASSERT_TRUE(form2.isVisible());
  form2.TrackBar1->setValue(35);
  // A second showing would have put the slider back through SetParams.
  form1.SpeedButton6->click();
  form1.N6->trigger();
  EXPECT_EQ(form2.TrackBar1->value(), 35);
  EXPECT_EQ(form2.Label4->text(), "35%");
}

TEST(MainWindow, ProgressBarKeepsItsPositionWithinTheRange) {
  TProgram program;
  TForm1& form1 = program.Form1();
  form1.SetMaximum(3);
  form1.SetPosition(2);
  EXPECT_EQ(form1.pos2->value(), 2);
  EXPECT_EQ(form1.pos2->maximum(), 3);
  // Files added during a pass can take the position past the maximum: the bar stays full.
  form1.SetPosition(5);
  EXPECT_EQ(form1.Position(), 3);
  EXPECT_EQ(form1.pos2->value(), form1.pos2->maximum());
  form1.SetMaximum(1);
  EXPECT_EQ(form1.Position(), 1);
  EXPECT_EQ(form1.pos2->value(), 1);
}

} // namespace
} // namespace qv::test
