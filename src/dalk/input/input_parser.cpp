#include "dalk/input_parser.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "dalk/transcode.hpp"

namespace dalk {
namespace {

constexpr char escape_byte = 0x1B;

// Terminals send a few dozen bytes at most; a longer run without a final byte is garbage and
// would otherwise grow without limit.
constexpr std::size_t max_control_sequence_bytes = 256;

// A complete "\e[" or "\eO" sequence, split into its parameter and intermediate bytes.
struct ControlSequence {
  char introducer = 0;
  std::string parameter_bytes;
  std::string intermediate_bytes;
  char final_byte = 0;

  ControlSequence(char introducer_byte, std::string const& bytes) : introducer{introducer_byte} {
    if (bytes.empty()) {
      throw std::runtime_error("ControlSequence(): Invalid Input");
    }
    for (char c : bytes) {
      auto const b = static_cast<unsigned char>(c);
      if (b >= 0x30 && b <= 0x3F) {
        parameter_bytes += c;
      } else if (b >= 0x20 && b <= 0x2F) {
        intermediate_bytes += c;
      }
      // Anything else (control characters, bytes from 0x80 up) carries no meaning here.
    }
    final_byte = bytes.back();
  }
};

bool is_final_byte(char c) {
  auto const b = static_cast<unsigned char>(c);
  return b >= 0x40 && b <= 0x7E;
}

// How many bytes a UTF-8 lead byte announces, itself included. Any byte leads: a stray
// continuation byte is a character of one byte (which decodes to U+FFFD).
std::size_t character_size(char lead) {
  auto const b = static_cast<unsigned char>(lead);
  return 1U + (b >= 0xC0 ? 1U : 0U) + (b >= 0xE0 ? 1U : 0U) + (b >= 0xF0 ? 1U : 0U);
}

// The number a field starts with, read as std::stoul reads the digits parameter bytes can
// hold, with its exceptions: no digits is std::invalid_argument, more than 64 bits
// std::out_of_range. Callers bound the value before any arithmetic.
unsigned long leading_number(std::string_view field) {
  unsigned long value = 0;
  auto const [stop, error] = std::from_chars(field.data(), field.data() + field.size(), value);
  if (error == std::errc::invalid_argument) {
    throw std::invalid_argument("stoul");
  }
  if (error == std::errc::result_out_of_range) {
    throw std::out_of_range("stoul");
  }
  return value;
}

// Field n (from 0) of a ';'-separated parameter string. With fewer fields the last one is
// read again.
unsigned long parameter(std::string_view p, int n) {
  for (int i = 0; i < n; ++i) {
    auto const separator = p.find(';');
    if (separator != std::string_view::npos) {
      p.remove_prefix(separator + 1);
    }
  }
  return leading_number(p.substr(0, p.find(';')));
}

// Key values above the last code point are not keys.
constexpr unsigned long max_code_point = 0x10FFFF;

// C1 control characters are never keys: their code points are the special key values.
bool is_c1_control(char32_t c) {
  return c >= 0x80 && c <= 0x9F;
}

char32_t parse_key_modifiers(std::string const& parameter_bytes) {
  if (parameter_bytes.empty() || parameter_bytes.find(';') == std::string::npos) {
    return 0;
  }
  auto const m = parameter(parameter_bytes, 1);
  if (m < 2 || m > 16) {
    throw std::runtime_error("io parse_key_modifiers(): Unknown Mod: " + std::to_string(m));
  }
  auto const bits = static_cast<unsigned>(m - 1);
  char32_t mods = 0;
  if ((bits & 1U) != 0) {
    mods |= static_cast<char32_t>(Mod::Shift);
  }
  if ((bits & 2U) != 0) {
    mods |= static_cast<char32_t>(Mod::Alt);
  }
  if ((bits & 4U) != 0) {
    mods |= static_cast<char32_t>(Mod::Ctrl);
  }
  if ((bits & 8U) != 0) {
    mods |= static_cast<char32_t>(Mod::Meta);
  }
  return mods;
}

// The ':'- or ';'-separated fields of text; an empty text is one empty field.
std::vector<std::string> split(std::string const& text, char separator) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    auto const end = text.find(separator, start);
    fields.push_back(text.substr(start, end - start));
    if (end == std::string::npos) {
      return fields;
    }
    start = end + 1;
  }
}

