// Drawing into a canvas: single glyphs, runs of text, lines, boxes, fills and the canvas's own
// frame. Everything that falls outside the canvas is dropped silently; the clipping rules differ
// from shape to shape and are part of each function's contract. Event-loop thread only, like
// every canvas.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <utility>

#include "dalk/sequence.hpp"
#include "dalk/text.hpp"
#include "dalk/width.hpp"
#include "vn/screen_buffer.hpp"

namespace vn {

namespace shape {

/// `length` cells to the right of the position. A symbol of U+0000 draws nothing.
struct HLine {
  int length = 0;
  char32_t symbol = U'─';
};

/// `length` cells downwards from the position. A symbol of U+0000 draws nothing.
struct VLine {
  int length = 0;
  char32_t symbol = U'│';
};

/// The outline of a rectangle whose top-left cell is the position. `corners`: top-left,
/// top-right, bottom-left, bottom-right; `walls`: top, bottom, right, left. A code point of
/// U+0000 leaves the cells of that corner or wall untouched.
struct Box {
  std::array<char32_t, 4> corners{U'┌', U'┐', U'└', U'┘'};
  std::array<char32_t, 4> walls{U'─', U'─', U'│', U'│'};
  dalk::Area size{0, 0};

  /// ╭ ╮ ╰ ╯, for `corners` of a Box or a Frame.
  static constexpr std::array<char32_t, 4> round_corners{U'╭', U'╮', U'╰', U'╯'};
};

/// A solid rectangle of one glyph whose top-left cell is the position. U+0000 is written like
/// any other code point.
struct Fill {
  dalk::Glyph glyph{};
  dalk::Area size{0, 0};
};

/// The outline of the whole canvas, with the code points in the order of Box.
struct Frame {
  std::array<char32_t, 4> corners{U'┌', U'┐', U'└', U'┘'};
  std::array<char32_t, 4> walls{U'─', U'─', U'│', U'│'};
};

}  // namespace shape

// Write modes: the plain shape forms change only code points and keep each cell's brush; the
// Color forms also set the foreground (background and traits stay); the Brush forms replace the
// whole brush. Glyphs, text and fills replace whole cells.

/// The one cell at p, if it lies inside the canvas. A glyph two cells wide (dalk::width) in
/// the canvas's last column becomes a space in its brush: half of it would show.
void put(Canvas canvas, dalk::Point p, dalk::Glyph const& glyph);

/// UTF-8 text laid out from p to the right with the default brush, as dalk::text::drawable
/// gives it: each code point takes dalk::width cells, the second cell of a wide one becomes a
/// space, and a wide one in the canvas's last column is drawn as a space. Malformed text is
/// drawn up to its first malformed character. Nothing is drawn if p lies outside the canvas (a
/// text starting left of or above it is dropped whole); the part beyond the right edge is
/// dropped.
void put(Canvas canvas, dalk::Point p, std::string_view text);
/// As the UTF-8 form, for code units that are not validated.
void put(Canvas canvas, dalk::Point p, std::u32string_view text);

/// Nothing is drawn if p.x < 0, p.y < 0 or p.y is below the canvas; the part beyond the right
/// edge is dropped.
void put(Canvas canvas, dalk::Point p, shape::HLine line);
void put(Canvas canvas, dalk::Point p, shape::HLine line, dalk::Color foreground);
void put(Canvas canvas, dalk::Point p, shape::HLine line, dalk::Brush const& brush);

/// Nothing is drawn if p.x < 0, p.y < 0 or p.x is right of the canvas; the part below the
/// bottom edge is dropped.
void put(Canvas canvas, dalk::Point p, shape::VLine line);
void put(Canvas canvas, dalk::Point p, shape::VLine line, dalk::Color foreground);
void put(Canvas canvas, dalk::Point p, shape::VLine line, dalk::Brush const& brush);

/// Walls, then corners. A box overhanging the right or bottom edge is drawn as if shrunk to
/// fit (its right and bottom walls on the canvas's last column and row); each wall follows the
/// line rules, so walls starting left of or above the canvas are dropped. A box of zero width
/// or height, or one that starts right of or below the canvas, draws nothing.
void put(Canvas canvas, dalk::Point p, shape::Box const& box);
void put(Canvas canvas, dalk::Point p, shape::Box const& box, dalk::Color foreground);
void put(Canvas canvas, dalk::Point p, shape::Box const& box, dalk::Brush const& brush);

/// Every cell of the rectangle that lies inside the canvas, also for a negative position.
void put(Canvas canvas, dalk::Point p, shape::Fill const& fill);

/// A box at (0, 0) as large as the canvas.
void put(Canvas canvas, shape::Frame const& frame);
void put(Canvas canvas, shape::Frame const& frame, dalk::Color foreground);
void put(Canvas canvas, shape::Frame const& frame, dalk::Brush const& brush);

/// Every cell of the canvas becomes a space with the default brush.
void clear(Canvas canvas);

/// Every cell of the canvas takes `brush`; code points stay. Widgets colour their whole
/// rectangle this way before drawing into it.
void fill_brush(Canvas canvas, dalk::Brush const& brush);

/// Every cell of the canvas takes `background`; code points, foregrounds and traits stay.
void fill_background(Canvas canvas, dalk::Color const& background);

namespace detail {

/// dalk::text::cells(c): the cells a glyph symbol takes, with ASCII answered inline.
inline int cell_width(char32_t c) {
  return dalk::text::cells(c);
}

/// dalk::text::drawable(text): how the drawing functions lay text out.
inline std::u32string drawable_text(std::u32string text) {
  return dalk::text::drawable(std::move(text));
}

/// dalk::text::cut_to_cells(text, cells).
inline int cut_to_cells(std::u32string& text, int cells) {
  return dalk::text::cut_to_cells(text, cells);
}

}  // namespace detail

}  // namespace vn
