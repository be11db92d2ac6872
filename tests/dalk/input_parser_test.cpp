// The terminal byte parser fed plain byte strings: no pipe, no waiting. Input is given in
// chunks; the bytes of one chunk are already waiting, and after each chunk the wait runs out.
#include <gtest/gtest.h>

#include <cstdio>
#include <dalk/dalk.hpp>
#include <exception>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

using dalk::InputParser;
using dalk::Key;
using dalk::Mod;
using dalk::Mouse;

namespace {

std::string hex(char32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%X", static_cast<unsigned>(value));
  return buffer;
}

std::string text(Mouse const& mouse) {
  std::string out = std::to_string(mouse.at.x) + "," + std::to_string(mouse.at.y) + " button " +
                    std::to_string(static_cast<unsigned>(mouse.button));
  out += mouse.modifiers.shift ? " shift" : "";
  out += mouse.modifiers.ctrl ? " ctrl" : "";
  out += mouse.modifiers.alt ? " alt" : "";
  return out;
}

// Outcomes as short text, so that failures say what came instead.
std::string text(dalk::Event const& event) {
  if (auto const* press = std::get_if<dalk::KeyPress>(&event)) {
    return "key " + hex(static_cast<char32_t>(press->key));
  }
  if (auto const* m = std::get_if<dalk::MousePress>(&event)) {
    return "press " + text(m->mouse);
  }
  if (auto const* m = std::get_if<dalk::MouseRelease>(&event)) {
    return "release " + text(m->mouse);
  }
  if (auto const* m = std::get_if<dalk::MouseWheel>(&event)) {
    return "wheel " + text(m->mouse);
  }
  if (auto const* m = std::get_if<dalk::MouseMove>(&event)) {
    return "move " + text(m->mouse);
  }
  return "other event";
}

// The exception's type; its message too where the library wrote it (not the number
// conversion's).
std::string text(dalk::Undecodable const& undecodable) {
  try {
    std::rethrow_exception(undecodable.error);
  } catch (std::invalid_argument const&) {
    return "invalid_argument";
  } catch (std::out_of_range const&) {
    return "out_of_range";
  } catch (std::runtime_error const& error) {
    return std::string("runtime_error: ") + error.what();
  } catch (...) {
    return "other exception";
  }
}

void record(InputParser::Result const& result, std::vector<std::string>& out) {
  if (auto const* event = std::get_if<dalk::Event>(&result)) {
    out.push_back(text(*event));
  } else if (auto const* undecodable = std::get_if<dalk::Undecodable>(&result)) {
    out.push_back(text(*undecodable));
  }
}

std::vector<std::string> parse(InputParser& parser, std::vector<std::string> const& chunks) {
  std::vector<std::string> out;
  for (std::string const& chunk : chunks) {
    for (char const byte : chunk) {
      record(parser.feed(byte), out);
    }
    record(parser.wait_ran_out(), out);
  }
  return out;
}

std::vector<std::string> parse(std::vector<std::string> const& chunks) {
  InputParser parser;
  return parse(parser, chunks);
}

std::string key(Key k) {
  return text(dalk::Event{dalk::KeyPress{k}});
}
std::string key(char32_t code_point) {
  return key(dalk::key(code_point));
}
std::string error(std::string_view message) {
  return "runtime_error: " + std::string(message);
}
constexpr char const* invalid_argument = "invalid_argument";
constexpr char const* out_of_range = "out_of_range";

std::string press(int x, int y, Mouse::Button button, Mouse::Modifiers modifiers = {}) {
  return text(dalk::Event{dalk::MousePress{Mouse{{x, y}, button, modifiers}}});
}
std::string release(int x, int y, Mouse::Button button, Mouse::Modifiers modifiers = {}) {
  return text(dalk::Event{dalk::MouseRelease{Mouse{{x, y}, button, modifiers}}});
}
std::string wheel(int x, int y, Mouse::Button button, Mouse::Modifiers modifiers = {}) {
  return text(dalk::Event{dalk::MouseWheel{Mouse{{x, y}, button, modifiers}}});
}
std::string move(int x, int y, Mouse::Button button, Mouse::Modifiers modifiers = {}) {
  return text(dalk::Event{dalk::MouseMove{Mouse{{x, y}, button, modifiers}}});
}

// Bytes shown as C escapes, for failure messages.
std::string escaped(std::string_view bytes) {
  std::string out;
  for (char const c : bytes) {
    auto const b = static_cast<unsigned char>(c);
    if (b >= 0x20 && b < 0x7F) {
      out += c;
    } else {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\x%02X", b);
      out += buffer;
    }
  }
  return out;
}

struct Case {
  std::string bytes;
  std::string outcome;
};

// Each case's bytes arrive at once and give exactly one outcome.
void expect_each(std::vector<Case> const& cases) {
  for (auto const& c : cases) {
    InputParser parser;
    EXPECT_EQ(parse(parser, {c.bytes}), std::vector<std::string>{c.outcome}) << escaped(c.bytes);
    EXPECT_EQ(parser.wait(), InputParser::Wait::Nothing) << escaped(c.bytes);
  }
}

}  // namespace

