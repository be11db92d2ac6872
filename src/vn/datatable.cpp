#include "vn/datatable.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "dalk/transcode.hpp"
#include "dalk/width.hpp"
#include "vn/put.hpp"

namespace vn {

namespace {

std::size_t row_count(std::vector<std::vector<std::string>> const& columns) {
  return columns.empty() ? 0 : columns.front().size();
}

// The code points that put lays out for this text: the well-formed prefix, so a malformed
// cell shows what it can instead of failing the paint, composed and without leftover
// zero-width code points, so that its width in cells is the sum of its code points' widths.
void decode(std::string_view text, std::u32string& out) {
  out.clear();
  for (char32_t const code_point : dalk::detail::u8_string_to_u32(text)) {
    out.push_back(code_point);
  }
  out = detail::drawable_text(std::move(out));
}

// Room for one more element, growing geometrically as push_back would: reserving only one more
// would copy every column on every added row.
template <typename T>
void make_room_for_one(std::vector<T>& v) {
  if (v.size() == v.capacity()) {
    v.reserve(std::max<std::size_t>(2 * v.size(), 8));
  }
}

}  // namespace

DataTable::Options const DataTable::init{};

DataTable::DataTable(Options options)
    : Widget{FocusPolicy::None, options.size_policy},
      background{options.background},
      foreground{options.foreground},
      line_color{options.line_color},
      header{FocusPolicy::None, SizePolicy::flex(1.0F)} {}

void DataTable::add_column(std::string heading, Align align, dalk::Color color) {
  Label::Options options{std::move(heading), align,
                         dalk::Brush{dalk::XColor::Default, color, dalk::Trait::Bold},
                         SizePolicy::flex(1.0F)};
  // Everything that can fail comes before the first change, so a failure adds nothing.
  std::vector<std::string> column(row_count(columns));
  make_room_for_one(columns);
  header.children.emplace_back(std::move(options));
  columns.push_back(std::move(column));
}

void DataTable::add_row(std::vector<std::string> row) {
  if (row.size() != columns.size()) {
    throw std::runtime_error("DataTable::add_row: row size does not match column count.");
  }
  // Room first, so that a failed allocation leaves every column as it was.
  for (auto& column : columns) {
    make_room_for_one(column);
  }
  for (std::size_t c = 0; c < columns.size(); ++c) {
    columns[c].push_back(std::move(row[c]));
  }
}

void DataTable::mouse_wheel(dalk::Mouse mouse) {
  std::uint64_t const rows = row_count(columns);
  if (mouse.button == dalk::Mouse::Button::ScrollDown) {
    // The last row may come to the top but not go past it. Compared rather than added, so
    // that no offset can wrap around.
    if (rows == 0) {
      scroll_offset = 0;
    } else if (scroll_offset < rows - 1) {
      ++scroll_offset;
    } else {
      scroll_offset = rows - 1;
    }
  } else if (mouse.button == dalk::Mouse::Button::ScrollUp) {
    // Unsigned: on the first row, one less would wrap around to the largest index.
    if (scroll_offset > 0) {
      --scroll_offset;
    }
  }
}

void DataTable::resize(Area /*previous*/) {
  int const w = size.width;
  int const h = size.height;
  // Just inside the frame, as far as the table has room for one.
  header.at = {std::min(1, std::max(0, w - 1)), std::min(1, std::max(0, h - 1))};
  Area const previous = header.size;
  header.size = {std::max(w - 2, 0), std::min(h, 1)};
  header.resize(previous);
}

void DataTable::paint(Canvas canvas) {
  if (size.width == 0 || size.height == 0 || columns.empty()) {
    return;
  }
  int const canvas_width = canvas.size.width;
  int const canvas_height = canvas.size.height;
  std::size_t const n = columns.size();
  std::uint64_t const r = row_count(columns);
  std::uint64_t const s = scroll_offset;
  // Rows left to show; an offset at or past the end (set from outside) shows none instead of
  // wrapping around to a huge count.
  std::uint64_t const visible = s < r ? r - s : 0;
  // Top frame line, heading line, heading rule and two lines per row (text and rule, the last
  // rule being the bottom frame line), as far as the canvas reaches. Counted in 64 bits.
  std::uint64_t const limit = static_cast<std::uint64_t>(std::max(canvas_height, 0));
  int const table_height = static_cast<int>(std::min(2 * std::min(visible, limit) + 3, limit));
  dalk::Brush const line_brush{dalk::XColor::Default, line_color, {}};

  // Column geometry as the header's layout left it, in the header's own coordinates.
  auto const x = [&](std::size_t c) { return header.children[c].at.x; };
  auto const w = [&](std::size_t c) { return header.children[c].size.width; };
  // The boundary left of column c, which in the table's coordinates is the last cell of c - 1.
  auto const b = [&](std::size_t c) { return x(c - 1) + w(c - 1); };

  fill_background(canvas, background);

  shape::Box const frame{
      shape::Box::round_corners, {U'─', U'─', U'│', U'│'}, {canvas_width, table_height}};
  put(canvas, {0, 0}, frame, line_color);

  if (size.height > 2) {
    put(canvas, {0, 2}, dalk::Glyph{U'╞', line_brush});
    put(canvas, {canvas_width - 1, 2}, dalk::Glyph{U'╡', line_brush});
    put(canvas, {1, 2}, shape::HLine{std::max(canvas_width - 2, 0), U'═'}, line_color);
  }

  if (table_height >= 5) {
    std::u32string cell;
    for (std::size_t c = 0; c < n; ++c) {
      int const width = w(c);
      // A text may use width - 1 cells and never the column's last one. A column narrower
      // than 2 has no room at all: even a lone "…" would land on the boundary, in the next
      // column or on the frame.
      if (width < 2) {
        continue;
      }
      for (int k = 0, y = 3; static_cast<std::uint64_t>(k) < visible && y <= table_height - 2;
           ++k, y += 2) {
        decode(columns[c][s + static_cast<std::uint64_t>(k)], cell);
        // Cut by cells; a wide code point that would reach the last allowed cell goes whole,
        // so "…" may follow one cell earlier.
        if (dalk::width(cell) + 1 > static_cast<std::size_t>(width)) {
          detail::cut_to_cells(cell, width - 2);
          cell.push_back(U'…');
        }
        put(canvas, {x(c) + 1, y}, std::u32string_view{cell});
      }
    }
  }

  if (table_height >= 6) {
    for (int y = 4; y <= table_height - 2; y += 2) {
      put(canvas, {0, y}, dalk::Glyph{U'├', line_brush});
      put(canvas, {canvas_width - 1, y}, dalk::Glyph{U'┤', line_brush});
    }
  }

  if (n >= 2) {
    for (std::size_t c = 1; c < n; ++c) {
      put(canvas, {b(c), 2}, dalk::Glyph{U'╤', line_brush});
      put(canvas, {b(c), std::max(table_height - 1, 0)}, dalk::Glyph{U'┴', line_brush});
    }
  }

  if (table_height >= 6) {
    for (int y = 4; y <= table_height - 2; y += 2) {
      for (std::size_t c = 0; c < n; ++c) {
        put(canvas, {x(c) + 1, y}, shape::HLine{w(c), U'─'}, line_color);
      }
    }
  }

  if (table_height >= 5 && n >= 2) {
    for (int y = 3; y <= table_height - 2; y += 2) {
      for (std::size_t c = 1; c < n; ++c) {
        put(canvas, {b(c), y}, dalk::Glyph{U'│', line_brush});
        if (y + 2 < table_height) {
          put(canvas, {b(c), y + 1}, dalk::Glyph{U'┼', line_brush});
        }
      }
    }
  }
}

lum::Generator<Widget&> DataTable::get_children() {
  co_yield static_cast<Widget&>(header);
}

lum::Generator<Widget const&> DataTable::get_children() const {
  co_yield static_cast<Widget const&>(header);
}

}  // namespace vn
