// The framework's own models, without the palette: the list's flat row
// model, counted references and casts, and the event loop's treatment of
// handlers that fail.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/bevelbutton.h"
#include "platform/control.h"
#include "platform/events.h"
#include "platform/listbox.h"
#include "platform/object.h"
#include "platform/runtime.h"
#include "platform/scripted/scripted_display.h"
#include "platform/timer.h"
#include "platform/window.h"
#include "tests/support/growth.h"
#include "tests/support/palette_fixture.h"

namespace {

using platform::EventArgs;
using platform::Listbox;
using platform::New;
using platform::Object;
using platform::Ref;
using platform::String;
using testsupport::GrowsLinearly;
using testsupport::ScopedEnv;
using testsupport::SecondsOf;
using testsupport::TempDir;
using RowList = std::vector<std::pair<std::string, std::string>>;
using Names = std::vector<std::string>;

// A plain window of its own on the scripted display, holding the controls a
// test puts on it.
class ModelTest : public ::testing::Test {
 protected:
  ModelTest()
      : homeEnv_("HOME", home_.path().string()),
        configEnv_("XDG_CONFIG_HOME", (home_.path() / "config").string()) {
    platform::RuntimeInit(display);
    window = New<platform::Window>();
    window->Constructor();
  }
  ~ModelTest() override {
    window->Close();
    window.reset();
    platform::RuntimeShutdown();
  }

  Ref<Listbox> AddList() {
    Ref<Listbox> list = New<Listbox>();
    list->Constructor();
    window->AddControl("List", list);
    return list;
  }
  void On(const Ref<Object>& source, const std::string& event,
          std::function<void(const EventArgs&)> handler) {
    platform::InstallInstanceEventHandler(
        source, event, [handler = std::move(handler)](const Ref<Object>&, const EventArgs& args) {
          handler(args);
        });
  }
  Names Unhandled() const {
    Names out;
    for (const std::string& line : display.Log()) {
      if (line.rfind("unhandled: ", 0) == 0) out.push_back(line);
    }
    return out;
  }

  TempDir home_;
  ScopedEnv homeEnv_, configEnv_;
  platform::ScriptedDisplay display;
  Ref<platform::Window> window;
};

class ListboxTest : public ModelTest {
 protected:
  ListboxTest() : list(AddList()) {
    On(list, "ExpandRow", [this](const EventArgs& args) {
      const int32_t row = platform::VariantToInt32(args.at(0));
      events.push_back("expand " + std::to_string(row));
      // As the palette does: add, then write the row just added.
      for (const std::string& child : children[list->Cell(row, 0).str()]) {
        list->AddRow("");
        list->SetCell(list->LastIndex(), 0, child);
        list->SetCell(list->LastIndex(), 1, list->Cell(row, 0));
      }
    });
    On(list, "CollapseRow", [this](const EventArgs& args) {
      const int32_t row = platform::VariantToInt32(args.at(0));
      events.push_back("collapse " + std::to_string(row));
      // The children are still there for the handler to remove, last first.
      const int32_t count = static_cast<int32_t>(children[list->Cell(row, 0).str()].size());
      for (int32_t k = row + count; k > row; --k) {
        EXPECT_EQ(list->Cell(k, 1), list->Cell(row, 0)) << "row " << k;
        list->RemoveRow(k);
      }
    });
  }

  RowList Rows() const {
    RowList rows;
    for (int32_t r = 0; r < list->ListCount(); ++r) {
      rows.emplace_back(list->Cell(r, 0).str(), list->Cell(r, 1).str());
    }
    return rows;
  }