TEST(InputParserTest, PlainKeysAndCharacters) {
  expect_each({
      {"a", key(U'a')},
      {" ", key(Key::Space)},
      {"\r", key(Key::Enter)},
      {"\t", key(Key::Tab)},
      {"\x7f", key(Key::Backspace)},
      {"\x03", key(3)},
      {std::string(1, '\0'), key(0)},
      {"\xC3\xA9", key(U'\u00E9')},
      {"\xE2\x82\xAC", key(U'\u20AC')},
      {"\xF0\x9F\x98\x80", key(U'\U0001F600')},
      // Malformed: a lead byte takes the bytes it announces, whatever they are.
      {"\x80", key(0xFFFD)},
      {"\xBF", key(0xFFFD)},
      {"\xC3(", key(0xFFFD)},
      {"\xC0\xAF", key(0xFFFD)},
      {"\xED\xA0\x80", key(0xFFFD)},
      {"\xFF\x80\x80\x80", key(0xFFFD)},
  });
}

TEST(InputParserTest, EscapeAloneAndBeforeAKey) {
  expect_each({
      {"\x1b", key(Key::Escape)},
      // Escape plus a key reports the key alone, a non-ASCII character whole.
      {"\x1bx", key(U'x')},
      {"\x1b\x1b", key(Key::Escape)},
      {"\x1b\r", key(Key::Enter)},
      {"\x1b\xC3\xA9", key(U'\u00E9')},
      {"\x1b\xF0\x9F\x98\x80", key(U'\U0001F600')},
      {"\x1b\x80", key(0xFFFD)},
      // An introducer with nothing after it is the key itself.
      {"\x1b[", key(U'[')},
      {"\x1bO", key(U'O')},
  });
}

TEST(InputParserTest, CsiAndSs3Keys) {
  struct Final {
    char byte;
    Key key;
  };
  Final const finals[] = {
      {'A', Key::ArrowUp}, {'B', Key::ArrowDown}, {'C', Key::ArrowRight}, {'D', Key::ArrowLeft},
      {'E', Key::Begin},   {'F', Key::End},       {'G', Key::PageDown},   {'H', Key::Home},
      {'I', Key::PageUp},  {'L', Key::Insert},    {'P', Key::F1},         {'Q', Key::F2},
      {'R', Key::F3},      {'S', Key::F4},        {'Z', Key::BackTab},
  };
  std::vector<Case> cases;
  for (auto const& f : finals) {
    cases.push_back({std::string("\x1b[") + f.byte, key(f.key)});
    cases.push_back({std::string("\x1bO") + f.byte, key(f.key)});
  }
  expect_each(cases);
}

TEST(InputParserTest, TildeKeysAreNumbered) {
  expect_each({
      {"\x1b[1~", key(Key::Home)},
      {"\x1b[2~", key(Key::Insert)},
      {"\x1b[3~", key(Key::Delete)},
      {"\x1b[4~", key(Key::End)},
      {"\x1b[5~", key(Key::PageUp)},
      {"\x1b[6~", key(Key::PageDown)},
      {"\x1b[15~", key(Key::F5)},
      {"\x1b[21~", key(Key::F10)},
      {"\x1b[24~", key(Key::F12)},
      {"\x1b[7~", key(134)},
      {"\x1b[25~", key(Key::ArrowDown)},
      {"\x1b[200~", key(327)},
  });
}

