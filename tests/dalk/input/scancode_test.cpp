// Console scancode input through dalk::read: a pipe stands in for the console keyboard (its read
// end installed as the console descriptor, the keyboard mode never touched) and standard input
// is a pipe or a pty playing the terminal. What byte strings decode to is the decoder's table
// (scancode_decoder_test.cpp); here are both key tables whole, the waits between the bytes of a
// sequence, time-outs, the terminal's side and the exceptions. The console descriptor is
// process-wide, so each test runs in a child.
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <dalk/dalk.hpp>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "support/process.hpp"
#include "support/pty.hpp"
#include "support/read_table.hpp"

using namespace std::chrono_literals;
using dalk::Key;
using vennic::test::expect_in_child;
using vennic::test::none;
using vennic::test::outcome_of;
using vennic::test::press;
using vennic::test::PtyChild;
using vennic::test::ReadCase;
using vennic::test::release;
using vennic::test::StdinPipe;
using vennic::test::wait_until;

namespace {

constexpr bool is(Key key, char32_t value) {
  return static_cast<char32_t>(key) == value;
}
static_assert(is(Key::ArrowUp, 153) && is(Key::PrintScreen, 0x4000B) && is(Key::SysRq, 0x4000D) &&
              is(Key::Pause, 0x4000F) && is(Key::Break, 0x40010) && is(Key::KeypadEnter, 0x4001C) &&
              is(Key::RightControl, 0x40001) && is(Key::RightAlt, 0x4000C) &&
              is(Key::ExtendedHome, 0x40011) && is(Key::ExtendedDelete, 0x4001B));

// A pipe whose read end is the console descriptor for the life of the object.
class FakeConsole {
 public:
  FakeConsole() {
    int fds[2];
    if (pipe(fds) != 0) {
      throw std::runtime_error("pipe failed");
    }
    reader_ = fds[0];
    writer_ = fds[1];
    dalk::detail::tty_file_descriptor = reader_;
  }
  FakeConsole(FakeConsole const&) = delete;
  FakeConsole& operator=(FakeConsole const&) = delete;
  ~FakeConsole() {
    dalk::detail::tty_file_descriptor.reset();
    close_keyboard();
    close(reader_);
  }

