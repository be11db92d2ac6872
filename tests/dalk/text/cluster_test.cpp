#include "dalk/cluster.hpp"

#include <gtest/gtest.h>
#include <unicode/ubrk.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "dalk/text.hpp"
#include "dalk/transcode.hpp"
#include "dalk/width.hpp"
#include "support/process.hpp"

namespace {

using dalk::text::WidthModel;

// Text in many scripts: how many characters a reader sees, and the cells terminals advance over
// it under each model (as measured in xterm 379, libvterm 0.1.4, kitty 0.26.5 and tmux 3.3a).
struct Sample {
  char const* utf8;
  std::size_t characters;
  int code_points;  // xterm, libvterm
  int clusters;     // mode 2027
  int kitty;
  int tmux;
};

std::vector<Sample> const samples{
    {"नमस्ते", 3, 4, 3, 4, 4},     // Devanagari: virama and vowel sign join their consonants
    {"दुनिया", 3, 5, 3, 3, 5},    // spacing vowel signs take a cell of their own but in kitty
    {"क्षि", 1, 3, 1, 2, 3},      // a conjunct
    {"বাংলা", 2, 5, 2, 2, 5},    // Bengali
    {"தமிழ்", 3, 4, 3, 3, 4},     // Tamil
    {"สวัสดีครับ", 7, 7, 7, 7, 7},  // Thai: vowels and tone marks above
    {"שָׁלוֹם", 4, 4, 4, 4, 4},     // Hebrew with points
    {"مَرْحَبًا", 5, 5, 5, 5, 5},    // Arabic with harakat
    {"❤️", 1, 1, 2, 2, 1},   // emoji presentation selector
    {"❤︎", 1, 1, 1, 1, 1},   // text presentation selector
    {"☺️", 1, 1, 2, 2, 1},   //
    {"1️⃣", 1, 1, 2, 2, 1},  // keycap
    {"👩‍👩‍👧", 1, 6, 2, 6, 2},  // a ZWJ family
    {"👩‍💻", 1, 4, 2, 4, 2},         // a ZWJ profession
    {"👍🏽", 1, 4, 2, 2, 4},            // skin tone
    {"🇫🇷", 1, 2, 2, 2, 2},                  // flag
    {"🇫", 1, 1, 2, 2, 1},                   // a lone regional indicator
    {"\u1100\u1161\u11a8", 1, 2, 2, 2, 2},  // Hangul jamo, written composed
    {"e\u0301", 1, 1, 1, 1, 1},             // composes to one code point
    {"q\u0301\u0302", 1, 1, 1, 1, 1},       // no composed form: marks ride in the cell
    {"中文", 2, 4, 4, 4, 4},
    {"plain", 5, 5, 5, 5, 5},
};

int expected_cells(Sample const& sample, WidthModel model) {
  switch (model) {
    case WidthModel::CodePoints:
      return sample.code_points;
    case WidthModel::Clusters:
      return sample.clusters;
    case WidthModel::KittyCodePoints:
      return sample.kitty;
    case WidthModel::TmuxCodePoints:
      return sample.tmux;
  }
  return -1;
}

std::u32string composed(char const* utf8) {
  return dalk::nfc(dalk::detail::u8_string_to_u32_string(utf8));
}

class ClusterTest : public ::testing::Test {
 protected:
  void TearDown() override { dalk::text::set_width_model(WidthModel::CodePoints); }
};

TEST_F(ClusterTest, SamplesSplitIntoCharactersAndMeasureUnderBothModels) {
  for (Sample const& sample : samples) {
    SCOPED_TRACE(sample.utf8);
    std::u32string const text = composed(sample.utf8);
    std::size_t characters = 0;
    for (std::size_t at = 0; at < text.size(); at = dalk::text::cluster_end(text, at)) {
      ++characters;
    }
    EXPECT_EQ(characters, sample.characters);
    for (WidthModel const model : {WidthModel::CodePoints, WidthModel::Clusters,
                                   WidthModel::KittyCodePoints, WidthModel::TmuxCodePoints}) {
      SCOPED_TRACE(static_cast<int>(model));
      dalk::text::set_width_model(model);
      int const expected = expected_cells(sample, model);
      EXPECT_EQ(dalk::text::cells(std::string_view{sample.utf8}), expected);
      std::u32string const symbols = dalk::text::drawable(std::string_view{sample.utf8});
      EXPECT_EQ(symbols.size(), sample.characters);
      EXPECT_EQ(dalk::text::cells(std::u32string_view{symbols}),
                static_cast<std::size_t>(expected));
      // The symbols give back the composed text whole.
      std::u32string back;
      for (char32_t const symbol : symbols) {
        dalk::text::append_code_points(symbol, back);
      }
      EXPECT_EQ(back, text);
    }
  }
}

// Drawing walks a whole text with one break iterator; stepping with cluster_end, which reads a
// window around each position, must split it the same, also where a cluster or a run of
// regional indicators is longer than the window, where a zero-width character is dropped and
// where CR comes before LF.
TEST_F(ClusterTest, DrawingSplitsTextAsClusterEndDoes) {
  std::u32string const indicators(71, U'\U0001F1EB');
  std::u32string const marks(70, U'\u0301');
  std::u32string family;
  for (int i = 0; i < 40; ++i) {
    family += U"\U0001F469\u200D";
  }
  std::u32string all_samples;
  for (Sample const& sample : samples) {
    all_samples += composed(sample.utf8);
  }
  std::vector<std::u32string> const texts{
      all_samples,
      U"a" + indicators + U"\u0915\u094D\u0937" + indicators,
      U"q" + marks + U"\u0E19\u0E49\u0E33" + marks + U"x",
      family + U"\U0001F4BB" + family,
      U"x\r\n\u0301y\u200B\u0301\u0085\u05D1\u05BC\u200D\U0001F308",
      U"\u0301\u0628\u064E\U0001F1EF\U0001F1F5\U0001F1E7" + all_samples,
  };
  for (std::u32string const& text : texts) {
    std::u32string expected;
    for (std::size_t at = 0; at < text.size();) {
      std::size_t const end = dalk::text::cluster_end(text, at);
      std::u32string_view const cluster{text.data() + at, end - at};
      char32_t const symbol = dalk::text::symbol_of(cluster);
      if (dalk::text::cells(symbol) != 0) {
        expected.push_back(symbol);
      }
      at = end;
    }
    EXPECT_EQ(dalk::text::drawable(text), expected) << dalk::detail::u32_to_u8(text);
  }
}

// The first boundary after `at`, from ICU's break iterator over the whole text.
std::size_t icu_following(std::u32string const& text, std::size_t at) {
  std::vector<UChar> units;
  std::vector<std::size_t> index_of;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] > 0xFFFF) {
      units.insert(units.end(), {U16_LEAD(text[i]), U16_TRAIL(text[i])});
      index_of.insert(index_of.end(), {i, i});
    } else {
      units.push_back(static_cast<UChar>(text[i]));
      index_of.push_back(i);
    }
  }
  index_of.push_back(text.size());
  UErrorCode status = U_ZERO_ERROR;
  UBreakIterator* const it =
      ubrk_open(UBRK_CHARACTER, "", units.data(), static_cast<int32_t>(units.size()), &status);
  auto const unit = std::find(index_of.begin(), index_of.end(), at) - index_of.begin();
  int32_t const next = ubrk_following(it, static_cast<int32_t>(unit));
  ubrk_close(it);
  return index_of[static_cast<std::size_t>(next)];
}

