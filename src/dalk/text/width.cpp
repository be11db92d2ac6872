#include "dalk/width.hpp"

#include "dalk/text/code_point_classes.hpp"
#include "dalk/text/width_properties.hpp"

#include <unicode/errorcode.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <array>
#include <cstdint>

namespace dalk {
namespace {

constexpr char32_t max_code_point = 0x10FFFF;

int width_from_icu(char32_t c) {
  auto const code = static_cast<UChar32>(c);
  auto const category = static_cast<UCharCategory>(u_charType(code));
  if (category == U_CONTROL_CHAR || category == U_SURROGATE) {
    return 1;
  }
  if (category == U_NON_SPACING_MARK || category == U_ENCLOSING_MARK || category == U_FORMAT_CHAR) {
    return 0;
  }
  // Jamo vowels and trailing consonants join the leading consonant before them into one
  // syllable block.
  auto const hangul = u_getIntPropertyValue(code, UCHAR_HANGUL_SYLLABLE_TYPE);
  if (hangul == U_HST_VOWEL_JAMO || hangul == U_HST_TRAILING_JAMO) {
    return 0;
  }
  return detail::property_width(code);
}

icu::Normalizer2 const* nfc_normalizer() {
  static icu::Normalizer2 const* const normalizer = [] {
    icu::ErrorCode status;
    icu::Normalizer2 const* const instance = icu::Normalizer2::getNFCInstance(status);
    return status.isSuccess() ? instance : nullptr;
  }();
  return normalizer;
}

bool is_ascii(std::u32string_view s) {
  return std::all_of(s.begin(), s.end(), [](char32_t c) { return c < 0x80; });
}

bool is_scalar(char32_t c) {
  return c <= max_code_point && (c < 0xD800 || c > 0xDFFF);
}

bool is_well_formed(std::u32string_view s) {
  return std::all_of(s.begin(), s.end(), is_scalar);
}

icu::UnicodeString to_icu(std::u32string_view s) {
  return icu::UnicodeString::fromUTF32(reinterpret_cast<UChar32 const*>(s.data()),
                                       static_cast<int32_t>(s.size()));
}

}  // namespace

// Higher planes than the table's go to ICU on each call.
detail::PackedWidths const& detail::code_point_widths() {
  static detail::PackedWidths const table{width_from_icu};
  return table;
}

int width(char32_t c) {
  if (c >= 0x20 && c < 0x7F) {
    return 1;
  }
  if (c < detail::PackedWidths::end) {
    return detail::code_point_widths()[c];
  }
  if (c > max_code_point) {
    return 1;
  }
  return width_from_icu(c);
}

std::size_t width(std::u32string_view s) {
  std::size_t total = 0;
  for (char32_t const c : s) {
    total += static_cast<std::size_t>(width(c));
  }
  return total;
}

bool is_nfc(std::u32string_view s) {
  // The quick check: every code point NFC_Quick_Check Yes and the marks in canonical order
  // answer without the normalizer (code points ICU cannot read are U+FFFD to it, which passes).
  int last_class = 0;
  bool quick_yes = true;
  for (char32_t const c : s) {
    if (c < 0x300) {
      last_class = 0;
      continue;
    }
    detail::CodePointClass const properties = detail::code_point_class(c);
    int const combining_class = properties.combining_class();
    if (!properties.is_nfc_yes() || (combining_class != 0 && combining_class < last_class)) {
      quick_yes = false;
      break;
    }
    last_class = combining_class;
  }
  if (quick_yes) {
    return true;
  }
  icu::Normalizer2 const* const normalizer = nfc_normalizer();
  if (normalizer == nullptr) {
    return true;
  }
  if (!is_well_formed(s)) {
    return nfc(s) == s;
  }
  icu::ErrorCode status;
  bool const normalized = normalizer->isNormalized(to_icu(s), status) != 0;
  return status.isFailure() || normalized;
}

std::u32string nfc(std::u32string_view s) {
  icu::Normalizer2 const* const normalizer = nfc_normalizer();
  if (normalizer == nullptr || is_ascii(s)) {
    return std::u32string{s};
  }
  // ICU cannot carry ill-formed units through, so each well-formed run is composed on its own
  // and the units between runs are kept.
  std::u32string out;
  out.reserve(s.size());
  while (!s.empty()) {
    auto const bad = std::find_if(s.begin(), s.end(), [](char32_t c) { return !is_scalar(c); });
    auto const run = s.substr(0, static_cast<std::size_t>(bad - s.begin()));
    icu::ErrorCode status;
    icu::UnicodeString const composed = normalizer->normalize(to_icu(run), status);
    if (status.isFailure()) {
      out += run;
    } else {
      std::u32string part(static_cast<std::size_t>(composed.countChar32()), U'\0');
      icu::ErrorCode copy_status;
      composed.toUTF32(reinterpret_cast<UChar32*>(part.data()), static_cast<int32_t>(part.size()),
                       copy_status);
      out += part;
    }
    s.remove_prefix(run.size());
    if (!s.empty()) {
      out += s.front();
      s.remove_prefix(1);
    }
  }
  return out;
}

}  // namespace dalk
