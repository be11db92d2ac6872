#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include <vn/vn.hpp>

#include "support/process.hpp"
#include "support/screen_text.hpp"

namespace {

using dalk::Area;
using dalk::Brush;
using dalk::Glyph;
using dalk::Key;
using dalk::Mod;
using dalk::Mouse;
using dalk::Point;
using dalk::XColor;
using Rows = std::vector<std::string>;
using vennic::test::screen_rows;
using vn::Align;
using vn::TextBox;
using Wrap = vn::TextBox::Wrap;

static_assert(std::is_nothrow_move_constructible_v<TextBox>);
static_assert(std::is_nothrow_move_assignable_v<TextBox>);

// Paints the box at (1, 1) of a larger buffer whose untouched cells show as '.', so the
// expectations show exactly which cells the box wrote.
class TextBoxTest : public ::testing::Test {
 protected:
  TextBoxTest() { buffer.fill(Glyph{U'.', {}}); }

  static TextBox make(std::string text, Area size, Wrap wrap = Wrap::Word,
                      Align align = Align::Left) {
    TextBox box{{.text = std::move(text), .wrap = wrap, .align = align}};
    box.size = size;
    return box;
  }

  Rows paint(TextBox& box) {
    buffer.fill(Glyph{U'.', {}});
    box.paint(vn::Canvas{buffer, {1, 1}, box.size});
    return screen_rows(buffer, {1, 1}, box.size);
  }

  static std::vector<std::u32string> lines(TextBox const& box) {
    return {box.layout_cache.begin(), box.layout_cache.end()};
  }

  static void press(TextBox& box, Point at, Mouse::Button button = Mouse::Button::Left) {
    box.mouse_press(Mouse{at, button, {}});
  }

  vn::ScreenBuffer buffer{Area{14, 8}};
};

// How a text is cut into lines: the lines, what is painted, and as many scroll positions.
struct WrapCase {
  char const* what;
  std::string text;
  Area size;
  Wrap wrap;
  std::vector<std::u32string> lines;
  Rows painted;
};

TEST_F(TextBoxTest, WrapCutsTheTextIntoLines) {
  std::vector<WrapCase> const cases{
      {"word wrap breaks after the last space",
       "hello brave new world",
       {10, 3},
       Wrap::Word,
       {U"hello ", U"brave new ", U"world"},
       {"hello ....", "brave new ", "world....."}},
      {"a text of exactly the width is still broken at its space",
       "hello world",
       {11, 2},
       Wrap::Word,
       {U"hello ", U"world"},
       {"hello .....", "world......"}},
      {"a word without a space is cut",
       "abcdefghij klm",
       {4, 4},
       Wrap::Word,
       {U"abcd", U"efgh", U"ij ", U"klm"},
       {"abcd", "efgh", "ij .", "klm."}},
      {"character wrap breaks after the width",
       "abcdefghij",
       {4, 3},
       Wrap::Character,
       {U"abcd", U"efgh", U"ij"},
       {"abcd", "efgh", "ij.."}},
      {"only Word breaks at spaces; any other value cuts like Character",
       "ab cdefg",
       {4, 3},
       static_cast<Wrap>(7),
       {U"ab c", U"defg"},
       {"ab c", "defg", "...."}},
      {"a line feed ends its line and is never drawn",
       "ab\ncd",
       {6, 2},
       Wrap::Word,
       {U"ab\n", U"cd"},
       {"ab....", "cd...."}},
      {"a full line ending in a line feed is still broken at its space",
       "ab cd\n",
       {6, 3},
       Wrap::Word,
       {U"ab ", U"cd\n", U""},
       {"ab ...", "cd....", "......"}},
  };
  for (WrapCase const& c : cases) {
    SCOPED_TRACE(c.what);
    TextBox box = make(c.text, c.size, c.wrap);
    EXPECT_EQ(paint(box), c.painted);
    EXPECT_EQ(lines(box), c.lines);
    EXPECT_EQ(box.get_scroll_length(), static_cast<int>(c.lines.size()));
  }
}

TEST_F(TextBoxTest, TrailingLineFeedAddsAnEmptyLineThatEndReaches) {
  TextBox box = make("ab\n", {5, 3});
  paint(box);
  EXPECT_EQ(lines(box), (std::vector<std::u32string>{U"ab\n", U""}));
  box.key_press(Key::End);
  EXPECT_EQ(box.cursor_index, 3U);
  paint(box);
  EXPECT_EQ(box.cursor, (Point{0, 1}));
}

TEST_F(TextBoxTest, EmptyTextIsOneEmptyLine) {
  TextBox box = make("", {10, 2}, Wrap::Word, Align::Center);
  EXPECT_EQ(box.get_scroll_length(), 1);
  EXPECT_EQ(paint(box), (Rows{"..........", ".........."}));
  EXPECT_EQ(box.get_scroll_length(), 1);
  // The cursor sits at the alignment offset of an empty line.
  EXPECT_EQ(box.cursor, (Point{5, 0}));
}

TEST_F(TextBoxTest, WidthZeroGivesOneEmptyLine) {
  TextBox box{{.text = "abc"}};
  EXPECT_EQ(lines(box), std::vector<std::u32string>{U""});
  EXPECT_EQ(box.code_points, U"abc");
  box.size = {0, 3};
  paint(box);
  EXPECT_EQ(box.get_scroll_length(), 1);
}

TEST_F(TextBoxTest, BrushCoversTheCanvasAndCodePointsStayElsewhere) {
  Brush const brush{XColor::Blue, XColor::Yellow, {}};
  TextBox box{{.text = "ab", .brush = brush}};
  box.size = {4, 2};
  EXPECT_EQ(paint(box), (Rows{"ab..", "...."}));
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 14; ++x) {
      bool const inside = x >= 1 && x < 5 && y >= 1 && y < 3;
      EXPECT_EQ((buffer[{x, y}].brush), inside ? brush : Brush{}) << x << "," << y;
    }
  }
}

