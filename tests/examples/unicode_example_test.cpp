// The unicode example as a whole program under tmux: every text it shows, wide, emoji, combined,
// joined or in a script with marks, reads back intact from the pane, the border and the table's
// rules stay in their columns after each of them, and text typed into its line edit reads back
// too, with tmux's cursor where the library's widths put it.
//
// The pane is read with capture-pane -p: tmux gives each character's code points as they were
// written and leaves out the padding cells of wide characters, so a row's text measured by tmux's
// own rules (text::WidthModel::TmuxCodePoints, which the example takes from tmux's answers) is
// the pane's width. Nothing is stripped: a cluster the library placed with more cells than tmux
// gives it would show as spaces after it, and the row widths would say so.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <dalk/cluster.hpp>
#include <dalk/text.hpp>
#include <dalk/transcode.hpp>
#include <dalk/width.hpp>

#include "support/programs.hpp"
#include "support/tmux.hpp"

namespace {

using dalk::text::WidthModel;
using vennic::test::unicode_example_path;

constexpr int pane_width = 80;
constexpr int pane_height = 24;

// UTF-8 text composed (NFC), as the pane is compared.
std::string composed(std::string_view text) {
  return dalk::detail::u32_to_u8(dalk::nfc(dalk::text::decode(text)));
}

std::vector<std::string> rows_of(std::string const& screen) {
  std::vector<std::string> rows;
  std::size_t start = 0;
  while (start < screen.size()) {
    std::size_t end = screen.find('\n', start);
    if (end == std::string::npos) {
      end = screen.size();
    }
    rows.push_back(screen.substr(start, end - start));
    start = end + 1;
  }
  return rows;
}

// One character of a row and the first pane column it takes by tmux's rules.
struct Placed {
  std::u32string character;
  int column = 0;
};

std::vector<Placed> place(std::string_view row) {
  std::u32string const text = dalk::nfc(dalk::text::decode(row));
  std::vector<Placed> placed;
  int column = 0;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t const end = dalk::text::cluster_end(text, at);
    std::u32string character = text.substr(at, end - at);
    int const cells = dalk::text::cluster_cells(character, WidthModel::TmuxCodePoints);
    placed.push_back({std::move(character), column});
    column += cells;
    at = end;
  }
  return placed;
}

int cells_of(std::string_view row) {
  std::u32string const text = dalk::nfc(dalk::text::decode(row));
  int cells = 0;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t const end = dalk::text::cluster_end(text, at);
    cells += dalk::text::cluster_cells(text.substr(at, end - at), WidthModel::TmuxCodePoints);
    at = end;
  }
  return cells;
}

// The columns of the table's vertical rules and frame sides in one row.
std::vector<int> rule_columns(std::string_view row) {
  static constexpr std::u32string_view rules = U"│╞╡╤╪├┤┼╭╮╰╯┬┴";
  std::vector<int> columns;
  for (Placed const& p : place(row)) {
    if (p.character.size() == 1 && rules.find(p.character.front()) != std::u32string_view::npos) {
      columns.push_back(p.column);
    }
  }
  return columns;
}

