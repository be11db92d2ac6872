#include "vn/overlay.hpp"

#include <algorithm>
#include <memory>
#include <vector>

#include "vn/core/dispatch_state.hpp"
#include "vn/focus.hpp"

namespace vn {
namespace {

void drop_expired(std::vector<LifetimeView<Overlay>>& stack) {
  std::erase_if(stack, [](LifetimeView<Overlay> const& view) { return !view.valid(); });
}

void remove(std::vector<LifetimeView<Overlay>>& stack, Overlay const& overlay) {
  std::erase_if(stack, [&](LifetimeView<Overlay> const& view) {
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
  if (auto const state = dispatcher_.lock()) {
    remove(state->overlays, *this);
  }
  if (previous_focus_.valid()) {
    Focus::set(previous_focus_.get());
  } else {
    Focus::clear();
  }
  previous_focus_ = {};
}

void Overlay::open() {
  bool const was_open = is_open();
  if (!was_open) {
    dispatcher_ = detail::current_dispatch_state();
  }
  std::shared_ptr<detail::DispatchState> const state = dispatcher_.lock();
  remove(state->overlays, *this);
  state->overlays.emplace_back(*this);
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
  auto const state = dispatcher_.lock();
  return state && std::ranges::any_of(state->overlays, [this](LifetimeView<Overlay> const& view) {
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

std::vector<Overlay*> DispatchState::open_overlays() {
  drop_expired(overlays);
  std::vector<Overlay*> open;
  for (LifetimeView<Overlay> const& view : overlays) {
    open.push_back(&view.get());
  }
  return open;
}

Overlay* DispatchState::top_overlay() {
  drop_expired(overlays);
  return overlays.empty() ? nullptr : &overlays.back().get();
}

void focus_first_widget(Overlay& overlay) {
  Widget* first = find_if_depth_first(
      overlay, [](Widget const& w) { return w.active && is_tab_focusable(w.focus_policy); });
  Focus::set(first != nullptr ? *first : overlay);
}

std::vector<Overlay*> open_overlays() {
  return current_dispatch_state()->open_overlays();
}

Overlay* top_overlay() {
  return current_dispatch_state()->top_overlay();
}

}  // namespace detail

}  // namespace vn
