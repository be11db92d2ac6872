// The event viewer example, run under tmux as a person would: keys typed, the window resized,
// Ctrl+C to leave.
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/tmux.hpp"

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

using namespace std::chrono_literals;

namespace {

#ifdef VENNIC_EVENT_VIEWER
constexpr char const* viewer_path = VENNIC_EVENT_VIEWER;
#else
constexpr char const* viewer_path = nullptr;
#endif

}  // namespace

TEST(EventViewerTest, ShowsKeysAndResizesAndRestoresOnCtrlC) {
  if (viewer_path == nullptr) {
    GTEST_SKIP() << "examples are not built";
  }
  if (!vennic::test::have_tmux()) {
    GTEST_SKIP() << "tmux is not installed";
  }
  vennic::test::Tmux tmux{"vennic-viewer"};
  // The shell reports the exit status on the normal screen and keeps the pane open.
  tmux.run("new-session -d -x 80 -y 24 \"'" + std::string(viewer_path) +
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
