#include "vn/core/kept_frame.hpp"

#include <algorithm>
#include <cstddef>
#include <limits>

namespace vn::detail {

void RowSpans::reset(int height) {
  auto const rows = static_cast<std::size_t>(std::max(height, 0));
  begin_.assign(rows, std::numeric_limits<int>::max());
  end_.assign(rows, std::numeric_limits<int>::min());
  // An empty set reads as top >= bottom.
  top_ = 0;
  bottom_ = 0;
  left_ = 0;
  right_ = 0;
}

void RowSpans::add(CellRect rect) {
  if (rect.width <= 0 || rect.height <= 0) {
    return;
  }
  int const first = std::max(rect.y, 0);
  int const last = std::min(rect.y + rect.height, static_cast<int>(begin_.size()));
  if (first >= last) {
    return;
  }
  int const x_end = rect.x + rect.width;
  for (int y = first; y < last; ++y) {
    auto const row = static_cast<std::size_t>(y);
    begin_[row] = std::min(begin_[row], rect.x);
    end_[row] = std::max(end_[row], x_end);
  }
  if (empty()) {
    top_ = first;
    bottom_ = last;
    left_ = rect.x;
    right_ = x_end;
    return;
  }
  top_ = std::min(top_, first);
  bottom_ = std::max(bottom_, last);
  left_ = std::min(left_, rect.x);
  right_ = std::max(right_, x_end);
}

bool RowSpans::intersects(CellRect rect) const {
  if (empty() || rect.width <= 0 || rect.height <= 0) {
    return false;
  }
  int const x_end = rect.x + rect.width;
  int const first = std::max(rect.y, top_);
  int const last = std::min(rect.y + rect.height, bottom_);
  if (first >= last || rect.x >= right_ || x_end <= left_) {
    return false;
  }
  for (int y = first; y < last; ++y) {
    auto const row = static_cast<std::size_t>(y);
    if (rect.x < end_[row] && begin_[row] < x_end) {
      return true;
    }
  }
  return false;
}

}  // namespace vn::detail
