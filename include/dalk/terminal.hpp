// Terminal modes: the line discipline of standard input, the xterm private modes (alternate
// screen, cursor, mouse reporting, auto-wrap) and, on a system console, the keyboard mode.
// Initialization saves the terminal's attributes and installs the signal handlers;
// uninitialize_terminal() puts everything back.
#pragma once

#include <concepts>
#include <cstdint>
#include <string_view>

#include "dalk/answers.hpp"
#include "dalk/sequence.hpp"

namespace dalk {

enum class Echo : std::uint8_t { On = 0, Off = 1 };
enum class InputBuffer : std::uint8_t { Normal = 0, NoBuffer = 1 };
enum class Signals : std::uint8_t { On = 0, Off = 1 };
enum class KeyMode : std::uint8_t { Normal = 0, Raw = 1 };
enum class ScreenBuffer : int { Normal = 0, Alternate = 1 };
enum class CursorMode : int { Show = 0, Hide = 1 };
enum class MouseMode : int { Off = 0, Basic = 1, Drag = 2, Move = 3 };
/// The text cursor's shape, as DECSCUSR numbers it ("\e[<n> q").
enum class CursorShape : int {
  /// The terminal's own shape, as its user set it.
  Default = 0,
  BlinkingBlock = 1,
  SteadyBlock = 2,
  BlinkingUnderline = 3,
  SteadyUnderline = 4,
  BlinkingBar = 5,
  SteadyBar = 6,
};

/// Terminal protocols beyond the basic session, each opt-in: without any, the session writes
/// exactly the basic mode sequences. Turned on after the modes and off again by every way of
/// restoring the terminal.
enum class Extension : std::uint16_t {
  /// Mode 2004: a paste arrives as one Paste event instead of one key per byte.
  BracketedPaste = 1U << 0U,
  /// Mode 1004: the window gaining and losing focus arrive as Focus events.
  FocusReports = 1U << 1U,
  /// Mode 2026 around every commit, so a frame never shows half drawn.
  SynchronizedOutput = 1U << 2U,
  /// The kitty keyboard protocol's progressive enhancement, where the terminal has it.
  KittyKeyboard = 1U << 3U,
  /// The input thread sleeps until input, a signal or a stop request, instead of waking
  /// every 16 ms.
  QuietIdle = 1U << 4U,
  /// Commits write only what changed, as briefly as the terminal allows: cursor moves only
  /// where the next cell is not where the cursor stands, brush changes of only what differs,
  /// erases for blank runs and the terminal's scrolling for rows that moved as a block
  /// (docs/terminal.md). Writes nothing at initialization.
  CompactOutput = 1U << 5U,
  /// With CompactOutput, runs of one glyph are written once and repeated with REP
  /// ("\e[<n>b"); only for terminals known to have it (xterm, libvterm).
  RepeatGlyph = 1U << 6U,
  /// True colours are written as the nearest colour of the 256-entry palette.
  Colors256 = 1U << 7U,
  /// Every colour is written as the nearest of the 16 basic ones.
  Colors16 = 1U << 8U,
  /// Every colour is written as the nearest of the 8 basic ones.
  Colors8 = 1U << 9U,
  /// Every colour is written as the terminal's default; traits stay.
  NoColor = 1U << 10U,
  /// Start-up asks the terminal what it is and has, behind a primary device attributes request
  /// whose answer ends a short wait (dalk/answers.hpp); the session then pushes the kitty flags
  /// and writes synchronized output only where the terminal has them.
  TerminalAnswers = 1U << 11U,
  /// Where the terminal answers that it shows true colour, frames use it whatever colour bit is
  /// set (NoColor stays). output_extensions() sets it.
  ColorsFromAnswers = 1U << 12U,
  /// With TerminalAnswers: mode 2027 where the terminal answers that it has it, so that it lays
  /// out whole grapheme clusters and the library measures with text::WidthModel::Clusters
  /// (dalk/cluster.hpp) until the session ends. Elsewhere text is laid out code point by code
  /// point, as without it.
  GraphemeClusters = 1U << 13U,
};
using Extensions = detail::Mask<Extension>;

constexpr Extensions operator|(Extension a, Extension b) {
  return Extensions{a} | Extensions{b};
}

/// What interactive applications should turn on whatever the terminal: the input protocols
/// (bracketed paste, focus reports, the kitty keyboard), synchronized output, the quiet idle,
/// grapheme clusters and the terminal's answers, which decide whether the kitty flags are pushed,
/// frames synchronized and clusters laid out whole. Terminals that lack one ignore its sequences.
/// The output extensions depend on the terminal: add output_extensions()
/// (dalk/output_profile.hpp) for them.
inline constexpr Extensions recommended_extensions =
    Extension::BracketedPaste | Extension::FocusReports | Extension::SynchronizedOutput |
    Extension::KittyKeyboard | Extension::QuietIdle | Extension::TerminalAnswers |
    Extension::GraphemeClusters;

/// The mode types accepted by set().
template <typename T>
concept Setable = std::same_as<T, Echo> || std::same_as<T, InputBuffer> ||
    std::same_as<T, Signals> || std::same_as<T, KeyMode> || std::same_as<T, ScreenBuffer> ||
    std::same_as<T, CursorMode> || std::same_as<T, MouseMode> || std::same_as<T, CursorShape>;

// The termios setters act on descriptor 0 with TCSAFLUSH, so each also discards unread input.
void set(Echo mode);
void set(InputBuffer mode);
void set(Signals mode);
/// Raw opens the console and switches its keyboard to scancodes; Normal switches an open
/// console back to translated mode and does nothing otherwise.
void set(KeyMode mode);
void set(ScreenBuffer mode);
void set(CursorMode mode);
/// Mouse tracking with the SGR encoding, or urxvt's under rxvt-unicode.
void set(MouseMode mode);
/// Writes "\e[<n> q". From then on every way of restoring the terminal writes "\e[0 q" (the
/// terminal's own shape), and taking it back after a stop writes the latest shape again.
void set(CursorShape shape);

/// Writes the window title as "\e]2;<title>\e\\", control characters left out and malformed
/// UTF-8 replaced by U+FFFD. The first call since the last restoration first saves the
/// terminal's title ("\e[22;0t"); every way of restoring the terminal then puts it back
/// ("\e[23;0t"), and taking it back after a stop sets the title again. Without a call no title
/// byte is ever written. Call it, and set(CursorShape), from the thread that writes to the
/// terminal (in the widget layer, the event-loop thread).
void set_title(std::string_view title);

/// Applies each mode in turn, left to right.
template <Setable... Modes>
requires(sizeof...(Modes) != 1) void set(Modes... modes) {
  (set(modes), ...);
}

/// Saves the attributes of standard input, makes stdout fully buffered (4096 bytes), installs
/// the signal handlers and applies the modes, then turns the extensions on (docs/terminal.md
/// lists their sequences) and tells the input decoder about them. A std::runtime_error while
/// applying the modes restores the terminal, prints "Error: <message>" on standard error and
/// exits with status 1. With Extension::TerminalAnswers it then asks the terminal about itself
/// and reads until the device attributes answer comes or answer_wait() has passed (events read
/// meanwhile are read again later), and acts on the answers as use_answers() does. One session
/// at a time: while one is live (until uninitialize_terminal()), throws std::logic_error
/// "initialize_terminal(): a terminal session is already live" and changes nothing.
void initialize_terminal(ScreenBuffer screen, MouseMode mouse, CursorMode cursor, Echo echo,
                         InputBuffer input, Signals signals, KeyMode keys,
                         bool install_interrupt_handler, Extensions extensions = {});
/// Acts on the answers (also those of an AnswersChanged event): pushes the kitty flags where the
/// terminal reported the protocol, turns synchronized output on where it has it and mode 2027
/// (with the cluster width model) where it reported that mode. Nothing
/// without TerminalAnswers in the session. It writes: call it on the thread that writes to the
/// terminal (vn's event loop does).
void use_answers(TerminalAnswers const& answers);
/// Whether the terminal's answers show synchronized output (mode 2026 reported, or a terminal
/// known to have it); with TerminalAnswers, frames are synchronized only then. Any thread; one
/// atomic load.
bool synchronized_output_confirmed();
/// Alternate screen, hidden cursor, no echo, unbuffered input, and the given extensions.
void initialize_interactive_terminal(MouseMode mouse, KeyMode keys, Signals signals,
                                     Extensions extensions = {});
/// Normal screen, visible cursor, echo, line input, signal keys, no mouse.
void initialize_normal_terminal();
/// The extensions of the latest initialization off (first, while its screen still shows),
/// auto-wrap on, normal screen, mouse off, cursor shown, the cursor shape and the title back
/// where set(CursorShape) or set_title() changed them, console keyboard translated, the
/// attributes saved by the latest initialization back (none before one), the console descriptor
/// closed (unless it is one of descriptors 0 to 2) and forgotten. If the console keyboard cannot be
/// switched back, everything else is still done and then std::runtime_error "set_keyboard_mode():
/// Failed." is thrown.
void uninitialize_terminal();

/// Standard input and output as they were before move_streams_to() put a terminal in their
/// place: the original descriptors, kept above 2 and closed on exec, or -1 for one that was a
/// terminal already and stayed where it was.
struct KeptStreams {
  int input = -1;
  int output = -1;
};

/// Puts the terminal `tty` (an open descriptor, which this call takes over and closes) on
/// descriptor 0 and on descriptor 1 wherever they are not terminals, so that a program reading a
/// pipe and writing a file can still run a session on its controlling terminal; stdout is flushed
/// first. Returns the originals, kept until put_back_streams(). Every restoration from a signal
/// that ends the process (and a failed initialization) puts them back too, after the terminal;
/// a stop keeps them moved. Throws std::logic_error "move_streams_to(): the standard streams are
/// already moved" and std::runtime_error "move_streams_to(): <strerror>" when a descriptor
/// cannot be duplicated; nothing is moved then.
KeptStreams move_streams_to(int tty);
/// Flushes stdout and puts the originals kept by move_streams_to() back on descriptors 0 and 1,
/// closing the copies; nothing when none are kept.
void put_back_streams();

/// The largest size the terminal is reported with: a window the kernel says is larger (up to
/// 65535 x 65535) counts as this large, so the grids stay bounded (about 40 MiB each). No real
/// terminal window comes near it.
inline constexpr int max_terminal_columns = 2048;
inline constexpr int max_terminal_rows = 1024;

/// Columns of standard output, at most max_terminal_columns. Throws std::runtime_error
/// "terminal terminal_width(): Can't Read Window Size." when it cannot be read, InputEnded
/// (dalk/io.hpp) when the terminal has hung up.
int terminal_width();
/// Rows of standard input, at most max_terminal_rows. Throws std::runtime_error
/// "terminal terminal_height(): Can't Read Window Size." when it cannot be read, InputEnded
/// when the terminal has hung up.
int terminal_height();
/// Width from standard output, then height from standard input.
Area terminal_area();

}  // namespace dalk
