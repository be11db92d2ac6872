// Start-up asks the terminal about itself: a test plays terminals that answer like xterm, like
// kitty 0.26.5, like tmux, not at all, late, or with garbage. Start-up ends within its bound,
// the answers read back are those sent, the kitty flags are pushed only where the protocol was
// reported, and no answer byte comes out as a key.
#include <gtest/gtest.h>

#include <chrono>
#include <dalk/dalk.hpp>
#include <dalk/output_profile.hpp>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/fake_terminal.hpp"
#include "support/pty.hpp"

using namespace std::chrono_literals;
using dalk::ModeReport;
using vennic::test::PtyChild;

namespace {

struct FakeTerminal {
  char const* name;
  std::string_view replies;
  // How long after the questions the replies come, and how long start-up waits for them.
  std::chrono::milliseconds delay{0};
  std::chrono::milliseconds wait{150};
  // What the session reads back; garbage promises nothing but no fence.
  dalk::TerminalAnswers expected;
  bool compared = true;
  // Kitty 0.26: flags 1+4 pushed ("\e[>5u") and frames synchronized; else neither.
  bool kitty = false;
};

// Answers behind the fence: 2027 not recognized, paste and focus reports reset.
dalk::TerminalAnswers answered(std::vector<unsigned> attributes, std::string version,
                               ModeReport sync, std::optional<unsigned> kitty,
                               dalk::TrueColor foreground, dalk::TrueColor background,
                               bool true_color) {
  return {true,
          std::move(attributes),
          std::move(version),
          sync,
          ModeReport::NotRecognized,
          ModeReport::Reset,
          ModeReport::Reset,
          kitty,
          foreground,
          background,
          true_color};
}

dalk::TerminalAnswers const xterm =
    answered({64, 1, 2, 6, 9, 15, 16, 17, 18, 21, 22, 28}, "XTerm(379)", ModeReport::NotRecognized,
             std::nullopt, {0, 0, 0}, {255, 255, 221}, false);
dalk::TerminalAnswers const kitty_0_26 =
    answered({62}, "kitty(0.26.5)", ModeReport::Reset, 0U, {221, 221, 221}, {0, 0, 0}, false);
dalk::TerminalAnswers const tmux = [] {
  dalk::TerminalAnswers a;
  a.fenced = true;
  a.device_attributes = {1, 2};
  a.version = "tmux 3.3a";
  return a;
}();

constexpr std::string_view garbage =
    "\x1bP>|\x01\x02\x1b\\\x1b[?2026;7$y\x1b[?99999999999999999999u\x1b]11;rgb:zz/zz/zz\x1b\\"
    "\x1bP1+r5A5=\x1b\\\x1bP9+q\x1b\\";

FakeTerminal const terminals[] = {
    {"xterm", vennic::test::xterm_replies, 0ms, 150ms, xterm},
    {"kitty_0_26_5", vennic::test::kitty_0_26_replies, 0ms, 150ms, kitty_0_26, true, true},
    {"tmux", vennic::test::tmux_replies, 0ms, 150ms, tmux},
    {"silent", "", 0ms, 150ms, {}},
    // The answers come after start-up, as events; the loop's thread pushes the flags.
    {"two_seconds_late", vennic::test::kitty_0_26_replies, 2000ms, 150ms, kitty_0_26, true, true},
    {"garbage", garbage, 0ms, 150ms, {}, false},
    // Start-up does not wait at all: every answer is an event.
    {"xterm_no_wait", vennic::test::xterm_replies, 0ms, 0ms, xterm},
};

constexpr dalk::Extensions session_extensions =
    dalk::recommended_extensions | dalk::Extension::ColorsFromAnswers | dalk::Extension::Colors256;

// Starts a session, then reads what comes: only the 'x' typed before the answers may be a key.
int run_session(FakeTerminal const& t) {
  dalk::set_answer_wait(t.wait);
  auto const start = std::chrono::steady_clock::now();
  dalk::initialize_interactive_terminal(dalk::MouseMode::Off, dalk::KeyMode::Normal,
                                        dalk::Signals::On, session_extensions);
  int result = std::chrono::steady_clock::now() - start < 1s ? 0 : 10;
  int keys = 0;
  bool changed = false;
  auto const until = std::chrono::steady_clock::now() + t.delay + 500ms;
  while (std::chrono::steady_clock::now() < until) {
    try {
      auto const event = dalk::read(20);
      auto const* press = event ? std::get_if<dalk::KeyPress>(&*event) : nullptr;
      keys += press != nullptr ? 1 : 0;
      result = result == 0 && press != nullptr && press->key != dalk::key(U'x') ? 11 : result;
      if (auto const* answers = event ? std::get_if<dalk::AnswersChanged>(&*event) : nullptr) {
        changed = true;
        dalk::use_answers(answers->answers);
      }
    } catch (std::runtime_error const&) {
      // A sequence the decoder dropped.
    }
  }
  auto const depth = t.kitty ? dalk::ColorDepth::TrueColor : dalk::ColorDepth::Palette256;
  bool const late = t.delay > 0ms || (t.wait == 0ms && !t.replies.empty());
  dalk::TerminalAnswers const answers = dalk::terminal_answers();
  int const checks[] = {
      keys == 1 ? 0 : 12,
      changed == late || !t.compared ? 0 : 13,
      answers == t.expected || (!t.compared && !answers.fenced) ? 0 : 14,
      dalk::synchronized_output_confirmed() == t.kitty ? 0 : 15,
      dalk::session_color_depth(session_extensions) == depth ? 0 : 16,
  };
  for (int const check : checks) {
    result = result == 0 ? check : result;
  }
  dalk::uninitialize_terminal();
  std::fprintf(stderr, "\nread back: %s, %d keys\n", answers.version.c_str(), keys);
  return result;
}

void PrintTo(FakeTerminal const& t, std::ostream* out) {
  *out << t.name;
}

class TerminalAnswersTest : public ::testing::TestWithParam<FakeTerminal> {};

TEST_P(TerminalAnswersTest, StartUpIsBoundedAndNoAnswerBecomesAKey) {
  FakeTerminal const& t = GetParam();
  auto child = PtyChild::start([&t] { return run_session(t); });
  if (t.delay == 0ms) {
    child.reply_to_queries("x" + std::string(t.replies));
  } else {
    ASSERT_TRUE(child.wait_for_output("\x1b[c"));
    child.write("x");
    child.read_for(t.delay);
    child.write(t.replies);
  }
  auto const status = child.wait_exit();
  EXPECT_TRUE(status.exited) << t.name;
  EXPECT_EQ(status.exit_status, 0) << t.name << ": " << child.output();
  // Flags only where the protocol was reported, and never those that double keys in kitty 0.26.
  std::string const& out = child.output();
  EXPECT_EQ(out.find("\x1b[>5u") != std::string::npos, t.kitty) << t.name;
  EXPECT_EQ(out.find("\x1b[<u") != std::string::npos, t.kitty) << t.name;
  EXPECT_EQ(out.find("\x1b[>7u"), std::string::npos) << t.name;
}

INSTANTIATE_TEST_SUITE_P(FakeTerminals, TerminalAnswersTest, ::testing::ValuesIn(terminals),
                         [](auto const& info) { return std::string(info.param.name); });

}  // namespace

