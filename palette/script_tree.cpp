// The scripts folder as a two-level tree: one reading of the folder fills
// the list, and each folder row keeps its items as text for its expansion.
#include <string>

#include "palette/fields.h"
#include "palette/window1.h"
#include "platform/backgroundtask.h"
#include "platform/listbox.h"
#include "platform/text.h"

namespace palette {

namespace {
constexpr std::string_view kEntryEnd = "</>";
constexpr std::string_view kFolderMark = "<@>";
constexpr std::string_view kChildEnd = "<>";
}  // namespace

std::vector<std::string_view> ListedFields(std::string_view text, std::string_view separator) {
  std::vector<std::string_view> fields;
  platform::ForEachField(text, separator, [&fields](std::string_view field) {
    if (!field.empty()) fields.push_back(field);
  });
  return fields;
}

void Window1::setLB1() {
  try {
    // The listing: every visible top-level item whose name does not begin
    // with "."; a folder brings all of its own items, unfiltered.
    std::string listing;
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
        listing += kEntryEnd;
      }
      platform::BackgroundTask();
    }
    Ref<platform::Listbox> list = LB1();
    // The rows of a folder listed before would be run against this one,
    // where their files are not: they go before anything is said.
    list->DeleteAllRows();
    if (listing.empty()) {
      my_msgbox("スクリプトファイルが読み込めませんでした。");
      return;
    }
    for (std::string_view entry : ListedFields(listing, kEntryEnd)) {
      const std::size_t mark = entry.find(kFolderMark);
      if (mark == std::string_view::npos) {
        list->AddRow(String(entry));
      } else {
        // The child list is the entry's second "<@>" field. A folder with no
        // items is still a folder row; it expands to nothing.
        const std::string_view rest = entry.substr(mark + kFolderMark.size());
        const std::string_view children = rest.substr(0, rest.find(kFolderMark));
        list->AddFolder(String());
        list->SetCell(list->LastIndex(), 1, String(children));
        list->SetCell(list->LastIndex(), 0, String(entry.substr(0, mark)));
      }
      platform::BackgroundTask();
    }
    list->SetColumnCount(1);
  } catch (const std::exception&) {
    // Listing is best effort: the list keeps what it had, and whoever asked
    // for the fill (opening, or a new folder choice) goes on.
  }
}

void Window1::LB1_ExpandRow(Ref<platform::Listbox> me, int32_t row) {
  const String folderName = me->Cell(row, 0);
  const String childList = me->Cell(row, 1);
  for (std::string_view child : ListedFields(childList.view(), kChildEnd)) {
    me->AddRow(String());
    me->SetCell(me->LastIndex(), 0, String(child));
    me->SetCell(me->LastIndex(), 1, folderName);
    platform::BackgroundTask();
  }
}

void Window1::LB1_CollapseRow(Ref<platform::Listbox> me, int32_t row) {
  const auto added = static_cast<int32_t>(ListedFields(me->Cell(row, 1).view(), kChildEnd).size());
  const int32_t first = row + 1;
  for (int32_t k = row + added; k >= first; --k) {
    me->RemoveRow(k);
    platform::BackgroundTask();
  }
}

}  // namespace palette
