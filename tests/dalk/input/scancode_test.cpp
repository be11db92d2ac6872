// Console scancode input: a pipe stands in for the console keyboard (its read end installed as
// the console descriptor, the keyboard mode never touched) and standard input is a pipe or a
// pty playing the terminal. The console descriptor is process-wide, so every test runs in a
// child.
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

#include "support/process.hpp"
#include "support/pty.hpp"

using namespace std::chrono_literals;
using dalk::Key;
using vennic::test::PtyChild;
using vennic::test::StdinPipe;
using vennic::test::wait_until;

namespace {

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

  // Whether every byte typed so far has been read.
  bool drained() const {
    pollfd entry{reader_, POLLIN, 0};
    return poll(&entry, 1, 0) == 0;
  }

  // Types the bytes and reads what they give.
  std::optional<dalk::Event> scan(std::string_view bytes) {
    type(bytes);
    return dalk::read(1000);
  }

 private:
  int reader_ = -1;
  int writer_ = -1;
};

std::string hex(char32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%X", static_cast<unsigned>(value));
  return buffer;
}

// Events as short text, so that failures say what came instead.
std::string text(std::optional<dalk::Event> const& event) {
  if (!event) {
    return "none";
  }
  if (auto const* press = std::get_if<dalk::KeyPress>(&*event)) {
    return "press " + hex(static_cast<char32_t>(press->key));
  }
  if (auto const* release = std::get_if<dalk::KeyRelease>(&*event)) {
    return "release " + hex(static_cast<char32_t>(release->key));
  }
  if (auto const* resize = std::get_if<dalk::Resize>(&*event)) {
    return "resize " + std::to_string(resize->area.width) + "x" +
           std::to_string(resize->area.height);
  }
  auto const mouse = std::visit(
      [](auto const& e) -> dalk::Mouse {
        if constexpr (requires { e.mouse; }) {
          return e.mouse;
        } else {
          return {};
        }
      },
      *event);
  char const* const kinds[] = {"mouse press", "mouse release", "mouse wheel", "mouse move"};
  return std::string(kinds[event->index()]) + " " + std::to_string(mouse.at.x) + "," +
         std::to_string(mouse.at.y);
}

// Scancode bytes as hex, for failure messages.
std::string dump(std::string_view bytes) {
  std::string out;
  for (char b : bytes) {
    out += hex(static_cast<unsigned char>(b)) + " ";
  }
  return out;
}

std::string press(Key key) {
  return text(dalk::KeyPress{key});
}
std::string press(char32_t value) {
  return press(dalk::key(value));
}
std::string release(Key key) {
  return text(dalk::KeyRelease{key});
}
std::string release(char32_t value) {
  return release(dalk::key(value));
}
constexpr char const* none = "none";

// Bytes from numbers, so that none of them is taken for part of an escape.
template <typename... Bytes>
std::string bytes(Bytes... b) {
  return std::string{static_cast<char>(b)...};
}

