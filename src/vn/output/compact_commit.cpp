// The compact encoding of a commit. It tracks what the terminal's cursor and brush are while the
// frame is written, and writes a move or a brush change only where they differ from what is
// needed.
#include <unicode/uchar.h>

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "dalk/output_profile.hpp"
#include "dalk/sequence.hpp"
#include "dalk/terminal.hpp"
#include "vn/output/commit_cells.hpp"
#include "vn/terminal.hpp"

namespace vn {
namespace {

using detail::blank_symbol;
using detail::cell_width;
using detail::Cells;
using detail::covered_symbol;
using detail::displayable;
using detail::forget_cut_half;
using detail::mirror_written;
using detail::same_brush;
using detail::same_color;
using detail::same_glyph;

template <std::size_t N>
char* put(char* out, char const (&text)[N]) {
  std::memcpy(out, text, N - 1);
  return out + N - 1;
}

char* put_number(char* out, int value) {
  return std::to_chars(out, out + 11, value).ptr;
}

int digits(int value) {
  int count = 1;
  while (value >= 10) {
    value /= 10;
    ++count;
  }
  return count;
}

// The parameters of one SGR sequence, written after its "\e[" and separated by ';'.
// Terminals keep at most 16 parameters of a sequence (libvterm overruns its array past them),
// so a longer change goes on in a second sequence, never inside a colour.
struct Parameters {
  static constexpr int most = 16;
  explicit Parameters(char* start) : out{put(start, "\x1b[")} {}
  char* out;
  bool first = true;
  int count = 0;
  // Before a parameter that takes `size` numbers.
  void next(int size = 1) {
    if (count + size > most) {
      out = put(out, "m\x1b[");
      count = 0;
    } else if (!first) {
      *out++ = ';';
    }
    first = false;
    count += size;
  }
  template <std::size_t N>
  void add(char const (&text)[N]) {
    next();
    out = put(out, text);
  }
};

void add_color(Parameters& p, dalk::Color const& c, bool background) {
  auto const* x = std::get_if<dalk::XColor>(&c);
  p.next(x == nullptr ? 5 : x->value < 16 || x->value == dalk::XColor::Default.value ? 1 : 3);
  if (x != nullptr) {
    int const value = x->value;
    if (value == dalk::XColor::Default.value) {
      p.out = background ? put(p.out, "49") : put(p.out, "39");
    } else if (value < 8) {
      *p.out++ = background ? '4' : '3';
      *p.out++ = static_cast<char>('0' + value);
    } else if (value < 16) {
      p.out = background ? put(p.out, "10") : put(p.out, "9");
      *p.out++ = static_cast<char>('0' + value - 8);
    } else {
      p.out = background ? put(p.out, "48;5;") : put(p.out, "38;5;");
      p.out = put_number(p.out, value);
    }
    return;
  }
  auto const t = *std::get_if<dalk::TrueColor>(&c);
  p.out = background ? put(p.out, "48;2;") : put(p.out, "38;2;");
  p.out = put_number(p.out, t.red);
  *p.out++ = ';';
  p.out = put_number(p.out, t.green);
  *p.out++ = ';';
  p.out = put_number(p.out, t.blue);
}

// The SGR attributes a terminal keeps, one bit each: Standout is bold and inverse, and the
// two underlines are separate (xterm keeps both; libvterm shows the later one).
enum Attribute : unsigned {
  bold = 1U << 0U,
  dim = 1U << 1U,
  italic = 1U << 2U,
  underline = 1U << 3U,
  blink = 1U << 4U,
  inverse = 1U << 5U,
  invisible = 1U << 6U,
  crossed_out = 1U << 7U,
  double_underline = 1U << 8U,
};

unsigned attributes(dalk::Traits traits) {
  unsigned result = static_cast<unsigned>(traits.value()) >> 1U;
  if (traits.contains(dalk::Trait::Standout)) {
    result |= bold | inverse;
  }
  return result;
}

// Turns on the attributes in `on`, in the order the default encoding writes them (single
// underline before double).
void add_attributes(Parameters& p, unsigned on) {
  static constexpr std::string_view codes[] = {"1", "2", "3", "4", "5", "7", "8", "9", "21"};
  for (unsigned bit = 0; bit < 9; ++bit) {
    if ((on & (1U << bit)) != 0) {
      p.next();
      std::memcpy(p.out, codes[bit].data(), codes[bit].size());
      p.out += codes[bit].size();
    }
  }
}

// The sequence that takes the terminal from `from` to `to`: only what differs, or a reset
// followed by all of `to`, whichever is shorter. Without `from`, always the reset form.
char* write_brush_change(char* out, dalk::Brush const* from, dalk::Brush const& to) {
  unsigned const wanted = attributes(to.traits);
  char reset[dalk::detail::max_brush_escape_size];
  Parameters r{reset};
  bool const default_colors = same_brush(dalk::Brush{{}, {}, to.traits}, to);
  if (wanted != 0 || !default_colors) {
    r.add("0");
  }
  if (!same_color(to.background, dalk::XColor::Default)) {
    add_color(r, to.background, true);
  }
  if (!same_color(to.foreground, dalk::XColor::Default)) {
    add_color(r, to.foreground, false);
  }
  add_attributes(r, wanted);
  *r.out++ = 'm';
  if (from == nullptr) {
    std::memcpy(out, reset, static_cast<std::size_t>(r.out - reset));
    return out + (r.out - reset);
  }

  char delta[dalk::detail::max_brush_escape_size];
  Parameters d{delta};
  if (!same_color(from->background, to.background)) {
    add_color(d, to.background, true);
  }
  if (!same_color(from->foreground, to.foreground)) {
    add_color(d, to.foreground, false);
  }
  unsigned const shown = attributes(from->traits);
  unsigned const removed = shown & ~wanted;
  unsigned added = wanted & ~shown;
  if ((removed & (bold | dim)) != 0) {
    d.add("22");
    added |= wanted & (bold | dim);
  }
  // A single underline added under a double one would replace it on some terminals.
  if ((removed & (underline | double_underline)) != 0 ||
      ((added & underline) != 0 && (shown & double_underline) != 0)) {
    d.add("24");
    added |= wanted & (underline | double_underline);
  }
  if ((removed & italic) != 0) {
    d.add("23");
  }
  if ((removed & blink) != 0) {
    d.add("25");
  }
  if ((removed & inverse) != 0) {
    d.add("27");
  }
  if ((removed & invisible) != 0) {
    d.add("28");
  }
  if ((removed & crossed_out) != 0) {
    d.add("29");
  }
  add_attributes(d, added);
  // Brushes that differ only in traits the terminal shows alike ask for nothing; an empty
  // sequence would be a reset.
  if (d.first) {
    return out;
  }
  *d.out++ = 'm';
  char const* const best = d.out - delta <= r.out - reset ? delta : reset;
  auto const size = static_cast<std::size_t>(best == delta ? d.out - delta : r.out - reset);
  std::memcpy(out, best, size);
  return out + size;
}

// Cost in bytes of the cursor moves the compact encoding chooses from.
int cup_size(int x, int y) {
  if (x == 0 && y == 0) {
    return 3;
  }
  return 3 + digits(y + 1) + (x == 0 ? 0 : 1 + digits(x + 1));
}

int relative_size(int n) {
  return n == 1 ? 3 : 3 + digits(n);
}

class CompactWriter {
 public:
  CompactWriter(int width, dalk::ColorDepth depth, bool repeat)
      : width_{width}, depth_{depth}, repeat_{repeat} {}

