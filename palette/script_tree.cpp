// The scripts folder as a two-level tree: one reading fills the list, and a
// folder row keeps its items as text for its expansion.
#include <algorithm>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "palette/script_tree.h"
#include "palette/window1.h"
#include "platform/backgroundtask.h"
#include "platform/listbox.h"
#include "platform/text.h"

namespace palette {

namespace {
constexpr std::string_view kEntryEnd = "</>";
constexpr std::string_view kFolderMark = "<@>";
constexpr std::string_view kChildEnd = "<>";

// The listing in pieces of whole entries, each let go once its rows are
// made: a large listing and its rows are never both held.
class Listing {
 public:
  Listing& operator+=(std::string_view text) {
    if (last_.capacity() < kRoom) last_.reserve(kRoom);
    last_.append(text);
    return *this;
  }
  void EndEntry() {
    last_.append(kEntryEnd);
    if (last_.size() >= kPiece) {
      pieces_.push_back(std::move(last_));
      last_ = std::string();
    }
  }
  bool IsEmpty() const { return pieces_.empty() && last_.empty(); }
  // Each entry, in order.
  template <class Visit>
  void TakeEntries(Visit&& visit) {
    if (!last_.empty()) pieces_.push_back(std::move(last_));
    last_ = std::string();
    for (std::string& piece : pieces_) {
      ForEachListedField(piece, kEntryEnd, visit);
      std::string().swap(piece);
    }
    pieces_.clear();
  }

 private:
  // Cut at kPiece bytes, in room for a little more: about a text block.
  static constexpr std::size_t kPiece = 60 * 1024;
  static constexpr std::size_t kRoom = 64 * 1024 - 1;
  std::vector<std::string> pieces_;
  std::string last_;
};

}  // namespace

int32_t CountListedFields(std::string_view text, std::string_view separator) {
  int64_t count = 0;
  ForEachListedField(text, separator, [&count](std::string_view) { ++count; });
  return static_cast<int32_t>(std::min<int64_t>(count, std::numeric_limits<int32_t>::max()));
}

void Window1::setLB1() {
  try {
    // Visible top-level items whose name does not begin with "."; a folder
    // brings all of its own, unfiltered.
    Listing listing;
    const int32_t count = gMyScriptFolder->Count();
    for (int32_t i = 1; i <= count; ++i) {
      Ref<platform::FolderItem> item = gMyScriptFolder->Item(i);
      if (item->Visible() && platform::LeftB(item->Name(), 1) != ".") {
        listing += item->DisplayName().str();
        if (item->Directory()) {
          listing += kFolderMark;
          const int32_t children = item->Count();
          for (int32_t j = 1; j <= children; ++j) {
            listing += item->Item(j)->DisplayName().str();
            listing += kChildEnd;
            platform::BackgroundTask();
          }
        }
        listing.EndEntry();
      }
      platform::BackgroundTask();
    }
    // The folder's reading is not held alongside the rows.
    gMyScriptFolder->EndReading();
    Ref<platform::Listbox> list = LB1();
    // Rows of a folder listed before would run against this one: they go
    // before any message.
    list->DeleteAllRows();
    if (listing.IsEmpty()) {
      my_msgbox("スクリプトファイルが読み込めませんでした。");
      return;
    }
    listing.TakeEntries([&list](std::string_view entry) {
      const std::size_t mark = entry.find(kFolderMark);
      if (mark == std::string_view::npos) {
        list->AddRow(String(entry));
      } else {
        // The child list is the entry's second "<@>" field; an empty folder
        // is still a folder row.
        const std::string_view rest = entry.substr(mark + kFolderMark.size());
        const std::string_view children = rest.substr(0, rest.find(kFolderMark));
        list->AddFolder(String());
        list->SetCell(list->LastIndex(), 1, String(children));
        list->SetCell(list->LastIndex(), 0, String(entry.substr(0, mark)));
      }
      platform::BackgroundTask();
    });
    list->SetColumnCount(1);
  } catch (const std::exception&) {
    // Listing is best effort: the list keeps what it had, and whoever asked
    // for the fill (opening, or a new folder choice) goes on.
  }
}

void Window1::LB1_ExpandRow(Ref<platform::Listbox> me, int32_t row) {
  const String folderName = me->Cell(row, 0);
  const String childList = me->Cell(row, 1);
  ForEachListedField(childList.view(), kChildEnd, [&me, &folderName](std::string_view child) {
    me->AddRow(String());
    me->SetCell(me->LastIndex(), 0, String(child));
    me->SetCell(me->LastIndex(), 1, folderName);
    platform::BackgroundTask();
  });
}

void Window1::LB1_CollapseRow(Ref<platform::Listbox> me, int32_t row) {
  const int32_t added = CountListedFields(me->Cell(row, 1).view(), kChildEnd);
  const int32_t first = row + 1;
  for (int32_t k = row + added; k >= first; --k) {
    me->RemoveRow(k);
    platform::BackgroundTask();
  }
}

}  // namespace palette
