// The list: a tree view over an item model that reads the Listbox's rows
// where they are, so that a row added or removed costs the same whatever
// the list's length, and that tells the view of a run of rows added or
// removed together at once.
#include <QAbstractItemModel>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTreeView>

#include <algorithm>
#include <functional>
#include <optional>
#include <utility>

#include "platform/qt/peers.h"
#include "platform/listbox.h"

namespace platform::qt {
namespace {

// Rows the view has not heard of yet, or no longer present in the Listbox
// but not yet gone from the view: one contiguous range under one parent,
// counted as the view counts. An expansion adds its children one by one
// and a collapse takes them away one by one; the view, told of each row
// on its own, pays for every signal far more than for the row.
struct Batch {
  bool removal = false;
  int parentTop = -1;  // -1: the top level
  int first = 0;
  int count = 0;
};

// Index ids: 0 for a top-level row, top + 1 for a row under top. While a
// batch is held, the model answers as the view knows the rows: without the
// rows added, with the rows removed.
class ListItemModel : public QAbstractItemModel {
 public:
  ListItemModel(Listbox& list, QObject* parent)
      : QAbstractItemModel(parent), list_(&list), columns_(ColumnsOf(list)) {}

  // The peer goes: the view shows nothing from now on.
  void Detach() {
    batch_.reset();
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

  const std::optional<Batch>& Held() const { return batch_; }
  // What announces the batch and what is owed with it (the peer's, while
  // it lasts).
  void SetFlush(std::function<void()> flush) { flush_ = std::move(flush); }
  void Flush() const {
    if (flush_) flush_();
  }

  // The Listbox has already added (removed) the row at (top, child): it
  // joins the batch when it continues it, and a batch starts when none is
  // held. False when the row does not continue the batch held.
  bool HoldInserted(int top, int child) {
    const int parent = child < 0 ? -1 : top;
    const int row = child < 0 ? top : child;
    if (!batch_) {
      batch_ = Batch{false, parent, row, 1};
      return true;
    }
    if (batch_->removal || batch_->parentTop != parent || row != batch_->first + batch_->count) {
      return false;
    }
    ++batch_->count;
    return true;
  }
  bool HoldRemoved(int top, int child) {
    const int parent = child < 0 ? -1 : top;
    const int row = child < 0 ? top : child;
    if (!batch_) {
      batch_ = Batch{true, parent, row, 1};
      return true;
    }
    if (!batch_->removal || batch_->parentTop != parent) return false;
    if (row == batch_->first - 1) {
      --batch_->first;
    } else if (row != batch_->first) {
      return false;
    }
    ++batch_->count;
    return true;
  }
  // Whether the Listbox's row (top, child) is one the view has yet to hear of.
  bool Unannounced(int top, int child) const {
    if (!batch_ || batch_->removal) return false;
    // A row under a top-level row not yet announced is not shown either.
    const int row = batch_->parentTop < 0 ? top : child;
    if (batch_->parentTop >= 0 && (child < 0 || top != batch_->parentTop)) return false;
    return row >= batch_->first && row < batch_->first + batch_->count;
  }

  // The batch, in one signal pair. While the view hears of the change, the
  // counts it reads are those from before.
  void Announce() {
    if (!batch_) return;
    const Batch b = *batch_;
    const QModelIndex parent =
        b.parentTop < 0 ? QModelIndex() : createIndex(b.parentTop, 0, quintptr{0});
    const int last = b.first + b.count - 1;
    if (b.removal) {
      beginRemoveRows(parent, b.first, last);
      batch_.reset();
      endRemoveRows();
    } else {
      beginInsertRows(parent, b.first, last);
      batch_.reset();
      endInsertRows();
    }
  }

  void CellChanged(int top, int child, int column) {
    const QModelIndex index = RowIndex(top, child, column);
    if (index.isValid()) Q_EMIT dataChanged(index, index, {Qt::DisplayRole});
  }
  void Reload() {
    batch_.reset();
    beginResetModel();
    if (list_) columns_ = ColumnsOf(*list_);
    endResetModel();
  }

  // The Listbox's row for the view's row `row` under `parentTop` (-1 for
  // the top level, else the view's top-level row); -1 for a row the
  // Listbox no longer holds.
  int ListRow(int parentTop, int row) const {
    if (!batch_ || batch_->parentTop != parentTop || row < batch_->first) return row;
    if (!batch_->removal) return row + batch_->count;
    return row < batch_->first + batch_->count ? -1 : row - batch_->count;
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
    return list_->TreeIsFolder(ListRow(-1, parent.row())) || ChildRows(parent.row()) > 0;
  }
  Qt::ItemFlags flags(const QModelIndex& index) const override {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.internalId() != 0) f |= Qt::ItemNeverHasChildren;
    return f;
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (!list_ || !index.isValid() || role != Qt::DisplayRole) return QVariant();
    const int top = ListRow(-1, TopOf(index));
    const int child = ChildOf(index) < 0 ? -1 : ListRow(TopOf(index), ChildOf(index));
    if (top < 0 || (child < 0 && ChildOf(index) >= 0)) return QVariant();
    return ToQString(list_->TreeCell(top, child, index.column()));
  }

