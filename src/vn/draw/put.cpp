#include "vn/put.hpp"

#include <algorithm>
#include <cstdint>
#include <string>

#include "dalk/text.hpp"

namespace vn {

namespace {

// Positions and lengths are widened so that a position near the int limits plus a length (or
// a box's x + 1) cannot overflow; every cell actually written lies inside the canvas.
using Wide = std::int64_t;

struct SymbolOnly {
  void operator()(dalk::Glyph& cell, char32_t symbol) const { cell.symbol = symbol; }
};

struct SymbolAndForeground {
  dalk::Color const& foreground;
  void operator()(dalk::Glyph& cell, char32_t symbol) const {
    cell.symbol = symbol;
    cell.brush.foreground = foreground;
  }
};

struct SymbolAndBrush {
  dalk::Brush const& brush;
  void operator()(dalk::Glyph& cell, char32_t symbol) const {
    cell.symbol = symbol;
    cell.brush = brush;
  }
};

bool is_inside(Canvas const& canvas, Wide x, Wide y) {
  return x >= 0 && y >= 0 && x < canvas.size.width && y < canvas.size.height;
}

dalk::Glyph& cell_at(Canvas& canvas, Wide x, Wide y) {
  return canvas[{static_cast<std::int32_t>(x), static_cast<std::int32_t>(y)}];
}

// One step along a line: to the right or downwards.
struct Step {
  Wide dx;
  Wide dy;
};
constexpr Step rightwards{1, 0};
constexpr Step downwards{0, 1};

// `length` cells from (x, y) on in the direction of `step`, up to the edge of the canvas. A line
// starting left of or above the canvas is dropped whole, as is one starting beyond it.
template <typename Write>
void draw_line(Canvas& canvas, Wide x, Wide y, Step step, Wide length, char32_t symbol,
               Write const& write) {
  if (x < 0 || y < 0 || symbol == U'\0') {
    return;
  }
  for (Wide i = 0, column = x, row = y; i < length && is_inside(canvas, column, row);
       ++i, column += step.dx, row += step.dy) {
    write(cell_at(canvas, column, row), symbol);
  }
}

template <typename Write>
void draw_box(Canvas& canvas, Wide x, Wide y, std::array<char32_t, 4> const& corners,
              std::array<char32_t, 4> const& walls, dalk::Area size, Write const& write) {
  Wide const w = size.width;
  Wide const h = size.height;
  // An empty box has no outline, and a box that starts right of or below the canvas does not
  // overhang it: pulling its far edges in would draw a wall or corners where the box is not.
  if (w <= 0 || h <= 0 || x >= canvas.size.width || y >= canvas.size.height) {
    return;
  }
  // The far edges are pulled into the canvas, as if the box had been shrunk to fit.
  Wide const right = std::min<Wide>(x + w, canvas.size.width) - 1;
  Wide const bottom = std::min<Wide>(y + h, canvas.size.height) - 1;
  // Order matters where cells coincide (boxes 1 wide or 1 high): later writes win.
  draw_line(canvas, x + 1, y, rightwards, w - 2, walls[0], write);
  draw_line(canvas, x + 1, bottom, rightwards, w - 2, walls[1], write);
  draw_line(canvas, x, y + 1, downwards, h - 2, walls[3], write);
  draw_line(canvas, right, y + 1, downwards, h - 2, walls[2], write);
  auto const corner = [&](Wide column, Wide row, char32_t symbol) {
    if (symbol != U'\0' && is_inside(canvas, column, row)) {
      write(cell_at(canvas, column, row), symbol);
    }
  };
  corner(x, y, corners[0]);
  corner(right, y, corners[1]);
  corner(x, bottom, corners[2]);
  corner(right, bottom, corners[3]);
}

template <typename Write>
void draw_frame(Canvas& canvas, shape::Frame const& frame, Write const& write) {
  draw_box(canvas, 0, 0, frame.corners, frame.walls, canvas.size, write);
}

// Kept from one call to the next, so that text is laid out without an allocation.
std::u32string& layout_buffer() {
  thread_local std::u32string buffer;
  return buffer;
}

// Drawable text (dalk::text::drawable): the symbols take their widths in cells; a wide one
// whose last cell lies beyond the canvas becomes a space, never part of a character.
void draw_text(Canvas& canvas, dalk::Point p, std::u32string const& text) {
  Wide column = p.x;
  for (char32_t const symbol : text) {
    if (column >= canvas.size.width) {
      break;
    }
    int const cells = dalk::text::cells(symbol);
    dalk::Glyph& cell = cell_at(canvas, column, p.y);
    if (column + cells > canvas.size.width) {
      cell = dalk::Glyph{U' ', dalk::Brush{}};
      break;
    }
    cell = dalk::Glyph{symbol, dalk::Brush{}};
    for (int covered = 1; covered < cells; ++covered) {
      cell_at(canvas, column + covered, p.y) = dalk::Glyph{U' ', dalk::Brush{}};
    }
    column += cells;
  }
}

// Row by row, left to right, every cell of the canvas.
template <typename Change>
void for_each_cell(Canvas& canvas, Change const& change) {
  for (std::int32_t row = 0; row < canvas.size.height; ++row) {
    for (std::int32_t column = 0; column < canvas.size.width; ++column) {
      change(canvas[{column, row}]);
    }
  }
}

// A text starting outside the canvas is dropped whole, even where its tail would fit.
bool text_starts_inside(Canvas const& canvas, dalk::Point p) {
  return is_inside(canvas, p.x, p.y);
}

}  // namespace

void put(Canvas canvas, dalk::Point p, dalk::Glyph const& glyph) {
  if (!is_inside(canvas, p.x, p.y)) {
    return;
  }
  if (Wide{p.x} + dalk::text::cells(glyph.symbol) > canvas.size.width) {
    canvas[p] = dalk::Glyph{U' ', glyph.brush};
  } else {
    canvas[p] = glyph;
  }
}

void put(Canvas canvas, dalk::Point p, std::string_view text) {
  if (text_starts_inside(canvas, p)) {
    std::u32string& symbols = layout_buffer();
    dalk::text::decode(text, symbols);
    dalk::text::drawable_in_place(symbols);
    draw_text(canvas, p, symbols);
  }
}

void put(Canvas canvas, dalk::Point p, std::u32string_view text) {
  if (text_starts_inside(canvas, p)) {
    std::u32string& symbols = layout_buffer();
    symbols.assign(text);
    dalk::text::drawable_in_place(symbols);
    draw_text(canvas, p, symbols);
  }
}

void put(Canvas canvas, dalk::Point p, shape::HLine line) {
  draw_line(canvas, p.x, p.y, rightwards, line.length, line.symbol, SymbolOnly{});
}

void put(Canvas canvas, dalk::Point p, shape::HLine line, dalk::Color foreground) {
  draw_line(canvas, p.x, p.y, rightwards, line.length, line.symbol,
            SymbolAndForeground{foreground});
}

void put(Canvas canvas, dalk::Point p, shape::HLine line, dalk::Brush const& brush) {
  draw_line(canvas, p.x, p.y, rightwards, line.length, line.symbol, SymbolAndBrush{brush});
}

void put(Canvas canvas, dalk::Point p, shape::VLine line) {
  draw_line(canvas, p.x, p.y, downwards, line.length, line.symbol, SymbolOnly{});
}

void put(Canvas canvas, dalk::Point p, shape::VLine line, dalk::Color foreground) {
  draw_line(canvas, p.x, p.y, downwards, line.length, line.symbol, SymbolAndForeground{foreground});
}

void put(Canvas canvas, dalk::Point p, shape::VLine line, dalk::Brush const& brush) {
  draw_line(canvas, p.x, p.y, downwards, line.length, line.symbol, SymbolAndBrush{brush});
}

void put(Canvas canvas, dalk::Point p, shape::Box const& box) {
  draw_box(canvas, p.x, p.y, box.corners, box.walls, box.size, SymbolOnly{});
}

void put(Canvas canvas, dalk::Point p, shape::Box const& box, dalk::Color foreground) {
  draw_box(canvas, p.x, p.y, box.corners, box.walls, box.size, SymbolAndForeground{foreground});
}

void put(Canvas canvas, dalk::Point p, shape::Box const& box, dalk::Brush const& brush) {
  draw_box(canvas, p.x, p.y, box.corners, box.walls, box.size, SymbolAndBrush{brush});
}

void put(Canvas canvas, dalk::Point p, shape::Fill const& fill) {
  // Only the part inside the canvas is drawn, also when the position is negative.
  Wide const left = std::max<Wide>(p.x, 0);
  Wide const top = std::max<Wide>(p.y, 0);
  Wide const right = std::min<Wide>(Wide{p.x} + fill.size.width, canvas.size.width);
  Wide const bottom = std::min<Wide>(Wide{p.y} + fill.size.height, canvas.size.height);
  for (Wide row = top; row < bottom; ++row) {
    for (Wide column = left; column < right; ++column) {
      cell_at(canvas, column, row) = fill.glyph;
    }
  }
}

void put(Canvas canvas, shape::Frame const& frame) {
  draw_frame(canvas, frame, SymbolOnly{});
}

void put(Canvas canvas, shape::Frame const& frame, dalk::Color foreground) {
  draw_frame(canvas, frame, SymbolAndForeground{foreground});
}

void put(Canvas canvas, shape::Frame const& frame, dalk::Brush const& brush) {
  draw_frame(canvas, frame, SymbolAndBrush{brush});
}

void clear(Canvas canvas) {
  dalk::Glyph const blank{};
  for_each_cell(canvas, [&](dalk::Glyph& cell) { cell = blank; });
}

void fill_brush(Canvas canvas, dalk::Brush const& brush) {
  for_each_cell(canvas, [&](dalk::Glyph& cell) { cell.brush = brush; });
}

void fill_background(Canvas canvas, dalk::Color const& background) {
  for_each_cell(canvas, [&](dalk::Glyph& cell) { cell.brush.background = background; });
}

}  // namespace vn
