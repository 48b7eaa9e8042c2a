// What the program shows the desktop: the interface language the system and --lang give,
// the command line read before any window exists, the translators each language installs,
// and the id under which the desktop finds its entry.

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QSettings>

#include <gtest/gtest.h>

#include "CommandLine.h"
#include "Language.h"

namespace qv::test {
namespace {

constexpr TLanguage kRu = TLanguage::Russian;
constexpr TLanguage kEn = TLanguage::English;

TEST(Language, FirstUiLanguageDecidesAndLangOverrides) {
  // The lists are what QLocale::system().uiLanguages() gives under LANG=en_US.UTF-8 and so on.
  struct TRow {
    std::optional<TLanguage> requested;
    QStringList uiLanguages;
    TLanguage expected;
  };
  const TRow rows[] = {
      {std::nullopt, {"en-US", "en-Latn-US", "en"}, kEn},
      {std::nullopt, {"en-GB", "en-Latn-GB"}, kEn},
      {std::nullopt, {"ru-RU", "ru-Cyrl-RU", "ru"}, kRu},
      {std::nullopt, {"de-DE", "de-Latn-DE", "de"}, kRu},
      {std::nullopt, {"C"}, kRu},
      {std::nullopt, {}, kRu},
      // LANGUAGE=ru:en under an English LANG: only the first counts, either way round.
      {std::nullopt, {"ru", "ru-Cyrl-RU", "en", "en-US"}, kRu},
      {std::nullopt, {"de-DE", "en-US"}, kRu},
      {std::nullopt, {"en"}, kEn},
      {kRu, {"en-US", "en"}, kRu},
      {kEn, {"ru-RU", "ru"}, kEn},
      {kEn, {"C"}, kEn},
  };
  for (const TRow& row : rows)
    EXPECT_EQ(ChooseLanguage(row.requested, row.uiLanguages), row.expected)
        << "uiLanguages " << row.uiLanguages.join(",").toStdString() << ", --lang "
        << (row.requested ? (*row.requested == kEn ? "en" : "ru") : "none");
}

TEST(CommandLine, OwnOptionsAndQtsLeftAlone) {
  using A = TCommandLine::TAction;
  struct TRow {
    std::vector<std::string> arguments;
    A action;
    std::optional<TLanguage> language;
    std::string wrong;
    std::vector<std::string> others;
  };
  const TRow rows[] = {
      {{}, A::Run, std::nullopt, "", {}},
      {{"--version"}, A::Version, std::nullopt, "", {}},
      {{"--help"}, A::Help, std::nullopt, "", {}},
      {{"-h"}, A::Help, std::nullopt, "", {}},
      {{"--lang", "en"}, A::Run, kEn, "", {}},
      {{"--lang=ru"}, A::Run, kRu, "", {}},
      {{"--lang", "ru", "--lang", "en"}, A::Run, kEn, "", {}},
      {{"-platform", "offscreen", "--lang", "en", "-style", "Fusion"},
       A::Run, kEn, "", {"-platform", "offscreen", "-style", "Fusion"}},
      {{"--lang", "de"}, A::Wrong, std::nullopt, "--lang takes ru or en, not \"de\"", {}},
      {{"--lang=EN"}, A::Wrong, std::nullopt, "--lang takes ru or en, not \"EN\"", {}},
      {{"--lang"}, A::Wrong, std::nullopt, "--lang needs ru or en", {}},
      {{"--lang="}, A::Wrong, std::nullopt, "--lang needs ru or en", {}},
      // The first of the answering options decides; a wrong --lang before it is reported.
      {{"--help", "--lang", "xx"}, A::Help, std::nullopt, "", {}},
      {{"--version", "--help"}, A::Version, std::nullopt, "", {}},
      {{"--lang", "xx", "--version"}, A::Wrong, std::nullopt, "--lang takes ru or en, not \"xx\"", {}},
      {{"photo.jpg", "--langs"}, A::Run, std::nullopt, "", {"photo.jpg", "--langs"}},
  };
  for (const TRow& row : rows) {
    std::string shown;
    for (const std::string& argument : row.arguments)
      shown += " " + argument;
    const TCommandLine line = ParseCommandLine(row.arguments);
    EXPECT_EQ(line.action, row.action) << shown;
    EXPECT_EQ(line.language, row.language) << shown;
    EXPECT_EQ(line.wrong, row.wrong) << shown;
    EXPECT_EQ(line.others, row.others) << shown;
  }
}

// What a fresh Qt file dialog says, as the user sees it.
struct TFileDialogTexts {
  QString lookIn;
  QString fileName;
  QStringList buttons;
};

TFileDialogTexts FileDialogTexts() {
  QFileDialog dialog;
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  TFileDialogTexts texts;
  if (auto* label = dialog.findChild<QLabel*>("lookInLabel"))
    texts.lookIn = label->text();
  if (auto* label = dialog.findChild<QLabel*>("fileNameLabel"))
    texts.fileName = label->text();
  if (auto* box = dialog.findChild<QDialogButtonBox*>("buttonBox"))
    for (QAbstractButton* button : box->buttons())
      texts.buttons << button->text();
  texts.buttons.sort();
  return texts;
}

QString MainWindowText(const char* text) { return QCoreApplication::translate("qv::TForm1", text); }

TEST(Translations, EnglishIsOursAloneRussianBringsQtsOwnAndBothGoAway) {
  const TFileDialogTexts english = FileDialogTexts();
  ASSERT_EQ(english.lookIn, "Look in:") << "no translator may be installed before the test";
  EXPECT_EQ(english.buttons, QStringList({"&Open", "Cancel"}));

  {
    const TTranslations translations(kEn);
    EXPECT_EQ(translations.Missing(), "");
    // From translations/quarvelle_en.ts, through the .qm embedded in the program.
    EXPECT_EQ(MainWindowText("Настройки"), "Settings");
    EXPECT_EQ(MainWindowText("Старт!"), "Start!");
    const TFileDialogTexts dialog = FileDialogTexts();
    EXPECT_EQ(dialog.lookIn, english.lookIn);
    EXPECT_EQ(dialog.fileName, english.fileName);
    EXPECT_EQ(dialog.buttons, english.buttons);
  }
  {
    const TTranslations translations(kRu);
    EXPECT_EQ(translations.Missing(), "");
    EXPECT_EQ(MainWindowText("Настройки"), "Настройки");
    // Debian's qtbase_ru.qm (qt6-translations-l10n).
    const TFileDialogTexts dialog = FileDialogTexts();
    EXPECT_EQ(dialog.lookIn, "Перейти к:");
    EXPECT_EQ(dialog.fileName, "&Имя файла:");
    EXPECT_EQ(dialog.buttons, QStringList({"&Открыть", "Отмена"}));
  }
  EXPECT_EQ(MainWindowText("Настройки"), "Настройки");
  EXPECT_EQ(FileDialogTexts().lookIn, "Look in:");
}

// The desktop matches the running windows with the entry named by the desktop file name, and
// takes the icon that entry names.
TEST(Desktop, TheProgramsIdNamesTheInstalledEntryAndItsIcon) {
  const QString id = QGuiApplication::desktopFileName();
  const QString entry = QStringLiteral(QV_PACKAGING_DIR "/") + id + ".desktop";
  ASSERT_TRUE(QFile::exists(entry)) << entry.toStdString();
  QSettings desktop(entry, QSettings::IniFormat);
  EXPECT_EQ(desktop.value("Desktop Entry/Icon").toString(), id);
  EXPECT_EQ(desktop.value("Desktop Entry/Exec").toString(), "quarvelle");
  EXPECT_TRUE(QFile::exists(QStringLiteral(QV_PACKAGING_DIR "/") + id + ".svg"));
  EXPECT_TRUE(QFile::exists(QStringLiteral(QV_PACKAGING_DIR "/") + id + ".metainfo.xml"));
}

} // namespace
} // namespace qv::test
