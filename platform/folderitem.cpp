#include "platform/folderitem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <QString>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string_view>
#include <unordered_set>

#include "platform/finderinfo.h"
#include "platform/scriptrunner.h"

namespace platform {
namespace {

// What a folder reading learned about an entry's type from readdir alone.
enum class Kind : unsigned char { Unknown, File, Folder, Symlink };

using HiddenNames = std::unordered_set<std::string>;

// A ".hidden" file is a short list of names; anything past this is not one
// and is not worth holding in memory for every item of the folder.
constexpr off_t kHiddenFileLimit = 4 << 20;

constexpr std::size_t kReadChunk = 64 * 1024;

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
  const auto slash = path.rfind('/');
  if (slash == std::string::npos || path == "/") return {};
  return slash == 0 ? std::string("/") : path.substr(0, slash);
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

QString ToQString(const std::string& path) {
  return QFile::decodeName(QByteArray(path.data(), static_cast<qsizetype>(path.size())));
}

}  // namespace

struct FolderItem::Listing {
  struct Entry {
    std::string name;
    Kind kind;
  };
  std::vector<Entry> entries;
  std::shared_ptr<const HiddenNames> hidden;
};

// What the parent's reading knew about an item, so that walking a large
// folder asks the file system nothing more per item (a stat for links only).
struct FolderItem::Hints {
  Kind kind = Kind::Unknown;
  std::shared_ptr<const HiddenNames> hidden;  // the parent's ".hidden"; may be null
};

FolderItem::FolderItem(std::string path) : path_(std::move(path)) {}
FolderItem::~FolderItem() = default;

Ref<FolderItem> FolderItem::FromPath(const std::string& absolutePath) {
  if (absolutePath.empty() || absolutePath.front() != '/') return nullptr;
  if (absolutePath.find('\0') != std::string::npos) return nullptr;

  // Lexical folding only: resolving links here would change which item a
  // saved path names once a link is retargeted.
  std::vector<std::string_view> parts;
  const std::string_view text(absolutePath);
  std::size_t begin = 0;
  while (begin < text.size()) {
    auto end = text.find('/', begin);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view part = text.substr(begin, end - begin);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    begin = end + 1;
  }
  if (parts.empty()) return New<FolderItem>(std::string(1, '/'));
  std::string path;
  for (const auto part : parts) {
    path += '/';
    path += part;
  }
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
      listing->entries.push_back({std::string(name), KindOf(entry->d_type)});
    }
    ::closedir(dir);
    std::sort(listing->entries.begin(), listing->entries.end(),
              [](const Listing::Entry& a, const Listing::Entry& b) {
                return NameLess(a.name, b.name);
              });
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
  auto item = New<FolderItem>(JoinPath(path_, entry.name));
  auto hints = std::make_shared<Hints>();
  hints->kind = entry.kind;
  hints->hidden = listing_->hidden;
  item->hints_ = std::move(hints);
  return item;
}

// The root is named "/" so that it never shows as a blank name.
String FolderItem::Name() const { return String(LastComponent(path_)); }

String FolderItem::DisplayName() const { return Name(); }

bool FolderItem::Visible() const {
  const std::string_view name = LastComponent(path_);
  if (name.empty() || name.front() == '.') return false;
  if (path_ == "/") return true;
  std::shared_ptr<const HiddenNames> hidden;
  if (hints_) {
    hidden = hints_->hidden;
  } else {
    hidden = ReadHiddenFile(ParentPath(path_));
  }
  return !hidden || hidden->find(std::string(name)) == hidden->end();
}

