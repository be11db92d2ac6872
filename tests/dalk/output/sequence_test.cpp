#include <gtest/gtest.h>
#include <unistd.h>

#include <dalk/dalk.hpp>
#include <string>
#include <string_view>
#include <thread>
#include <variant>

#include "support/process.hpp"

using namespace std::string_literals;
using dalk::Brush;
using dalk::Color;
using dalk::Point;
using dalk::Trait;
using dalk::Traits;
using dalk::TrueColor;
using dalk::XColor;

// Readable failure messages for colours.
namespace dalk {
static void PrintTo(XColor c, std::ostream* os) {
  *os << "XColor{" << c.value << "}";
}
static void PrintTo(TrueColor c, std::ostream* os) {
  *os << "TrueColor{" << +c.red << "," << +c.green << "," << +c.blue << "}";
}
}  // namespace dalk

namespace {

constexpr std::string_view all_off = "\x1b[22;23;24;25;27;28;29";

std::string off_then(std::string_view parameters) {
  return std::string{all_off} + ";" + std::string{parameters} + "m";
}

// Runs body in a child whose stdout is a pipe and returns exactly the bytes it wrote.
std::string written_by(std::function<void()> const& body) {
  auto const result = vennic::test::run_in_child([&] {
    body();
    dalk::flush();
    return 0;
  });
  EXPECT_TRUE(result.exited && result.exit_status == 0) << result.output;
  return result.output;
}

}  // namespace

TEST(SequenceTest, CursorMoveIsRowFirstAndOneBased) {
  EXPECT_EQ(dalk::escape(Point{0, 0}), "\x1b[1;1H");
  EXPECT_EQ(dalk::escape(Point{4, 9}), "\x1b[10;5H");
  EXPECT_EQ(dalk::escape(Point{199, 59}), "\x1b[60;200H");
}

TEST(SequenceTest, EraseSequences) {
  EXPECT_EQ(dalk::escape(dalk::BlankRow{}), "\x1b[2K");
  EXPECT_EQ(dalk::escape(dalk::BlankScreen{}), "\x1b[2J");
}

TEST(SequenceTest, EachTraitSwitchesAllOffThenItselfOn) {
  struct Case {
    Trait trait;
    std::string_view parameters;
  };
  Case const cases[] = {
      {Trait::Standout, "1;7"},       {Trait::Bold, "1"},      {Trait::Dim, "2"},
      {Trait::Italic, "3"},           {Trait::Underline, "4"}, {Trait::Blink, "5"},
      {Trait::Inverse, "7"},          {Trait::Invisible, "8"}, {Trait::CrossedOut, "9"},
      {Trait::DoubleUnderline, "21"},
  };
  for (auto const& c : cases) {
    EXPECT_EQ(dalk::escape(c.trait), off_then(c.parameters)) << c.parameters;
    EXPECT_EQ(dalk::traits(), Traits{c.trait});
  }
}

TEST(SequenceTest, TraitsComeOutInBitOrderWhateverTheOrderOfCombining) {
  EXPECT_EQ(dalk::escape(Trait::Bold | Trait::Underline), off_then("1;4"));
  EXPECT_EQ(dalk::escape(Trait::Underline | Trait::Bold), off_then("1;4"));
  EXPECT_EQ(dalk::escape(Trait::DoubleUnderline | Trait::Inverse | Trait::Standout),
            off_then("1;7;7;21"));

  Traits every;
  for (int bit = 9; bit >= 0; --bit) {
    every |= static_cast<Trait>(1U << bit);
  }
  // 18 parameters: the switching off is a sequence of its own.
  EXPECT_EQ(dalk::escape(every), std::string{all_off} + "m\x1b[1;7;1;2;3;4;5;7;8;9;21m");
  EXPECT_EQ(dalk::traits(), every);
}

