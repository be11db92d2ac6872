#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>
#include <ostream>
#include <string>
#include <type_traits>
#include <vector>

#include <vn/vn.hpp>

namespace {

using dalk::Key;
using dalk::Trait;
using vn::List;
using vn::testing::Harness;
using Lines = std::vector<std::string>;
using namespace std::chrono_literals;

static_assert(std::is_nothrow_move_constructible_v<List>);

std::vector<std::string> numbered(std::size_t n) {
  std::vector<std::string> items;
  for (std::size_t i = 0; i < n; ++i) {
    items.push_back("item " + std::to_string(i));
  }
  return items;
}

TEST(ListTest, PaintsVisibleRowsAndTheSelection) {
  List list{{.items = {"alpha", "beta", "gamma", "delta"}}};
  Harness screen{list, {8, 3}};
  EXPECT_EQ(screen.lines(), (Lines{"alpha   ", "beta    ", "gamma   "}));
  // Unfocused: the selection is underlined; focused (by a click): inverted.
  EXPECT_TRUE(screen.cell({7, 0}).brush.traits.contains(Trait::Underline));
  EXPECT_FALSE(screen.cell({0, 1}).brush.traits.contains(Trait::Underline));
  screen.click({0, 1});
  EXPECT_TRUE(screen.cell({7, 1}).brush.traits.contains(Trait::Inverse));
  EXPECT_FALSE(screen.cell({0, 0}).brush.traits.contains(Trait::Inverse));
}

TEST(ListTest, TooWideItemsAreCutInCells) {
  List list{{.items = {"日本語テキスト", "abcdefghij", "abcdefgh"}}};
  Harness screen{list, {8, 3}};
  EXPECT_EQ(screen.lines(), (Lines{"日本語… ", "abcdefg…", "abcdefgh"}));
}

struct KeyCase {
  char const* name;
  std::vector<Key> keys;
  std::size_t selected;
  std::size_t top;
  std::vector<std::size_t> emitted;

  friend void PrintTo(KeyCase const& c, std::ostream* out) { *out << c.name; }
};

class ListKeyTest : public ::testing::TestWithParam<KeyCase> {};

TEST_P(ListKeyTest, MovesTheSelectionAndKeepsItInView) {
  List list{{.items = numbered(20)}};
  Harness screen{list, {10, 5}};
  std::vector<std::size_t> emitted;
  list.selection_changed.connect([&](std::size_t i) { emitted.push_back(i); });
  vn::Focus::set(list);
  for (Key const key : GetParam().keys) {
    screen.key_press(key);
  }
  EXPECT_EQ(list.selected, GetParam().selected);
  EXPECT_EQ(list.top, GetParam().top);
  EXPECT_EQ(emitted, GetParam().emitted);
  EXPECT_EQ(screen.line(static_cast<int>(list.selected - list.top)),
            "item " + std::to_string(list.selected) +
                std::string(5 - std::to_string(list.selected).size(), ' '));
}

INSTANTIATE_TEST_SUITE_P(
    Keys, ListKeyTest,
    ::testing::Values(KeyCase{"Down", {Key::ArrowDown}, 1, 0, {1}},
                      KeyCase{"UpAtTheTop", {Key::ArrowUp}, 0, 0, {}},
                      KeyCase{"End", {Key::End}, 19, 15, {19}},
                      KeyCase{"EndUp", {Key::End, Key::ArrowUp}, 18, 15, {19, 18}},
                      KeyCase{"EndHome", {Key::End, Key::Home}, 0, 0, {19, 0}},
                      KeyCase{"PageDown", {Key::PageDown}, 5, 1, {5}},
                      KeyCase{"PageDownToTheEnd",
                              {Key::PageDown, Key::PageDown, Key::PageDown, Key::PageDown},
                              19,
                              15,
                              {5, 10, 15, 19}},
                      KeyCase{"PageDownPageUp", {Key::PageDown, Key::PageUp}, 0, 0, {5, 0}},
                      KeyCase{"DownAtTheEnd", {Key::End, Key::ArrowDown}, 19, 15, {19}}),
    [](auto const& info) { return std::string{info.param.name}; });

TEST(ListTest, ClicksWheelAndActivation) {
  List list{{.items = numbered(20)}};
  auto now = std::chrono::steady_clock::time_point{};
  list.clock = [&] { return now; };
  Harness screen{list, {10, 5}};
  std::vector<std::size_t> selections;
  std::vector<std::size_t> activations;
  list.selection_changed.connect([&](std::size_t i) { selections.push_back(i); });
  list.activated.connect([&](std::size_t i) { activations.push_back(i); });

  screen.wheel_down({0, 0});
  screen.wheel_down({0, 0});
  EXPECT_EQ(screen.line(0), "item 2    ");
  screen.press({0, 1});  // item 3
  now += 300ms;
  screen.press({0, 1});  // within the bound: a double click
  now += 300ms;
  screen.press({0, 1});  // a third press starts a new pair
  now += 500ms;
  screen.press({0, 1});  // too late to pair
  now += 100ms;
  screen.press({0, 2});  // another item
  now += 100ms;
  screen.press({0, 1});
  EXPECT_EQ(selections, (std::vector<std::size_t>{3, 4, 3}));
  EXPECT_EQ(activations, (std::vector<std::size_t>{3}));
  screen.key_press(Key::Enter);
  EXPECT_EQ(activations, (std::vector<std::size_t>{3, 3}));
  screen.wheel_up({0, 0});
  screen.wheel_up({0, 0});
  screen.wheel_up({0, 0});
  EXPECT_EQ(list.top, 0U);
}

TEST(ListTest, EmptyListIsSafe) {
  List list{List::init};
  Harness screen{list, {6, 2}};
  std::size_t signals = 0;
  list.selection_changed.connect([&](std::size_t) { ++signals; });
  list.activated.connect([&](std::size_t) { ++signals; });
  vn::Focus::set(list);
  for (Key const key : {Key::ArrowDown, Key::End, Key::PageUp, Key::Enter}) {
    screen.key_press(key);
  }
  screen.click({0, 0});
  screen.wheel_down({0, 0});
  EXPECT_EQ(signals, 0U);
  EXPECT_FALSE(list.selection());
  EXPECT_EQ(screen.lines(), (Lines{"      ", "      "}));
}

TEST(ListTest, ModelPaintsOnlyVisibleItemsAndMayShrink) {
  std::size_t count = 1'000'000;
  std::size_t asked = 0;
  List list{List::init};
  list.model = {[&] { return count; },
                [&](std::size_t i) {
                  ++asked;
                  return "row " + std::to_string(i);
                }};
  Harness screen{list, {12, 4}};
  EXPECT_EQ(asked, 4U);
  vn::Focus::set(list);
  screen.key_press(Key::End);
  EXPECT_EQ(screen.lines(),
            (Lines{"row 999996  ", "row 999997  ", "row 999998  ", "row 999999  "}));
  count = 2;
  screen.paint();
  EXPECT_EQ(list.selection(), std::optional<std::size_t>{1});
  EXPECT_EQ(screen.lines(),
            (Lines{"row 0       ", "row 1       ", "            ", "            "}));
  count = 0;
  screen.key_press(Key::ArrowUp);
  EXPECT_FALSE(list.selection());
}

}  // namespace
