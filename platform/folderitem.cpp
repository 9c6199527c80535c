#include "platform/folderitem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QStandardPaths>
#include <QString>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <limits>
#include <string_view>
#include <unordered_set>

#include "platform/finderinfo.h"
#include "platform/process.h"

namespace platform {
namespace {

// What a folder reading learned about an entry's type from readdir alone.
enum class Kind : unsigned char { Unknown, File, Folder, Symlink };


// A ".hidden" file is a short list of names; anything past this is not one
// and is not worth holding in memory for every item of the folder.
constexpr off_t kHiddenFileLimit = 4 << 20;

// Joining and the last step by hand: every listed item takes both, and
// std::filesystem would parse the whole path into its steps each time
// (twenty times the cost of these, measured over 100 000 names).
std::string JoinPath(const std::string& folder, std::string_view name) {
  std::string path;
  path.reserve(folder.size() + 1 + name.size());
  path = folder;
  if (path.empty() || path.back() != '/') path += '/';
  path += name;
  return path;
}

std::string_view LastComponent(const std::string& path) {
  if (path == "/") return path;
  const auto slash = path.rfind('/');
  return std::string_view(path).substr(slash == std::string::npos ? 0 : slash + 1);
}

std::string ParentPath(const std::string& path) {
  if (path == "/") return {};
  return std::filesystem::path(path).parent_path().native();
}

Kind KindOf(unsigned char type) {
#ifdef DT_UNKNOWN
  switch (type) {
    case DT_DIR: return Kind::Folder;
    case DT_LNK: return Kind::Symlink;
    case DT_UNKNOWN: return Kind::Unknown;
    default: return Kind::File;  // regular files, devices, pipes, sockets
  }
#else
  (void)type;
  return Kind::Unknown;
#endif
}

}  // namespace

// The names a folder's ".hidden" file lists, looked up by view.
struct NameHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view name) const {
    return std::hash<std::string_view>{}(name);
  }
};
class HiddenNames : public std::unordered_set<std::string, NameHash, std::equal_to<>> {};

namespace {

// The names a folder's ".hidden" file lists, one a line; nullptr when the
// folder has none, so a listing without one costs nothing per item.
std::shared_ptr<const HiddenNames> ReadHiddenFile(const std::string& folder) {
  const std::string path = JoinPath(folder, ".hidden");
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kHiddenFileLimit) {
    ::close(fd);
    return nullptr;
  }
  std::string content;
  char buffer[8192];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    content.append(buffer, static_cast<std::size_t>(n));
    if (content.size() > static_cast<std::size_t>(kHiddenFileLimit)) break;
  }
  ::close(fd);

  auto names = std::make_shared<HiddenNames>();
  std::size_t begin = 0;
  while (begin <= content.size()) {
    auto end = content.find('\n', begin);
    if (end == std::string::npos) end = content.size();
    std::string_view line(content.data() + begin, end - begin);
    // A list saved by a Windows editor still hides what it names.
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty()) names->emplace(line);
    begin = end + 1;
  }
  return names;
}

bool StatFollowing(const std::string& path, struct stat& st) {
  return ::stat(path.c_str(), &st) == 0;
}

// The regular file at the path, links followed, opened for its attributes;
// -1 for anything else. Whatever stands there is looked at before it is
// opened, so no pipe (which would block) or device (which would act) is.
int OpenRegularFile(const std::string& path) {
  const int at = ::open(path.c_str(), O_PATH | O_CLOEXEC);
  if (at < 0) return -1;
  struct stat st {};
  int fd = -1;
  if (::fstat(at, &st) == 0 && S_ISREG(st.st_mode)) {
    // Reopened through the descriptor, so it is the very file looked at.
    const std::string self = "/proc/self/fd/" + std::to_string(at);
    fd = ::open(self.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0 && errno == ENOENT) {
      // No /proc: by the path again, kept only if it is still that file.
      fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
      struct stat again {};
      if (fd >= 0 && (::fstat(fd, &again) != 0 || again.st_dev != st.st_dev ||
                      again.st_ino != st.st_ino)) {
        ::close(fd);
        fd = -1;
      }
    }
  }
  ::close(at);
  return fd;
}

}  // namespace

// One reading of a folder: the names laid end to end in one text, so that
// a large folder costs no allocation per entry, and the entries in the
// listing's order.
struct FolderItem::Listing {
  struct Entry {
    std::size_t offset;
    unsigned short length;  // a Linux name is at most 255 bytes
    Kind kind;
  };
  std::string names;
  std::vector<Entry> entries;
  std::shared_ptr<const HiddenNames> hidden;

  std::string_view Name(const Entry& e) const { return {names.data() + e.offset, e.length}; }

  // NameLess's order: the names with ASCII case folded, then the names
  // themselves. Each name is folded once, not at every comparison.
  void Sort() {
    const std::string folded = FoldAsciiCase(names);
    std::sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
      const std::string_view fa(folded.data() + a.offset, a.length);
      const std::string_view fb(folded.data() + b.offset, b.length);
      if (const int order = fa.compare(fb)) return order < 0;
      return Name(a) < Name(b);
    });
  }
};

FolderItem::FolderItem(std::string path) : path_(std::move(path)) {}
FolderItem::~FolderItem() = default;

Ref<FolderItem> FolderItem::FromPath(const std::string& absolutePath) {
  if (absolutePath.empty() || absolutePath.front() != '/') return nullptr;
  if (absolutePath.find('\0') != std::string::npos) return nullptr;

  // Lexical folding only: resolving links here would change which item a
  // saved path names once a link is retargeted. The folded form keeps a
  // final slash ("/a/." gives "/a/"), which no item's path has.
  std::string path = std::filesystem::path(absolutePath).lexically_normal().native();
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return New<FolderItem>(std::move(path));
}

