#include "platform/textstreams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <optional>
#include <random>
#include <utility>

#include "platform/finderinfo.h"
#include "platform/folderitem.h"

namespace platform {
namespace {

constexpr std::size_t kReadChunk = 64 * 1024;

}  // namespace

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
  // O_NONBLOCK so that a named pipe in the way cannot hang the program; only
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
// Text output: written to a temporary file beside the one it replaces, made
// durable and renamed over it, so a crash or a failed write never leaves
// half a preferences file. Links at the path lead to the file that is
// replaced and stay links; only a regular file, or nothing, is replaced.

namespace {

constexpr int kMaxLinks = 40;  // the kernel's own limit
constexpr char kSelfFds[] = "/proc/self/fd";
constexpr std::size_t kWriteChunk = 64 * 1024;

class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  Fd(Fd&& other) noexcept : fd_(other.release()) {}
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~Fd() { reset(); }
  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  int release() { return std::exchange(fd_, -1); }
  void reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

// Where the content goes: a name in a folder held open, so that nothing
// renamed or relinked meanwhile can move it elsewhere.
struct Destination {
  Fd folder;
  std::string name;
  bool exists = false;  // a regular file stands there
  mode_t mode = 0;
};

std::string ReadLink(int folder, const std::string& name) {
  std::string target(PATH_MAX, '\0');
  const ssize_t n = ::readlinkat(folder, name.c_str(), target.data(), target.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= target.size()) return {};
  target.resize(static_cast<std::size_t>(n));
  return target;
}

// Follows the links at the path one by one to where they end. Nothing when
// that is anything but a regular file or a free name in an existing folder:
// a pipe (opening it for writing would block), a socket, a device, a folder,
// a loop.
std::optional<Destination> Resolve(std::string path) {
  for (int hops = 0; hops <= kMaxLinks; ++hops) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return std::nullopt;
    const std::string folderPath = slash == 0 ? std::string("/") : path.substr(0, slash);
    std::string name = path.substr(slash + 1);
    if (name.empty() || name == "." || name == "..") return std::nullopt;
    Fd folder(::open(folderPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!folder) return std::nullopt;
    struct stat st {};
    if (::fstatat(folder.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno != ENOENT) return std::nullopt;
      return Destination{std::move(folder), std::move(name), false, 0};
    }
    if (S_ISREG(st.st_mode)) return Destination{std::move(folder), std::move(name), true, st.st_mode};
    if (!S_ISLNK(st.st_mode)) return std::nullopt;
    const std::string target = ReadLink(folder.get(), name);
    if (target.empty()) return std::nullopt;
    path = target.front() == '/' ? target : folderPath + "/" + target;
  }
  return std::nullopt;
}

// renameat2's flags are not known to every file system and kernel.
bool Unsupported(int error) { return error == EINVAL || error == ENOSYS; }

// A hidden name beside the file, within the length a name may have.
std::string TemporaryName(const std::string& name) {
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  thread_local std::mt19937 random{std::random_device{}()};
  std::string temp = "." + name.substr(0, 240) + ".";
  for (int i = 0; i < 6; ++i) temp += kLetters[random() % (sizeof kLetters - 1)];
  return temp;
}

}  // namespace

struct TextOutputStream::Impl {
  Destination to;
  std::string temp;  // the temporary file's name; empty while it has none
  Fd file;           // the temporary file
  std::string pending;
  bool failed = false;
  // The item the stream was made from, so a Mac type set after
  // CreateTextFile still reaches the file. Null only for an item that was
  // not made through New; then the type known at creation is used.
  std::shared_ptr<const FolderItem> item;
  std::string typeAtCreation;
  bool closed = false;
  bool result = false;

  ~Impl() { Discard(); }  // without Close, the old file stays as it was

  void Discard() {
    file.reset();
    if (!temp.empty()) ::unlinkat(to.folder.get(), temp.c_str(), 0);
    temp.clear();
  }

  bool Flush() {
    for (std::size_t done = 0; !failed && done < pending.size();) {
      const ssize_t n = ::write(file.get(), pending.data() + done, pending.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) failed = true;  // a full disk, a file size limit
      else done += static_cast<std::size_t>(n);
    }
    pending.clear();
    return !failed;
  }

