// The script listing and the tree: the input is a scripts folder and what
// the user then does in the list.
//
// Input, one record a line:
//   name            a file at the top of the scripts folder
//   name/           a folder (a trailing "/")
//   dir/name        a file inside a folder (at most three steps deep)
//   path\tcontent   a file with that content ("\n" written as a backslash
//                   and an n), e.g. ".hidden\tsecret.jsx"
//   path -> target  a symbolic link to a name beside it, or to "."
//   --              the end of the folder; what follows are actions:
//   x N | c N       expand | collapse row N (taken modulo the row count)
//   d N             double-click row N
//   s N text        put `text` in column 1 of row N when it is a collapsed
//                   folder row: a child list that no file name can make
//                   ("/" and any byte in it)
//   r               fill the list again from the same folder
// Names are taken byte for byte, separators and invalid UTF-8 included.
//
// The whole input is also cut into fields at each of the listing's
// separators, checking the field walkers against one another.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_palette.h"
#include "palette/script_tree.h"
#include "platform/text.h"

namespace {

namespace fs = std::filesystem;
using fuzzpalette::Check;
using Rows = std::vector<std::pair<std::string, std::string>>;

constexpr std::size_t kMaxRecords = 64;
constexpr std::size_t kMaxActions = 256;
constexpr const char* kNotFound = "が見つかりません";
constexpr const char* kListingFailed = "スクリプトファイルが読み込めませんでした。";

std::vector<std::string_view> Split(std::string_view text, char at) {
  std::vector<std::string_view> parts;
  std::size_t begin = 0;
  for (;;) {
    const std::size_t end = text.find(at, begin);
    parts.push_back(text.substr(begin, end == std::string_view::npos ? std::string_view::npos : end - begin));
    if (end == std::string_view::npos) return parts;
    begin = end + 1;
  }
}

// --- the field walkers --------------------------------------------------------

std::vector<std::string_view> ListedFields(std::string_view text, std::string_view separator) {
  std::vector<std::string_view> fields;
  palette::ForEachListedField(text, separator, [&](std::string_view f) { fields.push_back(f); });
  return fields;
}

void CheckFields(std::string_view text, std::string_view separator) {
  std::vector<std::string_view> fields;
  platform::ForEachField(text, separator, [&](std::string_view f) { fields.push_back(f); });
  const platform::String t{text};
  const platform::String sep{separator};
  Check(platform::CountFields(t, sep) == static_cast<int32_t>(fields.size()), "CountFields disagrees");
  std::string joined;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i) joined += separator;
    joined += fields[i];
  }
  Check(joined == text, "the fields do not make the text again");
  const std::size_t probes = std::min<std::size_t>(fields.size(), 32);
  for (std::size_t i = 0; i < probes; ++i) {
    Check(platform::NthField(t, sep, static_cast<int32_t>(i + 1)).view() == fields[i], "NthField disagrees");
  }
  Check(platform::NthField(t, sep, static_cast<int32_t>(fields.size()) + 1).IsEmpty(), "field past the last");
  Check(platform::NthField(t, sep, 0).IsEmpty(), "field 0");
  std::vector<std::string_view> listed;
  for (auto f : fields) {
    if (!f.empty()) listed.push_back(f);
  }
  Check(ListedFields(text, separator) == listed, "ForEachListedField disagrees");
  Check(palette::CountListedFields(text, separator) == static_cast<int32_t>(listed.size()),
        "CountListedFields disagrees");
}

// --- the folder -----------------------------------------------------------------

bool UsableName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('\0') == std::string_view::npos;
}

