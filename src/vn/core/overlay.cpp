#include "vn/overlay.hpp"

#include <algorithm>
#include <vector>

#include "vn/focus.hpp"

namespace vn {
namespace {

std::vector<LifetimeView<Overlay>>& stack() {
  static std::vector<LifetimeView<Overlay>> overlays;
  return overlays;
}

void drop_expired() {
  std::erase_if(stack(), [](LifetimeView<Overlay> const& view) { return !view.valid(); });
}

void remove(Overlay const& overlay) {
  std::erase_if(stack(), [&](LifetimeView<Overlay> const& view) {
    return !view.valid() || &view.get() == &overlay;
  });
}

}  // namespace

Overlay::Overlay(FocusPolicy focus, SizePolicy sizing) : Widget{focus, sizing} {}

Overlay::~Overlay() {
  if (is_open()) {
    give_focus_back();
  }
}

void Overlay::give_focus_back() {
  remove(*this);
  if (previous_focus_.valid()) {
    Focus::set(previous_focus_.get());
  } else {
    Focus::clear();
  }
  previous_focus_ = {};
}

void Overlay::open() {
  bool const was_open = is_open();
  remove(*this);
  stack().emplace_back(*this);
  if (was_open) {
    return;
  }
  Widget* const focused = Focus::get();
  previous_focus_ = focused != nullptr ? LifetimeView<Widget>{*focused} : LifetimeView<Widget>{};
  detail::focus_first_widget(*this);
}

void Overlay::close() {
  if (!is_open()) {
    return;
  }
  give_focus_back();
  closing();
}

bool Overlay::is_open() const {
  return std::ranges::any_of(stack(), [this](LifetimeView<Overlay> const& view) {
    return view.valid() && &view.get() == this;
  });
}

void Overlay::place(Area screen) {
  screen = {std::max(screen.width, 0), std::max(screen.height, 0)};
  Area wanted = preferred_size(screen);
  wanted = {std::clamp(wanted.width, 0, screen.width), std::clamp(wanted.height, 0, screen.height)};
  Point const p = preferred_position(screen, wanted);
  // Kept on the screen whole, so nothing of it is cut.
  at = {std::clamp(p.x, 0, screen.width - wanted.width),
        std::clamp(p.y, 0, screen.height - wanted.height)};
  if (wanted != size) {
    Area const previous = size;
    size = wanted;
    resize(previous);
  }
}

Point Overlay::preferred_position(Area screen, Area size) const {
  return {(screen.width - size.width) / 2, (screen.height - size.height) / 2};
}

bool Overlay::intercept_key(dalk::Key key) {
  if (key == dalk::Key::Escape) {
    close();
    return true;
  }
  return false;
}

void Overlay::outside_press(dalk::Mouse) {}

void Overlay::closing() {}

namespace detail {

void focus_first_widget(Overlay& overlay) {
  Widget* first = find_if_depth_first(
      overlay, [](Widget const& w) { return w.active && is_tab_focusable(w.focus_policy); });
  Focus::set(first != nullptr ? *first : overlay);
}

std::vector<Overlay*> open_overlays() {
  drop_expired();
  std::vector<Overlay*> overlays;
  for (LifetimeView<Overlay> const& view : stack()) {
    overlays.push_back(&view.get());
  }
  return overlays;
}

Overlay* top_overlay() {
  drop_expired();
  return stack().empty() ? nullptr : &stack().back().get();
}

void forget_overlays() {
  stack().clear();
}

}  // namespace detail

}  // namespace vn
