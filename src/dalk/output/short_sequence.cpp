// The compact encoding's sequences in their shortest forms, and what each costs.
#include <unicode/uchar.h>

#include "dalk/output/frame_writer.hpp"

namespace dalk::detail {
namespace {

// "\e[" and a parameter left out where the terminal takes 1 (or, for positions, the first
// row or column) anyway.
char* put_sequence(char* out, int parameter, bool left_out, char final) {
  out = put(out, "\x1b[");
  if (!left_out) {
    out = put_decimal(out, parameter);
  }
  *out++ = final;
  return out;
}

}  // namespace

int cursor_position_size(Point p) {
  if (p.x == 0 && p.y == 0) {
    return 3;
  }
  return 3 + decimal_digits(p.y + 1) + (p.x == 0 ? 0 : 1 + decimal_digits(p.x + 1));
}

char* write_cursor_position(char* out, Point p) {
  out = put(out, "\x1b[");
  if (p.x != 0 || p.y != 0) {
    out = put_decimal(out, p.y + 1);
    if (p.x != 0) {
      *out++ = ';';
      out = put_decimal(out, p.x + 1);
    }
  }
  *out++ = 'H';
  return out;
}

int cursor_step_size(int n) {
  return n == 1 ? 3 : 3 + decimal_digits(n);
}

char* write_cursor_step(char* out, int n, Direction direction) {
  return put_sequence(out, n, n == 1, static_cast<char>(direction));
}

char* write_row_start(char* out) {
  *out++ = '\r';
  return out;
}

char* write_next_row_start(char* out) {
  return put(out, "\r\n");
}

int column_size(int x) {
  return 3 + (x == 0 ? 0 : decimal_digits(x + 1));
}

char* write_column(char* out, int x) {
  return put_sequence(out, x + 1, x == 0, 'G');
}

char* write_erase_to_row_end(char* out) {
  return put(out, "\x1b[K");
}

int erase_cells_size(int n) {
  return 3 + decimal_digits(n);
}

char* write_erase_cells(char* out, int n) {
  return put_sequence(out, n, false, 'X');
}

int repeat_size(int n) {
  return 3 + decimal_digits(n);
}

char* write_repeat(char* out, int n) {
  return put_sequence(out, n, false, 'b');
}

char* write_scroll_region(char* out, int top, int bottom) {
  out = put(out, "\x1b[");
  out = put_decimal(out, top + 1);
  *out++ = ';';
  out = put_decimal(out, bottom + 1);
  *out++ = 'r';
  return out;
}

char* write_whole_scroll_region(char* out) {
  return put(out, "\x1b[r");
}

char* write_scroll(char* out, int shift) {
  int const distance = shift > 0 ? shift : -shift;
  return put_sequence(out, distance, distance == 1, shift > 0 ? 'S' : 'T');
}

char* write_default_brush(char* out) {
  return put(out, "\x1b[m");
}

char* write_clear_screen(char* out) {
  return put(out, "\x1b[m\x1b[2J");
}

bool advance_disputed(char32_t c) {
  auto const code_point = static_cast<UChar32>(c);
  return u_hasBinaryProperty(code_point, UCHAR_EMOJI_PRESENTATION) != 0 ||
         u_hasBinaryProperty(code_point, UCHAR_REGIONAL_INDICATOR) != 0;
}

}  // namespace dalk::detail
