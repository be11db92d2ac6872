#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

#include <vn/vn.hpp>

#include "support/screen_text.hpp"

namespace {

using dalk::Brush;
using dalk::Glyph;
using dalk::Trait;
using dalk::XColor;
using vennic::test::screen_rows;
using vn::Border;
using vn::Divider;
using Rows = std::vector<std::string>;
using Points = std::array<char32_t, 4>;

Brush const red_on_blue{XColor::Blue, XColor::Red, Trait::Italic};

struct BorderStyle {
  char const* name;
  Border (*from_text)(std::string);
  Border (*from_options)(Border::Options);
  Points corners;  // top-left, top-right, bottom-left, bottom-right
  Points walls;    // top, bottom, right, left
};

std::vector<BorderStyle> const border_styles{
    {"light", Border::light, Border::light, {U'┌', U'┐', U'└', U'┘'}, {U'─', U'─', U'│', U'│'}},
    {"round", Border::round, Border::round, {U'╭', U'╮', U'╰', U'╯'}, {U'─', U'─', U'│', U'│'}},
    {"twin", Border::twin, Border::twin, {U'╔', U'╗', U'╚', U'╝'}, {U'═', U'═', U'║', U'║'}},
    {"bold", Border::bold, Border::bold, {U'┏', U'┓', U'┗', U'┛'}, {U'━', U'━', U'┃', U'┃'}},
    {"dashed", Border::dashed, Border::dashed, {U'┌', U'┐', U'└', U'┘'}, {U'╌', U'╌', U'╎', U'╎'}},
    {"dotted", Border::dotted, Border::dotted, {U'┌', U'┐', U'└', U'┘'}, {U'┄', U'┄', U'┆', U'┆'}},
    {"ascii", Border::ascii, Border::ascii, {U'+', U'+', U'+', U'+'}, {U'-', U'-', U'|', U'|'}},
    {"twin_horizontal",
     Border::twin_horizontal,
     Border::twin_horizontal,
     {U'╒', U'╕', U'╘', U'╛'},
     {U'═', U'═', U'│', U'│'}},
    {"twin_vertical",
     Border::twin_vertical,
     Border::twin_vertical,
     {U'╓', U'╖', U'╙', U'╜'},
     {U'─', U'─', U'║', U'║'}},
};

struct DividerStyle {
  char const* name;
  Divider (*from_text)(std::string);
  Divider (*from_options)(Divider::Options);
  char32_t vertical;
  char32_t horizontal;
};

std::vector<DividerStyle> const divider_styles{
    {"light", Divider::light, Divider::light, U'│', U'─'},
    {"bold", Divider::bold, Divider::bold, U'┃', U'━'},
    {"twin", Divider::twin, Divider::twin, U'║', U'═'},
    {"dashed", Divider::dashed, Divider::dashed, U'╎', U'╌'},
    {"dotted", Divider::dotted, Divider::dotted, U'┆', U'┄'},
    {"ascii", Divider::ascii, Divider::ascii, U'|', U'-'},
    {"empty", Divider::empty, Divider::empty, U' ', U' '},
};

void expect_default_label(vn::Label const& label, std::string const& text) {
  EXPECT_EQ(label.text, text);
  EXPECT_EQ(label.align, vn::Align::Center);
  EXPECT_EQ(label.brush, Brush{});
  EXPECT_EQ(label.size_policy, vn::SizePolicy::flex(1.0F));
}

vn::Label custom_label() {
  return vn::Label{{"caption", vn::Align::Right, red_on_blue, vn::SizePolicy::fixed(7)}};
}

void expect_custom_label(vn::Label const& label) {
  EXPECT_EQ(label.text, "caption");
  EXPECT_EQ(label.align, vn::Align::Right);
  EXPECT_EQ(label.brush, red_on_blue);
  EXPECT_EQ(label.size_policy, vn::SizePolicy::fixed(7));
}

// From a text: the default brush and a centred label; from options: their brush and label. A
// copy holds a label of its own.
TEST(BorderTest, EveryStyleHasItsCodePointsAndCopies) {
  for (BorderStyle const& style : border_styles) {
    SCOPED_TRACE(style.name);
    Border const from_text = style.from_text("Title");
    Border const from_options = style.from_options(Border::Options{red_on_blue, custom_label()});
    Border const copy = from_options;
    for (Border const* border : {&from_text, &from_options, &copy}) {
      EXPECT_EQ(border->frame.corners, style.corners);
      EXPECT_EQ(border->frame.walls, style.walls);
    }
    EXPECT_EQ(from_text.brush, Brush{});
    expect_default_label(from_text.label, "Title");
    EXPECT_EQ(from_options.brush, red_on_blue);
    expect_custom_label(from_options.label);
    EXPECT_EQ(copy.brush, red_on_blue);
    expect_custom_label(copy.label);
    EXPECT_NE(copy.label.lifetime, from_options.label.lifetime);
  }
  // So the options of a bordered widget copy from its init.
  auto options = vn::Bordered<vn::Label>::init;
  options.size_policy = vn::SizePolicy::fixed(3);
  vn::Bordered<vn::Label> const boxed{options, vn::Label{vn::Label::init}};
  EXPECT_EQ(boxed.size_policy, vn::SizePolicy::fixed(3));
  EXPECT_EQ(boxed.border.frame.corners, border_styles[0].corners);
}

TEST(BorderTest, RoundAndLightDifferOnlyInTheCorners) {
  Border const round = Border::round("x");
  Border const light = Border::light("x");
  EXPECT_EQ(round.frame.walls, light.frame.walls);
  EXPECT_EQ(round.frame.corners, vn::shape::Box::round_corners);
  EXPECT_NE(round.frame.corners, light.frame.corners);
  EXPECT_EQ(round.brush, light.brush);
  EXPECT_EQ(round.label.text, light.label.text);
  EXPECT_EQ(round.label.align, light.label.align);
}

TEST(BorderTest, DrawsAsAFrame) {
  vn::ScreenBuffer buffer{dalk::Area{5, 3}};
  Border const border = Border::twin_vertical("");
  vn::put(vn::Canvas{buffer, {0, 0}, buffer.area}, border.frame);
  EXPECT_EQ(screen_rows(buffer), (Rows{"╓───╖", "║   ║", "╙───╜"}));
}

TEST(DividerTest, EveryStyleHasItsLinesWhateverTheOptionsSay) {
  for (DividerStyle const& style : divider_styles) {
    SCOPED_TRACE(style.name);
    Divider const from_text = style.from_text("Section");
    EXPECT_EQ(from_text.lines.vertical, style.vertical);
    EXPECT_EQ(from_text.lines.horizontal, style.horizontal);
    EXPECT_EQ(from_text.brush, Brush{});
    expect_default_label(from_text.label, "Section");

    Divider const from_options =
        style.from_options(Divider::Options{{U'a', U'b'}, red_on_blue, custom_label()});
    EXPECT_EQ(from_options.lines.vertical, style.vertical);
    EXPECT_EQ(from_options.lines.horizontal, style.horizontal);
    EXPECT_EQ(from_options.brush, red_on_blue);
    expect_custom_label(from_options.label);
  }
}

TEST(DividerTest, OneCellThickWhateverTheOptions) {
  Divider const divider = Divider::light(Divider::Options{});
  EXPECT_EQ(divider.size_policy, vn::SizePolicy::fixed(1));
  EXPECT_EQ(divider.focus_policy, vn::FocusPolicy::None);
  // The label is kept, not a child.
  Divider labelled = Divider::light("x");
  auto children = labelled.get_children();
  EXPECT_TRUE(children.begin() == children.end());
}

// Paints a divider of the given size onto a buffer of dots at (1, 1).
Rows paint(Divider& divider, dalk::Area size, vn::ScreenBuffer& buffer) {
  buffer.fill(Glyph{U'.', red_on_blue});
  divider.size = size;
  divider.paint(vn::Canvas{buffer, {1, 1}, size});
  return screen_rows(buffer);
}

TEST(DividerTest, VerticalOnlyWhenExactlyOneWide) {
  vn::ScreenBuffer buffer{dalk::Area{12, 7}};
  Divider divider = Divider::light("");
  EXPECT_EQ(paint(divider, {1, 5}, buffer),
            (Rows{"............", ".│..........", ".│..........", ".│..........", ".│..........",
                  ".│..........", "............"}));
  for (int y = 1; y <= 5; ++y) {
    EXPECT_EQ((buffer[{1, y}].brush), Brush{});
  }
  EXPECT_EQ(paint(divider, {10, 1}, buffer),
            (Rows{"............", ".──────────.", "............", "............", "............",
                  "............", "............"}));
  EXPECT_EQ(paint(divider, {1, 1}, buffer)[1], ".│..........");
  // Neither a column nor a row: still horizontal.
  EXPECT_EQ(paint(divider, {2, 2}, buffer)[2], ".──.........");
}

TEST(DividerTest, AsciiAndEmptyStyles) {
  vn::ScreenBuffer buffer{dalk::Area{12, 7}};
  Divider ascii = Divider::ascii("");
  EXPECT_EQ(paint(ascii, {1, 2}, buffer)[2], ".|..........");
  EXPECT_EQ(paint(ascii, {4, 1}, buffer)[1], ".----.......");

  Divider::Options options;
  options.brush = Brush{XColor::Magenta, XColor::Default, {}};
  Divider empty = Divider::empty(std::move(options));
  EXPECT_EQ(paint(empty, {3, 1}, buffer)[1], ".   ........");
  for (int x = 1; x <= 3; ++x) {
    EXPECT_EQ((buffer[{x, 1}]), (Glyph{U' ', Brush{XColor::Magenta, XColor::Default, {}}}));
  }
}

}  // namespace
