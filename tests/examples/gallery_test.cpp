// The gallery example as a whole program: it runs on a pseudo-terminal whose output feeds a
// terminal emulator, and the tests type keys, click, turn the wheel and resize the window as a
// person would, then read the emulated screen. One smoke test runs it under tmux as well.
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include <dalk/transcode.hpp>

#include "support/fake_terminal.hpp"
#include "support/programs.hpp"
#include "support/pty.hpp"
#include "support/tmux.hpp"
#include "support/vterm_screen.hpp"

namespace {

using vennic::test::gallery_path;
using vennic::test::PtyChild;
using vennic::test::ScreenColor;
using vennic::test::VtermScreen;

// The gallery's highlight colour: lit panel frames and the focused check box.
constexpr dalk::TrueColor highlight{255, 200, 60};

struct Size {
  int columns;
  int rows;
};

void PrintTo(Size const& size, std::ostream* out) {
  *out << size.columns << "x" << size.rows;
}

// The gallery on a pseudo-terminal of its own, with an emulator showing its screen.
class Gallery {
 public:
  Gallery(int columns, int rows)
      : child{PtyChild::start_program({gallery_path}, {"TERM=xterm-256color", "PATH=/usr/bin:/bin"},
                                      columns, rows)},
        screen{columns, rows} {}

  bool wait(std::function<bool()> const& condition) {
    return vennic::test::wait_for_screen(child, screen, condition);
  }
  bool wait_text(std::string const& text) {
    return wait([&] { return screen.contains(text); });
  }
  // Input sent before the gallery has set up the terminal would be discarded. A frame can reach
  // the terminal in several writes; its last cell is the frame's bottom right corner.
  bool started() {
    std::string const window =
        "Window " + std::to_string(screen.columns()) + "x" + std::to_string(screen.rows());
    return wait([&] {
      return screen.contains(window) &&
             screen.cell(screen.columns() - 1, screen.rows() - 1).symbol == U'╝';
    });
  }

  // A left click (SGR press and release) on the cell.
  void click(dalk::Point at) {
    std::string const where = std::to_string(at.x + 1) + ";" + std::to_string(at.y + 1);
    child.write("\x1b[<0;" + where + "M\x1b[<0;" + where + "m");
  }
  void wheel(dalk::Point at, bool down, int steps) {
    std::string const report = std::string("\x1b[<") + (down ? "65;" : "64;") +
                               std::to_string(at.x + 1) + ";" + std::to_string(at.y + 1) + "M";
    for (int i = 0; i < steps; ++i) {
      child.write(report);
    }
  }
  void resize(int columns, int rows) {
    screen.resize(columns, rows);
    child.set_size(columns, rows);
  }

  // Where text first shows on the screen; fails the test when it does not.
  dalk::Point at(std::string const& text) {
    std::optional<dalk::Point> const found = screen.find(text);
    EXPECT_TRUE(found) << "not on screen: " << text << "\n" << screen.text();
    return found.value_or(dalk::Point{0, 0});
  }

  // Cells x0 to x1 - 1 of row y as text.
  std::string cells(int y, int x0, int x1) const {
    std::u32string text;
    for (int x = x0; x < x1; ++x) {
      text.push_back(screen.cell(x, y).symbol);
    }
    return dalk::detail::u32_to_u8(text);
  }

  // Every widget that shows focus, in screen order of kinds: buttons draw their label between
  // ▸ and ◂, check boxes take the highlight colour as background, and the line edit and the
  // text box show the terminal cursor.
  std::string focus() const {
    std::vector<std::string> shown;
    for (char const* button : {"Count", "Reset", "Quit"}) {
      if (screen.contains(std::string("▸") + button)) {
        shown.emplace_back(button);
      }
    }
    for (char const* box : {"Animate", "Wrap words", "Colours"}) {
      if (auto const p = screen.find(std::string("] ") + box)) {
        ScreenColor const background = screen.cell(p->x - 2, p->y).background;
        if (background.kind == ScreenColor::Kind::Rgb && background.rgb == highlight) {
          shown.emplace_back(box);
        }
      }
    }
    if (screen.cursor_visible()) {
      dalk::Point const cursor = screen.cursor();
      auto const edit = screen.find("╎ Name ");
      auto const text = screen.find("Welcome to the Vennic");
      if (edit && cursor.y == edit->y && cursor.x >= edit->x + 7) {
        shown.emplace_back("Line edit");
      } else if (text && cursor.y >= text->y && cursor.x >= text->x) {
        shown.emplace_back("Text box");
      } else {
        shown.emplace_back("cursor elsewhere");
      }
    }
    std::string result;
    for (auto const& name : shown) {
      result += (result.empty() ? "" : ", ") + name;
    }
    return result;
  }

