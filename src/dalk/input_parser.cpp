#include "dalk/input_parser.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>

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

// Field N (from 0) of a ';'-separated parameter string. With fewer fields the last one is
// read again; an empty or non-numeric field throws from std::stoul.
template <typename T, int N>
T parameter(std::string p) {
  for (int i = 0; i < N; ++i) {
    auto const separator = p.find(';');
    if (separator != std::string::npos) {
      p.erase(0, separator + 1);
    }
  }
  auto const separator = p.find(';');
  if (separator != std::string::npos) {
    p.erase(separator);
  }
  return static_cast<T>(std::stoul(p, nullptr, 10));
}

char32_t parse_key_modifiers(std::string const& parameter_bytes) {
  if (parameter_bytes.empty() || parameter_bytes.find(';') == std::string::npos) {
    return 0;
  }
  int const m = parameter<int, 1>(parameter_bytes);
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

[[noreturn]] void throw_unknown_final_byte(char final_byte) {
  throw std::runtime_error(std::string("io parse_key(): Unknown final_byte: ") + final_byte);
}

}  // namespace

// Every complete control sequence is looked up in one table by its final byte; the first rule
// that matches decodes it. A new kind of report is a rule here, plus a stage of its own in
// feed() if its bytes do not end with the sequence (as pasted text does).
struct InputParser::Rules {
  using Decode = Result (*)(InputParser& parser, ControlSequence const& sequence, Key key);

  struct Rule {
    char final_byte;
    Decode decode;
    // What fixed_key reports.
    Key key{};
    // '[' or 'O' to match only sequences with that introducer; 0 matches both.
    char introducer = 0;
    // The exact parameter bytes to match; nullptr matches any.
    char const* parameters = nullptr;

    [[nodiscard]] bool matches(ControlSequence const& sequence) const {
      return sequence.final_byte == final_byte &&
             (introducer == 0 || sequence.introducer == introducer) &&
             (parameters == nullptr || sequence.parameter_bytes == parameters);
    }
  };

  static Result fixed_key(InputParser& /*parser*/, ControlSequence const& sequence, Key key) {
    return Event{KeyPress{key | parse_key_modifiers(sequence.parameter_bytes)}};
  }

  // \e[n~ keys are numbered so that the key value is 127 + n.
  static Result tilde_key(InputParser& /*parser*/, ControlSequence const& sequence, Key) {
    if (sequence.parameter_bytes.empty()) {
      throw std::runtime_error("io: parse_tilde: No Parameter Bytes");
    }
    auto const base = key(static_cast<char32_t>(127 + parameter<int, 0>(sequence.parameter_bytes)));
    return Event{KeyPress{base | parse_key_modifiers(sequence.parameter_bytes)}};
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
    auto const c = static_cast<std::uint8_t>(parameter<int, 0>(p) - (sgr ? 0 : 32));
    int const x = parameter<int, 1>(p);
    int const y = parameter<int, 2>(p);

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
      // Escape before a non-ASCII character: the whole character is read, so none of its bytes
      // are left behind to be taken for separate keys.
      if (static_cast<unsigned char>(byte) >= 0x80) {
        break;
      }
      // Escape plus a key reports the key alone.
      stage_ = Stage::Idle;
      return Event{KeyPress{key(static_cast<unsigned char>(byte))}};
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
    // A lone escape and the start of a sequence differ only in whether more input is already
    // waiting: terminals send a whole sequence at once.
    case Stage::Escape:
    case Stage::Introducer:
      return Wait::AlreadyWaiting;
    case Stage::ControlSequence:
    case Stage::Character:
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
      stage_ = Stage::Idle;
      return Event{KeyPress{key(static_cast<unsigned char>(introducer_))}};
    case Stage::Idle:
    case Stage::ControlSequence:
    case Stage::Character:
      break;
  }
  return {};
}

void InputParser::reset() {
  stage_ = Stage::Idle;
  introducer_ = 0;
  bytes_.clear();
  character_size_ = 0;
}

InputParser::Result InputParser::finish_control_sequence() {
  char const introducer = introducer_;
  std::string const bytes = std::move(bytes_);
  reset();
  try {
    ControlSequence const sequence{introducer, bytes};
    for (Rules::Rule const& rule : Rules::table()) {
      if (rule.matches(sequence)) {
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
  reset();
  return Event{KeyPress{key(detail::u8_to_u32(bytes))}};
}

}  // namespace dalk
