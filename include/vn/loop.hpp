// Helpers around the event loop: ending it and running code on its thread from anywhere, and
// timers that call a function instead of ticking a widget.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include "vn/timer.hpp"

namespace vn {

/// Ends the running loop: run() returns `return_code` once the events queued before this call
/// have been handled. Callable from any thread (it queues an event::Custom).
void quit(int return_code = 0);

/// Runs `function` on the event-loop thread, in queue order, followed by a paint as every
/// event is. Callable from any thread; an empty function is ignored.
void post(std::function<void()> function);

namespace detail {
struct TimerFunction;
}  // namespace detail

/// A function called on the event-loop thread by the ticks of its own timer, which a dispatcher
/// (vn::TreeDispatcher, which Application is) delivers: the dispatcher handling the current
/// event, else the most recently constructed one still alive; created while there is none, the
/// timer waits for the next one constructed. Destroying or stopping the handle stops the timer,
/// and a tick still queued then calls nothing. Created and used on the event-loop thread only.
class TimerHandle {
 public:
  TimerHandle() = default;
  TimerHandle(std::chrono::milliseconds period, std::function<void()> function, bool repeat);

  void stop();
  /// True until stopped, and for a one-shot timer until it has fired.
  bool is_running() const;
  /// The id its ticks carry (vn::testing::Harness::tick takes it); -1 for an empty handle.
  int id() const;

 private:
  // A moved-from handle keeps a moved-from timer; the function says whether it is still in use.
  std::optional<Timer> timer_;
  std::shared_ptr<detail::TimerFunction> function_;
};

/// Calls `function` every `period`, the first time one period from now. A period below 1 ms is
/// taken as 1 ms; calls missed while the process could not run are skipped, not made up.
[[nodiscard]] TimerHandle every(std::chrono::milliseconds period, std::function<void()> function);
/// Calls `function` once, `delay` from now (a delay below 1 ms is taken as 1 ms).
[[nodiscard]] TimerHandle after(std::chrono::milliseconds delay, std::function<void()> function);

namespace detail {

/// Runs the function of the function timer with this id of the dispatcher every() reaches, if
/// there is one; a one-shot timer stops first. Dispatchers run their own after the tree has had
/// the tick.
void run_timer_function(int id);

}  // namespace detail

}  // namespace vn