bool FolderItem::Directory() const {
  if (hints_) {
    if (hints_->kind == Kind::Folder) return true;
    if (hints_->kind == Kind::File) return false;
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
  struct stat st {};
  if (!StatFollowing(path_, st) || !S_ISREG(st.st_mode)) return;
  FinderInfo info;
  const bool had = ReadFinderInfo(path_, info);
  if (macType_.empty()) {
    if (!had) return;
    std::fill_n(info.begin(), 4, 0);
    if (std::all_of(info.begin(), info.end(), [](char c) { return c == 0; })) {
      ::removexattr(path_.c_str(), kFinderInfo);
      return;
    }
  } else {
    std::copy_n(macType_.begin(), 4, info.begin());
  }
  // Best effort: a file system without user attributes keeps no type.
  (void)::setxattr(path_.c_str(), kFinderInfo, info.data(), info.size(), 0);
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

// ---------------------------------------------------------------------------
// Text input: buffered reads, so a caller that wants the first lines of a
// huge file reads only those, and a line of any length costs linear time.

struct TextInputStream::Impl {
  int fd = -1;
  bool atEnd = false;       // the file has nothing more to give
  std::string buffer;
  std::size_t pos = 0;      // first unconsumed byte of buffer

  ~Impl() { CloseFile(); }

  void CloseFile() {
    if (fd >= 0) ::close(fd);
    fd = -1;
    atEnd = true;
  }

  // Appends the next chunk; false when nothing more came.
  bool Fill() {
    if (atEnd) return false;
    if (pos > 0 && pos >= buffer.size() / 2) {
      buffer.erase(0, pos);
      pos = 0;
    }
    const std::size_t old = buffer.size();
    buffer.resize(old + kReadChunk);
    ssize_t n;
    do {
      n = ::read(fd, buffer.data() + old, kReadChunk);
    } while (n < 0 && errno == EINTR);
    buffer.resize(old + (n > 0 ? static_cast<std::size_t>(n) : 0));
    if (n <= 0) {
      CloseFile();
      return false;
    }
    return true;
  }

  bool Exhausted() {
    while (pos >= buffer.size()) {
      if (!Fill()) return true;
    }
    return false;
  }

  std::string ReadLine() {
    if (Exhausted()) return {};
    std::size_t scan = pos;
    for (;;) {
      const char* begin = buffer.data() + scan;
      const char* end = buffer.data() + buffer.size();
      const char* hit = std::find_if(begin, end, [](char c) { return c == '\n' || c == '\r'; });
      if (hit != end) {
        const std::size_t at = static_cast<std::size_t>(hit - buffer.data());
        // A "\r" at the end of what is buffered may be the first half of
        // "\r\n"; look one byte further before deciding.
        if (*hit == '\r' && at + 1 == buffer.size()) {
          const std::size_t offset = at - pos;
          Fill();  // may move the buffer's contents
          const std::size_t cr = pos + offset;
          std::string line = buffer.substr(pos, offset);
          pos = cr + 1;
          if (pos < buffer.size() && buffer[pos] == '\n') ++pos;
          return line;
        }
        std::string line = buffer.substr(pos, at - pos);
        pos = at + 1;
        if (*hit == '\r' && pos < buffer.size() && buffer[pos] == '\n') ++pos;
        return line;
      }
      const std::size_t scanned = buffer.size() - pos;
      if (!Fill()) {
        std::string line = buffer.substr(pos);
        pos = buffer.size();
        return line;
      }
      scan = pos + scanned;
    }
  }
};

TextInputStream::TextInputStream(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
TextInputStream::~TextInputStream() = default;

String TextInputStream::ReadLine() { return String(impl_->ReadLine()); }

bool TextInputStream::EndOfFile() const { return impl_->Exhausted(); }

void TextInputStream::Close() {
  impl_->CloseFile();
  impl_->buffer.clear();
  impl_->pos = 0;
}

Ref<TextInputStream> FolderItem::OpenAsTextFile() const {
  // O_NONBLOCK so that a named pipe in the way cannot hang the palette; only
  // regular files are read as text.
  const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  auto impl = std::make_unique<TextInputStream::Impl>();
  impl->fd = fd;
  return New<TextInputStream>(std::move(impl));
}

// ---------------------------------------------------------------------------
// Text output: QSaveFile writes beside the target and renames over it, so a
// crash or a failed write never leaves half a preferences file.

struct TextOutputStream::Impl {
  QSaveFile file;
  // The item the stream was made from, so a Mac type set after
  // CreateTextFile still reaches the file. Null only for an item that was
  // not made through New; then the type known at creation is used.
  std::shared_ptr<const FolderItem> item;
  std::string typeAtCreation;
  bool closed = false;
  bool result = false;

  explicit Impl(const QString& path) : file(path) {}
  ~Impl() {
    if (!closed) file.cancelWriting();  // the old file stays as it was
  }
};

TextOutputStream::TextOutputStream(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
TextOutputStream::~TextOutputStream() = default;

void TextOutputStream::WriteLine(const String& text) {
  if (impl_->closed) return;
  const std::string& s = text.str();
  impl_->file.write(s.data(), static_cast<qint64>(s.size()));
  impl_->file.write("\n", 1);
}

bool TextOutputStream::Close() {
  if (impl_->closed) return impl_->result;
  impl_->closed = true;
  // Every byte must reach the temporary file before it may replace the old
  // one. QSaveFile's commit only looks at errors of writes that passed its
  // own buffer, so bytes that its flush fails to write (a full disk, a file
  // size limit) would leave a cut file in place of the whole one.
  if (!impl_->file.flush()) {
    impl_->file.cancelWriting();
    (void)impl_->file.commit();  // discards the temporary file
    impl_->result = false;
    return false;
  }
  const std::string type = impl_->item ? impl_->item->MacType().str() : impl_->typeAtCreation;
  if (!type.empty()) {
    // Set on the temporary file, so the type arrives with the content in
    // the one rename. ENOTSUP and the like: the type is simply not kept.
    const FinderInfo info = FinderInfoForType(type);
    (void)::fsetxattr(impl_->file.handle(), kFinderInfo, info.data(), info.size(), 0);
  }
  impl_->result = impl_->file.commit();
  return impl_->result;
}

// Note: Qt names files through UTF-8, so a path that is not valid UTF-8
// cannot be written here (it can still be listed and read).
Ref<TextOutputStream> FolderItem::CreateTextFile() const {
  auto impl = std::make_unique<TextOutputStream::Impl>(ToQString(path_));
  if (!impl->file.open(QIODevice::WriteOnly)) return nullptr;
  impl->item = std::static_pointer_cast<const FolderItem>(weak_from_this().lock());
  // MacType() also carries an existing file's type over to its replacement.
  if (!impl->item) impl->typeAtCreation = MacType().str();
  return New<TextOutputStream>(std::move(impl));
}

// ---------------------------------------------------------------------------

Ref<FolderItem> GetFolderItem(const String& path, int32_t pathType) {
  if (pathType != 0) return nullptr;
  return FolderItem::FromPath(path.str());
}

namespace {

// Makes each missing folder of the path, private to the user as the XDG
// rules ask of a configuration folder.
void MakePath(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) return;
  for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string prefix = path.substr(0, slash);
    if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) return;
    if (slash == std::string::npos) return;
  }
}

}  // namespace

Ref<FolderItem> PreferencesFolder() {
  Ref<FolderItem> folder;
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && config[0] == '/') {
    folder = FolderItem::FromPath(config);
  } else {
    // The real home is never guessed from the password file: with no HOME
    // there is no preferences folder to write into.
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') folder = FolderItem::FromPath(std::string(home) + "/.config");
  }
  if (folder) MakePath(folder->path());
  return folder;
}

namespace {
std::string& BootVolumeRoot() {
  static std::string root = "/";
  return root;
}
}  // namespace

void SetBootVolumeForTesting(const std::string& root) {
  BootVolumeRoot() = root.empty() ? std::string("/") : root;
}

Ref<FolderItem> Volume(int32_t index) {
  if (index != 0) return nullptr;
  return FolderItem::FromPath(BootVolumeRoot());
}

}  // namespace platform
