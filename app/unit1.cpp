#include "unit1.h"

#include <QAction>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QShowEvent>
#include <QToolButton>
#include <QUrl>

#include <algorithm>
#include <vector>

#include "Controls.h"
#include "Dialogs.h"
#include "ErrorBox.h"
#include "Glyphs.h"
#include "JobTexts.h"
#include "Unit2.h"
#include "Unit3.h"
#include "job/Naming.h"

namespace qv {

namespace {

QToolButton* SpeedButton(QWidget* parent, const QRect& bounds, const QPixmap& glyph, const QString& caption = {}) {
  return new TSpeedButton(parent, bounds, glyph, caption);
}

// A sunken panel of the status bar, starting at left and `width` wide with its gap.
QLabel* StatusPanel(QWidget* bar, int left, int width) {
  auto* panel = new QLabel(bar);
  panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  panel->setGeometry(left, 2, width - 2, bar->height() - 2);
  return panel;
}

} // namespace

TForm1::TForm1(TAppServices& services)
    : services_(services), files_(state_, services.openTest, *this), driver_(state_, *this, *this) {
  setWindowTitle(QString::fromUtf8(kMainCaption));
  setFont(FormFont());
  // Fixed border with system menu and minimise only.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  CreateControls();
  CreateMenu();
  FitTexts(client_);
  layout()->setSizeConstraint(QLayout::SetFixedSize);

  // FormCreate
  state_.currentResolution = 1;
  setAcceptDrops(true);

  files_.onChanged = [this](const TListChange& change) { MirrorFiles(change); };
  StatusPanel0->setText(JobText(files_.StatusText()));
  ShowProgress();
}

TForm1::~TForm1() { files_.onChanged = nullptr; }

void TForm1::CreateControls() {
  client_ = new QWidget(this);
  client_->setFixedSize(kMainClientWidth, kMainClientHeight);
  setCentralWidget(client_);

  GroupBox1 = new QGroupBox(tr("Файлы"), client_);
  GroupBox1->setGeometry(0, 0, 209, 273);
  ListBox1 = new QListWidget(GroupBox1);
  ListBox1->setGeometry(8, 16, 193, 217);
  ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
  ListBox1->setItemDelegate(new TItemHeightDelegate(13, ListBox1));
  ListBox1->setUniformItemSizes(true);
  SpeedButton1 = SpeedButton(GroupBox1, {8, 237, 33, 28}, AddGlyph());
  SpeedButton2 = SpeedButton(GroupBox1, {48, 237, 33, 28}, RemoveGlyph());
  SpeedButton3 = SpeedButton(GroupBox1, {168, 237, 33, 28}, ClearGlyph());

  GroupBox2 = new QGroupBox(tr("Конвертирование: "), client_);
  GroupBox2->setGeometry(208, 0, 193, 273);
  Label1 = new QLabel(tr("Папка сохранения:"), GroupBox2);
  Label1->setGeometry(8, 24, 97, 13);
  Edit1 = new QLineEdit(QDir::homePath() + QLatin1Char(kPathDelim), GroupBox2);
  Edit1->setGeometry(8, 40, 153, 21);
  Edit1->setReadOnly(true);
  Edit1->setCursorPosition(0);
  // Drops belong to the window, not to the text inside the field.
  Edit1->setAcceptDrops(false);
  SpeedButton4 = SpeedButton(GroupBox2, {160, 40, 23, 22}, FolderGlyph());
  Bevel1 = new TBevel(GroupBox2, false);
  Bevel1->setGeometry(8, 72, 177, 9);
  SpeedButton5 = SpeedButton(GroupBox2, {8, 80, 89, 33}, StartGlyph(), tr("Старт!"));
  SpeedButton6 = SpeedButton(GroupBox2, {96, 80, 89, 33}, SettingsGlyph(), tr("Настройки"));
  Bevel2 = new TBevel(GroupBox2, false);
  Bevel2->setGeometry(8, 120, 177, 9);
  Label5 = new QLabel(tr("Общий прогресс"), GroupBox2);
  Label5->setGeometry(8, 222, 85, 13);
  pos2 = new QProgressBar(GroupBox2);
  pos2->setGeometry(8, 248, 177, 16);
  pos2->setTextVisible(false);
  QPalette blue = pos2->palette();
  blue.setColor(QPalette::Highlight, QColor(0, 60, 220));
  pos2->setPalette(blue);

  StatusBar1 = new QWidget(client_);
  StatusBar1->setGeometry(0, 275, 404, 19);
  StatusPanel0 = StatusPanel(StatusBar1, 0, 100);
  StatusPanel1 = StatusPanel(StatusBar1, 100, 50);

  // The full paths are kept beside the client area, where nobody sees them.
  ListBox2 = new QListWidget(client_);
  ListBox2->setGeometry(408, 8, 121, 97);
  ListBox2->setItemDelegate(new TItemHeightDelegate(13, ListBox2));
  ListBox2->hide();

  connect(SpeedButton1, &QToolButton::clicked, this, [this] { Handle(&TForm1::SpeedButton1Click); });
  connect(SpeedButton2, &QToolButton::clicked, this, [this] { Handle(&TForm1::SpeedButton2Click); });
  connect(SpeedButton3, &QToolButton::clicked, this, [this] { Handle(&TForm1::SpeedButton3Click); });
  connect(SpeedButton4, &QToolButton::clicked, this, [this] { Handle(&TForm1::SpeedButton4Click); });
  connect(SpeedButton5, &QToolButton::clicked, this, [this] { Handle(&TForm1::SpeedButton5Click); });
  connect(SpeedButton6, &QToolButton::clicked, this, [this] { Handle(&TForm1::SpeedButton6Click); });
  connect(ListBox1, &QListWidget::currentRowChanged, this, [this](int row) {
    Guard(services_.errorBox, [this, row] {
      if (row != files_.Selected())
        files_.Select(row);
    });
  });
}

void TForm1::CreateMenu() {
  QMenu* files = menuBar()->addMenu(tr("Файлы"));
  N2 = files->addAction(tr("Добавить"));
  N3 = files->addAction(tr("Очистить"));
  N7 = files->addAction(tr("Выйти"));
  QMenu* actions = menuBar()->addMenu(tr("Действия"));
  N5 = actions->addAction(tr("Начать обработку"));
  N6 = actions->addAction(tr("Настройки"));

  // Each item does exactly what its button does.
  connect(N2, &QAction::triggered, this, [this] { Handle(&TForm1::SpeedButton1Click); });
  connect(N3, &QAction::triggered, this, [this] { Handle(&TForm1::SpeedButton3Click); });
  connect(N7, &QAction::triggered, this, [this] { Handle(&TForm1::N7Click); });
  connect(N5, &QAction::triggered, this, [this] { Handle(&TForm1::SpeedButton5Click); });
  connect(N6, &QAction::triggered, this, [this] { Handle(&TForm1::SpeedButton6Click); });
}

void TForm1::Handle(void (TForm1::*handler)()) {
  Guard(services_.errorBox, [this, handler] { (this->*handler)(); });
}

void TForm1::AttachSettingsWindow(TForm2* settings) { settings_ = settings; }

void TForm1::AttachCropWindow(TForm3* crop) { crop_ = crop; }

void TForm1::GetParams() {
  qv::GetParams(state_, settings_->Values(), QFile::encodeName(Edit1->text()).toStdString(), files_.Count());
}

void TForm1::SetParams() {
  qv::SetParams(state_, settings_->Values(), [this](TSettingsField field) { settings_->Reflect(field); });
}

std::string TForm1::makename(int32_t index) {
  return qv::makename(index, state_, files_.ListBox1(), settings_->Values().folderPerResolutionBox,
                      services_.dialogs, services_.folders);
}

TTarget TForm1::CurrentTarget() const {
  return {state_.targetWidth, state_.targetHeight, state_.compression, state_.orientByExif,
          state_.highQualityReduction ? TResizeFilter::lanczos3 : TResizeFilter::bilinear};
}

void TForm1::SpeedButton1Click() {
  const std::vector<std::string> paths = services_.dialogs.OpenPictures(this);
  files_.AddPaths(paths);
}

void TForm1::SpeedButton2Click() { files_.RemoveSelected(); }

void TForm1::SpeedButton3Click() { files_.clear(); }

void TForm1::SpeedButton4Click() {
  const std::optional<std::string> folder =
      services_.dialogs.BrowseFolder(this, QFile::encodeName(Edit1->text()).toStdString());
  if (folder) {
    Edit1->setText(QFile::decodeName(QByteArray::fromStdString(*folder)) + QLatin1Char(kPathDelim));
    // A long path shows from its start.
    Edit1->setCursorPosition(0);
  }
}

void TForm1::SpeedButton5Click() { driver_.SpeedButton5Click(); }

void TForm1::SpeedButton6Click() {
  if (!settings_->isVisible())
    settings_->show();
}

void TForm1::N7Click() { close(); }

int32_t TForm1::DisplayCount() { return files_.Count(); }

std::string TForm1::PathAt(int32_t index) { return files_.Path(index); }

void TForm1::clear() { files_.clear(); }

void TForm1::openfile(const std::string& path) { crop_->openfile(path); }

TStep TForm1::ShowCropWindow() {
  if (crop_->isVisible())
    return TStep::awaitUser;
  // FormShow opens file 0 and sizes the crop window before it reaches the screen; an error
  // there is reported and the window is shown all the same.
  TStep shown = TStep::awaitUser;
  Guard(services_.errorBox, [&] { shown = driver_.FormShow(); });
  crop_->show();
  return shown;
}

void TForm1::HideCropWindow() { crop_->hide(); }

bool TForm1::CropWindowVisible() { return crop_->isVisible(); }

void TForm1::ErrorMessage(const std::string& text) { services_.dialogs.MessageBox(text); }

void TForm1::ReportError(const std::exception& error) { ReportToErrorBox(services_.errorBox, error); }

bool TForm1::AnyResolutionChecked() { return settings_->Values().AnyResolutionChecked(); }

// Like the platform's progress bar, the position is kept within the range.
void TForm1::SetMaximum(int32_t maximum) {
  progressMaximum_ = std::max(0, maximum);
  progressPosition_ = std::clamp(progressPosition_, 0, progressMaximum_);
  ShowProgress();
}

void TForm1::SetPosition(int32_t position) {
  progressPosition_ = std::clamp(position, 0, progressMaximum_);
  ShowProgress();
}

int32_t TForm1::Maximum() const { return progressMaximum_; }

int32_t TForm1::Position() const { return progressPosition_; }

void TForm1::ShowProgress() {
  // A range of 0..0 would turn the bar into a busy indicator; an empty range shows empty.
  pos2->setRange(0, std::max(1, progressMaximum_));
  pos2->setValue(progressPosition_);
}

void TForm1::MirrorFiles(const TListChange& change) {
  const QSignalBlocker blockNames(ListBox1);
  switch (change.kind) {
  case TListChange::TKind::appended: {
    // One insertion for all the new rows: a drop of a large folder is laid out once.
    QStringList names;
    QStringList paths;
    for (int32_t i = change.first; i < files_.Count(); ++i) {
      names << QString::fromStdString(files_.DisplayName(i));
      paths << QFile::decodeName(QByteArray::fromStdString(files_.Path(i)));
    }
    ListBox1->addItems(names);
    ListBox2->addItems(paths);
    break;
  }
  case TListChange::TKind::removed:
    delete ListBox1->takeItem(change.first);
    delete ListBox2->takeItem(change.first);
    break;
  case TListChange::TKind::cleared:
    ListBox1->clear();
    ListBox2->clear();
    break;
  }
  // A removed row takes the selection with it; the list box would move it to a neighbour.
  if (files_.Selected() < 0)
    ListBox1->clearSelection();
  if (ListBox1->currentRow() != files_.Selected())
    ListBox1->setCurrentRow(files_.Selected());
  StatusPanel0->setText(JobText(files_.StatusText()));
  // The crop window's caption counts the photos of the run.
  if (crop_ && crop_->isVisible())
    crop_->ShowCaption();
}

void TForm1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!event->spontaneous() && !shownBefore_) {
    shownBefore_ = true;
    CentreOnDesktop(this);
  }
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls())
    event->acceptProposedAction();
}

void TForm1::dragMoveEvent(QDragMoveEvent* event) {
  if (event->mimeData()->hasUrls())
    event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event) {
  event->acceptProposedAction();
  // Gathering the paths allocates too, so it runs inside the guard with the intake.
  Guard(services_.errorBox, [this, event] {
    std::vector<std::string> paths;
    for (const QUrl& url : event->mimeData()->urls())
      if (url.isLocalFile())
        paths.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
    files_.AddPaths(paths);
  });
}

} // namespace qv