  Ref<Listbox> list;
  std::map<std::string, Names> children;  // what ExpandRow adds, by folder name
  Names events;
};

// ---------------------------------------------------------------- rows

TEST_F(ListboxTest, ExpandingAddsUnderTheFolderAndCollapsingLeavesItToTheHandler) {
  children = {{"F", {"f1", "f2"}}, {"G", {"g1"}}};
  list->AddRow("a");
  list->AddFolder("F");
  list->AddRow("b");
  list->AddFolder("G");
  EXPECT_EQ(list->ListCount(), 4);
  EXPECT_TRUE(list->RowIsFolder(1));
  EXPECT_FALSE(list->RowIsFolder(2));
  EXPECT_FALSE(list->Expanded(1));

  list->SetExpanded(1, true);
  EXPECT_EQ(events, Names{"expand 1"});
  EXPECT_TRUE(list->Expanded(1));
  // Right under F in the order added, not at the end of the list.
  EXPECT_EQ(Rows(), (RowList{{"a", ""}, {"F", ""}, {"f1", "F"}, {"f2", "F"}, {"b", ""},
                             {"G", ""}}));
  EXPECT_EQ(list->LastIndex(), 3);

  // The lower folder, moved down by F's children, expands under itself.
  list->SetExpanded(5, true);
  EXPECT_EQ(Rows(), (RowList{{"a", ""}, {"F", ""}, {"f1", "F"}, {"f2", "F"}, {"b", ""},
                             {"G", ""}, {"g1", "G"}}));
  // Once ExpandRow is over, rows go to the end again.
  list->AddRow("c");
  EXPECT_EQ(list->Cell(7, 0), "c");
  EXPECT_EQ(list->LastIndex(), 7);

  // Setting the state it already has raises nothing; plain and child rows
  // read False and ignore the setting.
  events.clear();
  list->SetExpanded(1, true);
  for (int32_t row : {0, 2, 4, 6}) {
    list->SetExpanded(row, true);
    EXPECT_FALSE(list->Expanded(row)) << row;
  }
  EXPECT_TRUE(events.empty());

  list->SetExpanded(1, false);
  EXPECT_EQ(events, Names{"collapse 1"});
  EXPECT_FALSE(list->Expanded(1));
  EXPECT_EQ(Rows(), (RowList{{"a", ""}, {"F", ""}, {"b", ""}, {"G", ""}, {"g1", "G"}, {"c", ""}}));
  EXPECT_EQ(list->LastIndex(), 5);  // "c", wherever it stands now

  // Expanded again, the same children come back in the same place.
  list->SetExpanded(1, true);
  EXPECT_EQ(Rows(), (RowList{{"a", ""}, {"F", ""}, {"f1", "F"}, {"f2", "F"}, {"b", ""},
                             {"G", ""}, {"g1", "G"}, {"c", ""}}));
}

TEST_F(ListboxTest, DeleteAllRowsRaisesNothingAndForgetsSelectionAndLastRow) {
  children = {{"F", {"f1"}}};
  list->AddFolder("F");
  list->AddRow("a");
  list->SetExpanded(0, true);
  list->SetListIndex(2);
  EXPECT_EQ(list->ListIndex(), 2);
  events.clear();

  list->DeleteAllRows();
  EXPECT_TRUE(events.empty());
  EXPECT_EQ(list->ListCount(), 0);
  EXPECT_EQ(list->ListIndex(), -1);
  EXPECT_EQ(list->LastIndex(), -1);

  // A new fill starts from nothing: its folder is collapsed, its rows top-level.
  list->AddFolder("F");
  list->AddRow("b");
  EXPECT_FALSE(list->Expanded(0));
  EXPECT_EQ(Rows(), (RowList{{"F", ""}, {"b", ""}}));
}

TEST_F(ListboxTest, ColumnOneIsKeptWhileOnlyOneColumnIsShown) {
  list->SetColumnCount(2);
  list->AddFolder("");
  list->SetCell(list->LastIndex(), 1, "x<>y<>");
  list->SetCell(list->LastIndex(), 0, "F");
  list->AddRow("a");
  list->SetColumnCount(1);
  EXPECT_EQ(list->ColumnCount(), 1);

  list->SetCell(1, 1, "written after");
  EXPECT_EQ(Rows(), (RowList{{"F", "x<>y<>"}, {"a", "written after"}}));
  // A cell never written reads empty, also past every column there is.
  EXPECT_EQ(list->Cell(0, 7), "");
  list->SetCell(0, 0, "G");
  EXPECT_EQ(Rows(), (RowList{{"G", "x<>y<>"}, {"a", "written after"}}));
}

TEST_F(ListboxTest, SelectionAndLastRowFollowTheirRowsOnRemoval) {
  EXPECT_EQ(list->ListIndex(), -1);
  EXPECT_EQ(list->LastIndex(), -1);
  for (const char* name : {"a", "b", "c", "d"}) list->AddRow(name);
  EXPECT_EQ(list->LastIndex(), 3);
  list->SetListIndex(2);

  list->RemoveRow(0);
  EXPECT_EQ(Rows(), (RowList{{"b", ""}, {"c", ""}, {"d", ""}}));
  EXPECT_EQ(list->ListIndex(), 1);  // still "c"
  EXPECT_EQ(list->LastIndex(), 2);  // still "d"

  list->RemoveRow(1);
  EXPECT_EQ(list->ListIndex(), -1);  // the selected row went
  EXPECT_EQ(list->LastIndex(), 1);

  // A selection outside the list is no selection.
  list->SetListIndex(5);
  EXPECT_EQ(list->ListIndex(), -1);
}

TEST_F(ListboxTest, RowsOutsideTheListRaiseOutOfBounds) {
  list->AddRow("a");
  list->AddFolder("F");
  const struct {
    const char* what;
    std::function<void()> call;
  } cases[] = {
      {"Cell(-1, 0)", [&] { list->Cell(-1, 0); }},
      {"Cell(count, 0)", [&] { list->Cell(2, 0); }},
      {"Cell(0, -1)", [&] { list->Cell(0, -1); }},
      {"SetCell(count, 0)", [&] { list->SetCell(2, 0, "x"); }},
      {"SetCell(0, -1)", [&] { list->SetCell(0, -1, "x"); }},
      {"RemoveRow(count)", [&] { list->RemoveRow(2); }},
      {"RemoveRow(-1)", [&] { list->RemoveRow(-1); }},
      {"Expanded(count)", [&] { list->Expanded(2); }},
      {"SetExpanded(count)", [&] { list->SetExpanded(2, true); }},
      {"RowIsFolder(-1)", [&] { list->RowIsFolder(-1); }},
  };
  for (const auto& c : cases) {
    EXPECT_THROW(c.call(), platform::OutOfBoundsException) << c.what;
  }
  EXPECT_EQ(Rows(), (RowList{{"a", ""}, {"F", ""}}));
  EXPECT_TRUE(events.empty());
  list->DeleteAllRows();
  EXPECT_THROW(list->Cell(0, 0), platform::OutOfBoundsException);
}

TEST_F(ListboxTest, ExpandRowThatFailsLeavesLaterAddsAtTheTopLevel) {
  On(list, "ExpandRow", [this](const EventArgs&) {
    list->AddRow("f1");
    throw platform::NilObjectException();
  });
  list->AddFolder("F");
  list->AddRow("a");
  list->UserSetExpanded(0, true);  // delivered as the user's action
  EXPECT_EQ(Unhandled().size(), 1u);
  list->AddRow("b");
  EXPECT_EQ(list->Cell(list->ListCount() - 1, 0), "b");
  EXPECT_EQ(list->Cell(1, 0), "f1");
}

TEST_F(ListboxTest, ExpandRowThatEmptiesItsOwnRowAddsAtTheTopLevel) {
  const struct {
    const char* what;
    std::function<void()> change;
  } cases[] = {
      {"removes its folder row", [this] { list->RemoveRow(1); }},
      {"deletes every row", [this] { list->DeleteAllRows(); }},
  };
  for (const auto& c : cases) {
    list->DeleteAllRows();
    On(list, "ExpandRow", [&](const EventArgs&) {
      c.change();
      list->AddRow("added");
    });
    list->AddRow("a");
    list->AddFolder("F");
    list->SetExpanded(1, true);
    ASSERT_GE(list->ListCount(), 1) << c.what;
    EXPECT_EQ(list->Cell(list->ListCount() - 1, 0), "added") << c.what;
    EXPECT_EQ(list->LastIndex(), list->ListCount() - 1) << c.what;
    EXPECT_FALSE(list->RowIsFolder(list->LastIndex())) << c.what;
  }
}

TEST_F(ListboxTest, ManyRemovalsAgreeWithAPlainListOfRows) {
  // Enough top-level rows that removals leave gaps the list has to close
  // several times over; every step is checked against a plain vector.
  struct Expected {
    std::string name, parent;
    bool child;
  };
  std::vector<Expected> expected;
  for (int i = 0; i < 300; ++i) {
    const std::string name = "r" + std::to_string(i);
    if (i % 10 == 0) {
      list->AddFolder(name);
      children[name] = {name + ".a", name + ".b", name + ".c"};
    } else {
      list->AddRow(name);
    }
    expected.push_back({name, "", false});
  }
  for (int32_t row = list->ListCount() - 1; row >= 0; --row) {
    if (!list->RowIsFolder(row)) continue;
    list->SetExpanded(row, true);
    const std::string folder = expected[static_cast<std::size_t>(row)].name;
    for (int k = 2; k >= 0; --k) {
      expected.insert(expected.begin() + row + 1, {children[folder][k], folder, true});
    }
  }
  auto where = [&](const std::string& name) {
    for (std::size_t i = 0; i < expected.size(); ++i) {
      if (expected[i].name == name) return static_cast<int32_t>(i);
    }
    return int32_t{-1};
  };
  // The folders were expanded from the bottom up: r0's last child came last.
  const std::string selected = "r155", lastAdded = "r0.c";
  list->SetListIndex(where(selected));
  ASSERT_EQ(list->Cell(list->ListIndex(), 0), selected);
  ASSERT_EQ(list->LastIndex(), where(lastAdded));
  uint32_t seed = 12345;
  while (expected.size() > 20) {
    seed = seed * 1103515245u + 12345u;
    const auto row = static_cast<int32_t>((seed >> 8) % expected.size());
    list->RemoveRow(row);
    // A top-level row takes its children with it.
    auto end = expected.begin() + row + 1;
    if (!expected[static_cast<std::size_t>(row)].child) {
      while (end != expected.end() && end->child) ++end;
    }
    expected.erase(expected.begin() + row, end);

    ASSERT_EQ(list->ListCount(), static_cast<int32_t>(expected.size()));
    for (std::size_t i = 0; i < expected.size(); ++i) {
      const auto r = static_cast<int32_t>(i);
      ASSERT_EQ(list->Cell(r, 0), expected[i].name) << "row " << i;
      ASSERT_EQ(list->Cell(r, 1), expected[i].parent) << "row " << i;
      ASSERT_EQ(list->RowIsFolder(r), !expected[i].child && !children[expected[i].name].empty())
          << "row " << i;
    }
    ASSERT_EQ(list->ListIndex(), where(selected));
    ASSERT_EQ(list->LastIndex(), where(lastAdded));
  }
  // What is left still takes new rows at its end.
  list->AddRow("new");
  EXPECT_EQ(list->Cell(static_cast<int32_t>(expected.size()), 0), "new");
}

TEST_F(ListboxTest, CellsKeepTheirTextsThroughManyRewritesAndRemovals) {
  // Rewrites, expansions and removals in every column, long enough texts
  // and many of them, so that the space the list keeps its texts in is
  // tidied several times over; a plain table of the cells is the truth.
  children = {{"F", {"child one", "child two", "child three"}}};
  std::vector<std::vector<std::string>> expected;
  auto check = [&](const std::string& when) {
    ASSERT_EQ(list->ListCount(), static_cast<int32_t>(expected.size())) << when;
    for (std::size_t r = 0; r < expected.size(); ++r) {
      for (std::size_t c = 0; c < 4; ++c) {
        const std::string want = c < expected[r].size() ? expected[r][c] : "";
        ASSERT_EQ(list->Cell(static_cast<int32_t>(r), static_cast<int32_t>(c)), want)
            << when << ", row " << r << ", column " << c;
      }
    }
  };
  list->AddFolder("F");
  expected.push_back({"F"});
  for (int i = 0; i < 200; ++i) {
    list->AddRow("row " + std::to_string(i));
    expected.push_back({"row " + std::to_string(i)});
  }
  uint32_t seed = 99;
  auto next = [&seed](uint32_t bound) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % bound;
  };
  for (int step = 0; step < 3000; ++step) {
    const auto row = static_cast<int32_t>(next(static_cast<uint32_t>(expected.size())));
    // The folder's children are its handlers' to add and remove.
    if (list->Expanded(0) && row >= 1 && row <= 3) continue;
    switch (next(8)) {
      case 0:
        if (expected[static_cast<std::size_t>(row)][0] != "F" && expected.size() > 20) {
          list->RemoveRow(row);
          expected.erase(expected.begin() + row);
          break;
        }
        [[fallthrough]];
      default: {
        const auto column = static_cast<int32_t>(next(4));
        if (row == 0 && column == 0) break;  // the folder keeps its name
        // Now and then one longer than the list keeps in a block.
        const std::size_t length = next(50) == 0 ? 70000 + next(100) : next(300);
        const std::string text(length, static_cast<char>('a' + next(26)));
        list->SetCell(row, column, text);
        auto& cells = expected[static_cast<std::size_t>(row)];
        if (cells.size() <= static_cast<std::size_t>(column)) cells.resize(column + 1);
        cells[static_cast<std::size_t>(column)] = text;
        break;
      }
      case 1: {
        const bool open = !list->Expanded(0);
        list->SetExpanded(0, open);
        if (open) {
          for (std::size_t k = 0; k < 3; ++k) {
            expected.insert(expected.begin() + 1 + static_cast<std::ptrdiff_t>(k),
                            {children["F"][k], "F"});
          }
        } else {
          expected.erase(expected.begin() + 1, expected.begin() + 4);
        }
        break;
      }
    }
    if (step % 100 == 0) check("step " + std::to_string(step));
  }
  check("the end");
}

