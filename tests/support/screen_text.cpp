#include "support/screen_text.hpp"

#include <utility>

#include <dalk/sequence.hpp>
#include <dalk/transcode.hpp>
#include <dalk/width.hpp>

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

std::string shown_row(vn::testing::Harness const& screen, int y) {
  std::u32string row;
  for (int x = 0; x < screen.size().width; ++x) {
    char32_t const c = screen.cell({x, y}).symbol;
    row.push_back(c);
    if (dalk::width(c) == 2) {
      ++x;
    }
  }
  return dalk::detail::u32_to_u8(row);
}

}  // namespace vennic::test
