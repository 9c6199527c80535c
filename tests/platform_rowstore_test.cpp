// The list's row store on its own: flat row indexes and places in the tree
// mapping to each other as rows come and go.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "platform/rowstore.h"

namespace {

using platform::RowPos;
using platform::RowStore;
using Names = std::vector<std::string>;

// The columns the cross-check reads; the last is never written.
constexpr int32_t kColumns = 5;

// The store beside a plain vector of the same rows; every step goes to both.
class Rows {
 public:
  void AddTop(const std::string& name, bool folder = false) {
    store.AddTop(name, folder);
    plain.push_back(Top{{name}, folder, {}});
  }
  void AddChild(int32_t top, const std::string& name) {
    const RowPos at = store.AddChild(top, name);
    auto& children = plain[static_cast<std::size_t>(top)].children;
    children.push_back({name});
    EXPECT_EQ(at, (RowPos{top, static_cast<int32_t>(children.size()) - 1})) << name;
  }
  void SetText(const RowPos& at, int32_t column, std::string_view text) {
    Cells& cells = CellsOf(at);
    if (cells.size() <= static_cast<std::size_t>(column)) cells.resize(column + 1);
    cells[static_cast<std::size_t>(column)] = text;
    store.SetText(at, column, text);
  }
  void Remove(int32_t top, int32_t child = -1) {
    store.Remove(RowPos{top, child});
    if (child < 0) {
      plain.erase(plain.begin() + top);
    } else {
      auto& children = plain[static_cast<std::size_t>(top)].children;
      children.erase(children.begin() + child);
    }
  }
  void Clear() {
    store.Clear();
    plain.clear();
  }

  // Top-level rows as they are, children indented: the list as a user
  // would read it.
  Names Flat() const {
    Names out;
    for (const Top& t : plain) {
      out.push_back(t.cells[0]);
      for (const Cells& c : t.children) out.push_back("  " + c[0]);
    }
    return out;
  }

  // Every flat row is found at its place, every place at its flat row, with
  // its cells and its folder mark.
  void ExpectAgree() const {
    const Names flat = Flat();
    ASSERT_EQ(store.Total(), static_cast<int64_t>(flat.size()));
    ASSERT_EQ(store.TopCount(), static_cast<int32_t>(plain.size()));
    int64_t row = 0;
    for (std::size_t top = 0; top < plain.size(); ++top) {
      const Top& t = plain[top];
      const auto topIndex = static_cast<int32_t>(top);
      ASSERT_EQ(store.ChildCount(topIndex), static_cast<int32_t>(t.children.size())) << flat[row];
      ASSERT_EQ(store.IsFolder(topIndex), t.folder) << flat[row];
      for (int32_t child = -1; child < static_cast<int32_t>(t.children.size()); ++child, ++row) {
        const RowPos at{topIndex, child};
        const Cells& cells = child < 0 ? t.cells : t.children[static_cast<std::size_t>(child)];
        const std::string& name = cells[0];
        ASSERT_EQ(store.Locate(row), at) << "row " << row << " (" << name << ")";
        ASSERT_EQ(store.FlatIndex(at), row) << name;
        for (int32_t column = 0; column < kColumns; ++column) {
          const auto c = static_cast<std::size_t>(column);
          ASSERT_EQ(store.Text(at, column), c < cells.size() ? cells[c] : "")
              << name << ", column " << column;
        }
      }
    }
  }

  RowStore store;

