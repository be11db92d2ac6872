#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include <vn/vn.hpp>

namespace {

using dalk::Area;
using dalk::Brush;
using dalk::Glyph;
using dalk::Mouse;
using dalk::Point;
using dalk::Trait;
using dalk::XColor;
using vn::ScrollBar;
using vn::TextBox;

static_assert(std::is_nothrow_move_constructible_v<ScrollBar>);
static_assert(std::is_nothrow_move_assignable_v<ScrollBar>);
static_assert(ScrollBar::init.scrollable_length == 0 && ScrollBar::init.position == 0);

Brush const bar_brush{XColor::Blue, XColor::Yellow, Trait::Bold};

// Paints the bar at (1, 1) of a larger buffer whose untouched cells show as '.'.
class ScrollBarTest : public ::testing::Test {
 protected:
  ScrollBarTest() { buffer.fill(Glyph{U'.', {}}); }

  void paint(int length, int position, int height = 10) {
    bar.scrollable_length = length;
    bar.position = position;
    bar.size = {1, height};
    buffer.fill(Glyph{U'.', {}});
    bar.paint(vn::Canvas{buffer, {1, 1}, bar.size});
  }

  // Column 0 of the bar from the top, one character per row.
  std::string column() const {
    std::string text;
    for (int row = 0; row < bar.size.height; ++row) {
      text += dalk::detail::u32_to_u8(buffer[{1, 1 + row}].symbol);
    }
    return text;
  }

  // 'i' where a cell is drawn inverted, '-' elsewhere.
  std::string inverted() const {
    std::string marks;
    for (int row = 0; row < bar.size.height; ++row) {
      marks += buffer[{1, 1 + row}].brush.traits.contains(Trait::Inverse) ? 'i' : '-';
    }
    return marks;
  }

  // Every cell outside the bar's canvas is as the fill left it.
  void expect_outside_untouched() const {
    for (int y = 0; y < buffer.area.height; ++y) {
      for (int x = 0; x < buffer.area.width; ++x) {
        bool const inside = x == 1 && y >= 1 && y < 1 + bar.size.height;
        if (!inside) {
          EXPECT_EQ((buffer[{x, y}]), (Glyph{U'.', {}})) << x << "," << y;
        }
      }
    }
  }

  void press(int row, Mouse::Button button = Mouse::Button::Left) {
    bar.mouse_press(Mouse{{0, row}, button, {}});
  }
  void wheel(Mouse::Button button) { bar.mouse_wheel(Mouse{{0, 0}, button, {}}); }

  ScrollBar bar{{.brush = bar_brush}};
  std::vector<int> emitted;
  vn::ScreenBuffer buffer{Area{3, 13}};

