// The benchmark's shared pieces: timing, the synthetic scripts folders, the
// child processes it starts, and the table it prints.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace bench {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

inline double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}
double Median(std::vector<double> values);

// Paths the build hands the benchmark, and how long it runs.
struct Config {
  bool quick = false;
  std::string paletteBinary;
  std::string bareWindowBinary;
  fs::path work;  // a temporary folder of its own, removed at the end
  // Timed runs per series, each series after one untimed run: at least
  // `runs` (quick steps in the benchmark's own process run more often).
  int runs = 11;
  int startupRuns = 15;  // start-up varies most from run to run
  int idleSeconds = 60;
  std::vector<int> fillSizes{1000, 10000, 100000};
};

// A folder of `entries` items within two levels: half of them top-level
// items, of which one in ten is a sub-folder holding ten files.
struct Tree {
  fs::path root;
  int entries = 0;
  int topLevel = 0;  // the rows a fill adds
};
Tree MakeTree(const fs::path& root, int entries);
// A scripts folder holding one sub-folder with `children` files.
Tree MakeOneFolder(const fs::path& root, int children);
// A handful of scripts, as a user's folder might hold.
Tree MakeSmallFolder(const fs::path& root);

// --- in the benchmark's own process (in_process.cpp)

struct FillFigures {
  double ms = 0;  // median of the timed fills
  int rows = 0;   // rows the list held after a fill
};
struct ExpandFigures {
  double fillMs = 0;  // filling the list from that folder
  double expandMs = 0;
  double collapseMs = 0;
  int childRows = 0;  // rows the expansion added
};
struct InProcessResults {
  std::map<int, FillFigures> fill;      // by entries
  std::map<int, ExpandFigures> expand;  // by children
  std::string problem;                  // empty when every figure was taken
};
// One palette, started as the program starts it, on the display of that
// kind: "scripted" or "qt" (offscreen).
InProcessResults MeasureInProcess(const Config& config, const std::string& kind,
                                  const std::vector<Tree>& fillTrees,
                                  const std::vector<Tree>& expandTrees,
                                  const fs::path& startFolder);

// --- child processes (children.cpp)

struct Spawned {
  pid_t pid = -1;
  Clock::time_point started;
};
// Starts `program` with `args`, never through a shell. `env` replaces the
// environment when given; standard output and error go to `output` (a
// file, "/dev/null" by default).
Spawned Spawn(const std::string& program, const std::vector<std::string>& args,
              const std::optional<std::vector<std::string>>& env = std::nullopt,
              const std::string& output = "/dev/null");
// Reaps the child; one that has not ended 10 s later is killed. Answers
// its wait status.
int WaitFor(pid_t pid);

// Median wall time of `find DIR -maxdepth 2`, output to /dev/null.
double MeasureFind(const fs::path& dir, int runs);

// An X server of the benchmark's own, on a free display number, and a
// watch on it for top-level windows being mapped.
class XServer {
 public:
  XServer() = default;
  ~XServer();
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;

  bool Start(const fs::path& log, std::string* error);
  const std::string& display() const { return display_; }
  // Forgets every window mapped so far; the next WaitMapped sees only
  // later ones.
  void Arm();
  // Waits until a top-level (not override-redirect) window is mapped, or
  // `pid` ends, or the time is up; the moment the map was seen.
  std::optional<Clock::time_point> WaitMapped(pid_t pid, int timeoutMs);

 private:
  pid_t pid_ = -1;
  std::string display_;
  void* connection_ = nullptr;
  uint32_t root_ = 0;
};

// Environment of a palette or bare window on that X server: a home and
// preferences folder of its own, the X display, and nothing that would
// send Qt elsewhere.
std::vector<std::string> ChildEnvironment(const std::string& display, const fs::path& home);
// The palette's preferences: 150 x 200 content, and `scripts` as its folder.
void WritePaletteHome(const fs::path& home, const fs::path& scripts);

// A program whose start-up is measured.
struct Program {
  std::string name;
  std::string path;
  std::vector<std::string> args;
};
// A window is mapped, then given this long to paint its first frame and
// settle before the program is ended, so that every program's peak memory
// includes a drawn window.
constexpr double kSettleSeconds = 0.3;
struct StartupFigures {
  double ms = 0;     // spawn to its first window mapped, median
  double rssMb = 0;  // peak resident set (VmHWM) before it is ended, median
  std::string problem;
};
// The programs take turns, run after run, so that drift on the machine
// falls on all of them alike.
std::vector<StartupFigures> MeasureStartups(XServer& x, const std::vector<Program>& programs,
                                            const fs::path& home, const fs::path& scripts,
                                            int runs);

struct IdleFigures {
  double seconds = 0;
  double ownPercent = 0;       // the palette's own utime + stime
  double childrenPercent = 0;  // the tick scripts it waited for
  std::string problem;
};
IdleFigures MeasureIdle(XServer& x, const std::string& palette, const fs::path& home,
                        const fs::path& scripts, int seconds);

}  // namespace bench
