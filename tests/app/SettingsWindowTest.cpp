// The settings window: controls and record in step both ways, "Применить", "Отмена",
// the close box, the prefix and suffix fields, the caption of CheckBox1, the focus order.

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSlider>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include "AppTestSupport.h"

namespace qv::test {
namespace {

class SettingsWindow : public ::testing::Test {
protected:
  void SetUp() override {
    program.Form1().show();
    ShowSettings();
  }
  void ShowSettings() {
    program.Form1().SpeedButton6->click();
    ASSERT_TRUE(form2.isVisible());
  }

  TProgram program;
  TForm2& form2 = program.Form2();
  TSettingsValues& values = form2.Values();
};

TEST_F(SettingsWindow, CancelLeavesTheControlsAndTheNextShowingPutsTheAppliedValuesBack) {
  form2.TrackBar1->setValue(35);
  EXPECT_EQ(form2.Label4->text(), "35%");
  EXPECT_EQ(values.sliderPosition, 35);
  program.CheckResolution(0, true);
  form2.CheckBox1->setChecked(true);

  form2.SpeedButton1->click();
  EXPECT_FALSE(form2.isVisible());
  // Nothing was applied...
  EXPECT_EQ(program.Form1().State().compression, 0);
  // ...but the controls stay as the user left them until the next showing.
  EXPECT_EQ(values.sliderPosition, 35);

  ShowSettings();
  EXPECT_EQ(form2.TrackBar1->value(), 0);
  EXPECT_EQ(form2.Label4->text(), "0%");
  EXPECT_EQ(values.sliderPosition, 0);
  // The resolution checks and CheckBox1 are never reset.
  EXPECT_EQ(form2.resol->item(0)->checkState(), Qt::Checked);
  EXPECT_TRUE(values.resolutionItems[0].checked);
  EXPECT_TRUE(values.folderPerResolutionBox);
}

TEST_F(SettingsWindow, ApplyTakesTheSnapshotAndCloses) {
  form2.TrackBar1->setValue(40);
  form2.CheckBox2->setChecked(true);
  form2.CheckBox3->setChecked(false);
  QTest::mouseClick(form2.CheckBox7, Qt::LeftButton);
  EXPECT_FALSE(values.orientByExifBox);
  program.CheckResolution(27, true);
  form2.SpeedButton2->click();
  EXPECT_FALSE(form2.isVisible());
  const TJobState& state = program.Form1().State();
  EXPECT_EQ(state.compression, 40);
  EXPECT_TRUE(state.askName);
  EXPECT_FALSE(state.transliterate);
  EXPECT_FALSE(state.orientByExif);
  EXPECT_FALSE(program.Form1().CurrentTarget().orientByExif);
  EXPECT_EQ(state.resolutionCount, 2);
  EXPECT_EQ(state.resolution(1), (TResolution{176, 220}));
  EXPECT_EQ(state.resolution(2), (TResolution{320, 240}));

  ShowSettings();
  EXPECT_EQ(form2.TrackBar1->value(), 40);
  EXPECT_TRUE(form2.CheckBox2->isChecked());
  EXPECT_FALSE(form2.CheckBox3->isChecked());
  EXPECT_FALSE(form2.CheckBox7->isChecked());
}

TEST_F(SettingsWindow, CloseBoxIsCancel) {
  form2.TrackBar1->setValue(60);
  form2.CheckBox7->setChecked(false);
  form2.close();
  EXPECT_FALSE(form2.isVisible());
  EXPECT_EQ(program.Form1().State().compression, 0);
  EXPECT_TRUE(program.Form1().State().orientByExif);
  ShowSettings();
  EXPECT_EQ(form2.TrackBar1->value(), 0);
  EXPECT_TRUE(form2.CheckBox7->isChecked());
  EXPECT_TRUE(values.orientByExifBox);
}

TEST_F(SettingsWindow, PrefixAndSuffixFieldsFollowTheirBoxesAndKeepTheirText) {
  QTest::mouseClick(form2.CheckBox5, Qt::LeftButton);
  ASSERT_TRUE(form2.CheckBox5->isChecked());
  EXPECT_TRUE(form2.Edit1->isVisible());
  QTest::keyClicks(form2.Edit1, "wall");
  EXPECT_EQ(values.prefixText, "wall");
  EXPECT_TRUE(values.prefixBox);

  QTest::mouseClick(form2.CheckBox5, Qt::LeftButton);
  EXPECT_FALSE(form2.Edit1->isVisible());
  EXPECT_EQ(form2.Edit1->text(), "wall");
  QTest::mouseClick(form2.CheckBox5, Qt::LeftButton);
  EXPECT_TRUE(form2.Edit1->isVisible());
  EXPECT_EQ(form2.Edit1->text(), "wall");

  form2.CheckBox6->setChecked(true);
  EXPECT_TRUE(form2.Edit2->isVisible());
  form2.Edit2->setText("зима");
  EXPECT_EQ(values.suffixText, "зима");
  form2.CheckBox6->setChecked(false);
  EXPECT_FALSE(form2.Edit2->isVisible());
}

TEST_F(SettingsWindow, JobStateShownAgainMovesTheControlsWithTheirReactions) {
  form2.SpeedButton1->click();
  TJobState& state = program.Form1().State();
  state.compression = 25;
  state.addPrefix = true;
  state.prefix = "wall";
  state.addSuffix = false;
  state.suffix = "ignored";
  state.orientByExif = false;
  ShowSettings();
  EXPECT_FALSE(form2.CheckBox7->isChecked());
  EXPECT_FALSE(values.orientByExifBox);
  EXPECT_EQ(form2.TrackBar1->value(), 25);
  EXPECT_EQ(form2.Label4->text(), "25%");
  EXPECT_TRUE(form2.CheckBox5->isChecked());
  EXPECT_TRUE(form2.Edit1->isVisible());
  EXPECT_EQ(form2.Edit1->text(), "wall");
  EXPECT_EQ(values.prefixText, "wall");
  // The suffix is off: its field is neither shown nor written.
  EXPECT_FALSE(form2.Edit2->isVisible());
  EXPECT_EQ(form2.Edit2->text(), "");
}

TEST_F(SettingsWindow, ClickOnTheCaptionOfCheckBox1LeavesItAlone) {
  QTest::mouseClick(form2.Label5, Qt::LeftButton, Qt::NoModifier, QPoint(10, 5));
  EXPECT_FALSE(form2.CheckBox1->isChecked());
  QTest::mouseClick(form2.CheckBox1, Qt::LeftButton);
  EXPECT_TRUE(form2.CheckBox1->isChecked());
  EXPECT_TRUE(values.folderPerResolutionBox);
}

TEST_F(SettingsWindow, FocusOrderRunsThroughTheNamingBoxesThenSliderTurnListAndCheckBox1) {
  const std::vector<QWidget*> expected = {form2.CheckBox2, form2.CheckBox3, form2.CheckBox4, form2.CheckBox5,
                                          form2.CheckBox6, form2.Edit1,     form2.Edit2,     form2.TrackBar1,
                                          form2.CheckBox7, form2.CheckBox8, form2.resol,     form2.CheckBox1};
  std::vector<QWidget*> chain;
  QWidget* widget = form2.CheckBox2;
  do {
    if (widget->focusPolicy() & Qt::TabFocus)
      chain.push_back(widget);
    widget = widget->nextInFocusChain();
  } while (widget != form2.CheckBox2 && chain.size() < 20);
  EXPECT_EQ(chain, expected);
  EXPECT_EQ(form2.SpeedButton1->focusPolicy(), Qt::NoFocus);
  EXPECT_EQ(form2.SpeedButton2->focusPolicy(), Qt::NoFocus);
}

} // namespace
} // namespace qv::test
