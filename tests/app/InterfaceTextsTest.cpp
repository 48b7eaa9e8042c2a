// The interface as a user sees it: every window and every dialog the program shows, walked
// widget by widget, with no text cut off by its control in either language and, in English,
// none left in Cyrillic.

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "AppTestSupport.h"
#include "Controls.h"
#include "KeptSizes.h"
#include "Language.h"
#include "job/Errors.h"

namespace qv::test {
namespace {

bool HasCyrillic(const QString& text) {
  return std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() >= 0x0400 && c.unicode() <= 0x052F; });
}

QString Plain(const QString& text, Qt::TextFormat format) {
  if (format == Qt::RichText || (format == Qt::AutoText && Qt::mightBeRichText(text))) {
    QTextDocument document;
    document.setHtml(text);
    return document.toPlainText();
  }
  return text;
}

// The width and height a text needs, and the room its control leaves it, in the control's
// coordinates, with the text's alignment in that room.
struct TMeasure {
  QString text;
  QSize need;
  QRect room;
  Qt::Alignment alignment;
  // Where the text is drawn, out of its room when it does not fit.
  QRect Drawn() const { return QStyle::alignedRect(Qt::LeftToRight, alignment, need, room); }
};

// Qt's documented default: a framed label indents its text by half an "x".
int EffectiveIndent(const QLabel& label) {
  if (label.indent() >= 0)
    return label.indent();
  return label.frameWidth() > 0 ? label.fontMetrics().horizontalAdvance(QLatin1Char('x')) / 2 : 0;
}

std::optional<TMeasure> Measure(QWidget& widget) {
  const QFontMetrics metrics = widget.fontMetrics();
  if (auto* label = qobject_cast<QLabel*>(&widget)) {
    if (label->text().isEmpty() || !label->pixmap().isNull())
      return std::nullopt;
    const QString text = Plain(label->text(), label->textFormat());
    const int margin = label->margin();
    QRect room = label->contentsRect().adjusted(margin, margin, -margin, -margin);
    room.setLeft(room.left() + EffectiveIndent(*label));
    const int flags = (label->wordWrap() ? Qt::TextWordWrap : 0) | (label->buddy() ? Qt::TextShowMnemonic : 0);
    const QSize need = metrics.boundingRect(QRect(0, 0, room.width(), 1 << 20), flags, text).size();
    return TMeasure{text, need, room, label->alignment()};
  }
  if (auto* button = qobject_cast<QAbstractButton*>(&widget)) {
    if (button->text().isEmpty())
      return std::nullopt;
    const QSize need = metrics.size(Qt::TextShowMnemonic, button->text());
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    QRect room;
    Qt::Alignment alignment = Qt::AlignCenter;
    if (qobject_cast<QCheckBox*>(button)) {
      room = widget.style()->subElementRect(QStyle::SE_CheckBoxContents, &option, button);
      alignment = Qt::AlignLeft | Qt::AlignVCenter;
    } else if (qobject_cast<QRadioButton*>(button)) {
      room = widget.style()->subElementRect(QStyle::SE_RadioButtonContents, &option, button);
      alignment = Qt::AlignLeft | Qt::AlignVCenter;
    } else if (qobject_cast<QPushButton*>(button))
      room = widget.style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
    else if (auto* tool = qobject_cast<QToolButton*>(button)) {
      // Qt's own tool buttons carry a text they do not draw beside their icon.
      if (!dynamic_cast<TSpeedButton*>(tool) && tool->toolButtonStyle() == Qt::ToolButtonIconOnly &&
          !tool->icon().isNull())
        return std::nullopt;
      // Inside the two-pixel bevel.
      room = tool->rect().adjusted(2, 2, -2, -2);
    }
    // The text goes right of the icon.
    if (!button->icon().isNull())
      room.setLeft(room.left() + button->iconSize().width() + 4);
    return TMeasure{button->text(), need, room, alignment};
  }
  if (auto* box = qobject_cast<QGroupBox*>(&widget)) {
    if (box->title().isEmpty())
      return std::nullopt;
    QStyleOptionGroupBox option;
    option.initFrom(box);
    option.text = box->title();
    option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
    // The title runs from where the style puts it to the box's right edge.
    const QRect label = box->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, box);
    return TMeasure{box->title(), metrics.size(Qt::TextShowMnemonic, box->title()),
                    QRect(label.left(), label.top(), box->width() - label.left(), label.height()),
                    Qt::AlignLeft | Qt::AlignTop};
  }
  return std::nullopt;
}

