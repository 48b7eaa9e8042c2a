#pragma once
// The modal dialogs the windows use, behind one interface so tests can answer them.

#include <QCoreApplication>
#include <QDialog>
#include <QFileDialog>

#include <optional>
#include <string>
#include <vector>

#include "job/Services.h"

class QComboBox;
class QLabel;
class QLineEdit;

namespace qv {

class IDialogs : public IInputBox {
public:
  // The chosen pictures as full paths in the dialog's order; none when cancelled.
  virtual std::vector<std::string> OpenPictures(QWidget* owner) = 0;
  // The chosen folder without a trailing separator (the root stays "/"); none when cancelled.
  virtual std::optional<std::string> BrowseFolder(QWidget* owner, const std::string& current) = 0;
  // The error kind's message box: caption "Error", critical icon, one "OK".
  virtual void MessageBox(const std::string& text) = 0;
  // Asks for a screen size to add: an entry that offers sizes and takes any typed text.
  // The text as typed on OK; none when cancelled.
  virtual std::optional<std::string> SizeBox(QWidget* owner, const std::vector<std::string>& offered) = 0;
};

class TQtDialogs : public IDialogs {
  Q_DECLARE_TR_FUNCTIONS(qv::TQtDialogs)

public:
  std::vector<std::string> OpenPictures(QWidget* owner) override;
  std::optional<std::string> BrowseFolder(QWidget* owner, const std::string& current) override;
  void MessageBox(const std::string& text) override;
  std::string InputBox(const std::string& caption, const std::string& prompt,
                       const std::string& defaultText) override;
  std::optional<std::string> SizeBox(QWidget* owner, const std::vector<std::string>& offered) override;

private:
  QString pictureFolder_;
};

// The patterns in parentheses are what the dialog filters by; a translation must keep them.
// The first offers every picture the list takes, the JPEG one is the designed filter, and
// each other family has its own.
inline constexpr const char* kAllPicturesFilter = QT_TRANSLATE_NOOP(
    "qv::TPictureOpenDialog", "Все изображения (*.jpg *.jpeg *.heic *.heif *.hif *.avif *.png *.webp)");
inline constexpr const char* kPictureFilter = QT_TRANSLATE_NOOP("qv::TPictureOpenDialog", "JPEG Image File (*.jpg *.jpeg)");
inline constexpr const char* kFamilyFilters[] = {
    QT_TRANSLATE_NOOP("qv::TPictureOpenDialog", "HEIF Image File (*.heic *.heif *.hif)"),
    QT_TRANSLATE_NOOP("qv::TPictureOpenDialog", "AVIF Image File (*.avif)"),
    QT_TRANSLATE_NOOP("qv::TPictureOpenDialog", "PNG Image File (*.png)"),
    QT_TRANSLATE_NOOP("qv::TPictureOpenDialog", "WebP Image File (*.webp)"),
};

// Qt's own file dialog (the desktop's cannot carry a pane) with a picture preview.
class TPictureOpenDialog : public QFileDialog {
  Q_OBJECT

public:
  explicit TPictureOpenDialog(QWidget* owner);

  // Decodes the file with our codec and shows it, or "(None)" when it cannot be loaded.
  void ShowPreview(const QString& path);
  QString PreviewCaption() const;
  QString PreviewText() const;
  bool PreviewHasPicture() const;
  QPixmap PreviewPicture() const;

private:
  QLabel* caption_;
  QLabel* picture_;
};

inline constexpr int kInputBoxMaxLength = 255;

// A caption, a prompt above a one-line edit, "OK" (default) and "Cancel".
class TInputBoxDialog : public QDialog {
  Q_OBJECT

public:
  TInputBoxDialog(const QString& caption, const QString& prompt, const QString& defaultText, QWidget* owner = nullptr);

  QLineEdit* Edit() const { return edit_; }
  // The edit's text on OK, the default otherwise.
  QString Result() const;

private:
  QLineEdit* edit_;
  QString default_;
};

// The size box: a prompt above an editable list of sizes, starting empty, "OK" (default)
// and "Отмена".
class TSizeBoxDialog : public QDialog {
  Q_OBJECT

public:
  TSizeBoxDialog(const std::vector<std::string>& offered, QWidget* owner = nullptr);

  QComboBox* Sizes() const { return sizes_; }
  // The entry's text as it stands.
  QString Text() const;

private:
  QComboBox* sizes_;
};

// At most count code points of text; a surrogate pair is never split.
QString LeftCodePoints(const QString& text, int count);

} // namespace qv