TEST_F(ListboxTest, RowCostStaysFlatWithTheListsLength) {
  // A row model that shifts or re-indexes the whole list per row turns a
  // step quadratic: it grows 100x from n rows to 10n.
  auto addRows = [this](int32_t rows) {
    for (int32_t i = 0; i < rows; ++i) list->AddRow("r" + std::to_string(i));
  };
  // A folder of `rows` children with `rows` rows after it.
  auto addFolder = [&](int32_t rows) {
    Names& many = children["F"];
    many.clear();
    for (int32_t i = 0; i < rows; ++i) many.push_back("c" + std::to_string(i));
    list->AddFolder("F");
    addRows(rows);
  };
  const struct {
    const char* step;
    std::function<double(int32_t rows)> timed;
  } steps[] = {
      {"add", [&](int32_t rows) { return SecondsOf([&] { addRows(rows); }); }},
      {"drain", [&](int32_t rows) {
         addRows(rows);
         const double seconds = SecondsOf([&] {
           for (int32_t i = 0; i < rows; ++i) list->RemoveRow(0);
         });
         EXPECT_EQ(list->ListCount(), 0);
         return seconds;
       }},
      {"expand", [&](int32_t rows) {
         addFolder(rows);
         // Once before, so that the memory's first touch, which grows with
         // the machine's caches as much as with the rows, is not timed.
         list->SetExpanded(0, true);
         list->SetExpanded(0, false);
         const double seconds = SecondsOf([&] { list->SetExpanded(0, true); });
         EXPECT_EQ(list->ListCount(), 1 + 2 * rows);
         EXPECT_EQ(list->Cell(rows, 0), "c" + std::to_string(rows - 1));
         EXPECT_EQ(list->Cell(rows + 1, 0), "r0");
         return seconds;
       }},
      {"collapse", [&](int32_t rows) {
         addFolder(rows);
         list->SetExpanded(0, true);
         const double seconds = SecondsOf([&] { list->SetExpanded(0, false); });
         EXPECT_EQ(list->ListCount(), 1 + rows);
         return seconds;
       }},
  };
  for (const auto& step : steps) {
    EXPECT_TRUE(GrowsLinearly(step.step, 2000, [&](int32_t rows) {
      list->DeleteAllRows();
      return step.timed(rows);
    }));
  }
}

