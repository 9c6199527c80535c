#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "bench/bench.h"

namespace bench {

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
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
  constexpr int kPerFolder = 10;
  const int top = entries / 2;
  const int folders = top / 10;
  int made = 0;
  for (int i = 0; i < top; ++i) {
    // Folders and files share one numbering, so that the folders stand
    // spread through the sorted listing, not bunched at one end.
    if (i % 10 == 5 && i / 10 < folders) {
      const fs::path folder = root / Numbered("Script", i, 6, nullptr);
      fs::create_directory(folder);
      for (int j = 0; j < kPerFolder; ++j) {
        Touch(folder / Numbered("Tool", j, 2, kExtensions[j % 4]));
      }
      made += 1 + kPerFolder;
    } else {
      Touch(root / Numbered("Script", i, 6, kExtensions[i % 4]));
      made += 1;
    }
  }
  return Tree{root, made, top};
}

Tree MakeOneFolder(const fs::path& root, int children) {
  const fs::path folder = root / "Big Folder";
  fs::create_directories(folder);
  for (int j = 0; j < children; ++j) Touch(folder / Numbered("Item", j, 6, kExtensions[j % 4]));
  return Tree{root, 1 + children, 1};
}

Tree MakeSmallFolder(const fs::path& root) {
  fs::create_directories(root / "Layers");
  const char* files[] = {"Align Centers.scpt", "Count Paths.js", "Rename Artboards.jsx",
                         "Open Scripts Folder.app", "Layers/Hide Empty Layers.jsx",
                         "Layers/Merge Layers.scpt"};
  for (const char* f : files) Touch(root / f);
  return Tree{root, 7, 5};
}

}  // namespace bench