// Runs body in a child with standard input an empty pipe and a fresh console; the child
// fails if any expectation inside it failed.
template <typename Body>
void in_child(Body body) {
  auto const result = vennic::test::run_in_child([&body] {
    StdinPipe terminal;
    FakeConsole console;
    body(terminal, console);
    return ::testing::Test::HasFailure() ? 1 : 0;
  });
  EXPECT_TRUE(result.exited) << result.output;
  EXPECT_EQ(result.exit_status, 0) << result.output;
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

TEST(ScancodeTest, MakeAndBreakCodes) {
  in_child([](StdinPipe&, FakeConsole& console) {
    EXPECT_EQ(text(console.scan("\x1e")), press(U'a'));
    EXPECT_EQ(text(console.scan("\x9e")), release(U'a'));
    EXPECT_EQ(text(console.scan("\x01")), press(27));
    EXPECT_EQ(text(console.scan("\x1c")), press(13));
    EXPECT_EQ(text(console.scan("\x57")), press(Key::F11));
    EXPECT_EQ(text(console.scan("\x56")), press(0));
    EXPECT_EQ(text(console.scan("\xd6")), release(0));
    EXPECT_TRUE(console.drained());
  });
}

TEST(ScancodeTest, EveryCodeOfTheTable) {
  in_child([](StdinPipe&, FakeConsole& console) {
    auto const expected = expected_keymap();
    auto value_of = [&expected](unsigned code) {
      auto const found = expected.find(code);
      return found == expected.end() ? char32_t{0} : found->second;
    };
    for (unsigned code = 0x01; code < 0x80; ++code) {
      if (code == 0x54) {
        continue;  // SysRq, decoded before the table
      }
      EXPECT_EQ(text(console.scan(bytes(code))), press(value_of(code))) << hex(code);
      unsigned const up = code | 0x80U;
      // Release codes that coincide with controller bytes and prefixes mean those instead.
      bool const taken =
          up == 0xAA || up == 0xEE || up == 0xF1 || up >= 0xFA || up == 0xE0 || up == 0xE1;
      if (!taken) {
        EXPECT_EQ(text(console.scan(bytes(up))), release(value_of(code))) << hex(up);
      }
    }
    EXPECT_TRUE(console.drained());
  });
}

TEST(ScancodeTest, ModifierKeysArePressesOfTheirOwn) {
  in_child([](StdinPipe&, FakeConsole& console) {
    // No shift state: the letter stays lower case and carries no Mod bits.
    EXPECT_EQ(text(console.scan("\x2a")), press(Key::LeftShift));
    EXPECT_EQ(text(console.scan("\x1e")), press(U'a'));
    EXPECT_EQ(text(console.scan("\x9e")), release(U'a'));
    // The release of left Shift is also the controller's self-test byte: never reported.
    EXPECT_EQ(text(console.scan("\xaa")), none);
    EXPECT_EQ(text(console.scan("\x36")), press(Key::RightShift));
    EXPECT_EQ(text(console.scan("\xb6")), release(Key::RightShift));
    EXPECT_EQ(text(console.scan("\x1d")), press(Key::LeftControl));
    EXPECT_EQ(text(console.scan("\x2e")), press(U'c'));
    EXPECT_EQ(text(console.scan("\x9d")), release(Key::LeftControl));
    EXPECT_EQ(text(console.scan("\x38")), press(Key::LeftAlt));
    EXPECT_EQ(text(console.scan("\xb8")), release(Key::LeftAlt));
    EXPECT_EQ(text(console.scan("\x3a")), press(Key::CapsLock));
    EXPECT_EQ(text(console.scan("\x10")), press(U'q'));
    EXPECT_EQ(text(console.scan("\x45")), press(Key::NumLock));
    EXPECT_EQ(text(console.scan("\x46")), press(Key::ScrollLock));
    EXPECT_EQ(text(console.scan("\xc6")), release(Key::ScrollLock));
    EXPECT_TRUE(console.drained());
  });
}

TEST(ScancodeTest, ArrowKeysTakeTheTerminalValues) {
  in_child([](StdinPipe&, FakeConsole& console) {
    EXPECT_EQ(text(console.scan("\xe0\x48")), press(Key::ArrowUp));
    EXPECT_EQ(text(console.scan("\xe0\xc8")), release(Key::ArrowUp));
    EXPECT_EQ(text(console.scan("\xe0\x4b")), press(Key::ArrowLeft));
    EXPECT_EQ(text(console.scan("\xe0\xcb")), release(Key::ArrowLeft));
    EXPECT_EQ(text(console.scan("\xe0\x4d")), press(Key::ArrowRight));
    EXPECT_EQ(text(console.scan("\xe0\xcd")), release(Key::ArrowRight));
    EXPECT_EQ(text(console.scan("\xe0\x50")), press(Key::ArrowDown));
    EXPECT_EQ(text(console.scan("\xe0\xd0")), release(Key::ArrowDown));
    EXPECT_EQ(press(Key::ArrowUp), press(153));
    EXPECT_TRUE(console.drained());
  });
}

// Right Control and Alt, keypad Enter and the navigation block of a PC keyboard.
TEST(ScancodeTest, TwoByteCodesAfterE0UseTheEscapeTable) {
  in_child([](StdinPipe&, FakeConsole& console) {
    EXPECT_EQ(text(console.scan("\xe0\x1d")), press(Key::RightControl));
    EXPECT_EQ(text(console.scan("\xe0\x9d")), release(Key::RightControl));
    EXPECT_EQ(text(console.scan("\xe0\x38")), press(Key::RightAlt));
    EXPECT_EQ(text(console.scan("\xe0\xb8")), release(Key::RightAlt));
    EXPECT_EQ(text(console.scan("\xe0\x1c")), press(Key::KeypadEnter));
    EXPECT_EQ(text(console.scan("\xe0\x47")), press(Key::ExtendedHome));
    EXPECT_EQ(text(console.scan("\xe0\xd3")), release(Key::ExtendedDelete));
    // Every code of the table, except those with a meaning of their own after 0xE0.
    for (unsigned code = 0x1C; code < 0x54; ++code) {
      bool const own = code == 0x2A || code == 0x36 || code == 0x37 || code == 0x46 ||
                       code == 0x48 || code == 0x4B || code == 0x4D || code == 0x50;
      if (own) {
        continue;
      }
      EXPECT_EQ(text(console.scan(bytes(0xE0, code))), press(escape_table(code))) << hex(code);
      EXPECT_EQ(text(console.scan(bytes(0xE0, code | 0x80U))), release(escape_table(code)))
          << hex(code);
    }
    EXPECT_TRUE(console.drained());
    // Outside the table: nothing, and exactly the two bytes are taken.
    for (unsigned char c : {0x00, 0x1B, 0x54, 0x7F, 0x80, 0x9B, 0xD4, 0xE0, 0xE1, 0xFF}) {
      EXPECT_EQ(text(console.scan(bytes(0xE0, c))), none) << hex(c);
      EXPECT_EQ(text(console.scan("\x10")), press(U'q')) << hex(c);
    }
    EXPECT_TRUE(console.drained());
  });
}

// Keyboards wrap the navigation keys in a "fake" Shift while Num Lock is on (E0 2A before the
// press, E0 AA after the release) or Shift is held (the other way round; E0 B6 / E0 36 for the
// right Shift). The key comes through; the fake Shift gives nothing and takes nothing of the
// key behind it.
TEST(ScancodeTest, FakeShiftsAroundNavigationKeys) {
  in_child([](StdinPipe&, FakeConsole& console) {
    EXPECT_EQ(text(console.scan("\xe0\x2a\xe0\x47")), press(Key::ExtendedHome));
    EXPECT_EQ(text(console.scan("\xe0\xc7\xe0\xaa")), release(Key::ExtendedHome));
    EXPECT_EQ(text(dalk::read(16)), none);  // the trailing E0 AA
    EXPECT_TRUE(console.drained());
    EXPECT_EQ(text(console.scan("\xe0\xaa\xe0\x52")), press(Key::ExtendedInsert));
    EXPECT_EQ(text(console.scan("\xe0\xd2\xe0\x2a")), release(Key::ExtendedInsert));
    EXPECT_EQ(text(dalk::read(16)), none);
    EXPECT_TRUE(console.drained());
    EXPECT_EQ(text(console.scan("\xe0\xb6\xe0\x53")), none);
    EXPECT_EQ(text(dalk::read(1000)), press(Key::ExtendedDelete));
    EXPECT_EQ(text(console.scan("\xe0\xd3\xe0\x36")), release(Key::ExtendedDelete));
    EXPECT_EQ(text(dalk::read(16)), none);
    EXPECT_TRUE(console.drained());
    // The arrows keep their terminal values behind a fake Shift too.
    EXPECT_EQ(text(console.scan("\xe0\x2a\xe0\x48")), press(Key::ArrowUp));
    EXPECT_EQ(text(console.scan("\xe0\xc8\xe0\xaa")), release(Key::ArrowUp));
    EXPECT_EQ(text(dalk::read(16)), none);
    // The next key already waiting behind a trailing fake Shift is read as that key.
    EXPECT_EQ(text(console.scan("\xe0\xc7\xe0\xaa\x1e")), release(Key::ExtendedHome));
    EXPECT_EQ(text(dalk::read(1000)), press(U'a'));
    EXPECT_EQ(text(console.scan("\xe0\xd2\xe0\x2a\xe0\x50")), release(Key::ExtendedInsert));
    EXPECT_EQ(text(dalk::read(1000)), press(Key::ArrowDown));
    EXPECT_EQ(text(console.scan("\xe0\xaa\xe1\x1d\x45\xe1\x9d\xc5")), press(Key::Pause));
    EXPECT_EQ(text(console.scan("\xe0\x2a\xe0\x2a\xe0\x1d")), press(Key::RightControl));
    EXPECT_TRUE(console.drained());
  });
}

// A sequence that stops early must neither block the read nor take bytes of the next key: the
// byte after a prefix and those that only confirm a longer sequence are not waited for long.
TEST(ScancodeTest, SequencesThatStopEarlyDoNotBlock) {
  in_child([](StdinPipe&, FakeConsole& console) {
    struct Case {
      char const* bytes;
      std::string result;
    };
    Case const cases[] = {
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
    for (auto const& c : cases) {
      console.type(c.bytes);
      auto const start = std::chrono::steady_clock::now();
      EXPECT_EQ(text(dalk::read(16)), c.result) << dump(c.bytes);
      // Loose bound: only a read that waits for the next key would take this long.
      EXPECT_LT(std::chrono::steady_clock::now() - start, 3s) << dump(c.bytes);
      EXPECT_TRUE(console.drained());
      // Bytes that come later are keys of their own.
      EXPECT_EQ(text(console.scan("\xe0\x47")), press(Key::ExtendedHome)) << dump(c.bytes);
      EXPECT_EQ(text(console.scan("\x1e")), press(U'a')) << dump(c.bytes);
    }
    // The blocking read passes over them and returns the next key.
    console.type("\xe0\xaa");
    EXPECT_EQ(text(dalk::read(16)), none);
    console.type("\x9e");
    EXPECT_EQ(text(dalk::read()), release(U'a'));
    EXPECT_TRUE(console.drained());
  });
}

TEST(ScancodeTest, PrintScreenAndSysRq) {
  in_child([](StdinPipe&, FakeConsole& console) {
    EXPECT_EQ(text(console.scan("\xe0\x2a\xe0\x37")), press(Key::PrintScreen));
    EXPECT_EQ(text(console.scan("\xe0\xaa\xe0\xb7")), release(Key::PrintScreen));
    // The halves a keyboard sends alone while a modifier is held.
    EXPECT_EQ(text(console.scan("\xe0\x37")), press(0x4000E));
    EXPECT_EQ(text(console.scan("\xe0\xb7")), release(0x4000E));
    EXPECT_EQ(text(console.scan("\x54")), press(Key::SysRq));
    EXPECT_EQ(text(console.scan("\xd4")), release(Key::SysRq));
    // What keyboards send when Print Screen goes up: the release of 0x4000E, then a fake
    // Shift that gives nothing.
    EXPECT_EQ(text(console.scan("\xe0\xb7\xe0\xaa")), release(0x4000E));
    EXPECT_EQ(text(dalk::read(16)), none);
    EXPECT_TRUE(console.drained());
    // E0 2A and E0 AA are fake Shifts when no Print Screen follows: the key behind them counts.
    EXPECT_EQ(text(console.scan("\xe0\x2a\xe0\xb7")), release(0x4000E));
    EXPECT_EQ(text(console.scan("\xe0\xaa\xe0\x37")), press(0x4000E));
    EXPECT_EQ(text(console.scan("\xe0\x2a\x1e")), press(U'a'));
    EXPECT_EQ(text(console.scan("\xe0\xaa\x9e")), release(U'a'));
    EXPECT_TRUE(console.drained());
    EXPECT_EQ(press(Key::PrintScreen), press(0x4000B));
    EXPECT_EQ(press(Key::SysRq), press(0x4000D));
  });
}

TEST(ScancodeTest, PauseAndBreak) {
  in_child([](StdinPipe&, FakeConsole& console) {
    EXPECT_EQ(text(console.scan("\xe1\x1d\x45\xe1\x9d\xc5")), press(Key::Pause));
    EXPECT_TRUE(console.drained());
    EXPECT_EQ(text(console.scan("\xe0\x46\xe0\xc6")), press(Key::Break));
    EXPECT_EQ(text(console.scan("\xe0\x46\x1e")), none);
    EXPECT_TRUE(console.drained());
    EXPECT_EQ(text(console.scan("\xe0\x46\xe0\x1e")), none);
    EXPECT_TRUE(console.drained());
    // A Pause sequence that breaks off is the two-byte code 0xE1 0x1D.
    for (std::string const broken :
         {"\xe1\x1d\x1e", "\xe1\x1d\x45\x1e", "\xe1\x1d\x45\xe1\x1e", "\xe1\x1d\x45\xe1\x9d\x1e"}) {
      EXPECT_EQ(text(console.scan(broken)), press(Key::RightControl));
      EXPECT_TRUE(console.drained());
    }
    EXPECT_EQ(press(Key::Pause), press(0x4000F));
    EXPECT_EQ(press(Key::Break), press(0x40010));
  });
}

TEST(ScancodeTest, ControllerBytesGiveNoEvent) {
  in_child([](StdinPipe&, FakeConsole& console) {
    for (unsigned char b : {0x00, 0xAA, 0xEE, 0xF1, 0xFA, 0xFC, 0xFD, 0xFE, 0xFF}) {
      // One byte each: the key behind it is still read.
      EXPECT_EQ(text(console.scan(bytes(b))), none) << hex(b);
      EXPECT_EQ(text(console.scan("\x1e")), press(U'a')) << hex(b);
    }
    EXPECT_TRUE(console.drained());
  });
}

TEST(ScancodeTest, TwoByteCodesAfterE1UseTheEscapeTable) {
  in_child([](StdinPipe&, FakeConsole& console) {
    for (unsigned code = 0x1C; code < 0x54; ++code) {
      char32_t const value = escape_table(code);
      if (code != 0x1D) {  // 0xE1 0x1D starts Pause
        EXPECT_EQ(text(console.scan(bytes(0xE1, code))), press(value)) << hex(code);
      }
      EXPECT_EQ(text(console.scan(bytes(0xE1, code | 0x80U))), release(value)) << hex(code);
    }
    // Outside the table: nothing, and nothing more is read.
    for (unsigned char c : {0x00, 0x1B, 0x54, 0x7F, 0x80, 0x9B, 0xD4, 0xFF}) {
      EXPECT_EQ(text(console.scan(bytes(0xE1, c))), none) << hex(c);
      EXPECT_TRUE(console.drained()) << hex(c);
    }
    EXPECT_EQ(press(Key::KeypadEnter), press(0x4001C));
    EXPECT_EQ(press(Key::RightControl), press(0x40001));
    EXPECT_EQ(press(Key::RightAlt), press(0x4000C));
    EXPECT_EQ(press(Key::ExtendedHome), press(0x40011));
    EXPECT_EQ(press(Key::ExtendedDelete), press(0x4001B));
  });
}

TEST(ScancodeTest, EndOfInputInsideASequenceThrows) {
  in_child([](StdinPipe&, FakeConsole& console) {
    console.type("\xe0\x2a");
    console.close_keyboard();
    try {
      dalk::read(1000);
      ADD_FAILURE() << "no exception";
    } catch (std::runtime_error const& error) {
      EXPECT_EQ(std::string(error.what()).rfind("read_byte(fd): Failed: ", 0), 0U) << error.what();
    }
  });
}

TEST(ConsoleReadTest, TimeOuts) {
  in_child([](StdinPipe&, FakeConsole& console) {
    auto const start = std::chrono::steady_clock::now();
    EXPECT_EQ(text(dalk::read(50)), none);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 40ms);
    EXPECT_EQ(text(dalk::read(0)), none);
    // A readable console gives its event, or nothing for a code without one.
    console.type("\x1e");
    EXPECT_EQ(text(dalk::read(0)), press(U'a'));
    console.type("\xfa");
    EXPECT_EQ(text(dalk::read(0)), none);
    EXPECT_TRUE(console.drained());
    // The blocking read passes over codes without an event.
    console.type("\xfa\xe0\x46\x1e\x9e");
    EXPECT_EQ(text(dalk::read()), release(U'a'));
  });
}

TEST(ConsoleReadTest, TimedReadDoesNotLookAtTheResizeFlag) {
  in_child([](StdinPipe&, FakeConsole& console) {
    dalk::detail::window_resize_sig = 1;
    EXPECT_EQ(text(dalk::read(30)), none);
    console.type("\x1e");
    EXPECT_EQ(text(dalk::read(1000)), press(U'a'));
    EXPECT_EQ(dalk::detail::window_resize_sig, 1);
  });
}

TEST(ConsoleReadTest, TerminalKeyPressesAreDroppedMouseComesThrough) {
  in_child([](StdinPipe& terminal, FakeConsole& console) {
    terminal.write("a");
    EXPECT_EQ(text(dalk::read(1000)), none);
    terminal.write("\x1b[A");
    EXPECT_EQ(text(dalk::read(1000)), none);
    terminal.write("\x1b[<0;10;5M");
    EXPECT_EQ(text(dalk::read(1000)), "mouse press 9,4");
    // Standard input goes first when both are readable.
    console.type("\x1e");
    terminal.write("\x1b[<0;10;5m");
    EXPECT_EQ(text(dalk::read(1000)), "mouse release 9,4");
    EXPECT_EQ(text(dalk::read(1000)), press(U'a'));
    // The blocking read passes over terminal keys.
    terminal.write("b\x1b[1;5C\x1b[<64;2;3M");
    EXPECT_EQ(text(dalk::read()), "mouse wheel 1,2");
    terminal.write("c");
    console.type("\x9e");
    EXPECT_EQ(text(dalk::read()), release(U'a'));
    EXPECT_FALSE(stdin_has_input());
    EXPECT_TRUE(console.drained());
  });
}

TEST(ConsoleReadTest, NeitherSideReadableIsALogicError) {
  in_child([](StdinPipe& terminal, FakeConsole&) {
    terminal.close_writer();
    EXPECT_THROW_MSG(dalk::read(16), std::logic_error, "timeout_wait_for_reads(): logic_error.");
    EXPECT_THROW_MSG(dalk::read(), std::logic_error, "timeout_wait_for_reads(): logic_error.");
  });
}

TEST(ConsoleReadTest, HungUpConsoleIsALogicError) {
  in_child([](StdinPipe&, FakeConsole& console) {
    console.close_keyboard();
    EXPECT_THROW_MSG(dalk::read(16), std::logic_error, "timeout_wait_for_reads(): logic_error.");
  });
}

// Resize events need a terminal to read the size from.
TEST(ConsoleReadTest, ResizeComesFromTheTerminal) {
  auto child = PtyChild::start([] {
    dalk::set(dalk::Echo::Off, dalk::InputBuffer::NoBuffer);
    dalk::detail::register_signals(false);
    FakeConsole console;
    std::fputs("ready\n", stderr);
    // The blocking read reports a resize that arrives while it waits (or with the next byte).
    EXPECT_EQ(text(dalk::read()), "resize 100x30");
    EXPECT_EQ(text(dalk::read(5000)), "mouse press 0,0");
    // The timed read leaves the flag alone until a byte arrives on standard input; the resize
    // then comes ahead of that byte's event.
    std::fputs("next\n", stderr);
    EXPECT_TRUE(wait_until([] { return dalk::detail::window_resize_sig == 1; }));
    EXPECT_EQ(text(dalk::read(30)), none);
    console.type("\x1e");
    EXPECT_EQ(text(dalk::read(1000)), press(U'a'));
    EXPECT_EQ(dalk::detail::window_resize_sig, 1);
    std::fputs("type\n", stderr);
    EXPECT_TRUE(wait_until(stdin_has_input));
    EXPECT_EQ(text(dalk::read(1000)), "resize 90x20");
    EXPECT_EQ(dalk::detail::window_resize_sig, 0);
    EXPECT_EQ(text(dalk::read(1000)), "mouse press 1,1");
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
  auto const result = vennic::test::run_in_child([] {
    StdinPipe terminal;
    for (int console : {0, dup(0)}) {
      dalk::detail::tty_file_descriptor = console;
      terminal.write("\x1e\x9e\x2a");
      EXPECT_EQ(text(dalk::read(1000)), press(U'a')) << console;
      EXPECT_EQ(text(dalk::read(1000)), release(U'a')) << console;
      EXPECT_EQ(text(dalk::read()), press(Key::LeftShift)) << console;
      terminal.write("\xfa");
      EXPECT_EQ(text(dalk::read(1000)), none) << console;
      EXPECT_EQ(text(dalk::read(30)), none) << console;
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
    return ::testing::Test::HasFailure() ? 1 : 0;
  });
  EXPECT_EQ(result.exit_status, 0) << result.output;
}
