// Shows what the terminal layer's escape sequences look like on this terminal: the 256 palette
// colours, a 24-bit gradient and every text trait, then what TERM and COLORTERM say about the
// terminal. Plain output through dalk::write; the terminal's modes are left alone.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <dalk/dalk.hpp>
#include <exception>
#include <string>

namespace {

using dalk::Trait;
using dalk::TrueColor;
using dalk::XColor;

// Colours back to the terminal's defaults and no traits, so nothing bleeds past the line end.
void end_line(std::string& line) {
  line += dalk::escape(dalk::Brush{});
  line += '\n';
  dalk::write(line);
  line.clear();
}

void heading(std::string const& text) {
  std::string line = "\n" + dalk::escape(Trait::Bold) + text;
  end_line(line);
}

// Approximate brightness (0 to 255) of a palette entry with xterm's default colours.
int brightness(int index) {
  static constexpr int system[16] = {0,   60,  80,  130, 50,  70,  110, 190,
                                     127, 110, 170, 230, 130, 150, 210, 255};
  if (index < 16) {
    return system[index];
  }
  if (index < 232) {
    int const cube = index - 16;
    auto level = [](int step) { return step == 0 ? 0 : 55 + step * 40; };
    int const r = level(cube / 36);
    int const g = level(cube / 6 % 6);
    int const b = level(cube % 6);
    return (r * 3 + g * 6 + b) / 10;
  }
  return 8 + (index - 232) * 10;
}

// One palette colour as a background swatch carrying its number in a contrasting colour.
void swatch(std::string& line, int index, int width) {
  line += dalk::escape_bg(XColor{static_cast<std::uint16_t>(index)});
  // 16 and 231 are the cube's black and white, which colour schemes rarely redefine.
  line += dalk::escape_fg(brightness(index) > 110 ? XColor{16} : XColor{231});
  std::string number = std::to_string(index);
  line += std::string(static_cast<std::size_t>(width) - number.size() - 1, ' ') + number + ' ';
}

void palette_chart() {
  heading("The 256 palette colours (escape_bg of XColor 0 to 255)");
  std::string line = "  ";
  for (int i = 0; i < 16; ++i) {
    swatch(line, i, 4);
    if (i % 8 == 7) {
      end_line(line);
      line = "  ";
    }
  }
  // The 6x6x6 cube: red planes side by side, green down, blue across.
  for (int half = 0; half < 2; ++half) {
    for (int green = 0; green < 6; ++green) {
      line = "  ";
      for (int red = half * 3; red < half * 3 + 3; ++red) {
        for (int blue = 0; blue < 6; ++blue) {
          swatch(line, 16 + red * 36 + green * 6 + blue, 4);
        }
        line += dalk::escape(dalk::Brush{}) + " ";
      }
      end_line(line);
    }
  }
  for (int row = 0; row < 2; ++row) {
    line = "  ";
    for (int i = 0; i < 12; ++i) {
      swatch(line, 232 + row * 12 + i, 4);
    }
    end_line(line);
  }
}

TrueColor hue(double h) {
  // h in [0, 1): full saturation and value.
  double const x = h * 6.0;
  auto channel = [&](double offset) {
    double const d = std::fabs(std::fmod(x + offset, 6.0) - 3.0) - 1.0;
    return static_cast<std::uint8_t>(std::lround(std::clamp(d, 0.0, 1.0) * 255.0));
  };
  return TrueColor{channel(0.0), channel(4.0), channel(2.0)};
}

TrueColor scale(TrueColor c, double f) {
  auto mix = [f](std::uint8_t v) {
    double const out = f <= 1.0 ? v * f : v + (255 - v) * (f - 1.0);
    return static_cast<std::uint8_t>(std::lround(std::clamp(out, 0.0, 255.0)));
  };
  return TrueColor{mix(c.red), mix(c.green), mix(c.blue)};
}

void gradient() {
  constexpr int width = 72;
  heading("A true-colour gradient (escape_bg of TrueColor)");
  // Background-coloured spaces: block characters would leave gaps with some fonts.
  for (double const factor : {1.6, 1.3, 1.0, 0.7, 0.4}) {
    std::string line = "  ";
    for (int column = 0; column < width; ++column) {
      line += dalk::escape_bg(scale(hue(column / static_cast<double>(width)), factor)) + " ";
    }
    end_line(line);
  }
  std::string line = "  ";
  for (int column = 0; column < width; ++column) {
    auto const v = static_cast<std::uint8_t>(column * 255 / (width - 1));
    line += dalk::escape_bg(TrueColor{v, v, v}) + " ";
  }
  end_line(line);
}

void traits() {
  struct Named {
    Trait trait;
    char const* name;
  };
  Named const all[] = {
      {Trait::Standout, "Standout"},
      {Trait::Bold, "Bold"},
      {Trait::Dim, "Dim"},
      {Trait::Italic, "Italic"},
      {Trait::Underline, "Underline"},
      {Trait::Blink, "Blink"},
      {Trait::Inverse, "Inverse"},
      {Trait::Invisible, "Invisible"},
      {Trait::CrossedOut, "CrossedOut"},
      {Trait::DoubleUnderline, "DoubleUnderline"},
  };
  heading("Every trait (escape of Trait), each followed by clear_traits()");
  for (auto const& [trait, name] : all) {
    std::string line = "  " + std::string(name);
    line += std::string(18 - line.size(), ' ');
    line += dalk::escape(trait) + name + dalk::clear_traits();
    if (trait == Trait::Invisible) {
      line += "   <- written, but hidden";
    }
    end_line(line);
  }
  std::string line = "  Bold|Italic|Underline in red on pale yellow: ";
  line += dalk::escape(
      dalk::Brush{XColor{229}, XColor::Red, Trait::Bold | Trait::Italic | Trait::Underline});
  line += "combined";
  end_line(line);
}

void capabilities() {
  heading("What TERM and COLORTERM say about this terminal");
  std::string const term{dalk::TERM_var()};
  std::string line;
  try {
    auto const colours = dalk::color_palette_size();
    line = "  TERM '" + term + "' has a palette of " + std::to_string(colours) +
           " colours (color_palette_size())";
    if (colours < 256) {
      end_line(line);
      line =
          "    palette entries from " + std::to_string(colours) + " up may show as other colours";
    }
  } catch (std::exception const& error) {
    line = term.empty() ? "  TERM is not set, so the palette size is unknown"
                        : "  TERM '" + term +
                              "' is not in the terminal table, so the palette "
                              "size is unknown";
    end_line(line);
    line = std::string("    (color_palette_size() threw: ") + error.what() + ")";
  }
  end_line(line);
  if (dalk::has_true_color()) {
    line = "  24-bit colour is announced (has_true_color()): the gradient shows as written";
  } else {
    line = "  24-bit colour is not announced (has_true_color() is false): the gradient may";
    end_line(line);
    line = "    show in approximate colours or not at all";
  }
  end_line(line);
}

}  // namespace

int main() {
  palette_chart();
  gradient();
  traits();
  capabilities();
  dalk::flush();
  return 0;
}