TEST_F(TextBoxTest, DrawingStaysInsideANarrowerCanvas) {
  TextBox box = make("abcdefgh", {10, 1}, Wrap::Word, Align::Right);
  buffer.fill(Glyph{U'.', {}});
  box.paint(vn::Canvas{buffer, {1, 1}, {4, 1}});
  // Aligned in the canvas, the line starts 4 columns left of it: only its tail is drawn.
  EXPECT_EQ(screen_rows(buffer, {0, 0}, {14, 3}),
            (Rows{"..............", ".efgh.........", ".............."}));
}

TEST_F(TextBoxTest, InvalidUtf8ThrowsAndLeavesTheValidPrefixLaidOut) {
  EXPECT_THROW_MSG(make("a\xff", {5, 2}), std::runtime_error, "Invalid UTF-8 sequence");
  TextBox box = make("ok", {5, 2});
  paint(box);
  box.text = std::string("ab\xff") + "cd";
  int emitted = 0;
  box.scrolled.connect([&](int, int) { ++emitted; });
  EXPECT_THROW_MSG(paint(box), std::runtime_error, "Invalid UTF-8 sequence");
  EXPECT_EQ(emitted, 0);
  EXPECT_EQ(box.code_points, U"ab");
  EXPECT_EQ(lines(box), std::vector<std::u32string>{U"ab"});
  // Edits work on what was decoded and rewrite the text from it.
  box.key_press(Key::End);
  box.key_press(dalk::key(U'x'));
  EXPECT_EQ(box.text, "abx");
  EXPECT_EQ(paint(box), (Rows{"abx..", "....."}));
}

