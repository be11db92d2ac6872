// Text as the terminal shows it and editors change it: UTF-8 decoded without throwing, stepped
// by character (what a reader takes for one: an extended grapheme cluster, dalk/cluster.hpp),
// measured in cells under the terminal's width model and cut to a number of cells. One rule says
// what may be typed.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "dalk/cluster.hpp"
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

/// What a line feed is to the characters around it. Either way it is a character of its own
/// (every control character is), so a mark after it starts the next character; kept so that
/// callers say which text they step through.
enum class LineFeed {
  /// One-line text.
  Joins,
  /// The end of a line.
  EndsLine,
};

/// Which character boundary boundary() finds from a position `i`. Characters are extended
/// grapheme clusters (ICU's break iterator): a combining mark, a joiner and what it joins, a
/// variation selector, an emoji modifier, a Hangul syllable's jamo, a flag's second regional
/// indicator belong to the character before them. A control character stands alone.
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

/// A character boundary of UTF-8 (byte indices) or UTF-32 (code point indices) text. Malformed
/// UTF-8 reads as U+FFFD; a character longer than 64 code points is split, so steps stay
/// bounded.
std::size_t boundary(std::string_view text, std::size_t i, Boundary which,
                     LineFeed feed = LineFeed::Joins);
std::size_t boundary(std::u32string_view text, std::size_t i, Boundary which,
                     LineFeed feed = LineFeed::Joins);

/// The start of the code point before byte `i` (above 0).
std::size_t previous_code_point(std::string_view text, std::size_t i);

/// What Backspace takes back before the boundary `i` (above 0): the character before it, but
/// only its last code point where that is a combining mark (a vowel sign, a virama, a point, an
/// accent), so that a mistyped mark goes without its letter, as Indic and Hebrew typists expect.
/// An emoji sequence, a flag, a keycap and a Hangul syllable go whole.
std::size_t backspace_start(std::string_view text, std::size_t i);
std::size_t backspace_start(std::u32string_view text, std::size_t i);

/// Whether `value` may be typed into a text: a Unicode scalar value (no surrogate, nothing
/// above U+10FFFF, so no key with modifier bits) that is neither a control character (C0, DEL,
/// C1: the special keys) nor a noncharacter, outside the console's own keys 0x40000 to 0x4FFFF.
bool is_typeable(char32_t value);

/// The cells a glyph symbol (a code point or an interned cluster) takes under the width model
/// in force, with ASCII answered inline: drawing asks for every cell.
inline int cells(char32_t symbol) {
  return symbol < 0x80 ? 1 : detail::symbol_cells(symbol);
}

/// One character as shown: composed (NFC). `character` itself where composition leaves it
/// alone (nearly always), else its composed form, kept in `scratch`.
std::u32string_view composed(std::u32string_view character, std::u32string& scratch);

/// The cells one character takes under the width model in force, composed.
int character_cells(std::u32string_view character);

/// `text` as drawing lays out a run of text: composed (only when dalk::is_nfc says it is not),
/// one glyph symbol a character (symbol_of), without the characters that take no cells (a mark
/// with nothing before it, a lone joiner). Each symbol takes cells(symbol).
std::u32string drawable(std::u32string text);

/// drawable(text) in place, returning the cells the symbols take (laying out measures them):
/// a buffer kept from one paint to the next lays text out without an allocation.
std::size_t drawable_in_place(std::u32string& text);

/// The drawable symbols of the well-formed prefix of UTF-8 `text`.
std::u32string drawable(std::string_view text);

/// The cells UTF-8 `text` takes when drawn: its well-formed prefix, drawable. Measuring interns
/// nothing.
int cells(std::string_view text);

/// The cells of drawable symbols.
std::size_t cells(std::u32string_view symbols);

/// Cuts drawable `text` to its longest prefix at most `cells` cells wide and returns the cells
/// that prefix takes; a character is never cut.
int cut_to_cells(std::u32string& text, int cells);

/// Replaces the contents of `out` with UTF-8 `text` as drawn in at most `cells` cells: its
/// drawable symbols, cut and ended with "…" when they are wider. Empty for cells <= 0.
void fit(std::string_view text, int cells, std::u32string& out);

}  // namespace dalk::text
