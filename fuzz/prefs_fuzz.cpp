// The preferences file: any bytes as "velquor.pref", read by the palette's
// opening and written back by its closing.
//
// Whatever the file holds, the palette opens without an unhandled exception
// and its closing writes exactly five lines (the bounds it has, then its
// folder) and quits; a second palette reads that file back to the same
// bounds and folder, and writes it again byte for byte.
//
// "@F" in the input stands for a scripts folder of the run, so that the
// fifth line can name a real folder. A fifth line that would lead out of the
// run folder is replaced by that folder: the palette lists what the line
// names, and the fuzzer must not walk the machine's own folders.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "fuzz/fuzz_palette.h"
#include "platform/folderitem.h"
#include "platform/text.h"

namespace {

using fuzzpalette::Check;

const std::string& ScriptsFolder() {
  static const std::string folder = [] {
    const std::string f = fuzzpalette::RunFolder() + "/scripts";
    std::filesystem::create_directories(f + "/Tools");
    fuzzpalette::WriteFile(f + "/a.jsx", "//\n");
    fuzzpalette::WriteFile(f + "/Tools/b.scpt", "//\n");
    return f;
  }();
  return folder;
}

bool InsideRun(const std::string& path) {
  const std::string& root = fuzzpalette::RunFolder();
  return path == root || path.rfind(root + "/", 0) == 0;
}

// Where the fifth line stands, splitting at "\n", "\r\n" and "\r" as the
// reader does; npos when the file has fewer lines.
std::pair<std::size_t, std::size_t> FifthLine(std::string_view text) {
  std::size_t begin = 0;
  for (int line = 1; line <= 5; ++line) {
    if (begin >= text.size()) return {std::string::npos, 0};
    std::size_t end = text.find_first_of("\r\n", begin);
    if (end == std::string_view::npos) end = text.size();
    if (line == 5) return {begin, end - begin};
    begin = end + 1;
    if (end < text.size() && text[end] == '\r' && begin < text.size() && text[begin] == '\n') ++begin;
  }
  return {std::string::npos, 0};
}

std::string PrepareFile(std::string content) {
  for (auto at = content.find("@F"); at != std::string::npos; at = content.find("@F", at)) {
    content.replace(at, 2, ScriptsFolder());
    at += ScriptsFolder().size();
  }
  const auto [begin, length] = FifthLine(content);
  if (begin != std::string::npos) {
    const std::string line = content.substr(begin, length);
    const auto item = platform::GetFolderItem(line, 0);
    if (item && !InsideRun(item->AbsolutePath().str())) content.replace(begin, length, ScriptsFolder());
  }
  return content;
}

struct Outcome {
  platform::Rect bounds;
  std::string folder;
  std::string written;
};

Outcome OpenAndClose(testsupport::FakeHost& host) {
  Outcome outcome;
  fuzzpalette::Palette palette(host);
  Check(palette.Clean(), "opening raised an unhandled exception");
  palette::Window1& w = palette.window();
  outcome.bounds = w.Bounds();
  outcome.folder = w.gMyScriptFolder ? w.gMyScriptFolder->AbsolutePath().str() : std::string();
  Check(outcome.folder.empty() || InsideRun(outcome.folder), "the palette left the run folder: " + outcome.folder);
  Check(palette.Close(), "closing the palette did not quit");
  Check(palette.Clean(), "closing raised an unhandled exception");
  outcome.written = fuzzpalette::ReadFile(fuzzpalette::PrefsFile());
  return outcome;
}

std::string FiveLines(const Outcome& o) {
  std::string s;
  for (int32_t v : {o.bounds.left, o.bounds.top, o.bounds.width, o.bounds.height}) {
    s += platform::Str(v).str() + "\n";
  }
  return s + o.folder + "\n";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size > (1u << 20)) return -1;  // longer lines are the reader's tests' business
  fuzzpalette::WriteFile(fuzzpalette::PrefsFile(),
                         PrepareFile(std::string(reinterpret_cast<const char*>(data), size)));
  testsupport::FakeHost host;

  const Outcome first = OpenAndClose(host);
  Check(first.written == FiveLines(first), "the written file is not the palette's five lines");

  const Outcome second = OpenAndClose(host);
  Check(second.bounds == first.bounds, "saved bounds did not come back");
  Check(second.folder == first.folder, "saved folder did not come back: " + first.folder);
  Check(second.written == first.written, "a second close wrote another file");
  return 0;
}