// Kitty modifier bits (the reported value minus one).
constexpr unsigned kitty_shift = 1;
constexpr unsigned kitty_alt = 2;
constexpr unsigned kitty_ctrl = 4;
// Super, Hyper and Meta all read as Mod::Meta; Caps Lock and Num Lock (64, 128) are dropped.
constexpr unsigned kitty_meta_like = 8 | 16 | 32;

// The report's modifier field is 1 plus eight modifier bits.
constexpr unsigned long max_kitty_modifiers = 1 + 255;

// A kitty key report's modifiers and event type: "mods[:event]" in the second field.
struct KittyModifiers {
  unsigned bits = 0;
  bool release = false;
};

KittyModifiers parse_kitty_modifiers(std::string const& parameter_bytes) {
  auto const fields = split(parameter_bytes, ';');
  if (fields.size() < 2) {
    return {};
  }
  auto const parts = split(fields[1], ':');
  auto const m = leading_number(parts[0]);
  if (m < 1 || m > max_kitty_modifiers) {
    throw std::runtime_error("io parse_key_modifiers(): Unknown Mod: " + std::to_string(m));
  }
  // 1 is a press, 2 a repeat, 3 a release.
  unsigned long const event = parts.size() > 1 ? leading_number(parts[1]) : 1;
  if (event < 1 || event > 3) {
    throw std::runtime_error("io parse_kitty_key(): Unknown Event Type: " + std::to_string(event));
  }
  return {static_cast<unsigned>(m - 1), event == 3};
}

char32_t mod_bits(unsigned kitty_bits) {
  char32_t mods = 0;
  if ((kitty_bits & kitty_shift) != 0) {
    mods |= static_cast<char32_t>(Mod::Shift);
  }
  if ((kitty_bits & kitty_alt) != 0) {
    mods |= static_cast<char32_t>(Mod::Alt);
  }
  if ((kitty_bits & kitty_ctrl) != 0) {
    mods |= static_cast<char32_t>(Mod::Ctrl);
  }
  if ((kitty_bits & kitty_meta_like) != 0) {
    mods |= static_cast<char32_t>(Mod::Meta);
  }
  return mods;
}

// The keys of the kitty protocol's private-use range that have a value here: the keypad keys,
// as the characters and keys a terminal sends for them without it.
std::optional<Key> kitty_functional_key(char32_t code) {
  constexpr char32_t keypad_first = 57399;
  constexpr std::array<char32_t, 29> keypad = {U'0',
                                               U'1',
                                               U'2',
                                               U'3',
                                               U'4',
                                               U'5',
                                               U'6',
                                               U'7',
                                               U'8',
                                               U'9',
                                               U'.',
                                               U'/',
                                               U'*',
                                               U'-',
                                               U'+',
                                               static_cast<char32_t>(Key::Enter),
                                               U'=',
                                               U',',
                                               static_cast<char32_t>(Key::ArrowLeft),
                                               static_cast<char32_t>(Key::ArrowRight),
                                               static_cast<char32_t>(Key::ArrowUp),
                                               static_cast<char32_t>(Key::ArrowDown),
                                               static_cast<char32_t>(Key::PageUp),
                                               static_cast<char32_t>(Key::PageDown),
                                               static_cast<char32_t>(Key::Home),
                                               static_cast<char32_t>(Key::End),
                                               static_cast<char32_t>(Key::Insert),
                                               static_cast<char32_t>(Key::Delete),
                                               static_cast<char32_t>(Key::Begin)};
  if (code >= keypad_first && code < keypad_first + keypad.size()) {
    return key(keypad[code - keypad_first]);
  }
  return std::nullopt;
}

