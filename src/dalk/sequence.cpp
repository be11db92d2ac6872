#include "dalk/sequence.hpp"

#include <charconv>
#include <cstdio>
#include <iterator>

#include "lum/generator.hpp"

namespace dalk {
namespace {

// What the escape functions encoded last, whether or not the caller wrote it.
Color current_background = XColor::Default;
Color current_foreground = XColor::Default;
Traits current_traits{};

// SGR parameters of each trait bit, from bit 0 upwards.
constexpr std::string_view trait_parameters[] = {"1;7", "1", "2", "3", "4",
                                                 "5",   "7", "8", "9", "21"};

constexpr std::string_view traits_off = "\x1b[22;23;24;25;27;28;29";

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
  for (char c : s) {
    std::putchar(static_cast<unsigned char>(c));
  }
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
  current_traits = t;
  std::string result{traits_off};
  for (int bit = 0; bit < 10; ++bit) {
    if (t.test_bit(bit)) {
      result += ';';
      result += trait_parameters[bit];
    }
  }
  result += 'm';
  return result;
}

std::string escape(Trait t) {
  return escape(Traits{t});
}

std::string clear_traits() {
  return escape(Traits{});
}

Traits traits() {
  return current_traits;
}

std::string escape_bg(XColor c) {
  current_background = c;
  if (c.value == XColor::Default.value) {
    return "\x1b[49m";
  }
  return "\x1b[48;5;" + std::to_string(c.value) + "m";
}

std::string escape_bg(TrueColor c) {
  current_background = c;
  return "\x1b[48;2;" + std::to_string(c.red) + ";" + std::to_string(c.green) + ";" +
         std::to_string(c.blue) + "m";
}

std::string escape_fg(XColor c) {
  current_foreground = c;
  if (c.value == XColor::Default.value) {
    return "\x1b[39m";
  }
  return "\x1b[38;5;" + std::to_string(c.value) + "m";
}

std::string escape_fg(TrueColor c) {
  current_foreground = c;
  return "\x1b[38;2;" + std::to_string(c.red) + ";" + std::to_string(c.green) + ";" +
         std::to_string(c.blue) + "m";
}

std::string escape(ColorBG c) {
  return std::visit([](auto color) { return escape_bg(color); }, c.value);
}

std::string escape(ColorFG c) {
  return std::visit([](auto color) { return escape_fg(color); }, c.value);
}

Color background_color() {
  return current_background;
}

Color foreground_color() {
  return current_foreground;
}

std::string escape(Brush b) {
  return escape(ColorBG{b.background}) + escape(ColorFG{b.foreground}) + escape(b.traits);
}

namespace detail {

void append_u8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | ((c >> 18) & 0x0F));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

namespace {

// Decimal digits as std::to_string writes them, without a temporary string.
void append_decimal(std::string& out, int value) {
  char digits[12];
  auto const result = std::to_chars(std::begin(digits), std::end(digits), value);
  out.append(digits, result.ptr);
}

void append_color(std::string& out, XColor c, std::string_view palette_form,
                  std::string_view default_form) {
  if (c.value == XColor::Default.value) {
    out += default_form;
    return;
  }
  out += palette_form;
  append_decimal(out, c.value);
  out += 'm';
}

void append_color(std::string& out, TrueColor c, std::string_view true_form) {
  out += true_form;
  append_decimal(out, c.red);
  out += ';';
  append_decimal(out, c.green);
  out += ';';
  append_decimal(out, c.blue);
  out += 'm';
}

}  // namespace

void append_escape(std::string& out, Point p) {
  out += "\x1b[";
  append_decimal(out, p.y + 1);
  out += ';';
  append_decimal(out, p.x + 1);
  out += 'H';
}

void append_escape(std::string& out, Brush const& b) {
  current_background = b.background;
  current_foreground = b.foreground;
  current_traits = b.traits;
  std::visit(lum::Overload{
                 [&](XColor c) { append_color(out, c, "\x1b[48;5;", "\x1b[49m"); },
                 [&](TrueColor c) { append_color(out, c, "\x1b[48;2;"); },
             },
             b.background);
  std::visit(lum::Overload{
                 [&](XColor c) { append_color(out, c, "\x1b[38;5;", "\x1b[39m"); },
                 [&](TrueColor c) { append_color(out, c, "\x1b[38;2;"); },
             },
             b.foreground);
  out += traits_off;
  for (int bit = 0; bit < 10; ++bit) {
    if (b.traits.test_bit(bit)) {
      out += ';';
      out += trait_parameters[bit];
    }
  }
  out += 'm';
}

std::string u32_to_u8(char32_t c) {
  std::string out;
  append_u8(out, c);
  return out;
}

}  // namespace detail
}  // namespace dalk
