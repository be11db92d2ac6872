#include <gtest/gtest.h>

#include <dalk/dalk.hpp>
#include <optional>
#include <stdexcept>
#include <string>

#include "support/process.hpp"
#include "support/pty.hpp"

using dalk::Key;
using dalk::Mod;
using dalk::Mouse;

namespace {

// Decoding tests: standard input is a pipe holding the bytes a terminal would send. All bytes
// written at once count as "already waiting" for the escape decisions.
class InputDecodingTest : public ::testing::Test {
 protected:
  // The one event the bytes decode to; fails the test if they decode to nothing.
  dalk::Event decode(std::string_view bytes) {
    pipe_.write(bytes);
    auto event = dalk::read(1000);
    if (!event) {
      ADD_FAILURE() << "no event";
      return dalk::Resize{};
    }
    return *event;
  }

  Key key_of(std::string_view bytes) {
    auto const event = decode(bytes);
    if (auto const* press = std::get_if<dalk::KeyPress>(&event)) {
      return press->key;
    }
    ADD_FAILURE() << "not a key press: alternative " << event.index();
    return Key{};
  }

  // Expects that nothing more is waiting.
  void expect_drained() { EXPECT_EQ(dalk::read(0), std::nullopt); }

  vennic::test::StdinPipe pipe_;
};

Key code(char32_t c) {
  return dalk::key(c);
}

Mouse mouse(int x, int y, Mouse::Button button, Mouse::Modifiers modifiers = {}) {
  return Mouse{dalk::Point{x, y}, button, modifiers};
}

}  // namespace

TEST_F(InputDecodingTest, PlainAndControlKeys) {
  EXPECT_EQ(key_of("a"), code(U'a'));
  EXPECT_EQ(key_of("Z"), code(U'Z'));
  EXPECT_EQ(key_of(" "), Key::Space);
  EXPECT_EQ(key_of("\r"), Key::Enter);
  EXPECT_EQ(key_of("\t"), Key::Tab);
  EXPECT_EQ(key_of("\x7f"), Key::Backspace);
  EXPECT_EQ(key_of("\x03"), code(3));
  EXPECT_EQ(key_of("\x01"), code(1));
  EXPECT_EQ(key_of(std::string_view("\0", 1)), code(0));
  // Several keys waiting are read one at a time.
  pipe_.write("xy");
  EXPECT_EQ(dalk::read(100), dalk::Event{dalk::KeyPress{code(U'x')}});
  EXPECT_EQ(dalk::read(100), dalk::Event{dalk::KeyPress{code(U'y')}});
  expect_drained();
}

TEST_F(InputDecodingTest, Utf8Characters) {
  EXPECT_EQ(key_of("\xC3\xA9"), code(U'\u00E9'));
  EXPECT_EQ(key_of("\xE2\x82\xAC"), code(U'\u20AC'));
  EXPECT_EQ(key_of("\xF0\x9F\x98\x80"), code(U'\U0001F600'));
  expect_drained();
}

TEST_F(InputDecodingTest, MalformedUtf8GivesReplacementCharacter) {
  EXPECT_EQ(key_of("\x80"), code(0xFFFD));
  EXPECT_EQ(key_of("\xBF"), code(0xFFFD));
  // A lead byte takes the bytes it announces, whatever they are.
  EXPECT_EQ(key_of("\xC3("), code(0xFFFD));
  EXPECT_EQ(key_of("\xC0\xAF"), code(0xFFFD));
  EXPECT_EQ(key_of("\xED\xA0\x80"), code(0xFFFD));
  EXPECT_EQ(key_of("\xFF\x80\x80\x80"), code(0xFFFD));
  expect_drained();
}

TEST_F(InputDecodingTest, EscapeAloneAndWithAKey) {
  EXPECT_EQ(key_of("\x1b"), Key::Escape);
  // Escape plus a key reports the key alone.
  EXPECT_EQ(key_of("\x1bx"), code(U'x'));
  EXPECT_EQ(key_of("\x1b\x1b"), Key::Escape);
  EXPECT_EQ(key_of("\x1b\r"), Key::Enter);
  // An introducer with nothing after it is the key itself.
  EXPECT_EQ(key_of("\x1b["), code(U'['));
  EXPECT_EQ(key_of("\x1bO"), code(U'O'));
  expect_drained();
}