// Every text one window shows the user that does not fit, or is left in Cyrillic when the
// interface is translated.
QStringList Faults(QWidget& window, const QString& name, bool translated) {
  QStringList faults;
  const auto russian = [&](const QString& what, const QString& text) {
    if (translated && HasCyrillic(text))
      faults << name + ": " + what + " \"" + text + "\" is not translated";
  };
  russian("title", window.windowTitle());
  // The menu bar's menus and the context menus, shown or not.
  for (const QMenu* menu : window.findChildren<QMenu*>())
    for (const QAction* item : menu->actions())
      russian("menu item", item->text());
  QList<QWidget*> widgets = window.findChildren<QWidget*>();
  widgets.prepend(&window);
  for (QWidget* widget : widgets) {
    if (!widget->isVisible() || (widget != &window && widget->window() != &window))
      continue;
    const QString kind = QString::fromLatin1(widget->metaObject()->className());
    russian(kind + " tool tip", widget->toolTip());
    if (auto* edit = qobject_cast<QLineEdit*>(widget))
      russian(kind + " placeholder", edit->placeholderText());
    if (auto* combo = qobject_cast<QComboBox*>(widget))
      for (int item = 0; item < combo->count(); ++item)
        russian(kind + " item", combo->itemText(item));
    if (auto* bar = qobject_cast<QMenuBar*>(widget)) {
      for (QAction* menu : bar->actions()) {
        russian("menu", menu->text());
        if (!bar->rect().contains(bar->actionGeometry(menu)))
          faults << name + ": menu \"" + menu->text() + "\" does not fit the menu bar";
      }
    }
    const std::optional<TMeasure> measure = Measure(*widget);
    if (!measure)
      continue;
    russian(kind, measure->text);
    if (measure->need.width() > measure->room.width() || measure->need.height() > measure->room.height())
      faults << QStringLiteral("%1: %2 \"%3\" needs %4x%5 but has %6x%7")
                    .arg(name, kind, measure->text)
                    .arg(measure->need.width())
                    .arg(measure->need.height())
                    .arg(measure->room.width())
                    .arg(measure->room.height());
    // Nor may a text run under a neighbour or out of the parent: a control grown for it.
    QWidget* parent = widget->parentWidget();
    if (!parent || widget->isWindow())
      continue;
    const QRect drawn = measure->Drawn().translated(widget->pos());
    if (!parent->rect().contains(drawn))
      faults << name + ": " + kind + " \"" + measure->text + "\" runs out of its " + parent->metaObject()->className();
    for (const QObject* child : parent->children()) {
      const auto* sibling = qobject_cast<const QWidget*>(child);
      if (!sibling || sibling == widget || sibling->isWindow() || !sibling->isVisible())
        continue;
      // The designed layout lets neighbours share their edge pixels.
      const QRect under = sibling->geometry() & drawn;
      if (under.width() > 1 && under.height() > 1)
        faults << name + ": " + kind + " \"" + measure->text + "\" runs under a " + sibling->metaObject()->className();
    }
  }
  return faults;
}

using TAnswer = std::function<void(QDialog&)>;

// Calls open, which shows modal dialogs one after another and waits for each; each dialog
// that comes up gets the next answer, and whatever that does, the dialog is closed after it.
void WithDialogs(const std::function<void()>& open, const std::vector<TAnswer>& answers) {
  size_t answered = 0;
  QTimer poll;
  poll.setInterval(5);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    // A dialog answered is hidden, even while it is still on its way out.
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (answered == answers.size() || !dialog || !dialog->isVisible())
      return;
    QCoreApplication::sendPostedEvents();
    answers[answered++](*dialog);
    if (dialog->isVisible())
      dialog->reject();
  });
  poll.start();
  open();
  EXPECT_EQ(answered, answers.size()) << "fewer dialogs came up than were expected";
}