TEST_F(TextBoxTest, CentredLineAndItsCursorShareTheOffset) {
  TextBox box = make("abcd", {10, 1}, Wrap::Word, Align::Center);
  EXPECT_EQ(paint(box), Rows{"...abcd..."});
  EXPECT_EQ(box.cursor, (Point{3, 0}));
  box.cursor_index = 2;
  paint(box);
  EXPECT_EQ(box.cursor, (Point{5, 0}));
  box.align = Align::Right;
  EXPECT_EQ(paint(box), Rows{"......abcd"});
  EXPECT_EQ(box.cursor, (Point{8, 0}));
}

TEST_F(TextBoxTest, AlignmentCountsATrailingLineFeed) {
  // "ab\n" has length 3: offset (10 - 3) / 2 = 3.
  TextBox box = make("ab\nc", {10, 2}, Wrap::Word, Align::Center);
  EXPECT_EQ(paint(box), (Rows{"...ab.....", "....c....."}));
}

TEST_F(TextBoxTest, ClicksPlaceTheCursor) {
  TextBox box = make("ab\ncdef", {10, 4}, Wrap::Word, Align::Center);
  paint(box);  // "ab\n" and "cdef" both start in column 3
  press(box, {4, 0});
  EXPECT_EQ(box.cursor_index, 1U);
  press(box, {4, 1});
  EXPECT_EQ(box.cursor_index, 4U);
  // Beyond the end of a line: its last code point (the line feed on the first line).
  press(box, {9, 0});
  EXPECT_EQ(box.cursor_index, 2U);
  press(box, {9, 1});
  EXPECT_EQ(box.cursor_index, 6U);
  // Below the last line: on the last line.
  press(box, {3, 3});
  EXPECT_EQ(box.cursor_index, 3U);
  // Left of a line's first cell: the start of that line, never the line before it.
  press(box, {0, 1});
  EXPECT_EQ(box.cursor_index, 3U);
  press(box, {0, 0});
  EXPECT_EQ(box.cursor_index, 0U);
  // Only the left button moves the cursor.
  press(box, {5, 1}, Mouse::Button::Right);
  press(box, {5, 1}, Mouse::Button::Middle);
  EXPECT_EQ(box.cursor_index, 0U);
}

TEST_F(TextBoxTest, ClicksCountFromTheScrolledLine) {
  TextBox box = make("a\nb\nc\nd", {3, 2});
  box.key_press(Key::End);
  paint(box);
  ASSERT_EQ(box.scroll_offset, 2);
  press(box, {0, 0});
  EXPECT_EQ(box.cursor_index, 4U);
}

TEST_F(TextBoxTest, PaintKeepsTheCursorLineInView) {
  TextBox box = make("1\n2\n3\n4\n5", {3, 2});
  box.key_press(Key::End);
  EXPECT_EQ(paint(box), (Rows{"4..", "5.."}));
  EXPECT_EQ(box.scroll_offset, 3);
  EXPECT_EQ(box.cursor, (Point{1, 1}));
  box.key_press(Key::Home);
  EXPECT_EQ(paint(box), (Rows{"1..", "2.."}));
  EXPECT_EQ(box.scroll_offset, 0);
  // An offset set out of range is clamped, then follows the cursor.
  box.scroll_offset = 50;
  paint(box);
  EXPECT_EQ(box.scroll_offset, 0);
}

TEST_F(TextBoxTest, SetScrollOffsetClampsAndDragsTheCursorIntoView) {
  TextBox box = make("1\n2\n3\n4\n5", {3, 2});
  paint(box);
  box.set_scroll_offset(1000);
  EXPECT_EQ(box.scroll_offset, 4);
  EXPECT_EQ(box.cursor_index, 8U);  // dragged down to the top visible line
  box.set_scroll_offset(-3);
  EXPECT_EQ(box.scroll_offset, 0);
  EXPECT_EQ(box.cursor_index, 2U);  // dragged up to the bottom visible line, line 1
  box.set_scroll_offset(1);
  EXPECT_EQ(box.cursor_index, 2U);  // in view: stays
}

