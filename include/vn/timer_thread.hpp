// The thread behind a running vn::Timer, kept apart from the timer itself so that widgets
// owning timers do not pull in the threading headers.
#pragma once

#include <chrono>
#include <functional>
#include <stop_token>
#include <thread>

namespace vn {

/// The thread behind one started timer: calls callback once per period, fixed-rate, and sees
/// a stop request within 16 ms. A period below 1 ms is taken as 1 ms. Ticks missed while the
/// thread could not run (the process stopped) are skipped, not replayed.
class TimerThread {
 public:
  /// The shortest period a timer ticks at.
  static constexpr std::chrono::milliseconds shortest_period{1};

  /// Idle: no thread.
  TimerThread() = default;
  TimerThread(std::chrono::milliseconds period, std::function<void()> callback);

  static void run(std::stop_token stop, std::function<void()> const& callback,
                  std::chrono::milliseconds period);

  /// When the tick after the one due at `due`, fired at `now`, is due: one period later, or,
  /// when that has passed already, the first tick of the same rhythm after now.
  static std::chrono::steady_clock::time_point following_tick(
      std::chrono::steady_clock::time_point due, std::chrono::steady_clock::time_point now,
      std::chrono::milliseconds period);

  std::jthread thread;
};

}  // namespace vn