// ---------------------------------------------------------------- objects

TEST(ObjectModelTest, MemberAccessThroughNilRaises) {
  Ref<Listbox> list;
  Ref<platform::Window> window;
  Ref<Object> object;
  const struct {
    const char* what;
    std::function<void()> call;
  } cases[] = {
      {"method", [&] { list->AddRow("a"); }},
      {"const method", [&] { (void)window->Width(); }},
      {"dereference", [&] { (void)*object; }},
      {"Deref", [&] { (void)list.Deref(); }},
      {"nil passed where an object is needed",
       [&] { platform::InstallInstanceEventHandler(object, "Action", {}); }},
  };
  for (const auto& c : cases) {
    EXPECT_THROW(c.call(), platform::NilObjectException) << c.what;
  }
}

TEST(ObjectModelTest, CastChecksTheClass) {
  Ref<Object> list = New<Listbox>();
  Ref<Object> button = New<platform::BevelButton>();

  // The right class, or a base of it: the same object, one more reference.
  Ref<Listbox> asList = platform::Cast<Listbox>(list);
  EXPECT_EQ(asList.get(), list.get());
  EXPECT_EQ(list.use_count(), 2);
  EXPECT_EQ(platform::Cast<platform::Control>(button).get(), button.get());

  EXPECT_THROW(platform::Cast<Listbox>(button), platform::IllegalCastException);
  EXPECT_TRUE(platform::TryCast<Listbox>(button).IsNil());
  EXPECT_TRUE(platform::Cast<Listbox>(Ref<Object>()).IsNil());  // nil stays nil
  EXPECT_EQ(button.use_count(), 1);  // a failed cast keeps no reference
}

