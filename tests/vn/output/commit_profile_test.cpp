// Every output profile must show the same screen as the default encoding: random frames
// (wide text, colours, traits, runs, scrolled blocks, resizes) are committed in both and fed
// to two libvterm screens, which must agree cell by cell after every frame. With colours
// adapted, the default encoding is given the frame with the same mapping applied.
#include <gtest/gtest.h>
#include <vterm.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <dalk/output_profile.hpp>
#include <vn/vn.hpp>

#include "support/process.hpp"
#include "support/vterm_emulator.hpp"

namespace {

using dalk::Brush;
using dalk::Extension;
using dalk::Glyph;

// libvterm's mark for the second cell of a wide character.
constexpr std::uint32_t covered_cell = 0xFFFFFFFF;

using Emulator = vennic::test::VtermEmulator;

// Line wrapping off, as the session leaves it.
constexpr char const* session_modes = "\x1b[?7l";

// An erased cell holds no character; it shows a space.
VTermScreenCell as_shown(VTermScreenCell cell) {
  if (cell.chars[0] == 0) {
    cell.chars[0] = U' ';
  }
  return cell;
}

std::string difference(VTermScreenCell a, VTermScreenCell b) {
  if (a.chars[0] != b.chars[0] || a.chars[1] != b.chars[1] || a.width != b.width) {
    return "symbol " + std::to_string(b.chars[0]) + " instead of " + std::to_string(a.chars[0]);
  }
  // The second cell of a wide character keeps whatever attributes it had before.
  if (a.chars[0] == covered_cell) {
    return {};
  }
  if (a.attrs.bold != b.attrs.bold || a.attrs.underline != b.attrs.underline ||
      a.attrs.italic != b.attrs.italic || a.attrs.blink != b.attrs.blink ||
      a.attrs.reverse != b.attrs.reverse || a.attrs.strike != b.attrs.strike) {
    return "attributes differ";
  }
  if (vterm_color_is_equal(&a.fg, &b.fg) == 0 || vterm_color_is_equal(&a.bg, &b.bg) == 0) {
    return "colours differ";
  }
  return {};
}

dalk::Color random_color(std::mt19937& random) {
  std::uniform_int_distribution<int> byte{0, 255};
  switch (std::uniform_int_distribution<int>{0, 3}(random)) {
    case 0:
    case 1:
      return dalk::XColor::Default;
    case 2:
      // Now and then a value outside the palette, which both encodings write as asked.
      return dalk::XColor{static_cast<std::uint16_t>(byte(random) == 0 ? 300 : byte(random))};
    default:
      return dalk::TrueColor{static_cast<std::uint8_t>(byte(random)),
                             static_cast<std::uint8_t>(byte(random)),
                             static_cast<std::uint8_t>(byte(random))};
  }
}

Brush random_brush(std::mt19937& random) {
  Brush brush{random_color(random), random_color(random), {}};
  std::bernoulli_distribution has_trait{0.15};
  for (int bit = 0; bit < 10; ++bit) {
    if (has_trait(random)) {
      brush.traits |= static_cast<dalk::Trait>(1U << bit);
    }
  }
  return brush;
}

char32_t random_symbol(std::mt19937& random) {
  static constexpr char32_t symbols[] = {U' ',
                                         U' ',
                                         U' ',
                                         U'a',
                                         U'a',
                                         U'b',
                                         U'-',
                                         U'\x07',
                                         U'é',
                                         U'日',
                                         U'😀',
                                         U'\u0301',
                                         U'한',
                                         U'│',
                                         char32_t{0xD800},
                                         char32_t{0xFFFFFFFF}};
  return symbols[std::uniform_int_distribution<std::size_t>{0, std::size(symbols) - 1}(random)];
}

// Moves rows first..last of the frame by shift rows (up when positive), as a scrolling list.
void move_block(vn::ScreenBuffer& frame, std::mt19937& random) {
  int const height = frame.area.height;
  auto const width = static_cast<std::ptrdiff_t>(frame.area.width);
  if (height < 3) {
    return;
  }
  std::uniform_int_distribution<int> row{0, height - 1};
  int top = row(random);
  int bottom = row(random);
  if (top > bottom) {
    std::swap(top, bottom);
  }
  int const span = bottom - top + 1;
  if (span < 2) {
    return;
  }
  int const distance = std::uniform_int_distribution<int>{1, span - 1}(random);
  auto const start = [&](int y) { return frame.glyphs.begin() + y * width; };
  if (std::bernoulli_distribution{0.5}(random)) {
    std::copy(start(top + distance), start(bottom + 1), start(top));
  } else {
    std::copy_backward(start(top), start(bottom + 1 - distance), start(bottom + 1));
  }
}

struct Profile {
  char const* name;
  dalk::Extensions extensions;
};

Profile const profiles[] = {
    {"compact", Extension::CompactOutput},
    {"compact_repeat", Extension::CompactOutput | Extension::RepeatGlyph},
    {"compact_256", Extension::CompactOutput | Extension::RepeatGlyph | Extension::Colors256},
    {"compact_16", Extension::CompactOutput | Extension::Colors16},
    {"compact_8", Extension::CompactOutput | Extension::Colors8},
    {"compact_no_color", Extension::CompactOutput | Extension::NoColor},
    {"adapted_256", Extension::Colors256},
    {"adapted_8", Extension::Colors8},
};

class CommitProfileTest : public ::testing::TestWithParam<std::tuple<Profile, unsigned>> {};

TEST_P(CommitProfileTest, ShowsWhatTheDefaultEncodingShows) {
  auto const [profile, seed] = GetParam();
  vn::detail::OutputProfile const output = vn::detail::output_profile(profile.extensions);
  std::mt19937 random{seed};
  dalk::Area const sizes[] = {{12, 4}, {30, 10}, {7, 1}, {41, 16}, {80, 24}};
  vn::Terminal::changes = vn::ScreenBuffer{};
  vn::ScreenBuffer reference_mirror;
  vn::ScreenBuffer mirror;
  std::string buffer;
  Emulator reference{sizes[0]};
  Emulator shown{sizes[0]};
  reference.feed(session_modes);
  shown.feed(session_modes);
  vn::ScreenBuffer frame;
  for (int number = 0; number < 60; ++number) {
    SCOPED_TRACE("frame " + std::to_string(number));
    if (number % 12 == 0) {
      dalk::Area const area = sizes[static_cast<std::size_t>(number / 12)];
      reference.resize(area);
      shown.resize(area);
      frame = vn::ScreenBuffer{area};
      vn::Terminal::changes.resize(area);
    }
    dalk::Area const area = frame.area;
    std::vector<Brush> brushes{Brush{}};
    for (int i = 0; i < 3; ++i) {
      brushes.push_back(random_brush(random));
    }
    std::uniform_int_distribution<std::size_t> pick_brush{0, brushes.size() - 1};
    bool const moved = std::bernoulli_distribution{0.4}(random);
    if (moved) {
      move_block(frame, random);
    }
    // Runs of one glyph among single changes, so that erases and repeats show up; few besides
    // a moved block, so that it is still found.
    std::bernoulli_distribution changed{number % 12 == 0 ? 1.0 : moved ? 0.01 : 0.15};
    for (std::size_t i = 0; i < frame.glyphs.size(); ++i) {
      if (changed(random)) {
        Glyph const glyph{random_symbol(random), brushes[pick_brush(random)]};
        std::size_t const run = std::uniform_int_distribution<std::size_t>{1, 12}(random);
        for (std::size_t k = 0; k < run && i < frame.glyphs.size(); ++k, ++i) {
          frame.glyphs[i] = glyph;
        }
      }
    }
    std::uniform_int_distribution<int> column{0, area.width - 1};
    std::uniform_int_distribution<int> row{0, area.height - 1};
    vn::put(vn::Canvas{frame, {0, 0}, area}, {column(random), row(random)},
            std::u32string_view{U"日本語 text テ😀"});
    if (std::bernoulli_distribution{0.5}(random)) {
      vn::Terminal::cursor = dalk::Point{column(random), row(random)};
    } else {
      vn::Terminal::cursor.reset();
    }

    vn::Terminal::changes.glyphs = frame.glyphs;
    for (Glyph& glyph : vn::Terminal::changes.glyphs) {
      glyph.brush = dalk::adapt(glyph.brush, output.colors);
    }
    reference.feed(vennic::test::capture_stdout(
        [&] { vn::detail::commit_changes(reference_mirror, buffer); }));
    vn::Terminal::changes.glyphs = frame.glyphs;
    if (number % 12 == 7) {
      vn::detail::request_full_redraw();
    }
    std::string const bytes =
        vennic::test::capture_stdout([&] { vn::detail::commit_changes(mirror, buffer, output); });
    shown.feed(bytes);

    int mismatches = 0;
    for (int y = 0; y < area.height; ++y) {
      for (int x = 0; x < area.width; ++x) {
        std::string const d =
            difference(as_shown(reference.cell(x, y)), as_shown(shown.cell(x, y)));
        if (!d.empty() && ++mismatches <= 5) {
          ADD_FAILURE() << "cell (" << x << ", " << y << "): " << d;
        }
      }
    }
    ASSERT_EQ(mismatches, 0);
    EXPECT_EQ(shown.cursor_visible(), reference.cursor_visible());
    if (vn::Terminal::cursor) {
      EXPECT_EQ(shown.cursor(), reference.cursor());
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Profiles, CommitProfileTest,
                         ::testing::Combine(::testing::ValuesIn(profiles),
                                            ::testing::Range(1U, 5U)),
                         [](auto const& info) {
                           return std::string{std::get<0>(info.param).name} + "_" +
                                  std::to_string(std::get<1>(info.param));
                         });

// Rows that moved as a block are moved by the terminal: scrolling the whole screen, or a region
// of it, costs a few bytes besides the rows that are new.
TEST(CommitProfileTest, MovedRowsAreScrolledByTheTerminal) {
  struct Case {
    int top;
    int bottom;
    int shift;
    char const* scroll;
  };
  Case const cases[] = {
      {0, 9, 1, "\x1b[S"}, {0, 9, -2, "\x1b[2T"}, {2, 7, 1, "\x1b[3;8r\x1b[S\x1b[r"}};
  dalk::Area const area{40, 10};
  vn::detail::OutputProfile const compact = vn::detail::output_profile(Extension::CompactOutput);
  for (Case const& c : cases) {
    vn::ScreenBuffer mirror;
    std::string buffer;
    vn::Terminal::cursor.reset();
    std::vector<std::u32string> rows;
    for (int y = 0; y < area.height; ++y) {
      rows.push_back(U"│ entry " + std::u32string(1, U'A' + y) + U" of the list │");
    }
    std::string bytes;
    for (int frame = 0; frame < 2; ++frame) {
      vn::Terminal::changes = vn::ScreenBuffer{area};
      for (int y = 0; y < area.height; ++y) {
        vn::put(vn::Canvas{vn::Terminal::changes, {0, 0}, area}, {0, y},
                std::u32string_view{rows[static_cast<std::size_t>(y)]});
      }
      bytes = vennic::test::capture_stdout(
          [&] { vn::detail::commit_changes(mirror, buffer, compact); });
      std::vector<std::u32string> moved = rows;
      for (int y = c.top; y <= c.bottom; ++y) {
        int const from = y + c.shift;
        moved[static_cast<std::size_t>(y)] =
            from >= c.top && from <= c.bottom ? rows[static_cast<std::size_t>(from)] : U"new";
      }
      rows = moved;
    }
    EXPECT_NE(bytes.find(c.scroll), std::string::npos) << c.scroll;
    EXPECT_LT(bytes.size(), 60U) << c.scroll;
  }
}

}  // namespace
