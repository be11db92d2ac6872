#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dalk/width.hpp"

namespace {

struct WidthCase {
  char32_t code_point;
  int columns;
  char const* what;
};

TEST(WidthTest, CodePointWidthsFollowTheirProperties) {
  std::vector<WidthCase> const cases{
      {U'a', 1, "ASCII letter"},
      {U' ', 1, "space"},
      {U'\u00e9', 1, "precomposed Latin letter"},
      {U'\u0301', 0, "combining acute accent"},
      {U'\u20dd', 0, "enclosing circle"},
      {U'\u200b', 0, "zero-width space"},
      {U'\u200d', 0, "zero-width joiner"},
      {U'\u00ad', 0, "soft hyphen"},
      {U'\ufe0f', 0, "variation selector 16"},
      {U'\U000e0100', 0, "variation selector supplement"},
      {U'\u1160', 0, "Hangul medial vowel"},
      {U'\u11a8', 0, "Hangul final consonant"},
      {U'\u1100', 2, "Hangul leading consonant"},
      {U'\uac00', 2, "Hangul syllable"},
      {U'\u65e5', 2, "CJK ideograph"},
      {U'\u3042', 2, "Hiragana"},
      {U'\uff21', 2, "fullwidth Latin A"},
      {U'\uff71', 1, "halfwidth Katakana"},
      {U'\U0001f600', 2, "emoji with emoji presentation"},
      {U'\u2764', 1, "emoji with text presentation by default"},
      {U'\u231a', 2, "watch, emoji presentation in the BMP"},
      {U'\U0001f1ef', 2, "regional indicator"},
      {U'\U00020000', 2, "CJK extension B"},
      {U'\u2500', 1, "box drawing"},
      {U'\u0007', 1, "control character (shown as U+FFFD)"},
      {char32_t{0xD800}, 1, "lone surrogate"},
      {char32_t{0x110000}, 1, "above U+10FFFF"},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(dalk::width(c.code_point), c.columns);
  }
}

TEST(WidthTest, StringWidthIsTheSumOfItsCodePoints) {
  EXPECT_EQ(dalk::width(std::u32string_view{}), 0U);
  EXPECT_EQ(dalk::width(U"abc"), 3U);
  EXPECT_EQ(dalk::width(U"\u65e5\u672c\u8a9e"), 6U);
  EXPECT_EQ(dalk::width(U"e\u0301"), 1U);
  EXPECT_EQ(dalk::width(U"\U0001f600 end"), 6U);
}

struct NfcCase {
  std::u32string input;
  std::u32string composed;
  char const* what;
};

TEST(WidthTest, NfcComposesWhatHasAComposedForm) {
  std::vector<NfcCase> const cases{
      {U"", U"", "empty"},
      {U"plain ASCII", U"plain ASCII", "ASCII unchanged"},
      {U"e\u0301", U"\u00e9", "letter and accent compose"},
      {U"Jose\u0301", U"Jos\u00e9", "inside a word"},
      {U"q\u0301", U"q\u0301", "no composed form: unchanged"},
      {U"\u1100\u1161", U"\uac00", "Hangul jamo compose into a syllable"},
      {U"\u65e5\u672c", U"\u65e5\u672c", "CJK unchanged"},
      {std::u32string{U'e', char32_t{0xD800}, U'e', U'\u0301'},
       std::u32string{U'e', char32_t{0xD800}, U'\u00e9'},
       "a lone surrogate is kept, the runs around it composed"},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(dalk::nfc(c.input), c.composed);
    EXPECT_EQ(dalk::is_nfc(c.input), c.input == c.composed);
  }
}

}  // namespace
