// A popup menu: a bordered column of actions above the tree. Up and Down move the highlight,
// Enter chooses it, a click on an item chooses that item; Escape or a press outside closes the
// menu without a choice.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "dalk/io.hpp"
#include "dalk/sequence.hpp"
#include "nerv/signal.hpp"
#include "vn/overlay.hpp"
#include "vn/screen_buffer.hpp"
#include "vn/widget.hpp"

namespace vn {

/// Event-loop thread only.
class Menu : public Overlay {
 public:
  struct Item {
    std::string label;
    /// Called after the menu has closed; may be empty.
    std::function<void()> action;
  };

  struct Options {
    std::vector<Item> items{};
    /// The highlighted item.
    dalk::Brush highlight_brush{dalk::XColor::Default, dalk::XColor::Default, dalk::Trait::Inverse};
    dalk::Brush brush{};
  };

  /// Focus policy Strong: an open menu holds focus itself. Not open.
  explicit Menu(Options options);

  /// Opens with its top-left corner at `at` (screen cells; moved to stay on the screen) and
  /// the first item highlighted.
  void open_at(Point at);
  /// Closes, then calls the item's action and emits `chosen` with its index. Does nothing for
  /// an index out of range.
  void choose(int index);
  int highlighted() const { return highlighted_; }

  /// As wide as the widest label (in cells) plus 4, as tall as the items plus 2.
  Area preferred_size(Area screen) const override;
  Point preferred_position(Area screen, Area size) const override;
  /// Up and Down (wrapping), Home and End move the highlight; Enter chooses it.
  void key_press(dalk::Key key) override;
  /// A left press highlights the item under it; the release over the same item chooses it.
  void mouse_press(dalk::Mouse mouse) override;
  void mouse_release(dalk::Mouse mouse) override;
  /// Follows the pointer over the items.
  void mouse_move(dalk::Mouse mouse) override;
  /// Closes the menu; the press goes nowhere else.
  void outside_press(dalk::Mouse mouse) override;
  void paint(Canvas canvas) override;

  std::vector<Item> items;
  dalk::Brush highlight_brush;
  dalk::Brush brush;
  /// The index of the chosen item, after its action.
  nerv::Signal<void(int)> chosen;

 private:
  int item_at(Point p) const;

  Point anchor_{0, 0};
  int highlighted_ = 0;
  int pressed_ = -1;
};

}  // namespace vn
