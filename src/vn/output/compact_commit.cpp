// The compact encoding of a commit: the frame's changed cells, runs of one glyph and blank runs
// written through the compact writer, which knows where the terminal's cursor stands and which
// brush it has, after the rows that moved have been scrolled into place.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "dalk/output/frame_writer.hpp"
#include "dalk/output_profile.hpp"
#include "dalk/sequence.hpp"
#include "vn/output/commit_cells.hpp"
#include "vn/output/compact_writer.hpp"
#include "vn/terminal.hpp"

namespace vn::detail {
namespace {

// One changed cell, or a run of one glyph starting there, in the compact encoding, written
// with `brush` (the painted one as the terminal's colours allow). Returns the last cell dealt
// with.
int write_compact(Cells const& cells, int x, CompactWriter& w, dalk::Brush const& brush) {
  dalk::Glyph const& fresh = cells.fresh[x];
  dalk::Glyph& shown = cells.shown[x];
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
      w.out = dalk::detail::write_erase_to_row_end(w.out);
    } else if (blank && plain > dalk::detail::erase_cells_size(plain) + 3) {
      w.move_to(cells, x);
      w.set_brush(brush);
      w.out = dalk::detail::write_erase_cells(w.out, plain);
      end = last_changed + 1;
    } else if (w.repeats() && plain - 1 > dalk::detail::repeat_size(plain - 1)) {
      w.move_to(cells, x);
      w.set_brush(brush);
      *w.out++ = static_cast<char>(fresh.symbol);
      w.out = dalk::detail::write_repeat(w.out, plain - 1);
      end = last_changed + 1;
      w.advance_ascii(x, cells.y, plain);
    } else {
      w.move_to(cells, x);
      w.set_brush(brush);
      *w.out++ = static_cast<char>(fresh.symbol);
      shown = fresh;
      w.advance_ascii(x, cells.y, 1);
      forget_cut_half(cells, x);
      return x;
    }
    for (int i = x; i < end; ++i) {
      cells.shown[i] = fresh;
    }
    forget_cut_half(cells, end - 1);
    return end - 1;
  }
  Written const written = written_at(cells, x);
  w.move_to(cells, x);
  w.set_brush(brush);
  w.out = write_symbol(w.out, written.symbol);
  w.advance(x, cells.y, written.covered + 1);
  // Terminals disagree most on the widths of emoji and clusters: the cell after one is reached
  // by a move.
  if (dalk::text::is_cluster(written.symbol) ||
      dalk::detail::advance_disputed(displayable(written.symbol))) {
    w.forget_cursor();
  }
  return mirror_written(cells, x, written.covered);
}

int write_compact(Cells const& cells, int x, CompactWriter& w) {
  if (cells.shown[x].symbol == covered_symbol) {
    return x;
  }
  // The painted brush is passed on as it is where no colour is adapted: a copy of it through
  // the stack stalled every cell of a colourful frame.
  if (w.adapts()) {
    dalk::Brush const adapted = w.painted(cells.fresh[x].brush);
    return write_compact(cells, x, w, adapted);
  }
  return write_compact(cells, x, w, cells.fresh[x].brush);
}

// Which rows of the frame differ from the mirror, into output.changed_rows. A row whose bytes
// differ but whose glyphs are all the same takes the painted bytes into the mirror.
void find_changed_rows(ScreenBuffer& screen, ScreenBuffer& changes, OutputState& output) {
  int const width = changes.area.width;
  auto const rows = static_cast<std::size_t>(changes.area.height);
  output.changed_rows.resize(rows);
  RowsToCompare const compared{changes, false};
  for (std::size_t y = 0; y < rows; ++y) {
    std::size_t const row = y * static_cast<std::size_t>(width);
    Cells const cells{changes.glyphs.data() + row, screen.glyphs.data() + row, width,
                      static_cast<int>(y)};
    if (!compared(static_cast<int>(y)) || (output.skip_same_rows && same_row_bytes(cells))) {
      output.changed_rows[y] = 0;
      continue;
    }
    bool changed = false;
    for (int x = 0; x < width && !changed; ++x) {
      changed = !same_glyph(cells.fresh[x], cells.shown[x]);
    }
    output.changed_rows[y] = changed ? 1 : 0;
    if (!changed) {
      mirror_row_bytes(cells);
    }
  }
}

}  // namespace

void commit_compact(ScreenBuffer& screen, std::string& escape_buffer, OutputState& output,
                    OutputProfile const& profile, bool synchronized) {
  ScreenBuffer& changes = Terminal::changes;
  escape_buffer.clear();
  constexpr std::size_t chunk_size = 8192;
  // A cell writes at most a move (with a few rewritten cells), a brush and a glyph or run.
  constexpr std::size_t max_cell = 2 * dalk::detail::max_point_escape_size + 8 +
                                   dalk::detail::max_brush_escape_size + max_symbol_size + 16;
  char chunk[chunk_size + max_cell];
  CompactWriter w{changes.area.width, profile.colors, profile.repeat};
  w.out = chunk;
  CompactTerminal& state = output.compact;
  bool const full_redraw = output.take_full_redraw_request() || changes.area != screen.area;
  if (full_redraw) {
    // The screen is cleared, so blank cells need not be written.
    screen.resize(changes.area);
    screen.fill(dalk::Glyph{});
    state = CompactTerminal{};
    w.out = dalk::detail::write_clear_screen(w.out);
    w.brush_known = true;
  } else {
    if (state.valid) {
      w.brush_known = true;
      w.cursor_known = state.cursor_known;
      w.cursor = state.cursor;
    }
    find_changed_rows(screen, changes, output);
    scroll_moved_rows(screen, changes, output, w);
  }

  int const width = changes.area.width;
  for (int y = 0; y < changes.area.height; ++y) {
    auto const row = static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
    Cells const cells{changes.glyphs.data() + row, screen.glyphs.data() + row, width, y};
    // After a full redraw every row is written; otherwise the rows found the same are not.
    if (!full_redraw && output.skip_same_rows &&
        output.changed_rows[static_cast<std::size_t>(y)] == 0) {
      continue;
    }
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
    w.out = dalk::detail::write_default_brush(w.out);
  }
  escape_buffer.append(chunk, w.out);
  finish_frame(changes);
  dalk::text::detail::next_cluster_frame();

  std::optional<dalk::Point> const cursor = cursor_on_screen(Terminal::cursor, changes.area);
  dalk::detail::ShownCursor shown;
  if (state.valid) {
    shown.visible = state.cursor_visible;
  }
  if (w.cursor_known) {
    shown.at = w.cursor;
  }
  if (!dalk::detail::write_frame(escape_buffer, cursor, synchronized, shown)) {
    return;
  }
  if (cursor) {
    w.cursor = *cursor;
    w.cursor_known = true;
  }
  state = CompactTerminal{true, cursor.has_value(), w.cursor_known, w.cursor};
}

}  // namespace vn::detail
