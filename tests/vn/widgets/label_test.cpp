#include <gtest/gtest.h>

#include <locale>
#include <sstream>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include <vn/vn.hpp>

#include "support/process.hpp"
#include "support/screen_text.hpp"

namespace {

using dalk::Area;
using dalk::Brush;
using dalk::Glyph;
using dalk::Trait;
using dalk::XColor;
using Rows = std::vector<std::string>;
using vennic::test::screen_rows;
using vn::Align;

Brush const yellow_on_blue{XColor::Blue, XColor::Yellow, Trait::Bold};

TEST(AlignTest, Offsets) {
  EXPECT_EQ(vn::find_align_offset(Align::Left, 10, 3), 0);
  EXPECT_EQ(vn::find_align_offset(Align::Center, 10, 3), 3);
  EXPECT_EQ(vn::find_align_offset(Align::Center, 10, 4), 3);
  EXPECT_EQ(vn::find_align_offset(Align::Right, 10, 3), 7);
  // Not clamped: a text longer than its space starts left of it.
  EXPECT_EQ(vn::find_align_offset(Align::Center, 3, 6), -1);
  EXPECT_EQ(vn::find_align_offset(Align::Center, 3, 8), -2);
  EXPECT_EQ(vn::find_align_offset(Align::Right, 3, 6), -3);
  EXPECT_EQ(vn::find_align_offset(static_cast<Align>(7), 10, 3), 0);
}

// Untouched cells show as '.', so the expectations show which cells the label wrote.
class LabelTest : public ::testing::Test {
 protected:
  LabelTest() { buffer.fill(Glyph{U'.', {}}); }

  // Paints onto whatever the buffer holds: cells outside the text keep their code points.
  Rows paint(std::string_view text, Align align, Area size, Brush brush = {}) {
    vn::detail::paint_label(vn::Canvas{buffer, {1, 1}, size}, text, align, brush);
    return screen_rows(buffer, {1, 1}, size);
  }

  vn::ScreenBuffer buffer{Area{12, 7}};
};

TEST_F(LabelTest, AlignmentWithOddDifferencePutsTheExtraCellRight) {
  EXPECT_EQ(paint("abc", Align::Center, {6, 1}), Rows{".abc.."});
  buffer.fill(Glyph{U'.', {}});
  EXPECT_EQ(paint("abc", Align::Left, {6, 1}), Rows{"abc..."});
  buffer.fill(Glyph{U'.', {}});
  EXPECT_EQ(paint("abc", Align::Right, {6, 1}), Rows{"...abc"});
  buffer.fill(Glyph{U'.', {}});
  EXPECT_EQ(paint("ab", Align::Center, {6, 1}), Rows{"..ab.."});
}

TEST_F(LabelTest, LongTextKeepsItsStartWhateverTheAlignment) {
  for (Align align : {Align::Left, Align::Center, Align::Right}) {
    EXPECT_EQ(paint("abcdefgh", align, {5, 1}), Rows{"abcde"});
  }
  EXPECT_EQ(paint("αβγδεζ", Align::Right, {4, 1}), Rows{"αβγδ"});
}

TEST_F(LabelTest, TextGoesToTheLowerMiddleRow) {
  EXPECT_EQ(paint("x", Align::Left, {2, 4}), (Rows{"..", "..", "x.", ".."}));
  buffer.fill(Glyph{U'.', {}});
  EXPECT_EQ(paint("x", Align::Left, {2, 3}), (Rows{"..", "x.", ".."}));
  buffer.fill(Glyph{U'.', {}});
  EXPECT_EQ(paint("x", Align::Left, {2, 1}), Rows{"x."});
}

TEST_F(LabelTest, BrushCoversTheWholeRectangleAndKeepsOtherCodePoints) {
  paint("", Align::Center, {4, 3}, yellow_on_blue);
  paint("ab", Align::Center, {4, 3}, yellow_on_blue);
  EXPECT_EQ(screen_rows(buffer, {0, 0}, {6, 5}),
            (Rows{"......", "......", "..ab..", "......", "......"}));
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 6; ++x) {
      bool const inside = x >= 1 && x < 5 && y >= 1 && y < 4;
      EXPECT_EQ((buffer[{x, y}].brush), inside ? yellow_on_blue : Brush{}) << x << "," << y;
    }
  }
}

