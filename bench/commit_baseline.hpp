// The commit as it was before wide glyphs: one cell per code point, no covered cells. Kept
// here, measured in the same run as the library's commit, so that the cost of the width rules
// on narrow text shows as a ratio rather than against an old figure from another machine.
#pragma once

#include <string>

#include <vn/screen_buffer.hpp>

namespace bench {

/// vn::detail::commit_changes before wide glyphs, with the same output, except that only a
/// change of size (not a full-redraw request) makes it rewrite every cell.
void baseline_commit_changes(vn::ScreenBuffer& screen, std::string& escape_buffer);

}  // namespace bench
