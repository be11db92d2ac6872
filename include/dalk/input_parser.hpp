// The terminal's byte stream as events: escape sequences, UTF-8 characters and mouse reports.
// The parser makes no system call; the read functions do the waiting and feed it byte by byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>

#include "dalk/io.hpp"

namespace dalk {

/// Turns the bytes a terminal sends into events, one byte per feed(). Between two bytes the
/// reader asks wait() how to wait for the next one, and calls wait_ran_out() when none came.
/// Remembers the button of the latest mouse press across events (urxvt's releases name none).
class InputParser {
 public:
  /// What a byte or a wait completed: nothing yet, an event, or an undecodable sequence.
  using Result = std::variant<std::monostate, Event, Undecodable>;

  /// How the reader waits for the next byte.
  enum class Wait : std::uint8_t {
    /// Between events: as long as the reader likes.
    Nothing,
    /// After Escape or an introducer ("\e[", "\eO"): only a byte already waiting continues it.
    AlreadyWaiting,
    /// Inside a control sequence or a UTF-8 character: until the next byte comes.
    Unfinished,
  };

  /// Takes the next byte. An undecodable sequence leaves the parser between events, its bytes
  /// consumed; so does a control sequence that runs to 256 bytes without a final byte.
  Result feed(char byte);

  /// How to wait for the next byte.
  [[nodiscard]] Wait wait() const;

  /// No byte came in the wait: a lone Escape becomes the Escape key, an introducer with nothing
  /// after it the key of its second byte. Changes nothing in the other waits.
  Result wait_ran_out();

  /// Drops a partly parsed sequence; the remembered mouse button stays.
  void reset();

 private:
  enum class Stage : std::uint8_t { Idle, Escape, Introducer, ControlSequence, Character };

  // How complete control sequences decode (input_parser.cpp).
  struct Rules;

  Result finish_control_sequence();
  Result finish_character();

  Stage stage_ = Stage::Idle;
  // '[' or 'O' once the introducer is complete.
  char introducer_ = 0;
  // The bytes after the introducer, or those of the character so far.
  std::string bytes_;
  // How many bytes the character's lead byte announces, itself included.
  std::size_t character_size_ = 0;
  Mouse::Button previous_button_ = Mouse::Button::Left;
};

}  // namespace dalk
