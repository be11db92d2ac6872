// Committing a frame: writing the cells of the paint grid (Terminal::changes) that differ from
// a mirror of the screen.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dalk/output_profile.hpp"
#include "dalk/terminal.hpp"
#include "vn/screen_buffer.hpp"

namespace vn::detail {

/// How a commit encodes a frame; chosen by the Extension bits (dalk/output_profile.hpp).
struct OutputProfile {
  /// Cursor moves, brush changes, erases and scrolling kept as short as the terminal allows.
  bool compact = false;
  /// With compact: runs of one glyph repeated with REP.
  bool repeat = false;
  /// Colours adapted to what the terminal can show.
  dalk::ColorDepth colors = dalk::ColorDepth::TrueColor;
  friend bool operator==(OutputProfile const&, OutputProfile const&) = default;
};

/// The profile that the extensions ask for; the default profile without any output bit.
OutputProfile output_profile(dalk::Extensions extensions);

/// What the compact encoding knows of the terminal after its latest commit: the brush is the
/// default after every commit; the cursor is where that commit left it.
struct CompactTerminal {
  /// False before the first compact commit and after a full redraw: nothing is known.
  bool valid = false;
  bool cursor_visible = false;
  bool cursor_known = false;
  dalk::Point cursor{};
};

/// What a commit keeps between frames besides the mirror of the screen and the output buffer
/// (the terminal object's `screen` and `escape_buffer`): what the compact encoding knows of the
/// terminal, the row hashes its scroll detection reuses, and how many full-redraw requests this
/// state has honoured. Each terminal object has its own. Event-loop thread only.
struct OutputState {
  /// Whether request_full_redraw() was called since this state last took a request; takes it.
  bool take_full_redraw_request();

  CompactTerminal compact;
  std::vector<std::uint64_t> shown_row_hashes;
  std::vector<std::uint64_t> fresh_row_hashes;
  /// Rows whose painted bytes are those of the mirror are passed over without comparing their
  /// cells; tests turn it off to check that the commit writes the same bytes either way.
  bool skip_same_rows = true;
  /// Which rows of the frame the compact encoding found changed (1) or the same (0).
  std::vector<std::uint8_t> changed_rows;
  std::uint64_t redraws_taken = 0;
  /// The cursor shape the session's commits wrote last; empty before the first.
  std::optional<dalk::CursorShape> cursor_shape;
};

/// The body of Terminal::commit_changes: writes Terminal::changes against the mirror `screen`
/// through the reused `escape_buffer`, reads Terminal::cursor, and keeps what it learns of the
/// terminal in `state`. With `synchronized` the commit's bytes are wrapped in "\e[?2026h" ...
/// "\e[?2026l" (synchronized output). The default profile writes the default encoding; the
/// others show the same screen (with colours adapted). Event-loop thread only.
void commit_changes(ScreenBuffer& screen, std::string& escape_buffer, OutputState& state,
                    OutputProfile const& profile, bool synchronized = false);

/// commit_changes() in the default profile, with the output state that the commits made
/// without a terminal object share; lets tests and benchmarks commit without setting up a
/// terminal.
void commit_changes(ScreenBuffer& screen, std::string& escape_buffer, bool synchronized = false);

/// commit_changes() in the given profile with that shared state. The compact profile remembers
/// the cursor and brush it left between commits (reset by a full redraw), so it must be the
/// only writer of cells between them.
void commit_changes(ScreenBuffer& screen, std::string& escape_buffer, OutputProfile const& profile,
                    bool synchronized = false);

/// Makes the next commit of every output state rewrite every cell, as after a change of size:
/// the terminal's contents may have been lost (a window-size signal, a resume after a stop).
/// Every Resize event asks for it. Any thread.
void request_full_redraw();

}  // namespace vn::detail
