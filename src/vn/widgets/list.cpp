#include "vn/list.hpp"

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>

#include "dalk/text.hpp"
#include "vn/focus.hpp"
#include "vn/put.hpp"
#include "vn/widgets/navigation.hpp"

namespace vn {

List::List(Options options)
    : Widget{options.focus_policy, options.size_policy},
      items{std::move(options.items)},
      brush{options.brush},
      selected_brush{options.selected_brush},
      unfocused_selected_brush{options.unfocused_selected_brush},
      double_click_time{options.double_click_time} {}

std::size_t List::count() const {
  return model.count ? model.count() : items.size();
}

std::string List::item(std::size_t i) const {
  if (model.count) {
    return model.item ? model.item(i) : std::string{};
  }
  return i < items.size() ? items[i] : std::string{};
}

std::optional<std::size_t> List::selection() const {
  std::size_t const n = count();
  if (n == 0) {
    return std::nullopt;
  }
  return std::min(selected, n - 1);
}

std::size_t List::page() const {
  return static_cast<std::size_t>(std::max(size.height, 0));
}

void List::clamp_to(std::size_t n) {
  if (n == 0) {
    selected = 0;
    top = 0;
    return;
  }
  selected = std::min(selected, n - 1);
  top = std::min(top, n > page() ? n - page() : 0);
}

void List::select(std::size_t i) {
  std::size_t const n = count();
  selected = i;
  clamp_to(n);
  top = detail::scroll_into_view(top, selected, page());
}

ScrollState List::scroll_state() const {
  std::size_t const n = count();
  std::size_t const last_top = n > page() ? n - page() : 0;
  return {static_cast<std::int64_t>(std::min(top, last_top)), size.height,
          static_cast<std::int64_t>(n)};
}

void List::scroll_to(std::int64_t position) {
  top = static_cast<std::size_t>(std::max<std::int64_t>(position, 0));
  clamp_to(count());
}

void List::key_press(dalk::Key key) {
  clamp_to(count());
  if (auto const current = selection(); current && detail::is_enter(key)) {
    activated.emit(*current);
  } else {
    navigate_by_user(key, {.count = count(), .page = page()});
  }
}

void List::mouse_press(dalk::Mouse mouse) {
  if (mouse.button != dalk::Mouse::Button::Left || mouse.at.x < 0 || mouse.at.y < 0 ||
      mouse.at.x >= size.width || mouse.at.y >= size.height) {
    return;
  }
  std::size_t const n = count();
  clamp_to(n);
  std::size_t const i = top + static_cast<std::size_t>(mouse.at.y);
  if (i >= n) {
    last_press_item_.reset();
    return;
  }
  auto const now = clock();
  bool const second = last_press_item_ == i && now - last_press_time_ <= double_click_time;
  // A third press starts a new pair rather than making a second double click.
  if (second) {
    last_press_item_.reset();
  } else {
    last_press_item_ = i;
  }
  last_press_time_ = now;
  select_by_user(i);
  if (second) {
    activated.emit(i);
  }
}

void List::mouse_wheel(dalk::Mouse mouse) {
  clamp_to(count());
  if (mouse.button == dalk::Mouse::Button::ScrollUp) {
    top = top > 0 ? top - 1 : 0;
  } else if (mouse.button == dalk::Mouse::Button::ScrollDown) {
    ++top;
    clamp_to(count());
  }
}

void List::paint(Canvas canvas) {
  clamp_to(count());
  report_scroll();
  // A slot may have changed the items or scrolled.
  std::size_t const n = count();
  clamp_to(n);
  fill_brush(canvas, brush);
  int const width = canvas.size.width;
  bool const focused = Focus::get() == this;
  std::u32string text;
  for (int row = 0; row < canvas.size.height && top + static_cast<std::size_t>(row) < n; ++row) {
    std::size_t const i = top + static_cast<std::size_t>(row);
    dalk::text::fit(item(i), width, text);
    put(canvas, {0, row}, std::u32string_view{text});
    dalk::Brush const& row_brush =
        i != selected ? brush : (focused ? selected_brush : unfocused_selected_brush);
    fill_brush(Canvas{canvas.buffer, {canvas.at.x, canvas.at.y + row}, {width, 1}}, row_brush);
  }
}

bool List::paint_key(PaintKey& key) const {
  if (model.count) {
    return false;
  }
  // clamp_to(items.size()), on copies.
  std::size_t const n = items.size();
  std::size_t const shown_selected = n == 0 ? 0 : std::min(selected, n - 1);
  std::size_t const shown_top = n == 0 ? 0 : std::min(top, n > page() ? n - page() : 0);
  key.add(brush).add(selected_brush).add(unfocused_selected_brush);
  key.add(shown_selected).add(shown_top).add(size.height);
  // The canvas is never taller than the widget.
  std::size_t const end = std::min(n, shown_top + page());
  key.add(end - shown_top);
  for (std::size_t i = shown_top; i < end; ++i) {
    key.add(std::string_view{items[i]});
  }
  return true;
}

}  // namespace vn