// Polls the pane until it shows every text (both composed); the ones still missing after the
// time-out.
std::vector<std::string> missing_after_wait(vennic::test::Tmux const& tmux,
                                            std::vector<std::string> const& texts) {
  auto const deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  for (;;) {
    std::string const screen = composed(tmux.screen());
    std::vector<std::string> missing;
    for (std::string const& text : texts) {
      if (screen.find(composed(text)) == std::string::npos) {
        missing.push_back(text);
      }
    }
    if (missing.empty() || std::chrono::steady_clock::now() >= deadline) {
      return missing;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

// Rows that do not measure the pane's width or do not end at the window's right side.
std::vector<std::string> rows_out_of_place(std::string const& screen) {
  std::vector<std::string> bad;
  for (std::string const& row : rows_of(screen)) {
    std::vector<Placed> const placed = place(row);
    bool const closed =
        !placed.empty() && placed.back().column == pane_width - 1 &&
        std::u32string_view{U"│╮╯"}.find(placed.back().character) != std::u32string_view::npos;
    if (cells_of(row) != pane_width || !closed) {
      bad.push_back(row);
    }
  }
  return bad;
}

// The rows of the table from its heading rule to its bottom frame whose rules are not where the
// heading rule has them.
std::vector<std::string> table_rows_out_of_line(std::string const& screen) {
  std::vector<std::string> const rows = rows_of(screen);
  std::vector<std::string> bad;
  std::vector<int> heading_rule;
  for (std::string const& row : rows) {
    if (row.find("╞") != std::string::npos) {
      heading_rule = rule_columns(row);
    } else if (!heading_rule.empty()) {
      if (rule_columns(row) != heading_rule) {
        bad.push_back(row);
      }
      if (row.find("╰") != std::string::npos) {
        break;
      }
    }
  }
  if (heading_rule.size() != 6) {  // window side, frame, two rules, frame, window side
    bad.emplace_back("no heading rule with three columns");
  }
  return bad;
}

// Polls tmux's cursor column until it is `expected`; the last one read after the time-out.
int cursor_column_after_wait(vennic::test::Tmux const& tmux, int expected) {
  auto const deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  for (;;) {
    int const column = std::atoi(tmux.run("display-message -p '#{cursor_x}'").c_str());
    if (column == expected || std::chrono::steady_clock::now() >= deadline) {
      return column;
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
  tmux.run("new-session -d -x " + std::to_string(pane_width) + " -y " +
           std::to_string(pane_height) + " \"TERM=xterm-256color LC_ALL=C.UTF-8 '" +
           std::string(unicode_example_path) + "'; echo unicode-exit=\\$?; sleep 60\"");
  ASSERT_TRUE(tmux.wait_for_screen("Greeting")) << tmux.screen();
  // Each widget's text with what stands on either side of it; "e\u0301" reads back as "é".
  std::vector<std::string> texts{
      "╭─Unicode 日本 😀 e\u0301 👩‍👩‍👧 family 🇫🇷──",
      "│Label: 日本語テキスト 😀 cafe\u0301 नमस्ते दुनिया สวัสดีครับ end ",
      "│Edit: ❤️ heart 1️⃣ keycap  ",
      "│TextBox: 中文 カタカナ 🎉 nai\u0308ve שָׁלוֹם مَرْحَبًا 🇫🇷 wraps by cells ",
      "││नमस्ते दुनिया ",
      "│❤️ heart ",
      "│東京 🗼 ",
      "││สวัสดีครับ ",
      "│1️⃣ keycap ",
      "│서울 ",
      "││שָׁלוֹם ",
      "│👩‍👩‍👧 family ",
      "│Zu\u0308rich ",
      "││مَرْحَبًا ",
      "│🇫🇷 ",
      "│😀 ok ",
  };
  EXPECT_EQ(missing_after_wait(tmux, texts), std::vector<std::string>{}) << tmux.screen();
  std::string screen = tmux.screen();
  EXPECT_EQ(rows_out_of_place(screen), std::vector<std::string>{}) << screen;
  EXPECT_EQ(table_rows_out_of_line(screen), std::vector<std::string>{}) << screen;
  // The cursor stands after the line edit's text, inside the window's left side.
  std::string const edit_text = "Edit: ❤️ heart 1️⃣ keycap ";
  int const edit_end = 1 + cells_of(edit_text);
  EXPECT_EQ(cursor_column_after_wait(tmux, edit_end), edit_end) << screen;

  // The line edit has focus from the start, the cursor at the end; typed as a person types it
  // (the text holds no quote for the shell).
  std::string const typed = "नमस्ते 👍🏽";
  tmux.run("send-keys -l '" + typed + "'");
  texts[2] = "│" + edit_text + typed + " ";
  EXPECT_EQ(missing_after_wait(tmux, texts), std::vector<std::string>{}) << tmux.screen();
  screen = tmux.screen();
  EXPECT_EQ(rows_out_of_place(screen), std::vector<std::string>{}) << screen;
  int const typed_end = 1 + cells_of(edit_text + typed);
  EXPECT_EQ(cursor_column_after_wait(tmux, typed_end), typed_end) << screen;

  tmux.run("send-keys C-c");
  ASSERT_TRUE(tmux.wait_for_screen("unicode-exit=1")) << tmux.screen();
}

}  // namespace
