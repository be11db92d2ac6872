#include "support/screen_text.hpp"

#include <utility>

#include <dalk/sequence.hpp>

namespace vennic::test {

std::vector<std::string> screen_rows(vn::ScreenBuffer const& buffer, dalk::Point at,
                                     dalk::Area size) {
  std::vector<std::string> rows;
  for (int y = at.y; y < at.y + size.height; ++y) {
    std::string row;
    for (int x = at.x; x < at.x + size.width; ++x) {
      row += dalk::detail::u32_to_u8(buffer[{x, y}].symbol);
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

std::vector<std::string> screen_rows(vn::ScreenBuffer const& buffer) {
  return screen_rows(buffer, {0, 0}, buffer.area);
}

}  // namespace vennic::test
