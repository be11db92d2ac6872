// Overlays: widgets painted above the tree, such as dialogs and popup menus. Open overlays form
// a stack that belongs to a dispatcher (vn::TreeDispatcher, which Application is); while it is
// not empty the topmost overlay is modal: it takes every key and every mouse event, Tab and
// Shift+Tab move focus only among its widgets, and what it covers is out of the mouse's reach.
// Overlays are not children of the tree: the dispatcher places and paints them after it, bottom
// to top. Event-loop thread only.
#pragma once

#include <memory>
#include <vector>

#include "dalk/io.hpp"
#include "vn/widget.hpp"

namespace vn {

namespace detail {
struct DispatchState;
}  // namespace detail

/// The base of every overlay. Opening pushes it on the stack and moves focus into it; closing
/// takes it off and gives focus back to the widget that had it before. The stack is that of the
/// dispatcher handling the current event, else of the most recently constructed dispatcher
/// still alive; opened while there is none, the overlay waits for the next one constructed. An
/// overlay whose dispatcher is gone is closed.
class Overlay : public Widget {
 public:
  Overlay(FocusPolicy focus_policy, SizePolicy size_policy);
  Overlay(Overlay&&) noexcept = default;
  Overlay& operator=(Overlay&&) noexcept = default;
  /// An overlay destroyed while open leaves the stack and gives focus back as close() does,
  /// without calling closing().
  ~Overlay() override;

  /// Pushes the overlay (raising it on its stack if it is already open), remembers the focused
  /// widget and focuses the overlay's first Tab-capable widget, or the overlay itself when it has
  /// none.
  void open();
  /// Takes the overlay off the stack, gives focus back to the widget that had it before open
  /// (if it still exists; otherwise nothing has focus) and calls closing(). Does nothing when
  /// the overlay is not open.
  void close();
  bool is_open() const;

  /// Sets `at` and `size` for a screen of `screen` cells (calling resize when the size
  /// changes); the dispatcher calls it before every event it gives the overlay and every paint.
  void place(Area screen);
  /// Where the overlay wants to be on a screen of `screen` cells; the result is cut to fit.
  virtual Area preferred_size(Area screen) const = 0;
  virtual Point preferred_position(Area screen, Area size) const;

  /// Sees every key before the focused widget; true keeps it from going further. By default
  /// Escape (without modifiers) closes the overlay.
  virtual bool intercept_key(dalk::Key key);
  /// A press outside the overlay's cells, in screen cells; it reaches nothing else. Does
  /// nothing by default.
  virtual void outside_press(dalk::Mouse mouse);
  /// Called by close() after focus has gone back; overlays announce their closing here.
  virtual void closing();

 private:
  void give_focus_back();

  LifetimeView<Widget> previous_focus_;
  std::weak_ptr<detail::DispatchState> dispatcher_;
};

namespace detail {

/// The open overlays of the dispatcher open() reaches, bottom first.
std::vector<Overlay*> open_overlays();
/// The topmost of them, or null.
Overlay* top_overlay();
/// Focuses the overlay's first active Tab-capable widget, or the overlay itself when it has none.
void focus_first_widget(Overlay& overlay);

}  // namespace detail

}  // namespace vn