TEST(SequenceTest, TraitsPastSixteenParametersSwitchOnInASecondSequence) {
  Traits const singles = Trait::Bold | Trait::Dim | Trait::Italic | Trait::Underline |
                         Trait::Blink | Trait::Inverse | Trait::Invisible | Trait::CrossedOut;
  struct Case {
    Traits traits;
    std::string expected;
  };
  Case const cases[] = {
      // 7 + 9 and 7 + 2 + 7 parameters: one sequence, as ever.
      {singles | Trait::DoubleUnderline, off_then("1;2;3;4;5;7;8;9;21")},
      {Traits{Trait::Standout} | Trait::Bold | Trait::Dim | Trait::Italic | Trait::Underline |
           Trait::Blink | Trait::Inverse | Trait::Invisible,
       off_then("1;7;1;2;3;4;5;7;8")},
      // 17 parameters.
      {singles | Trait::Standout, std::string{all_off} + "m\x1b[1;7;1;2;3;4;5;7;8;9m"},
  };
  for (auto const& c : cases) {
    EXPECT_EQ(dalk::escape(c.traits), c.expected) << c.traits.value();
    EXPECT_EQ(dalk::traits(), c.traits);
  }
}

TEST(SequenceTest, EscapesAreBuiltFromTwoThreadsAtOnce) {
  Brush const brushes[] = {{TrueColor{1, 2, 3}, XColor{7}, Trait::Bold},
                           {XColor::Default, TrueColor{4, 5, 6}, Trait::Italic | Trait::Dim}};
  auto const build = [&](Brush const& b) {
    for (int i = 0; i < 20000; ++i) {
      (void)dalk::escape(b);
      (void)dalk::traits();
      (void)dalk::background_color();
    }
  };
  std::thread other{build, brushes[1]};
  build(brushes[0]);
  other.join();
  // Each value recorded is one that a thread encoded, never a mixture.
  Color const background = dalk::background_color();
  EXPECT_TRUE(background == brushes[0].background || background == brushes[1].background);
  Traits const traits = dalk::traits();
  EXPECT_TRUE(traits == brushes[0].traits || traits == brushes[1].traits);
}

TEST(SequenceTest, EmptyTraitsAndClearTraitsRecordNoTraits) {
  std::string const off = std::string{all_off} + "m";
  (void)dalk::escape(Trait::Bold);
  EXPECT_EQ(dalk::escape(Traits{}), off);
  EXPECT_TRUE(dalk::traits().empty());

  (void)dalk::escape(Trait::Italic | Trait::Blink);
  EXPECT_EQ(dalk::clear_traits(), off);
  EXPECT_EQ(dalk::traits(), Traits{});
}

TEST(SequenceTest, MaskHoldsTheOrOfItsMembers) {
  Traits t = Trait::Bold | Trait::CrossedOut;
  EXPECT_EQ(t.value(), 2 + 256);
  EXPECT_TRUE(t.contains(Trait::Bold));
  EXPECT_FALSE(t.contains(Trait::Dim));
  EXPECT_TRUE(t.test_bit(8));
  EXPECT_FALSE(t.test_bit(0));
  t.remove(Trait::Bold);
  EXPECT_EQ(t, Traits{Trait::CrossedOut});
  t.insert(Trait::CrossedOut);
  EXPECT_EQ(t.value(), 256);
  EXPECT_TRUE(Traits{}.empty());
}

TEST(SequenceTest, PaletteColoursUseThe256ColourForm) {
  EXPECT_EQ(dalk::escape_bg(XColor::Default), "\x1b[49m");
  EXPECT_EQ(dalk::escape_fg(XColor::Default), "\x1b[39m");
  EXPECT_EQ(dalk::escape_bg(XColor::Red), "\x1b[48;5;1m");
  EXPECT_EQ(dalk::escape_bg(XColor::Black), "\x1b[48;5;0m");
  EXPECT_EQ(dalk::escape_fg(XColor::BrightWhite), "\x1b[38;5;15m");
  EXPECT_EQ(dalk::escape_fg(XColor{255}), "\x1b[38;5;255m");
}

