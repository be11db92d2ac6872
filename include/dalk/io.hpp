// Input: the bytes a terminal sends on standard input (or scancodes from a raw console) become
// key, mouse, resize, paste and focus events. Only the input thread reads.
#pragma once

#include <poll.h>

#include <cstdint>
#include <exception>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <variant>

#include "dalk/answers.hpp"
#include "dalk/sequence.hpp"

namespace dalk {

/// A key value: a code point as typed, a special key (128 to 159), a console-only key
/// (0x40000 upward), any of them OR-ed with Mod bits.
enum class Key : char32_t {
  Tab = 9,
  Enter = 13,
  Escape = 27,
  Space = 32,
  Backspace = 127,
  Home = 128,
  Insert = 129,
  Delete = 130,
  End = 131,
  PageUp = 132,
  PageDown = 133,
  F1 = 138,
  F2 = 139,
  F3 = 140,
  F4 = 141,
  F5 = 142,
  F6 = 144,
  F7 = 145,
  F8 = 146,
  F9 = 147,
  F10 = 148,
  F11 = 150,
  F12 = 151,
  ArrowDown = 152,
  ArrowUp = 153,
  ArrowLeft = 154,
  ArrowRight = 155,
  BackTab = 156,
  Begin = 159,

  // Console-only keys (KeyMode::Raw): keys of a PC keyboard that a terminal's byte stream
  // cannot report on their own. They never carry Mod bits. Values of this range without a
  // name (0x40003, 0x40005, 0x40007, 0x4000E, 0x40014 to 0x40016, 0x40021, 0x4002C) are
  // reported as plain numbers.
  LeftControl = 0x40000,
  RightControl = 0x40001,
  LeftShift = 0x40002,
  RightShift = 0x40004,
  LeftAlt = 0x40006,
  CapsLock = 0x40008,
  NumLock = 0x40009,
  ScrollLock = 0x4000A,
  PrintScreen = 0x4000B,
  RightAlt = 0x4000C,
  SysRq = 0x4000D,
  Pause = 0x4000F,
  Break = 0x40010,
  // The navigation block as the two-byte code table names it; the console's arrow keys
  // (E0 48 and its neighbours) arrive as ArrowUp and its neighbours instead.
  ExtendedHome = 0x40011,
  ExtendedArrowUp = 0x40012,
  ExtendedPageUp = 0x40013,
  ExtendedEnd = 0x40017,
  ExtendedArrowDown = 0x40018,
  ExtendedPageDown = 0x40019,
  ExtendedInsert = 0x4001A,
  ExtendedDelete = 0x4001B,
  KeypadEnter = 0x4001C,
  KeypadMultiply = 0x4001D,
  KeypadMinus = 0x4001E,
  KeypadPlus = 0x4001F,
  KeypadDecimal = 0x40020,
  Keypad0 = 0x40022,
  Keypad1 = 0x40023,
  Keypad2 = 0x40024,
  Keypad3 = 0x40025,
  Keypad4 = 0x40026,
  Keypad5 = 0x40027,
  Keypad6 = 0x40028,
  Keypad7 = 0x40029,
  Keypad8 = 0x4002A,
  Keypad9 = 0x4002B,
};

/// Modifier bits of a key value.
enum class Mod : char32_t {
  Shift = 1U << 30,
  Ctrl = 1U << 29,
  Alt = 1U << 28,
  Meta = 1U << 27,
};

constexpr Key operator|(Key key, Mod mod) {
  return static_cast<Key>(static_cast<char32_t>(key) | static_cast<char32_t>(mod));
}
constexpr Key operator|(Mod mod, Key key) {
  return key | mod;
}
constexpr Key operator|(Key key, char32_t bits) {
  return static_cast<Key>(static_cast<char32_t>(key) | bits);
}
constexpr char32_t operator|(Mod a, Mod b) {
  return static_cast<char32_t>(a) | static_cast<char32_t>(b);
}

/// A key value made of a code point.
constexpr Key key(char32_t code_point) {
  return static_cast<Key>(code_point);
}

/// All four modifier bits.
inline constexpr char32_t modifier_bits = (1U << 30) | (1U << 29) | (1U << 28) | (1U << 27);

/// The key value without its modifier bits.
constexpr Key strip_modifiers(Key key) {
  return static_cast<Key>(static_cast<char32_t>(key) & ~modifier_bits);
}

/// Whether mod is set in key.
constexpr bool has_modifier(Key key, Mod mod) {
  return (static_cast<char32_t>(key) & static_cast<char32_t>(mod)) != 0;
}

/// A mouse report.
struct Mouse {
  enum class Button : std::uint16_t {
    Left = 0,
    Middle = 1,
    Right = 2,
    None = 3,
    ScrollUp = 64,
    ScrollDown = 65,
  };
  struct Modifiers {
    bool shift = false;
    bool ctrl = false;
    bool alt = false;
    friend constexpr bool operator==(Modifiers, Modifiers) = default;
  };

