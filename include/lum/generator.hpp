// A lazy, move-only sequence produced by a coroutine. Widgets enumerate their children through
// Generator<Widget&>, and text is decoded lazily through Generator<char32_t>. Values are never
// copied: the iterator hands out a reference to what the body yielded.
#pragma once

#include <coroutine>
#include <cstddef>
#include <exception>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <type_traits>
#include <utility>

namespace lum {

template <typename T>
class Generator {
 public:
  using value_type = std::remove_cvref_t<T>;
  using pointer = std::add_pointer_t<std::remove_reference_t<T>>;

  struct promise_type {
    pointer value = nullptr;
    std::exception_ptr exception;

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

    reference operator*() const {
      if (handle_.done()) {
        throw std::out_of_range("Generator is exhausted");
      }
      return *handle_.promise().value;
    }
    pointer operator->() const { return std::addressof(**this); }

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

  /// Runs the body up to its first yield. A moved-from generator is empty.
  iterator begin() {
    if (!handle) {
      return end();
    }
    handle.resume();
    if (handle.done()) {
      return end();
    }
    return iterator{handle};
  }
  iterator end() { return iterator{}; }

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