  // Scancode bytes as the keyboard sends them.
  void type(std::string_view bytes) {
    while (!bytes.empty()) {
      ssize_t const n = ::write(writer_, bytes.data(), bytes.size());
      if (n <= 0) {
        throw std::runtime_error("write to the console pipe failed");
      }
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
  }

  void close_keyboard() {
    if (writer_ >= 0) {
      close(writer_);
      writer_ = -1;
    }
  }

  bool drained() const { return vennic::test::drained(reader_); }

  void expect_reads(std::vector<ReadCase> const& cases) {
    vennic::test::expect_reads(
        cases, [this](std::string_view bytes) { type(bytes); }, reader_);
  }

 private:
  int reader_ = -1;
  int writer_ = -1;
};

// Bytes from numbers, so that none of them is taken for part of an escape.
template <typename... Bytes>
std::string bytes(Bytes... b) {
  return std::string{static_cast<char>(b)...};
}

// Runs body in a child with standard input an empty pipe and a fresh console.
template <typename Body>
void in_child(Body body) {
  expect_in_child([&body] {
    StdinPipe terminal;
    FakeConsole console;
    body(terminal, console);
  });
}

// The key values of single-byte make codes, written out as the US layout.
std::map<unsigned, char32_t> expected_keymap() {
  std::map<unsigned, char32_t> map;
  auto row = [&map](unsigned first, std::u32string_view keys) {
    for (char32_t k : keys) {
      map[first++] = k;
    }
  };
  row(0x02, U"1234567890-=");
  row(0x10, U"qwertyuiop[]");
  row(0x1E, U"asdfghjkl;'`");
  row(0x2B, U"\\zxcvbnm,./");
  auto keys = [&map](unsigned first, std::initializer_list<Key> list) {
    for (Key k : list) {
      map[first++] = static_cast<char32_t>(k);
    }
  };
  keys(0x01, {Key::Escape});
  keys(0x0E, {Key::Backspace, Key::Tab});
  keys(0x1C, {Key::Enter, Key::LeftControl});
  keys(0x2A, {Key::LeftShift});
  keys(0x36, {Key::RightShift,  Key::KeypadMultiply,
              Key::LeftAlt,     Key::Space,
              Key::CapsLock,    Key::F1,
              Key::F2,          Key::F3,
              Key::F4,          Key::F5,
              Key::F6,          Key::F7,
              Key::F8,          Key::F9,
              Key::F10,         Key::NumLock,
              Key::ScrollLock,  Key::Keypad7,
              Key::Keypad8,     Key::Keypad9,
              Key::KeypadMinus, Key::Keypad4,
              Key::Keypad5,     Key::Keypad6,
              Key::KeypadPlus,  Key::Keypad1,
              Key::Keypad2,     Key::Keypad3,
              Key::Keypad0,     Key::KeypadDecimal});
  keys(0x57, {Key::F11, Key::F12});
  return map;
}

// The two-byte code table, by second byte (0 where it has no entry).
char32_t escape_table(unsigned code) {
  static std::map<unsigned, char32_t> const table = {
      {0x1C, 0x4001C}, {0x1D, 0x40001}, {0x2B, 0x40003}, {0x36, 0x40021}, {0x37, 0x40005},
      {0x38, 0x4000C}, {0x39, 0x40007}, {0x47, 0x40011}, {0x48, 0x40012}, {0x49, 0x40013},
      {0x4A, 0x40014}, {0x4C, 0x40015}, {0x4E, 0x40016}, {0x4F, 0x40017}, {0x50, 0x40018},
      {0x51, 0x40019}, {0x52, 0x4001A}, {0x53, 0x4001B}};
  auto const found = table.find(code);
  return found == table.end() ? 0 : found->second;
}

bool stdin_has_input() {
  pollfd entry{0, POLLIN, 0};
  return poll(&entry, 1, 0) == 1 && (entry.revents & POLLIN) != 0;
}

}  // namespace

// Every make and break code of the single-byte table and of the two-byte table after 0xE0 and
// 0xE1, read one key per read; codes outside the two-byte table take exactly their two bytes.
TEST(ScancodeTest, EveryCodeOfBothTables) {
  in_child([](StdinPipe&, FakeConsole& console) {
    auto const keymap = expected_keymap();
    std::vector<ReadCase> cases;
    for (unsigned code = 0x01; code < 0x80; ++code) {
      if (code == 0x54) {
        continue;  // SysRq, decoded before the table
      }
      auto const found = keymap.find(code);
      char32_t const value = found == keymap.end() ? 0 : found->second;
      cases.push_back({bytes(code), {press(value)}});
      unsigned const up = code | 0x80U;
      // Release codes that coincide with controller bytes and prefixes mean those instead.
      if (up != 0xAA && up != 0xEE && up != 0xF1 && up < 0xFA && up != 0xE0 && up != 0xE1) {
        cases.push_back({bytes(up), {release(value)}});
      }
    }
    for (unsigned code = 0x1C; code < 0x54; ++code) {
      // After 0xE0 these have a meaning of their own; after 0xE1, 0x1D starts Pause.
      bool const own = code == 0x2A || code == 0x36 || code == 0x37 || code == 0x46 ||
                       code == 0x48 || code == 0x4B || code == 0x4D || code == 0x50;
      for (unsigned prefix : {0xE0U, 0xE1U}) {
        if (!(prefix == 0xE0 ? own : code == 0x1D)) {
          cases.push_back({bytes(prefix, code), {press(escape_table(code))}});
        }
        if (prefix == 0xE1 || !own) {
          cases.push_back({bytes(prefix, code | 0x80U), {release(escape_table(code))}});
        }
      }
    }
    for (unsigned char c : {0x00, 0x1B, 0x54, 0x7F, 0x80, 0x9B, 0xD4, 0xE0, 0xE1, 0xFF}) {
      cases.push_back({bytes(0xE0, c, 0x10), {none, press(U'q')}});
      if (c != 0xE0 && c != 0xE1) {
        cases.push_back({bytes(0xE1, c, 0x10), {none, press(U'q')}});
      }
    }
    console.expect_reads(cases);
  });
}

// A sequence read in parts: the byte after a prefix and those that only confirm a longer
// sequence are read when waiting; a sequence that stops early neither blocks the read nor
// takes bytes of the next key.
TEST(ScancodeTest, SequencesReadInParts) {
  in_child([](StdinPipe&, FakeConsole& console) {
    std::vector<ReadCase> cases = {
        // No shift or control state: the letters stay plain.
        {"\x2a\x1d\x1e\x2e",
         {press(Key::LeftShift), press(Key::LeftControl), press(U'a'), press(U'c')}},
        // The arrows take the terminal values.
        {"\xe0\x4d\xe0\xcb\xe0\xd0",
         {press(Key::ArrowRight), release(Key::ArrowLeft), release(Key::ArrowDown)}},
        // Fake Shifts around navigation keys give nothing and take nothing of the key behind.
        {"\xe0\x2a\xe0\x47", {press(Key::ExtendedHome)}},
        {"\xe0\xc7\xe0\xaa", {release(Key::ExtendedHome), none}},
        {"\xe0\xd2\xe0\x2a", {release(Key::ExtendedInsert), none}},
        {"\xe0\xc8\xe0\xaa", {release(Key::ArrowUp), none}},
        {"\xe0\xb6\xe0\x53", {none, press(Key::ExtendedDelete)}},
        {"\xe0\xc7\xe0\xaa\x1e", {release(Key::ExtendedHome), press(U'a')}},
        {"\xe1\x1d\x45\xe1\x9d\xc5", {press(Key::Pause)}},
        // The blocking read passes over codes without an event.
        {"\xfa\xe0\x46\x1e\x9e", {release(U'a')}, true},
    };
    struct Early {
      char const* bytes;
      std::string result;
    };
    Early const early[] = {
        // A prefix whose byte does not come.
        {"\xe0", none},
        {"\xe1", none},
        {"\xe0\x2a", none},
        {"\xe0\xaa", none},
        {"\xe0\x2a\xe0", none},
        {"\xe0\xaa\xe0", none},
        {"\xe0\x46", none},
        {"\xe0\x46\xe0", none},
        {"\xe1\x1d", press(Key::RightControl)},
        {"\xe1\x1d\x45\xe1", press(Key::RightControl)},
    };
    for (auto const& e : early) {
      cases.push_back({e.bytes, {e.result}});
      // Bytes that come later are keys of their own.
      cases.push_back({"\xe0\x47\x1e", {press(Key::ExtendedHome), press(U'a')}});
    }
    console.expect_reads(cases);
  });
}

TEST(ConsoleReadTest, TimeOutsAndTheTerminalSide) {
  in_child([](StdinPipe& terminal, FakeConsole& console) {
    auto const start = std::chrono::steady_clock::now();
    EXPECT_EQ(dalk::read(50), std::nullopt);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 40ms);
    EXPECT_EQ(dalk::read(0), std::nullopt);
    // A readable console gives its event, or nothing for a code without one.
    console.type("\x1e");
    EXPECT_EQ(outcome_of([] { return dalk::read(0); }), press(U'a'));
    console.type("\xfa");
    EXPECT_EQ(dalk::read(0), std::nullopt);
    EXPECT_TRUE(console.drained());
    // The timed read does not look at the resize flag.
    dalk::detail::window_resize_sig = 1;
    EXPECT_EQ(dalk::read(30), std::nullopt);
    console.type("\x1e");
    EXPECT_EQ(outcome_of([] { return dalk::read(1000); }), press(U'a'));
    EXPECT_EQ(dalk::detail::window_resize_sig, 1);
    dalk::detail::window_resize_sig = 0;
    // The terminal's key presses are dropped, its mouse reports come through.
    auto next = [](bool blocking = false) {
      return blocking ? outcome_of([] { return dalk::read(); })
                      : outcome_of([] { return dalk::read(1000); });
    };
    terminal.write("a");
    EXPECT_EQ(next(), none);
    terminal.write("\x1b[A");
    EXPECT_EQ(next(), none);
    terminal.write("\x1b[<0;10;5M");
    EXPECT_EQ(next(), "mouse press 9,4 button 0");
    // Standard input goes first when both are readable.
    console.type("\x1e");
    terminal.write("\x1b[<0;10;5m");
    EXPECT_EQ(next(), "mouse release 9,4 button 0");
    EXPECT_EQ(next(), press(U'a'));
    // The blocking read passes over terminal keys.
    terminal.write("b\x1b[1;5C\x1b[<64;2;3M");
    EXPECT_EQ(next(true), "mouse wheel 1,2 button 64");
    terminal.write("c");
    console.type("\x9e");
    EXPECT_EQ(next(true), release(U'a'));
    EXPECT_FALSE(stdin_has_input());
    EXPECT_TRUE(console.drained());
  });
}

