#include "dalk/transcode.hpp"

#include <unicode/unistr.h>

#include <cstdint>
#include <optional>
#include <stdexcept>

namespace dalk::detail {
namespace {

// Decodes one well-formed character at position `at` and advances past it; nothing for a
// malformed or truncated one. The byte ranges are the Unicode Standard's table of well-formed
// sequences, so overlongs, surrogates and values above U+10FFFF are rejected. Positions are
// size_t so that no input length can wrap them and end decoding early without an error.
std::optional<char32_t> decode_one(std::string_view s, std::size_t& at) {
  std::size_t const size = s.size();
  auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(s[i]); };
  std::uint8_t const lead = byte(at);
  if (lead < 0x80) {
    ++at;
    return lead;
  }
  std::size_t continuation = 0;
  std::uint8_t low = 0x80;
  std::uint8_t high = 0xBF;
  char32_t value = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    continuation = 1;
    value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    continuation = 2;
    value = lead & 0x0F;
    if (lead == 0xE0) {
      low = 0xA0;
    } else if (lead == 0xED) {
      high = 0x9F;
    }
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    continuation = 3;
    value = lead & 0x07;
    if (lead == 0xF0) {
      low = 0x90;
    } else if (lead == 0xF4) {
      high = 0x8F;
    }
  } else {
    return std::nullopt;
  }
  if (size - at <= continuation) {
    return std::nullopt;
  }
  for (std::size_t i = 1; i <= continuation; ++i) {
    std::uint8_t const b = byte(at + i);
    if (b < low || b > high) {
      return std::nullopt;
    }
    // Only the second byte has a narrowed range.
    low = 0x80;
    high = 0xBF;
    value = (value << 6) | (b & 0x3F);
  }
  at += continuation + 1;
  return value;
}

// As decode_one, for the forms that reject malformed text as a whole.
char32_t decode_one_or_throw(std::string_view s, std::size_t& at) {
  auto const code_point = decode_one(s, at);
  if (!code_point) {
    throw std::runtime_error("Invalid UTF-8 sequence");
  }
  return *code_point;
}

}  // namespace

std::string u32_to_u8(std::u32string_view s) {
  std::string out;
  u32_to_u8(s, out);
  return out;
}

void u32_to_u8(std::u32string_view s, std::string& out) {
  out.clear();
  out.reserve(s.size());
  for (char32_t c : s) {
    append_u8(out, c);
  }
}

char32_t u8_to_u32(std::array<char, 4> bytes) {
  auto const text = icu::UnicodeString::fromUTF8(icu::StringPiece(bytes.data(), 4));
  return static_cast<char32_t>(text.char32At(0));
}

std::string to_well_formed_u8(std::string_view s) {
  std::string out;
  icu::UnicodeString::fromUTF8(icu::StringPiece(s.data(), static_cast<std::int32_t>(s.size())))
      .toUTF8String(out);
  return out;
}

lum::Generator<char32_t> u8_string_to_u32(std::string_view s) {
  std::size_t at = 0;
  while (at < s.size()) {
    co_yield decode_one_or_throw(s, at);
  }
}

std::u32string u8_string_to_u32_string(std::string_view s) {
  std::u32string out;
  u8_string_to_u32_string(s, out);
  return out;
}

void u8_string_to_u32_string(std::string_view s, std::u32string& out) {
  out.clear();
  out.reserve(s.size());
  std::size_t at = 0;
  while (at < s.size()) {
    out += decode_one_or_throw(s, at);
  }
}

std::vector<Glyph> utf32_to_glyphs(std::u32string_view s) {
  std::vector<Glyph> glyphs;
  glyphs.reserve(s.size());
  for (char32_t c : s) {
    glyphs.push_back(Glyph{c, Brush{}});
  }
  return glyphs;
}

std::vector<Glyph> utf8_to_glyphs(std::string_view s) {
  std::vector<Glyph> glyphs;
  for (char32_t c : u8_string_to_u32(s)) {
    glyphs.push_back(Glyph{c, Brush{}});
  }
  return glyphs;
}

}  // namespace dalk::detail
