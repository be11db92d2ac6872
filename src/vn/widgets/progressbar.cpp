#include "vn/progressbar.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "vn/draw/text_cells.hpp"
#include "vn/put.hpp"

namespace vn {

ProgressBar::ProgressBar(Options options)
    : Widget{FocusPolicy::None, SizePolicy::flex()},
      label{std::move(options.label)},
      show_percent{options.show_percent},
      bar_brush{options.bar_brush} {
  set_value(options.value);
}

void ProgressBar::set_value(double value) {
  value_ = std::isnan(value) ? 0.0 : std::clamp(value, 0.0, 1.0);
}

void ProgressBar::paint(Canvas canvas) {
  if (canvas.size.width <= 0 || canvas.size.height <= 0) {
    return;
  }
  Canvas row{canvas.buffer,
             {canvas.at.x, canvas.at.y + (canvas.size.height - 1) / 2},
             {canvas.size.width, 1}};
  int left = 0;
  if (!label.empty()) {
    put(row, {0, 0}, label);
    left = std::min(detail::text_cells(label) + 1, row.size.width);
  }
  int right = row.size.width;
  if (show_percent) {
    std::string percent = " ";
    percent += std::to_string(static_cast<int>(std::floor(value_ * 100.0)));
    percent += '%';
    right = std::max(left, row.size.width - static_cast<int>(percent.size()));
    put(row, {right, 0}, percent);
  }
  int const cells = right - left;
  if (cells <= 0) {
    return;
  }
  auto const eighths = static_cast<long long>(std::llround(value_ * cells * 8.0));
  auto const full = static_cast<int>(eighths / 8);
  auto const part = static_cast<int>(eighths % 8);
  for (int x = 0; x < cells; ++x) {
    char32_t symbol = U' ';
    if (x < full) {
      symbol = U'\u2588';
    } else if (x == full && part > 0) {
      // U+258F is one eighth, U+2589 seven.
      symbol = static_cast<char32_t>(0x2590 - part);
    }
    row[{left + x, 0}] = dalk::Glyph{symbol, bar_brush};
  }
}

bool ProgressBar::paint_key(PaintKey& key) const {
  // By its bits, which a double has no others of; 0.0 and -0.0 differ there, costing a paint.
  key.add(std::bit_cast<std::uint64_t>(value_)).add(std::string_view{label}).add(show_percent);
  key.add(bar_brush);
  return true;
}

}  // namespace vn
