// What the two encodings of a commit share: how cells compare, what the mirror holds for the
// covered half of a wide glyph, and where the cursor can be shown.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <type_traits>

#include "dalk/cluster.hpp"
#include "dalk/output/frame_writer.hpp"
#include "dalk/sequence.hpp"
#include "dalk/text.hpp"
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

// The cells a symbol takes under the width model in force, ASCII answered inline.
inline int cell_width(char32_t symbol) {
  return dalk::text::cells(symbol);
}

// The most bytes one cell's symbol writes.
inline constexpr std::size_t max_symbol_size =
    std::max(dalk::detail::max_u8_size, dalk::text::detail::max_cluster_u8_size);

// The bytes of a symbol as written: a cluster's code points together, anything else as
// displayable().
inline char* write_symbol(char* out, char32_t symbol) {
  if (dalk::text::is_cluster(symbol)) {
    return dalk::text::detail::write_cluster_u8(out, symbol);
  }
  return dalk::detail::write_u8(out, displayable(symbol));
}

// What the mirror holds for the second cell of a wide glyph: whatever lands there is written
// once that glyph is replaced. Above U+10FFFF, so no text holds it; a glyph painted with it
// is mirrored as the U+FFFD it shows.
inline constexpr char32_t covered_symbol = 0xFFFFFFFF;

// A cell that must not be written raw: a wide glyph without room for all of its cells would
// wrap or be cut by the terminal, and a lone zero-width code point would join its neighbour.
inline constexpr char32_t blank_symbol = U' ';

// One row of the paint grid and the same row of the mirror.
struct Cells {
  dalk::Glyph* fresh;
  dalk::Glyph* shown;
  int width;
  int y;
};

static_assert(std::is_trivially_copyable_v<dalk::Glyph>);

// Whether the painted row holds the very bytes of the mirrored one, so that every cell is the
// same glyph. Much cheaper than comparing glyph by glyph, and most rows of most frames pass.
// Rows equal in value but not in their padding bytes fail it and are compared cell by cell.
inline bool same_row_bytes(Cells const& cells) {
  return std::memcmp(cells.fresh, cells.shown,
                     static_cast<std::size_t>(cells.width) * sizeof(dalk::Glyph)) == 0;
}

// After a row was compared cell by cell and every cell was found the same: the mirror takes
// the painted bytes, so that the next frame's row passes same_row_bytes().
inline void mirror_row_bytes(Cells const& cells) {
  std::memcpy(cells.shown, cells.fresh,
              static_cast<std::size_t>(cells.width) * sizeof(dalk::Glyph));
}

// Cells of an older glyph just past x, still marked covered, are made to differ from what is
// painted there, so that they are rewritten when reached: writing over part of that glyph
// blanked it, or left pieces of it standing.
// Glyphs the mirror is given, kept ready: built in place for each write, they cost a stall
// in every wide glyph's write.
inline constexpr dalk::Glyph covered_glyph{covered_symbol, dalk::Brush{}};
// The blank is also what the paint grid is filled with after a commit: of static storage, its
// padding bytes are zero, so rows painted over it keep the same bytes from frame to frame and
// same_row_bytes() holds where nothing changed.
inline constexpr dalk::Glyph blank_glyph{U' ', dalk::Brush{}};
inline constexpr dalk::Glyph question_glyph{U'?', dalk::Brush{}};

inline void forget_cut_half(Cells const& cells, int x) {
  for (++x; x < cells.width && cells.shown[x].symbol == covered_symbol; ++x) {
    cells.shown[x] = cells.fresh[x].symbol == U' ' ? question_glyph : blank_glyph;
  }
}

// The mirror after the glyph painted at x was written, covering `covered` cells after it (a
// wide glyph or cluster written whole); returns the last cell the write covers. Inline: both
// encodings run it for every cell they write.
[[gnu::always_inline]] inline int mirror_written(Cells const& cells, int x, int covered) {
  // The mirror keeps the painted glyph, so change detection ignores a replacement; a painted
  // marker is kept as the U+FFFD it shows, so that every mark is true.
  dalk::Glyph& shown = cells.shown[x];
  shown = cells.fresh[x];
  if (shown.symbol == covered_symbol) {
    shown.symbol = U'\uFFFD';
  }
  // Nothing painted in the covered cells is written; whatever lands there later is.
  for (int k = 0; k < covered; ++k) {
    cells.shown[++x] = covered_glyph;
  }
  // Writing over part of a wider glyph blanks it on the terminal. Its part left of x, if any,
  // changed and was rewritten already; its part past the glyph written is rewritten when
  // reached.
  forget_cut_half(cells, x);
  return x;
}

// What the glyph painted at x writes: its symbol, and the cells it covers after x; a glyph
// without room for all its cells, or with none of its own, is a blank.
struct Written {
  char32_t symbol;
  int covered;
};

inline Written written_at(Cells const& cells, int x) {
  char32_t const symbol = cells.fresh[x].symbol;
  int const columns = cell_width(symbol);
  if (columns < 1 || columns > cells.width - x) {
    return {blank_symbol, 0};
  }
  return {symbol, columns - 1};
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

// Which rows a commit must compare: all of them, unless the paint kept the grid's cells and
// flagged the rows it wrote (a full redraw compares every row all the same).
class RowsToCompare {
 public:
  RowsToCompare(ScreenBuffer const& changes, bool full_redraw)
      : flags_{changes.kept && !full_redraw &&
                       changes.painted_rows.size() == static_cast<std::size_t>(changes.area.height)
                   ? changes.painted_rows.data()
                   : nullptr} {}
  bool operator()(int y) const { return flags_ == nullptr || flags_[y] != 0; }

 private:
  std::uint8_t const* flags_;
};

// The grid after a commit: blank for the next frame, or as it is where the paint keeps it.
inline void finish_frame(ScreenBuffer& changes) {
  if (changes.kept) {
    std::fill(changes.painted_rows.begin(), changes.painted_rows.end(), std::uint8_t{0});
    changes.kept = false;
  } else {
    changes.fill(blank_glyph);
  }
}

/// commit_changes() in the compact encoding (compact_commit.cpp).
void commit_compact(ScreenBuffer& screen, std::string& escape_buffer, OutputState& state,
                    OutputProfile const& profile, bool synchronized);

}  // namespace vn::detail