  void SetUp() override {
    bar.new_position.connect([this](int position) { emitted.push_back(position); });
  }
};

// Ten rows; out-of-range values are drawn as if clamped, and nothing lands outside the bar.
TEST_F(ScrollBarTest, ThumbShowsTheWindowInEighthsOfACell) {
  struct Case {
    int length;
    int position;
    char const* column;
    char const* inverted;  // the full block under the thumb shows only the background
  };
  int const most = std::numeric_limits<int>::max();
  for (Case const& c :
       std::vector<Case>{{100, 0, "██........", "-i--------"},
                         {100, 50, "....▄▄....", "-----i----"},  // top 0.5 * 9 = 4.5
                         {100, 25, "..▆▆......", "---i------"},  // top 2.25: two eighths empty
                         {20, 10, "..▄████▄..", "-------i--"},   // 5 rows of thumb from 2.5
                         {20, 0, "██████....", "-----i----"},
                         {5, 0, "██████████", "----------"},  // a short range fills the bar
                         {5, 2, "██████████", "----------"},
                         {5, 4, "██████████", "----------"},
                         {5, 5, "██████████", "----------"},
                         {0, 0, "█.........", "i---------"},  // an empty range shows no thumb
                         {100, 500, ".........█", "----------"},
                         {100, -5, "██........", "-i--------"},
                         {-3, 2, "█.........", "i---------"},
                         {most, most, ".........█", "----------"}}) {
    paint(c.length, c.position);
    EXPECT_EQ(column(), c.column) << c.length << "," << c.position;
    EXPECT_EQ(inverted(), c.inverted) << c.length << "," << c.position;
    expect_outside_untouched();
    EXPECT_EQ(bar.position, c.position);  // only the drawing is clamped
  }
  paint(20, 10);
  for (int row = 0; row < 10; ++row) {
    Brush expected = bar_brush;
    if (row == 7) {
      expected.traits |= Trait::Inverse;
    }
    EXPECT_EQ((buffer[{1, 1 + row}].brush), expected) << row;
  }
}

TEST_F(ScrollBarTest, EmptyCanvasReceivesNothing) {
  std::vector<Glyph> const before = buffer.glyphs;
  bar.scrollable_length = 100;
  for (Area size : {Area{1, 0}, Area{0, 10}, Area{0, 0}}) {
    bar.size = size;
    bar.paint(vn::Canvas{buffer, {1, 1}, size});
  }
  EXPECT_EQ(buffer.glyphs, before);
}

TEST_F(ScrollBarTest, WheelStepsAndEmitsAlsoAtTheEnds) {
  bar.scrollable_length = 10;
  wheel(Mouse::Button::ScrollUp);
  EXPECT_EQ(bar.position, 0);
  bar.position = 9;
  wheel(Mouse::Button::ScrollDown);
  EXPECT_EQ(bar.position, 9);
  bar.position = 4;
  wheel(Mouse::Button::ScrollDown);
  wheel(Mouse::Button::ScrollUp);
  wheel(Mouse::Button::ScrollUp);
  wheel(Mouse::Button::Left);
  wheel(Mouse::Button::Middle);
  EXPECT_EQ(emitted, (std::vector<int>{0, 9, 5, 4, 3}));
  bar.scrollable_length = 0;
  wheel(Mouse::Button::ScrollDown);
  EXPECT_EQ(bar.position, 0);
}

TEST_F(ScrollBarTest, ClickJumpsToTheRowAndEmits) {
  bar.size = {1, 10};
  bar.scrollable_length = 100;
  press(9);
  EXPECT_EQ(bar.position, 100);  // the bottom row gives the length itself
  press(3);
  EXPECT_EQ(bar.position, 33);
  press(0);
  press(0);  // unchanged, still emitted
  press(5, Mouse::Button::Right);
  press(5, Mouse::Button::Middle);
  EXPECT_EQ(emitted, (std::vector<int>{100, 33, 0, 0}));
  // Clicks outside the bar (a bar that is the head widget gets them) stay in range.
  press(40);
  EXPECT_EQ(bar.position, 100);
  press(-4);
  EXPECT_EQ(bar.position, 0);
}

TEST_F(ScrollBarTest, ClickOnABarOfOneRowOrNoneGivesZero) {
  bar.scrollable_length = 100;
  for (int height : {1, 0}) {
    bar.size = {1, height};
    bar.position = 7;
    press(0);
    EXPECT_EQ(bar.position, 0) << height;
  }
  EXPECT_EQ(emitted, (std::vector<int>{0, 0}));
}

TEST_F(ScrollBarTest, IncrementPositionClampsAndEmitsNothing) {
  bar.scrollable_length = 5;
  bar.increment_position(3);
  EXPECT_EQ(bar.position, 3);
  bar.increment_position(10);
  EXPECT_EQ(bar.position, 4);
  bar.increment_position(-10);
  EXPECT_EQ(bar.position, 0);
  bar.scrollable_length = 0;
  bar.increment_position(1);
  EXPECT_EQ(bar.position, 0);
  bar.position = std::numeric_limits<int>::max();
  bar.scrollable_length = std::numeric_limits<int>::max();
  bar.increment_position(1);
  EXPECT_EQ(bar.position, std::numeric_limits<int>::max() - 1);
  EXPECT_TRUE(emitted.empty());
}

TEST(ScrollBarOptionsTest, PoliciesAreFixed) {
  ScrollBar::Options const defaults{};
  EXPECT_EQ(defaults.brush, ScrollBar::init.brush);
  ScrollBar const bar{{.scrollable_length = 8, .position = 3, .brush = bar_brush}};
  EXPECT_EQ(bar.focus_policy, vn::FocusPolicy::None);
  EXPECT_EQ(bar.size_policy, vn::SizePolicy::fixed(1));
  EXPECT_EQ(bar.scrollable_length, 8);
  EXPECT_EQ(bar.position, 3);
  EXPECT_EQ(bar.brush, bar_brush);
  EXPECT_TRUE(bar.new_position.connections.empty());
}

// A text box of five display lines, two rows high, and a ten-row bar.
class LinkTest : public ::testing::Test {
 protected:
  LinkTest() {
    box.size = {3, 2};
    bar.size = {1, 10};
  }

