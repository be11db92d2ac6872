// Text whose cursor advance differs between terminals: scripts with combining marks and
// conjuncts, emoji with variation selectors, joiners, modifiers and flags, conjoining jamo and
// combining accents. Shared by the width probe and the test that reads its results.
#pragma once

#include <array>
#include <string_view>

namespace vennic::test {

struct WidthSample {
  std::string_view name;
  std::string_view utf8;
};

inline constexpr std::array width_samples{
    WidthSample{"Devanagari namaste", "\u0928\u092E\u0938\u094D\u0924\u0947"},
    WidthSample{"Devanagari duniya", "\u0926\u0941\u0928\u093F\u092F\u093E"},
    WidthSample{"Devanagari conjunct kssi", "\u0915\u094D\u0937\u093F"},
    WidthSample{"Bengali bangla", "\u09AC\u09BE\u0982\u09B2\u09BE"},
    WidthSample{"Tamil tamil", "\u0BA4\u0BAE\u0BBF\u0BB4\u0BCD"},
    WidthSample{"Thai sawasdee khrap",
                "\u0E2A\u0E27\u0E31\u0E2A\u0E14\u0E35\u0E04\u0E23\u0E31\u0E1A"},
    WidthSample{"Hebrew shalom", "\u05E9\u05B8\u05C1\u05DC\u05D5\u05B9\u05DD"},
    WidthSample{"Arabic marhaban", "\u0645\u064E\u0631\u0652\u062D\u064E\u0628\u064B\u0627"},
    WidthSample{"heart + VS16", "\u2764\uFE0F"},
    WidthSample{"heart + VS15", "\u2764\uFE0E"},
    WidthSample{"smiley + VS16", "\u263A\uFE0F"},
    WidthSample{"keycap 1", "1\uFE0F\u20E3"},
    WidthSample{"family ZWJ", "\U0001F469\u200D\U0001F469\u200D\U0001F467"},
    WidthSample{"technologist ZWJ", "\U0001F469\u200D\U0001F4BB"},
    WidthSample{"thumbs up + skin tone", "\U0001F44D\U0001F3FD"},
    WidthSample{"flag FR", "\U0001F1EB\U0001F1F7"},
    WidthSample{"lone regional indicator", "\U0001F1EB"},
    WidthSample{"Hangul jamo gak", "\u1100\u1161\u11A8"},
    WidthSample{"e + acute", "e\u0301"},
    WidthSample{"a + acute + circumflex", "a\u0301\u0302"},
    WidthSample{"thumbs up", "\U0001F44D"},
    WidthSample{"CJK zhong", "\u4E2D"},
    WidthSample{"Latin A", "A"},
};

}  // namespace vennic::test
