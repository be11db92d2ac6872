// The cursor an editing widget reports always lies inside the widget, also where the cell
// after the text would not (found by fuzzing: the end of a right-aligned or full line).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <vn/vn.hpp>

namespace {

using dalk::Area;
using dalk::Point;

vn::TextBox make(std::string text, Area size, vn::Align align) {
  vn::TextBox box{{.text = std::move(text), .wrap = vn::TextBox::Wrap::Character, .align = align}};
  box.size = size;
  return box;
}

void paint(vn::TextBox& box) {
  vn::ScreenBuffer buffer{{box.size.width, box.size.height}};
  box.paint(vn::Canvas{buffer, {0, 0}, box.size});
}

TEST(EditCursorTest, TextBoxCursorAfterARightAlignedLineStaysOnTheLastColumn) {
  vn::TextBox box = make("ab", {5, 2}, vn::Align::Right);
  box.key_press(dalk::Key::End);
  paint(box);
  EXPECT_EQ(box.cursor, (Point{4, 0}));
  // An empty right-aligned line begins past the edge.
  box.text = "";
  box.cursor_index = 0;
  paint(box);
  EXPECT_EQ(box.cursor, (Point{4, 0}));
}

// Where typing goes: after a full last line, the next character starts the row below.
struct FullLineCase {
  char const* what;
  std::string text;
  Area size;
  vn::Align align;
  Point cursor;
  int scroll_offset;
};

TEST(EditCursorTest, TextBoxCursorAfterAFullLastLineIsOnTheRowBelow) {
  std::vector<FullLineCase> const cases{
      {"left-aligned", "abcd", {4, 2}, vn::Align::Left, {0, 1}, 0},
      {"right-aligned: where a character typed now shows",
       "abcd",
       {4, 2},
       vn::Align::Right,
       {3, 1},
       0},
      {"centred", "abcd", {4, 2}, vn::Align::Center, {1, 1}, 0},
      {"wide characters fill the line", "日本", {4, 2}, vn::Align::Left, {0, 1}, 0},
      {"scrolled into view", "abcdefgh", {4, 2}, vn::Align::Left, {0, 1}, 1},
      {"a box one row high has no row below: the last column",
       "abcd",
       {4, 1},
       vn::Align::Left,
       {3, 0},
       0},
  };
  for (FullLineCase const& c : cases) {
    SCOPED_TRACE(c.what);
    vn::TextBox box = make(c.text, c.size, c.align);
    box.key_press(dalk::Key::End);
    paint(box);
    EXPECT_EQ(box.cursor, c.cursor);
    EXPECT_EQ(box.scroll_offset, c.scroll_offset);
  }
}

TEST(EditCursorTest, TextBoxTypingAfterAFullLineShowsWhereTheCursorWas) {
  vn::TextBox box{{.text = "abcd",
                   .wrap = vn::TextBox::Wrap::Character,
                   .focus_policy = vn::FocusPolicy::Strong}};
  vn::testing::Harness screen{box, {4, 3}};
  screen.click({3, 0});
  screen.key_press(dalk::Key::End);
  ASSERT_EQ(screen.cursor(), (Point{0, 1}));
  screen.type("e");
  EXPECT_EQ(screen.lines(), (std::vector<std::string>{"abcd", "e   ", "    "}));
  EXPECT_EQ(screen.cursor(), (Point{1, 1}));
}

TEST(EditCursorTest, TextBoxCursorOnALineScrolledAwayIsNotShown) {
  vn::TextBox box = make("a\nb\nc\nd", {3, 1}, vn::Align::Left);
  // A slot that scrolls elsewhere while the paint reports the position.
  box.scrolled.connect([&box](int, int) { box.scroll_offset = 3; });
  box.cursor_index = 0;
  paint(box);
  EXPECT_FALSE(box.cursor.has_value());
}

// The shape of the editor a click focused is what the commit is asked to write; an editor
// without one asks for none.
TEST(EditCursorTest, FocusedEditorsCursorShapeGoesToTheTerminal) {
  vn::LineEdit bar{{.cursor_shape = dalk::CursorShape::SteadyBar}};
  vn::TextBox block{
      {.focus_policy = vn::FocusPolicy::Strong, .cursor_shape = dalk::CursorShape::BlinkingBlock}};
  vn::LineEdit plain{vn::LineEdit::init};
  auto const painted_shape = [](vn::Widget& editor) {
    vn::testing::Harness screen{editor, {6, 2}};
    screen.click({0, 0});
    return vn::Terminal::cursor_shape;
  };
  EXPECT_EQ(painted_shape(bar), dalk::CursorShape::SteadyBar);
  EXPECT_EQ(painted_shape(block), dalk::CursorShape::BlinkingBlock);
  EXPECT_EQ(painted_shape(plain), std::nullopt);
}

TEST(EditCursorTest, LineEditCursorStaysInsideAtEveryWidth) {
  for (int width = 1; width <= 6; ++width) {
    vn::LineEdit edit{{.text = "abcd"}};
    edit.size = {width, 1};
    edit.key_press(dalk::Key::End);
    vn::ScreenBuffer buffer{{width, 1}};
    edit.paint(vn::Canvas{buffer, {0, 0}, edit.size});
    ASSERT_TRUE(edit.cursor.has_value()) << width;
    EXPECT_GE(edit.cursor->x, 0);
    EXPECT_LT(edit.cursor->x, width);
    EXPECT_EQ(edit.cursor->y, 0);
  }
}

}  // namespace
