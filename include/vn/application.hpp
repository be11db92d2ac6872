// The event loop: it takes events from the process-wide queue one at a time, hands each to the
// application's handlers, and after every event that does not quit repaints the whole tree
// into Terminal::changes and commits it. The loop runs on the thread that called run(); it is
// the only thread that runs widget code or writes to the terminal.
#pragma once

#include <algorithm>
#include <concepts>
#include <optional>
#include <string_view>
#include <variant>

#include "dalk/io.hpp"
#include "dalk/sequence.hpp"
#include "lum/generator.hpp"
#include "vn/commit.hpp"
#include "vn/dispatch.hpp"
#include "vn/event.hpp"
#include "vn/screen_buffer.hpp"
#include "vn/terminal.hpp"
#include "vn/widget.hpp"

namespace vn {

/// Dispatches one event to the matching handler of app (handle_key_press, handle_key_release,
/// handle_mouse_press/release/wheel/move, handle_resize, handle_timer, handle_paste,
/// handle_focus). A Resize first resizes
/// `grid`, the paint grid, to the new size (negative extents count as 0, also for the handler)
/// and blanks it; when the grid is Terminal::changes it also makes the next commit rewrite every
/// cell. event::Custom runs its function (an empty one throws std::bad_function_call);
/// event::Interrupt asks to quit with return code 1. The outer result is empty when App has no
/// handler for the event; the inner one is the handler's quit request, if any. Exceptions from
/// handlers and functions propagate unaltered.
template <typename App>
std::optional<std::optional<QuitRequest>> apply_event(Event const& event, App& app,
                                                      ScreenBuffer& grid = Terminal::changes) {
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
        // A real resize is never negative; a negative extent would make the grid allocate a
        // huge vector.
        dalk::Area const area{std::max(e.area.width, 0), std::max(e.area.height, 0)};
        // The paint grid follows the terminal whatever the application handles,
        // so the next frame is painted at the new size, and in full: the terminal may have
        // lost what it showed (same-size signals come after a resume or a reattach). Only the
        // grid the commit reads has a terminal behind it.
        grid.resize(area);
        if (&grid == &Terminal::changes) {
          detail::request_full_redraw();
        }
        grid.fill(dalk::Glyph{});
        if constexpr (requires { app.handle_resize(area); }) {
          return Result{std::in_place, app.handle_resize(area)};
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
      [&](dalk::Paste const& e) -> Result {
        if constexpr (requires { app.handle_paste(std::string_view{e.text}); }) {
          return Result{std::in_place, app.handle_paste(std::string_view{e.text})};
        } else {
          return std::nullopt;
        }
      },
      [&](dalk::Focus const& e) -> Result {
        if constexpr (requires { app.handle_focus(e.focused); }) {
          return Result{std::in_place, app.handle_focus(e.focused)};
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

/// Connects the event loop to a widget tree with the handlers of TreeDispatcher (head,
/// previous_mouse and the handle_* members come from it): mouse events go to the deepest active
/// widget under the pointer, keys and pastes to the focused widget (Tab / Shift+Tab move focus
/// first), timer ticks and window focus changes to every widget, and painting walks the tree
/// children-first. Event-loop thread
/// only.
class Application : public TreeDispatcher {
 public:
  /// Refers to head (it does not own it) and owns the terminal.
  Application(Widget& head, Terminal terminal);

  /// Runs the event loop until an interrupt (returns 1) or a quit request (returns its code;
  /// vn::quit makes one from any thread). The terminal's session lives as long as the
  /// application, so it may be constructed in one statement and run in the next.
  int run();

  Terminal terminal;
};

}  // namespace vn