TEST_F(TextBoxTest, WheelScrollsAndDragsTheCursorKeepingItsColumn) {
  TextBox box = make("abcd\nefghij\nkl\nmnopq", {8, 1});
  box.cursor_index = 3;
  paint(box);
  std::vector<std::pair<int, int>> reports;
  box.scrolled.connect([&](int offset, int count) { reports.emplace_back(offset, count); });

  box.mouse_wheel(Mouse{{0, 0}, Mouse::Button::ScrollDown, {}});
  EXPECT_EQ(box.scroll_offset, 1);
  EXPECT_EQ(box.cursor_index, 8U);  // 'h', column 3 of "efghij\n"
  box.mouse_wheel(Mouse{{0, 0}, Mouse::Button::ScrollDown, {}});
  EXPECT_EQ(box.cursor_index, 14U);  // "kl\n" is too short: its line feed
  box.mouse_wheel(Mouse{{0, 0}, Mouse::Button::ScrollUp, {}});
  EXPECT_EQ(box.scroll_offset, 1);
  EXPECT_EQ(box.cursor_index, 7U);  // column 2 of "efghij\n"
  EXPECT_TRUE(reports.empty());     // scrolling itself reports nothing

  box.mouse_wheel(Mouse{{0, 0}, Mouse::Button::ScrollUp, {}});
  box.mouse_wheel(Mouse{{0, 0}, Mouse::Button::ScrollUp, {}});
  EXPECT_EQ(box.scroll_offset, 0);
  box.mouse_wheel(Mouse{{0, 0}, Mouse::Button::Left, {}});
  EXPECT_EQ(box.scroll_offset, 0);
  EXPECT_EQ(paint(box), Rows{"abcd...."});
  EXPECT_EQ(reports, (std::vector<std::pair<int, int>>{{0, 4}}));
}

TEST_F(TextBoxTest, ScrolledIsEmittedOnEveryPaint) {
  TextBox box = make("1\n2\n3", {3, 2});
  std::vector<std::pair<int, int>> reports;
  box.scrolled.connect([&](int offset, int count) { reports.emplace_back(offset, count); });
  paint(box);
  paint(box);
  box.key_press(Key::End);
  paint(box);
  EXPECT_EQ(reports, (std::vector<std::pair<int, int>>{{0, 3}, {0, 3}, {1, 3}}));
}

TEST_F(TextBoxTest, VerticalMovesStayWithinTheTargetLine) {
  TextBox box = make("abcdef ghi", {7, 2});
  paint(box);  // "abcdef " and "ghi"
  box.key_press(Key::End);
  box.key_press(Key::ArrowUp);
  EXPECT_EQ(box.cursor_index, 3U);
  box.key_press(Key::ArrowDown);
  EXPECT_EQ(box.cursor_index, 9U);  // 'i', the last code point of "ghi"
  box.key_press(Key::ArrowDown);    // no line below: nothing
  EXPECT_EQ(box.cursor_index, 9U);

  // On the first line ArrowUp stays on it, but moves back onto its last code point.
  TextBox single = make("abc", {10, 1});
  paint(single);
  single.key_press(Key::End);
  single.key_press(Key::ArrowUp);
  EXPECT_EQ(single.cursor_index, 2U);
  single.key_press(Key::Home);
  single.key_press(Key::ArrowUp);
  EXPECT_EQ(single.cursor_index, 0U);
}

TEST_F(TextBoxTest, ArrowDownCanLandOnALineFeed) {
  TextBox box = make("abcdef\nxy\nz", {10, 3});
  paint(box);
  box.cursor_index = 5;
  box.key_press(Key::ArrowDown);
  EXPECT_EQ(box.cursor_index, 9U);
  box.key_press(Key::ArrowDown);
  EXPECT_EQ(box.cursor_index, 10U);
}

TEST_F(TextBoxTest, EmptyTextTakesEveryCursorKey) {
  TextBox box = make("", {5, 2});
  paint(box);
  for (Key key : {Key::ArrowUp, Key::ArrowDown, Key::ArrowLeft, Key::ArrowRight, Key::Home,
                  Key::End, Key::Backspace, Key::Delete}) {
    box.key_press(key);
    EXPECT_EQ(box.cursor_index, 0U);
  }
  press(box, {3, 1});
  EXPECT_EQ(box.cursor_index, 0U);
  EXPECT_EQ(box.text, "");
}