TEST_F(InputDecodingTest, EscapeBeforeANonAsciiCharacterKeepsItWhole) {
  EXPECT_EQ(key_of("\x1b\xC3\xA9"), code(U'\u00E9'));
  EXPECT_EQ(key_of("\x1b\xE2\x82\xAC"), code(U'\u20AC'));
  EXPECT_EQ(key_of("\x1b\xF0\x9F\x98\x80"), code(U'\U0001F600'));
  // A stray continuation byte after escape is malformed, as it is alone.
  EXPECT_EQ(key_of("\x1b\x80"), code(0xFFFD));
  expect_drained();
}

TEST_F(InputDecodingTest, CsiAndSs3Keys) {
  struct Case {
    char final_byte;
    Key key;
  };
  Case const cases[] = {
      {'A', Key::ArrowUp}, {'B', Key::ArrowDown}, {'C', Key::ArrowRight}, {'D', Key::ArrowLeft},
      {'E', Key::Begin},   {'F', Key::End},       {'G', Key::PageDown},   {'H', Key::Home},
      {'I', Key::PageUp},  {'L', Key::Insert},    {'P', Key::F1},         {'Q', Key::F2},
      {'R', Key::F3},      {'S', Key::F4},        {'Z', Key::BackTab},
  };
  for (auto const& c : cases) {
    EXPECT_EQ(key_of(std::string("\x1b[") + c.final_byte), c.key) << c.final_byte;
    EXPECT_EQ(key_of(std::string("\x1bO") + c.final_byte), c.key) << c.final_byte;
  }
  expect_drained();
}

TEST_F(InputDecodingTest, TildeKeys) {
  EXPECT_EQ(key_of("\x1b[1~"), Key::Home);
  EXPECT_EQ(key_of("\x1b[2~"), Key::Insert);
  EXPECT_EQ(key_of("\x1b[3~"), Key::Delete);
  EXPECT_EQ(key_of("\x1b[4~"), Key::End);
  EXPECT_EQ(key_of("\x1b[5~"), Key::PageUp);
  EXPECT_EQ(key_of("\x1b[6~"), Key::PageDown);
  EXPECT_EQ(key_of("\x1b[15~"), Key::F5);
  EXPECT_EQ(key_of("\x1b[17~"), Key::F6);
  EXPECT_EQ(key_of("\x1b[21~"), Key::F10);
  EXPECT_EQ(key_of("\x1b[23~"), Key::F11);
  EXPECT_EQ(key_of("\x1b[24~"), Key::F12);
  // Numbers without a name still map to 127 + n.
  EXPECT_EQ(key_of("\x1b[7~"), code(134));
  EXPECT_EQ(key_of("\x1b[25~"), Key::ArrowDown);
  expect_drained();
}

TEST_F(InputDecodingTest, ModifiersTwoToSixteen) {
  char32_t const shift = static_cast<char32_t>(Mod::Shift);
  char32_t const alt = static_cast<char32_t>(Mod::Alt);
  char32_t const ctrl = static_cast<char32_t>(Mod::Ctrl);
  char32_t const meta = static_cast<char32_t>(Mod::Meta);
  for (int m = 2; m <= 16; ++m) {
    unsigned const bits = static_cast<unsigned>(m - 1);
    char32_t expected = 0;
    expected |= (bits & 1U) != 0 ? shift : 0;
    expected |= (bits & 2U) != 0 ? alt : 0;
    expected |= (bits & 4U) != 0 ? ctrl : 0;
    expected |= (bits & 8U) != 0 ? meta : 0;
    std::string const n = std::to_string(m);
    EXPECT_EQ(key_of("\x1b[1;" + n + "C"), Key::ArrowRight | expected) << m;
    EXPECT_EQ(key_of("\x1b[3;" + n + "~"), Key::Delete | expected) << m;
    EXPECT_EQ(key_of("\x1bO1;" + n + "P"), Key::F1 | expected) << m;
  }
  EXPECT_EQ(key_of("\x1b[1;5C"), Key::ArrowRight | Mod::Ctrl);
  EXPECT_EQ(static_cast<char32_t>(key_of("\x1b[1;5C")), 155U | 0x20000000U);
  EXPECT_EQ(key_of("\x1b[3;2~"), Key::Delete | Mod::Shift);
  EXPECT_EQ(key_of("\x1b[1;10A"), Key::ArrowUp | (Mod::Meta | Mod::Shift));
  // Only the second parameter counts.
  EXPECT_EQ(key_of("\x1b[1;3;9A"), Key::ArrowUp | Mod::Alt);
  // One parameter: plain.
  EXPECT_EQ(key_of("\x1b[1A"), Key::ArrowUp);
  expect_drained();
}