  bool Commit() {
    if (!Flush()) return false;
    const std::string type = item ? item->MacType().str() : typeAtCreation;
    if (!type.empty()) {
      // On the temporary file, so the type arrives with the content in the
      // one rename. ENOTSUP and the like: the type is simply not kept.
      const FinderInfo info = FinderInfoForType(type);
      (void)::fsetxattr(file.get(), kFinderInfo, info.data(), info.size(), 0);
    }
    if (::fsync(file.get()) != 0) return false;
    if (temp.empty()) {
      const std::string self = std::string(kSelfFds) + "/" + std::to_string(file.get());
      const bool named = NameTemporary([&](const char* name) {
        return ::linkat(AT_FDCWD, self.c_str(), to.folder.get(), name, AT_SYMLINK_FOLLOW) == 0;
      });
      if (!named) return false;
    }
    if (::close(file.release()) != 0) return false;
    return PutInPlace();
  }

  // Gives the temporary file a fresh name through `make`, which says whether
  // that name was free and is now the file's.
  template <typename Make>
  bool NameTemporary(Make make) {
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string name = TemporaryName(to.name);
      if (make(name.c_str())) {
        temp = std::move(name);
        return true;
      }
      if (errno != EEXIST) return false;
    }
    return false;
  }

  // Renames the temporary file over the destination, only where a regular
  // file or nothing stands there at that moment: a regular file is swapped
  // out rather than renamed over, so what went out can be seen and given
  // back if it was anything else.
  bool PutInPlace() {
    const int folder = to.folder.get();
    const char* name = to.name.c_str();
    const char* from = temp.c_str();
    for (int attempt = 0; attempt < 3; ++attempt) {
      struct stat st {};
      if (::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT) return false;
        if (::renameat2(folder, from, folder, name, RENAME_NOREPLACE) == 0) return Placed(false);
        if (errno == EEXIST) continue;
        // A file system without the flag: nothing stood there a moment ago.
        if (Unsupported(errno) && ::renameat(folder, from, folder, name) == 0) return Placed(false);
        return false;
      }
      if (!S_ISREG(st.st_mode)) return false;
      if (::renameat2(folder, from, folder, name, RENAME_EXCHANGE) != 0) {
        if (errno == ENOENT) continue;
        if (Unsupported(errno) && ::renameat(folder, from, folder, name) == 0) return Placed(false);
        return false;
      }
      struct stat out {};
      if (::fstatat(folder, from, &out, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(out.st_mode)) {
        return Placed(true);
      }
      // Given back; should that fail, both stay where they are now.
      if (::renameat2(folder, from, folder, name, RENAME_EXCHANGE) != 0) temp.clear();
      return false;
    }
    return false;
  }

  // After a swap the old file stands under the temporary name.
  bool Placed(bool swapped) {
    if (swapped) ::unlinkat(to.folder.get(), temp.c_str(), 0);
    temp.clear();
    return true;
  }
};

TextOutputStream::TextOutputStream(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
TextOutputStream::~TextOutputStream() = default;

void TextOutputStream::WriteLine(const String& text) {
  if (impl_->closed) return;
  impl_->pending += text.str();
  impl_->pending += '\n';
  if (impl_->pending.size() >= kWriteChunk) impl_->Flush();
}

bool TextOutputStream::Close() {
  if (impl_->closed) return impl_->result;
  impl_->closed = true;
  impl_->result = impl_->Commit();
  impl_->Discard();
  return impl_->result;
}

Ref<TextOutputStream> FolderItem::CreateTextFile() const {
  std::optional<Destination> to = Resolve(path_);
  if (!to) return nullptr;
  // A file the user made read-only is kept so.
  if (to->exists && ::faccessat(to->folder.get(), to->name.c_str(), W_OK, AT_EACCESS) != 0) {
    return nullptr;
  }
  auto impl = std::make_unique<TextOutputStream::Impl>();
  impl->to = std::move(*to);
  // Unnamed until Close, so a kill while writing leaves nothing behind; it
  // gets its name through /proc. Else a named one, removed when not used.
  if (::access(kSelfFds, X_OK) == 0) {
    impl->file.reset(::openat(impl->to.folder.get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
  }
  if (!impl->file && !impl->NameTemporary([&](const char* temp) {
        const int fd = ::openat(impl->to.folder.get(), temp,
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) impl->file.reset(fd);
        return fd >= 0;
      })) {
    return nullptr;
  }
  // The replacement keeps the old file's permissions.
  if (impl->to.exists) (void)::fchmod(impl->file.get(), impl->to.mode & 0777);
  impl->item = std::static_pointer_cast<const FolderItem>(weak_from_this().lock());
  // MacType() also carries an existing file's type over to its replacement.
  if (!impl->item) impl->typeAtCreation = MacType().str();
  return New<TextOutputStream>(std::move(impl));
}

}  // namespace platform
