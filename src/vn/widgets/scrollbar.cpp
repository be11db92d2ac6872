#include "vn/scrollbar.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <utility>

#include "vn/put.hpp"
#include "vn/textbox.hpp"

namespace vn {

namespace {

// Block elements by eighths of a cell left empty at the top: index 0 is the full block, index 7
// the lower one eighth block. Drawn inverted, the same glyph fills exactly the top part instead.
constexpr std::array<char32_t, 8> eighths{U'█', U'▇', U'▆', U'▅', U'▄', U'▃', U'▂', U'▁'};

}  // namespace

ScrollBar::ScrollBar(Options options)
    : Widget{FocusPolicy::None, SizePolicy::fixed(1)},
      scrollable_length{options.scrollable_length},
      position{options.position},
      brush{std::move(options.brush)} {}

void ScrollBar::increment_position(int n) {
  // In 64 bits, so that no position an application set can overflow.
  std::int64_t const target = std::int64_t{position} + n;
  std::int64_t const last = scrollable_length > 0 ? scrollable_length - 1 : 0;
  position = static_cast<int>(std::clamp<std::int64_t>(target, 0, last));
}

void ScrollBar::mouse_press(dalk::Mouse mouse) {
  if (mouse.button != dalk::Mouse::Button::Left) {
    return;
  }
  int const last_row = std::max(size.height, 1) - 1;
  int const length = std::max(scrollable_length, 0);
  if (last_row == 0) {
    // A single row has no range to map the click onto: it selects the start.
    position = 0;
  } else {
    float const value =
        static_cast<float>(mouse.at.y) / static_cast<float>(last_row) * static_cast<float>(length);
    // Clamped before the conversion: a click outside the bar (on a bar that is the head
    // widget) must neither leave the range nor overflow an int.
    if (!(value > 0.0F)) {
      position = 0;
    } else if (value >= static_cast<float>(length)) {
      position = length;
    } else {
      position = static_cast<int>(value);
    }
  }
  new_position.emit(position);
}

void ScrollBar::mouse_wheel(dalk::Mouse mouse) {
  if (mouse.button == dalk::Mouse::Button::ScrollUp) {
    increment_position(-1);
  } else if (mouse.button == dalk::Mouse::Button::ScrollDown) {
    increment_position(1);
  } else {
    return;
  }
  new_position.emit(position);
}

void ScrollBar::paint(Canvas canvas) {
  int const width = canvas.size.width;
  int const height = canvas.size.height;
  if (width <= 0 || height <= 0) {
    return;
  }
  // Drawn as if clamped, so that the thumb's rows always lie inside the canvas: with
  // 0 <= shown <= length the top row is at most height - thumb.
  int const length = std::max(scrollable_length, 0);
  int const shown = std::clamp(position, 0, length);

  int thumb = 0;
  float top = 0.0F;
  if (length != 0) {
    thumb =
        static_cast<int>(std::ceil(std::min(1.0, static_cast<double>(height) / length) * height));
    top =
        static_cast<float>(shown) / static_cast<float>(length) * static_cast<float>(height - thumb);
  }
  float const top_floor = std::floor(top);
  auto const eighth = std::min(static_cast<std::size_t>((top - top_floor) * 8), std::size_t{7});
  char32_t const partial = eighths[eighth];
  int const top_row = static_cast<int>(top_floor);

  fill_brush(canvas, brush);
  canvas[{0, top_row}].symbol = partial;
  put(canvas, {0, top_row + 1}, shape::VLine{std::max(thumb, 1) - 1, U'█'}, brush.foreground);
  // The inverted glyph fills what the top cell left empty, shifting the thumb by eighths.
  if (top_row + thumb < std::min(size.height, height)) {
    dalk::Brush inverted = brush;
    inverted.traits |= dalk::Trait::Inverse;
    canvas[{0, top_row + thumb}] = dalk::Glyph{partial, inverted};
  }
}

bool ScrollBar::paint_key(PaintKey& key) const {
  if (linked_) {
    return false;
  }
  // The height, for the inverted cell, which the widget's own height may keep off.
  key.add(scrollable_length).add(position).add(brush).add(size.height);
  return true;
}

void link(TextBox& text_box, ScrollBar& scroll_bar) {
  scroll_bar.linked_ = true;
  text_box.scrolled.connect(tracked(
      [](ScrollBar& bar, int offset, int lines) {
        bar.position = offset;
        bar.scrollable_length = lines;
      },
      scroll_bar));
  scroll_bar.new_position.connect(
      tracked([](TextBox& box, int position) { box.set_scroll_offset(position); }, text_box));
}

namespace {

int clamp_to_int(std::int64_t value) {
  return static_cast<int>(std::clamp<std::int64_t>(value, std::numeric_limits<int>::min(),
                                                   std::numeric_limits<int>::max()));
}

}  // namespace

void link(Scrollable& scrollable, ScrollBar& scroll_bar) {
  // The widget's lifetime handle makes the bar's slot safe; the interface itself has none.
  auto* const widget = dynamic_cast<Widget*>(&scrollable);
  if (widget == nullptr) {
    throw std::invalid_argument("link(): the scrollable is not a widget.");
  }
  scroll_bar.linked_ = true;
  scrollable.on_scroll(tracked(
      [](ScrollBar& bar, ScrollState state) {
        bar.scrollable_length = std::max(clamp_to_int(state.total), 0);
        bar.position = std::clamp(clamp_to_int(state.position), 0, bar.scrollable_length);
      },
      scroll_bar));
  scroll_bar.new_position.connect(tracked(
      [](Widget& target, int position) {
        // The cast follows the widget into whatever object it was moved to.
        if (auto* const target_scrollable = dynamic_cast<Scrollable*>(&target)) {
          target_scrollable->scroll_to(position);
        }
      },
      *widget));
}

}  // namespace vn
