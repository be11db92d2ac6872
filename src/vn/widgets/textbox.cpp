#include "vn/textbox.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <limits>
#include <utility>

#include "dalk/text.hpp"
#include "dalk/transcode.hpp"
#include "vn/put.hpp"
#include "vn/widgets/edit_characters.hpp"

namespace vn {

namespace {

// Line numbers and columns are widened where an offset the application set (anything an int
// holds) meets a row, a height or a mouse position.
using Wide = std::int64_t;

int clamp_to_int(Wide value) {
  return static_cast<int>(
      std::clamp<Wide>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

// Characters of the box's text (dalk/text.hpp): a line feed ends its line, so a mark after it
// starts the next one.
std::size_t box_boundary(std::u32string_view text, std::size_t i, dalk::text::Boundary which) {
  return dalk::text::boundary(text, i, which, dalk::text::LineFeed::EndsLine);
}

std::size_t character_end(std::u32string_view text, std::size_t i) {
  return box_boundary(text, i, dalk::text::Boundary::Next);
}

// Positions past the end (an index the application set) count as the end.
std::size_t floor_boundary(std::u32string_view text, std::size_t i) {
  return box_boundary(text, std::min(i, text.size()), dalk::text::Boundary::AtOrBefore);
}

std::size_t ceil_boundary(std::u32string_view text, std::size_t i) {
  return box_boundary(text, std::min(i, text.size()), dalk::text::Boundary::AtOrAfter);
}

bool is_plain(char32_t c) {
  return c >= 0x20 && c < 0x7F;
}

// One display line cut from `at` (below the end): where it ends, and the furthest index the
// cut looked at (or tested for being past the end). A cut depends on nothing beyond that, so
// an edit after it leaves the line as it was; along a layout these indices never decrease.
struct Cut {
  std::size_t end = 0;
  std::size_t reach = 0;
};

Cut cut_line(std::u32string_view text, std::size_t at, int width, bool word_wrap) {
  std::size_t end = at;
  std::size_t reach = at;
  int cells = 0;
  bool feed = false;
  std::size_t after_space = std::u32string_view::npos;
  while (end < text.size()) {
    // Printable ASCII followed by printable ASCII or a line feed is one cell, as is most text.
    bool const plain = is_plain(text[end]) && (end + 1 == text.size() || is_plain(text[end + 1]) ||
                                               text[end + 1] == U'\n');
    std::size_t const next = plain ? end + 1 : character_end(text, end);
    reach = next;
    int const w = plain ? 1 : dalk::text::character_cells(text.substr(end, next - end));
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
    reach = std::max(reach, end);
    cells = width;
  }
  // A line is full when it reaches the width or the next character does not fit. Also a last
  // piece that would fit exactly, and a line ending in a line feed in its last column: such a
  // line is still broken after its last space.
  bool const full = cells >= width || (!feed && end < text.size());
  if (word_wrap && full && after_space != std::u32string_view::npos) {
    end = after_space;
  }
  return {end, reach};
}

// The starts of the display lines of text (see update_layout_cache).
void cut_lines(std::u32string_view text, int width, bool word_wrap,
               std::vector<std::size_t>& starts) {
  starts.clear();
  starts.push_back(0);
  // A negative width (a size the application set) is treated as 0 rather than cut forever.
  if (text.empty() || width <= 0) {
    return;
  }
  for (std::size_t at = cut_line(text, 0, width, word_wrap).end; at < text.size();
       at = cut_line(text, at, width, word_wrap).end) {
    starts.push_back(at);
  }
  if (text.back() == U'\n') {
    starts.push_back(text.size());
  }
}

// The display lines of the last layout: where each starts, and where the last one ends. They
// are used by their bounds only, over the current text: an edit between two paints may have
// changed the text under them. Code points a shortened text no longer has count one cell each.
struct Lines {
  std::vector<std::size_t> const& starts;
  std::size_t last_end;

  int count() const { return static_cast<int>(starts.size()); }
  std::size_t start(int line) const { return starts[static_cast<std::size_t>(line)]; }
  std::size_t end(int line) const {
    auto const next = static_cast<std::size_t>(line) + 1;
    return next < starts.size() ? starts[next] : last_end;
  }
};

std::u32string_view clipped(std::u32string_view text, std::size_t from, std::size_t to) {
  from = std::min(from, text.size());
  return text.substr(from, std::min(std::max(to, from), text.size()) - from);
}

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

std::size_t utf8_length(char32_t c) {
  return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
}

// A cheap fingerprint of a string: every unit of a short one, the ends and evenly spread units
// of a long one. It tells the widget's own state from one the application changed in place.
template <typename String>
std::uint64_t fingerprint(String const& s, std::uint64_t hash) {
  constexpr std::size_t whole = 128;
  constexpr std::size_t ends = 32;
  constexpr std::size_t spread = 64;
  auto const mix = [&](std::size_t i) {
    hash = (hash ^ static_cast<std::uint64_t>(s[i])) * 0x100000001B3ULL;
  };
  std::size_t const n = s.size();
  hash = (hash ^ n) * 0x100000001B3ULL;
  if (n <= whole) {
    for (std::size_t i = 0; i < n; ++i) {
      mix(i);
    }
    return hash;
  }
  for (std::size_t i = 0; i < ends; ++i) {
    mix(i);
    mix(n - 1 - i);
  }
  // A step that changes only when the length doubles: the same units are read paint after
  // paint, and stay in the cache.
  std::size_t const step = std::bit_floor((n - 2 * ends) / spread);
  for (std::size_t k = 0; k < spread; ++k) {
    mix(ends + k * step);
  }
  return hash;
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
  byte_mark_ = {};
  try {
    dalk::detail::u8_string_to_u32_string(text, code_points);
  } catch (...) {
    // The old views may point into storage that the conversion released: cut the valid prefix
    // so that nothing refers to freed memory. Every later paint converts again, and throws.
    cut_whole();
    stale_ = true;
    throw;
  }
  cut_whole();
  stale_ = false;
  remember_state();
}

void TextBox::cut_whole() {
  cut_lines(code_points, size.width, wrap == Wrap::Word, line_starts_);
  laid_length_ = code_points.size();
  laid_width_ = size.width;
  laid_word_wrap_ = wrap == Wrap::Word;
  edited_ = false;
  views_valid_ = 0;
  refresh_views();
}

// Lines before the edit whose cuts never looked at it stay; from the first that did, lines are
// cut again until one starts where an old line started (shifted by the edit), past the edit:
// from there on the text, and so the cuts, are the old ones.
void TextBox::cut_edited() {
  std::u32string_view const now = code_points;
  bool const word_wrap = wrap == Wrap::Word;
  std::size_t const from = edit_from_;
  auto const shift = static_cast<std::size_t>(edit_shift_);  // modular: adds a signed shift
  if (now.empty() || size.width <= 0 || laid_length_ + shift != now.size() || from > now.size()) {
    cut_whole();
    return;
  }
  std::vector<std::size_t>& starts = line_starts_;
  auto first = static_cast<std::size_t>(std::upper_bound(starts.begin(), starts.end(), from) -
                                        starts.begin() - 1);
  while (first > 0 && cut_line(now, starts[first - 1], size.width, word_wrap).reach >= from) {
    --first;
  }

  std::vector<std::size_t> fresh;
  std::size_t old = first + 1;
  bool rejoined = false;
  for (std::size_t at = starts[first]; at < now.size();) {
    fresh.push_back(at);
    at = cut_line(now, at, size.width, word_wrap).end;
    if (at >= now.size() || at < edit_to_) {
      continue;
    }
    std::size_t const before = at - shift;
    while (old < starts.size() && starts[old] < before) {
      ++old;
    }
    if (old < starts.size() && starts[old] == before && before < laid_length_) {
      rejoined = true;
      break;
    }
  }
  if (!rejoined) {
    old = starts.size();
    if (now.back() == U'\n') {
      fresh.push_back(now.size());
    }
  }
  for (std::size_t i = old; i < starts.size(); ++i) {
    starts[i] += shift;
  }
  // Replaces the old lines [first, old) with the fresh ones.
  std::size_t const replaced = old - first;
  std::size_t const common = std::min(replaced, fresh.size());
  auto const at = starts.begin() + static_cast<std::ptrdiff_t>(first);
  std::copy_n(fresh.begin(), common, at);
  if (fresh.size() > replaced) {
    starts.insert(at + static_cast<std::ptrdiff_t>(common),
                  fresh.begin() + static_cast<std::ptrdiff_t>(common), fresh.end());
  } else {
    starts.erase(at + static_cast<std::ptrdiff_t>(common),
                 at + static_cast<std::ptrdiff_t>(replaced));
  }
  laid_length_ = now.size();
  edited_ = false;
  views_valid_ = std::min(views_valid_, first);
  refresh_views();
}

void TextBox::refresh_views() {
  // Lines the layout added or moved have no views yet; storage the text moved to, none at all.
  views_valid_ =
      views_storage_ == code_points.data() ? std::min(views_valid_, layout_cache.size()) : 0;
  layout_cache.resize(line_starts_.size());
  Lines const lines{line_starts_, last_line_end()};
  std::u32string_view const all = code_points;
  for (std::size_t i = views_valid_; i < line_starts_.size(); ++i) {
    auto const line = static_cast<int>(i);
    layout_cache[i] = all.substr(lines.start(line), lines.end(line) - lines.start(line));
  }
  views_storage_ = code_points.data();
  views_valid_ = line_starts_.size();
}

std::size_t TextBox::last_line_end() const {
  return laid_width_ > 0 ? laid_length_ : 0;
}

void TextBox::remember_state() {
  seen_ = {text.data(), text.size(), code_points.data(), code_points.size(),
           fingerprint(code_points, fingerprint(text, 0xCBF29CE484222325ULL))};
}

bool TextBox::as_left() const {
  return text.data() == seen_.text && text.size() == seen_.text_size &&
         code_points.data() == seen_.code_points && code_points.size() == seen_.code_point_count &&
         layout_cache.size() == line_starts_.size() &&
         fingerprint(code_points, fingerprint(text, 0xCBF29CE484222325ULL)) == seen_.fingerprint;
}

void TextBox::bring_layout_up_to_date() {
  if (stale_ || size.width != laid_width_ || (wrap == Wrap::Word) != laid_word_wrap_ ||
      !as_left()) {
    update_layout_cache();
    return;
  }
  if (edited_) {
    cut_edited();
  }
  refresh_views();
}

std::size_t TextBox::byte_index(std::size_t index) {
  auto [at, byte] = byte_mark_;
  if (at > code_points.size() || index < at / 2) {
    at = 0;
    byte = 0;
  }
  for (; at < index; ++at) {
    byte += utf8_length(code_points[at]);
  }
  for (; at > index; --at) {
    byte -= utf8_length(code_points[at - 1]);
  }
  return byte;
}

void TextBox::edit(std::size_t at, std::size_t removed, std::u32string_view inserted) {
  // While text and code points are as the widget left them, both are edited where the edit
  // is; otherwise the text is rewritten from the code points, as the application left them.
  bool const tracked = !stale_ && as_left();
  if (tracked) {
    std::size_t const first = byte_index(at);
    std::size_t last = first;
    for (std::size_t i = at; i < at + removed; ++i) {
      last += utf8_length(code_points[i]);
    }
    text.replace(first, last - first, dalk::detail::u32_to_u8(inserted));
    byte_mark_ = {at, first};
  }
  code_points.replace(at, removed, inserted);
  if (tracked) {
    std::size_t const end = at + inserted.size();
    if (!edited_) {
      edit_from_ = at;
      edit_to_ = end;
      edit_shift_ = 0;
    } else {
      // The edited range of the text since the layout, in today's indices.
      std::size_t to = edit_to_;
      if (to >= at + removed) {
        to = to - removed + inserted.size();
      } else if (to > at) {
        to = end;
      }
      edit_from_ = std::min(edit_from_, at);
      edit_to_ = std::max(to, end);
    }
    edit_shift_ +=
        static_cast<std::ptrdiff_t>(inserted.size()) - static_cast<std::ptrdiff_t>(removed);
    edited_ = true;
  } else {
    dalk::detail::u32_to_u8(code_points, text);
    byte_mark_ = {};
    stale_ = true;
  }
  remember_state();
}

void TextBox::set_scroll_offset(int offset) {
  int const count = get_scroll_length();
  scroll_offset = std::clamp(offset, 0, count - 1);
  Lines const lines{line_starts_, last_line_end()};
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
  return static_cast<int>(line_starts_.size());
}

void TextBox::mouse_press(dalk::Mouse mouse) {
  if (mouse.button != dalk::Mouse::Button::Left) {
    return;
  }
  Lines const lines{line_starts_, last_line_end()};
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
  Lines const lines{line_starts_, last_line_end()};
  switch (key) {
    case dalk::Key::Enter:
      edit(cursor_index, 0, U"\n");
      ++cursor_index;
      break;
    case dalk::Key::Backspace:
      if (text.empty() || cursor_index == 0) {
        return;
      }
      // One code point, so that a mistyped mark goes without its letter.
      --cursor_index;
      edit(cursor_index, 1, {});
      break;
    case dalk::Key::Delete:
      if (cursor_index >= code_points.size()) {
        return;
      }
      edit(cursor_index, character_end(code_points, cursor_index) - cursor_index, {});
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
      edit(cursor_index, 0, std::u32string_view{&value, 1});
      ++cursor_index;
      break;
    }
  }
  // An edit can make a mark after the cursor join the character before it.
  cursor_index = ceil_boundary(code_points, cursor_index);
}

void TextBox::paste(std::string_view pasted) {
  std::u32string const clean = detail::pasted_text(pasted);
  if (clean.empty()) {
    return;
  }
  cursor_index = floor_boundary(code_points, cursor_index);
  edit(cursor_index, 0, clean);
  cursor_index = ceil_boundary(code_points, cursor_index + clean.size());
}

void TextBox::paint(Canvas canvas) {
  bring_layout_up_to_date();
  int count = get_scroll_length();
  scroll_offset = std::clamp(scroll_offset, 0, std::max(count - 1, 0));
  cursor_index = floor_boundary(code_points, cursor_index);

  int const width = canvas.size.width;
  int const height = canvas.size.height;
  // A height below 1 would scroll past the last line.
  Wide const view_height = std::max(size.height, 1);
  bool const room_below = view_height >= 2;
  Wide const cursor_line = cursor_cell(Lines{line_starts_, last_line_end()}, code_points,
                                       cursor_index, align, size.width, width, room_below)
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
  // below may use views into storage it released, nor a line count or cursor it changed. What
  // it changed in the code points itself is cut as it stands; the text waits for the next paint.
  if (code_points.data() != storage || code_points.size() != length || edited_ ||
      layout_cache.size() != line_starts_.size()) {
    if (!stale_ && size.width == laid_width_ && (wrap == Wrap::Word) == laid_word_wrap_ &&
        as_left()) {
      if (edited_) {
        cut_edited();
      }
      refresh_views();
    } else {
      cut_whole();
      stale_ = true;
    }
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
  CursorCell const shown = cursor_cell(Lines{line_starts_, last_line_end()}, code_points,
                                       cursor_index, align, size.width, width, room_below);
  Wide const row = shown.line - scroll_offset;
  if (width <= 0 || row < 0 || row >= height) {
    cursor.reset();
  } else {
    cursor =
        Point{static_cast<int>(std::clamp<Wide>(shown.x, 0, width - 1)), static_cast<int>(row)};
  }
}

}  // namespace vn