TEST_F(InputDecodingTest, ModifiersOutOfRangeThrow) {
  pipe_.write("\x1b[2;1A");
  EXPECT_THROW_MSG(dalk::read(1000), std::runtime_error,
                   "io parse_key_modifiers(): Unknown Mod: 1");
  pipe_.write("\x1b[1;17A");
  EXPECT_THROW_MSG(dalk::read(1000), std::runtime_error,
                   "io parse_key_modifiers(): Unknown Mod: 17");
  pipe_.write("\x1b[1;0~");
  EXPECT_THROW_MSG(dalk::read(1000), std::runtime_error,
                   "io parse_key_modifiers(): Unknown Mod: 0");
  // The failed sequence is consumed; what follows is read normally.
  pipe_.write("\x1b[1;99Bq");
  EXPECT_THROW(dalk::read(1000), std::runtime_error);
  EXPECT_EQ(key_of(""), code(U'q'));
  expect_drained();
}

TEST_F(InputDecodingTest, UnknownAndMalformedSequencesThrow) {
  pipe_.write("\x1b[X");
  EXPECT_THROW_MSG(dalk::read(1000), std::runtime_error, "io parse_key(): Unknown final_byte: X");
  pipe_.write("\x1bOx");
  EXPECT_THROW_MSG(dalk::read(1000), std::runtime_error, "io parse_key(): Unknown final_byte: x");
  pipe_.write("\x1b[~");
  EXPECT_THROW_MSG(dalk::read(1000), std::runtime_error, "io: parse_tilde: No Parameter Bytes");
  // Empty or non-numeric fields come from the number conversion.
  pipe_.write("\x1b[1;A");
  EXPECT_THROW(dalk::read(1000), std::invalid_argument);
  pipe_.write("\x1b[;~");
  EXPECT_THROW(dalk::read(1000), std::invalid_argument);
  pipe_.write("\x1b[1;99999999999999999999999A");
  EXPECT_THROW(dalk::read(1000), std::out_of_range);
  expect_drained();
}

TEST_F(InputDecodingTest, ControlSequenceLengthIsBounded) {
  // 255 bytes before the final byte still make a sequence.
  EXPECT_EQ(key_of("\x1b[" + std::string(255, '0') + "A"), Key::ArrowUp);
  // 256 without a final byte are given up; the rest of the input stays unread.
  pipe_.write("\x1b[" + std::string(256, '1') + "A");
  EXPECT_THROW_MSG(dalk::read(1000), std::runtime_error,
                   "io parse_csi(): Control sequence too long.");
  EXPECT_EQ(key_of(""), code(U'A'));
  expect_drained();
}

TEST_F(InputDecodingTest, SequenceCutShortIsDroppedAndReadingGoesOn) {
  // The next byte of a control sequence or a character does not come within the wait: what was
  // read is dropped, and later bytes are keys of their own.
  for (std::string_view const bytes : {"\x1b[1", "\x1b[<0;1", "\xE9", "\xC3", "\x1b\xE2\x82"}) {
    for (bool const timed : {true, false}) {
      SCOPED_TRACE(::testing::PrintToString(std::string(bytes)));
      pipe_.write(bytes);
      EXPECT_THROW_MSG(timed ? dalk::read(1000) : dalk::read(), std::runtime_error,
                       "io read(): Sequence cut short.");
      pipe_.write("ab");
      EXPECT_EQ(key_of(""), code(U'a'));
      EXPECT_EQ(key_of(""), code(U'b'));
      expect_drained();
    }
  }
}

