#include "vn/datatable.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "dalk/text.hpp"
#include "vn/focus.hpp"
#include "vn/put.hpp"
#include "vn/widgets/navigation.hpp"

namespace vn {

namespace {

std::size_t rows_in(std::vector<std::vector<std::string>> const& columns) {
  return columns.empty() ? 0 : columns.front().size();
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
  std::vector<std::string> column(rows_in(columns));
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

std::uint64_t DataTable::row_count() const {
  return rows_in(columns);
}

void DataTable::clear_rows() {
  for (auto& column : columns) {
    column.clear();
  }
  scroll_offset = 0;
  selected.reset();
}

void DataTable::remove_row(std::uint64_t row) {
  std::uint64_t const rows = row_count();
  if (row >= rows) {
    throw std::out_of_range("DataTable::remove_row: row out of range.");
  }
  auto const at = static_cast<std::ptrdiff_t>(row);
  for (auto& column : columns) {
    column.erase(column.begin() + at);
  }
  std::uint64_t const left = rows - 1;
  if (selected && *selected > row) {
    --*selected;
  }
  if (selected && *selected >= left) {
    selected = left > 0 ? std::optional<std::uint64_t>{left - 1} : std::nullopt;
  }
  scroll_offset = std::min(scroll_offset, left > 0 ? left - 1 : 0);
}

void DataTable::set_row(std::uint64_t row, std::vector<std::string> texts) {
  if (row >= row_count()) {
    throw std::out_of_range("DataTable::set_row: row out of range.");
  }
  if (texts.size() != columns.size()) {
    throw std::runtime_error("DataTable::set_row: row size does not match column count.");
  }
  for (std::size_t c = 0; c < columns.size(); ++c) {
    columns[c][row] = std::move(texts[c]);
  }
}

void DataTable::set_cell(std::uint64_t row, std::size_t column, std::string text) {
  if (column >= columns.size() || row >= row_count()) {
    throw std::out_of_range("DataTable::set_cell: cell out of range.");
  }
  columns[column][row] = std::move(text);
}

void DataTable::set_column_width(std::size_t column, std::optional<int> width) {
  if (column >= header.children.size()) {
    throw std::out_of_range("DataTable::set_column_width: column out of range.");
  }
  header.children[column].size_policy =
      width ? SizePolicy::fixed(std::max(*width, 0)) : SizePolicy::flex(1.0F);
  resize(size);
}

std::optional<std::size_t> DataTable::selection() const {
  std::uint64_t const rows = row_count();
  if (!selected || rows == 0) {
    return std::nullopt;
  }
  return std::min(*selected, rows - 1);
}

void DataTable::select(std::size_t row) {
  select(std::optional<std::size_t>{row});
}

void DataTable::select(std::optional<std::size_t> row) {
  selected = row;
  selected = selection();
  if (selected) {
    scroll_offset = detail::scroll_into_view(scroll_offset, *selected, page());
  }
}

std::uint64_t DataTable::page() const {
  int const h = size.height;
  if (compact) {
    return h > 4 ? static_cast<std::uint64_t>(h - 4) : 0;
  }
  return h > 3 ? static_cast<std::uint64_t>((h - 3) / 2) : 0;
}

ScrollState DataTable::scroll_state() const {
  std::uint64_t const rows = row_count();
  std::uint64_t const position = std::min(scroll_offset, rows > 0 ? rows - 1 : 0);
  return {static_cast<std::int64_t>(position), static_cast<std::int64_t>(page()),
          static_cast<std::int64_t>(rows)};
}

void DataTable::scroll_to(std::int64_t position) {
  std::uint64_t const rows = row_count();
  std::uint64_t const wanted = position > 0 ? static_cast<std::uint64_t>(position) : 0;
  scroll_offset = std::min(wanted, rows > 0 ? rows - 1 : 0);
}

void DataTable::key_press(dalk::Key key) {
  if (!detail::is_enter(key)) {
    navigate_by_user(key, {.count = row_count(), .page = page(), .first_shown = scroll_offset});
  } else if (auto const current = selection()) {
    activated.emit(*current);
  }
}

void DataTable::mouse_press(dalk::Mouse mouse) {
  if (mouse.button != dalk::Mouse::Button::Left || !is_click_focusable(focus_policy) ||
      mouse.at.y < 3 || mouse.at.x < 1 || mouse.at.x >= size.width - 1) {
    return;
  }
  std::uint64_t const k = static_cast<std::uint64_t>(mouse.at.y - 3) / (compact ? 1 : 2);
  std::uint64_t const row = scroll_offset + k;
  if (k < page() && row < row_count()) {
    select_by_user(row);
  }
}

void DataTable::mouse_wheel(dalk::Mouse mouse) {
  std::uint64_t const rows = rows_in(columns);
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
  report_scroll();
  if (size.width == 0 || size.height == 0 || columns.empty()) {
    return;
  }
  int const canvas_width = canvas.size.width;
  int const canvas_height = canvas.size.height;
  std::size_t const n = columns.size();
  std::uint64_t const r = rows_in(columns);
  std::uint64_t const s = scroll_offset;
  // Rows left to show; an offset at or past the end (set from outside) shows none instead of
  // wrapping around to a huge count.
  std::uint64_t const visible = s < r ? r - s : 0;
  // Top frame line, heading line, heading rule and two lines per row (text and rule, the last
  // rule being the bottom frame line), as far as the canvas reaches. Counted in 64 bits.
  std::uint64_t const limit = static_cast<std::uint64_t>(std::max(canvas_height, 0));
  // Compact: top frame line, heading line, heading rule, one line per row and the bottom
  // frame line; with no rows the heading rule lies over the bottom line, as it does ruled.
  std::uint64_t const shown = std::min(visible, limit);
  std::uint64_t const pitch = compact ? 1 : 2;
  std::uint64_t const full_height = compact ? shown + 3 + (shown > 0 ? 1 : 0) : 2 * shown + 3;
  int const table_height = static_cast<int>(std::min(full_height, limit));
  int const step = static_cast<int>(pitch);
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
           ++k, y += step) {
        dalk::text::fit(columns[c][s + static_cast<std::uint64_t>(k)], width - 1, cell);
        put(canvas, {x(c) + 1, y}, std::u32string_view{cell});
      }
    }
  }

