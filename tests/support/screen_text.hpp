// Test helper: a region of a screen buffer as UTF-8 text, one string per row, so that drawing
// expectations read like the screen.
#pragma once

#include <string>
#include <vector>

#include <vn/terminal.hpp>
#include <vn/testing.hpp>

namespace vennic::test {

/// The code points of the cells in the rectangle at `at` of `size`, row by row. Brushes are
/// ignored. The rectangle must lie inside the buffer.
std::vector<std::string> screen_rows(vn::ScreenBuffer const& buffer, dalk::Point at,
                                     dalk::Area size);
/// The whole buffer.
std::vector<std::string> screen_rows(vn::ScreenBuffer const& buffer);
/// Row y of the harness's screen as a terminal shows it, read cell by cell: a wide glyph once,
/// the cell it covers skipped; other cells as painted.
std::string shown_row(vn::testing::Harness const& screen, int y);

}  // namespace vennic::test