TEST_F(TextBoxTest, HorizontalMovesCrossLineFeedsAndStopAtTheEnds) {
  TextBox box = make("a\nb", {5, 2});
  paint(box);
  box.key_press(Key::ArrowLeft);
  EXPECT_EQ(box.cursor_index, 0U);
  box.key_press(Key::ArrowRight);
  box.key_press(Key::ArrowRight);
  EXPECT_EQ(box.cursor_index, 2U);
  box.key_press(Key::End);
  box.key_press(Key::ArrowRight);
  EXPECT_EQ(box.cursor_index, 3U);
  box.key_press(Key::Home);
  EXPECT_EQ(box.cursor_index, 0U);
}

TEST_F(TextBoxTest, EnterBackspaceAndDeleteEditTheText) {
  TextBox box = make("ab", {5, 3});
  box.cursor_index = 1;
  box.key_press(Key::Enter);
  EXPECT_EQ(box.text, "a\nb");
  EXPECT_EQ(box.cursor_index, 2U);
  EXPECT_EQ(paint(box), (Rows{"a....", "b....", "....."}));

  box.key_press(Key::Backspace);
  EXPECT_EQ(box.text, "ab");
  EXPECT_EQ(box.cursor_index, 1U);
  box.key_press(Key::Delete);
  EXPECT_EQ(box.text, "a");
  EXPECT_EQ(box.cursor_index, 1U);
  box.key_press(Key::Delete);  // at the end: nothing
  EXPECT_EQ(box.text, "a");
  box.key_press(Key::Home);
  box.key_press(Key::Backspace);  // at the start: nothing
  EXPECT_EQ(box.text, "a");
  EXPECT_EQ(box.cursor_index, 0U);
}

TEST_F(TextBoxTest, EditsWorkOnCodePointsNotBytes) {
  TextBox box = make("äö€", {5, 1});
  paint(box);
  box.key_press(Key::End);
  box.key_press(Key::Delete);  // three code points, seven bytes: nothing to delete
  EXPECT_EQ(box.text, "äö€");
  EXPECT_EQ(box.cursor_index, 3U);
  box.key_press(Key::Backspace);
  EXPECT_EQ(box.text, "äö");
  box.key_press(Key::Home);
  box.key_press(Key::Delete);
  EXPECT_EQ(box.text, "ö");
  EXPECT_EQ(box.code_points, U"ö");
}

TEST_F(TextBoxTest, CharactersAreInsertedAtTheCursor) {
  TextBox box = make("ac", {5, 1});
  box.cursor_index = 1;
  for (char32_t c : {U'b', U' ', U'~', U'\u00A0', U'é', U'€', U'\U0001F600'}) {
    box.key_press(dalk::key(c));
  }
  EXPECT_EQ(box.text, "ab ~\u00A0é€\U0001F600c");
  EXPECT_EQ(box.cursor_index, 8U);
}

TEST_F(TextBoxTest, CursorPastTheEndIsClampedBeforeAnEdit) {
  TextBox box = make("ab", {5, 1});
  paint(box);
  box.cursor_index = 100;
  box.key_press(dalk::key(U'c'));
  EXPECT_EQ(box.text, "abc");
  EXPECT_EQ(box.cursor_index, 3U);
  box.cursor_index = 100;
  box.key_press(Key::Backspace);
  EXPECT_EQ(box.text, "ab");
}

TEST_F(TextBoxTest, ApplicationTextChangeTakesEffectAtThePaint) {
  TextBox box = make("old", {5, 1});
  paint(box);
  box.key_press(Key::End);
  box.text = "x";
  EXPECT_EQ(paint(box), Rows{"x...."});
  EXPECT_EQ(box.cursor_index, 1U);
}

