#include "dalk/output_profile.hpp"

#include <array>
#include <cstdlib>
#include <variant>

#include "dalk/answers.hpp"
#include "dalk/terminfo.hpp"

namespace dalk {
namespace {

constexpr TrueColor basic_colors[16] = {
    {0, 0, 0},     {205, 0, 0},     {0, 205, 0},     {205, 205, 0},   {0, 0, 238}, {205, 0, 205},
    {0, 205, 205}, {229, 229, 229}, {127, 127, 127}, {255, 0, 0},     {0, 255, 0}, {255, 255, 0},
    {92, 92, 255}, {255, 0, 255},   {0, 255, 255},   {255, 255, 255},
};

constexpr std::uint8_t cube_levels[6] = {0, 95, 135, 175, 215, 255};

std::string_view environment(char const* name) {
  char const* value = std::getenv(name);
  return value == nullptr ? std::string_view{} : std::string_view{value};
}

// A frame repeats few colours, and a search of the palette costs a few hundred distances: the
// latest answers are kept per thread, by colour and range.
struct Remembered {
  std::uint32_t key = 0;
  std::uint8_t index = 0;
};

std::uint8_t nearest_remembered(TrueColor c, std::uint8_t first, std::uint8_t last) {
  thread_local std::array<Remembered, 512> remembered{};
  std::uint32_t const key = 1U << 31U | static_cast<std::uint32_t>(first == 0 ? last : 0) << 24U |
                            static_cast<std::uint32_t>(c.red) << 16U |
                            static_cast<std::uint32_t>(c.green) << 8U | c.blue;
  Remembered& slot = remembered[(key * 2654435761U) >> 23U];
  if (slot.key != key) {
    slot = Remembered{key, nearest_palette_color(c, first, last)};
  }
  return slot.index;
}

std::uint8_t nearest_of(Color const& c, std::uint8_t first, std::uint8_t last) {
  if (auto const* t = std::get_if<TrueColor>(&c)) {
    return nearest_remembered(*t, first, last);
  }
  return nearest_remembered(palette_rgb(static_cast<std::uint8_t>(std::get<XColor>(c).value)),
                            first, last);
}

}  // namespace

ColorDepth color_depth(Extensions extensions) {
  if (extensions.contains(Extension::NoColor)) {
    return ColorDepth::None;
  }
  if (extensions.contains(Extension::Colors8)) {
    return ColorDepth::Palette8;
  }
  if (extensions.contains(Extension::Colors16)) {
    return ColorDepth::Palette16;
  }
  if (extensions.contains(Extension::Colors256)) {
    return ColorDepth::Palette256;
  }
  return ColorDepth::TrueColor;
}

ColorDepth session_color_depth(Extensions extensions) {
  if (extensions.contains(Extension::ColorsFromAnswers) &&
      !extensions.contains(Extension::NoColor) && answered_true_color()) {
    return ColorDepth::TrueColor;
  }
  return color_depth(extensions);
}

TrueColor palette_rgb(std::uint8_t index) {
  if (index < 16) {
    return basic_colors[index];
  }
  if (index < 232) {
    int const cube = index - 16;
    return {cube_levels[cube / 36], cube_levels[cube / 6 % 6], cube_levels[cube % 6]};
  }
  auto const grey = static_cast<std::uint8_t>(8 + (index - 232) * 10);
  return {grey, grey, grey};
}

std::uint32_t color_distance(TrueColor a, TrueColor b) {
  int const mean_red = (a.red + b.red) / 2;
  int const red = a.red - b.red;
  int const green = a.green - b.green;
  int const blue = a.blue - b.blue;
  return static_cast<std::uint32_t>((((512 + mean_red) * red * red) >> 8) + 4 * green * green +
                                    (((767 - mean_red) * blue * blue) >> 8));
}

std::uint8_t nearest_palette_color(TrueColor c, std::uint8_t first, std::uint8_t last) {
  std::uint8_t best = first;
  std::uint32_t best_distance = color_distance(c, palette_rgb(first));
  for (int index = first + 1; index <= last; ++index) {
    std::uint32_t const distance = color_distance(c, palette_rgb(static_cast<std::uint8_t>(index)));
    if (distance < best_distance) {
      best = static_cast<std::uint8_t>(index);
      best_distance = distance;
    }
  }
  return best;
}

Color adapt(Color const& c, ColorDepth depth) {
  if (depth == ColorDepth::TrueColor) {
    return c;
  }
  if (depth == ColorDepth::None) {
    return XColor::Default;
  }
  auto const* x = std::get_if<XColor>(&c);
  if (x != nullptr && x->value == XColor::Default.value) {
    return c;
  }
  switch (depth) {
    case ColorDepth::Palette256:
      if (x != nullptr) {
        return c;
      }
      return XColor{nearest_of(c, 16, 255)};
    case ColorDepth::Palette16:
      if (x != nullptr && x->value > 255) {
        return XColor::Default;
      }
      if (x != nullptr && x->value < 16) {
        return c;
      }
      return XColor{nearest_of(c, 0, 15)};
    default:
      if (x != nullptr && x->value > 255) {
        return XColor::Default;
      }
      if (x != nullptr && x->value < 16) {
        return XColor{static_cast<std::uint16_t>(x->value % 8)};
      }
      return XColor{nearest_of(c, 0, 7)};
  }
}

Brush adapt(Brush const& b, ColorDepth depth) {
  return Brush{adapt(b.background, depth), adapt(b.foreground, depth), b.traits};
}

Extensions output_extensions(std::string_view term, std::string_view colorterm,
                             std::string_view no_color, std::string_view xterm_version) {
  Extensions extensions = Extension::CompactOutput | Extension::ColorsFromAnswers;
  // Many terminals call themselves xterm without having REP; xterm alone sets XTERM_VERSION.
  if (term.starts_with("xterm") && !xterm_version.empty()) {
    extensions |= Extension::RepeatGlyph;
  }
  if (!no_color.empty()) {
    return extensions | Extension::NoColor;
  }
  if (detail::has_true_color(term, colorterm)) {
    return extensions;
  }
  switch (detail::palette_size_of(term)) {
    case 256:
      return extensions | Extension::Colors256;
    case 88:
    case 16:
      return extensions | Extension::Colors16;
    default:
      return extensions | Extension::Colors8;
  }
}

Extensions output_extensions() {
  return output_extensions(environment("TERM"), environment("COLORTERM"), environment("NO_COLOR"),
                           environment("XTERM_VERSION"));
}

}  // namespace dalk