TEST_F(LabelTest, ZeroSizedCanvasReceivesNothing) {
  std::vector<Glyph> const before = buffer.glyphs;
  for (Area size : {Area{0, 3}, Area{5, 0}, Area{0, 0}}) {
    vn::detail::paint_label(vn::Canvas{buffer, {1, 1}, size}, "text", Align::Left, yellow_on_blue);
  }
  EXPECT_EQ(buffer.glyphs, before);
}

TEST_F(LabelTest, InvalidUtf8FailsAfterTheBrushAndBeforeAnyCodePoint) {
  EXPECT_THROW_MSG(paint("ab\xff", Align::Left, {4, 1}, yellow_on_blue), std::runtime_error,
                   "Invalid UTF-8 sequence");
  EXPECT_EQ(screen_rows(buffer, {1, 1}, {4, 1}), Rows{"...."});
  EXPECT_EQ((buffer[{1, 1}].brush), yellow_on_blue);
}

// Read back as a terminal shows it: a wide character once; `starts` is where the first
// character of the text lies.
struct WideLabelCase {
  char const* what;
  char const* text;
  Align align;
  int width;
  char const* line;
  char const* first;
  int starts;
};

class LabelWideTextTest : public ::testing::TestWithParam<WideLabelCase> {};

TEST_P(LabelWideTextTest, AlignsAndCutsByCells) {
  WideLabelCase const& c = GetParam();
  vn::Label label{{.text = c.text, .align = c.align}};
  vn::testing::Harness screen{label, {c.width, 1}};
  EXPECT_EQ(screen.line(0), c.line);
  EXPECT_EQ(screen.find(c.first), (dalk::Point{c.starts, 0}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LabelWideTextTest,
    ::testing::Values(WideLabelCase{"WideLeft", "日本", Align::Left, 6, "日本  ", "日", 0},
                      WideLabelCase{"WideCentre", "日本", Align::Center, 6, " 日本 ", "日", 1},
                      WideLabelCase{"WideCentreOddDifference", "日本", Align::Center, 7, " 日本  ",
                                    "日", 1},
                      WideLabelCase{"WideRight", "日本", Align::Right, 6, "  日本", "日", 2},
                      WideLabelCase{"MixedRight", "😀 end", Align::Right, 8, "  😀 end", "😀", 2},
                      WideLabelCase{"ExactFit", "日本語", Align::Center, 6, "日本語", "語", 4},
                      // A wide character left with one cell becomes a space; the start stays
                      // whatever the alignment.
                      WideLabelCase{"CutLeavesASpace", "日本語", Align::Right, 5, "日本 ", "本", 2},
                      WideLabelCase{"CutAfterNarrow", "a日本語", Align::Center, 4, "a日 ", "日", 1},
                      WideLabelCase{"CutBeforeNarrow", "日本x", Align::Right, 4, "日本", "本", 2},
                      WideLabelCase{"ComposedAccentsTakeOneCell", "cafe\u0301", Align::Right, 6,
                                    "  café", "café", 2},
                      WideLabelCase{"MarksWithoutComposedFormStay", "q\u0301q\u0301", Align::Center,
                                    4, " q\u0301q\u0301 ", "q\u0301q\u0301", 1}),
    [](::testing::TestParamInfo<WideLabelCase> const& info) {
      return std::string{info.param.what};
    });

TEST(LabelWidgetTest, SecondCellOfAWideCharacterKeepsTheBrushAndHoldsASpace) {
  vn::Label label{{.text = "日", .align = Align::Left, .brush = yellow_on_blue}};
  vn::testing::Harness screen{label, {3, 1}};
  EXPECT_EQ(screen.cell({0, 0}), (Glyph{U'日', yellow_on_blue}));
  EXPECT_EQ(screen.cell({1, 0}), (Glyph{U' ', yellow_on_blue}));
}

TEST(LabelWidgetTest, DefaultsMatchInit) {
  vn::Label::Options const defaults{};
  EXPECT_EQ(vn::Label::init.text, "");
  EXPECT_EQ(vn::Label::init.align, Align::Center);
  EXPECT_EQ(vn::Label::init.brush, Brush{});
  EXPECT_EQ(vn::Label::init.size_policy, vn::SizePolicy::flex(1.0F));
  EXPECT_EQ(defaults.align, vn::Label::init.align);
  EXPECT_EQ(defaults.size_policy, vn::Label::init.size_policy);

  vn::Label const label{vn::Label::init};
  EXPECT_EQ(label.focus_policy, vn::FocusPolicy::None);
  EXPECT_EQ(label.size_policy, vn::SizePolicy::flex(1.0F));
  EXPECT_EQ(label.align, Align::Center);
}

// Labels live in vectors (heading rows); reallocation must move them, not fail to compile.
static_assert(std::is_nothrow_move_constructible_v<vn::Label>);
static_assert(std::is_nothrow_move_assignable_v<vn::Label>);

TEST(LabelWidgetTest, PaintReadsTheCurrentMembers) {
  vn::ScreenBuffer buffer{Area{5, 1}};
  vn::Label label{{.text = "hi", .align = Align::Left, .size_policy = vn::SizePolicy::fixed(5)}};
  EXPECT_EQ(label.size_policy, vn::SizePolicy::fixed(5));
  label.paint(vn::Canvas{buffer, {0, 0}, {5, 1}});
  EXPECT_EQ(screen_rows(buffer), Rows{"hi   "});

  label.text = "yo!";
  label.align = Align::Right;
  label.brush = yellow_on_blue;
  label.paint(vn::Canvas{buffer, {0, 0}, {5, 1}});
  EXPECT_EQ(screen_rows(buffer), Rows{"hiyo!"});
  EXPECT_EQ((buffer[{0, 0}].brush), yellow_on_blue);
}

std::string format_with(std::locale const& locale, long long value) {
  std::ostringstream out;
  out.imbue(locale);
  out << value;
  return out.str();
}

TEST(DigitSeparatorLocaleTest, GroupsDigits) {
  std::locale const threes = vn::digit_separator_locale(3, std::locale::classic());
  EXPECT_EQ(format_with(threes, 1234567), "1,234,567");
  EXPECT_EQ(format_with(threes, -1000), "-1,000");
  EXPECT_EQ(format_with(threes, 999), "999");
  EXPECT_EQ(format_with(vn::digit_separator_locale(2, std::locale::classic()), 123456), "12,34,56");
  EXPECT_EQ(std::use_facet<std::numpunct<char>>(threes).grouping(), std::string(1, '\3'));
}

// A base whose own punctuation differs: only the grouping may come from the new facet, the
// rest from the standard facet, not from the base.
struct DotSeparated : std::numpunct<char> {
  char do_thousands_sep() const override { return '.'; }
  char do_decimal_point() const override { return ','; }
  std::string do_grouping() const override { return "\1"; }
};

TEST(DigitSeparatorLocaleTest, OtherPunctuationIsTheStandardFacets) {
  std::locale const base{std::locale::classic(), new DotSeparated};
  EXPECT_EQ(format_with(base, 1234), "1.2.3.4");
  std::locale const threes = vn::digit_separator_locale(3, base);
  EXPECT_EQ(format_with(threes, 1234567), "1,234,567");
  std::ostringstream out;
  out.imbue(threes);
  out << 1.5;
  EXPECT_EQ(out.str(), "1.5");
}

TEST(DigitSeparatorLocaleTest, ZeroSpacingMeansNoGrouping) {
  std::locale const none = vn::digit_separator_locale(0, std::locale::classic());
  EXPECT_EQ(std::use_facet<std::numpunct<char>>(none).grouping(), std::string(1, '\0'));
  EXPECT_EQ(format_with(none, 1234567), "1234567");
}

TEST(DigitSeparatorLocaleTest, NegativeSpacingThrows) {
  EXPECT_THROW_MSG(vn::digit_separator_locale(-1, std::locale::classic()), std::invalid_argument,
                   "digit_separator_locale: spacing must be non-negative");
}

}  // namespace
