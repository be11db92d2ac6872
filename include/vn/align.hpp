// Horizontal alignment of a run of cells inside a wider (or narrower) space. Labels, buttons
// and the text box place their text with it.
#pragma once

#include <cstdint>

namespace vn {

/// Where a text sits in its space.
enum class Align : std::uint8_t { Left = 0, Center = 1, Right = 2 };

/// The column, relative to the start of a space `width` cells wide, at which a text of
/// `length` cells begins: 0 for Left, (width - length) / 2 truncated toward zero for Center
/// (the odd cell falls on the right), width - length for Right, 0 for any other value. Not
/// clamped: a text longer than the space gives a negative offset for Center and Right.
int find_align_offset(Align align, int width, int length);

}  // namespace vn
