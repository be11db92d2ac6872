#include "vn/selectable.hpp"

#include <algorithm>

#include "vn/widgets/navigation.hpp"

namespace vn {

void Selectable::select_by_user(std::size_t index) {
  std::optional<std::size_t> const before = selection();
  select(index);
  if (std::optional<std::size_t> const after = selection(); after && after != before) {
    selection_changed.emit(*after);
  }
}

bool Selectable::navigate_by_user(dalk::Key key, Rows rows) {
  if (rows.count == 0) {
    return false;
  }
  std::optional<std::size_t> const current = selection();
  std::size_t const from = current.value_or(std::min(rows.first_shown, rows.count - 1));
  auto const target = detail::navigate(key, from, rows.count, rows.page, rows.wrap);
  if (!target) {
    return false;
  }
  // Without a selection, Home and End go where they always go; the other keys pick the first
  // row shown rather than moving away from it.
  bool const to_an_end = key == dalk::Key::Home || key == dalk::Key::End ||
                         key == dalk::Key::ExtendedHome || key == dalk::Key::ExtendedEnd;
  select_by_user(current || to_an_end ? static_cast<std::size_t>(*target) : from);
  return true;
}

}  // namespace vn