TEST(InputParserTest, Modifiers) {
  std::vector<Case> cases = {
      {"\x1b[1;5C", key(Key::ArrowRight | Mod::Ctrl)},
      {"\x1b[3;2~", key(Key::Delete | Mod::Shift)},
      {"\x1b[1;10A", key(Key::ArrowUp | (Mod::Meta | Mod::Shift))},
      // Only the second parameter counts; one parameter is plain.
      {"\x1b[1;3;9A", key(Key::ArrowUp | Mod::Alt)},
      {"\x1b[1A", key(Key::ArrowUp)},
      // 255 bytes before the final byte still make a sequence.
      {"\x1b[" + std::string(255, '0') + "A", key(Key::ArrowUp)},
  };
  for (int m = 2; m <= 16; ++m) {
    auto const bits = static_cast<unsigned>(m - 1);
    char32_t mods = 0;
    mods |= (bits & 1U) != 0 ? static_cast<char32_t>(Mod::Shift) : 0;
    mods |= (bits & 2U) != 0 ? static_cast<char32_t>(Mod::Alt) : 0;
    mods |= (bits & 4U) != 0 ? static_cast<char32_t>(Mod::Ctrl) : 0;
    mods |= (bits & 8U) != 0 ? static_cast<char32_t>(Mod::Meta) : 0;
    std::string const n = std::to_string(m);
    cases.push_back({"\x1b[1;" + n + "C", key(Key::ArrowRight | mods)});
    cases.push_back({"\x1b[3;" + n + "~", key(Key::Delete | mods)});
    cases.push_back({"\x1bO1;" + n + "P", key(Key::F1 | mods)});
  }
  expect_each(cases);
}

// The exact exceptions dalk::read throws for them; the parser goes on afterwards.
TEST(InputParserTest, UndecodableSequences) {
  expect_each({
      {"\x1b[2;1A", error("io parse_key_modifiers(): Unknown Mod: 1")},
      {"\x1b[1;17A", error("io parse_key_modifiers(): Unknown Mod: 17")},
      {"\x1b[1;0~", error("io parse_key_modifiers(): Unknown Mod: 0")},
      {"\x1b[X", error("io parse_key(): Unknown final_byte: X")},
      {"\x1bOx", error("io parse_key(): Unknown final_byte: x")},
      {"\x1b[~", error("io: parse_tilde: No Parameter Bytes")},
      {"\x1b[M", error("io parse_key(): Unknown final_byte: M")},
      {"\x1b[m", error("io parse_key(): Unknown final_byte: m")},
      {"\x1b[1;A", invalid_argument},
      {"\x1b[;~", invalid_argument},
      {"\x1b[<M", invalid_argument},
      {"\x1b[1;99999999999999999999999A", out_of_range},
  });
}

TEST(InputParserTest, SgrMouseReports) {
  using B = Mouse::Button;
  expect_each({
      {"\x1b[<0;10;5M", press(9, 4, B::Left)},
      {"\x1b[<0;10;5m", release(9, 4, B::Left)},
      {"\x1b[<1;2;3M", press(1, 2, B::Middle)},
      {"\x1b[<2;200;100M", press(199, 99, B::Right)},
      {"\x1b[<2;200;100m", release(199, 99, B::Right)},
      {"\x1b[<64;1;1M", wheel(0, 0, B::ScrollUp)},
      {"\x1b[<65;7;8M", wheel(6, 7, B::ScrollDown)},
      {"\x1b[<35;3;4M", move(2, 3, B::None)},
      {"\x1b[<32;3;4M", move(2, 3, B::Left)},
      {"\x1b[<4;1;1M", press(0, 0, B::Left, {true, false, false})},
      {"\x1b[<8;1;1M", press(0, 0, B::Left, {false, false, true})},
      {"\x1b[<16;1;1M", press(0, 0, B::Left, {false, true, false})},
      {"\x1b[<30;1;1M", press(0, 0, B::Right, {true, true, true})},
      {"\x1b[<80;1;1M", wheel(0, 0, B::ScrollUp, {false, true, false})},
      {"\x1b[<51;5;5M", move(4, 4, B::None, {false, true, false})},
      // Fields missing: the last one present is read again.
      {"\x1b[<0;7M", press(6, 6, B::Left)},
  });
}