  bool wait_focus(std::string const& expected) {
    return wait([&] { return focus() == expected; });
  }

  PtyChild child;
  VtermScreen screen;
};

// The sequences that put the terminal back, written when the gallery ends.
void expect_restored(Gallery& gallery) {
  std::string const& output = gallery.child.output();
  std::size_t const entered = output.rfind("\x1b[?1049h");
  ASSERT_NE(entered, std::string::npos);
  for (char const* sequence :
       {"\x1b[?7h", "\x1b[?1049l", "\x1b[?1000;1002;1003;1006l", "\x1b[?25h"}) {
    EXPECT_NE(output.find(sequence, entered), std::string::npos)
        << "missing restoration sequence " << sequence + 1;
  }
  termios const attributes = gallery.child.attributes();
  EXPECT_NE(attributes.c_lflag & ECHO, 0U);
  EXPECT_NE(attributes.c_lflag & ICANON, 0U);
  EXPECT_NE(attributes.c_lflag & ISIG, 0U);
}

class GalleryTest : public ::testing::TestWithParam<Size> {
 protected:
  void SetUp() override {
    if (gallery_path == nullptr) {
      GTEST_SKIP() << "examples are not built";
    }
    gallery.emplace(GetParam().columns, GetParam().rows);
    ASSERT_TRUE(gallery->started()) << gallery->screen.text();
  }