  bool repeats() const { return repeat_; }

  char* out = nullptr;
  bool cursor_known = false;
  dalk::Point cursor{};
  bool brush_known = false;
  dalk::Brush brush{};

  dalk::Brush painted(dalk::Brush const& b) const {
    return depth_ == dalk::ColorDepth::TrueColor ? b : dalk::adapt(b, depth_);
  }

  void set_brush(dalk::Brush const& b) {
    if (brush_known && same_brush(b, brush)) {
      return;
    }
    out = write_brush_change(out, brush_known ? &brush : nullptr, b);
    brush = b;
    brush_known = true;
  }

  // The cursor to (x, cells.y), the shortest way known.
  void move_to(Cells const& cells, int x) {
    int const y = cells.y;
    if (cursor_known && cursor.x == x && cursor.y == y) {
      return;
    }
    enum class Way { Absolute, Horizontal, NextLine, Vertical };
    Way way = Way::Absolute;
    int best = cup_size(x, y);
    if (cursor_known) {
      if (cursor.y == y) {
        int const cost = horizontal_size(cells, cursor.x, x);
        if (cost < best) {
          way = Way::Horizontal;
          best = cost;
        }
      } else {
        if (y == cursor.y + 1) {
          int const cost = 2 + horizontal_size(cells, 0, x);
          if (cost < best) {
            way = Way::NextLine;
            best = cost;
          }
        }
        int const cost = relative_size(y > cursor.y ? y - cursor.y : cursor.y - y) +
                         horizontal_size(cells, cursor.x, x);
        if (cost < best) {
          way = Way::Vertical;
        }
      }
    }
    switch (way) {
      case Way::Absolute:
        out = put(out, "\x1b[");
        if (x != 0 || y != 0) {
          out = put_number(out, y + 1);
          if (x != 0) {
            *out++ = ';';
            out = put_number(out, x + 1);
          }
        }
        *out++ = 'H';
        break;
      case Way::Horizontal:
        horizontal(cells, cursor.x, x);
        break;
      case Way::NextLine:
        out = put(out, "\r\n");
        horizontal(cells, 0, x);
        break;
      case Way::Vertical:
        relative(y > cursor.y ? y - cursor.y : cursor.y - y, y > cursor.y ? 'B' : 'A');
        horizontal(cells, cursor.x, x);
        break;
    }
    cursor = {x, y};
    cursor_known = true;
  }

