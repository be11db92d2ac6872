// Pastes into the editing widgets, and the text box's layout kept between paints: laid out
// again only where edits touched it, yet always the layout a fresh box gives the same text.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include <dalk/transcode.hpp>
#include <vn/vn.hpp>

namespace {

using dalk::Key;
using vn::LineEdit;
using vn::TextBox;
using vn::testing::Harness;
using Wrap = TextBox::Wrap;

std::vector<std::u32string> lines(TextBox const& box) {
  return {box.layout_cache.begin(), box.layout_cache.end()};
}

// The layout of a box that never saw an edit.
std::vector<std::u32string> fresh_lines(TextBox const& box) {
  TextBox fresh{{.text = box.text, .wrap = box.wrap}};
  fresh.size = box.size;
  fresh.update_layout_cache();
  return lines(fresh);
}

struct TextBoxPaste {
  char const* what;
  std::string text;
  std::size_t cursor_index;
  std::string pasted;
  std::string expected;
  std::size_t expected_cursor;
};

TEST(TextBoxPasteTest, InsertsTheWholeTextAtTheCursor) {
  std::vector<TextBoxPaste> const cases{
      {"lines into an empty box", "", 0, "one\ntwo\n", "one\ntwo\n", 8},
      {"CRLF and CR become line feeds", "", 0, "a\r\nb\rc", "a\nb\nc", 5},
      {"into the middle", "head tail", 5, "mid\n", "head mid\ntail", 9},
      {"a leading mark joins the character before", "e", 1, "\u0301x", "e\u0301x", 3},
      {"before a mark, which joins what was pasted", "\u0301", 0, "xe", "xe\u0301", 3},
      {"malformed UTF-8 becomes U+FFFD", "", 0, "a\xff\xc3(b", "a\uFFFD\uFFFD(b", 5},
      {"controls dropped but tab", "", 0, "a\x01\tb\x7f\x1b[c\u0085", "a\tb[c", 5},
      {"nothing left", "ab", 1, "\x02\x03", "ab", 1},
  };
  for (TextBoxPaste const& c : cases) {
    SCOPED_TRACE(c.what);
    TextBox box{{.text = c.text, .focus_policy = vn::FocusPolicy::Strong}};
    Harness screen{box, {12, 4}};
    vn::Focus::set(box);
    box.cursor_index = c.cursor_index;
    screen.paste(c.pasted);
    EXPECT_EQ(box.text, c.expected);
    EXPECT_EQ(box.code_points, dalk::detail::u8_string_to_u32_string(c.expected));
    EXPECT_EQ(box.cursor_index, c.expected_cursor);
    EXPECT_EQ(lines(box), fresh_lines(box));
  }
}

TEST(TextBoxPasteTest, APasteShowsAtOnce) {
  TextBox box{{.focus_policy = vn::FocusPolicy::Strong}};
  Harness screen{box, {6, 3}};
  screen.click({0, 0});
  screen.paste("ab\r\ncd efgh");
  EXPECT_EQ(screen.lines(), (std::vector<std::string>{"ab    ", "cd    ", "efgh  "}));
}

struct LineEditPaste {
  char const* what;
  LineEdit::PasteMode mode;
  bool digits_only;
  std::string pasted;
  std::string expected;
  std::vector<std::string> submitted;
};

TEST(LineEditPasteTest, InsertsWhatTypingWouldAsOneEditPerLine) {
  using Mode = LineEdit::PasteMode;
  std::vector<LineEditPaste> const cases{
      {"first line only", Mode::FirstLine, false, "one two\r\nthree", "xone twoy", {}},
      {"validator filters", Mode::FirstLine, true, "1a2\tb3\n4", "x123y", {}},
      {"every line, submitting at each break",
       Mode::Lines,
       false,
       "a\nb\rc",
       "xabcy",
       {"xay", "xaby"}},
      {"malformed UTF-8 as U+FFFD",
       Mode::FirstLine,
       false,
       "\xff"
       "a",
       "x\uFFFDay",
       {}},
  };
  for (LineEditPaste const& c : cases) {
    SCOPED_TRACE(c.what);
    LineEdit::Options options{.text = "xy", .paste_mode = c.mode};
    if (c.digits_only) {
      options.validator = [](char32_t ch) { return ch >= U'0' && ch <= U'9'; };
    }
    LineEdit edit{std::move(options)};
    std::vector<std::string> submitted;
    edit.submitted.connect([&](std::string const& text) { submitted.push_back(text); });
    Harness screen{edit, {20, 1}};
    vn::Focus::set(edit);
    edit.cursor_index = 1;
    screen.paste(c.pasted);
    EXPECT_EQ(edit.text, c.expected);
    EXPECT_EQ(edit.cursor_index, c.expected.size() - 1);
    EXPECT_EQ(submitted, c.submitted);
  }
}

TEST(LineEditPasteTest, ALongPasteScrollsToTheCursor) {
  LineEdit edit{{.paste_mode = LineEdit::PasteMode::FirstLine}};
  Harness screen{edit, {5, 1}};
  vn::Focus::set(edit);
  screen.paste("abcdefgh\nij");
  EXPECT_EQ(screen.line(0), "efgh ");
  EXPECT_EQ(screen.cursor(), (dalk::Point{4, 0}));
}

// Random edits of every kind, each followed by a paint, in boxes of several widths: the layout
// kept between paints always equals a fresh one, and the text always matches the code points.
TEST(TextBoxLayoutTest, EditedLayoutEqualsAFreshOne) {
  std::vector<std::u32string> const pieces{U"a", U" ", U"\n", U"日", U"\u0301", U"word ", U"😀"};
  std::vector<std::string> const pastes{"x y\nz", "long words wrapped around\n\n", "é\u0301 日本"};
  std::mt19937 random{7};
  for (int const width : {1, 2, 3, 5, 8}) {
    for (Wrap const wrap : {Wrap::Word, Wrap::Character}) {
      SCOPED_TRACE(std::to_string(width) + (wrap == Wrap::Word ? " word" : " character"));
      TextBox box{{.text = "start text\nsecond line", .wrap = wrap}};
      Harness screen{box, {width, 3}};
      vn::Focus::set(box);
      for (int step = 0; step < 300; ++step) {
        switch (random() % 8) {
          case 0:
            screen.key_press(Key::Backspace);
            break;
          case 1:
            screen.key_press(Key::Delete);
            break;
          case 2:
            box.cursor_index = random() % (box.code_points.size() + 1);
            break;
          case 3:
            screen.paste(pastes[random() % pastes.size()]);
            break;
          default: {
            std::u32string const& piece = pieces[random() % pieces.size()];
            for (char32_t const c : piece) {
              screen.key_press(c == U'\n' ? Key::Enter : dalk::key(c));
            }
          }
        }
        ASSERT_EQ(lines(box), fresh_lines(box)) << "step " << step;
        ASSERT_EQ(box.text, dalk::detail::u32_to_u8(box.code_points)) << "step " << step;
      }
    }
  }
}

struct OutsideChange {
  char const* what;
  std::string text;
  void (*change)(TextBox& box);
  std::string expected;
};

// What the application changes between paints is laid out at the next one.
TEST(TextBoxLayoutTest, OutsideChangesAreNoticed) {
  std::string const short_text = "aaaa";
  std::string const long_text = std::string(300, 'a') + "\nend";
  std::vector<OutsideChange> const cases{
      {"text of the same length", short_text, [](TextBox& box) { box.text[1] = 'X'; }, "aXaa"},
      {"text assigned", short_text, [](TextBox& box) { box.text = "new"; }, "new"},
      {"long text made longer", long_text, [](TextBox& box) { box.text += "XYZ"; }, "endX"},
      {"code points changed in place: the text wins", short_text,
       [](TextBox& box) { box.code_points[0] = U'Z'; }, "aaaa"},
      {"code points shortened: the text wins", long_text,
       [](TextBox& box) { box.code_points.resize(2); }, "end"},
      {"width changed", short_text, [](TextBox& box) { box.size.width = 2; }, "aa"},
  };
  for (OutsideChange const& c : cases) {
    SCOPED_TRACE(c.what);
    TextBox box{{.text = c.text, .wrap = Wrap::Character}};
    Harness screen{box, {4, 2}};
    vn::Focus::set(box);
    screen.key_press(Key::End);
    c.change(box);
    screen.paint();
    EXPECT_EQ(lines(box), fresh_lines(box));
    EXPECT_EQ(box.code_points, dalk::detail::u8_string_to_u32_string(box.text));
    EXPECT_TRUE(screen.find(c.expected).has_value()) << screen.line(0) << "|" << screen.line(1);
  }
}

}  // namespace