 private:
  using Cells = std::vector<std::string>;
  struct Top {
    Cells cells;
    bool folder = false;
    std::vector<Cells> children;
  };
  Cells& CellsOf(const RowPos& at) {
    Top& t = plain[static_cast<std::size_t>(at.top)];
    return at.child < 0 ? t.cells : t.children[static_cast<std::size_t>(at.child)];
  }
  std::vector<Top> plain;
};

TEST(RowStoreTest, FlatRowsAndPlacesAgreeAsRowsComeAndGo) {
  // More than 64 top-level rows, so that removing most of them leaves the
  // store to sweep out its empty slots (several times over).
  auto many = [](Rows& r, int n) {
    for (int i = 0; i < n; ++i) r.AddTop("t" + std::to_string(i), i % 7 == 0);
  };
  const struct {
    const char* what;
    std::function<void(Rows&)> steps;
    Names flat;
  } cases[] = {
      {"empty", [](Rows&) {}, {}},
      {"top-level rows added",
       [](Rows& r) {
         r.AddTop("a");
         r.AddTop("F", true);
         r.AddTop("b");
       },
       {"a", "F", "b"}},
      {"children added under a middle row, then a row after it",
       [](Rows& r) {
         r.AddTop("a");
         r.AddTop("F", true);
         r.AddTop("b");
         r.AddChild(1, "x");
         r.AddChild(1, "y");
         r.AddTop("c");
       },
       {"a", "F", "  x", "  y", "b", "c"}},
      {"children under the first and the last row",
       [](Rows& r) {
         r.AddTop("F", true);
         r.AddTop("G", true);
         r.AddChild(1, "g1");
         r.AddChild(0, "f1");
         r.AddChild(1, "g2");
       },
       {"F", "  f1", "G", "  g1", "  g2"}},
      {"top-level rows removed at the front, middle and back",
       [](Rows& r) {
         for (const char* n : {"a", "b", "c", "d", "e"}) r.AddTop(n);
         r.Remove(0);
         r.Remove(1);
         r.Remove(2);
       },
       {"b", "d"}},
      {"a folder removed with its children",
       [](Rows& r) {
         r.AddTop("a");
         r.AddTop("F", true);
         r.AddChild(1, "x");
         r.AddChild(1, "y");
         r.AddTop("b");
         r.Remove(1);
       },
       {"a", "b"}},
      {"children removed at the front, middle and back",
       [](Rows& r) {
         r.AddTop("F", true);
         for (const char* n : {"1", "2", "3", "4", "5"}) r.AddChild(0, n);
         r.AddTop("b");
         r.Remove(0, 0);
         r.Remove(0, 1);
         r.Remove(0, 2);
       },
       {"F", "  2", "  4", "b"}},
      {"a child added after removals under its row",
       [](Rows& r) {
         r.AddTop("F", true);
         r.AddChild(0, "1");
         r.AddChild(0, "2");
         r.Remove(0, 0);
         r.AddChild(0, "3");
       },
       {"F", "  2", "  3"}},
      {"most rows removed from the front, sweeping, then rows added",
       [&many](Rows& r) {
         many(r, 100);
         r.AddChild(98, "c");
         for (int i = 0; i < 97; ++i) r.Remove(0);
         r.AddTop("new");
         r.AddChild(1, "c2");
       },
       {"t97", "t98", "  c", "  c2", "t99", "new"}},
      {"every other row removed from the back, sweeping midway",
       [&many](Rows& r) {
         many(r, 80);
         r.AddChild(0, "c");
         for (int i = 78; i >= 0; i -= 2) r.Remove(i);
         for (int i = 38; i >= 4; --i) r.Remove(i);
       },
       {"t1", "t3", "t5", "t7", "t79"}},
      {"cleared after sweeps, then filled anew",
       [&many](Rows& r) {
         many(r, 70);
         for (int i = 0; i < 60; ++i) r.Remove(5);
         r.Clear();
         r.AddTop("F", true);
         r.AddChild(0, "x");
       },
       {"F", "  x"}},
      {"cells written in every column of top-level and child rows",
       [](Rows& r) {
         r.AddTop("a");
         r.AddTop("F", true);
         r.AddChild(1, "x");
         r.SetText(RowPos{0, -1}, 1, "a1");
         r.SetText(RowPos{1, 0}, 3, "x3");
         r.SetText(RowPos{1, -1}, 2, "F2");
         r.SetText(RowPos{0, -1}, 0, "A");
         r.SetText(RowPos{1, 0}, 1, "");
         r.AddTop("b");
       },
       {"A", "F", "  x", "b"}},
      {"rows added after removals show none of the removed rows' cells",
       [](Rows& r) {
         r.AddTop("a");
         r.AddTop("G", true);
         r.AddChild(1, "g");
         r.SetText(RowPos{0, -1}, 3, "gone");
         r.SetText(RowPos{1, 0}, 2, "gone too");
         r.Remove(0);
         r.Remove(0);
         r.AddTop("F", true);
         r.AddChild(0, "x");
         r.AddTop("b");
       },
       {"F", "  x", "b"}},
      {"texts longer than a block rewritten until the store compacts",
       [](Rows& r) {
         for (const char* n : {"a", "b", "c", "d"}) r.AddTop(n, true);
         r.AddChild(2, "x");
         r.SetText(RowPos{2, 0}, 1, "x1");
         for (char k = 'a'; k < 'e'; ++k) {
           r.SetText(RowPos{1, -1}, 1 + k % 2, std::string(70000, k));
           r.SetText(RowPos{3, -1}, 3, std::string(300, k));
         }
         r.Remove(0);
       },
       {"b", "c", "  x", "d"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Rows rows;
    c.steps(rows);
    EXPECT_EQ(rows.Flat(), c.flat);
    rows.ExpectAgree();
  }
}

TEST(RowStoreTest, RandomStepsAgreeWithAPlainVector) {
  std::mt19937 random(20240601);
  Rows rows;
  int32_t tops = 0;
  int named = 0;
  for (int step = 0; step < 4000; ++step) {
    const auto pick = [&](int32_t n) {
      return static_cast<int32_t>(std::uniform_int_distribution<int32_t>(0, n - 1)(random));
    };
    const int what = pick(100);
    const std::string name = "r" + std::to_string(named++);
    if (what < 2) {
      rows.Clear();
      tops = 0;
    } else if (tops == 0 || (what < 40 && tops < 300)) {
      rows.AddTop(name, what % 3 == 0);
      ++tops;
    } else if (what < 65) {
      rows.AddChild(pick(tops), name);
    } else {
      const int32_t top = pick(tops);
      const int32_t children = rows.store.ChildCount(top);
      if (children > 0 && what < 85) {
        rows.Remove(top, pick(children));
      } else {
        rows.Remove(top);
        --tops;
      }
    }
    if (tops > 0 && pick(3) == 0) {
      // A cell rewritten: now and then with a text longer than a block,
      // or with one the store itself holds.
      const int32_t top = pick(tops);
      const RowPos at{top, pick(rows.store.ChildCount(top) + 1) - 1};
      const int32_t column = pick(kColumns - 1);
      if (pick(8) == 0) {
        rows.SetText(at, column, rows.store.Text(RowPos{pick(tops), -1}, pick(kColumns)));
      } else {
        const std::size_t length = pick(40) == 0 ? 70000 + pick(1000) : pick(200);
        rows.SetText(at, column, std::string(length, static_cast<char>('a' + pick(26))));
      }
    }
    if (step % 50 == 0 || step > 3900) {
      SCOPED_TRACE("step " + std::to_string(step));
      rows.ExpectAgree();
      if (HasFatalFailure()) return;
    }
  }
  rows.ExpectAgree();
}

}  // namespace
