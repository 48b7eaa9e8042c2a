#include "Language.h"

#include <QCoreApplication>
#include <QLibraryInfo>

namespace qv {

std::optional<TLanguage> LanguageNamed(std::string_view code) {
  if (code == "ru")
    return TLanguage::Russian;
  if (code == "en")
    return TLanguage::English;
  return std::nullopt;
}

TLanguage ChooseLanguage(std::optional<TLanguage> requested, const QStringList& uiLanguages) {
  if (requested)
    return *requested;
  if (uiLanguages.isEmpty())
    return TLanguage::Russian;
  // Qt gives BCP 47 tags ("en-US", "en-Latn-US"), the C locale as "C"; the language is the
  // part before the first separator.
  const QString first = uiLanguages.constFirst();
  qsizetype end = 0;
  while (end < first.size() && first[end] != QLatin1Char('-') && first[end] != QLatin1Char('_'))
    ++end;
  return first.left(end).compare(QLatin1String("en"), Qt::CaseInsensitive) == 0 ? TLanguage::English
                                                                                  : TLanguage::Russian;
}

TTranslations::TTranslations(TLanguage language) {
  if (language == TLanguage::English) {
    // Built from translations/quarvelle_en.ts and embedded in the program.
    if (program_.load(QStringLiteral(":/i18n/quarvelle_en.qm")))
      QCoreApplication::installTranslator(&program_);
    else
      missing_ = QStringLiteral("the English translation is not in the program; the interface stays Russian");
    return;
  }
  const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  if (qt_.load(QStringLiteral("qtbase_ru"), folder))
    QCoreApplication::installTranslator(&qt_);
  else
    missing_ = QStringLiteral("Qt's Russian texts (qtbase_ru.qm, package qt6-translations-l10n) are not in ") +
               folder + QStringLiteral("; Qt's dialogs stay English");
}

} // namespace qv
