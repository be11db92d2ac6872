// Push buttons. BasicButton is an invisible widget that turns Enter and left clicks into the
// signals `pressed` and `released`; applications derive from it to draw their own buttons.
// Button shows a one-line label, restyles it while held down or focused, and paints a
// decoration over it, optionally animated by a 30 ms fade timer.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <variant>

#include "dalk/io.hpp"
#include "dalk/sequence.hpp"
#include "nerv/signal.hpp"
#include "vn/label.hpp"
#include "vn/screen_buffer.hpp"
#include "vn/timer.hpp"
#include "vn/widget.hpp"

namespace vn {

/// Emits `pressed` for Enter (while focused) and for the left mouse button going down on it,
/// `released` for the left mouse button coming up on it. Paints nothing.
class BasicButton : public Widget {
 public:
  struct Options {
    FocusPolicy focus_policy = FocusPolicy::Strong;
    SizePolicy size_policy = SizePolicy::flex(1.0F);
  };

  /// The default options, equal to a default-constructed Options.
  static Options const init;

  explicit BasicButton(Options options);
  BasicButton(FocusPolicy focus_policy, SizePolicy size_policy);

  /// Left button only; other buttons are ignored.
  void mouse_press(dalk::Mouse mouse) override;
  /// Left button only; other buttons are ignored.
  void mouse_release(dalk::Mouse mouse) override;
  /// Key::Enter emits `pressed`; every other key is ignored. No key emits `released`.
  void key_press(dalk::Key key) override;
  /// Paints nothing: an empty key.
  bool paint_key(PaintKey& key) const override;

  nerv::Signal<void()> pressed;
  nerv::Signal<void()> released;
};

inline BasicButton::Options const BasicButton::init{};

/// An animated decoration: `paint` draws into the button's canvas for a progress in [0, 1],
/// which climbs from 0 to 1 in `fade_in` while the button is hovered or focused and falls back
/// in `fade_out` when it is left. A duration of 0 jumps to the end at the first tick.
struct Fade {
  std::function<void(Canvas, float)> paint{};
  std::chrono::milliseconds fade_in{0};
  std::chrono::milliseconds fade_out{0};
};

/// A BasicButton that paints a label and a decoration over it.
class Button : public BasicButton {
 public:
  struct Options {
    Label::Options label{};
    /// A plain painting function, or a Fade. Default: draws nothing.
    std::variant<std::function<void(Canvas)>, Fade> decoration{
        std::function<void(Canvas)>{[](Canvas) {}}};
    /// Applied to the painted label while the left mouse button holds the button down.
    std::function<void(Label&)> pressed_mod{[](Label&) {}};
    /// Applied to the painted label while the button has focus (before pressed_mod).
    std::function<void(Label&)> focused_mod{[](Label&) {}};
    FocusPolicy focus_policy = FocusPolicy::Strong;
    /// The button's own size policy (the one inside `label` has no effect).
    SizePolicy size_policy = SizePolicy::flex(1.0F);
  };

  /// The running form of a Fade. Its timer ticks every 30 ms while the progress moves and is
  /// stopped when the progress reaches 0 or 1.
  struct FadeInternal {
    std::function<void(Canvas, float)> paint;
    std::chrono::milliseconds fade_in;
    std::chrono::milliseconds fade_out;
    /// +1 while rising, -1 while falling.
    std::int32_t direction = 1;
    /// In [0, 1].
    float progress = 0.0F;
    Timer timer{std::chrono::milliseconds{30}, false};
  };

  /// The default options, equal to a default-constructed Options.
  static Options const init;

  /// A Fade decoration becomes a FadeInternal rising from 0 with a timer that is not started.
  explicit Button(Options options);

  /// Left button: marks the button held down, then emits `pressed`.
  void mouse_press(dalk::Mouse mouse) override;
  /// Left button: clears the held-down mark, then emits `released`.
  void mouse_release(dalk::Mouse mouse) override;
  /// Same as start_select().
  void mouse_enter() override;
  /// Same as end_select().
  void mouse_leave() override;
  /// Marks the button focused, then does what start_select() does.
  void focus_in() override;
  /// Clears the focused mark, then does what end_select() does.
  void focus_out() override;
  /// Moves a fade's progress by 30 ms worth of fade_in or fade_out when id is its timer's,
  /// clamped to [0, 1]; the timer stops when the progress lands on 0 or 1.
  void timer(int id) override;
  /// A copy of `label`, changed by focused_mod and then pressed_mod where they apply, painted
  /// over the whole canvas, then the decoration over it. `label` itself is never changed.
  void paint(Canvas canvas) override;
  /// The label, while the looks and the decoration are each empty or the default that does
  /// nothing. A function of the application's may show anything, so a button with one is
  /// painted every frame (false).
  bool paint_key(PaintKey& key) const override;

  /// Sets a fade rising and starts its timer if it is not running; a plain decoration
  /// ignores it. Event-loop thread only (it may start a timer).
  void start_select();
  /// Sets a fade falling and starts its timer if it is not running; a plain decoration
  /// ignores it. Event-loop thread only.
  void end_select();

  /// Read anew by every paint.
  Label::Options label;
  std::function<void(Label&)> pressed_mod;
  std::function<void(Label&)> focused_mod;
  std::variant<std::function<void(Canvas)>, FadeInternal> decoration;
  /// The left mouse button went down on the button and has not yet come up on it.
  bool is_pressed = false;
  bool is_focused = false;

 private:
  void select(std::int32_t direction);
};

// Inline so that statics of other translation units built at load can copy it in any order.
inline Button::Options const Button::init{};

/// Interpolates each channel as (to - from) * t + from in single precision, rounded to the
/// nearest integer with halves away from zero and clamped to [0, 255]. t is not clamped:
/// values outside [0, 1] extrapolate up to the channel limits. A NaN t gives `from`.
dalk::TrueColor gradient_blend(dalk::TrueColor from, dalk::TrueColor to, float t);

}  // namespace vn
