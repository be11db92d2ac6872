#include <gtest/gtest.h>

#include <string>

#include <vn/vn.hpp>

#include "support/process.hpp"

namespace {

using dalk::Brush;
using dalk::Glyph;
using dalk::Point;
using dalk::TrueColor;
using dalk::XColor;

std::string const hide = "\x1b[?25l";
std::string const show = "\x1b[?25h";
std::string const default_brush = "\x1b[49m\x1b[39m\x1b[22;23;24;25;27;28;29m";

// Commits through the same code as Terminal::commit_changes, on a mirror and buffer of the
// fixture's own, so no terminal needs to be set up.
class ScreenCommitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vn::Terminal::changes = vn::ScreenBuffer{};
    vn::Terminal::cursor.reset();
  }

  // What the event loop does for a Resize event.
  static void resize(dalk::Area area) {
    vn::Terminal::changes.resize(area);
    vn::Terminal::changes.fill(Glyph{});
  }

  static void paint(Point p, Glyph glyph) { vn::Terminal::changes[p] = glyph; }

  std::string commit() {
    return vennic::test::capture_stdout(
        [this] { vn::detail::commit_changes(screen, escape_buffer); });
  }

  // A 3 x 2 screen of blanks already committed.
  void start_blank() {
    resize({3, 2});
    commit();
  }

  vn::ScreenBuffer screen;
  std::string escape_buffer;
};

TEST_F(ScreenCommitTest, FirstCommitWritesEveryCell) {
  resize({3, 2});
  paint({1, 0}, Glyph{U'a', Brush{XColor::Red, XColor::Default, {}}});
  paint({2, 1}, Glyph{U'é', Brush{}});
  EXPECT_EQ(commit(), hide +
                          "\x1b[1;1H "
                          "\x1b[1;2H\x1b[48;5;1m\x1b[39m\x1b[22;23;24;25;27;28;29ma"
                          "\x1b[1;3H" +
                          default_brush +
                          " "
                          "\x1b[2;1H \x1b[2;2H \x1b[2;3H\xc3\xa9" +
                          default_brush + hide);
  // The paint grid is blank again, and the mirror holds what was painted.
  for (Glyph const& glyph : vn::Terminal::changes.glyphs) {
    EXPECT_EQ(glyph, Glyph{});
  }
  EXPECT_EQ((screen[Point{1, 0}].symbol), U'a');
  EXPECT_EQ(screen.area, (dalk::Area{3, 2}));
}

TEST_F(ScreenCommitTest, NoChangeWritesOnlyFrame) {
  start_blank();
  EXPECT_EQ(commit(), hide + default_brush + hide);
  vn::Terminal::cursor = Point{2, 1};
  EXPECT_EQ(commit(), hide + default_brush + show + "\x1b[2;3H");
}

TEST_F(ScreenCommitTest, NeighboursShareOneBrushSequence) {
  start_blank();
  Brush const brush{TrueColor{1, 2, 3}, XColor{200}, dalk::Trait::Bold | dalk::Trait::Underline};
  paint({0, 1}, Glyph{U'x', brush});
  paint({1, 1}, Glyph{U'y', brush});
  EXPECT_EQ(commit(), hide +
                          "\x1b[2;1H\x1b[48;2;1;2;3m\x1b[38;5;200m\x1b[22;23;24;25;27;28;29;1;4mx"
                          "\x1b[2;2Hy" +
                          default_brush + hide);
}

TEST_F(ScreenCommitTest, DefaultBrushCellsNeedNoBrushSequence) {
  start_blank();
  paint({0, 0}, Glyph{U'p', Brush{}});
  paint({2, 0}, Glyph{U'q', Brush{}});
  EXPECT_EQ(commit(), hide + "\x1b[1;1Hp\x1b[1;3Hq" + default_brush + hide);
  // Unchanged content is not written again; the blank grid now differs from the mirror.
  paint({0, 0}, Glyph{U'p', Brush{}});
  EXPECT_EQ(commit(), hide + "\x1b[1;3H " + default_brush + hide);
}

TEST_F(ScreenCommitTest, ForegroundOnlyChangeRewritesCell) {
  start_blank();
  paint({1, 0}, Glyph{U' ', Brush{XColor::Default, XColor::Green, {}}});
  EXPECT_EQ(commit(), hide + "\x1b[1;2H\x1b[49m\x1b[38;5;2m\x1b[22;23;24;25;27;28;29m " +
                          default_brush + hide);
}

TEST_F(ScreenCommitTest, NulGlyphAfterResizeIsWritten) {
  start_blank();
  resize({2, 1});
  paint({0, 0}, Glyph{U'\0', Brush{}});
  paint({1, 0}, Glyph{U'z', Brush{}});
  EXPECT_EQ(commit(), hide + "\x1b[1;1H\xef\xbf\xbd\x1b[1;2Hz" + default_brush + hide);
}

