// Files and folders on the real file system, by their POSIX paths.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/object.h"
#include "platform/text.h"

namespace platform {

class TextInputStream;
class TextOutputStream;
class HiddenNames;

// A handle to a file or folder by its absolute POSIX path. The item need not
// exist on disk.
class FolderItem : public Object {
 public:
  // The item for an absolute path; nil when the text cannot name one (not
  // absolute, or holding a NUL byte). "." and ".." steps and repeated
  // slashes are folded away, so every item has one spelling.
  static Ref<FolderItem> FromPath(const std::string& absolutePath);

  // The item of that name inside this folder, whether or not it exists; nil
  // when no item can be formed (empty, ".", "..", a "/" or a NUL in it).
  Ref<FolderItem> Child(const String& name) const;
  Ref<FolderItem> Parent() const;

  // The number of items in the folder, from one reading of it that Item
  // then serves; 0 for anything that is not a readable folder. The items are
  // ordered by name with ASCII case folded, ties in byte order.
  int32_t Count();
  // Item i, from 1 to Count; nil outside that range.
  Ref<FolderItem> Item(int32_t index);
  // Lets the reading that Count made go, for a caller done walking a large
  // folder; a later Item makes a new one.
  void EndReading();

  String Name() const;
  // The name the user sees: on this platform, the name itself.
  String DisplayName() const;
  // Not a dot name, and not listed in the parent folder's ".hidden" file.
  bool Visible() const;
  // A folder, symbolic links followed.
  bool Directory() const;
  bool Exists() const;
  // The POSIX path; GetFolderItem(path, 0) gives this item back.
  String AbsolutePath() const;
  const std::string& path() const { return path_; }

  // The four-character Mac file type, carried in the Finder-info extended
  // attribute where the file system keeps one; silently not kept elsewhere.
  String MacType() const;
  void SetMacType(const String& type);

  // Opens the item for the user, detached from the program: an executable
  // file is started directly, anything else is handed to xdg-open when it is
  // installed. The path goes as its bytes, never through a shell; nothing is
  // reported back.
  void Launch(bool activate) const;

  // The two streams (textstreams.h; made there, beside their insides).
  // A stream positioned at the first line; nil when the file can't be opened.
  Ref<TextInputStream> OpenAsTextFile() const;
  // A new, empty file replacing any existing one, written atomically: the
  // previous file stays whole until the stream's Close succeeds. Links at
  // the path lead to the file replaced and stay links. Nil when the file
  // can't be created, and where anything but a regular file or nothing
  // stands (a pipe, a socket, a device, a folder, a link loop) or the file
  // is read-only: that is never replaced or written into.
  Ref<TextOutputStream> CreateTextFile() const;

  explicit FolderItem(std::string path);
  ~FolderItem() override;

 private:
  struct Listing;
  std::string path_;
  std::string macType_;
  std::shared_ptr<Listing> listing_;  // the one reading Count/Item use
  // What the parent's reading knew of the item, so that walking a large
  // folder asks the file system nothing more per item (a stat for links
  // only): its kind from the folder entry, and the folder's ".hidden".
  std::shared_ptr<const HiddenNames> parentHidden_;  // may be null
  unsigned char kind_ = 0;
  bool fromReading_ = false;
};

// Path type 0: an absolute POSIX path. Nil when the text names no item.
Ref<FolderItem> GetFolderItem(const String& path, int32_t pathType);

}  // namespace platform
