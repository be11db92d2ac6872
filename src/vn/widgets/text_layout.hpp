// The display lines of a text box, kept across paints: laid out again only from the display
// line an edit touched, and wholly when the application changed the text, the width or the
// wrap mode. A kept layout always equals the one a fresh box gives the same text.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "dalk/text.hpp"
#include "vn/textbox.hpp"

namespace vn::detail {

// Characters of a text box: a line feed ends its line, so a mark after it starts the next one.
inline std::size_t box_boundary(std::u32string_view text, std::size_t i,
                                dalk::text::Boundary which) {
  return dalk::text::boundary(text, i, which, dalk::text::LineFeed::EndsLine);
}

inline std::size_t character_end(std::u32string_view text, std::size_t i) {
  return box_boundary(text, i, dalk::text::Boundary::Next);
}

// Positions past the end (an index the application set) count as the end.
inline std::size_t floor_boundary(std::u32string_view text, std::size_t i) {
  return box_boundary(text, std::min(i, text.size()), dalk::text::Boundary::AtOrBefore);
}

inline std::size_t ceil_boundary(std::u32string_view text, std::size_t i) {
  return box_boundary(text, std::min(i, text.size()), dalk::text::Boundary::AtOrAfter);
}

/// Display lines by their bounds: where each starts, and where the last one ends. They may be
/// used over a text edited since they were laid out, by their bounds only.
struct Lines {
  std::vector<std::size_t> const& starts;
  std::size_t last_end;

  int count() const { return static_cast<int>(starts.size()); }
  std::size_t start(int line) const { return starts[static_cast<std::size_t>(line)]; }
  std::size_t end(int line) const {
    auto const next = static_cast<std::size_t>(line) + 1;
    return next < starts.size() ? starts[next] : last_end;
  }
};

/// The layout of one text box and the record of the box's edits since it was made. The box
/// asks it for its lines; everything it needs to know it reads from the box.
class TextLayout {
 public:
  /// Where a layout takes the text from when the box was changed from outside (text, code
  /// points or views), or its width or wrap mode changed, since the last layout.
  enum class Source {
    /// `text`, converted into `code_points` again and laid out whole. Invalid UTF-8 throws
    /// std::runtime_error "Invalid UTF-8 sequence", the valid prefix laid out.
    Text,
    /// The code points as they stand, laid out whole; `text` waits for the next layout from
    /// Text. Nothing is done while the code points are those of the last layout: for a paint
    /// whose slots may have changed the box after it drew on its lines.
    CodePoints,
  };

  /// The one way to a layout: the box's display lines, up to date for its text (or code
  /// points), width and wrap mode, with box.layout_cache holding them as views.
  Lines lines(TextBox& box, Source source = Source::Text);

  /// The lines of the last layout, unchanged: keys, clicks and scrolling work on these.
  Lines last() const { return {starts_, laid_width_ > 0 ? laid_length_ : 0}; }

  /// The next layout converts `text` and lays out the whole of it.
  void forget() { stale_ = true; }

  /// Replaces `removed` code points of the box at `at` with `inserted`, keeping `text` in step
  /// and recording the edit, so that the next layout cuts again only the lines it touched.
  /// inserted_storage: the string inserted views, which the box may take over.
  void edit(TextBox& box, std::size_t at, std::size_t removed, std::u32string_view inserted,
            std::u32string* inserted_storage = nullptr);

 private:
  void convert(TextBox& box);
  void cut_whole(TextBox& box);
  void cut_edited(TextBox& box);
  void refresh_views(TextBox& box);
  std::size_t byte_index(TextBox const& box, std::size_t index);
  void remember(TextBox const& box);
  // Whether text, code points and views are as the box's own edits and layouts left them.
  bool as_left(TextBox const& box) const;

  // Where each display line starts; the last one ends at last().last_end.
  std::vector<std::size_t> starts_{0};
  std::size_t laid_length_ = 0;
  int laid_width_ = 0;
  bool laid_word_wrap_ = true;
  // The whole text is converted and laid out again at the next layout.
  bool stale_ = true;
  // Edits since the layout replaced [edit_from_, edit_to_ - edit_shift_) of the laid-out code
  // points with [edit_from_, edit_to_) of today's.
  bool edited_ = false;
  std::size_t edit_from_ = 0;
  std::size_t edit_to_ = 0;
  std::ptrdiff_t edit_shift_ = 0;
  // The views hold this storage for their first views_valid_ lines.
  char32_t const* views_storage_ = nullptr;
  std::size_t views_valid_ = 0;
  // A code point index and the byte index in `text` where it starts.
  struct ByteMark {
    std::size_t code_point = 0;
    std::size_t byte = 0;
  };
  ByteMark byte_mark_{};
  // What the box held when it was last left.
  struct Seen {
    char const* text = nullptr;
    std::size_t text_size = 0;
    char32_t const* code_points = nullptr;
    std::size_t code_point_count = 0;
    std::uint64_t fingerprint = 0;
  };
  Seen seen_{};
};

}  // namespace vn::detail
