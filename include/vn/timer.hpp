// Timers: a widget owns a Timer, and the event loop receives event::Timer with its id once per
// period. The threads behind running timers live in vn/timer_thread.hpp.
#pragma once

#include <chrono>

namespace vn {

/// Makes the event loop receive event::Timer with this timer's id once per period (a period
/// below 1 ms ticks every 1 ms); while one of its ticks is still queued, the next is not queued
/// (ticks never pile up behind a busy loop), and ticks missed while the process could not run
/// are skipped, not replayed. Created, started and stopped on the event-loop thread only.
class Timer {
 public:
  /// Takes the next id; starts at once when launch is true. duration() reports `duration` as
  /// given, below 1 ms too.
  Timer(std::chrono::milliseconds duration, bool launch);
  Timer(Timer&& other) noexcept;
  Timer& operator=(Timer&& other) noexcept;
  Timer(Timer const&) = delete;
  Timer& operator=(Timer const&) = delete;
  ~Timer();

  /// (Re)starts the period from now; waits for a previous thread of this id to end.
  void start();
  /// Asks the thread to end without waiting; a tick may still arrive afterwards.
  void stop();
  int id() const { return id_; }
  std::chrono::milliseconds duration() const { return duration_; }
  bool is_running() const { return running_; }

  /// The id the next timer gets; the first timer of a process has id 0.
  static int next_id_;

 private:
  int id_;
  std::chrono::milliseconds duration_;
  bool running_ = false;
};

}  // namespace vn
