// Start-up, peak memory and idling, each timed from outside the program:
// from its spawn to its first window mapped on the X server (or to its
// end), its peak resident set, its CPU time.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>

#include "bench/bench.h"

namespace bench {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// One timed run of a program; NaN on failure.
std::pair<double, double> RunOnce(XServer& x, const Program& p, const fs::path& home,
                                  const std::vector<std::string>& env, const fs::path& log) {
  if (!p.window) {
    const Spawned s = Spawn(p.path, p.args, env);
    int status = 0;
    waitpid(s.pid, &status, 0);
    const double ms = MsSince(s.started);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return {kNaN, kNaN};
    return {ms, kNaN};
  }
  // Every run starts from the same preferences (the palette writes its
  // own back when it closes).
  WritePaletteHome(home, p.scripts);
  x.Arm();
  const Spawned s = Spawn(p.path, p.args, env, log.string());
  const auto mapped = x.WaitMapped(s.pid, 20000);
  double peak = 0;
  if (mapped) {
    Sleep(kSettleSeconds);
    peak = PeakRssMb(s.pid);
  }
  kill(s.pid, SIGTERM);
  WaitFor(s.pid);
  if (!mapped || peak <= 0) return {kNaN, kNaN};
  return {MsBetween(s.started, mapped->when), peak};
}

}  // namespace

std::map<std::string, Series> MeasureStartups(XServer& x, const std::vector<Program>& programs,
                                              const std::vector<Tree>& floors,
                                              const fs::path& home, int rounds) {
  std::map<std::string, Series> series;
  const fs::path log = home / "startup.log";
  std::vector<std::vector<std::string>> envs;
  for (const Program& p : programs) envs.push_back(ChildEnvironment(x.display(), home, p.env));
  const std::size_t steps = programs.size() + floors.size();
  for (int round = 0; round <= rounds; ++round) {
    for (std::size_t k = 0; k < steps; ++k) {
      const std::size_t step = (k + static_cast<std::size_t>(round)) % steps;
      if (step >= programs.size()) {
        const Tree& t = floors[step - programs.size()];
        const double ms = ReadAndSortFloor(t.root);
        if (round > 0) series["floor " + std::to_string(t.entries)].ms.push_back(ms);
        continue;
      }
      const Program& p = programs[step];
      Series& s = series[p.name];
      const auto [ms, rss] = RunOnce(x, p, home, envs[step], log);
      if (std::isnan(ms) && s.problem.empty()) {
        s.problem = p.name + (p.window ? " showed no window" : " failed") + " (see " +
                    log.string() + ")";
      }
      if (round == 0) continue;
      s.ms.push_back(ms);
      s.rssMb.push_back(rss);
    }
  }
  return series;
}

namespace {

struct CpuTicks {
  long long own = 0, children = 0;
};

// utime + stime, and cutime + cstime (the children it has waited for).
std::optional<CpuTicks> ReadCpu(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto close = text.rfind(')');
  if (close == std::string::npos) return std::nullopt;
  std::istringstream fields(text.substr(close + 2));
  std::vector<std::string> f;
  for (std::string w; fields >> w;) f.push_back(w);
  // Field 3 (the state) comes first here; utime is field 14.
  if (f.size() < 15) return std::nullopt;
  CpuTicks t;
  t.own = std::stoll(f[11]) + std::stoll(f[12]);
  t.children = std::stoll(f[13]) + std::stoll(f[14]);
  return t;
}

}  // namespace

IdleFigures MeasureIdle(XServer& x, const std::string& palette, const fs::path& home,
                        const fs::path& scripts, int seconds) {
  IdleFigures figures;
  WritePaletteHome(home, scripts);
  const fs::path log = home / "idle.log";
  x.Arm();
  const Spawned s = Spawn(palette, {}, ChildEnvironment(x.display(), home), log.string());
  if (!x.WaitMapped(s.pid, 20000)) {
    kill(s.pid, SIGTERM);
    WaitFor(s.pid);
    figures.problem = "the palette showed no window (see " + log.string() + ")";
    return figures;
  }
  // Start-up is over once the window is up and the first ticks have run.
  Sleep(2.0);
  const auto before = ReadCpu(s.pid);
  const auto start = Clock::now();
  Sleep(seconds);
  const auto after = ReadCpu(s.pid);
  figures.seconds = MsSince(start) / 1000.0;
  const bool alive = !HasEnded(s.pid);
  kill(s.pid, SIGTERM);
  WaitFor(s.pid);
  if (!before || !after || !alive) {
    figures.problem = "the palette ended while idle (see " + log.string() + ")";
    return figures;
  }
  const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
  figures.ownPercent =
      100.0 * static_cast<double>(after->own - before->own) / tick / figures.seconds;
  figures.childrenPercent =
      100.0 * static_cast<double>(after->children - before->children) / tick / figures.seconds;
  return figures;
}

}  // namespace bench
