#include "fuzz/fuzz_palette.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "palette/app.h"
#include "platform/runtime.h"
#include "platform/resourcesfolder.h"
#include "platform/testing/boot_volume.h"

namespace fuzzpalette {

namespace fs = std::filesystem;

void Fail(const std::string& what) {
  std::fprintf(stderr, "fuzz invariant broken: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

namespace {

void RemoveRunFolder();

std::string MakeRunFolder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp == '/' ? tmp : "/tmp") + "/tessaline-fuzz-XXXXXX";
  if (!::mkdtemp(pattern.data())) Fail("mkdtemp failed");
  const fs::path root = pattern;
  fs::create_directories(root / "home" / "config");
  fs::create_directories(root / "bin");
  fs::create_directories(root / "resources");
  // The host's default scripts folder for version 14, under the stand-in
  // root, so that the table's folder lists something too.
  const fs::path cs4 =
      root / "volume" / "Applications" / "Adobe Illustrator CS4" / "Presets.localized" / "Scripts.localized";
  fs::create_directories(cs4 / "Tools");
  WriteFile((cs4 / "table.jsx").string(), "//\n");
  WriteFile((cs4 / "Tools" / "t.scpt").string(), "//\n");

  // Nothing of the run reaches the real home, and nothing is found on the
  // PATH: a double-clicked ".app" must not open anything on this machine.
  setenv("HOME", (root / "home").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (root / "home" / "config").c_str(), 1);
  setenv("PATH", (root / "bin").c_str(), 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  platform::SetResourcesFolder((root / "resources").string());
  platform::SetBootVolumeForTesting((root / "volume").string());
  std::atexit(RemoveRunFolder);
  return root.string();
}

void RemoveRunFolder() {
  std::error_code ec;
  fs::remove_all(RunFolder(), ec);
}

}  // namespace

const std::string& RunFolder() {
  // Never destroyed: the exit handler that removes the folder runs after
  // the destructors of statics made before it was registered.
  static const std::string& root = *new std::string(MakeRunFolder());
  return root;
}

std::string ConfigFolder() { return RunFolder() + "/home/config"; }
std::string PrefsFile() { return ConfigFolder() + "/velquor.pref"; }

void WriteFile(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) Fail("cannot write " + path);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// ---------------------------------------------------------------------------

Palette::Palette(testsupport::FakeHost&) {
  platform::RuntimeInit(display_);
  palette::Initialize();
  palette::NewAppInstance();
  palette::MakeDefaultView();
  window_ = palette::implicit::Window1();
  Check(window_ && window_->IsOpen(), "the palette window did not open");
}

Palette::~Palette() {
  if (!closed_) Close();
  window_.reset();
  palette::Finalize();
  platform::RuntimeShutdown();
}

platform::Listbox& Palette::list() { return *window_->LB1(); }

bool Palette::Close() {
  closed_ = true;
  window_->UserClose();
  return platform::Quitting() && !window_->IsOpen();
}

std::vector<std::pair<std::string, std::string>> Palette::Rows() {
  std::vector<std::pair<std::string, std::string>> rows;
  platform::Listbox& l = list();
  for (int32_t r = 0; r < l.ListCount(); ++r) rows.emplace_back(l.Cell(r, 0).str(), l.Cell(r, 1).str());
  return rows;
}

bool Palette::Clean() const {
  for (const std::string& line : display_.Log()) {
    if (line.rfind("unhandled:", 0) == 0) return false;
  }
  return true;
}

}  // namespace fuzzpalette
