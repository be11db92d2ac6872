// The unicode example as a whole program under tmux: every text it shows, wide, emoji or
// combined, reads back intact from the pane, and so does text typed into its line edit.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "support/programs.hpp"
#include "support/tmux.hpp"

namespace {

using vennic::test::unicode_example_path;

// Polls the pane until it shows every text; the ones still missing after the time-out.
std::vector<std::string> missing_after_wait(vennic::test::Tmux const& tmux,
                                            std::vector<std::string> const& texts) {
  auto const deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  for (;;) {
    std::string const screen = tmux.screen();
    std::vector<std::string> missing;
    for (std::string const& text : texts) {
      if (screen.find(text) == std::string::npos) {
        missing.push_back(text);
      }
    }
    if (missing.empty() || std::chrono::steady_clock::now() >= deadline) {
      return missing;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

class UnicodeExampleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (unicode_example_path == nullptr) {
      GTEST_SKIP() << "examples are not built";
    }
    if (!vennic::test::have_tmux()) {
      GTEST_SKIP() << "tmux is not installed";
    }
    // tmux shows characters beyond ASCII only to a client in a UTF-8 locale.
    setenv("LC_ALL", "C.UTF-8", 1);
  }
};

TEST_F(UnicodeExampleTest, EveryTextReadsBackIntactUnderTmux) {
  vennic::test::Tmux tmux{"vennic-unicode"};
  tmux.run("new-session -d -x 80 -y 24 \"TERM=xterm-256color LC_ALL=C.UTF-8 '" +
           std::string(unicode_example_path) + "'; echo unicode-exit=\\$?; sleep 60\"");
  ASSERT_TRUE(tmux.wait_for_screen("City")) << tmux.screen();
  // Composed on screen: e and U+0301 show as é, a and U+0308 as ï, u and U+0308 as ü.
  std::vector<std::string> texts{"Unicode 日本 😀 é",
                                 "Label: 日本語テキスト 😀 café end",
                                 "TextBox: 中文 カタカナ 🎉 naïve wraps by cells",
                                 "東京 🗼",
                                 "Zürich",
                                 "서울",
                                 "😀 ok"};
  EXPECT_EQ(missing_after_wait(tmux, texts), std::vector<std::string>{}) << tmux.screen();

  // The line edit has focus from the start; what is typed shows beside everything else.
  tmux.run(vennic::test::hex_keys("José 日本 😀"));
  texts.emplace_back("│José 日本 😀 ");
  EXPECT_EQ(missing_after_wait(tmux, texts), std::vector<std::string>{}) << tmux.screen();

  tmux.run("send-keys C-c");
  ASSERT_TRUE(tmux.wait_for_screen("unicode-exit=1")) << tmux.screen();
}

}  // namespace
