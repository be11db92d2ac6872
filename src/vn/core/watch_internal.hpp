// The input thread's side of vn::watch: while a read loop runs, its waits poll the watched
// descriptors and the library's watcher thread stands aside.
#pragma once

#include <poll.h>

#include <memory>
#include <span>
#include <vector>

namespace vn::detail {

struct Watch;

/// The watched descriptors of one wait, and what it found.
class WatchedDescriptors {
 public:
  /// Takes the watches whose function is not queued; their entries, revents cleared, follow.
  void collect();
  std::span<pollfd> entries() { return entries_; }
  /// Queues the function of each entry the wait found ready, holding its descriptor back
  /// until the function has run; a closed descriptor is let go.
  void post_ready();

 private:
  std::vector<pollfd> entries_;
  std::vector<std::shared_ptr<Watch>> watches_;
};

/// Held by the input thread's read loop while it reads: its waits poll the watched
/// descriptors, and the watcher thread ends until the last such loop lets go.
class InputWatching {
 public:
  InputWatching();
  ~InputWatching();
  InputWatching(InputWatching const&) = delete;
  InputWatching& operator=(InputWatching const&) = delete;

  /// The watched descriptors for the next wait.
  std::span<pollfd> descriptors();
  /// The descriptor to wake the wait with when watching changes: `wake` when it is one (the
  /// quiet wait's), else dalk's wake descriptor while anything is watched, else -1.
  int wake_descriptor(int wake) const;
  /// After a wait: queues the functions of the ready descriptors.
  void post_ready() { descriptors_.post_ready(); }

 private:
  WatchedDescriptors descriptors_;
};

}  // namespace vn::detail
