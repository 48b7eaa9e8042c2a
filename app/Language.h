#pragma once
// The interface language and the translators that give it.

#include <QStringList>
#include <QTranslator>

#include <optional>
#include <string_view>

namespace qv {

// Russian is the language the texts are written in; English comes from our own translation.
enum class TLanguage { Russian, English };

// The language --lang names: "ru" or "en", nothing else.
std::optional<TLanguage> LanguageNamed(std::string_view code);

// The language asked for, otherwise English when the first of the system's UI languages is
// English ("en", "en-GB"), otherwise Russian: also for the C locale and for every language
// we have no translation for.
TLanguage ChooseLanguage(std::optional<TLanguage> requested, const QStringList& uiLanguages);

// The translators of one language, installed into the running application for as long as
// this object lives. Russian adds Qt's own Russian texts, so that Qt's dialogs and buttons
// speak the language of our windows; English adds ours only, Qt's texts being English.
class TTranslations {
public:
  explicit TTranslations(TLanguage language);
  TTranslations(const TTranslations&) = delete;
  TTranslations& operator=(const TTranslations&) = delete;

  // What could not be loaded, for a note on stderr; empty when everything was.
  const QString& Missing() const { return missing_; }

private:
  QTranslator program_;
  QTranslator qt_;
  QString missing_;
};

} // namespace qv
