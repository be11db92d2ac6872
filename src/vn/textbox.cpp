#include "vn/textbox.hpp"

#include <algorithm>
#include <limits>
#include <utility>

#include "dalk/transcode.hpp"
#include "vn/put.hpp"

namespace vn {

namespace {

using Lines = std::vector<std::u32string_view>;

int length_of(std::u32string_view line) {
  return static_cast<int>(line.size());
}

// Cuts text into display lines of at most width code points (see update_layout_cache).
void cut_lines(std::u32string_view text, int width, bool word_wrap, Lines& lines) {
  lines.clear();
  // A negative width (a size the application set) is treated as 0 rather than cut forever.
  if (text.empty() || width <= 0) {
    lines.push_back(text.substr(0, 0));
    return;
  }
  auto const full = static_cast<std::size_t>(width);
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t n = std::min(full, text.size() - at);
    if (auto const feed = text.substr(at, n).find(U'\n'); feed != std::u32string_view::npos) {
      n = feed + 1;
    }
    // Also for a last piece that would fit exactly, and for a line ending in a line feed in
    // its last column: such a line is still broken after its last space.
    if (word_wrap && n == full) {
      if (auto const space = text.substr(at, full).rfind(U' ');
          space != std::u32string_view::npos) {
        n = space + 1;
      }
    }
    lines.push_back(text.substr(at, n));
    at += n;
  }
  if (text.back() == U'\n') {
    lines.push_back(text.substr(text.size(), 0));
  }
}

// Where the cursor stands: its display line and its column in that line.
struct Location {
  int line = 0;
  int column = 0;
};

// The first line whose range contains the index; past the end of the text, the end of the
// last line.
Location locate(Lines const& lines, std::size_t cursor_index) {
  int const index =
      static_cast<int>(std::min<std::size_t>(cursor_index, std::numeric_limits<int>::max()));
  int const count = static_cast<int>(lines.size());
  int start = 0;
  for (int line = 0; line < count; ++line) {
    int const length = length_of(lines[static_cast<std::size_t>(line)]);
    if (index >= start && index < start + length) {
      return {line, index - start};
    }
    start += length;
  }
  return {count - 1, length_of(lines.back())};
}

int line_start(Lines const& lines, int line) {
  int start = 0;
  for (int i = 0; i < line; ++i) {
    start += length_of(lines[static_cast<std::size_t>(i)]);
  }
  return start;
}

// The index that vertical movement to `line` gives for a cursor in `column`: never after the
// line's last code point, which may be its line feed.
std::size_t place_on_line(Lines const& lines, int line, int column) {
  int const length = length_of(lines[static_cast<std::size_t>(line)]);
  int const clamped = std::clamp(column, 0, std::max(length - 1, 0));
  return static_cast<std::size_t>(line_start(lines, line) + clamped);
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
  Location const here = locate(layout_cache, cursor_index);
  if (scroll_offset > here.line) {
    cursor_index = place_on_line(layout_cache, scroll_offset, here.column);
  } else if (scroll_offset + size.height <= here.line) {
    cursor_index =
        place_on_line(layout_cache, scroll_offset + std::max(size.height, 1) - 1, here.column);
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
  int const line = std::clamp(scroll_offset + mouse.at.y, 0, count - 1);
  int const x0 =
      find_align_offset(align, size.width, length_of(layout_cache[static_cast<std::size_t>(line)]));
  // A click left of a centred or right-aligned line gives a negative column: the cursor goes
  // to the line's start, not into the line before it.
  cursor_index = place_on_line(layout_cache, line, mouse.at.x - x0);
}

void TextBox::mouse_wheel(dalk::Mouse mouse) {
  if (mouse.button == dalk::Mouse::Button::ScrollUp) {
    set_scroll_offset(scroll_offset - 1);
  } else if (mouse.button == dalk::Mouse::Button::ScrollDown) {
    set_scroll_offset(scroll_offset + 1);
  }
}

void TextBox::key_press(dalk::Key key) {
  // The application may have set the index past the end; edits must not throw for that.
  cursor_index = std::min(cursor_index, code_points.size());
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
      --cursor_index;
      code_points.erase(cursor_index, 1);
      edited = true;
      break;
    case dalk::Key::Delete:
      if (cursor_index >= code_points.size()) {
        return;
      }
      code_points.erase(cursor_index, 1);
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
        --cursor_index;
      }
      break;
    case dalk::Key::ArrowRight:
      if (cursor_index < code_points.size()) {
        ++cursor_index;
      }
      break;
    case dalk::Key::ArrowUp: {
      Location const here = locate(layout_cache, cursor_index);
      cursor_index = place_on_line(layout_cache, std::max(here.line - 1, 0), here.column);
      break;
    }
    case dalk::Key::ArrowDown: {
      Location const here = locate(layout_cache, cursor_index);
      if (here.line + 1 < get_scroll_length()) {
        cursor_index = place_on_line(layout_cache, here.line + 1, here.column);
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
    dalk::detail::u32_to_u8(code_points, text);
  }
}

void TextBox::paint(Canvas canvas) {
  update_layout_cache();
  int const count = get_scroll_length();
  scroll_offset = std::clamp(scroll_offset, 0, std::max(count - 1, 0));
  cursor_index = std::min(cursor_index, code_points.size());

  // A height below 1 would scroll past the last line.
  int const view_height = std::max(size.height, 1);
  int const cursor_line = locate(layout_cache, cursor_index).line;
  if (cursor_line < scroll_offset) {
    scroll_offset = cursor_line;
  } else if (cursor_line >= scroll_offset + view_height) {
    scroll_offset = cursor_line - view_height + 1;
  }

  scrolled.emit(scroll_offset, count);

  int const width = canvas.size.width;
  int const height = canvas.size.height;
  fill_brush(canvas, brush);

  // Lines and columns are checked against the canvas: a slot may have moved scroll_offset
  // anywhere, and a canvas narrower than the widget must not be written past its edge.
  for (int row = 0; row < height; ++row) {
    int const index = scroll_offset + row;
    if (index >= count) {
      break;
    }
    if (index < 0) {
      continue;
    }
    std::u32string_view const line = layout_cache[static_cast<std::size_t>(index)];
    int const length = length_of(line);
    int const x0 = find_align_offset(align, width, length);
    for (int i = 0; i < length; ++i) {
      char32_t const symbol = line[static_cast<std::size_t>(i)];
      int const column = x0 + i;
      if (symbol == U'\n' || column < 0 || column >= width) {
        continue;
      }
      canvas[{column, row}].symbol = symbol;
    }
  }

  Location const here = locate(layout_cache, cursor_index);
  int const x0 =
      find_align_offset(align, width, length_of(layout_cache[static_cast<std::size_t>(here.line)]));
  // The cell after a full or right-aligned line lies past the right edge: the cursor stays on
  // the last column. A line a slot scrolled out of view shows no cursor.
  int const row = here.line - scroll_offset;
  if (width <= 0 || row < 0 || row >= height) {
    cursor.reset();
  } else {
    cursor = Point{std::clamp(x0 + here.column, 0, width - 1), row};
  }
}

}  // namespace vn