// The control character the legacy encoding sends for Ctrl with this character, if any.
std::optional<char32_t> control_character(char32_t c) {
  if ((c >= U'a' && c <= U'z') || (c >= U'@' && c <= U'_')) {
    return c & 0x1FU;
  }
  if (c == U' ') {
    return 0;
  }
  if (c == U'?') {
    return 0x7F;
  }
  return std::nullopt;
}

// A kitty CSI u key as the legacy encoding reports it: Shift picks the shifted character (from
// the alternate key when reported, else for ASCII letters), Ctrl with a character that has a
// control character gives that; the modifiers left over become Mod bits. Empty for functional
// keys without a value here (F13 and up, media and lone modifier keys) and for C1 controls.
std::optional<Key> legacy_key(char32_t code, std::optional<char32_t> shifted, unsigned bits) {
  switch (code) {
    case 9:
      if ((bits & kitty_shift) != 0) {
        return Key::BackTab | mod_bits(bits & ~kitty_shift);
      }
      return Key::Tab | mod_bits(bits);
    case 13:
    case 27:
    case 127:
      return key(code) | mod_bits(bits);
    default:
      break;
  }
  if (auto const functional = kitty_functional_key(code)) {
    return *functional | mod_bits(bits);
  }
  // The rest of the private use area holds the kitty protocol's other functional keys.
  if ((code >= 0xE000 && code <= 0xF8FF) || code < 0x20) {
    return std::nullopt;
  }
  if ((bits & kitty_shift) != 0) {
    if (shifted) {
      code = *shifted;
      bits &= ~kitty_shift;
    } else if (code >= U'a' && code <= U'z') {
      code -= U'a' - U'A';
      bits &= ~kitty_shift;
    }
  }
  if ((bits & kitty_ctrl) != 0) {
    if (auto const control = control_character(code)) {
      code = *control;
      bits &= ~kitty_ctrl;
    }
  }
  if (is_c1_control(code)) {
    return std::nullopt;
  }
  return key(code) | mod_bits(bits);
}

// Which signal the line discipline raises for a control character (the default VINTR, VQUIT
// and VSUSP characters).
std::optional<int> signal_of(Key key) {
  switch (static_cast<char32_t>(key)) {
    case 0x03:
      return SIGINT;
    case 0x1C:
      return SIGQUIT;
    case 0x1A:
      return SIGTSTP;
    default:
      return std::nullopt;
  }
}

// Mouse columns and rows above this are taken as it.
constexpr unsigned long max_mouse_coordinate = 65535;

// Numbers in answers are small; a larger one is garbage, as is anything but digits of the base.
constexpr unsigned max_answer_number = 65535;

std::optional<unsigned> answer_number(std::string_view text, int base = 10) {
  unsigned value = 0;
  char const* const end = text.data() + text.size();
  auto const [stop, error] = std::from_chars(text.data(), end, value, base);
  if (error != std::errc{} || stop != end || value > max_answer_number) {
    return std::nullopt;
  }
  return value;
}

[[noreturn]] void throw_bad_answer(ControlSequence const& sequence) {
  throw std::runtime_error("io parse_answer(): Bad answer: " + sequence.parameter_bytes +
                           sequence.intermediate_bytes + sequence.final_byte);
}

// The ';'-separated numbers of a "\e[?..." answer; throws on any field that is not one.
// skip_empty: device attributes may end in an empty field (kitty's "\e[?62;c").
std::vector<unsigned> answer_numbers(ControlSequence const& sequence, bool skip_empty = false) {
  std::vector<unsigned> numbers;
  for (std::string const& field : split(sequence.parameter_bytes.substr(1), ';')) {
    if (skip_empty && field.empty()) {
      continue;
    }
    auto const number = answer_number(field);
    if (!number) {
      throw_bad_answer(sequence);
    }
    numbers.push_back(*number);
  }
  return numbers;
}

