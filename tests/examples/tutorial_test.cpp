// The tutorial example: it runs as the README says, and the README shows its code as it is.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "support/programs.hpp"
#include "support/pty.hpp"
#include "support/vterm_screen.hpp"

namespace {

using vennic::test::tutorial_path;

std::string read_file(std::string const& path) {
  std::ifstream in{path};
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

TEST(TutorialTest, ReadmeShowsTheTutorialAsItIs) {
  std::string const source = read_file(std::string(VENNIC_SOURCE_DIR) + "/examples/tutorial.cpp");
  std::string const readme = read_file(std::string(VENNIC_SOURCE_DIR) + "/README.md");
  ASSERT_FALSE(source.empty());
  EXPECT_NE(readme.find("```cpp\n" + source + "```\n"), std::string::npos)
      << "README.md must quote examples/tutorial.cpp whole, in a cpp code block";
}

TEST(TutorialTest, GreetsByEnterAndQuitsByButton) {
  if (tutorial_path == nullptr) {
    GTEST_SKIP() << "examples are not built";
  }
  auto child = vennic::test::PtyChild::start_program(
      {tutorial_path}, {"TERM=xterm-256color", "PATH=/usr/bin:/bin"}, 50, 10);
  vennic::test::VtermScreen screen{50, 10};
  auto const wait_text = [&](char const* text) {
    return vennic::test::wait_for_screen(child, screen, [&] { return screen.contains(text); });
  };
  ASSERT_TRUE(wait_text("Who are you?")) << screen.text();
  child.write("Ada\r");
  EXPECT_TRUE(wait_text("Hello, Ada!")) << screen.text();
  // Tab to Greet, Tab to Quit, Enter.
  child.write("\t\t\r");
  vennic::test::ExitStatus const status = child.wait_exit();
  ASSERT_TRUE(status.exited);
  EXPECT_EQ(status.exit_status, 0);
}

TEST(TutorialTest, CtrlCEndsWithStatusOne) {
  if (tutorial_path == nullptr) {
    GTEST_SKIP() << "examples are not built";
  }
  auto child = vennic::test::PtyChild::start_program(
      {tutorial_path}, {"TERM=xterm-256color", "PATH=/usr/bin:/bin"}, 50, 10);
  vennic::test::VtermScreen screen{50, 10};
  ASSERT_TRUE(vennic::test::wait_for_screen(child, screen, [&] {
    return screen.contains("Who are you?");
  })) << screen.text();
  child.write("\x03");
  vennic::test::ExitStatus const status = child.wait_exit();
  ASSERT_TRUE(status.exited);
  EXPECT_EQ(status.exit_status, 1);
}

}  // namespace
