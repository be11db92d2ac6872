#include "dalk/transcode.hpp"

#include <unicode/unistr.h>

#include <cstdint>
#include <stdexcept>

#include "dalk/text.hpp"

namespace dalk::detail {

std::string u32_to_u8(std::u32string_view s) {
  std::string out;
  u32_to_u8(s, out);
  return out;
}

void u32_to_u8(std::u32string_view s, std::string& out) {
  out.clear();
  out.reserve(s.size());
  for (char32_t c : s) {
    // Text is mostly ASCII: those characters skip the call.
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else {
      append_u8(out, c);
    }
  }
}

char32_t u8_to_u32(std::array<char, 4> bytes) {
  auto const text = icu::UnicodeString::fromUTF8(icu::StringPiece(bytes.data(), 4));
  return static_cast<char32_t>(text.char32At(0));
}

namespace {

// Pastes run to megabytes and are nearly always well formed already: they are then kept as
// they are, without the round trip through UTF-16.
bool is_well_formed_u8(std::string_view s) {
  for (std::size_t at = 0; at < s.size();) {
    if (static_cast<unsigned char>(s[at]) < 0x80) {
      ++at;
      continue;
    }
    text::Decoded const c = text::decode_at(s, at);
    if (!c.well_formed) {
      return false;
    }
    at += c.length;
  }
  return true;
}

}  // namespace

std::string to_well_formed_u8(std::string_view s) {
  if (is_well_formed_u8(s)) {
    return std::string{s};
  }
  std::string out;
  icu::UnicodeString::fromUTF8(icu::StringPiece(s.data(), static_cast<std::int32_t>(s.size())))
      .toUTF8String(out);
  return out;
}

lum::Generator<char32_t> u8_string_to_u32(std::string_view s) {
  for (std::size_t at = 0; at < s.size();) {
    text::Decoded c = text::decode_at(s, at);
    if (!c.well_formed) {
      co_return;
    }
    at += c.length;
    co_yield c.code_point;
  }
}

std::u32string u8_string_to_u32_string(std::string_view s) {
  std::u32string out;
  u8_string_to_u32_string(s, out);
  return out;
}

void u8_string_to_u32_string(std::string_view s, std::u32string& out) {
  if (text::decode(s, out) < s.size()) {
    throw std::runtime_error("Invalid UTF-8 sequence");
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
