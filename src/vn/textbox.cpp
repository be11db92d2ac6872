#include "vn/textbox.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>

#include "dalk/transcode.hpp"
#include "vn/edit_characters.hpp"
#include "vn/put.hpp"

namespace vn {

namespace {

using Lines = std::vector<std::u32string_view>;
// Line numbers and columns are widened where an offset the application set (anything an int
// holds) meets a row, a height or a mouse position.
using Wide = std::int64_t;

int clamp_to_int(Wide value) {
  return static_cast<int>(
      std::clamp<Wide>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

// Characters of UTF-32 text (see edit_characters.hpp). A line feed is a character of its own:
// a mark after it starts the next line rather than joining the feed.
bool is_boundary(std::u32string_view text, std::size_t i) {
  return i == 0 || i >= text.size() || !detail::joins_previous(text[i]) || text[i - 1] == U'\n';
}

// The end of the character starting at i, which must be below the end.
std::size_t character_end(std::u32string_view text, std::size_t i) {
  if (text[i] == U'\n') {
    return i + 1;
  }
  ++i;
  while (i < text.size() && detail::joins_previous(text[i])) {
    ++i;
  }
  return i;
}

std::size_t floor_boundary(std::u32string_view text, std::size_t i) {
  i = std::min(i, text.size());
  while (!is_boundary(text, i)) {
    --i;
  }
  return i;
}

std::size_t ceil_boundary(std::u32string_view text, std::size_t i) {
  i = std::min(i, text.size());
  while (!is_boundary(text, i)) {
    ++i;
  }
  return i;
}

bool is_plain(char32_t c) {
  return c >= 0x20 && c < 0x7F;
}

// Cuts text into display lines of at most width cells (see update_layout_cache).
void cut_lines(std::u32string_view text, int width, bool word_wrap, Lines& lines) {
  lines.clear();
  // A negative width (a size the application set) is treated as 0 rather than cut forever.
  if (text.empty() || width <= 0) {
    lines.push_back(text.substr(0, 0));
    return;
  }
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = at;
    int cells = 0;
    bool feed = false;
    std::size_t after_space = std::u32string_view::npos;
    while (end < text.size()) {
      // Printable ASCII followed by printable ASCII or a line feed is one cell, as is most text.
      bool const plain = is_plain(text[end]) && (end + 1 == text.size() ||
                                                 is_plain(text[end + 1]) || text[end + 1] == U'\n');
      std::size_t const next = plain ? end + 1 : character_end(text, end);
      int const w = plain ? 1 : detail::cells_of(text.substr(end, next - end));
      if (cells + w > width) {
        break;
      }
      cells += w;
      feed = text[end] == U'\n';
      if (text[end] == U' ') {
        after_space = next;
      }
      end = next;
      if (feed) {
        break;
      }
    }
    if (end == at) {
      // A character wider than the whole line gets a line of its own, which it fills.
      end = character_end(text, at);
      cells = width;
    }
    // A line is full when it reaches the width or the next character does not fit. Also a last
    // piece that would fit exactly, and a line ending in a line feed in its last column: such a
    // line is still broken after its last space.
    bool const full = cells >= width || (!feed && end < text.size());
    if (word_wrap && full && after_space != std::u32string_view::npos) {
      end = after_space;
    }
    lines.push_back(text.substr(at, end - at));
    at = end;
  }
  if (text.back() == U'\n') {
    lines.push_back(text.substr(text.size(), 0));
  }
}

// The lines of a layout are used by their lengths only, over the current text: an edit between
// two paints may have moved the text the views of the last layout point into. Code points a
// shortened text no longer has count one cell each.

std::u32string_view clipped(std::u32string_view text, std::size_t from, std::size_t to) {
  from = std::min(from, text.size());
  return text.substr(from, std::min(std::max(to, from), text.size()) - from);
}

Wide cells_in(std::u32string_view text, std::size_t from, std::size_t to) {
  std::u32string_view const part = clipped(text, from, to);
  Wide cells = static_cast<Wide>(to - from - part.size());
  for (std::size_t i = 0; i < part.size();) {
    std::size_t const end = character_end(part, i);
    cells += detail::cells_of(part.substr(i, end - i));
    i = end;
  }
  return cells;
}

std::size_t line_start(Lines const& lines, int line) {
  std::size_t start = 0;
  for (int i = 0; i < line; ++i) {
    start += lines[static_cast<std::size_t>(i)].size();
  }
  return start;
}

Wide line_cells(Lines const& lines, std::u32string_view text, int line) {
  std::size_t const start = line_start(lines, line);
  return cells_in(text, start, start + lines[static_cast<std::size_t>(line)].size());
}

// Where the cursor stands: its display line and the cells before it in that line.
struct Location {
  int line = 0;
  Wide column = 0;
};

// The first line whose range contains the index; past the end of the text, the end of the
// last line.
Location locate(Lines const& lines, std::u32string_view text, std::size_t cursor_index) {
  int const count = static_cast<int>(lines.size());
  std::size_t start = 0;
  for (int line = 0; line < count; ++line) {
    std::size_t const length = lines[static_cast<std::size_t>(line)].size();
    if (cursor_index >= start && cursor_index < start + length) {
      return {line, cells_in(text, start, cursor_index)};
    }
    start += length;
  }
  std::size_t const last = lines.back().size();
  return {count - 1, cells_in(text, start - last, start)};
}

// The index that vertical movement and clicks give for `column` of `line`: the start of the
// character whose cells hold the column, never after the line's last character, which may be
// its line feed.
std::size_t place_on_line(Lines const& lines, std::u32string_view text, int line, Wide column) {
  std::size_t const start = line_start(lines, line);
  std::size_t const length = lines[static_cast<std::size_t>(line)].size();
  std::u32string_view const part = clipped(text, start, start + length);
  std::size_t last = 0;
  Wide x = 0;
  for (std::size_t i = 0; i < length;) {
    std::size_t const end = i < part.size() ? character_end(part, i) : i + 1;
    Wide const w = i < part.size() ? detail::cells_of(part.substr(i, end - i)) : 1;
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

// Values the text box takes as typed characters. Values that are not Unicode scalar values
// would make `text` invalid UTF-8 (and every later paint throw); the console reports keys with
// no character of their own (Shift, Caps Lock, the keypad) in 0x40000 to 0x4FFFF, a plane
// that Unicode leaves unassigned.
bool is_character(char32_t value) {
  if (value < 32 || (value >= 127 && value <= 159)) {
    return false;
  }
  if ((value & dalk::modifier_bits) != 0) {
    return false;
  }
  if (value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    return false;
  }
  return value < 0x40000 || value > 0x4FFFF;
}

}  // namespace

TextBox::TextBox(Options options)
    : Widget{options.focus_policy, options.size_policy},
      text{std::move(options.text)},
      wrap{options.wrap},
      align{options.align},
      brush{std::move(options.brush)} {
  update_layout_cache();
}

void TextBox::update_layout_cache() {
  bool const word_wrap = wrap == Wrap::Word;
  try {
    dalk::detail::u8_string_to_u32_string(text, code_points);
  } catch (...) {
    // The old views may point into storage that the conversion released: cut the valid prefix
    // so that nothing refers to freed memory.
    cut_lines(code_points, size.width, word_wrap, layout_cache);
    throw;
  }
  cut_lines(code_points, size.width, word_wrap, layout_cache);
}

void TextBox::set_scroll_offset(int offset) {
  int const count = get_scroll_length();
  scroll_offset = std::clamp(offset, 0, count - 1);
  Location const here = locate(layout_cache, code_points, cursor_index);
  if (scroll_offset > here.line) {
    cursor_index = place_on_line(layout_cache, code_points, scroll_offset, here.column);
  } else if (Wide{scroll_offset} + size.height <= here.line) {
    // Below the cursor's line, so within the lines there are.
    auto const bottom = static_cast<int>(Wide{scroll_offset} + std::max(size.height, 1) - 1);
    cursor_index = place_on_line(layout_cache, code_points, bottom, here.column);
  }
}

int TextBox::get_scroll_length() const {
  return static_cast<int>(layout_cache.size());
}

void TextBox::mouse_press(dalk::Mouse mouse) {
  if (mouse.button != dalk::Mouse::Button::Left) {
    return;
  }
  int const count = get_scroll_length();
  auto const line =
      static_cast<int>(std::clamp<Wide>(Wide{scroll_offset} + mouse.at.y, 0, count - 1));
  int const x0 = find_align_offset(align, size.width,
                                   clamp_to_int(line_cells(layout_cache, code_points, line)));
  // A click left of a centred or right-aligned line gives a negative column: the cursor goes
  // to the line's start, not into the line before it.
  cursor_index = place_on_line(layout_cache, code_points, line, Wide{mouse.at.x} - x0);
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
  bool edited = false;
  switch (key) {
    case dalk::Key::Enter:
      code_points.insert(cursor_index, 1, U'\n');
      ++cursor_index;
      edited = true;
      break;
    case dalk::Key::Backspace:
      if (text.empty() || cursor_index == 0) {
        return;
      }
      // One code point, so that a mistyped mark goes without its letter.
      --cursor_index;
      code_points.erase(cursor_index, 1);
      edited = true;
      break;
    case dalk::Key::Delete:
      if (cursor_index >= code_points.size()) {
        return;
      }
      code_points.erase(cursor_index, character_end(code_points, cursor_index) - cursor_index);
      edited = true;
      break;
    case dalk::Key::Home:
      cursor_index = 0;
      break;
    case dalk::Key::End:
      cursor_index = code_points.size();
      break;
    case dalk::Key::ArrowLeft:
      if (cursor_index > 0) {
        cursor_index = floor_boundary(code_points, cursor_index - 1);
      }
      break;
    case dalk::Key::ArrowRight:
      if (cursor_index < code_points.size()) {
        cursor_index = character_end(code_points, cursor_index);
      }
      break;
    case dalk::Key::ArrowUp: {
      Location const here = locate(layout_cache, code_points, cursor_index);
      cursor_index =
          place_on_line(layout_cache, code_points, std::max(here.line - 1, 0), here.column);
      break;
    }
    case dalk::Key::ArrowDown: {
      Location const here = locate(layout_cache, code_points, cursor_index);
      if (here.line + 1 < get_scroll_length()) {
        cursor_index = place_on_line(layout_cache, code_points, here.line + 1, here.column);
      }
      break;
    }
    default: {
      auto const value = static_cast<char32_t>(key);
      if (!is_character(value)) {
        return;
      }
      code_points.insert(cursor_index, 1, value);
      ++cursor_index;
      edited = true;
      break;
    }
  }
  if (edited) {
    // An edit can make a mark after the cursor join the character before it.
    cursor_index = ceil_boundary(code_points, cursor_index);
    dalk::detail::u32_to_u8(code_points, text);
  }
}

void TextBox::paint(Canvas canvas) {
  update_layout_cache();
  int count = get_scroll_length();
  scroll_offset = std::clamp(scroll_offset, 0, std::max(count - 1, 0));
  cursor_index = floor_boundary(code_points, cursor_index);

  int const width = canvas.size.width;
  int const height = canvas.size.height;
  // A height below 1 would scroll past the last line.
  Wide const view_height = std::max(size.height, 1);
  bool const room_below = view_height >= 2;
  Wide const cursor_line =
      cursor_cell(layout_cache, code_points, cursor_index, align, size.width, width, room_below)
          .line;
  if (cursor_line < scroll_offset) {
    scroll_offset = static_cast<int>(cursor_line);
  } else if (cursor_line >= scroll_offset + view_height) {
    scroll_offset = static_cast<int>(cursor_line - view_height + 1);
  }

  std::u32string::const_pointer const storage = code_points.data();
  std::size_t const length = code_points.size();
  scrolled.emit(scroll_offset, count);
  // A slot may have edited the box (typed, set the text and laid it out, scrolled): nothing
  // below may use views into storage it released, nor a line count or cursor it changed.
  if (code_points.data() != storage || code_points.size() != length || layout_cache.empty()) {
    cut_lines(code_points, size.width, wrap == Wrap::Word, layout_cache);
  }
  count = get_scroll_length();
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
      cursor_cell(layout_cache, code_points, cursor_index, align, size.width, width, room_below);
  Wide const row = shown.line - scroll_offset;
  if (width <= 0 || row < 0 || row >= height) {
    cursor.reset();
  } else {
    cursor =
        Point{static_cast<int>(std::clamp<Wide>(shown.x, 0, width - 1)), static_cast<int>(row)};
  }
}

}  // namespace vn
