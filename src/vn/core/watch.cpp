#include "vn/watch.hpp"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "dalk/io.hpp"
#include "vn/core/watch_internal.hpp"
#include "vn/event.hpp"
#include "vn/terminal.hpp"

namespace vn {

namespace detail {

struct Watch {
  Watch(int fd, std::function<void()> function) : fd{fd}, function{std::move(function)} {}

  int const fd;
  std::function<void()> const function;
  // Set by stop(); a queued call looks at it before calling.
  std::atomic<bool> stopped{false};
  // In the watched set: false once stopped or found closed. Written under the set's lock.
  std::atomic<bool> listed{true};
  // Not queued: the pollers wait for it. Under the set's lock.
  bool armed = true;
};

}  // namespace detail

namespace {

using detail::Watch;

// Every watch of the process and whoever polls them: the read loops of terminal sessions, or
// else the watcher thread. Made on first use, so it goes before the event queue at exit, and
// its destructor ends the watcher thread before the queue it posts into is destroyed.
class WatchSet {
 public:
  ~WatchSet();

  // Adds a watch; the pollers take it at their next wait.
  void add(std::shared_ptr<Watch> const& watch);
  // Takes a watch out of the set (stopped, or found closed).
  void remove(Watch& watch);
  // The function of watch has run: poll its descriptor again, unless it left the set.
  void rearm(Watch& watch);

  // The armed watches and their poll entries.
  void collect(std::vector<pollfd>& entries, std::vector<std::shared_ptr<Watch>>& watches);
  // Disarms the watches whose entries are ready and lets closed ones go; those to call are
  // left in `watches`, in order.
  void take_ready(std::span<pollfd const> entries, std::vector<std::shared_ptr<Watch>>& watches);

  void input_loop_started();
  void input_loop_ended();
  bool empty() {
    std::lock_guard const lock{mutex_};
    return watches_.empty();
  }

 private:
  // Wakes whoever polls, so the next wait takes the changed set. Under the lock.
  void changed_locked();
  // Starts the watcher thread when nobody else polls what is watched. Under the lock.
  void start_watcher_locked();
  void run_watcher(std::stop_token const& stop);

