#include "dalk/io.hpp"

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
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

// Console scancodes (PC scancode set 1): a make code below 0x80 when a key goes down, the same
// code with bit 7 set when it goes up, and longer sequences behind 0xE0 and 0xE1.

// Indexed by a code's low seven bits; the unshifted US layout, 0 where no key sits.
constexpr std::array<char32_t, 128> keymap = [] {
  constexpr auto k = [](Key key) { return static_cast<char32_t>(key); };
  return std::array<char32_t, 128>{
      // 0x00
      0, 27, U'1', U'2', U'3', U'4', U'5', U'6',
      // 0x08
      U'7', U'8', U'9', U'0', U'-', U'=', 127, 9,
      // 0x10
      U'q', U'w', U'e', U'r', U't', U'y', U'u', U'i',
      // 0x18
      U'o', U'p', U'[', U']', 13, k(Key::LeftControl), U'a', U's',
      // 0x20
      U'd', U'f', U'g', U'h', U'j', U'k', U'l', U';',
      // 0x28
      U'\'', U'`', k(Key::LeftShift), U'\\', U'z', U'x', U'c', U'v',
      // 0x30
      U'b', U'n', U'm', U',', U'.', U'/', k(Key::RightShift), k(Key::KeypadMultiply),
      // 0x38
      k(Key::LeftAlt), U' ', k(Key::CapsLock), k(Key::F1), k(Key::F2), k(Key::F3), k(Key::F4),
      k(Key::F5),
      // 0x40
      k(Key::F6), k(Key::F7), k(Key::F8), k(Key::F9), k(Key::F10), k(Key::NumLock),
      k(Key::ScrollLock), k(Key::Keypad7),
      // 0x48
      k(Key::Keypad8), k(Key::Keypad9), k(Key::KeypadMinus), k(Key::Keypad4), k(Key::Keypad5),
      k(Key::Keypad6), k(Key::KeypadPlus), k(Key::Keypad1),
      // 0x50 (0x54 never gets here: it is SysRq, decoded before the table)
      k(Key::Keypad2), k(Key::Keypad3), k(Key::Keypad0), k(Key::KeypadDecimal), 0x4002C, 0, 0,
      k(Key::F11),
      // 0x58, then nothing up to 0x7F
      k(Key::F12)};
}();

// The second byte of a two-byte code, indexed by its low seven bits minus 0x1C: 0x1C to 0x53.
constexpr unsigned escape_keymap_first = 0x1C;
constexpr std::array<char32_t, 56> escape_keymap = [] {
  std::array<char32_t, 56> table{};
  auto set = [&table](unsigned code, char32_t value) { table[code - escape_keymap_first] = value; };
  auto set_key = [&set](unsigned code, Key key) { set(code, static_cast<char32_t>(key)); };
  set_key(0x1C, Key::KeypadEnter);
  set_key(0x1D, Key::RightControl);
  set(0x2B, 0x40003);
  set(0x36, 0x40021);
  set(0x37, 0x40005);
  set_key(0x38, Key::RightAlt);
  set(0x39, 0x40007);
  set_key(0x47, Key::ExtendedHome);
  set_key(0x48, Key::ExtendedArrowUp);
  set_key(0x49, Key::ExtendedPageUp);
  set(0x4A, 0x40014);
  set(0x4C, 0x40015);
  set(0x4E, 0x40016);
  set_key(0x4F, Key::ExtendedEnd);
  set_key(0x50, Key::ExtendedArrowDown);
  set_key(0x51, Key::ExtendedPageDown);
  set_key(0x52, Key::ExtendedInsert);
  set_key(0x53, Key::ExtendedDelete);
  return table;
}();

constexpr unsigned char release_bit = 0x80;

// A keyboard sends the bytes of one key together (on a PS/2 line about a millisecond apart).
// Bytes that only confirm a longer sequence are waited for this long at most: a sequence that
// stops early then gives no event instead of blocking the input thread until the next key.
constexpr int confirmation_wait_ms = 30;

unsigned char read_scancode_byte(int fd) {
  return static_cast<unsigned char>(read_byte(fd));
}

// Whether fd has a byte (or a hang-up, which the read then reports) within timeout ms.
bool is_scancode_byte_waiting(int fd, int timeout) {
  auto const deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout);
  for (;;) {
    pollfd entry{fd, POLLIN, 0};
    int const ready = poll(&entry, 1, timeout);
    if (ready > 0) {
      return true;
    }
    if (ready == 0) {
      return false;
    }
    if (errno != EINTR) {
      throw std::runtime_error("read_and_parse_scancode(): Poll Error");
    }
    // A signal cut the wait short; the rest of the sequence may still be on its way.
    auto const left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      return false;
    }
    timeout = static_cast<int>(left.count());
  }
}

