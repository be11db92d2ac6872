// The thread behind a running vn::Timer, kept apart from the timer itself so that widgets
// owning timers do not pull in the threading headers.
#pragma once

#include <chrono>
#include <functional>
#include <stop_token>
#include <thread>

namespace vn {

/// The thread behind one started timer: calls callback once per period, fixed-rate, and sees
/// a stop request within 16 ms.
class TimerThread {
 public:
  /// Idle: no thread.
  TimerThread() = default;
  TimerThread(std::chrono::milliseconds period, std::function<void()> callback);

  static void run(std::stop_token stop, std::function<void()> const& callback,
                  std::chrono::milliseconds period);

  std::jthread thread;
};

}  // namespace vn
