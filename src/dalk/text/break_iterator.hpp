// Grapheme cluster boundaries from ICU's break iterator, one iterator per thread. UTF-8 text is
// read in place; UTF-32 text (which ICU does not read) through a window around the position
// asked about, converted to UTF-16, so that a step costs the same in any length of text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace dalk::text::detail {

/// Code points read on either side of the position asked about: more than any cluster worth
/// drawing holds, so a cluster longer than this is split, and never unboundedly.
inline constexpr std::size_t break_window = 64;

/// The first cluster boundary after `at` (below text.size()).
std::size_t following_break(std::u32string_view text, std::size_t at);
/// The last cluster boundary before `at` (above 0).
std::size_t preceding_break(std::u32string_view text, std::size_t at);
/// Whether `at` (0 < at < text.size()) is a cluster boundary.
bool is_break(std::u32string_view text, std::size_t at);

/// following_break(text, at) for `at` known to start a cluster: nothing before it is read.
std::size_t following_break_from_boundary(std::u32string_view text, std::size_t at);

/// drawable(text) once composed: each cluster of `text` replaced by its symbol, and what takes
/// no cell dropped. Returns the cells the symbols take.
std::size_t lay_out_in_place(std::u32string& text);

/// The same for UTF-8 text, by byte index; malformed bytes read as U+FFFD.
std::size_t following_break(std::string_view text, std::size_t at);
std::size_t preceding_break(std::string_view text, std::size_t at);
bool is_break(std::string_view text, std::size_t at);

}  // namespace dalk::text::detail