// The next byte of a sequence, if it comes within the confirmation wait.
std::optional<unsigned char> read_confirmation_byte(int fd) {
  if (!is_scancode_byte_waiting(fd, confirmation_wait_ms)) {
    return std::nullopt;
  }
  return read_scancode_byte(fd);
}

// Reads the expected bytes one at a time and stops at the first that is missing or differs; a
// differing byte is consumed too, so a broken sequence leaves nothing of itself behind.
bool read_expected(int fd, std::initializer_list<unsigned char> expected) {
  for (unsigned char const want : expected) {
    auto const got = read_confirmation_byte(fd);
    if (!got || *got != want) {
      return false;
    }
  }
  return true;
}

Event make_or_break(unsigned char code, char32_t value) {
  if ((code & release_bit) != 0) {
    return KeyRelease{key(value)};
  }
  return KeyPress{key(value)};
}

// The second byte c of a two-byte code (after 0xE0 or 0xE1), looked up in escape_keymap.
std::optional<Event> look_up_two_byte_code(unsigned char c) {
  unsigned const code = c & 0x7FU;
  if (code < escape_keymap_first || code >= escape_keymap_first + escape_keymap.size()) {
    return std::nullopt;
  }
  return make_or_break(c, escape_keymap[code - escape_keymap_first]);
}

std::optional<Event> parse_scancode(int fd, unsigned char b);

// The code c after 0xE0.
std::optional<Event> parse_e0_scancode(int fd, unsigned char c) {
  for (;;) {
    switch (c) {
      case 0x48:
        return KeyPress{Key::ArrowUp};
      case 0x4B:
        return KeyPress{Key::ArrowLeft};
      case 0x4D:
        return KeyPress{Key::ArrowRight};
      case 0x50:
        return KeyPress{Key::ArrowDown};
      case 0xC8:
        return KeyRelease{Key::ArrowUp};
      case 0xCB:
        return KeyRelease{Key::ArrowLeft};
      case 0xCD:
        return KeyRelease{Key::ArrowRight};
      case 0xD0:
        return KeyRelease{Key::ArrowDown};
      // E0 2A and E0 AA are the "fake" left Shift that keyboards put around the navigation
      // keys (Num Lock on, or Shift held): not keys. They also open Print Screen, E0 2A E0 37
      // going down (E0 AA E0 B7 is read as its release). So the next bytes are read if they
      // come at once; whatever key they turn out to be is reported, never dropped.
      case 0x2A:
      case 0xAA: {
        auto const next = read_confirmation_byte(fd);
        if (!next) {
          return std::nullopt;
        }
        if (*next != 0xE0) {
          return parse_scancode(fd, *next);
        }
        auto const second = read_confirmation_byte(fd);
        if (!second) {
          return std::nullopt;
        }
        if (c == 0x2A && *second == 0x37) {
          return KeyPress{Key::PrintScreen};
        }
        if (c == 0xAA && *second == 0xB7) {
          return KeyRelease{Key::PrintScreen};
        }
        c = *second;
        continue;
      }
      // The "fake" right Shift, sent like E0 2A / E0 AA while right Shift is held.
      case 0x36:
      case 0xB6:
        return std::nullopt;
      // With a modifier held the keyboard sends Print Screen as E0 37 and E0 B7 alone; the
      // release that follows E0 2A E0 37 is E0 B7 E0 AA, which reads as this release too.
      case 0x37:
        return KeyPress{key(0x4000E)};
      case 0xB7:
        return KeyRelease{key(0x4000E)};
      // Ctrl+Pause: make and break together, no release of its own.
      case 0x46:
        if (read_expected(fd, {0xE0, 0xC6})) {
          return KeyPress{Key::Break};
        }
        return std::nullopt;
      // Right Control and Alt, keypad Enter, the navigation block.
      default:
        return look_up_two_byte_code(c);
    }
  }
}

// The code c after 0xE1: Pause, or a two-byte code of escape_keymap.
std::optional<Event> parse_e1_scancode(int fd, unsigned char c) {
  if (c == 0x1D) {
    // Pause sends its make and break codes at once and nothing when it goes up.
    if (read_expected(fd, {0x45, 0xE1, 0x9D, 0xC5})) {
      return KeyPress{Key::Pause};
    }
    return KeyPress{key(escape_keymap[0x1D - escape_keymap_first])};
  }
  return look_up_two_byte_code(c);
}

// The event that starts with byte b. The byte after a prefix is waited for; bytes that only
// confirm a longer sequence are not (read_confirmation_byte).
std::optional<Event> parse_scancode(int fd, unsigned char b) {
  switch (b) {
    // The keyboard controller's acknowledge, echo, test-result and error bytes. 0xAA is also
    // the release of the left Shift key, which is therefore never reported.
    case 0x00:
    case 0xAA:
    case 0xEE:
    case 0xF1:
    case 0xFA:
    case 0xFC:
    case 0xFD:
    case 0xFE:
    case 0xFF:
      return std::nullopt;
    // Alt+Print Screen.
    case 0x54:
      return KeyPress{Key::SysRq};
    case 0xD4:
      return KeyRelease{Key::SysRq};
    case 0xE0:
      return parse_e0_scancode(fd, read_scancode_byte(fd));
    case 0xE1:
      return parse_e1_scancode(fd, read_scancode_byte(fd));
    default:
      return make_or_break(b, keymap[b & 0x7FU]);
  }
}