struct Counts {
  int windows = 0, lists = 0;
};
class CountedList : public Listbox {
 public:
  explicit CountedList(Counts& counts) : counts_(counts) {}
  ~CountedList() override { ++counts_.lists; }

 private:
  Counts& counts_;
};
class CountedWindow : public platform::Window {
 public:
  explicit CountedWindow(Counts& counts) : counts_(counts) {}
  ~CountedWindow() override { ++counts_.windows; }

 private:
  Counts& counts_;
};

TEST(ObjectModelTest, LastReferenceFreesTheObjectOnce) {
  Counts counts;
  {
    Ref<CountedList> list = New<CountedList>(counts);
    Ref<Object> asObject = list;
    Ref<Listbox> cast = platform::Cast<Listbox>(asObject);
    Ref<Listbox> again = platform::RefTo<Listbox>(*list);
    list.reset();
    asObject.reset();
    cast.reset();
    EXPECT_EQ(counts.lists, 0);
    again.reset();
    EXPECT_EQ(counts.lists, 1);
  }
  EXPECT_EQ(counts.lists, 1);
}

TEST(ObjectModelTest, WindowAndItsControlGoTogetherOnce) {
  // The control knows its window without holding it, so the two are no
  // cycle: when the last outside reference goes, both are freed, once.
  TempDir home;
  ScopedEnv homeEnv("HOME", home.path().string());
  ScopedEnv configEnv("XDG_CONFIG_HOME", (home.path() / "config").string());
  platform::ScriptedDisplay display;
  platform::RuntimeInit(display);
  Counts counts;
  {
    Ref<CountedWindow> window = New<CountedWindow>(counts);
    window->Constructor();
    Ref<CountedList> list = New<CountedList>(counts);
    list->Constructor();
    window->AddControl("List", list);
    EXPECT_EQ(list->Window().get(), window.get());
    list.reset();
    EXPECT_EQ(counts.lists, 0);  // the window holds it

    window->Close();
    EXPECT_EQ(counts.lists, 1);
    EXPECT_EQ(counts.windows, 0);
  }
  EXPECT_EQ(counts.windows, 1);
  EXPECT_EQ(counts.lists, 1);
  platform::RuntimeShutdown();
}

