// The bytes of the terminal protocols that extensions turn on, and what each asks of the input
// decoder: one row per protocol, read by terminal setup, by every way of restoring the terminal
// (the bytes prepared for the signal handlers included), by the decoder's options and by the
// frame envelope.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string_view>

#include "dalk/input_parser.hpp"
#include "dalk/terminal.hpp"

namespace dalk::detail {

/// When a protocol's bytes are written.
enum class ProtocolSpan : std::uint8_t {
  /// On once the modes are set, off before the modes are restored.
  Session,
  /// Around every frame.
  Frame,
  /// Once at start-up, before the session's protocols; nothing to undo.
  Query,
};

struct ExtensionProtocol {
  Extension extension;
  ProtocolSpan span;
  std::string_view on;
  std::string_view off;
  /// The decoder option for what the terminal then sends; null when it sends nothing new.
  bool InputParser::Options::*decodes;
};

/// The questions start-up asks (XTVERSION, DECRQM for 2026, 2027, 2004 and 1004, the kitty
/// keyboard flags, OSC 10 and 11, XTGETTCAP for "RGB" and "Tc"), then the primary device
/// attributes request: every terminal answers it, and in order, so its answer is the fence
/// after which nothing more is coming.
inline constexpr std::string_view terminal_queries =
    "\x1b[>0q"
    "\x1b[?2026$p\x1b[?2027$p\x1b[?2004$p\x1b[?1004$p"
    "\x1b[?u"
    "\x1b]10;?\x1b\\\x1b]11;?\x1b\\"
    "\x1bP+q524742\x1b\\\x1bP+q5463\x1b\\"
    "\x1b[c";

/// The session's protocols are turned on in this order and off in the reverse one: terminals
/// keep the kitty flags per screen, so they are popped while the alternate screen still shows.
/// The kitty flags pushed: 1 disambiguates escape codes (Escape, Alt+key and Ctrl+key arrive as
/// CSI u reports), 2 reports repeats and releases, 4 reports the shifted key beside the
/// unshifted one; text still arrives as text.
inline constexpr ExtensionProtocol extension_protocols[] = {
    {Extension::BracketedPaste, ProtocolSpan::Session, "\x1b[?2004h", "\x1b[?2004l",
     &InputParser::Options::bracketed_paste},
    {Extension::FocusReports, ProtocolSpan::Session, "\x1b[?1004h", "\x1b[?1004l",
     &InputParser::Options::focus_reports},
    {Extension::KittyKeyboard, ProtocolSpan::Session, "\x1b[>7u", "\x1b[<u",
     &InputParser::Options::kitty_keyboard},
    {Extension::GraphemeClusters, ProtocolSpan::Session, "\x1b[?2027h", "\x1b[?2027l", nullptr},
    {Extension::SynchronizedOutput, ProtocolSpan::Frame, "\x1b[?2026h", "\x1b[?2026l", nullptr},
    {Extension::TerminalAnswers, ProtocolSpan::Query, terminal_queries, "",
     &InputParser::Options::terminal_answers},
};

/// The row of an extension that has one.
constexpr ExtensionProtocol const& protocol(Extension extension) {
  for (ExtensionProtocol const& row : extension_protocols) {
    if (row.extension == extension) {
      return row;
    }
  }
  throw std::logic_error("protocol(): no protocol for this extension");
}

}  // namespace dalk::detail
