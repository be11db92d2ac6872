// Reading a pipe or a socket while the interface runs, without a thread of one's own: a watched
// descriptor's function runs on the event-loop thread, as vn::post runs it, whenever the
// descriptor is readable. The input thread waits for the watched descriptors in the same poll
// as for the terminal's input.
#pragma once

#include <functional>
#include <memory>

namespace vn {

namespace detail {
struct Watch;
}  // namespace detail

/// Keeps a descriptor watched (see vn::watch) until it is stopped or destroyed; moved, never
/// copied. Stopping and destroying are safe from any thread while the descriptor is polled.
class WatchHandle {
 public:
  /// Watches nothing.
  WatchHandle() = default;
  WatchHandle(WatchHandle&& other) noexcept = default;
  /// Stops this handle's watch first, then takes over other's.
  WatchHandle& operator=(WatchHandle&& other) noexcept;
  ~WatchHandle();

  /// Stops watching: once it returns the function is never called again (a call already queued
  /// does nothing); called from another thread than the loop's, a call the loop has already
  /// begun finishes. The descriptor stays open: it is the caller's.
  void stop() noexcept;
  /// True until stopped, or until the descriptor was found closed (its last call queued).
  bool is_watching() const noexcept;

 private:
  friend WatchHandle watch(int fd, std::function<void()> function);
  explicit WatchHandle(std::shared_ptr<detail::Watch> watch) noexcept;

  std::shared_ptr<detail::Watch> watch_;
};

/// Calls `function` on the event-loop thread whenever `fd` is readable, and also at its end and
/// on an error (hang-up, failure): the function reads and finds 0 or the error, and should then
/// stop the handle or close the descriptor, for it is called again while the end stays. Once
/// queued, the function is not queued again for `fd` until it has run, so a descriptor that
/// stays readable never floods the queue; one the function leaves unread calls it again.
/// A descriptor found closed (poll's POLLNVAL) gets one last call, and watching it stops.
///
/// While a vn::Terminal's input thread runs, it waits for the watched descriptors along with
/// the terminal's input (asleep while nothing is ready under Extension::QuietIdle; otherwise in
/// its 16 ms waits). Before a session, after it and without one (vn::testing::Harness, whose
/// run_queued delivers the calls), a single watcher thread of the library polls them instead;
/// it runs only while something is watched. Callable from any thread; an empty function
/// watches nothing. Throws std::invalid_argument "watch(): fd is negative".
[[nodiscard]] WatchHandle watch(int fd, std::function<void()> function);

}  // namespace vn
