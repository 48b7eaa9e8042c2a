// The dialogs and the error guard: the input box, the picture open dialog with its
// filter and preview, and the guard that keeps every error inside the program.

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <stdexcept>

#include "AppTestSupport.h"
#include "support/FormatFiles.h"
#include "job/Errors.h"

namespace qv::test {
namespace {

// keyClicks takes Latin-1 keys only; a key event can carry any text.
void Type(QWidget* widget, const QString& text) {
  for (const QChar letter : text)
    QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(letter), Qt::NoModifier);
}

TEST(InputBox, DefaultSelectedOkDefaultAndCancelOrCloseGiveTheDefault) {
  TInputBoxDialog box("Введите желаемое имя файла: ", "", "старое");
  EXPECT_EQ(box.windowTitle(), "Введите желаемое имя файла: ");
  EXPECT_EQ(box.Edit()->text(), "старое");
  EXPECT_EQ(box.Edit()->selectedText(), "старое");
  QPushButton* ok = nullptr;
  QStringList texts;
  for (QPushButton* button : box.findChildren<QPushButton*>()) {
    texts << button->text();
    if (button->text() == "OK")
      ok = button;
  }
  texts.sort();
  EXPECT_EQ(texts, QStringList({"Cancel", "OK"}));
  ASSERT_NE(ok, nullptr);
  EXPECT_TRUE(ok->isDefault());

  box.show();
  Type(box.Edit(), "новое");
  QTest::keyClick(box.Edit(), Qt::Key_Return);
  EXPECT_EQ(box.result(), QDialog::Accepted);
  EXPECT_EQ(box.Result(), "новое");

  TInputBoxDialog cancelled("c", "", "старое");
  cancelled.show();
  Type(cancelled.Edit(), "новое");
  cancelled.reject();
  EXPECT_EQ(cancelled.Result(), "старое");

  TInputBoxDialog closed("c", "", "");
  closed.show();
  QTest::keyClicks(closed.Edit(), "x");
  closed.close();
  EXPECT_EQ(closed.Result(), "");
}

TEST(InputBox, TakesAtMost255CodePoints) {
  TInputBoxDialog box("c", "", "");
  box.show();
  Type(box.Edit(), QString(300, QChar(0x0416))); // Ж
  EXPECT_EQ(box.Edit()->text().size(), 255);
  // Characters beyond the 16-bit range count once each, and are never split.
  const QString faces = QString::fromUtf8("\xF0\x9F\x98\x80").repeated(300);
  EXPECT_EQ(LeftCodePoints(faces, 255).toUcs4().size(), 255);
  EXPECT_EQ(LeftCodePoints(faces, 255).size(), 510);
  TInputBoxDialog long_default("c", "", faces);
  EXPECT_EQ(long_default.Edit()->text().toUcs4().size(), 255);
}

TEST(InputBox, ThroughTheServiceReturnsWhatWasTyped) {
  TQtDialogs dialogs;
  QTimer::singleShot(0, [] {
    auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    auto* edit = box->findChild<QLineEdit*>();
    ASSERT_NE(edit, nullptr);
    Type(edit, "Зима");
    QTest::keyClick(edit, Qt::Key_Return);
  });
  EXPECT_EQ(dialogs.InputBox("caption", "", ""), "Зима");
}

// The size box offers the sizes it is given in an entry that starts empty; Return takes the
// text as typed, or as chosen from the list, and Escape gives none.
TEST(SizeBox, OffersSizesTakesTypedTextAndCancels) {
  TQtDialogs dialogs;
  struct TRow {
    std::function<void(QComboBox*)> act;
    std::optional<std::string> result;
  };
  const TRow rows[] = {
      {[](QComboBox* sizes) { Type(sizes->lineEdit(), "1080\u00d72400 "); }, "1080\u00d72400 "},
      {[](QComboBox* sizes) { Type(sizes->lineEdit(), "abc"); }, "abc"},
      {[](QComboBox* sizes) { sizes->setCurrentIndex(1); }, "1440x3200"},
      {[](QComboBox*) {}, ""},
      {[](QComboBox* sizes) {
         Type(sizes->lineEdit(), "1080x2400");
         QTest::keyClick(sizes->lineEdit(), Qt::Key_Escape);
       },
       std::nullopt},
  };
  for (const TRow& row : rows) {
    QTimer::singleShot(0, [&] {
      auto* box = dynamic_cast<TSizeBoxDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      EXPECT_EQ(box->windowTitle(), "Добавить размер");
      QComboBox* sizes = box->Sizes();
      ASSERT_EQ(sizes->count(), 2);
      EXPECT_EQ(sizes->itemText(0), "720x1600");
      EXPECT_EQ(sizes->currentText(), "");
      EXPECT_TRUE(sizes->isEditable());
      row.act(sizes);
      if (box->isVisible())
        QTest::keyClick(sizes->lineEdit(), Qt::Key_Return);
      // Whatever was typed stays out of the list.
      EXPECT_EQ(sizes->count(), 2);
    });
    EXPECT_EQ(dialogs.SizeBox(nullptr, {"720x1600", "1440x3200"}), row.result) << row.result.value_or("(none)");
  }
}

QStringList ListedNames(TPictureOpenDialog& dialog) {
  QStringList names;
  auto* view = dialog.findChild<QAbstractItemView*>("listView");
  if (!view)
    return names;
  QAbstractItemModel* model = view->model();
  const QModelIndex root = view->rootIndex();
  for (int row = 0; row < model->rowCount(root); ++row)
    names << model->index(row, 0, root).data().toString();
  names.sort();
  return names;
}

TEST(PictureOpenDialog, ListsPictureEndingsOfAnyCaseAndPreviewsWithOurCodec) {
  QTemporaryDir folder;
  const QString base = folder.path() + "/";
  WriteJpeg((base + "a.jpg").toStdString(), {40, 30});
  WriteJpeg((base + "B.JPG").toStdString(), {12, 20});
  WriteJpeg((base + "c.Jpeg").toStdString(), {8, 8});
  std::ofstream((base + "broken.jpg").toStdString()) << "not a picture";
  qvtest::TPngKind png;
  png.width = 2;
  png.height = 1;
  png.samples = {255, 0, 0, 0, 0, 255};
  WriteBytes((base + "d.png").toStdString(), qvtest::MakePng(png));
  WriteBytes((base + "e.jpg").toStdString(),
             WithOrientation(MakeJpeg({.width = 48, .height = 32, .fullChroma = true, .quality = 100}, Squares), 6));

  TPictureOpenDialog dialog(nullptr);
  EXPECT_EQ(dialog.fileMode(), QFileDialog::ExistingFiles);
  EXPECT_TRUE(dialog.testOption(QFileDialog::DontUseNativeDialog));
  EXPECT_EQ(dialog.nameFilters(),
            QStringList({"Все изображения (*.jpg *.jpeg *.heic *.heif *.hif *.avif *.png *.webp)",
                         "JPEG Image File (*.jpg *.jpeg)", "HEIF Image File (*.heic *.heif *.hif)",
                         "AVIF Image File (*.avif)", "PNG Image File (*.png)", "WebP Image File (*.webp)"}));
  qvtest::THeifKind heif;
  heif.heifOrientation = 6;
  // Stored "ABC/DEF" with a HEIF rotation that shows it turned clockwise, as a phone stores a
  // portrait photo.
  WriteBytes((base + "f.HEIC").toStdString(), qvtest::MakeHeif(qvtest::MakeImage(48, 32, Squares), heif));
  std::ofstream((base + "g.Webp").toStdString()) << "webp";
  std::ofstream((base + "h.gif").toStdString()) << "gif";
  dialog.setDirectory(folder.path());
  dialog.show();
  // Every ending the list takes, in any case, under the first filter; only JPEG under the second.
  const QStringList all = {"B.JPG", "a.jpg", "broken.jpg", "c.Jpeg", "d.png", "e.jpg", "f.HEIC", "g.Webp"};
  EXPECT_TRUE(QTest::qWaitFor([&] { return ListedNames(dialog) == all; }, 5000))
      << ListedNames(dialog).join(", ").toStdString();
  dialog.selectNameFilter(dialog.nameFilters()[1]);
  const QStringList expected = {"B.JPG", "a.jpg", "broken.jpg", "c.Jpeg", "e.jpg"};
  EXPECT_TRUE(QTest::qWaitFor([&] { return ListedNames(dialog) == expected; }, 5000))
      << ListedNames(dialog).join(", ").toStdString();

  dialog.ShowPreview(base + "a.jpg");
  EXPECT_EQ(dialog.PreviewCaption(), " (40x30)");
  EXPECT_TRUE(dialog.PreviewHasPicture());
  dialog.ShowPreview(base + "B.JPG");
  EXPECT_EQ(dialog.PreviewCaption(), " (12x20)");
  // Stored 48 x 32 "ABC/DEF", tagged to be turned clockwise: shown 32 x 48, "DA/EB/FC".
  dialog.ShowPreview(base + "e.jpg");
  EXPECT_EQ(dialog.PreviewCaption(), " (32x48)");
  const QImage turned = dialog.PreviewPicture().toImage();
  ASSERT_EQ(turned.size(), QSize(32, 48));
  for (const auto& [at, from] : {std::pair{QPoint(8, 8), QPoint(8, 24)}, std::pair{QPoint(24, 8), QPoint(8, 8)},
                                 std::pair{QPoint(8, 40), QPoint(40, 24)}, std::pair{QPoint(24, 40), QPoint(40, 8)}}) {
    const QColor seen = turned.pixelColor(at);
    const TBGR square = Squares(from.x(), from.y());
    EXPECT_LT(std::abs(seen.red() - square.r) + std::abs(seen.green() - square.g) + std::abs(seen.blue() - square.b), 40)
        << at.x() << "," << at.y();
  }
  // The other formats are previewed by the same codec, a HEIF turned by its own rotation.
  dialog.ShowPreview(base + "d.png");
  EXPECT_EQ(dialog.PreviewCaption(), " (2x1)");
  EXPECT_TRUE(dialog.PreviewHasPicture());
  dialog.ShowPreview(base + "f.HEIC");
  EXPECT_EQ(dialog.PreviewCaption(), " (32x48)");
  const QImage shownHeif = dialog.PreviewPicture().toImage();
  ASSERT_EQ(shownHeif.size(), QSize(32, 48));
  for (const auto& [at, from] : {std::pair{QPoint(8, 8), QPoint(8, 24)}, std::pair{QPoint(24, 40), QPoint(40, 8)}}) {
    const QColor seen = shownHeif.pixelColor(at);
    const TBGR square = Squares(from.x(), from.y());
    EXPECT_LT(std::abs(seen.red() - square.r) + std::abs(seen.green() - square.g) + std::abs(seen.blue() - square.b), 8)
        << at.x() << "," << at.y();
  }
  dialog.ShowPreview(base + "broken.jpg");
  EXPECT_EQ(dialog.PreviewCaption(), "Picture:");
  EXPECT_EQ(dialog.PreviewText(), "(None)");
  EXPECT_FALSE(dialog.PreviewHasPicture());
  dialog.ShowPreview(folder.path());
  EXPECT_EQ(dialog.PreviewCaption(), "Picture:");

  // Moving to a file in the dialog's list previews it.
  auto* view = dialog.findChild<QAbstractItemView*>("listView");
  ASSERT_NE(view, nullptr);
  const QModelIndexList found =
      view->model()->match(view->model()->index(0, 0, view->rootIndex()), Qt::DisplayRole, "c.Jpeg");
  ASSERT_EQ(found.size(), 1);
  view->setCurrentIndex(found[0]);
  EXPECT_TRUE(QTest::qWaitFor([&] { return dialog.PreviewCaption() == " (8x8)"; }, 5000))
      << dialog.PreviewCaption().toStdString();
  dialog.reject();
}

TEST(ErrorGuard, ReportsEveryErrorWithTheFullStopRuleAndLetsNothingOut) {
  TRecordingErrorBox box;
  int after = 0;
  const auto failing = [&](auto error) {
    return [&after, error] {
      throw error;
      ++after;
    };
  };
  Guard(box, failing(EFOpenError("/a/x.jpg", "No such file or directory")));
  Guard(box, failing(EListError(3)));
  Guard(box, failing(EWriteError()));
  Guard(box, failing(std::runtime_error("Нет места!")));
  Guard(box, failing(std::runtime_error("")));
  Guard(box, [] { throw 42; });
  Guard(box, [&] { ++after; });
  EXPECT_EQ(box.texts, std::vector<std::string>({"Cannot open file \"/a/x.jpg\". No such file or directory.",
                                                 "List index out of bounds (3)", "Stream write error.", "Нет места!", "",
                                                 "Unknown error."}));
  EXPECT_EQ(after, 1);
}

} // namespace
} // namespace qv::test
