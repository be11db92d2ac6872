// Display widths: how many terminal columns a code point takes. Wide (East Asian Wide and
// Fullwidth) characters and emoji shown as emoji by default take two, combining marks and other
// zero-width characters none, everything else one. Text is measured after canonical
// composition (NFC), so a letter and a combining accent that have a composed form take one cell.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace dalk {

/// 0, 1 or 2 columns, from ICU's character properties: 2 for East Asian Wide and Fullwidth
/// characters and for Emoji_Presentation characters; 0 for nonspacing and enclosing marks,
/// format characters (zero-width joiner, soft hyphen...), variation selectors, Hangul medial
/// vowels and final consonants, and other default-ignorable code points; 1 otherwise,
/// control characters, surrogates and values above U+10FFFF included. Any thread.
int width(char32_t c);

/// The sum of the widths of the code points of s (not composed first).
std::size_t width(std::u32string_view s);

/// s in Unicode Normalization Form C (canonical composition); ill-formed code units (lone
/// surrogates, values above U+10FFFF) are kept as they are. Any thread.
std::u32string nfc(std::u32string_view s);

/// Whether s is already in NFC, so that nfc() would return it unchanged. Cheap for ASCII.
bool is_nfc(std::u32string_view s);

}  // namespace dalk
