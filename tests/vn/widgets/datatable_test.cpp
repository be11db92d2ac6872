#include <gtest/gtest.h>

#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include <vn/vn.hpp>

#include "support/process.hpp"
#include "support/screen_text.hpp"

namespace {

using dalk::Area;
using dalk::Brush;
using dalk::Glyph;
using dalk::Mouse;
using dalk::Trait;
using dalk::XColor;
using vennic::test::screen_rows;
using vn::Align;
using vn::DataTable;
using Rows = std::vector<std::string>;

Mouse const wheel_down{{3, 4}, Mouse::Button::ScrollDown, {}};
Mouse const wheel_up{{3, 4}, Mouse::Button::ScrollUp, {}};

// Paints a widget tree children-first, as the application does: each active child on a canvas
// at the parent's origin plus the child's position, then the widget itself if it has an area.
void paint_tree(vn::Widget& widget, vn::Canvas canvas) {
  for (vn::Widget& child : widget.get_children()) {
    if (child.active) {
      paint_tree(child, vn::Canvas{canvas.buffer,
                                   {canvas.at.x + child.at.x, canvas.at.y + child.at.y},
                                   child.size});
    }
  }
  if (widget.active && widget.size.width > 0 && widget.size.height > 0) {
    widget.paint(canvas);
  }
}

// The table sits at (1, 1) of a blank buffer one cell larger on every side.
class DataTableTest : public ::testing::Test {
 protected:
  DataTableTest() {
    table.add_column("Name", Align::Center, XColor::Red);
    table.add_column("Qty", Align::Center, XColor::Green);
  }

  void layout(Area size) {
    Area const previous = table.size;
    table.size = size;
    table.resize(previous);
  }

  Rows paint() {
    buffer = vn::ScreenBuffer{Area{table.size.width + 2, table.size.height + 2}};
    paint_tree(table, vn::Canvas{buffer, {1, 1}, table.size});
    return screen_rows(buffer, {1, 1}, table.size);
  }

  // The cell at (x, y) of the table.
  Glyph const& cell(int x, int y) const { return buffer[{1 + x, 1 + y}]; }

