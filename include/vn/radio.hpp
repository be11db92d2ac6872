// Radio buttons: one of several choices, one per row as "(•) choice" or "( ) choice". Up and
// Down (Home, End) select the neighbouring choice, a left press selects the choice on its row,
// and every change is announced.
#pragma once

#include <string>
#include <vector>

#include "dalk/io.hpp"
#include "dalk/sequence.hpp"
#include "nerv/signal.hpp"
#include "vn/screen_buffer.hpp"
#include "vn/widget.hpp"

namespace vn {

/// Event-loop thread only.
class RadioGroup : public Widget {
 public:
  struct Options {
    std::vector<std::string> choices{};
    /// Clamped to the choices; -1 while there are none.
    int selected = 0;
    dalk::Brush brush{};
    /// The selected row while the group has focus.
    dalk::Brush focused_brush{dalk::XColor::Default, dalk::XColor::Default, dalk::Trait::Bold};
    FocusPolicy focus_policy = FocusPolicy::Strong;
  };

  explicit RadioGroup(Options options);

  /// Selects choice `index` and emits `changed`; does nothing for the current or an
  /// out-of-range index.
  void select(int index);
  int selected() const { return selected_; }
  /// Replaces the choices; the selection is clamped to them, without a signal.
  void set_choices(std::vector<std::string> choices);
  std::vector<std::string> const& choices() const { return choices_; }

  void key_press(dalk::Key key) override;
  void mouse_press(dalk::Mouse mouse) override;
  void focus_in() override;
  void focus_out() override;
  /// One choice per row from the top; rows below the canvas are not drawn.
  void paint(Canvas canvas) override;

  dalk::Brush brush;
  dalk::Brush focused_brush;
  /// The newly selected index.
  nerv::Signal<void(int)> changed;

 private:
  std::vector<std::string> choices_;
  int selected_ = -1;
  bool in_focus_ = false;
};

}  // namespace vn