TEST(ConsoleReadTest, EndOfInputAndHangUps) {
  expect_in_child([] {
    StdinPipe terminal;
    std::string const input_ended = "InputEnded: io read(): End of input.";
    {
      FakeConsole console;
      console.type("\xe0\x2a");
      console.close_keyboard();
      EXPECT_EQ(outcome_of([] { return dalk::read(1000); }), input_ended);
      // Hung up and drained, the console is readable no more.
      EXPECT_EQ(outcome_of([] { return dalk::read(16); }), input_ended);
    }
    FakeConsole console;
    terminal.close_writer();
    EXPECT_EQ(outcome_of([] { return dalk::read(16); }), input_ended);
    EXPECT_EQ(outcome_of([] { return dalk::read(); }), input_ended);
  });
}

// Resize events need a terminal to read the size from.
TEST(ConsoleReadTest, ResizeComesFromTheTerminal) {
  auto child = PtyChild::start([] {
    dalk::set(dalk::Echo::Off, dalk::InputBuffer::NoBuffer);
    dalk::detail::register_signals(false);
    FakeConsole console;
    std::fputs("ready\n", stderr);
    auto next = [](int timeout) { return outcome_of([timeout] { return dalk::read(timeout); }); };
    // The blocking read reports a resize that arrives while it waits (or with the next byte).
    EXPECT_EQ(outcome_of([] { return dalk::read(); }), "resize 100x30");
    EXPECT_EQ(next(5000), "mouse press 0,0 button 0");
    // The timed read leaves the flag alone until a byte arrives on standard input; the resize
    // then comes ahead of that byte's event.
    std::fputs("next\n", stderr);
    EXPECT_TRUE(wait_until([] { return dalk::detail::window_resize_sig == 1; }));
    EXPECT_EQ(next(30), none);
    console.type("\x1e");
    EXPECT_EQ(next(1000), press(U'a'));
    EXPECT_EQ(dalk::detail::window_resize_sig, 1);
    std::fputs("type\n", stderr);
    EXPECT_TRUE(wait_until(stdin_has_input));
    EXPECT_EQ(next(1000), "resize 90x20");
    EXPECT_EQ(dalk::detail::window_resize_sig, 0);
    EXPECT_EQ(next(1000), "mouse press 1,1 button 0");
    return ::testing::Test::HasFailure() ? 1 : 0;
  });
  ASSERT_TRUE(child.wait_for_output("ready"));
  child.set_size(100, 30);
  // Time for the handler to run first: ThreadSanitizer runs it only when the child next passes
  // one of its intercepted calls, which could otherwise be the read of the byte below.
  child.read_for(std::chrono::milliseconds(200));
  // Should the signal come before the wait begins, the byte ends the wait instead.
  child.write("\x1b[<0;1;1M");
  ASSERT_TRUE(child.wait_for_output("next")) << child.output();
  child.set_size(90, 20);
  ASSERT_TRUE(child.wait_for_output("type")) << child.output();
  child.write("\x1b[<0;2;2M");
  auto const status = child.wait_exit();
  EXPECT_TRUE(status.exited) << child.output();
  EXPECT_EQ(status.exit_status, 0) << child.output();
}