namespace {

// Text is measured the way the answering terminal lays it out.
TEST(WidthModelForTest, TakesTheModelFromModeReportAndName) {
  struct Case {
    std::string version;
    ModeReport clusters;
    dalk::text::WidthModel model;
  };
  using Model = dalk::text::WidthModel;
  std::vector<Case> const cases{
      {"XTerm(379)", ModeReport::NotRecognized, Model::CodePoints},
      {"", ModeReport::Unknown, Model::CodePoints},
      {"kitty(0.26.5)", ModeReport::NotRecognized, Model::KittyCodePoints},
      {"tmux 3.3a", ModeReport::Unknown, Model::TmuxCodePoints},
      {"WezTerm 20240203", ModeReport::Reset, Model::Clusters},
      {"foot(1.16.2)", ModeReport::PermanentlySet, Model::Clusters},
      {"kitty(0.40.0)", ModeReport::Set, Model::Clusters},
      {"contour 0.4", ModeReport::PermanentlyReset, Model::CodePoints},
  };
  for (Case const& c : cases) {
    SCOPED_TRACE(c.version);
    dalk::TerminalAnswers answers;
    answers.version = c.version;
    answers.grapheme_clusters = c.clusters;
    EXPECT_EQ(dalk::width_model_for(answers), c.model);
  }
}

}  // namespace
