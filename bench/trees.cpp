// The scripts folders the benchmark fills from, the floor of a fill, and
// the spreads it reports.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "bench/bench.h"

namespace bench {

Spread SpreadOf(std::vector<double> values) {
  std::erase_if(values, [](double v) { return std::isnan(v); });
  Spread s;
  s.n = static_cast<int>(values.size());
  if (values.empty()) return s;
  std::sort(values.begin(), values.end());
  auto at = [&](double q) {
    const double i = q * static_cast<double>(values.size() - 1);
    const auto lo = static_cast<std::size_t>(i);
    const std::size_t hi = std::min(lo + 1, values.size() - 1);
    return values[lo] + (values[hi] - values[lo]) * (i - static_cast<double>(lo));
  };
  s.median = at(0.5);
  s.low = at(0.25);
  s.high = at(0.75);
  s.min = values.front();
  s.max = values.back();
  return s;
}

namespace {

constexpr const char* kExtensions[] = {"jsx", "scpt", "js", "app"};

void Touch(const fs::path& file) {
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) throw std::runtime_error("cannot create " + file.string());
  ::close(fd);
}

std::string Numbered(const char* stem, int n, int width, const char* extension) {
  char name[96];
  std::snprintf(name, sizeof name, "%s %0*d%s%s", stem, width, n, extension ? "." : "",
                extension ? extension : "");
  return name;
}

}  // namespace

Tree MakeTree(const fs::path& root, int entries) {
  fs::create_directories(root);
  constexpr int kPerFolder = 49;
  // files + folders * (1 + kPerFolder) = entries, with files = entries / 2.
  const int folders = entries >= 100 ? entries / 100 : 0;
  const int files = entries - folders * (1 + kPerFolder);
  const int top = files + folders;
  const int every = folders > 0 ? top / folders : 0;
  Tree tree{root, entries, top, {}};
  int made = 0;
  for (int i = 0; i < top; ++i) {
    // Folders and files share one numbering, so that the folders stand
    // spread through the sorted listing.
    if (folders > 0 && i % every == every / 2 && made < folders) {
      const fs::path folder = root / Numbered("Script", i, 6, nullptr);
      fs::create_directory(folder);
      for (int j = 0; j < kPerFolder; ++j) {
        Touch(folder / Numbered("Tool", j, 2, kExtensions[j % 4]));
      }
      ++made;
      if (i == 0) tree.firstRow = folder.filename().string();
    } else {
      const std::string name = Numbered("Script", i, 6, kExtensions[i % 4]);
      Touch(root / name);
      if (i == 0) tree.firstRow = name;
    }
  }
  return tree;
}

Tree MakeOneFolder(const fs::path& root, int children) {
  const fs::path folder = root / "Big Folder";
  fs::create_directories(folder);
  for (int j = 0; j < children; ++j) Touch(folder / Numbered("Item", j, 6, kExtensions[j % 4]));
  return Tree{root, 1 + children, 1, "Big Folder"};
}

namespace {

// The names of one folder, sorted; its sub-folders' names go to `folders`.
std::vector<std::string> ReadSorted(const fs::path& dir, std::vector<std::string>* folders) {
  std::vector<std::string> names;
  DIR* d = ::opendir(dir.c_str());
  if (!d) return names;
  while (const dirent* e = ::readdir(d)) {
    const std::string_view name(e->d_name);
    if (name == "." || name == "..") continue;
    names.emplace_back(name);
    if (folders && e->d_type == DT_DIR) folders->emplace_back(name);
  }
  ::closedir(d);
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

double ReadAndSortFloor(const fs::path& root, int* count) {
  const auto start = Clock::now();
  std::vector<std::string> folders;
  std::size_t names = ReadSorted(root, &folders).size();
  for (const std::string& folder : folders) names += ReadSorted(root / folder, nullptr).size();
  const double ms = MsSince(start);
  if (count) *count = static_cast<int>(names);
  return ms;
}

}  // namespace bench
