#include "vn/checkbox.hpp"

#include <algorithm>
#include <cstddef>
#include <utility>

namespace vn {

CheckBox::Options const CheckBox::init{};

CheckBox::CheckBox(Options options)
    : Widget{options.focus_policy, SizePolicy::fixed(4)},
      checked_glyphs{std::move(options.checked_glyphs)},
      unchecked_glyphs{std::move(options.unchecked_glyphs)},
      in_focus_brush{std::move(options.in_focus_brush)},
      state{options.state} {}

void CheckBox::toggle() {
  set_state(state == State::Unchecked ? State::Checked : State::Unchecked);
}

void CheckBox::check() {
  set_state(State::Checked);
}

void CheckBox::uncheck() {
  set_state(State::Unchecked);
}

void CheckBox::set_state(State s) {
  if (s == state) {
    return;
  }
  // Stored first: slots that ask for the state see the new one.
  state = s;
  if (s == State::Checked) {
    checked.emit();
  } else {
    unchecked.emit();
  }
}

CheckBox::State CheckBox::get_state() const {
  return state;
}

void CheckBox::mouse_press(dalk::Mouse mouse) {
  if (mouse.button == dalk::Mouse::Button::Left) {
    toggle();
  }
}

void CheckBox::focus_in() {
  in_focus = true;
}

void CheckBox::focus_out() {
  in_focus = false;
}

void CheckBox::key_press(dalk::Key key) {
  if (key == dalk::Key::Enter) {
    toggle();
  }
}

void CheckBox::paint(Canvas canvas) {
  if (canvas.size.width <= 0 || canvas.size.height <= 0) {
    return;
  }
  std::vector<dalk::Glyph> const& glyphs =
      state == State::Checked ? checked_glyphs : unchecked_glyphs;
  std::size_t const count = std::min(glyphs.size(), static_cast<std::size_t>(canvas.size.width));
  for (std::size_t i = 0; i < count; ++i) {
    dalk::Glyph glyph = glyphs[i];
    if (in_focus) {
      glyph.brush = in_focus_brush;
    }
    canvas[{static_cast<int>(i), 0}] = glyph;
  }
}

bool CheckBox::paint_key(PaintKey& key) const {
  std::vector<dalk::Glyph> const& glyphs =
      state == State::Checked ? checked_glyphs : unchecked_glyphs;
  key.add(glyphs.size());
  for (dalk::Glyph const& glyph : glyphs) {
    key.add(glyph.symbol).add(glyph.brush);
  }
  key.add(in_focus);
  if (in_focus) {
    key.add(in_focus_brush);
  }
  return true;
}

}  // namespace vn
