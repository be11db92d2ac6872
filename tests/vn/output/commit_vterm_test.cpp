// Frames of random glyphs and text are committed one after another, with resizes and partial
// repaints in between, and the bytes are fed to libvterm: after every frame the emulator must
// show exactly what was painted, a wide glyph once over its two cells and nothing as half a
// character.
#include <gtest/gtest.h>

#include <vterm.h>
#include "dalk/cluster.hpp"
#include "dalk/text.hpp"

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include <dalk/width.hpp>
#include <vn/vn.hpp>

#include "support/process.hpp"
#include "support/vterm_emulator.hpp"

namespace {

using dalk::Brush;
using dalk::Glyph;
using dalk::Trait;
using dalk::TrueColor;
using dalk::XColor;

// libvterm's mark for the second cell of a wide character.
constexpr std::uint32_t covered_cell = 0xFFFFFFFF;

struct Range {
  char32_t first;
  char32_t last;
};

// Characters libvterm measures as dalk::width does: one cell (controls must arrive as U+FFFD),
// two cells (CJK, Hangul, kana, fullwidth forms, the emoji of U+1F600 on), and zero-width ones
// (combining marks, joiners, variation selectors), which must arrive as spaces.
char32_t random_symbol(std::mt19937& random) {
  static constexpr Range ranges[] = {
      {0x20, 0x7E},     {0xC0, 0xFF},       {0x3B1, 0x3C9},   {0x410, 0x44F},   {0x2500, 0x257F},
      {0x01, 0x1F},     {0x7F, 0x9F},       {0x4E00, 0x4FFF}, {0xAC00, 0xACFF}, {0x3041, 0x3096},
      {0xFF01, 0xFF5E}, {0x1F600, 0x1F64F}, {0x300, 0x36F},   {0x200B, 0x200D}, {0xFE00, 0xFE0F},
  };
  std::uniform_int_distribution<std::size_t> pick_range{0, std::size(ranges) - 1};
  Range const range = ranges[pick_range(random)];
  std::uniform_int_distribution<std::uint32_t> pick{range.first, range.last};
  return static_cast<char32_t>(pick(random));
}

// Text for vn::put: composed on the way (e + U+0301 is é), a mark without a composed form kept
// in the cell of its letter, a character in many scripts one cluster, wide characters cut at
// the canvas edge.
std::u32string random_text(std::mt19937& random) {
  static constexpr std::u32string_view pieces[] = {
      U"ab",
      U"e\u0301",
      U"q\u0301",
      U"日本語",
      U"テキスト",
      U"😀",
      U"한국어",
      U"x\u200Dy",
      U"\u0301",
      U"Ａｂ",
      U" ",
      U"…",
      U"│",
      U"नमस्ते",
      U"दुनिया",
      U"สวัสดีครับ",
      U"שָׁלוֹם",
      U"مَرْحَبًا",
      U"👩‍👩‍👧",
      U"🇫🇷",
      U"1️⃣",
      U"❤️",
      U"👍🏽",
      U"\u1100\u1161",
      U"বাংলা",
      U"தமிழ்",
  };
  std::uniform_int_distribution<std::size_t> pick{0, std::size(pieces) - 1};
  std::uniform_int_distribution<int> count{1, 6};
  std::u32string text;
  for (int i = count(random); i > 0; --i) {
    text += pieces[pick(random)];
  }
  return text;
}

dalk::Color random_color(std::mt19937& random) {
  std::uniform_int_distribution<int> kind{0, 2};
  std::uniform_int_distribution<int> byte{0, 255};
  switch (kind(random)) {
    case 0:
      return XColor::Default;
    case 1:
      return XColor{static_cast<std::uint16_t>(byte(random))};
    default:
      return TrueColor{static_cast<std::uint8_t>(byte(random)),
                       static_cast<std::uint8_t>(byte(random)),
                       static_cast<std::uint8_t>(byte(random))};
  }
}

Brush random_brush(std::mt19937& random) {
  Brush brush{random_color(random), random_color(random), {}};
  std::bernoulli_distribution has_trait{0.2};
  for (int bit = 0; bit < 10; ++bit) {
    if (has_trait(random)) {
      brush.traits |= static_cast<Trait>(1U << bit);
    }
  }
  return brush;
}

char32_t shown_symbol(char32_t symbol) {
  return symbol < 0x20 || (symbol >= 0x7F && symbol <= 0x9F) ? U'\uFFFD' : symbol;
}

std::string describe(dalk::Color const& color) {
  if (auto const* x = std::get_if<XColor>(&color)) {
    return "XColor " + std::to_string(x->value);
  }
  auto const t = std::get<TrueColor>(color);
  return "TrueColor " + std::to_string(t.red) + "," + std::to_string(t.green) + "," +
         std::to_string(t.blue);
}

bool same_color(VTermColor const& shown, dalk::Color const& painted, bool foreground) {
  if (auto const* x = std::get_if<XColor>(&painted)) {
    if (x->value == XColor::Default.value) {
      return foreground ? VTERM_COLOR_IS_DEFAULT_FG(&shown) : VTERM_COLOR_IS_DEFAULT_BG(&shown);
    }
    return VTERM_COLOR_IS_INDEXED(&shown) && shown.indexed.idx == x->value;
  }
  auto const t = std::get<TrueColor>(painted);
  bool const is_default =
      foreground ? VTERM_COLOR_IS_DEFAULT_FG(&shown) : VTERM_COLOR_IS_DEFAULT_BG(&shown);
  return VTERM_COLOR_IS_RGB(&shown) && !is_default && shown.rgb.red == t.red &&
         shown.rgb.green == t.green && shown.rgb.blue == t.blue;
}

using Emulator = vennic::test::VtermEmulator;

// What the terminal should show in one cell of a painted row: a code point of a cluster that
// takes cells starts a cell, and the code points of width 0 after it ride in that cell, as a
// terminal that lays out code point by code point keeps them.
struct Expected {
  std::u32string chars;
  int width;  // 2: a wide code point starts here; 0: the second cell of one, not compared
  int glyph;  // the painted glyph shown: the cluster's, in every cell it takes
};

std::vector<Expected> expected_row(Glyph const* painted, int width) {
  std::vector<Expected> row;
  for (int x = 0; x < width; ++x) {
    char32_t const symbol = painted[x].symbol;
    int const cells = dalk::text::cells(symbol);
    if (cells < 1 || cells > width - x) {
      row.push_back({U" ", 1, x});
      continue;
    }
    std::size_t const start = row.size();
    for (char32_t const c : dalk::text::code_points(symbol)) {
      int const w = dalk::text::code_point_cells(c, dalk::text::WidthModel::CodePoints);
      if (w == 0 && row.size() > start) {
        row[row.size() - (row.back().width == 0 ? 2 : 1)].chars += c;
      } else if (w > 0) {
        row.push_back({std::u32string(1, shown_symbol(c)), w, x});
        if (w == 2) {
          row.push_back({U" ", 0, x});
        }
      }
    }
    x += cells - 1;
  }
  return row;
}

// Compares one cell; returns a description of the first difference, or an empty string.
std::string compare(VTermScreenCell const& shown, Expected const& expected, Glyph const& painted) {
  if (expected.width == 0) {
    return shown.chars[0] == covered_cell ? std::string{} : "not the second half of a wide glyph";
  }
  if (shown.chars[0] == covered_cell) {
    return "half of a wide character instead of " + std::to_string(expected.chars[0]);
  }
  auto const& traits = painted.brush.traits;
  bool const bold = traits.contains(Trait::Bold) || traits.contains(Trait::Standout);
  bool const reverse = traits.contains(Trait::Inverse) || traits.contains(Trait::Standout);
  unsigned const underline = traits.contains(Trait::DoubleUnderline) ? 2U
                             : traits.contains(Trait::Underline)     ? 1U
                                                                     : 0U;
  std::size_t count = 0;
  while (count < VTERM_MAX_CHARS_PER_CELL && shown.chars[count] != 0) {
    ++count;
  }
  // An erased cell holds nothing and shows a space.
  std::u32string const chars =
      count == 0 ? std::u32string{U" "} : std::u32string(shown.chars, shown.chars + count);
  if (chars != expected.chars) {
    return "symbol " + std::to_string(chars[0]) + " (" + std::to_string(chars.size()) +
           " code points) instead of " + std::to_string(expected.chars[0]) + " (" +
           std::to_string(expected.chars.size()) + ", painted " + std::to_string(painted.symbol) +
           ")";
  }
  if (shown.width != expected.width) {
    return "width " + std::to_string(shown.width) + " instead of " + std::to_string(expected.width);
  }
  if (shown.attrs.bold != bold || shown.attrs.reverse != reverse ||
      shown.attrs.underline != underline || shown.attrs.italic != traits.contains(Trait::Italic) ||
      shown.attrs.blink != traits.contains(Trait::Blink) ||
      shown.attrs.strike != traits.contains(Trait::CrossedOut)) {
    return "attributes differ for traits " + std::to_string(traits.value());
  }
  if (!same_color(shown.fg, painted.brush.foreground, true)) {
    return "foreground differs from " + describe(painted.brush.foreground);
  }
  if (!same_color(shown.bg, painted.brush.background, false)) {
    return "background differs from " + describe(painted.brush.background);
  }
  return {};
}

// Seeds, in the default and the compact encoding.
class CommitEmulatorTest : public ::testing::TestWithParam<std::tuple<unsigned, bool>> {};

TEST_P(CommitEmulatorTest, EmulatorShowsEveryPaintedFrame) {
  std::mt19937 random{std::get<0>(GetParam())};
  vn::detail::OutputProfile const profile{std::get<1>(GetParam()), false,
                                          dalk::ColorDepth::TrueColor};
  vn::Terminal::changes = vn::ScreenBuffer{};
  vn::Terminal::cursor.reset();
  vn::ScreenBuffer screen;
  std::string escape_buffer;

  dalk::Area const sizes[] = {{3, 2},  {3, 2},  {17, 5},  {17, 5},  {17, 5},  {17, 5},
                              {9, 11}, {9, 11}, {80, 24}, {80, 24}, {80, 24}, {1, 1},
                              {2, 1},  {40, 3}, {40, 3},  {40, 3},  {41, 3},  {41, 3}};
  Emulator emulator{sizes[0]};
  vn::ScreenBuffer frame;
  dalk::Area area{0, 0};
  std::bernoulli_distribution changed{0.3};
  std::bernoulli_distribution shows_cursor{0.5};

  for (std::size_t number = 0; number < std::size(sizes); ++number) {
    SCOPED_TRACE("frame " + std::to_string(number));
    bool const resized = sizes[number] != area;
    if (resized) {
      area = sizes[number];
      emulator.resize(area);
      vn::Terminal::changes.resize(area);
      vn::Terminal::changes.fill(Glyph{});
      frame = vn::ScreenBuffer{area};
    }
    // A few brushes per frame, so that neighbours often share one.
    std::vector<Brush> brushes;
    for (int i = 0; i < 4; ++i) {
      brushes.push_back(random_brush(random));
    }
    std::uniform_int_distribution<std::size_t> pick_brush{0, brushes.size() - 1};
    for (Glyph& glyph : frame.glyphs) {
      if (resized || changed(random)) {
        glyph = Glyph{random_symbol(random), brushes[pick_brush(random)]};
      }
    }
    // Runs of text laid out by put, over whatever the cells held.
    std::uniform_int_distribution<int> column{0, area.width - 1};
    std::uniform_int_distribution<int> row{0, area.height - 1};
    for (int texts = std::uniform_int_distribution<int>{0, 3}(random); texts > 0; --texts) {
      vn::put(vn::Canvas{frame, {0, 0}, area}, {column(random), row(random)},
              std::u32string_view{random_text(random)});
    }
    vn::Terminal::changes.glyphs = frame.glyphs;
    if (shows_cursor(random)) {
      vn::Terminal::cursor = dalk::Point{column(random), row(random)};
    } else {
      vn::Terminal::cursor.reset();
    }

    emulator.feed(vennic::test::capture_stdout(
        [&] { vn::detail::commit_changes(screen, escape_buffer, profile, false); }));

    int mismatches = 0;
    for (int y = 0; y < area.height; ++y) {
      Glyph const* const painted = frame.glyphs.data() + static_cast<std::size_t>(y * area.width);
      std::vector<Expected> const expected = expected_row(painted, area.width);
      for (int x = 0; x < area.width; ++x) {
        std::string const difference =
            compare(emulator.cell(x, y), expected[static_cast<std::size_t>(x)],
                    painted[expected[static_cast<std::size_t>(x)].glyph]);
        if (!difference.empty() && ++mismatches <= 5) {
          ADD_FAILURE() << "cell (" << x << ", " << y << "): " << difference;
        }
      }
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(emulator.cursor_visible(), vn::Terminal::cursor.has_value());
    if (vn::Terminal::cursor) {
      EXPECT_EQ(emulator.cursor(), *vn::Terminal::cursor);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Seeds, CommitEmulatorTest,
                         ::testing::Combine(::testing::Range(1U, 13U), ::testing::Bool()));

// One row painted with `painted` and committed in the default or the compact encoding; returns
// the bytes written.
std::string commit_row(vn::ScreenBuffer& screen, std::vector<Glyph> const& painted, bool compact) {
  vn::Terminal::changes.resize({static_cast<int>(painted.size()), 1});
  vn::Terminal::changes.glyphs = painted;
  vn::Terminal::cursor.reset();
  std::string escape_buffer;
  vn::detail::OutputProfile const profile{compact, false, dalk::ColorDepth::TrueColor};
  return vennic::test::capture_stdout(
      [&] { vn::detail::commit_changes(screen, escape_buffer, profile); });
}

void expect_shown(Emulator const& emulator, std::vector<Glyph> const& painted) {
  std::vector<Expected> const expected =
      expected_row(painted.data(), static_cast<int>(painted.size()));
  for (std::size_t x = 0; x < painted.size(); ++x) {
    EXPECT_EQ(compare(emulator.cell(static_cast<int>(x), 0), expected[x], painted[x]), "")
        << "cell " << x;
  }
}

TEST(CommitEmulatorCases, BrushesOfEveryTraitStayWithinSixteenParameters) {
  dalk::Traits every;
  for (int bit = 0; bit < 10; ++bit) {
    every |= static_cast<Trait>(1U << bit);
  }
  dalk::Traits but_standout = every;
  but_standout.remove(Trait::Standout);
  std::vector<Glyph> const painted = {
      {U'a', Brush{TrueColor{1, 2, 3}, TrueColor{250, 251, 252}, every}},
      {U'b', Brush{XColor{200}, XColor{17}, every}},
      {U'c', Brush{XColor{3}, TrueColor{9, 8, 7}, but_standout}},
      {U'd', Brush{XColor::Default, XColor{255}, every}},
      {U'e', Brush{TrueColor{0, 0, 0}, XColor::Default, but_standout}},
  };
  for (bool const compact : {false, true}) {
    SCOPED_TRACE(compact ? "compact" : "default");
    vn::ScreenBuffer screen;
    Emulator emulator{{5, 1}};
    std::string const written = commit_row(screen, painted, compact);
    EXPECT_LE(vennic::test::most_sgr_parameters(written), 16);
    emulator.feed(written);
    expect_shown(emulator, painted);
  }
}

TEST(CommitEmulatorCases, NulGlyphReplacesTheOldCharacterAfterAFullRedraw) {
  std::vector<Glyph> const before = {Glyph{U'x', Brush{}}, Glyph{U'y', Brush{}},
                                     Glyph{U'z', Brush{}}};
  struct Case {
    bool compact;
    bool resized;  // else a full redraw asked for at the same size
  };
  for (Case const c :
       {Case{false, true}, Case{false, false}, Case{true, true}, Case{true, false}}) {
    SCOPED_TRACE(std::to_string(c.compact) + std::to_string(c.resized));
    vn::ScreenBuffer screen;
    Emulator emulator{{3, 1}};
    emulator.feed(commit_row(screen, before, c.compact));
    std::vector<Glyph> after = {Glyph{U'\0', Brush{}}, Glyph{U'q', Brush{}}};
    if (c.resized) {
      emulator.resize({2, 1});
    } else {
      after.push_back(Glyph{U'\0', Brush{}});
      vn::detail::request_full_redraw();
    }
    emulator.feed(commit_row(screen, after, c.compact));
    expect_shown(emulator, after);
  }
}

// After an ASCII glyph in the last column the next row is reached by "\r\n": the cursor stays
// on its row with auto-wrap off (as the session sets it), and a carriage return ends a pending
// wrap where it is on.
TEST(CommitEmulatorCases, RowsWrittenToTheLastColumnGoOnWithCarriageReturnAndLineFeed) {
  dalk::Area const area{4, 3};
  auto const frame = [&](std::u32string_view text) {
    std::vector<Glyph> glyphs;
    for (char32_t c : text) {
      glyphs.push_back(Glyph{c, Brush{XColor{static_cast<std::uint16_t>(c % 7)}, {}, {}}});
    }
    return glyphs;
  };
  std::vector<Glyph> const frames[] = {frame(U"abcdefghijkl"), frame(U"abcXYghijklZ"),
                                       frame(U"PbcdefgQRSTU")};
  for (bool const wrap_off : {false, true}) {
    SCOPED_TRACE(wrap_off ? "auto-wrap off" : "auto-wrap on");
    vn::ScreenBuffer screen;
    std::string escape_buffer;
    vn::detail::OutputState state;
    vn::detail::OutputProfile const profile{true, false, dalk::ColorDepth::TrueColor};
    Emulator emulator{area};
    if (wrap_off) {
      emulator.feed("\x1b[?7l");
    }
    vn::detail::request_full_redraw();
    for (std::size_t number = 0; number < std::size(frames); ++number) {
      SCOPED_TRACE("frame " + std::to_string(number));
      vn::Terminal::changes.resize(area);
      vn::Terminal::changes.glyphs = frames[number];
      vn::Terminal::cursor = dalk::Point{1, 2};
      std::string const written = vennic::test::capture_stdout(
          [&] { vn::detail::commit_changes(screen, escape_buffer, state, profile); });
      EXPECT_NE(written.find("\r\n"), std::string::npos) << written;
      emulator.feed(written);
      for (int y = 0; y < area.height; ++y) {
        Glyph const* const painted =
            frames[number].data() + static_cast<std::size_t>(y * area.width);
        std::vector<Expected> const expected = expected_row(painted, area.width);
        for (int x = 0; x < area.width; ++x) {
          EXPECT_EQ(compare(emulator.cell(x, y), expected[static_cast<std::size_t>(x)],
                            painted[expected[static_cast<std::size_t>(x)].glyph]),
                    "")
              << "cell (" << x << ", " << y << ")";
        }
      }
      EXPECT_EQ(emulator.cursor(), (dalk::Point{1, 2}));
    }
  }
  vn::Terminal::cursor.reset();
}

}  // namespace
