// Value types for screen cells (positions, colours, traits, brushes, glyphs) and the escape
// sequences that put them on a terminal. The escape functions only build strings; the thin
// write functions send bytes through the buffered stdout stream, and nothing reaches the
// terminal before flush() or a full buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

namespace dalk {

/// A cell position, 0-based: x is the column, y the row.
struct Point {
  std::int32_t x = 0;
  std::int32_t y = 0;
  friend constexpr bool operator==(Point, Point) = default;
};

/// A size in cells.
struct Area {
  std::int32_t width = 0;
  std::int32_t height = 0;
  friend constexpr bool operator==(Area, Area) = default;
};

/// A colour of the terminal's 256-entry palette (0 to 255), or 256 for the terminal's own
/// default colour.
struct XColor {
  std::uint16_t value = 256;

  static XColor const Default;
  static XColor const Black;
  static XColor const Red;
  static XColor const Green;
  static XColor const Yellow;
  static XColor const Blue;
  static XColor const Magenta;
  static XColor const Cyan;
  static XColor const White;
  static XColor const BrightBlack;
  static XColor const BrightRed;
  static XColor const BrightGreen;
  static XColor const BrightYellow;
  static XColor const BrightBlue;
  static XColor const BrightMagenta;
  static XColor const BrightCyan;
  static XColor const BrightWhite;

  friend constexpr bool operator==(XColor, XColor) = default;
};

inline constexpr XColor XColor::Default{256};
inline constexpr XColor XColor::Black{0};
inline constexpr XColor XColor::Red{1};
inline constexpr XColor XColor::Green{2};
inline constexpr XColor XColor::Yellow{3};
inline constexpr XColor XColor::Blue{4};
inline constexpr XColor XColor::Magenta{5};
inline constexpr XColor XColor::Cyan{6};
inline constexpr XColor XColor::White{7};
inline constexpr XColor XColor::BrightBlack{8};
inline constexpr XColor XColor::BrightRed{9};
inline constexpr XColor XColor::BrightGreen{10};
inline constexpr XColor XColor::BrightYellow{11};
inline constexpr XColor XColor::BrightBlue{12};
inline constexpr XColor XColor::BrightMagenta{13};
inline constexpr XColor XColor::BrightCyan{14};
inline constexpr XColor XColor::BrightWhite{15};

/// A 24-bit colour, always written in the 24-bit form whatever the terminal supports.
struct TrueColor {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
  friend constexpr bool operator==(TrueColor, TrueColor) = default;
};

/// Any colour a brush can carry. An XColor never equals a TrueColor.
using Color = std::variant<XColor, TrueColor>;

/// A colour meant as background; selects the background form of escape().
struct ColorBG {
  Color value;
};

/// A colour meant as foreground; selects the foreground form of escape().
struct ColorFG {
  Color value;
};

/// One text attribute; every enumerator is a single bit.
enum class Trait : std::uint16_t {
  Standout = 1,
  Bold = 2,
  Dim = 4,
  Italic = 8,
  Underline = 16,
  Blink = 32,
  Inverse = 64,
  Invisible = 128,
  CrossedOut = 256,
  DoubleUnderline = 512,
};

namespace detail {

/// A set of single-bit enumerators of E, stored as the OR of their values.
template <typename E>
class Mask {
 public:
  using Bits = std::underlying_type_t<E>;

  constexpr Mask() = default;
  constexpr Mask(E member) : bits_{static_cast<Bits>(member)} {}  // NOLINT: implicit on purpose

  /// The OR of the members' values.
  constexpr Bits value() const { return bits_; }
  constexpr bool empty() const { return bits_ == 0; }
  constexpr bool contains(E member) const {
    return (bits_ & static_cast<Bits>(member)) == static_cast<Bits>(member);
  }
  /// Whether bit number `bit` (0 is the lowest) is set.
  constexpr bool test_bit(int bit) const { return ((bits_ >> bit) & 1U) != 0; }

  constexpr Mask& insert(Mask other) {
    bits_ = static_cast<Bits>(bits_ | other.bits_);
    return *this;
  }
  constexpr Mask& remove(Mask other) {
    bits_ = static_cast<Bits>(bits_ & ~other.bits_);
    return *this;
  }
  constexpr Mask& operator|=(Mask other) { return insert(other); }
  friend constexpr Mask operator|(Mask a, Mask b) { return a.insert(b); }
  friend constexpr bool operator==(Mask, Mask) = default;

