// Grapheme cluster boundaries from ICU's break iterator, one iterator per thread. UTF-8 text is
// read in place; UTF-32 text (which ICU does not read) through a window around the position
// asked about, converted to UTF-16, so that a step costs the same in any length of text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace dalk::text::detail {

/// The first cluster boundary after `at` (below text.size()).
std::size_t following_break(std::u32string_view text, std::size_t at);
/// The last cluster boundary before `at` (above 0).
std::size_t preceding_break(std::u32string_view text, std::size_t at);
/// Whether `at` (0 < at < text.size()) is a cluster boundary.
bool is_break(std::u32string_view text, std::size_t at);

/// Cluster boundaries of one UTF-32 text taken in order from its start, with one break
/// iterator over the whole text instead of a window a step: following(at) is
/// following_break(text, at), at a fraction of the cost. The window is still asked where the
/// two could differ (`at` no boundary of the whole text, or a cluster as long as the window).
/// One walk at a time a thread: its buffers are the thread's.
class ClusterWalk {
 public:
  explicit ClusterWalk(std::u32string_view text);
  ClusterWalk(ClusterWalk const&) = delete;
  ClusterWalk& operator=(ClusterWalk const&) = delete;

  /// following_break(text, at), for `at` below text.size(), ascending from one call to the next.
  /// The walk reads the text as it is at its first step or at take_text(), whichever is first.
  std::size_t following(std::size_t at);

  /// Copies the text now, before its owner changes it.
  void take_text() {
    if (!started_) {
      start();
    }
  }

 private:
  void start();

  std::u32string_view text_;
  bool started_ = false;
  // The iterator over the whole text as UTF-16; nullptr until the first step that needs it, and
  // where ICU has no rules or the text is too long for it.
  void* iterator_ = nullptr;
  // The code point the iterator stands at, a boundary of the whole text: the next step from
  // there needs no check.
  std::size_t position_ = 0;
};

/// dalk::text::cluster_end(text, at), the break iterator's steps taken by `walk` over `text`.
std::size_t cluster_end(std::u32string_view text, std::size_t at, ClusterWalk& walk);

/// The same for UTF-8 text, by byte index; malformed bytes read as U+FFFD.
std::size_t following_break(std::string_view text, std::size_t at);
std::size_t preceding_break(std::string_view text, std::size_t at);
bool is_break(std::string_view text, std::size_t at);

}  // namespace dalk::text::detail
