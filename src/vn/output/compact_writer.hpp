// The compact encoding's view of the terminal while it writes a frame: where the cursor stands
// and which brush is set, so that a move or a brush change is written only where the next cell
// needs one. Its three jobs live apart: cursor moves (cursor_moves.cpp), brush changes (in the
// terminal layer) and scrolling of rows that moved (scroll_detection.cpp).
#pragma once

#include "dalk/output/frame_writer.hpp"
#include "dalk/output_profile.hpp"
#include "vn/commit.hpp"
#include "vn/output/commit_cells.hpp"
#include "vn/screen_buffer.hpp"

namespace vn::detail {

class CompactWriter {
 public:
  CompactWriter(int width, dalk::ColorDepth depth, bool repeat)
      : width_{width}, depth_{depth}, repeat_{repeat} {}

  bool repeats() const { return repeat_; }
  /// Whether painted() changes colours.
  bool adapts() const { return depth_ != dalk::ColorDepth::TrueColor; }

  char* out = nullptr;
  bool cursor_known = false;
  dalk::Point cursor{};
  /// While the cursor is not known: whether its row (cursor.y) still is, after an ASCII glyph
  /// in the last column. Auto-wrap is off for the whole session, so such a glyph leaves the
  /// cursor on its row, at the last column or just past it as terminals differ.
  bool row_known = false;
  bool brush_known = false;
  dalk::Brush brush{};

  /// The brush as the terminal's colours allow.
  dalk::Brush painted(dalk::Brush const& b) const {
    return depth_ == dalk::ColorDepth::TrueColor ? b : dalk::adapt(b, depth_);
  }

  void set_brush(dalk::Brush const& b) {
    if (brush_known && same_brush(b, brush)) {
      return;
    }
    out = dalk::detail::write_brush_change(out, brush_known ? &brush : nullptr, b);
    brush = b;
    brush_known = true;
  }

  /// The cursor to (x, cells.y), the shortest way known.
  void move_to(Cells const& cells, int x) {
    if (!cursor_known || cursor.x != x || cursor.y != cells.y) {
      travel(cells, x);
    }
  }

  /// The cursor is past a glyph of `columns` cells written at x; at the last column terminals
  /// differ on where it stays.
  void advance(int x, int y, int columns) {
    cursor = {x + columns, y};
    cursor_known = x + columns < width_;
    row_known = false;
  }

  /// advance() past ASCII: in the last column the row stays known.
  void advance_ascii(int x, int y, int columns) {
    advance(x, y, columns);
    row_known = !cursor_known;
  }

  /// Nothing is known of the cursor (after a glyph whose width terminals dispute, or a
  /// sequence that homes it).
  void forget_cursor() {
    cursor_known = false;
    row_known = false;
  }

 private:
  // move_to() where the cursor has to move.
  void travel(Cells const& cells, int x);

  int width_;
  dalk::ColorDepth depth_;
  bool repeat_;
};

/// Where a block of rows moved as a whole between the mirror and the frame, scrolls the
/// terminal and the mirror so that the rows need not be written again. Uses the row-hash
/// scratch of `state`.
void scroll_moved_rows(ScreenBuffer& screen, ScreenBuffer const& changes, OutputState& state,
                       CompactWriter& w);

}  // namespace vn::detail
