// A lazy, move-only sequence produced by a coroutine. Widgets enumerate their children through
// Generator<Widget&>, and text is decoded lazily through Generator<char32_t>. Values are never
// copied: the iterator hands out a reference to what the body yielded.
#pragma once

#include <coroutine>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <iterator>
#include <memory>
#include <new>
#include <stdexcept>
#include <type_traits>
#include <utility>

namespace lum {

namespace detail {

/// Coroutine frames recycled per thread: painting enumerates every widget's children after
/// every event, and a frame from the heap each time was an allocation per widget per paint.
/// Frames up to 1 KiB are kept by size in steps of 64 bytes, at most 256 of each size.
class FramePool {
 public:
  static void* take(std::size_t size) {
    std::size_t const kind = kind_of(size);
    Lists& lists = lists_;
    if (kind < kinds && lists.free[kind] != nullptr) {
      Block* const block = lists.free[kind];
      lists.free[kind] = block->next;
      --lists.kept[kind];
      return block;
    }
    return ::operator new(kind < kinds ? (kind + 1) * step : size);
  }

  static void give(void* frame, std::size_t size) noexcept {
    std::size_t const kind = kind_of(size);
    Lists& lists = lists_;
    if (kind >= kinds || lists.closed || lists.kept[kind] >= max_kept) {
      ::operator delete(frame);
      return;
    }
    if (!lists.owned) {
      // The first frame kept: the thread's lists are emptied when it ends.
      thread_local Owner const owner;
      lists.owned = true;
    }
    lists.free[kind] = new (frame) Block{lists.free[kind]};
    ++lists.kept[kind];
  }

 private:
  struct Block {
    Block* next;
  };
  static constexpr std::size_t step = 64;
  static constexpr std::size_t kinds = 16;
  static constexpr std::size_t max_kept = 256;

  // Trivial, so that finding it is one access to the thread's storage, and it outlives
  // everything the thread destroys: frames freed once the lists are emptied go to the heap.
  struct Lists {
    Block* free[kinds];
    std::uint16_t kept[kinds];
    bool owned;
    bool closed;
  };
  static inline thread_local Lists lists_{};

  struct Owner {
    Owner() = default;
    Owner(Owner const&) = delete;
    Owner& operator=(Owner const&) = delete;
    ~Owner() {
      lists_.closed = true;
      for (Block*& block : lists_.free) {
        while (block != nullptr) {
          ::operator delete(std::exchange(block, block->next));
        }
      }
    }
  };

  static std::size_t kind_of(std::size_t size) { return size == 0 ? 0 : (size - 1) / step; }
};

}  // namespace detail

/// A lazy sequence of T (a value type, or a reference type such as Widget&) produced by a
/// coroutine body. Nothing of the body runs before begin(); an exception escaping the body ends
/// the sequence after the elements yielded so far and is never rethrown. Move-only; a
/// moved-from generator is empty. Iterators borrow the frame and must not outlive it.
template <typename T>
class Generator {
 public:
  using value_type = std::remove_cvref_t<T>;
  using pointer = std::add_pointer_t<std::remove_reference_t<T>>;

  struct promise_type {
    pointer value = nullptr;
    std::exception_ptr exception;

    static void* operator new(std::size_t size) { return detail::FramePool::take(size); }
    static void operator delete(void* frame, std::size_t size) noexcept {
      detail::FramePool::give(frame, size);
    }

    Generator get_return_object() {
      return Generator{std::coroutine_handle<promise_type>::from_promise(*this)};
    }
    std::suspend_always initial_suspend() noexcept { return {}; }
    std::suspend_always final_suspend() noexcept { return {}; }
    std::suspend_always yield_value(std::remove_reference_t<T>& v) noexcept {
      value = std::addressof(v);
      return {};
    }
    // Rvalues (yield of a temporary) live in the frame until the next resumption.
    std::suspend_always yield_value(std::remove_reference_t<T>&& v) noexcept
        requires(!std::is_lvalue_reference_v<T>) {
      value = std::addressof(v);
      return {};
    }
    void return_void() noexcept {}
    // An escaping exception ends the sequence; it is kept but never rethrown.
    void unhandled_exception() noexcept { exception = std::current_exception(); }
    void await_transform() = delete;
  };

  template <bool Const>
  class IteratorBase {
   public:
    using value_type = Generator::value_type;
    using difference_type = std::ptrdiff_t;
    using reference =
        std::conditional_t<Const, std::remove_reference_t<T> const&, std::remove_reference_t<T>&>;

    IteratorBase() = default;
    explicit IteratorBase(std::coroutine_handle<promise_type> handle) : handle_{handle} {}

    /// The object the body yielded last. Throws std::out_of_range "Generator is exhausted"
    /// once the body has finished (and for the end iterator, which has nothing to read).
    reference operator*() const {
      if (!handle_ || handle_.done()) {
        throw std::out_of_range("Generator is exhausted");
      }
      return *handle_.promise().value;
    }
    std::add_pointer_t<reference> operator->() const { return std::addressof(**this); }

    /// Resumes the body up to its next yield; at its end the iterator becomes end(). Does
    /// nothing on a finished or end iterator.

    IteratorBase& operator++() {
      if (!handle_ || handle_.done()) {
        return *this;
      }
      handle_.resume();
      if (handle_.done()) {
        handle_ = nullptr;
      }
      return *this;
    }
    void operator++(int) { ++*this; }

    friend bool operator==(IteratorBase const& a, IteratorBase const& b) {
      return a.handle_ == b.handle_;
    }

   private:
    std::coroutine_handle<promise_type> handle_;
  };

  using iterator = IteratorBase<false>;

  Generator() = default;
  Generator(Generator&& other) noexcept : handle{std::exchange(other.handle, nullptr)} {}
  Generator& operator=(Generator&& other) noexcept {
    if (this != &other) {
      if (handle) {
        handle.destroy();
      }
      handle = std::exchange(other.handle, nullptr);
    }
    return *this;
  }
  Generator(Generator const&) = delete;
  Generator& operator=(Generator const&) = delete;
  ~Generator() {
    if (handle) {
      handle.destroy();
    }
  }

  /// Runs the body up to its first yield; end() if it yields nothing. Call once per
  /// generator: the sequence is consumed as it is read. A moved-from or finished generator
  /// gives end().
  iterator begin() {
    // Resuming a finished coroutine is undefined, so a second begin() after the end is empty.
    if (!handle || handle.done()) {
      return end();
    }
    handle.resume();
    if (handle.done()) {
      return end();
    }
    return iterator{handle};
  }
  /// The position after the last element: an iterator with an empty handle.
  iterator end() { return iterator{}; }

  /// The owned coroutine frame; empty after a move.
  std::coroutine_handle<promise_type> handle;

 private:
  explicit Generator(std::coroutine_handle<promise_type> h) : handle{h} {}
};

/// A visitor made of several callables, for std::visit.
template <typename... F>
struct Overload : F... {
  using F::operator()...;
};
template <typename... F>
Overload(F...) -> Overload<F...>;

}  // namespace lum
