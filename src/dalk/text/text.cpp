#include "dalk/text.hpp"

#include <unicode/uchar.h>
#include <unicode/unorm2.h>

#include <algorithm>
#include <cstdint>
#include <utility>

namespace dalk::text {

namespace {

constexpr char32_t replacement = U'\uFFFD';

// Code points of UTF-8 text, by byte index. A code point is a lead byte and at most three
// continuation bytes: steps never cross more than that, which keeps them bounded on malformed
// text.
struct Utf8 {
  std::string_view text;

  static constexpr int max_continuation = 3;

  std::size_t size() const { return text.size(); }

  bool is_continuation(std::size_t i) const {
    return (static_cast<unsigned char>(text[i]) & 0xC0U) == 0x80U;
  }

  // The start of the code point holding byte i (i itself at a start or at the end).
  std::size_t start_of(std::size_t i) const {
    for (int k = 0; k < max_continuation && i > 0 && i < size() && is_continuation(i); ++k) {
      --i;
    }
    return i;
  }

  // The end of the code point at i; i must be below the end.
  std::size_t end_of(std::size_t i) const {
    ++i;
    for (int k = 0; k < max_continuation && i < size() && is_continuation(i); ++k) {
      ++i;
    }
    return i;
  }

  // The start of the code point before i; i must be above 0.
  std::size_t before(std::size_t i) const {
    --i;
    for (int k = 0; k < max_continuation && i > 0 && is_continuation(i); ++k) {
      --i;
    }
    return i;
  }

  // Whether the code point at i (below the end) is one well-formed character that joins.
  bool joins(std::size_t i) const {
    if (static_cast<unsigned char>(text[i]) < 0x80U) {
      return false;
    }
    std::size_t const end = end_of(i);
    Decoded const c = decode_at(text.substr(0, end), i);
    return c.well_formed && i + c.length == end && joins_previous(c.code_point);
  }

  bool follows_line_feed(std::size_t i) const { return text[i - 1] == '\n'; }
};

// Code points of UTF-32 text: one unit each.
struct Utf32 {
  std::u32string_view text;

  std::size_t size() const { return text.size(); }
  static std::size_t start_of(std::size_t i) { return i; }
  static std::size_t end_of(std::size_t i) { return i + 1; }
  static std::size_t before(std::size_t i) { return i - 1; }
  bool joins(std::size_t i) const { return joins_previous(text[i]); }
  bool follows_line_feed(std::size_t i) const { return text[i - 1] == U'\n'; }
};

// Whether the code point at i (0 < i < size) belongs to the character before it. This is the
// one place that says where characters end.
template <typename Text>
bool joins_at(Text const& text, std::size_t i, LineFeed feed) {
  return text.joins(i) && !(feed == LineFeed::EndsLine && text.follows_line_feed(i));
}

template <typename Text>
std::size_t next_in(Text const& text, std::size_t i, LineFeed feed) {
  i = text.end_of(i);
  while (i < text.size() && joins_at(text, i, feed)) {
    i = text.end_of(i);
  }
  return i;
}

template <typename Text>
std::size_t previous_in(Text const& text, std::size_t i, LineFeed feed) {
  i = text.before(i);
  while (i > 0 && joins_at(text, i, feed)) {
    i = text.before(i);
  }
  return i;
}

template <typename Text>
std::size_t floor_in(Text const& text, std::size_t i, LineFeed feed) {
  i = text.start_of(i);
  while (i > 0 && i < text.size() && joins_at(text, i, feed)) {
    i = text.before(i);
  }
  return i;
}

template <typename Text>
std::size_t ceil_in(Text const& text, std::size_t i, LineFeed feed) {
  while (i > 0 && i < text.size() && joins_at(text, i, feed)) {
    i = text.end_of(i);
  }
  return i;
}

}  // namespace

// The byte ranges are the Unicode Standard's table of well-formed sequences, so overlongs,
// surrogates and values above U+10FFFF are rejected. Positions are size_t so that no input
// length can wrap them.
Decoded decode_at(std::string_view s, std::size_t at) noexcept {
  auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(s[i]); };
  std::uint8_t const lead = byte(at);
  if (lead < 0x80) {
    return {lead, 1, true};
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
    return {replacement, 1, false};
  }
  for (std::size_t i = 1; i <= continuation; ++i) {
    if (s.size() - at <= i || byte(at + i) < low || byte(at + i) > high) {
      return {replacement, i, false};
    }
    // Only the second byte has a narrowed range.
    low = 0x80;
    high = 0xBF;
    value = (value << 6) | (byte(at + i) & 0x3F);
  }
  return {value, continuation + 1, true};
}

