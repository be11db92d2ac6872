// Conversions between the three forms of text: UTF-8 strings (what applications hand in and the
// terminal receives), UTF-32 strings (what editing widgets change) and glyph vectors (what is
// drawn, one cell per code point). Decoding accepts only well-formed UTF-8.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "dalk/sequence.hpp"
#include "dalk/width.hpp"
#include "lum/generator.hpp"

namespace dalk::detail {

/// The UTF-8 encodings of the code points of s, in order.
std::string u32_to_u8(std::u32string_view s);
/// Replaces the contents of out with the UTF-8 encodings of the code points of s.
void u32_to_u8(std::u32string_view s, std::string& out);

/// The first code point of a keyboard character (lead byte, its continuation bytes, zeros
/// after them), decoded by ICU: U+FFFD for malformed bytes.
char32_t u8_to_u32(std::array<char, 4> bytes);

/// The code points of s, decoded lazily; the sequence ends at the first malformed character.
/// The bytes behind s must outlive the iteration.
lum::Generator<char32_t> u8_string_to_u32(std::string_view s);

/// The code points of s. Throws std::runtime_error "Invalid UTF-8 sequence" at the first
/// malformed character.
std::u32string u8_string_to_u32_string(std::string_view s);
/// Replaces the contents of out with the code points of s; on malformed input throws
/// std::runtime_error "Invalid UTF-8 sequence" and leaves the decoded prefix in out.
void u8_string_to_u32_string(std::string_view s, std::u32string& out);

/// s with every malformed sequence replaced by U+FFFD (ICU's replacement rules), so the result
/// is well-formed UTF-8; well-formed input comes back unchanged. s must be shorter than 2 GiB.
std::string to_well_formed_u8(std::string_view s);

/// One glyph with the default brush per code unit of s, unvalidated.
std::vector<Glyph> utf32_to_glyphs(std::u32string_view s);
/// One glyph with the default brush per code point of the well-formed prefix of s.
std::vector<Glyph> utf8_to_glyphs(std::string_view s);

}  // namespace dalk::detail
