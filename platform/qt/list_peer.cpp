// The list: a tree view over an item model that reads the Listbox's rows
// where they are, so that a row added or removed costs the same whatever
// the list's length. The Listbox tells the peer of each change once it has
// made it, the children an expansion adds (or a collapse removes) in one
// go, and answers the tree as the view has been told of it.
#include <QAbstractItemModel>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPointer>
#include <QTreeView>

#include <algorithm>
#include <optional>
#include <vector>

#include "platform/listbox.h"
#include "platform/qt/content_area.h"
#include "platform/qt/conversions.h"
#include "platform/qt/list_peer.h"
#include "platform/qt/one_line.h"
#include "platform/qt/window_peer.h"

namespace platform::qt {
namespace {

// Index ids: 0 for a top-level row, top + 1 for a row under top.
class ListItemModel : public QAbstractItemModel {
 public:
  ListItemModel(Listbox& list, QTreeView* view)
      : QAbstractItemModel(view), list_(&list), view_(view) {}

  // The peer goes: the view shows nothing from now on.
  void Detach() {
    beginResetModel();
    list_ = nullptr;
    endResetModel();
  }

  static int TopOf(const QModelIndex& index) {
    return index.internalId() == 0 ? index.row() : static_cast<int>(index.internalId() - 1);
  }
  static int ChildOf(const QModelIndex& index) {
    return index.internalId() == 0 ? -1 : index.row();
  }

  QModelIndex TopIndex(int top, int column = 0) const {
    return top >= 0 && top < TopRows() ? createIndex(top, column, quintptr{0}) : QModelIndex();
  }
  QModelIndex RowIndex(int top, int child, int column = 0) const {
    if (child < 0) return TopIndex(top, column);
    if (top < 0 || top >= TopRows() || child >= ChildRows(top)) return QModelIndex();
    return createIndex(child, column, static_cast<quintptr>(top) + 1);
  }

  // The Listbox has already added (removed) the rows: while the view hears
  // of them, the counts it reads are those from before.
  void Inserted(int parentTop, int first, int count) {
    during_ = Change{parentTop, count};
    beginInsertRows(ParentIndex(parentTop), first, first + count - 1);
    during_.reset();
    endInsertRows();
  }
  void Removed(int parentTop, int first, int count) {
    during_ = Change{parentTop, -count};
    beginRemoveRows(ParentIndex(parentTop), first, first + count - 1);
    during_.reset();
    endRemoveRows();
  }

  void CellChanged(int top, int child, int column) {
    const QModelIndex index = RowIndex(top, child, column);
    if (index.isValid()) Q_EMIT dataChanged(index, index, {Qt::DisplayRole});
  }
  void Reload(int columns) {
    beginResetModel();
    columns_ = std::max(1, columns);
    endResetModel();
  }

  QModelIndex index(int row, int column, const QModelIndex& parent) const override {
    if (!list_ || row < 0 || column < 0 || column >= columns_) return QModelIndex();
    if (!parent.isValid()) {
      return row < TopRows() ? createIndex(row, column, quintptr{0}) : QModelIndex();
    }
    if (parent.internalId() != 0 || parent.column() != 0) return QModelIndex();
    return row < ChildRows(parent.row())
               ? createIndex(row, column, static_cast<quintptr>(parent.row()) + 1)
               : QModelIndex();
  }
  QModelIndex parent(const QModelIndex& index) const override {
    if (!index.isValid() || index.internalId() == 0) return QModelIndex();
    return createIndex(static_cast<int>(index.internalId() - 1), 0, quintptr{0});
  }
  int rowCount(const QModelIndex& parent) const override {
    if (!list_) return 0;
    if (!parent.isValid()) return TopRows();
    if (parent.internalId() != 0 || parent.column() != 0) return 0;
    return ChildRows(parent.row());
  }
  int columnCount(const QModelIndex&) const override { return list_ ? columns_ : 0; }
  bool hasChildren(const QModelIndex& parent) const override {
    if (!list_) return false;
    if (!parent.isValid()) return TopRows() > 0;
    if (parent.internalId() != 0 || parent.column() != 0) return false;
    // A folder shows its disclosure triangle before it holds anything.
    return list_->TreeIsFolder(parent.row()) || ChildRows(parent.row()) > 0;
  }
  Qt::ItemFlags flags(const QModelIndex& index) const override {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.internalId() != 0) f |= Qt::ItemNeverHasChildren;
    return f;
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (!list_ || !index.isValid() || role != Qt::DisplayRole) return QVariant();
    // One line per row, whatever the name holds; the row keeps its bytes.
    return oneLine_(list_->TreeCell(TopOf(index), ChildOf(index), index.column()), view_->font());
  }

