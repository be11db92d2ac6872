// What the terminal says of itself when asked: its name and version, the modes it has, its
// kitty keyboard flags, its colours and whether it shows true colour. Asked at start-up behind a
// primary device attributes request (Extension::TerminalAnswers); answers that come later update
// the value and arrive as an AnswersChanged event.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "dalk/cluster.hpp"
#include "dalk/sequence.hpp"

namespace dalk {

/// What a terminal said of a private mode (DECRQM): Unknown while it has not answered.
enum class ModeReport : std::uint8_t {
  Unknown,
  NotRecognized,
  Set,
  Reset,
  PermanentlySet,
  PermanentlyReset,
};

/// Whether a mode report says the terminal has the mode (set or reset, permanently or not).
constexpr bool has_mode(ModeReport report) {
  return report != ModeReport::Unknown && report != ModeReport::NotRecognized;
}

/// One answer as the input decoder reads it; TerminalAnswers::merge() takes it into the whole.
namespace answer {
struct DeviceAttributes {
  std::vector<unsigned> parameters;
  friend bool operator==(DeviceAttributes const&, DeviceAttributes const&) = default;
};
struct Version {
  std::string text;
  friend bool operator==(Version const&, Version const&) = default;
};
struct Mode {
  unsigned mode = 0;
  ModeReport report = ModeReport::Unknown;
  friend constexpr bool operator==(Mode, Mode) = default;
};
struct KittyFlags {
  unsigned flags = 0;
  friend constexpr bool operator==(KittyFlags, KittyFlags) = default;
};
/// OSC 10 (foreground) or 11 (background).
struct DynamicColor {
  unsigned which = 0;
  TrueColor color;
  friend constexpr bool operator==(DynamicColor, DynamicColor) = default;
};
/// An XTGETTCAP answer: the capability's name and whether the terminal has it.
struct Capability {
  std::string name;
  bool present = false;
  friend bool operator==(Capability const&, Capability const&) = default;
};
}  // namespace answer

using Answer = std::variant<answer::DeviceAttributes, answer::Version, answer::Mode,
                            answer::KittyFlags, answer::DynamicColor, answer::Capability>;

/// Everything the terminal has answered so far; a field stays empty (or Unknown) until its
/// answer comes.
struct TerminalAnswers {
  /// The primary device attributes came: every answer asked for before them is in.
  bool fenced = false;
  /// The parameters of the device attributes answer ("\e[?62;22c" gives 62, 22).
  std::vector<unsigned> device_attributes;
  /// The terminal's name and version as XTVERSION reports it ("XTerm(379)", "kitty(0.26.5)",
  /// "tmux 3.3a"); empty when it did not say.
  std::string version;
  ModeReport synchronized_output = ModeReport::Unknown;  // 2026
  ModeReport grapheme_clusters = ModeReport::Unknown;    // 2027
  ModeReport bracketed_paste = ModeReport::Unknown;      // 2004
  ModeReport focus_reports = ModeReport::Unknown;        // 1004
  /// The kitty keyboard flags in force when asked ("\e[?<flags>u"): the protocol is there.
  std::optional<unsigned> kitty_keyboard_flags;
  /// The default colours (OSC 10 and 11).
  std::optional<TrueColor> foreground;
  std::optional<TrueColor> background;
  /// Whether the terminal shows true colour (its XTGETTCAP "RGB" or "Tc" capability); empty
  /// when it did not say.
  std::optional<bool> true_color;

  /// Takes one answer in; modes and capabilities not asked for are left out.
  void merge(Answer const& answer);
  /// The background is darker than mid grey; empty when the background is unknown.
  [[nodiscard]] std::optional<bool> dark_background() const;
  friend bool operator==(TerminalAnswers const&, TerminalAnswers const&) = default;
};

/// How the answering terminal lays text out: whole clusters where it reported mode 2027 (other
/// than permanently reset), kitty's or tmux's rules where it named itself so, otherwise code
/// point by code point.
text::WidthModel width_model_for(TerminalAnswers const& answers);

/// A snapshot of what the terminal of the current session has answered (empty before a
/// session with Extension::TerminalAnswers). Any thread.
TerminalAnswers terminal_answers();

/// Whether the terminal shows true colour by its answers: it reported the "RGB" or "Tc"
/// capability, or it named itself as kitty, WezTerm, foot or contour (kitty 0.26.5 denies both
/// capabilities). Cheap enough for every frame. Any thread.
bool answered_true_color();

/// How long start-up waits for the answers' fence (default 150 ms). Zero: start-up does not
/// wait and every answer arrives later as an AnswersChanged event. Any thread; read at
/// initialization.
void set_answer_wait(std::chrono::milliseconds wait);
std::chrono::milliseconds answer_wait();

/// How long a lone escape byte waits for the rest of a sequence, or for the key it prefixes
/// with Alt, before it is the Escape key (default 50 ms; zero decides at once, as over a fast
/// link). Any thread; takes effect with the next escape byte.
void set_escape_wait(std::chrono::milliseconds wait);
std::chrono::milliseconds escape_wait();

}  // namespace dalk
