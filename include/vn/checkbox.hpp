// A two-state toggle: shows one run of glyphs while checked and another while unchecked, flips on
// Enter or a left click and announces every change through a signal. It has no text of its own;
// applications put a Label beside it.
#pragma once

#include <cstdint>
#include <vector>

#include "dalk/io.hpp"
#include "dalk/sequence.hpp"
#include "dalk/transcode.hpp"
#include "nerv/signal.hpp"
#include "vn/screen_buffer.hpp"
#include "vn/widget.hpp"

namespace vn {

/// A check box, always 4 cells wide in a layout. Event-loop thread only.
class CheckBox : public Widget {
 public:
  enum class State : std::uint8_t { Checked = 0, Unchecked = 1 };

  struct Options {
    State state = State::Unchecked;
    /// "[X]" with the default brush.
    std::vector<dalk::Glyph> checked_glyphs = dalk::detail::utf32_to_glyphs(U"[X]");
    /// "[ ]" with the default brush.
    std::vector<dalk::Glyph> unchecked_glyphs = dalk::detail::utf32_to_glyphs(U"[ ]");
    /// Replaces the whole brush of every shown glyph while the box has the focus.
    dalk::Brush in_focus_brush{dalk::XColor::Default, dalk::XColor::Default, dalk::Trait::Bold};
    FocusPolicy focus_policy = FocusPolicy::Strong;
  };

  /// The default options, built at library load; equal to a default-constructed Options.
  static Options const init;

  /// Size policy SizePolicy::fixed(4) whatever the options; not in focus; no connections.
  explicit CheckBox(Options options);

  /// Unchecked becomes Checked (emits `checked`), Checked becomes Unchecked (emits
  /// `unchecked`). The state is stored before the signal is emitted.
  void toggle();
  /// Makes the box Checked and emits `checked`; does nothing if it already is.
  void check();
  /// Makes the box Unchecked and emits `unchecked`; does nothing if it already is.
  void uncheck();
  /// Stores `s` and emits the matching signal; does nothing if `s` is the current state.
  void set_state(State s);
  State get_state() const;

  /// A left click anywhere in the box toggles it; other buttons are ignored.
  void mouse_press(dalk::Mouse mouse) override;
  void focus_in() override;
  void focus_out() override;
  /// Enter (without modifiers) toggles; every other key is ignored.
  void key_press(dalk::Key key) override;
  /// Writes the glyphs of the current state as whole glyphs into the top row, from column 0,
  /// as many as the canvas is wide; while in focus they carry in_focus_brush instead of their
  /// own brushes. Other cells are left alone; an empty canvas receives nothing.
  void paint(Canvas canvas) override;
  /// The glyphs of the current state and, while in focus, in_focus_brush.
  bool paint_key(PaintKey& key) const override;

  /// Shown while checked; read anew by every paint.
  std::vector<dalk::Glyph> checked_glyphs;
  /// Shown while unchecked; read anew by every paint.
  std::vector<dalk::Glyph> unchecked_glyphs;
  dalk::Brush in_focus_brush;
  /// Emitted after the box has become checked.
  nerv::Signal<void()> checked;
  /// Emitted after the box has become unchecked.
  nerv::Signal<void()> unchecked;

 private:
  State state;
  bool in_focus = false;
};

}  // namespace vn