 private:
  static int ColumnsOf(const Listbox& list) { return std::max(1, list.ColumnCount()); }
  int Shift(int parentTop) const {
    if (!batch_ || batch_->parentTop != parentTop) return 0;
    return batch_->removal ? batch_->count : -batch_->count;
  }
  int TopRows() const { return list_->TopCount() + Shift(-1); }
  int ChildRows(int top) const {
    const int listed = ListRow(-1, top);
    return (listed < 0 ? 0 : list_->ChildCount(listed)) + Shift(top);
  }

  Listbox* list_;
  int columns_;
  std::optional<Batch> batch_;
  std::function<void()> flush_;
};

// Every event the view or its viewport gets finds the batch announced: what
// the view then does (paints, lays out, answers the user's hand) it does on
// the rows the Listbox holds.
class EventHook : public QObject {
 public:
  EventHook(QObject* parent, std::function<void()> before)
      : QObject(parent), before_(std::move(before)) {}

 protected:
  bool eventFilter(QObject*, QEvent*) override {
    before_();
    return false;
  }

 private:
  std::function<void()> before_;
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

    hook_ = new EventHook(view_, [this] {
      if (Owed()) Flush();
    });
    view_->installEventFilter(hook_);
    view_->viewport()->installEventFilter(hook_);
    items_->SetFlush([this] { Flush(); });

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

    RegisterWidget(&model_, view_);
    ApplyFont();
    Place();
    view_->setVisible(model_.BoolProperty("Visible", true));
    view_->setEnabled(model_.BoolProperty("Enabled", true));
  }

  ~QtListboxPeer() override {
    UnregisterWidget(&model_);
    *alive_ = false;
    for (const QMetaObject::Connection& c : connections_) QObject::disconnect(c);
    // With the hook go its filter and a flush still queued.
    delete hook_.data();
    if (!view_) return;
    if (area_) area_->Forget(view_);
    // The view is emptied: a batch still held has nothing left to tell.
    items_->SetFlush(nullptr);
    items_->Detach();
    view_->hide();
    // This may run inside one of the view's own handlers.
    view_->deleteLater();
  }

  void Changed(const std::string& what) override {
    if (!view_) return;
    if (what == "ColumnCount") {
      Reset();
      return;
    }
    Flush();
    if (what == "TextSize") {
      ApplyFont();
    } else if (what == "Left" || what == "Top" || what == "Width" || what == "Height" ||
               what.rfind("Lock", 0) == 0) {
      Place();
    } else if (what == "Visible") {
      view_->setVisible(model_.BoolProperty("Visible", true));
    } else if (what == "Enabled") {
      view_->setEnabled(model_.BoolProperty("Enabled", true));
    }
  }

  void RowInserted(int32_t top, int32_t child) override {
    if (!view_) return;
    if (!items_->HoldInserted(top, child)) {
      Flush();
      items_->HoldInserted(top, child);
    }
    Schedule();
  }

  void RowRemoved(int32_t top, int32_t child) override {
    if (!view_) return;
    if (!items_->HoldRemoved(top, child)) {
      Flush();
      items_->HoldRemoved(top, child);
    }
    Schedule();
  }

  void CellChanged(int32_t top, int32_t child, int32_t column) override {
    if (!view_) return;
    // A row the view has yet to hear of shows its cells when it does.
    if (items_->Unannounced(top, child)) return;
    Flush();
    items_->CellChanged(top, child, column);
  }