  std::optional<Gallery> gallery;
};

TEST_P(GalleryTest, StartsWithEveryWidgetOnScreen) {
  Gallery& g = *gallery;
  int const w = GetParam().columns;
  int const h = GetParam().rows;
  EXPECT_EQ(g.screen.cell(0, 0).symbol, U'╔');
  EXPECT_EQ(g.screen.cell(w - 1, h - 1).symbol, U'╝');
  for (char const* text : {"Vennic gallery",
                           "Labels",
                           "◂ left-aligned",
                           "centred",
                           "right-aligned ▸",
                           "Buttons",
                           "Count 0",
                           "Reset",
                           "Quit",
                           "Check boxes",
                           "[✓] Animate",
                           "[✓] Wrap words",
                           "[✓] Colours",
                           "Line edit",
                           "letters only, Enter submits",
                           "Timer",
                           "running",
                           "Events",
                           "Text box",
                           "Welcome to the Vennic gallery.",
                           "Amber fox",
                           "of 100",
                           "Dividers",
                           "light ───",
                           "bold ━━━",
                           "twin ═══",
                           "dashed ╌╌╌",
                           "dotted ┄┄┄",
                           "ascii ---",
                           "empty",
                           "vertical │ ┃ ║ ╎ ┆ |",
                           "Ctrl+C: quit"}) {
    EXPECT_TRUE(g.screen.contains(text)) << text << "\n" << g.screen.text();
  }
  // Every border style frames a panel: one corner of each.
  for (char const* corner : {"┌─ Labels", "╭─ Buttons", "┏━ Check boxes", "┌╌ Line edit",
                             "+- Timer", "╓─ Events", "┌┄ Text box", "╒═ Dividers"}) {
    EXPECT_TRUE(g.screen.contains(corner)) << corner;
  }
  // Larger windows show more of the table.
  EXPECT_TRUE(g.screen.contains(w >= 120 ? "rows 1-8 of 100" : "rows 1-3 of 100"))
      << g.screen.text();
  EXPECT_EQ(g.focus(), "Count");

  // The timer turns the spinner, a braille pattern on the row that says "running".
  int const y = g.at("running").y;
  int x = 0;
  while (x < w &&
         (g.screen.cell(x, y).symbol < U'\u2800' || g.screen.cell(x, y).symbol > U'\u28FF')) {
    ++x;
  }
  ASSERT_LT(x, w) << g.screen.row(y);
  char32_t const before = g.screen.cell(x, y).symbol;
  EXPECT_TRUE(g.wait([&] { return g.screen.cell(x, y).symbol != before; }));
}

TEST_P(GalleryTest, TabAndShiftTabVisitEveryFocusableWidget) {
  Gallery& g = *gallery;
  std::vector<std::string> const order{"Count",      "Reset",   "Quit",      "Animate",
                                       "Wrap words", "Colours", "Line edit", "Text box"};
  ASSERT_TRUE(g.wait_focus("Count")) << g.focus();
  for (std::size_t i = 1; i <= order.size(); ++i) {
    g.child.write("\t");
    std::string const& expected = order[i % order.size()];
    ASSERT_TRUE(g.wait_focus(expected)) << "after Tab " << i << ": " << g.focus();
  }
  for (std::size_t i = 1; i <= order.size(); ++i) {
    g.child.write("\x1b[Z");
    std::string const& expected = order[(order.size() - i) % order.size()];
    ASSERT_TRUE(g.wait_focus(expected)) << "after Shift+Tab " << i << ": " << g.focus();
  }
}

TEST_P(GalleryTest, SubmittedNameLandsInTheTitleAndTheLog) {
  Gallery& g = *gallery;
  for (int i = 0; i < 6; ++i) {
    g.child.write("\t");
  }
  ASSERT_TRUE(g.wait_focus("Line edit")) << g.focus();
  dalk::Point const edit = g.at("╎ Name ");
  EXPECT_EQ(g.screen.cursor(), (dalk::Point{edit.x + 7, edit.y}));
  // The validator lets letters, spaces, hyphens and apostrophes through.
  g.child.write("Ada4 2Lovelace!");
  ASSERT_TRUE(g.wait_text("╎ Name Ada Lovelace ")) << g.screen.text();
  EXPECT_TRUE(g.wait([&] { return g.screen.cursor() == dalk::Point{edit.x + 19, edit.y}; }));
  g.child.write("\r");
  EXPECT_TRUE(g.wait_text("hello, Ada Lovelace!")) << g.screen.text();
  EXPECT_TRUE(g.wait_text("Submitted: Ada Lovelace")) << g.screen.text();
}

TEST_P(GalleryTest, CheckBoxesToggleByClickAndByEnter) {
  Gallery& g = *gallery;
  dalk::Point const text = g.at("Welcome to the Vennic");
  std::string const first_line = g.screen.row(text.y);

  // A click on "Wrap words" unticks it, focuses it and breaks the text at any character.
  dalk::Point const wrap = g.at("] Wrap words");
  g.click({wrap.x - 2, wrap.y});
  ASSERT_TRUE(g.wait_text("[ ] Wrap words")) << g.screen.text();
  EXPECT_TRUE(g.wait_text("Wrap words off")) << g.screen.text();
  EXPECT_TRUE(g.wait_focus("Wrap words")) << g.focus();
  EXPECT_TRUE(g.wait([&] { return g.screen.row(text.y) != first_line; })) << g.screen.text();

  // Enter ticks it again and the words come back whole.
  g.child.write("\r");
  ASSERT_TRUE(g.wait_text("[✓] Wrap words")) << g.screen.text();
  EXPECT_TRUE(g.wait_text("Wrap words on")) << g.screen.text();
  EXPECT_TRUE(g.wait([&] { return g.screen.row(text.y) == first_line; })) << g.screen.text();

  // "Animate" pauses the timer.
  dalk::Point const animate = g.at("] Animate");
  g.click({animate.x - 2, animate.y});
  EXPECT_TRUE(g.wait_text("paused")) << g.screen.text();
  EXPECT_TRUE(g.wait_text("Animate off")) << g.screen.text();
}

TEST_P(GalleryTest, WheelScrollsTheTableAndTheTextBox) {
  Gallery& g = *gallery;
  dalk::Point const row = g.at("Amber fox");
  g.wheel(row, true, 3);
  ASSERT_TRUE(g.wait([&] { return g.screen.row(row.y).find("Dune lynx") != std::string::npos; }))
      << g.screen.text();
  // The status line lies below the rows: a read between one frame's writes may not show it yet.
  EXPECT_TRUE(g.wait_text("rows 4-")) << g.screen.text();
  g.wheel(row, false, 1);
  EXPECT_TRUE(g.wait([&] { return g.screen.row(row.y).find("Cobalt her") != std::string::npos; }))
      << g.screen.text();
  EXPECT_TRUE(g.wait_text("rows 3-")) << g.screen.text();

  // The text box scrolls by lines; its scroll bar follows, and scrolls it in turn.
  dalk::Point const text = g.at("Welcome to the Vennic");
  // The thumb starts at the top, in the bar's only column.
  int bar = g.screen.columns() - 1;
  while (bar > text.x && g.screen.cell(bar, text.y).symbol != U'█') {
    --bar;
  }
  ASSERT_GT(bar, text.x) << "no scroll bar thumb beside the text\n" << g.screen.text();
  std::vector<std::string> lines;
  for (int y = text.y; y < text.y + 4; ++y) {
    lines.push_back(g.cells(y, text.x, bar));
  }
  g.wheel(text, true, 2);
  ASSERT_TRUE(g.wait([&] { return g.cells(text.y, text.x, bar) == lines[2]; })) << g.screen.text();
  g.wheel({bar, text.y}, true, 1);
  ASSERT_TRUE(g.wait([&] { return g.cells(text.y, text.x, bar) == lines[3]; })) << g.screen.text();

  // A click at the bottom of the bar jumps to the end of the text.
  int bottom = text.y;
  while (g.screen.cell(bar, bottom + 1).symbol != U'┄') {
    ++bottom;
  }
  g.click({bar, bottom});
  EXPECT_TRUE(g.wait_text("The end.")) << g.screen.text();
}

TEST_P(GalleryTest, QuitButtonEndsWithStatusZero) {
  Gallery& g = *gallery;
  // The button on the row of Reset (the word shows elsewhere too).
  int const y = g.at("Reset").y;
  int x = 0;
  while (x < g.screen.columns() - 4 && g.cells(y, x, x + 4) != "Quit") {
    ++x;
  }
  ASSERT_LT(x, g.screen.columns() - 4) << g.screen.row(y);
  g.click({x, y});
  vennic::test::ExitStatus const status = g.child.wait_exit();
  ASSERT_TRUE(status.exited) << g.screen.text();
  EXPECT_EQ(status.exit_status, 0);
  expect_restored(g);
}

INSTANTIATE_TEST_SUITE_P(Sizes, GalleryTest, ::testing::Values(Size{80, 24}, Size{120, 40}),
                         [](::testing::TestParamInfo<Size> const& info) {
                           return std::to_string(info.param.columns) + "x" +
                                  std::to_string(info.param.rows);
                         });

class GalleryProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (gallery_path == nullptr) {
      GTEST_SKIP() << "examples are not built";
    }
  }
};

