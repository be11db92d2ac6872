#include "dalk/text.hpp"

#include "dalk/text/break_iterator.hpp"

#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <utility>

namespace dalk::text {

namespace {

constexpr char32_t replacement = U'\uFFFD';

bool is_control(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

// The Unicode Standard's table of well-formed byte sequences, so that overlongs, surrogates
// and values above U+10FFFF are rejected: for each range of lead bytes, the continuation bytes
// that follow and the range of the first of them (the others all take 80 to BF).
struct Lead {
  std::uint8_t first;
  std::uint8_t last;
  std::size_t continuation;
  std::uint8_t low;
  std::uint8_t high;
};

constexpr Lead leads[] = {
    {0xC2, 0xDF, 1, 0x80, 0xBF}, {0xE0, 0xE0, 2, 0xA0, 0xBF}, {0xE1, 0xEC, 2, 0x80, 0xBF},
    {0xED, 0xED, 2, 0x80, 0x9F}, {0xEE, 0xEF, 2, 0x80, 0xBF}, {0xF0, 0xF0, 3, 0x90, 0xBF},
    {0xF1, 0xF3, 3, 0x80, 0xBF}, {0xF4, 0xF4, 3, 0x80, 0x8F},
};

// decode_at, for the functions below: an exported function would not be inlined. Positions
// are size_t so that no input length can wrap them.
Decoded decode_one(std::string_view s, std::size_t at) {
  auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(s[i]); };
  std::uint8_t const lead = byte(at);
  if (lead < 0x80) {
    return {lead, 1, true};
  }
  Lead const* const row = std::find_if(std::begin(leads), std::end(leads), [&](Lead const& l) {
    return lead >= l.first && lead <= l.last;
  });
  if (row == std::end(leads)) {
    return {replacement, 1, false};
  }
  char32_t value = lead & (0x7FU >> (row->continuation + 1));
  std::uint8_t low = row->low;
  std::uint8_t high = row->high;
  for (std::size_t i = 1; i <= row->continuation; ++i) {
    if (s.size() - at <= i || byte(at + i) < low || byte(at + i) > high) {
      return {replacement, i, false};
    }
    low = 0x80;
    high = 0xBF;
    value = (value << 6) | (byte(at + i) & 0x3FU);
  }
  return {value, row->continuation + 1, true};
}

// composed, for character_cells: an exported function would not be inlined.
std::u32string_view compose(std::u32string_view character, std::u32string& scratch) {
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

  // The code point at i (below the end), U+FFFD where malformed.
  char32_t at(std::size_t i) const {
    auto const byte = static_cast<unsigned char>(text[i]);
    return byte < 0x80U ? byte : decode_one(text.substr(0, end_of(i)), i).code_point;
  }
};

// Code points of UTF-32 text: one unit each.
struct Utf32 {
  std::u32string_view text;

  std::size_t size() const { return text.size(); }
  static std::size_t start_of(std::size_t i) { return i; }
  static std::size_t end_of(std::size_t i) { return i + 1; }
  static std::size_t before(std::size_t i) { return i - 1; }
  char32_t at(std::size_t i) const { return text[i]; }
};

// A control character stands alone, also CR before LF, and nothing joins an ASCII character
// to what comes before it unless that is a prepended mark (GB9b): boundaries that need no
// break iterator, which is asked only between other characters.
template <typename Text>
bool is_boundary(Text const& text, std::size_t i) {
  char32_t const c = text.at(i);
  char32_t const previous = text.at(text.before(i));
  if (is_control(c) || is_control(previous)) {
    return true;
  }
  if (c < 0x80) {
    return previous < 0x80 || u_getIntPropertyValue(static_cast<UChar32>(previous),
                                                    UCHAR_GRAPHEME_CLUSTER_BREAK) != U_GCB_PREPEND;
  }
  return detail::is_break(text.text, i);
}

template <typename Text>
std::size_t boundary_in(Text const& text, std::size_t i, Boundary which) {
  switch (which) {
    case Boundary::Next: {
      std::size_t const next = text.end_of(i);
      if (next >= text.size() || is_boundary(text, next)) {
        return next;
      }
      return detail::following_break(text.text, i);
    }
    case Boundary::Previous: {
      std::size_t const previous = text.before(i);
      if (previous == 0 || is_boundary(text, previous)) {
        return previous;
      }
      return detail::preceding_break(text.text, i);
    }
    case Boundary::AtOrBefore:
      i = text.start_of(i);
      if (i == 0 || i >= text.size() || is_boundary(text, i)) {
        return i;
      }
      return detail::preceding_break(text.text, i);
    case Boundary::AtOrAfter:
      if (i == 0 || i >= text.size()) {
        return i;
      }
      i = text.start_of(i);
      if (is_boundary(text, i)) {
        return i;
      }
      return detail::following_break(text.text, i);
  }
  return i;
}

// Calls f with each cluster of text, in order.
template <typename F>
void for_each_cluster(std::u32string_view text, F const& f) {
  std::size_t const size = text.size();
  for (std::size_t at = 0; at < size;) {
    // cluster_end's first rule inline (nothing below U+0300 joins what comes before it), so that
    // ASCII text makes no call per code point.
    std::size_t const next = at + 1;
    std::size_t const end =
        text[at] < 0x300 && (next == size || text[next] < 0x300) ? next : cluster_end(text, at);
    f(std::u32string_view{text.data() + at, end - at});
    at = end;
  }
}

int cluster_cells(std::u32string_view cluster) {
  if (cluster.size() == 1) {
    return cells(cluster.front());
  }
  return text::cluster_cells(cluster, width_model());
}

}  // namespace

Decoded decode_at(std::string_view s, std::size_t at) noexcept {
  return decode_one(s, at);
}

std::size_t decode(std::string_view s, std::u32string& out) {
  // ICU's UTF-8 step checks the same table of well-formed sequences, inline.
  out.resize(s.size());
  std::size_t size = 0;
  std::size_t at = 0;
  auto const length = static_cast<std::int64_t>(s.size());
  std::int64_t next = 0;
  while (next < length) {
    UChar32 c = 0;
    U8_NEXT(s.data(), next, length, c);
    if (c < 0) {
      break;
    }
    out[size++] = static_cast<char32_t>(c);
    at = static_cast<std::size_t>(next);
  }
  out.resize(size);
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
    Decoded const c = decode_one(s, at);
    out.push_back(c.code_point);
    at += c.length;
  }
  return out;
}

