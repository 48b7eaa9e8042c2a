#include "JobTexts.h"

#include <QCoreApplication>

#include <string_view>

#include "job/Naming.h"
#include "job/SourceList.h"
#include "run/RunDriver.h"

namespace qv {

namespace {

constexpr const char* kContext = "qv::JobTexts";

struct TJobText {
  std::string_view constant;
  // The same text as a literal, for lupdate to find.
  const char* source;
  // Whether a number may follow it.
  bool prefix = false;
};

constexpr TJobText kJobTexts[] = {
    {kStatusPrefix, QT_TRANSLATE_NOOP("qv::JobTexts", "Файлов: "), true},
    {kNoFilesMessage, QT_TRANSLATE_NOOP("qv::JobTexts", "Сначала добавьте файлы")},
    {kNoResolutionsMessage, QT_TRANSLATE_NOOP("qv::JobTexts", "Сначала выберите разрешения")},
    {kNamePromptCaption, QT_TRANSLATE_NOOP("qv::JobTexts", "Введите желаемое имя файла: ")},
};

// A constant changed in job/ or run/ without its literal here would go untranslated.
constexpr bool LiteralsMatchConstants() {
  for (const TJobText& text : kJobTexts)
    if (text.constant != std::string_view(text.source))
      return false;
  return true;
}
static_assert(LiteralsMatchConstants(), "a text of kJobTexts differs from the constant it translates");

bool IsNumber(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

} // namespace

QString JobText(const std::string& text) {
  for (const TJobText& known : kJobTexts) {
    if (text == known.constant)
      return QCoreApplication::translate(kContext, known.source);
    if (known.prefix && text.starts_with(known.constant) && IsNumber(std::string_view(text).substr(known.constant.size())))
      return QCoreApplication::translate(kContext, known.source) +
             QString::fromStdString(text.substr(known.constant.size()));
  }
  return QString::fromStdString(text);
}

} // namespace qv