// Reads the bytes of one scancode event.
std::optional<Event> read_and_parse_scancode(int fd) {
  return parse_scancode(fd, read_scancode_byte(fd));
}

// Waits for standard input and the console together: 0 when standard input is readable (it
// wins when both are), fd when only the console is, -1 after the time-out or a signal.
int timeout_wait_for_reads(int fd, int timeout) {
  std::array<pollfd, 2> entries{{{0, POLLIN, 0}, {fd, POLLIN, 0}}};
  int const ready = poll(entries.data(), entries.size(), timeout);
  if (ready == 0) {
    return -1;
  }
  if (ready < 0) {
    if (errno == EINTR) {
      return -1;
    }
    throw std::runtime_error("timeout_wait_for_reads(): Poll Error");
  }
  if ((entries[0].revents & POLLIN) != 0) {
    return 0;
  }
  if ((entries[1].revents & POLLIN) != 0) {
    return fd;
  }
  throw std::logic_error("timeout_wait_for_reads(): logic_error.");
}

// A program run on the console itself reads its scancodes from the very device that is its
// standard input: both descriptors share one input queue, so every byte there is a scancode
// and there is no separate byte stream to take mouse reports from.
bool is_standard_input(int console) {
  if (console == 0) {
    return true;
  }
  struct stat input {};
  struct stat other {};
  if (fstat(0, &input) != 0 || fstat(console, &other) != 0) {
    return false;
  }
  if (input.st_dev == other.st_dev && input.st_ino == other.st_ino) {
    return true;
  }
  return S_ISCHR(input.st_mode) && S_ISCHR(other.st_mode) && input.st_rdev == other.st_rdev;
}

// Terminal input while the console delivers the keys: its key presses are dropped, mouse and
// resize events pass.
std::optional<Event> without_key_presses(Event event) {
  if (std::holds_alternative<KeyPress>(event)) {
    return std::nullopt;
  }
  return event;
}

Event read_with_console(int console) {
  if (is_standard_input(console)) {
    for (;;) {
      if (detail::window_resize_sig == 1) {
        return do_blocking_read();  // reports the resize without reading a byte
      }
      if (timeout_wait_for_reads(console, -1) != -1) {
        if (auto event = read_and_parse_scancode(console)) {
          return *event;
        }
      }
    }
  }
  for (;;) {
    int const ready = timeout_wait_for_reads(console, -1);
    if (ready == 0 || detail::window_resize_sig == 1) {
      if (auto event = without_key_presses(do_blocking_read())) {
        return *event;
      }
    } else if (ready == console) {
      if (auto event = read_and_parse_scancode(console)) {
        return *event;
      }
    }
    // -1: a signal cut the wait short and left no resize to report.
  }
}

std::optional<Event> read_with_console(int console, int timeout) {
  if (is_standard_input(console)) {
    if (detail::window_resize_sig != 1 && timeout_wait_for_reads(console, timeout) == -1) {
      return std::nullopt;
    }
    if (detail::window_resize_sig == 1) {
      return do_blocking_read();  // reports the resize without reading a byte
    }
    return read_and_parse_scancode(console);
  }
  // The resize flag is not looked at here: a waiting resize comes out with the next byte on
  // standard input, ahead of that byte's event.
  int const ready = timeout_wait_for_reads(console, timeout);
  if (ready == -1) {
    return std::nullopt;
  }
  if (ready == 0) {
    return without_key_presses(do_blocking_read());
  }
  // Standard input may have become readable meanwhile, and then it goes first again.
  int const again = timeout_wait_for_reads(console, -1);
  if (again == 0) {
    return without_key_presses(do_blocking_read());
  }
  if (again == -1) {
    throw std::logic_error("do_maybe_alt_blocking_read(): signal int.");
  }
  return read_and_parse_scancode(console);
}

}  // namespace

// While the console keyboard is in raw mode (detail::tty_file_descriptor holds a descriptor),
// keys come from its scancodes and the key presses of the terminal's byte stream are dropped;
// mouse and resize events still come from the byte stream.

Event read() {
  if (detail::tty_file_descriptor) {
    return read_with_console(*detail::tty_file_descriptor);
  }
  return do_blocking_read();
}

std::optional<Event> read(int timeout) {
  if (detail::tty_file_descriptor) {
    return read_with_console(*detail::tty_file_descriptor, timeout);
  }
  if (detail::window_resize_sig != 1 && is_stdin_empty(timeout)) {
    return std::nullopt;
  }
  return do_blocking_read();
}

}  // namespace dalk
