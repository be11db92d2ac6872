#include "dalk/scancode_decoder.hpp"

#include <array>
#include <optional>
#include <string_view>

namespace dalk {
namespace {

constexpr char32_t value_of(Key key) {
  return static_cast<char32_t>(key);
}

// Indexed by a code's low seven bits; the unshifted US layout, 0 where no key sits.
constexpr std::array<char32_t, 128> keymap = [] {
  constexpr auto k = value_of;
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
  struct Entry {
    unsigned code;
    char32_t value;
  };
  constexpr auto k = value_of;
  constexpr Entry entries[] = {{0x1C, k(Key::KeypadEnter)},
                               {0x1D, k(Key::RightControl)},
                               {0x2B, 0x40003},
                               {0x36, 0x40021},
                               {0x37, 0x40005},
                               {0x38, k(Key::RightAlt)},
                               {0x39, 0x40007},
                               {0x47, k(Key::ExtendedHome)},
                               {0x48, k(Key::ExtendedArrowUp)},
                               {0x49, k(Key::ExtendedPageUp)},
                               {0x4A, 0x40014},
                               {0x4C, 0x40015},
                               {0x4E, 0x40016},
                               {0x4F, k(Key::ExtendedEnd)},
                               {0x50, k(Key::ExtendedArrowDown)},
                               {0x51, k(Key::ExtendedPageDown)},
                               {0x52, k(Key::ExtendedInsert)},
                               {0x53, k(Key::ExtendedDelete)}};
  std::array<char32_t, 56> table{};
  for (Entry const& entry : entries) {
    table[entry.code - escape_keymap_first] = entry.value;
  }
  return table;
}();

constexpr unsigned char release_bit = 0x80;

Event make_or_break(unsigned char code, char32_t value) {
  if ((code & release_bit) != 0) {
    return KeyRelease{key(value)};
  }
  return KeyPress{key(value)};
}

// The arrow key whose code (after 0xE0, going down or up) is c.
std::optional<Key> console_arrow(unsigned char c) {
  switch (c & 0x7FU) {
    case 0x48:
      return Key::ArrowUp;
    case 0x4B:
      return Key::ArrowLeft;
    case 0x4D:
      return Key::ArrowRight;
    case 0x50:
      return Key::ArrowDown;
    default:
      return std::nullopt;
  }
}

// The second byte c of a two-byte code (after 0xE0 or 0xE1), looked up in escape_keymap.
std::optional<Event> look_up_two_byte_code(unsigned char c) {
  unsigned const code = c & 0x7FU;
  if (code < escape_keymap_first || code >= escape_keymap_first + escape_keymap.size()) {
    return std::nullopt;
  }
  return make_or_break(c, escape_keymap[code - escape_keymap_first]);
}

}  // namespace

// A make code below 0x80 when a key goes down, the same code with bit 7 set when it goes up,
// and longer sequences behind 0xE0 and 0xE1. The byte after a prefix is waited for; bytes that
// only confirm a longer sequence are not, for long (Wait::Confirmation).
std::optional<Event> ScancodeDecoder::feed(unsigned char byte) {
  switch (stage_) {
    case Stage::Idle:
      break;
    case Stage::AfterE0:
      stage_ = Stage::Idle;
      return after_e0(byte);
    case Stage::AfterE1:
      stage_ = Stage::Idle;
      return after_e1(byte);
    case Stage::FakeShift:
      if (byte == 0xE0) {
        stage_ = Stage::FakeShiftPrefix;
        return std::nullopt;
      }
      stage_ = Stage::Idle;
      break;
    case Stage::FakeShiftPrefix:
      stage_ = Stage::Idle;
      if (fake_shift_ == 0x2A && byte == 0x37) {
        return KeyPress{Key::PrintScreen};
      }
      if (fake_shift_ == 0xAA && byte == 0xB7) {
        return KeyRelease{Key::PrintScreen};
      }
      return after_e0(byte);
    case Stage::Confirming:
      // A differing byte is consumed too, so a broken sequence leaves nothing of itself behind.
      if (byte != static_cast<unsigned char>(rest_.front())) {
        return give_up();
      }
      rest_.remove_prefix(1);
      if (!rest_.empty()) {
        return std::nullopt;
      }
      stage_ = Stage::Idle;
      return KeyPress{complete_};
  }
  return start(byte);
}

ScancodeDecoder::Wait ScancodeDecoder::wait() const {
  switch (stage_) {
    case Stage::Idle:
      return Wait::Nothing;
    case Stage::AfterE0:
    case Stage::AfterE1:
      return Wait::NextByte;
    case Stage::FakeShift:
    case Stage::FakeShiftPrefix:
    case Stage::Confirming:
      break;
  }
  return Wait::Confirmation;
}

std::optional<Event> ScancodeDecoder::wait_ran_out() {
  switch (stage_) {
    case Stage::FakeShift:
    case Stage::FakeShiftPrefix:
      stage_ = Stage::Idle;
      return std::nullopt;
    case Stage::Confirming:
      return give_up();
    case Stage::Idle:
    case Stage::AfterE0:
    case Stage::AfterE1:
      break;
  }
  return std::nullopt;
}

// The event that starts with byte b.
std::optional<Event> ScancodeDecoder::start(unsigned char b) {
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
      stage_ = Stage::AfterE0;
      return std::nullopt;
    case 0xE1:
      stage_ = Stage::AfterE1;
      return std::nullopt;
    default:
      return make_or_break(b, keymap[b & 0x7FU]);
  }
}

// The code c after 0xE0.
std::optional<Event> ScancodeDecoder::after_e0(unsigned char c) {
  // The arrow keys give the terminal's arrow key values, not the navigation block's.
  if (auto const arrow = console_arrow(c)) {
    return make_or_break(c, static_cast<char32_t>(*arrow));
  }
  switch (c) {
    // E0 2A and E0 AA are the "fake" left Shift that keyboards put around the navigation keys
    // (Num Lock on, or Shift held): not keys. They also open Print Screen, E0 2A E0 37 going
    // down (E0 AA E0 B7 is read as its release). So the next bytes are read if they come at
    // once; whatever key they turn out to be is reported, never dropped.
    case 0x2A:
    case 0xAA:
      stage_ = Stage::FakeShift;
      fake_shift_ = c;
      return std::nullopt;
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
      return confirm("\xE0\xC6", Key::Break, std::nullopt);
    // Right Control and Alt, keypad Enter, the navigation block.
    default:
      return look_up_two_byte_code(c);
  }
}

// The code c after 0xE1: Pause, or a two-byte code of escape_keymap.
std::optional<Event> ScancodeDecoder::after_e1(unsigned char c) {
  if (c == 0x1D) {
    // Pause sends its make and break codes at once and nothing when it goes up.
    return confirm("\x45\xE1\x9D\xC5", Key::Pause, key(escape_keymap[0x1D - escape_keymap_first]));
  }
  return look_up_two_byte_code(c);
}

std::optional<Event> ScancodeDecoder::confirm(std::string_view rest, Key complete,
                                              std::optional<Key> broken) {
  stage_ = Stage::Confirming;
  rest_ = rest;
  complete_ = complete;
  broken_ = broken;
  return std::nullopt;
}

std::optional<Event> ScancodeDecoder::give_up() {
  stage_ = Stage::Idle;
  if (broken_) {
    return KeyPress{*broken_};
  }
  return std::nullopt;
}

}  // namespace dalk
