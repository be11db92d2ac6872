#include "vn/dialog.hpp"

#include <algorithm>
#include <utility>

namespace vn {

Dialog::Dialog(Options options, Widget& content)
    : Overlay{FocusPolicy::None, SizePolicy::flex()},
      title{std::move(options.title)},
      wanted_size{options.size},
      position{options.at},
      border{std::move(options.border)},
      close_on_escape{options.close_on_escape},
      content_{content} {}

Area Dialog::preferred_size(Area) const {
  return wanted_size;
}

Point Dialog::preferred_position(Area screen, Area size) const {
  return position ? *position : Overlay::preferred_position(screen, size);
}

bool Dialog::intercept_key(dalk::Key key) {
  return close_on_escape && Overlay::intercept_key(key);
}

void Dialog::resize(Area) {
  if (!content_.valid()) {
    return;
  }
  Widget& inner = content_.get();
  Area const previous = inner.size;
  inner.at = {1, 1};
  inner.size = {std::max(size.width - 2, 0), std::max(size.height - 2, 0)};
  inner.resize(previous);
}

void Dialog::paint(Canvas canvas) {
  border.label.text = title;
  detail::paint_border(canvas, border);
}

bool Dialog::paint_key(PaintKey& key) const {
  detail::add_border_key(key, border, title);
  return true;
}

lum::Generator<Widget&> Dialog::get_children() {
  if (content_.valid()) {
    co_yield content_.get();
  }
}

lum::Generator<Widget const&> Dialog::get_children() const {
  if (content_.valid()) {
    co_yield content_.get();
  }
}

void Dialog::closing() {
  closed.emit();
}

}  // namespace vn
