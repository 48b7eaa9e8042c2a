#pragma once
// The main window: the file list, the output folder, Start, the settings button, the
// overall progress. It owns the job state, the source list and the run driver.

#include <QMainWindow>

#include <cstdint>
#include <string>

#include "AppServices.h"
#include "imaging/CropModel.h"
#include "job/JobState.h"
#include "job/Services.h"
#include "job/SourceList.h"
#include "run/RunDriver.h"

class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QToolButton;

namespace qv {

class TBevel;
class TForm2;
class TForm3;

inline constexpr const char* kMainCaption = "Quarvelle v1.5 RC1";
inline constexpr int kMainClientWidth = 404;
inline constexpr int kMainClientHeight = 294;

class TForm1 : public QMainWindow, public IRunSurroundings, public IProgressBar {
  Q_OBJECT

public:
  explicit TForm1(TAppServices& services);
  ~TForm1() override;

  // The settings and crop windows are created after this one and make themselves known.
  void AttachSettingsWindow(TForm2* settings);
  void AttachCropWindow(TForm3* crop);

  // Snapshot of the settings window into the job state, and back.
  void GetParams();
  void SetParams();
  // The output path of file index of the current pass.
  std::string makename(int32_t index);
  // The target size, compression and turn setting as the job state holds them now.
  TTarget CurrentTarget() const;

  TJobState& State() { return state_; }
  TSourceList& Files() { return files_; }
  TRunDriver& Driver() { return driver_; }
  TAppServices& Services() { return services_; }
  QWidget* Client() const { return client_; }

  void SpeedButton1Click();
  void SpeedButton2Click();
  void SpeedButton3Click();
  void SpeedButton4Click();
  void SpeedButton5Click();
  void SpeedButton6Click();
  void N7Click();

  // IRunSurroundings
  int32_t DisplayCount() override;
  std::string PathAt(int32_t index) override;
  void clear() override;
  void openfile(const std::string& path) override;
  TStep ShowCropWindow() override;
  void HideCropWindow() override;
  bool CropWindowVisible() override;
  void ErrorMessage(const std::string& text) override;
  void ReportError(const std::exception& error) override;
  bool AnyResolutionChecked() override;

  // IProgressBar
  void SetMaximum(int32_t maximum) override;
  void SetPosition(int32_t position) override;
  int32_t Maximum() const override;
  int32_t Position() const override;

  QGroupBox* GroupBox1;
  QListWidget* ListBox1;
  QToolButton* SpeedButton1;
  QToolButton* SpeedButton2;
  QToolButton* SpeedButton3;
  QGroupBox* GroupBox2;
  QLabel* Label1;
  QLineEdit* Edit1;
  QToolButton* SpeedButton4;
  TBevel* Bevel1;
  QToolButton* SpeedButton5;
  QToolButton* SpeedButton6;
  TBevel* Bevel2;
  QLabel* Label5;
  QProgressBar* pos2;
  QWidget* StatusBar1;
  QLabel* StatusPanel0;
  QLabel* StatusPanel1;
  QListWidget* ListBox2;
  QAction* N2;
  QAction* N3;
  QAction* N7;
  QAction* N5;
  QAction* N6;

protected:
  void showEvent(QShowEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

private:
  void CreateControls();
  void CreateMenu();
  // Runs a handler inside the application's error guard.
  void Handle(void (TForm1::*handler)());
  // ListBox1, ListBox2 and the status panel follow a change of the source list.
  void MirrorFiles(const TListChange& change);
  void ShowProgress();

  TAppServices& services_;
  TJobState state_;
  TSourceList files_;
  TRunDriver driver_;
  TForm2* settings_ = nullptr;
  TForm3* crop_ = nullptr;
  QWidget* client_ = nullptr;
  // pos2 as the design has it; the bar itself cannot show a position past its maximum.
  int32_t progressMaximum_ = 100;
  int32_t progressPosition_ = 0;
  bool shownBefore_ = false;
};

} // namespace qv
