#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include <vn/vn.hpp>

namespace {

using dalk::Key;
using dalk::Trait;
using dalk::XColor;
using vn::Align;
using vn::DataTable;
using vn::testing::Harness;
using Lines = std::vector<std::string>;

// Two centred columns; rows "r0".."r<n-1>" with their index as the second cell.
struct Table {
  explicit Table(int rows) {
    table.add_column("Name", Align::Center, XColor::Red);
    table.add_column("Qty", Align::Center, XColor::Green);
    for (int i = 0; i < rows; ++i) {
      table.add_row({"r" + std::to_string(i), std::to_string(i)});
    }
    table.focus_policy = vn::FocusPolicy::Strong;
    table.selection_changed.connect([this](std::uint64_t row) { emitted.push_back(row); });
  }
  DataTable table{DataTable::init};
  std::vector<std::uint64_t> emitted;
};

TEST(DataTableCompactTest, OneLinePerRowWithoutRules) {
  Table t{3};
  t.table.compact = true;
  Harness screen{t.table, {20, 8}};
  EXPECT_EQ(screen.lines(), (Lines{
                                "╭──────────────────╮",
                                "│  Name      Qty   │",
                                "╞════════╤═════════╡",
                                "│r0      │0        │",
                                "│r1      │1        │",
                                "│r2      │2        │",
                                "╰────────┴─────────╯",
                                "                    ",
                            }));
  t.table.clear_rows();
  screen.paint();
  EXPECT_EQ(screen.line(2), "╞════════┴═════════╡");
  EXPECT_EQ(screen.line(3), "                    ");
}

struct NavigationCase {
  char const* name;
  bool compact;
  std::vector<Key> keys;
  std::optional<std::uint64_t> selected;
  std::uint64_t offset;
  std::vector<std::uint64_t> emitted;

  friend void PrintTo(NavigationCase const& c, std::ostream* out) { *out << c.name; }
};

class DataTableNavigationTest : public ::testing::TestWithParam<NavigationCase> {};

// Height 9 shows 3 ruled rows or 5 compact ones.
TEST_P(DataTableNavigationTest, KeysMoveTheSelectionAndKeepItInView) {
  Table t{10};
  t.table.compact = GetParam().compact;
  Harness screen{t.table, {20, 9}};
  vn::Focus::set(t.table);
  for (Key const key : GetParam().keys) {
    screen.key_press(key);
  }
  EXPECT_EQ(t.table.selection(), GetParam().selected);
  EXPECT_EQ(t.table.scroll_offset, GetParam().offset);
  EXPECT_EQ(t.emitted, GetParam().emitted);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, DataTableNavigationTest,
    ::testing::Values(
        NavigationCase{
            "OtherKeysBeforeASelection", false, {Key::Enter, Key{'x'}}, std::nullopt, 0, {}},
        NavigationCase{"FirstKeySelectsTheTopRow", false, {Key::ArrowDown}, 0, 0, {0}},
        NavigationCase{"FirstEndSelectsTheLastRow", false, {Key::End}, 9, 7, {9}},
        NavigationCase{"DownThenEnd", false, {Key::ArrowDown, Key::End}, 9, 7, {0, 9}},
        NavigationCase{"PageDown", false, {Key::Home, Key::PageDown}, 3, 1, {0, 3}},
        NavigationCase{"PageUp", false, {Key::Home, Key::End, Key::PageUp}, 6, 6, {0, 9, 6}},
        NavigationCase{"CompactPageDown", true, {Key::Home, Key::PageDown}, 5, 1, {0, 5}},
        NavigationCase{"CompactUpAtTheTop", true, {Key::Home, Key::ArrowUp}, 0, 0, {0}}),
    [](auto const& info) { return std::string{info.param.name}; });

TEST(DataTableSelectionTest, PaintClickAndActivation) {
  Table t{4};
  Harness screen{t.table, {20, 11}};
  std::vector<std::uint64_t> activated;
  t.table.activated.connect([&](std::uint64_t row) { activated.push_back(row); });
  screen.click({3, 5});  // second row's text line
  EXPECT_EQ(t.emitted, (std::vector<std::uint64_t>{1}));
  // Selected row inverted inside the frame; focus makes the top frame line bold.
  EXPECT_TRUE(screen.cell({1, 5}).brush.traits.contains(Trait::Inverse));
  EXPECT_TRUE(screen.cell({18, 5}).brush.traits.contains(Trait::Inverse));
  EXPECT_FALSE(screen.cell({0, 5}).brush.traits.contains(Trait::Inverse));
  EXPECT_FALSE(screen.cell({1, 3}).brush.traits.contains(Trait::Inverse));
  EXPECT_TRUE(screen.cell({4, 0}).brush.traits.contains(Trait::Bold));
  screen.key_press(Key::Enter);
  EXPECT_EQ(activated, (std::vector<std::uint64_t>{1}));
  vn::Focus::clear();
  screen.paint();
  EXPECT_TRUE(screen.cell({1, 5}).brush.traits.contains(Trait::Underline));
  EXPECT_FALSE(screen.cell({4, 0}).brush.traits.contains(Trait::Bold));
  // A table that takes no clicks keeps its selection.
  t.table.focus_policy = vn::FocusPolicy::Tab;
  screen.click({3, 3});
  EXPECT_EQ(t.table.selection(), std::optional<std::uint64_t>{1});
}

struct EditCase {
  char const* what;
  std::function<void(DataTable&)> edit;
  Lines first_cells;  // column 0 of every row afterwards
  std::optional<std::uint64_t> selected;

