// What the width rules share: the cells of a code point from ICU's properties once marks and
// controls are decided, and a packed table of the first two planes.
#pragma once

#include <unicode/uchar.h>

#include <cstdint>
#include <vector>

namespace dalk::detail {

/// 0 for default-ignorable code points and variation selectors, 2 for East Asian Wide and
/// Fullwidth characters and Emoji_Presentation characters, 1 otherwise.
inline int property_width(UChar32 code) {
  if (u_hasBinaryProperty(code, UCHAR_DEFAULT_IGNORABLE_CODE_POINT) ||
      u_hasBinaryProperty(code, UCHAR_VARIATION_SELECTOR)) {
    return 0;
  }
  auto const east_asian = u_getIntPropertyValue(code, UCHAR_EAST_ASIAN_WIDTH);
  if (east_asian == U_EA_WIDE || east_asian == U_EA_FULLWIDTH ||
      u_hasBinaryProperty(code, UCHAR_EMOJI_PRESENTATION)) {
    return 2;
  }
  return 1;
}

/// The widths of the first two planes, which hold nearly all text and every emoji, looked up
/// once; two bits a code point.
class PackedWidths {
 public:
  static constexpr char32_t end = 0x20000;

  template <typename Width>
  explicit PackedWidths(Width const& width) : packed_(end / 4) {
    for (char32_t c = 0; c < end; ++c) {
      packed_[c / 4] |= static_cast<std::uint8_t>(width(c) << ((c % 4) * 2));
    }
  }

  int operator[](char32_t c) const { return (packed_[c / 4] >> ((c % 4) * 2)) & 3; }

 private:
  std::vector<std::uint8_t> packed_;
};

/// The table dalk::width() reads, built on first use.
PackedWidths const& code_point_widths();

}  // namespace dalk::detail
