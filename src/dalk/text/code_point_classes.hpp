// The properties that segmentation and normalization ask of every code point they read, from
// ICU, kept a block of 256 code points at a time the first time any of the block is read: a
// lookup is then an index instead of a call into ICU per property.
#pragma once

#include <unicode/uchar.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace dalk::detail {

class CodePointClass {
 public:
  explicit constexpr CodePointClass(std::uint32_t bits) : bits_{bits} {}

  /// The grapheme cluster break class (UGraphemeClusterBreak).
  int grapheme() const { return static_cast<int>(bits_ & 0x1FU); }
  bool is_extended_pictographic() const { return (bits_ & extended_pictographic) != 0; }
  /// Has an Indic syllabic category: a conjunct rule may join it to what comes before.
  bool is_indic() const { return (bits_ & indic) != 0; }
  /// A virama or invisible stacker: what may link consonants into one conjunct.
  bool is_linker() const { return (bits_ & linker) != 0; }
  /// NFC_Quick_Check is Yes.
  bool is_nfc_yes() const { return (bits_ & nfc_yes) != 0; }
  int combining_class() const { return static_cast<int>((bits_ >> 8) & 0xFFU); }
  std::uint32_t bits() const { return bits_; }

  static constexpr std::uint32_t extended_pictographic = 0x20;
  static constexpr std::uint32_t indic = 0x40;
  static constexpr std::uint32_t nfc_yes = 0x80;
  static constexpr std::uint32_t linker = 0x10000;

 private:
  std::uint32_t bits_;
};

inline constexpr std::size_t class_block_size = 256;
extern std::atomic<std::uint32_t const*> class_blocks[0x110000 / class_block_size];
/// Builds and publishes the block of `c`.
std::uint32_t const* build_class_block(char32_t c);

/// The class of `c`; what is no scalar value is taken for U+FFFD, as the break iterator reads it.
inline CodePointClass code_point_class(char32_t c) {
  if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
    c = U'\uFFFD';
  }
  std::uint32_t const* block = class_blocks[c / class_block_size].load(std::memory_order_acquire);
  if (block == nullptr) {
    block = build_class_block(c);
  }
  return CodePointClass{block[c % class_block_size]};
}

}  // namespace dalk::detail
