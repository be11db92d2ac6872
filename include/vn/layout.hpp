// Layout: splitting a length among widgets by their size policies, and the horizontal row that
// places its children side by side with the lengths it gets. The distribution knows nothing of
// direction. Header only; the library instantiates Row for std::vector<Label>.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <ranges>
#include <utility>
#include <vector>

#include "lum/generator.hpp"
#include "vn/widget.hpp"

namespace vn {

namespace detail {

/// f truncated toward zero, saturated to the int range (NaN gives 0).
inline int truncate_to_int(float f) {
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

/// Splits `total` cells among the active children of the range, in order, one length per
/// active child (inactive ones get no entry). Every child starts at its minimum. Space beyond
/// the minimums is shared by flexibility, never beyond a child's maximum, and the cells lost
/// to rounding go one at a time to the first children with room; the lengths then sum to
/// `total` unless the maximums stop them short. If the minimums do not fit, the first children
/// give up one cell each in turn, possibly below their minimum. A `total` of 0 (or, outside
/// the contract, a negative one) gives all zeros.
template <InputRangeOf<Widget> R>
std::vector<int> distribute_length(R&& children, int total) {
  std::vector<SizePolicy> policies;
  for (Widget& child : children) {
    if (child.active) {
      policies.push_back(child.size_policy);
    }
  }
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

    // Cells lost to truncation go one at a time, first to last, to the children below their
    // maximum, pass after pass. Whole passes are taken at once: as many as every taker has
    // room for and as leave at least one cell per taker, which gives the same lengths.
    std::int64_t leftover = total - sum;
    while (leftover > 0) {
      std::int64_t takers = 0;
      std::int64_t room = std::numeric_limits<std::int64_t>::max();
      for (std::size_t i = 0; i < count; ++i) {
        if (result[i] < policies[i].maximum) {
          ++takers;
          room = std::min<std::int64_t>(room, std::int64_t{policies[i].maximum} - result[i]);
        }
      }
      if (takers == 0) {
        break;
      }
      std::int64_t const passes = std::min(room, leftover / takers);
      for (std::size_t i = 0; i < count; ++i) {
        if (result[i] < policies[i].maximum) {
          if (passes > 0) {
            result[i] += static_cast<int>(passes);
          } else if (leftover > 0) {
            ++result[i];
            --leftover;
          }
        }
      }
      leftover -= passes * takers;
    }
  } else if (sum > total) {
    // The minimums do not fit: one cell from each child with cells, first to last, stopping
    // as soon as the lengths fit. Whole passes are taken at once, as above.
    std::int64_t excess = sum - total;
    while (excess > 0) {
      std::int64_t givers = 0;
      std::int64_t least = std::numeric_limits<std::int64_t>::max();
      for (std::size_t i = 0; i < count; ++i) {
        if (result[i] > 0) {
          ++givers;
          least = std::min<std::int64_t>(least, result[i]);
        }
      }
      if (givers == 0) {
        break;
      }
      std::int64_t const passes = std::min(least, excess / givers);
      for (std::size_t i = 0; i < count; ++i) {
        if (result[i] > 0) {
          if (passes > 0) {
            result[i] -= static_cast<int>(passes);
          } else if (excess > 0) {
            --result[i];
            --excess;
          }
        }
      }
      excess -= passes * givers;
    }
  }
  return result;
}

}  // namespace detail

/// Lays its active children out side by side from its left edge, each as high as the row and
/// as wide as distribute_length gives it; space they do not take stays empty at the right.
/// Inactive children get neither a length nor a position. Paints nothing itself.
template <typename Container>
requires WidgetDerived<std::ranges::range_value_t<Container>>
class Row : public Widget {
 public:
  /// `focus` and `policy` are the row's own; `elements` are its children, left to right.
  explicit Row(FocusPolicy focus = FocusPolicy::None, SizePolicy policy = SizePolicy::flex(1.0F),
               Container elements = {})
      : Widget{focus, policy}, children{std::move(elements)} {}
  explicit Row(Container elements, FocusPolicy focus = FocusPolicy::None,
               SizePolicy policy = SizePolicy::flex(1.0F))
      : Widget{focus, policy}, children{std::move(elements)} {}

  /// Ignores `previous`: the layout works from the row's current size.
  void resize(Area /*previous*/) override {
    std::vector<int> const lengths = detail::distribute_length(get_children(), size.width);
    std::size_t i = 0;
    int x = 0;
    for (Widget& child : get_children()) {
      if (!filter::is_active(child)) {
        continue;
      }
      // A child's resize could change which siblings are active; never read past the lengths.
      if (i >= lengths.size()) {
        break;
      }
      child.at = {x, 0};
      Area const previous = child.size;
      child.size = {lengths[i], size.height};
      child.resize(previous);
      x += lengths[i];
      ++i;
    }
  }

  /// Each element of children, in order.
  lum::Generator<Widget&> get_children() override {
    for (auto& child : children) {
      co_yield static_cast<Widget&>(child);
    }
  }
  lum::Generator<Widget const&> get_children() const override {
    for (auto const& child : children) {
      co_yield static_cast<Widget const&>(child);
    }
  }

  /// Left to right.
  Container children;
};

}  // namespace vn
