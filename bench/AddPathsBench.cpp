// Adding files to the main window: a drop of N existing JPEG files on the offscreen
// platform, timed from the drop until the window has handled every event it caused, its
// repaint included. The files are made once in the suite's folder; the list is emptied
// between runs outside the timing.

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <map>
#include <string>

#include "AddPathsBench.h"
#include "AppServices.h"
#include "Dialogs.h"
#include "KeptSizes.h"
#include "Photo.h"
#include "PrintingErrorBox.h"
#include "Startup.h"
#include "job/PosixServices.h"

namespace qvbench {

namespace {

// One application for the whole suite, made when the first window benchmark runs.
void EnsureApplication() {
  if (QApplication::instance() != nullptr)
    return;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "qv-bench";
  static char* argv[] = {name, nullptr};
  // Never destroyed: the suite ends with the process.
  new QApplication(argc, argv);
  qv::PrepareApplication();
}

// count JPEG files in a folder of their own, as URLs the way a drop brings them.
const QList<QUrl>& Photos(const std::string& folder, int count) {
  static std::map<int, QList<QUrl>> made;
  auto [it, fresh] = made.try_emplace(count);
  if (fresh) {
    const std::filesystem::path dir = std::filesystem::path(folder) / ("drop-" + std::to_string(count));
    std::filesystem::create_directories(dir);
    const std::filesystem::path first = dir / "photo-0.jpg";
    WritePhoto(first.string(), 64, 48);
    for (int i = 0; i < count; ++i) {
      const std::filesystem::path path = dir / ("photo-" + std::to_string(i) + ".jpg");
      if (i > 0)
        std::filesystem::copy_file(first, path, std::filesystem::copy_options::overwrite_existing);
      it->second << QUrl::fromLocalFile(QString::fromStdString(path.string()));
    }
  }
  return it->second;
}

void BM_AddPaths(benchmark::State& state, const std::string& folder) {
  EnsureApplication();
  const int count = static_cast<int>(state.range(0));
  QMimeData data;
  data.setUrls(Photos(folder, count));

  // The real open test: it is one of the costs of every path.
  qv::TQtDialogs dialogs;
  TPrintingErrorBox errorBox;
  qv::TCursorPointer pointer;
  qv::TPosixOpenTest openTest;
  qv::TPosixFolderMaker folders;
  // No kept sizes: the file is never there.
  qv::TKeptSizes keptSizes(folder + "/config/Quarvelle/Quarvelle.conf");
  qv::TAppServices services{dialogs, errorBox, pointer, openTest, folders, keptSizes};
  qv::TApplicationWindows windows(services);
  qv::TForm1& form1 = windows.Form1;
  form1.show();
  QApplication::processEvents();

  const QPoint at = form1.rect().center();
  for (auto _ : state) {
    state.PauseTiming();
    form1.Files().clear();
    QApplication::processEvents();
    state.ResumeTiming();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&form1, &enter);
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&form1, &drop);
    QApplication::processEvents();
  }
  if (form1.Files().Count() != count || errorBox.errors != 0)
    state.SkipWithError("the drop did not list every file");
  state.SetItemsProcessed(state.iterations() * count);
}

} // namespace

void RegisterAddPaths(const std::string& folder) {
  benchmark::RegisterBenchmark("BM_AddPaths", BM_AddPaths, folder)
      ->Arg(250)
      ->Arg(2000)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
}

} // namespace qvbench
