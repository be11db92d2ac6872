#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <vn/vn.hpp>

#include "support/screen_text.hpp"

namespace {

using dalk::Area;
using dalk::Brush;
using dalk::Key;
using dalk::Point;
using dalk::XColor;
using Rows = std::vector<std::string>;
using vennic::test::screen_rows;

Brush const dimmed{XColor::Default, XColor::BrightBlack, {}};

class LineEditTest : public ::testing::Test {
 protected:
  void make(int width, vn::LineEdit::Options options = {}) {
    edit.emplace(std::move(options));
    edit->size = {width, 1};
  }

  void type(std::string_view keys) {
    for (char c : keys) {
      edit->key_press(dalk::key(static_cast<char32_t>(c)));
    }
  }

  void press(Key key, int times = 1) {
    for (int i = 0; i < times; ++i) {
      edit->key_press(key);
    }
  }

  void click(int column) {
    edit->mouse_press(dalk::Mouse{{column, 0}, dalk::Mouse::Button::Left, {}});
  }

  // Row 0 of a fresh buffer as wide as the edit; untouched cells show as '.'.
  std::string paint() {
    buffer = vn::ScreenBuffer{Area{edit->size.width, 2}};
    buffer.fill(dalk::Glyph{U'.', {}});
    edit->paint(vn::Canvas{buffer, {0, 0}, edit->size});
    return screen_rows(buffer, {0, 0}, {edit->size.width, 1}).front();
  }

