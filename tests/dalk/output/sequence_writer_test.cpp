// The table-driven writers behind the frame commit must produce exactly the bytes of the
// string-building escape functions, over every value they have a fast path for and the
// values around and beyond it.
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstring>
#include <dalk/dalk.hpp>
#include <string>

#include "support/vterm_emulator.hpp"

namespace {

using dalk::Brush;
using dalk::Point;
using dalk::Traits;
using dalk::TrueColor;
using dalk::XColor;

// Written into a buffer filled with a marker, so that a write past the room it was given
// shows up.
std::string written_point(Point p) {
  std::array<char, dalk::detail::max_point_escape_size + 1> buffer{};
  buffer.fill('#');
  char* const end = dalk::detail::write_escape(buffer.data(), p);
  EXPECT_EQ(buffer.back(), '#');
  return std::string(buffer.data(), end);
}

std::string written_brush(Brush const& b) {
  std::array<char, dalk::detail::max_brush_escape_size + 1> buffer{};
  buffer.fill('#');
  char* const end = dalk::detail::write_escape(buffer.data(), b);
  EXPECT_EQ(buffer.back(), '#');
  return std::string(buffer.data(), end);
}

TEST(SequenceWriterTest, CursorMovesMatchEscape) {
  for (int v = -2; v < 120'000; ++v) {
    Point const p{v, 119'999 - v};
    ASSERT_EQ(written_point(p), dalk::escape(p)) << v;
  }
  for (Point p : {Point{INT_MAX - 1, INT_MIN}, Point{INT_MIN, INT_MAX - 1}, Point{-1, -1},
                  Point{99'998, 99'999}, Point{999'999, 1'000'000}}) {
    EXPECT_EQ(written_point(p), dalk::escape(p));
    std::string appended;
    dalk::detail::append_escape(appended, p);
    EXPECT_EQ(appended, dalk::escape(p));
  }
}

TEST(SequenceWriterTest, PaletteAndDefaultColoursMatchEscape) {
  for (int v = 0; v <= 65535; v += (v < 300 ? 1 : 997)) {
    XColor const c{static_cast<std::uint16_t>(v)};
    Brush const b{c, XColor{static_cast<std::uint16_t>(v == 65535 ? 0 : v + 1)}, {}};
    ASSERT_EQ(written_brush(b), dalk::escape(b)) << v;
  }
}

TEST(SequenceWriterTest, TrueColoursMatchEscape) {
  for (int v = 0; v < 256; ++v) {
    auto const byte = static_cast<std::uint8_t>(v);
    auto const other = static_cast<std::uint8_t>(255 - v);
    Brush const b{
        TrueColor{byte, other, byte}, TrueColor{other, byte, static_cast<std::uint8_t>(v / 2)}, {}};
    ASSERT_EQ(written_brush(b), dalk::escape(b)) << v;
  }
}

TEST(SequenceWriterTest, EveryTraitSetMatchesEscapeAndIsRecorded) {
  for (unsigned bits = 0; bits < 1024; ++bits) {
    Traits traits;
    for (int bit = 0; bit < 10; ++bit) {
      if ((bits >> bit & 1U) != 0) {
        traits |= static_cast<dalk::Trait>(1U << bit);
      }
    }
    // The widest brush there is, so the room limit is tested with every trait set.
    Brush const b{TrueColor{255, 255, 255}, TrueColor{255, 255, 255}, traits};
    std::string const expected = dalk::escape(b);
    dalk::escape(Brush{});
    ASSERT_EQ(written_brush(b), expected) << bits;
    EXPECT_LE(vennic::test::most_sgr_parameters(expected), 16) << bits;
    EXPECT_EQ(dalk::traits(), traits);
    EXPECT_EQ(dalk::background_color(), b.background);
    EXPECT_EQ(dalk::foreground_color(), b.foreground);
  }
}

TEST(SequenceWriterTest, Utf8MatchesEncoder) {
  for (char32_t c : {U'\0', U'a', U'\x7f', U'\x80', U'\u07ff', U'\u0800', U'\uffff', U'\U00010000',
                     U'\U0010ffff', static_cast<char32_t>(0x3fffff)}) {
    std::array<char, dalk::detail::max_u8_size> buffer{};
    char* const end = dalk::detail::write_u8(buffer.data(), c);
    EXPECT_EQ(std::string(buffer.data(), end), dalk::detail::u32_to_u8(c));
  }
}

}  // namespace
