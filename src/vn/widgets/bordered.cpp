#include "vn/bordered.hpp"

#include <array>
#include <cstddef>
#include <utility>

#include "dalk/text.hpp"

namespace vn {

namespace {

// Every line style's box-drawing code points: a Border takes the corners and both lines, a
// Divider only the two lines.
struct LineSet {
  std::array<char32_t, 4> corners;
  char32_t horizontal;
  char32_t vertical;

  // Walls are top, bottom, right, left, as shape::Frame has them.
  [[nodiscard]] constexpr shape::Frame frame() const {
    return {corners, {horizontal, horizontal, vertical, vertical}};
  }
  [[nodiscard]] constexpr Divider::Lines lines() const { return {vertical, horizontal}; }
};

constexpr std::array<char32_t, 4> light_corners{U'┌', U'┐', U'└', U'┘'};

constexpr LineSet light_set{light_corners, U'─', U'│'};
constexpr LineSet round_set{shape::Box::round_corners, U'─', U'│'};
constexpr LineSet twin_set{{U'╔', U'╗', U'╚', U'╝'}, U'═', U'║'};
constexpr LineSet bold_set{{U'┏', U'┓', U'┗', U'┛'}, U'━', U'┃'};
constexpr LineSet dashed_set{light_corners, U'╌', U'╎'};
constexpr LineSet dotted_set{light_corners, U'┄', U'┆'};
constexpr LineSet ascii_set{{U'+', U'+', U'+', U'+'}, U'-', U'|'};
constexpr LineSet twin_horizontal_set{{U'╒', U'╕', U'╘', U'╛'}, U'═', U'│'};
constexpr LineSet twin_vertical_set{{U'╓', U'╖', U'╙', U'╜'}, U'─', U'║'};
constexpr LineSet empty_set{{U' ', U' ', U' ', U' '}, U' ', U' '};

// Default-constructed options rather than a copy of Label::init (they are equal): defaults
// that hold a border, built at load in any order, may call this before Label::init is built.
Label text_label(std::string text) {
  Label::Options options{};
  options.text = std::move(text);
  return Label{std::move(options)};
}

Label copy_of(Label const& label) {
  Label copy{Label::Options{label.text, label.align, label.brush, label.size_policy}};
  copy.focus_policy = label.focus_policy;
  copy.cursor = label.cursor;
  copy.active = label.active;
  copy.at = label.at;
  copy.size = label.size;
  return copy;
}

Border make_border(LineSet const& set, std::string text) {
  return Border{set.frame(), dalk::Brush{}, text_label(std::move(text))};
}

Border make_border(LineSet const& set, Border::Options options) {
  return Border{set.frame(), std::move(options.brush), std::move(options.label)};
}

Divider make_divider(LineSet const& set, Divider::Options options) {
  options.lines = set.lines();
  return Divider{std::move(options)};
}

Divider make_divider(LineSet const& set, std::string text) {
  return make_divider(
      set, Divider::Options{Divider::Lines{}, dalk::Brush{}, text_label(std::move(text))});
}

}  // namespace

Border::Border(shape::Frame frame, dalk::Brush brush, Label label)
    : frame{frame}, brush{brush}, label{std::move(label)} {}

Border::Border(Border const& other)
    : frame{other.frame}, brush{other.brush}, label{copy_of(other.label)} {}

Border& Border::operator=(Border const& other) {
  if (this != &other) {
    *this = Border{other};
  }
  return *this;
}

Border Border::light(std::string text) {
  return make_border(light_set, std::move(text));
}
Border Border::light(Options options) {
  return make_border(light_set, std::move(options));
}

Border Border::round(std::string text) {
  return make_border(round_set, std::move(text));
}
Border Border::round(Options options) {
  return make_border(round_set, std::move(options));
}

Border Border::twin(std::string text) {
  return make_border(twin_set, std::move(text));
}
Border Border::twin(Options options) {
  return make_border(twin_set, std::move(options));
}

Border Border::bold(std::string text) {
  return make_border(bold_set, std::move(text));
}
Border Border::bold(Options options) {
  return make_border(bold_set, std::move(options));
}

Border Border::dashed(std::string text) {
  return make_border(dashed_set, std::move(text));
}
Border Border::dashed(Options options) {
  return make_border(dashed_set, std::move(options));
}

Border Border::dotted(std::string text) {
  return make_border(dotted_set, std::move(text));
}
Border Border::dotted(Options options) {
  return make_border(dotted_set, std::move(options));
}

Border Border::ascii(std::string text) {
  return make_border(ascii_set, std::move(text));
}
Border Border::ascii(Options options) {
  return make_border(ascii_set, std::move(options));
}

Border Border::twin_horizontal(std::string text) {
  return make_border(twin_horizontal_set, std::move(text));
}
Border Border::twin_horizontal(Options options) {
  return make_border(twin_horizontal_set, std::move(options));
}

Border Border::twin_vertical(std::string text) {
  return make_border(twin_vertical_set, std::move(text));
}
Border Border::twin_vertical(Options options) {
  return make_border(twin_vertical_set, std::move(options));
}

Divider::Divider(Options options)
    : Widget{FocusPolicy::None, SizePolicy::fixed(1)},
      lines{options.lines},
      brush{std::move(options.brush)},
      label{std::move(options.label)} {}

Divider Divider::light(std::string text) {
  return make_divider(light_set, std::move(text));
}
Divider Divider::light(Options options) {
  return make_divider(light_set, std::move(options));
}

Divider Divider::bold(std::string text) {
  return make_divider(bold_set, std::move(text));
}
Divider Divider::bold(Options options) {
  return make_divider(bold_set, std::move(options));
}

Divider Divider::twin(std::string text) {
  return make_divider(twin_set, std::move(text));
}
Divider Divider::twin(Options options) {
  return make_divider(twin_set, std::move(options));
}

Divider Divider::dashed(std::string text) {
  return make_divider(dashed_set, std::move(text));
}
Divider Divider::dashed(Options options) {
  return make_divider(dashed_set, std::move(options));
}

Divider Divider::dotted(std::string text) {
  return make_divider(dotted_set, std::move(text));
}
Divider Divider::dotted(Options options) {
  return make_divider(dotted_set, std::move(options));
}

Divider Divider::ascii(std::string text) {
  return make_divider(ascii_set, std::move(text));
}
Divider Divider::ascii(Options options) {
  return make_divider(ascii_set, std::move(options));
}

Divider Divider::empty(std::string text) {
  return make_divider(empty_set, std::move(text));
}
Divider Divider::empty(Options options) {
  return make_divider(empty_set, std::move(options));
}

void Divider::paint(Canvas canvas) {
  // Only the width decides: one cell wide is a vertical rule whatever the height.
  char32_t const symbol = size.width == 1 ? lines.vertical : lines.horizontal;
  put(canvas, {0, 0}, shape::Fill{dalk::Glyph{symbol, brush}, canvas.size});
}

bool Divider::paint_key(PaintKey& key) const {
  key.add(size.width == 1 ? lines.vertical : lines.horizontal).add(brush);
  return true;
}

namespace detail {

void paint_border(Canvas canvas, Border const& border) {
  put(canvas, border.frame, border.brush);
  // The title keeps off both corners and leaves a wall cell on each side: ┌─Title─┐.
  int const room = canvas.size.width - 4;
  if (room <= 0 || canvas.size.height <= 0) {
    return;
  }
  std::u32string title = dalk::text::drawable(border.label.text);
  // A wide character that would cross the end of room is dropped whole; the wall shows.
  cut_to_cells(title, room);
  int x = 2;
  for (char32_t const symbol : title) {
    put(canvas, {x, 0}, dalk::Glyph{symbol, border.label.brush});
    int const cells = cell_width(symbol);
    for (int covered = 1; covered < cells; ++covered) {
      put(canvas, {x + covered, 0}, dalk::Glyph{U' ', border.label.brush});
    }
    x += cells;
  }
}

void add_border_key(PaintKey& key, Border const& border, std::string_view title) {
  for (char32_t const symbol : border.frame.corners) {
    key.add(symbol);
  }
  for (char32_t const symbol : border.frame.walls) {
    key.add(symbol);
  }
  key.add(border.brush).add(title).add(border.label.brush);
}

}  // namespace detail

}  // namespace vn
