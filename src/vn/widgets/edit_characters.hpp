// Characters as the editing widgets see them: a code point that takes cells, with the code points
// of width 0 (combining marks, joiners, variation selectors) that follow it. The cursor never
// stands inside one, since a mark has no cell of its own. A character is shown composed (NFC),
// every code point of the composed form advancing by its width; a code point of width 0 that
// has no composed form is not drawn, and a wide one that would cross an edge of the canvas is
// drawn as spaces, never as half a character.
#pragma once

#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "dalk/sequence.hpp"
#include "dalk/width.hpp"
#include "vn/screen_buffer.hpp"

namespace vn::detail {

/// Whether c joins the code point before it into one character.
inline bool joins_previous(char32_t c) {
  // Printable ASCII, most of most texts, without the call.
  return (c < 0x20 || c >= 0x7F) && dalk::width(c) == 0;
}

/// Calls show(symbol, width) for each code point of the composed `character` that takes cells.
template <typename Show>
void for_each_shown(std::u32string_view character, Show const& show) {
  // Most characters are one code point that composition leaves alone (all of them below the
  // combining marks at U+0300): no copy is made for them.
  if (character.size() == 1 &&
      (character.front() < 0x300 || u_getIntPropertyValue(static_cast<UChar32>(character.front()),
                                                          UCHAR_NFC_QUICK_CHECK) == UNORM_YES)) {
    if (int const w = dalk::width(character.front()); w > 0) {
      show(character.front(), w);
    }
    return;
  }
  for (char32_t const c : dalk::nfc(character)) {
    if (int const w = dalk::width(c); w > 0) {
      show(c, w);
    }
  }
}

/// The cells `character` takes on screen.
inline int cells_of(std::u32string_view character) {
  if (character.size() == 1 && character.front() >= 0x20 && character.front() < 0x7F) {
    return 1;
  }
  int cells = 0;
  for_each_shown(character, [&](char32_t, int w) { cells += w; });
  return cells;
}

/// Draws `character` into row y of the canvas from column x and returns the column after it.
/// Cells outside the canvas are not written. With a brush each written cell takes it; without,
/// cells keep theirs. The cell a wide code point covers becomes a space.
inline long long put_character(Canvas& canvas, long long x, int y, std::u32string_view character,
                               dalk::Brush const* brush) {
  auto const write = [&](long long column, char32_t symbol) {
    if (column >= 0 && column < canvas.size.width && y >= 0 && y < canvas.size.height) {
      dalk::Glyph& cell = canvas[{static_cast<int>(column), y}];
      cell.symbol = symbol;
      if (brush != nullptr) {
        cell.brush = *brush;
      }
    }
  };
  for_each_shown(character, [&](char32_t symbol, int w) {
    bool const whole = x >= 0 && x + w <= canvas.size.width;
    write(x, whole ? symbol : U' ');
    for (int covered = 1; covered < w; ++covered) {
      write(x + covered, U' ');
    }
    x += w;
  });
  return x;
}

/// Pasted UTF-8 as the editing widgets insert it: every line break ("\r\n", "\r" or "\n") one
/// line feed, control characters other than tab and line feed dropped, and each malformed
/// sequence one U+FFFD, so that nothing pasted can make the text invalid.
inline std::u32string pasted_text(std::string_view pasted) {
  std::u32string clean;
  clean.reserve(pasted.size());
  auto const* bytes = reinterpret_cast<std::uint8_t const*>(pasted.data());
  auto const length = static_cast<std::int32_t>(std::min<std::size_t>(pasted.size(), INT32_MAX));
  std::int32_t at = 0;
  while (at < length) {
    UChar32 c = 0;
    U8_NEXT(bytes, at, length, c);
    if (c < 0) {
      clean.push_back(U'\uFFFD');
    } else if (c == '\r') {
      clean.push_back(U'\n');
      if (at < length && bytes[at] == '\n') {
        ++at;
      }
    } else if (c == '\n' || c == '\t' || (c >= 0x20 && c < 0x7F) || c > 0x9F) {
      clean.push_back(static_cast<char32_t>(c));
    }
  }
  return clean;
}

}  // namespace vn::detail
