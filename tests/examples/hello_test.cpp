// The hello example under tmux: clicks and Tab move the focus, the timer counts, Ctrl+C quits
// and leaves the normal screen as it was.
#include <gtest/gtest.h>

#include <string>

#include "support/programs.hpp"
#include "support/tmux.hpp"

using vennic::test::hello_path;

TEST(HelloTest, FocusMovesByClickAndTabAndTheCounterRuns) {
  if (hello_path == nullptr) {
    GTEST_SKIP() << "examples are not built";
  }
  if (!vennic::test::have_tmux()) {
    GTEST_SKIP() << "tmux is not installed";
  }
  vennic::test::Tmux tmux{"vennic-hello"};
  tmux.run("new-session -d -x 80 -y 24 \"'" + std::string(hello_path) +
           "'; echo hello-exit=\\$?; sleep 60\"");
  ASSERT_TRUE(tmux.wait_for_screen("Hello, Vennic!")) << tmux.screen();
  ASSERT_TRUE(tmux.wait_for_screen("Left  clicks: 0")) << tmux.screen();

  // A left press and release (SGR report) inside the left panel.
  tmux.run(vennic::test::hex_keys("\x1b[<0;11;6M\x1b[<0;11;6m"));
  EXPECT_TRUE(tmux.wait_for_screen("Left (focused)  clicks: 1")) << tmux.screen();

  tmux.run("send-keys Tab");
  EXPECT_TRUE(tmux.wait_for_screen("Right (focused)")) << tmux.screen();
  EXPECT_EQ(tmux.screen().find("Left (focused)"), std::string::npos);

  EXPECT_TRUE(tmux.wait_for_screen("timer ticks: 4")) << tmux.screen();

  tmux.run("send-keys C-c");
  ASSERT_TRUE(tmux.wait_for_screen("hello-exit=1")) << tmux.screen();
  EXPECT_EQ(tmux.screen().find("Hello, Vennic!"), std::string::npos) << tmux.screen();
}
