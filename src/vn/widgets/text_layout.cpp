#include "vn/widgets/text_layout.hpp"

#include <bit>

#include "dalk/transcode.hpp"

namespace vn::detail {

namespace {

bool is_plain(char32_t c) {
  return c >= 0x20 && c < 0x7F;
}

// One display line cut from `at` (below the end): where it ends, and the furthest index the
// cut looked at (or tested for being past the end). A cut depends on nothing beyond that, so
// an edit after it leaves the line as it was; along a layout these indices never decrease.
struct Cut {
  std::size_t end = 0;
  std::size_t reach = 0;
};

Cut cut_line(std::u32string_view text, std::size_t at, int width, bool word_wrap) {
  std::size_t end = at;
  std::size_t reach = at;
  int cells = 0;
  bool feed = false;
  std::size_t after_space = std::u32string_view::npos;
  while (end < text.size()) {
    // Printable ASCII followed by printable ASCII or a line feed is one cell, as is most text.
    bool const plain = is_plain(text[end]) && (end + 1 == text.size() || is_plain(text[end + 1]) ||
                                               text[end + 1] == U'\n');
    std::size_t const next = plain ? end + 1 : character_end(text, end);
    reach = next;
    int const w = plain ? 1 : dalk::text::character_cells(text.substr(end, next - end));
    if (cells + w > width) {
      break;
    }
    cells += w;
    feed = text[end] == U'\n';
    if (text[end] == U' ') {
      after_space = next;
    }
    end = next;
    if (feed) {
      break;
    }
  }
  if (end == at) {
    // A character wider than the whole line gets a line of its own, which it fills.
    end = character_end(text, at);
    reach = std::max(reach, end);
    cells = width;
  }
  // A line is full when it reaches the width or the next character does not fit. Also a last
  // piece that would fit exactly, and a line ending in a line feed in its last column: such a
  // line is still broken after its last space.
  bool const full = cells >= width || (!feed && end < text.size());
  if (word_wrap && full && after_space != std::u32string_view::npos) {
    end = after_space;
  }
  return {end, reach};
}

// The starts of the display lines of text (see TextBox::update_layout_cache).
void cut_lines(std::u32string_view text, int width, bool word_wrap,
               std::vector<std::size_t>& starts) {
  starts.clear();
  starts.push_back(0);
  // A negative width (a size the application set) is treated as 0 rather than cut forever.
  if (text.empty() || width <= 0) {
    return;
  }
  for (std::size_t at = cut_line(text, 0, width, word_wrap).end; at < text.size();
       at = cut_line(text, at, width, word_wrap).end) {
    starts.push_back(at);
  }
  if (text.back() == U'\n') {
    starts.push_back(text.size());
  }
}

std::size_t utf8_length(char32_t c) {
  return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
}

// A cheap fingerprint of a string: every unit of a short one, the ends and evenly spread units
// of a long one. It tells the widget's own state from one the application changed in place.
template <typename String>
std::uint64_t fingerprint(String const& s, std::uint64_t hash) {
  constexpr std::size_t whole = 128;
  constexpr std::size_t ends = 32;
  constexpr std::size_t spread = 64;
  auto const mix = [&](std::size_t i) {
    hash = (hash ^ static_cast<std::uint64_t>(s[i])) * 0x100000001B3ULL;
  };
  std::size_t const n = s.size();
  hash = (hash ^ n) * 0x100000001B3ULL;
  if (n <= whole) {
    for (std::size_t i = 0; i < n; ++i) {
      mix(i);
    }
    return hash;
  }
  for (std::size_t i = 0; i < ends; ++i) {
    mix(i);
    mix(n - 1 - i);
  }
  // A step that changes only when the length doubles: the same units are read paint after
  // paint, and stay in the cache.
  std::size_t const step = std::bit_floor((n - 2 * ends) / spread);
  for (std::size_t k = 0; k < spread; ++k) {
    mix(ends + k * step);
  }
  return hash;
}

std::uint64_t fingerprint(TextBox const& box) {
  return fingerprint(box.code_points, fingerprint(box.text, 0xCBF29CE484222325ULL));
}

bool word_wrap(TextBox const& box) {
  return box.wrap == TextBox::Wrap::Word;
}

}  // namespace

Lines TextLayout::lines(TextBox& box, Source source) {
  if (source == Source::CodePoints && box.code_points.data() == views_storage_ &&
      box.code_points.size() == laid_length_ && !edited_ &&
      box.layout_cache.size() == starts_.size()) {
    return last();
  }
  if (!stale_ && box.size.width == laid_width_ && word_wrap(box) == laid_word_wrap_ &&
      as_left(box)) {
    if (edited_) {
      cut_edited(box);
    }
    refresh_views(box);
  } else if (source == Source::Text) {
    convert(box);
  } else {
    cut_whole(box);
    stale_ = true;
  }
  return last();
}

void TextLayout::convert(TextBox& box) {
  byte_mark_ = {};
  try {
    dalk::detail::u8_string_to_u32_string(box.text, box.code_points);
  } catch (...) {
    // The old views may point into storage that the conversion released: cut the valid prefix
    // so that nothing refers to freed memory. Every later layout converts again, and throws.
    cut_whole(box);
    stale_ = true;
    throw;
  }
  cut_whole(box);
  stale_ = false;
  remember(box);
}

void TextLayout::cut_whole(TextBox& box) {
  cut_lines(box.code_points, box.size.width, word_wrap(box), starts_);
  laid_length_ = box.code_points.size();
  laid_width_ = box.size.width;
  laid_word_wrap_ = word_wrap(box);
  edited_ = false;
  views_valid_ = 0;
  refresh_views(box);
}

// Lines before the edit whose cuts never looked at it stay; from the first that did, lines are
// cut again until one starts where an old line started (shifted by the edit), past the edit:
// from there on the text, and so the cuts, are the old ones.
void TextLayout::cut_edited(TextBox& box) {
  std::u32string_view const now = box.code_points;
  int const width = box.size.width;
  bool const wrap = word_wrap(box);
  std::size_t const from = edit_from_;
  auto const shift = static_cast<std::size_t>(edit_shift_);  // modular: adds a signed shift
  if (now.empty() || width <= 0 || laid_length_ + shift != now.size() || from > now.size()) {
    cut_whole(box);
    return;
  }
  std::vector<std::size_t>& starts = starts_;
  auto first = static_cast<std::size_t>(std::upper_bound(starts.begin(), starts.end(), from) -
                                        starts.begin() - 1);
  while (first > 0 && cut_line(now, starts[first - 1], width, wrap).reach >= from) {
    --first;
  }

  std::vector<std::size_t> fresh;
  std::size_t old = first + 1;
  bool rejoined = false;
  for (std::size_t at = starts[first]; at < now.size();) {
    fresh.push_back(at);
    at = cut_line(now, at, width, wrap).end;
    if (at >= now.size() || at < edit_to_) {
      continue;
    }
    std::size_t const before = at - shift;
    while (old < starts.size() && starts[old] < before) {
      ++old;
    }
    if (old < starts.size() && starts[old] == before && before < laid_length_) {
      rejoined = true;
      break;
    }
  }
  if (!rejoined) {
    old = starts.size();
    if (now.back() == U'\n') {
      fresh.push_back(now.size());
    }
  }
  for (std::size_t i = old; i < starts.size(); ++i) {
    starts[i] += shift;
  }
  // Replaces the old lines [first, old) with the fresh ones.
  std::size_t const replaced = old - first;
  std::size_t const common = std::min(replaced, fresh.size());
  auto const at = starts.begin() + static_cast<std::ptrdiff_t>(first);
  std::copy_n(fresh.begin(), common, at);
  if (fresh.size() > replaced) {
    starts.insert(at + static_cast<std::ptrdiff_t>(common),
                  fresh.begin() + static_cast<std::ptrdiff_t>(common), fresh.end());
  } else {
    starts.erase(at + static_cast<std::ptrdiff_t>(common),
                 at + static_cast<std::ptrdiff_t>(replaced));
  }
  laid_length_ = now.size();
  edited_ = false;
  views_valid_ = std::min(views_valid_, first);
  refresh_views(box);
}

void TextLayout::refresh_views(TextBox& box) {
  std::vector<std::u32string_view>& views = box.layout_cache;
  // Lines the layout added or moved have no views yet; storage the text moved to, none at all.
  views_valid_ =
      views_storage_ == box.code_points.data() ? std::min(views_valid_, views.size()) : 0;
  views.resize(starts_.size());
  Lines const laid = last();
  std::u32string_view const all = box.code_points;
  for (std::size_t i = views_valid_; i < starts_.size(); ++i) {
    auto const line = static_cast<int>(i);
    views[i] = all.substr(laid.start(line), laid.end(line) - laid.start(line));
  }
  views_storage_ = box.code_points.data();
  views_valid_ = starts_.size();
}

void TextLayout::remember(TextBox const& box) {
  seen_ = {box.text.data(), box.text.size(), box.code_points.data(), box.code_points.size(),
           fingerprint(box)};
}

bool TextLayout::as_left(TextBox const& box) const {
  return box.text.data() == seen_.text && box.text.size() == seen_.text_size &&
         box.code_points.data() == seen_.code_points &&
         box.code_points.size() == seen_.code_point_count &&
         box.layout_cache.size() == starts_.size() && fingerprint(box) == seen_.fingerprint;
}

std::size_t TextLayout::byte_index(TextBox const& box, std::size_t index) {
  auto [at, byte] = byte_mark_;
  if (at > box.code_points.size() || index < at / 2) {
    at = 0;
    byte = 0;
  }
  for (; at < index; ++at) {
    byte += utf8_length(box.code_points[at]);
  }
  for (; at > index; --at) {
    byte -= utf8_length(box.code_points[at - 1]);
  }
  return byte;
}

void TextLayout::edit(TextBox& box, std::size_t at, std::size_t removed,
                      std::u32string_view inserted, std::u32string* inserted_storage) {
  std::size_t const inserted_size = inserted.size();
  // The whole text replaced (a paste into an empty box): the storage is taken over, not copied;
  // pastes run to megabytes.
  bool const whole = inserted_storage != nullptr && at == 0 && removed == box.code_points.size();
  // While text and code points are as the box left them, both are edited where the edit is;
  // otherwise the text is rewritten from the code points, as the application left them.
  bool const tracked = !stale_ && as_left(box);
  if (tracked) {
    std::size_t const first = byte_index(box, at);
    std::size_t last = first;
    for (std::size_t i = at; i < at + removed; ++i) {
      last += utf8_length(box.code_points[i]);
    }
    std::string encoded = dalk::detail::u32_to_u8(inserted);
    if (first == 0 && last == box.text.size()) {
      box.text = std::move(encoded);
    } else {
      box.text.replace(first, last - first, encoded);
    }
    byte_mark_ = {at, first};
  }
  if (whole) {
    box.code_points = std::move(*inserted_storage);
  } else {
    box.code_points.replace(at, removed, inserted);
  }
  if (tracked) {
    std::size_t const end = at + inserted_size;
    if (!edited_) {
      edit_from_ = at;
      edit_to_ = end;
      edit_shift_ = 0;
    } else {
      // The edited range of the text since the layout, in today's indices.
      std::size_t to = edit_to_;
      if (to >= at + removed) {
        to = to - removed + inserted_size;
      } else if (to > at) {
        to = end;
      }
      edit_from_ = std::min(edit_from_, at);
      edit_to_ = std::max(to, end);
    }
    edit_shift_ +=
        static_cast<std::ptrdiff_t>(inserted_size) - static_cast<std::ptrdiff_t>(removed);
    edited_ = true;
  } else {
    dalk::detail::u32_to_u8(box.code_points, box.text);
    byte_mark_ = {};
    stale_ = true;
  }
  remember(box);
}

}  // namespace vn::detail
