// The event loop: it takes events from the process-wide queue one at a time, hands each to the
// application's handlers, and once the queue is drained (or a frame interval after the last
// commit, under a stream that never drains it) repaints the whole tree into Terminal::changes
// and commits it. The loop runs on the thread that called run(); it is the only thread that
// runs widget code or writes to the terminal.
#pragma once

#include <algorithm>
#include <chrono>
#include <concepts>
#include <optional>
#include <string_view>
#include <type_traits>
#include <variant>

#include "dalk/io.hpp"
#include "dalk/sequence.hpp"
#include "lum/generator.hpp"
#include "vn/commit.hpp"
#include "vn/dispatch.hpp"
#include "vn/event.hpp"
#include "vn/loop.hpp"
#include "vn/screen_buffer.hpp"
#include "vn/terminal.hpp"
#include "vn/widget.hpp"

namespace vn {

namespace detail {

// The handler each event of the original set reaches in an application type, by its name there
// (a type may offer any of them). Events without a name here reach app.handle(event).
// clang-format off
inline constexpr lum::Overload named_handler{
  [](auto& a, dalk::MousePress const& e) -> decltype(a.handle_mouse_press(e.mouse)) { return a.handle_mouse_press(e.mouse); },
  [](auto& a, dalk::MouseRelease const& e) -> decltype(a.handle_mouse_release(e.mouse)) { return a.handle_mouse_release(e.mouse); },
  [](auto& a, dalk::MouseWheel const& e) -> decltype(a.handle_mouse_wheel(e.mouse)) { return a.handle_mouse_wheel(e.mouse); },
  [](auto& a, dalk::MouseMove const& e) -> decltype(a.handle_mouse_move(e.mouse)) { return a.handle_mouse_move(e.mouse); },
  [](auto& a, dalk::KeyPress const& e) -> decltype(a.handle_key_press(e.key)) { return a.handle_key_press(e.key); },
  [](auto& a, dalk::KeyRelease const& e) -> decltype(a.handle_key_release(e.key)) { return a.handle_key_release(e.key); },
  [](auto& a, dalk::Resize const& e) -> decltype(a.handle_resize(e.area)) { return a.handle_resize(e.area); },
  [](auto& a, event::Timer const& e) -> decltype(a.handle_timer(e.id)) { return a.handle_timer(e.id); },
  [](auto& a, dalk::Paste const& e) -> decltype(a.handle_paste(std::string_view{e.text})) { return a.handle_paste(std::string_view{e.text}); },
  [](auto& a, dalk::Focus const& e) -> decltype(a.handle_focus(e.focused)) { return a.handle_focus(e.focused); },
};
// clang-format on

/// What apply_event returns: empty when the application has no handler for the event.
using Applied = std::optional<std::optional<QuitRequest>>;

/// The application's handler for one input event or tick: the named one, else app.handle.
template <typename App, typename E>
Applied reach_handler(App& app, E const& alternative) {
  if constexpr (requires { named_handler(app, alternative); }) {
    return Applied{std::in_place, named_handler(app, alternative)};
  } else if constexpr (requires { app.handle(Event{alternative}); }) {
    return Applied{std::in_place, app.handle(Event{alternative})};
  } else {
    return std::nullopt;
  }
}

}  // namespace detail

/// Dispatches one event to the matching handler of app: the named one its type has
/// (handle_key_press, handle_key_release, handle_mouse_press/release/wheel/move,
/// handle_resize, handle_timer, handle_paste, handle_focus), else app.handle(event), which
/// TreeDispatcher has for every event. A Resize first resizes
/// `grid`, the paint grid, to the new size (negative extents count as 0, also for the handler)
/// and blanks it; when the grid is Terminal::changes it also makes the next commit rewrite every
/// cell. event::Custom runs its function (an empty one throws std::bad_function_call);
/// event::Interrupt asks to quit with return code 1. The outer result is empty when App has no
/// handler for the event; the inner one is the handler's quit request, if any. Exceptions from
/// handlers and functions propagate unaltered.
template <typename App>
std::optional<std::optional<QuitRequest>> apply_event(Event const& event, App& app,
                                                      ScreenBuffer& grid = Terminal::changes) {
  return std::visit(
      [&]<typename E>(E const& alternative) -> detail::Applied {
        if constexpr (std::is_same_v<E, event::Custom>) {
          return detail::Applied{std::in_place, alternative.function()};
        } else if constexpr (std::is_same_v<E, event::Interrupt>) {
          return detail::Applied{std::in_place, QuitRequest{1}};
        } else if constexpr (std::is_same_v<E, dalk::Resize>) {
          // A real resize is never negative; a negative extent would make the grid allocate a
          // huge vector.
          dalk::Area const area{std::max(alternative.area.width, 0),
                                std::max(alternative.area.height, 0)};
          // The paint grid follows the terminal whatever the application handles, so the next
          // frame is painted at the new size, and in full: the terminal may have lost what it
          // showed (same-size signals come after a resume or a reattach). Only the grid the
          // commit reads has a terminal behind it.
          grid.resize(area);
          if (&grid == &Terminal::changes) {
            detail::request_full_redraw();
          }
          grid.fill(dalk::Glyph{});
          return detail::reach_handler(app, dalk::Resize{area});
        } else {
          return detail::reach_handler(app, alternative);
        }
      },
      event);
}

/// The longest the event loop goes without a frame while events keep coming: under a stream
/// that never drains the queue it still paints and commits once per interval (about 60 frames
/// a second).
inline constexpr std::chrono::milliseconds frame_interval{16};

/// The event loop: pops events (waiting while there are none) and applies each. Returns the
/// return code of the first quit request (1 for an interrupt); that event is not painted. Once
/// a handled event has left the queue empty it calls app.handle_paint with a canvas over the
/// whole of Terminal::changes at (0, 0), stores the returned cursor in Terminal::cursor and
/// commits; while more events are queued it paints only when frame_interval has passed since
/// the last commit, so a burst shows its final screen once and the frames between that nobody
/// could see are skipped. Events App has no handler for cause no paint of their own. Exceptions
/// from handlers, from painting and from custom functions leave the loop unaltered; so does a
/// failure of the input thread, which arrives as an event::Custom that rethrows it. Events
/// still queued stay queued. While it runs, this thread is the one vn::post never waits on.
template <typename App>
requires requires(App& app, Canvas canvas) {
  { app.handle_paint(canvas) } -> std::convertible_to<std::optional<dalk::Point>>;
}
int process_events(Terminal& terminal, App& app) {
  detail::EventLoopScope const loop_thread;
  using Clock = std::chrono::steady_clock;
  // The first frame is never held back.
  Clock::time_point last_commit = Clock::now() - frame_interval;
  bool unpainted = false;
  for (;;) {
    {
      Event const event = Terminal::event_queue.pop();
      auto const result = apply_event(event, app);
      if (result && *result) {
        return (*result)->return_code;
      }
      unpainted = unpainted || result.has_value();
    }
    if (!unpainted ||
        (!Terminal::event_queue.empty() && Clock::now() - last_commit < frame_interval)) {
      continue;
    }
    Terminal::cursor = app.handle_paint(Canvas{Terminal::changes, {0, 0}, Terminal::changes.area});
    terminal.commit_changes();
    last_commit = Clock::now();
    unpainted = false;
  }
}

/// Connects the event loop to a widget tree with the handlers of TreeDispatcher (head,
/// previous_mouse, the handle_* members and the key bindings come from it): mouse events go to
/// the deepest active widget under the pointer, keys and pastes to the focused widget (Tab /
/// Shift+Tab move focus first), timer ticks and window focus changes to every widget, and
/// painting walks the tree children-first. Keys for the whole application are bound with
/// bind(), no subclass needed. Event-loop thread only.
class Application : public TreeDispatcher {
 public:
  /// Refers to head (it does not own it) and owns the terminal. Paints only what changed
  /// (reuse_cells is on); turn it off before run() for a paint of the whole tree every frame.
  Application(Widget& head, Terminal terminal);

  /// Runs the event loop until an interrupt (returns 1) or a quit request (returns its code;
  /// vn::quit makes one from any thread). The terminal's session lives as long as the
  /// application, so it may be constructed in one statement and run in the next.
  int run();

  Terminal terminal;
};

}  // namespace vn