TEST_F(InputDecodingTest, ReadWithoutInputReturnsNothing) {
  EXPECT_EQ(dalk::read(16), std::nullopt);
  EXPECT_EQ(dalk::read(0), std::nullopt);
}

TEST_F(InputDecodingTest, EndOfInputInsideASequenceThrows) {
  pipe_.write("\x1b[1");
  pipe_.close_writer();
  try {
    dalk::read(1000);
    ADD_FAILURE() << "no exception";
  } catch (std::runtime_error const& error) {
    EXPECT_EQ(std::string(error.what()).rfind("read_byte(fd): Failed: ", 0), 0U) << error.what();
  }
}

TEST_F(InputDecodingTest, HangUpWithoutInputIsALogicError) {
  pipe_.close_writer();
  EXPECT_THROW_MSG(dalk::read(16), std::logic_error, "io is_file_readable(): logic_error.");
}

TEST_F(InputDecodingTest, SgrMouseReports) {
  EXPECT_EQ(decode("\x1b[<0;10;5M"),
            dalk::Event{dalk::MousePress{mouse(9, 4, Mouse::Button::Left)}});
  EXPECT_EQ(decode("\x1b[<0;10;5m"),
            dalk::Event{dalk::MouseRelease{mouse(9, 4, Mouse::Button::Left)}});
  EXPECT_EQ(decode("\x1b[<1;2;3M"),
            dalk::Event{dalk::MousePress{mouse(1, 2, Mouse::Button::Middle)}});
  EXPECT_EQ(decode("\x1b[<2;200;100M"),
            dalk::Event{dalk::MousePress{mouse(199, 99, Mouse::Button::Right)}});
  EXPECT_EQ(decode("\x1b[<2;200;100m"),
            dalk::Event{dalk::MouseRelease{mouse(199, 99, Mouse::Button::Right)}});
  EXPECT_EQ(decode("\x1b[<64;1;1M"),
            dalk::Event{dalk::MouseWheel{mouse(0, 0, Mouse::Button::ScrollUp)}});
  EXPECT_EQ(decode("\x1b[<65;7;8M"),
            dalk::Event{dalk::MouseWheel{mouse(6, 7, Mouse::Button::ScrollDown)}});
  EXPECT_EQ(decode("\x1b[<35;3;4M"),
            dalk::Event{dalk::MouseMove{mouse(2, 3, Mouse::Button::None)}});
  // Motion with the left button held.
  EXPECT_EQ(decode("\x1b[<32;3;4M"),
            dalk::Event{dalk::MouseMove{mouse(2, 3, Mouse::Button::Left)}});
  expect_drained();
}

TEST_F(InputDecodingTest, SgrMouseModifiers) {
  EXPECT_EQ(decode("\x1b[<4;1;1M"),
            dalk::Event{dalk::MousePress{mouse(0, 0, Mouse::Button::Left, {true, false, false})}});
  EXPECT_EQ(decode("\x1b[<8;1;1M"),
            dalk::Event{dalk::MousePress{mouse(0, 0, Mouse::Button::Left, {false, false, true})}});
  EXPECT_EQ(decode("\x1b[<16;1;1M"),
            dalk::Event{dalk::MousePress{mouse(0, 0, Mouse::Button::Left, {false, true, false})}});
  EXPECT_EQ(decode("\x1b[<30;1;1M"),
            dalk::Event{dalk::MousePress{mouse(0, 0, Mouse::Button::Right, {true, true, true})}});
  EXPECT_EQ(
      decode("\x1b[<80;1;1M"),
      dalk::Event{dalk::MouseWheel{mouse(0, 0, Mouse::Button::ScrollUp, {false, true, false})}});
  EXPECT_EQ(decode("\x1b[<51;5;5M"),
            dalk::Event{dalk::MouseMove{mouse(4, 4, Mouse::Button::None, {false, true, false})}});
  expect_drained();
}

