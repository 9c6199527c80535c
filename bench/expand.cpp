// Opening and closing a folder row as the user does it, on the X server:
// a double-click on the row (synthetic input through XTest), timed from the
// second press to the last change to the palette window's pixels (DAMAGE
// events) after it. The window's pixels tell that the row opened and that
// it closed again.
#include <signal.h>

#include "bench/bench.h"

namespace bench {

namespace {

// Qt takes two presses within its double-click interval (400 ms by
// default) as a double-click; between two double-clicks this much passes.
constexpr double kBetweenDoubleClicks = 0.6;
// Nothing drawn for this long: the window has settled.
constexpr int kQuietMs = 250;
constexpr int kLimitMs = 3000;

struct Palette {
  Tree folder;
  fs::path home;
  Spawned process;
  uint32_t window = 0;
  int clickX = 0, clickY = 0;
  std::string closed;  // the window with its row selected and closed
};

// A double-click on the palette's folder row: the milliseconds from the
// second press to the last repaint after it, if one came.
std::optional<double> DoubleClick(XServer& x, const Palette& p) {
  x.MovePointer(p.clickX, p.clickY);
  x.LastDamage(kQuietMs, kLimitMs);  // a hover, if the style shows one
  x.Button(true);
  x.Button(false);
  // The first click selects the row; its repaint is let through first.
  x.LastDamage(40, 250);
  const auto pressed = x.Button(true);
  x.Button(false);
  const auto last = x.LastDamage(kQuietMs, kLimitMs);
  if (!last) return std::nullopt;
  return MsBetween(pressed, *last);
}

}  // namespace

std::map<int, ExpandFigures> MeasureExpansions(XServer& x, const std::string& palette,
                                               const std::vector<Tree>& folders,
                                               const fs::path& work, int trials) {
  std::map<int, ExpandFigures> figures;
  std::vector<Palette> palettes;
  auto fail = [&](std::size_t i, const std::string& what) {
    std::string& problem = figures[palettes[i].folder.entries - 1].problem;
    if (problem.empty()) problem = what;
  };
  // The palettes stand side by side, each on its own folder.
  for (std::size_t i = 0; i < folders.size(); ++i) {
    Palette p;
    p.folder = folders[i];
    p.home = work / ("home-expand-" + std::to_string(folders[i].entries - 1));
    WritePaletteHome(p.home, p.folder.root, 60 + static_cast<int>(i) * 220, 120);
    x.Arm();
    p.process = Spawn(palette, {}, ChildEnvironment(x.display(), p.home),
                      (p.home / "palette.log").string());
    const auto mapped = x.WaitMapped(p.process.pid, 20000);
    palettes.push_back(p);
    if (!mapped) {
      fail(i, "the palette on " + p.folder.root.string() + " showed no window");
      continue;
    }
    palettes.back().window = mapped->window;
  }
  Sleep(1.0);
  for (std::size_t i = 0; i < palettes.size(); ++i) {
    Palette& p = palettes[i];
    if (!p.window) continue;
    const auto g = x.GeometryOf(p.window);
    if (!g || g->height < 200) {
      fail(i, "no geometry for the palette's window");
      p.window = 0;
      continue;
    }
    // The content area is the window's lowest 200 pixels (the menu bar
    // stands above it); the first row is at its top, its text from a few
    // pixels in. A click there, not on the disclosure triangle.
    p.clickX = g->x + 60;
    p.clickY = g->y + g->height - 200 + 8;
  }

  for (int trial = 0; trial <= trials; ++trial) {
    for (std::size_t i = 0; i < palettes.size(); ++i) {
      Palette& p = palettes[i];
      if (!p.window || !figures[p.folder.entries - 1].problem.empty()) continue;
      ExpandFigures& f = figures[p.folder.entries - 1];
      if (!x.WatchDamage(p.window)) {
        fail(i, "cannot watch the palette window's pixels");
        continue;
      }
      if (p.closed.empty()) {
        // Select the row with one click, and take the closed state's look.
        x.MovePointer(p.clickX, p.clickY);
        x.LastDamage(kQuietMs, kLimitMs);
        x.Button(true);
        x.Button(false);
        x.LastDamage(kQuietMs, kLimitMs);
        Sleep(kBetweenDoubleClicks);
        p.closed = x.Pixels(p.window);
      }
      const auto expand = DoubleClick(x, p);
      const std::string open = x.Pixels(p.window);
      Sleep(kBetweenDoubleClicks);
      const auto collapse = DoubleClick(x, p);
      const std::string closed = x.Pixels(p.window);
      Sleep(kBetweenDoubleClicks);
      x.UnwatchDamage();
      if (!expand || !collapse || open == p.closed || closed != p.closed) {
        fail(i, "a double-click on the folder row of " + p.folder.root.string() +
                    (!expand || open == p.closed ? " did not open it" : " did not close it"));
        continue;
      }
      if (trial == 0) continue;
      f.expandMs.push_back(*expand);
      f.collapseMs.push_back(*collapse);
    }
  }
  for (const Palette& p : palettes) {
    kill(p.process.pid, SIGTERM);
    WaitFor(p.process.pid);
  }
  return figures;
}

}  // namespace bench