void MakeEntry(const fs::path& root, std::string_view record) {
  std::string_view path = record;
  std::string content = "//\n";
  std::string_view target;
  bool link = false;
  if (const auto tab = record.find('\t'); tab != std::string_view::npos) {
    path = record.substr(0, tab);
    content.clear();
    const std::string_view raw = record.substr(tab + 1);
    for (std::size_t i = 0; i < raw.size(); ++i) {
      if (raw[i] == '\\' && i + 1 < raw.size() && raw[i + 1] == 'n') {
        content += '\n';
        ++i;
      } else {
        content += raw[i];
      }
    }
  } else if (const auto arrow = record.find(" -> "); arrow != std::string_view::npos) {
    path = record.substr(0, arrow);
    target = record.substr(arrow + 4);
    link = true;
    // Only beside itself or to its own folder: a link must never lead the
    // palette (or a double-click) out of the folder the fuzzer made.
    if (target != "." && (!UsableName(target) || target.find('/') != std::string_view::npos)) return;
  }
  const bool folder = !path.empty() && path.back() == '/';
  if (folder) path.remove_suffix(1);
  const auto steps = Split(path, '/');
  if (steps.size() > 3) return;
  fs::path where = root;
  for (auto step : steps) {
    if (!UsableName(step)) return;
    where /= std::string(step);
  }
  std::error_code ec;
  fs::create_directories(where.parent_path(), ec);
  if (ec) return;
  if (link) {
    (void)::symlink(std::string(target).c_str(), where.c_str());
  } else if (folder) {
    fs::create_directory(where, ec);
  } else {
    // Never executable: a double-clicked ".app" must not start anything.
    // A name the file system refuses (too long) is simply not made.
    if (fs::exists(fs::symlink_status(where, ec))) return;
    const int fd = ::open(where.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return;
    const bool written = ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
    ::close(fd);
    Check(written, "cannot write " + where.string());
  }
}

// --- the tree -------------------------------------------------------------------

std::vector<std::string> ChildNames(const std::string& childList) {
  std::vector<std::string> names;
  for (auto f : ListedFields(childList, "<>")) names.emplace_back(f);
  return names;
}

class Session {
 public:
  Session(testsupport::FakeHost& host, std::string folder)
      : host_(host), folder_(std::move(folder)), palette_(host) {
    Check(palette_.Clean(), "the fill raised an unhandled exception");
    filled_ = palette_.Rows();
    const auto messages = palette_.display().Messages();
    if (filled_.empty()) {
      Check(messages == std::vector<std::string>{kListingFailed}, "an empty listing without its message");
    } else {
      Check(messages.empty(), "a listing with rows showed a message");
    }
    CheckFilled();
  }

  int32_t Count() { return palette_.list().ListCount(); }

  void Expand(int32_t row) {
    platform::Listbox& list = palette_.list();
    const Rows before = palette_.Rows();
    const bool opens = list.RowIsFolder(row) && !list.Expanded(row);
    list.UserSetExpanded(row, true);
    Check(palette_.Clean(), "expanding raised an unhandled exception");
    const Rows after = palette_.Rows();
    if (!opens) {
      Check(after == before, "expanding a row that is no collapsed folder changed the list");
      return;
    }
    const auto children = ChildNames(before[row].second);
    Check(after.size() == before.size() + children.size(), "expansion added the wrong number of rows");
    for (std::size_t i = 0; i < children.size(); ++i) {
      const auto& child = after[row + 1 + i];
      Check(child.first == children[i] && child.second == before[row].first, "a child row is wrong");
      Check(!list.RowIsFolder(row + 1 + static_cast<int32_t>(i)), "a child row can be expanded");
    }
    Check(std::equal(before.begin(), before.begin() + row + 1, after.begin()) &&
              std::equal(before.begin() + row + 1, before.end(), after.begin() + row + 1 + children.size()),
          "expansion moved other rows");
  }

  void Collapse(int32_t row) {
    platform::Listbox& list = palette_.list();
    const Rows before = palette_.Rows();
    const bool closes = list.RowIsFolder(row) && list.Expanded(row);
    list.UserSetExpanded(row, false);
    Check(palette_.Clean(), "collapsing raised an unhandled exception");
    const Rows after = palette_.Rows();
    if (!closes) {
      Check(after == before, "collapsing a row that is no expanded folder changed the list");
      return;
    }
    const std::size_t added = ChildNames(before[row].second).size();
    Check(after.size() + added == before.size(), "collapse removed the wrong number of rows");
    Check(std::equal(after.begin(), after.begin() + row + 1, before.begin()) &&
              std::equal(after.begin() + row + 1, after.end(), before.begin() + row + 1 + added),
          "collapse removed other rows than the expansion added");
  }

  void DoubleClick(int32_t row) {
    platform::Listbox& list = palette_.list();
    const Rows before = palette_.Rows();
    const bool folder = list.RowIsFolder(row);
    const std::size_t calls = host_.calls.size();
    const std::size_t messages = palette_.display().Messages().size();
    list.SetListIndex(row);
    list.UserDoubleClick();
    Check(palette_.Clean(), "a double-click raised an unhandled exception");
    if (!folder) Check(palette_.Rows() == before, "a double-click on a script changed the list");

    const auto shown = palette_.display().Messages();
    for (std::size_t i = messages; i < shown.size(); ++i) {
      Check(shown[i] == before[row].first + kNotFound, "unexpected message: " + shown[i]);
    }
    for (std::size_t i = calls; i < host_.calls.size(); ++i) {
      const std::string& call = host_.calls[i];
      if (call == "acctivemyapp" || call == "activate misc actv ART5") continue;
      Check(call.rfind("goas ", 0) == 0 || call.rfind("gojs ", 0) == 0, "unexpected host call: " + call);
      Check(!folder, "a folder row ran something: " + call);
      const std::string path = call.substr(5);
      // The file is the scripts folder's child, or its child's child: never
      // anything outside it, whatever the row's texts hold.
      Check(path.rfind(folder_ + "/", 0) == 0, "a run outside the scripts folder: " + path);
      const auto steps = Split(std::string_view(path).substr(folder_.size() + 1), '/');
      Check(steps.size() <= 2, "a run too deep: " + path);
      for (auto step : steps) Check(UsableName(step), "a run through a bad step: " + path);
      Check(steps.back() == before[row].first, "the run is not the clicked row's file: " + path);
    }
  }

  void SetChildList(int32_t row, const std::string& text) {
    platform::Listbox& list = palette_.list();
    if (list.RowIsFolder(row) && !list.Expanded(row)) list.SetCell(row, 1, text);
  }

  void Refill() {
    palette_.window().setLB1();
    Check(palette_.Clean(), "a second fill raised an unhandled exception");
    if (!filled_.empty()) Check(palette_.Rows() == filled_, "a second fill of the same folder differs");
    CheckFilled();
  }

  // Every folder row opens to its child list and closes back to the fill.
  void Sweep() {
    for (int32_t row = 0; row < Count(); ++row) {
      if (palette_.list().RowIsFolder(row) && !palette_.list().Expanded(row)) {
        const Rows before = palette_.Rows();
        Expand(row);
        Collapse(row);
        Check(palette_.Rows() == before, "expand and collapse did not restore the list");
      }
    }
    for (int32_t row = 0; row < Count() && row < 64; ++row) {
      if (!palette_.list().RowIsFolder(row)) DoubleClick(row);
    }
  }

 private:
  void CheckFilled() {
    platform::Listbox& list = palette_.list();
    for (int32_t row = 0; row < list.ListCount(); ++row) {
      Check(!list.Expanded(row), "a fresh fill has an expanded row");
    }
    if (list.ListCount() > 0) Check(list.ColumnCount() == 1, "a filled list still shows column 1");
  }

  testsupport::FakeHost& host_;
  std::string folder_;
  fuzzpalette::Palette palette_;
  Rows filled_;
};

int32_t RowOf(std::string_view digits, int32_t count) {
  uint64_t n = 0;
  for (char c : digits.substr(0, 9)) {
    if (c < '0' || c > '9') break;
    n = n * 10 + static_cast<uint64_t>(c - '0');
  }
  return static_cast<int32_t>(n % static_cast<uint64_t>(count));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size > 64 * 1024) return -1;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  for (std::string_view sep : {"</>", "<@>", "<>", ".", "\n"}) CheckFields(input, sep);

  const fs::path folder = fs::path(fuzzpalette::RunFolder()) / "scripts";
  std::error_code ec;
  fs::remove_all(folder, ec);
  fs::create_directories(folder);

  const auto records = Split(input, '\n');
  std::size_t at = 0;
  for (; at < records.size() && records[at] != "--"; ++at) {
    if (at < kMaxRecords) MakeEntry(folder, records[at]);
  }

  fuzzpalette::WriteFile(fuzzpalette::PrefsFile(), "10\n20\n150\n200\n" + folder.string() + "\n");
  testsupport::FakeHost host;
  Session session(host, folder.string());

  std::size_t actions = 0;
  for (++at; at < records.size() && actions < kMaxActions; ++at, ++actions) {
    const std::string_view action = records[at];
    if (action.empty()) continue;
    if (action[0] == 'r') {
      session.Refill();
      continue;
    }
    if (session.Count() == 0 || action.size() < 3 || action[1] != ' ') continue;
    const std::string_view rest = action.substr(2);
    const int32_t row = RowOf(rest, session.Count());
    switch (action[0]) {
      case 'x': session.Expand(row); break;
      case 'c': session.Collapse(row); break;
      case 'd': session.DoubleClick(row); break;
      case 's': {
        const auto space = rest.find(' ');
        session.SetChildList(row, space == std::string_view::npos ? std::string() : std::string(rest.substr(space + 1)));
        break;
      }
      default: break;
    }
  }
  session.Sweep();
  return 0;
}
