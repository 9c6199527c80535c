#include "platform/textstreams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QSaveFile>
#include <QString>

#include <algorithm>
#include <cerrno>

#include "platform/finderinfo.h"
#include "platform/folderitem.h"

namespace platform {
namespace {

constexpr std::size_t kReadChunk = 64 * 1024;

QString ToQString(const std::string& path) {
  return QFile::decodeName(QByteArray(path.data(), static_cast<qsizetype>(path.size())));
}

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

}  // namespace platform
