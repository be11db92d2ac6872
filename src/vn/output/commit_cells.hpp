// What the two encodings of a commit share: how cells compare, what the mirror holds for the
// covered half of a wide glyph, and where the cursor can be shown.
#pragma once

#include <optional>
#include <string>

#include "dalk/output/frame_writer.hpp"
#include "dalk/sequence.hpp"
#include "dalk/width.hpp"
#include "vn/commit.hpp"
#include "vn/screen_buffer.hpp"

namespace vn::detail {

// A control character would move the cursor, ring, erase or start a sequence on the
// terminal (and U+0000 would end the output string early), so it is shown as U+FFFD; so are
// surrogates and values above U+10FFFF, which have no well-formed UTF-8 encoding.
constexpr char32_t displayable(char32_t symbol) {
  if (symbol < 0x20 || (symbol >= 0x7F && symbol <= 0x9F) ||
      (symbol >= 0xD800 && symbol <= 0xDFFF) || symbol > 0x10FFFF) {
    return U'\uFFFD';
  }
  return symbol;
}

// Cells compare without the generic variant comparison of their colours.
using dalk::detail::same_brush;
using dalk::detail::same_color;
using dalk::detail::same_glyph;

// dalk::width with ASCII answered inline.
inline int cell_width(char32_t symbol) {
  return symbol < 0x80 ? 1 : dalk::width(symbol);
}

// What the mirror holds for the second cell of a wide glyph: whatever lands there is written
// once that glyph is replaced. Above U+10FFFF, so no text holds it; a glyph painted with it
// is mirrored as the U+FFFD it shows.
inline constexpr char32_t covered_symbol = 0xFFFFFFFF;

// A cell that must not be written raw: a wide glyph without room for its right half would
// wrap or be cut by the terminal, and a lone zero-width code point would join its neighbour.
inline constexpr char32_t blank_symbol = U' ';

// One row of the paint grid and the same row of the mirror.
struct Cells {
  dalk::Glyph* fresh;
  dalk::Glyph* shown;
  int width;
  int y;
};

// The right half of a wide glyph just past x is made to differ from what is painted there, so
// that it is rewritten when reached: writing over the left half blanked it.
inline void forget_cut_half(Cells const& cells, int x) {
  if (x + 1 < cells.width && cells.shown[x + 1].symbol == covered_symbol) {
    cells.shown[x + 1] = dalk::Glyph{cells.fresh[x + 1].symbol == U' ' ? U'?' : U' ', {}};
  }
}

// The mirror after symbol was written for the glyph painted at x; returns the last cell the
// write covers. Inline: both encodings run it for every cell they write.
[[gnu::always_inline]] inline int mirror_written(Cells const& cells, int x, char32_t symbol,
                                                 bool covers_next) {
  // The mirror keeps the painted glyph, so change detection ignores the replacement; a painted
  // marker is kept as the U+FFFD it shows, so that every mark is true.
  dalk::Glyph& shown = cells.shown[x];
  shown = cells.fresh[x];
  if (shown.symbol == covered_symbol) {
    shown.symbol = symbol;
  }
  if (covers_next) {
    // Nothing painted in the second cell is written; whatever lands there later is.
    ++x;
    cells.shown[x] = dalk::Glyph{covered_symbol, dalk::Brush{}};
  }
  // Writing over either half of a wide glyph blanks all of it on the terminal. Its left half,
  // if it lay left of x, changed and was rewritten already; its right half, if it lies just
  // past the glyph written, is rewritten when reached.
  forget_cut_half(cells, x);
  return x;
}

// The cursor asked for, if it lies on a screen of the given area: a sequence for a cursor off
// the screen would carry a negative or out-of-range position.
inline std::optional<dalk::Point> cursor_on_screen(std::optional<dalk::Point> const& cursor,
                                                   dalk::Area area) {
  if (cursor && cursor->x >= 0 && cursor->y >= 0 && cursor->x < area.width &&
      cursor->y < area.height) {
    return cursor;
  }
  return std::nullopt;
}

/// commit_changes() in the compact encoding (compact_commit.cpp).
void commit_compact(ScreenBuffer& screen, std::string& escape_buffer, OutputState& state,
                    OutputProfile const& profile, bool synchronized);

}  // namespace vn::detail