// The control sequences a terminal answers queries with: device attributes ("\e[?62;22c"), a
// private mode report ("\e[?2026;2$y") and the kitty keyboard flags ("\e[?7u"). Empty for
// any other sequence; throws for one of these forms with bad fields.
std::optional<Answer> control_sequence_answer(ControlSequence const& sequence) {
  if (sequence.introducer != '[' || !sequence.parameter_bytes.starts_with('?')) {
    return std::nullopt;
  }
  if (sequence.final_byte == 'c' && sequence.intermediate_bytes.empty()) {
    auto numbers = answer_numbers(sequence, true);
    if (numbers.empty()) {
      throw_bad_answer(sequence);
    }
    return answer::DeviceAttributes{std::move(numbers)};
  }
  if (sequence.final_byte == 'y' && sequence.intermediate_bytes == "$") {
    auto const numbers = answer_numbers(sequence);
    constexpr std::array reports = {ModeReport::NotRecognized, ModeReport::Set, ModeReport::Reset,
                                    ModeReport::PermanentlySet, ModeReport::PermanentlyReset};
    if (numbers.size() != 2 || numbers[1] >= reports.size()) {
      throw_bad_answer(sequence);
    }
    return answer::Mode{numbers[0], reports.at(numbers[1])};
  }
  if (sequence.final_byte == 'u' && sequence.intermediate_bytes.empty()) {
    auto const numbers = answer_numbers(sequence);
    if (numbers.size() != 1) {
      throw_bad_answer(sequence);
    }
    return answer::KittyFlags{numbers[0]};
  }
  return std::nullopt;
}

// Pairs of hex digits as the bytes they spell; empty for anything else.
std::optional<std::string> from_hex(std::string_view hex) {
  if (hex.size() % 2 != 0) {
    return std::nullopt;
  }
  std::string bytes;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    auto const byte = answer_number(hex.substr(i, 2), 16);
    if (!byte) {
      return std::nullopt;
    }
    bytes += static_cast<char>(*byte);
  }
  return bytes;
}

// "rgb:R/G/B" with 1 to 4 hex digits a component, each scaled to 8 bits.
std::optional<TrueColor> rgb_color(std::string_view text) {
  constexpr std::string_view prefix = "rgb:";
  if (!text.starts_with(prefix)) {
    return std::nullopt;
  }
  auto const components = split(std::string{text.substr(prefix.size())}, '/');
  if (components.size() != 3) {
    return std::nullopt;
  }
  std::array<std::uint8_t, 3> channels{};
  for (std::size_t i = 0; i < channels.size(); ++i) {
    std::string const& digits = components[i];
    auto const value = answer_number(digits, 16);
    if (digits.empty() || digits.size() > 4 || !value) {
      return std::nullopt;
    }
    unsigned const most = (1U << (4U * digits.size())) - 1U;
    channels.at(i) = static_cast<std::uint8_t>((*value * 255U + most / 2U) / most);
  }
  return TrueColor{channels[0], channels[1], channels[2]};
}

// OSC 10 and 11: "10;rgb:..." (foreground) and "11;rgb:..." (background).
std::optional<Answer> osc_answer(std::string_view body) {
  auto const separator = body.find(';');
  if (separator == std::string_view::npos) {
    return std::nullopt;
  }
  auto const which = answer_number(body.substr(0, separator));
  if (!which || (*which != 10 && *which != 11)) {
    return std::nullopt;
  }
  auto const color = rgb_color(body.substr(separator + 1));
  if (!color) {
    return std::nullopt;
  }
  return answer::DynamicColor{*which, *color};
}

// XTVERSION (">|name(version)") and XTGETTCAP ("1+r<hex name>=<hex value>" for a capability
// the terminal has, "0+r<hex name>" for one it lacks).
std::optional<Answer> dcs_answer(std::string_view body) {
  if (body.starts_with(">|")) {
    return answer::Version{detail::to_well_formed_u8(body.substr(2))};
  }
  if (!body.starts_with("1+r") && !body.starts_with("0+r")) {
    return std::nullopt;
  }
  bool const present = body.front() == '1';
  std::string_view const fields = body.substr(3);
  auto const equals = fields.find('=');
  auto const name = from_hex(fields.substr(0, equals));
  if (!name || name->empty()) {
    return std::nullopt;
  }
  if (equals != std::string_view::npos && (!present || !from_hex(fields.substr(equals + 1)))) {
    return std::nullopt;
  }
  return answer::Capability{*name, present};
}

