// Radio buttons: one of several choices, one per row as "(•) choice" or "( ) choice". The
// navigation keys select another choice, a left press selects the choice on its row, and every
// change is announced.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "dalk/io.hpp"
#include "dalk/sequence.hpp"
#include "nerv/signal.hpp"
#include "vn/screen_buffer.hpp"
#include "vn/selectable.hpp"
#include "vn/widget.hpp"

namespace vn {

/// A choice takes effect when selected: nothing confirms it. Event-loop thread only.
class RadioGroup : public Widget, public Selectable {
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

  /// The default options, equal to a default-constructed Options.
  static Options const init;

  explicit RadioGroup(Options options);

  /// Selects choice `index` and emits `changed` (not `selection_changed`); does nothing for
  /// the current or an out-of-range index, negative ones passed as an int included.
  void select(std::size_t index) override;
  /// The selected choice; empty while there are none.
  std::optional<std::size_t> selection() const override;
  /// The selected choice's index, -1 while there are none.
  int selected() const { return selected_; }
  /// Replaces the choices; the selection is clamped to them, without a signal.
  void set_choices(std::vector<std::string> choices);
  std::vector<std::string> const& choices() const { return choices_; }

  /// Up, Down, PageUp, PageDown, Home and End select another choice.
  void key_press(dalk::Key key) override;
  /// A left press selects the choice on its row.
  void mouse_press(dalk::Mouse mouse) override;
  void focus_in() override;
  void focus_out() override;
  /// One choice per row from the top; rows below the canvas are not drawn.
  void paint(Canvas canvas) override;
  /// The brushes, the selection, whether in focus and the choices the height shows.
  bool paint_key(PaintKey& key) const override;

  dalk::Brush brush;
  dalk::Brush focused_brush;
  /// The newly selected index, after every change by the user or by select().
  nerv::Signal<void(int)> changed;

 private:
  std::vector<std::string> choices_;
  int selected_ = -1;
  bool in_focus_ = false;
};

// Defined here, inline, so that statics elsewhere may copy it at load.
inline RadioGroup::Options const RadioGroup::init{};

}  // namespace vn