TEST_F(GalleryProgramTest, QuitByEnterEndsWithStatusZero) {
  Gallery g{80, 24};
  ASSERT_TRUE(g.started()) << g.screen.text();
  g.child.write("\t\t");
  ASSERT_TRUE(g.wait_focus("Quit")) << g.focus();
  g.child.write("\r");
  vennic::test::ExitStatus const status = g.child.wait_exit();
  ASSERT_TRUE(status.exited);
  EXPECT_EQ(status.exit_status, 0);
  expect_restored(g);
}

TEST_F(GalleryProgramTest, CtrlCEndsWithStatusOneAndRestoresTheTerminal) {
  Gallery g{80, 24};
  ASSERT_TRUE(g.started()) << g.screen.text();
  g.child.write("\x03");
  vennic::test::ExitStatus const status = g.child.wait_exit();
  ASSERT_TRUE(status.exited) << "signaled: " << status.signaled
                             << " timed out: " << status.timed_out;
  EXPECT_EQ(status.exit_status, 1);
  expect_restored(g);
  // Back on the normal screen, which the gallery never wrote to.
  g.screen.follow(g.child.output());
  EXPECT_FALSE(g.screen.contains("Vennic gallery")) << g.screen.text();
}

// It asks for the recommended extensions, and its title dims while the window has no focus.
TEST_F(GalleryProgramTest, TheTitleDimsWhileTheWindowIsUnfocused) {
  Gallery g{80, 24};
  ASSERT_TRUE(g.started()) << g.screen.text();
  EXPECT_NE(
      g.child.output().find("\x1b[?2004h\x1b[?1004h" + std::string(vennic::test::start_up_queries)),
      std::string::npos);
  dalk::Point const title = g.at("Vennic gallery");
  EXPECT_TRUE(g.screen.cell(title.x, title.y).bold);
  g.child.write("\x1b[O");
  EXPECT_TRUE(g.wait([&] { return !g.screen.cell(title.x, title.y).bold; })) << g.screen.text();
  g.child.write("\x1b[I");
  EXPECT_TRUE(g.wait([&] { return g.screen.cell(title.x, title.y).bold; })) << g.screen.text();
}

