#include "tests/support/palette_fixture.h"

#include <stdlib.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "palette/configuration.h"
#include "platform/runtime.h"
#include "platform/testing/boot_volume.h"
#include "tests/support/keeper_path.h"

namespace testsupport {

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "tessaline-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  // Tests may leave read-only folders behind; make them writable to remove.
  for (auto it = fs::recursive_directory_iterator(path_, ec);
       it != fs::recursive_directory_iterator(); it.increment(ec)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(path_, ec);
}

ScopedEnv::ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
  if (const char* old = getenv(name)) old_ = old;
  if (value) setenv(name, value->c_str(), 1);
  else unsetenv(name);
}

ScopedEnv::~ScopedEnv() {
  if (old_) setenv(name_.c_str(), old_->c_str(), 1);
  else unsetenv(name_.c_str());
}

namespace {

// As the program configures itself, but for the keeper, which stands
// beside the palette and not beside a test program.
void ConfigureAsTheProgram() {
  palette::Configure();
  UseBuiltKeeper();
}

}  // namespace

PaletteTest::PaletteTest()
    : homeEnv_("HOME", home_.path().string()),
      configEnv_("XDG_CONFIG_HOME", (home_.path() / "config").string()) {
  fs::create_directories(ConfigDir());
  fs::create_directories(BootVolume());
  platform::SetBootVolumeForTesting(BootVolume().string());
  // As the program starts, for a test that runs the whole of it.
  ConfigureAsTheProgram();
  host.onCall = [this](const std::string& call) { display.Record("host: " + call); };
}

PaletteTest::~PaletteTest() {
  platform::SetBootVolumeForTesting("");
  if (started_) {
    palette::Finalize();
    platform::RuntimeShutdown();
  }
  // The variables a test set are gone by now: the next test starts from
  // the environment as this one found it.
  ConfigureAsTheProgram();
}

void PaletteTest::Start() {
  // As the program starts: the environment, the test's own included, read.
  ConfigureAsTheProgram();
  platform::RuntimeInit(display);
  started_ = true;
  palette::Initialize();
  palette::NewAppInstance();
  palette::MakeDefaultView();
  window = palette::implicit::Window1();
}

void PaletteTest::CloseWindow() { window->UserClose(); }

int PaletteTest::Calls(const std::string& call) const {
  return static_cast<int>(std::count(host.calls.begin(), host.calls.end(), call));
}

int PaletteTest::LogCount(const std::string& prefix) const {
  const auto& log = display.Log();
  return static_cast<int>(std::count_if(log.begin(), log.end(), [&](const std::string& line) {
    return line.rfind(prefix, 0) == 0;
  }));
}

fs::path PaletteTest::MakeFolder(const std::string& name, const std::vector<std::string>& entries) {
  const fs::path root = home_.path() / name;
  fs::create_directories(root);
  for (const std::string& e : entries) {
    const fs::path p = root / e;
    if (!e.empty() && e.back() == '/') {
      fs::create_directories(p);
    } else {
      fs::create_directories(p.parent_path());
      std::ofstream(p) << "// " << e << "\n";
    }
  }
  return root;
}

void PaletteTest::WritePrefs(const std::string& content) {
  std::ofstream(PrefsFile(), std::ios::binary) << content;
}

std::string PaletteTest::ReadPrefs() const {
  std::ifstream in(PrefsFile(), std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::pair<std::string, std::string>> PaletteTest::Rows() const {
  std::vector<std::pair<std::string, std::string>> rows;
  auto list = window->LB1();
  for (int32_t r = 0; r < list->ListCount(); ++r) {
    rows.emplace_back(list->Cell(r, 0).str(), list->Cell(r, 1).str());
  }
  return rows;
}

std::vector<std::string> PaletteTest::Shown() const {
  std::vector<std::string> shown;
  for (const auto& row : Rows()) shown.push_back(row.first);
  return shown;
}

void PaletteTest::DoubleClick(int32_t row) {
  auto list = window->LB1();
  list->SetListIndex(row);
  list->UserDoubleClick();
}

}  // namespace testsupport
