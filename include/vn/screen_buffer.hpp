// The grid of glyphs that widgets paint into, and the canvas through which each widget sees its
// part of it.
#pragma once

#include <cstdint>
#include <vector>

#include "dalk/sequence.hpp"

namespace vn {

/// A grid of glyphs in row-major order: cell (x, y) is glyphs[y * width + x].
struct ScreenBuffer {
  /// width x height blank glyphs (space, default brush).
  explicit ScreenBuffer(dalk::Area area = {0, 0});

  /// The cell at p, which must lie inside the area.
  dalk::Glyph& operator[](dalk::Point p);
  dalk::Glyph const& operator[](dalk::Point p) const;
  /// New cells are blank; surviving cells keep their index, not their (x, y).
  void resize(dalk::Area new_area);
  void fill(dalk::Glyph const& glyph);

  dalk::Area area;
  std::vector<dalk::Glyph> glyphs;

  /// Set by a paint that left in place the cells of the frame before where nothing changed
  /// (TreeDispatcher::reuse_cells): the grid holds a whole frame, and `painted_rows` flags (1)
  /// the rows written since the last commit. A commit of such a grid compares only those rows
  /// and leaves the grid as it is; otherwise it compares every row and blanks the grid.
  bool kept = false;
  std::vector<std::uint8_t> painted_rows;
  /// Counts the changes of the whole grid (resize(), fill(), a commit's blanking), which a paint
  /// that keeps cells watches for.
  std::uint64_t generation = 0;
};

/// A view into a screen buffer: an absolute origin and the extent its owner may paint. Element
/// access does not clip; the drawing functions clip to `size`.
struct Canvas {
  dalk::Glyph& operator[](dalk::Point p) { return buffer[{at.x + p.x, at.y + p.y}]; }
  dalk::Glyph const& operator[](dalk::Point p) const { return buffer[{at.x + p.x, at.y + p.y}]; }

  ScreenBuffer& buffer;
  dalk::Point at;
  dalk::Area size;
};

}  // namespace vn
