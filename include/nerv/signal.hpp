// Signals and slots: a widget announces a user action by emitting a signal, and every slot
// connected to it runs synchronously, in connection order, on the emitting thread. Header
// only; knows nothing of widgets (vn::tracked makes slots safe against widget destruction).
#pragma once

#include <algorithm>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

namespace nerv {

/// The number of one connection within one signal.
using Identifier = std::int32_t;

template <typename Signature>
class Slot;

namespace detail {

/// A callable, other than the slot type itself, that a Slot of R(Args...) can wrap.
template <typename F, typename SlotType, typename R, typename... Args>
concept SlotFunction = !std::same_as<std::remove_cvref_t<F>, SlotType> &&
                       std::is_invocable_r_v<R, std::decay_t<F>&, Args...>;

}  // namespace detail

/// A callable plus the objects its call depends on: the signal skips the slot while any of
/// `tracked_items` is empty or expired.
template <typename R, typename... Args>
class Slot<R(Args...)> {
 public:
  Slot() = default;
  /// Wraps any callable of the matching signature; tracks nothing.
  template <detail::SlotFunction<Slot, R, Args...> F>
  Slot(F&& f)  // NOLINT(google-explicit-constructor): connect(lambda) is the common use
      : function(std::forward<F>(f)) {}

  Slot(Slot const&) = default;
  Slot& operator=(Slot const&) = default;
  /// Leaves other with no callable and nothing tracked.
  Slot(Slot&& other) noexcept
      : function{std::exchange(other.function, nullptr)},
        tracked_items{std::exchange(other.tracked_items, {})} {}
  Slot& operator=(Slot&& other) noexcept {
    if (this != &other) {
      function = std::exchange(other.function, nullptr);
      tracked_items = std::exchange(other.tracked_items, {});
    }
    return *this;
  }
  // Members are destroyed in reverse order: the weak references first, then the callable.
  ~Slot() = default;

  std::function<R(Args...)> function;
  std::vector<std::weak_ptr<void>> tracked_items;

  /// False if any tracked item is empty or its owner is gone.
  bool is_live() const {
    return std::none_of(tracked_items.begin(), tracked_items.end(),
                        [](std::weak_ptr<void> const& item) { return item.expired(); });
  }
};

template <typename Signature>
class Signal;

/// An ordered list of connected slots. Connect, disconnect and emit on one thread only.
template <typename R, typename... Args>
class Signal<R(Args...)> {
 public:
  using SlotType = Slot<R(Args...)>;

  /// Appends the slot and returns its identifier: 0 for the first connection, then one more
  /// than the last connection's. Identifiers are never reused, so one that was disconnected
  /// cannot name a later connection. A slot connected while this signal is being emitted is
  /// not called by that emission.
  Identifier connect(SlotType slot) {
    Identifier const id = next_identifier();
    if (emitting_ > 0) {
      // Appending now could move the slot that is running; the list grows once the emission
      // ends.
      pending_.emplace_back(id, std::move(slot));
    } else {
      connections.emplace_back(id, std::move(slot));
    }
    return id;
  }

  /// Removes the connection with this identifier; false if there is none. During an emission
  /// the connection is no longer called and leaves the list when the emission ends (a slot
  /// may thus disconnect itself).
  bool disconnect(Identifier id) {
    auto const has_id = [id](auto const& connection) { return connection.first == id; };
    if (auto it = std::find_if(pending_.begin(), pending_.end(), has_id); it != pending_.end()) {
      pending_.erase(it);
      return true;
    }
    auto const it = std::find_if(connections.begin(), connections.end(), has_id);
    if (it == connections.end() || is_doomed(id)) {
      return false;
    }
    if (emitting_ > 0) {
      doomed_.push_back(id);
    } else {
      connections.erase(it);
    }
    return true;
  }

  /// Calls every live slot in connection order; a slot's return value is discarded. The
  /// arguments are passed as references to the caller's variables, so a slot that changes
  /// them changes what the following slots receive. An exception from a slot (or
  /// std::bad_function_call from an empty one) ends the emission. The signal must not be
  /// destroyed or moved while it is being emitted.
  void emit(Args const&... args) {
    ++emitting_;
    EmissionGuard const guard{*this};
    // Only connections present when the emission started are called; indices stay valid
    // because nothing is erased or appended before the outermost emission ends.
    std::size_t const count = connections.size();
    for (std::size_t i = 0; i < count; ++i) {
      auto& [id, slot] = connections[i];
      if (!slot.is_live() || is_doomed(id)) {
        continue;
      }
      slot.function(args...);
    }
  }

  std::vector<std::pair<Identifier, SlotType>> connections;

 private:
  struct EmissionGuard {
    Signal& signal;
    explicit EmissionGuard(Signal& s) : signal{s} {}
    EmissionGuard(EmissionGuard const&) = delete;
    EmissionGuard& operator=(EmissionGuard const&) = delete;
    ~EmissionGuard() {
      if (--signal.emitting_ == 0) {
        signal.apply_deferred();
      }
    }
  };

  Identifier next_identifier() {
    Identifier id = 0;
    if (!pending_.empty()) {
      id = pending_.back().first + 1;
    } else if (!connections.empty()) {
      id = connections.back().first + 1;
    }
    // After the last connection was removed, the list alone would hand its number out again.
    id = std::max(id, next_);
    next_ = id + 1;
    return id;
  }

  bool is_doomed(Identifier id) const {
    return std::find(doomed_.begin(), doomed_.end(), id) != doomed_.end();
  }

  void apply_deferred() noexcept {
    if (!doomed_.empty()) {
      std::erase_if(connections,
                    [this](auto const& connection) { return is_doomed(connection.first); });
      doomed_.clear();
    }
    // Runs from a destructor: a failed allocation here ends the program rather than losing a
    // connection silently.
    for (auto& connection : pending_) {
      connections.push_back(std::move(connection));
    }
    pending_.clear();
  }

  Identifier next_ = 0;
  int emitting_ = 0;
  std::vector<Identifier> doomed_;
  std::vector<std::pair<Identifier, SlotType>> pending_;
};

}  // namespace nerv