 private:
  Bits bits_ = 0;
};

}  // namespace detail

/// The attributes of a cell.
using Traits = detail::Mask<Trait>;

constexpr Traits operator|(Trait a, Trait b) {
  return Traits{a} | Traits{b};
}

/// How a cell is drawn.
struct Brush {
  Color background = XColor::Default;
  Color foreground = XColor::Default;
  Traits traits{};
  friend bool operator==(Brush const&, Brush const&) = default;
};

/// One screen cell: one code point, or a symbol above U+10FFFF naming a grapheme cluster of
/// several (dalk/cluster.hpp).
struct Glyph {
  char32_t symbol = U' ';
  Brush brush{};
  friend bool operator==(Glyph const&, Glyph const&) = default;
};

/// Tag: escape() gives the erase-line sequence.
struct BlankRow {};
/// Tag: escape() gives the erase-screen sequence.
struct BlankScreen {};

// Output through stdout's buffer; results of the underlying calls are not examined.

/// Writes one byte.
void write(char c);
/// Writes the UTF-8 encoding of c; U+0000 writes nothing.
void write(char32_t c);
/// Writes the bytes of s up to its first zero byte.
void write(std::string const& s);
/// Writes every byte of s, zero bytes included.
void write(std::string_view s);
/// Writes a zero-terminated string.
void write(char const* s);
/// Writes each code point as write(char32_t) does.
void write(std::u32string_view s);
/// Flushes stdout.
void flush();

/// Cursor to row p.y, column p.x: "\e[<y+1>;<x+1>H".
std::string escape(Point p);
/// "\e[2K".
std::string escape(BlankRow);
/// "\e[2J".
std::string escape(BlankScreen);
/// One SGR sequence that switches every attribute off (22;23;24;25;27;28;29, colours
/// untouched), then exactly the ones in t on, in bit order. Where that would be more than 16
/// parameters, the switching off ends its own sequence and a second one switches t on (the
/// same rendition). Records t as the current traits.
std::string escape(Traits t);
/// escape() of the set holding only t.
std::string escape(Trait t);
/// The attributes-off sequence; records empty traits.
std::string clear_traits();
/// The traits encoded last. The escape functions may be used from any thread; what they record
/// is kept race-free, and each accessor reports the value some thread encoded last.
Traits traits();

/// Background colour: "\e[49m" for XColor::Default, else "\e[48;5;<value>m"; records c as
/// the current background. Palette colours never use the 16-colour forms.
std::string escape_bg(XColor c);
/// Background colour "\e[48;2;<r>;<g>;<b>m"; records c as the current background.
std::string escape_bg(TrueColor c);
/// Foreground colour: "\e[39m" for XColor::Default, else "\e[38;5;<value>m"; records c as
/// the current foreground.
std::string escape_fg(XColor c);
/// Foreground colour "\e[38;2;<r>;<g>;<b>m"; records c as the current foreground.
std::string escape_fg(TrueColor c);
/// escape_bg() of whichever colour c holds.
std::string escape(ColorBG c);
/// escape_fg() of whichever colour c holds.
std::string escape(ColorFG c);
/// The background encoded last (any thread, as traits()).
Color background_color();
/// The foreground encoded last (any thread, as traits()).
Color foreground_color();
/// Background, foreground and traits, in that order; records all three.
std::string escape(Brush b);

namespace detail {

/// The 1 to 4 UTF-8 bytes of c. Nothing is rejected: surrogates encode like their
/// neighbours, and values above U+10FFFF keep only bits 0 to 21.
std::string u32_to_u8(char32_t c);

/// Appends the bytes of u32_to_u8(c) to out without building a temporary string.
void append_u8(std::string& out, char32_t c);

/// Appends the bytes of escape(p) to out without building a temporary string.
void append_escape(std::string& out, Point p);

/// Appends the bytes of escape(b) to out without building a temporary string, and records
/// b's colours and traits exactly as escape(b) does.
void append_escape(std::string& out, Brush const& b);

/// The most bytes write_escape(char*, Point) writes.
inline constexpr std::size_t max_point_escape_size = 26;
/// The most bytes write_escape(char*, Brush const&) writes.
inline constexpr std::size_t max_brush_escape_size = 96;
/// The most bytes write_u8 writes.
inline constexpr std::size_t max_u8_size = 4;

/// Writes the bytes of escape(p) to out, which has room for max_point_escape_size bytes;
/// returns the end of what it wrote. For hot loops that fill a buffer of their own.
char* write_escape(char* out, Point p);

/// Writes the bytes of escape(b) to out, which has room for max_brush_escape_size bytes, and
/// records b's colours and traits exactly as escape(b) does; returns the end.
char* write_escape(char* out, Brush const& b);

/// Writes the bytes of u32_to_u8(c) to out, which has room for max_u8_size bytes; returns
/// the end.
char* write_u8(char* out, char32_t c);

}  // namespace detail

}  // namespace dalk
