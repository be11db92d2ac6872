// A vertical scroll indicator one column wide, whose thumb shows how much of a scrollable range
// fits into its height and where its top edge lies, to an eighth of a cell. Clicks and the wheel
// move it and announce the new position; vn::link keeps it and a text box in step.
#pragma once

#include "dalk/io.hpp"
#include "dalk/sequence.hpp"
#include "nerv/signal.hpp"
#include "vn/screen_buffer.hpp"
#include "vn/scrollable.hpp"
#include "vn/widget.hpp"

namespace vn {

class TextBox;

/// A one-column scroll bar over `scrollable_length` positions. Focus policy None, size policy
/// fixed(1). Event-loop thread only.
class ScrollBar : public Widget {
 public:
  struct Options {
    int scrollable_length = 0;
    int position = 0;
    /// Its foreground colours the thumb.
    dalk::Brush brush{};
  };

  /// The default options, equal to a default-constructed Options.
  static Options const init;

  explicit ScrollBar(Options options);

  /// position = clamp(position + n, 0, max(scrollable_length - 1, 0)). Emits nothing.
  void increment_position(int n);

  /// Left button: jumps to the clicked row, the top row giving 0 and the bottom row
  /// scrollable_length itself (a bar of height 0 or 1 gives 0; the result is kept within 0 to
  /// scrollable_length), then emits `new_position`, also when nothing changed.
  void mouse_press(dalk::Mouse mouse) override;

  /// One position per step, clamped to 0 to scrollable_length - 1; emits `new_position` after
  /// every step, also at either end.
  void mouse_wheel(dalk::Mouse mouse) override;

  /// Colours the canvas with `brush` and draws the thumb in column 0: a partial top cell, full
  /// blocks below it and an inverted partial cell under the thumb, so that the thumb moves in
  /// eighths of a cell. An empty range (scrollable_length 0) shows no thumb. Values the
  /// application set out of range are drawn as if clamped to 0 <= position <=
  /// scrollable_length; nothing is drawn outside the canvas.
  void paint(Canvas canvas) override;
  /// The length, position, brush and height; false once linked (vn::link), since the linked
  /// widget's paint sets position and length after the frame has read the key.
  bool paint_key(PaintKey& key) const override;

  /// Number of positions; for a linked text box its number of display lines.
  int scrollable_length;
  /// Normally 0 to scrollable_length - 1.
  int position;
  dalk::Brush brush;
  /// Emitted with `position` after every user action on the bar.
  nerv::Signal<void(int)> new_position;

 private:
  friend void link(TextBox& text_box, ScrollBar& scroll_bar);
  friend void link(Scrollable& scrollable, ScrollBar& scroll_bar);

  bool linked_ = false;
};

// A constant, defined here so that statics elsewhere may copy it at load.
inline constexpr ScrollBar::Options ScrollBar::init{};

/// Keeps a text box and a scroll bar in step: every paint of the text box sets the bar's
/// position and length (shown at the bar's next paint), and every user action on the bar
/// scrolls the text box (set_scroll_offset). Neither slot emits, so the two cannot loop. Each
/// slot follows its widget through moves and does nothing once that widget is destroyed.
void link(TextBox& text_box, ScrollBar& scroll_bar);

/// Keeps any scrolling widget and a scroll bar in step: whenever the widget reports its state
/// (Scrollable::on_scroll) the bar takes its position and total (clamped to an int; shown at
/// the bar's next paint), and every user action on the bar calls scroll_to. As for the text
/// box, neither slot emits, and each follows its widget through moves and does nothing once
/// that widget is destroyed. `scrollable` must be a vn::Widget as well, or this throws
/// std::invalid_argument "link(): the scrollable is not a widget." and connects nothing.
void link(Scrollable& scrollable, ScrollBar& scroll_bar);

}  // namespace vn
