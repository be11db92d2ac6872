// Grapheme cluster boundaries from ICU's break iterator, one iterator per thread. UTF-8 text is
// read in place; UTF-32 text (which ICU does not read) through a window around the position
// asked about, converted to UTF-16, so that a step costs the same in any length of text.
#pragma once

#include <cstddef>
#include <string_view>

namespace dalk::text::detail {

/// The first cluster boundary after `at` (below text.size()).
std::size_t following_break(std::u32string_view text, std::size_t at);
/// The last cluster boundary before `at` (above 0).
std::size_t preceding_break(std::u32string_view text, std::size_t at);
/// Whether `at` (0 < at < text.size()) is a cluster boundary.
bool is_break(std::u32string_view text, std::size_t at);

/// The same for UTF-8 text, by byte index; malformed bytes read as U+FFFD.
std::size_t following_break(std::string_view text, std::size_t at);
std::size_t preceding_break(std::string_view text, std::size_t at);
bool is_break(std::string_view text, std::size_t at);

}  // namespace dalk::text::detail