  std::optional<vn::LineEdit> edit;
  vn::ScreenBuffer buffer;
};

TEST_F(LineEditTest, DefaultsMatchInit) {
  vn::LineEdit::Options const defaults{};
  EXPECT_EQ(vn::LineEdit::init.placeholder_brush, dimmed);
  EXPECT_EQ(defaults.placeholder_brush, dimmed);
  EXPECT_EQ(vn::LineEdit::init.brush, Brush{});
  EXPECT_FALSE(vn::LineEdit::init.validator.has_value());
  EXPECT_EQ(vn::LineEdit::init.focus_policy, vn::FocusPolicy::Strong);
  EXPECT_EQ(vn::LineEdit::init.size_policy, vn::SizePolicy::flex(1.0F));

  make(5, {.text = "abc"});
  EXPECT_EQ(edit->focus_policy, vn::FocusPolicy::Strong);
  EXPECT_EQ(edit->cursor_index, 0U);
  EXPECT_EQ(edit->scroll_offset, 0U);
}

TEST_F(LineEditTest, TypingPastTheWidthScrolls) {
  make(5);
  type("abcdefg");
  EXPECT_EQ(edit->text, "abcdefg");
  EXPECT_EQ(edit->cursor_index, 7U);
  EXPECT_EQ(edit->scroll_offset, 3U);
  EXPECT_EQ(paint(), "defg.");
  EXPECT_EQ(edit->cursor, (Point{4, 0}));
  // Only row 0 is written.
  EXPECT_EQ(screen_rows(buffer, {0, 1}, {5, 1}), Rows{"....."});
}

TEST_F(LineEditTest, HomeAndEnd) {
  make(5);
  type("abcdefg");
  press(Key::Home);
  EXPECT_EQ(edit->cursor_index, 0U);
  EXPECT_EQ(edit->scroll_offset, 0U);
  EXPECT_EQ(paint(), "abcde");
  EXPECT_EQ(edit->cursor, (Point{0, 0}));
  press(Key::End);
  EXPECT_EQ(edit->cursor_index, 7U);
  EXPECT_EQ(edit->scroll_offset, 3U);

  make(5, {.text = "abc"});
  press(Key::End);
  EXPECT_EQ(edit->cursor_index, 3U);
  EXPECT_EQ(edit->scroll_offset, 0U);
}

TEST_F(LineEditTest, ArrowsStopAtBothEndsAndScroll) {
  make(5);
  type("abcdefg");
  press(Key::ArrowRight);
  EXPECT_EQ(edit->cursor_index, 7U);
  EXPECT_EQ(edit->scroll_offset, 3U);
  press(Key::ArrowLeft, 4);
  EXPECT_EQ(edit->cursor_index, 3U);
  EXPECT_EQ(edit->scroll_offset, 3U);
  press(Key::ArrowLeft);
  EXPECT_EQ(edit->scroll_offset, 2U);
  EXPECT_EQ(paint(), "cdefg");
  EXPECT_EQ(edit->cursor, (Point{0, 0}));
  press(Key::ArrowLeft, 5);
  EXPECT_EQ(edit->cursor_index, 0U);
  EXPECT_EQ(edit->scroll_offset, 0U);
  press(Key::ArrowRight, 5);
  EXPECT_EQ(edit->cursor_index, 5U);
  EXPECT_EQ(edit->scroll_offset, 1U);
}

TEST_F(LineEditTest, BackspaceAndDelete) {
  make(5, {.text = "abc"});
  press(Key::Backspace);
  EXPECT_EQ(edit->text, "abc");
  EXPECT_EQ(edit->cursor_index, 0U);
  press(Key::Delete);
  EXPECT_EQ(edit->text, "bc");
  EXPECT_EQ(edit->cursor_index, 0U);
  press(Key::End);
  press(Key::Delete);
  EXPECT_EQ(edit->text, "bc");
  press(Key::Backspace);
  EXPECT_EQ(edit->text, "b");
  EXPECT_EQ(edit->cursor_index, 1U);

  // Backspace at the first column shown scrolls left before erasing.
  make(5);
  type("abcdefg");
  press(Key::ArrowLeft, 4);
  press(Key::Backspace);
  EXPECT_EQ(edit->text, "abdefg");
  EXPECT_EQ(edit->cursor_index, 2U);
  EXPECT_EQ(edit->scroll_offset, 2U);

  make(5);
  press(Key::Backspace);
  press(Key::Delete);
  EXPECT_EQ(edit->text, "");
}

TEST_F(LineEditTest, InsertsBeforeTheCursor) {
  make(10, {.text = "ac"});
  press(Key::ArrowRight);
  type("b");
  EXPECT_EQ(edit->text, "abc");
  EXPECT_EQ(edit->cursor_index, 2U);
}

TEST_F(LineEditTest, ValidatorFiltersTypedCharacters) {
  make(10, {.validator = [](char c) { return c >= '0' && c <= '9'; }});
  type("a1b2");
  EXPECT_EQ(edit->text, "12");
  EXPECT_EQ(edit->cursor_index, 2U);

  make(10, {.validator = std::function<bool(char)>{}});
  EXPECT_THROW(type("a"), std::bad_function_call);
}

TEST_F(LineEditTest, OnlyPrintableCharactersAndTheEditingKeysDoAnything) {
  make(10, {.text = "ab"});
  press(Key::End);
  for (Key const key :
       {Key::Tab, Key::Escape, Key::ArrowUp, Key::ArrowDown, Key::Insert, Key::PageUp, Key::F1,
        Key::BackTab, dalk::key(U'x') | dalk::Mod::Ctrl, Key::ArrowLeft | dalk::Mod::Shift,
        Key::Home | dalk::Mod::Alt, dalk::key(U'\n')}) {
    edit->key_press(key);
  }
  EXPECT_EQ(edit->text, "ab");
  EXPECT_EQ(edit->cursor_index, 2U);
  type(" ~");
  EXPECT_EQ(edit->text, "ab ~");
  // Printable beyond ASCII too.
  press(dalk::key(U'é'));
  press(dalk::key(U'\x7f' + 100));
  EXPECT_EQ(edit->text, "ab ~éã");
}

TEST_F(LineEditTest, EnterEmitsTheText) {
  make(10);
  std::vector<std::string> first;
  std::vector<std::string> second;
  edit->submitted.connect([&](std::string const& text) { first.push_back(text); });
  edit->submitted.connect([&](std::string const& text) { second.push_back(text); });
  press(Key::Enter);
  type("hi");
  press(Key::Enter);
  EXPECT_EQ(first, (std::vector<std::string>{"", "hi"}));
  EXPECT_EQ(second, first);
  EXPECT_EQ(edit->text, "hi");
  EXPECT_EQ(edit->cursor_index, 2U);
}

TEST_F(LineEditTest, PlaceholderOnlyWhileEmptyAndUnfocused) {
  make(8, {.brush = Brush{XColor::Blue, XColor::White, {}}, .placeholder = "name"});
  EXPECT_EQ(paint(), "name....");
  for (int x = 0; x < 4; ++x) {
    EXPECT_EQ((buffer[{x, 0}].brush), dimmed) << x;
  }
  EXPECT_EQ((buffer[{4, 0}].brush), Brush{});
  EXPECT_EQ(edit->cursor, (Point{0, 0}));

  vn::Focus::set(*edit);
  EXPECT_EQ(paint(), "........");
  EXPECT_EQ(edit->cursor, (Point{0, 0}));

  type("x");
  EXPECT_EQ(paint(), "x.......");
  EXPECT_EQ((buffer[{0, 0}].brush), (Brush{XColor::Blue, XColor::White, {}}));
  vn::Focus::clear();
  EXPECT_EQ(paint(), "x.......");
}

TEST_F(LineEditTest, ClicksPlaceTheCursor) {
  make(20, {.text = "abcd"});
  click(10);
  EXPECT_EQ(edit->cursor_index, 4U);
  click(2);
  EXPECT_EQ(edit->cursor_index, 2U);
  click(0);
  EXPECT_EQ(edit->cursor_index, 0U);

  // Columns count from the first character shown; the view does not scroll.
  make(5);
  type("abcdefg");
  click(1);
  EXPECT_EQ(edit->cursor_index, 4U);
  EXPECT_EQ(edit->scroll_offset, 3U);
  for (auto const button : {dalk::Mouse::Button::Right, dalk::Mouse::Button::Middle}) {
    edit->mouse_press(dalk::Mouse{{0, 0}, button, {}});
    EXPECT_EQ(edit->cursor_index, 3U);
  }
}

TEST_F(LineEditTest, TextShortenedByTheApplication) {
  make(5);
  type("abcdefg");
  edit->text = "ab";
  EXPECT_EQ(paint(), ".....");
  EXPECT_EQ(edit->cursor_index, 2U);
  EXPECT_EQ(edit->scroll_offset, 2U);
  EXPECT_EQ(edit->cursor, (Point{0, 0}));
  // Scrolled past the text, the edit shows nothing until the cursor moves back.
  press(Key::ArrowLeft);
  EXPECT_EQ(paint(), "b....");
  press(Key::Home);
  EXPECT_EQ(paint(), "ab...");
}

TEST_F(LineEditTest, EditingBeyondTheEndOfAShortenedTextIsSafe) {
  // Without a paint in between (an inactive edit keeps receiving keys while it has focus).
  make(5);
  type("abcdef");
  edit->text = "a";
  EXPECT_NO_THROW(press(Key::Backspace));
  EXPECT_EQ(edit->text, "a");
  EXPECT_EQ(edit->cursor_index, 1U);

  edit->text = "abcdef";
  press(Key::End);
  edit->text = "ab";
  press(Key::ArrowLeft);
  EXPECT_EQ(edit->cursor_index, 2U);

  press(Key::End);
  edit->cursor_index = 9;
  type("z");
  EXPECT_EQ(edit->text, "abz");
  EXPECT_EQ(edit->cursor_index, 3U);
}

TEST_F(LineEditTest, IncrementCursorClampsAndScrolls) {
  make(3, {.text = "abcdef"});
  edit->increment_cursor(4);
  EXPECT_EQ(edit->cursor_index, 4U);
  EXPECT_EQ(edit->scroll_offset, 2U);
  edit->increment_cursor(100);
  EXPECT_EQ(edit->cursor_index, 6U);
  EXPECT_EQ(edit->scroll_offset, 4U);
  edit->increment_cursor(-5);
  EXPECT_EQ(edit->cursor_index, 1U);
  EXPECT_EQ(edit->scroll_offset, 1U);
  edit->increment_cursor(std::numeric_limits<int>::min());
  EXPECT_EQ(edit->cursor_index, 0U);
  edit->increment_cursor(std::numeric_limits<int>::max());
  EXPECT_EQ(edit->cursor_index, 6U);

  // From beyond the end of a shortened text: clamp(cursor + n, 0, size).
  edit->text = "ab";
  edit->increment_cursor(-3);
  EXPECT_EQ(edit->cursor_index, 2U);
  edit->text = "abcdef";
  edit->increment_cursor(4);
  edit->text = "ab";
  edit->increment_cursor(-5);
  EXPECT_EQ(edit->cursor_index, 1U);
}

// "aé€𐍈b": characters of 1, 2, 3, 4 and 1 bytes, each one cell wide; boundaries 0, 1, 3, 6, 10,
// 11.
class LineEditUtf8Test : public LineEditTest {
 protected:
  static constexpr char const* mixed =
      "a\xC3\xA9\xE2\x82\xAC\xF0\x90\x8D\x88"
      "b";

