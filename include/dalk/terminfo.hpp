// What kind of terminal this is, judged from TERM and COLORTERM as they were when the library
// was loaded. Nothing in the library adapts its output to these answers; applications may.
#pragma once

#include <cstdint>
#include <string_view>

namespace dalk {

/// TERM as it was at load time; empty if it was not set.
std::string_view TERM_var();

/// Palette size (8, 16, 88 or 256) of the terminal named by TERM. Throws std::runtime_error
/// "find_terminfo(): term_name not found." when TERM is empty or unknown.
std::uint16_t color_palette_size();

/// True when COLORTERM is "truecolor" or "24bit", or TERM is "xterm-256color" or
/// "st-256color".
bool has_true_color();

namespace detail {

/// Palette size of the terminal named term, or 0 when the name is unknown.
std::uint16_t palette_size_of(std::string_view term);

/// has_true_color() for the given TERM and COLORTERM values.
bool has_true_color(std::string_view term, std::string_view colorterm);

}  // namespace detail

}  // namespace dalk
