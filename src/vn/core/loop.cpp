#include "vn/loop.hpp"

#include <map>
#include <optional>
#include <utility>

#include "vn/event.hpp"
#include "vn/terminal.hpp"

namespace vn {
namespace {

struct TimerFunction {
  std::function<void()> function;
  bool repeat = true;
};

// By timer id; event-loop thread only, like the timers themselves.
std::map<int, TimerFunction>& timer_functions() {
  static std::map<int, TimerFunction> functions;
  return functions;
}

}  // namespace

void quit(int return_code) {
  Terminal::event_queue.enqueue(event::Custom{
      [return_code]() -> std::optional<QuitRequest> { return QuitRequest{return_code}; }});
}

void post(std::function<void()> function) {
  if (!function) {
    return;
  }
  Terminal::event_queue.enqueue(
      event::Custom{[function = std::move(function)]() -> std::optional<QuitRequest> {
        function();
        return std::nullopt;
      }});
}

TimerHandle::TimerHandle(std::chrono::milliseconds period, std::function<void()> function,
                         bool repeat)
    : timer_{std::in_place, period, false} {
  timer_functions()[timer_->id()] = TimerFunction{std::move(function), repeat};
  timer_->start();
}

TimerHandle::TimerHandle(TimerHandle&& other) noexcept
    : timer_{std::exchange(other.timer_, std::nullopt)} {}

TimerHandle& TimerHandle::operator=(TimerHandle&& other) noexcept {
  if (this != &other) {
    stop();
    timer_ = std::move(other.timer_);
    other.timer_.reset();
  }
  return *this;
}

TimerHandle::~TimerHandle() {
  stop();
}

void TimerHandle::stop() {
  if (timer_) {
    timer_functions().erase(timer_->id());
    timer_->stop();
  }
}

bool TimerHandle::is_running() const {
  return timer_ && timer_functions().contains(timer_->id());
}

int TimerHandle::id() const {
  return timer_ ? timer_->id() : -1;
}

TimerHandle every(std::chrono::milliseconds period, std::function<void()> function) {
  return TimerHandle{period, std::move(function), true};
}

TimerHandle after(std::chrono::milliseconds delay, std::function<void()> function) {
  return TimerHandle{delay, std::move(function), false};
}

namespace detail {

void run_timer_function(int id) {
  auto const found = timer_functions().find(id);
  if (found == timer_functions().end()) {
    return;
  }
  // A copy: the function may destroy its own handle.
  TimerFunction const entry = found->second;
  if (!entry.repeat) {
    timer_functions().erase(found);
    Terminal::timers[id].thread.request_stop();
  }
  if (entry.function) {
    entry.function();
  }
}

}  // namespace detail

}  // namespace vn
