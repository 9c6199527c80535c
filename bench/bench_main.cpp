// Measures the palette against its yardsticks, round by round on the same
// data in one run, and prints every figure with its spread, each goal's
// ratio, and whether the goal was met.
//
//   tessaline_bench [--quick]
//
// --quick: fewer rounds and trials, 10 s of idling.
#include <stdlib.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iostream>
#include <limits>
#include <sstream>
#include <string>

#include "bench/bench.h"
#include "platform/testing/boot_volume.h"

#ifndef TESSALINE_BENCH_PALETTE
#error "the build names the palette binary"
#endif

namespace bench {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::string Grouped(long long n) {
  std::string digits = std::to_string(n), out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

std::string Fixed(double v, int decimals) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, v);
  return buffer;
}

int DecimalsFor(double v) { return std::fabs(v) < 10 ? 2 : 1; }

// "12.3 ms [11.9..13.0]": the median and the quartiles.
std::string Shown(const Spread& s, const std::string& unit, int decimals = -1) {
  if (s.n == 0) return "not measured";
  const int d = decimals >= 0 ? decimals : DecimalsFor(s.median);
  return Fixed(s.median, d) + unit + " [" + Fixed(s.low, d) + ".." + Fixed(s.high, d) + "]";
}
std::string Ms(const Spread& s) { return Shown(s, " ms"); }
std::string Times(const Spread& s) { return Shown(s, "x", 2); }

std::string Pad(const std::string& s, std::size_t width) {
  std::size_t chars = 0;
  for (unsigned char c : s) chars += (c & 0xC0) != 0x80;
  return chars >= width ? s + " " : s + std::string(width - chars, ' ');
}

std::string FirstLineWith(const std::string& file, const std::string& key) {
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(key, 0) == 0) {
      const auto colon = line.find(':');
      std::string value = colon == std::string::npos ? line : line.substr(colon + 1);
      value.erase(0, value.find_first_not_of(" \t"));
      return value;
    }
  }
  return "unknown";
}

