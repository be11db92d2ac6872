// The terminal's byte stream as events: escape sequences, UTF-8 characters, mouse reports and,
// where the terminal was asked for them, pastes, focus reports and kitty key reports. The parser
// makes no system call; the read functions do the waiting and feed it byte by byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "dalk/answers.hpp"
#include "dalk/io.hpp"

namespace dalk {

/// Turns the bytes a terminal sends into events, one byte per feed(). Between two bytes the
/// reader asks wait() how to wait for the next one, and calls wait_ran_out() when none came.
/// Escape before a key gives the key with Mod::Alt; Escape, Escape is two Escape keys.
/// Remembers the button of the latest mouse press across events (urxvt's releases name none).
/// C1 control characters (U+0080 to U+009F) give nothing; numbers in sequences are bounded
/// (docs/terminal.md, Known input ambiguities).
class InputParser {
 public:
  /// A key report the line discipline would have turned into this signal (SIGINT, SIGQUIT or
  /// SIGTSTP) had the terminal sent the key's control byte; the reader raises it.
  struct Signal {
    int number = 0;
  };
  /// What a byte or a wait completed: nothing yet (also a sequence dropped without an event), an
  /// event, an undecodable sequence, a signal to raise, or the terminal's answer to a query.
  using Result = std::variant<std::monostate, Event, Undecodable, Signal, Answer>;

  /// The reports the terminal was asked for. All off decodes exactly as for a terminal without
  /// extensions, except that paste brackets are always dropped.
  struct Options {
    /// "\e[200~" opens a paste that "\e[201~" closes: one Paste event. Off: the brackets are
    /// dropped and the bytes between them are keys.
    bool bracketed_paste = false;
    /// "\e[I" and "\e[O" are Focus events. Off: "\e[I" is PageUp, "\e[O" undecodable.
    bool focus_reports = false;
    /// The kitty keyboard protocol: "\e[<code>;<mods>:<event>u" and the event types of the
    /// letter and tilde forms, as the key values the legacy encoding gives (Ctrl+C is key 3)
    /// plus Mod bits; event type 3 is a KeyRelease.
    bool kitty_keyboard = false;
    /// With kitty_keyboard: presses of Ctrl+C, Ctrl+\ and Ctrl+Z come as Signal, as the line
    /// discipline (signal keys on) would have raised them from the legacy bytes.
    bool signal_keys = false;
    /// The terminal was asked about itself: its answers (device attributes, mode reports, kitty
    /// flags, XTVERSION, XTGETTCAP, OSC colours) come as Answer, never as keys. "\e]" opens an
    /// OSC string (ended by BEL or ST) and "\eP" a DCS string (ended by ST); strings that are no
    /// answer, or are malformed, are dropped. XTGETTCAP answers are read one capability each.
    bool terminal_answers = false;
    friend constexpr bool operator==(Options, Options) = default;
  };

  /// The most a paste keeps; the rest, up to the closing bracket, is dropped.
  static constexpr std::size_t max_paste_bytes = std::size_t{16} << 20U;
  /// The most an OSC or DCS string keeps; a longer one is dropped whole, its bytes up to the
  /// terminator swallowed.
  static constexpr std::size_t max_string_bytes = 4096;

  /// Takes effect with the next sequence.
  void set_options(Options options) { options_ = options; }
  [[nodiscard]] Options options() const { return options_; }

  /// How the reader waits for the next byte.
  enum class Wait : std::uint8_t {
    /// Between events: as long as the reader likes.
    Nothing,
    /// After Escape or an introducer ("\e[", "\eO", and "\e]" and "\eP" where answers are
    /// read): the escape wait (dalk::escape_wait()),
    /// counted from the latest byte; a byte already waiting or one that comes within it
    /// continues the sequence, or is the key that Escape prefixes with Alt.
    AlreadyWaiting,
    /// Inside a control sequence, an OSC or DCS string or a UTF-8 character: until the next byte
    /// comes.
    Unfinished,
    /// Inside a paste, whose bytes may pause on a slow link: the paste stays open across waits
    /// until its closing bracket comes.
    Paste,
  };

  /// Takes the next byte. An undecodable sequence leaves the parser between events, its bytes
  /// consumed; so does a control sequence that runs to 256 bytes without a final byte.
  Result feed(char byte);

  /// How to wait for the next byte.
  [[nodiscard]] Wait wait() const;

  /// No byte came in the wait: a lone Escape becomes the Escape key, an introducer with nothing
  /// after it the key of its second byte with Mod::Alt. Changes nothing in the other waits.
  Result wait_ran_out();

  /// Inside an open paste: takes at once the leading bytes of `bytes` that cannot begin its
  /// closing bracket (those before the next escape byte) and returns how many; the reader feeds
  /// the rest byte by byte. Outside a paste, or with a closing bracket begun, takes none.
  std::size_t take_pasted(std::string_view bytes);

  /// The bytes of an open paste stopped coming: what came is a Paste event, the bytes of a
  /// closing bracket begun dropped. Outside a paste nothing.
  Result cut_paste();

  /// Drops a partly parsed sequence or paste; the remembered mouse button and the options stay.
  void reset();

 private:
  enum class Stage : std::uint8_t {
    Idle,
    Escape,
    Introducer,
    ControlSequence,
    Character,
    Paste,
    // "\e]" or "\eP" with answers asked for, then the string's body.
    StringIntroducer,
    String,
  };

  // How complete control sequences decode (input_parser.cpp).
  struct Rules;

  Result finish_control_sequence();
  Result finish_character();
  Result feed_paste(char byte);
  void keep_pasted(std::string_view bytes);
  Result feed_string(char byte);
  Result finish_string();

  Stage stage_ = Stage::Idle;
  // '[' or 'O' once the introducer is complete; ']' or 'P' for a string.
  char introducer_ = 0;
  // The bytes after the introducer, or those of the character so far.
  std::string bytes_;
  // How many bytes the character's lead byte announces, itself included.
  std::size_t character_size_ = 0;
  // The character follows an escape byte: it is reported with Mod::Alt.
  bool alt_ = false;
  // The pasted bytes so far, and how many bytes of the closing bracket the latest ones match.
  std::string paste_;
  std::size_t closing_matched_ = 0;
  // An OSC or DCS string's body so far; whether its latest byte was an escape; whether it ran
  // past max_string_bytes (its body is then no longer kept).
  std::string string_;
  bool string_escape_ = false;
  bool string_too_long_ = false;
  Mouse::Button previous_button_ = Mouse::Button::Left;
  Options options_;
};

namespace detail {

/// The options of the parser that the read functions feed standard input to; each read takes
/// them afresh. Terminal initialization sets them from its extensions and signal mode. Any
/// thread.
void set_terminal_input_options(InputParser::Options options);
InputParser::Options terminal_input_options();

}  // namespace detail

}  // namespace dalk
