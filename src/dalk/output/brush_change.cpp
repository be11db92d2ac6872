// The change from one brush to another in the compact encoding: SGR sequences of only what
// differs, or of a reset and the whole brush.
#include <cstddef>
#include <cstring>
#include <string_view>
#include <variant>

#include "dalk/output/frame_writer.hpp"

namespace dalk::detail {
namespace {

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

void add_color(Parameters& p, Color const& c, bool background) {
  auto const* x = std::get_if<XColor>(&c);
  p.next(x == nullptr ? 5 : x->value < 16 || x->value == XColor::Default.value ? 1 : 3);
  if (x != nullptr) {
    int const value = x->value;
    if (value == XColor::Default.value) {
      p.out = background ? put(p.out, "49") : put(p.out, "39");
    } else if (value < 8) {
      *p.out++ = background ? '4' : '3';
      *p.out++ = static_cast<char>('0' + value);
    } else if (value < 16) {
      p.out = background ? put(p.out, "10") : put(p.out, "9");
      *p.out++ = static_cast<char>('0' + value - 8);
    } else {
      p.out = background ? put(p.out, "48;5;") : put(p.out, "38;5;");
      p.out = put_decimal(p.out, value);
    }
    return;
  }
  auto const t = *std::get_if<TrueColor>(&c);
  p.out = background ? put(p.out, "48;2;") : put(p.out, "38;2;");
  p.out = put_decimal(p.out, t.red);
  *p.out++ = ';';
  p.out = put_decimal(p.out, t.green);
  *p.out++ = ';';
  p.out = put_decimal(p.out, t.blue);
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

unsigned attributes(Traits traits) {
  unsigned result = static_cast<unsigned>(traits.value()) >> 1U;
  if (traits.contains(Trait::Standout)) {
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

}  // namespace

char* write_brush_change(char* out, Brush const* from, Brush const& to) {
  unsigned const wanted = attributes(to.traits);
  char reset[max_brush_escape_size];
  Parameters r{reset};
  bool const default_colors = same_brush(Brush{{}, {}, to.traits}, to);
  if (wanted != 0 || !default_colors) {
    r.add("0");
  }
  if (!same_color(to.background, XColor::Default)) {
    add_color(r, to.background, true);
  }
  if (!same_color(to.foreground, XColor::Default)) {
    add_color(r, to.foreground, false);
  }
  add_attributes(r, wanted);
  *r.out++ = 'm';
  if (from == nullptr) {
    std::memcpy(out, reset, static_cast<std::size_t>(r.out - reset));
    return out + (r.out - reset);
  }

  char delta[max_brush_escape_size];
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

}  // namespace dalk::detail
