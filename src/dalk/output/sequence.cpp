#include "dalk/sequence.hpp"

#include <array>
#include <atomic>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "dalk/output/frame_writer.hpp"
#include "dalk/session/terminal_internal.hpp"

namespace dalk {
namespace {

// What the escape functions encoded last, whether or not the caller wrote it. Any thread may
// build escapes, so each value is one atomic word, stored and loaded relaxed: the hot path
// pays a plain store.
class RecordedColor {
 public:
  constexpr explicit RecordedColor(XColor c) : packed_{palette_flag | c.value} {}
  void store(Color const& c) { packed_.store(pack(c), std::memory_order_relaxed); }
  Color load() const {
    std::uint32_t const packed = packed_.load(std::memory_order_relaxed);
    if ((packed & palette_flag) != 0) {
      return XColor{static_cast<std::uint16_t>(packed)};
    }
    return TrueColor{static_cast<std::uint8_t>(packed >> 16U),
                     static_cast<std::uint8_t>(packed >> 8U), static_cast<std::uint8_t>(packed)};
  }

 private:
  static constexpr std::uint32_t palette_flag = 1U << 31U;
  static std::uint32_t pack(Color const& c) {
    if (auto const* x = std::get_if<XColor>(&c)) {
      return palette_flag | x->value;
    }
    auto const t = *std::get_if<TrueColor>(&c);
    return static_cast<std::uint32_t>(t.red) << 16U | static_cast<std::uint32_t>(t.green) << 8U |
           t.blue;
  }
  std::atomic<std::uint32_t> packed_;
};

class RecordedTraits {
 public:
  void store(Traits t) { bits_.store(t.value(), std::memory_order_relaxed); }
  Traits load() const { return Traits{static_cast<Trait>(bits_.load(std::memory_order_relaxed))}; }