TEST(TextBoxOptionsTest, DefaultsMatchInit) {
  TextBox::Options const defaults{};
  EXPECT_EQ(TextBox::init.text, "");
  EXPECT_EQ(TextBox::init.wrap, Wrap::Word);
  EXPECT_EQ(TextBox::init.align, Align::Left);
  EXPECT_EQ(TextBox::init.brush, Brush{});
  EXPECT_EQ(TextBox::init.focus_policy, vn::FocusPolicy::None);
  EXPECT_EQ(TextBox::init.size_policy, vn::SizePolicy::flex(1.0F));
  EXPECT_EQ(defaults.wrap, TextBox::init.wrap);
  EXPECT_EQ(defaults.focus_policy, TextBox::init.focus_policy);

  TextBox const box{{.text = "t",
                     .focus_policy = vn::FocusPolicy::Strong,
                     .size_policy = vn::SizePolicy::fixed(4)}};
  EXPECT_EQ(box.focus_policy, vn::FocusPolicy::Strong);
  EXPECT_EQ(box.size_policy, vn::SizePolicy::fixed(4));
  EXPECT_EQ(box.scroll_offset, 0);
  EXPECT_EQ(box.cursor_index, 0U);
  EXPECT_TRUE(box.scrolled.connections.empty());
}