  if (table_height >= 6 && !compact) {
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

  if (table_height >= 6 && !compact) {
    for (int y = 4; y <= table_height - 2; y += 2) {
      for (std::size_t c = 0; c < n; ++c) {
        put(canvas, {x(c) + 1, y}, shape::HLine{w(c), U'─'}, line_color);
      }
    }
  }

  if (table_height >= 5 && n >= 2) {
    for (int y = 3; y <= table_height - 2; y += step) {
      for (std::size_t c = 1; c < n; ++c) {
        put(canvas, {b(c), y}, dalk::Glyph{U'│', line_brush});
        if (!compact && y + 2 < table_height) {
          put(canvas, {b(c), y + 1}, dalk::Glyph{U'┼', line_brush});
        }
      }
    }
  }

  bool const focused = Focus::get() == this;
  if (auto const row = selection(); row && *row >= s && *row - s < visible) {
    std::uint64_t const y = 3 + (*row - s) * pitch;
    if (table_height >= 5 && y <= static_cast<std::uint64_t>(table_height - 2)) {
      fill_brush(Canvas{canvas.buffer,
                        {canvas.at.x + 1, canvas.at.y + static_cast<int>(y)},
                        {std::max(canvas_width - 2, 0), 1}},
                 focused ? selected_brush : unfocused_selected_brush);
    }
  }
  if (focused) {
    for (int x = 0; x < canvas_width; ++x) {
      canvas[{x, 0}].brush.traits |= dalk::Trait::Bold;
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
