// Measures the palette side by side with its yardsticks, on the same data
// in one run, and prints the figures, their ratios, and whether each goal
// was met.
//
//   tessaline_bench [--quick]
//
// --quick: folders of 1,000 and 10,000 entries only, 10 s of idling.
#include <stdlib.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "bench/bench.h"
#include "platform/specialfolders.h"

#ifndef TESSALINE_BENCH_PALETTE
#error "the build names the palette binary"
#endif

namespace bench {
namespace {

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

std::string Ms(double ms) { return Fixed(ms, ms < 10 ? 2 : 1) + " ms"; }
std::string Ratio(double r) { return Fixed(r, 2) + "x"; }

std::string Pad(const std::string& s, std::size_t width, bool right = true) {
  // Counted in characters, so that "×" lines up like any other.
  std::size_t chars = 0;
  for (unsigned char c : s) chars += (c & 0xC0) != 0x80;
  if (chars >= width) return s;
  const std::string fill(width - chars, ' ');
  return right ? fill + s : s + fill;
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

std::string Machine() {
  std::ostringstream out;
  const std::string cpu = FirstLineWith("/proc/cpuinfo", "model name");
  const std::string mem = FirstLineWith("/proc/meminfo", "MemTotal");
  const double gib = std::stod(mem == "unknown" ? "0" : mem) / 1024.0 / 1024.0;
  struct utsname u {};
  uname(&u);
  out << cpu << ", " << sysconf(_SC_NPROCESSORS_ONLN) << " CPUs online, " << Fixed(gib, 1)
      << " GiB RAM, " << u.sysname << " " << u.release;
  std::ifstream load("/proc/loadavg");
  std::string one;
  if (load >> one) out << "; load average " << one << " at the start";
  return out.str();
}

struct Goal {
  std::string text;
  bool met;
  std::string figure;
};

void SetEnv(const char* name, const std::string& value) { setenv(name, value.c_str(), 1); }

// What the benchmark is doing, on standard error, between the figures.
void Progress(const std::string& what) {
  std::cout << std::flush;
  std::cerr << "[bench] " << what << " ...\n";
}

int Run(const Config& config) {
  const fs::path& work = config.work;
  std::cout << "Tessaline palette benchmark (" << (config.quick ? "quick" : "full") << " run, "
            << TESSALINE_BENCH_BUILD_TYPE << " build)\n"
            << "Machine: " << Machine() << "\n"
            << "Every figure is the median of a series of timed runs after one untimed run:\n"
            << config.startupRuns << " runs for start-up, " << config.runs
            << " for find, and for the steps timed inside the benchmark's\n"
            << "process as many as fit in half a second (" << config.runs << " to 101).\n\n"
            << std::flush;

  // The benchmark's own palette reads its preferences from a home of its
  // own, and finds the host's folder under a stand-in for the boot volume.
  const fs::path selfHome = work / "home-bench";
  const Tree start = MakeSmallFolder(work / "start");
  WritePaletteHome(selfHome, start.root);
  SetEnv("HOME", selfHome.string());
  SetEnv("XDG_CONFIG_HOME", (selfHome / "config").string());
  SetEnv("XDG_RUNTIME_DIR", (selfHome / "runtime").string());
  SetEnv("QT_QPA_PLATFORM", "offscreen");
  fs::create_directories(work / "volume");
  platform::SetBootVolumeForTesting((work / "volume").string());

  Progress("making the scripts folders in " + work.string());
  std::vector<Tree> fillTrees, expandTrees;
  for (int n : config.fillSizes) {
    fillTrees.push_back(MakeTree(work / ("fill-" + std::to_string(n)), n));
  }
  for (int n : {1000, 10000}) {
    expandTrees.push_back(MakeOneFolder(work / ("expand-" + std::to_string(n)), n));
  }

  std::vector<Goal> goals;
  std::vector<std::string> problems;

  // ---------------------------------------------------------- filling
  Progress("filling");
  fs::create_directories(work / "empty");
  const double findEmpty = MeasureFind(work / "empty", config.runs);
  std::map<int, double> find;
  for (const Tree& t : fillTrees) find[t.entries] = MeasureFind(t.root, config.runs);
  const InProcessResults scripted =
      MeasureInProcess(config, "scripted", fillTrees, expandTrees, start.root);
  const InProcessResults qt = MeasureInProcess(config, "qt", fillTrees, expandTrees, start.root);
  for (const auto* r : {&scripted, &qt}) {
    if (!r->problem.empty()) problems.push_back(r->problem);
  }

  std::cout << "1. Filling the list: setLB1 on a folder of N entries (half top-level items,\n"
               "   one in ten of them a sub-folder of ten files), against find DIR -maxdepth 2\n"
               "   over the same folder, started as a process with its output to /dev/null.\n"
               "   Qt: the offscreen list, until its layout and repaint are done.\n";
  std::cout << Pad("entries", 10) << Pad("rows", 8) << Pad("find", 12) << Pad("scripted", 12)
            << Pad("×find", 8) << Pad("Qt", 12) << Pad("×find", 8) << "\n";
  double worstScripted = 0, worstQt = 0;
  int worstScriptedAt = 0, worstQtAt = 0;
  for (const Tree& t : fillTrees) {
    const int n = t.entries;
    const double f = find[n];
    const double s = scripted.fill.count(n) ? scripted.fill.at(n).ms : 0;
    const double q = qt.fill.count(n) ? qt.fill.at(n).ms : 0;
    std::cout << Pad(Grouped(n), 10) << Pad(Grouped(t.topLevel), 8) << Pad(Ms(f), 12)
              << Pad(Ms(s), 12) << Pad(Ratio(s / f), 8) << Pad(Ms(q), 12) << Pad(Ratio(q / f), 8)
              << "\n";
    if (s / f > worstScripted) worstScripted = s / f, worstScriptedAt = n;
    if (q / f > worstQt) worstQt = q / f, worstQtAt = n;
  }
  std::cout << "   find on an empty folder (its own start-up alone): " << Ms(findEmpty) << "\n";
  double worstStepScripted = 0, worstStepQt = 0;
  for (std::size_t i = 1; i < fillTrees.size(); ++i) {
    const int a = fillTrees[i - 1].entries, b = fillTrees[i].entries;
    const double findStep = find[b] / find[a];
    const double findWorkStep = (find[b] - findEmpty) / (find[a] - findEmpty);
    const double ss = scripted.fill.count(b) ? scripted.fill.at(b).ms / scripted.fill.at(a).ms : 0;
    const double qs = qt.fill.count(b) ? qt.fill.at(b).ms / qt.fill.at(a).ms : 0;
    std::cout << "   " << Grouped(a) << " → " << Grouped(b) << " entries costs: scripted "
              << Ratio(ss) << ", Qt " << Ratio(qs) << "; find " << Ratio(findStep);
    // find's own work, once its start-up is taken off, where that leaves
    // enough to compare.
    if (find[a] - findEmpty > 1.0) {
      std::cout << " (" << Ratio(findWorkStep) << " without its start-up)";
    }
    std::cout << "\n";
    worstStepScripted = std::max(worstStepScripted, ss);
    worstStepQt = std::max(worstStepQt, qs);
  }
  std::cout << "\n";
  goals.push_back({"scripted fill within 2x of find", worstScripted <= 2.0,
                   "worst " + Ratio(worstScripted) + " at " + Grouped(worstScriptedAt)});
  goals.push_back({"Qt fill within 5x of find", worstQt <= 5.0,
                   "worst " + Ratio(worstQt) + " at " + Grouped(worstQtAt)});
  goals.push_back({"10x the entries costs at most 12x the time",
                   worstStepScripted <= 12.0 && worstStepQt <= 12.0,
                   "worst step: scripted " + Ratio(worstStepScripted) + ", Qt " +
                       Ratio(worstStepQt)});

  // ---------------------------------------------------------- expanding
  std::cout << "2. Expanding and collapsing the one folder row of a folder (through the\n"
               "   list's Expanded setter, so LB1_ExpandRow and LB1_CollapseRow run), against\n"
               "   filling the list from that same folder.\n";
  std::cout << Pad("children", 10) << Pad("display", 10) << Pad("fill", 12) << Pad("expand", 12)
            << Pad("×fill", 8) << Pad("collapse", 12) << Pad("×fill", 8) << "\n";
  double worstShare = 0, worstGrowth = 0;
  std::string worstShareWhere, worstGrowthWhere;
  for (const auto& [name, r] : {std::pair{"scripted", &scripted}, std::pair{"Qt", &qt}}) {
    for (const Tree& t : expandTrees) {
      const int n = t.entries - 1;
      if (!r->expand.count(n)) continue;
      const ExpandFigures& e = r->expand.at(n);
      std::cout << Pad(Grouped(n), 10) << Pad(name, 10) << Pad(Ms(e.fillMs), 12)
                << Pad(Ms(e.expandMs), 12) << Pad(Ratio(e.expandMs / e.fillMs), 8)
                << Pad(Ms(e.collapseMs), 12) << Pad(Ratio(e.collapseMs / e.fillMs), 8) << "\n";
      if (n == 10000) {
        for (const auto& [what, ms] :
             {std::pair{"expand", e.expandMs}, std::pair{"collapse", e.collapseMs}}) {
          if (ms / e.fillMs > worstShare) {
            worstShare = ms / e.fillMs;
            worstShareWhere = std::string(name) + " " + what;
          }
        }
      }
    }
    if (r->expand.count(1000) && r->expand.count(10000)) {
      const ExpandFigures& a = r->expand.at(1000);
      const ExpandFigures& b = r->expand.at(10000);
      const double ex = b.expandMs / a.expandMs, co = b.collapseMs / a.collapseMs;
      std::cout << "   " << name << ": 10x the children costs " << Ratio(ex) << " to expand, "
                << Ratio(co) << " to collapse\n";
      for (const auto& [what, g] : {std::pair{"expand", ex}, std::pair{"collapse", co}}) {
        if (g > worstGrowth) {
          worstGrowth = g;
          worstGrowthWhere = std::string(name) + " " + what;
        }
      }
    }
  }
  std::cout << "\n";
  goals.push_back({"expand and collapse linear (10x the children, at most 12x the time)",
                   worstGrowth > 0 && worstGrowth <= 12.0,
                   "worst " + Ratio(worstGrowth) + ", " + worstGrowthWhere});
  goals.push_back({"expand and collapse of 10,000 children under a tenth of the fill",
                   worstShare > 0 && worstShare < 0.1,
                   "worst " + Ratio(worstShare) + " of the fill, " + worstShareWhere});

  // ---------------------------------------------------------- start-up
  Progress("starting an X server");
  XServer x;
  std::string xError;
  const fs::path childHome = work / "home-child";
  const Tree childScripts = MakeSmallFolder(work / "child-scripts");
  fs::create_directories(childHome);
  if (!x.Start(work / "xvfb.log", &xError)) {
    problems.push_back("no X server, so no start-up and idle figures: " + xError);
    goals.push_back({"start-up within 1.3x of a bare Qt window", false, "not measured"});
    goals.push_back({"peak memory within 1.3x of a bare Qt window", false, "not measured"});
    goals.push_back({"idle under 1% of one core", false, "not measured"});
  } else {
    Progress("start-up on Xvfb " + x.display());
    // The goals compare the palette with the bare window; the window with
    // the palette's widgets shows how much of the difference is Qt's.
    const std::vector<Program> programs = {
        {"bare Qt window", config.bareWindowBinary, {}},
        {"palette", config.paletteBinary, {}},
        {"Qt window with the palette's widgets", config.bareWindowBinary, {"--palette-widgets"}},
    };
    const std::vector<StartupFigures> startup =
        MeasureStartups(x, programs, childHome, childScripts.root, config.startupRuns);
    std::cout << "3. Start-up to the first window, and peak memory: each program started on an\n"
                 "   Xvfb of the benchmark's own; the time runs from the spawn to the X server's\n"
                 "   MapNotify for the program's first top-level window, seen by the benchmark\n"
                 "   on the root window. "
              << Fixed(kSettleSeconds, 1)
              << " s later the peak RSS is read (VmHWM, /proc/PID/status)\n"
                 "   and the program gets SIGTERM. The programs take turns, run after run. The\n"
                 "   palette asks the stand-in host for its version (one script process) before\n"
                 "   it shows. The last program is the bare window holding the palette's\n"
                 "   widgets (tree list, button with its Japanese caption, menus) and none of\n"
                 "   the palette's code.\n";
    std::cout << Pad("   program", 40, false) << Pad("start-up", 12) << Pad("×bare", 8)
              << Pad("peak RSS", 12) << Pad("×bare", 8) << "\n";
    for (std::size_t p = 0; p < programs.size(); ++p) {
      if (!startup[p].problem.empty()) problems.push_back(startup[p].problem);
      std::cout << Pad("   " + programs[p].name, 40, false) << Pad(Ms(startup[p].ms), 12)
                << Pad(Ratio(startup[p].ms / startup[0].ms), 8)
                << Pad(Fixed(startup[p].rssMb, 1) + " MiB", 12)
                << Pad(Ratio(startup[p].rssMb / startup[0].rssMb), 8) << "\n";
    }
    std::cout << "\n";
    const bool measured = startup[0].problem.empty() && startup[1].problem.empty();
    const double time = startup[1].ms / startup[0].ms, memory = startup[1].rssMb / startup[0].rssMb;
    goals.push_back({"start-up within 1.3x of a bare Qt window", measured && time <= 1.3,
                     measured ? Ratio(time) : "not measured"});
    goals.push_back({"peak memory within 1.3x of a bare Qt window", measured && memory <= 1.3,
                     measured ? Ratio(memory) : "not measured"});

    // -------------------------------------------------------- idling
    Progress("idling for " + std::to_string(config.idleSeconds) + " s");
    const IdleFigures idle =
        MeasureIdle(x, config.paletteBinary, childHome, childScripts.root, config.idleSeconds);
    if (!idle.problem.empty()) problems.push_back(idle.problem);
    const double total = idle.ownPercent + idle.childrenPercent;
    std::cout << "4. Idling: the palette on the Xvfb with its one-second tick and the stand-in\n"
                 "   host (each tick runs scripts/169), measured over "
              << Fixed(idle.seconds, 1)
              << " s once start-up has\n"
                 "   settled, from /proc/PID/stat. The tick scripts count too: the palette waits\n"
                 "   for each, so their CPU time is in its cutime + cstime. Not counted: the X\n"
                 "   server's own work for the palette.\n";
    std::cout << Pad("   palette process (utime + stime)", 52, false)
              << Pad(Fixed(idle.ownPercent, 3) + " % of one core", 20) << "\n"
              << Pad("   tick scripts it waited for (cutime + cstime)", 52, false)
              << Pad(Fixed(idle.childrenPercent, 3) + " % of one core", 20) << "\n"
              << Pad("   together", 52, false) << Pad(Fixed(total, 3) + " % of one core", 20)
              << "\n\n";
    goals.push_back({"idle under 1% of one core: the palette process",
                     idle.problem.empty() && idle.ownPercent < 1.0,
                     idle.problem.empty() ? Fixed(idle.ownPercent, 3) + " %" : "not measured"});
    goals.push_back({"idle under 1% of one core: the palette with the tick scripts it runs",
                     idle.problem.empty() && total < 1.0,
                     idle.problem.empty() ? Fixed(total, 3) + " %" : "not measured"});
  }

  std::cout << "Goals\n";
  for (const Goal& g : goals) {
    std::cout << "  " << (g.met ? "[met]    " : "[MISSED] ") << g.text << ": " << g.figure << "\n";
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
      std::cerr << "usage: " << argv[0]
                << " [--quick]\n  --quick: folders of 1,000 and 10,000 entries, 10 s of idling\n";
      return arg == "--help" || arg == "-h" ? 0 : 2;
    }
  }
  if (config.quick) {
    config.fillSizes = {1000, 10000};
    config.idleSeconds = 10;
    config.runs = 5;
    config.startupRuns = 7;
  }
  config.paletteBinary = TESSALINE_BENCH_PALETTE;
  config.bareWindowBinary = TESSALINE_BENCH_BARE_WINDOW;

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