// ---------------------------------------------------------------- runtime

TEST_F(ModelTest, FailingEventIsReportedAndTheLoopGoesOn) {
  Names ran;
  const struct {
    const char* what;
    std::function<void()> raise;
    const char* reported;
  } failures[] = {
      {"nil access", [] { Ref<Listbox>()->AddRow("x"); }, "NilObjectException"},
      {"failed cast",
       [] { platform::Cast<Listbox>(Ref<Object>(New<platform::BevelButton>())); },
       "IllegalCastException"},
      {"standard exception", [] { throw std::runtime_error("disk on fire"); }, "disk on fire"},
      {"no exception class at all", [] { throw 42; }, "unknown exception"},
  };
  for (const auto& f : failures) {
    display.Post([&] {
      ran.push_back(std::string(f.what) + " starts");
      f.raise();
      ran.push_back(std::string(f.what) + " goes on");
    });
  }
  display.Post([&] { ran.push_back("next event"); });

  testing::internal::CaptureStderr();
  display.Run();
  const std::string stderrText = testing::internal::GetCapturedStderr();

  EXPECT_EQ(ran, (Names{"nil access starts", "failed cast starts", "standard exception starts",
                        "no exception class at all starts", "next event"}));
  const Names reports = Unhandled();
  ASSERT_EQ(reports.size(), std::size(failures));
  for (std::size_t i = 0; i < reports.size(); ++i) {
    EXPECT_NE(reports[i].find(failures[i].reported), std::string::npos) << reports[i];
    EXPECT_NE(stderrText.find(failures[i].reported), std::string::npos) << failures[i].what;
  }
  EXPECT_TRUE(window->IsOpen());
}

