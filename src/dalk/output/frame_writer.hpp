// What the commit's encoders write with: byte writers that fill a buffer of the caller's, the
// short sequences of the compact encoding together with their sizes (the encoder weighs one
// way against another by them), the change from one brush to another, and the envelope every
// frame goes out in.
#pragma once

#include <cstddef>
#include <cstring>
#include <optional>
#include <string_view>
#include <variant>

#include "dalk/sequence.hpp"

namespace dalk::detail {

/// Copies a string literal without its terminating zero; returns the end.
template <std::size_t N>
char* put(char* out, char const (&text)[N]) {
  std::memcpy(out, text, N - 1);
  return out + N - 1;
}

/// The decimal digits of value as std::to_string writes them (at most 11 bytes, a minus sign
/// for negative values); returns the end.
char* put_decimal(char* out, int value);

/// How many digits put_decimal writes for a value of 0 or more.
constexpr int decimal_digits(int value) {
  int count = 1;
  while (value >= 10) {
    value /= 10;
    ++count;
  }
  return count;
}

// Equality without the generic variant comparison: the encoders compare every cell of every
// frame, and this is most of what they do when little has changed.
inline bool same_color(Color const& a, Color const& b) {
  auto const* const xa = std::get_if<XColor>(&a);
  auto const* const xb = std::get_if<XColor>(&b);
  if (xa != nullptr && xb != nullptr) {
    return xa->value == xb->value;
  }
  if (xa != nullptr || xb != nullptr) {
    return false;
  }
  return *std::get_if<TrueColor>(&a) == *std::get_if<TrueColor>(&b);
}

inline bool same_brush(Brush const& a, Brush const& b) {
  return a.traits == b.traits && same_color(a.foreground, b.foreground) &&
         same_color(a.background, b.background);
}

inline bool same_glyph(Glyph const& a, Glyph const& b) {
  return a.symbol == b.symbol && same_brush(a.brush, b.brush);
}

// The compact encoding's sequences, each in its shortest form (short_sequence.cpp). A size
// function gives the bytes its writer writes.

/// Cursor to p: "\e[H" at the origin, "\e[<y+1>H" in the first column, else
/// "\e[<y+1>;<x+1>H".
int cursor_position_size(Point p);
char* write_cursor_position(char* out, Point p);

/// The relative moves "\e[<n>A" (up), "\e[<n>B" (down), "\e[<n>C" (forward) and "\e[<n>D"
/// (back), the number left out when it is 1.
enum class Direction : char { Up = 'A', Down = 'B', Forward = 'C', Back = 'D' };
int cursor_step_size(int n);
char* write_cursor_step(char* out, int n, Direction direction);

/// "\r": cursor to the first column of its row; one byte.
char* write_row_start(char* out);
/// "\r\n": cursor to the first column of the next row, which must be on the screen (at the
/// bottom row the terminal would scroll); two bytes.
char* write_next_row_start(char* out);

/// Cursor to column x of its row: "\e[<x+1>G", the number left out for column 0.
int column_size(int x);
char* write_column(char* out, int x);

/// "\e[K": erases from the cursor to the end of its row.
char* write_erase_to_row_end(char* out);
/// "\e[<n>X": erases n cells from the cursor on, without moving it.
int erase_cells_size(int n);
char* write_erase_cells(char* out, int n);
/// "\e[<n>b" (REP): the glyph just written, n more times.
int repeat_size(int n);
char* write_repeat(char* out, int n);

/// "\e[<top+1>;<bottom+1>r": scrolling is confined to rows top to bottom; homes the cursor.
char* write_scroll_region(char* out, int top, int bottom);
/// "\e[r": the whole screen scrolls again.
char* write_whole_scroll_region(char* out);
/// "\e[<n>S" for a shift of n rows up, "\e[<n>T" for n rows down (shift -n); the number left
/// out when it is 1.
char* write_scroll(char* out, int shift);

/// "\e[m": the default brush.
char* write_default_brush(char* out);
/// "\e[m\e[2J": the default brush, then the whole screen erased.
char* write_clear_screen(char* out);

/// The SGR sequences that take the terminal from brush `from` to `to` (brush_change.cpp): only
/// what differs, or a reset followed by all of `to`, whichever is shorter; nothing when the
/// terminal shows both alike. Without `from`, always the reset form. At most
/// max_brush_escape_size bytes. A sequence holds at most 16 parameters. May write up to 8 bytes
/// of scratch past the end it returns, within max_brush_escape_size + 8 of `out`.
char* write_brush_change(char* out, Brush const* from, Brush const& to);

/// Whether terminals disagree on where the cursor stands after c is written: emoji shown as
/// pictures and regional indicators.
bool advance_disputed(char32_t c);

/// What the terminal is known to show of its cursor before a frame.
struct ShownCursor {
  /// Whether the cursor is visible; empty when unknown.
  std::optional<bool> visible;
  /// The cell the cursor stands on once the frame's body is written; empty when unknown.
  std::optional<Point> at;
};

/// Writes one frame through the stdout stream and flushes it (frame.cpp): with `synchronized`
/// first "\e[?2026h", the terminal then shows the frame once it is complete; the cursor hidden,
/// so that it does not flicker across the cells; the body; the cursor shown and placed at
/// `cursor`, or hidden without one; "\e[?2026l" with `synchronized`. Without `shown` every
/// cursor sequence is written. With it only those that change what the terminal shows, and
/// nothing at all, not even the flush, for an empty body with the cursor already as asked;
/// returns whether anything was written. The frame is one OrderedWrite: a signal handler's
/// restoration comes before its first byte or after its flush, never inside.
bool write_frame(std::string_view body, std::optional<Point> cursor, bool synchronized,
                 std::optional<ShownCursor> shown = std::nullopt);

}  // namespace dalk::detail
