// The read functions on standard input: a pipe holds the bytes a terminal would send, and the
// bytes written at once count as already waiting for the escape decisions. What bytes decode to
// is the parser's table (input_parser_test.cpp); here are the exceptions dalk::read throws and
// what reading adds: one event per read, a lone Escape, sequences cut short, reading on after a
// failure, the parser's memory between reads, a waiting resize, end of input. The parser and the
// resize flag are process-wide, so each test runs in a child.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <dalk/dalk.hpp>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/pty.hpp"
#include "support/read_table.hpp"

using dalk::Key;
using dalk::Mod;
using dalk::Mouse;
using vennic::test::describe;
using vennic::test::expect_in_child;
using vennic::test::none;
using vennic::test::outcome_of;
using vennic::test::press;
using vennic::test::ReadCase;
using vennic::test::StdinPipe;

namespace {

Mouse at(int x, int y, Mouse::Button button) {
  return Mouse{dalk::Point{x, y}, button, {}};
}

std::string const cut_short = "runtime_error: io read(): Sequence cut short.";
std::string const input_ended = "InputEnded: io read(): End of input.";

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// A reader on a pseudo-terminal, interactive with pastes on: it shows each event as "<event>"
// (a long paste by its size) and any read(100) that took over 300 ms, until q; then it reads
// once more without a time-out.
vennic::test::PtyChild start_reader() {
  return vennic::test::PtyChild::start([] {
    dalk::initialize_interactive_terminal(dalk::MouseMode::Off, dalk::KeyMode::Normal,
                                          dalk::Signals::Off, dalk::Extension::BracketedPaste);
    auto const show = [](dalk::Event const& event) {
      auto const* paste = std::get_if<dalk::Paste>(&event);
      std::string const text = paste != nullptr && paste->text.size() > 8
                                   ? "paste " + std::to_string(paste->text.size())
                                   : describe(event);
      std::fprintf(stderr, "<%s>\n", text.c_str());
    };
    std::fputs("<held>\n", stderr);
    for (auto const end = Clock::now() + 20s; Clock::now() < end;) {
      auto const start = Clock::now();
      auto const event = dalk::read(100);
      std::fputs(Clock::now() - start > 300ms ? "<slow read>\n" : "", stderr);
      if (event == dalk::Event{dalk::KeyPress{dalk::key(U'q')}}) {
        break;
      }
      if (event) {
        show(*event);
      }
    }
    show(dalk::read());
    dalk::uninitialize_terminal();
    return 0;
  });
}

// What a reader showed, in order, each followed by a comma.
std::string shown(std::string const& output) {
  std::string out;
  for (auto at = output.find('<'); at != std::string::npos; at = output.find('<', at + 1)) {
    out += output.substr(at + 1, output.find(">\r", at) - at - 1) + ",";
  }
  return out;
}

}  // namespace

static_assert(static_cast<char32_t>(Key::ArrowRight | Mod::Ctrl) == (155U | 0x20000000U));

TEST(TerminalReadTest, Table) {
  expect_in_child([] {
    StdinPipe terminal;
    using B = Mouse::Button;
    std::vector<ReadCase> cases = {
        // Several keys waiting are read one at a time.
        {"aZ\x01", {press(U'a'), press(U'Z'), press(1)}},
        {"\x1b", {press(Key::Escape)}},
        {"\x1b", {press(Key::Escape)}, true},
        {"\x1bx", {press(dalk::key(U'x') | Mod::Alt)}},
        {"\x1b[", {press(dalk::key(U'[') | Mod::Alt)}},
        {"\x1b\xE2\x82\xAC", {press(dalk::key(U'\u20AC') | Mod::Alt)}},
        {"\xF0\x9F\x98\x80", {press(U'\U0001F600')}, true},
        {"\x1b[A", {press(Key::ArrowUp)}},
        {"\x1b[17~\x1b[23~", {press(Key::F6), press(Key::F11)}},
        {"\x1b[<0;10;5M\x1b[<0;10;5m",
         {describe(dalk::MousePress{at(9, 4, B::Left)}),
          describe(dalk::MouseRelease{at(9, 4, B::Left)})}},
        // urxvt releases name the button of the latest press, remembered between reads.
        {"\x1b[34;10;5M", {describe(dalk::MousePress{at(9, 4, B::Right)})}},
        {"\x1b[35;10;5M", {describe(dalk::MouseRelease{at(9, 4, B::Right)})}},
        // The exceptions; the failed sequence is consumed and what follows is read normally.
        {"\x1b[1;99Bq", {"runtime_error: io parse_key_modifiers(): Unknown Mod: 99", press(U'q')}},
        {"\x1b[X", {"runtime_error: io parse_key(): Unknown final_byte: X"}},
        {"\x1b[~", {"runtime_error: io: parse_tilde: No Parameter Bytes"}},
        {"\x1b[1;A", {"invalid_argument"}},
        {"\x1b[1;99999999999999999999999A", {"out_of_range"}},
        {"\x1b[" + std::string(256, '1') + "A",
         {"runtime_error: io parse_csi(): Control sequence too long.", press(U'A')}},
    };
    // The next byte of a sequence or a character does not come within the wait: what was read
    // is dropped, and later bytes are keys of their own.
    for (std::string const bytes : {"\x1b[1", "\x1b[<0;1", "\xE9", "\xC3", "\x1b\xE2\x82"}) {
      for (bool const blocking : {false, true}) {
        cases.push_back({bytes, {cut_short}, blocking});
        cases.push_back({"ab", {press(U'a'), press(U'b')}});
      }
    }
    vennic::test::expect_reads(
        cases, [&terminal](std::string_view bytes) { terminal.write(bytes); }, 0);
    EXPECT_EQ(dalk::read(16), std::nullopt);
    EXPECT_EQ(dalk::read(0), std::nullopt);
  });
}

