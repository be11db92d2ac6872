// Helpers around the event loop: ending it and running code on its thread from anywhere, and
// timers that call a function instead of ticking a widget.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

#include "vn/timer.hpp"

namespace vn {

/// Ends the running loop: run() returns `return_code` after the event being handled, ahead of
/// the events still queued (they stay queued); of several quits and interrupts the first queued
/// wins. Callable from any thread (it puts an event::Custom ahead) and never waits.
void quit(int return_code = 0);

/// Runs `function` on the event-loop thread, in queue order; the tree is repainted once the
/// queue is drained (see vn::process_events). Callable from any thread; an empty function is
/// ignored. While an event loop runs, a thread other than the loop's waits while the queue
/// holds its bound (vn::ConcurrentQueue::default_capacity events), so a thread posting faster
/// than the loop handles is slowed to the loop's pace instead of growing the queue. On the
/// loop's own thread (a handler posting) and while no loop runs it queues at once.
void post(std::function<void()> function);

namespace detail {
struct TimerFunction;

/// Marks the calling thread as the running event loop's for the object's life, restoring the
/// previous mark after: vn::process_events and Harness::run_queued hold one while they take
/// events. vn::post waits for room only from other threads, and only while a mark is held.
class EventLoopScope {
 public:
  EventLoopScope() noexcept;
  ~EventLoopScope();
  EventLoopScope(EventLoopScope const&) = delete;
  EventLoopScope& operator=(EventLoopScope const&) = delete;

 private:
  std::thread::id previous_;
};

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
