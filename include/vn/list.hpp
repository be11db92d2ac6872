// A selectable list of one-line items, one per row, over either a vector of strings or a model
// (a count and a function giving item i). Only the rows on screen are asked for, so a model of
// a million items costs what a screenful costs.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "dalk/io.hpp"
#include "dalk/sequence.hpp"
#include "nerv/signal.hpp"
#include "vn/screen_buffer.hpp"
#include "vn/scrollable.hpp"
#include "vn/selectable.hpp"
#include "vn/widget.hpp"

namespace vn {

/// Up, Down, PageUp, PageDown, Home and End move the selection and keep it in view; Enter or a
/// double click activates it; a click selects, the wheel scrolls one row per step. Items are
/// UTF-8, measured in cells, cut with "…" when too wide. Every index is clamped to the items
/// there are when it is used, so a model may shrink at any time. Event-loop thread only.
class List : public Widget, public ReportingScrollable, public Selectable {
 public:
  /// Items on demand: `count()` items, item i being `item(i)`. Both are called on the
  /// event-loop thread, `item` only for rows being painted and for i below the count it
  /// returned just before.
  struct Model {
    std::function<std::size_t()> count;
    std::function<std::string(std::size_t)> item;
  };

  using Clock = std::function<std::chrono::steady_clock::time_point()>;

  struct Options {
    std::vector<std::string> items{};
    /// Brush of every row that is not selected.
    dalk::Brush brush{};
    /// The selected row while the list has focus.
    dalk::Brush selected_brush{dalk::XColor::Default, dalk::XColor::Default, dalk::Trait::Inverse};
    /// The selected row while it has not.
    dalk::Brush unfocused_selected_brush{dalk::XColor::Default, dalk::XColor::Default,
                                         dalk::Trait::Underline};
    /// Two presses on one item within this time make a double click.
    std::chrono::milliseconds double_click_time{400};
    FocusPolicy focus_policy = FocusPolicy::Strong;
    SizePolicy size_policy = SizePolicy::flex(1.0F);
  };

  /// The default options, equal to a default-constructed Options.
  static Options const init;

  explicit List(Options options);

  /// The number of items: the model's when it has a count function, otherwise the vector's.
  std::size_t count() const;
  /// Item i (i below count()).
  std::string item(std::size_t i) const;
  /// The selected item, empty when there are no items.
  std::optional<std::size_t> selection() const override;
  /// Selects item i (clamped to the items there are) and scrolls it into view. Emits nothing.
  void select(std::size_t i) override;

  /// {the first row shown, the canvas height, count()}, as the last page being full allows.
  ScrollState scroll_state() const override;
  /// The first row shown, clamped so that the last page is full. Emits nothing.
  void scroll_to(std::int64_t position) override;

  /// The navigation keys move the selection and keep it in view; Enter activates it.
  void key_press(dalk::Key key) override;
  /// Left button: selects the item under the pointer; a second press on it within
  /// double_click_time activates it. Presses below the last item do nothing.
  void mouse_press(dalk::Mouse mouse) override;
  /// One row per step, the selection staying where it is.
  void mouse_wheel(dalk::Mouse mouse) override;
  /// The visible rows, the selected one in the selected brush; the rest of the canvas in
  /// `brush`. Emits `scrolled` first when position, page or total differ from the last report.
  void paint(Canvas canvas) override;
  /// The brushes, the selection and first row as the paint clamps them, and the items the
  /// height shows; false with a model, whose functions may answer anything.
  bool paint_key(PaintKey& key) const override;

  /// Used when `model.count` is set.
  std::vector<std::string> items;
  Model model{};
  dalk::Brush brush;
  dalk::Brush selected_brush;
  dalk::Brush unfocused_selected_brush;
  std::chrono::milliseconds double_click_time;
  /// The time of a press, for telling double clicks; tests may set their own.
  Clock clock = [] { return std::chrono::steady_clock::now(); };
  /// The selected index, before clamping.
  std::size_t selected = 0;
  /// The first row shown, before clamping.
  std::size_t top = 0;

  /// Enter or a double click on an item; its index.
  nerv::Signal<void(std::size_t)> activated;

 private:
  // Clamps selected and top to `n` items and the current height.
  void clamp_to(std::size_t n);
  std::size_t page() const;

  std::optional<std::size_t> last_press_item_;
  std::chrono::steady_clock::time_point last_press_time_{};
};

// Defined here, inline, so that statics elsewhere may copy it at load.
inline List::Options const List::init{};

}  // namespace vn
