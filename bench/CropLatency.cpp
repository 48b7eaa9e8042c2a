// qv-crop-latency [--photos N] [--wait MS] [--mode ahead|turn|both] [--job designed|phone|both]
//                 [--filter bilinear|lanczos3] [--folder DIR]
//
// The wait a user feels in the crop window: the whole program on the offscreen platform, with
// one screen of 1600 x 1200, runs a job of N photo-like 6000 x 4000 photos, at 176x220 and
// 320x240 ("designed") or at an added 1080x2400, which the window shows scaled down
// ("phone"). Before each press on the frame the user takes MS milliseconds (1000 unless
// given) with the event loop running, as a user placing the frame would; then the press is
// delivered and the time until the crop window has painted the next photo is taken. Printed
// per press and as the median, with the next photo read ahead ("ahead") and read in its turn
// ("turn"). With --filter lanczos3 the settings window's "Высокое качество уменьшения" is
// checked and applied before the job starts.

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QListWidget>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <QToolButton>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "AppServices.h"
#include "Dialogs.h"
#include "KeptSizes.h"
#include "Photo.h"
#include "PrintingErrorBox.h"
#include "Startup.h"
#include "Unit2.h"
#include "imaging/Prefetcher.h"
#include "job/PosixServices.h"

namespace {

using Clock = std::chrono::steady_clock;

// The dialogs answer as the user would: these photos, this folder, no typed names.
class TAnsweringDialogs : public qv::IDialogs {
public:
  std::vector<std::string> OpenPictures(QWidget*) override { return pictures; }
  std::optional<std::string> BrowseFolder(QWidget*, const std::string&) override { return folder; }
  void MessageBox(const std::string& text) override { std::fprintf(stderr, "message: %s\n", text.c_str()); }
  std::string InputBox(const std::string&, const std::string&, const std::string& defaultText) override {
    return defaultText;
  }
  std::optional<std::string> SizeBox(QWidget*, const std::vector<std::string>&) override { return size; }

  std::vector<std::string> pictures;
  std::string folder;
  std::optional<std::string> size;
};

// A pointer resting over the picture: the frame stays where the first tick puts it.
class TRestingPointer : public qv::IPointer {
public:
  QPoint Pos() const override { return {40, 40}; }
};

// Notes each paint of the picture control and which picture it painted.
class TPaintWatch : public QObject {
public:
  explicit TPaintWatch(qv::TPicture* picture) : picture_(picture) { picture->installEventFilter(this); }
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == picture_ && event->type() == QEvent::Paint)
      painted = picture_->Image().cacheKey();
    return false;
  }
  qint64 painted = 0;

private:
  qv::TPicture* picture_;
};

void RunEvents(int milliseconds) {
  QEventLoop loop;
  QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
  loop.exec();
}

