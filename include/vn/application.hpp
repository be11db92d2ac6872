// The event loop: it takes events from the process-wide queue one at a time, hands each to the
// application's handlers, and after every event that does not quit repaints the whole tree
// into Terminal::changes and commits it. The loop runs on the thread that called run(); it is
// the only thread that runs widget code or writes to the terminal.
#pragma once

#include <concepts>
#include <optional>
#include <variant>

#include "dalk/io.hpp"
#include "lum/generator.hpp"
#include "vn/terminal.hpp"
#include "vn/widget.hpp"

namespace vn {

/// Dispatches one event to the matching handler of app (handle_key_press, handle_key_release,
/// handle_mouse_press/release/wheel/move, handle_resize, handle_timer). A Resize first resizes
/// Terminal::changes to the new size and blanks it, and makes the next commit rewrite every
/// cell. event::Custom runs its function (an empty
/// one throws std::bad_function_call); event::Interrupt asks to quit with return code 1. The
/// outer result is empty when App has no handler for the event; the inner one is the handler's
/// quit request, if any. Exceptions from handlers and functions propagate unaltered.
template <typename App>
std::optional<std::optional<QuitRequest>> apply_event(Event const& event, App& app) {
  using Result = std::optional<std::optional<QuitRequest>>;
  auto const visitor = lum::Overload{
      [&](dalk::KeyPress const& e) -> Result {
        if constexpr (requires { app.handle_key_press(e.key); }) {
          return Result{std::in_place, app.handle_key_press(e.key)};
        } else {
          return std::nullopt;
        }
      },
      [&](dalk::KeyRelease const& e) -> Result {
        if constexpr (requires { app.handle_key_release(e.key); }) {
          return Result{std::in_place, app.handle_key_release(e.key)};
        } else {
          return std::nullopt;
        }
      },
      [&](dalk::MousePress const& e) -> Result {
        if constexpr (requires { app.handle_mouse_press(e.mouse); }) {
          return Result{std::in_place, app.handle_mouse_press(e.mouse)};
        } else {
          return std::nullopt;
        }
      },
      [&](dalk::MouseRelease const& e) -> Result {
        if constexpr (requires { app.handle_mouse_release(e.mouse); }) {
          return Result{std::in_place, app.handle_mouse_release(e.mouse)};
        } else {
          return std::nullopt;
        }
      },
      [&](dalk::MouseWheel const& e) -> Result {
        if constexpr (requires { app.handle_mouse_wheel(e.mouse); }) {
          return Result{std::in_place, app.handle_mouse_wheel(e.mouse)};
        } else {
          return std::nullopt;
        }
      },
      [&](dalk::MouseMove const& e) -> Result {
        if constexpr (requires { app.handle_mouse_move(e.mouse); }) {
          return Result{std::in_place, app.handle_mouse_move(e.mouse)};
        } else {
          return std::nullopt;
        }
      },
      [&](dalk::Resize const& e) -> Result {
        // The paint grid follows the terminal whatever the application handles,
        // so the next frame is painted at the new size, and in full: the terminal may have
        // lost what it showed (same-size signals come after a resume or a reattach).
        Terminal::changes.resize(e.area);
        detail::request_full_redraw();
        Terminal::changes.fill(dalk::Glyph{});
        if constexpr (requires { app.handle_resize(e.area); }) {
          return Result{std::in_place, app.handle_resize(e.area)};
        } else {
          return std::nullopt;
        }
      },
      [&](event::Timer const& e) -> Result {
        if constexpr (requires { app.handle_timer(e.id); }) {
          return Result{std::in_place, app.handle_timer(e.id)};
        } else {
          return std::nullopt;
        }
      },
      [](event::Custom const& e) -> Result {
        return Result{std::in_place, e.function()};
      },
      [](event::Interrupt const&) -> Result {
        return Result{std::in_place, QuitRequest{1}};
      },
  };
  return std::visit(visitor, event);
}

/// The event loop: pops events (waiting while there are none) and applies each. Returns the
/// return code of the first quit request (1 for an interrupt); that event is not painted. After
/// every other handled event it calls app.handle_paint with a canvas over the whole of
/// Terminal::changes at (0, 0), stores the returned cursor in Terminal::cursor and commits.
/// Events App has no handler for cause no paint. Exceptions from handlers, from painting and
/// from custom functions leave the loop unaltered; so does a failure of the input thread,
/// which arrives as an event::Custom that rethrows it. Events still queued stay queued.
template <typename App>
requires requires(App& app, Canvas canvas) {
  { app.handle_paint(canvas) } -> std::convertible_to<std::optional<dalk::Point>>;
}
int process_events(Terminal& terminal, App& app) {
  for (;;) {
    Event const event = Terminal::event_queue.pop();
    auto const result = apply_event(event, app);
    if (!result) {
      continue;
    }
    if (*result) {
      return (*result)->return_code;
    }
    Terminal::cursor = app.handle_paint(Canvas{Terminal::changes, {0, 0}, Terminal::changes.area});
    terminal.commit_changes();
  }
}

namespace detail {

// The dispatch rules of Application as free functions over a widget tree, so that the same
// code serves a running application and a tree driven without a terminal.

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
/// Gives the key to the focused widget, if any.
void dispatch_key_release(dalk::Key key);
/// Stores area in the head's size, then calls head.resize(previous size).
void dispatch_resize(Widget& head, dalk::Area area);
/// Calls timer(id) on every widget of the tree, active or not, in pre-order.
void dispatch_timer(Widget& head, int id);
/// Paints every active widget children-first (a parent paints over its children) and returns
/// the focused widget's cursor in absolute coordinates, if it was painted and has one.
std::optional<dalk::Point> paint_tree(Widget& head, Canvas canvas);

}  // namespace detail

/// Connects the event loop to a widget tree: mouse events go to the deepest active widget
/// under the pointer, keys to the focused widget (Tab / Shift+Tab move focus first), timer
/// ticks to every widget, and painting walks the tree children-first. Event-loop thread only.
class Application {
 public:
  /// Refers to head (it does not own it) and owns the terminal.
  Application(Widget& head, Terminal terminal);

  /// Runs the event loop until an interrupt (returns 1) or a quit request (returns its code).
  /// Construct the application and call run() in one expression.
  int run();

  std::optional<QuitRequest> handle_mouse_press(dalk::Mouse mouse);
  std::optional<QuitRequest> handle_mouse_release(dalk::Mouse mouse);
  std::optional<QuitRequest> handle_mouse_wheel(dalk::Mouse mouse);
  std::optional<QuitRequest> handle_mouse_move(dalk::Mouse mouse);
  std::optional<QuitRequest> handle_key_press(dalk::Key key);
  std::optional<QuitRequest> handle_key_release(dalk::Key key);
  std::optional<QuitRequest> handle_resize(dalk::Area area);
  std::optional<QuitRequest> handle_timer(int id);
  std::optional<dalk::Point> handle_paint(Canvas canvas);

  Widget& head;
  Terminal terminal;
  /// Position of the previous mouse-move event, in screen coordinates.
  dalk::Point previous_mouse{0, 0};
};

}  // namespace vn
