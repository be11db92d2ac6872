// The rules that connect events to a widget tree: which widget a mouse event or a key reaches,
// how focus moves with Tab, which widgets a tick reaches, and how the tree is painted. The event
// loop of vn::Application and the test kit's vn::testing::Harness run the very same handlers.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "dalk/io.hpp"
#include "dalk/sequence.hpp"
#include "vn/event.hpp"
#include "vn/screen_buffer.hpp"
#include "vn/widget.hpp"

namespace vn {

namespace detail {

/// What one TreeDispatcher owns besides its head: open overlays, function timers, bindings.
struct DispatchState;
struct KeptFrame;

// The plain rules, for a tree without a dispatcher: the dispatcher's own path, without overlays,
// bindings or function timers.

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

/// Names a key binding made by TreeDispatcher::bind.
enum class BindingId : std::uint64_t {};

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
///
/// Each dispatcher owns its overlay stack, its function timers and its key bindings, so two
/// dispatchers (a run and a test kit's harness, or two harnesses) share none of them.
/// Overlay::open(), vn::every and vn::after reach "the" dispatcher: the one dispatching an event
/// on the calling thread, else the most recently constructed one still alive, else none yet:
/// what they register then waits for the next dispatcher constructed, which takes it over.
/// Needs no terminal: Application is one, and the test kit drives one. Event-loop thread only.
class TreeDispatcher {
 public:
  /// Refers to head; does not own it.
  explicit TreeDispatcher(Widget& head);
  /// Takes over other's overlays, function timers and bindings; other goes on dispatching its
  /// tree without them.
  TreeDispatcher(TreeDispatcher&& other) noexcept = default;
  TreeDispatcher(TreeDispatcher const&) = delete;

  /// What a handler returns: a quit request, which this class never makes.
  using Handled = std::optional<QuitRequest>;

  /// Any event, by the rules above: every alternative goes through this one path, and each
  /// named handler below is this call for its alternative. event::Custom runs its function
  /// (its result is returned) and event::Interrupt asks to quit with code 1.
  Handled handle(Event const& event);
  Handled handle_mouse_press(dalk::Mouse mouse) { return handle(dalk::MousePress{mouse}); }
  Handled handle_mouse_release(dalk::Mouse mouse) { return handle(dalk::MouseRelease{mouse}); }
  Handled handle_mouse_wheel(dalk::Mouse mouse) { return handle(dalk::MouseWheel{mouse}); }
  Handled handle_mouse_move(dalk::Mouse mouse) { return handle(dalk::MouseMove{mouse}); }
  Handled handle_key_press(dalk::Key key) { return handle(dalk::KeyPress{key}); }
  Handled handle_key_release(dalk::Key key) { return handle(dalk::KeyRelease{key}); }
  Handled handle_resize(dalk::Area area) { return handle(dalk::Resize{area}); }
  Handled handle_timer(int id) { return handle(event::Timer{id}); }
  Handled handle_paste(std::string_view text) { return handle(dalk::Paste{std::string{text}}); }
  Handled handle_focus(bool focused) { return handle(dalk::Focus{focused}); }
  /// Paints the tree (and the open overlays) into canvas and returns the cursor. With
  /// reuse_cells, see there.
  std::optional<dalk::Point> handle_paint(Canvas canvas);

  /// A key for the whole application (F1 for help, Ctrl+Q to quit): a press of exactly `key`
  /// (modifiers included) runs `action` and goes no further, not even to Tab handling. It is
  /// checked after an open overlay's intercept_key (a dialog's Escape stays the dialog's) and
  /// before the focused widget, inside an overlay too; an action that should wait while a
  /// dialog is open checks for it. The latest binding of a key wins; an empty action just
  /// swallows the key. A bound printable key (say
  /// 'q') never reaches a focused LineEdit or TextBox, so it cannot be typed: bind keys with
  /// Ctrl or Alt, or function keys, in applications that edit text.
  BindingId bind(dalk::Key key, std::function<void()> action);
  /// Removes the binding (an earlier binding of its key applies again); an unknown or already
  /// removed id is ignored.
  void unbind(BindingId id);

  Widget& head;
  /// Paint only what changed: a widget whose key, canvas and focus are those of the frame
  /// before (Widget::paint_key) keeps its cells, and is painted again only where something
  /// painted before it changed below it. The frame is the same cell for cell. The grid
  /// handle_paint is given must then keep what the previous handle_paint left there (a commit
  /// of Terminal::changes keeps it so) and be written by nothing else; a resize or fill of it,
  /// or a canvas not covering it whole, makes the next frame paint everything. The grid
  /// flags the rows it wrote (ScreenBuffer::kept). Off by default; an Application has it on.
  bool reuse_cells = false;
  /// Position of the previous mouse-move event, in screen coordinates.
  dalk::Point previous_mouse{0, 0};

 private:
  std::optional<dalk::Point> paint_kept(Canvas canvas);

  std::shared_ptr<detail::DispatchState> state_;
  std::shared_ptr<detail::KeptFrame> kept_;
};

}  // namespace vn
