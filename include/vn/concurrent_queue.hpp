// The queue through which every thread hands events to the event loop.
#pragma once

#include <chrono>
#include <condition_variable>
#include <list>
#include <mutex>
#include <optional>
#include <utility>

namespace vn {

/// An unbounded multi-producer queue; pop() waits while it is empty.
template <typename T>
class ConcurrentQueue {
 public:
  /// Appends item; callable from any thread. The node is allocated outside the lock.
  void enqueue(T item) { insert(std::move(item), false); }

  /// Puts item ahead of every queued item, so it is popped next; callable from any thread.
  void enqueue_front(T item) { insert(std::move(item), true); }

  /// Removes and returns the front item (the oldest unless one was put ahead), waiting while
  /// there is none.
  T pop() {
    std::unique_lock lock{mutex};
    condition.wait(lock, [this] { return !queue.empty(); });
    return take_front(lock);
  }

  /// Like pop(), but gives up after timeout.
  std::optional<T> pop_for(std::chrono::milliseconds timeout) {
    std::unique_lock lock{mutex};
    if (!condition.wait_for(lock, timeout, [this] { return !queue.empty(); })) {
      return std::nullopt;
    }
    return take_front(lock);
  }

  std::mutex mutex;
  std::condition_variable condition;
  std::list<T> queue;

 private:
  void insert(T item, bool at_front) {
    std::list<T> node;
    node.push_back(std::move(item));
    {
      std::lock_guard lock{mutex};
      queue.splice(at_front ? queue.begin() : queue.end(), node);
    }
    condition.notify_one();
  }

  T take_front(std::unique_lock<std::mutex>& lock) {
    std::list<T> node;
    node.splice(node.end(), queue, queue.begin());
    lock.unlock();
    return std::move(node.front());
  }
};

}  // namespace vn