  std::mutex mutex_;
  std::vector<std::shared_ptr<Watch>> watches_;
  // Read loops running (at most one: sessions come one at a time).
  int input_loops_ = 0;
  // The watcher thread polls while no read loop does and something is watched.
  std::jthread watcher_;
  // False once the watcher thread has decided to end (under the lock, for the last time).
  bool watcher_running_ = false;
  // Wakes the watcher thread's wait; made with the first watch.
  int watcher_wake_ = -1;
};

WatchSet& watch_set() {
  static WatchSet set;
  return set;
}

void wake(int fd) {
  if (fd >= 0) {
    std::uint64_t const one = 1;
    // Non-blocking: a full counter already wakes the reader.
    [[maybe_unused]] ssize_t const n = ::write(fd, &one, sizeof one);
  }
}

void drain(int fd) {
  std::uint64_t count = 0;
  [[maybe_unused]] ssize_t const n = ::read(fd, &count, sizeof count);
}

WatchSet::~WatchSet() {
  std::jthread running;
  {
    std::lock_guard const lock{mutex_};
    watcher_.request_stop();
    wake(watcher_wake_);
    running = std::move(watcher_);
  }
  // Joined by running's destructor, outside the lock the thread takes to see the request.
}

void WatchSet::add(std::shared_ptr<Watch> const& watch) {
  std::lock_guard const lock{mutex_};
  if (watcher_wake_ < 0) {
    watcher_wake_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (watcher_wake_ < 0) {
      throw std::runtime_error("watch(): eventfd Failed: " + std::to_string(errno));
    }
  }
  watches_.push_back(watch);
  changed_locked();
  start_watcher_locked();
}

void WatchSet::remove(Watch& watch) {
  std::lock_guard const lock{mutex_};
  if (watch.listed.exchange(false)) {
    std::erase_if(watches_, [&watch](auto const& listed) { return listed.get() == &watch; });
    changed_locked();
  }
}

void WatchSet::rearm(Watch& watch) {
  std::lock_guard const lock{mutex_};
  if (watch.listed && !watch.armed) {
    watch.armed = true;
    changed_locked();
  }
}

void WatchSet::collect(std::vector<pollfd>& entries, std::vector<std::shared_ptr<Watch>>& watches) {
  entries.clear();
  watches.clear();
  std::lock_guard const lock{mutex_};
  for (auto const& watch : watches_) {
    if (watch->armed) {
      entries.push_back({watch->fd, POLLIN, 0});
      watches.push_back(watch);
    }
  }
}

void WatchSet::take_ready(std::span<pollfd const> entries,
                          std::vector<std::shared_ptr<Watch>>& watches) {
  std::vector<std::shared_ptr<Watch>> ready;
  {
    std::lock_guard const lock{mutex_};
    for (std::size_t i = 0; i < entries.size(); ++i) {
      Watch& watch = *watches[i];
      // Another poller may have taken it meanwhile (when a session starts or ends), or it
      // was stopped after the set was collected.
      if (entries[i].revents == 0 || !watch.armed || !watch.listed) {
        continue;
      }
      watch.armed = false;
      if ((entries[i].revents & POLLNVAL) != 0) {
        // Closed: one last call, and the number is never polled again (it may be reused).
        watch.listed = false;
        std::erase_if(watches_, [&watch](auto const& listed) { return listed.get() == &watch; });
      }
      ready.push_back(watches[i]);
    }
  }
  watches = std::move(ready);
}

void WatchSet::input_loop_started() {
  std::lock_guard const lock{mutex_};
  ++input_loops_;
  // The watcher thread sees the read loop and ends.
  changed_locked();
}

void WatchSet::input_loop_ended() {
  std::lock_guard const lock{mutex_};
  --input_loops_;
  try {
    start_watcher_locked();
  } catch (...) {
    // No thread to be had: what is watched waits for the next session or watch.
  }
}

void WatchSet::changed_locked() {
  wake(watcher_wake_);
  dalk::detail::wake_input();
}

void WatchSet::start_watcher_locked() {
  if (watcher_running_ || input_loops_ > 0 || watches_.empty() || watcher_wake_ < 0) {
    return;
  }
  // A thread that ended on its own has detached itself: watcher_ holds no thread.
  watcher_ = std::jthread{[this](std::stop_token stop) { run_watcher(stop); }};
  watcher_running_ = true;
}

void WatchSet::run_watcher(std::stop_token const& stop) {
  detail::WatchedDescriptors descriptors;
  for (;;) {
    {
      std::lock_guard const lock{mutex_};
      if (stop.stop_requested()) {
        return;  // the set's destructor joins it
      }
      if (input_loops_ > 0 || watches_.empty()) {
        // Ending on its own, it lets go of itself: nobody joins it, and a thread left
        // unjoined would count as leaked at exit.
        watcher_running_ = false;
        if (watcher_.get_id() == std::this_thread::get_id()) {
          watcher_.detach();
        }
        return;
      }
    }
    descriptors.collect();
    std::vector<pollfd> entries{descriptors.entries().begin(), descriptors.entries().end()};
    entries.push_back({watcher_wake_, POLLIN, 0});
    int const ready = poll(entries.data(), entries.size(), -1);
    if (ready < 0) {
      if (errno != EINTR) {
        // Out of resources: try again a little later rather than spin.
        std::this_thread::sleep_for(std::chrono::milliseconds(16));
      }
      continue;
    }
    if ((entries.back().revents & POLLIN) != 0) {
      drain(watcher_wake_);
    }
    std::copy(entries.begin(), entries.end() - 1, descriptors.entries().begin());
    descriptors.post_ready();
  }
}

// The queued call: nothing once stopped; afterwards the descriptor is polled again, also when
// the function throws (the exception leaves run() as any handler's does).
void call(std::shared_ptr<Watch> const& watch) {
  if (watch->stopped) {
    return;
  }
  struct Rearm {
    Watch& watch;
    ~Rearm() { watch_set().rearm(watch); }
  } const rearm{*watch};
  watch->function();
}

}  // namespace

namespace detail {

void WatchedDescriptors::collect() {
  watch_set().collect(entries_, watches_);
}

void WatchedDescriptors::post_ready() {
  watch_set().take_ready(entries_, watches_);
  // Past the queue's bound: at most one call per watch is queued, so they are few.
  for (auto& watch : watches_) {
    Terminal::event_queue.enqueue(
        event::Custom{[watch = std::move(watch)]() -> std::optional<QuitRequest> {
          call(watch);
          return std::nullopt;
        }});
  }
  watches_.clear();
  entries_.clear();
}

InputWatching::InputWatching() {
  watch_set().input_loop_started();
}

InputWatching::~InputWatching() {
  watch_set().input_loop_ended();
}

std::span<pollfd> InputWatching::descriptors() {
  descriptors_.collect();
  return descriptors_.entries();
}

int InputWatching::wake_descriptor(int wake) const {
  if (wake >= 0 || watch_set().empty()) {
    return wake;
  }
  return dalk::detail::input_wake_descriptor();
}

}  // namespace detail

WatchHandle::WatchHandle(std::shared_ptr<detail::Watch> watch) noexcept
    : watch_{std::move(watch)} {}

WatchHandle& WatchHandle::operator=(WatchHandle&& other) noexcept {
  if (this != &other) {
    stop();
    watch_ = std::move(other.watch_);
  }
  return *this;
}

WatchHandle::~WatchHandle() {
  stop();
}

void WatchHandle::stop() noexcept {
  if (!watch_) {
    return;
  }
  watch_->stopped = true;
  watch_set().remove(*watch_);
  watch_.reset();
}

bool WatchHandle::is_watching() const noexcept {
  return watch_ && !watch_->stopped && watch_->listed;
}

WatchHandle watch(int fd, std::function<void()> function) {
  if (fd < 0) {
    throw std::invalid_argument("watch(): fd is negative");
  }
  if (!function) {
    return WatchHandle{};
  }
  auto watch = std::make_shared<detail::Watch>(fd, std::move(function));
  watch_set().add(watch);
  return WatchHandle{std::move(watch)};
}

}  // namespace vn
