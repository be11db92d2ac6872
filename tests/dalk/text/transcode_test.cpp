#include <gtest/gtest.h>

#include <array>
#include <dalk/dalk.hpp>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "support/process.hpp"

using namespace std::string_literals;
using namespace dalk::detail;

namespace {

std::u32string lazily(std::string_view s) {
  std::u32string out;
  for (char32_t c : u8_string_to_u32(s)) {
    out += c;
  }
  return out;
}

std::u32string symbols(std::vector<dalk::Glyph> const& glyphs) {
  std::u32string out;
  for (auto const& g : glyphs) {
    EXPECT_EQ(g.brush, dalk::Brush{});
    out += g.symbol;
  }
  return out;
}

struct Malformed {
  char const* what;
  std::string bytes;
  // The bytes one U+FFFD replaces: the longest start of a well-formed sequence, at least one.
  std::size_t subpart = 1;
};

// Each is malformed at its first byte; the decoders must stop there.
std::vector<Malformed> const malformed = {
    {"overlong slash C0 AF", "\xC0\xAF"s},
    {"overlong C1 BF", "\xC1\xBF"s},
    {"overlong three-byte E0 80 AF", "\xE0\x80\xAF"s},
    {"overlong three-byte E0 9F BF", "\xE0\x9F\xBF"s},
    {"overlong four-byte F0 80 80 80", "\xF0\x80\x80\x80"s},
    {"overlong four-byte F0 8F BF BF", "\xF0\x8F\xBF\xBF"s},
    {"surrogate ED A0 80", "\xED\xA0\x80"s},
    {"surrogate ED BF BF", "\xED\xBF\xBF"s},
    {"above U+10FFFF F4 90 80 80", "\xF4\x90\x80\x80"s},
    {"above U+10FFFF F5 80 80 80", "\xF5\x80\x80\x80"s},
    {"lead FE", "\xFE"s},
    {"lead FF", "\xFF"s},
    {"lone continuation 80", "\x80"s},
    {"lone continuation BF", "\xBF"s},
    {"second byte not a continuation", "\xC3("s},
    {"third byte not a continuation", "\xE2\x82("s, 2},
    {"fourth byte not a continuation", "\xF0\x9F\x98("s, 3},
    {"two-byte cut short", "\xC3"s},
    {"three-byte cut short", "\xE2\x82"s, 2},
    {"four-byte cut short", "\xF0\x9F\x98"s, 3},
};

}  // namespace