std::string LoadAverage() {
  std::ifstream load("/proc/loadavg");
  std::string one, five, fifteen;
  load >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

std::string Machine() {
  std::ostringstream out;
  const std::string mem = FirstLineWith("/proc/meminfo", "MemTotal");
  const double gib = std::stod(mem == "unknown" ? "0" : mem) / 1024.0 / 1024.0;
  struct utsname u {};
  uname(&u);
  out << FirstLineWith("/proc/cpuinfo", "model name") << ", " << sysconf(_SC_NPROCESSORS_ONLN)
      << " CPUs online, " << Fixed(gib, 1) << " GiB RAM, " << u.sysname << " " << u.release;
  return out.str();
}

// Run by run, f of the runs' values; a run with a value missing gives none.
std::vector<double> PerRound(const std::vector<std::vector<double>>& series,
                             const std::function<double(const std::vector<double>&)>& f) {
  std::vector<double> out;
  if (series.empty()) return out;
  for (std::size_t r = 0; r < series.front().size(); ++r) {
    std::vector<double> values;
    bool whole = true;
    for (const auto& s : series) {
      if (r >= s.size() || std::isnan(s[r])) whole = false;
      else values.push_back(s[r]);
    }
    out.push_back(whole ? f(values) : kNaN);
  }
  return out;
}

struct Goal {
  std::string text;
  std::string figure;
  enum State { kMet, kMissed, kNotMeasured } state;
};

// A goal met when the median is within the bound; the spread is said when
// it reaches past the bound on either side.
Goal Bounded(const std::string& text, const Spread& s, double bound, bool strict,
             const std::string& figure) {
  if (s.n == 0) return {text, "not measured", Goal::kNotMeasured};
  const bool met = strict ? s.median < bound : s.median <= bound;
  std::string shown = figure;
  const bool crosses = strict ? (s.low < bound) != (s.high < bound)
                              : (s.low <= bound) != (s.high <= bound);
  if (crosses) shown += "; the spread reaches across the bound";
  return {text, shown, met ? Goal::kMet : Goal::kMissed};
}

void Progress(const std::string& what) {
  std::cout << std::flush;
  std::cerr << "[bench] " << what << " ...\n";
}

int Run(const Config& config) {
  const fs::path& work = config.work;
  std::cout << "Tessaline palette benchmark (" << (config.quick ? "quick" : "full") << " run, "
            << TESSALINE_BENCH_BUILD_TYPE << " build)\n"
            << "Machine: " << Machine() << "\n"
            << "Load average (1, 5, 15 min) at the start: " << LoadAverage() << "\n"
            << "Each figure is the median of its runs with the quartiles in brackets. A ratio\n"
               "is taken run by run between runs of the same round, then its median and\n"
               "quartiles are given.\n\n"
            << std::flush;

  // The benchmark's own palette (the in-process fills) reads its
  // preferences from a home of its own, and finds the host's folder under
  // a stand-in for the boot volume.
  const fs::path selfHome = work / "home-bench";
  Progress("making the scripts folders in " + work.string());
  const Tree one = MakeTree(work / "scripts-1", 1);
  std::vector<Tree> trees;
  for (int n : {1000, 10000, 100000}) {
    trees.push_back(MakeTree(work / ("scripts-" + std::to_string(n)), n));
  }
  std::vector<Tree> expandFolders;
  for (int n : {10, 1000, 10000}) {
    expandFolders.push_back(MakeOneFolder(work / ("folder-of-" + std::to_string(n)), n));
  }
  WritePaletteHome(selfHome, one.root);
  setenv("HOME", selfHome.c_str(), 1);
  setenv("XDG_CONFIG_HOME", (selfHome / "config").c_str(), 1);
  setenv("XDG_RUNTIME_DIR", (selfHome / "runtime").c_str(), 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // The stand-in host beside the palette answers the in-process palette.
  setenv("TESSALINE_RESOURCES",
         (fs::path(config.paletteBinary).parent_path() / "resources").c_str(), 1);
  fs::create_directories(work / "volume");
  platform::SetBootVolumeForTesting((work / "volume").string());
  fs::create_directories(work / "empty");
  // Resources without host scripts: the palette then asks the host nothing.
  fs::create_directories(work / "no-host" / "scripts");

  std::vector<Goal> goals;
  std::vector<std::string> problems;

  Progress("starting an X server");
  XServer x;
  std::string xError;
  const bool haveX = x.Start(work / "xvfb.log", &xError);
  if (!haveX) problems.push_back("no X server, so no start-up, expansion or idle figures: " + xError);

  // ---------------------------------------------------------- start-up
  if (haveX) {
    Progress("start-up on Xvfb " + x.display() + ", " + std::to_string(config.startupRounds) +
             " rounds");
    const fs::path home = work / "home-startup";
    std::vector<Program> programs = {
        {"bare", config.windowBinary, {}, one.root, {}, true},
        {"plain", config.windowBinary, {"--palette-widgets", one.firstRow}, one.root, {}, true},
        {"palette 1", config.paletteBinary, {}, one.root, {}, true},
        {"palette 1 no host",
         config.paletteBinary,
         {},
         one.root,
         {"TESSALINE_RESOURCES=" + (work / "no-host").string()},
         true},
        {"find empty", "find", {(work / "empty").string(), "-maxdepth", "2"}, {}, {}, false},
    };
    for (const Tree& t : trees) {
      const std::string n = std::to_string(t.entries);
      programs.push_back({"palette " + n, config.paletteBinary, {}, t.root, {}, true});
      programs.push_back({"find " + n, "find", {t.root.string(), "-maxdepth", "2"}, {}, {}, false});
    }
    std::map<std::string, Series> s = MeasureStartups(x, programs, trees, home,
                                                      config.startupRounds);
    for (const auto& [name, series] : s) {
      if (!series.problem.empty()) problems.push_back(series.problem);
    }
    auto ms = [&](const std::string& name) { return s[name].ms; };
    auto rss = [&](const std::string& name) { return s[name].rssMb; };
    auto ratio = [](const std::vector<double>& v) { return v[0] / v[1]; };

    std::cout
        << "1. Start-up: from the spawn to the X server's MapNotify for the program's first\n"
           "   top-level window, on an Xvfb of the benchmark's own; peak memory is VmHWM\n"
        << "   read " << Fixed(kSettleSeconds, 1)
        << " s later, then the program gets SIGTERM. " << config.startupRounds
        << " rounds; each starts every\n"
           "   program once, the order turning by one each round. The bare window is a\n"
           "   QMainWindow of 150 x 200 and nothing else; the plain window holds what the\n"
           "   palette's holds (a floating window with its title, its menus and their\n"
           "   Japanese texts, a tree list showing the same row at the same text size, the\n"
           "   button with its caption), built the plain way, with none of the palette's\n"
           "   code. The palette asks the stand-in host for its version (one script process)\n"
           "   before it shows; \"no host\" is the palette with no host scripts to run.\n"
           "   find is timed from spawn to exit, its output to /dev/null; the floor is one\n"
           "   readdir pass over the folder and its sub-folders and a sort of each\n"
           "   folder's names, in the benchmark's own process, in the same rounds.\n";
    std::cout << Pad("   program", 42) << Pad("start-up", 28) << "peak RSS\n";
    std::vector<std::pair<std::string, std::string>> rows = {
        {"bare Qt window", "bare"},
        {"plain window with the palette's widgets", "plain"},
        {"palette, 1 entry", "palette 1"},
        {"palette, 1 entry, no host script", "palette 1 no host"},
    };
    for (const Tree& t : trees) {
      rows.push_back({"palette, " + Grouped(t.entries) + " entries",
                      "palette " + std::to_string(t.entries)});
    }
    for (const auto& [label, name] : rows) {
      std::cout << Pad("   " + label, 42) << Pad(Ms(SpreadOf(ms(name))), 28)
                << Shown(SpreadOf(rss(name)), " MiB") << "\n";
    }
    std::cout << Pad("   find -maxdepth 2, an empty folder", 42) << Ms(SpreadOf(ms("find empty")))
              << "\n";
    for (const Tree& t : trees) {
      const std::string n = std::to_string(t.entries);
      std::cout << Pad("   find -maxdepth 2, " + Grouped(t.entries) + " entries", 42)
                << Pad(Ms(SpreadOf(ms("find " + n))), 28) << "floor "
                << Ms(SpreadOf(ms("floor " + n))) << "\n";
    }

    const Spread toBare = SpreadOf(PerRound({ms("palette 1"), ms("bare")}, ratio));
    const Spread toPlain = SpreadOf(PerRound({ms("palette 1"), ms("plain")}, ratio));
    const Spread plainToBare = SpreadOf(PerRound({ms("plain"), ms("bare")}, ratio));
    const Spread host = SpreadOf(PerRound({ms("palette 1"), ms("palette 1 no host")},
                                          [](const std::vector<double>& v) { return v[0] - v[1]; }));
    const Spread noHostToPlain = SpreadOf(PerRound({ms("palette 1 no host"), ms("plain")}, ratio));
    std::cout << "\n   Start-up with a 1-entry folder, run by run:\n"
              << "     palette / bare window            " << Times(toBare) << "\n"
              << "     palette / plain window           " << Times(toPlain) << "   (goal: at most 1.05x)\n"
              << "     plain window / bare window       " << Times(plainToBare) << "\n"
              << "     the host's version script        " << Ms(host)
              << " (palette less palette with no host)\n"
              << "     palette with no host / plain     " << Times(noHostToPlain) << "\n";
    goals.push_back(Bounded("start-up, 1 entry, at most 1.05x the plain window", toPlain, 1.05,
                            false,
                            Times(toPlain) + " (with no host script " + Times(noHostToPlain) + ")"));

    std::cout << "\n   What the entries add to start-up, run by run: the palette on N entries less\n"
                 "   the palette on 1, against find over the N entries less find on an empty\n"
                 "   folder (its own start-up), and against the floor:\n"
              << Pad("     entries", 15) << Pad("palette adds", 25) << Pad("find's work", 25)
              << Pad("x find", 20) << "x floor\n";
    for (const Tree& t : trees) {
      const std::string n = std::to_string(t.entries);
      auto diff = [](const std::vector<double>& v) { return v[0] - v[1]; };
      const Spread adds = SpreadOf(PerRound({ms("palette " + n), ms("palette 1")}, diff));
      const Spread findWork = SpreadOf(PerRound({ms("find " + n), ms("find empty")}, diff));
      const Spread toFind = SpreadOf(PerRound({ms("palette " + n), ms("palette 1"), ms("find " + n),
                                               ms("find empty")},
                                              [](const std::vector<double>& v) {
                                                return (v[0] - v[1]) / (v[2] - v[3]);
                                              }));
      const Spread toFloor = SpreadOf(PerRound({ms("palette " + n), ms("palette 1"), ms("floor " + n)},
                                               [](const std::vector<double>& v) {
                                                 return (v[0] - v[1]) / v[2];
                                               }));
      std::cout << Pad("     " + Grouped(t.entries), 15) << Pad(Ms(adds), 25) << Pad(Ms(findWork), 25);
      // A few milliseconds disappear in the rounds' noise: no ratio of them.
      if (findWork.median >= 5) {
        std::cout << Pad(Times(toFind), 20) << Times(toFloor) << "\n";
      } else {
        std::cout << "(too small to tell from the rounds' noise)\n";
      }
      if (t.entries == 100000) {
        goals.push_back(Bounded("start-up cost of 100,000 entries at most 1.0x find's work", toFind,
                                1.0, false, Times(toFind) + " (" + Times(toFloor) + " the floor)"));
      }
    }

    const Spread mem1 = SpreadOf(PerRound({rss("palette 1"), rss("bare")}, ratio));
    const Spread mem100k = SpreadOf(PerRound({rss("palette 100000"), rss("bare")}, ratio));
    const Spread memPlain = SpreadOf(PerRound({rss("plain"), rss("bare")}, ratio));
    const Spread memToPlain = SpreadOf(PerRound({rss("palette 1"), rss("plain")}, ratio));
    std::cout << "\n   Peak memory, run by run:\n"
              << "     palette, 1 entry / plain window        " << Times(memToPlain)
              << "   (goal: at most 1.03x)\n"
              << "     palette, 1 entry / bare window         " << Times(mem1) << "\n"
              << "     palette, 100,000 entries / bare window " << Times(mem100k)
              << "   (goal: at most 1.7x)\n"
              << "     plain window / bare window             " << Times(memPlain) << "\n\n";
    goals.push_back(Bounded("peak memory, 1 entry, at most 1.03x the plain window", memToPlain, 1.03,
                            false, Times(memToPlain) + " (" + Times(mem1) + " the bare window)"));
    goals.push_back(Bounded("peak memory, 100,000 entries, at most 1.7x the bare window", mem100k,
                            1.7, false, Times(mem100k)));
  }

  // ---------------------------------------------------------- expansion
  if (haveX) {
    Progress("double-clicks on folder rows, " + std::to_string(config.expandTrials) + " trials");
    const std::map<int, ExpandFigures> e =
        MeasureExpansions(x, config.paletteBinary, expandFolders, work, config.expandTrials);
    std::cout
        << "2. Opening and closing a folder row by hand: palettes on folders holding one\n"
           "   sub-folder of N files stand side by side on the Xvfb; the benchmark moves the\n"
           "   pointer onto the folder row and double-clicks it through XTest, then again to\n"
           "   close it, the folders taking turns. Timed from the second press to the last\n"
           "   change to the palette window's pixels (DAMAGE events) before 250 ms pass\n"
           "   with none; the window's pixels show the row opened, and closed again as it\n"
           "   was. "
        << config.expandTrials << " trials each, after one untimed.\n"
        << Pad("   children", 14) << Pad("open", 28) << "close\n";
    for (const auto& [children, f] : e) {
      if (!f.problem.empty()) problems.push_back(f.problem);
      std::cout << Pad("   " + Grouped(children), 14) << Pad(Ms(SpreadOf(f.expandMs)), 28)
                << Ms(SpreadOf(f.collapseMs)) << "\n";
    }
    std::cout << "   (goal: under one frame, 16 ms, at 10,000 children)\n\n";
    if (e.count(10000)) {
      const Spread open = SpreadOf(e.at(10000).expandMs);
      const Spread close = SpreadOf(e.at(10000).collapseMs);
      goals.push_back(Bounded("opening 10,000 children under one frame (16 ms)", open, 16, true, Ms(open)));
      goals.push_back(Bounded("closing them under one frame (16 ms)", close, 16, true, Ms(close)));
    }
  }

  // ---------------------------------------------------------- growth
  Progress("in-process fills, " + std::to_string(config.fillRounds) + " rounds");
  const FillFigures fills = MeasureFills(trees, one.root, config.fillRounds);
  if (!fills.problem.empty()) problems.push_back(fills.problem);
  std::cout << "3. Growth: the fill alone (setLB1, then the list's layout and repaint), in the\n"
               "   benchmark's own process on Qt's offscreen display with a host that answers at\n"
               "   once; "
            << config.fillRounds
            << " rounds, each filling from every folder once. The step is the ratio\n"
               "   of two fills of the same round.\n"
            << Pad("   entries", 14) << Pad("fill", 28) << "from 10x fewer entries\n";
  double worstStep = 0;
  Spread worstSpread;
  for (std::size_t i = 0; i < trees.size(); ++i) {
    const int n = trees[i].entries;
    const auto it = fills.ms.find(n);
    const std::vector<double> mine = it == fills.ms.end() ? std::vector<double>{} : it->second;
    std::cout << Pad("   " + Grouped(n), 14) << Pad(Ms(SpreadOf(mine)), 28);
    if (i > 0 && fills.ms.count(trees[i - 1].entries)) {
      const Spread step = SpreadOf(PerRound({mine, fills.ms.at(trees[i - 1].entries)},
                                            [](const std::vector<double>& v) { return v[0] / v[1]; }));
      std::cout << Times(step);
      if (step.median > worstStep) worstStep = step.median, worstSpread = step;
    }
    std::cout << "\n";
  }
  std::cout << "   (goal: 10x the entries at most 11x the time)\n\n";
  goals.push_back(Bounded("10x the entries at most 11x the time, 1,000 to 100,000", worstSpread, 11,
                          false, "worst step " + Times(worstSpread)));

  // ---------------------------------------------------------- idling
  if (haveX) {
    Progress("idling for " + std::to_string(config.idleSeconds) + " s");
    const fs::path home = work / "home-idle";
    const IdleFigures idle = MeasureIdle(x, config.paletteBinary, home, one.root, config.idleSeconds);
    if (!idle.problem.empty()) problems.push_back(idle.problem);
    const double total = idle.ownPercent + idle.childrenPercent;
    std::cout << "4. Idling: the palette on the Xvfb with its one-second tick and the stand-in\n"
                 "   host (each tick runs a host script), over "
              << Fixed(idle.seconds, 1)
              << " s once start-up has settled, from\n"
                 "   /proc/PID/stat; the tick scripts it waits for count too.\n"
              << "   the palette " << Fixed(idle.ownPercent, 3) << " % of one core, with its tick scripts "
              << Fixed(total, 3) << " %\n\n";
    const bool measured = idle.problem.empty();
    goals.push_back({"idle under 1% of one core, tick scripts included",
                     measured ? Fixed(total, 3) + " %" : "not measured",
                     !measured ? Goal::kNotMeasured : total < 1.0 ? Goal::kMet : Goal::kMissed});
  }

  std::cout << "Load average at the end: " << LoadAverage() << "\n\nGoals\n";
  for (const Goal& g : goals) {
    const char* mark = g.state == Goal::kMet ? "[met]    " : g.state == Goal::kMissed ? "[MISSED] "
                                                                                      : "[--]     ";
    std::cout << "  " << mark << g.text << ": " << g.figure << "\n";
  }
  for (const std::string& p : problems) std::cout << "Problem: " << p << "\n";
  return problems.empty() ? 0 : 2;
}

}  // namespace
}  // namespace bench

int main(int argc, char** argv) {
  bench::Config config;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--quick") {
      config.quick = true;
    } else {
      std::cerr << "usage: " << argv[0] << " [--quick]\n  --quick: fewer rounds, 10 s of idling\n";
      return arg == "--help" || arg == "-h" ? 0 : 2;
    }
  }
  if (config.quick) {
    config.startupRounds = 7;
    config.expandTrials = 5;
    config.fillRounds = 7;
    config.idleSeconds = 10;
  }
  config.paletteBinary = TESSALINE_BENCH_PALETTE;
  config.windowBinary = TESSALINE_BENCH_BARE_WINDOW;

  std::string pattern = (bench::fs::temp_directory_path() / "tessaline-bench-XXXXXX").string();
  if (!mkdtemp(pattern.data())) {
    std::cerr << "cannot make a temporary folder\n";
    return 2;
  }
  config.work = pattern;
  int status = 2;
  try {
    status = bench::Run(config);
  } catch (const std::exception& e) {
    std::cerr << "benchmark failed: " << e.what() << "\n";
  }
  std::error_code ec;
  bench::fs::remove_all(config.work, ec);
  return status;
}