  DataTable table{DataTable::init};
  vn::ScreenBuffer buffer{Area{0, 0}};
};

TEST(DataTableSetupTest, DefaultsAndHeadings) {
  DataTable::Options const defaults{};
  EXPECT_EQ(DataTable::init.background, dalk::Color{XColor::Default});
  EXPECT_EQ(DataTable::init.foreground, dalk::Color{XColor::Default});
  EXPECT_EQ(DataTable::init.line_color, dalk::Color{XColor::Default});
  EXPECT_EQ(DataTable::init.size_policy, vn::SizePolicy::flex(1.0F));
  EXPECT_EQ(defaults.size_policy, DataTable::init.size_policy);

  DataTable table{{XColor::Blue, XColor::White, XColor::Cyan, vn::SizePolicy::fixed(5)}};
  EXPECT_EQ(table.focus_policy, vn::FocusPolicy::None);
  EXPECT_EQ(table.size_policy, vn::SizePolicy::fixed(5));
  EXPECT_EQ(table.foreground, dalk::Color{XColor::White});
  EXPECT_EQ(table.scroll_offset, 0U);
  EXPECT_EQ(table.header.size_policy, vn::SizePolicy::flex(1.0F));

  table.add_column("Price", Align::Right, XColor::Magenta);
  ASSERT_EQ(table.header.children.size(), 1U);
  vn::Label const& heading = table.header.children[0];
  EXPECT_EQ(heading.text, "Price");
  EXPECT_EQ(heading.align, Align::Right);
  EXPECT_EQ(heading.brush, (Brush{XColor::Default, XColor::Magenta, Trait::Bold}));
  EXPECT_EQ(heading.size_policy, vn::SizePolicy::flex(1.0F));

  // The header is the only child.
  int children = 0;
  for (vn::Widget& child : table.get_children()) {
    EXPECT_EQ(&child, &table.header);
    ++children;
  }
  EXPECT_EQ(children, 1);
}

TEST_F(DataTableTest, ResizePlacesTheHeaderInsideTheFrame) {
  layout({20, 10});
  EXPECT_EQ(table.header.at, (dalk::Point{1, 1}));
  EXPECT_EQ(table.header.size, (Area{18, 1}));
  EXPECT_EQ(table.header.children[0].at, (dalk::Point{0, 0}));
  EXPECT_EQ(table.header.children[0].size, (Area{9, 1}));
  EXPECT_EQ(table.header.children[1].at, (dalk::Point{9, 0}));
  EXPECT_EQ(table.header.children[1].size, (Area{9, 1}));

  layout({1, 1});
  EXPECT_EQ(table.header.at, (dalk::Point{0, 0}));
  EXPECT_EQ(table.header.size, (Area{0, 1}));
  layout({0, 0});
  EXPECT_EQ(table.header.at, (dalk::Point{0, 0}));
  EXPECT_EQ(table.header.size, (Area{0, 0}));
}

TEST_F(DataTableTest, TwoColumnsTwoRows) {
  table.background = XColor::Blue;
  table.line_color = XColor::Yellow;
  table.add_row({"apple", "12"});
  table.add_row({"banana split", "7"});
  layout({20, 10});
  EXPECT_EQ(paint(), (Rows{
                         "╭──────────────────╮",
                         "│  Name      Qty   │",
                         "╞════════╤═════════╡",
                         "│apple   │12       │",
                         "├────────┼─────────┤",
                         "│banana …│7        │",
                         "╰────────┴─────────╯",
                         "                    ",
                         "                    ",
                         "                    ",
                     }));

  Brush const frame{XColor::Blue, XColor::Yellow, {}};
  Brush const line{XColor::Default, XColor::Yellow, {}};
  Brush const empty{XColor::Blue, XColor::Default, {}};
  // Frame and rules keep the table's background; junctions take the line brush whole.
  for (auto [x, y] : {std::pair{0, 0},
                      {5, 0},
                      {19, 0},
                      {0, 1},
                      {19, 3},
                      {1, 2},
                      {12, 2},
                      {1, 4},
                      {12, 4},
                      {0, 6},
                      {9, 0},
                      {5, 6}}) {
    EXPECT_EQ(cell(x, y).brush, frame) << x << "," << y;
  }
  for (auto [x, y] :
       {std::pair{0, 2}, {19, 2}, {9, 2}, {9, 3}, {0, 4}, {9, 4}, {19, 4}, {9, 5}, {9, 6}}) {
    EXPECT_EQ(cell(x, y).brush, line) << x << "," << y;
  }
  // Headings keep their colours and traits on the table's background.
  EXPECT_EQ(cell(3, 1).brush, (Brush{XColor::Blue, XColor::Red, Trait::Bold}));
  EXPECT_EQ(cell(1, 1).brush, (Brush{XColor::Blue, XColor::Red, Trait::Bold}));
  EXPECT_EQ(cell(13, 1).brush, (Brush{XColor::Blue, XColor::Green, Trait::Bold}));
  // Texts are drawn with the default brush; the rest of the cells and the space below the
  // table show the background.
  EXPECT_EQ(cell(1, 3), (Glyph{U'a', Brush{}}));
  EXPECT_EQ(cell(8, 5), (Glyph{U'…', Brush{}}));
  EXPECT_EQ(cell(6, 3), (Glyph{U' ', empty}));
  EXPECT_EQ(cell(5, 8), (Glyph{U' ', empty}));
  // Nothing outside the table's canvas.
  for (int x = 0; x < 22; ++x) {
    EXPECT_EQ((buffer[{x, 0}]), Glyph{}) << x;
    EXPECT_EQ((buffer[{x, 11}]), Glyph{}) << x;
  }
}

// The table's height, not the canvas's, decides how many lines are drawn.
struct HeightCase {
  char const* what;
  int rows;  // rows added: "apple" 12, then "pear" 3
  int height;
  Rows painted;  // blank lines below it up to the height