TEST(TranscodeTest, EncodesUtf32Strings) {
  EXPECT_EQ(u32_to_u8(U""), "");
  EXPECT_EQ(u32_to_u8(U"h\xE9\x20AC\x1F600"), "h\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
  EXPECT_EQ(u32_to_u8(std::u32string_view{U"a\0b", 3}), "a\0b"s);
}

TEST(TranscodeTest, EncodingIntoAStringReplacesItsContents) {
  std::string out = "old contents";
  u32_to_u8(U"\x1F600x", out);
  EXPECT_EQ(out, "\xF0\x9F\x98\x80x");
  u32_to_u8(U"", out);
  EXPECT_EQ(out, "");
}

TEST(TranscodeTest, DecodesWellFormedText) {
  EXPECT_EQ(u8_string_to_u32_string("h\xC3\xA9"), U"h\xE9");
  EXPECT_EQ(u8_string_to_u32_string("\xF0\x9F\x98\x80"), U"\x1F600");
  EXPECT_EQ(u8_string_to_u32_string(""), U"");
  EXPECT_EQ(u8_string_to_u32_string("a\0b"s), (std::u32string{U'a', U'\0', U'b'}));
  // The edges of every row of the well-formed table.
  EXPECT_EQ(u8_string_to_u32_string("\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEC\xBF\xBF\xED\x9F\xBF"
                                    "\xEE\x80\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF3\xBF\xBF\xBF"
                                    "\xF4\x8F\xBF\xBF"),
            (std::u32string{0x7F, 0x80, 0x7FF, 0x800, 0xCFFF, 0xD7FF, 0xE000, 0xFFFF, 0x10000,
                            0xFFFFF, 0x10FFFF}));
}

TEST(TranscodeTest, DecodingIntoAStringReplacesItsContents) {
  std::u32string out = U"old";
  u8_string_to_u32_string("new", out);
  EXPECT_EQ(out, U"new");
}

TEST(TranscodeTest, EveryScalarValueSurvivesARoundTrip) {
  std::u32string all;
  for (char32_t c = 0; c <= 0x10FFFF; ++c) {
    if (c < 0xD800 || c > 0xDFFF) {
      all += c;
    }
  }
  std::string const bytes = u32_to_u8(all);
  EXPECT_EQ(u8_string_to_u32_string(bytes), all);
  EXPECT_EQ(lazily(bytes), all);
}

TEST(TranscodeTest, MalformedTextEndsDecodingOrIsReplacedOverItsMaximalSubpart) {
  for (auto const& m : malformed) {
    SCOPED_TRACE(m.what);
    std::string const text = "a\xC3\xA9" + m.bytes + "z";
    EXPECT_THROW_MSG(u8_string_to_u32_string(m.bytes), std::runtime_error,
                     "Invalid UTF-8 sequence");
    std::u32string out = U"stale";
    EXPECT_THROW_MSG(u8_string_to_u32_string(text, out), std::runtime_error,
                     "Invalid UTF-8 sequence");
    EXPECT_EQ(out, U"a\xE9");
    EXPECT_EQ(lazily(m.bytes), U"");
    EXPECT_EQ(lazily(text), U"a\xE9");
    EXPECT_EQ(symbols(utf8_to_glyphs(text)), U"a\xE9");
    // The non-throwing decoder.
    EXPECT_EQ(dalk::text::decode(text, out), 3U);
    EXPECT_EQ(out, U"a\xE9");
    dalk::text::Decoded const first = dalk::text::decode_at(m.bytes, 0);
    EXPECT_FALSE(first.well_formed);
    EXPECT_EQ(first.code_point, U'\uFFFD');
    EXPECT_EQ(first.length, m.subpart);
    std::u32string const replaced = dalk::text::decode_replacing(text);
    EXPECT_EQ(replaced.substr(0, 3), U"a\xE9\uFFFD");
    EXPECT_EQ(replaced.back(), U'z');
  }
}

TEST(TranscodeTest, LazyDecodingRunsNothingUntilIterated) {
  std::string const text = "x\xE2\x82\xAC";
  auto sequence = u8_string_to_u32(text);
  auto it = sequence.begin();
  ASSERT_NE(it, sequence.end());
  EXPECT_EQ(*it, U'x');
  ++it;
  EXPECT_EQ(*it, U'\x20AC');
  ++it;
  EXPECT_EQ(it, sequence.end());
  auto empty = u8_string_to_u32("");
  EXPECT_EQ(empty.begin(), empty.end());
}

TEST(TranscodeTest, GlyphsFromUtf8AreTheWellFormedPrefix) {
  EXPECT_EQ(symbols(utf8_to_glyphs("ab\xFF"
                                   "cd")),
            U"ab");
  EXPECT_EQ(symbols(utf8_to_glyphs("h\xC3\xA9\xF0\x9F\x98\x80")), U"h\xE9\x1F600");
  EXPECT_TRUE(utf8_to_glyphs("").empty());
}

TEST(TranscodeTest, GlyphsFromUtf32AreNotValidated) {
  std::u32string const units{0x0, U'x', 0xD800, 0x110000};
  auto const glyphs = utf32_to_glyphs(units);
  EXPECT_EQ(symbols(glyphs), units);
  EXPECT_TRUE(utf32_to_glyphs(U"").empty());
}

TEST(KeyboardCharacterTest, DecodedByIcuWithReplacementForMalformedBytes) {
  using Bytes = std::array<char, 4>;
  auto const u8 = [](unsigned a, unsigned b = 0, unsigned c = 0, unsigned d = 0) {
    return Bytes{static_cast<char>(a), static_cast<char>(b), static_cast<char>(c),
                 static_cast<char>(d)};
  };
  EXPECT_EQ(u8_to_u32(u8(0x61)), U'a');
  EXPECT_EQ(u8_to_u32(u8(0)), U'\0');
  EXPECT_EQ(u8_to_u32(u8(0xC3, 0xA9)), U'\xE9');
  EXPECT_EQ(u8_to_u32(u8(0xE2, 0x82, 0xAC)), U'\x20AC');
  EXPECT_EQ(u8_to_u32(u8(0xF0, 0x9F, 0x98, 0x80)), U'\x1F600');

  EXPECT_EQ(u8_to_u32(u8(0x80)), U'\xFFFD');              // lone continuation
  EXPECT_EQ(u8_to_u32(u8(0xFF)), U'\xFFFD');              // invalid lead byte
  EXPECT_EQ(u8_to_u32(u8(0xE2, 0x41)), U'\xFFFD');        // lead not continued
  EXPECT_EQ(u8_to_u32(u8(0xC0, 0xAF)), U'\xFFFD');        // overlong
  EXPECT_EQ(u8_to_u32(u8(0xED, 0xA0, 0x80)), U'\xFFFD');  // surrogate
  EXPECT_EQ(u8_to_u32(u8(0xF4, 0x90, 0x80, 0x80)), U'\xFFFD');
}
