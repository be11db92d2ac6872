// Committing a frame: writing the cells of the paint grid (Terminal::changes) that differ from
// a mirror of the screen.
#pragma once

#include <string>

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

/// The body of Terminal::commit_changes on the two members it uses: the mirror of the screen
/// and the reused output buffer. Reads Terminal::changes and Terminal::cursor; lets tests and
/// benchmarks commit without setting up a terminal. With `synchronized` the commit's bytes are
/// wrapped in "\e[?2026h" ... "\e[?2026l" (synchronized output). Event-loop thread only.
void commit_changes(ScreenBuffer& screen, std::string& escape_buffer, bool synchronized = false);

/// commit_changes() in the given profile. The default profile writes exactly what the
/// overload above writes; the others show the same screen (with colours adapted). The
/// compact profile remembers the cursor and brush it left between commits (reset by a full
/// redraw), so it must be the only writer of cells between them.
void commit_changes(ScreenBuffer& screen, std::string& escape_buffer, OutputProfile const& profile,
                    bool synchronized = false);

/// Makes the next commit rewrite every cell, as after a change of size: the terminal's contents
/// may have been lost (a window-size signal, a resume after a stop). Every Resize event asks for
/// it. Any thread.
void request_full_redraw();

}  // namespace vn::detail
