// How frames are written to a terminal: the colours it can show and whether the compact
// encoding is used. Chosen with the Extension bits CompactOutput, RepeatGlyph, Colors256,
// Colors16, Colors8 and NoColor; without any of them the commit writes its default encoding.
#pragma once

#include <cstdint>
#include <string_view>

#include "dalk/sequence.hpp"
#include "dalk/terminal.hpp"

namespace dalk {

/// The colours a terminal can show, from most to fewest.
enum class ColorDepth : std::uint8_t { TrueColor, Palette256, Palette16, Palette8, None };

/// The depth the extensions ask for; the fewest colours win when several bits are set.
ColorDepth color_depth(Extensions extensions);

/// color_depth() for the session's frames: with ColorsFromAnswers and a terminal that answered
/// that it shows true colour (answered_true_color()), TrueColor whatever colour bit is set;
/// NoColor stays. Any thread; cheap enough for every frame.
ColorDepth session_color_depth(Extensions extensions);

/// The colour xterm shows by default for a palette index: the 16 basic colours, the 6x6x6
/// cube (levels 0, 95, 135, 175, 215, 255) and the 24 greys (8 to 238).
TrueColor palette_rgb(std::uint8_t index);

/// How far apart two colours look: the "redmean" weighted Euclidean distance in sRGB, squared
/// (red and blue weighted by the mean red, green weighted 4). Cheap and close to CIE76 for
/// picking palette entries.
std::uint32_t color_distance(TrueColor a, TrueColor b);

/// The palette index (among first..last) nearest to c by color_distance; the lowest index
/// wins a tie.
std::uint8_t nearest_palette_color(TrueColor c, std::uint8_t first, std::uint8_t last);

/// c as a terminal of the given depth can show it. TrueColor: unchanged. Palette256: a true
/// colour becomes the nearest of the cube and greys (16 to 255: the basic 16 vary between
/// terminals). Palette16: every colour becomes the nearest of 0 to 15. Palette8: indices 8 to
/// 15 become their dim twins 0 to 7, anything else the nearest of 0 to 7. None: the default.
/// The default colour stays the default; an index outside the palette becomes the default
/// wherever the palette is cut down.
Color adapt(Color const& c, ColorDepth depth);

/// Both colours of b adapted; traits unchanged.
Brush adapt(Brush const& b, ColorDepth depth);

/// The output extensions that suit a terminal described by TERM, COLORTERM, NO_COLOR and
/// XTERM_VERSION: always CompactOutput and ColorsFromAnswers (the terminal's own answer on true
/// colour, where it gives one, wins over the colour bit); RepeatGlyph only for xterm itself (a TERM
/// starting with "xterm" and XTERM_VERSION set, which xterm does and its imitators do not); NoColor
/// when no_color is non-empty; otherwise no colour bit for true colour (COLORTERM "truecolor" or
/// "24bit", or the TERM names has_true_color() knows), Colors256 for a 256-colour terminal,
/// Colors16 for a 16- or 88-colour one and Colors8 for the rest (8 colours, or TERM unknown).
Extensions output_extensions(std::string_view term, std::string_view colorterm,
                             std::string_view no_color, std::string_view xterm_version = {});

/// output_extensions() of this process's TERM, COLORTERM, NO_COLOR and XTERM_VERSION, read at
/// the call.
/// Combine with other extensions: Terminal{recommended_extensions | output_extensions()}.
Extensions output_extensions();

}  // namespace dalk
