#include "vn/focus.hpp"

namespace vn {

LifetimeView<Widget> Focus::in_focus_{};

void Focus::set(Widget& w) {
  if (in_focus_.valid()) {
    in_focus_.get().focus_out();
  }
  in_focus_ = LifetimeView<Widget>{w};
  w.focus_in();
}

void Focus::clear() {
  if (in_focus_.valid()) {
    in_focus_.get().focus_out();
  }
  in_focus_ = LifetimeView<Widget>{};
}

Widget* Focus::get() {
  return in_focus_.valid() ? &in_focus_.get() : nullptr;
}

}  // namespace vn