void WithDialog(const std::function<void()>& open, const TAnswer& answer) { WithDialogs(open, {answer}); }

// Brings one program to every window and dialog it shows, in the order a user meets them,
// and gives what Faults finds in each; looked counts them.
QStringList WalkTheProgram(bool translated, int& looked) {
  QTemporaryDir folder;
  const QString photo = folder.path() + "/winter.jpg";
  WriteJpeg(photo.toStdString(), {.width = 300, .height = 200});
  const QString output = folder.path() + "/out";
  std::filesystem::create_directory(output.toStdString());
  // Beneath a file, so that an added size cannot be kept and the error box says so.
  const std::string unkeepable = photo.toStdString() + "/Quarvelle.conf";

  TQtDialogs dialogs;
  TQtErrorBox errorBox;
  TScriptedPointer pointer;
  TPosixOpenTest openTest;
  TPosixFolderMaker folders;
  TKeptSizes keptSizes(unkeepable, [](const std::string&) {});
  TAppServices services{dialogs, errorBox, pointer, openTest, folders, keptSizes};
  TApplicationWindows windows(services);
  TForm1& form1 = windows.Form1;
  TForm2& form2 = windows.Form2;
  form1.show();

  // Each scene brings the program to where it shows one window or dialog; look(window, name)
  // is called on each of them. The scenes run in order, on one program.
  QStringList faults;
  const auto look = [&](QWidget& window, const QString& name) {
    ++looked;
    faults << Faults(window, name, translated);
  };
  const auto lookAndAccept = [&](const QString& name, const std::function<void(QDialog&)>& fill = {}) {
    return [&look, name, fill](QDialog& dialog) {
      look(dialog, name);
      if (fill)
        fill(dialog);
      dialog.accept();
    };
  };
  const auto typeSize = [](const QString& typed) {
    return [typed](QDialog& dialog) {
      dynamic_cast<TSizeBoxDialog&>(dialog).Sizes()->setEditText(typed);
      dialog.accept();
    };
  };
  const auto typeName = [](QDialog& dialog) { dialog.findChild<QLineEdit*>()->setText(QStringLiteral("frost")); };
  struct TScene {
    const char* name;
    std::function<void()> run;
  };
  const TScene scenes[] = {
      {"main window", [&] { look(form1, "main window"); }},
      {"message box of Start with no files",
       [&] { WithDialog([&] { form1.SpeedButton5->click(); }, lookAndAccept("message box, no files")); }},
      {"open dialog with its preview",
       [&] {
         WithDialog([&] { form1.SpeedButton1->click(); }, [&](QDialog& dialog) {
           auto& open = dynamic_cast<TPictureOpenDialog&>(dialog);
           open.setDirectory(folder.path());
           open.ShowPreview(QString());
           look(open, "open dialog, nothing chosen");
           open.ShowPreview(photo);
           look(open, "open dialog, a photo chosen");
           open.selectFile(photo);
           static_cast<QDialog&>(open).accept();
         });
         EXPECT_EQ(form1.ListBox1->count(), 1);
       }},
      {"folder dialog",
       [&] {
         WithDialog([&] { form1.SpeedButton4->click(); }, [&](QDialog& dialog) {
           auto& browse = dynamic_cast<QFileDialog&>(dialog);
           browse.setDirectory(output);
           look(browse, "folder dialog");
           static_cast<QDialog&>(browse).accept();
         });
         EXPECT_EQ(form1.Edit1->text(), output + "/");
       }},
      {"main window with a photo listed", [&] { look(form1, "main window, a photo listed"); }},
      {"settings window",
       [&] {
         form1.SpeedButton6->click();
         look(form2, "settings window");
         // The widest percent, and the prefix and suffix fields shown.
         form2.TrackBar1->setValue(100);
         form2.CheckBox5->setChecked(true);
         form2.CheckBox6->setChecked(true);
         look(form2, "settings window, 100% and both fields");
         form2.CheckBox5->setChecked(false);
         form2.CheckBox6->setChecked(false);
         form2.TrackBar1->setValue(0);
       }},
      {"message box of Start with no resolution",
       [&] {
         form2.resol->item(kDefaultResolutionIndex)->setCheckState(Qt::Unchecked);
         WithDialog([&] { form1.SpeedButton5->click(); }, lookAndAccept("message box, no resolution"));
         form2.resol->item(kDefaultResolutionIndex)->setCheckState(Qt::Checked);
       }},
      {"add-size box, and the error box of a size list that cannot be kept",
       [&] {
         WithDialogs([&] { form2.SpeedButton3->click(); },
                     {[&](QDialog& dialog) {
                        look(dialog, "add-size box");
                        typeSize("1080x2400")(dialog);
                      },
                      lookAndAccept("error box, sizes not kept")});
         ASSERT_EQ(form2.resol->count(), kResolutionCount + 1);
       }},
      {"message boxes of the sizes refused",
       [&] {
         for (const QString typed : {"1080x2400", "", "1080 x", "0x2400"})
           WithDialogs([&] { form2.SpeedButton3->click(); },
                       {typeSize(typed), lookAndAccept("message box, size \"" + typed + "\" refused")});
         EXPECT_EQ(form2.resol->count(), kResolutionCount + 1);
       }},
      {"crop window, scaled crop window and the name input box",
       [&] {
         // Both 176x220 and the added 1080x2400, which is shown scaled on this screen.
         form2.CheckBox2->setChecked(true);
         form2.SpeedButton2->click();
         form1.SpeedButton5->click();
         ASSERT_TRUE(windows.Form3.isVisible());
         look(windows.Form3, "crop window");
         WithDialog([&] { windows.Form3.Shape1MouseDown(); }, lookAndAccept("name input box", typeName));
         EXPECT_TRUE(QFileInfo::exists(output + "/frost-176x220.JPG"));
         ASSERT_TRUE(windows.Form3.isVisible());
         EXPECT_TRUE(windows.Form3.windowTitle().endsWith('%')) << windows.Form3.windowTitle().toStdString();
         look(windows.Form3, "scaled crop window");
         WithDialog([&] { windows.Form3.Shape1MouseDown(); }, [&](QDialog& dialog) {
           typeName(dialog);
           dialog.accept();
         });
         EXPECT_TRUE(QFileInfo::exists(output + "/frost-1080x2400.JPG"));
         EXPECT_FALSE(windows.Form3.isVisible());
       }},
      {"error box",
       [&] {
         WithDialog([&] { Guard(errorBox, [&] { throw EFOpenError((folder.path() + "/gone.jpg").toStdString(),
                                                                "No such file or directory"); }); },
                    lookAndAccept("error box"));
       }},
  };
  for (const TScene& scene : scenes) {
    SCOPED_TRACE(scene.name);
    scene.run();
  }
  return faults;
}