 private:
  struct Change {
    int parentTop;
    int added;  // negative for rows removed
  };
  QModelIndex ParentIndex(int parentTop) const {
    return parentTop < 0 ? QModelIndex() : createIndex(parentTop, 0, quintptr{0});
  }
  int Before(int parentTop) const {
    return during_ && during_->parentTop == parentTop ? -during_->added : 0;
  }
  int TopRows() const { return list_->TopCount() + Before(-1); }
  int ChildRows(int top) const { return list_->ShownChildCount(top) + Before(top); }

  Listbox* list_;
  QTreeView* view_;
  int columns_ = 1;
  mutable OneLine oneLine_;
  std::optional<Change> during_;
};

class QtListboxPeer : public ListboxPeer {
 public:
  QtListboxPeer(QtWindowPeer& parent, Listbox& model)
      : model_(model), area_(parent.content()) {
    view_ = new QTreeView(area_);
    items_ = new ListItemModel(model_, view_);
    view_->setModel(items_);
    view_->setHeaderHidden(true);
    view_->setRootIsDecorated(true);
    view_->setItemsExpandable(true);
    view_->setExpandsOnDoubleClick(false);
    view_->setUniformRowHeights(true);
    view_->setAllColumnsShowFocus(true);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // No horizontal scrolling: the columns share the view's width.
    view_->header()->setSectionResizeMode(QHeaderView::Stretch);
    view_->header()->setStretchLastSection(true);

    connections_ = {
        QObject::connect(view_->selectionModel(), &QItemSelectionModel::currentChanged, view_,
                         [this](const QModelIndex& current) { UserCurrent(current); }),
        QObject::connect(view_, &QTreeView::expanded, view_,
                         [this](const QModelIndex& index) { UserExpanded(index, true); }),
        QObject::connect(view_, &QTreeView::collapsed, view_,
                         [this](const QModelIndex& index) { UserExpanded(index, false); }),
        QObject::connect(view_, &QAbstractItemView::doubleClicked, view_,
                         [this](const QModelIndex&) { model_.UserDoubleClick(); }),
    };
  }

  ~QtListboxPeer() override {
    for (const QMetaObject::Connection& c : connections_) QObject::disconnect(c);
    if (!view_) return;
    if (area_) area_->Forget(view_);
    items_->Detach();
    view_->hide();
    // This may run inside one of the view's own handlers.
    view_->deleteLater();
  }

  void SetColumnCount(int32_t count) override {
    columns_ = count;
    Reset();
  }
  // 0 or less: one point.
  void SetTextSize(int32_t size) override {
    if (!view_) return;
    QFont font = view_->font();
    font.setPointSize(std::max(1, size));
    view_->setFont(font);
  }
  void SetBounds(const Rect& design, const Size& reference, const Locks& locks) override {
    if (view_ && area_) area_->Place(view_, design, reference, locks);
  }
  void SetVisible(bool visible) override {
    if (view_) view_->setVisible(visible);
  }
  void SetEnabled(bool enabled) override {
    if (view_) view_->setEnabled(enabled);
  }
  void SetName(const String& name) override {
    if (view_) view_->setObjectName(ToQString(name));
  }

