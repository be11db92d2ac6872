// What the two encodings of a commit share: how cells compare, what the mirror holds for the
// covered half of a wide glyph.
#pragma once

#include <string>
#include <variant>

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

// Equality of colours without the generic variant comparison: the commit compares every
// cell of every frame, and this is most of what it does when little has changed.
inline bool same_color(dalk::Color const& a, dalk::Color const& b) {
  auto const* const xa = std::get_if<dalk::XColor>(&a);
  auto const* const xb = std::get_if<dalk::XColor>(&b);
  if (xa != nullptr && xb != nullptr) {
    return xa->value == xb->value;
  }
  if (xa != nullptr || xb != nullptr) {
    return false;
  }
  return *std::get_if<dalk::TrueColor>(&a) == *std::get_if<dalk::TrueColor>(&b);
}

inline bool same_brush(dalk::Brush const& a, dalk::Brush const& b) {
  return a.traits == b.traits && same_color(a.foreground, b.foreground) &&
         same_color(a.background, b.background);
}

inline bool same_glyph(dalk::Glyph const& a, dalk::Glyph const& b) {
  return a.symbol == b.symbol && same_brush(a.brush, b.brush);
}

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

/// commit_changes() in the compact encoding (compact_commit.cpp).
void commit_compact(ScreenBuffer& screen, std::string& escape_buffer, OutputState& state,
                    OutputProfile const& profile, bool synchronized);

}  // namespace vn::detail
