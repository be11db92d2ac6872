// How many cells a UTF-8 label takes when put() draws it; shared by the widgets that size
// themselves or hit-test by their labels.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "dalk/transcode.hpp"
#include "vn/put.hpp"

namespace vn::detail {

/// Cells of `text` as put() lays it out; malformed text counts up to its first malformed
/// character, as it is drawn.
inline int text_cells(std::string_view text) {
  std::u32string code_points;
  try {
    dalk::detail::u8_string_to_u32_string(text, code_points);
  } catch (std::runtime_error const&) {
    // The well-formed prefix is what gets drawn.
  }
  int cells = 0;
  for (char32_t const c : drawable_text(std::move(code_points))) {
    cells += cell_width(c);
  }
  return cells;
}

}  // namespace vn::detail