  void RowsInserted(int32_t parentTop, int32_t first, int32_t count) override {
    if (!view_) return;
    Sync sync(*this);
    items_->Inserted(parentTop, first, count);
  }

  void RowsRemoved(int32_t parentTop, int32_t first, int32_t count) override {
    if (!view_) return;
    {
      Sync sync(*this);
      items_->Removed(parentTop, first, count);
    }
    // The view moves its current row off a removed one, and a row under a
    // later top-level row keeps an id naming its old parent: the model's
    // selection is what stands.
    ApplySelection();
  }

  void CellChanged(int32_t top, int32_t child, int32_t column) override {
    if (view_) items_->CellChanged(top, child, column);
  }

  void ExpandedChanged(int32_t top) override {
    if (!view_) return;
    Sync sync(*this);
    view_->setExpanded(items_->TopIndex(top), model_.TreeExpanded(top));
  }

  void SelectionChanged() override {
    if (view_) ApplySelection();
  }

  void Reset() override {
    if (!view_) return;
    {
      Sync sync(*this);
      items_->Reload(columns_);
      for (int32_t top = 0; top < model_.TopCount(); ++top) {
        if (model_.TreeExpanded(top)) view_->setExpanded(items_->TopIndex(top), true);
      }
    }
    ApplySelection();
  }

 private:
  // While the view is brought in line with the model, what it signals is
  // the model's own doing and goes nowhere.
  struct Sync {
    explicit Sync(QtListboxPeer& peer) : peer_(peer) { ++peer_.syncing_; }
    ~Sync() { --peer_.syncing_; }
    QtListboxPeer& peer_;
  };

  void ApplySelection() {
    Sync sync(*this);
    QItemSelectionModel* selection = view_->selectionModel();
    const QModelIndex index = IndexOfFlat(model_.ListIndex());
    if (!index.isValid()) {
      selection->clear();
      return;
    }
    selection->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                          QItemSelectionModel::Rows);
    view_->scrollTo(index);
  }

  // The Listbox's flat row for a row of the view.
  int FlatOf(const QModelIndex& index) const {
    return model_.FlatIndex(ListItemModel::TopOf(index), ListItemModel::ChildOf(index));
  }

  // The row at flat position `row`: the last top-level row starting at or
  // before it, then the child within it. Logarithmic in the list's length.
  QModelIndex IndexOfFlat(int32_t row) const {
    if (row < 0 || row >= model_.ListCount()) return QModelIndex();
    int32_t low = 0, high = model_.TopCount() - 1;
    while (low < high) {
      const int32_t mid = low + (high - low + 1) / 2;
      if (model_.FlatIndex(mid, -1) <= row) low = mid;
      else high = mid - 1;
    }
    return items_->RowIndex(low, row - model_.FlatIndex(low, -1) - 1);
  }

  void UserCurrent(const QModelIndex& current) {
    if (syncing_) return;
    model_.UserSelect(current.isValid() ? FlatOf(current) : -1);
  }

  // The Listbox tells the view what it made of the user's hand, the rows
  // its handler added included; this peer may be gone once it returns.
  void UserExpanded(const QModelIndex& index, bool expanded) {
    if (syncing_ || !index.isValid() || index.internalId() != 0) return;
    model_.UserSetExpanded(FlatOf(index), expanded);
  }

  Listbox& model_;
  QPointer<ContentArea> area_;
  QPointer<QTreeView> view_;
  ListItemModel* items_ = nullptr;
  int32_t columns_ = 1;
  int syncing_ = 0;
  std::vector<QMetaObject::Connection> connections_;
};

}  // namespace

std::unique_ptr<ListboxPeer> MakeListboxPeer(QtWindowPeer& parent, Listbox& model) {
  return std::make_unique<QtListboxPeer>(parent, model);
}

}  // namespace platform::qt
