#include "dalk/text/break_iterator.hpp"

#include <unicode/ubrk.h>
#include <unicode/utext.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

namespace dalk::text::detail {
namespace {

struct CloseIterator {
  void operator()(UBreakIterator* iterator) const { ubrk_close(iterator); }
};

// nullptr where ICU has no character break rules (its data missing): every code point is then
// a cluster of its own.
UBreakIterator* clusters() {
  thread_local std::unique_ptr<UBreakIterator, CloseIterator> const iterator = [] {
    UErrorCode status = U_ZERO_ERROR;
    UBreakIterator* const opened = ubrk_open(UBRK_CHARACTER, "", nullptr, 0, &status);
    return std::unique_ptr<UBreakIterator, CloseIterator>{U_SUCCESS(status) ? opened : nullptr};
  }();
  return iterator.get();
}

constexpr std::size_t window = break_window;

// A window of UTF-32 text as UTF-16, with the UTF-32 index of each unit. At most `window` code
// points on either side, so it lives on the stack: a step allocates nothing.
class Utf16Window {
 public:
  Utf16Window(std::u32string_view text, std::size_t from, std::size_t to) : first_{from} {
    for (std::size_t i = from; i < to; ++i) {
      char32_t c = text[i];
      if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        c = U'\uFFFD';
      }
      if (c > 0xFFFF) {
        units_[size_] = U16_LEAD(c);
        starts_[size_++] = i;
        units_[size_] = U16_TRAIL(c);
      } else {
        units_[size_] = static_cast<UChar>(c);
      }
      starts_[size_++] = i;
    }
    starts_[size_] = to;
  }

  // The iterator over this window; nullptr without ICU's rules.
  UBreakIterator* iterator() {
    UBreakIterator* const it = clusters();
    if (it == nullptr) {
      return nullptr;
    }
    UErrorCode status = U_ZERO_ERROR;
    ubrk_setText(it, units_.data(), static_cast<int32_t>(size_), &status);
    return U_SUCCESS(status) ? it : nullptr;
  }

  int32_t unit_of(std::size_t i) const {
    auto const found = std::lower_bound(starts_.begin(), starts_.begin() + size_ + 1, i);
    return static_cast<int32_t>(found - starts_.begin());
  }

  std::size_t index_of(int32_t unit) const {
    return unit < 0 ? first_ : starts_[static_cast<std::size_t>(unit)];
  }

 private:
  static constexpr std::size_t max_units = 4 * window;
  std::size_t first_;
  std::size_t size_ = 0;
  std::array<UChar, max_units> units_;
  std::array<std::size_t, max_units + 1> starts_;
};

std::size_t before(std::size_t at) {
  return at > window ? at - window : 0;
}

// UTF-8 text read in place.
class Utf8Text {
 public:
  explicit Utf8Text(std::string_view text) {
    UErrorCode status = U_ZERO_ERROR;
    utext_openUTF8(&text_, text.data(), static_cast<int64_t>(text.size()), &status);
    UBreakIterator* const it = clusters();
    if (U_SUCCESS(status) && it != nullptr) {
      ubrk_setUText(it, &text_, &status);
      iterator_ = U_SUCCESS(status) ? it : nullptr;
    }
  }
  Utf8Text(Utf8Text const&) = delete;
  Utf8Text& operator=(Utf8Text const&) = delete;
  ~Utf8Text() { utext_close(&text_); }

  UBreakIterator* iterator() const { return iterator_; }

 private:
  UText text_ = UTEXT_INITIALIZER;
  UBreakIterator* iterator_ = nullptr;
};

// The end of the code point of UTF-8 text at byte i: the fallback step without ICU's rules.
std::size_t next_code_point(std::string_view text, std::size_t i) {
  ++i;
  while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0U) == 0x80U) {
    ++i;
  }
  return i;
}

}  // namespace

std::size_t following_break(std::u32string_view text, std::size_t at) {
  std::size_t const to = std::min(text.size(), at + window);
  Utf16Window units{text, before(at), to};
  UBreakIterator* const it = units.iterator();
  if (it == nullptr) {
    return at + 1;
  }
  int32_t const next = ubrk_following(it, units.unit_of(at));
  return next == UBRK_DONE ? to : units.index_of(next);
}

std::size_t following_break_from_boundary(std::u32string_view text, std::size_t at) {
  // The iterator reads its whole window ahead; most clusters end within a few code points, so
  // a short window first, the full one only where the cluster reaches the short one's end.
  for (std::size_t const reach : {std::size_t{16}, window}) {
    std::size_t const to = std::min(text.size(), at + reach);
    Utf16Window units{text, at, to};
    UBreakIterator* const it = units.iterator();
    if (it == nullptr) {
      return at + 1;
    }
    int32_t const next = ubrk_following(it, 0);
    std::size_t const end = next == UBRK_DONE ? to : units.index_of(next);
    if (end < to || to == text.size() || reach == window) {
      return end;
    }
  }
  return at + 1;
}

std::size_t preceding_break(std::u32string_view text, std::size_t at) {
  std::size_t const from = before(at);
  Utf16Window units{text, from, at};
  UBreakIterator* const it = units.iterator();
  if (it == nullptr) {
    return at - 1;
  }
  int32_t const previous = ubrk_preceding(it, units.unit_of(at));
  return previous == UBRK_DONE ? from : units.index_of(previous);
}

bool is_break(std::u32string_view text, std::size_t at) {
  std::size_t const from = before(at);
  Utf16Window units{text, from, std::min(text.size(), at + window)};
  UBreakIterator* const it = units.iterator();
  return it == nullptr || ubrk_isBoundary(it, units.unit_of(at)) != 0;
}

std::size_t following_break(std::string_view text, std::size_t at) {
  Utf8Text const units{text};
  if (units.iterator() == nullptr) {
    return next_code_point(text, at);
  }
  int32_t const next = ubrk_following(units.iterator(), static_cast<int32_t>(at));
  return next == UBRK_DONE ? text.size() : static_cast<std::size_t>(next);
}

std::size_t preceding_break(std::string_view text, std::size_t at) {
  Utf8Text const units{text};
  if (units.iterator() == nullptr) {
    std::size_t i = at - 1;
    while (i > 0 && (static_cast<unsigned char>(text[i]) & 0xC0U) == 0x80U) {
      --i;
    }
    return i;
  }
  int32_t const previous = ubrk_preceding(units.iterator(), static_cast<int32_t>(at));
  return previous == UBRK_DONE ? 0 : static_cast<std::size_t>(previous);
}

bool is_break(std::string_view text, std::size_t at) {
  Utf8Text const units{text};
  return units.iterator() == nullptr ||
         ubrk_isBoundary(units.iterator(), static_cast<int32_t>(at)) != 0;
}

}  // namespace dalk::text::detail
