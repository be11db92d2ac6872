// Moving a selection through rows by key, shared by every widget that selects among rows.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>

#include "dalk/io.hpp"

namespace vn::detail {

/// Where Up, Down, PageUp, PageDown, Home or End (also the console's navigation block) take
/// the selection `current` among `count` rows (count > 0) with `page` rows on screen; empty
/// for any other key. With `wrap`, Up on the first row goes to the last and Down on the last
/// to the first.
inline std::optional<std::uint64_t> navigate(dalk::Key key, std::uint64_t current,
                                             std::uint64_t count, std::uint64_t page,
                                             bool wrap = false) {
  std::uint64_t const last = count - 1;
  std::uint64_t const step = std::max<std::uint64_t>(page, 1);
  current = std::min(current, last);
  switch (key) {
    case dalk::Key::ArrowUp:
    case dalk::Key::ExtendedArrowUp:
      return current > 0 ? current - 1 : (wrap ? last : 0);
    case dalk::Key::ArrowDown:
    case dalk::Key::ExtendedArrowDown:
      return current < last ? current + 1 : (wrap ? 0 : last);
    case dalk::Key::PageUp:
    case dalk::Key::ExtendedPageUp:
      return current - std::min(current, step);
    case dalk::Key::PageDown:
    case dalk::Key::ExtendedPageDown:
      return last - current < step ? last : current + step;
    case dalk::Key::Home:
    case dalk::Key::ExtendedHome:
      return 0;
    case dalk::Key::End:
    case dalk::Key::ExtendedEnd:
      return last;
    default:
      return std::nullopt;
  }
}

inline bool is_enter(dalk::Key key) {
  return key == dalk::Key::Enter || key == dalk::Key::KeypadEnter;
}

/// The first row shown so that `selected` is visible, moving `top` as little as possible.
inline std::uint64_t scroll_into_view(std::uint64_t top, std::uint64_t selected,
                                      std::uint64_t page) {
  page = std::max<std::uint64_t>(page, 1);
  if (selected < top) {
    return selected;
  }
  if (selected - top >= page) {
    return selected - page + 1;
  }
  return top;
}

}  // namespace vn::detail
