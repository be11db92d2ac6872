// The restoration is ordered with the frames: a signal that arrives while a frame is written is
// acted on right after the frame's last byte, the restoration ends synchronized output first,
// a second restoration before the terminal was taken back writes nothing, and one terminal
// session is live at a time. Each test runs frames in a child on a pseudo-terminal and reads the
// exact bytes the child leaves.
#include <sys/types.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vn/vn.hpp>

#include "support/pty.hpp"
#include "support/sanitizers.hpp"
#include "support/session_output.hpp"

using vennic::test::mouse_encoding;
using vennic::test::occurrences;
using vennic::test::PtyChild;

namespace {

constexpr int columns = 80;
constexpr int rows = 24;

std::string const frame_end = "\x1b[?25l\x1b[?2026l";
std::string const stopped = "\r\nstopped by " + std::to_string(SIGTSTP) + "\r\n";

// The restoration of the session below, which synchronizes its frames, and its re-entry.
std::string restore_bytes() {
  return "\x1b[?2026l\x1b[?7h\x1b[?1049l\x1b[?1000;1002;1003;" + mouse_encoding() + "l\x1b[?25h";
}
std::string reenter_bytes() {
  return "\x1b[?7l\x1b[?1049h\x1b[?1000;1002l\x1b[?1003;" + mouse_encoding() + "h\x1b[?25l";
}

// Commits frames of the whole screen (every cell changes each time), `frames` of them or,
// with 0, without end.
void paint_frames(int frames) {
  vn::Terminal terminal{dalk::Extensions{dalk::Extension::SynchronizedOutput}};
  std::fputs("ready\n", stderr);
  for (int frame = 0; frames == 0 || frame < frames; ++frame) {
    vn::Terminal::changes = vn::ScreenBuffer{dalk::Area{columns, rows}};
    vn::Terminal::changes.fill(dalk::Glyph{frame % 2 == 0 ? U'a' : U'b', dalk::Brush{}});
    terminal.commit_changes();
  }
  std::fputs("done\n", stderr);
}

// Nobody reads the terminal for a while, so the child blocks in the middle of a frame; then
// the signal comes. Its handler acts once the frame is out. A stop in an orphaned process group
// (the child leads its own session) is discarded: the terminal is taken back at once.
TEST(RestorationOrderTest, SignalDuringAFrameIsActedOnRightAfterIt) {
  for (int const sig : {SIGTERM, SIGTSTP}) {
    auto child = PtyChild::start(
        [] {
          std::signal(SIGTSTP, SIG_DFL);
          paint_frames(40);
          return 0;
        },
        columns, rows);
    ASSERT_TRUE(child.wait_for_output("ready"));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    kill(child.pid(), sig);
    auto const status = child.wait_exit();
    std::string const& out = child.output();
    std::size_t const restored = out.find(restore_bytes());
    ASSERT_NE(restored, std::string::npos) << sig;
    ASSERT_GE(restored, frame_end.size());
    EXPECT_EQ(out.substr(restored - frame_end.size(), frame_end.size()), frame_end) << sig;
    if (sig == SIGTERM) {
      EXPECT_TRUE(status.signaled);
      EXPECT_EQ(status.signal, SIGTERM);
      EXPECT_EQ(out.substr(restored), restore_bytes());
    } else {
      EXPECT_EQ(status.exit_status, 0);
      std::size_t const reentered = restored + restore_bytes().size();
      EXPECT_EQ(out.substr(reentered, reenter_bytes().size()), reenter_bytes());
      // The frames go on; the destructor restores once more at the end.
      EXPECT_EQ(occurrences(out, restore_bytes()), 2U);
      EXPECT_NE(out.find("done\r\n" + restore_bytes(), reentered), std::string::npos);
    }
  }
}

// Stops while a program paints synchronized frames without pause, over a hundred of them with a
// continue between. A stop signal finds the last frame complete, then the restoration, which ends
// synchronized output first. A typed Ctrl+Z also makes the line discipline drop the output not
// yet read, which may cut a frame anywhere: there the restoration still comes last and whole.
// At the end a termination signal arrives during a stop: its handler runs after the continue and
// pops nothing that is not pushed. The child plays the shell: it runs the program in a process
// group of its own, in the foreground, and reports each stop it sees through waitpid.
TEST(RestorationOrderTest, StopsDuringContinuousFramesEndSynchronizedOutput) {
  int const stops = vennic::test::memory_sanitized ? 20 : 120;
  auto child = PtyChild::start(
      [] {
        return vennic::test::run_foreground_job([] {
          std::signal(SIGTSTP, SIG_DFL);
          paint_frames(0);
          return 0;
        });
      },
      columns, rows);
  ASSERT_TRUE(child.wait_for_output("ready"));
  pid_t const application = vennic::test::foreground_job(child);
  ASSERT_GT(application, 0);
  for (int stop = 0; stop < stops; ++stop) {
    child.discard_output();
    // At least one frame since the continue, then the stop.
    ASSERT_TRUE(child.wait_for_output(frame_end, std::chrono::seconds(5))) << stop;
    bool const typed = stop % 2 == 0;
    if (typed) {
      child.write("\x1a");
    } else {
      kill(-application, SIGTSTP);
    }
    ASSERT_TRUE(child.wait_for_output(stopped, std::chrono::seconds(5))) << stop;
    std::string out = child.output().substr(0, child.output().find(stopped));
    // The line discipline echoes the typed key once the restoration turned echo back on.
    if (typed && out.size() >= 2 && out.substr(out.size() - 2) == "^Z") {
      out.resize(out.size() - 2);
    }
    std::string const ending = (typed ? "" : frame_end) + restore_bytes();
    ASSERT_GE(out.size(), ending.size()) << stop;
    ASSERT_EQ(out.substr(out.size() - ending.size()), ending)
        << stop << ": " << out.substr(out.size() - std::min(out.size(), ending.size() + 100));
    ASSERT_EQ(occurrences(out, restore_bytes()), 1U) << stop;
    if (stop + 1 < stops) {
      kill(-application, SIGCONT);
    }
  }
  child.discard_output();
  kill(-application, SIGTERM);
  kill(-application, SIGCONT);
  EXPECT_EQ(child.wait_exit().exit_status, 100 + SIGTERM);
  // Nothing more; or, the handler running on another thread or later, the continue's re-entry,
  // maybe frames, and one restoration after the last of them.
  std::string const& out = child.output();
  bool const reentered = out.rfind(reenter_bytes(), 0) == 0 &&
                         occurrences(out, restore_bytes()) == 1 &&
                         out.size() >= restore_bytes().size() &&
                         out.substr(out.size() - restore_bytes().size()) == restore_bytes();
  EXPECT_TRUE(out.empty() || reentered) << out;
}

TEST(RestorationOrderTest, SecondLiveSessionIsRefused) {
  auto child = PtyChild::start([] {
    vn::Terminal first;
    try {
      vn::Terminal second;
      return 10;
    } catch (std::logic_error const& error) {
      std::fprintf(stderr, "%s\n", error.what());
    }
    try {
      dalk::initialize_normal_terminal();
      return 11;
    } catch (std::logic_error const& error) {
      std::fprintf(stderr, "%s\n", error.what());
    }
    // A terminal object moves; its session stays the one live.
    vn::Terminal const moved = std::move(first);
    return 0;
  });
  EXPECT_EQ(child.wait_exit().exit_status, 0) << child.output();
  EXPECT_NE(child.output().find("Terminal(): a terminal session is already live\r\n"
                                "initialize_terminal(): a terminal session is already live\r\n"),
            std::string::npos)
      << child.output();
}

}  // namespace
