// How many cells a UTF-8 label takes when put() draws it; shared by the widgets that size
// themselves or hit-test by their labels.
#pragma once

#include <string_view>

#include "dalk/text.hpp"

namespace vn::detail {

/// dalk::text::cells(text): malformed text counts up to its first malformed character, as it
/// is drawn.
inline int text_cells(std::string_view text) {
  return dalk::text::cells(text);
}

}  // namespace vn::detail
