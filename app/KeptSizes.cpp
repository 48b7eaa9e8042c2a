#include "KeptSizes.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>

#include <sys/stat.h>

#include <cstdio>
#include <utility>

#include "job/Errors.h"

namespace qv {

namespace {

const QString kKey = QStringLiteral("resolutions/added");
const QString kHighQualityKey = QStringLiteral("processing/high_quality_reduction");

QString FromPath(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

// The list as QSettings holds it: a single text comes back as a string, several as a list.
bool KeptTexts(const QVariant& value, QStringList& texts) {
  if (!value.isValid()) {
    texts.clear();
    return true;
  }
  if (value.typeId() != QMetaType::QString && value.typeId() != QMetaType::QStringList)
    return false;
  texts = value.toStringList();
  return true;
}

// The translated text with the path's own bytes in place of its "%1".
std::string Said(const char* source, const std::string& path) {
  const QString text = QCoreApplication::translate("qv::TKeptSizes", source);
  const qsizetype at = text.indexOf(QLatin1String("%1"));
  return at < 0 ? text.toStdString() : text.left(at).toStdString() + path + text.mid(at + 2).toStdString();
}

} // namespace

std::string KeptSizesPath() {
  QString home = qEnvironmentVariable("XDG_CONFIG_HOME");
  // The XDG base directory rules say a relative XDG_CONFIG_HOME is to be ignored.
  if (home.isEmpty() || QDir::isRelativePath(home))
    home = QDir::homePath() + QStringLiteral("/.config");
  return QFile::encodeName(home + QStringLiteral("/Quarvelle/Quarvelle.conf")).toStdString();
}

TKeptSizes::TKeptSizes(std::string path, TWarn warn) : path_(std::move(path)), warn_(std::move(warn)) {}

void TKeptSizes::Warn(const std::string& text) {
  const std::string line = "quarvelle: " + path_ + ": " + text;
  if (warn_)
    warn_(line);
  else
    std::fprintf(stderr, "%s\n", line.c_str());
}

std::vector<std::string> TKeptSizes::Read() {
  unreadable_ = false;
  const QString path = FromPath(path_);
  if (!QFileInfo::exists(path))
    return {};
  // QSettings takes a file it cannot open for an empty one; that must not be written over.
  QFile probe(path);
  if (!QFileInfo(path).isFile() || !probe.open(QIODevice::ReadOnly)) {
    unreadable_ = true;
    Warn("cannot be read (" + probe.errorString().toStdString() + "); the sizes kept in it are not listed");
    return {};
  }
  probe.close();
  QSettings file(path, QSettings::IniFormat);
  QStringList texts;
  const bool list = KeptTexts(file.value(kKey), texts);
  if (file.status() == QSettings::FormatError)
    Warn("is damaged; only the sizes that could be read from it are listed");
  else if (file.status() != QSettings::NoError) {
    unreadable_ = true;
    Warn("cannot be read; the sizes kept in it are not listed");
    return {};
  }
  if (!list) {
    Warn("resolutions/added is not a list of sizes; left out");
    return {};
  }
  std::vector<std::string> kept;
  for (const QString& text : texts)
    kept.push_back(text.toStdString());
  return kept;
}

void TKeptSizes::Write(const std::vector<std::string>& texts) {
  const QString path = FromPath(path_);
  if (unreadable_)
    throw Exception(Said(QT_TRANSLATE_NOOP("qv::TKeptSizes", "Список размеров не сохранён: файл «%1» не удалось "
                                                           "прочитать при запуске, и он был бы записан без них"),
                         path_));
  QStringList list;
  for (const std::string& text : texts)
    list << QString::fromStdString(text);
  struct stat before {};
  const bool existed = stat(path_.c_str(), &before) == 0;
  // QSettings writes the whole file to a temporary one and renames it over the old.
  QSettings file(path, QSettings::IniFormat);
  if (list.isEmpty())
    file.remove(kKey);
  else
    file.setValue(kKey, list);
  file.sync();
  bool kept = file.status() == QSettings::NoError;
  if (file.status() == QSettings::FormatError) {
    // The first problem is the one QSettings reports: after reading a damaged file it says
    // nothing of a failed write. A written file is a new one renamed into place.
    struct stat after {};
    kept = stat(path_.c_str(), &after) == 0 && (!existed || after.st_ino != before.st_ino || after.st_dev != before.st_dev);
  }
  if (!kept)
    throw Exception(Said(QT_TRANSLATE_NOOP("qv::TKeptSizes", "Список размеров не сохранён в файл «%1»"), path_));
}

bool TKeptSizes::ReadHighQualityReduction() {
  const QString path = FromPath(path_);
  if (!QFileInfo(path).isFile())
    return false;
  // Whatever is wrong with the file as a whole Read has said already.
  QSettings file(path, QSettings::IniFormat);
  const QVariant value = file.value(kHighQualityKey);
  if (!value.isValid())
    return false;
  const QString text = value.typeId() == QMetaType::QString ? value.toString() : QString();
  if (text == QLatin1String("true"))
    return true;
  if (text != QLatin1String("false"))
    Warn("processing/high_quality_reduction is neither true nor false; read as false");
  return false;
}

void TKeptSizes::WriteHighQualityReduction(bool on) {
  const QString path = FromPath(path_);
  if (unreadable_)
    throw Exception(Said(QT_TRANSLATE_NOOP("qv::TKeptSizes", "Настройка «Высокое качество уменьшения» не "
                                                           "сохранена: файл «%1» не удалось прочитать при запуске, "
                                                           "и он был бы записан без сохранённых в нём размеров"),
                         path_));
  QSettings file(path, QSettings::IniFormat);
  file.setValue(kHighQualityKey, on ? QStringLiteral("true") : QStringLiteral("false"));
  file.sync();
  if (file.status() != QSettings::NoError)
    throw Exception(Said(QT_TRANSLATE_NOOP("qv::TKeptSizes", "Настройка «Высокое качество уменьшения» не "
                                                           "сохранена в файл «%1»"), path_));
}

} // namespace qv
