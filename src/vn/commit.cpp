#include "vn/commit.hpp"

#include <atomic>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "dalk/sequence.hpp"
#include "dalk/terminal.hpp"
#include "dalk/width.hpp"
#include "vn/terminal.hpp"

namespace vn {
namespace {

std::atomic<bool> full_redraw_requested{false};

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
bool same_color(dalk::Color const& a, dalk::Color const& b) {
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

bool same_brush(dalk::Brush const& a, dalk::Brush const& b) {
  return a.traits == b.traits && same_color(a.foreground, b.foreground) &&
         same_color(a.background, b.background);
}

bool same_glyph(dalk::Glyph const& a, dalk::Glyph const& b) {
  return a.symbol == b.symbol && same_brush(a.brush, b.brush);
}

// dalk::width with ASCII answered inline.
int cell_width(char32_t symbol) {
  return symbol < 0x80 ? 1 : dalk::width(symbol);
}

// What the mirror holds for the second cell of a wide glyph: whatever lands there is written
// once that glyph is replaced. Above U+10FFFF, so no text holds it; a glyph painted with it
// is mirrored as the U+FFFD it shows.
constexpr char32_t covered_symbol = 0xFFFFFFFF;

// A cell that must not be written raw: a wide glyph without room for its right half would
// wrap or be cut by the terminal, and a lone zero-width code point would join its neighbour.
constexpr char32_t blank_symbol = U' ';

// One row of the paint grid and the same row of the mirror.
struct Cells {
  dalk::Glyph* fresh;
  dalk::Glyph* shown;
  int width;
  int y;
};

// Every changed cell gets its own cursor move: the terminal's advance is never trusted.
char* write_cell(char* out, dalk::Brush& current, dalk::Point at, dalk::Brush const& brush,
                 char32_t symbol) {
  out = dalk::detail::write_escape(out, at);
  if (!same_brush(brush, current)) {
    out = dalk::detail::write_escape(out, brush);
    current = brush;
  }
  return dalk::detail::write_u8(out, symbol);
}

// A changed cell where the painted glyph or the mirrored one is not ASCII, kept out of the
// loop over cells so that ASCII frames run as tight a loop as before wide glyphs. Returns the
// last cell it dealt with: x, or x + 1 when a wide glyph was written.
[[gnu::noinline]] int write_any_cell(Cells const& cells, int x, char*& out, dalk::Brush& current) {
  dalk::Glyph const& fresh = cells.fresh[x];
  dalk::Glyph& shown = cells.shown[x];
  // Still marked, so the wide glyph left of it stands unchanged (a write over it would have
  // cleared the mark) and nothing painted here shows.
  if (shown.symbol == covered_symbol) {
    return x;
  }
  int const columns = cell_width(fresh.symbol);
  bool const covers_next = columns == 2 && x + 1 < cells.width;
  char32_t const symbol = columns == 1 || covers_next ? displayable(fresh.symbol) : blank_symbol;
  out = write_cell(out, current, dalk::Point{x, cells.y}, fresh.brush, symbol);
  // The mirror keeps the painted glyph, so change detection ignores the replacement; a painted
  // marker is kept as the U+FFFD it shows, so that every mark is true.
  shown = fresh;
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
  // past the glyph written, is made to differ from what is painted there, so it is rewritten
  // when reached.
  if (x + 1 < cells.width && cells.shown[x + 1].symbol == covered_symbol) {
    cells.shown[x + 1] = dalk::Glyph{cells.fresh[x + 1].symbol == U' ' ? U'?' : U' ', {}};
  }
  return x;
}

}  // namespace

void detail::request_full_redraw() {
  full_redraw_requested = true;
}

void detail::commit_changes(ScreenBuffer& screen, std::string& escape_buffer, bool synchronized) {
  ScreenBuffer& changes = Terminal::changes;
  std::optional<dalk::Point> const& cursor = Terminal::cursor;
  escape_buffer.clear();
  if (full_redraw_requested.exchange(false) || changes.area != screen.area) {
    // No painted glyph normally equals U+0000 with the default brush, so every cell is
    // rewritten: the only full redraw there is.
    screen.resize(changes.area);
    screen.fill(dalk::Glyph{U'\0', dalk::Brush{}});
  }

  // Cells are encoded into a chunk on the stack that joins the buffer a few kilobytes at a
  // time; appending each sequence to the string on its own cost more than encoding it.
  constexpr std::size_t chunk_size = 8192;
  constexpr std::size_t max_cell = dalk::detail::max_point_escape_size +
                                   dalk::detail::max_brush_escape_size + dalk::detail::max_u8_size;
  char chunk[chunk_size + max_cell];
  char* out = chunk;
  dalk::Brush current{};
  int const width = changes.area.width;
  for (int y = 0; y < changes.area.height; ++y) {
    auto const row = static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
    Cells const cells{changes.glyphs.data() + row, screen.glyphs.data() + row, width, y};
    for (int x = 0; x < width; ++x) {
      dalk::Glyph& fresh = cells.fresh[x];
      dalk::Glyph& shown = cells.shown[x];
      if (same_glyph(fresh, shown)) {
        continue;
      }
      // ASCII over ASCII is one cell over one cell; anything else may involve a wide glyph.
      if ((fresh.symbol | shown.symbol) >= 0x80) {
        x = write_any_cell(cells, x, out, current);
      } else {
        out = write_cell(out, current, dalk::Point{x, y}, fresh.brush, displayable(fresh.symbol));
        // The mirror keeps the painted glyph, so change detection ignores the replacement.
        shown = fresh;
      }
      if (out >= chunk + chunk_size) {
        escape_buffer.append(chunk, out);
        out = chunk;
      }
    }
  }
  out = dalk::detail::write_escape(out, dalk::Brush{});
  escape_buffer.append(chunk, out);
  changes.fill(dalk::Glyph{});

  // The terminal shows the frame once it is complete.
  if (synchronized) {
    dalk::write(std::string_view{"\x1b[?2026h"});
  }
  // The cursor stays hidden while the cells are drawn, so it does not flicker across them.
  dalk::set(dalk::CursorMode::Hide);
  dalk::write(std::string_view{escape_buffer});
  // A cursor off the screen cannot be shown; its sequence would carry a negative or
  // out-of-range position.
  bool const cursor_on_screen = cursor && cursor->x >= 0 && cursor->y >= 0 &&
                                cursor->x < changes.area.width && cursor->y < changes.area.height;
  if (cursor_on_screen) {
    dalk::set(dalk::CursorMode::Show);
    dalk::write(dalk::escape(*cursor));
  } else {
    dalk::set(dalk::CursorMode::Hide);
  }
  if (synchronized) {
    dalk::write(std::string_view{"\x1b[?2026l"});
  }
  dalk::flush();
}

}  // namespace vn
