// What the choosing widgets share: list, data table, menu, tabs and radio group answer
// selection(), take select() without announcing it, and report the user's moves and
// confirmations alike; every configurable widget keeps its defaults in `init`.
#include <gtest/gtest.h>

#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <type_traits>
#include <vector>
#include <vn/vn.hpp>

namespace {

using dalk::Key;
using Indices = std::vector<std::size_t>;

template <typename... W>
constexpr bool all_have_init = (std::is_same_v<decltype(W::init), typename W::Options const> &&
                                ...);
static_assert(
    all_have_init<vn::Label, vn::BasicButton, vn::Button, vn::CheckBox, vn::LineEdit, vn::TextBox,
                  vn::ScrollBar, vn::DataTable, vn::List, vn::Divider, vn::Bordered<vn::Label>,
                  vn::Dialog, vn::Menu, vn::Tabs, vn::ProgressBar, vn::RadioGroup>);

// Every choosing widget with three items a, b, c; the check box lies below the menu.
struct Widgets {
  Widgets() {
    table.add_column("x", vn::Align::Left, dalk::XColor::Default);
    for (char const* row : {"a", "b", "c"}) {
      table.add_row({row});
    }
    for (vn::Label& page : pages) {
      tabs.add("t", page);
    }
  }
  vn::CheckBox below{vn::CheckBox::init};
  vn::List list{{.items = {"a", "b", "c"}}};
  vn::DataTable table{vn::DataTable::init};
  vn::Menu menu{{.items = {{"a", {}}, {"b", {}}, {"c", {}}}}};
  vn::Label pages[3]{vn::Label{vn::Label::init}, vn::Label{vn::Label::init},
                     vn::Label{vn::Label::init}};
  vn::Tabs tabs{vn::Tabs::init};
  vn::RadioGroup radio{{.choices = {"a", "b", "c"}}};
};

// After select(1), select(7) and select(0), the keys End, next, previous, Home, next and
// KeypadEnter.
struct Case {
  char const* name;
  vn::Selectable& (*widget)(Widgets&);
  std::optional<std::size_t> first;  // before anything selects
  std::size_t beyond;                // after select(1) and select(7): clamped to 2 or ignored
  Key next;                          // forward; the opposite arrow goes back
  Indices moved;                     // selection_changed
  Indices chosen;                    // activated
  std::vector<int> older;            // changed, or the menu's chosen

  friend void PrintTo(Case const& c, std::ostream* out) { *out << c.name; }
};

class SelectionTest : public ::testing::TestWithParam<Case> {};

TEST_P(SelectionTest, SelectIsQuietAndUserActionsAreAnnounced) {
  Case const& c = GetParam();
  Widgets all;
  vn::Selectable& w = c.widget(all);
  auto& widget = dynamic_cast<vn::Widget&>(w);
  vn::testing::Harness screen{&widget == &all.menu ? all.below : widget, {12, 10}};
  &widget == &all.menu ? all.menu.open_at({0, 0}) : vn::Focus::set(widget);
  Indices moved;
  Indices chosen;
  std::vector<int> older;
  w.selection_changed.connect([&](std::size_t i) { moved.push_back(i); });
  for (auto* activated : {&all.list.activated, &all.table.activated, &all.menu.activated}) {
    activated->connect([&](std::size_t i) { chosen.push_back(i); });
  }
  for (auto* signal : {&all.tabs.changed, &all.radio.changed, &all.menu.chosen}) {
    signal->connect([&](int i) { older.push_back(i); });
  }
  EXPECT_EQ(w.selection(), c.first);
  w.select(1);
  EXPECT_EQ(w.selection(), 1U);
  w.select(7);
  EXPECT_EQ(w.selection(), c.beyond);
  w.select(0);
  EXPECT_EQ(moved, Indices{});
  Key const previous = c.next == Key::ArrowRight ? Key::ArrowLeft : Key::ArrowUp;
  for (Key const key : {Key::End, c.next, previous, Key::Home, c.next, Key::KeypadEnter}) {
    screen.key_press(key);
  }
  EXPECT_EQ(moved, c.moved);
  EXPECT_EQ(chosen, c.chosen);
  EXPECT_EQ(older, c.older);
  EXPECT_EQ(w.selection(), 1U);
}

template <auto member>
vn::Selectable& pick(Widgets& all) {
  return all.*member;
}

using W = Widgets;
std::vector<Case> const cases{
    {"List", pick<&W::list>, 0, 2, Key::ArrowDown, {2, 1, 0, 1}, {1}, {}},
    {"DataTable", pick<&W::table>, std::nullopt, 2, Key::ArrowDown, {2, 1, 0, 1}, {1}, {}},
    // Up and Down wrap around; chosen(int) stays beside activated.
    {"Menu", pick<&W::menu>, 0, 1, Key::ArrowDown, {2, 0, 2, 0, 1}, {1}, {1}},
    // changed(int) hears select() as well.
    {"Tabs", pick<&W::tabs>, 0, 1, Key::ArrowRight, {2, 1, 0, 1}, {}, {1, 0, 2, 1, 0, 1}},
    {"RadioGroup", pick<&W::radio>, 0, 1, Key::ArrowDown, {2, 1, 0, 1}, {}, {1, 0, 2, 1, 0, 1}},
};

INSTANTIATE_TEST_SUITE_P(Widgets, SelectionTest, ::testing::ValuesIn(cases),
                         [](auto const& info) { return std::string{info.param.name}; });

}  // namespace
