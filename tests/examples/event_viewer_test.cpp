// The event viewer example, run under tmux as a person would: keys typed, the window resized,
// Ctrl+C to leave. With --raw, outside a console, it ends with the console error.
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/fake_terminal.hpp"
#include "support/tmux.hpp"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "support/privileges.hpp"
#include "support/programs.hpp"
#include "support/pty.hpp"

using namespace std::chrono_literals;
using vennic::test::event_viewer_path;

TEST(EventViewerTest, ShowsKeysAndResizesAndRestoresOnCtrlC) {
  if (event_viewer_path == nullptr) {
    GTEST_SKIP() << "examples are not built";
  }
  if (!vennic::test::have_tmux()) {
    GTEST_SKIP() << "tmux is not installed";
  }
  vennic::test::Tmux tmux{"vennic-viewer"};
  // The shell reports the exit status on the normal screen and keeps the pane open.
  tmux.run("new-session -d -x 80 -y 24 \"'" + std::string(event_viewer_path) +
           "'; echo viewer-exit=\\$?; sleep 60\"");
  ASSERT_TRUE(tmux.wait_for_screen("Event viewer (80x24)")) << tmux.screen();

  tmux.run("send-keys a");
  EXPECT_TRUE(tmux.wait_for_screen("KeyPress     0x00000061  'a'")) << tmux.screen();
  tmux.run("send-keys C-Left");
  EXPECT_TRUE(tmux.wait_for_screen("ArrowLeft  with Ctrl")) << tmux.screen();

  tmux.run("resize-window -x 100 -y 30");
  EXPECT_TRUE(tmux.wait_for_screen("Resize       100x30")) << tmux.screen();

  tmux.run("send-keys C-c");
  ASSERT_TRUE(tmux.wait_for_screen("viewer-exit=0")) << tmux.screen();
  // Back on the normal screen: the event lines stayed on the alternate one.
  std::string const screen = tmux.screen();
  EXPECT_EQ(screen.find("KeyPress"), std::string::npos) << screen;
  EXPECT_EQ(screen.find("Event viewer"), std::string::npos) << screen;
}

// A slow link between the terminal and the viewer: every byte of a script of keys, modified
// function keys, Alt+x, mouse reports and a paste (typed, pastes being off) comes after a
// random gap of 0 to 40 ms. Within the escape wait every sequence stays whole: the viewer shows
// the events it shows when the script arrives at once, none extra.
TEST(EventViewerTest, SlowLinkKeepsSequencesWhole) {
  if (event_viewer_path == nullptr) {
    GTEST_SKIP() << "examples are not built";
  }
  // Kitty reports: Ctrl+A pressed, 'a' released, Escape.
  std::string const script =
      "\x1b[A\x1b[1;5C\x1b[15;2~\x1bx\x1bOP\x1b[<0;10;5M\x1b[<0;10;5m\x1b[200~hi\x1b[201~"
      "\x1b[97;5u\x1b[97;1:3u\x1b[27uz";
  std::mt19937 random{24};
  std::uniform_int_distribution<int> gap{0, 40};
  // The longest gap the writes really had: a loaded machine may stretch one past the wait.
  std::chrono::steady_clock::duration longest{};
  auto const shown = [&](bool slow) {
    // With the recommended extensions, in a terminal that answers like kitty.
    auto child = vennic::test::PtyChild::start_program({event_viewer_path, "--extensions"},
                                                       {"TERM=xterm-256color"});
    child.reply_to_queries(vennic::test::kitty_replies);
    EXPECT_TRUE(child.wait_for_output("Ctrl+C quits."));
    longest = {};
    for (char const byte : script) {
      auto const start = std::chrono::steady_clock::now();
      std::this_thread::sleep_for(std::chrono::milliseconds(slow ? gap(random) : 0));
      child.write(std::string_view{&byte, 1});
      longest = std::max(longest, std::chrono::steady_clock::now() - start);
    }
    // Ctrl+C flushes what is still unread: it goes once the last key is shown.
    EXPECT_TRUE(child.wait_for_output("KeyPress     0x0000007A"));
    child.write("\x03");
    EXPECT_EQ(child.wait_exit().exit_status, 0);
    std::vector<std::string> lines;
    std::string const& out = child.output();
    for (auto at = out.find("\r\n"); at != std::string::npos; at = out.find("\r\n", at + 2)) {
      std::string line = out.substr(at + 2, out.find_first_of("\r\x1b", at + 2) - at - 2);
      if (!line.empty() && line.find("Event viewer") == std::string::npos) {
        lines.push_back(line);
      }
    }
    return lines;
  };
  auto const at_once = shown(false);
  EXPECT_EQ(at_once.size(), 12U) << ::testing::PrintToString(at_once);
  EXPECT_NE(at_once.at(3).find("with Alt"), std::string::npos) << at_once.at(3);
  for (int attempt = 0; attempt < 3; ++attempt) {
    auto const slow = shown(true);
    if (longest < 45ms) {
      EXPECT_EQ(slow, at_once);
      return;
    }
  }
  GTEST_SKIP() << "the machine is too loaded to keep the gaps under 45 ms";
}

TEST(EventViewerTest, RawKeysOutsideAConsoleEndWithTheError) {
  if (event_viewer_path == nullptr) {
    GTEST_SKIP() << "examples are not built";
  }
  // Never as root: a real console keyboard may be attached.
  auto child = vennic::test::PtyChild::start([] {
    if (!vennic::test::drop_root()) {
      return vennic::test::still_root_status;
    }
    if (vennic::test::console_reachable()) {
      return vennic::test::console_reachable_status;
    }
    execl(event_viewer_path, "event_viewer", "--raw", static_cast<char*>(nullptr));
    return 127;
  });
  auto const status = child.wait_exit();
  if (status.exited && status.exit_status == vennic::test::console_reachable_status) {
    GTEST_SKIP() << "a console device can be opened without root here";
  }
  ASSERT_NE(status.exit_status, vennic::test::still_root_status) << "could not give up root";
  EXPECT_TRUE(status.exited);
  EXPECT_EQ(status.exit_status, 1) << child.output();
  EXPECT_NE(child.output().find("Error: open_console_file(): Can't open console file. Try sudo."),
            std::string::npos)
      << child.output();
  EXPECT_EQ(child.output().find("Event viewer"), std::string::npos) << child.output();
}