// urxvt reports every release as button 3; the parser names the button of the latest press.
TEST(InputParserTest, UrxvtReleasesTakeTheLatestPressedButton) {
  using B = Mouse::Button;
  InputParser parser;
  struct Step {
    char const* bytes;
    std::string outcome;
  };
  Step const steps[] = {
      // Before any press: the left button.
      {"\x1b[35;1;1M", release(0, 0, B::Left)},
      {"\x1b[32;10;5M", press(9, 4, B::Left)},
      {"\x1b[34;10;5M", press(9, 4, B::Right)},
      {"\x1b[35;10;5M", release(9, 4, B::Right)},
      // Wheel steps and motion do not change the remembered button.
      {"\x1b[96;1;1M", wheel(0, 0, B::ScrollUp)},
      {"\x1b[97;1;1M", wheel(0, 0, B::ScrollDown)},
      {"\x1b[67;5;6M", move(4, 5, B::None)},
      {"\x1b[35;2;2M", release(1, 1, B::Right)},
      {"\x1b[49;5;6M", press(4, 5, B::Middle, {false, true, false})},
      {"\x1b[39;5;6M", release(4, 5, B::Middle, {true, false, false})},
      // An SGR press is remembered too.
      {"\x1b[<2;1;1M", press(0, 0, B::Right)},
      {"\x1b[35;1;1M", release(0, 0, B::Right)},
  };
  for (auto const& step : steps) {
    EXPECT_EQ(parse(parser, {step.bytes}), std::vector<std::string>{step.outcome})
        << escaped(step.bytes);
  }
  // Dropping a partly read sequence keeps the button.
  parse(parser, {"\x1b[<1;1;1M", "\x1b[12"});
  parser.reset();
  EXPECT_EQ(parser.wait(), InputParser::Wait::Nothing);
  EXPECT_EQ(parse(parser, {"\x1b[35;1;1M"}), std::vector<std::string>{release(0, 0, B::Middle)});
}

// Streams of several outcomes, in chunks that arrive apart.
TEST(InputParserTest, StreamsAndWaits) {
  struct Stream {
    std::vector<std::string> chunks;
    std::vector<std::string> outcomes;
  };
  Stream const streams[] = {
      {{"xy"}, {key(U'x'), key(U'y')}},
      {{"\x1b", "x"}, {key(Key::Escape), key(U'x')}},
      {{"\x1b", "\x1b"}, {key(Key::Escape), key(Key::Escape)}},
      {{"\x1b[", "A"}, {key(U'['), key(U'A')}},
      {{"\x1bO", "P"}, {key(U'O'), key(U'P')}},
      {{"\x1b[A\x1b[B"}, {key(Key::ArrowUp), key(Key::ArrowDown)}},
      // Inside a sequence or a character the wait running out changes nothing.
      {{"\x1b[1", ";5", "C"}, {key(Key::ArrowRight | Mod::Ctrl)}},
      {{"\xE2", "\x82", "\xAC"}, {key(U'\u20AC')}},
      {{"\x1b\xC3", "\xA9"}, {key(U'\u00E9')}},
      // After an undecodable sequence the next bytes are read normally.
      {{"\x1b[1;99Bq"}, {error("io parse_key_modifiers(): Unknown Mod: 99"), key(U'q')}},
      {{"\x1b[X\x1b[A"}, {error("io parse_key(): Unknown final_byte: X"), key(Key::ArrowUp)}},
  };
  for (auto const& stream : streams) {
    EXPECT_EQ(parse(stream.chunks), stream.outcomes) << escaped(stream.chunks.front());
  }
}

TEST(InputParserTest, ControlSequenceLengthIsBounded) {
  // 256 bytes without a final byte are given up; what follows is read as keys.
  EXPECT_EQ(
      parse({"\x1b[" + std::string(256, '1') + "A"}),
      (std::vector<std::string>{error("io parse_csi(): Control sequence too long."), key(U'A')}));
}

TEST(InputParserTest, WaitSaysHowToWaitForTheNextByte) {
  using W = InputParser::Wait;
  struct Case {
    std::string_view bytes;
    W wait;
  };
  Case const cases[] = {
      {"", W::Nothing},
      {"a", W::Nothing},
      {"\x1b", W::AlreadyWaiting},
      {"\x1b[", W::AlreadyWaiting},
      {"\x1bO", W::AlreadyWaiting},
      {"\x1b[1", W::Unfinished},
      {"\x1b[<0;1", W::Unfinished},
      {"\xC3", W::Unfinished},
      {"\x1b\xE2\x82", W::Unfinished},
      {"\x1b[A", W::Nothing},
      {"\x1b[X", W::Nothing},
      {"\x1bx", W::Nothing},
  };
  for (auto const& c : cases) {
    InputParser parser;
    for (char const byte : c.bytes) {
      parser.feed(byte);
    }
    EXPECT_EQ(parser.wait(), c.wait) << escaped(c.bytes);
  }
  // Between events the wait running out gives nothing.
  InputParser parser;
  EXPECT_TRUE(std::holds_alternative<std::monostate>(parser.wait_ran_out()));
}
