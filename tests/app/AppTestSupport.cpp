#include "AppTestSupport.h"

#include <QApplication>
#include <QFile>
#include <QListWidget>
#include <QProcess>
#include <QToolButton>

#include <gtest/gtest.h>

namespace qv::test {

namespace {

// One QApplication for the whole test program, on the offscreen platform with one screen of
// 1280 x 800 (its configuration file, or the one QV_OFFSCREEN_CONFIG names; the platform's
// own screen is 800 x 600).
class TQtEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    const QString config = qEnvironmentVariable("QV_OFFSCREEN_CONFIG", QStringLiteral(QV_OFFSCREEN_CONFIG));
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(config));
    static int argc = 1;
    static char name[] = "app_tests";
    static char* argv[] = {name, nullptr};
    application_ = std::make_unique<QApplication>(argc, argv);
    PrepareApplication();
  }
  void TearDown() override { application_.reset(); }

private:
  std::unique_ptr<QApplication> application_;
};

[[maybe_unused]] ::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new TQtEnvironment);

} // namespace

std::vector<std::string> TFakeDialogs::OpenPictures(QWidget*) {
  if (pictureAnswers.empty())
    return {};
  std::vector<std::string> answer = pictureAnswers.front();
  pictureAnswers.pop_front();
  return answer;
}

std::optional<std::string> TFakeDialogs::BrowseFolder(QWidget*, const std::string& current) {
  browsedFrom.push_back(current);
  return folderAnswer;
}

std::string TFakeDialogs::InputBox(const std::string& caption, const std::string&, const std::string& defaultText) {
  inputCaptions.push_back(caption);
  if (nameAnswers.empty())
    return defaultText;
  std::string answer = nameAnswers.front();
  nameAnswers.pop_front();
  return answer;
}

std::optional<std::string> TFakeDialogs::SizeBox(QWidget*, const std::vector<std::string>& offered) {
  sizeOffers.push_back(offered);
  if (sizeAnswers.empty())
    return std::nullopt;
  std::optional<std::string> answer = sizeAnswers.front();
  sizeAnswers.pop_front();
  return answer;
}

Bytes CutToolBytes(const std::string& source, int32_t width, int32_t height, int32_t offset, const std::string& output) {
  const QStringList arguments = {"--size", QString("%1x%2").arg(width).arg(height), "--offset", QString::number(offset),
                                 QString::fromStdString(source), QString::fromStdString(output)};
  const int code = QProcess::execute(QStringLiteral(QV_CUT_TOOL), arguments);
  EXPECT_EQ(code, 0) << QV_CUT_TOOL << " " << arguments.join(' ').toStdString();
  return ReadBytes(output);
}

TProgram::TProgram(const std::string& keptSizesPath)
    : keptSizes(keptSizesPath.empty() ? folder.path().toStdString() + "/config/Quarvelle/Quarvelle.conf" : keptSizesPath,
                [this](const std::string& warning) { warnings.push_back(warning); }) {
  EXPECT_TRUE(folder.isValid());
  windows = std::make_unique<TApplicationWindows>(services);
}

TProgram::~TProgram() {
  windows.reset();
}

std::string TProgram::Path(const std::string& name) const { return folder.path().toStdString() + "/" + name; }

void TProgram::ChooseOutputFolder(const std::string& chosen) {
  dialogs.folderAnswer = chosen;
  Form1().SpeedButton4->click();
}

void TProgram::AddByDialog(const std::vector<std::string>& paths) {
  dialogs.pictureAnswers.push_back(paths);
  Form1().SpeedButton1->click();
}

void TProgram::CheckResolution(int index, bool on) {
  Form2().resol->item(index)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
}

void TProgram::PressStart() { Form1().SpeedButton5->click(); }

} // namespace qv::test
