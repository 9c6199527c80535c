// The scripts folder as a tree, and what a double-click runs.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>

#include "tests/support/palette_fixture.h"

namespace {

using testsupport::PaletteTest;
namespace fs = std::filesystem;
using RowList = std::vector<std::pair<std::string, std::string>>;
using Names = std::vector<std::string>;

class ScriptTreeTest : public PaletteTest {
 protected:
  // The palette opened on `folder` through the preferences file.
  void OpenOn(const fs::path& folder) {
    WritePrefs("10\n20\n150\n200\n" + folder.string() + "\n");
    Start();
  }
};

TEST_F(ScriptTreeTest, ExampleFolderFillsExpandsAndCollapses) {
  const fs::path folder = MakeFolder("scripts", {"A.jsx", "Tools/b.scpt", "Tools/c.app"});
  OpenOn(folder);

  EXPECT_EQ(Rows(), (RowList{{"A.jsx", ""}, {"Tools", "b.scpt<>c.app<>"}}));
  auto list = window->LB1();
  EXPECT_EQ(list->ColumnCount(), 1);
  EXPECT_TRUE(list->RowIsFolder(1));
  EXPECT_FALSE(list->Expanded(1));

  list->SetExpanded(1, true);
  EXPECT_EQ(Rows(), (RowList{{"A.jsx", ""}, {"Tools", "b.scpt<>c.app<>"}, {"b.scpt", "Tools"},
                          {"c.app", "Tools"}}));
  list->SetExpanded(1, false);
  EXPECT_EQ(Rows(), (RowList{{"A.jsx", ""}, {"Tools", "b.scpt<>c.app<>"}}));

  // The child list was fixed at the fill: a change on disk shows only at
  // the next one.
  fs::remove(folder / "Tools" / "b.scpt");
  list->SetExpanded(1, true);
  EXPECT_EQ(Shown(), (Names{"A.jsx", "Tools", "b.scpt", "c.app"}));
  EXPECT_TRUE(display.Messages().empty());
}

TEST_F(ScriptTreeTest, DoubleClickRunsEachRowByItsExtension) {
  const fs::path folder = MakeFolder("scripts", {"A.jsx", "Tools/b.scpt", "Tools/c.app"});
  OpenOn(folder);
  host.calls.clear();

  DoubleClick(0);  // A.jsx
  EXPECT_EQ(host.calls, (Names{"gojs " + (folder / "A.jsx").string()}));

  host.calls.clear();
  DoubleClick(1);  // Tools opens, nothing runs
  EXPECT_TRUE(host.calls.empty());
  EXPECT_EQ(Shown(), (Names{"A.jsx", "Tools", "b.scpt", "c.app"}));

  DoubleClick(2);  // b.scpt
  EXPECT_EQ(host.calls, (Names{"goas " + (folder / "Tools" / "b.scpt").string()}));

  DoubleClick(1);  // Tools closes, and nothing is looked up for it
  EXPECT_EQ(Shown(), (Names{"A.jsx", "Tools"}));
  EXPECT_EQ(host.calls.size(), 1u);
  EXPECT_TRUE(display.Messages().empty());
}

}  // namespace
