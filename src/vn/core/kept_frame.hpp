// What a paint that keeps cells remembers of the frame before: each widget it painted, in
// order, with its rectangle and key; and the region a frame must paint again.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "dalk/cluster.hpp"
#include "dalk/sequence.hpp"
#include "vn/widget.hpp"

namespace vn::detail {

/// A rectangle of cells, inside the grid.
struct CellRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  friend bool operator==(CellRect, CellRect) = default;
};

/// A set of cells, kept as one span of columns per row: it may hold more cells than were added
/// (the columns between two spans of a row), never fewer.
class RowSpans {
 public:
  /// Empty, for a grid of `height` rows.
  void reset(int height);
  void add(CellRect rect);
  bool intersects(CellRect rect) const;
  bool empty() const { return top_ >= bottom_; }
  /// Rows [top(), bottom()) hold every span.
  int top() const { return top_; }
  int bottom() const { return bottom_; }
  /// The span of row y: columns [begin, end), empty where begin >= end.
  int begin(int y) const { return begin_[static_cast<std::size_t>(y)]; }
  int end(int y) const { return end_[static_cast<std::size_t>(y)]; }

 private:
  std::vector<int> begin_;
  std::vector<int> end_;
  int top_ = 0;
  int bottom_ = 0;
  // Columns of every span, for a quick miss.
  int left_ = 0;
  int right_ = 0;
};

/// One widget as a paint found it, or an overlay's blanked rectangle.
struct PaintedWidget {
  Widget* widget = nullptr;
  CellRect rect;
  /// The key's bytes in the frame's `keys`; meaningless without `keyed`.
  std::uint32_t key_begin = 0;
  std::uint32_t key_end = 0;
  bool keyed = false;
  bool focused = false;
  bool clears = false;
  /// Painted exactly as in the frame before.
  bool same = false;
};

/// The widgets of one frame in paint order, and their keys.
struct FrameRecord {
  std::vector<PaintedWidget> widgets;
  std::string keys;

  void clear() {
    widgets.clear();
    keys.clear();
  }
  std::string_view key(PaintedWidget const& w) const {
    return std::string_view{keys}.substr(w.key_begin, w.key_end - w.key_begin);
  }
};

/// Whether `now` paints as `before` did.
inline bool paints_alike(FrameRecord const& before_frame, PaintedWidget const& before,
                         FrameRecord const& now_frame, PaintedWidget const& now) {
  return before.widget == now.widget && before.rect == now.rect && before.clears == now.clears &&
         before.focused == now.focused && before.keyed && now.keyed &&
         before_frame.key(before) == now_frame.key(now);
}

/// What a dispatcher that keeps cells knows of the grid it painted last.
struct KeptFrame {
  /// The grid, its generation after that paint, the clusters' release count and the width
  /// model then: the cells are good while none changed.
  void const* grid = nullptr;
  std::uint64_t generation = 0;
  std::uint64_t cluster_releases = 0;
  dalk::text::WidthModel widths{};
  dalk::Area area{};
  bool valid = false;
  FrameRecord before;
  FrameRecord now;
  RowSpans region;
};

}  // namespace vn::detail
