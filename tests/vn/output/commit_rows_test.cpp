// The commit passes over rows whose painted bytes are those of the mirror. Frames of random
// paints, most of them changing a few rows, are committed twice, by a state that takes the
// shortcut and by one that compares every cell; both must write the very same bytes.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <tuple>
#include <vector>

#include <vn/vn.hpp>

#include "support/process.hpp"

namespace {

using dalk::Brush;
using dalk::Glyph;

char32_t random_symbol(std::mt19937& random) {
  // Mostly ASCII, with wide glyphs, emoji, marks, controls and the mirror's covered marker.
  static constexpr char32_t others[] = {U'\u4E00', U'\U0001F600', U'\u0301', U'\u00E9',
                                        U'\x07',   U'\0',         U'\uFF21', 0xFFFFFFFF};
  std::uniform_int_distribution<int> kind{0, 9};
  if (kind(random) < 8) {
    return static_cast<char32_t>(std::uniform_int_distribution<int>{' ', '~'}(random));
  }
  return others[std::uniform_int_distribution<std::size_t>{0, std::size(others) - 1}(random)];
}

Brush random_brush(std::mt19937& random) {
  std::uniform_int_distribution<int> color{0, 257};
  auto const pick = [&]() -> dalk::Color {
    int const c = color(random);
    if (c == 257) {
      return dalk::TrueColor{12, 34, 56};
    }
    return dalk::XColor{static_cast<std::uint16_t>(c)};
  };
  Brush brush{pick(), pick(), {}};
  if (std::bernoulli_distribution{0.2}(random)) {
    brush.traits |= dalk::Trait::Bold;
  }
  return brush;
}

// One of the two commit paths: its own mirror, buffer and state.
struct Committer {
  vn::ScreenBuffer screen;
  std::string escape_buffer;
  vn::detail::OutputState state;

  std::string commit(std::vector<Glyph> const& frame, dalk::Area area,
                     vn::detail::OutputProfile const& profile) {
    vn::Terminal::changes.resize(area);
    vn::Terminal::changes.glyphs = frame;
    return vennic::test::capture_stdout(
        [&] { vn::detail::commit_changes(screen, escape_buffer, state, profile); });
  }
};

// (seed, compact encoding)
class CommitRowsTest : public ::testing::TestWithParam<std::tuple<unsigned, bool>> {};

TEST_P(CommitRowsTest, SkippingSameRowsWritesTheSameBytes) {
  std::mt19937 random{std::get<0>(GetParam())};
  bool const compact = std::get<1>(GetParam());
  vn::detail::OutputProfile const profile{compact, compact, dalk::ColorDepth::TrueColor};
  vn::Terminal::changes = vn::ScreenBuffer{};
  vn::Terminal::cursor.reset();
  Committer shortcut;
  Committer every_cell;
  every_cell.state.skip_same_rows = false;

  dalk::Area area{23, 9};
  std::vector<Glyph> frame(static_cast<std::size_t>(area.width * area.height));
  std::uniform_int_distribution<int> what{0, 19};
  for (int number = 0; number < 200; ++number) {
    SCOPED_TRACE("frame " + std::to_string(number));
    auto const cell = [&](int x, int y) -> Glyph& {
      return frame[static_cast<std::size_t>(y * area.width + x)];
    };
    std::uniform_int_distribution<int> column{0, area.width - 1};
    std::uniform_int_distribution<int> row{0, area.height - 1};
    int const step = what(random);
    if (step == 0) {
      // A new size: the frame is painted anew.
      area = dalk::Area{std::uniform_int_distribution<int>{1, 30}(random),
                        std::uniform_int_distribution<int>{1, 12}(random)};
      frame.assign(static_cast<std::size_t>(area.width * area.height), Glyph{});
      for (Glyph& glyph : frame) {
        glyph = Glyph{random_symbol(random), random_brush(random)};
      }
    } else if (step == 1) {
      vn::detail::request_full_redraw();
    } else if (step == 2 && area.height > 2) {
      // Rows move up or down as a block, as a scrolled list does.
      int const shift = std::bernoulli_distribution{0.5}(random) ? 1 : -1;
      std::vector<Glyph> const before = frame;
      for (int y = 0; y < area.height; ++y) {
        int const from = y + shift;
        for (int x = 0; x < area.width; ++x) {
          cell(x, y) = from >= 0 && from < area.height
                           ? before[static_cast<std::size_t>(from * area.width + x)]
                           : Glyph{random_symbol(random), random_brush(random)};
        }
      }
    } else if (step < 6) {
      // A whole row repainted.
      int const y = row(random);
      Brush const brush = random_brush(random);
      for (int x = 0; x < area.width; ++x) {
        cell(x, y) = Glyph{random_symbol(random), brush};
      }
    } else if (step < 12) {
      // A few cells, sometimes the same glyph again.
      for (int k = std::uniform_int_distribution<int>{1, 4}(random); k > 0; --k) {
        Glyph& glyph = cell(column(random), row(random));
        if (std::bernoulli_distribution{0.7}(random)) {
          glyph = Glyph{random_symbol(random), random_brush(random)};
        }
      }
    }
    // Otherwise nothing changes.
    if (std::bernoulli_distribution{0.3}(random)) {
      vn::Terminal::cursor = dalk::Point{column(random), row(random)};
    } else {
      vn::Terminal::cursor.reset();
    }
    std::string const expected = every_cell.commit(frame, area, profile);
    ASSERT_EQ(shortcut.commit(frame, area, profile), expected);
    ASSERT_EQ(shortcut.screen.glyphs.size(), every_cell.screen.glyphs.size());
    for (std::size_t i = 0; i < frame.size(); ++i) {
      ASSERT_EQ(shortcut.screen.glyphs[i], every_cell.screen.glyphs[i]) << "mirror cell " << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Seeds, CommitRowsTest,
                         ::testing::Combine(::testing::Range(1U, 9U), ::testing::Bool()));

}  // namespace
