#include "vn/radio.hpp"

#include <algorithm>
#include <cstddef>
#include <string_view>
#include <utility>

#include "vn/put.hpp"

namespace vn {

RadioGroup::RadioGroup(Options options)
    : Widget{options.focus_policy, SizePolicy::flex()},
      brush{options.brush},
      focused_brush{options.focused_brush} {
  set_choices(std::move(options.choices));
  if (!choices_.empty()) {
    selected_ = std::clamp(options.selected, 0, static_cast<int>(choices_.size()) - 1);
  }
}

void RadioGroup::select(std::size_t index) {
  if (index >= choices_.size() || static_cast<int>(index) == selected_) {
    return;
  }
  selected_ = static_cast<int>(index);
  changed.emit(selected_);
}

std::optional<std::size_t> RadioGroup::selection() const {
  if (selected_ < 0) {
    return std::nullopt;
  }
  return static_cast<std::size_t>(selected_);
}

void RadioGroup::set_choices(std::vector<std::string> choices) {
  choices_ = std::move(choices);
  selected_ =
      choices_.empty() ? -1 : std::clamp(selected_, 0, static_cast<int>(choices_.size()) - 1);
}

void RadioGroup::key_press(dalk::Key key) {
  auto const shown = static_cast<std::size_t>(std::max(size.height, 0));
  navigate_by_user(key, {.count = choices_.size(), .page = shown});
}

void RadioGroup::mouse_press(dalk::Mouse mouse) {
  if (mouse.button == dalk::Mouse::Button::Left && mouse.at.y >= 0) {
    select_by_user(static_cast<std::size_t>(mouse.at.y));
  }
}

void RadioGroup::focus_in() {
  in_focus_ = true;
}

void RadioGroup::focus_out() {
  in_focus_ = false;
}

void RadioGroup::paint(Canvas canvas) {
  fill_brush(canvas, brush);
  int const rows = std::min(canvas.size.height, static_cast<int>(choices_.size()));
  for (int y = 0; y < rows; ++y) {
    Canvas row{canvas.buffer, {canvas.at.x, canvas.at.y + y}, {canvas.size.width, 1}};
    put(row, {0, 0}, y == selected_ ? std::string_view{"(•) "} : std::string_view{"( ) "});
    put(row, {4, 0}, choices_[static_cast<std::size_t>(y)]);
    fill_brush(row, y == selected_ && in_focus_ ? focused_brush : brush);
  }
}

bool RadioGroup::paint_key(PaintKey& key) const {
  key.add(brush).add(focused_brush).add(selected_).add(in_focus_);
  // The canvas is never taller than the widget.
  std::size_t const rows =
      std::min(static_cast<std::size_t>(std::max(size.height, 0)), choices_.size());
  key.add(rows);
  for (std::size_t i = 0; i < rows; ++i) {
    key.add(std::string_view{choices_[i]});
  }
  return true;
}

}  // namespace vn
