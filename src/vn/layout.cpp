#include "vn/layout.hpp"

#include <vector>

#include "vn/label.hpp"

namespace vn {

// The library's own instantiations: the data table's heading row, and the distribution over
// the generator that get_children() returns.
template class detail::LineBase<std::vector<Label>>;
template class Row<std::vector<Label>>;
template std::vector<int> detail::distribute_length(lum::Generator<Widget&>&& children, int total);

namespace detail {

void lay_out_line(Widget& layout, Axis axis) {
  bool const horizontal = axis == Axis::Horizontal;
  int const total = horizontal ? layout.size.width : layout.size.height;
  std::vector<int> const lengths = distribute_length(layout.get_children(), total);
  std::size_t i = 0;
  int offset = 0;
  for (Widget& child : layout.get_children()) {
    if (!filter::is_active(child)) {
      continue;
    }
    // A child's resize could change which siblings are active; never read past the lengths.
    if (i >= lengths.size()) {
      break;
    }
    Area const previous = child.size;
    if (horizontal) {
      child.at = {offset, 0};
      child.size = {lengths[i], layout.size.height};
    } else {
      child.at = {0, offset};
      child.size = {layout.size.width, lengths[i]};
    }
    child.resize(previous);
    offset += lengths[i];
    ++i;
  }
}

}  // namespace detail

}  // namespace vn