  // The cursor is past a glyph of `columns` cells written at x; at the last column terminals
  // differ on where it stays.
  void advance(int x, int y, int columns) {
    cursor = {x + columns, y};
    cursor_known = x + columns < width_;
  }

 private:
  // Unchanged cells between from and to that can simply be written again: plain ASCII in the
  // brush the terminal has now.
  bool rewritable(Cells const& cells, int from, int to) const {
    if (!brush_known || to - from > 4) {
      return false;
    }
    for (int x = from; x < to; ++x) {
      dalk::Glyph const& glyph = cells.fresh[x];
      if (glyph.symbol < 0x20 || glyph.symbol >= 0x7F || !same_glyph(glyph, cells.shown[x]) ||
          !same_brush(painted(glyph.brush), brush)) {
        return false;
      }
    }
    return true;
  }

  enum class Step { None, Rewrite, Forward, Back, Return, Column };

  Step horizontal_step(Cells const& cells, int from, int to, int& cost) const {
    cost = 0;
    if (from == to) {
      return Step::None;
    }
    Step step = Step::Column;
    cost = 3 + (to == 0 ? 0 : digits(to + 1));
    if (to > from) {
      if (rewritable(cells, from, to)) {
        cost = to - from;
        return Step::Rewrite;
      }
      if (relative_size(to - from) < cost) {
        cost = relative_size(to - from);
        step = Step::Forward;
      }
      return step;
    }
    if (relative_size(from - to) < cost) {
      cost = relative_size(from - to);
      step = Step::Back;
    }
    if (to == 0 || rewritable(cells, 0, to)) {
      if (1 + to < cost) {
        cost = 1 + to;
        step = Step::Return;
      }
    } else if (1 + relative_size(to) < cost) {
      cost = 1 + relative_size(to);
      step = Step::Return;
    }
    return step;
  }

  int horizontal_size(Cells const& cells, int from, int to) const {
    int cost = 0;
    horizontal_step(cells, from, to, cost);
    return cost;
  }

