#include "vn/timer.hpp"

#include <algorithm>
#include <chrono>
#include <functional>
#include <stop_token>
#include <thread>
#include <utility>

#include "vn/event.hpp"
#include "vn/terminal.hpp"
#include "vn/timer_thread.hpp"

namespace vn {

int Timer::next_id_ = 0;

namespace {

// The longest a timer thread sleeps, so that it sees a stop request promptly.
constexpr auto check_interval = std::chrono::milliseconds(16);

}  // namespace

TimerThread::TimerThread(std::chrono::milliseconds period, std::function<void()> callback)
    : thread{[period, callback = std::move(callback)](std::stop_token stop) {
        run(std::move(stop), callback, period);
      }} {}

std::chrono::steady_clock::time_point TimerThread::following_tick(
    std::chrono::steady_clock::time_point due, std::chrono::steady_clock::time_point now,
    std::chrono::milliseconds period) {
  period = std::max(period, shortest_period);
  auto next = due + period;
  if (next <= now) {
    // Behind (the process was stopped, or the machine busy): the missed ticks are skipped, and
    // the rhythm goes on from the first tick after now.
    next += ((now - next) / period + 1) * period;
  }
  return next;
}

void TimerThread::run(std::stop_token stop, std::function<void()> const& callback,
                      std::chrono::milliseconds period) {
  using clock = std::chrono::steady_clock;
  period = std::max(period, shortest_period);
  auto next = clock::now() + period;
  while (!stop.stop_requested()) {
    auto const now = clock::now();
    if (now >= next) {
      callback();
      next = following_tick(next, now, period);
    }
    auto const wait = std::min<clock::duration>(next - now, check_interval);
    if (wait > clock::duration::zero()) {
      std::this_thread::sleep_for(wait);
    }
  }
}

Timer::Timer(std::chrono::milliseconds duration, bool launch)
    : id_{next_id_++}, duration_{duration} {
  Terminal::timers.try_emplace(id_);
  if (launch) {
    start();
  }
}

Timer::Timer(Timer&& other) noexcept
    : id_{other.id_}, duration_{other.duration_}, running_{std::exchange(other.running_, false)} {}

Timer& Timer::operator=(Timer&& other) noexcept {
  if (this != &other) {
    if (running_) {
      stop();
    }
    id_ = other.id_;
    duration_ = other.duration_;
    running_ = std::exchange(other.running_, false);
  }
  return *this;
}

Timer::~Timer() {
  if (running_) {
    stop();
  }
}

void Timer::start() {
  running_ = true;
  // The callback captures the id, not this object, so moving the timer does not disturb it.
  int const id = id_;
  TimerThread thread{duration_, [id] { Terminal::event_queue.enqueue_once(event::Timer{id}); }};
  // Replacing a running thread asks it to stop and joins it first.
  Terminal::timers[id_] = std::move(thread);
}

void Timer::stop() {
  Terminal::timers[id_].thread.request_stop();
  running_ = false;
}

}  // namespace vn
