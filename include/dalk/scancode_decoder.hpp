// Console scancodes (PC scancode set 1) as key presses and releases. The decoder makes no system
// call; the read functions wait for the console's bytes and feed it one at a time.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "dalk/io.hpp"

namespace dalk {

/// Turns the bytes of a console keyboard in raw mode into KeyPress and KeyRelease events, one
/// byte per feed(). After each byte the reader asks wait() how to wait for the next one; an
/// event, or the end of a sequence without one, leaves the decoder between sequences.
class ScancodeDecoder {
 public:
  /// How the reader waits for the next byte.
  enum class Wait : std::uint8_t {
    /// Between sequences: as long as the reader likes.
    Nothing,
    /// After a prefix (0xE0, 0xE1): until the byte comes.
    NextByte,
    /// For a byte that only confirms a longer sequence: confirmation_wait_ms at most, then
    /// wait_ran_out().
    Confirmation,
  };

  /// A keyboard sends the bytes of one key together (on a PS/2 line about a millisecond
  /// apart): a sequence that stops early gives no event instead of blocking until the next key.
  static constexpr int confirmation_wait_ms = 30;

  /// Takes the next byte; the event it completes, if any.
  std::optional<Event> feed(unsigned char byte);

  /// How to wait for the next byte.
  [[nodiscard]] Wait wait() const;

  /// The confirmation wait ran out: the sequence ends with what it had (a broken Pause is
  /// Key::RightControl, anything else nothing). Changes nothing in the other waits.
  std::optional<Event> wait_ran_out();

 private:
  enum class Stage : std::uint8_t {
    Idle,
    AfterE0,
    AfterE1,
    // After E0 2A or E0 AA, and after the 0xE0 that follows one.
    FakeShift,
    FakeShiftPrefix,
    // Inside Pause or Break, whose further bytes only confirm them.
    Confirming,
  };

  std::optional<Event> start(unsigned char byte);
  std::optional<Event> after_e0(unsigned char code);
  std::optional<Event> after_e1(unsigned char code);
  std::optional<Event> confirm(std::string_view rest, Key complete, std::optional<Key> broken);
  std::optional<Event> give_up();

  Stage stage_ = Stage::Idle;
  // 0x2A or 0xAA while in a fake Shift.
  unsigned char fake_shift_ = 0;
  // While confirming: the bytes still expected, the key they complete, the key of a break-off.
  std::string_view rest_;
  Key complete_{};
  std::optional<Key> broken_;
};

}  // namespace dalk
