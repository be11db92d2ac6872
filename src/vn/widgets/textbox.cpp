#include "vn/textbox.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>

#include "dalk/text.hpp"
#include "vn/put.hpp"
#include "vn/widgets/edit_characters.hpp"
#include "vn/widgets/text_layout.hpp"

namespace vn {

namespace {

using detail::ceil_boundary;
using detail::character_end;
using detail::floor_boundary;
using detail::Lines;

// Line numbers and columns are widened where an offset the application set (anything an int
// holds) meets a row, a height or a mouse position.
using Wide = std::int64_t;

int clamp_to_int(Wide value) {
  return static_cast<int>(
      std::clamp<Wide>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

std::u32string_view clipped(std::u32string_view text, std::size_t from, std::size_t to) {
  from = std::min(from, text.size());
  return text.substr(from, std::min(std::max(to, from), text.size()) - from);
}

// The cells of [from, to) of the text. Lines of the last layout may reach past the end of a
// text edited since: code points it no longer has count one cell each.
Wide cells_in(std::u32string_view text, std::size_t from, std::size_t to) {
  std::u32string_view const part = clipped(text, from, to);
  Wide cells = static_cast<Wide>(to - from - part.size());
  for (std::size_t i = 0; i < part.size();) {
    std::size_t const end = character_end(part, i);
    cells += dalk::text::character_cells(part.substr(i, end - i));
    i = end;
  }
  return cells;
}

Wide line_cells(Lines const& lines, std::u32string_view text, int line) {
  return cells_in(text, lines.start(line), lines.end(line));
}

// Where the cursor stands: its display line and the cells before it in that line.
struct Location {
  int line = 0;
  Wide column = 0;
};

// The first line whose range contains the index; past the end of the text, the end of the
// last line. Only the last line can be empty, so the line is the last one starting at or
// before the index.
Location locate(Lines const& lines, std::u32string_view text, std::size_t cursor_index) {
  auto const after = std::upper_bound(lines.starts.begin(), lines.starts.end(), cursor_index);
  int const line = static_cast<int>(after - lines.starts.begin()) - 1;
  std::size_t const start = lines.start(line);
  return {line, cells_in(text, start, std::min(cursor_index, std::max(lines.end(line), start)))};
}

// The index that vertical movement and clicks give for `column` of `line`: the start of the
// character whose cells hold the column, never after the line's last character, which may be
// its line feed.
std::size_t place_on_line(Lines const& lines, std::u32string_view text, int line, Wide column) {
  std::size_t const start = lines.start(line);
  std::size_t const length = lines.end(line) - start;
  std::u32string_view const part = clipped(text, start, start + length);
  std::size_t last = 0;
  Wide x = 0;
  for (std::size_t i = 0; i < length;) {
    std::size_t const end = i < part.size() ? character_end(part, i) : i + 1;
    Wide const w = i < part.size() ? dalk::text::character_cells(part.substr(i, end - i)) : 1;
    if (w > 0 && column < x + w) {
      return start + i;
    }
    last = i;
    x += w;
    i = end;
  }
  return start + last;
}

// Where a paint shows the cursor: its display line (the number of lines for the row after the
// last one) and its column, before clamping to the canvas.
struct CursorCell {
  Wide line = 0;
  Wide x = 0;
};

// At the end of the text after a full last line, a typed character goes to the start of the row
// below: the cursor shows there when the view has a second row to scroll to. (The end of a
// right-aligned line that is not full keeps its place on the last column: the line grows
// leftwards, so that is where the next character shows.)
CursorCell cursor_cell(Lines const& lines, std::u32string_view text, std::size_t cursor_index,
                       Align align, int layout_width, int width, bool room_below) {
  Location const here = locate(lines, text, cursor_index);
  Wide const length = line_cells(lines, text, here.line);
  if (cursor_index >= text.size() && layout_width > 0 && length >= layout_width && room_below) {
    return {Wide{here.line} + 1, find_align_offset(align, width, 1)};
  }
  return {here.line, find_align_offset(align, width, clamp_to_int(length)) + here.column};
}

}  // namespace

TextBox::TextBox(Options options)
    : Widget{options.focus_policy, options.size_policy},
      text{std::move(options.text)},
      wrap{options.wrap},
      align{options.align},
      brush{std::move(options.brush)} {
  cursor_shape = options.cursor_shape;
  update_layout_cache();
}

TextBox::~TextBox() = default;
TextBox::TextBox(TextBox&&) noexcept = default;
TextBox& TextBox::operator=(TextBox&&) noexcept = default;

detail::TextLayout& TextBox::layout() {
  // A box moved from has none: it gets a fresh one, which lays the text out whole.
  if (!layout_) {
    layout_ = std::make_unique<detail::TextLayout>();
  }
  return *layout_;
}

void TextBox::update_layout_cache() {
  layout().forget();
  layout().lines(*this);
}

void TextBox::set_scroll_offset(int offset) {
  int const count = get_scroll_length();
  scroll_offset = std::clamp(offset, 0, count - 1);
  Lines const lines = layout().last();
  Location const here = locate(lines, code_points, cursor_index);
  if (scroll_offset > here.line) {
    cursor_index = place_on_line(lines, code_points, scroll_offset, here.column);
  } else if (Wide{scroll_offset} + size.height <= here.line) {
    // Below the cursor's line, so within the lines there are.
    auto const bottom = static_cast<int>(Wide{scroll_offset} + std::max(size.height, 1) - 1);
    cursor_index = place_on_line(lines, code_points, bottom, here.column);
  }
}

int TextBox::get_scroll_length() const {
  // A box moved from has one empty line until its next layout.
  return layout_ ? layout_->last().count() : 1;
}

void TextBox::mouse_press(dalk::Mouse mouse) {
  if (mouse.button != dalk::Mouse::Button::Left) {
    return;
  }
  Lines const lines = layout().last();
  int const count = get_scroll_length();
  auto const line =
      static_cast<int>(std::clamp<Wide>(Wide{scroll_offset} + mouse.at.y, 0, count - 1));
  int const x0 =
      find_align_offset(align, size.width, clamp_to_int(line_cells(lines, code_points, line)));
  // A click left of a centred or right-aligned line gives a negative column: the cursor goes
  // to the line's start, not into the line before it.
  cursor_index = place_on_line(lines, code_points, line, Wide{mouse.at.x} - x0);
}

void TextBox::mouse_wheel(dalk::Mouse mouse) {
  if (mouse.button == dalk::Mouse::Button::ScrollUp) {
    set_scroll_offset(clamp_to_int(Wide{scroll_offset} - 1));
  } else if (mouse.button == dalk::Mouse::Button::ScrollDown) {
    set_scroll_offset(clamp_to_int(Wide{scroll_offset} + 1));
  }
}

void TextBox::key_press(dalk::Key key) {
  // The application may have set the index past the end or inside a character; edits must
  // not throw for that, nor split a character.
  cursor_index = floor_boundary(code_points, cursor_index);
  Lines const lines = layout().last();
  switch (key) {
    case dalk::Key::Enter:
      layout().edit(*this, cursor_index, 0, U"\n");
      ++cursor_index;
      break;
    case dalk::Key::Backspace: {
      if (text.empty() || cursor_index == 0) {
        return;
      }
      std::size_t const end = cursor_index;
      cursor_index = dalk::text::backspace_start(code_points, cursor_index);
      layout().edit(*this, cursor_index, end - cursor_index, {});
      break;
    }
    case dalk::Key::Delete:
      if (cursor_index >= code_points.size()) {
        return;
      }
      layout().edit(*this, cursor_index, character_end(code_points, cursor_index) - cursor_index,
                    {});
      break;
    case dalk::Key::Home:
      cursor_index = 0;
      return;
    case dalk::Key::End:
      cursor_index = code_points.size();
      return;
    case dalk::Key::ArrowLeft:
      if (cursor_index > 0) {
        cursor_index = floor_boundary(code_points, cursor_index - 1);
      }
      return;
    case dalk::Key::ArrowRight:
      if (cursor_index < code_points.size()) {
        cursor_index = character_end(code_points, cursor_index);
      }
      return;
    case dalk::Key::ArrowUp: {
      Location const here = locate(lines, code_points, cursor_index);
      cursor_index = place_on_line(lines, code_points, std::max(here.line - 1, 0), here.column);
      return;
    }
    case dalk::Key::ArrowDown: {
      Location const here = locate(lines, code_points, cursor_index);
      if (here.line + 1 < get_scroll_length()) {
        cursor_index = place_on_line(lines, code_points, here.line + 1, here.column);
      }
      return;
    }
    default: {
      auto const value = static_cast<char32_t>(key);
      if (!dalk::text::is_typeable(value)) {
        return;
      }
      layout().edit(*this, cursor_index, 0, std::u32string_view{&value, 1});
      ++cursor_index;
      break;
    }
  }
  // An edit can make a mark after the cursor join the character before it.
  cursor_index = ceil_boundary(code_points, cursor_index);
}

void TextBox::paste(std::string_view pasted) {
  std::u32string clean = detail::pasted_text(pasted);
  if (clean.empty()) {
    return;
  }
  std::size_t const length = clean.size();
  cursor_index = floor_boundary(code_points, cursor_index);
  layout().edit(*this, cursor_index, 0, clean, &clean);
  cursor_index = ceil_boundary(code_points, cursor_index + length);
}

void TextBox::paint(Canvas canvas) {
  int count = layout().lines(*this).count();
  scroll_offset = std::clamp(scroll_offset, 0, std::max(count - 1, 0));
  cursor_index = floor_boundary(code_points, cursor_index);

  int const width = canvas.size.width;
  int const height = canvas.size.height;
  // A height below 1 would scroll past the last line.
  Wide const view_height = std::max(size.height, 1);
  bool const room_below = view_height >= 2;
  Wide const cursor_line =
      cursor_cell(layout().last(), code_points, cursor_index, align, size.width, width, room_below)
          .line;
  if (cursor_line < scroll_offset) {
    scroll_offset = static_cast<int>(cursor_line);
  } else if (cursor_line >= scroll_offset + view_height) {
    scroll_offset = static_cast<int>(cursor_line - view_height + 1);
  }

  scrolled.emit(scroll_offset, count);
  // A slot may have edited the box (typed, set the text and laid it out, scrolled): nothing
  // below may use views into storage it released, nor a line count or cursor it changed. What
  // it changed in the code points itself is cut as it stands; the text waits for the next paint.
  count = layout().lines(*this, detail::TextLayout::Source::CodePoints).count();
  cursor_index = floor_boundary(code_points, cursor_index);

  fill_brush(canvas, brush);

  // Lines and columns are checked against the canvas: a slot may have moved scroll_offset
  // anywhere, and a canvas narrower than the widget must not be written past its edge.
  for (int row = 0; row < height; ++row) {
    Wide const index = Wide{scroll_offset} + row;
    if (index >= count) {
      break;
    }
    if (index < 0) {
      continue;
    }
    // The layout is current here, so its views can be read.
    std::u32string_view const line = layout_cache[static_cast<std::size_t>(index)];
    Wide x = find_align_offset(align, width, clamp_to_int(cells_in(line, 0, line.size())));
    for (std::size_t i = 0; i < line.size();) {
      std::size_t const end = character_end(line, i);
      // Line feeds are never drawn.
      if (line[i] != U'\n') {
        x = detail::put_character(canvas, x, row, line.substr(i, end - i), nullptr);
      }
      i = end;
    }
  }

  // A line a slot scrolled out of view shows no cursor.
  CursorCell const shown =
      cursor_cell(layout().last(), code_points, cursor_index, align, size.width, width, room_below);
  Wide const row = shown.line - scroll_offset;
  if (width <= 0 || row < 0 || row >= height) {
    cursor.reset();
  } else {
    cursor =
        Point{static_cast<int>(std::clamp<Wide>(shown.x, 0, width - 1)), static_cast<int>(row)};
  }
}

}  // namespace vn
