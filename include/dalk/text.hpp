// Text as the terminal shows it and editors change it: UTF-8 decoded without throwing, stepped
// by character (what a reader takes for one: a code point with the code points of width 0 after
// it), measured in cells and cut to a number of cells. One rule says what may be typed.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "dalk/width.hpp"

namespace dalk::text {

/// One code point decoded from UTF-8, and the bytes it took. A malformed or cut-short sequence
/// decodes as U+FFFD over its maximal subpart (the longest start of a well-formed sequence, at
/// least one byte), as the Unicode Standard recommends for replacement.
struct Decoded {
  char32_t code_point = 0;
  std::size_t length = 0;
  bool well_formed = false;
};

/// The code point of `s` that starts at byte `at` (below s.size()). Never throws.
Decoded decode_at(std::string_view s, std::size_t at) noexcept;

/// Replaces the contents of `out` with the code points of the well-formed prefix of `s` and
/// returns the length of that prefix in bytes: s.size() when all of `s` is well-formed.
std::size_t decode(std::string_view s, std::u32string& out);

/// The code points of the well-formed prefix of `s`: how drawing takes malformed text.
std::u32string decode(std::string_view s);

/// The code points of `s`, every malformed sequence one U+FFFD (see Decoded).
std::u32string decode_replacing(std::string_view s);

/// What a line feed is to the characters around it.
enum class LineFeed {
  /// A code point like any other, which a mark after it joins (one-line text).
  Joins,
  /// The end of a line and a character of its own: a mark after it starts the next line.
  EndsLine,
};

/// Which character boundary boundary() finds from a position `i`. A code point that takes no
/// cells of its own (a combining mark, a joiner, a variation selector, a Hangul medial vowel
/// or final consonant) joins the character before it.
enum class Boundary {
  /// The end of the character that starts at `i` (below the end).
  Next,
  /// The start of the character before `i` (above 0).
  Previous,
  /// The start of the character holding `i`; `i` itself at a boundary, at the end or past it.
  AtOrBefore,
  /// The end of the character holding the code point that starts at `i`; `i` itself at a
  /// boundary, at the end or past it. After an insertion before a mark the mark joins what was
  /// inserted, and this is where the cursor goes.
  AtOrAfter,
};

/// A character boundary of UTF-8 (byte indices) or UTF-32 (code point indices) text. A UTF-8
/// code point is a lead byte and at most three continuation bytes, so steps stay bounded on
/// malformed text, whose bytes join nothing.
std::size_t boundary(std::string_view text, std::size_t i, Boundary which,
                     LineFeed feed = LineFeed::Joins);
std::size_t boundary(std::u32string_view text, std::size_t i, Boundary which,
                     LineFeed feed = LineFeed::Joins);

/// The start of the code point before byte `i` (above 0): what Backspace takes back, so that a
/// mistyped mark goes without its letter.
std::size_t previous_code_point(std::string_view text, std::size_t i);

/// Whether `value` may be typed into a text: a Unicode scalar value (no surrogate, nothing
/// above U+10FFFF, so no key with modifier bits) that is neither a control character (C0, DEL,
/// C1: the special keys) nor a noncharacter, outside the console's own keys 0x40000 to 0x4FFFF.
bool is_typeable(char32_t value);

/// dalk::width(c), with ASCII answered inline: drawing asks for every cell.
inline int cells(char32_t c) {
  return c < 0x80 ? 1 : width(c);
}

/// One character as shown: composed (NFC). `character` itself where composition leaves it
/// alone (nearly always), else its composed form, kept in `scratch`.
std::u32string_view composed(std::u32string_view character, std::u32string& scratch);

/// The cells one character takes: those of the code points of its composed form.
int character_cells(std::u32string_view character);

/// `text` as drawing lays out a run of text: composed (only when dalk::is_nfc says it is not),
/// without the code points of width 0 composition leaves over, since a cell holds one code
/// point. Each code point left takes cells(c).
std::u32string drawable(std::u32string text);

/// The drawable code points of the well-formed prefix of UTF-8 `text`.
std::u32string drawable(std::string_view text);

/// The cells UTF-8 `text` takes when drawn: its well-formed prefix, drawable.
int cells(std::string_view text);

/// Cuts drawable `text` to its longest prefix at most `cells` cells wide and returns the cells
/// that prefix takes; a wide code point is never cut in half.
int cut_to_cells(std::u32string& text, int cells);

/// Replaces the contents of `out` with UTF-8 `text` as drawn in at most `cells` cells: its
/// drawable code points, cut and ended with "…" when they are wider. Empty for cells <= 0.
void fit(std::string_view text, int cells, std::u32string& out);

}  // namespace dalk::text