TEST_F(GalleryProgramTest, FollowsTheWindowSize) {
  Gallery g{80, 24};
  ASSERT_TRUE(g.started()) << g.screen.text();
  g.resize(120, 40);
  ASSERT_TRUE(g.wait_text("Window 120x40")) << g.screen.text();
  EXPECT_TRUE(g.wait([&] { return g.screen.cell(119, 39).symbol == U'╝'; })) << g.screen.text();
  EXPECT_TRUE(g.wait_text("rows 1-8 of 100")) << g.screen.text();
  EXPECT_TRUE(g.wait_text("1  Window 80x24")) << g.screen.text();

  g.resize(90, 26);
  ASSERT_TRUE(g.wait_text("Window 90x26")) << g.screen.text();
  EXPECT_TRUE(g.wait([&] { return g.screen.cell(89, 25).symbol == U'╝'; })) << g.screen.text();
  EXPECT_EQ(g.screen.cell(0, 0).symbol, U'╔');
  // Still working: Tab moves the focus.
  g.child.write("\t");
  EXPECT_TRUE(g.wait_focus("Reset")) << g.focus();
}

TEST_F(GalleryProgramTest, RunsUnderTmux) {
  if (!vennic::test::have_tmux()) {
    GTEST_SKIP() << "tmux is not installed";
  }
  vennic::test::Tmux tmux{"vennic-gallery"};
  tmux.run("new-session -d -x 80 -y 24 \"TERM=xterm-256color '" + std::string(gallery_path) +
           "'; echo gallery-exit=\\$?; sleep 60\"");
  ASSERT_TRUE(tmux.wait_for_screen("Window 80x24")) << tmux.screen();
  EXPECT_TRUE(tmux.wait_for_screen("▸Count 0◂")) << tmux.screen();
  tmux.run("send-keys Tab");
  EXPECT_TRUE(tmux.wait_for_screen("▸Reset◂")) << tmux.screen();
  tmux.run("send-keys Enter Enter");
  EXPECT_TRUE(tmux.wait_for_screen("Reset pressed")) << tmux.screen();
  tmux.run(vennic::test::hex_keys("\x1b[<65;60;13M\x1b[<65;60;13M"));
  EXPECT_TRUE(tmux.wait_for_screen("rows 3-5 of 100")) << tmux.screen();
  tmux.run("send-keys C-c");
  ASSERT_TRUE(tmux.wait_for_screen("gallery-exit=1")) << tmux.screen();
  EXPECT_EQ(tmux.screen().find("Vennic gallery"), std::string::npos) << tmux.screen();
}

