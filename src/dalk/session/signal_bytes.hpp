// Bytes that signal handlers write, prepared in advance (a handler may not allocate or use
// stdio), and the handlers' way of writing them.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <string_view>

namespace dalk::detail {

/// The restoration and re-entry bytes of one part of the session. Two copies: a handler reads
/// the published one while the other is filled, and the index changes only once that one is
/// complete. Longer bytes than Size are cut, never overrun.
template <std::size_t Size>
class SignalBytes {
 public:
  /// Not async-signal-safe; one thread at a time.
  void publish(std::string_view restore, std::string_view reenter) {
    int const next = 1 - published_.load(std::memory_order_relaxed);
    copies_[next].restore.assign(restore);
    copies_[next].reenter.assign(reenter);
    published_.store(next, std::memory_order_release);
  }
  /// Async-signal-safe.
  [[nodiscard]] std::string_view restore() const { return current().restore.view(); }
  [[nodiscard]] std::string_view reenter() const { return current().reenter.view(); }

 private:
  struct Bytes {
    std::array<char, Size> data{};
    std::size_t length = 0;
    void assign(std::string_view text) {
      length = std::min(text.size(), data.size());
      std::memcpy(data.data(), text.data(), length);
    }
    [[nodiscard]] std::string_view view() const { return {data.data(), length}; }
  };
  struct Copy {
    Bytes restore;
    Bytes reenter;
  };
  [[nodiscard]] Copy const& current() const {
    return copies_[published_.load(std::memory_order_acquire)];
  }

  Copy copies_[2];
  std::atomic<int> published_{0};
  static_assert(std::atomic<int>::is_always_lock_free, "read from signal handlers");
};

/// write(2) of all bytes to standard output; gives up on errors other than an interruption (a
/// hung-up terminal). Async-signal-safe; errno is kept.
void write_all_from_signal(std::string_view bytes);

}  // namespace dalk::detail
