#include "vn/lineedit.hpp"

#include <algorithm>
#include <cstddef>
#include <string_view>
#include <utility>
#include <vector>

#include "dalk/transcode.hpp"
#include "vn/focus.hpp"

namespace vn {

namespace {

// Character boundaries of UTF-8 text. A character is a lead byte and at most three
// continuation bytes; the steps never cross more than that, which keeps them bounded on
// malformed text (whose display ends at the first malformed byte anyway).
constexpr int max_continuation = 3;

bool is_continuation(char byte) {
  return (static_cast<unsigned char>(byte) & 0xC0U) == 0x80U;
}

// The start of the character holding byte i (i itself at a boundary or at the end).
std::size_t floor_boundary(std::string_view text, std::size_t i) {
  for (int k = 0; k < max_continuation && i > 0 && i < text.size() && is_continuation(text[i]);
       ++k) {
    --i;
  }
  return i;
}

// The boundary after the character at i; i must be below the end.
std::size_t next_boundary(std::string_view text, std::size_t i) {
  ++i;
  for (int k = 0; k < max_continuation && i < text.size() && is_continuation(text[i]); ++k) {
    ++i;
  }
  return i;
}

// The boundary before i; i must be above 0.
std::size_t previous_boundary(std::string_view text, std::size_t i) {
  --i;
  for (int k = 0; k < max_continuation && i > 0 && is_continuation(text[i]); ++k) {
    --i;
  }
  return i;
}

// The boundary n characters after from, or the end of the text.
std::size_t advance(std::string_view text, std::size_t from, long long n) {
  for (; n > 0 && from < text.size(); --n) {
    from = next_boundary(text, from);
  }
  return std::min(from, text.size());
}

// The boundary n characters before from, or 0.
std::size_t retreat(std::string_view text, std::size_t from, long long n) {
  for (; n > 0 && from > 0; --n) {
    from = previous_boundary(text, from);
  }
  return from;
}

// The number of characters in [from, to): the columns they take on screen.
std::size_t columns(std::string_view text, std::size_t from, std::size_t to) {
  std::size_t count = 0;
  for (std::size_t i = from; i < to && i < text.size(); ++i) {
    if (!is_continuation(text[i])) {
      ++count;
    }
  }
  return count;
}

}  // namespace

LineEdit::LineEdit(Options options)
    : Widget{options.focus_policy, options.size_policy},
      text{std::move(options.text)},
      brush{std::move(options.brush)},
      placeholder{std::move(options.placeholder)},
      placeholder_brush{std::move(options.placeholder_brush)},
      validator{std::move(options.validator)} {}

int LineEdit::view_width() const {
  return std::max(size.width, 1);
}

// Keeps the cursor within the first width columns shown. Columns are characters, so for ASCII
// text this is: cursor >= scroll + width gives scroll = cursor - width + 1, cursor < scroll
// gives scroll = cursor.
void LineEdit::adjust_scroll() {
  auto const width = static_cast<std::size_t>(view_width());
  if (cursor_index >= scroll_offset && columns(text, scroll_offset, cursor_index) >= width) {
    scroll_offset = retreat(text, cursor_index, static_cast<long long>(width) - 1);
  } else if (cursor_index < scroll_offset) {
    scroll_offset = cursor_index;
  }
}

// By characters. A cursor beyond the end of a shortened text first spends the distance to the
// end, as clamp(cursor + n, 0, size) does for ASCII.
void LineEdit::move_cursor(long long n) {
  if (cursor_index > text.size()) {
    auto const beyond = static_cast<long long>(cursor_index - text.size());
    cursor_index = text.size();
    n = n >= 0 ? 0 : std::min(n + beyond, 0LL);
  }
  cursor_index = n >= 0 ? advance(text, cursor_index, n) : retreat(text, cursor_index, -n);
}

void LineEdit::increment_cursor(int n) {
  cursor_index = floor_boundary(text, cursor_index);
  scroll_offset = floor_boundary(text, scroll_offset);
  move_cursor(n);
  adjust_scroll();
}

void LineEdit::key_press(dalk::Key key) {
  // The application may have set either position inside a character; count it as standing
  // before that character. (Positions beyond the end are handled per key.)
  cursor_index = floor_boundary(text, cursor_index);
  scroll_offset = floor_boundary(text, scroll_offset);
  auto const value = static_cast<char32_t>(key);
  switch (key) {
    case dalk::Key::Enter:
      submitted.emit(text);
      return;
    case dalk::Key::Backspace: {
      if (text.empty() || cursor_index == 0) {
        return;
      }
      if (cursor_index > text.size()) {
        // Nothing lies just before a cursor beyond the end: it only comes back to the end.
        cursor_index = text.size();
        adjust_scroll();
        return;
      }
      std::size_t const end = cursor_index;
      cursor_index = previous_boundary(text, cursor_index);
      adjust_scroll();
      text.erase(cursor_index, end - cursor_index);
      return;
    }
    case dalk::Key::Delete:
      if (cursor_index < text.size()) {
        text.erase(cursor_index, next_boundary(text, cursor_index) - cursor_index);
      }
      return;
    case dalk::Key::Home:
      cursor_index = 0;
      scroll_offset = 0;
      return;
    case dalk::Key::End: {
      cursor_index = text.size();
      auto const width = static_cast<std::size_t>(view_width());
      scroll_offset = columns(text, 0, text.size()) >= width
                          ? retreat(text, text.size(), static_cast<long long>(width) - 1)
                          : 0;
      return;
    }
    case dalk::Key::ArrowLeft:
      move_cursor(-1);
      adjust_scroll();
      return;
    case dalk::Key::ArrowRight:
      move_cursor(1);
      adjust_scroll();
      return;
    default:
      break;
  }
  if (value < 32 || value > 126) {
    return;
  }
  auto const typed = static_cast<char>(value);
  if (validator && !(*validator)(typed)) {
    return;
  }
  // Typing at a cursor beyond the end of a shortened text appends.
  cursor_index = std::min(cursor_index, text.size());
  text.insert(cursor_index, 1, typed);
  ++cursor_index;
  adjust_scroll();
}

void LineEdit::mouse_press(dalk::Mouse mouse) {
  // The clicked column counts characters from the first one shown; past the end of the text
  // the cursor goes to the end.
  std::size_t const from = floor_boundary(text, std::min(scroll_offset, text.size()));
  cursor_index = advance(text, from, std::max(mouse.at.x, 0));
}

void LineEdit::paint(Canvas canvas) {
  cursor_index = floor_boundary(text, std::min(cursor_index, text.size()));
  scroll_offset = floor_boundary(text, std::min(scroll_offset, text.size()));

  bool const show_placeholder = text.empty() && Focus::get() != this;
  std::string_view const shown = show_placeholder ? placeholder : text;
  dalk::Brush const& shown_brush = show_placeholder ? placeholder_brush : brush;
  auto const width = view_width();

  // Whole characters only: at most width of them, starting at a boundary.
  std::size_t const from = std::min(scroll_offset, shown.size());
  std::size_t const to = advance(shown, from, width);
  std::vector<dalk::Glyph> glyphs = dalk::detail::utf8_to_glyphs(shown.substr(from, to - from));
  int const count =
      canvas.size.height > 0 ? std::min(static_cast<int>(glyphs.size()), canvas.size.width) : 0;
  for (int i = 0; i < count; ++i) {
    dalk::Glyph& cell = canvas[{i, 0}];
    cell.symbol = glyphs[static_cast<std::size_t>(i)].symbol;
    cell.brush = shown_brush;
  }

  std::size_t const column = columns(text, scroll_offset, cursor_index);
  if (scroll_offset <= cursor_index && column < static_cast<std::size_t>(width)) {
    cursor = Point{static_cast<int>(column), 0};
  } else {
    cursor.reset();
  }
}

}  // namespace vn
