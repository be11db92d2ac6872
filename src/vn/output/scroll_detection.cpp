// Scroll detection of the compact encoding: rows of the new frame that the mirror shows
// elsewhere, found by hashing rows, are moved by the terminal's scrolling instead of written.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <variant>
#include <vector>

#include "dalk/output/frame_writer.hpp"
#include "vn/output/commit_cells.hpp"
#include "vn/output/compact_writer.hpp"

namespace vn::detail {
namespace {

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

// A row's glyphs are hashed in four interleaved chains, combined at the end: one chain of
// multiplies a glyph was most of the cost of a frame that scrolled.
class RowHash {
 public:
  void add(dalk::Glyph const& g) {
    std::uint64_t& lane = lanes_[count_++ & 3U];
    lane = glyph_hash(lane, g);
  }
  std::uint64_t value() const { return mix(mix(mix(lanes_[0], lanes_[1]), lanes_[2]), lanes_[3]); }

 private:
  std::uint64_t lanes_[4] = {0, 1, 2, 3};
  unsigned count_ = 0;
};

// Hashes of the first `cells` glyphs of a row (covered cells not counted).
std::uint64_t shown_row_hash(dalk::Glyph const* row, int width, int cells) {
  RowHash hash;
  for (int x = 0; x < width && cells > 0; ++x) {
    if (row[x].symbol != covered_symbol) {
      hash.add(row[x]);
      --cells;
    }
  }
  return hash.value();
}

std::uint64_t fresh_row_hash(dalk::Glyph const* row, int width, int cells) {
  RowHash hash;
  for (int x = 0; x < width && cells > 0; ++x, --cells) {
    hash.add(row[x]);
    if (row[x].symbol >= 0x80) {
      x += std::max(cell_width(row[x].symbol) - 1, 0);
    }
  }
  return hash.value();
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

}  // namespace

void scroll_moved_rows(ScreenBuffer& screen, ScreenBuffer const& changes, OutputState& state,
                       CompactWriter& w) {
  int const width = changes.area.width;
  int const height = changes.area.height;
  if (height < 2 || width < 1) {
    return;
  }
  auto const rows = static_cast<std::size_t>(height);
  // Hashing is worth it only once two rows differ; most frames change fewer.
  if (std::count(state.changed_rows.begin(), state.changed_rows.end(), 1) < 2) {
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
    w.out = dalk::detail::write_scroll_region(w.out, scroll.top, scroll.bottom);
    // Setting the margins homes the cursor.
    w.forget_cursor();
  }
  w.out = dalk::detail::write_scroll(w.out, scroll.shift);
  if (!whole_screen) {
    w.out = dalk::detail::write_whole_scroll_region(w.out);
  }
  // The rows of the region now hold other rows: they are compared cell by cell.
  std::fill(state.changed_rows.begin() + scroll.top, state.changed_rows.begin() + scroll.bottom + 1,
            std::uint8_t{1});
  int const distance = scroll.shift > 0 ? scroll.shift : -scroll.shift;
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

}  // namespace vn::detail
