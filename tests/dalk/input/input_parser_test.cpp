// The terminal byte parser fed plain byte strings: no pipe, no waiting. Input is given in
// chunks; the bytes of one chunk are already waiting, and after each chunk the wait runs out.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <dalk/dalk.hpp>
#include <exception>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
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
  if (auto const* release = std::get_if<dalk::KeyRelease>(&event)) {
    return "key release " + hex(static_cast<char32_t>(release->key));
  }
  if (auto const* paste = std::get_if<dalk::Paste>(&event)) {
    return "paste " + paste->text;
  }
  if (auto const* focus = std::get_if<dalk::Focus>(&event)) {
    return focus->focused ? "focus in" : "focus out";
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
  } else if (auto const* signal = std::get_if<InputParser::Signal>(&result)) {
    out.push_back("signal " + std::to_string(signal->number));
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

std::vector<std::string> parse(std::vector<std::string> const& chunks,
                               InputParser::Options options = {}) {
  InputParser parser;
  parser.set_options(options);
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
void expect_each(std::vector<Case> const& cases, InputParser::Options options = {}) {
  for (auto const& c : cases) {
    InputParser parser;
    parser.set_options(options);
    EXPECT_EQ(parse(parser, {c.bytes}), std::vector<std::string>{c.outcome}) << escaped(c.bytes);
    EXPECT_EQ(parser.wait(), InputParser::Wait::Nothing) << escaped(c.bytes);
  }
}

// Each of the byte strings gives the same outcome.
void expect_all(std::vector<std::string> const& each, std::string const& outcome,
                InputParser::Options options = {}) {
  std::vector<Case> cases;
  for (auto const& bytes : each) {
    cases.push_back({bytes, outcome});
  }
  expect_each(cases, options);
}

std::string key_release(Key k) {
  return text(dalk::Event{dalk::KeyRelease{k}});
}
std::string key_release(char32_t code_point) {
  return key_release(dalk::key(code_point));
}
std::string paste(std::string_view pasted) {
  return "paste " + std::string(pasted);
}

constexpr InputParser::Options with_paste{.bracketed_paste = true};
constexpr InputParser::Options with_focus{.focus_reports = true};
constexpr InputParser::Options with_kitty{.kitty_keyboard = true};
constexpr InputParser::Options with_kitty_signals{.kitty_keyboard = true, .signal_keys = true};

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
      // Escape plus a key reports the key with Alt, a non-ASCII character whole.
      {"\x1bx", key(dalk::key(U'x') | Mod::Alt)},
      {"\x1b\r", key(Key::Enter | Mod::Alt)},
      {"\x1b\x7f", key(Key::Backspace | Mod::Alt)},
      {"\x1b\xC3\xA9", key(dalk::key(U'\u00E9') | Mod::Alt)},
      {"\x1b\xF0\x9F\x98\x80", key(dalk::key(U'\U0001F600') | Mod::Alt)},
      {"\x1b\x80", key(dalk::key(0xFFFD) | Mod::Alt)},
      // An introducer with nothing after it is the key itself with Alt.
      {"\x1b[", key(dalk::key(U'[') | Mod::Alt)},
      {"\x1bO", key(dalk::key(U'O') | Mod::Alt)},
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
  std::pair<int, Key> const numbered[] = {
      {1, Key::Home},       {2, Key::Insert},    {3, Key::Delete},     {4, Key::End},
      {5, Key::PageUp},     {6, Key::PageDown},  {15, Key::F5},        {21, Key::F10},
      {24, Key::F12},       {7, dalk::key(134)}, {25, Key::ArrowDown}, {199, dalk::key(326)},
      {202, dalk::key(329)}};
  std::vector<Case> cases = {{"\x1b[1113984~", key(0x10FFFF)}};  // the last code point
  for (auto const& [n, value] : numbered) {
    cases.push_back({"\x1b[" + std::to_string(n) + "~", key(value)});
  }
  expect_each(cases);
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
      // Numbers are never narrowed.
      {"\x1b[1;4294967298A", error("io parse_key_modifiers(): Unknown Mod: 4294967298")},
      {"\x1b[3;2147483648~", error("io parse_key_modifiers(): Unknown Mod: 2147483648")},
  });
  expect_all({"\x1b[1;A", "\x1b[;~", "\x1b[<M"}, invalid_argument);
  // Past 64 bits, a key past the last code point, a mouse button past 8 bits (urxvt's plus 32).
  expect_all({"\x1b[1;99999999999999999999999A", "\x1b[<0;99999999999999999999999;1M",
              "\x1b[1113985~", "\x1b[2147483647~", "\x1b[<256;1;1M", "\x1b[<4294967296;1;1M",
              "\x1b[31;1;1M", "\x1b[288;1;1M", "\x1b[2147483648;1;1M"},
             out_of_range);
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
      // Columns and rows count up to 65535; 0 gives -1.
      {"\x1b[<0;2147483648;1M", press(65534, 0, B::Left)},
      {"\x1b[<0;65536;99999M", press(65534, 65534, B::Left)},
      {"\x1b[<0;0;0M", press(-1, -1, B::Left)},
  });
}