// Wide and combined text, through the harness as a user meets it.
namespace wide {

using vn::testing::Harness;

using vennic::test::shown_row;

Rows shown_rows(Harness const& screen) {
  Rows rows;
  for (int y = 0; y < screen.size().height; ++y) {
    rows.push_back(shown_row(screen, y));
  }
  return rows;
}

TextBox::Options focusable(std::string text, Wrap wrap = Wrap::Word, Align align = Align::Left) {
  return {.text = std::move(text),
          .wrap = wrap,
          .align = align,
          .focus_policy = vn::FocusPolicy::Strong};
}

TEST(TextBoxWideTest, WrapNeverSplitsACharacterNorOverfillsALine) {
  std::vector<WrapCase> const cases{
      {"a wide character that does not fit starts the next line",
       "日本語テキスト",
       {5, 4},
       Wrap::Character,
       {U"日本", U"語テ", U"キス", U"ト"},
       {"日本 ", "語テ ", "キス ", "ト   "}},
      {"narrow before wide",
       "ab日本",
       {3, 3},
       Wrap::Character,
       {U"ab", U"日", U"本"},
       {"ab ", "日 ", "本 "}},
      {"word wrap breaks after the last space that fits",
       "日本 語テキスト",
       {6, 3},
       Wrap::Word,
       {U"日本 ", U"語テキ", U"スト"},
       {"日本  ", "語テキ", "スト  "}},
      {"emoji are wide words too",
       "hi 😀😀 yo",
       {5, 3},
       Wrap::Word,
       {U"hi ", U"😀😀 ", U"yo"},
       {"hi   ", "😀😀 ", "yo   "}},
      {"a combining mark stays with its letter, shown composed",
       "e\u0301e\u0301e\u0301",
       {2, 2},
       Wrap::Character,
       {U"e\u0301e\u0301", U"e\u0301"},
       {"éé", "é "}},
      {"a character wider than the box gets a line of its own, shown as a space",
       "a日b",
       {1, 3},
       Wrap::Character,
       {U"a", U"日", U"b"},
       {"a", " ", "b"}},
  };
  for (WrapCase const& c : cases) {
    SCOPED_TRACE(c.what);
    TextBox box{{.text = c.text, .wrap = c.wrap}};
    Harness screen{box, c.size};
    EXPECT_EQ(shown_rows(screen), c.painted);
    EXPECT_EQ((std::vector<std::u32string>{box.layout_cache.begin(), box.layout_cache.end()}),
              c.lines);
  }
}

struct CursorCase {
  char const* what;
  std::string text;
  Align align;
  std::size_t cursor_index;
  Point cursor;
};

TEST(TextBoxWideTest, CursorColumnIsTheWidthBeforeIt) {
  std::vector<CursorCase> const cases{
      {"after two wide characters", "日本x", Align::Left, 2, {4, 0}},
      {"after a letter and its mark", "e\u0301x", Align::Left, 2, {1, 0}},
      {"inside a character: at its start", "e\u0301x", Align::Left, 1, {0, 0}},
      {"right-aligned wide text", "日本", Align::Right, 1, {6, 0}},
      {"centred wide text", "日本", Align::Center, 1, {4, 0}},
      {"on the second line", "日本語テキ", Align::Left, 5, {2, 1}},
  };
  for (CursorCase const& c : cases) {
    SCOPED_TRACE(c.what);
    TextBox box{focusable(c.text, Wrap::Character, c.align)};
    box.cursor_index = c.cursor_index;
    vn::Focus::set(box);
    Harness screen{box, {8, 3}};
    vn::Focus::set(box);
    screen.paint();
    EXPECT_EQ(screen.cursor(), c.cursor);
  }
}

TEST(TextBoxWideTest, UpAndDownKeepTheColumn) {
  // "ab日本\n" over "abcdef": 日 covers columns 2 and 3, 本 4 and 5.
  TextBox box{focusable("ab日本\nabcdef")};
  Harness screen{box, {10, 2}};
  vn::Focus::set(box);
  struct Move {
    std::size_t from;
    Key key;
    std::size_t to;
  };
  std::vector<Move> const moves{
      {7, Key::ArrowUp, 2},   {8, Key::ArrowUp, 2},   {9, Key::ArrowUp, 3},
      {10, Key::ArrowUp, 3},  {11, Key::ArrowUp, 4},  {2, Key::ArrowDown, 7},
      {3, Key::ArrowDown, 9}, {1, Key::ArrowDown, 6}, {4, Key::ArrowDown, 10},
  };
  for (Move const& m : moves) {
    SCOPED_TRACE(m.from);
    box.cursor_index = m.from;
    screen.key_press(m.key);
    EXPECT_EQ(box.cursor_index, m.to);
  }
  // Left and right step over a whole character.
  box.cursor_index = 2;
  screen.key_press(Key::ArrowRight);
  EXPECT_EQ(box.cursor_index, 3U);
  EXPECT_EQ(screen.cursor(), (Point{4, 0}));
}

TEST(TextBoxWideTest, ClicksLandOnTheCharacterUnderEitherHalf) {
  // "ab日本" then "e\u0301x": cells a b 日 日 本 本 on the first row.
  TextBox box{focusable("ab日本\ne\u0301x")};
  Harness screen{box, {10, 2}};
  std::vector<std::pair<Point, std::size_t>> const cases{{{0, 0}, 0}, {{2, 0}, 2}, {{3, 0}, 2},
                                                         {{4, 0}, 3}, {{5, 0}, 3}, {{6, 0}, 4},
                                                         {{0, 1}, 5}, {{1, 1}, 7}, {{2, 1}, 7}};
  for (auto const& [at, index] : cases) {
    SCOPED_TRACE(at.x);
    screen.click(at);
    EXPECT_EQ(box.cursor_index, index);
  }
}

TEST(TextBoxWideTest, TypedTextReadsBackIntact) {
  TextBox box{focusable("")};
  Harness screen{box, {8, 3}};
  screen.click({0, 0});
  screen.type("José 日本 😀");
  EXPECT_EQ(box.text, "José 日本 😀");
  EXPECT_EQ(shown_rows(screen), (Rows{"José    ", "日本 😀 ", "        "}));
  EXPECT_EQ(screen.cursor(), (Point{7, 1}));
  // A letter that fills the line takes its word to the next one.
  screen.type("e\u0301");
  EXPECT_EQ(shown_rows(screen), (Rows{"José    ", "日本    ", "😀é     "}));
  EXPECT_EQ(screen.cursor(), (Point{3, 2}));
  // Backspace takes back one code point: the mark, not the letter.
  screen.key_press(Key::Backspace);
  EXPECT_EQ(box.text, "José 日本 😀e");
}

// A slot on `scrolled` that edits the box while it paints: the paint draws what the box holds
// after the slot, never the storage the slot released (found as a heap use-after-free).
TEST(TextBoxSlotTest, SlotThatTypesDuringThePaint) {
  TextBox box = TextBox{{.text = "ab"}};
  bool typed = false;
  box.scrolled.connect([&](int, int) {
    if (!typed) {
      typed = true;
      box.key_press(Key::End);
      // Enough to move the code points to new storage.
      for (int i = 0; i < 100; ++i) {
        box.key_press(dalk::key(U'x'));
      }
    }
  });
  Harness screen{box, {10, 3}};
  EXPECT_EQ(screen.lines(), (Rows{"abxxxxxxxx", "xxxxxxxxxx", "xxxxxxxxxx"}));
  EXPECT_EQ(box.text, "ab" + std::string(100, 'x'));
}

TEST(TextBoxSlotTest, SlotThatReplacesTheTextDuringThePaint) {
  TextBox box = TextBox{{.text = "1\n2\n3\n4"}};
  bool replaced = false;
  box.scrolled.connect([&](int, int) {
    if (!replaced) {
      replaced = true;
      box.text = "z";
      box.update_layout_cache();
    }
  });
  Harness screen{box, {3, 4}};
  EXPECT_EQ(screen.lines(), (Rows{"z  ", "   ", "   ", "   "}));
  EXPECT_EQ(box.get_scroll_length(), 1);
}

TEST(TextBoxSlotTest, SlotThatSetsTheTextShowsItAtTheNextPaint) {
  TextBox box = TextBox{{.text = "old"}};
  box.scrolled.connect([&](int, int) { box.text = "new"; });
  Harness screen{box, {3, 1}};
  EXPECT_EQ(screen.lines(), Rows{"old"});
  screen.paint();
  EXPECT_EQ(screen.lines(), Rows{"new"});
}

// Offsets near the int limits, as an application or a slot may set them.
TEST(TextBoxSlotTest, ScrollOffsetsNearTheIntLimits) {
  constexpr int max = std::numeric_limits<int>::max();
  constexpr int min = std::numeric_limits<int>::min();
  for (int const offset : {max, max - 1, min, min + 1}) {
    SCOPED_TRACE(offset);
    TextBox box = TextBox{{.text = "a\nb\nc"}};
    box.scrolled.connect([&](int, int) { box.scroll_offset = offset; });
    Harness screen{box, {3, 3}};
    EXPECT_EQ(screen.lines(), (Rows{"   ", "   ", "   "}));
    EXPECT_FALSE(screen.cursor().has_value());
  }

  TextBox box = TextBox{{.text = "a\nb\nc"}};
  box.size = {3, 2};
  box.update_layout_cache();
  box.scroll_offset = max;
  box.mouse_press(Mouse{{0, 1}, Mouse::Button::Left, {}});
  EXPECT_EQ(box.cursor_index, 4U);  // below the last line: on it
  box.scroll_offset = min;
  box.mouse_press(Mouse{{0, -1}, Mouse::Button::Left, {}});
  EXPECT_EQ(box.cursor_index, 0U);
  box.mouse_wheel(Mouse{{0, 0}, Mouse::Button::ScrollUp, {}});
  EXPECT_EQ(box.scroll_offset, 0);
  box.scroll_offset = max;
  box.mouse_wheel(Mouse{{0, 0}, Mouse::Button::ScrollDown, {}});
  EXPECT_EQ(box.scroll_offset, 2);

  // A height near the limit: every line is in view, the cursor stays.
  box.size = {3, max};
  box.cursor_index = 4;
  box.set_scroll_offset(1);
  EXPECT_EQ(box.cursor_index, 4U);
}

}  // namespace wide

}  // namespace