TEST_F(InputDecodingTest, MouseReportWithoutParametersThrows) {
  pipe_.write("\x1b[M");
  EXPECT_THROW_MSG(dalk::read(1000), std::runtime_error, "io parse_key(): Unknown final_byte: M");
  pipe_.write("\x1b[m");
  EXPECT_THROW_MSG(dalk::read(1000), std::runtime_error, "io parse_key(): Unknown final_byte: m");
  pipe_.write("\x1b[<M");
  EXPECT_THROW(dalk::read(1000), std::invalid_argument);
  expect_drained();
}

// The urxvt encoding reports every release as button 3; the decoder remembers the button of
// the latest press, which is process-wide state, so these run in a child.
TEST(MouseDecodingTest, UrxvtReports) {
  auto const result = vennic::test::run_in_child([] {
    vennic::test::StdinPipe pipe;
    auto next = [&](std::string_view bytes) {
      pipe.write(bytes);
      return dalk::read(1000);
    };
    EXPECT_EQ(next("\x1b[32;10;5M"),
              dalk::Event{dalk::MousePress{mouse(9, 4, Mouse::Button::Left)}});
    EXPECT_EQ(next("\x1b[34;10;5M"),
              dalk::Event{dalk::MousePress{mouse(9, 4, Mouse::Button::Right)}});
    EXPECT_EQ(next("\x1b[35;10;5M"),
              dalk::Event{dalk::MouseRelease{mouse(9, 4, Mouse::Button::Right)}});
    EXPECT_EQ(next("\x1b[96;1;1M"),
              dalk::Event{dalk::MouseWheel{mouse(0, 0, Mouse::Button::ScrollUp)}});
    EXPECT_EQ(next("\x1b[97;1;1M"),
              dalk::Event{dalk::MouseWheel{mouse(0, 0, Mouse::Button::ScrollDown)}});
    // Wheel steps do not change the remembered button.
    EXPECT_EQ(next("\x1b[35;2;2M"),
              dalk::Event{dalk::MouseRelease{mouse(1, 1, Mouse::Button::Right)}});
    EXPECT_EQ(next("\x1b[67;5;6M"), dalk::Event{dalk::MouseMove{mouse(4, 5, Mouse::Button::None)}});
    EXPECT_EQ(next("\x1b[33;5;6M"),
              dalk::Event{dalk::MousePress{mouse(4, 5, Mouse::Button::Middle)}});
    EXPECT_EQ(
        next("\x1b[49;5;6M"),
        dalk::Event{dalk::MousePress{mouse(4, 5, Mouse::Button::Middle, {false, true, false})}});
    EXPECT_EQ(
        next("\x1b[39;5;6M"),
        dalk::Event{dalk::MouseRelease{mouse(4, 5, Mouse::Button::Middle, {true, false, false})}});
    // An SGR press is remembered too.
    EXPECT_EQ(next("\x1b[<2;1;1M"),
              dalk::Event{dalk::MousePress{mouse(0, 0, Mouse::Button::Right)}});
    EXPECT_EQ(next("\x1b[35;1;1M"),
              dalk::Event{dalk::MouseRelease{mouse(0, 0, Mouse::Button::Right)}});
    return ::testing::Test::HasFailure() ? 1 : 0;
  });
  EXPECT_EQ(result.exit_status, 0) << result.output;
}

// The resize flag is process-wide, and building a Resize asks the system for the size.
TEST(InputResizeTest, WaitingResizeComesFirstAndIsResetOnce) {
  auto const result = vennic::test::run_in_child([] {
    vennic::test::StdinPipe pipe;
    pipe.write("k");
    dalk::detail::window_resize_sig = 1;
    // Standard output is a pipe here, so the size cannot be read: the resize is still the
    // first thing decoded and the flag is reset.
    EXPECT_THROW_MSG(dalk::read(16), std::runtime_error,
                     "terminal terminal_width(): Can't Read Window Size.");
    EXPECT_EQ(dalk::detail::window_resize_sig, 0);
    EXPECT_EQ(dalk::read(16), dalk::Event{dalk::KeyPress{code(U'k')}});
    EXPECT_EQ(dalk::read(16), std::nullopt);
    return ::testing::Test::HasFailure() ? 1 : 0;
  });
  EXPECT_EQ(result.exit_status, 0) << result.output;
}
