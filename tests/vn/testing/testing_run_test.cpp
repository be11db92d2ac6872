// The test kit against a real run: the shared form runs as a program on a pseudo-terminal whose
// output feeds a terminal emulator, and in a vn::testing::Harness; after every step of one
// script (typed keys, clicks in SGR form, Enter, Tab, a window resize) both show the same screen
// and the same cursor.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include <dalk/io.hpp>
#include <dalk/sequence.hpp>
#include <vn/testing.hpp>

#include "programs/form.hpp"
#include "support/pty.hpp"
#include "support/vterm_screen.hpp"

namespace {

using vennic::test::PtyChild;
using vennic::test::VtermScreen;

// Bytes typed into the terminal; the harness gets one key press per byte ('\r' is Enter, '\t'
// Tab, '\x7f' Backspace). ASCII only.
struct Type {
  std::string bytes;
};
// A left click: an SGR press and release on the cell.
struct Click {
  dalk::Point at;
};
// The window takes a new size (the program learns it through SIGWINCH).
struct Resize {
  dalk::Area size;
};
using Step = std::variant<Type, Click, Resize>;

// The form twice: as a program on a pty, seen through the emulator, and in a harness.
class Replay {
 public:
  explicit Replay(dalk::Area size)
      : child{PtyChild::start_program({VENNIC_FORM_APP}, {"TERM=xterm-256color"}, size.width,
                                      size.height)},
        screen{size.width, size.height},
        harness{form.window, size} {}

  void apply(Step const& step) {
    if (auto const* type = std::get_if<Type>(&step)) {
      child.write(type->bytes);
      for (char const byte : type->bytes) {
        harness.key_press(dalk::key(static_cast<unsigned char>(byte)));
      }
    } else if (auto const* click = std::get_if<Click>(&step)) {
      std::string const where =
          std::to_string(click->at.x + 1) + ";" + std::to_string(click->at.y + 1);
      child.write("\x1b[<0;" + where + "M\x1b[<0;" + where + "m");
      harness.click(click->at);
    } else if (auto const* resize = std::get_if<Resize>(&step)) {
      screen.resize(resize->size.width, resize->size.height);
      child.set_size(resize->size.width, resize->size.height);
      harness.resize(resize->size);
    }
  }

  bool same_screen() const {
    if (screen.columns() != harness.size().width || screen.rows() != harness.size().height) {
      return false;
    }
    for (int y = 0; y < screen.rows(); ++y) {
      if (screen.row(y) != harness.line(y)) {
        return false;
      }
    }
    std::optional<dalk::Point> const shown =
        screen.cursor_visible() ? std::optional<dalk::Point>{screen.cursor()} : std::nullopt;
    return shown == harness.cursor();
  }

  // Bounded: the program may still be catching up with the bytes just typed.
  bool wait_same_screen() {
    return vennic::test::wait_for_screen(child, screen, [this] { return same_screen(); });
  }

  std::string describe() const {
    std::string text = "run:\n" + screen.text() + "harness:\n";
    for (std::string const& line : harness.lines()) {
      text += line + "\n";
    }
    return text;
  }

  vennic::test::Form form;
  PtyChild child;
  VtermScreen screen;
  vn::testing::Harness harness;
};

// Every step changes the screen, so a match also means the program has read the step's bytes:
// Ctrl+C at the end must not find input still waiting, which the terminal would discard.
TEST(HarnessRunTest, ShowsWhatARunShowsAfterEveryStep) {
  std::vector<Step> const script = {
      Click{{3, 1}},     // focus the line edit
      Type{"Adx\x7f"},   // a typo, taken back
      Type{"a\r"},       // Enter greets
      Type{"\t"},        // Tab to the check box
      Click{{2, 2}},     // checks it
      Resize{{30, 12}},  // the window grows
      Type{"\r"},        // Enter unchecks the focused box
      Click{{5, 1}},     // back into the line edit
      Type{"\x7f\x7f"
           "a\r"},      // "Aa"
      Resize{{28, 8}},  // and shrinks
      Type{"\t"},       // the check box again
  };
  Replay replay{{40, 10}};
  // Input typed before the program has set up the terminal would be lost.
  ASSERT_TRUE(replay.wait_same_screen()) << replay.describe();
  for (std::size_t i = 0; i < script.size(); ++i) {
    replay.apply(script[i]);
    ASSERT_TRUE(replay.wait_same_screen()) << "after step " << i << "\n" << replay.describe();
  }
  replay.child.write("\x03");
  vennic::test::ExitStatus const status = replay.child.wait_exit();
  ASSERT_TRUE(status.exited) << "signaled: " << status.signaled
                             << " timed out: " << status.timed_out;
  EXPECT_EQ(status.exit_status, 1);
}

}  // namespace