TEST_F(ScreenCommitTest, ControlCharactersAreWrittenAsReplacement) {
  start_blank();
  paint({0, 0}, Glyph{U'\x1b', Brush{}});
  paint({1, 0}, Glyph{U'\x7f', Brush{}});
  paint({2, 0}, Glyph{U'\u009b', Brush{}});
  paint({0, 1}, Glyph{U'\0', Brush{XColor::Blue, XColor::Default, {}}});
  paint({1, 1}, Glyph{U'\u00a0', Brush{}});
  paint({2, 1}, Glyph{U'\u009f', Brush{}});
  std::string const replacement = "\xef\xbf\xbd";
  EXPECT_EQ(commit(), hide + "\x1b[1;1H" + replacement + "\x1b[1;2H" + replacement + "\x1b[1;3H" +
                          replacement + "\x1b[2;1H\x1b[48;5;4m\x1b[39m\x1b[22;23;24;25;27;28;29m" +
                          replacement + "\x1b[2;2H" + default_brush + "\xc2\xa0\x1b[2;3H" +
                          replacement + default_brush + hide);
  // The mirror keeps the painted glyphs: painting them again writes nothing.
  EXPECT_EQ((screen[Point{0, 0}].symbol), U'\x1b');
  paint({0, 0}, Glyph{U'\x1b', Brush{}});
  paint({1, 0}, Glyph{U'\x7f', Brush{}});
  paint({2, 0}, Glyph{U'\u009b', Brush{}});
  paint({0, 1}, Glyph{U'\0', Brush{XColor::Blue, XColor::Default, {}}});
  paint({1, 1}, Glyph{U'\u00a0', Brush{}});
  paint({2, 1}, Glyph{U'\u009f', Brush{}});
  EXPECT_EQ(commit(), hide + default_brush + hide);
}

TEST_F(ScreenCommitTest, BufferCapacityIsReused) {
  start_blank();
  paint({0, 0}, Glyph{U'a', Brush{TrueColor{255, 255, 255}, TrueColor{0, 0, 0}, {}}});
  commit();
  auto const* const data = escape_buffer.data();
  auto const capacity = escape_buffer.capacity();
  commit();
  EXPECT_EQ(escape_buffer.data(), data);
  EXPECT_EQ(escape_buffer.capacity(), capacity);
}

TEST(CanvasTest, ElementsAreOffsetAndNotClipped) {
  vn::ScreenBuffer buffer{{20, 5}};
  vn::Canvas canvas{buffer, {5, 2}, {10, 3}};
  EXPECT_EQ((&canvas[{1, 1}]), (&buffer[{6, 3}]));
  EXPECT_EQ((&canvas[{12, 0}]), (&buffer[{17, 2}]));
}

TEST(ScreenBufferTest, ResizeKeepsIndicesAndBlanksNewCells) {
  vn::ScreenBuffer buffer{{2, 2}};
  buffer[{1, 0}].symbol = U'k';
  buffer.resize({3, 2});
  EXPECT_EQ(buffer.glyphs.size(), 6U);
  EXPECT_EQ(buffer.glyphs[1].symbol, U'k');
  EXPECT_EQ(buffer.glyphs[5], Glyph{});
}

TEST(SequenceAppendTest, MatchesEscapeFunctions) {
  std::string out;
  for (Point p : {Point{0, 0}, Point{4, 9}, Point{1999, 799}}) {
    out.clear();
    dalk::detail::append_escape(out, p);
    EXPECT_EQ(out, dalk::escape(p));
  }
  Brush const brushes[] = {
      Brush{}, Brush{XColor{0}, XColor{255}, dalk::Trait::Standout},
      Brush{TrueColor{0, 128, 255}, TrueColor{255, 0, 9},
            dalk::Trait::Standout | dalk::Trait::Inverse | dalk::Trait::DoubleUnderline},
      Brush{XColor::Default, TrueColor{},
            dalk::Trait::Dim | dalk::Trait::Italic | dalk::Trait::Blink | dalk::Trait::Invisible |
                dalk::Trait::CrossedOut}};
  for (Brush const& brush : brushes) {
    out.clear();
    dalk::escape(Brush{XColor::Red, XColor::Red, dalk::Trait::Bold});
    dalk::detail::append_escape(out, brush);
    EXPECT_EQ(dalk::background_color(), brush.background);
    EXPECT_EQ(dalk::foreground_color(), brush.foreground);
    EXPECT_EQ(dalk::traits(), brush.traits);
    EXPECT_EQ(out, dalk::escape(brush));
  }
}

}  // namespace
