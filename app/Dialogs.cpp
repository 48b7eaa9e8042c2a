#include "Dialogs.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QValidator>
#include <QVBoxLayout>

#include <exception>

#include "Controls.h"
#include "JobTexts.h"
#include "imaging/JPEGImage.h"
#include "imaging/Orientation.h"

namespace qv {

namespace {

// Counts code points, not UTF-16 units, so a name of 255 letters of any script fits.
class TCodePointLimit : public QValidator {
public:
  TCodePointLimit(int limit, QObject* parent) : QValidator(parent), limit_(limit) {}
  State validate(QString& input, int&) const override {
    return input.toUcs4().size() <= limit_ ? Acceptable : Invalid;
  }

private:
  int limit_;
};

constexpr int kPreviewSide = 160;

} // namespace

QString LeftCodePoints(const QString& text, int count) {
  const QList<uint> codes = text.toUcs4();
  if (codes.size() <= count)
    return text;
  return QString::fromUcs4(reinterpret_cast<const char32_t*>(codes.constData()), count);
}

TPictureOpenDialog::TPictureOpenDialog(QWidget* owner) : QFileDialog(owner) {
  setOption(QFileDialog::DontUseNativeDialog, true);
  setFileMode(QFileDialog::ExistingFiles);
  setAcceptMode(QFileDialog::AcceptOpen);
  QStringList filters = {tr(kAllPicturesFilter), tr(kPictureFilter)};
  for (const char* family : kFamilyFilters)
    filters << tr(family);
  setNameFilters(filters);
  // Photos from cameras end in .JPG, from phones in .HEIC: the patterns must match whatever
  // the case.
  setFilter(filter() & ~QDir::CaseSensitive);

  auto* pane = new QWidget(this);
  auto* column = new QVBoxLayout(pane);
  column->setContentsMargins(0, 0, 0, 0);
  caption_ = new QLabel(pane);
  picture_ = new QLabel(pane);
  picture_->setFixedSize(kPreviewSide, kPreviewSide);
  picture_->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  picture_->setAlignment(Qt::AlignCenter);
  column->addWidget(caption_);
  column->addWidget(picture_);
  column->addStretch(1);
  if (auto* grid = qobject_cast<QGridLayout*>(layout()))
    grid->addWidget(pane, 0, grid->columnCount(), grid->rowCount(), 1);

  connect(this, &QFileDialog::currentChanged, this, [this](const QString& path) { ShowPreview(path); });
  ShowPreview(QString());
}

void TPictureOpenDialog::ShowPreview(const QString& path) {
  QImage image;
  int32_t width = 0;
  int32_t height = 0;
  if (!path.isEmpty() && QFileInfo(path).isFile()) {
    try {
      TJPEGImage jpeg;
      jpeg.ReadJpegFile(QFile::encodeName(path).toStdString());
      // Upright, as the crop window will show it; the rows are turned as they come.
      TOrientingSink turned(jpeg.Data()->orientation);
      DecodeRows(*jpeg.Data(), turned);
      const TPixelImage picture = turned.Result();
      image = ToQImage(picture);
      width = picture.Width();
      height = picture.Height();
    } catch (const std::exception&) {
      // Whatever cannot be decoded is shown as no picture at all.
      image = QImage();
    }
  }
  if (image.isNull()) {
    caption_->setText(tr("Picture:"));
    picture_->setPixmap(QPixmap());
    picture_->setText(tr("(None)"));
    return;
  }
  //: The previewed picture's width and height.
  caption_->setText(tr(" (%1x%2)").arg(width).arg(height));
  const QSize room = picture_->contentsRect().size();
  picture_->setPixmap(QPixmap::fromImage(
      image.size().boundedTo(room) == image.size() ? image
                                                     : image.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}

QString TPictureOpenDialog::PreviewCaption() const { return caption_->text(); }

QString TPictureOpenDialog::PreviewText() const { return picture_->text(); }

bool TPictureOpenDialog::PreviewHasPicture() const { return !picture_->pixmap().isNull(); }

QPixmap TPictureOpenDialog::PreviewPicture() const { return picture_->pixmap(); }

TInputBoxDialog::TInputBoxDialog(const QString& caption, const QString& prompt, const QString& defaultText,
                                 QWidget* owner)
    : QDialog(owner), default_(defaultText) {
  setWindowTitle(caption);
  auto* column = new QVBoxLayout(this);
  auto* label = new QLabel(prompt, this);
  edit_ = new QLineEdit(this);
  edit_->setValidator(new TCodePointLimit(kInputBoxMaxLength, edit_));
  edit_->setText(LeftCodePoints(defaultText, kInputBoxMaxLength));
  edit_->selectAll();
  label->setBuddy(edit_);

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* ok = buttons->addButton(tr("OK"), QDialogButtonBox::AcceptRole);
  buttons->addButton(tr("Cancel"), QDialogButtonBox::RejectRole);
  ok->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  column->addWidget(label);
  column->addWidget(edit_);
  column->addWidget(buttons);
  // Wide enough that the caption, which carries the question, is not cut in the title bar.
  setMinimumWidth(std::max(270, fontMetrics().horizontalAdvance(caption) + 120));
  edit_->setFocus();
}

TSizeBoxDialog::TSizeBoxDialog(const std::vector<std::string>& offered, QWidget* owner) : QDialog(owner) {
  setWindowTitle(tr("Добавить размер"));
  auto* column = new QVBoxLayout(this);
  auto* label = new QLabel(tr("Размер экрана, ширина x высота:"), this);
  sizes_ = new QComboBox(this);
  sizes_->setEditable(true);
  // What is typed is checked by the settings window, not put into this list.
  sizes_->setInsertPolicy(QComboBox::NoInsert);
  for (const std::string& size : offered)
    sizes_->addItem(QString::fromStdString(size));
  sizes_->setCurrentIndex(-1);
  sizes_->setEditText(QString());
  sizes_->lineEdit()->setPlaceholderText(tr("например, 1080x2400"));
  label->setBuddy(sizes_);

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* ok = buttons->addButton(tr("OK"), QDialogButtonBox::AcceptRole);
  buttons->addButton(tr("Отмена"), QDialogButtonBox::RejectRole);
  ok->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  column->addWidget(label);
  column->addWidget(sizes_);
  column->addWidget(buttons);
  setMinimumWidth(std::max(240, fontMetrics().horizontalAdvance(windowTitle()) + 120));
  sizes_->setFocus();
}

QString TSizeBoxDialog::Text() const { return sizes_->currentText(); }

QString TInputBoxDialog::Result() const { return result() == QDialog::Accepted ? edit_->text() : default_; }

std::vector<std::string> TQtDialogs::OpenPictures(QWidget* owner) {
  TPictureOpenDialog dialog(owner);
  if (!pictureFolder_.isEmpty())
    dialog.setDirectory(pictureFolder_);
  if (dialog.exec() != QDialog::Accepted)
    return {};
  pictureFolder_ = dialog.directory().absolutePath();
  std::vector<std::string> paths;
  for (const QString& file : dialog.selectedFiles())
    paths.push_back(QFile::encodeName(QFileInfo(file).absoluteFilePath()).toStdString());
  return paths;
}

std::optional<std::string> TQtDialogs::BrowseFolder(QWidget* owner, const std::string& current) {
  QFileDialog dialog(owner);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly, true);
  dialog.setDirectory(QFile::decodeName(QByteArray::fromStdString(current)));
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    dialog.move(screen->geometry().topLeft());
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
    return std::nullopt;
  const QString folder = QDir::cleanPath(QFileInfo(dialog.selectedFiles().constFirst()).absoluteFilePath());
  if (folder.isEmpty())
    return std::nullopt;
  return QFile::encodeName(folder).toStdString();
}

void TQtDialogs::MessageBox(const std::string& text) {
  QMessageBox box(QMessageBox::Critical, tr("Error"), JobText(text), QMessageBox::Ok);
  box.button(QMessageBox::Ok)->setText(tr("OK"));
  box.setWindowModality(Qt::ApplicationModal);
  box.exec();
}

std::string TQtDialogs::InputBox(const std::string& caption, const std::string& prompt,
                                 const std::string& defaultText) {
  TInputBoxDialog dialog(JobText(caption), JobText(prompt),
                         QString::fromStdString(defaultText));
  dialog.setWindowModality(Qt::ApplicationModal);
  dialog.exec();
  return dialog.Result().toStdString();
}

std::optional<std::string> TQtDialogs::SizeBox(QWidget* owner, const std::vector<std::string>& offered) {
  TSizeBoxDialog dialog(offered, owner);
  dialog.setWindowModality(Qt::ApplicationModal);
  if (dialog.exec() != QDialog::Accepted)
    return std::nullopt;
  return dialog.Text().toStdString();
}

} // namespace qv
