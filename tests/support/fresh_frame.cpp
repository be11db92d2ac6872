#include "support/fresh_frame.hpp"

#include <algorithm>
#include <cstdint>
#include <vector>

#include <vn/overlay.hpp>
#include <vn/put.hpp>

namespace vennic::test {

FreshFrame fresh_frame(vn::Widget& head, dalk::Area area) {
  FreshFrame frame{vn::ScreenBuffer{area}, std::nullopt};
  frame.cursor = vn::detail::paint_tree(head, vn::Canvas{frame.grid, {0, 0}, area});
  std::vector<vn::Overlay*> const overlays = vn::detail::open_overlays();
  if (!overlays.empty()) {
    frame.cursor.reset();
  }
  for (vn::Overlay* open : overlays) {
    open->place(head.size);
    int const right = std::min(open->at.x + open->size.width, area.width);
    int const bottom = std::min(open->at.y + open->size.height, area.height);
    if (open->at.x >= 0 && open->at.y >= 0 && open->at.x < area.width && open->at.y < area.height) {
      vn::clear(vn::Canvas{frame.grid, open->at, {right - open->at.x, bottom - open->at.y}});
    }
    if (auto at = vn::detail::paint_tree(*open, vn::Canvas{frame.grid, open->at, open->size})) {
      frame.cursor = at;
    }
  }
  return frame;
}

std::string first_difference(vn::ScreenBuffer const& kept, vn::ScreenBuffer const& fresh) {
  for (int y = 0; y < kept.area.height; ++y) {
    for (int x = 0; x < kept.area.width; ++x) {
      dalk::Glyph const& a = kept[{x, y}];
      dalk::Glyph const& b = fresh[{x, y}];
      if (a != b) {
        return "cell (" + std::to_string(x) + ", " + std::to_string(y) + "): kept U+" +
               std::to_string(static_cast<std::uint32_t>(a.symbol)) + ", fresh U+" +
               std::to_string(static_cast<std::uint32_t>(b.symbol)) +
               (a.brush == b.brush ? ", same brush" : ", other brushes");
      }
    }
  }
  return "no difference";
}

}  // namespace vennic::test