TEST(SequenceTest, TrueColoursUseThe24BitForm) {
  EXPECT_EQ(dalk::escape_fg(TrueColor{0, 128, 255}), "\x1b[38;2;0;128;255m");
  EXPECT_EQ(dalk::escape_bg(TrueColor{255, 0, 7}), "\x1b[48;2;255;0;7m");
  EXPECT_EQ(dalk::escape(dalk::ColorBG{TrueColor{1, 2, 3}}), "\x1b[48;2;1;2;3m");
  EXPECT_EQ(dalk::escape(dalk::ColorFG{XColor::Cyan}), "\x1b[38;5;6m");
}

TEST(SequenceTest, ColourEscapesRecordWhatTheyEncodedEvenWhenDiscarded) {
  (void)dalk::escape_bg(TrueColor{1, 2, 3});
  EXPECT_EQ(dalk::background_color(), (Color{TrueColor{1, 2, 3}}));
  (void)dalk::escape_fg(XColor{42});
  EXPECT_EQ(dalk::foreground_color(), Color{XColor{42}});
  EXPECT_EQ(dalk::background_color(), (Color{TrueColor{1, 2, 3}}));  // untouched by fg

  (void)dalk::escape(dalk::ColorFG{TrueColor{9, 9, 9}});
  EXPECT_TRUE(std::holds_alternative<TrueColor>(dalk::foreground_color()));
  (void)dalk::escape(dalk::ColorBG{XColor::Default});
  EXPECT_EQ(dalk::background_color(), Color{XColor::Default});
}

TEST(SequenceTest, BrushIsBackgroundForegroundThenTraits) {
  (void)dalk::escape_bg(XColor::Red);
  (void)dalk::escape_fg(TrueColor{4, 5, 6});
  (void)dalk::escape(Trait::Bold);
  EXPECT_EQ(dalk::escape(Brush{}), "\x1b[49m\x1b[39m"s + std::string{all_off} + "m");
  EXPECT_EQ(dalk::background_color(), Color{XColor::Default});
  EXPECT_EQ(dalk::foreground_color(), Color{XColor::Default});
  EXPECT_TRUE(dalk::traits().empty());

  Brush const b{TrueColor{10, 20, 30}, XColor::Yellow, Trait::Italic | Trait::Dim};
  EXPECT_EQ(dalk::escape(b), "\x1b[48;2;10;20;30m\x1b[38;5;3m" + off_then("2;3"));
  EXPECT_EQ(dalk::background_color(), (Color{TrueColor{10, 20, 30}}));
  EXPECT_EQ(dalk::foreground_color(), Color{XColor::Yellow});
  EXPECT_EQ(dalk::traits(), Trait::Dim | Trait::Italic);
}

TEST(SequenceTest, ValueTypesCompareMemberwise) {
  EXPECT_NE(Color{XColor::Black}, (Color{TrueColor{0, 0, 0}}));
  EXPECT_EQ(XColor::Default.value, 256);
  EXPECT_EQ(XColor::BrightBlack.value, 8);
  EXPECT_EQ(dalk::Glyph{}.symbol, U' ');
  EXPECT_EQ(dalk::Glyph{}.brush, Brush{});
  EXPECT_NE((dalk::Glyph{U'a', Brush{}}), (dalk::Glyph{U'a', Brush{XColor::Red}}));
  EXPECT_NE((Brush{XColor::Default, XColor::Default, Trait::Bold}), Brush{});
}

TEST(SequenceTest, RecordedStateStartsAtTheDefaults) {
  // Only a fresh process shows the initial values.
  auto const result = vennic::test::run_program(VENNIC_PROBE, {"state"}, {});
  ASSERT_TRUE(result.exited && result.exit_status == 0) << result.output;
  EXPECT_EQ(result.output, "background=xcolor 256\nforeground=xcolor 256\ntraits=0\n");
}