[[noreturn]] void throw_unknown_final_byte(char final_byte) {
  throw std::runtime_error(std::string("io parse_key(): Unknown final_byte: ") + final_byte);
}

}  // namespace

// Every complete control sequence is looked up in one table by its final byte; the first rule
// that matches decodes it. A new kind of report is a rule here, plus a stage of its own in
// feed() if its bytes do not end with the sequence (as pasted text does).
struct InputParser::Rules {
  using Decode = Result (*)(InputParser& parser, ControlSequence const& sequence, Key key);
  using Option = bool Options::*;

  struct Rule {
    char final_byte;
    Decode decode;
    // What fixed_key reports.
    Key key{};
    // '[' or 'O' to match only sequences with that introducer; 0 matches both.
    char introducer = 0;
    // The exact parameter bytes to match; nullptr matches any.
    char const* parameters = nullptr;
    // The option that must be on for the rule to apply; nullptr for none.
    Option option = nullptr;

    [[nodiscard]] bool matches(ControlSequence const& sequence, Options const& options) const {
      return sequence.final_byte == final_byte &&
             (introducer == 0 || sequence.introducer == introducer) &&
             (parameters == nullptr || sequence.parameter_bytes == parameters) &&
             (option == nullptr || options.*option);
    }
  };

  // A key of the letter or tilde forms with the modifiers of its parameters; with the kitty
  // protocol on they may carry an event type, and a plain "1" is allowed.
  static Result modified_key(InputParser const& parser, Key base,
                             std::string const& parameter_bytes) {
    if (!parser.options_.kitty_keyboard) {
      return Event{KeyPress{base | parse_key_modifiers(parameter_bytes)}};
    }
    auto const modifiers = parse_kitty_modifiers(parameter_bytes);
    Key const key = base | mod_bits(modifiers.bits);
    if (modifiers.release) {
      return Event{KeyRelease{key}};
    }
    return Event{KeyPress{key}};
  }

  static Result fixed_key(InputParser& parser, ControlSequence const& sequence, Key key) {
    return modified_key(parser, key, sequence.parameter_bytes);
  }

  // \e[n~ keys are numbered so that the key value is 127 + n, which must stay a code point.
  static Result tilde_key(InputParser& parser, ControlSequence const& sequence, Key) {
    if (sequence.parameter_bytes.empty()) {
      throw std::runtime_error("io: parse_tilde: No Parameter Bytes");
    }
    auto const n = parameter(sequence.parameter_bytes, 0);
    if (n > max_code_point - 127) {
      throw std::out_of_range("io parse_tilde(): Key number out of range: " + std::to_string(n));
    }
    auto const base = key(static_cast<char32_t>(127 + n));
    return modified_key(parser, base, sequence.parameter_bytes);
  }

  // "\e[200~" opens a paste when pastes are asked for; otherwise, and as "\e[201~", a bracket
  // is dropped: it is never a key.
  static Result paste_bracket(InputParser& parser, ControlSequence const& sequence, Key) {
    if (parser.options_.bracketed_paste && sequence.parameter_bytes == "200") {
      parser.stage_ = Stage::Paste;
    }
    return {};
  }

  static Result focus_in(InputParser& /*parser*/, ControlSequence const& /*sequence*/, Key) {
    return Event{Focus{true}};
  }

  static Result focus_out(InputParser& /*parser*/, ControlSequence const& /*sequence*/, Key) {
    return Event{Focus{false}};
  }

  static char32_t kitty_code(std::string const& field) {
    auto const code = leading_number(field);
    if (code > max_code_point) {
      throw std::out_of_range("io parse_kitty_key(): Key code out of range: " +
                              std::to_string(code));
    }
    return static_cast<char32_t>(code);
  }