Ref<FolderItem> FolderItem::Child(const String& name) const {
  const std::string& n = name.str();
  if (n.empty() || n == "." || n == "..") return nullptr;
  if (n.find('/') != std::string::npos || n.find('\0') != std::string::npos) return nullptr;
  return New<FolderItem>(JoinPath(path_, n));
}

Ref<FolderItem> FolderItem::Parent() const {
  std::string parent = ParentPath(path_);
  if (parent.empty()) return nullptr;
  return New<FolderItem>(std::move(parent));
}

int32_t FolderItem::Count() {
  // Every Count is a fresh reading: callers count once before walking the
  // items, and expect to see the folder as it is now.
  auto listing = std::make_shared<Listing>();
  if (DIR* dir = ::opendir(path_.c_str())) {
    bool hasHiddenFile = false;
    while (const dirent* entry = ::readdir(dir)) {
      const std::string_view name(entry->d_name);
      if (name == "." || name == "..") continue;
      if (name == ".hidden") hasHiddenFile = true;
      listing->entries.push_back({listing->names.size(),
                                  static_cast<unsigned short>(name.size()),
                                  KindOf(entry->d_type)});
      listing->names += name;
    }
    ::closedir(dir);
    listing->Sort();
    if (hasHiddenFile) listing->hidden = ReadHiddenFile(path_);
  }
  listing_ = std::move(listing);
  const auto size = listing_->entries.size();
  return size > static_cast<std::size_t>(std::numeric_limits<int32_t>::max())
             ? std::numeric_limits<int32_t>::max()
             : static_cast<int32_t>(size);
}

Ref<FolderItem> FolderItem::Item(int32_t index) {
  if (!listing_) Count();
  if (index < 1 || static_cast<std::size_t>(index) > listing_->entries.size()) return nullptr;
  const auto& entry = listing_->entries[static_cast<std::size_t>(index) - 1];
  auto item = New<FolderItem>(JoinPath(path_, listing_->Name(entry)));
  item->parentHidden_ = listing_->hidden;
  item->kind_ = static_cast<unsigned char>(entry.kind);
  item->fromReading_ = true;
  return item;
}

void FolderItem::EndReading() { listing_.reset(); }

// The root is named "/" so that it never shows as a blank name.
String FolderItem::Name() const { return String(LastComponent(path_)); }

String FolderItem::DisplayName() const { return Name(); }

bool FolderItem::Visible() const {
  const std::string_view name = LastComponent(path_);
  if (name.empty() || name.front() == '.') return false;
  if (path_ == "/") return true;
  const std::shared_ptr<const HiddenNames> hidden =
      fromReading_ ? parentHidden_ : ReadHiddenFile(ParentPath(path_));
  return !hidden || hidden->find(name) == hidden->end();
}

bool FolderItem::Directory() const {
  if (fromReading_) {
    if (static_cast<Kind>(kind_) == Kind::Folder) return true;
    if (static_cast<Kind>(kind_) == Kind::File) return false;
  }
  struct stat st {};
  return StatFollowing(path_, st) && S_ISDIR(st.st_mode);
}

// lstat, not stat: a broken link is still an entry of its folder (it lists,
// and it can be removed or replaced), so it exists; Directory tells whether
// it leads anywhere.
bool FolderItem::Exists() const {
  struct stat st {};
  return ::lstat(path_.c_str(), &st) == 0;
}

String FolderItem::AbsolutePath() const { return String(path_); }

String FolderItem::MacType() const {
  if (!macType_.empty()) return String(macType_);
  FinderInfo info;
  if (!ReadFinderInfo(path_, info)) return String();
  if (std::all_of(info.begin(), info.begin() + 4, [](char c) { return c == 0; })) return String();
  return String(std::string(info.data(), 4));
}

void FolderItem::SetMacType(const String& type) {
  macType_ = NormalisedMacType(type.str());
  // An existing file takes the type at once; its creator and flags stay.
  const int fd = OpenRegularFile(path_);
  if (fd < 0) return;
  FinderInfo info;
  const bool had = ReadFinderInfo(fd, info);
  if (macType_.empty()) {
    if (had) {
      std::fill_n(info.begin(), 4, 0);
      if (std::all_of(info.begin(), info.end(), [](char c) { return c == 0; })) {
        ::fremovexattr(fd, kFinderInfo);
      } else {
        (void)::fsetxattr(fd, kFinderInfo, info.data(), info.size(), 0);
      }
    }
  } else {
    std::copy_n(macType_.begin(), 4, info.begin());
    // Best effort: a file system without user attributes keeps no type.
    (void)::fsetxattr(fd, kFinderInfo, info.data(), info.size(), 0);
  }
  ::close(fd);
}

void FolderItem::Launch(bool /*activate*/) const {
  struct stat st {};
  if (::lstat(path_.c_str(), &st) != 0) return;  // nothing there to open
  const bool regular = StatFollowing(path_, st) && S_ISREG(st.st_mode);
  // The path goes as its bytes: a name that is not UTF-8 must still start.
  if (regular && ::access(path_.c_str(), X_OK) == 0) {
    StartDetached(path_, {});
    return;
  }
  const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
  if (opener.isEmpty()) return;
  StartDetached(QFile::encodeName(opener).toStdString(), {path_});
}

Ref<FolderItem> GetFolderItem(const String& path, int32_t pathType) {
  if (pathType != 0) return nullptr;
  return FolderItem::FromPath(path.str());
}

}  // namespace platform
