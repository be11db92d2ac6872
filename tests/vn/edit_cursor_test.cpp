// The cursor an editing widget reports always lies inside the widget, also where the cell
// after the text would not (found by fuzzing: the end of a right-aligned or full line).
#include <gtest/gtest.h>

#include <vn/vn.hpp>

namespace {

using dalk::Area;
using dalk::Point;

vn::TextBox make(std::string text, Area size, vn::Align align) {
  vn::TextBox::Options options;
  options.text = std::move(text);
  options.wrap = vn::TextBox::Wrap::Character;
  options.align = align;
  vn::TextBox box{options};
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

TEST(EditCursorTest, TextBoxCursorOnALineScrolledAwayIsNotShown) {
  vn::TextBox box = make("a\nb\nc\nd", {3, 1}, vn::Align::Left);
  // A slot that scrolls elsewhere while the paint reports the position.
  box.scrolled.connect([&box](int, int) { box.scroll_offset = 3; });
  box.cursor_index = 0;
  paint(box);
  EXPECT_FALSE(box.cursor.has_value());
}

TEST(EditCursorTest, LineEditCursorStaysInsideAtEveryWidth) {
  for (int width = 1; width <= 6; ++width) {
    vn::LineEdit::Options options;
    options.text = "abcd";
    vn::LineEdit edit{options};
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