  void ExpandedChanged(int32_t top) override {
    if (!view_) return;
    Flush();
    Sync sync(*this);
    view_->setExpanded(items_->TopIndex(top), model_.TreeExpanded(top));
  }

  void SelectionChanged() override {
    if (!view_) return;
    if (items_->Held()) {
      // Shown once the batch is: the row may be one the view has yet to
      // hear of, and a removal moves the view's current row anyway.
      selectionOwed_ = true;
      Schedule();
      return;
    }
    ApplySelection();
  }

  void Reset() override {
    if (!view_) return;
    selectionOwed_ = false;
    {
      Sync sync(*this);
      items_->Reload();
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

  bool Owed() const { return items_->Held() || selectionOwed_; }

  // The batch reaches the view at the latest once control is back in the
  // event loop; one queued call serves every batch until it runs.
  void Schedule() {
    if (scheduled_ || !hook_) return;
    scheduled_ = true;
    QMetaObject::invokeMethod(
        hook_,
        [this] {
          scheduled_ = false;
          Flush();
        },
        Qt::QueuedConnection);
  }

  // The view hears of the batch held, then shows the model's selection if
  // it is owed.
  void Flush() {
    if (!view_ || flushing_ || !Owed()) return;
    flushing_ = true;
    if (const std::optional<Batch> batch = items_->Held()) {
      {
        Sync sync(*this);
        items_->Announce();
      }
      // The view moves its current row off a removed one, and a row under a
      // later top-level row keeps an id naming its old parent: the model's
      // selection is what stands.
      if (batch->removal) selectionOwed_ = true;
    }
    if (selectionOwed_) {
      selectionOwed_ = false;
      ApplySelection();
    }
    flushing_ = false;
  }

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

  // The Listbox's flat row for a row of the view; -1 for one it no longer
  // holds.
  int FlatOf(const QModelIndex& index) const {
    const int top = items_->ListRow(-1, ListItemModel::TopOf(index));
    const int shownChild = ListItemModel::ChildOf(index);
    const int child = shownChild < 0 ? -1 : items_->ListRow(ListItemModel::TopOf(index), shownChild);
    if (top < 0 || (shownChild >= 0 && child < 0)) return -1;
    return model_.FlatIndex(top, child);
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

  void UserExpanded(const QModelIndex& index, bool expanded) {
    if (syncing_ || !index.isValid() || index.internalId() != 0) return;
    const int flat = FlatOf(index);
    if (flat < 0) return;
    const QPersistentModelIndex kept(index);
    const std::shared_ptr<bool> alive = alive_;
    model_.UserSetExpanded(flat, expanded);
    if (!*alive || !view_) return;
    // The children the handler added are held as a batch: the view hears
    // of them before it next paints, under the row it has already opened.
    Flush();
    if (!kept.isValid()) return;
    // The model may have kept the row as it was (a row that is no folder,
    // a handler that failed): the view shows what the model holds.
    const bool held = model_.TreeExpanded(kept.row());
    if (view_->isExpanded(kept) != held) {
      Sync sync(*this);
      view_->setExpanded(kept, held);
    }
  }

  void ApplyFont() {
    QFont font = view_->font();
    font.setPointSize(std::max(1, model_.IntProperty("TextSize", 10)));
    view_->setFont(font);
  }

  void Place() {
    if (area_) area_->Place(view_, model_);
  }

  Listbox& model_;
  QPointer<ContentArea> area_;
  QPointer<QTreeView> view_;
  ListItemModel* items_ = nullptr;
  QPointer<EventHook> hook_;
  int syncing_ = 0;
  bool selectionOwed_ = false;
  bool scheduled_ = false;
  bool flushing_ = false;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  std::vector<QMetaObject::Connection> connections_;
};

}  // namespace

void FlushList(QWidget* view) {
  auto* tree = qobject_cast<QTreeView*>(view);
  if (auto* items = tree ? dynamic_cast<ListItemModel*>(tree->model()) : nullptr) items->Flush();
}

std::unique_ptr<ListboxPeer> MakeListboxPeer(QtWindowPeer& parent, Listbox& model) {
  return std::make_unique<QtListboxPeer>(parent, model);
}

}  // namespace platform::qt
