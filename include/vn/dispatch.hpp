// The rules that connect events to a widget tree: which widget a mouse event or a key reaches,
// how focus moves with Tab, which widgets a tick reaches, and how the tree is painted. The event
// loop of vn::Application and the test kit's vn::testing::Harness run the very same handlers.
#pragma once

#include <optional>
#include <string_view>

#include "dalk/io.hpp"
#include "dalk/sequence.hpp"
#include "vn/event.hpp"
#include "vn/screen_buffer.hpp"
#include "vn/widget.hpp"

namespace vn {

namespace detail {

/// Delivers a press to the deepest active widget under the pointer (positions translated into
/// its coordinates); that widget first takes focus if its policy allows clicks. The head is not
/// hit-tested: it gets every press that falls outside its active children.
void dispatch_mouse_press(Widget& head, dalk::Mouse mouse);
/// As a press, without focus changes.
void dispatch_mouse_release(Widget& head, dalk::Mouse mouse);
void dispatch_mouse_wheel(Widget& head, dalk::Mouse mouse);
/// Sends mouse_leave along the path under previous_mouse and mouse_enter along the path under
/// the new position (when both lie over active children of the head and differ), delivers the
/// move like a release, then stores the position in previous_mouse.
void dispatch_mouse_move(Widget& head, dalk::Point& previous_mouse, dalk::Mouse mouse);
/// Moves focus on Tab / Shift+Tab (only from a Tab-capable focused widget), then gives the key
/// to the widget that had focus. Dropped when nothing has focus.
void dispatch_key_press(Widget& head, dalk::Key key);
/// As dispatch_key_press, but Tab and Shift+Tab pass over widgets a paint does not reach
/// (inactive ones and everything inside an inactive subtree), so focus never lands on a widget
/// the user cannot see. TreeDispatcher moves focus this way.
void dispatch_painted_key_press(Widget& head, dalk::Key key);
/// As dispatch_mouse_move, but a move between a child of the head and a bare area of the head
/// also leaves (or enters) the child's path. TreeDispatcher delivers moves this way.
void dispatch_hovering_mouse_move(Widget& head, dalk::Point& previous_mouse, dalk::Mouse mouse);
/// Gives the key to the focused widget, if any.
void dispatch_key_release(dalk::Key key);
/// Stores area in the head's size, then calls head.resize(previous size).
void dispatch_resize(Widget& head, dalk::Area area);
/// Calls timer(id) on every widget of the tree, active or not, in pre-order.
void dispatch_timer(Widget& head, int id);
/// Gives the text to the focused widget, if any.
void dispatch_paste(std::string_view text);
/// Calls window_focus(focused) on every widget of the tree, active or not, in pre-order.
void dispatch_focus(Widget& head, bool focused);
/// Paints every active widget children-first (a parent paints over its children) and returns
/// the focused widget's cursor in absolute coordinates, if it was painted and has one.
std::optional<dalk::Point> paint_tree(Widget& head, Canvas canvas);

}  // namespace detail

/// The handlers apply_event calls for a widget tree: mouse events go to the deepest active
/// widget under the pointer, keys and pastes to the focused widget (Tab / Shift+Tab move focus
/// first), timer ticks and window focus changes to every widget, and painting walks the tree
/// children-first. No handler asks to quit. Tab and Shift+Tab visit only painted widgets, and a
/// move onto a bare area of the head leaves the child it came from.
///
/// Open overlays (vn/overlay.hpp) are placed for the head's size and painted after the tree,
/// bottom to top, each over a blanked rectangle. While one is open the topmost takes every
/// event: keys go first to its intercept_key, then to the focused widget inside it (focus is
/// moved into it if it lay elsewhere) with Tab confined to it; mouse events inside it are
/// dispatched within it, presses outside go to its outside_press, other mouse events outside it
/// are dropped. Ticks and window focus reach the tree and every open overlay; a tick of a
/// function timer (vn/loop.hpp) then runs its function.
/// Needs no terminal: Application is one, and the test kit drives one. Event-loop thread only.
class TreeDispatcher {
 public:
  /// Refers to head; does not own it.
  explicit TreeDispatcher(Widget& head);

  std::optional<QuitRequest> handle_mouse_press(dalk::Mouse mouse);
  std::optional<QuitRequest> handle_mouse_release(dalk::Mouse mouse);
  std::optional<QuitRequest> handle_mouse_wheel(dalk::Mouse mouse);
  std::optional<QuitRequest> handle_mouse_move(dalk::Mouse mouse);
  std::optional<QuitRequest> handle_key_press(dalk::Key key);
  std::optional<QuitRequest> handle_key_release(dalk::Key key);
  std::optional<QuitRequest> handle_resize(dalk::Area area);
  std::optional<QuitRequest> handle_timer(int id);
  std::optional<QuitRequest> handle_paste(std::string_view text);
  std::optional<QuitRequest> handle_focus(bool focused);
  std::optional<dalk::Point> handle_paint(Canvas canvas);

  Widget& head;
  /// Position of the previous mouse-move event, in screen coordinates.
  dalk::Point previous_mouse{0, 0};
};

}  // namespace vn