// Clusters are mostly found from code point classes, the break iterator asked only where a rule
// looks further back; random text of the code points those rules are about must split as the
// iterator splits it, from every position.
TEST_F(ClusterTest, RulesFindTheBreakIteratorsBoundaries) {
  constexpr std::u32string_view pool =
      U"a\u0301\u0915\u0937\u094D\u093F\u093C\u0903\u0995\u09CD\u0E19\u0E49\u0E33"
      U"\u05E9\u05B8\u1100\u1161\u11A8\uAC00\uAC01\U0001F1EB\U0001F1F7\U0001F469"
      U"\U0001F4BB\U0001F3FD\uFE0F\u20E3\u200D\u200C\u0600\u00A9\U000E0067\u6F22";
  std::mt19937 random{26};
  for (int round = 0; round < 3000; ++round) {
    std::u32string text;
    for (std::size_t n = 1 + random() % 12; n > 0; --n) {
      text += pool[random() % pool.size()];
    }
    text = dalk::nfc(text);
    for (std::size_t at = 0; at < text.size(); ++at) {
      ASSERT_EQ(dalk::text::cluster_end(text, at), icu_following(text, at))
          << dalk::detail::u32_to_u8(text) << " from " << at;
    }
    std::u32string drawn;
    for (std::size_t at = 0; at < text.size();) {
      std::size_t const end = icu_following(text, at);
      char32_t const symbol = dalk::text::symbol_of(std::u32string_view{text}.substr(at, end - at));
      if (dalk::text::cells(symbol) != 0) {
        drawn += symbol;
      }
      at = end;
    }
    ASSERT_EQ(dalk::text::drawable(text), drawn) << dalk::detail::u32_to_u8(text);
  }
}

