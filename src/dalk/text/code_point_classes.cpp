#include "dalk/text/code_point_classes.hpp"

#include <unicode/unorm2.h>

namespace dalk::detail {

std::atomic<std::uint32_t const*> class_blocks[0x110000 / class_block_size];

namespace {

std::uint32_t class_from_icu(char32_t c) {
  auto const code = static_cast<UChar32>(c);
  auto bits = static_cast<std::uint32_t>(u_getIntPropertyValue(code, UCHAR_GRAPHEME_CLUSTER_BREAK));
  if (u_hasBinaryProperty(code, UCHAR_EXTENDED_PICTOGRAPHIC)) {
    bits |= CodePointClass::extended_pictographic;
  }
  auto const indic = u_getIntPropertyValue(code, UCHAR_INDIC_SYLLABIC_CATEGORY);
  if (indic != U_INSC_OTHER) {
    bits |= CodePointClass::indic;
  }
  if (indic == U_INSC_VIRAMA || indic == U_INSC_INVISIBLE_STACKER) {
    bits |= CodePointClass::linker;
  }
  if (u_getIntPropertyValue(code, UCHAR_NFC_QUICK_CHECK) == UNORM_YES) {
    bits |= CodePointClass::nfc_yes;
  }
  return bits | (static_cast<std::uint32_t>(u_getCombiningClass(code)) << 8);
}

}  // namespace

std::uint32_t const* build_class_block(char32_t c) {
  // A thread that loses the race to publish drops its copy. Blocks live as long as the process.
  auto* const built = new std::uint32_t[class_block_size];
  char32_t const first = c - c % class_block_size;
  for (std::size_t i = 0; i < class_block_size; ++i) {
    built[i] = class_from_icu(first + static_cast<char32_t>(i));
  }
  std::uint32_t const* published = nullptr;
  if (class_blocks[c / class_block_size].compare_exchange_strong(published, built,
                                                                 std::memory_order_acq_rel)) {
    return built;
  }
  delete[] built;
  return published;
}

}  // namespace dalk::detail