  void paint(TextBox& text_box) { text_box.paint(vn::Canvas{buffer, {0, 0}, text_box.size}); }

  vn::ScreenBuffer buffer{Area{3, 10}};
  TextBox box{{.text = "1\n2\n3\n4\n5"}};
  ScrollBar bar{ScrollBar::init};
};

TEST_F(LinkTest, BarFollowsTheTextBoxAtItsPaint) {
  vn::link(box, bar);
  EXPECT_EQ(bar.scrollable_length, 0);  // nothing before the text box paints
  paint(box);
  EXPECT_EQ(bar.position, 0);
  EXPECT_EQ(bar.scrollable_length, 5);
  box.key_press(dalk::Key::End);
  paint(box);
  EXPECT_EQ(bar.position, 3);
}

TEST_F(LinkTest, BarScrollsTheTextBoxWhichSetsItBack) {
  vn::link(box, bar);
  paint(box);
  int scrolled = 0;
  int moved = 0;
  box.scrolled.connect([&](int, int) { ++scrolled; });
  bar.new_position.connect([&](int) { ++moved; });

  bar.scrollable_length = 100;
  bar.mouse_press(Mouse{{0, 9}, Mouse::Button::Left, {}});
  EXPECT_EQ(bar.position, 100);
  EXPECT_EQ(box.scroll_offset, 4);  // clamped to the last line
  EXPECT_EQ(box.cursor_index, 8U);  // and the cursor dragged into view
  EXPECT_EQ(scrolled, 0);           // neither direction emits the other's signal

  paint(box);
  EXPECT_EQ(bar.position, 4);
  EXPECT_EQ(bar.scrollable_length, 5);
  EXPECT_EQ(moved, 1);

  bar.mouse_wheel(Mouse{{0, 0}, Mouse::Button::ScrollUp, {}});
  EXPECT_EQ(box.scroll_offset, 3);
}

TEST_F(LinkTest, DestroyedBarLeavesTheTextBoxSafe) {
  auto doomed = std::make_unique<ScrollBar>(ScrollBar::init);
  vn::link(box, *doomed);
  doomed.reset();
  paint(box);
  EXPECT_EQ(box.scrolled.connections.size(), 1U);  // inert, not removed
}

TEST_F(LinkTest, DestroyedTextBoxLeavesTheBarSafe) {
  auto doomed = std::make_unique<TextBox>(TextBox::init);
  vn::link(*doomed, bar);
  doomed.reset();
  bar.scrollable_length = 10;
  bar.mouse_press(Mouse{{0, 9}, Mouse::Button::Left, {}});
  bar.mouse_wheel(Mouse{{0, 0}, Mouse::Button::ScrollUp, {}});
  EXPECT_EQ(bar.position, 9);
}

TEST_F(LinkTest, SlotsFollowMovedWidgets) {
  vn::link(box, bar);
  ScrollBar moved_bar{std::move(bar)};
  paint(box);
  EXPECT_EQ(moved_bar.scrollable_length, 5);

  TextBox moved_box{std::move(box)};
  moved_bar.mouse_press(Mouse{{0, 9}, Mouse::Button::Left, {}});
  EXPECT_EQ(moved_box.scroll_offset, 4);
  moved_box.key_press(dalk::Key::Home);
  paint(moved_box);
  EXPECT_EQ(moved_bar.position, 0);

  // A move assignment hands the identity on as well.
  ScrollBar assigned{ScrollBar::init};
  assigned = std::move(moved_bar);
  moved_box.key_press(dalk::Key::End);
  paint(moved_box);
  EXPECT_EQ(assigned.position, 3);
  EXPECT_EQ(assigned.scrollable_length, 5);
}

}  // namespace
