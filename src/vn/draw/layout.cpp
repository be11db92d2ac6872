#include "vn/layout.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "vn/label.hpp"

namespace vn {

// The library's own instantiations: the data table's heading row, and the distribution over
// the generator that get_children() returns.
template class detail::Line<detail::Axis::Horizontal, std::vector<Label>>;
template class Row<std::vector<Label>>;
template std::vector<int> detail::distribute_length(lum::Generator<Widget&>&& children, int total);

namespace {

// f truncated toward zero, saturated to the int range (NaN gives 0).
int truncate_to_int(float f) {
  if (!(f == f)) {
    return 0;
  }
  if (f >= 2147483648.0F) {
    return std::numeric_limits<int>::max();
  }
  if (f <= -2147483648.0F) {
    return std::numeric_limits<int>::min();
  }
  return static_cast<int>(f);
}

// Moves `cells` cells one at a time, first to last, into (step +1) or out of (step -1) the
// lengths whose room(i) is positive, pass after pass, until none are left or no length has
// room. Whole passes are taken at once: as many as every length with room allows and as leave
// at least one cell per such length, which gives the same lengths as cell by cell.
template <typename Room>
void step_lengths(std::vector<int>& lengths, std::int64_t cells, int step, Room const& room) {
  std::size_t const count = lengths.size();
  while (cells > 0) {
    std::int64_t movers = 0;
    std::int64_t least = std::numeric_limits<std::int64_t>::max();
    for (std::size_t i = 0; i < count; ++i) {
      if (std::int64_t const r = room(i); r > 0) {
        ++movers;
        least = std::min(least, r);
      }
    }
    if (movers == 0) {
      break;
    }
    std::int64_t const passes = std::min(least, cells / movers);
    for (std::size_t i = 0; i < count; ++i) {
      if (room(i) > 0) {
        if (passes > 0) {
          lengths[i] += step * static_cast<int>(passes);
        } else if (cells > 0) {
          lengths[i] += step;
          --cells;
        }
      }
    }
    cells -= passes * movers;
  }
}

}  // namespace

namespace detail {

std::vector<int> distribute_length(std::vector<SizePolicy> const& policies, int total) {
  std::size_t const count = policies.size();
  if (total <= 0) {
    return std::vector<int>(count, 0);
  }

  std::vector<float> lengths(count);
  std::vector<int> result(count);
  // Sums are kept in 64 bits: minimums near the int limit must not overflow them.
  std::int64_t sum = 0;
  for (std::size_t i = 0; i < count; ++i) {
    lengths[i] = static_cast<float>(policies[i].minimum);
    result[i] = policies[i].minimum;
    sum += result[i];
  }

  if (sum < total) {
    // Single precision throughout, in this order: the lengths must come out the same on every
    // machine, down to which child a rounding cell goes to.
    float remaining = static_cast<float>(total - sum);
    while (remaining > 0.0F && count > 0) {
      float flexibility = 0.0F;
      for (std::size_t i = 0; i < count; ++i) {
        if (lengths[i] < static_cast<float>(policies[i].maximum)) {
          flexibility += policies[i].flexibility;
        }
      }
      if (flexibility == 0.0F) {
        break;
      }
      float grown = 0.0F;
      for (std::size_t i = 0; i < count; ++i) {
        float const maximum = static_cast<float>(policies[i].maximum);
        if (lengths[i] < maximum) {
          float const share = policies[i].flexibility / flexibility * remaining;
          float const growth = std::min(share, maximum - lengths[i]);
          lengths[i] += growth;
          grown += growth;
        }
      }
      remaining -= grown;
      if (grown == 0.0F) {
        break;
      }
    }

    sum = 0;
    for (std::size_t i = 0; i < count; ++i) {
      result[i] = truncate_to_int(lengths[i]);
      sum += result[i];
    }

    // Cells lost to truncation go to the children below their maximum.
    step_lengths(result, total - sum, +1,
                 [&](std::size_t i) { return std::int64_t{policies[i].maximum} - result[i]; });
  } else if (sum > total) {
    // The minimums do not fit: a cell from each child with cells, stopping as soon as the
    // lengths fit.
    step_lengths(result, sum - total, -1, [&](std::size_t i) { return std::int64_t{result[i]}; });
  }
  return result;
}

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
