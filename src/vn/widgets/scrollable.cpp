// The text box's side of the scrolling interface: thin mappings onto its own scroll members,
// kept apart from its editing and layout.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>

#include "vn/textbox.hpp"

namespace vn {

ScrollState TextBox::scroll_state() const {
  return {scroll_offset, size.height, get_scroll_length()};
}

void TextBox::scroll_to(std::int64_t position) {
  set_scroll_offset(static_cast<int>(std::clamp<std::int64_t>(
      position, std::numeric_limits<int>::min(), std::numeric_limits<int>::max())));
}

nerv::Identifier TextBox::on_scroll(std::function<void(ScrollState)> f) {
  // Tracked, so that the slot reads the height of the box's current object after a move.
  return scrolled.connect(tracked(
      [f = std::move(f)](TextBox& box, int offset, int lines) {
        f(ScrollState{offset, box.size.height, lines});
      },
      *this));
}

}  // namespace vn
