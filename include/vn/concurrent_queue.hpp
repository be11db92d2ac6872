// The queue through which every thread hands events to the event loop.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <iterator>
#include <list>
#include <mutex>
#include <optional>
#include <set>
#include <utility>

namespace vn {

/// A multi-producer queue with a bound; pop() waits while it is empty. Producers that can wait
/// (enqueue_within, enqueue_replacing_within) are held back while it holds `capacity` items, so
/// a burst takes bounded memory; enqueue, enqueue_front and enqueue_once never wait and pass the
/// bound, for items that must not wait or are few by nature. Items a key function (given at
/// construction) gives a key coalesce through enqueue_once: one of each key at a time.
template <typename T>
class ConcurrentQueue {
 public:
  /// The bound of vn::Terminal::event_queue: 1024 events, a few pages of typing, enough to keep
  /// the loop busy between two reads and small next to what one frame takes.
  static constexpr std::size_t default_capacity = 1024;
  /// Gives an item a key for enqueue_once, or none.
  using KeyFunction = std::optional<int> (*)(T const&);

  explicit ConcurrentQueue(std::size_t capacity = default_capacity, KeyFunction key = nullptr)
      : capacity{std::max<std::size_t>(capacity, 1)}, key_{key} {}

  /// Appends item whatever the bound; callable from any thread. The node is allocated outside
  /// the lock.
  void enqueue(T item) {
    std::list<T> node = make_node(std::move(item));
    {
      std::lock_guard lock{mutex};
      queue.splice(queue.end(), node);
    }
    condition.notify_one();
  }

  /// Puts item ahead of every item queued with the other functions, behind those already put
  /// ahead (urgent items keep their order), whatever the bound; callable from any thread.
  void enqueue_front(T item) {
    std::list<T> node = make_node(std::move(item));
    {
      std::lock_guard lock{mutex};
      urgent_ = std::min(urgent_, queue.size());
      queue.splice(std::next(queue.begin(), static_cast<std::ptrdiff_t>(urgent_)), node);
      ++urgent_;
    }
    condition.notify_one();
  }

  /// Appends item if the queue holds fewer than `capacity` items; else waits up to timeout for
  /// it to drain to half of them. Returns false, with item left as it was, when there was no
  /// room by then.
  bool enqueue_within(T& item, std::chrono::milliseconds timeout) {
    return enqueue_replacing_within(item, timeout, [](T const&) { return false; });
  }

  /// Puts item in place of the first queued item for which same(queued) holds (it keeps that
  /// item's place and takes no room); else as enqueue_within. same runs under the lock on
  /// every queued item: for rare items only.
  template <typename Same>
  bool enqueue_replacing_within(T& item, std::chrono::milliseconds timeout, Same same) {
    std::list<T> node = make_node(std::move(item));
    {
      std::unique_lock lock{mutex};
      auto const found = std::find_if(queue.begin(), queue.end(), same);
      if (found != queue.end()) {
        *found = std::move(node.front());
        return true;
      }
      if (queue.size() >= capacity) {
        // Woken once half the queue has drained, not for every item taken: waking a producer
        // per item would cost the consumer a thread switch per item.
        room_.wait_for(lock, timeout, [this] { return queue.size() <= low_water(); });
        if (queue.size() >= capacity) {
          item = std::move(node.front());
          return false;
        }
      }
      queue.splice(queue.end(), node);
    }
    condition.notify_one();
    return true;
  }

  /// Appends item unless an item with the same key is queued, whatever the bound; an item the
  /// key function gives no key is appended. Returns whether it was appended.
  bool enqueue_once(T item) {
    std::optional<int> const key = key_ != nullptr ? key_(item) : std::nullopt;
    std::list<T> node = make_node(std::move(item));
    {
      std::lock_guard lock{mutex};
      if (queue.empty()) {
        // Whatever was cleared from the outside cannot hold a key back.
        keyed_.clear();
      }
      if (key && !keyed_.insert(*key).second) {
        return false;
      }
      queue.splice(queue.end(), node);
    }
    condition.notify_one();
    return true;
  }

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

  /// How many items are queued.
  std::size_t size() {
    std::lock_guard lock{mutex};
    return queue.size();
  }

  /// Whether nothing is queued.
  bool empty() { return size() == 0; }

  /// The bound producers that can wait are held to.
  std::size_t const capacity;
  std::mutex mutex;
  std::condition_variable condition;
  std::list<T> queue;

 private:
  static std::list<T> make_node(T&& item) {
    std::list<T> node;
    node.push_back(std::move(item));
    return node;
  }

  T take_front(std::unique_lock<std::mutex>& lock) {
    std::list<T> node;
    node.splice(node.end(), queue, queue.begin());
    if (urgent_ > 0) {
      --urgent_;
    }
    if (!keyed_.empty() && key_ != nullptr) {
      if (std::optional<int> const key = key_(node.front())) {
        keyed_.erase(*key);
      }
    }
    bool const room = queue.size() == low_water();
    lock.unlock();
    if (room) {
      room_.notify_all();
    }
    return std::move(node.front());
  }

  std::size_t low_water() const { return capacity / 2; }

  std::condition_variable room_;
  KeyFunction key_;
  // How many items at the front were put ahead and are still queued.
  std::size_t urgent_ = 0;
  // The keys of the items enqueue_once has queued.
  std::set<int> keyed_;
};

}  // namespace vn
