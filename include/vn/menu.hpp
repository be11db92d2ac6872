// A popup menu: a bordered column of actions above the tree. The navigation keys move the
// highlight, Enter chooses it, a click on an item chooses that item; Escape or a press outside
// closes the menu without a choice.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "dalk/io.hpp"
#include "dalk/sequence.hpp"
#include "nerv/signal.hpp"
#include "vn/overlay.hpp"
#include "vn/screen_buffer.hpp"
#include "vn/selectable.hpp"
#include "vn/widget.hpp"

namespace vn {

/// The highlighted item is the menu's selection. Event-loop thread only.
class Menu : public Overlay, public Selectable {
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

  /// The default options, equal to a default-constructed Options.
  static Options const init;

  /// Focus policy Strong: an open menu holds focus itself. Not open.
  explicit Menu(Options options);

  /// Opens with its top-left corner at `at` (screen cells; moved to stay on the screen) and
  /// the first item highlighted.
  void open_at(Point at);
  /// Closes, then calls the item's action and emits `chosen` with its index (not when the action
  /// destroyed the menu). Does nothing for an index out of range.
  void choose(int index);
  /// The highlighted index, as kept (also when the items have since shrunk below it).
  int highlighted() const { return highlighted_; }

  /// The highlighted item; empty when there is none.
  std::optional<std::size_t> selection() const override;
  /// Highlights item `index`; ignored out of range. Emits nothing.
  void select(std::size_t index) override;

  /// As wide as the widest label (in cells) plus 4, as tall as the items plus 2.
  Area preferred_size(Area screen) const override;
  Point preferred_position(Area screen, Area size) const override;
  /// The navigation keys move the highlight (Up and Down wrap around); Enter chooses it, then
  /// emits `activated` unless the menu is gone.
  void key_press(dalk::Key key) override;
  /// A left press highlights the item under it; the release over the same item chooses it as
  /// Enter does.
  void mouse_press(dalk::Mouse mouse) override;
  void mouse_release(dalk::Mouse mouse) override;
  /// The highlight follows the pointer over the items.
  void mouse_move(dalk::Mouse mouse) override;
  /// Closes the menu; the press goes nowhere else.
  void outside_press(dalk::Mouse mouse) override;
  void paint(Canvas canvas) override;
  /// The brushes, the highlighted index and the labels.
  bool paint_key(PaintKey& key) const override;

  std::vector<Item> items;
  dalk::Brush highlight_brush;
  dalk::Brush brush;
  /// The index of the chosen item, after its action.
  nerv::Signal<void(int)> chosen;
  /// The item the user chose by key or click, after `chosen`.
  nerv::Signal<void(std::size_t)> activated;

 private:
  int item_at(Point p) const;
  void choose_by_user(int index);

  Point anchor_{0, 0};
  int highlighted_ = 0;
  int pressed_ = -1;
};

// Defined here, inline, so that statics elsewhere may copy it at load.
inline Menu::Options const Menu::init{};

}  // namespace vn
