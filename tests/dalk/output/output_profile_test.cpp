// The colour mapping and the choice of output extensions from the environment.
#include <gtest/gtest.h>

#include <dalk/output_profile.hpp>

namespace {

using dalk::Color;
using dalk::ColorDepth;
using dalk::Extension;
using dalk::TrueColor;
using dalk::XColor;

struct Mapping {
  Color painted;
  ColorDepth depth;
  Color shown;
};

class ColorMappingTest : public ::testing::TestWithParam<Mapping> {};

TEST_P(ColorMappingTest, GivesTheNearestColourTheTerminalHas) {
  Mapping const& m = GetParam();
  EXPECT_EQ(dalk::adapt(m.painted, m.depth), m.shown);
}

Mapping const mappings[] = {
    // 256: true colours onto the cube and the greys, palette colours kept.
    {TrueColor{255, 0, 0}, ColorDepth::Palette256, XColor{196}},
    {TrueColor{0, 0, 0}, ColorDepth::Palette256, XColor{16}},
    {TrueColor{128, 128, 128}, ColorDepth::Palette256, XColor{244}},
    {TrueColor{95, 135, 175}, ColorDepth::Palette256, XColor{67}},
    {TrueColor{250, 250, 250}, ColorDepth::Palette256, XColor{231}},
    {TrueColor{30, 30, 32}, ColorDepth::Palette256, XColor{234}},
    {XColor{3}, ColorDepth::Palette256, XColor{3}},
    {XColor{200}, ColorDepth::Palette256, XColor{200}},
    {XColor::Default, ColorDepth::Palette256, XColor::Default},
    {TrueColor{1, 2, 3}, ColorDepth::TrueColor, TrueColor{1, 2, 3}},
    // 16: everything onto the basic colours.
    {TrueColor{255, 0, 0}, ColorDepth::Palette16, XColor{9}},
    {TrueColor{200, 0, 0}, ColorDepth::Palette16, XColor{1}},
    {TrueColor{0, 0, 0}, ColorDepth::Palette16, XColor{0}},
    {XColor{196}, ColorDepth::Palette16, XColor{9}},
    {XColor{244}, ColorDepth::Palette16, XColor{8}},
    {XColor{12}, ColorDepth::Palette16, XColor{12}},
    {XColor{300}, ColorDepth::Palette16, XColor::Default},
    // 8: bright colours become their dim twins.
    {TrueColor{255, 0, 0}, ColorDepth::Palette8, XColor{1}},
    {XColor{9}, ColorDepth::Palette8, XColor{1}},
    {XColor{231}, ColorDepth::Palette8, XColor{7}},
    {XColor{16}, ColorDepth::Palette8, XColor{0}},
    {TrueColor{0, 190, 190}, ColorDepth::Palette8, XColor{6}},
    {XColor::Default, ColorDepth::Palette8, XColor::Default},
    // None: the terminal's own colours.
    {TrueColor{255, 0, 0}, ColorDepth::None, XColor::Default},
    {XColor{4}, ColorDepth::None, XColor::Default},
};

INSTANTIATE_TEST_SUITE_P(Mappings, ColorMappingTest, ::testing::ValuesIn(mappings));

TEST(ColorMappingTest, PaletteEntriesMapOntoThemselves) {
  for (int index = 16; index < 256; ++index) {
    auto const i = static_cast<std::uint8_t>(index);
    EXPECT_EQ(dalk::adapt(dalk::palette_rgb(i), ColorDepth::Palette256), Color{XColor{i}});
  }
  EXPECT_EQ(dalk::color_distance(TrueColor{9, 9, 9}, TrueColor{9, 9, 9}), 0U);
}

struct Environment {
  char const* term;
  char const* colorterm;
  char const* no_color;
  char const* xterm_version;
  dalk::Extensions extensions;
};

class OutputExtensionsTest : public ::testing::TestWithParam<Environment> {};

TEST_P(OutputExtensionsTest, FollowTermColortermAndNoColor) {
  Environment const& e = GetParam();
  EXPECT_EQ(dalk::output_extensions(e.term, e.colorterm, e.no_color, e.xterm_version).value(),
            e.extensions.value())
      << e.term << " " << e.colorterm << " " << e.no_color;
}

// Every answer takes ColorsFromAnswers: the terminal's own word on true colour wins.
dalk::Extensions const compact = Extension::CompactOutput | Extension::ColorsFromAnswers;
dalk::Extensions const repeat = compact | Extension::RepeatGlyph;

Environment const environments[] = {
    {"xterm-256color", "", "", "", compact},
    {"xterm-256color", "", "", "XTerm(379)", repeat},
    {"xterm", "truecolor", "", "XTerm(379)", repeat},
    {"xterm", "", "", "", compact | Extension::Colors8},
    {"screen-256color", "", "", "XTerm(379)", compact | Extension::Colors256},
    {"tmux-256color", "24bit", "", "", compact},
    {"xterm-16color", "", "", "", compact | Extension::Colors16},
    {"rxvt-unicode", "", "", "", compact | Extension::Colors16},
    {"vt100", "", "", "", compact | Extension::Colors8},
    {"", "", "", "", compact | Extension::Colors8},
    {"no-such-terminal", "", "", "", compact | Extension::Colors8},
    {"xterm-256color", "truecolor", "1", "XTerm(379)", repeat | Extension::NoColor},
};

INSTANTIATE_TEST_SUITE_P(Environments, OutputExtensionsTest, ::testing::ValuesIn(environments));

TEST(ColorDepthTest, FewestColoursWin) {
  EXPECT_EQ(dalk::color_depth({}), ColorDepth::TrueColor);
  EXPECT_EQ(dalk::color_depth(Extension::Colors256), ColorDepth::Palette256);
  EXPECT_EQ(dalk::color_depth(Extension::Colors256 | Extension::Colors16), ColorDepth::Palette16);
  EXPECT_EQ(dalk::color_depth(Extension::Colors16 | Extension::Colors8), ColorDepth::Palette8);
  EXPECT_EQ(dalk::color_depth(Extension::Colors8 | Extension::NoColor), ColorDepth::None);
}

}  // namespace
