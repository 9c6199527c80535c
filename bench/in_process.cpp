// Fills of the list timed inside the benchmark's own process, on a palette
// started as the program starts it, on Qt's offscreen display: how the
// palette's own work grows with the folder, with little of the noise a
// whole start-up brings. The host is the stand-in beside the palette.
#include <algorithm>
#include <memory>

#include "bench/bench.h"
#include "palette/app.h"
#include "palette/configuration.h"
#include "palette/window1.h"
#include "platform/folderitem.h"
#include "platform/qt/qt_inspect.h"
#include "platform/qt/qt_display.h"
#include "platform/runtime.h"
#include "tests/support/fake_host.h"

namespace bench {
namespace {

// What the display owes the user after a fill: the view's deferred layout
// and the repaint, as the event loop would run them next. One pass may stop
// early when a long layout used up its time; the repaint it posted then
// comes in a later pass.
void Settle() {
  for (int pass = 0; pass < 3; ++pass) platform::qtinspect::ProcessEvents(0);
}

}  // namespace

FillFigures MeasureFills(const std::vector<Tree>& trees, const fs::path& startFolder,
                         int rounds) {
  FillFigures figures;
  static char arg0[] = "tessaline_bench";
  static char* argv[] = {arg0, nullptr};
  static int argc = 1;
  std::string error;
  palette::Configure();
  std::unique_ptr<platform::Display> display =
      platform::CreateQtDisplay(argc, argv, palette::DisplayOptions(), &error);
  if (!display) {
    figures.problem = "no Qt display: " + error;
    return figures;
  }
  // The host answers at once: the figures are the palette's own.
  testsupport::FakeHost host;
  try {
    platform::RuntimeInit(*display);
    palette::Initialize();
    palette::NewAppInstance();
    palette::MakeDefaultView();
    platform::Ref<palette::Window1> window = palette::implicit::Window1();
    auto fill = [&](const fs::path& folder) {
      window->gMyScriptFolder = platform::GetFolderItem(platform::String(folder.string()), 0);
      window->setLB1();
    };
    Settle();
    for (int round = 0; round <= rounds; ++round) {
      for (const Tree& t : trees) {
        // Each fill starts from the list as the palette opened it, on a
        // folder of one script.
        fill(startFolder);
        Settle();
        const auto start = Clock::now();
        fill(t.root);
        Settle();
        const double ms = MsSince(start);
        if (window->LB1()->ListCount() != t.topLevel && figures.problem.empty()) {
          figures.problem = "a fill of " + std::to_string(t.entries) + " entries made " +
                            std::to_string(window->LB1()->ListCount()) + " rows, not " +
                            std::to_string(t.topLevel);
        }
        if (round > 0) figures.ms[t.entries].push_back(ms);
      }
    }
    window = nullptr;
    palette::Finalize();
    platform::RuntimeShutdown();
    Settle();
  } catch (const std::exception& e) {
    figures.problem = std::string("in-process fills: ") + e.what();
  }
  return figures;
}

}  // namespace bench