  void expect_valid() {
    EXPECT_NO_THROW(dalk::detail::u8_string_to_u32_string(edit->text)) << edit->text;
  }
};

TEST_F(LineEditUtf8Test, ArrowsStepOverWholeCharacters) {
  make(20, {.text = mixed});
  std::vector<std::size_t> seen;
  for (int i = 0; i < 6; ++i) {
    press(Key::ArrowRight);
    seen.push_back(edit->cursor_index);
  }
  EXPECT_EQ(seen, (std::vector<std::size_t>{1, 3, 6, 10, 11, 11}));
  seen.clear();
  for (int i = 0; i < 6; ++i) {
    press(Key::ArrowLeft);
    seen.push_back(edit->cursor_index);
  }
  EXPECT_EQ(seen, (std::vector<std::size_t>{10, 6, 3, 1, 0, 0}));

  edit->increment_cursor(3);
  EXPECT_EQ(edit->cursor_index, 6U);
  edit->increment_cursor(-2);
  EXPECT_EQ(edit->cursor_index, 1U);
}

TEST_F(LineEditUtf8Test, BackspaceAndDeleteEraseWholeCharacters) {
  make(20, {.text = mixed});
  press(Key::End);
  std::vector<std::u32string> seen;
  for (int i = 0; i < 5; ++i) {
    press(Key::Backspace);
    expect_valid();
    seen.push_back(dalk::detail::u8_string_to_u32_string(edit->text));
  }
  EXPECT_EQ(seen, (std::vector<std::u32string>{U"aé€𐍈", U"aé€", U"aé", U"a", U""}));

  make(20, {.text = mixed});
  std::vector<std::u32string> deleted;
  press(Key::ArrowRight);
  for (int i = 0; i < 4; ++i) {
    press(Key::Delete);
    expect_valid();
    deleted.push_back(dalk::detail::u8_string_to_u32_string(edit->text));
  }
  EXPECT_EQ(deleted, (std::vector<std::u32string>{U"a€𐍈b", U"a𐍈b", U"ab", U"a"}));
  EXPECT_EQ(edit->cursor_index, 1U);
}

TEST_F(LineEditUtf8Test, ClicksLandOnCharacterBoundaries) {
  make(20, {.text = mixed});
  std::vector<std::size_t> seen;
  for (int column = 0; column < 7; ++column) {
    click(column);
    seen.push_back(edit->cursor_index);
  }
  EXPECT_EQ(seen, (std::vector<std::size_t>{0, 1, 3, 6, 10, 11, 11}));
}

TEST_F(LineEditUtf8Test, DisplayAndCursorCountCharacters) {
  make(8, {.text = mixed});
  press(Key::End);
  EXPECT_EQ(edit->scroll_offset, 0U);
  EXPECT_EQ(paint(), "aé€𐍈b...");
  EXPECT_EQ(edit->cursor, (Point{5, 0}));
  press(Key::ArrowLeft);
  paint();
  EXPECT_EQ(edit->cursor, (Point{4, 0}));

  // Three columns: the view scrolls by characters and starts on a boundary.
  make(3, {.text = mixed});
  press(Key::End);
  EXPECT_EQ(edit->scroll_offset, 6U);
  EXPECT_EQ(paint(), "𐍈b.");
  EXPECT_EQ(edit->cursor, (Point{2, 0}));
  press(Key::Home);
  EXPECT_EQ(paint(), "aé€");
  press(Key::ArrowRight, 3);
  EXPECT_EQ(edit->cursor_index, 6U);
  EXPECT_EQ(edit->scroll_offset, 1U);
  EXPECT_EQ(paint(), "é€𐍈");
  EXPECT_EQ(edit->cursor, (Point{2, 0}));
  click(1);
  EXPECT_EQ(edit->cursor_index, 3U);
}

TEST_F(LineEditUtf8Test, PositionsInsideACharacterFallBackToItsStart) {
  make(20, {.text = mixed});
  edit->scroll_offset = 4;  // inside '€'
  edit->cursor_index = 8;   // inside the emoji
  EXPECT_EQ(paint(), "€𐍈b" + std::string(17, '.'));
  EXPECT_EQ(edit->scroll_offset, 3U);
  EXPECT_EQ(edit->cursor_index, 6U);

  edit->cursor_index = 2;  // inside 'é'
  press(Key::Backspace);
  expect_valid();
  EXPECT_EQ(dalk::detail::u8_string_to_u32_string(edit->text), U"é€𐍈b");
  EXPECT_EQ(edit->cursor_index, 0U);

  edit->cursor_index = 1;  // inside 'é' again
  press(Key::Delete);
  expect_valid();
  EXPECT_EQ(dalk::detail::u8_string_to_u32_string(edit->text), U"€𐍈b");

  edit->cursor_index = 2;
  type("x");
  expect_valid();
  EXPECT_EQ(dalk::detail::u8_string_to_u32_string(edit->text), U"x€𐍈b");
}

TEST_F(LineEditUtf8Test, TypingBetweenMultiByteCharacters) {
  make(20, {.text = mixed});
  press(Key::ArrowRight, 2);
  type("x");
  expect_valid();
  EXPECT_EQ(dalk::detail::u8_string_to_u32_string(edit->text), U"aéx€𐍈b");
  EXPECT_EQ(edit->cursor_index, 4U);
}

// Wide and combined text, through the harness as a user meets it.
namespace wide {

using vn::testing::Harness;

using vennic::test::shown_row;

TEST(LineEditWideTest, TypedTextReadsBackIntact) {
  vn::LineEdit edit{vn::LineEdit::init};
  Harness screen{edit, {16, 1}};
  screen.click({0, 0});
  screen.type("José 日本 😀");
  EXPECT_EQ(edit.text, "José 日本 😀");
  EXPECT_EQ(shown_row(screen, 0), "José 日本 😀    ");
  // J o s é, a space, two wide, a space, one wide: 12 cells.
  EXPECT_EQ(screen.cursor(), (Point{12, 0}));
  EXPECT_EQ(edit.cursor_index, edit.text.size());
}

TEST(LineEditWideTest, CombiningMarkJoinsTheLetterBeforeIt) {
  vn::LineEdit edit{vn::LineEdit::init};
  Harness screen{edit, {6, 1}};
  screen.click({0, 0});
  screen.type("xe\u0301");
  // Kept as typed, shown composed in one cell.
  EXPECT_EQ(edit.text, "xe\u0301");
  EXPECT_EQ(shown_row(screen, 0), "xé    ");
  EXPECT_EQ(screen.cursor(), (Point{2, 0}));
  // The cursor steps over the letter and its mark together.
  screen.key_press(Key::ArrowLeft);
  EXPECT_EQ(edit.cursor_index, 1U);
  EXPECT_EQ(screen.cursor(), (Point{1, 0}));
  screen.key_press(Key::Delete);
  EXPECT_EQ(edit.text, "x");
  // Backspace takes back the mark alone.
  screen.type("e\u0301");
  screen.key_press(Key::Backspace);
  EXPECT_EQ(edit.text, "xe");
  EXPECT_EQ(screen.cursor(), (Point{2, 0}));
  // A mark typed before a character joins the one before the cursor.
  screen.key_press(Key::Home);
  screen.key_press(Key::ArrowRight);
  screen.type("\u0308");
  EXPECT_EQ(edit.text, "x\u0308e");
  EXPECT_EQ(shown_row(screen, 0), "ẍe    ");
  EXPECT_EQ(screen.cursor(), (Point{1, 0}));
}

// Typing into a narrow edit: the view scrolls by cells and keeps the cursor's cells in it.
struct ScrollCase {
  char const* what;
  std::string typed;
  int width;
  std::vector<Key> keys;
  std::size_t scroll_offset;
  std::string shown;
  Point cursor;
};

TEST(LineEditWideTest, ScrollingKeepsTheCursorCellsInView) {
  std::vector<ScrollCase> const cases{
      {"the end needs one cell after the text", "日本語", 5, {}, 3, "本語 ", {4, 0}},
      {"exactly full with the cursor cell", "日本a", 6, {}, 0, "日本a ", {5, 0}},
      {"a wide character at the cursor shows whole",
       "ab日本",
       4,
       {Key::Home, Key::ArrowRight, Key::ArrowRight, Key::ArrowRight},
       2,
       "日本",
       {2, 0}},
      {"one cell: a wide character at the cursor is shown from its start, as far as it fits",
       "日本",
       1,
       {Key::Home},
       0,
       " ",
       {0, 0}},
      {"a wide character that does not fit at the edge leaves a space",
       "ab日",
       3,
       {Key::Home},
       0,
       "ab ",
       {0, 0}},
      {"End scrolls by cells", "a日本語", 4, {Key::Home, Key::End}, 7, "語 ", {2, 0}},
  };
  for (ScrollCase const& c : cases) {
    SCOPED_TRACE(c.what);
    vn::LineEdit edit{vn::LineEdit::init};
    Harness screen{edit, {c.width, 1}};
    screen.click({0, 0});
    screen.type(c.typed);
    for (Key const key : c.keys) {
      screen.key_press(key);
    }
    EXPECT_EQ(edit.scroll_offset, c.scroll_offset);
    EXPECT_EQ(shown_row(screen, 0).substr(0, c.shown.size()), c.shown);
    EXPECT_EQ(screen.cursor(), c.cursor);
  }
}

TEST(LineEditWideTest, ClicksLandOnTheCharacterUnderEitherHalf) {
  // "a日本b": cells a | 日 日 | 本 本 | b; bytes 0, 1, 4, 7, 8.
  std::vector<std::pair<int, std::size_t>> const cases{{0, 0}, {1, 1}, {2, 1}, {3, 4},
                                                       {4, 4}, {5, 7}, {6, 8}, {9, 8}};
  for (auto const& [column, index] : cases) {
    SCOPED_TRACE(column);
    vn::LineEdit edit{{.text = "a日本b"}};
    Harness screen{edit, {10, 1}};
    screen.click({column, 0});
    EXPECT_EQ(edit.cursor_index, index);
  }

  // Columns count from the first character shown.
  vn::LineEdit edit{{.text = "日本語"}};
  Harness screen{edit, {3, 1}};
  screen.click({0, 0});
  screen.key_press(Key::End);
  ASSERT_EQ(edit.scroll_offset, 6U);
  screen.click({1, 0});
  EXPECT_EQ(edit.cursor_index, 6U);
  screen.click({2, 0});
  EXPECT_EQ(edit.cursor_index, 9U);
}

TEST(LineEditWideTest, ValidatorSeesWholeCharacters) {
  vn::LineEdit edit{{.validator = [](char32_t c) { return c != U'本' && c != U'😀'; }}};
  Harness screen{edit, {10, 1}};
  screen.click({0, 0});
  screen.type("日本語😀é");
  EXPECT_EQ(edit.text, "日語é");
}

}  // namespace wide

}  // namespace

TEST(LineEditPasteTest, LinesModeTakesAPasteAsTheKeysItWouldBeTypedWith) {
  vn::LineEdit edit{{.paste_mode = vn::LineEdit::PasteMode::Lines}};
  std::vector<std::string> submitted;
  edit.submitted.connect([&](std::string const& text) { submitted.push_back(text); });
  vn::testing::Harness screen{edit, {20, 1}};
  screen.click({0, 0});
  screen.paste("José 日本\r\nnext");
  EXPECT_EQ(submitted, (std::vector<std::string>{"José 日本"}));
  EXPECT_EQ(edit.text, "José 日本next");
}
