// Cursor moves of the compact encoding: every way to the next cell that is written, weighed by
// the bytes it costs, the cheapest taken.
#include "dalk/output/frame_writer.hpp"
#include "vn/output/commit_cells.hpp"
#include "vn/output/compact_writer.hpp"

namespace vn::detail {
namespace {

using dalk::detail::column_size;
using dalk::detail::cursor_position_size;
using dalk::detail::cursor_step_size;
using dalk::detail::Direction;

// Unchanged cells between from and to that can simply be written again: plain ASCII in the
// brush the terminal has now.
bool rewritable(CompactWriter const& w, Cells const& cells, int from, int to) {
  if (!w.brush_known || to - from > 4) {
    return false;
  }
  for (int x = from; x < to; ++x) {
    dalk::Glyph const& glyph = cells.fresh[x];
    if (glyph.symbol < 0x20 || glyph.symbol >= 0x7F || !same_glyph(glyph, cells.shown[x]) ||
        !same_brush(w.painted(glyph.brush), w.brush)) {
      return false;
    }
  }
  return true;
}

// Ways along a row.
enum class Step { None, Rewrite, Forward, Back, Return, Column };

Step horizontal_step(CompactWriter const& w, Cells const& cells, int from, int to, int& cost) {
  cost = 0;
  if (from == to) {
    return Step::None;
  }
  Step step = Step::Column;
  cost = column_size(to);
  if (to > from) {
    if (rewritable(w, cells, from, to)) {
      cost = to - from;
      return Step::Rewrite;
    }
    if (cursor_step_size(to - from) < cost) {
      cost = cursor_step_size(to - from);
      step = Step::Forward;
    }
    return step;
  }
  if (cursor_step_size(from - to) < cost) {
    cost = cursor_step_size(from - to);
    step = Step::Back;
  }
  if (to == 0 || rewritable(w, cells, 0, to)) {
    if (1 + to < cost) {
      cost = 1 + to;
      step = Step::Return;
    }
  } else if (1 + cursor_step_size(to) < cost) {
    cost = 1 + cursor_step_size(to);
    step = Step::Return;
  }
  return step;
}

int horizontal_size(CompactWriter const& w, Cells const& cells, int from, int to) {
  int cost = 0;
  horizontal_step(w, cells, from, to, cost);
  return cost;
}

void rewrite(CompactWriter& w, Cells const& cells, int from, int to) {
  for (int x = from; x < to; ++x) {
    *w.out++ = static_cast<char>(cells.fresh[x].symbol);
  }
}

void horizontal(CompactWriter& w, Cells const& cells, int from, int to) {
  int cost = 0;
  switch (horizontal_step(w, cells, from, to, cost)) {
    case Step::None:
      break;
    case Step::Rewrite:
      rewrite(w, cells, from, to);
      break;
    case Step::Forward:
      w.out = dalk::detail::write_cursor_step(w.out, to - from, Direction::Forward);
      break;
    case Step::Back:
      w.out = dalk::detail::write_cursor_step(w.out, from - to, Direction::Back);
      break;
    case Step::Return:
      w.out = dalk::detail::write_row_start(w.out);
      if (to != 0) {
        if (rewritable(w, cells, 0, to)) {
          rewrite(w, cells, 0, to);
        } else {
          w.out = dalk::detail::write_cursor_step(w.out, to, Direction::Forward);
        }
      }
      break;
    case Step::Column:
      w.out = dalk::detail::write_column(w.out, to);
      break;
  }
}

}  // namespace

void CompactWriter::travel(Cells const& cells, int x) {
  int const y = cells.y;
  enum class Way { Absolute, Horizontal, NextLine, Vertical };
  Way way = Way::Absolute;
  int best = cursor_position_size({x, y});
  int const rows = y > cursor.y ? y - cursor.y : cursor.y - y;
  if (cursor_known) {
    if (cursor.y == y) {
      int const cost = horizontal_size(*this, cells, cursor.x, x);
      if (cost < best) {
        way = Way::Horizontal;
        best = cost;
      }
    } else {
      if (y == cursor.y + 1) {
        int const cost = 2 + horizontal_size(*this, cells, 0, x);
        if (cost < best) {
          way = Way::NextLine;
          best = cost;
        }
      }
      int const cost = cursor_step_size(rows) + horizontal_size(*this, cells, cursor.x, x);
      if (cost < best) {
        way = Way::Vertical;
      }
    }
  } else if (row_known && y == cursor.y + 1) {
    // "\r" takes the cursor to the first column of its row wherever it stood in it.
    int const cost = 2 + horizontal_size(*this, cells, 0, x);
    if (cost < best) {
      way = Way::NextLine;
    }
  }
  switch (way) {
    case Way::Absolute:
      out = dalk::detail::write_cursor_position(out, {x, y});
      break;
    case Way::Horizontal:
      horizontal(*this, cells, cursor.x, x);
      break;
    case Way::NextLine:
      out = dalk::detail::write_next_row_start(out);
      horizontal(*this, cells, 0, x);
      break;
    case Way::Vertical:
      out = dalk::detail::write_cursor_step(out, rows,
                                            y > cursor.y ? Direction::Down : Direction::Up);
      horizontal(*this, cells, cursor.x, x);
      break;
  }
  cursor = {x, y};
  cursor_known = true;
  row_known = false;
}

}  // namespace vn::detail