  void rewrite(Cells const& cells, int from, int to) {
    for (int x = from; x < to; ++x) {
      *out++ = static_cast<char>(cells.fresh[x].symbol);
    }
  }

  void relative(int n, char final) {
    out = put(out, "\x1b[");
    if (n != 1) {
      out = put_number(out, n);
    }
    *out++ = final;
  }

  void horizontal(Cells const& cells, int from, int to) {
    int cost = 0;
    switch (horizontal_step(cells, from, to, cost)) {
      case Step::None:
        break;
      case Step::Rewrite:
        rewrite(cells, from, to);
        break;
      case Step::Forward:
        relative(to - from, 'C');
        break;
      case Step::Back:
        relative(from - to, 'D');
        break;
      case Step::Return:
        *out++ = '\r';
        if (to != 0) {
          if (rewritable(cells, 0, to)) {
            rewrite(cells, 0, to);
          } else {
            relative(to, 'C');
          }
        }
        break;
      case Step::Column:
        out = put(out, "\x1b[");
        if (to != 0) {
          out = put_number(out, to + 1);
        }
        *out++ = 'G';
        break;
    }
  }

  int width_;
  dalk::ColorDepth depth_;
  bool repeat_;
};

// One changed cell, or a run of one glyph starting there, in the compact encoding. Returns the
// last cell dealt with.
int write_compact(Cells const& cells, int x, CompactWriter& w) {
  dalk::Glyph const& fresh = cells.fresh[x];
  dalk::Glyph& shown = cells.shown[x];
  if (shown.symbol == covered_symbol) {
    return x;
  }
  dalk::Brush const brush = w.painted(fresh.brush);
  if (fresh.symbol >= 0x20 && fresh.symbol < 0x7F) {
    // A run of the same glyph: cells already showing it are rewritten with the rest.
    int end = x + 1;
    int last_changed = x;
    while (end < cells.width && same_glyph(cells.fresh[end], fresh)) {
      if (!same_glyph(cells.fresh[end], cells.shown[end])) {
        last_changed = end;
      }
      ++end;
    }
    int const plain = last_changed + 1 - x;
    bool const blank = fresh.symbol == U' ' && brush.traits.empty() &&
                       same_color(brush.background, dalk::XColor::Default);
    // Erased cells take the background and no traits; only the default background is
    // erased the same way everywhere.
    if (blank && end == cells.width && plain > 3) {
      w.move_to(cells, x);
      w.set_brush(brush);
      w.out = put(w.out, "\x1b[K");
    } else if (blank && plain > relative_size(plain) + 3) {
      w.move_to(cells, x);
      w.set_brush(brush);
      w.out = put(w.out, "\x1b[");
      w.out = put_number(w.out, plain);
      *w.out++ = 'X';
      end = last_changed + 1;
    } else if (w.repeats() && plain - 1 > relative_size(plain - 1)) {
      w.move_to(cells, x);
      w.set_brush(brush);
      *w.out++ = static_cast<char>(fresh.symbol);
      w.out = put(w.out, "\x1b[");
      w.out = put_number(w.out, plain - 1);
      *w.out++ = 'b';
      end = last_changed + 1;
      w.advance(x, cells.y, plain);
    } else {
      w.move_to(cells, x);
      w.set_brush(brush);
      *w.out++ = static_cast<char>(fresh.symbol);
      shown = fresh;
      w.advance(x, cells.y, 1);
      forget_cut_half(cells, x);
      return x;
    }
    for (int i = x; i < end; ++i) {
      cells.shown[i] = fresh;
    }
    forget_cut_half(cells, end - 1);
    return end - 1;
  }
  int const columns = cell_width(fresh.symbol);
  bool const covers_next = columns == 2 && x + 1 < cells.width;
  char32_t const symbol = columns == 1 || covers_next ? displayable(fresh.symbol) : blank_symbol;
  w.move_to(cells, x);
  w.set_brush(brush);
  w.out = dalk::detail::write_u8(w.out, symbol);
  w.advance(x, cells.y, covers_next ? 2 : 1);
  // Terminals disagree most on the widths of emoji: the cell after one is reached by a move.
  if (u_hasBinaryProperty(static_cast<UChar32>(symbol), UCHAR_EMOJI_PRESENTATION) != 0 ||
      u_hasBinaryProperty(static_cast<UChar32>(symbol), UCHAR_REGIONAL_INDICATOR) != 0) {
    w.cursor_known = false;
  }
  return mirror_written(cells, x, symbol, covers_next);
}

// Row hashes compare the mirror with the new frame to find rows that moved as a block. Cells a
// wide glyph covers are left out on both sides: the mirror marks them, the frame may hold
// anything there.
std::uint64_t color_word(dalk::Color const& c) {
  if (auto const* x = std::get_if<dalk::XColor>(&c)) {
    return x->value;
  }
  auto const t = *std::get_if<dalk::TrueColor>(&c);
  return (1U << 24U) | (static_cast<std::uint64_t>(t.red) << 16U) |
         (static_cast<std::uint64_t>(t.green) << 8U) | t.blue;
}

std::uint64_t mix(std::uint64_t hash, std::uint64_t value) {
  hash = (hash ^ value) * 0x9E3779B97F4A7C15ULL;
  return hash ^ (hash >> 31U);
}

std::uint64_t glyph_hash(std::uint64_t hash, dalk::Glyph const& g) {
  hash = mix(hash, g.symbol | (static_cast<std::uint64_t>(g.brush.traits.value()) << 32U));
  return mix(hash, color_word(g.brush.background) | (color_word(g.brush.foreground) << 32U));
}

// Hashes of the first `cells` glyphs of a row (covered cells not counted).
std::uint64_t shown_row_hash(dalk::Glyph const* row, int width, int cells) {
  std::uint64_t hash = 0;
  for (int x = 0; x < width && cells > 0; ++x) {
    if (row[x].symbol != covered_symbol) {
      hash = glyph_hash(hash, row[x]);
      --cells;
    }
  }
  return hash;
}

std::uint64_t fresh_row_hash(dalk::Glyph const* row, int width, int cells) {
  std::uint64_t hash = 0;
  for (int x = 0; x < width && cells > 0; ++x, --cells) {
    hash = glyph_hash(hash, row[x]);
    if (row[x].symbol >= 0x80 && cell_width(row[x].symbol) == 2) {
      ++x;
    }
  }
  return hash;
}

// Rows top to bottom (inclusive) move by `shift` rows: up when positive.
struct Scroll {
  int top = 0;
  int bottom = 0;
  int shift = 0;
  int gain = 0;
};

// The block whose move saves the most rows: rows that would otherwise be rewritten, less the
// rows it blanks that showed the right thing already.
Scroll find_scroll(std::vector<std::uint64_t> const& shown,
                   std::vector<std::uint64_t> const& fresh) {
  auto const height = static_cast<int>(shown.size());
  Scroll best{};
  auto const at = [](std::vector<std::uint64_t> const& rows, int y) {
    return rows[static_cast<std::size_t>(y)];
  };
  for (int distance = 1; distance < height; ++distance) {
    for (int direction : {1, -1}) {
      int const shift = distance * direction;
      int y = shift > 0 ? 0 : distance;
      int const end = shift > 0 ? height - distance : height;
      while (y < end) {
        if (at(fresh, y) != at(shown, y + shift)) {
          ++y;
          continue;
        }
        int const first = y;
        int gain = 0;
        for (; y < end && at(fresh, y) == at(shown, y + shift); ++y) {
          gain += at(fresh, y) != at(shown, y) ? 1 : 0;
        }
        // Rows first..y-1 receive rows first+shift..; the rows the move leaves are blanked.
        int const top = shift > 0 ? first : first - distance;
        int const bottom = shift > 0 ? y - 1 + distance : y - 1;
        int const blanked_first = shift > 0 ? y : top;
        for (int b = blanked_first; b < blanked_first + distance; ++b) {
          gain -= at(fresh, b) == at(shown, b) ? 1 : 0;
        }
        if (gain > best.gain) {
          best = Scroll{top, bottom, shift, gain};
        }
      }
    }
  }
  return best;
}

// Scrolls the terminal and the mirror where a block of rows moved as a whole.
void scroll_moved_rows(ScreenBuffer& screen, ScreenBuffer const& changes,
                       detail::OutputState& state, CompactWriter& w) {
  int const width = changes.area.width;
  int const height = changes.area.height;
  if (height < 2 || width < 1) {
    return;
  }
  auto const rows = static_cast<std::size_t>(height);
  auto const cells = rows * static_cast<std::size_t>(width);
  // Hashing is worth it only once two rows differ; most frames change fewer.
  int changed_rows = 0;
  for (std::size_t i = 0; i < cells && changed_rows < 2; ++i) {
    if (!same_glyph(changes.glyphs[i], screen.glyphs[i])) {
      ++changed_rows;
      i = (i / static_cast<std::size_t>(width) + 1) * static_cast<std::size_t>(width) - 1;
    }
  }
  if (changed_rows < 2) {
    return;
  }
  std::vector<std::uint64_t>& shown_hashes = state.shown_row_hashes;
  std::vector<std::uint64_t>& fresh_hashes = state.fresh_row_hashes;
  shown_hashes.resize(rows);
  fresh_hashes.resize(rows);
  auto const hash_rows = [&](int cells) {
    for (std::size_t y = 0; y < rows; ++y) {
      std::size_t const row = y * static_cast<std::size_t>(width);
      shown_hashes[y] = shown_row_hash(screen.glyphs.data() + row, width, cells);
      fresh_hashes[y] = fresh_row_hash(changes.glyphs.data() + row, width, cells);
    }
  };
  // The beginnings of rows first: when they match nowhere else, no block moved, and the
  // whole rows need not be hashed.
  hash_rows(8);
  int rows_found_elsewhere = 0;
  for (std::size_t y = 0; y < rows && rows_found_elsewhere < 2; ++y) {
    for (std::size_t other = 0; other < rows; ++other) {
      if (other != y && fresh_hashes[y] == shown_hashes[other]) {
        ++rows_found_elsewhere;
        break;
      }
    }
  }
  if (rows_found_elsewhere < 2) {
    return;
  }
  hash_rows(width);
  Scroll const scroll = find_scroll(shown_hashes, fresh_hashes);
  if (scroll.gain < 2) {
    return;
  }
  // Scrolled-in rows take the current background: the default one, as the mirror says.
  w.set_brush(dalk::Brush{});
  bool const whole_screen = scroll.top == 0 && scroll.bottom == height - 1;
  if (!whole_screen) {
    w.out = put(w.out, "\x1b[");
    w.out = put_number(w.out, scroll.top + 1);
    *w.out++ = ';';
    w.out = put_number(w.out, scroll.bottom + 1);
    *w.out++ = 'r';
    // Setting the margins homes the cursor.
    w.cursor_known = false;
  }
  int const distance = scroll.shift > 0 ? scroll.shift : -scroll.shift;
  w.out = put(w.out, "\x1b[");
  if (distance != 1) {
    w.out = put_number(w.out, distance);
  }
  *w.out++ = scroll.shift > 0 ? 'S' : 'T';
  if (!whole_screen) {
    w.out = put(w.out, "\x1b[r");
  }
  auto const row_start = [&](int y) {
    return screen.glyphs.begin() + static_cast<std::ptrdiff_t>(y) * width;
  };
  if (scroll.shift > 0) {
    std::copy(row_start(scroll.top + distance), row_start(scroll.bottom + 1),
              row_start(scroll.top));
    std::fill(row_start(scroll.bottom + 1 - distance), row_start(scroll.bottom + 1), dalk::Glyph{});
  } else {
    std::copy_backward(row_start(scroll.top), row_start(scroll.bottom + 1 - distance),
                       row_start(scroll.bottom + 1));
    std::fill(row_start(scroll.top), row_start(scroll.top + distance), dalk::Glyph{});
  }
}

}  // namespace

void detail::commit_compact(ScreenBuffer& screen, std::string& escape_buffer, OutputState& output,
                            OutputProfile const& profile, bool synchronized) {
  ScreenBuffer& changes = Terminal::changes;
  std::optional<dalk::Point> const& cursor = Terminal::cursor;
  escape_buffer.clear();
  constexpr std::size_t chunk_size = 8192;
  // A cell writes at most a move (with a few rewritten cells), a brush and a glyph or run.
  constexpr std::size_t max_cell = 2 * dalk::detail::max_point_escape_size + 8 +
                                   dalk::detail::max_brush_escape_size + dalk::detail::max_u8_size +
                                   16;
  char chunk[chunk_size + max_cell];
  CompactWriter w{changes.area.width, profile.colors, profile.repeat};
  w.out = chunk;
  CompactTerminal& state = output.compact;
  if (output.take_full_redraw_request() || changes.area != screen.area) {
    // The screen is cleared, so blank cells need not be written.
    screen.resize(changes.area);
    screen.fill(dalk::Glyph{});
    state = CompactTerminal{};
    w.out = put(w.out, "\x1b[m\x1b[2J");
    w.brush_known = true;
  } else {
    if (state.valid) {
      w.brush_known = true;
      w.cursor_known = state.cursor_known;
      w.cursor = state.cursor;
    }
    scroll_moved_rows(screen, changes, output, w);
  }

  int const width = changes.area.width;
  for (int y = 0; y < changes.area.height; ++y) {
    auto const row = static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
    Cells const cells{changes.glyphs.data() + row, screen.glyphs.data() + row, width, y};
    for (int x = 0; x < width; ++x) {
      if (same_glyph(cells.fresh[x], cells.shown[x])) {
        continue;
      }
      x = write_compact(cells, x, w);
      if (w.out >= chunk + chunk_size) {
        escape_buffer.append(chunk, w.out);
        w.out = chunk;
      }
    }
  }
  if (w.brush_known) {
    w.set_brush(dalk::Brush{});
  } else if (w.out != chunk || !escape_buffer.empty()) {
    w.out = put(w.out, "\x1b[m");
  }
  escape_buffer.append(chunk, w.out);
  changes.fill(dalk::Glyph{});

  bool const cursor_on_screen = cursor && cursor->x >= 0 && cursor->y >= 0 &&
                                cursor->x < changes.area.width && cursor->y < changes.area.height;
  bool const cursor_in_place = state.valid && state.cursor_visible == cursor_on_screen &&
                               (!cursor_on_screen || (w.cursor_known && w.cursor == *cursor));
  if (escape_buffer.empty() && cursor_in_place) {
    return;
  }
  std::string_view const hide{"\x1b[?25l"};
  if (synchronized) {
    dalk::write(std::string_view{"\x1b[?2026h"});
  }
  bool hidden = state.valid && !state.cursor_visible;
  if (!escape_buffer.empty() && !hidden) {
    dalk::write(hide);
    hidden = true;
  }
  dalk::write(std::string_view{escape_buffer});
  if (cursor_on_screen) {
    if (hidden) {
      dalk::write(std::string_view{"\x1b[?25h"});
    }
    if (!w.cursor_known || w.cursor != *cursor) {
      dalk::write(dalk::escape(*cursor));
    }
    w.cursor = *cursor;
    w.cursor_known = true;
  } else if (!hidden) {
    dalk::write(hide);
  }
  if (synchronized) {
    dalk::write(std::string_view{"\x1b[?2026l"});
  }
  state.valid = true;
  state.cursor_visible = cursor_on_screen;
  state.cursor_known = w.cursor_known;
  state.cursor = w.cursor;
  dalk::flush();
}

}  // namespace vn
