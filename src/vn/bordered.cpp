#include "vn/bordered.hpp"

#include <array>
#include <cstddef>
#include <utility>
#include <vector>

#include "dalk/transcode.hpp"

namespace vn {

namespace {

// Walls are top, bottom, right, left, as shape::Frame has them.
constexpr std::array<char32_t, 4> light_corners{U'┌', U'┐', U'└', U'┘'};
constexpr std::array<char32_t, 4> light_walls{U'─', U'─', U'│', U'│'};

constexpr shape::Frame light_frame{light_corners, light_walls};
constexpr shape::Frame round_frame{shape::Box::round_corners, light_walls};
constexpr shape::Frame twin_frame{{U'╔', U'╗', U'╚', U'╝'}, {U'═', U'═', U'║', U'║'}};
constexpr shape::Frame bold_frame{{U'┏', U'┓', U'┗', U'┛'}, {U'━', U'━', U'┃', U'┃'}};
constexpr shape::Frame dashed_frame{light_corners, {U'╌', U'╌', U'╎', U'╎'}};
constexpr shape::Frame dotted_frame{light_corners, {U'┄', U'┄', U'┆', U'┆'}};
constexpr shape::Frame ascii_frame{{U'+', U'+', U'+', U'+'}, {U'-', U'-', U'|', U'|'}};
constexpr shape::Frame twin_horizontal_frame{{U'╒', U'╕', U'╘', U'╛'}, {U'═', U'═', U'│', U'│'}};
constexpr shape::Frame twin_vertical_frame{{U'╓', U'╖', U'╙', U'╜'}, {U'─', U'─', U'║', U'║'}};
constexpr Divider::Lines light_lines{U'│', U'─'};
constexpr Divider::Lines bold_lines{U'┃', U'━'};
constexpr Divider::Lines twin_lines{U'║', U'═'};
constexpr Divider::Lines dashed_lines{U'╎', U'╌'};
constexpr Divider::Lines dotted_lines{U'┆', U'┄'};
constexpr Divider::Lines ascii_lines{U'|', U'-'};
constexpr Divider::Lines empty_lines{U' ', U' '};

Label text_label(std::string text) {
  Label::Options options = Label::init;
  options.text = std::move(text);
  return Label{std::move(options)};
}

Border make_border(shape::Frame const& frame, std::string text) {
  return Border{frame, dalk::Brush{}, text_label(std::move(text))};
}

Border make_border(shape::Frame const& frame, Border::Options options) {
  return Border{frame, std::move(options.brush), std::move(options.label)};
}

Divider::Options text_options(std::string text) {
  return Divider::Options{Divider::Lines{}, dalk::Brush{}, text_label(std::move(text))};
}

Divider make_divider(Divider::Lines lines, Divider::Options options) {
  options.lines = lines;
  return Divider{std::move(options)};
}

}  // namespace

Border Border::light(std::string text) {
  return make_border(light_frame, std::move(text));
}
Border Border::light(Options options) {
  return make_border(light_frame, std::move(options));
}

Border Border::round(std::string text) {
  return make_border(round_frame, std::move(text));
}
Border Border::round(Options options) {
  return make_border(round_frame, std::move(options));
}

Border Border::twin(std::string text) {
  return make_border(twin_frame, std::move(text));
}
Border Border::twin(Options options) {
  return make_border(twin_frame, std::move(options));
}

Border Border::bold(std::string text) {
  return make_border(bold_frame, std::move(text));
}
Border Border::bold(Options options) {
  return make_border(bold_frame, std::move(options));
}

Border Border::dashed(std::string text) {
  return make_border(dashed_frame, std::move(text));
}
Border Border::dashed(Options options) {
  return make_border(dashed_frame, std::move(options));
}

Border Border::dotted(std::string text) {
  return make_border(dotted_frame, std::move(text));
}
Border Border::dotted(Options options) {
  return make_border(dotted_frame, std::move(options));
}

Border Border::ascii(std::string text) {
  return make_border(ascii_frame, std::move(text));
}
Border Border::ascii(Options options) {
  return make_border(ascii_frame, std::move(options));
}

Border Border::twin_horizontal(std::string text) {
  return make_border(twin_horizontal_frame, std::move(text));
}
Border Border::twin_horizontal(Options options) {
  return make_border(twin_horizontal_frame, std::move(options));
}

Border Border::twin_vertical(std::string text) {
  return make_border(twin_vertical_frame, std::move(text));
}
Border Border::twin_vertical(Options options) {
  return make_border(twin_vertical_frame, std::move(options));
}

Divider::Divider(Options options)
    : Widget{FocusPolicy::None, SizePolicy::fixed(1)},
      lines{options.lines},
      brush{std::move(options.brush)},
      label{std::move(options.label)} {}

Divider Divider::light(std::string text) {
  return light(text_options(std::move(text)));
}
Divider Divider::light(Options options) {
  return make_divider(light_lines, std::move(options));
}

Divider Divider::bold(std::string text) {
  return bold(text_options(std::move(text)));
}
Divider Divider::bold(Options options) {
  return make_divider(bold_lines, std::move(options));
}

Divider Divider::twin(std::string text) {
  return twin(text_options(std::move(text)));
}
Divider Divider::twin(Options options) {
  return make_divider(twin_lines, std::move(options));
}

Divider Divider::dashed(std::string text) {
  return dashed(text_options(std::move(text)));
}
Divider Divider::dashed(Options options) {
  return make_divider(dashed_lines, std::move(options));
}

Divider Divider::dotted(std::string text) {
  return dotted(text_options(std::move(text)));
}
Divider Divider::dotted(Options options) {
  return make_divider(dotted_lines, std::move(options));
}

Divider Divider::ascii(std::string text) {
  return ascii(text_options(std::move(text)));
}
Divider Divider::ascii(Options options) {
  return make_divider(ascii_lines, std::move(options));
}

Divider Divider::empty(std::string text) {
  return empty(text_options(std::move(text)));
}
Divider Divider::empty(Options options) {
  return make_divider(empty_lines, std::move(options));
}

void Divider::paint(Canvas canvas) {
  // Only the width decides: one cell wide is a vertical rule whatever the height.
  char32_t const symbol = size.width == 1 ? lines.vertical : lines.horizontal;
  put(canvas, {0, 0}, shape::Fill{dalk::Glyph{symbol, brush}, canvas.size});
}

namespace detail {

void paint_border(Canvas canvas, Border const& border) {
  put(canvas, border.frame, border.brush);
  // The title keeps off both corners and leaves a wall cell on each side: ┌─Title─┐.
  int const room = canvas.size.width - 4;
  if (room <= 0 || canvas.size.height <= 0) {
    return;
  }
  std::vector<dalk::Glyph> const title = dalk::detail::utf8_to_glyphs(border.label.text);
  auto const count = static_cast<int>(std::min(title.size(), static_cast<std::size_t>(room)));
  for (int i = 0; i < count; ++i) {
    put(canvas, {2 + i, 0},
        dalk::Glyph{title[static_cast<std::size_t>(i)].symbol, border.label.brush});
  }
}

}  // namespace detail

}  // namespace vn