double Median(std::vector<double> values) {
  if (values.empty())
    return 0;
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

struct TPress {
  std::string from;
  std::string to;
  double handler; // the press handler alone: save, next, openfile
  double painted; // until the next photo is painted
  bool taken;     // the next photo was read ahead and taken
};

// One whole job; false when it did not run as it should.
bool RunJob(const std::vector<std::string>& photos, const std::string& out, bool ahead, bool phone, int waitMs,
            bool highQuality, std::vector<TPress>& presses) {
  TAnsweringDialogs dialogs;
  qvbench::TPrintingErrorBox errorBox;
  TRestingPointer pointer;
  qv::TPosixOpenTest openTest;
  qv::TPosixFolderMaker folders;
  qv::TKeptSizes keptSizes(out + "/config/Quarvelle/Quarvelle.conf");
  qv::TAppServices services{dialogs, errorBox, pointer, openTest, folders, keptSizes};
  auto windows = std::make_unique<qv::TApplicationWindows>(services);
  qv::TForm1& form1 = windows->Form1;
  qv::TForm3& form3 = windows->Form3;
  form3.SetPrefetching(ahead);
  form1.show();
  dialogs.folder = out;
  form1.SpeedButton4->click();
  dialogs.pictures = photos;
  form1.SpeedButton1->click();
  if (phone) {
    dialogs.size = "1080x2400";
    windows->Form2.SpeedButton3->click();
    windows->Form2.resol->item(qv::kDefaultResolutionIndex)->setCheckState(Qt::Unchecked);
  } else {
    windows->Form2.resol->item(27)->setCheckState(Qt::Checked); // 320x240 besides 176x220
  }
  if (highQuality) {
    windows->Form2.CheckBox8->setChecked(true);
    windows->Form2.SpeedButton2->click();
  }
  TPaintWatch watch(form3.Image1);
  form1.SpeedButton5->click();
  if (!form3.isVisible())
    return false;

  const auto where = [&] {
    const qv::TJobState& state = form1.State();
    const qv::TResolution& size = state.resolution(state.currentResolution);
    return std::to_string(size.width) + "x" + std::to_string(size.height) + " file " +
           std::to_string(form1.Driver().fileIndex());
  };
  while (form3.isVisible()) {
    RunEvents(waitMs);
    const std::string from = where();
    const qint64 shown = form3.Image1->Image().cacheKey();
    const int32_t hits = form3.Prefetch().Hits();
    const QPointF at(3, 3);
    QMouseEvent press(QEvent::MouseButtonPress, at, form3.Shape1->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, form3.Shape1->mapToGlobal(at), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    const Clock::time_point start = Clock::now();
    QApplication::sendEvent(form3.Shape1, &press);
    const Clock::time_point handled = Clock::now();
    QApplication::sendEvent(form3.Shape1, &release);
    if (!form3.isVisible())
      break; // the last press ends the job: there is no next photo
    const qint64 next = form3.Image1->Image().cacheKey();
    if (next == shown) {
      std::fprintf(stderr, "the press on %s did not bring another photo\n", from.c_str());
      return false;
    }
    QElapsedTimer patience;
    patience.start();
    while (watch.painted != next) {
      QApplication::processEvents(QEventLoop::AllEvents);
      if (patience.elapsed() > 10000) {
        std::fprintf(stderr, "the photo after %s was never painted\n", from.c_str());
        return false;
      }
    }
    const Clock::time_point painted = Clock::now();
    const auto ms = [](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
    presses.push_back({from, where(), ms(handled - start), ms(painted - start), form3.Prefetch().Hits() > hits});
  }
  return errorBox.errors == 0;
}

// One job, its presses printed; false when it did not run as it should.
bool RunAndPrint(const std::vector<std::string>& photos, const std::string& folder, bool phone, bool ahead,
                 int waitMs, bool highQuality) {
  const std::string out = folder + (phone ? "/phone" : "/designed") + (ahead ? "-ahead" : "-turn");
  std::filesystem::create_directories(out);
  std::vector<TPress> presses;
  const bool ran = RunJob(photos, out, ahead, phone, waitMs, highQuality, presses);
  std::printf("\n%s, %s%s\n", phone ? "1080x2400, shown scaled" : "176x220 then 320x240",
              highQuality ? "high-quality reduction, " : "", ahead ? "next photo read ahead:" : "next photo read in its turn:");
  std::vector<double> painted;
  for (const TPress& p : presses) {
    std::printf("  %-18s -> %-18s %8.1f ms  (handler %6.1f ms%s)\n", p.from.c_str(), p.to.c_str(), p.painted,
                p.handler, ahead ? (p.taken ? ", taken" : ", read in turn") : "");
    painted.push_back(p.painted);
  }
  std::printf("  median %.1f ms, worst %.1f ms over %zu presses%s\n", Median(painted),
              painted.empty() ? 0.0 : *std::max_element(painted.begin(), painted.end()), painted.size(),
              ran ? "" : " (the job did not run as it should)");
  return ran;
}

} // namespace

int main(int argc, char** argv) {
  int photoCount = 6;
  int waitMs = 1000;
  std::string mode = "both";
  std::string job = "both";
  std::string folder;
  std::string filter = "bilinear";
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (i + 1 >= argc) {
      std::fprintf(stderr, "usage: qv-crop-latency [--photos N] [--wait MS] [--mode ahead|turn|both] "
                           "[--job designed|phone|both] [--filter bilinear|lanczos3] [--folder DIR]\n");
      return 2;
    }
    const char* value = argv[++i];
    if (option == "--photos")
      photoCount = std::atoi(value);
    else if (option == "--wait")
      waitMs = std::atoi(value);
    else if (option == "--mode")
      mode = value;
    else if (option == "--job")
      job = value;
    else if (option == "--folder")
      folder = value;
    else if (option == "--filter")
      filter = value;
    else {
      std::fprintf(stderr, "qv-crop-latency: unknown option %s\n", option.c_str());
      return 2;
    }
  }
  if (photoCount < 2 || waitMs < 0 || (mode != "ahead" && mode != "turn" && mode != "both") ||
      (job != "designed" && job != "phone" && job != "both") || (filter != "bilinear" && filter != "lanczos3")) {
    std::fprintf(stderr, "qv-crop-latency: at least 2 photos, a wait of 0 ms or more, mode ahead, turn or both, "
                         "job designed, phone or both, filter bilinear or lanczos3\n");
    return 2;
  }

  // Our own folder under the system's temporary one, removed at the end.
  bool ownFolder = folder.empty();
  if (ownFolder) {
    std::string pattern = (std::filesystem::temp_directory_path() / "qv-crop-latency-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
      std::perror("qv-crop-latency: mkdtemp");
      return 1;
    }
    folder = pattern;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    // The offscreen platform's screen of 1600 x 1200, as its configuration file describes it.
    const std::string screen = folder + "/screen.json";
    std::ofstream(screen) << R"({"screens": [{"name": "Offscreen", "x": 0, "y": 0, "width": 1600, "height": 1200,)"
                          << R"( "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})";
    qputenv("QT_QPA_PLATFORM", QByteArray::fromStdString("offscreen:configfile=" + screen));
  }
  QApplication application(argc, argv);
  qv::PrepareApplication();
  std::vector<std::string> photos;
  try {
    for (int i = 0; i < photoCount; ++i) {
      photos.push_back(folder + "/photo-" + std::to_string(i) + ".jpg");
      if (i == 0)
        qvbench::WritePhoto(photos[0], 6000, 4000);
      else
        std::filesystem::copy_file(photos[0], photos[i], std::filesystem::copy_options::overwrite_existing);
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "qv-crop-latency: %s\n", error.what());
    return 1;
  }
  // Files changed just now are not read ahead; a user's photos are older than that.
  std::this_thread::sleep_for(qv::TPrefetcher::kSettleTime + std::chrono::milliseconds(100));
  struct stat info {};
  stat(photos[0].c_str(), &info);

  std::printf("Crop window, press to next photo painted (offscreen platform, screen %dx%d)\n",
              QGuiApplication::primaryScreen()->geometry().width(), QGuiApplication::primaryScreen()->geometry().height());
  std::printf("%d photos of 6000 x 4000 (%.1f MB each), %d ms before each press\n", photoCount,
              static_cast<double>(info.st_size) / 1e6, waitMs);
  int failures = 0;
  for (const bool phone : {false, true})
    for (const bool ahead : {true, false})
      if (!(phone && job == "designed") && !(!phone && job == "phone") && !(ahead && mode == "turn") &&
          !(!ahead && mode == "ahead"))
        failures += RunAndPrint(photos, folder, phone, ahead, waitMs, filter == "lanczos3") ? 0 : 1;
  if (ownFolder)
    std::filesystem::remove_all(folder);
  return failures == 0 ? 0 : 1;
}