std::size_t boundary(std::string_view text, std::size_t i, Boundary which, LineFeed /*feed*/) {
  return boundary_in(Utf8{text}, i, which);
}

std::size_t boundary(std::u32string_view text, std::size_t i, Boundary which, LineFeed /*feed*/) {
  return boundary_in(Utf32{text}, i, which);
}

std::size_t previous_code_point(std::string_view text, std::size_t i) {
  return Utf8{text}.before(i);
}

namespace {

bool is_combining_mark(char32_t c) {
  auto const code = static_cast<UChar32>(c);
  auto const category = u_charType(code);
  return (category == U_NON_SPACING_MARK || category == U_COMBINING_SPACING_MARK) &&
         !u_hasBinaryProperty(code, UCHAR_VARIATION_SELECTOR);
}

template <typename Text>
std::size_t backspace_start_in(Text const& text, std::size_t i) {
  std::size_t const last = text.before(i);
  if (last > 0 && text.at(last) >= 0x300 && is_combining_mark(text.at(last))) {
    return last;
  }
  return boundary_in(text, i, Boundary::Previous);
}

}  // namespace

std::size_t backspace_start(std::string_view text, std::size_t i) {
  return backspace_start_in(Utf8{text}, i);
}

std::size_t backspace_start(std::u32string_view text, std::size_t i) {
  return backspace_start_in(Utf32{text}, i);
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
  return compose(character, scratch);
}

int character_cells(std::u32string_view character) {
  if (character.size() == 1 && character.front() >= 0x20 && character.front() < 0x7F) {
    return 1;
  }
  std::u32string scratch;
  int total = 0;
  for_each_cluster(compose(character, scratch),
                   [&](std::u32string_view cluster) { total += cluster_cells(cluster); });
  return total;
}

std::u32string drawable(std::u32string text) {
  drawable_in_place(text);
  return text;
}

std::u32string drawable(std::string_view text) {
  return drawable(decode(text));
}

std::size_t drawable_in_place(std::u32string& text) {
  if (!is_nfc(text)) {
    text = nfc(text);
  }
  return detail::lay_out_in_place(text);
}

int cells(std::string_view text) {
  std::u32string points = decode(text);
  if (!is_nfc(points)) {
    points = nfc(points);
  }
  int total = 0;
  for_each_cluster(std::u32string_view{points},
                   [&](std::u32string_view cluster) { total += cluster_cells(cluster); });
  return total;
}

std::size_t cells(std::u32string_view symbols) {
  std::size_t total = 0;
  for (char32_t const symbol : symbols) {
    total += static_cast<std::size_t>(cells(symbol));
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
  if (text::cells(std::u32string_view{out}) > static_cast<std::size_t>(cells)) {
    cut_to_cells(out, cells - 1);
    out.push_back(U'…');
  }
}

}  // namespace dalk::text
