#include "vn/lineedit.hpp"

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "dalk/text.hpp"
#include "dalk/transcode.hpp"
#include "vn/focus.hpp"
#include "vn/widgets/edit_characters.hpp"

namespace vn {

namespace {

using dalk::text::Boundary;

// Character steps (dalk/text.hpp); the application may have left a position inside a character
// or past the end.
std::size_t next_character(std::string_view text, std::size_t i) {
  return dalk::text::boundary(text, i, Boundary::Next);
}

std::size_t previous_character(std::string_view text, std::size_t i) {
  return dalk::text::boundary(text, i, Boundary::Previous);
}

std::size_t floor_character(std::string_view text, std::size_t i) {
  return dalk::text::boundary(text, i, Boundary::AtOrBefore);
}

std::size_t ceil_character(std::string_view text, std::size_t i) {
  return dalk::text::boundary(text, i, Boundary::AtOrAfter);
}

// The boundary n characters after from, or the end of the text.
std::size_t advance(std::string_view text, std::size_t from, long long n) {
  for (; n > 0 && from < text.size(); --n) {
    from = next_character(text, from);
  }
  return std::min(from, text.size());
}

// The boundary n characters before from, or 0.
std::size_t retreat(std::string_view text, std::size_t from, long long n) {
  for (; n > 0 && from > 0; --n) {
    from = previous_character(text, from);
  }
  return from;
}

// One character of the text: where it ends, its code points and the cells it takes. A character
// holding malformed bytes takes one cell, and is not drawn.
struct Character {
  std::size_t end = 0;
  bool well_formed = true;
  std::u32string code_points;
  int cells = 1;
};

Character character_at(std::string_view text, std::size_t i) {
  Character c;
  c.end = next_character(text, i);
  if (c.end == i + 1 && static_cast<unsigned char>(text[i]) < 0x80U) {
    c.code_points.push_back(static_cast<char32_t>(text[i]));
    return c;
  }
  std::string_view const bytes = text.substr(i, c.end - i);
  c.well_formed = dalk::text::decode(bytes, c.code_points) == bytes.size();
  if (c.well_formed) {
    c.cells = dalk::text::character_cells(c.code_points);
  }
  return c;
}

int cells_at(std::string_view text, std::size_t i) {
  return character_at(text, i).cells;
}

// The cells of the characters in [from, to); both are boundaries.
std::size_t cells(std::string_view text, std::size_t from, std::size_t to) {
  std::size_t count = 0;
  for (std::size_t i = from; i < to && i < text.size(); i = next_character(text, i)) {
    count += static_cast<std::size_t>(cells_at(text, i));
  }
  return count;
}

// The cells the cursor needs: those of the character it stands before, one at the end.
std::size_t cursor_cells(std::string_view text, std::size_t cursor) {
  return cursor < text.size() ? static_cast<std::size_t>(std::max(cells_at(text, cursor), 1)) : 1;
}

// The positions as a paint pulls them back onto the text and its character boundaries, and the
// cursor it then shows: at the cells before it, while they lie within the width.
struct ShownPositions {
  std::size_t cursor_index = 0;
  std::size_t scroll_offset = 0;
  std::optional<Point> cursor;
};

ShownPositions shown_positions(std::string_view text, std::size_t cursor_index,
                               std::size_t scroll_offset, int width) {
  ShownPositions shown;
  shown.cursor_index = floor_character(text, std::min(cursor_index, text.size()));
  shown.scroll_offset = floor_character(text, std::min(scroll_offset, text.size()));
  std::size_t const column = cells(text, shown.scroll_offset, shown.cursor_index);
  if (shown.scroll_offset <= shown.cursor_index && column < static_cast<std::size_t>(width)) {
    shown.cursor = Point{static_cast<int>(column), 0};
  }
  return shown;
}

}  // namespace

LineEdit::LineEdit(Options options)
    : Widget{options.focus_policy, options.size_policy},
      text{std::move(options.text)},
      brush{std::move(options.brush)},
      placeholder{std::move(options.placeholder)},
      placeholder_brush{std::move(options.placeholder_brush)},
      validator{std::move(options.validator)},
      paste_mode{options.paste_mode} {
  cursor_shape = options.cursor_shape;
}

int LineEdit::view_width() const {
  return std::max(size.width, 1);
}

// The first character to show so that the cursor's cells end in the last column: as many
// characters before the cursor as fit beside them. For ASCII text, cursor - width + 1.
std::size_t LineEdit::scroll_for_cursor_at_right() const {
  auto const width = static_cast<std::size_t>(view_width());
  std::size_t total = cursor_cells(text, cursor_index);
  std::size_t first = cursor_index;
  while (first > 0) {
    std::size_t const before = previous_character(text, first);
    auto const w = static_cast<std::size_t>(cells_at(text, before));
    if (total + w > width) {
      break;
    }
    total += w;
    first = before;
  }
  return first;
}

// Keeps the cursor's cells within the first width columns shown. For ASCII text: cursor >=
// scroll + width gives scroll = cursor - width + 1, cursor < scroll gives scroll = cursor.
void LineEdit::adjust_scroll() {
  auto const width = static_cast<std::size_t>(view_width());
  if (cursor_index >= scroll_offset &&
      cells(text, scroll_offset, cursor_index) + cursor_cells(text, cursor_index) > width) {
    scroll_offset = scroll_for_cursor_at_right();
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
  cursor_index = floor_character(text, cursor_index);
  scroll_offset = floor_character(text, scroll_offset);
  move_cursor(n);
  adjust_scroll();
}

void LineEdit::key_press(dalk::Key key) {
  // The application may have set either position inside a character; count it as standing
  // before that character. (Positions beyond the end are handled per key.)
  cursor_index = floor_character(text, cursor_index);
  scroll_offset = floor_character(text, scroll_offset);
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
      // The cursor stays on a boundary, since what follows it starts a character.
      std::size_t const end = cursor_index;
      cursor_index = dalk::text::backspace_start(text, cursor_index);
      text.erase(cursor_index, end - cursor_index);
      scroll_offset = floor_character(text, std::min(scroll_offset, cursor_index));
      adjust_scroll();
      return;
    }
    case dalk::Key::Delete:
      if (cursor_index < text.size()) {
        text.erase(cursor_index, next_character(text, cursor_index) - cursor_index);
      }
      return;
    case dalk::Key::Home:
      cursor_index = 0;
      scroll_offset = 0;
      return;
    case dalk::Key::End:
      cursor_index = text.size();
      scroll_offset = scroll_for_cursor_at_right();
      return;
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
  if (!dalk::text::is_typeable(value)) {
    return;
  }
  if (validator && !(*validator)(value)) {
    return;
  }
  // Typing at a cursor beyond the end of a shortened text appends.
  cursor_index = std::min(cursor_index, text.size());
  std::string const typed = dalk::detail::u32_to_u8(std::u32string_view{&value, 1});
  text.insert(cursor_index, typed);
  cursor_index = ceil_character(text, cursor_index + typed.size());
  // A mark typed at the first column shown joins the character before it, which comes into view.
  scroll_offset = floor_character(text, scroll_offset);
  adjust_scroll();
}

void LineEdit::paste(std::string_view pasted) {
  std::u32string const clean = detail::pasted_text(pasted);
  std::u32string_view rest = clean;
  for (;;) {
    std::size_t const feed = rest.find(U'\n');
    insert_typed(rest.substr(0, feed));
    if (feed == std::u32string_view::npos || paste_mode == PasteMode::FirstLine) {
      return;
    }
    submitted.emit(text);
    rest.remove_prefix(feed + 1);
  }
}

void LineEdit::insert_typed(std::u32string_view line) {
  // Judged whole before anything is inserted, so that a throwing validator changes nothing.
  std::u32string accepted;
  for (char32_t const c : line) {
    if (dalk::text::is_typeable(c) && (!validator || (*validator)(c))) {
      accepted.push_back(c);
    }
  }
  if (accepted.empty()) {
    return;
  }
  cursor_index = std::min(floor_character(text, cursor_index), text.size());
  scroll_offset = floor_character(text, scroll_offset);
  std::string const typed = dalk::detail::u32_to_u8(accepted);
  text.insert(cursor_index, typed);
  cursor_index = ceil_character(text, cursor_index + typed.size());
  scroll_offset = floor_character(text, scroll_offset);
  adjust_scroll();
}

void LineEdit::mouse_press(dalk::Mouse mouse) {
  // The clicked column counts cells from the first character shown; past the end of the text
  // the cursor goes to the end.
  std::size_t i = floor_character(text, std::min(scroll_offset, text.size()));
  long long const column = std::max(mouse.at.x, 0);
  long long x = 0;
  while (i < text.size()) {
    int const w = cells_at(text, i);
    if (w > 0 && column < x + w) {
      break;
    }
    x += w;
    i = next_character(text, i);
  }
  cursor_index = i;
}

void LineEdit::paint(Canvas canvas) {
  int const width = view_width();
  ShownPositions const positions = shown_positions(text, cursor_index, scroll_offset, width);
  cursor_index = positions.cursor_index;
  scroll_offset = positions.scroll_offset;

  bool const show_placeholder = text.empty() && Focus::get() != this;
  std::string_view const shown = show_placeholder ? placeholder : text;
  dalk::Brush const& shown_brush = show_placeholder ? placeholder_brush : brush;

  // Whole characters only, from a boundary, as many as fit in the width.
  if (canvas.size.height > 0) {
    long long x = 0;
    for (std::size_t i = std::min(scroll_offset, shown.size()); i < shown.size();) {
      Character const c = character_at(shown, i);
      if (!c.well_formed) {
        break;
      }
      if (x + c.cells > width) {
        // A wide character cut by the edge shows as spaces, never as half a glyph.
        for (; x < width && x < canvas.size.width; ++x) {
          canvas[{static_cast<int>(x), 0}] = dalk::Glyph{U' ', shown_brush};
        }
        break;
      }
      x = detail::put_character(canvas, x, 0, c.code_points, &shown_brush);
      i = c.end;
    }
  }

  cursor = positions.cursor;
}

bool LineEdit::paint_key(PaintKey& key) const {
  int const width = view_width();
  // Only a paint puts right a cursor set from outside; a key would match the frame before
  // when the same one was set then.
  if (cursor != shown_positions(text, cursor_index, scroll_offset, width).cursor) {
    return false;
  }
  key.add(std::string_view{text}).add(brush).add(std::string_view{placeholder});
  key.add(placeholder_brush).add(cursor_index).add(scroll_offset).add(width);
  return true;
}

}  // namespace vn
