#pragma once
// The settings window. Its controls are the live settings; TSettingsValues mirrors them
// in both directions, so a snapshot sees every control and SetParams moves the controls.

#include <QWidget>

#include "job/JobState.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QAction;
class QLineEdit;
class QListWidget;
class QMenu;
class QListWidgetItem;
class QPoint;
class QSlider;
class QToolButton;

namespace qv {

class TBevel;
class TForm1;

inline constexpr const char* kSettingsCaption = QT_TRANSLATE_NOOP("qv::TForm2", "Настройки");
inline constexpr int kSettingsClientWidth = 509;
inline constexpr int kSettingsClientHeight = 302;

class TForm2 : public QWidget {
  Q_OBJECT

public:
  explicit TForm2(TForm1& main);

  TSettingsValues& Values() { return values_; }
  const TSettingsValues& Values() const { return values_; }
  // A member SetParams changed: its control takes it, reacting as to the user's change.
  void Reflect(TSettingsField field);

  void FormShow();
  void TrackBar1Change();
  void CheckBox5Click();
  void CheckBox6Click();
  void SpeedButton2Click();
  void SpeedButton1Click();
  // Asks for a size and appends it to resol, or says why it is not taken.
  void SpeedButton3Click();
  // The context menu of a size the user added; the designed sizes have none.
  void resolContextPopup(const QPoint& at);
  // "Удалить" (also the Delete key in resol): removes the current entry if the user added it.
  void N1Click();

  QGroupBox* GroupBox1;
  QLabel* Label2;
  QSlider* TrackBar1;
  QLabel* Label3;
  QLabel* Label4;
  QCheckBox* CheckBox7;
  QCheckBox* CheckBox8;
  QGroupBox* GroupBox2;
  QCheckBox* CheckBox2;
  QCheckBox* CheckBox5;
  QLineEdit* Edit1;
  QCheckBox* CheckBox6;
  QLineEdit* Edit2;
  QCheckBox* CheckBox4;
  QCheckBox* CheckBox3;
  QLabel* Label1;
  QListWidget* resol;
  QCheckBox* CheckBox1;
  QLabel* Label5;
  TBevel* Bevel1;
  QToolButton* SpeedButton2;
  QToolButton* SpeedButton1;
  QToolButton* SpeedButton3;
  QMenu* PopupMenu1;
  QAction* N1;

protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void CreateControls();
  void ConnectControls();
  void FormCreate();
  void Handle(void (TForm2::*handler)());
  // The sizes a previous start kept, after the designed ones, unchecked.
  void ListKeptSizes();
  void KeepAddedSizes();
  QListWidgetItem* ResolutionRow(const TResolutionItem& item);

  TForm1& main_;
  TSettingsValues values_;
  bool shownBefore_ = false;
  // The high-quality box as Quarvelle.conf keeps it.
  bool keptHighQuality_ = false;
};

} // namespace qv
