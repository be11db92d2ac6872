#include "vn/menu.hpp"

#include <algorithm>
#include <string_view>
#include <utility>

#include "vn/draw/text_cells.hpp"
#include "vn/put.hpp"
#include "vn/widgets/navigation.hpp"

namespace vn {

Menu::Menu(Options options)
    : Overlay{FocusPolicy::Strong, SizePolicy::flex()},
      items{std::move(options.items)},
      highlight_brush{options.highlight_brush},
      brush{options.brush} {}

void Menu::open_at(Point p) {
  anchor_ = p;
  highlighted_ = 0;
  pressed_ = -1;
  open();
}

void Menu::choose(int index) {
  if (index < 0 || index >= static_cast<int>(items.size())) {
    return;
  }
  // Copied: the action may change the items.
  std::function<void()> const action = items[static_cast<std::size_t>(index)].action;
  close();
  // The action may destroy the menu; then nobody is left to hear `chosen`.
  LifetimeView<Widget> const alive{*this};
  if (action) {
    action();
  }
  if (alive.valid()) {
    chosen.emit(index);
  }
}

void Menu::choose_by_user(int index) {
  if (index < 0 || index >= static_cast<int>(items.size())) {
    return;
  }
  LifetimeView<Widget> const alive{*this};
  choose(index);
  if (alive.valid()) {
    activated.emit(static_cast<std::size_t>(index));
  }
}

std::optional<std::size_t> Menu::selection() const {
  if (highlighted_ < 0 || highlighted_ >= static_cast<int>(items.size())) {
    return std::nullopt;
  }
  return static_cast<std::size_t>(highlighted_);
}

void Menu::select(std::size_t index) {
  if (index < items.size()) {
    highlighted_ = static_cast<int>(index);
  }
}

Area Menu::preferred_size(Area) const {
  int widest = 0;
  for (Item const& item : items) {
    widest = std::max(widest, detail::text_cells(item.label));
  }
  return {widest + 4, static_cast<int>(items.size()) + 2};
}

Point Menu::preferred_position(Area, Area) const {
  return anchor_;
}

void Menu::key_press(dalk::Key key) {
  if (detail::is_enter(key)) {
    choose_by_user(highlighted_);
  } else {
    // The rows inside the frame.
    auto const shown = static_cast<std::size_t>(std::max(size.height - 2, 0));
    navigate_by_user(key, {.count = items.size(), .page = shown, .wrap = true});
  }
}

int Menu::item_at(Point p) const {
  int const index = p.y - 1;
  if (p.x < 1 || p.x >= size.width - 1 || index < 0 || index >= static_cast<int>(items.size())) {
    return -1;
  }
  return index;
}

void Menu::mouse_press(dalk::Mouse mouse) {
  pressed_ = mouse.button == dalk::Mouse::Button::Left ? item_at(mouse.at) : -1;
  if (pressed_ >= 0) {
    select_by_user(static_cast<std::size_t>(pressed_));
  }
}

void Menu::mouse_release(dalk::Mouse mouse) {
  int const index = item_at(mouse.at);
  bool const chosen_here =
      mouse.button == dalk::Mouse::Button::Left && index >= 0 && index == pressed_;
  pressed_ = -1;
  // Last: the item's action may destroy the menu.
  if (chosen_here) {
    choose_by_user(index);
  }
}

void Menu::mouse_move(dalk::Mouse mouse) {
  if (int const index = item_at(mouse.at); index >= 0) {
    select_by_user(static_cast<std::size_t>(index));
  }
}

void Menu::outside_press(dalk::Mouse) {
  close();
}

void Menu::paint(Canvas canvas) {
  fill_brush(canvas, brush);
  put(canvas, shape::Frame{}, brush);
  int const inner = canvas.size.width - 2;
  for (int i = 0; i < static_cast<int>(items.size()) && i + 1 < canvas.size.height - 1; ++i) {
    Canvas row{canvas.buffer, {canvas.at.x + 1, canvas.at.y + 1 + i}, {inner, 1}};
    dalk::Brush const& row_brush = i == highlighted_ ? highlight_brush : brush;
    fill_brush(row, row_brush);
    put(row, {1, 0}, items[static_cast<std::size_t>(i)].label);
    // put() writes text with the default brush; the row's brush goes back over it.
    fill_brush(row, row_brush);
  }
}

bool Menu::paint_key(PaintKey& key) const {
  key.add(brush).add(highlight_brush).add(highlighted_).add(items.size());
  for (Item const& item : items) {
    key.add(std::string_view{item.label});
  }
  return true;
}

}  // namespace vn