  friend void PrintTo(EditCase const& c, std::ostream* out) { *out << c.what; }
};

class DataTableEditTest : public ::testing::TestWithParam<EditCase> {};

TEST_P(DataTableEditTest, RowsAndCellsChange) {
  Table t{4};
  t.table.select(2);
  t.table.scroll_offset = 3;
  GetParam().edit(t.table);
  EXPECT_EQ(t.table.columns[0], GetParam().first_cells) << GetParam().what;
  EXPECT_EQ(t.table.selection(), GetParam().selected) << GetParam().what;
  EXPECT_LE(t.table.scroll_offset, std::max<std::uint64_t>(t.table.row_count(), 1) - 1);
  EXPECT_EQ(t.table.columns[1].size(), t.table.columns[0].size());
}

INSTANTIATE_TEST_SUITE_P(
    Edits, DataTableEditTest,
    ::testing::Values(
        EditCase{"clear", [](DataTable& d) { d.clear_rows(); }, {}, std::nullopt},
        EditCase{"remove above", [](DataTable& d) { d.remove_row(0); }, {"r1", "r2", "r3"}, 1},
        EditCase{
            "remove the selected", [](DataTable& d) { d.remove_row(2); }, {"r0", "r1", "r3"}, 2},
        EditCase{"remove the last", [](DataTable& d) { d.remove_row(3); }, {"r0", "r1", "r2"}, 2},
        EditCase{"remove all",
                 [](DataTable& d) {
                   for (int i = 0; i < 4; ++i) {
                     d.remove_row(0);
                   }
                 },
                 {},
                 std::nullopt},
        EditCase{"set row",
                 [](DataTable& d) {
                   d.set_row(1, {"x", "y"});
                 },
                 {"r0", "x", "r2", "r3"},
                 2},
        EditCase{
            "set cell", [](DataTable& d) { d.set_cell(3, 0, "z"); }, {"r0", "r1", "r2", "z"}, 2}),
    [](auto const& info) {
      std::string name = info.param.what;
      std::replace(name.begin(), name.end(), ' ', '_');
      return name;
    });

TEST(DataTableSelectionTest, BadEditsThrowAndChangeNothing) {
  Table t{2};
  auto const unchanged = t.table.columns;
  EXPECT_THROW(t.table.remove_row(2), std::out_of_range);
  EXPECT_THROW(t.table.set_row(5, {"a", "b"}), std::out_of_range);
  EXPECT_THROW(t.table.set_row(0, {"a"}), std::runtime_error);
  EXPECT_THROW(t.table.set_cell(0, 2, "a"), std::out_of_range);
  EXPECT_THROW(t.table.set_column_width(2, 4), std::out_of_range);
  EXPECT_EQ(t.table.columns, unchanged);
}

TEST(DataTableSelectionTest, FixedColumnWidths) {
  Table t{1};
  Harness screen{t.table, {20, 5}};
  t.table.set_column_width(0, 5);
  EXPECT_EQ(t.table.header.children[0].size.width, 5);
  EXPECT_EQ(t.table.header.children[1].size.width, 13);
  screen.paint();
  EXPECT_EQ(screen.line(3), "│r0  │0            │");
  t.table.set_column_width(0, std::nullopt);
  EXPECT_EQ(t.table.header.children[0].size.width, 9);
}

TEST(DataTableSelectionTest, ScrollSignalReportsChanges) {
  Table t{10};
  std::vector<vn::ScrollState> states;
  t.table.scrolled.connect([&](vn::ScrollState s) { states.push_back(s); });
  Harness screen{t.table, {20, 9}};
  screen.wheel_down({3, 4});
  screen.wheel_up({3, 4});  // back: reported again
  screen.paint();           // unchanged: not reported
  t.table.add_row({"a", "b"});
  screen.paint();
  EXPECT_EQ(states, (std::vector<vn::ScrollState>{{0, 3, 10}, {1, 3, 10}, {0, 3, 10}, {0, 3, 11}}));
}

}  // namespace
