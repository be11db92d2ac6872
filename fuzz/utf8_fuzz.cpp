// UTF-8 decoding and encoding on arbitrary bytes. The strict decoders must agree with ICU on
// what is well-formed and on the code points; well-formed text must survive a round trip; the
// lazy and glyph forms must yield the well-formed prefix; the keyboard decoder must give the
// announced character or U+FFFD. The bytes, read as UTF-32, check the encoder the other way.
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <dalk/dalk.hpp>

namespace {

void require(bool condition) {
  if (!condition) {
    std::abort();
  }
}

// ICU's verdict: the code points of s, or nothing when s is not well-formed UTF-8.
// u_strFromUTF8 reports U_INVALID_CHAR_FOUND for any ill-formed sequence (a U+FFFD in the
// input itself is well-formed and passes).
bool icu_decode(std::string_view s, std::u32string& out) {
  out.clear();
  UErrorCode error = U_ZERO_ERROR;
  int32_t length = 0;
  u_strFromUTF8(nullptr, 0, &length, s.data(), static_cast<int32_t>(s.size()), &error);
  if (error == U_INVALID_CHAR_FOUND) {
    return false;
  }
  std::vector<UChar> units(static_cast<std::size_t>(length) + 1);
  error = U_ZERO_ERROR;
  u_strFromUTF8(units.data(), static_cast<int32_t>(units.size()), &length, s.data(),
                static_cast<int32_t>(s.size()), &error);
  if (error == U_INVALID_CHAR_FOUND) {
    return false;
  }
  require(U_SUCCESS(error));
  for (int32_t i = 0; i < length;) {
    UChar32 c = 0;
    U16_NEXT(units.data(), i, length, c);
    out += static_cast<char32_t>(c);
  }
  return true;
}

bool is_scalar_value(char32_t c) {
  return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
}

void check_decoders(std::string_view s) {
  std::u32string expected;
  bool const well_formed = icu_decode(s, expected);

  std::u32string eager;
  bool eager_ok = true;
  try {
    dalk::detail::u8_string_to_u32_string(s, eager);
  } catch (std::runtime_error const&) {
    eager_ok = false;
  }
  require(eager_ok == well_formed);
  if (well_formed) {
    require(eager == expected);
    require(dalk::detail::u32_to_u8(eager) == s);
  } else {
    // The prefix left behind is well-formed and is a prefix of the input.
    std::string const prefix = dalk::detail::u32_to_u8(eager);
    require(prefix.size() < s.size());
    require(s.substr(0, prefix.size()) == prefix);
    std::u32string again;
    require(icu_decode(prefix, again) && again == eager);
  }

  // The lazy form yields the same code points and quietly ends at the first malformed
  // character.
  std::u32string lazy;
  for (char32_t c : dalk::detail::u8_string_to_u32(s)) {
    lazy += c;
  }
  require(lazy == eager);

  auto const glyphs = dalk::detail::utf8_to_glyphs(s);
  require(glyphs.size() == eager.size());
  for (std::size_t i = 0; i < glyphs.size(); ++i) {
    require(glyphs[i].symbol == eager[i] && glyphs[i].brush == dalk::Brush{});
  }
}

// The keyboard form: a lead byte, the continuation bytes it announces, zeros after them.
void check_keyboard_character(std::string_view s) {
  if (s.empty()) {
    return;
  }
  auto const lead = static_cast<unsigned char>(s[0]);
  std::size_t const more = (lead >= 0xC0) + (lead >= 0xE0) + (lead >= 0xF0);
  std::array<char, 4> bytes{};
  for (std::size_t i = 0; i <= more && i < s.size(); ++i) {
    bytes[i] = s[i];
  }
  char32_t const decoded = dalk::detail::u8_to_u32(bytes);
  std::u32string strict;
  std::string_view const character{bytes.data(), more + 1};
  if (icu_decode(character, strict) && strict.size() == 1) {
    require(decoded == strict[0]);
  } else {
    require(decoded == U'\uFFFD');
  }
}

// Code points from the raw bytes: every scalar value survives encoding and decoding, and the
// encoding of any value is 1 to 4 bytes.
void check_encoder(std::string_view s) {
  std::u32string values;
  for (std::size_t i = 0; i + 4 <= s.size(); i += 4) {
    char32_t c = 0;
    std::memcpy(&c, s.data() + i, 4);
    values += c;
  }
  for (char32_t c : values) {
    std::string const bytes = dalk::detail::u32_to_u8(c);
    require(!bytes.empty() && bytes.size() <= 4);
    std::u32string back;
    bool const ok = icu_decode(bytes, back);
    if (is_scalar_value(c)) {
      require(ok && back == std::u32string(1, c));
    }
  }
  std::u32string scalars;
  for (char32_t c : values) {
    if (is_scalar_value(c)) {
      scalars += c;
    }
  }
  std::string const encoded = dalk::detail::u32_to_u8(scalars);
  require(dalk::detail::u8_string_to_u32_string(encoded) == scalars);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
  std::string_view const s{reinterpret_cast<char const*>(data), size};
  check_decoders(s);
  check_keyboard_character(s);
  check_encoder(s);
  return 0;
}
