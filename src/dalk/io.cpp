#include "dalk/io.hpp"

#include <poll.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>

#include "dalk/console_file.hpp"
#include "dalk/signals.hpp"
#include "dalk/terminal.hpp"
#include "dalk/transcode.hpp"
#include "lum/generator.hpp"

namespace dalk {
namespace {

// Parser results.

// A complete "\e[" or "\eO" sequence, split into its parameter and intermediate bytes.
struct ControlSequence {
  std::string parameter_bytes;
  std::string intermediate_bytes;
  char final_byte = 0;

  explicit ControlSequence(std::string const& bytes) {
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

// An escape byte followed by one ordinary byte.
struct Escaped {
  char byte = 0;
};

// One character: the lead byte and the continuation bytes it announces, zeros after them.
// Also the state that collects those continuation bytes.
struct UTF8 {
  std::array<char, 4> bytes{};
};

// The window size changed.
struct Window {};

using Result = std::variant<ControlSequence, Escaped, UTF8, Window>;

// Parser states.
struct Initial {};
struct Final {
  Result result;
};
struct Escape {};
struct MaybeEscaped {};
struct MaybeCSI {
  char byte = 0;
};
struct CSI {
  std::string bytes;
};

using State = std::variant<Initial, Final, Escape, MaybeEscaped, MaybeCSI, CSI, UTF8>;

// The button of the latest press: urxvt reports every release as button 3.
Mouse::Button previous_mouse_btn = Mouse::Button::Left;

// Terminals send a few dozen bytes at most; a longer run without a final byte is garbage and
// would otherwise grow without limit.
constexpr std::size_t max_control_sequence_bytes = 256;

constexpr char escape_byte = 0x1B;

bool is_stdin_empty(int timeout) {
  pollfd entry{0, POLLIN, 0};
  int const ready = poll(&entry, 1, timeout);
  if (ready == 0) {
    return true;
  }
  if (ready < 0) {
    // A signal cut the wait short; the caller looks at the flags and waits again.
    if (errno == EINTR) {
      return true;
    }
    throw std::runtime_error("io is_file_readable(): Poll Error");
  }
  if ((entry.revents & POLLIN) == 0) {
    throw std::logic_error("io is_file_readable(): logic_error.");
  }
  return false;
}

char read_byte(int fd) {
  char byte = 0;
  if (::read(fd, &byte, 1) != 1) {
    throw std::runtime_error("read_byte(fd): Failed: " + std::to_string(errno));
  }
  return byte;
}

bool is_final_byte(char c) {
  auto const b = static_cast<unsigned char>(c);
  return b >= 0x40 && b <= 0x7E;
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

// One step of the state machine per call.
struct Step {
  State operator()(Initial) const {
    // Short slices, so a resize signal is seen even while no byte arrives; a waiting resize
    // goes ahead of waiting input.
    for (;;) {
      if (detail::window_resize_sig == 1) {
        detail::window_resize_sig = 0;
        return Final{Window{}};
      }
      if (!is_stdin_empty(30)) {
        break;
      }
    }
    char const b = read_byte(0);
    if (b == escape_byte) {
      return Escape{};
    }
    return UTF8{{b, 0, 0, 0}};
  }

  State operator()(Final final) const { return final; }

  State operator()(Escape) const {
    // A lone escape and the start of a sequence differ only in whether more input is already
    // waiting: terminals send a whole sequence at once.
    if (is_stdin_empty(0)) {
      return Final{UTF8{{escape_byte, 0, 0, 0}}};
    }
    return MaybeEscaped{};
  }

  State operator()(MaybeEscaped) const {
    char const b = read_byte(0);
    if (b == '[' || b == 'O') {
      return MaybeCSI{b};
    }
    // Escape before a non-ASCII character: read the whole character, so none of its bytes are
    // left behind to be taken for separate keys.
    if (static_cast<unsigned char>(b) >= 0x80) {
      return UTF8{{b, 0, 0, 0}};
    }
    return Final{Escaped{b}};
  }

  State operator()(MaybeCSI maybe) const {
    if (is_stdin_empty(0)) {
      return Final{Escaped{maybe.byte}};
    }
    return CSI{};
  }

  State operator()(CSI csi) const {
    char const b = read_byte(0);
    csi.bytes += b;
    if (is_final_byte(b)) {
      return Final{ControlSequence{csi.bytes}};
    }
    if (csi.bytes.size() >= max_control_sequence_bytes) {
      throw std::runtime_error("io parse_csi(): Control sequence too long.");
    }
    return csi;
  }

  State operator()(UTF8 utf8) const {
    auto const lead = static_cast<unsigned char>(utf8.bytes[0]);
    std::size_t const more =
        (lead >= 0xC0 ? 1U : 0U) + (lead >= 0xE0 ? 1U : 0U) + (lead >= 0xF0 ? 1U : 0U);
    for (std::size_t i = 1; i <= more; ++i) {
      utf8.bytes[i] = read_byte(0);
    }
    return Final{utf8};
  }
};

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

Key parse_tilde(std::string const& parameter_bytes) {
  if (parameter_bytes.empty()) {
    throw std::runtime_error("io: parse_tilde: No Parameter Bytes");
  }
  // \e[n~ keys are numbered so that the key value is 127 + n.
  return key(static_cast<char32_t>(127 + parameter<int, 0>(parameter_bytes)));
}

Event parse_key(ControlSequence const& sequence) {
  Key base{};
  switch (sequence.final_byte) {
    case 'A':
      base = Key::ArrowUp;
      break;
    case 'B':
      base = Key::ArrowDown;
      break;
    case 'C':
      base = Key::ArrowRight;
      break;
    case 'D':
      base = Key::ArrowLeft;
      break;
    case 'E':
      base = Key::Begin;
      break;
    case 'F':
      base = Key::End;
      break;
    case 'G':
      base = Key::PageDown;
      break;
    case 'H':
      base = Key::Home;
      break;
    case 'I':
      base = Key::PageUp;
      break;
    case 'L':
      base = Key::Insert;
      break;
    case 'P':
      base = Key::F1;
      break;
    case 'Q':
      base = Key::F2;
      break;
    case 'R':
      base = Key::F3;
      break;
    case 'S':
      base = Key::F4;
      break;
    case 'Z':
      base = Key::BackTab;
      break;
    case '~':
      base = parse_tilde(sequence.parameter_bytes);
      break;
    default:
      throw std::runtime_error(std::string("io parse_key(): Unknown final_byte: ") +
                               sequence.final_byte);
  }
  return KeyPress{base | parse_key_modifiers(sequence.parameter_bytes)};
}

// SGR ("\e[<b;x;yM", release ending in 'm') and urxvt ("\e[b+32;x;yM", release as button 3)
// mouse reports.
Event parse_mouse(ControlSequence const& sequence) {
  std::string p = sequence.parameter_bytes;
  // Without parameters the encoding cannot be told (the X10 form is never asked for).
  if (p.empty()) {
    throw std::runtime_error(std::string("io parse_key(): Unknown final_byte: ") +
                             sequence.final_byte);
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
    return MouseMove{mouse};
  }
  if ((c & 0xC2U) == 0x40U) {
    return MouseWheel{mouse};
  }
  if (sequence.final_byte == 'm') {
    return MouseRelease{mouse};
  }
  if (sgr || mouse.button != Mouse::Button::None) {
    previous_mouse_btn = mouse.button;
    return MousePress{mouse};
  }
  mouse.button = previous_mouse_btn;
  return MouseRelease{mouse};
}

Event to_event(Result const& result) {
  return std::visit(
      lum::Overload{
          [](Window) -> Event { return Resize{terminal_area()}; },
          [](UTF8 const& utf8) -> Event { return KeyPress{key(detail::u8_to_u32(utf8.bytes))}; },
          // Escape plus a key reports the key alone.
          [](Escaped escaped) -> Event {
            return KeyPress{key(static_cast<unsigned char>(escaped.byte))};
          },
          [](ControlSequence const& sequence) -> Event {
            if (sequence.final_byte == 'M' || sequence.final_byte == 'm') {
              return parse_mouse(sequence);
            }
            return parse_key(sequence);
          },
      },
      result);
}

Event do_blocking_read() {
  State state = Initial{};
  while (!std::holds_alternative<Final>(state)) {
    state = std::visit(Step{}, std::move(state));
  }
  return to_event(std::get<Final>(state).result);
}

}  // namespace

// Console scancode input hooks in at these two functions: while detail::tty_file_descriptor
// holds a descriptor (KeyMode::Raw), keys are to be taken from the console and the key presses
// of the byte stream dropped, while mouse and resize events still come from the byte stream.
// Until that path exists the byte stream alone serves both cases.

Event read() {
  return do_blocking_read();
}

std::optional<Event> read(int timeout) {
  if (detail::window_resize_sig != 1 && is_stdin_empty(timeout)) {
    return std::nullopt;
  }
  return read();
}

}  // namespace dalk
