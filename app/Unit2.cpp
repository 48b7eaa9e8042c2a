#include "Unit2.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QShowEvent>
#include <QSlider>
#include <QToolButton>

#include <algorithm>

#include "Controls.h"
#include "Dialogs.h"
#include "ErrorBox.h"
#include "Glyphs.h"
#include "KeptSizes.h"
#include "job/SizeList.h"
#include "unit1.h"

namespace qv {

namespace {

QCheckBox* CheckBox(QWidget* parent, const QString& caption, const QRect& bounds, bool checked) {
  auto* box = new QCheckBox(caption, parent);
  box->setGeometry(bounds);
  box->setChecked(checked);
  return box;
}

QLabel* Label(QWidget* parent, const QString& caption, const QRect& bounds) {
  auto* label = new QLabel(caption, parent);
  label->setGeometry(bounds);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

QToolButton* SpeedButton(QWidget* parent, const QString& caption, const QRect& bounds) {
  return new TSpeedButton(parent, bounds, QPixmap(), caption);
}

// A field right of a check box moves right by grownBy, keeping its right edge, so that the
// field, shown, does not cover the end of a box's text that had to grow.
void MoveRight(QWidget* field, int grownBy) {
  if (grownBy > 0)
    field->setGeometry(field->geometry().adjusted(grownBy, 0, 0, 0));
}

// What the message box says of a size it does not take, in the interface's language.
std::string RefusalText(TSizeRefusal refusal) {
  switch (refusal) {
  case TSizeRefusal::none:
    break;
  case TSizeRefusal::empty:
    return QCoreApplication::translate("qv::TForm2", "Размер не введён").toStdString();
  case TSizeRefusal::notWxH:
    return QCoreApplication::translate("qv::TForm2", "Размер пишется как ширина x высота, например 1080x2400")
        .toStdString();
  case TSizeRefusal::sideOutOfRange:
    return QCoreApplication::translate("qv::TForm2", "Ширина и высота должны быть от 1 до %1")
        .arg(kMaxSizeSide)
        .toStdString();
  case TSizeRefusal::repeated:
    return QCoreApplication::translate("qv::TForm2", "Размер уже есть в списке").toStdString();
  }
  return {};
}

// What the warning on stderr says of a kept size it leaves out.
std::string DroppedText(const TDroppedSize& dropped) {
  const std::string name = "\"" + dropped.text + "\" in resolutions/added ";
  switch (dropped.refusal) {
  case TSizeRefusal::repeated:
    return name + "is listed already; left out";
  case TSizeRefusal::sideOutOfRange:
    return name + "has a side outside 1.." + std::to_string(kMaxSizeSide) + "; left out";
  case TSizeRefusal::none:
  case TSizeRefusal::empty:
  case TSizeRefusal::notWxH:
    break;
  }
  return name + "is not a size WxH; left out";
}

} // namespace

TForm2::TForm2(TForm1& main) : QWidget(&main, Qt::Tool), main_(main) {
  setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setWindowTitle(tr(kSettingsCaption));
  setFont(FormFont());
  setFixedSize(kSettingsClientWidth, kSettingsClientHeight);
  ListKeptSizes();
  CreateControls();
  const int prefixBoxWidth = CheckBox5->width();
  const int suffixBoxWidth = CheckBox6->width();
  FitTexts(this);
  // The prefix and suffix fields stay one above the other.
  const int grown = std::max(CheckBox5->width() - prefixBoxWidth, CheckBox6->width() - suffixBoxWidth);
  MoveRight(Edit1, grown);
  MoveRight(Edit2, grown);
  // The percent keeps its gap after its caption when the caption had to grow.
  Label4->move(std::max(Label4->x(), Label3->geometry().right() + 8), Label4->y());
  // The high-quality box keeps to the right edge of its group, clear of the percent however
  // long the caption before it is in the language shown.
  CheckBox8->move(GroupBox1->width() - 2 - CheckBox8->width(), CheckBox8->y());
  ConnectControls();
  FormCreate();
  main_.AttachSettingsWindow(this);
}

void TForm2::CreateControls() {
  GroupBox1 = new QGroupBox(tr("Настройки процесса:"), this);
  GroupBox1->setGeometry(0, 0, 337, 129);
  Label2 = Label(GroupBox1, tr("Сжатие JPEG"), {16, 24, 68, 13});
  TrackBar1 = new QSlider(Qt::Horizontal, GroupBox1);
  TrackBar1->setGeometry(8, 48, 321, 33);
  TrackBar1->setRange(0, 100);
  TrackBar1->setValue(values_.sliderPosition);
  TrackBar1->setTickPosition(QSlider::TicksBelow);
  TrackBar1->setTickInterval(1);
  TrackBar1->setSingleStep(1);
  TrackBar1->setPageStep(2);
  Label3 = Label(GroupBox1, tr("Сжатие:"), {16, 80, 41, 13});
  Label4 = Label(GroupBox1, QString(), {64, 80, 14, 13});
  CheckBox7 = CheckBox(GroupBox1, tr("Поворачивать по EXIF"), {8, 102, 145, 17}, values_.orientByExifBox);
  CheckBox8 = CheckBox(GroupBox1, tr("Высокое качество уменьшения"), {180, 81, 150, 17},
                       values_.highQualityReductionBox);

  GroupBox2 = new QGroupBox(tr("Настройки сохранения:"), this);
  GroupBox2->setGeometry(0, 136, 337, 161);
  CheckBox2 = CheckBox(GroupBox2, tr("Запрашивать имя для каждого файла"), {8, 16, 289, 17},
                       values_.askNameBox);
  CheckBox5 = CheckBox(GroupBox2, tr("Добавлять преффикс"), {8, 40, 129, 17}, values_.prefixBox);
  Edit1 = new QLineEdit(QString::fromStdString(values_.prefixText), GroupBox2);
  Edit1->setGeometry(144, 40, 177, 21);
  CheckBox6 = CheckBox(GroupBox2, tr("Добавлять суффикс"), {8, 64, 137, 17}, values_.suffixBox);
  Edit2 = new QLineEdit(QString::fromStdString(values_.suffixText), GroupBox2);
  Edit2->setGeometry(144, 64, 177, 21);
  CheckBox4 = CheckBox(GroupBox2, tr("Добавлять разрешение в конце имени"), {8, 88, 233, 17},
                       values_.appendResolutionBox);
  CheckBox3 = CheckBox(GroupBox2, tr("Транслитерировать имя"), {8, 112, 249, 17},
                       values_.transliterateBox);

  Label1 = Label(this, tr("Резать следующие\nразрешения:"), {344, 8, 97, 26});
  resol = new QListWidget(this);
  resol->setGeometry(344, 40, 161, 177);
  resol->setItemDelegate(new TItemHeightDelegate(13, resol));
  resol->setUniformItemSizes(true);
  // Created unchecked; FormCreate checks the one resolution a fresh program has.
  for (const TResolutionItem& item : values_.resolutionItems)
    ResolutionRow(item)->setCheckState(Qt::Unchecked);
  resol->setContextMenuPolicy(Qt::CustomContextMenu);
  PopupMenu1 = new QMenu(resol);
  N1 = PopupMenu1->addAction(tr("Удалить"));
  // The Delete key does the same (eventFilter).
  resol->installEventFilter(this);
  CheckBox1 = CheckBox(this, QString(), {344, 224, 17, 17}, values_.folderPerResolutionBox);
  // Not a buddy of CheckBox1: a click on the caption leaves the box alone.
  Label5 = Label(this, tr("Сохранять каждый тип\nРазрешений в \nСобствующей папке"), {368, 224, 116, 39});
  Bevel1 = new TBevel(this, true);
  Bevel1->setGeometry(344, 264, 169, 9);
  SpeedButton2 = SpeedButton(this, tr("Применить"), {348, 272, 71, 25});
  SpeedButton1 = SpeedButton(this, tr("Отмена"), {434, 272, 71, 25});
  // The main window's add glyph, beside the heading of the list, above its right end.
  SpeedButton3 = new TSpeedButton(this, {481, 12, 24, 22}, AddGlyph(), QString());
  SpeedButton3->setToolTip(tr("Добавить размер…"));

  for (QWidget* quiet : std::initializer_list<QWidget*>{GroupBox1, GroupBox2, Label1, Label2, Label3, Label4, Label5})
    quiet->setFocusPolicy(Qt::NoFocus);
  setTabOrder(CheckBox2, CheckBox3);
  setTabOrder(CheckBox3, CheckBox4);
  setTabOrder(CheckBox4, CheckBox5);
  setTabOrder(CheckBox5, CheckBox6);
  setTabOrder(CheckBox6, Edit1);
  setTabOrder(Edit1, Edit2);
  setTabOrder(Edit2, TrackBar1);
  setTabOrder(TrackBar1, CheckBox7);
  setTabOrder(CheckBox7, CheckBox8);
  setTabOrder(CheckBox8, resol);
  setTabOrder(resol, CheckBox1);

  // The percent label and the prefix and suffix fields follow the values the controls
  // start with as they follow every change.
  TrackBar1Change();
  CheckBox5Click();
  CheckBox6Click();
}

void TForm2::ConnectControls() {
  // Every control writes its record member whoever changed it, then reacts.
  connect(TrackBar1, &QSlider::valueChanged, this, [this](int position) {
    values_.sliderPosition = position;
    Handle(&TForm2::TrackBar1Change);
  });
  connect(CheckBox2, &QCheckBox::toggled, this, [this](bool on) { values_.askNameBox = on; });
  connect(CheckBox3, &QCheckBox::toggled, this, [this](bool on) { values_.transliterateBox = on; });
  connect(CheckBox4, &QCheckBox::toggled, this, [this](bool on) { values_.appendResolutionBox = on; });
  connect(CheckBox5, &QCheckBox::toggled, this, [this](bool on) {
    values_.prefixBox = on;
    Handle(&TForm2::CheckBox5Click);
  });
  connect(CheckBox6, &QCheckBox::toggled, this, [this](bool on) {
    values_.suffixBox = on;
    Handle(&TForm2::CheckBox6Click);
  });
  connect(Edit1, &QLineEdit::textChanged, this, [this](const QString& text) { values_.prefixText = text.toStdString(); });
  connect(Edit2, &QLineEdit::textChanged, this, [this](const QString& text) { values_.suffixText = text.toStdString(); });
  connect(resol, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
    const int row = resol->row(item);
    if (row >= 0 && static_cast<size_t>(row) < values_.resolutionItems.size())
      values_.resolutionItems[static_cast<size_t>(row)].checked = item->checkState() == Qt::Checked;
  });
  connect(resol, &QListWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { Guard(main_.Services().errorBox, [this, at] { resolContextPopup(at); }); });
  connect(N1, &QAction::triggered, this, [this] { Handle(&TForm2::N1Click); });
  connect(SpeedButton3, &QToolButton::clicked, this, [this] { Handle(&TForm2::SpeedButton3Click); });
  connect(CheckBox1, &QCheckBox::toggled, this, [this](bool on) { values_.folderPerResolutionBox = on; });
  connect(CheckBox7, &QCheckBox::toggled, this, [this](bool on) { values_.orientByExifBox = on; });
  connect(CheckBox8, &QCheckBox::toggled, this, [this](bool on) { values_.highQualityReductionBox = on; });
  connect(SpeedButton2, &QToolButton::clicked, this, [this] { Handle(&TForm2::SpeedButton2Click); });
  connect(SpeedButton1, &QToolButton::clicked, this, [this] { Handle(&TForm2::SpeedButton1Click); });
}

void TForm2::FormCreate() {
  resol->item(kDefaultResolutionIndex)->setCheckState(Qt::Checked);
  // The job state agrees with the boxes from the start.
  main_.State().transliterate = values_.transliterateBox;
  main_.State().appendResolution = values_.appendResolutionBox;
  main_.State().orientByExif = values_.orientByExifBox;
  main_.State().highQualityReduction = values_.highQualityReductionBox;
}

void TForm2::ListKeptSizes() {
  TKeptSizes& kept = main_.Services().keptSizes;
  for (const TDroppedSize& dropped : AppendKeptSizes(values_, kept.Read()))
    kept.Warn(DroppedText(dropped));
  keptHighQuality_ = kept.ReadHighQualityReduction();
  values_.highQualityReductionBox = keptHighQuality_;
}

void TForm2::KeepAddedSizes() { main_.Services().keptSizes.Write(AddedSizes(values_)); }

QListWidgetItem* TForm2::ResolutionRow(const TResolutionItem& item) {
  auto* row = new QListWidgetItem(QString::fromStdString(item.text), resol);
  row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
  row->setCheckState(item.checked ? Qt::Checked : Qt::Unchecked);
  return row;
}

void TForm2::SpeedButton3Click() {
  const std::vector<std::string> offered(kPhoneSizes.begin(), kPhoneSizes.end());
  const std::optional<std::string> typed = main_.Services().dialogs.SizeBox(this, offered);
  if (!typed)
    return;
  const TAddedSize added = AddSize(values_, *typed);
  if (added.index >= 0) {
    QListWidgetItem* row = added.refusal == TSizeRefusal::none
                               ? ResolutionRow(values_.resolutionItems[static_cast<size_t>(added.index)])
                               : resol->item(added.index);
    row->setCheckState(Qt::Checked);
    resol->setCurrentItem(row);
    resol->scrollToItem(row);
  }
  if (added.refusal != TSizeRefusal::none) {
    main_.Services().dialogs.MessageBox(RefusalText(added.refusal));
    return;
  }
  KeepAddedSizes();
}

void TForm2::resolContextPopup(const QPoint& at) {
  QListWidgetItem* row = resol->itemAt(at);
  if (!row || !IsAddedSize(resol->row(row)))
    return;
  resol->setCurrentItem(row);
  PopupMenu1->popup(resol->viewport()->mapToGlobal(at));
}

void TForm2::N1Click() {
  const int row = resol->currentRow();
  if (!RemoveSize(values_, row))
    return;
  delete resol->takeItem(row);
  KeepAddedSizes();
}

void TForm2::Handle(void (TForm2::*handler)()) {
  Guard(main_.Services().errorBox, [this, handler] { (this->*handler)(); });
}

void TForm2::Reflect(TSettingsField field) {
  switch (field) {
  case TSettingsField::sliderPosition:
    TrackBar1->setValue(values_.sliderPosition);
    break;
  case TSettingsField::askNameBox:
    CheckBox2->setChecked(values_.askNameBox);
    break;
  case TSettingsField::transliterateBox:
    CheckBox3->setChecked(values_.transliterateBox);
    break;
  case TSettingsField::appendResolutionBox:
    CheckBox4->setChecked(values_.appendResolutionBox);
    break;
  case TSettingsField::prefixBox:
    CheckBox5->setChecked(values_.prefixBox);
    break;
  case TSettingsField::suffixBox:
    CheckBox6->setChecked(values_.suffixBox);
    break;
  case TSettingsField::prefixText:
    Edit1->setText(QString::fromStdString(values_.prefixText));
    break;
  case TSettingsField::suffixText:
    Edit2->setText(QString::fromStdString(values_.suffixText));
    break;
  case TSettingsField::orientByExifBox:
    CheckBox7->setChecked(values_.orientByExifBox);
    break;
  case TSettingsField::highQualityReductionBox:
    CheckBox8->setChecked(values_.highQualityReductionBox);
    break;
  }
}

void TForm2::FormShow() { main_.SetParams(); }

void TForm2::TrackBar1Change() {
  //: The compression slider's position in percent.
  Label4->setText(tr("%1%").arg(TrackBar1->value()));
  // The caption sizes itself to its text, as it did for "0%".
  FitText(Label4);
}

void TForm2::CheckBox5Click() { Edit1->setVisible(CheckBox5->isChecked()); }

void TForm2::CheckBox6Click() { Edit2->setVisible(CheckBox6->isChecked()); }

void TForm2::SpeedButton2Click() {
  main_.GetParams();
  close();
  // Kept only when the user applies a change, so a file never written stays unwritten.
  if (values_.highQualityReductionBox != keptHighQuality_) {
    keptHighQuality_ = values_.highQualityReductionBox;
    main_.Services().keptSizes.WriteHighQualityReduction(keptHighQuality_);
  }
}

void TForm2::SpeedButton1Click() { close(); }

bool TForm2::eventFilter(QObject* watched, QEvent* event) {
  if (watched == resol && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
    Handle(&TForm2::N1Click);
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void TForm2::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (event->spontaneous())
    return;
  Handle(&TForm2::FormShow);
  if (!shownBefore_) {
    shownBefore_ = true;
    CentreOnDesktop(this);
  }
}

} // namespace qv
