// What the commit writes for painted values the terminal cannot take as they are (code points
// without a UTF-8 form, a cursor off the screen), and the full redraw that every Resize asks for.
#include <gtest/gtest.h>

#include <string>
#include <vn/vn.hpp>

#include "support/process.hpp"

namespace {

using dalk::Glyph;

std::string const hide = "\x1b[?25l";
std::string const show = "\x1b[?25h";
std::string const default_brush = "\x1b[49m\x1b[39m\x1b[22;23;24;25;27;28;29m";

class CommitOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vn::Terminal::changes = vn::ScreenBuffer{};
    vn::Terminal::cursor.reset();
  }

  std::string commit(bool synchronized = false) {
    return vennic::test::capture_stdout(
        [this, synchronized] { vn::detail::commit_changes(screen, escape_buffer, synchronized); });
  }

  // A 2 x 1 screen of blanks already committed.
  void start_blank() {
    vn::Terminal::changes.resize({2, 1});
    vn::Terminal::changes.fill(Glyph{});
    commit();
  }

  vn::ScreenBuffer screen;
  std::string escape_buffer;
};

TEST_F(CommitOutputTest, CodePointsWithoutUtf8FormAreWrittenAsReplacement) {
  start_blank();
  // A lone surrogate and a value above U+10FFFF would otherwise go out as ill-formed bytes
  // (0xED 0xA0 0x80; a lead byte 0xF4 0x90 ...).
  vn::Terminal::changes[{0, 0}] = Glyph{char32_t{0xD800}, {}};
  vn::Terminal::changes[{1, 0}] = Glyph{char32_t{0x110000}, {}};
  EXPECT_EQ(commit(), hide + "\x1b[1;1H\xEF\xBF\xBD\x1b[1;2H\xEF\xBF\xBD" + default_brush + hide);
  // The mirror keeps what was painted, so the same frame writes nothing.
  vn::Terminal::changes[{0, 0}] = Glyph{char32_t{0xD800}, {}};
  vn::Terminal::changes[{1, 0}] = Glyph{char32_t{0x110000}, {}};
  EXPECT_EQ(commit(), hide + default_brush + hide);
}

TEST_F(CommitOutputTest, CursorOffTheScreenStaysHidden) {
  start_blank();
  for (dalk::Point const p : {dalk::Point{-1, 0}, dalk::Point{0, -1}, dalk::Point{2, 0},
                              dalk::Point{0, 1}, dalk::Point{-5, -3}}) {
    vn::Terminal::cursor = p;
    EXPECT_EQ(commit(), hide + default_brush + hide) << p.x << "," << p.y;
  }
  vn::Terminal::cursor = dalk::Point{1, 0};
  EXPECT_EQ(commit(), hide + default_brush + show + "\x1b[1;2H");
}

// With synchronized output the commit's bytes are wrapped, and otherwise the same.
TEST_F(CommitOutputTest, SynchronizedCommitsAreWrappedInOneUpdate) {
  start_blank();
  vn::Terminal::changes[{1, 0}] = Glyph{U'x', {}};
  vn::Terminal::cursor = dalk::Point{0, 0};
  EXPECT_EQ(commit(true),
            "\x1b[?2026h" + hide + "\x1b[1;2Hx" + default_brush + show + "\x1b[1;1H\x1b[?2026l");
  EXPECT_EQ(commit(true),
            "\x1b[?2026h" + hide + "\x1b[1;2H " + default_brush + show + "\x1b[1;1H\x1b[?2026l");
}

TEST_F(CommitOutputTest, ResizeToTheSameSizeRewritesEveryCell) {
  start_blank();
  // What the event loop does for a Resize event of the size already shown.
  struct NoHandlers {};
  NoHandlers app;
  vn::apply_event(dalk::Resize{{2, 1}}, app);
  EXPECT_EQ(commit(), hide + "\x1b[1;1H \x1b[1;2H " + default_brush + hide);
  // Only the next commit.
  EXPECT_EQ(commit(), hide + default_brush + hide);
}

TEST_F(CommitOutputTest, RequestedFullRedrawRewritesEveryCell) {
  start_blank();
  vn::detail::request_full_redraw();
  EXPECT_EQ(commit(), hide + "\x1b[1;1H \x1b[1;2H " + default_brush + hide);
}

}  // namespace
