// The default encoding of a commit, in which every changed cell has its own cursor move, and
// what the two encodings share: the choice between them, the shared state of commits made
// without a terminal object and the full-redraw requests.
#include "vn/commit.hpp"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "dalk/output/frame_writer.hpp"
#include "dalk/output_profile.hpp"
#include "dalk/sequence.hpp"
#include "dalk/width.hpp"
#include "vn/output/commit_cells.hpp"
#include "vn/terminal.hpp"

namespace vn {
namespace {

// How many full redraws were asked for in the process. The requests come from any thread and
// from code that has no terminal object at hand, so each output state counts the ones it has
// honoured against this.
std::atomic<std::uint64_t> full_redraws_requested{0};

using detail::cell_width;
using detail::Cells;
using detail::covered_symbol;
using detail::cursor_on_screen;
using detail::mirror_row_bytes;
using detail::mirror_written;
using detail::same_brush;
using detail::same_glyph;
using detail::same_row_bytes;

// Makes every cell of the mirror differ from the painted one, so that all are written: U+0000
// with the default brush, or a space where that very glyph was painted.
void mirror_nothing_painted(ScreenBuffer& screen, ScreenBuffer const& changes) {
  dalk::Glyph const nothing{U'\0', dalk::Brush{}};
  for (std::size_t i = 0; i < screen.glyphs.size(); ++i) {
    screen.glyphs[i] = same_glyph(changes.glyphs[i], nothing) ? dalk::Glyph{} : nothing;
  }
}

// Every changed cell gets its own cursor move: the terminal's advance is never trusted. Inline:
// the loop over ASCII cells calls it for every cell it writes.
[[gnu::always_inline]] inline char* write_cell(char* out, dalk::Brush& current, dalk::Point at,
                                               dalk::Brush const& brush, char32_t symbol) {
  out = dalk::detail::write_escape(out, at);
  if (!same_brush(brush, current)) {
    out = dalk::detail::write_escape(out, brush);
    current = brush;
  }
  return detail::write_symbol(out, symbol);
}

// The brush a cell is written with: as painted, or adapted to the terminal's colours.
struct AsPainted {
  dalk::Brush const& operator()(dalk::Brush const& brush) const { return brush; }
};

struct Adapted {
  dalk::ColorDepth depth;
  dalk::Brush operator()(dalk::Brush const& brush) const { return dalk::adapt(brush, depth); }
};

// A changed cell where the painted glyph or the mirrored one is not ASCII, kept out of the
// loop over cells so that ASCII frames run as tight a loop as before wide glyphs. Returns the
// last cell it dealt with: x, or x + 1 when a wide glyph was written.
template <typename Paint>
[[gnu::noinline]] int write_any_cell(Cells const& cells, int x, char*& out, dalk::Brush& current,
                                     Paint const& paint) {
  dalk::Glyph const& fresh = cells.fresh[x];
  dalk::Glyph& shown = cells.shown[x];
  // Still marked, so the wide glyph left of it stands unchanged (a write over it would have
  // cleared the mark) and nothing painted here shows.
  if (shown.symbol == covered_symbol) {
    return x;
  }
  detail::Written const written = detail::written_at(cells, x);
  out = write_cell(out, current, dalk::Point{x, cells.y}, paint(fresh.brush), written.symbol);
  return mirror_written(cells, x, written.covered);
}

template <typename Paint>
void commit_specified(ScreenBuffer& screen, std::string& escape_buffer, detail::OutputState& state,
                      bool synchronized, Paint const& paint) {
  ScreenBuffer& changes = Terminal::changes;
  escape_buffer.clear();
  bool const full_redraw = state.take_full_redraw_request() || changes.area != screen.area;
  if (full_redraw) {
    // The default encoding's full redraw: the screen is not cleared, so every cell is
    // rewritten, a painted U+0000 with the default brush too.
    screen.resize(changes.area);
    mirror_nothing_painted(screen, changes);
  }
  detail::RowsToCompare const compared{changes, full_redraw};

  // Cells are encoded into a chunk on the stack that joins the buffer a few kilobytes at a
  // time; appending each sequence to the string on its own cost more than encoding it.
  constexpr std::size_t chunk_size = 8192;
  constexpr std::size_t max_cell = dalk::detail::max_point_escape_size +
                                   dalk::detail::max_brush_escape_size + detail::max_symbol_size;
  char chunk[chunk_size + max_cell];
  char* out = chunk;
  dalk::Brush current{};
  int const width = changes.area.width;
  for (int y = 0; y < changes.area.height; ++y) {
    auto const row = static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
    Cells const cells{changes.glyphs.data() + row, screen.glyphs.data() + row, width, y};
    if (!compared(y) || (state.skip_same_rows && same_row_bytes(cells))) {
      continue;
    }
    bool row_changed = false;
    for (int x = 0; x < width; ++x) {
      dalk::Glyph& fresh = cells.fresh[x];
      dalk::Glyph& shown = cells.shown[x];
      if (same_glyph(fresh, shown)) {
        continue;
      }
      row_changed = true;
      // ASCII over ASCII is one cell over one cell; anything else may involve a wide glyph.
      if ((fresh.symbol | shown.symbol) >= 0x80) {
        x = write_any_cell(cells, x, out, current, paint);
      } else {
        out = write_cell(out, current, dalk::Point{x, y}, paint(fresh.brush), fresh.symbol);
        // The mirror keeps the painted glyph, so change detection ignores the replacement.
        shown = fresh;
      }
      if (out >= chunk + chunk_size) {
        escape_buffer.append(chunk, out);
        out = chunk;
      }
    }
    if (!row_changed) {
      mirror_row_bytes(cells);
    }
  }
  out = dalk::detail::write_escape(out, dalk::Brush{});
  escape_buffer.append(chunk, out);
  detail::finish_frame(changes);
  dalk::text::detail::next_cluster_frame();
  dalk::detail::write_frame(escape_buffer, cursor_on_screen(Terminal::cursor, changes.area),
                            synchronized);
}

// The commits made without a terminal object (tests, benchmarks) share one state, as every
// commit did before terminals had their own.
detail::OutputState& detached_state() {
  static detail::OutputState state;
  return state;
}

}  // namespace

void detail::request_full_redraw() {
  full_redraws_requested.fetch_add(1);
}

bool detail::OutputState::take_full_redraw_request() {
  std::uint64_t const requested = full_redraws_requested.load();
  bool const pending = requested != redraws_taken;
  redraws_taken = requested;
  return pending;
}

detail::OutputProfile detail::output_profile(dalk::Extensions extensions) {
  bool const compact = extensions.contains(dalk::Extension::CompactOutput);
  return OutputProfile{compact, compact && extensions.contains(dalk::Extension::RepeatGlyph),
                       dalk::color_depth(extensions)};
}

void detail::commit_changes(ScreenBuffer& screen, std::string& escape_buffer, OutputState& state,
                            OutputProfile const& profile, bool synchronized) {
  if (profile.compact) {
    commit_compact(screen, escape_buffer, state, profile, synchronized);
  } else if (profile.colors == dalk::ColorDepth::TrueColor) {
    commit_specified(screen, escape_buffer, state, synchronized, AsPainted{});
  } else {
    commit_specified(screen, escape_buffer, state, synchronized, Adapted{profile.colors});
  }
}

void detail::commit_changes(ScreenBuffer& screen, std::string& escape_buffer, bool synchronized) {
  commit_specified(screen, escape_buffer, detached_state(), synchronized, AsPainted{});
}

void detail::commit_changes(ScreenBuffer& screen, std::string& escape_buffer,
                            OutputProfile const& profile, bool synchronized) {
  commit_changes(screen, escape_buffer, detached_state(), profile, synchronized);
}

}  // namespace vn
