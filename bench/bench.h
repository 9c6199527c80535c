// The benchmark's shared pieces: timing and spreads, the scripts folders
// it makes, the processes it starts and the X server it watches them on.
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

inline double MsBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}
inline double MsSince(Clock::time_point start) { return MsBetween(start, Clock::now()); }

// A series' median and its spread: the quartiles, and the extremes.
struct Spread {
  double median = 0, low = 0, high = 0, min = 0, max = 0;
  int n = 0;
};
Spread SpreadOf(std::vector<double> values);

// How long and how often each part runs.
struct Config {
  bool quick = false;
  std::string paletteBinary;
  std::string windowBinary;  // the bare window and the plain palette-like one
  fs::path work;             // a temporary folder of its own, removed at the end
  int startupRounds = 21;    // each round starts every program once
  int expandTrials = 15;     // double-clicks to open, and as many to close, per folder
  int fillRounds = 21;       // in-process fills of each folder
  int idleSeconds = 60;
};

// --- the scripts folders (trees.cpp)

struct Tree {
  fs::path root;
  int entries = 0;   // items within two levels, as find -mindepth 1 -maxdepth 2 counts them
  int topLevel = 0;  // the rows a fill adds
  std::string firstRow;  // the text of the list's first row
};
// `entries` items: half of them top-level files, one in a hundred a
// top-level folder of 49 files (100,000: 50,000 files and 1,000 folders of
// 49), folders spread through the sorted names. 1 is a folder of one file.
Tree MakeTree(const fs::path& root, int entries);
// A scripts folder holding one sub-folder of `children` files.
Tree MakeOneFolder(const fs::path& root, int children);
// The floor of a fill: one readdir pass over the folder and each of its
// sub-folders, and a sort of each folder's names; milliseconds.
double ReadAndSortFloor(const fs::path& root, int* names = nullptr);

// --- processes and the X server (children.cpp)

struct Spawned {
  pid_t pid = -1;
  Clock::time_point started;
};
// Starts `program` with `args`, never through a shell; `env` replaces the
// environment when given; output goes to `output`.
Spawned Spawn(const std::string& program, const std::vector<std::string>& args,
              const std::optional<std::vector<std::string>>& env = std::nullopt,
              const std::string& output = "/dev/null");
// Reaps the child; one that has not ended 10 s later is killed.
int WaitFor(pid_t pid);
bool HasEnded(pid_t pid);
// The process's peak resident set since it started its program (VmHWM).
double PeakRssMb(pid_t pid);
void Sleep(double seconds);

// An X server of the benchmark's own (Xvfb, on a display number it picks
// itself), watched for top-level windows being mapped, for the damage
// done to a window's pixels, and driven by synthetic input (XTest).
class XServer {
 public:
  XServer() = default;
  ~XServer();
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;

  bool Start(const fs::path& log, std::string* error);
  const std::string& display() const { return display_; }
  // Forgets every event so far: the next WaitMapped sees only later ones.
  void Arm();
  struct Mapped {
    Clock::time_point when;
    uint32_t window = 0;
  };
  // Waits until a top-level window is mapped, or `pid` ends, or the time
  // is up.
  std::optional<Mapped> WaitMapped(pid_t pid, int timeoutMs);

  struct Geometry {
    int x = 0, y = 0, width = 0, height = 0;  // on the root window
  };
  std::optional<Geometry> GeometryOf(uint32_t window);
  // Reports every change to the window's pixels from now on.
  bool WatchDamage(uint32_t window);
  void UnwatchDamage();
  // Waits until no damage has come for `quietMs`, at most `limitMs`: the
  // moment of the last damage seen, if any came.
  std::optional<Clock::time_point> LastDamage(int quietMs, int limitMs);
  void MovePointer(int x, int y);
  // Presses or releases the first button; the moment the request left.
  Clock::time_point Button(bool press);
  // The window's pixels, to tell two states of it apart.
  std::string Pixels(uint32_t window);

 private:
  void Flush();
  pid_t pid_ = -1;
  std::string display_;
  void* connection_ = nullptr;
  uint32_t root_ = 0;
  uint32_t damage_ = 0;
  uint8_t damageEvent_ = 0;
};

// Environment of a program on that X server: a home and preferences
// folder of its own, the X display, and nothing that would send Qt
// elsewhere; `extra` entries are added.
std::vector<std::string> ChildEnvironment(const std::string& display, const fs::path& home,
                                          const std::vector<std::string>& extra = {});
// The palette's preferences: its content area at (left, top), 150 x 200,
// and `scripts` as its folder.
void WritePaletteHome(const fs::path& home, const fs::path& scripts, int left = 100,
                      int top = 100);

// --- the measurements

// A program whose start-up is timed from its spawn: to its first window
// mapped, or to its end (find).
struct Program {
  std::string name;
  std::string path;
  std::vector<std::string> args;
  fs::path scripts;                  // the palette's folder, for its preferences
  std::vector<std::string> env;      // added to its environment
  bool window = true;                // false: it runs to its end
};
// A window is mapped, then given this long to paint and settle before the
// program is ended, so that every peak memory includes a drawn window.
constexpr double kSettleSeconds = 0.3;
struct Series {
  std::vector<double> ms;     // one per round; NaN where the run failed
  std::vector<double> rssMb;  // windows only
  std::string problem;
};
// Round by round, every program once, in an order that turns by one each
// round so that none always runs first; `floors` are timed in the
// benchmark's own process in the same rounds. Round 0 is not kept.
std::map<std::string, Series> MeasureStartups(XServer& x, const std::vector<Program>& programs,
                                              const std::vector<Tree>& floors,
                                              const fs::path& home, int rounds);

struct ExpandFigures {
  std::vector<double> expandMs, collapseMs;  // double-click to the last repaint
  std::string problem;
};
// Palettes on a folder holding one sub-folder of each size, side by side on
// the X server: the user double-clicks the folder row to open it and again
// to close it, trial by trial, the sizes taking turns.
std::map<int, ExpandFigures> MeasureExpansions(XServer& x, const std::string& palette,
                                               const std::vector<Tree>& folders,
                                               const fs::path& work, int trials);

struct IdleFigures {
  double seconds = 0;
  double ownPercent = 0;       // the palette's own utime + stime
  double childrenPercent = 0;  // the tick scripts it waited for
  std::string problem;
};
IdleFigures MeasureIdle(XServer& x, const std::string& palette, const fs::path& home,
                        const fs::path& scripts, int seconds);

// Fills of the list on Qt's offscreen display, in the benchmark's own
// process, from setLB1 to the view's layout and repaint done; one series
// per tree, the trees taking turns.
struct FillFigures {
  std::map<int, std::vector<double>> ms;  // by entries
  std::string problem;
};
FillFigures MeasureFills(const std::vector<Tree>& trees, const fs::path& startFolder,
                         int rounds);

}  // namespace bench