TEST_F(ModelTest, RepeatingTimerFiresOncePerPeriodAndOutlivesAFailingTick) {
  Ref<platform::Timer> timer = New<platform::Timer>();
  window->AddControl("Timer", timer);
  timer->SetProperty("Mode", 2);
  timer->SetProperty("Period", 1000);
  int ticks = 0;
  On(timer, "Action", [&](const EventArgs&) {
    ++ticks;
    if (ticks == 2) throw platform::NilObjectException();
  });

  testing::internal::CaptureStderr();
  const struct {
    int64_t milliseconds;
    int ticks;
  } steps[] = {{999, 0}, {1, 1}, {999, 1}, {1, 2}, {2500, 4}, {500, 5}};
  for (const auto& s : steps) {
    display.AdvanceClock(s.milliseconds);
    EXPECT_EQ(ticks, s.ticks) << "at " << display.Now() << " ms";
  }
  const std::string stderrText = testing::internal::GetCapturedStderr();
  EXPECT_EQ(Unhandled().size(), 1u);
  EXPECT_NE(stderrText.find("NilObjectException"), std::string::npos);

  // A closed window's timer stops, and may then be freed safely.
  window->Close();
  timer.reset();
  display.AdvanceClock(5000);
  EXPECT_EQ(ticks, 5);
}

}  // namespace
