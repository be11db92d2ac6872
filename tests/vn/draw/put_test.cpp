#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <vn/vn.hpp>

#include "support/screen_text.hpp"

namespace {

using dalk::Area;
using dalk::Brush;
using dalk::Glyph;
using dalk::Point;
using dalk::Trait;
using dalk::XColor;
using Rows = std::vector<std::string>;
using vennic::test::screen_rows;

// Untouched cells show as '.', so every expectation also shows what a drawing left alone.
class PutTest : public ::testing::Test {
 protected:
  explicit PutTest(Area area = {6, 4}) : buffer{area} { buffer.fill(Glyph{U'.', {}}); }

  vn::Canvas canvas() { return vn::Canvas{buffer, {0, 0}, buffer.area}; }
  Rows rows() const { return screen_rows(buffer); }
  Glyph const& cell(int x, int y) const { return buffer[{x, y}]; }

  vn::ScreenBuffer buffer;
};

Brush const red_background{XColor::Red, XColor::Default, Trait::Bold};
Brush const blue_on_green{XColor::Green, XColor::Blue, Trait::Underline};

vn::shape::Box box_of(Area size) {
  return vn::shape::Box{{U'a', U'b', U'c', U'd'}, {U'T', U'B', U'R', U'L'}, size};
}

TEST_F(PutTest, GlyphOnlyInsideCanvas) {
  Glyph const x{U'x', blue_on_green};
  for (Point p : {Point{6, 0}, Point{0, 4}, Point{-1, 0}, Point{0, -1}}) {
    vn::put(canvas(), p, x);
  }
  EXPECT_EQ(rows(), (Rows{"......", "......", "......", "......"}));
  vn::put(canvas(), {5, 3}, x);
  EXPECT_EQ(cell(5, 3), x);
}

TEST_F(PutTest, TextStartingOutsideIsDroppedWhole) {
  vn::put(canvas(), {-1, 0}, "abc");
  vn::put(canvas(), {0, -1}, "abc");
  vn::put(canvas(), {0, 4}, "abc");
  vn::put(canvas(), {6, 1}, "abc");
  EXPECT_EQ(rows(), (Rows{"......", "......", "......", "......"}));
}

TEST_F(PutTest, TextIsCutAtTheRightEdge) {
  vn::put(canvas(), {4, 0}, "abc");
  vn::put(canvas(), {0, 1}, "héllo wörld");
  vn::put(canvas(), {2, 2}, U"xyz");
  EXPECT_EQ(rows(), (Rows{"....ab", "héllo ", "..xyz.", "......"}));
}

TEST_F(PutTest, TextTakesTheDefaultBrush) {
  vn::put(canvas(), {0, 0}, vn::shape::Fill{Glyph{U' ', red_background}, {6, 1}});
  vn::put(canvas(), {1, 0}, "ab");
  vn::put(canvas(), {4, 0}, U"cd");
  EXPECT_EQ(cell(0, 0).brush, red_background);
  EXPECT_EQ(cell(3, 0).brush, red_background);
  for (int x : {1, 2, 4, 5}) {
    EXPECT_EQ(cell(x, 0).brush, Brush{}) << x;
  }
}

TEST_F(PutTest, MalformedTextDrawsItsWellFormedPrefix) {
  vn::put(canvas(), {0, 0},
          "ab\xff"
          "cd");
  EXPECT_EQ(rows()[0], "ab....");
}

TEST_F(PutTest, Utf32TextWritesEveryCodeUnitIncludingNul) {
  vn::put(canvas(), {0, 0}, std::u32string_view{U"\0x", 2});
  EXPECT_EQ(cell(0, 0).symbol, U'\0');
  EXPECT_EQ(cell(1, 0).symbol, U'x');
}

// Cells as the buffer holds them: a wide code point's second cell holds a space.
struct WideTextCase {
  char const* what;
  char const* text;
  int x;
  char const* row;
};

class PutWideTextTest : public PutTest, public ::testing::WithParamInterface<WideTextCase> {};

TEST_P(PutWideTextTest, TextAdvancesByCellsAndNeverDrawsHalfACharacter) {
  WideTextCase const& c = GetParam();
  vn::put(canvas(), {c.x, 0}, c.text);
  vn::put(canvas(), {c.x, 1}, std::u32string_view{dalk::detail::u8_string_to_u32_string(c.text)});
  EXPECT_EQ(rows()[0], c.row);
  EXPECT_EQ(rows()[1], c.row);
  for (int x = 0; x < 6; ++x) {
    if (cell(x, 0).symbol != U'.') {
      EXPECT_EQ(cell(x, 0).brush, Brush{}) << x;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PutWideTextTest,
    ::testing::Values(WideTextCase{"Wide", "日本", 0, "日 本 .."},
                      WideTextCase{"WideCutAtTheEdgeBecomesASpace", "日本語", 1, ".日 本  "},
                      WideTextCase{"WideInTheLastColumn", "a日", 4, "....a "},
                      WideTextCase{"WideAloneInTheLastColumn", "日", 5, "..... "},
                      WideTextCase{"Emoji", "😀!", 3, "...😀 !"},
                      WideTextCase{"Hangul", "한국", 0, "한 국 .."},
                      WideTextCase{"JamoComposeIntoASyllable", "\u1112\u1161\u11AB", 0, "한 ...."},
                      WideTextCase{"CombiningMarkComposes", "e\u0301te\u0301", 0, "été..."},
                      WideTextCase{"MarkWithoutComposedFormRidesInItsCell", "q\u0301r", 0,
                                   "q\u0301r...."},
                      WideTextCase{"LoneMarkDrawsNothing", "\u0301", 2, "......"},
                      WideTextCase{"JoinerRidesInTheCellBeforeIt", "x\u200Dy", 1, ".x\u200Dy..."},
                      WideTextCase{"FullwidthLatin", "Ａb", 0, "Ａ b..."}),
    [](::testing::TestParamInfo<WideTextCase> const& info) {
      return std::string{info.param.what};
    });

TEST_F(PutTest, WideGlyphInTheLastColumnBecomesASpaceInItsBrush) {
  vn::put(canvas(), {5, 0}, Glyph{U'日', blue_on_green});
  vn::put(canvas(), {4, 1}, Glyph{U'日', blue_on_green});
  EXPECT_EQ(cell(5, 0), (Glyph{U' ', blue_on_green}));
  EXPECT_EQ(cell(4, 1), (Glyph{U'日', blue_on_green}));
  // A single glyph writes only its own cell.
  EXPECT_EQ(cell(5, 1).symbol, U'.');
}

TEST_F(PutTest, HorizontalLineClipping) {
  vn::put(canvas(), {-1, 0}, vn::shape::HLine{3, U'-'});
  vn::put(canvas(), {0, -1}, vn::shape::HLine{3, U'-'});
  vn::put(canvas(), {0, 4}, vn::shape::HLine{3, U'-'});
  vn::put(canvas(), {6, 0}, vn::shape::HLine{3, U'-'});
  vn::put(canvas(), {0, 0}, vn::shape::HLine{0, U'-'});
  vn::put(canvas(), {0, 0}, vn::shape::HLine{-2, U'-'});
  vn::put(canvas(), {0, 1}, vn::shape::HLine{6, U'\0'});
  EXPECT_EQ(rows(), (Rows{"......", "......", "......", "......"}));

  vn::put(canvas(), {1, 1}, vn::shape::HLine{2, U'-'});
  vn::put(canvas(), {3, 2}, vn::shape::HLine{100, U'='});
  vn::put(canvas(), {0, 3}, vn::shape::HLine{2147483647, U'~'});
  EXPECT_EQ(rows(), (Rows{"......", ".--...", "...===", "~~~~~~"}));
}

TEST_F(PutTest, VerticalLineClipping) {
  vn::put(canvas(), {-1, 0}, vn::shape::VLine{3, U'|'});
  vn::put(canvas(), {0, -1}, vn::shape::VLine{3, U'|'});
  vn::put(canvas(), {6, 0}, vn::shape::VLine{3, U'|'});
  vn::put(canvas(), {0, 4}, vn::shape::VLine{3, U'|'});
  vn::put(canvas(), {0, 0}, vn::shape::VLine{0, U'|'});
  vn::put(canvas(), {1, 0}, vn::shape::VLine{4, U'\0'});
  EXPECT_EQ(rows(), (Rows{"......", "......", "......", "......"}));

  vn::put(canvas(), {1, 1}, vn::shape::VLine{2, U'|'});
  vn::put(canvas(), {4, 2}, vn::shape::VLine{100, U'!'});
  vn::put(canvas(), {5, 0}, vn::shape::VLine{2147483647, U':'});
  EXPECT_EQ(rows(), (Rows{".....:", ".|...:", ".|..!:", "....!:"}));
}

TEST_F(PutTest, WriteModesOfLines) {
  buffer.fill(Glyph{U'.', red_background});
  vn::put(canvas(), {0, 0}, vn::shape::HLine{2, U'-'});
  vn::put(canvas(), {0, 1}, vn::shape::HLine{2, U'-'}, dalk::Color{XColor::Blue});
  vn::put(canvas(), {0, 2}, vn::shape::HLine{2, U'-'}, blue_on_green);
  vn::put(canvas(), {5, 0}, vn::shape::VLine{1, U'|'}, dalk::Color{dalk::TrueColor{1, 2, 3}});
  vn::put(canvas(), {5, 1}, vn::shape::VLine{1, U'|'}, blue_on_green);
  vn::put(canvas(), {5, 2}, vn::shape::VLine{1, U'|'});

  EXPECT_EQ(rows(), (Rows{"--...|", "--...|", "--...|", "......"}));
  EXPECT_EQ(cell(1, 0).brush, red_background);
  EXPECT_EQ(cell(1, 1).brush, (Brush{XColor::Red, XColor::Blue, Trait::Bold}));
  EXPECT_EQ(cell(1, 2).brush, blue_on_green);
  EXPECT_EQ(cell(5, 0).brush, (Brush{XColor::Red, dalk::TrueColor{1, 2, 3}, Trait::Bold}));
  EXPECT_EQ(cell(5, 1).brush, blue_on_green);
  EXPECT_EQ(cell(5, 2).brush, red_background);
  EXPECT_EQ(cell(2, 1).brush, red_background);
}

TEST_F(PutTest, BoxWallsThenCorners) {
  vn::put(canvas(), {1, 0}, box_of({4, 4}));
  EXPECT_EQ(rows(), (Rows{".aTTb.", ".L..R.", ".L..R.", ".cBBd."}));
}

TEST_F(PutTest, BoxOneColumnWideOrOneRowHigh) {
  vn::put(canvas(), {0, 0}, box_of({1, 4}));
  vn::put(canvas(), {2, 1}, box_of({4, 1}));
  // The right wall and corners overwrite the left ones; the bottom overwrites the top.
  EXPECT_EQ(rows(), (Rows{"b.....", "R.cBBd", "R.....", "d....."}));
}

TEST_F(PutTest, TwoByTwoBoxIsItsCorners) {
  vn::put(canvas(), {2, 1}, box_of({2, 2}));
  EXPECT_EQ(rows(), (Rows{"......", "..ab..", "..cd..", "......"}));
}

TEST_F(PutTest, BoxWithNulCodePointsKeepsThoseCells) {
  auto box = box_of({5, 3});
  box.walls[0] = U'\0';
  box.corners[3] = U'\0';
  vn::put(canvas(), {0, 0}, box);
  EXPECT_EQ(rows(), (Rows{"a...b.", "L...R.", "cBBB..", "......"}));
}

TEST_F(PutTest, BoxWithNegativePositionLosesWallsStartingOutside) {
  vn::put(canvas(), {-1, -1}, box_of({4, 4}));
  // Top and left walls start outside; the bottom wall starts at column 0, the right wall at
  // row 0.
  EXPECT_EQ(rows(), (Rows{"..R...", "..R...", "BBd...", "......"}));
}

TEST_F(PutTest, EmptyOrOutsideBoxDrawsNothing) {
  vn::put(canvas(), {2, 2}, box_of({0, 0}));
  vn::put(canvas(), {2, 2}, box_of({3, 0}));
  vn::put(canvas(), {2, 2}, box_of({0, 3}));
  vn::put(canvas(), {6, 0}, box_of({3, 3}));
  vn::put(canvas(), {0, 4}, box_of({3, 3}));
  vn::put(canvas(), {-5, 0}, box_of({3, 3}));
  EXPECT_EQ(rows(), (Rows{"......", "......", "......", "......"}));
}

class PutWideTest : public PutTest {
 protected:
  PutWideTest() : PutTest{{10, 8}} {}
};

TEST_F(PutWideTest, OverhangingBoxIsPulledIntoTheCanvas) {
  vn::put(canvas(), {5, 5}, box_of({10, 10}));
  EXPECT_EQ(rows(), (Rows{"..........", "..........", "..........", "..........", "..........",
                          ".....aTTTb", ".....L...R", ".....cBBBd"}));
}

TEST_F(PutWideTest, BoxWriteModes) {
  buffer.fill(Glyph{U'.', red_background});
  vn::put(canvas(), {0, 0}, box_of({3, 3}));
  vn::put(canvas(), {3, 0}, box_of({3, 3}), dalk::Color{XColor::Blue});
  vn::put(canvas(), {6, 0}, box_of({3, 3}), blue_on_green);
  for (int x = 0; x < 9; ++x) {
    for (int y = 0; y < 3; ++y) {
      Brush const expected = x < 3   ? red_background
                             : x < 6 ? Brush{XColor::Red, XColor::Blue, Trait::Bold}
                                     : blue_on_green;
      bool const outline = x % 3 != 1 || y != 1;
      EXPECT_EQ(cell(x, y).brush, outline ? expected : red_background) << x << "," << y;
    }
  }
}

TEST_F(PutTest, FrameOutlinesTheCanvas) {
  vn::put(canvas(), vn::shape::Frame{{U'a', U'b', U'c', U'd'}, {U'T', U'B', U'R', U'L'}});
  EXPECT_EQ(rows(), (Rows{"aTTTTb", "L....R", "L....R", "cBBBBd"}));
}

TEST_F(PutTest, FrameWriteModes) {
  buffer.fill(Glyph{U'.', red_background});
  vn::shape::Frame const frame{};
  vn::put(vn::Canvas{buffer, {0, 0}, {2, 2}}, frame);
  vn::put(vn::Canvas{buffer, {2, 0}, {2, 2}}, frame, dalk::Color{XColor::Blue});
  vn::put(vn::Canvas{buffer, {4, 0}, {2, 2}}, frame, blue_on_green);
  EXPECT_EQ(rows(), (Rows{"┌┐┌┐┌┐", "└┘└┘└┘", "......", "......"}));
  EXPECT_EQ(cell(1, 1).brush, red_background);
  EXPECT_EQ(cell(3, 1).brush, (Brush{XColor::Red, XColor::Blue, Trait::Bold}));
  EXPECT_EQ(cell(5, 1).brush, blue_on_green);
}

TEST_F(PutTest, FrameOnTinyCanvases) {
  vn::shape::Frame const frame{{U'a', U'b', U'c', U'd'}, {U'T', U'B', U'R', U'L'}};
  vn::put(vn::Canvas{buffer, {1, 1}, {1, 1}}, frame);
  vn::put(vn::Canvas{buffer, {3, 1}, {0, 0}}, frame);
  EXPECT_EQ(rows(), (Rows{"......", ".d....", "......", "......"}));
}

TEST_F(PutTest, RoundCorners) {
  vn::shape::Frame frame{};
  frame.corners = vn::shape::Box::round_corners;
  vn::put(vn::Canvas{buffer, {0, 0}, {3, 2}}, frame);
  EXPECT_EQ(rows(), (Rows{"╭─╮...", "╰─╯...", "......", "......"}));
}

TEST_F(PutTest, FillClipsToTheCanvasAndWritesWholeGlyphs) {
  buffer.fill(Glyph{U'.', red_background});
  Glyph const nul{U'\0', blue_on_green};
  vn::put(canvas(), {-2, -1}, vn::shape::Fill{Glyph{U'#', blue_on_green}, {4, 3}});
  vn::put(canvas(), {4, 2}, vn::shape::Fill{Glyph{U'+', {}}, {100, 100}});
  vn::put(canvas(), {3, 0}, vn::shape::Fill{nul, {1, 1}});
  vn::put(canvas(), {0, 3}, vn::shape::Fill{Glyph{U'x', {}}, {0, 5}});
  EXPECT_EQ(screen_rows(buffer, {0, 1}, {6, 3}), (Rows{"##....", "....++", "....++"}));
  EXPECT_EQ(cell(1, 0), (Glyph{U'#', blue_on_green}));
  EXPECT_EQ(cell(2, 0).symbol, U'.');
  EXPECT_EQ(cell(3, 0), nul);
  EXPECT_EQ(cell(5, 3), (Glyph{U'+', {}}));
}

class PutInnerCanvasTest : public PutTest {
 protected:
  PutInnerCanvasTest() : PutTest{{8, 5}} {}
  vn::Canvas inner() { return vn::Canvas{buffer, {2, 1}, {4, 3}}; }
};

TEST_F(PutInnerCanvasTest, WideTextIsCutAtTheCanvasEdgeNotTheBuffers) {
  vn::put(inner(), {1, 0}, "日本");
  EXPECT_EQ(rows()[1], "...日  ..");
}

TEST_F(PutInnerCanvasTest, ClearTouchesOnlyTheCanvas) {
  buffer.fill(Glyph{U'.', red_background});
  vn::clear(inner());
  EXPECT_EQ(rows(), (Rows{"........", "..    ..", "..    ..", "..    ..", "........"}));
  EXPECT_EQ(cell(2, 1), Glyph{});
  EXPECT_EQ(cell(1, 1).brush, red_background);
}

TEST_F(PutInnerCanvasTest, FillBrushKeepsCodePointsAndTouchesOnlyTheCanvas) {
  buffer.fill(Glyph{U'.', red_background});
  vn::fill_brush(inner(), blue_on_green);
  EXPECT_EQ(rows(), (Rows{"........", "........", "........", "........", "........"}));
  EXPECT_EQ(cell(2, 1).brush, blue_on_green);
  EXPECT_EQ(cell(5, 3).brush, blue_on_green);
  for (Point p : {Point{1, 1}, Point{6, 1}, Point{2, 0}, Point{2, 4}}) {
    EXPECT_EQ(cell(p.x, p.y).brush, red_background) << p.x << "," << p.y;
  }
}

TEST_F(PutInnerCanvasTest, FillBackgroundKeepsForegroundAndTraits) {
  buffer.fill(Glyph{U'.', blue_on_green});
  vn::fill_background(inner(), dalk::Color{dalk::TrueColor{1, 2, 3}});
  EXPECT_EQ(rows(), (Rows{"........", "........", "........", "........", "........"}));
  EXPECT_EQ(cell(3, 2).brush, (Brush{dalk::TrueColor{1, 2, 3}, XColor::Blue, Trait::Underline}));
  EXPECT_EQ(cell(1, 2).brush, blue_on_green);
  EXPECT_EQ(cell(6, 2).brush, blue_on_green);
}

TEST_F(PutInnerCanvasTest, ShapesStayInsideTheCanvas) {
  vn::put(inner(), {1, 1}, box_of({10, 10}));
  vn::put(inner(), {0, 0}, vn::shape::HLine{50, U'-'});
  vn::put(inner(), {0, 0}, vn::shape::VLine{50, U'|'});
  vn::put(inner(), {2, 0}, "long text");
  vn::put(inner(), {-1, -1}, vn::shape::Fill{Glyph{U'#', {}}, {2, 2}});
  EXPECT_EQ(rows(), (Rows{"........", "..#-lo..", "..|aTb..", "..|cBd..", "........"}));
}

TEST_F(PutInnerCanvasTest, FrameOnInnerCanvas) {
  vn::put(inner(), vn::shape::Frame{});
  EXPECT_EQ(rows(), (Rows{"........", "..┌──┐..", "..│..│..", "..└──┘..", "........"}));
}

}  // namespace
