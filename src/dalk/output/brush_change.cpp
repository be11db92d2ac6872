// The change from one brush to another in the compact encoding: SGR sequences of only what
// differs, or of a reset and the whole brush.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <variant>

#include "dalk/output/frame_writer.hpp"

namespace dalk::detail {
namespace {

// The decimal digits of 0 to 255 and their count (in the last byte), copied four bytes at a
// time: a palette index or a true-colour component is written in nearly every brush change.
using ByteDigits = std::array<char, 4>;
constexpr std::array<ByteDigits, 256> byte_digits = [] {
  std::array<ByteDigits, 256> table{};
  for (int value = 0; value < 256; ++value) {
    ByteDigits& entry = table[static_cast<std::size_t>(value)];
    int length = 0;
    if (value >= 100) {
      entry[static_cast<std::size_t>(length++)] = static_cast<char>('0' + value / 100);
    }
    if (value >= 10) {
      entry[static_cast<std::size_t>(length++)] = static_cast<char>('0' + value / 10 % 10);
    }
    entry[static_cast<std::size_t>(length++)] = static_cast<char>('0' + value % 10);
    entry[3] = static_cast<char>(length);
  }
  return table;
}();

// The parameters of one SGR sequence, after its "\e[" and separated by ';', written or only
// counted: the change is priced in both forms and only the shorter one is written. Terminals
// keep at most 16 parameters of a sequence (libvterm overruns its array past them), so a longer
// change goes on in a second sequence, never inside a colour.
template <bool Write>
struct Parameters {
  static constexpr int most = 16;
  explicit Parameters(char* start = nullptr) : out{start} { text("\x1b["); }
  char* out;
  std::size_t size = 0;
  bool first = true;
  int count = 0;

