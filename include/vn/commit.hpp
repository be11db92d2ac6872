// Committing a frame: writing the cells of the paint grid (Terminal::changes) that differ from
// a mirror of the screen.
#pragma once

#include <string>

#include "vn/screen_buffer.hpp"

namespace vn::detail {

/// The body of Terminal::commit_changes on the two members it uses: the mirror of the screen
/// and the reused output buffer. Reads Terminal::changes and Terminal::cursor; lets tests and
/// benchmarks commit without setting up a terminal. With `synchronized` the commit's bytes are
/// wrapped in "\e[?2026h" ... "\e[?2026l" (synchronized output). Event-loop thread only.
void commit_changes(ScreenBuffer& screen, std::string& escape_buffer, bool synchronized = false);

/// Makes the next commit rewrite every cell, as after a change of size: the terminal's contents
/// may have been lost (a window-size signal, a resume after a stop). Every Resize event asks for
/// it. Any thread.
void request_full_redraw();

}  // namespace vn::detail