TEST(Utf8EncodeTest, EveryLengthClass) {
  using dalk::detail::u32_to_u8;
  EXPECT_EQ(u32_to_u8(U'\0'), "\0"s);
  EXPECT_EQ(u32_to_u8(U'A'), "A");
  EXPECT_EQ(u32_to_u8(U'\x7F'), "\x7F");
  EXPECT_EQ(u32_to_u8(U'\x80'), "\xC2\x80");
  EXPECT_EQ(u32_to_u8(U'\xE9'), "\xC3\xA9");
  EXPECT_EQ(u32_to_u8(U'\x7FF'), "\xDF\xBF");
  EXPECT_EQ(u32_to_u8(U'\x800'), "\xE0\xA0\x80");
  EXPECT_EQ(u32_to_u8(U'\x20AC'), "\xE2\x82\xAC");
  EXPECT_EQ(u32_to_u8(U'\xFFFF'), "\xEF\xBF\xBF");
  EXPECT_EQ(u32_to_u8(U'\x10000'), "\xF0\x90\x80\x80");
  EXPECT_EQ(u32_to_u8(U'\x1F600'), "\xF0\x9F\x98\x80");
  EXPECT_EQ(u32_to_u8(U'\x10FFFF'), "\xF4\x8F\xBF\xBF");
}

TEST(Utf8EncodeTest, NothingIsRejected) {
  using dalk::detail::u32_to_u8;
  EXPECT_EQ(u32_to_u8(char32_t{0xD800}), "\xED\xA0\x80");
  EXPECT_EQ(u32_to_u8(char32_t{0xDFFF}), "\xED\xBF\xBF");
  // Above U+10FFFF only bits 0 to 21 survive in the four-byte pattern.
  EXPECT_EQ(u32_to_u8(char32_t{0x110000}), "\xF4\x90\x80\x80");
  EXPECT_EQ(u32_to_u8(char32_t{0x1FFFFF}), "\xF7\xBF\xBF\xBF");
  EXPECT_EQ(u32_to_u8(char32_t{0x21FFFFF}), "\xF7\xBF\xBF\xBF");
  EXPECT_EQ(u32_to_u8(char32_t{0x3FFFFF}), "\xFF\xBF\xBF\xBF");
  EXPECT_EQ(u32_to_u8(char32_t{0xFFFFFFFF}), "\xFF\xBF\xBF\xBF");
}

TEST(WriteTest, StringStopsAtTheFirstZeroByteButStringViewWritesAll) {
  std::string const text{"a\0b", 3};
  EXPECT_EQ(written_by([&] { dalk::write(text); }), "a");
  EXPECT_EQ(written_by([&] { dalk::write(std::string_view{text}); }), text);
  EXPECT_EQ(written_by([] { dalk::write(std::string_view{"\0\0x\0", 4}); }), "\0\0x\0"s);
}

TEST(WriteTest, CharactersAndCodePoints) {
  EXPECT_EQ(written_by([] {
              dalk::write('x');
              dalk::write('\0');
              dalk::write(U'\xE9');
              dalk::write(U'\0');
              dalk::write(U'\x1F600');
            }),
            "x\0\xC3\xA9\xF0\x9F\x98\x80"s);
}

TEST(WriteTest, CStringsAndUtf32Strings) {
  EXPECT_EQ(written_by([] {
              dalk::write("ab\x1b[1;1H");
              dalk::write(std::u32string_view{U"h\xE9\0!", 4});
            }),
            "ab\x1b[1;1Hh\xC3\xA9!");
}

TEST(WriteTest, NothingArrivesBeforeFlushWhenFullyBuffered) {
  auto const result = vennic::test::run_in_child([] {
    static char buffer[4096];
    std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
    dalk::write("held");
    // Bypasses stdio: appears before the buffered text only if that was held back.
    ::write(1, "first;", 6);
    dalk::flush();
    return 0;
  });
  ASSERT_TRUE(result.exited && result.exit_status == 0);
  EXPECT_EQ(result.output, "first;held");
}