  // "\e[code[:shifted[:base]][;mods[:event][;text]]u".
  static Result kitty_key(InputParser& parser, ControlSequence const& sequence, Key) {
    auto const fields = split(sequence.parameter_bytes, ';');
    auto const codes = split(fields[0], ':');
    auto const code = kitty_code(codes[0]);
    std::optional<char32_t> shifted;
    if (codes.size() > 1 && !codes[1].empty()) {
      shifted = kitty_code(codes[1]);
    }
    auto const modifiers = parse_kitty_modifiers(sequence.parameter_bytes);
    auto const key = legacy_key(code, shifted, modifiers.bits);
    if (!key) {
      return {};
    }
    if (modifiers.release) {
      return Event{KeyRelease{*key}};
    }
    if (parser.options_.signal_keys) {
      if (auto const number = signal_of(*key)) {
        return Signal{*number};
      }
    }
    return Event{KeyPress{*key}};
  }

  // SGR ("\e[<b;x;yM", release ending in 'm') and urxvt ("\e[b+32;x;yM", release as button 3)
  // mouse reports.
  static Result mouse(InputParser& parser, ControlSequence const& sequence, Key) {
    std::string p = sequence.parameter_bytes;
    // Without parameters the encoding cannot be told (the X10 form is never asked for).
    if (p.empty()) {
      throw_unknown_final_byte(sequence.final_byte);
    }
    bool const sgr = p.front() == '<';
    if (sgr) {
      p.erase(0, 1);
    }
    // The button is 8 bits (urxvt adds 32); a column or row past max_mouse_coordinate is
    // taken as it, so a cell never wraps negative.
    unsigned long const offset = sgr ? 0 : 32;
    auto const button = parameter(p, 0);
    if (button < offset || button - offset > 255) {
      throw std::out_of_range("io parse_mouse(): Button out of range: " + std::to_string(button));
    }
    auto const c = static_cast<std::uint8_t>(button - offset);
    int const x = static_cast<int>(std::min(parameter(p, 1), max_mouse_coordinate));
    int const y = static_cast<int>(std::min(parameter(p, 2), max_mouse_coordinate));

    Mouse mouse;
    mouse.at = Point{x - 1, y - 1};
    mouse.button = static_cast<Mouse::Button>(c & 0xC3U);
    mouse.modifiers.shift = (c & 0x04U) != 0;
    mouse.modifiers.alt = (c & 0x08U) != 0;
    mouse.modifiers.ctrl = (c & 0x10U) != 0;

    if ((c & 0x20U) != 0) {
      return Event{MouseMove{mouse}};
    }
    if ((c & 0xC2U) == 0x40U) {
      return Event{MouseWheel{mouse}};
    }
    if (sequence.final_byte == 'm') {
      return Event{MouseRelease{mouse}};
    }
    if (sgr || mouse.button != Mouse::Button::None) {
      parser.previous_button_ = mouse.button;
      return Event{MousePress{mouse}};
    }
    mouse.button = parser.previous_button_;
    return Event{MouseRelease{mouse}};
  }

  // CSI and SS3 keys share the table.
  static std::span<Rule const> table() {
    static constexpr Rule rules[] = {
        {'~', paste_bracket, {}, '[', "200"},
        {'~', paste_bracket, {}, '[', "201"},
        {'I', focus_in, {}, '[', "", &Options::focus_reports},
        {'O', focus_out, {}, '[', "", &Options::focus_reports},
        {'u', kitty_key, {}, '[', nullptr, &Options::kitty_keyboard},
        {'A', fixed_key, Key::ArrowUp},
        {'B', fixed_key, Key::ArrowDown},
        {'C', fixed_key, Key::ArrowRight},
        {'D', fixed_key, Key::ArrowLeft},
        {'E', fixed_key, Key::Begin},
        {'F', fixed_key, Key::End},
        {'G', fixed_key, Key::PageDown},
        {'H', fixed_key, Key::Home},
        {'I', fixed_key, Key::PageUp},
        {'L', fixed_key, Key::Insert},
        {'P', fixed_key, Key::F1},
        {'Q', fixed_key, Key::F2},
        {'R', fixed_key, Key::F3},
        {'S', fixed_key, Key::F4},
        {'Z', fixed_key, Key::BackTab},
        {'~', tilde_key},
        {'M', mouse},
        {'m', mouse},
    };
    return rules;
  }
};