  friend void PrintTo(HeightCase const& c, std::ostream* out) { *out << c.what; }
};

class DataTableHeightTest : public DataTableTest,
                            public ::testing::WithParamInterface<HeightCase> {};

TEST_P(DataTableHeightTest, DrawsAsManyLinesAsTheRowsAndTheCanvasAllow) {
  std::vector<std::vector<std::string>> const rows{{"apple", "12"}, {"pear", "3"}};
  for (int i = 0; i < GetParam().rows; ++i) {
    table.add_row(rows[static_cast<std::size_t>(i)]);
  }
  layout({20, GetParam().height});
  Rows expected = GetParam().painted;
  expected.resize(static_cast<std::size_t>(GetParam().height), std::string(20, ' '));
  EXPECT_EQ(paint(), expected);
}

INSTANTIATE_TEST_SUITE_P(Heights, DataTableHeightTest,
                         ::testing::Values(HeightCase{"NoRowsIsThreeLinesHigh",
                                                      0,
                                                      10,
                                                      {
                                                          "╭──────────────────╮",
                                                          "│  Name      Qty   │",
                                                          "╞════════┴═════════╡",
                                                      }},
                                           HeightCase{"FourLinesLeaveNoRoomForTexts",
                                                      2,
                                                      4,
                                                      {
                                                          "╭──────────────────╮",
                                                          "│  Name      Qty   │",
                                                          "╞════════╤═════════╡",
                                                          "╰────────┴─────────╯",
                                                      }},
                                           HeightCase{"CanvasCutsTheLastRow",
                                                      2,
                                                      6,
                                                      {
                                                          "╭──────────────────╮",
                                                          "│  Name      Qty   │",
                                                          "╞════════╤═════════╡",
                                                          "│apple   │12       │",
                                                          "├────────┼─────────┤",
                                                          "╰────────┴─────────╯",
                                                      }}),
                         [](::testing::TestParamInfo<HeightCase> const& info) {
                           return std::string{info.param.what};
                         });

TEST_F(DataTableTest, TextsAreCutByCodePointsToLeaveTheLastCellFree) {
  // Columns 9 wide: texts of 8 code points fit, longer ones end in "…" after 7.
  table.add_row({"abcdefgh", "abcdefghi"});
  table.add_row({"αβγδεζηθ", "αβγδεζηθι"});
  table.add_row({"𝔸𝔹ℂ𝔻𝔼𝔽𝔾ℍ𝕀", ""});
  layout({20, 10});
  Rows const rows = paint();
  EXPECT_EQ(rows[3], "│abcdefgh│abcdefg… │");
  EXPECT_EQ(rows[5], "│αβγδεζηθ│αβγδεζη… │");
  EXPECT_EQ(rows[7], "│𝔸𝔹ℂ𝔻𝔼𝔽𝔾…│         │");
}

// The first column is 9 cells wide: a text may take 8, and one wider is cut by cells to 7 and
// ends in "…", never splitting a wide character. Read back as a terminal shows it.
struct WideCellCase {
  char const* what;
  char const* text;
  char const* line;
};

class DataTableWideTextTest : public ::testing::TestWithParam<WideCellCase> {};

TEST_P(DataTableWideTextTest, CellsAreCutByWidth) {
  DataTable table{DataTable::init};
  table.add_column("Name", Align::Center, XColor::Red);
  table.add_column("Qty", Align::Center, XColor::Green);
  table.add_row({GetParam().text, "1"});
  vn::testing::Harness screen{table, {20, 6}};
  EXPECT_EQ(screen.line(3), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DataTableWideTextTest,
    ::testing::Values(
        WideCellCase{"WideFits", "日本語テ", "│日本語テ│1        │"},
        WideCellCase{"WideCutBeforeTheEllipsis", "日本語テキ", "│日本語… │1        │"},
        WideCellCase{"NarrowCutBeforeAWide", "abcdefg日", "│abcdefg…│1        │"},
        WideCellCase{"WideNotSplit", "abcdef日x", "│abcdef… │1        │"},
        WideCellCase{"WideInTheLastAllowedCells", "abcdef日", "│abcdef日│1        │"},
        WideCellCase{"EmojiCut", "😀😀😀😀😀", "│😀😀😀… │1        │"},
        WideCellCase{"ComposedAccents", "cafe\u0301 ole\u0301", "│café olé│1        │"}),
    [](::testing::TestParamInfo<WideCellCase> const& info) {
      return std::string{info.param.what};
    });

TEST_F(DataTableTest, MalformedTextShowsItsWellFormedStart) {
  table.add_row({"ok\xff!", "x"});
  layout({20, 6});
  EXPECT_NO_THROW(paint());
  EXPECT_EQ(screen_rows(buffer, {1, 4}, {20, 1})[0], "│ok      │x        │");
}

TEST_F(DataTableTest, ColumnsTooNarrowForAnyTextShowNone) {
  table.add_column("Note", Align::Left, XColor::Default);
  table.add_row({"a", "b", "c"});
  // Two cells for three headings: widths 1, 1 and 0.
  layout({4, 6});
  ASSERT_EQ(table.header.children[2].size.width, 0);
  EXPECT_EQ(paint(), (Rows{
                         "╭──╮",
                         "│NQ│",
                         "╞╤╤╡",
                         "││││",
                         "╰┴┴╯",
                         "    ",
                     }));
}

TEST_F(DataTableTest, WheelScrollsOneRowAtATime) {
  table.add_row({"r0", "a"});
  table.add_row({"r1", "b"});
  table.add_row({"r2", "c"});
  layout({20, 10});
  EXPECT_EQ(paint()[8], "╰────────┴─────────╯");

  table.mouse_wheel(wheel_down);
  EXPECT_EQ(table.scroll_offset, 1U);
  Rows rows = paint();
  EXPECT_EQ(rows[3], "│r1      │b        │");
  EXPECT_EQ(rows[5], "│r2      │c        │");
  EXPECT_EQ(rows[6], "╰────────┴─────────╯");
  EXPECT_EQ(rows[8], "                    ");

  // The last row comes to the top but not past it.
  table.mouse_wheel(wheel_down);
  table.mouse_wheel(wheel_down);
  EXPECT_EQ(table.scroll_offset, 2U);
  EXPECT_EQ(paint()[3], "│r2      │c        │");

  table.mouse_wheel(wheel_up);
  table.mouse_wheel(wheel_up);
  table.mouse_wheel(wheel_up);
  EXPECT_EQ(table.scroll_offset, 0U);

  table.mouse_wheel(Mouse{{3, 4}, Mouse::Button::Left, {}});
  table.mouse_wheel(Mouse{{3, 4}, Mouse::Button::Right, {}});
  EXPECT_EQ(table.scroll_offset, 0U);
}

TEST_F(DataTableTest, WheelWithoutRowsStaysAtZero) {
  table.mouse_wheel(wheel_down);
  EXPECT_EQ(table.scroll_offset, 0U);
  table.mouse_wheel(wheel_up);
  EXPECT_EQ(table.scroll_offset, 0U);
}

TEST_F(DataTableTest, OffsetPastTheRowsShowsNoRows) {
  table.add_row({"r0", "a"});
  table.add_row({"r1", "b"});
  layout({20, 10});
  table.scroll_offset = 7;
  Rows const rows = paint();
  EXPECT_EQ(rows[2], "╞════════┴═════════╡");
  EXPECT_EQ(rows[3], "                    ");
  table.mouse_wheel(wheel_down);
  EXPECT_EQ(table.scroll_offset, 1U);
}

TEST_F(DataTableTest, WrongSizedRowIsRejectedWhole) {
  table.add_row({"kept", "1"});
  EXPECT_THROW_MSG(table.add_row({"short"}), std::runtime_error,
                   "DataTable::add_row: row size does not match column count.");
  EXPECT_THROW_MSG(table.add_row({"a", "b", "c"}), std::runtime_error,
                   "DataTable::add_row: row size does not match column count.");
  ASSERT_EQ(table.columns.size(), 2U);
  EXPECT_EQ(table.columns[0], std::vector<std::string>{"kept"});
  EXPECT_EQ(table.columns[1], std::vector<std::string>{"1"});

  DataTable empty{DataTable::init};
  EXPECT_THROW_MSG(empty.add_row({"x"}), std::runtime_error,
                   "DataTable::add_row: row size does not match column count.");
  EXPECT_NO_THROW(empty.add_row({}));
  EXPECT_TRUE(empty.columns.empty());
}

TEST_F(DataTableTest, ColumnAddedAfterRowsGetsEmptyCells) {
  table.add_row({"r0", "a"});
  table.add_row({"r1", "b"});
  layout({20, 10});
  table.add_column("New", Align::Left, XColor::Cyan);
  ASSERT_EQ(table.columns.size(), 3U);
  EXPECT_EQ(table.columns[2], (std::vector<std::string>{"", ""}));
  // Without width until the next resize.
  EXPECT_EQ(table.header.children[2].size, (Area{0, 0}));

  table.add_row({"r2", "c", "z"});
  layout({20, 10});
  EXPECT_EQ(paint(), (Rows{
                         "╭──────────────────╮",
                         "│ Name  Qty  New   │",
                         "╞═════╤═════╤══════╡",
                         "│r0   │a    │      │",
                         "├─────┼─────┼──────┤",
                         "│r1   │b    │      │",
                         "├─────┼─────┼──────┤",
                         "│r2   │c    │z     │",
                         "╰─────┴─────┴──────╯",
                         "                    ",
                     }));
}

TEST_F(DataTableTest, NothingWithoutAreaOrColumns) {
  DataTable bare{DataTable::init};
  bare.size = {10, 5};
  vn::ScreenBuffer canvas_buffer{Area{10, 5}};
  vn::ScreenBuffer const blank{Area{10, 5}};
  bare.paint(vn::Canvas{canvas_buffer, {0, 0}, bare.size});
  EXPECT_EQ(canvas_buffer.glyphs, blank.glyphs);

  table.add_row({"a", "b"});
  table.size = {0, 5};
  table.paint(vn::Canvas{canvas_buffer, {0, 0}, {0, 5}});
  table.size = {10, 0};
  table.paint(vn::Canvas{canvas_buffer, {0, 0}, {10, 0}});
  EXPECT_EQ(canvas_buffer.glyphs, blank.glyphs);
}

}  // namespace
