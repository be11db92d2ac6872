#include "vn/loop.hpp"

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <thread>
#include <utility>

#include "vn/core/dispatch_state.hpp"
#include "vn/event.hpp"
#include "vn/terminal.hpp"

namespace vn {

namespace {

// The thread of the running event loop; empty while none runs.
std::atomic<std::thread::id> event_loop_thread{};

// How long a posting thread waits for room before it looks again whether a loop still runs.
constexpr auto room_wait_slice = std::chrono::milliseconds(16);

// Only a running loop makes room, and its own thread must never wait for itself.
bool must_wait_for_room() {
  std::thread::id const loop = event_loop_thread.load();
  return loop != std::thread::id{} && loop != std::this_thread::get_id();
}

}  // namespace

void quit(int return_code) {
  Terminal::event_queue.enqueue_front(event::Custom{
      [return_code]() -> std::optional<QuitRequest> { return QuitRequest{return_code}; }});
}

void post(std::function<void()> function) {
  if (!function) {
    return;
  }
  Event event{event::Custom{[function = std::move(function)]() -> std::optional<QuitRequest> {
    function();
    return std::nullopt;
  }}};
  while (must_wait_for_room()) {
    if (Terminal::event_queue.enqueue_within(event, room_wait_slice)) {
      return;
    }
  }
  Terminal::event_queue.enqueue(std::move(event));
}

namespace detail {

EventLoopScope::EventLoopScope() noexcept
    : previous_{event_loop_thread.exchange(std::this_thread::get_id())} {}

EventLoopScope::~EventLoopScope() {
  event_loop_thread.store(previous_);
}

}  // namespace detail

TimerHandle::TimerHandle(std::chrono::milliseconds period, std::function<void()> function,
                         bool repeat)
    : timer_{std::in_place, period, false},
      function_{std::make_shared<detail::TimerFunction>(
          detail::TimerFunction{std::move(function), repeat})} {
  std::map<int, std::weak_ptr<detail::TimerFunction>>& functions =
      detail::current_dispatch_state()->timer_functions;
  std::erase_if(functions, [](auto const& entry) { return entry.second.expired(); });
  functions[timer_->id()] = function_;
  timer_->start();
}

void TimerHandle::stop() {
  if (function_) {
    function_->running = false;
    timer_->stop();
  }
}

bool TimerHandle::is_running() const {
  return function_ && function_->running;
}

int TimerHandle::id() const {
  return function_ ? timer_->id() : -1;
}

TimerHandle every(std::chrono::milliseconds period, std::function<void()> function) {
  return TimerHandle{period, std::move(function), true};
}

TimerHandle after(std::chrono::milliseconds delay, std::function<void()> function) {
  return TimerHandle{delay, std::move(function), false};
}

namespace detail {

void DispatchState::run_timer_function(int id) {
  auto const found = timer_functions.find(id);
  if (found == timer_functions.end()) {
    return;
  }
  // Held while it runs: the function may destroy its own handle.
  std::shared_ptr<TimerFunction> const entry = found->second.lock();
  if (!entry || !entry->running) {
    return;
  }
  if (!entry->repeat) {
    entry->running = false;
    Terminal::timers[id].thread.request_stop();
  }
  if (entry->function) {
    entry->function();
  }
}

void run_timer_function(int id) {
  current_dispatch_state()->run_timer_function(id);
}

}  // namespace detail

}  // namespace vn