// A few KB of lines pasted through tmux, bracketed as the gallery asks, land in the text box
// whole: every line shows when the box is scrolled back over them.
TEST_F(GalleryProgramTest, PasteUnderTmuxLandsInTheTextBox) {
  if (!vennic::test::have_tmux()) {
    GTEST_SKIP() << "tmux is not installed";
  }
  constexpr int count = 80;
  auto const line = [](int i) {
    std::string number = std::to_string(i);
    return std::string(3 - number.size(), '0') + number + " pasted line of the clipboard";
  };
  std::string const path = ::testing::TempDir() + "vennic-paste-" + std::to_string(getpid());
  {
    std::ofstream file{path, std::ios::binary};
    for (int i = 0; i < count; ++i) {
      file << line(i) << '\n';
    }
  }
  vennic::test::Tmux tmux{"vennic-paste"};
  tmux.run("new-session -d -x 100 -y 30 \"TERM=xterm-256color '" + std::string(gallery_path) +
           "'; sleep 60\"");
  ASSERT_TRUE(tmux.wait_for_screen("Window 100x30")) << tmux.screen();
  // A click into the text box focuses it; Home puts the cursor before all of its text.
  std::string const inside = "61;4";
  tmux.run(vennic::test::hex_keys("\x1b[<0;" + inside + "M\x1b[<0;" + inside + "m"));
  tmux.run("send-keys Home");
  tmux.run("load-buffer '" + path + "'");
  tmux.run("paste-buffer -p");
  std::remove(path.c_str());
  ASSERT_TRUE(tmux.wait_for_screen(line(count - 1))) << tmux.screen();
  // The view ends with the last line; each wheel step up shows one line more above.
  for (int i = count - 1; i >= 0; --i) {
    if (tmux.screen().find(line(i)) == std::string::npos) {
      tmux.run(vennic::test::hex_keys("\x1b[<64;" + inside + "M"));
    }
    ASSERT_TRUE(tmux.wait_for_screen(line(i), std::chrono::seconds(5))) << tmux.screen();
  }
}

// The second page: a list, radio buttons pacing a progress bar, a dialog and a menu.
TEST_F(GalleryProgramTest, SecondPageWidgetsWorkUnderTmux) {
  if (!vennic::test::have_tmux()) {
    GTEST_SKIP() << "tmux is not installed";
  }
  vennic::test::Tmux tmux{"vennic-gallery-page"};
  tmux.run("new-session -d -x 80 -y 24 \"TERM=xterm-256color '" + std::string(gallery_path) +
           "'; echo gallery-exit=\\$?; sleep 60\"");
  ASSERT_TRUE(tmux.wait_for_screen("Window 80x24")) << tmux.screen();
  tmux.run("send-keys F2");
  ASSERT_TRUE(tmux.wait_for_screen("(•) Steady")) << tmux.screen();
  EXPECT_TRUE(tmux.wait_for_screen("More page")) << tmux.screen();
  // The list has the focus; the progress bar moves on its function timer.
  tmux.run("send-keys Down");
  EXPECT_TRUE(tmux.wait_for_screen("List: Basalt")) << tmux.screen();
  auto const percent = [&tmux] {
    std::string const screen = tmux.screen();
    std::size_t const end = screen.find('%');
    return end == std::string::npos || end < 3 ? std::string{} : screen.substr(end - 3, 3);
  };
  std::string const before = percent();
  auto const deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (percent() == before && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_NE(percent(), before) << tmux.screen();

  tmux.run("send-keys Tab Down");
  EXPECT_TRUE(tmux.wait_for_screen("Pace: Fast")) << tmux.screen();
  tmux.run("send-keys Tab Enter");
  ASSERT_TRUE(tmux.wait_for_screen("A dialog keeps")) << tmux.screen();
  tmux.run("send-keys Escape");
  EXPECT_TRUE(tmux.wait_for_screen("Dialog closed")) << tmux.screen();
  tmux.run("send-keys Tab Enter");
  ASSERT_TRUE(tmux.wait_for_screen("Reset the count")) << tmux.screen();
  tmux.run("send-keys Down Enter");
  EXPECT_TRUE(tmux.wait_for_screen("Menu: Reset the count")) << tmux.screen();
  tmux.run("send-keys C-c");
  EXPECT_TRUE(tmux.wait_for_screen("gallery-exit=1")) << tmux.screen();
}

}  // namespace
