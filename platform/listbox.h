// The list: rows in a two-level tree, shown through a peer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/control.h"
#include "platform/display.h"
#include "platform/properties.h"
#include "platform/rowstore.h"
#include "platform/text.h"

namespace platform {

class Listbox : public RectControl {
 public:
  Listbox();
  ~Listbox() override;

  void AddRow(const String& text);
  void AddFolder(const String& text);
  void RemoveRow(int32_t row);
  // Removes every row, child rows included, raising no CollapseRow.
  void DeleteAllRows();
  int32_t ListCount() const;
  // The row the latest AddRow or AddFolder added, where it stands now; -1
  // when there is none.
  int32_t LastIndex() const;
  // The selected row; -1 with no selection.
  int32_t ListIndex() const;
  void SetListIndex(int32_t row);

  // Columns kept beyond ColumnCount stay readable and writable; an unwritten
  // cell reads empty. A row outside the list raises OutOfBoundsException.
  String Cell(int32_t row, int32_t column) const;
  void SetCell(int32_t row, int32_t column, const String& text);

  // Setting it on a folder row raises ExpandRow or CollapseRow with the row;
  // every other row reads False and ignores the setting.
  bool Expanded(int32_t row) const;
  void SetExpanded(int32_t row, bool expanded);
  bool RowIsFolder(int32_t row) const;

  int32_t ColumnCount() const { return IntProperty("ColumnCount", 1); }
  int32_t TextSize() const { return IntProperty("TextSize", 10); }
  void SetColumnCount(int32_t count) { SetProperty("ColumnCount", count); }

  // The tree as the peer shows it.
  int32_t TopCount() const;
  int32_t ChildCount(int32_t top) const;
  // The children of `top` the peer has heard of: an expansion's or a
  // collapse's rows at the end are told of together, once its handler returns.
  int32_t ShownChildCount(int32_t top) const;
  String TreeCell(int32_t top, int32_t child, int32_t column) const;
  bool TreeIsFolder(int32_t top) const;
  bool TreeExpanded(int32_t top) const;
  int32_t FlatIndex(int32_t top, int32_t child) const;
  // What the user did, reported by the peer.
  void UserSelect(int32_t row);
  void UserSetExpanded(int32_t row, bool expanded);
  void UserDoubleClick();

  void Realize(Display& display, WindowPeer& parent) override;
  void Unrealize() override;

 private:
  using Rows = RowStore;
  using Pos = RowPos;
  // Rows at the end of one folder's children the peer has yet to hear of.
  struct Pending {
    int32_t top = -1;
    int32_t first = 0, count = 0;
    bool removal = false;
    bool selection = false;
  };
  Pos PosOf(int32_t row) const;  // raises OutOfBoundsException
  // A row at the end of the top level, told of at once.
  void AddTop(const String& text, bool folder);
  void PropertyChanged(const std::string& name, const PropertyValue& value) override;
  // Tells the peer of the pending rows, before anything else reaches it.
  void Announce();

  Rows rows_;
  Pos last_, selected_;
  std::vector<int32_t> expanding_;  // top rows whose ExpandRow is running; -1 once gone
  std::vector<int32_t> collapsing_;  // likewise for CollapseRow
  Pending pending_;
  std::unique_ptr<ListboxPeer> peer_;
};

}  // namespace platform