// urxvt reports every release as button 3; the parser names the button of the latest press.
TEST(InputParserTest, UrxvtReleasesTakeTheLatestPressedButton) {
  using B = Mouse::Button;
  InputParser parser;
  Case const steps[] = {
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
    InputParser::Options options = {};
  };
  Stream const streams[] = {
      {{"xy"}, {key(U'x'), key(U'y')}},
      {{"\x1b", "x"}, {key(Key::Escape), key(U'x')}},
      {{"\x1b", "\x1b"}, {key(Key::Escape), key(Key::Escape)}},
      // Escape, Escape is two Escapes; the second may begin a sequence.
      {{"\x1b\x1b"}, {key(Key::Escape), key(Key::Escape)}},
      {{"\x1b\x1b[A"}, {key(Key::Escape), key(Key::ArrowUp)}},
      {{"\x1b[", "A"}, {key(dalk::key(U'[') | Mod::Alt), key(U'A')}},
      {{"\x1bO", "P"}, {key(dalk::key(U'O') | Mod::Alt), key(U'P')}},
      {{"\x1b[A\x1b[B"}, {key(Key::ArrowUp), key(Key::ArrowDown)}},
      // Inside a sequence or a character the wait running out changes nothing.
      {{"\x1b[1", ";5", "C"}, {key(Key::ArrowRight | Mod::Ctrl)}},
      {{"\xE2", "\x82", "\xAC"}, {key(U'\u20AC')}},
      {{"\x1b\xC3", "\xA9"}, {key(dalk::key(U'\u00E9') | Mod::Alt)}},
      // After an undecodable sequence the next bytes are read normally.
      {{"\x1b[1;99Bq"}, {error("io parse_key_modifiers(): Unknown Mod: 99"), key(U'q')}},
      {{"\x1b[X\x1b[A"}, {error("io parse_key(): Unknown final_byte: X"), key(Key::ArrowUp)}},
      // C1 control characters are no keys (their code points are the special key values).
      {{"\xC2\x97\xC2\x82\xC2\x80\xC2\x9F\x1b\xC2\x97\xC2\xA0"}, {key(0xA0)}},
      // 256 bytes without a final byte are given up; what follows is read as keys.
      {{"\x1b[" + std::string(256, '1') + "A"},
       {error("io parse_csi(): Control sequence too long."), key(U'A')}},
      // The paste brackets are never keys: without the mode they are dropped and what lies
      // between them is typed; with it a stray closing bracket is dropped too.
      {{"\x1b[200~ab\x1b[201~"}, {key(U'a'), key(U'b')}},
      {{"\x1b[201~"}, {}},
      {{"\x1b[200~", "\x1b[A"}, {key(Key::ArrowUp)}},
      {{"\x1b[201~x"}, {key(U'x')}, with_paste},
      // With it the bytes between them are one paste.
      {{"\x1b[200~hello\x1b[201~"}, {paste("hello")}, with_paste},
      {{"\x1b[200~\x1b[201~"}, {paste("")}, with_paste},
      // Keys, escape sequences and control characters inside are text.
      {{"\x1b[200~a\tb\r\x1b[A\x03\x1b[201~q"}, {paste("a\tb\r\x1b[A\x03"), key(U'q')}, with_paste},
      // The start of the closing bracket inside the text stays text.
      {{"\x1b[200~\x1b[20\x1b[201x\x1b\x1b[201~"}, {paste("\x1b[20\x1b[201x\x1b")}, with_paste},
      // Split across reads anywhere, the wait running out between them.
      {{"\x1b[20", "0~ab", "c\xC3", "\xA9\x1b", "[20", "1", "~"},
       {paste("abc\xC3\xA9")},
       with_paste},
      {{"\x1b[200~x", "y\x1b[201~", "\x1b[200~z\x1b[201~"}, {paste("xy"), paste("z")}, with_paste},
      // Malformed UTF-8 becomes U+FFFD, so widgets never see it.
      {{"\x1b[200~a\xFF\xC3(\x1b[201~"}, {paste("a\xEF\xBF\xBD\xEF\xBF\xBD(")}, with_paste},
  };
  for (auto const& stream : streams) {
    EXPECT_EQ(parse(stream.chunks, stream.options), stream.outcomes)
        << escaped(stream.chunks.front());
  }
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

TEST(InputParserTest, AnUnterminatedPasteWaitsForItsEnd) {
  InputParser parser;
  parser.set_options(with_paste);
  EXPECT_EQ(parse(parser, {"\x1b[200~", "partial", "\x1b[20"}), std::vector<std::string>{});
  EXPECT_EQ(parser.wait(), InputParser::Wait::Paste);
  EXPECT_TRUE(std::holds_alternative<std::monostate>(parser.wait_ran_out()));
  // Cut, it is what came without the closing bracket begun; dropped, nothing.
  std::vector<std::string> cut;
  record(parser.cut_paste(), cut);
  EXPECT_EQ(cut, std::vector<std::string>{paste("partial")});
  parse(parser, {"\x1b[200~dropped"});
  parser.reset();
  EXPECT_EQ(parser.wait(), InputParser::Wait::Nothing);
  EXPECT_TRUE(std::holds_alternative<std::monostate>(parser.cut_paste()));
  EXPECT_EQ(parse(parser, {"x"}), std::vector<std::string>{key(U'x')});
}

// The reader hands a paste's plain runs over at once; a closing bracket begun, or an escape
// byte, goes byte by byte.
TEST(InputParserTest, PastedRunsAreTakenWhole) {
  InputParser parser;
  parser.set_options(with_paste);
  EXPECT_EQ(parser.take_pasted("outside"), 0U);
  parse(parser, {"\x1b[200~"});
  EXPECT_EQ(parser.take_pasted("ab\x1b[201~"), 2U);
  parse(parser, {"\x1b[20"});
  EXPECT_EQ(parser.take_pasted("1~"), 0U);
  EXPECT_EQ(parse(parser, {"x\x1b[201~"}), std::vector<std::string>{paste("ab\x1b[20x")});
}

TEST(InputParserTest, AnOversizedPasteIsCutAtTheBound) {
  InputParser parser;
  parser.set_options(with_paste);
  std::size_t const limit = InputParser::max_paste_bytes;
  // The first byte past the bound is a different one, so the cut is seen.
  EXPECT_EQ(parse(parser, {"\x1b[200~" + std::string(limit, 'a') + std::string(1000, 'b')}),
            std::vector<std::string>{});
  EXPECT_EQ(parse(parser, {"\x1b[201~"}), std::vector<std::string>{paste(std::string(limit, 'a'))});
  EXPECT_EQ(parser.wait(), InputParser::Wait::Nothing);
  EXPECT_EQ(parse(parser, {"z"}), std::vector<std::string>{key(U'z')});
}

TEST(InputParserTest, FocusReports) {
  expect_each({{"\x1b[I", "focus in"}, {"\x1b[O", "focus out"}, {"\x1bOI", key(Key::PageUp)}},
              with_focus);
  // Without the mode the bytes decode as they always have.
  expect_each({{"\x1b[I", key(Key::PageUp)},
               {"\x1b[O", error("io parse_key(): Unknown final_byte: O")},
               {"\x1b[1;5I", key(Key::PageUp | Mod::Ctrl)}});
  expect_each({{"\x1b[1;5I", key(Key::PageUp | Mod::Ctrl)}}, with_focus);
}

TEST(InputParserTest, KittyKeyReports) {
  expect_each(
      {
          // Escape is told from Alt+key.
          {"\x1b[27u", key(Key::Escape)},
          {"\x1b[27;3u", key(Key::Escape | Mod::Alt)},
          {"\x1b[97;3u", key(dalk::key(U'a') | Mod::Alt)},
          {"\x1b[91;3u", key(dalk::key(U'[') | Mod::Alt)},
          // Press, repeat and release.
          {"\x1b[97;1:1u", key(U'a')},
          {"\x1b[97;1:2u", key(U'a')},
          {"\x1b[97;1:3u", key_release(U'a')},
          {"\x1b[13;1:3u", key_release(Key::Enter)},
          {"\x1b[1;1:3A", key_release(Key::ArrowUp)},
          {"\x1b[1;5:2A", key(Key::ArrowUp | Mod::Ctrl)},
          {"\x1b[3;2:3~", key_release(Key::Delete | Mod::Shift)},
          {"\x1b[5;1:1~", key(Key::PageUp)},
          {"\x1b[13~", key(Key::F3)},
          {"\x1b[1;1P", key(Key::F1)},
          // Ctrl with a character gives the control character, as the legacy encoding does.
          {"\x1b[99;5u", key(3)},
          {"\x1b[99;6u", key(3)},
          {"\x1b[105;5u", key(Key::Tab)},
          {"\x1b[32;5u", key(0)},
          {"\x1b[92;5u", key(0x1C)},
          {"\x1b[99;7u", key(dalk::key(3) | Mod::Alt)},
          {"\x1b[99;5:3u", key_release(3)},
          {"\x1b[49;5u", key(dalk::key(U'1') | Mod::Ctrl)},
          // Shift picks the shifted character: the reported one, or an ASCII letter's capital.
          {"\x1b[97;4u", key(dalk::key(U'A') | Mod::Alt)},
          {"\x1b[49:33;4u", key(dalk::key(U'!') | Mod::Alt)},
          {"\x1b[49;4u", key(dalk::key(U'1') | Mod::Shift | Mod::Alt)},
          {"\x1b[233:201;4u", key(dalk::key(U'\u00C9') | Mod::Alt)},
          // Enter, Tab and Backspace keep their values; Shift+Tab is BackTab.
          {"\x1b[13;2u", key(Key::Enter | Mod::Shift)},
          {"\x1b[9u", key(Key::Tab)},
          {"\x1b[9;2u", key(Key::BackTab)},
          {"\x1b[9;6u", key(Key::BackTab | Mod::Ctrl)},
          {"\x1b[127;3u", key(Key::Backspace | Mod::Alt)},
          // Super, Hyper and Meta read as Meta; the lock modifiers are dropped.
          {"\x1b[97;9u", key(dalk::key(U'a') | Mod::Meta)},
          {"\x1b[97;17u", key(dalk::key(U'a') | Mod::Meta)},
          {"\x1b[97;33u", key(dalk::key(U'a') | Mod::Meta)},
          {"\x1b[97;65u", key(U'a')},
          {"\x1b[97;131u", key(dalk::key(U'a') | Mod::Alt)},
          {"\x1b[1;129C", key(Key::ArrowRight)},
          // Keypad keys as a terminal sends them without the protocol.
          {"\x1b[57399u", key(U'0')},
          {"\x1b[57413u", key(U'+')},
          {"\x1b[57414u", key(Key::Enter)},
          {"\x1b[57417;5u", key(Key::ArrowLeft | Mod::Ctrl)},
          {"\x1b[57427u", key(Key::Begin)},
          // The text field is not needed.
          {"\x1b[97;1;97u", key(U'a')},
          {"\x1b[1114111u", key(0x10FFFF)},
      },
      with_kitty);
}

TEST(InputParserTest, KittyKeyReportsWithoutAValueOrMalformed) {
  // Functional keys without a key value here give nothing: F13, Caps Lock, Left Shift; nor do
  // C1 control characters, reported or shifted.
  EXPECT_EQ(parse({"\x1b[57376u\x1b[57358u\x1b[57441;2u\x1b[150u\x1b[97:130;2u", "x"}, with_kitty),
            std::vector<std::string>{key(U'x')});
  expect_each(
      {
          {"\x1b[97;1:4u", error("io parse_kitty_key(): Unknown Event Type: 4")},
          {"\x1b[1;1:0A", error("io parse_kitty_key(): Unknown Event Type: 0")},
          {"\x1b[97;0u", error("io parse_key_modifiers(): Unknown Mod: 0")},
          // Modifiers past eight bits; no number is narrowed.
          {"\x1b[97;257u", error("io parse_key_modifiers(): Unknown Mod: 257")},
          {"\x1b[97;4294967298u", error("io parse_key_modifiers(): Unknown Mod: 4294967298")},
          {"\x1b[97;1:4294967298u", error("io parse_kitty_key(): Unknown Event Type: 4294967298")},
      },
      with_kitty);
  expect_all({"\x1b[u", "\x1b[?7u", "\x1b[97;u"}, invalid_argument, with_kitty);
  // Codes past the last code point.
  expect_all({"\x1b[4294967361u", "\x1b[1114112u", "\x1b[97:4294967361;2u"}, out_of_range,
             with_kitty);
  // Without the protocol the reports are not decoded, and modifiers are read as before.
  expect_each({
      {"\x1b[27u", error("io parse_key(): Unknown final_byte: u")},
      {"\x1b[1;1:3A", error("io parse_key_modifiers(): Unknown Mod: 1")},
      {"\x1b[1;5:3A", key(Key::ArrowUp | Mod::Ctrl)},
  });
}

// With signal keys on, the keys the line discipline turns into signals come as signals.
TEST(InputParserTest, KittySignalKeys) {
  expect_each(
      {
          {"\x1b[99;5u", "signal " + std::to_string(SIGINT)},
          {"\x1b[99;5:2u", "signal " + std::to_string(SIGINT)},
          {"\x1b[92;5u", "signal " + std::to_string(SIGQUIT)},
          {"\x1b[122;5u", "signal " + std::to_string(SIGTSTP)},
          {"\x1b[99;5:3u", key_release(3)},
          {"\x1b[99;7u", key(dalk::key(3) | Mod::Alt)},
          {"\x1b[100;5u", key(4)},
      },
      with_kitty_signals);
}