// A program run on the console itself has the console as its standard input: every byte there
// is a scancode.
TEST(ConsoleReadTest, ConsoleThatIsStandardInputGivesScancodesOnly) {
  expect_in_child([] {
    StdinPipe terminal;
    for (int console : {0, dup(0)}) {
      dalk::detail::tty_file_descriptor = console;
      terminal.write("\x1e\x9e\x2a");
      EXPECT_EQ(outcome_of([] { return dalk::read(1000); }), press(U'a')) << console;
      EXPECT_EQ(outcome_of([] { return dalk::read(1000); }), release(U'a')) << console;
      EXPECT_EQ(outcome_of([] { return dalk::read(); }), press(Key::LeftShift)) << console;
      terminal.write("\xfa");
      EXPECT_EQ(dalk::read(1000), std::nullopt) << console;
      EXPECT_EQ(dalk::read(30), std::nullopt) << console;
      // A waiting resize is reported without a byte to read; standard output is a pipe here,
      // so building it fails, which shows it was attempted.
      for (bool timed : {true, false}) {
        dalk::detail::window_resize_sig = 1;
        EXPECT_THROW_MSG(timed ? dalk::read(30) : dalk::read(), std::runtime_error,
                         "terminal terminal_width(): Can't Read Window Size.");
        EXPECT_EQ(dalk::detail::window_resize_sig, 0);
      }
      EXPECT_FALSE(stdin_has_input());
    }
    dalk::detail::tty_file_descriptor.reset();
  });
}