 private:
  std::atomic<std::uint16_t> bits_{0};
};

constinit RecordedColor current_background{XColor::Default};
constinit RecordedColor current_foreground{XColor::Default};
constinit RecordedTraits current_traits;

// SGR parameters of each trait bit, from bit 0 upwards.
constexpr std::string_view trait_parameters[] = {"1;7", "1", "2", "3", "4",
                                                 "5",   "7", "8", "9", "21"};

constexpr std::string_view traits_off = "\x1b[22;23;24;25;27;28;29";
constexpr int traits_off_count = 7;

// Terminals keep at most 16 parameters of one SGR sequence (libvterm overruns its array past
// them): when the traits would take more, the switching off goes in a sequence of its own.
constexpr int most_parameters = 16;

// Room for the trait sequence of any t (48 bytes with every trait).
constexpr std::size_t max_traits_escape_size = 64;

// The trait sequence of t: "\e[22;23;24;25;27;28;29", t's parameters, "m".

char* write_traits(char* out, Traits t) {
  std::memcpy(out, traits_off.data(), traits_off.size());
  out += traits_off.size();
  if (t.empty()) {
    *out++ = 'm';
    return out;
  }
  // Standout is two parameters, every other trait one.
  int const count = traits_off_count + std::popcount(static_cast<unsigned>(t.value() & 0x3FFU)) +
                    (t.test_bit(0) ? 1 : 0);
  bool separate = count > most_parameters;
  if (separate) {
    out = detail::put(out, "m\x1b[");
  }
  for (int bit = 0; bit < 10; ++bit) {
    if (t.test_bit(bit)) {
      if (separate) {
        separate = false;
      } else {
        *out++ = ';';
      }
      std::string_view const parameter = trait_parameters[bit];
      std::memcpy(out, parameter.data(), parameter.size());
      out += parameter.size();
    }
  }
  *out++ = 'm';
  return out;
}

// Background and foreground escapes differ only in their SGR codes and the colour they record.
struct ColorLayer {
  std::string_view set;    // the start of a palette or true-colour escape
  std::string_view reset;  // the whole escape of the default colour
  RecordedColor& current;
};

ColorLayer const background_layer{"\x1b[48;", "\x1b[49m", current_background};
ColorLayer const foreground_layer{"\x1b[38;", "\x1b[39m", current_foreground};

std::string escape_color(ColorLayer const& layer, XColor c) {
  layer.current.store(c);
  if (c.value == XColor::Default.value) {
    return std::string{layer.reset};
  }
  return std::string{layer.set} + "5;" + std::to_string(c.value) + "m";
}

std::string escape_color(ColorLayer const& layer, TrueColor c) {
  layer.current.store(c);
  return std::string{layer.set} + "2;" + std::to_string(c.red) + ";" + std::to_string(c.green) +
         ";" + std::to_string(c.blue) + "m";
}

}  // namespace

void write(char c) {
  std::putchar(static_cast<unsigned char>(c));
}

void write(char32_t c) {
  std::fputs(detail::u32_to_u8(c).c_str(), stdout);
}

void write(std::string const& s) {
  std::fputs(s.c_str(), stdout);
}

void write(std::string_view s) {
  std::fwrite(s.data(), 1, s.size(), stdout);
}

void write(char const* s) {
  std::fputs(s, stdout);
}

void write(std::u32string_view s) {
  for (char32_t c : s) {
    write(c);
  }
}

void flush() {
  // Ordered with the signal handlers' restoration, as frames are.
  detail::OrderedWrite const ordered;
  std::fflush(stdout);
}

std::string escape(Point p) {
  return "\x1b[" + std::to_string(p.y + 1) + ";" + std::to_string(p.x + 1) + "H";
}

std::string escape(BlankRow) {
  return "\x1b[2K";
}

std::string escape(BlankScreen) {
  return "\x1b[2J";
}

std::string escape(Traits t) {
  current_traits.store(t);
  char bytes[max_traits_escape_size];
  return std::string(bytes, write_traits(bytes, t));
}

std::string escape(Trait t) {
  return escape(Traits{t});
}

std::string clear_traits() {
  return escape(Traits{});
}

Traits traits() {
  return current_traits.load();
}

std::string escape_bg(XColor c) {
  return escape_color(background_layer, c);
}

std::string escape_bg(TrueColor c) {
  return escape_color(background_layer, c);
}

std::string escape_fg(XColor c) {
  return escape_color(foreground_layer, c);
}

std::string escape_fg(TrueColor c) {
  return escape_color(foreground_layer, c);
}

std::string escape(ColorBG c) {
  return std::visit([](auto color) { return escape_bg(color); }, c.value);
}

std::string escape(ColorFG c) {
  return std::visit([](auto color) { return escape_fg(color); }, c.value);
}

Color background_color() {
  return current_background.load();
}

Color foreground_color() {
  return current_foreground.load();
}

std::string escape(Brush b) {
  return escape(ColorBG{b.background}) + escape(ColorFG{b.foreground}) + escape(b.traits);
}

namespace detail {

namespace {

// The escape writers put bytes straight into a caller's buffer: building a frame is mostly
// these few sequences, and appending them piece by piece to a string cost more than the
// formatting itself.

// "00" to "99".
constexpr auto digit_pairs = [] {
  std::array<char, 200> pairs{};
  for (int i = 0; i < 100; ++i) {
    pairs[static_cast<std::size_t>(2 * i)] = static_cast<char>('0' + i / 10);
    pairs[static_cast<std::size_t>(2 * i + 1)] = static_cast<char>('0' + i % 10);
  }
  return pairs;
}();

char* put_pair(char* out, unsigned value) {
  std::memcpy(out, &digit_pairs[2 * value], 2);
  return out + 2;
}

// Small numbers and whole palette sequences come from tables: with colours that change from
// cell to cell, the number of digits is unpredictable, and branching on it cost more than the
// rest of the encoding. An entry holds its bytes followed by padding, and its length in the
// last element; it is copied whole and the output advances by the length, so the caller's
// buffer has room for the whole entry.
using Entry4 = std::array<char, 4>;
using Entry16 = std::array<char, 16>;

constexpr auto byte_decimals = [] {
  std::array<Entry4, 256> table{};
  for (int value = 0; value < 256; ++value) {
    Entry4& entry = table[static_cast<std::size_t>(value)];
    std::size_t length = 0;
    if (value >= 100) {
      entry[length++] = static_cast<char>('0' + value / 100);
    }
    if (value >= 10) {
      entry[length++] = static_cast<char>('0' + value / 10 % 10);
    }
    entry[length++] = static_cast<char>('0' + value % 10);
    entry[3] = static_cast<char>(length);
  }
  return table;
}();

// "<prefix><index>m" for every palette index.
constexpr std::array<Entry16, 256> palette_sequences(std::string_view prefix) {
  std::array<Entry16, 256> table{};
  for (std::size_t value = 0; value < 256; ++value) {
    Entry16& entry = table[value];
    std::size_t length = 0;
    for (char c : prefix) {
      entry[length++] = c;
    }
    Entry4 const& digits = byte_decimals[value];
    for (int i = 0; i < digits[3]; ++i) {
      entry[length++] = digits[static_cast<std::size_t>(i)];
    }
    entry[length++] = 'm';
    entry[15] = static_cast<char>(length);
  }
  return table;
}

constexpr auto background_palette = palette_sequences("\x1b[48;5;");
constexpr auto foreground_palette = palette_sequences("\x1b[38;5;");

template <std::size_t N>
char* put_entry(char* out, std::array<char, N> const& entry) {
  std::memcpy(out, entry.data(), N);
  return out + entry[N - 1];
}

// XColor: the default form, or the palette form with the index. TrueColor: the 24-bit form.
char* put_color(char* out, Color const& c, bool background) {
  if (auto const* x = std::get_if<XColor>(&c)) {
    if (x->value < 256) {
      return put_entry(out,
                       background ? background_palette[x->value] : foreground_palette[x->value]);
    }
    if (x->value == XColor::Default.value) {
      return background ? put(out, "\x1b[49m") : put(out, "\x1b[39m");
    }
    // Outside the palette: written as asked, like escape() does.
    out = background ? put(out, "\x1b[48;5;") : put(out, "\x1b[38;5;");
    out = put_decimal(out, x->value);
  } else {
    auto const t = *std::get_if<TrueColor>(&c);
    out = background ? put(out, "\x1b[48;2;") : put(out, "\x1b[38;2;");
    out = put_entry(out, byte_decimals[t.red]);
    *out++ = ';';
    out = put_entry(out, byte_decimals[t.green]);
    *out++ = ';';
    out = put_entry(out, byte_decimals[t.blue]);
  }
  *out++ = 'm';
  return out;
}

}  // namespace

char* put_decimal(char* out, int value) {
  if (value < 0 || value >= 100000) {
    return std::to_chars(out, out + 11, value).ptr;
  }
  auto v = static_cast<unsigned>(value);
  if (v < 10) {
    *out = static_cast<char>('0' + v);
    return out + 1;
  }
  if (v < 100) {
    return put_pair(out, v);
  }
  if (v < 1000) {
    *out = static_cast<char>('0' + v / 100);
    return put_pair(out + 1, v % 100);
  }
  if (v >= 10000) {
    *out++ = static_cast<char>('0' + v / 10000);
    v %= 10000;
  }
  return put_pair(put_pair(out, v / 100), v % 100);
}

char* write_u8(char* out, char32_t c) {
  if (c < 0x80) {
    *out = static_cast<char>(c);
    return out + 1;
  }
  if (c < 0x800) {
    out[0] = static_cast<char>(0xC0 | (c >> 6));
    out[1] = static_cast<char>(0x80 | (c & 0x3F));
    return out + 2;
  }
  if (c < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (c >> 12));
    out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (c & 0x3F));
    return out + 3;
  }
  out[0] = static_cast<char>(0xF0 | ((c >> 18) & 0x0F));
  out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (c & 0x3F));
  return out + 4;
}

char* write_escape(char* out, Point p) {
  out = put(out, "\x1b[");
  out = put_decimal(out, p.y + 1);
  *out++ = ';';
  out = put_decimal(out, p.x + 1);
  *out++ = 'H';
  return out;
}

char* write_escape(char* out, Brush const& b) {
  current_background.store(b.background);
  current_foreground.store(b.foreground);
  current_traits.store(b.traits);
  out = put_color(out, b.background, true);
  out = put_color(out, b.foreground, false);
  return write_traits(out, b.traits);
}

void append_u8(std::string& out, char32_t c) {
  char bytes[max_u8_size];
  out.append(bytes, write_u8(bytes, c));
}

void append_escape(std::string& out, Point p) {
  char bytes[max_point_escape_size];
  out.append(bytes, write_escape(bytes, p));
}

void append_escape(std::string& out, Brush const& b) {
  char bytes[max_brush_escape_size];
  out.append(bytes, write_escape(bytes, b));
}

std::string u32_to_u8(char32_t c) {
  std::string out;
  append_u8(out, c);
  return out;
}

}  // namespace detail
}  // namespace dalk