TEST(TerminalReadTest, WaitingResizeEndOfInputAndHangUp) {
  expect_in_child([] {
    StdinPipe terminal;
    // A waiting resize is decoded first and its flag reset once; standard output is a pipe
    // here, so the size cannot be read.
    terminal.write("k");
    dalk::detail::window_resize_sig = 1;
    EXPECT_EQ(outcome_of([] { return dalk::read(16); }),
              "runtime_error: terminal terminal_width(): Can't Read Window Size.");
    EXPECT_EQ(dalk::detail::window_resize_sig, 0);
    EXPECT_EQ(outcome_of([] { return dalk::read(16); }), press(U'k'));
    EXPECT_EQ(outcome_of([] { return dalk::read(16); }), none);
    // End of input inside a sequence, then a hang-up with nothing to read: both end reading.
    terminal.write("\x1b[1");
    terminal.close_writer();
    EXPECT_EQ(outcome_of([] { return dalk::read(1000); }), input_ended);
    EXPECT_EQ(outcome_of([] { return dalk::read(16); }), input_ended);
    EXPECT_EQ(outcome_of([] { return dalk::read(); }), input_ended);
  });
}

// Escape, then the rest of "\e[A" after a gap: within the escape wait the sequence is whole;
// after it Escape (or Alt+[) stands alone and the rest are keys. 2 MB of paste written at once
// is one paste, read in blocks. A paste whose closing bracket never comes is delivered as far as
// it came after the stall bound, timed reads keep their time-out meanwhile, and a blocking read
// ends too.
TEST(TerminalReadTest, EscapeWaitAndPastesOnAPseudoTerminal) {
  auto child = start_reader();
  ASSERT_TRUE(child.wait_for_output("<held>"));
  std::string expected = "held,";
  for (auto const gap : {10ms, 120ms}) {
    for (std::size_t const split : {1, 2}) {
      child.write(std::string_view{"\x1b[A"}.substr(0, split));
      std::this_thread::sleep_for(gap);
      child.write(std::string_view{"\x1b[A"}.substr(split));
      std::this_thread::sleep_for(10ms);
      expected += gap < dalk::escape_wait() ? press(Key::ArrowUp) + ","
                  : split == 1 ? press(Key::Escape) + "," + press(U'[') + "," + press(U'A') + ","
                               : press(dalk::key(U'[') | Mod::Alt) + "," + press(U'A') + ",";
    }
  }
  auto start = Clock::now();
  std::thread writer{[&child] {
    child.write("\x1b[200~" + std::string(std::size_t{2} << 20U, 'p') + "\x1b[201~");
  }};
  EXPECT_TRUE(child.wait_for_output("<paste 2097152>"));
  EXPECT_LT(Clock::now() - start, 1s);
  writer.join();
  start = Clock::now();
  child.write("\x1b[200~abc");
  EXPECT_TRUE(child.wait_for_output("<paste abc>"));
  EXPECT_GT(Clock::now() - start, 400ms);
  child.write("q\x1b[200~de");
  static_cast<void>(child.wait_exit());
  EXPECT_EQ(shown(child.output()), expected + "paste 2097152,paste abc,paste de,");
}
