// The log viewer example as a whole program under tmux: a filter typed into it, the selection
// moved, the help dialog and the menu opened and used, the screen read back after every step.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/programs.hpp"
#include "support/tmux.hpp"

namespace {

using vennic::test::hex_keys;
using vennic::test::logview_path;
using vennic::test::Tmux;

// One table row as shown: the texts between its rules.
struct TableRow {
  std::string number;
  std::string level;
  std::string source;
};

std::string trimmed(std::string const& text) {
  std::size_t const first = text.find_first_not_of(' ');
  std::size_t const last = text.find_last_not_of(' ');
  return first == std::string::npos ? "" : text.substr(first, last - first + 1);
}

// The data rows on the screen: lines that open with the frame and a row number.
std::vector<TableRow> table_rows(std::string const& screen) {
  static std::string const rule = "│";
  std::vector<TableRow> rows;
  std::istringstream lines{screen};
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(rule, 0) != 0 || line.size() <= rule.size() || line[rule.size()] < '0' ||
        line[rule.size()] > '9') {
      continue;
    }
    std::vector<std::string> cells;
    for (std::size_t at = rule.size(), next = 0; (next = line.find(rule, at)) != std::string::npos;
         at = next + rule.size()) {
      cells.push_back(trimmed(line.substr(at, next - at)));
    }
    if (cells.size() >= 4) {
      rows.push_back({cells[0], cells[2], cells[3]});
    }
  }
  return rows;
}

bool wait_until(Tmux const& tmux, std::function<bool(std::string const&)> const& condition) {
  auto const deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!condition(tmux.screen())) {
    if (std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

// Every row shown has `value` in the given field, and at least one row is shown.
bool all_rows(std::string const& screen, std::string TableRow::*field, std::string const& value) {
  std::vector<TableRow> const rows = table_rows(screen);
  return !rows.empty() && std::all_of(rows.begin(), rows.end(),
                                      [&](TableRow const& row) { return row.*field == value; });
}

class LogviewExampleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (logview_path == nullptr) {
      GTEST_SKIP() << "examples are not built";
    }
    if (!vennic::test::have_tmux()) {
      GTEST_SKIP() << "tmux is not installed";
    }
    setenv("LC_ALL", "C.UTF-8", 1);
    tmux.run("new-session -d -x 100 -y 30 \"TERM=xterm-256color LC_ALL=C.UTF-8 '" +
             std::string(logview_path) + "'; echo logview-exit=\\$?; sleep 60\"");
    ASSERT_TRUE(tmux.wait_for_screen("rows 50,000 of 50,000")) << tmux.screen();
  }

  Tmux tmux{"vennic-logview"};
};

TEST_F(LogviewExampleTest, FilterNarrowsTheRowsAndTheDetailFollowsTheSelection) {
  EXPECT_FALSE(all_rows(tmux.screen(), &TableRow::source, "mailer")) << tmux.screen();
  tmux.run(hex_keys("mailer"));
  ASSERT_TRUE(wait_until(tmux, [](std::string const& screen) {
    return screen.find("rows 50,000 of") == std::string::npos &&
           all_rows(screen, &TableRow::source, "mailer");
  })) << tmux.screen();

  // The first matching line is selected and shown whole below the table.
  std::vector<TableRow> const rows = table_rows(tmux.screen());
  ASSERT_GE(rows.size(), 3U) << tmux.screen();
  EXPECT_TRUE(tmux.wait_for_screen("Line " + rows[0].number + " ")) << tmux.screen();
  tmux.run("send-keys Tab Down Down");
  EXPECT_TRUE(tmux.wait_for_screen("Line " + rows[2].number + " ")) << tmux.screen();
  tmux.run("send-keys Up");
  EXPECT_TRUE(tmux.wait_for_screen("Line " + rows[1].number + " ")) << tmux.screen();

  // Back in the filter: a text nothing matches empties the table.
  tmux.run("send-keys BTab");
  tmux.run(hex_keys("zzz"));
  EXPECT_TRUE(tmux.wait_for_screen("rows 0 of 50,000")) << tmux.screen();
  EXPECT_TRUE(tmux.wait_for_screen("No line matches the filter.")) << tmux.screen();
  tmux.run("send-keys C-q");
  EXPECT_TRUE(tmux.wait_for_screen("logview-exit=0")) << tmux.screen();
}

TEST_F(LogviewExampleTest, HelpDialogAndMenuOpenCloseAndAct) {
  auto const help_closed = [](std::string const& screen) {
    return screen.find("closes this help") == std::string::npos;
  };
  tmux.run("send-keys F1");
  ASSERT_TRUE(tmux.wait_for_screen("closes this help")) << tmux.screen();
  tmux.run("send-keys Escape");
  ASSERT_TRUE(wait_until(tmux, help_closed)) << tmux.screen();
  // Outside the filter, ? opens it too; its button closes it.
  tmux.run("send-keys Tab ?");
  ASSERT_TRUE(tmux.wait_for_screen("▸Close◂")) << tmux.screen();
  tmux.run("send-keys Enter");
  ASSERT_TRUE(wait_until(tmux, help_closed)) << tmux.screen();

  tmux.run("send-keys F2");
  ASSERT_TRUE(tmux.wait_for_screen("Clear filter")) << tmux.screen();
  tmux.run("send-keys Enter");
  EXPECT_TRUE(wait_until(tmux, [](std::string const& screen) {
    return screen.find("errors only") != std::string::npos &&
           all_rows(screen, &TableRow::level, "ERROR");
  })) << tmux.screen();

  // The last item, reached by wrapping upwards, quits.
  tmux.run("send-keys C-o");
  ASSERT_TRUE(tmux.wait_for_screen("All levels")) << tmux.screen();
  tmux.run("send-keys Up Enter");
  EXPECT_TRUE(tmux.wait_for_screen("logview-exit=0")) << tmux.screen();
}

}  // namespace