InputParser::Result InputParser::feed(char byte) {
  // With answers asked for, "\e]" opens an OSC string and "\eP" a DCS string.
  if (stage_ == Stage::Escape && options_.terminal_answers && (byte == ']' || byte == 'P')) {
    stage_ = Stage::StringIntroducer;
    introducer_ = byte;
    return {};
  }
  switch (stage_) {
    case Stage::Idle:
      if (byte == escape_byte) {
        stage_ = Stage::Escape;
        return {};
      }
      break;
    case Stage::Escape:
      if (byte == '[' || byte == 'O') {
        stage_ = Stage::Introducer;
        introducer_ = byte;
        return {};
      }
      // Escape, Escape: the first is the Escape key, the second may start a sequence.
      if (byte == escape_byte) {
        return Event{KeyPress{Key::Escape}};
      }
      // Escape before a non-ASCII character: the whole character is read, so none of its bytes
      // are left behind to be taken for separate keys.
      if (static_cast<unsigned char>(byte) >= 0x80) {
        alt_ = true;
        break;
      }
      // Alt sent as an escape prefix.
      stage_ = Stage::Idle;
      return Event{KeyPress{key(static_cast<unsigned char>(byte)) | Mod::Alt}};
    case Stage::Introducer:
      stage_ = Stage::ControlSequence;
      bytes_.clear();
      [[fallthrough]];
    case Stage::ControlSequence:
      bytes_ += byte;
      if (is_final_byte(byte)) {
        return finish_control_sequence();
      }
      if (bytes_.size() >= max_control_sequence_bytes) {
        reset();
        return Undecodable{std::make_exception_ptr(
            std::runtime_error("io parse_csi(): Control sequence too long."))};
      }
      return {};
    case Stage::Character:
      bytes_ += byte;
      if (bytes_.size() == character_size_) {
        return finish_character();
      }
      return {};
    case Stage::Paste:
      return feed_paste(byte);
    case Stage::StringIntroducer:
    case Stage::String:
      return feed_string(byte);
  }
  // The lead byte of a character.
  stage_ = Stage::Character;
  bytes_.assign(1, byte);
  character_size_ = character_size(byte);
  if (character_size_ == 1) {
    return finish_character();
  }
  return {};
}

InputParser::Wait InputParser::wait() const {
  switch (stage_) {
    case Stage::Idle:
      return Wait::Nothing;
    // A lone escape and the start of a sequence differ only in whether more input comes within
    // the escape wait: terminals send a whole sequence at once, but a slow link may split it.
    case Stage::Escape:
    case Stage::Introducer:
    case Stage::StringIntroducer:
      return Wait::AlreadyWaiting;
    case Stage::Paste:
      return Wait::Paste;
    case Stage::ControlSequence:
    case Stage::Character:
    case Stage::String:
      break;
  }
  return Wait::Unfinished;
}

InputParser::Result InputParser::wait_ran_out() {
  switch (stage_) {
    case Stage::Escape:
      stage_ = Stage::Idle;
      return Event{KeyPress{Key::Escape}};
    case Stage::Introducer:
    case Stage::StringIntroducer:
      stage_ = Stage::Idle;
      return Event{KeyPress{key(static_cast<unsigned char>(introducer_)) | Mod::Alt}};
    case Stage::Idle:
    case Stage::ControlSequence:
    case Stage::Character:
    case Stage::Paste:
    case Stage::String:
      break;
  }
  return {};
}

InputParser::Result InputParser::cut_paste() {
  if (stage_ != Stage::Paste) {
    return {};
  }
  std::string text = detail::to_well_formed_u8(paste_);
  reset();
  return Event{Paste{std::move(text)}};
}

void InputParser::reset() {
  stage_ = Stage::Idle;
  introducer_ = 0;
  bytes_.clear();
  character_size_ = 0;
  alt_ = false;
  // A dropped paste gives its memory back.
  std::string{}.swap(paste_);
  closing_matched_ = 0;
  string_.clear();
  string_escape_ = false;
  string_too_long_ = false;
}