TEST(Interface, EnglishTranslatesEveryWindowAndDialogAndNoTextIsCutInEitherLanguage) {
  for (const TLanguage language : {TLanguage::English, TLanguage::Russian}) {
    const bool english = language == TLanguage::English;
    SCOPED_TRACE(english ? "English" : "Russian");
    const TTranslations translations(language);
    ASSERT_EQ(translations.Missing(), "");
    int looked = 0;
    const QStringList faults = WalkTheProgram(english, looked);
    EXPECT_TRUE(faults.isEmpty()) << faults.join("\n").toStdString();
    EXPECT_EQ(looked, 19);
  }

  // The walk itself finds what it is there to find.
  QWidget probe;
  auto* untranslated = new QLabel(QStringLiteral("Файлы"), &probe);
  untranslated->setGeometry(0, 0, 100, 20);
  auto* cut = new QCheckBox(QStringLiteral("Ask for a name for each file"), &probe);
  cut->setGeometry(0, 30, 120, 17);
  probe.resize(400, 100);
  probe.show();
  const QStringList found = Faults(probe, "probe", true);
  ASSERT_EQ(found.size(), 2) << found.join("\n").toStdString();
  EXPECT_TRUE(found[0].endsWith("\"Файлы\" is not translated")) << found[0].toStdString();
  EXPECT_TRUE(found[1].startsWith("probe: QCheckBox \"Ask for a name for each file\" needs")) << found[1].toStdString();
}

} // namespace
} // namespace qv::test
