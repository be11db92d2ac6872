// Characters as the editing widgets draw and take them (dalk/text.hpp says what a character
// is). A character is shown composed (NFC) in one glyph, taking its cells under the width model;
// one that takes no cells (a mark with nothing before it) is not drawn, and one that would cross
// an edge of the canvas is drawn as spaces, never in part.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "dalk/sequence.hpp"
#include "dalk/text.hpp"
#include "vn/screen_buffer.hpp"

namespace vn::detail {

/// Draws `character` into row y of the canvas from column x and returns the column after it.
/// Cells outside the canvas are not written. With a brush each written cell takes it; without,
/// cells keep theirs. The cells a wide character covers become spaces.
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
  std::u32string scratch;
  std::u32string_view const composed = dalk::text::composed(character, scratch);
  for (std::size_t at = 0; at < composed.size();) {
    std::size_t const end = dalk::text::cluster_end(composed, at);
    char32_t const symbol = dalk::text::symbol_of(composed.substr(at, end - at));
    at = end;
    int const w = dalk::text::cells(symbol);
    if (w == 0) {
      continue;
    }
    bool const whole = x >= 0 && x + w <= canvas.size.width;
    write(x, whole ? symbol : U' ');
    for (int covered = 1; covered < w; ++covered) {
      write(x + covered, U' ');
    }
    x += w;
  }
  return x;
}

/// Pasted UTF-8 as the editing widgets insert it: every line break ("\r\n", "\r" or "\n") one
/// line feed, control characters other than tab and line feed dropped, and each malformed
/// sequence one U+FFFD, so that nothing pasted can make the text invalid.
inline std::u32string pasted_text(std::string_view pasted) {
  std::u32string clean;
  clean.reserve(pasted.size());
  for (std::size_t at = 0; at < pasted.size();) {
    // Pastes run to megabytes, nearly all ASCII: those bytes are taken without the decoder.
    auto const byte = static_cast<unsigned char>(pasted[at]);
    char32_t c = byte;
    if (byte < 0x80) {
      ++at;
    } else {
      dalk::text::Decoded const decoded = dalk::text::decode_at(pasted, at);
      c = decoded.code_point;
      at += decoded.length;
    }
    if (c == U'\r') {
      clean.push_back(U'\n');
      if (at < pasted.size() && pasted[at] == '\n') {
        ++at;
      }
    } else if (c == U'\n' || c == U'\t' || (c >= 0x20 && c < 0x7F) || c > 0x9F) {
      clean.push_back(c);
    }
  }
  return clean;
}

}  // namespace vn::detail