std::size_t decode(std::string_view s, std::u32string& out) {
  out.clear();
  out.reserve(s.size());
  std::size_t at = 0;
  while (at < s.size()) {
    Decoded const c = decode_at(s, at);
    if (!c.well_formed) {
      break;
    }
    out.push_back(c.code_point);
    at += c.length;
  }
  return at;
}

std::u32string decode(std::string_view s) {
  std::u32string out;
  decode(s, out);
  return out;
}

std::u32string decode_replacing(std::string_view s) {
  std::u32string out;
  out.reserve(s.size());
  for (std::size_t at = 0; at < s.size();) {
    Decoded const c = decode_at(s, at);
    out.push_back(c.code_point);
    at += c.length;
  }
  return out;
}

bool joins_previous(char32_t c) {
  // Printable ASCII, most of most texts, without the lookup.
  return (c < 0x20 || c >= 0x7F) && width(c) == 0;
}

std::size_t next_character(std::string_view text, std::size_t i, LineFeed feed) {
  return next_in(Utf8{text}, i, feed);
}

std::size_t next_character(std::u32string_view text, std::size_t i, LineFeed feed) {
  return next_in(Utf32{text}, i, feed);
}

std::size_t previous_character(std::string_view text, std::size_t i, LineFeed feed) {
  return previous_in(Utf8{text}, i, feed);
}

std::size_t previous_character(std::u32string_view text, std::size_t i, LineFeed feed) {
  return previous_in(Utf32{text}, i, feed);
}

std::size_t floor_character(std::string_view text, std::size_t i, LineFeed feed) {
  return floor_in(Utf8{text}, i, feed);
}

std::size_t floor_character(std::u32string_view text, std::size_t i, LineFeed feed) {
  return floor_in(Utf32{text}, i, feed);
}

std::size_t ceil_character(std::string_view text, std::size_t i, LineFeed feed) {
  return ceil_in(Utf8{text}, i, feed);
}

std::size_t ceil_character(std::u32string_view text, std::size_t i, LineFeed feed) {
  return ceil_in(Utf32{text}, i, feed);
}

std::size_t previous_code_point(std::string_view text, std::size_t i) {
  return Utf8{text}.before(i);
}

// 0x40000 to 0x4FFFF: the console reports keys with no character of their own (Shift, Caps
// Lock, the keypad) there, in a plane Unicode leaves unassigned. Noncharacters are scalar
// values, but kept for a program's internal use, never for typing.
bool is_typeable(char32_t value) {
  if (value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF) ||
      (value >= 0x40000 && value <= 0x4FFFF)) {
    return false;
  }
  auto const code = static_cast<UChar32>(value);
  return u_charType(code) != U_CONTROL_CHAR &&
         !u_hasBinaryProperty(code, UCHAR_NONCHARACTER_CODE_POINT);
}

std::u32string_view composed(std::u32string_view character, std::u32string& scratch) {
  // One code point that composition leaves alone (all of them below the combining marks at
  // U+0300) needs no copy.
  if (character.size() == 1 &&
      (character.front() < 0x300 || u_getIntPropertyValue(static_cast<UChar32>(character.front()),
                                                          UCHAR_NFC_QUICK_CHECK) == UNORM_YES)) {
    return character;
  }
  scratch = nfc(character);
  return scratch;
}

int character_cells(std::u32string_view character) {
  if (character.size() == 1 && character.front() >= 0x20 && character.front() < 0x7F) {
    return 1;
  }
  std::u32string scratch;
  int total = 0;
  for (char32_t const c : composed(character, scratch)) {
    total += width(c);
  }
  return total;
}

std::u32string drawable(std::u32string text) {
  if (!is_nfc(text)) {
    text = nfc(text);
  }
  std::erase_if(text, [](char32_t c) { return cells(c) == 0; });
  return text;
}

std::u32string drawable(std::string_view text) {
  return drawable(decode(text));
}

int cells(std::string_view text) {
  int total = 0;
  for (char32_t const c : drawable(text)) {
    total += cells(c);
  }
  return total;
}

int cut_to_cells(std::u32string& text, int cells) {
  int used = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    int const next = used + text::cells(text[i]);
    if (next > cells) {
      text.resize(i);
      break;
    }
    used = next;
  }
  return used;
}

void fit(std::string_view text, int cells, std::u32string& out) {
  out.clear();
  if (cells <= 0) {
    return;
  }
  decode(text, out);
  out = drawable(std::move(out));
  if (width(out) > static_cast<std::size_t>(cells)) {
    cut_to_cells(out, cells - 1);
    out.push_back(U'…');
  }
}

}  // namespace dalk::text
