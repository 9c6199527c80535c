// The palette window's design-time values, its controls and what each of
// their events reaches.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "palette/timer1.h"
#include "palette/window1.h"
#include "platform/properties.h"
#include "platform/runtime.h"
#include "platform/bevelbutton.h"
#include "platform/control.h"
#include "platform/events.h"
#include "platform/listbox.h"
#include "platform/timer.h"
#include "platform/window.h"
#include "tests/support/inspection.h"
#include "tests/support/palette_fixture.h"

namespace {

using palette::Window1;
using platform::Ref;
using testsupport::PaletteTest;
using Names = std::vector<std::string>;

class LayoutTest : public PaletteTest {
 protected:
  // A version no default folder belongs to and no preferences file: the
  // window keeps its design-time values and nothing outside the temporary
  // home is read.
  void Open() {
    host.version = "9.0.0";
    Start();
  }
};

TEST(PropertyBlocks, PackToTheirDesignTimeSizes) {
  const struct {
    const char* name;
    const platform::PropertyBlock& block;
    std::size_t bytes;
  } cases[] = {
      // The title "Tessalineパレット" is 21 bytes of UTF-8.
      {"window", palette::WindowBlock(), 288},
      {"list", palette::ListBlock(), 655},
      {"button", palette::ButtonBlock(), 479},
      {"timer", palette::TimerBlock(), 20},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(platform::PackBlock(c.block).size(), c.bytes) << c.name;
  }
}

TEST_F(LayoutTest, WindowTakesItsDesignTimeValues) {
  Open();
  EXPECT_EQ(window->Title(), Window1::kTitle);
  EXPECT_EQ(window->Width(), 150);
  EXPECT_EQ(window->Height(), 200);
  EXPECT_EQ(window->IntProperty("MinWidth", 0), 64);
  EXPECT_EQ(window->IntProperty("MinHeight", 0), 64);
  EXPECT_TRUE(window->Visible());
  EXPECT_FALSE(window->MenuBar().IsNil());
}

TEST_F(LayoutTest, ControlsAreMadeBoundAndSetInOrder) {
  Open();
  Names names;
  for (const auto& [name, control] : window->Controls()) names.push_back(name);
  EXPECT_EQ(names, (Names{"LB1", "BevelButton1", "Timer1"}));

  const struct {
    const char* control;
    Names events;
  } bindings[] = {
      {"LB1", {"ExpandRow", "CollapseRow", "DoubleClick"}},
      {"BevelButton1", {"Action"}},
      {"Timer1", {"Action"}},
  };
  for (const auto& b : bindings) {
    auto* source = dynamic_cast<platform::EventSource*>(window->ControlByName(b.control).get());
    ASSERT_NE(source, nullptr) << b.control;
    EXPECT_EQ(platform::EventSourceInspection::BoundEvents(*source), b.events) << b.control;
  }

  const struct {
    const char* control;
    const char* property;
    platform::PropertyValue value;
  } properties[] = {
      {"LB1", "Name", platform::String("LB1")},
      {"LB1", "Hierarchical", true},
      {"LB1", "Height", 174},
      {"BevelButton1", "Name", platform::String("BevelButton1")},
      {"BevelButton1", "Caption", platform::String("スクリプトフォルダ選択")},
      {"BevelButton1", "Top", 177},
      {"Timer1", "Mode", 2},
      {"Timer1", "Period", 1000},
  };
  for (const auto& p : properties) {
    auto* holder = dynamic_cast<platform::PropertyHolder*>(window->ControlByName(p.control).get());
    ASSERT_NE(holder, nullptr) << p.control;
    const platform::PropertyValue* value = holder->Property(p.property);
    ASSERT_NE(value, nullptr) << p.control << "." << p.property;
    EXPECT_TRUE(*value == p.value) << p.control << "." << p.property;
  }

  // Each control knows the window it is on; the accessors find them by name.
  EXPECT_EQ(window->LB1()->Window().get(), window.get());
  EXPECT_EQ(window->BevelButton1()->Window().get(), window.get());
  EXPECT_EQ(platform::Cast<palette::Window1Timer1>(window->Timer1())->Window().get(),
            window.get());
}

TEST_F(LayoutTest, TimerActionRunsOnThePaletteEachPeriod) {
  Open();
  const struct {
    int64_t milliseconds;
    int fronts;
  } steps[] = {{999, 0}, {1, 1}, {1000, 1}, {3000, 3}};
  for (const auto& s : steps) {
    host.calls.clear();
    display.AdvanceClock(s.milliseconds);
    EXPECT_EQ(Calls("frontAppli"), s.fronts) << s.milliseconds << " ms";
  }
  EXPECT_FALSE(LogHas("unhandled:"));
}

TEST_F(LayoutTest, ButtonPushRunsTheFolderChooserOnThePalette) {
  Open();
  window->BevelButton1()->Push();
  ASSERT_EQ(display.Dialogs().size(), 1u);
  EXPECT_EQ(display.Dialogs()[0].title, "スクリプトフォルダ指定");
  EXPECT_FALSE(LogHas("unhandled:"));
}

TEST_F(LayoutTest, HandlerSelfIsTheWindowOfControlsAndPaneChildrenOnly) {
  Ref<platform::Window> owner = platform::New<platform::Window>();
  Ref<platform::Listbox> placed = platform::New<platform::Listbox>();
  placed->SetOwner(owner);
  Ref<platform::Listbox> loose = platform::New<platform::Listbox>();
  Ref<palette::Window1Timer1> pane = platform::New<palette::Window1Timer1>();
  pane->SetWindow(owner);
  Ref<platform::Timer> plainTimer = platform::New<platform::Timer>();
  Ref<platform::VariantArray> plainObject = platform::MakeList();

  const struct {
    const char* what;
    Ref<platform::Object> source;
    platform::Object* self;
  } cases[] = {
      {"control on a window", placed, owner.get()},
      {"control on no window", loose, nullptr},
      {"pane child", pane, owner.get()},
      {"timer that is no pane child", plainTimer, plainTimer.get()},
      {"any other object", plainObject, plainObject.get()},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(platform::HandlerSelf(c.source).get(), c.self) << c.what;
  }
  pane->SetWindow(nullptr);

  // Bound on a source that is its own Self, a window method has no window
  // to run on.
  platform::EventHandler handler = platform::BindHandler(&Window1::Timer1_Action);
  EXPECT_THROW(handler(plainTimer, {}), platform::IllegalCastException);
}

TEST(Window1Timer1, HoldsOneOwnerWindowAndReleasesItWithItself) {
  Ref<platform::Window> first = platform::New<platform::Window>();
  Ref<platform::Window> second = platform::New<platform::Window>();
  Ref<palette::Window1Timer1> timer = platform::New<palette::Window1Timer1>();
  EXPECT_TRUE(timer->Window().IsNil());

  timer->SetWindow(first);
  EXPECT_EQ(first.use_count(), 2);
  timer->SetWindow(second);
  EXPECT_EQ(first.use_count(), 1);
  EXPECT_EQ(second.use_count(), 2);
  EXPECT_EQ(timer->Window().get(), second.get());

  std::weak_ptr<platform::Window> watch = second.shared();
  timer.reset();
  EXPECT_EQ(second.use_count(), 1);
  EXPECT_FALSE(watch.expired());
  second.reset();
  EXPECT_TRUE(watch.expired());
}

TEST_F(LayoutTest, WindowSizeStaysWithinItsLimits) {
  Open();
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
  const struct {
    int32_t asked, kept;
  } cases[] = {{kMin, 64}, {-1, 64},       {0, 64},        {63, 64},      {64, 64},
               {65, 65},   {31999, 31999}, {32000, 32000}, {32001, 32000}, {kMax, 32000}};
  for (const auto& c : cases) {
    window->SetWidth(c.asked);
    window->SetHeight(c.asked);
    EXPECT_EQ(window->Width(), c.kept) << c.asked;
    EXPECT_EQ(window->Height(), c.kept) << c.asked;
  }
}

}  // namespace