TEST_F(ClusterTest, OneCodePointIsItsOwnSymbolAndEqualClustersShareOne) {
  EXPECT_EQ(dalk::text::symbol_of(U"a"), U'a');
  EXPECT_EQ(dalk::text::symbol_of(U"\U0001F44D"), U'\U0001F44D');
  char32_t const thumb = dalk::text::symbol_of(U"\U0001F44D\U0001F3FD");
  EXPECT_TRUE(dalk::text::is_cluster(thumb));
  EXPECT_EQ(dalk::text::symbol_of(U"\U0001F44D\U0001F3FD"), thumb);
  EXPECT_NE(dalk::text::symbol_of(U"\U0001F44D\U0001F3FF"), thumb);
}

TEST_F(ClusterTest, ControlsStandAloneAndCharactersAreNeverCut) {
  std::u32string const text = U"a\r\n\u0301b";
  EXPECT_EQ(dalk::text::cluster_end(text, 1), 2U);
  EXPECT_EQ(dalk::text::cluster_end(text, 2), 3U);
  EXPECT_EQ(dalk::text::cluster_end(text, 3), 4U);
  // A family of six cells (code point model) is dropped whole when five remain.
  std::u32string symbols = dalk::text::drawable(std::string_view{"ab👩‍👩‍👧"});
  EXPECT_EQ(dalk::text::cut_to_cells(symbols, 7), 2);
  EXPECT_EQ(symbols, U"ab");
}

TEST_F(ClusterTest, BoundariesAndBackspaceStepByCharacter) {
  struct Case {
    char const* text;
    std::size_t previous;   // the start of the last character
    std::size_t backspace;  // what Backspace keeps
  };
  std::vector<Case> const cases{
      {"ab", 1, 1},
      {"a👩‍👩‍👧", 1, 1},  // a family goes whole
      {"a🇫🇷", 1, 1},                  // a flag
      {"a1️⃣", 1, 1},             // a keycap (its enclosing mark goes with it)
      {"a👍🏽", 1, 1},            // skin tone
      {"aक्", 1, 4},                   // a virama alone
      {"aक्षि", 1, 10},                // a conjunct's vowel sign alone
      {"aनि", 1, 4},                  // a vowel sign alone
      {"aq\u0301", 1, 2},             // an accent alone
      {"a\u1100\u1161", 1, 1},        // a Hangul syllable in jamo
      {"a❤️", 1, 1},              // a variation selector goes with its emoji
  };
  for (Case const& c : cases) {
    SCOPED_TRACE(c.text);
    std::string_view const text{c.text};
    EXPECT_EQ(dalk::text::boundary(text, text.size(), dalk::text::Boundary::Previous), c.previous);
    EXPECT_EQ(dalk::text::boundary(text, c.previous, dalk::text::Boundary::Next), text.size());
    EXPECT_EQ(dalk::text::backspace_start(text, text.size()), c.backspace);
    std::u32string const points = dalk::detail::u8_string_to_u32_string(text);
    EXPECT_EQ(dalk::text::boundary(std::u32string_view{points}, points.size(),
                                   dalk::text::Boundary::Previous),
              1U);
  }
}

TEST_F(ClusterTest, TheStoreIsBoundedAndReleasesWhatNoFrameDraws) {
  // In a child: the store is the process's. More distinct clusters than it holds, a thousand
  // drawn a frame: each reads back while its frame is drawn, and the first, released long ago,
  // reads as U+FFFD.
  auto const result = vennic::test::run_in_child([] {
    std::u32string cluster = U"a\u0301\u0302";
    char32_t first = 0;
    for (std::size_t i = 0; i < dalk::text::max_interned_clusters + 1000; ++i) {
      cluster[0] = static_cast<char32_t>(0x4E00 + i % 20000);
      cluster[1] = static_cast<char32_t>(0x0300 + i / 20000);
      char32_t const symbol = dalk::text::symbol_of(cluster);
      first = i == 0 ? symbol : first;
      if (i % 1000 == 999) {
        dalk::text::detail::next_cluster_frame();
      }
      if (!dalk::text::is_cluster(symbol) || dalk::text::code_points(symbol) != cluster) {
        return 1;
      }
    }
    return dalk::text::code_points(first) == U"\uFFFD" ? 0 : 2;
  });
  EXPECT_TRUE(result.exited);
  EXPECT_EQ(result.exit_status, 0);
}

}  // namespace