  template <std::size_t N>
  void text(char const (&t)[N]) {
    if constexpr (Write) {
      out = put(out, t);
    }
    size += N - 1;
  }
  void text(std::string_view t) {
    if constexpr (Write) {
      std::memcpy(out, t.data(), t.size());
      out += t.size();
    }
    size += t.size();
  }
  void character(char c) {
    if constexpr (Write) {
      *out++ = c;
    }
    ++size;
  }
  // A value of 0 or more.
  void number(int value) {
    if (value < 256) {
      ByteDigits const& digits = byte_digits[static_cast<std::size_t>(value)];
      if constexpr (Write) {
        std::memcpy(out, digits.data(), digits.size());
        out += digits[3];
      }
      size += static_cast<std::size_t>(digits[3]);
      return;
    }
    if constexpr (Write) {
      out = put_decimal(out, value);
    }
    size += static_cast<std::size_t>(decimal_digits(value));
  }
  // Before a parameter that takes `numbers` numbers.
  void next(int numbers = 1) {
    if (count + numbers > most) {
      text("m\x1b[");
      count = 0;
    } else if (!first) {
      character(';');
    }
    first = false;
    count += numbers;
  }
  template <std::size_t N>
  void add(char const (&t)[N]) {
    next();
    text(t);
  }
};

// The parameter of each palette colour as add_color() writes it, foreground [0] and
// background [1]: "3<n>", "9<n>", "38;5;<n>", "4<n>", "10<n>", "48;5;<n>".
struct PaletteParameter {
  std::array<char, 8> text;
  std::uint8_t size;
};

constexpr std::array<std::array<PaletteParameter, 256>, 2> palette_parameters = [] {
  std::array<std::array<PaletteParameter, 256>, 2> table{};
  for (std::size_t background = 0; background < 2; ++background) {
    for (int value = 0; value < 256; ++value) {
      PaletteParameter& p = table[background][static_cast<std::size_t>(value)];
      std::size_t n = 0;
      auto const add = [&](char c) { p.text[n++] = c; };
      if (value < 8) {
        add(background != 0 ? '4' : '3');
      } else if (value < 16) {
        if (background != 0) {
          add('1');
          add('0');
        } else {
          add('9');
        }
      } else {
        for (char c : {background != 0 ? '4' : '3', '8', ';', '5', ';'}) {
          add(c);
        }
      }
      int const shown = value < 16 ? value % 8 : value;
      ByteDigits const& digits = byte_digits[static_cast<std::size_t>(shown)];
      for (int i = 0; i < digits[3]; ++i) {
        add(digits[static_cast<std::size_t>(i)]);
      }
      p.size = static_cast<std::uint8_t>(n);
    }
  }
  return table;
}();

// Copies the whole entry; the bytes past its size are scratch.
char* put_parameter(char* out, PaletteParameter const& p) {
  std::memcpy(out, p.text.data(), p.text.size());
  return out + p.size;
}

template <bool Write>
void add_color(Parameters<Write>& p, Color const& c, bool background) {
  auto const* x = std::get_if<XColor>(&c);
  p.next(x == nullptr ? 5 : x->value < 16 || x->value == XColor::Default.value ? 1 : 3);
  if (x != nullptr) {
    int const value = x->value;
    if (value == XColor::Default.value) {
      background ? p.text("49") : p.text("39");
    } else if (value < 8) {
      p.character(background ? '4' : '3');
      p.character(static_cast<char>('0' + value));
    } else if (value < 16) {
      background ? p.text("10") : p.text("9");
      p.character(static_cast<char>('0' + value - 8));
    } else {
      background ? p.text("48;5;") : p.text("38;5;");
      p.number(value);
    }
    return;
  }
  auto const t = *std::get_if<TrueColor>(&c);
  background ? p.text("48;2;") : p.text("38;2;");
  p.number(t.red);
  p.character(';');
  p.number(t.green);
  p.character(';');
  p.number(t.blue);
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
template <bool Write>
void add_attributes(Parameters<Write>& p, unsigned on) {
  static constexpr std::string_view codes[] = {"1", "2", "3", "4", "5", "7", "8", "9", "21"};
  for (unsigned bit = 0; bit < 9 && (on >> bit) != 0; ++bit) {
    if ((on & (1U << bit)) != 0) {
      p.next();
      p.text(codes[bit]);
    }
  }
}

// The brush `to` from nothing: a reset where anything differs from the default, then the
// colours and attributes it has.
template <bool Write>
void reset_form(Parameters<Write>& r, Brush const& to) {
  unsigned const wanted = attributes(to.traits);
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
  r.character('m');
}

// What differs between `from` and `to`, without the final 'm'; no parameter at all where the
// terminal shows both alike.
template <bool Write>
void delta_form(Parameters<Write>& d, Brush const& from, Brush const& to) {
  if (!same_color(from.background, to.background)) {
    add_color(d, to.background, true);
  }
  if (!same_color(from.foreground, to.foreground)) {
    add_color(d, to.foreground, false);
  }
  unsigned const wanted = attributes(to.traits);
  unsigned const shown = attributes(from.traits);
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
}

}  // namespace

char* write_brush_change(char* out, Brush const* from, Brush const& to) {
  if (from == nullptr) {
    Parameters<true> r{out};
    reset_form(r, to);
    return r.out;
  }
  // Where the traits stay and no colour goes back to the default, every parameter of the delta
  // is one of the reset's too, which adds its "0;": the delta is shorter without pricing.
  auto const kept_or_set = [](Color const& before, Color const& after) {
    return same_color(before, after) || !same_color(after, XColor::Default);
  };
  if (from->traits == to.traits && kept_or_set(from->background, to.background) &&
      kept_or_set(from->foreground, to.foreground)) {
    bool const background = !same_color(from->background, to.background);
    bool const foreground = !same_color(from->foreground, to.foreground);
    if (!background && !foreground) {
      return out;
    }
    // Palette colours, the usual change, are copied whole from a table.
    auto const* const xb = std::get_if<XColor>(&to.background);
    auto const* const xf = std::get_if<XColor>(&to.foreground);
    if ((!background || (xb != nullptr && xb->value < 256)) &&
        (!foreground || (xf != nullptr && xf->value < 256))) {
      out = put(out, "\x1b[");
      if (background) {
        out = put_parameter(out, palette_parameters[1][xb->value]);
      }
      if (foreground) {
        if (background) {
          *out++ = ';';
        }
        out = put_parameter(out, palette_parameters[0][xf->value]);
      }
      *out++ = 'm';
      return out;
    }
    Parameters<true> d{out};
    delta_form(d, *from, to);
    d.character('m');
    return d.out;
  }
  Parameters<false> delta_size;
  delta_form(delta_size, *from, to);
  // Brushes that differ only in traits the terminal shows alike ask for nothing; an empty
  // sequence would be a reset.
  if (delta_size.first) {
    return out;
  }
  Parameters<false> reset_size;
  reset_form(reset_size, to);
  // The delta wins a tie (its size does not count its 'm' yet).
  if (delta_size.size + 1 <= reset_size.size) {
    Parameters<true> d{out};
    delta_form(d, *from, to);
    d.character('m');
    return d.out;
  }
  Parameters<true> r{out};
  reset_form(r, to);
  return r.out;
}

}  // namespace dalk::detail
