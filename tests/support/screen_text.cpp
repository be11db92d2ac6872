#include "support/screen_text.hpp"

#include <algorithm>
#include <utility>

#include <dalk/sequence.hpp>
#include <dalk/text.hpp>
#include <dalk/transcode.hpp>

namespace vennic::test {

std::vector<std::string> screen_rows(vn::ScreenBuffer const& buffer, dalk::Point at,
                                     dalk::Area size) {
  std::vector<std::string> rows;
  for (int y = at.y; y < at.y + size.height; ++y) {
    std::string row;
    for (int x = at.x; x < at.x + size.width; ++x) {
      row += dalk::detail::u32_to_u8(dalk::text::code_points(buffer[{x, y}].symbol));
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

std::vector<std::string> screen_rows(vn::ScreenBuffer const& buffer) {
  return screen_rows(buffer, {0, 0}, buffer.area);
}

std::string shown_row(vn::testing::Harness const& screen, int y) {
  std::u32string row;
  for (int x = 0; x < screen.size().width; ++x) {
    char32_t const c = screen.cell({x, y}).symbol;
    dalk::text::append_code_points(c, row);
    x += std::max(dalk::text::cells(c) - 1, 0);
  }
  return dalk::detail::u32_to_u8(row);
}

}  // namespace vennic::test
