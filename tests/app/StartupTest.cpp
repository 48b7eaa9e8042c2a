// Start-up: the three windows, their order, and what each shows before the user acts.

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QProgressBar>
#include <QSlider>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include "AppTestSupport.h"

namespace qv::test {
namespace {

QStringList MenuTexts(QMenuBar* bar) {
  QStringList texts;
  for (QAction* menu : bar->actions()) {
    texts << menu->text();
    for (QAction* item : menu->menu()->actions())
      texts << "  " + item->text();
  }
  return texts;
}

TEST(Startup, CreatesTheThreeWindowsWithTheirDefaults) {
  TProgram program;
  TForm1& form1 = program.Form1();
  TForm2& form2 = program.Form2();
  TForm3& form3 = program.Form3();

  EXPECT_EQ(form1.windowTitle(), "Quarvelle v1.5 RC1");
  EXPECT_EQ(QApplication::applicationName(), "Quarvelle");
  EXPECT_EQ(form1.Client()->size(), QSize(404, 294));
  EXPECT_EQ(form1.Client()->pos().x(), 0);
  EXPECT_EQ(form2.windowTitle(), "Настройки");
  EXPECT_EQ(form2.size(), QSize(509, 302));
  EXPECT_EQ(form3.windowTitle(), "Ручная обработка");
  EXPECT_EQ(form3.size(), QSize(200, 143));

  // The settings and crop windows hang on the main window as tool windows, hidden.
  EXPECT_EQ(form2.windowType(), Qt::Tool);
  EXPECT_EQ(form3.windowType(), Qt::Tool);
  EXPECT_EQ(form2.parentWidget(), &form1);
  EXPECT_EQ(form3.parentWidget(), &form1);
  EXPECT_FALSE(form2.isVisible());
  EXPECT_FALSE(form3.isVisible());
  EXPECT_FALSE(form1.windowFlags() & Qt::WindowMaximizeButtonHint);

  // The settings window's creation ran after the main window's, on its job state.
  const TJobState& state = form1.State();
  EXPECT_EQ(state.currentResolution, 1);
  EXPECT_TRUE(state.transliterate);
  EXPECT_TRUE(state.appendResolution);
  EXPECT_FALSE(state.askName);
  EXPECT_EQ(state.fileCount, 0);

  EXPECT_EQ(form1.StatusPanel0->text(), "Файлов: ");
  EXPECT_EQ(form1.StatusPanel1->text(), "");
  EXPECT_EQ(form1.Edit1->text(), QDir::homePath() + "/");
  EXPECT_TRUE(form1.Edit1->isReadOnly());
  EXPECT_EQ(form1.ListBox1->count(), 0);
  EXPECT_EQ(form1.pos2->value(), 0);
  EXPECT_EQ(form1.Position(), 0);
  EXPECT_EQ(form1.Maximum(), 100);
  EXPECT_TRUE(form1.acceptDrops());
  EXPECT_EQ(form1.GroupBox1->title(), "Файлы");
  EXPECT_EQ(form1.GroupBox2->title(), "Конвертирование: ");
  EXPECT_EQ(form1.SpeedButton5->text(), "Старт!");
  EXPECT_EQ(form1.SpeedButton6->text(), "Настройки");
  EXPECT_EQ(form1.Label5->text(), "Общий прогресс");
  EXPECT_EQ(MenuTexts(form1.menuBar()),
            QStringList({"Файлы", "  Добавить", "  Очистить", "  Выйти", "Действия", "  Начать обработку",
                         "  Настройки"}));

  // The crop window's timer runs from creation, window hidden or not.
  EXPECT_TRUE(form3.Timer1->isActive());
  EXPECT_EQ(form3.Timer1->interval(), 10);
  EXPECT_FALSE(form3.Model().fitWidth);

  form1.show();
  EXPECT_TRUE(form1.isVisible());
  EXPECT_FALSE(form1.ListBox2->isVisible());
  EXPECT_TRUE(program.errorBox.texts.empty());
}

TEST(Startup, SettingsWindowAtItsFirstShowing) {
  TProgram program;
  TForm2& form2 = program.Form2();
  program.Form1().show();
  program.Form1().SpeedButton6->click();
  ASSERT_TRUE(form2.isVisible());

  EXPECT_EQ(form2.TrackBar1->value(), 0);
  EXPECT_EQ(form2.TrackBar1->minimum(), 0);
  EXPECT_EQ(form2.TrackBar1->maximum(), 100);
  EXPECT_EQ(form2.TrackBar1->pageStep(), 2);
  EXPECT_EQ(form2.Label4->text(), "0%");
  EXPECT_FALSE(form2.CheckBox2->isChecked());
  EXPECT_TRUE(form2.CheckBox3->isChecked());
  EXPECT_TRUE(form2.CheckBox4->isChecked());
  EXPECT_FALSE(form2.CheckBox5->isChecked());
  EXPECT_FALSE(form2.CheckBox6->isChecked());
  EXPECT_FALSE(form2.CheckBox1->isChecked());
  EXPECT_TRUE(form2.CheckBox7->isChecked());
  EXPECT_EQ(form2.CheckBox7->text(), "Поворачивать по EXIF");
  EXPECT_EQ(form2.CheckBox7->parentWidget(), form2.GroupBox1);
  EXPECT_TRUE(form2.GroupBox1->contentsRect().contains(form2.CheckBox7->geometry()));
  EXPECT_TRUE(program.Form1().State().orientByExif);
  EXPECT_FALSE(form2.Edit1->isVisible());
  EXPECT_FALSE(form2.Edit2->isVisible());
  ASSERT_EQ(form2.resol->count(), 28);
  QStringList checked;
  for (int row = 0; row < form2.resol->count(); ++row)
    if (form2.resol->item(row)->checkState() == Qt::Checked)
      checked << form2.resol->item(row)->text();
  EXPECT_EQ(checked, QStringList{"176x220"});
  EXPECT_EQ(form2.resol->item(0)->text(), "32x32");
  EXPECT_EQ(form2.resol->item(27)->text(), "320x240");
  EXPECT_EQ(form2.Label1->text(), "Резать следующие\nразрешения:");
  EXPECT_EQ(form2.Label5->text(), "Сохранять каждый тип\nРазрешений в \nСобствующей папке");
  EXPECT_EQ(form2.SpeedButton2->text(), "Применить");
  EXPECT_EQ(form2.SpeedButton1->text(), "Отмена");
}

TEST(Startup, ClosingTheMainWindowEndsTheProgramWhateverElseIsOpen) {
  TProgram program;
  program.Form1().show();
  program.Form2().show();
  program.Form3().show();
  // "Выйти" from inside the running loop must end it, with both tool windows still open.
  bool timedOut = false;
  QTimer::singleShot(0, [&] { program.Form1().N7->trigger(); });
  QTimer::singleShot(5000, [&] {
    timedOut = true;
    QApplication::exit(1);
  });
  const int code = QApplication::exec();
  EXPECT_FALSE(timedOut);
  EXPECT_EQ(code, 0);
  EXPECT_FALSE(program.Form1().isVisible());
}

// Every text must fit its control, and every control its parent, in the font in use.
void ExpectTextsFit(QWidget* window, const QString& name, const QList<QWidget*>& allowedOutside) {
  for (QWidget* widget : window->findChildren<QWidget*>()) {
    if (widget->isWindow() || allowedOutside.contains(widget))
      continue;
    QString text;
    if (auto* label = qobject_cast<QLabel*>(widget))
      text = label->text();
    else if (auto* button = qobject_cast<QAbstractButton*>(widget))
      text = button->text();
    if (!text.isEmpty()) {
      const QSize hint = widget->sizeHint();
      EXPECT_GE(widget->width(), hint.width()) << name.toStdString() << ": \"" << text.toStdString() << "\"";
      EXPECT_GE(widget->height(), hint.height()) << name.toStdString() << ": \"" << text.toStdString() << "\"";
    }
    // A control grown for its text must still lie within the box or window that holds it.
    QWidget* parent = widget->parentWidget();
    const bool designedChild = parent == window || qobject_cast<QGroupBox*>(parent) != nullptr;
    if (designedChild && !text.isEmpty()) {
      EXPECT_TRUE(parent->rect().contains(widget->geometry()))
          << name.toStdString() << ": " << widget->metaObject()->className() << " \"" << text.toStdString()
          << "\" at " << widget->geometry().x() << "," << widget->geometry().y() << " " << widget->width() << "x"
          << widget->height() << " leaves its parent of " << parent->width() << "x" << parent->height();
    }
  }
}

TEST(Startup, EveryTextFitsItsControl) {
  TProgram program;
  TForm1& form1 = program.Form1();
  TForm2& form2 = program.Form2();
  form1.show();
  ExpectTextsFit(form1.Client(), "main window", {form1.ListBox2});
  ExpectTextsFit(&form2, "settings window", {});

  // The percent label follows the slider to its widest text.
  form2.TrackBar1->setValue(100);
  EXPECT_EQ(form2.Label4->text(), "100%");
  EXPECT_GE(form2.Label4->width(), form2.Label4->sizeHint().width());

  EXPECT_EQ(form1.font().pixelSize(), 11);
  EXPECT_EQ(form2.font().pixelSize(), 11);
  EXPECT_EQ(program.Form3().font().pixelSize(), 11);
}

} // namespace
} // namespace qv::test
