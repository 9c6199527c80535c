// Filling, expanding and collapsing, timed inside the benchmark's process on
// a palette started as the program starts it, with a host that answers at
// once (no script process), so that the figures are the palette's own work.
#include <algorithm>
#include <cstdio>
#include <memory>

#include "bench/bench.h"
#include "palette/app.h"
#include "palette/configuration.h"
#include "palette/window1.h"
#include "platform/folderitem.h"
#include "platform/listbox.h"
#include "platform/qt/qt_display.h"
#include "platform/qt/qt_inspect.h"
#include "platform/runtime.h"
#include "platform/scripted/scripted_display.h"
#include "tests/support/fake_host.h"

namespace bench {
namespace {

// A palette from start-up to the event loop, on one display.
class Session {
 public:
  Session(platform::Display& display, bool qt) : display_(display), qt_(qt) {
    platform::RuntimeInit(display_);
    palette::Initialize();
    palette::NewAppInstance();
    palette::MakeDefaultView();
    window_ = palette::implicit::Window1();
    Settle();
  }
  ~Session() {
    list_ = nullptr;
    window_ = nullptr;
    palette::Finalize();
    platform::RuntimeShutdown();
    if (qt_) platform::qtinspect::ProcessEvents(0);
  }

  platform::Listbox& List() {
    if (!list_) list_ = window_->LB1();
    return list_.Deref();
  }

  void Fill(const fs::path& folder) {
    window_->gMyScriptFolder = platform::GetFolderItem(platform::String(folder.string()), 0);
    window_->setLB1();
  }

  // What the display still owes the user after a change: for Qt, the view's
  // deferred layout and the repaint, as the event loop would run them next.
  void Settle() {
    if (!qt_) return;
    // One pass may stop early when a long layout used up its time; the
    // repaint that the layout posted then comes in a later pass.
    for (int pass = 0; pass < 3; ++pass) platform::qtinspect::ProcessEvents(0);
  }

  // Milliseconds of `step` followed by the display catching up.
  template <class F>
  double Time(F&& step) {
    const auto start = Clock::now();
    step();
    Settle();
    return MsSince(start);
  }

  // Rows the display itself shows (for Qt, walked in the view).
  int ShownRows() {
    if (!qt_) return List().ListCount();
    return static_cast<int>(platform::qtinspect::InspectList(List()).rows.size());
  }

 private:
  platform::Display& display_;
  bool qt_;
  platform::Ref<palette::Window1> window_;
  platform::Ref<platform::Listbox> list_;
};

// Quick steps vary most from run to run: a series runs as many times as
// fit in half a second, at least `minimum` and at most 101 times.
int RunsFor(double untimedMs, int minimum) {
  const double fit = 500.0 / std::max(untimedMs, 0.001);
  return static_cast<int>(std::clamp(fit, static_cast<double>(minimum), 101.0));
}

}  // namespace

InProcessResults MeasureInProcess(const Config& config, const std::string& kind,
                                  const std::vector<Tree>& fillTrees,
                                  const std::vector<Tree>& expandTrees,
                                  const fs::path& startFolder) {
  InProcessResults results;
  testsupport::FakeHost host;
  const bool qt = kind == "qt";
  std::unique_ptr<platform::Display> display;
  if (qt) {
    static char arg0[] = "tessaline_bench";
    static char* argv[] = {arg0, nullptr};
    static int argc = 1;
    std::string error;
    display = platform::CreateQtDisplay(argc, argv, palette::DisplayOptions(), &error);
    if (!display) {
      results.problem = "no Qt display: " + error;
      return results;
    }
  } else {
    display = std::make_unique<platform::ScriptedDisplay>();
  }

  try {
    Session session(*display, qt);
    // Each timed fill starts from the list as the palette opened it, on a
    // folder of a few scripts.
    auto reset = [&] {
      session.Fill(startFolder);
      session.Settle();
    };

    for (const Tree& tree : fillTrees) {
      std::vector<double> times;
      FillFigures figures;
      int runs = config.runs;
      for (int run = 0; run <= runs; ++run) {
        reset();
        const double ms = session.Time([&] { session.Fill(tree.root); });
        if (run == 0) runs = RunsFor(ms, config.runs);
        else times.push_back(ms);
      }
      figures.ms = Median(times);
      figures.rows = session.ShownRows();
      if (figures.rows != tree.topLevel) {
        results.problem = kind + " fill of " + std::to_string(tree.entries) + " entries shows " +
                          std::to_string(figures.rows) + " rows, expected " +
                          std::to_string(tree.topLevel);
      }
      results.fill[tree.entries] = figures;
    }

    for (const Tree& tree : expandTrees) {
      ExpandFigures figures;
      const int children = tree.entries - 1;
      std::vector<double> fills, expands, collapses;
      int runs = config.runs;
      for (int run = 0; run <= runs; ++run) {
        reset();
        const double fill = session.Time([&] { session.Fill(tree.root); });
        const double expand = session.Time([&] { session.List().SetExpanded(0, true); });
        if (run == 0) figures.childRows = session.ShownRows() - 1;
        const double collapse = session.Time([&] { session.List().SetExpanded(0, false); });
        if (run == 0) {
          runs = RunsFor(std::min({fill, expand, collapse}), config.runs);
        } else {
          fills.push_back(fill);
          expands.push_back(expand);
          collapses.push_back(collapse);
        }
      }
      figures.fillMs = Median(fills);
      figures.expandMs = Median(expands);
      figures.collapseMs = Median(collapses);
      if (figures.childRows != children || session.ShownRows() != 1) {
        results.problem = kind + " expansion of " + std::to_string(children) + " children showed " +
                          std::to_string(figures.childRows) + " child rows";
      }
      results.expand[children] = figures;
    }
  } catch (const std::exception& e) {
    results.problem = kind + ": " + e.what();
  }
  return results;
}

}  // namespace bench