InputParser::Result InputParser::finish_control_sequence() {
  char const introducer = introducer_;
  std::string const bytes = std::move(bytes_);
  reset();
  try {
    ControlSequence const sequence{introducer, bytes};
    // Answers come before the keys' table: "\e[?7u" is the kitty flags, never a key.
    if (options_.terminal_answers) {
      if (auto answer = control_sequence_answer(sequence)) {
        return *std::move(answer);
      }
    }
    for (Rules::Rule const& rule : Rules::table()) {
      if (rule.matches(sequence, options_)) {
        return rule.decode(*this, sequence, rule.key);
      }
    }
    throw_unknown_final_byte(sequence.final_byte);
  } catch (std::runtime_error const&) {
    return Undecodable{std::current_exception()};
  } catch (std::invalid_argument const&) {
    // Empty or non-numeric parameters.
    return Undecodable{std::current_exception()};
  } catch (std::out_of_range const&) {
    return Undecodable{std::current_exception()};
  }
}

InputParser::Result InputParser::finish_character() {
  std::array<char, 4> bytes{};
  for (std::size_t i = 0; i < bytes_.size(); ++i) {
    bytes[i] = bytes_[i];
  }
  char32_t const alt = alt_ ? static_cast<char32_t>(Mod::Alt) : 0;
  reset();
  char32_t const code = detail::u8_to_u32(bytes);
  if (is_c1_control(code)) {
    return {};
  }
  return Event{KeyPress{key(code) | alt}};
}

// The bytes of the closing bracket are held back while they match, so a paste that merely
// contains its start keeps it.
InputParser::Result InputParser::feed_paste(char byte) {
  constexpr std::string_view closing = "\x1b[201~";
  if (byte == closing[closing_matched_]) {
    ++closing_matched_;
    if (closing_matched_ < closing.size()) {
      return {};
    }
    std::string text = detail::to_well_formed_u8(paste_);
    reset();
    return Event{Paste{std::move(text)}};
  }
  keep_pasted(closing.substr(0, closing_matched_));
  closing_matched_ = 0;
  if (byte == closing.front()) {
    closing_matched_ = 1;
  } else {
    keep_pasted(std::string_view{&byte, 1});
  }
  return {};
}

std::size_t InputParser::take_pasted(std::string_view bytes) {
  if (stage_ != Stage::Paste || closing_matched_ != 0) {
    return 0;
  }
  std::size_t const plain = std::min(bytes.find(escape_byte), bytes.size());
  keep_pasted(bytes.substr(0, plain));
  return plain;
}

void InputParser::keep_pasted(std::string_view bytes) {
  std::size_t const room = max_paste_bytes - std::min(paste_.size(), max_paste_bytes);
  paste_.append(bytes.substr(0, room));
}

// An escape inside the body ends the string as in ECMA-48's parser: followed by '\\' it is the
// string terminator; followed by anything else the string is dropped and the escape starts a
// sequence of its own (a second escape starts it afresh).
InputParser::Result InputParser::feed_string(char byte) {
  if (stage_ == Stage::StringIntroducer) {
    stage_ = Stage::String;
    string_.clear();
    string_.reserve(max_string_bytes);
  }
  if (string_escape_) {
    if (byte == '\\') {
      return finish_string();
    }
    reset();
    stage_ = Stage::Escape;
    return byte == escape_byte ? Result{} : feed(byte);
  }
  if (byte == escape_byte) {
    string_escape_ = true;
    return {};
  }
  if (byte == '\a' && introducer_ == ']') {
    return finish_string();
  }
  if (string_too_long_) {
    return {};
  }
  if (string_.size() == max_string_bytes) {
    string_too_long_ = true;
    std::string{}.swap(string_);
    return {};
  }
  string_ += byte;
  return {};
}

InputParser::Result InputParser::finish_string() {
  bool const osc = introducer_ == ']';
  bool const too_long = string_too_long_;
  std::string const body = std::move(string_);
  reset();
  if (too_long) {
    return {};
  }
  if (auto answer = osc ? osc_answer(body) : dcs_answer(body)) {
    return *std::move(answer);
  }
  return {};
}

}  // namespace dalk