  /// The cell of the report, 0-based; relative to the receiving widget inside the widget layer.
  Point at;
  Button button = Button::Left;
  Modifiers modifiers;
  friend constexpr bool operator==(Mouse, Mouse) = default;
};

namespace detail {

/// A mouse report of one kind (press, release, wheel step, move): the kinds differ only in type.
template <typename Kind>
struct MouseEvent {
  Mouse mouse;
  friend constexpr bool operator==(MouseEvent, MouseEvent) = default;
};

/// A key going down or up.
template <typename Kind>
struct KeyEvent {
  Key key;
  friend constexpr bool operator==(KeyEvent, KeyEvent) = default;
};

}  // namespace detail

using MousePress = detail::MouseEvent<struct MousePressKind>;
using MouseRelease = detail::MouseEvent<struct MouseReleaseKind>;
using MouseWheel = detail::MouseEvent<struct MouseWheelKind>;
using MouseMove = detail::MouseEvent<struct MouseMoveKind>;
using KeyPress = detail::KeyEvent<struct KeyPressKind>;
/// From the console scancode path, and from terminals that report key releases.
using KeyRelease = detail::KeyEvent<struct KeyReleaseKind>;
struct Resize {
  Area area;
  friend constexpr bool operator==(Resize, Resize) = default;
};

/// Text the user pasted, delivered whole (bracketed paste). Valid UTF-8: bytes the terminal
/// sent that are not are replaced by U+FFFD.
struct Paste {
  std::string text;
  friend bool operator==(Paste const&, Paste const&) = default;
};
/// The terminal window gained (true) or lost (false) the input focus.
struct Focus {
  bool focused = false;
  friend constexpr bool operator==(Focus, Focus) = default;
};

/// The terminal answered after start-up (Extension::TerminalAnswers): everything answered so
/// far, the new answer merged in.
struct AnswersChanged {
  TerminalAnswers answers;
  friend bool operator==(AnswersChanged const&, AnswersChanged const&) = default;
};

/// Later events come last so the indices of the older alternatives stay.
using Event = std::variant<MousePress, MouseRelease, MouseWheel, MouseMove, KeyPress, KeyRelease,
                           Resize, Paste, Focus, AnswersChanged>;

/// Input that could not be decoded: its bytes are consumed and reading can go on with the next
/// ones. error is what dalk::read throws for it.
struct Undecodable {
  std::exception_ptr error;
};

/// What the read functions throw once standard input (or the console keyboard) can give no more:
/// end of input, or the terminal hung up. Reading cannot go on. Under vn::Terminal it leaves
/// Application::run() after the terminal is restored. Message: "io read(): End of input."
class InputEnded : public std::runtime_error {
 public:
  InputEnded();
  ~InputEnded() override;
};

/// Waits as long as it takes for the next event; a pending window-size change comes first.
/// Undecodable sequences throw std::runtime_error with a message beginning "io" (the bytes read
/// so far are consumed, the rest stays unread), and so does a control sequence that runs to
/// 256 bytes without a final byte, and a control sequence or UTF-8 character whose next byte
/// does not come within about 100 ms ("io read(): Sequence cut short."; its bytes are dropped
/// and the next byte starts afresh); empty or non-numeric parameters throw std::invalid_argument
/// or std::out_of_range; end of input and a hang-up throw InputEnded, any other failed read
/// std::runtime_error "read_byte(fd): Failed: <errno>" (the errno of that read). A signal that
/// interrupts a read or a wait is not a failure: it goes on. Standard input is read without
/// blocking: bytes gone between the wait and the read, and the end-of-file character of a
/// terminal in line mode, give nothing.
/// After an escape byte, or "\e[" / "\eO", the rest may take up to escape_wait() (50 ms by
/// default, dalk/answers.hpp); Escape followed by a key within it reports the key with Mod::Alt,
/// a non-ASCII character included, and Escape, Escape is two Escape keys (the second may begin
/// a sequence). Standard input is read in blocks of what is available. A paste whose bytes stop
/// coming for 500 ms is delivered as far as it came.
/// While the console keyboard is in raw mode (detail::tty_file_descriptor holds a descriptor),
/// keys come from its scancodes as KeyPress and KeyRelease, the key presses of the byte stream
/// are dropped, and standard input goes first when both are readable; a scancode prefix whose
/// next byte does not come within about 100 ms gives no event. The combined wait throws
/// std::runtime_error "timeout_wait_for_reads(): Poll Error", or InputEnded when either
/// descriptor hangs up.
/// A kitty key report of a signal key with signal keys on raises that signal and reading goes on.
Event read();

/// Waits at most about timeout milliseconds for input to arrive (a negative timeout waits
/// without limit); empty if nothing arrived in time or what arrived was dropped. Once input has
/// arrived, the whole event is read; inside a paste it returns empty after each block read and
/// within the time-out while no byte comes. With the console in raw mode a scancode sequence
/// without an event gives empty, a pending resize is reported only with the next byte on standard
/// input (ahead of that byte's event; at once when the console is standard input itself). A
/// kitty key report of a signal key with signal keys on raises that signal and gives empty.
std::optional<Event> read(int timeout);

namespace detail {

/// Nothing arrived in time, or what arrived gave no event.
struct NoEvent {};
/// Kept for the alternatives' order: the read functions no longer give it (a signal that cuts a
/// wait short is waited through).
struct Interrupted {};

using ReadResult = std::variant<NoEvent, Event, Undecodable, Interrupted>;

/// dalk::read(timeout) for the input thread: what dalk::read throws for undecodable input comes
/// back as a value; InputEnded and a failed read, poll or window-size query still throw as there. A
/// byte on wake (a descriptor from input_wake_descriptor(); -1 for none) also ends the wait for
/// input, with NoEvent, and is consumed. The descriptors of watched are waited for in the same
/// poll (with their events; negative ones are passed over): one that is ready ends the wait with
/// NoEvent, unless input came too. Their revents tell which, and are written only by a wait:
/// the caller clears them (input already buffered is read without waiting).
ReadResult read_input(int timeout, int wake = -1, std::span<pollfd> watched = {});

/// The process's wake-up descriptor for read_input (an eventfd, created on the first call and
/// never closed). Throws std::runtime_error "io input_wake_descriptor(): eventfd Failed: <errno>".
int input_wake_descriptor();

/// Wakes a read_input waiting on input_wake_descriptor(); does nothing before it exists.
/// Async-signal-safe: the interrupt and window-size handlers call it.
void wake_input();

}  // namespace detail

}  // namespace dalk
