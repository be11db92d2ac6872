// Moving a selection through rows by key, shared by every widget that selects among rows.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "dalk/width.hpp"

#include "dalk/io.hpp"
#include "dalk/transcode.hpp"
#include "vn/put.hpp"

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

/// `text` as drawn in `cells` cells: its well-formed prefix, composed, cut with "…" when it
/// is wider.
inline void fit_text(std::string_view text, int cells, std::u32string& out) {
  out.clear();
  if (cells <= 0) {
    return;
  }
  for (char32_t const code_point : dalk::detail::u8_string_to_u32(text)) {
    out.push_back(code_point);
  }
  out = drawable_text(std::move(out));
  if (dalk::width(out) > static_cast<std::size_t>(std::max(cells, 0))) {
    cut_to_cells(out, cells - 1);
    out.push_back(U'…');
  }
}

}  // namespace vn::detail
