#include "vn/button.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string_view>
#include <utility>
#include <variant>

#include "lum/generator.hpp"

namespace vn {

BasicButton::BasicButton(Options options)
    : BasicButton{options.focus_policy, options.size_policy} {}

BasicButton::BasicButton(FocusPolicy focus_policy, SizePolicy size_policy)
    : Widget{focus_policy, size_policy} {}

void BasicButton::mouse_press(dalk::Mouse mouse) {
  if (mouse.button == dalk::Mouse::Button::Left) {
    pressed.emit();
  }
}

void BasicButton::mouse_release(dalk::Mouse mouse) {
  if (mouse.button == dalk::Mouse::Button::Left) {
    released.emit();
  }
}

void BasicButton::key_press(dalk::Key key) {
  if (key == dalk::Key::Enter) {
    pressed.emit();
  }
}

bool BasicButton::paint_key(PaintKey& /*key*/) const {
  return true;
}

namespace {

using Decoration = std::variant<std::function<void(Canvas)>, Button::FadeInternal>;

Decoration make_running(std::variant<std::function<void(Canvas)>, Fade>&& decoration) {
  if (auto* fade = std::get_if<Fade>(&decoration)) {
    return Button::FadeInternal{std::move(fade->paint), fade->fade_in, fade->fade_out};
  }
  return std::move(std::get<std::function<void(Canvas)>>(decoration));
}

// Empty, or holding the same captureless closure as `none`, which does nothing.
template <typename Signature>
bool does_nothing(std::function<Signature> const& f, std::function<Signature> const& none) {
  return !f || f.target_type() == none.target_type();
}

}  // namespace

Button::Button(Options options)
    : BasicButton{options.focus_policy, options.size_policy},
      label{std::move(options.label)},
      pressed_mod{std::move(options.pressed_mod)},
      focused_mod{std::move(options.focused_mod)},
      decoration{make_running(std::move(options.decoration))} {}

void Button::mouse_press(dalk::Mouse mouse) {
  if (mouse.button == dalk::Mouse::Button::Left) {
    is_pressed = true;
    pressed.emit();
  }
}

void Button::mouse_release(dalk::Mouse mouse) {
  if (mouse.button == dalk::Mouse::Button::Left) {
    is_pressed = false;
    released.emit();
  }
}

void Button::mouse_enter() {
  start_select();
}

void Button::mouse_leave() {
  end_select();
}

void Button::focus_in() {
  is_focused = true;
  start_select();
}

void Button::focus_out() {
  is_focused = false;
  end_select();
}

void Button::start_select() {
  select(1);
}

void Button::end_select() {
  select(-1);
}

void Button::select(std::int32_t direction) {
  auto* fade = std::get_if<FadeInternal>(&decoration);
  if (fade == nullptr) {
    return;
  }
  fade->direction = direction;
  // A running timer keeps running: a change of direction reverses the fade at the next tick.
  if (!fade->timer.is_running()) {
    fade->timer.start();
  }
}

void Button::timer(int id) {
  auto* fade = std::get_if<FadeInternal>(&decoration);
  if (fade == nullptr || id != fade->timer.id()) {
    return;
  }
  auto const duration = fade->direction == 1 ? fade->fade_in : fade->fade_out;
  float const d = static_cast<float>(duration.count());
  // Single precision in this order, so that a fade of 100 ms goes 0.3, 0.6, 0.90000004, 1.
  float const step = 30.0F / d;
  float const p = static_cast<float>(fade->direction) * step + fade->progress;
  fade->progress = std::clamp(p, 0.0F, 1.0F);
  if (fade->progress == 0.0F || fade->progress == 1.0F) {
    fade->timer.stop();
  }
}

void Button::paint(Canvas canvas) {
  bool const focus_look = is_focused && focused_mod;
  bool const pressed_look = is_pressed && pressed_mod;
  if (!focus_look && !pressed_look) {
    // The label as it is: no widget to build for a look to change.
    paint_label(canvas, label.text, label.align, label.brush);
  } else {
    Label shown{label};
    if (focus_look) {
      focused_mod(shown);
    }
    // Second, so that the pressed look wins where the two overlap.
    if (pressed_look) {
      pressed_mod(shown);
    }
    shown.paint(canvas);
  }
  std::visit(lum::Overload{[&](std::function<void(Canvas)> const& plain) {
                             if (plain) {
                               plain(canvas);
                             }
                           },
                           [&](FadeInternal const& fade) {
                             if (fade.paint) {
                               fade.paint(canvas, fade.progress);
                             }
                           }},
             decoration);
}

bool Button::paint_key(PaintKey& key) const {
  auto const* const plain = std::get_if<std::function<void(Canvas)>>(&decoration);
  if (plain == nullptr || !does_nothing(*plain, std::get<0>(init.decoration)) ||
      !does_nothing(focused_mod, init.focused_mod) ||
      !does_nothing(pressed_mod, init.pressed_mod)) {
    return false;
  }
  key.add(std::string_view{label.text}).add(label.align).add(label.brush);
  return true;
}

dalk::TrueColor gradient_blend(dalk::TrueColor from, dalk::TrueColor to, float t) {
  auto const channel = [t](std::uint8_t a, std::uint8_t b) {
    float const value = static_cast<float>(b - a) * t + static_cast<float>(a);
    if (std::isnan(value)) {
      return a;
    }
    // Clamped before rounding: lroundf has no defined result for values beyond long, which a
    // far extrapolation (or an infinite t) would reach. Within range the order makes no
    // difference.
    float const clamped = std::clamp(value, 0.0F, 255.0F);
    return static_cast<std::uint8_t>(std::lroundf(clamped));
  };
  return {channel(from.red, to.red), channel(from.green, to.green), channel(from.blue, to.blue)};
}

}  // namespace vn
