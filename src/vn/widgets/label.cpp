#include "vn/label.hpp"

#include <algorithm>
#include <cstddef>
#include <stdexcept>
#include <utility>

#include "dalk/text.hpp"
#include "dalk/transcode.hpp"
#include "vn/put.hpp"

namespace vn {

void paint_label(Canvas canvas, std::string_view text, Align align, dalk::Brush brush) {
  int const width = canvas.size.width;
  int const height = canvas.size.height;
  // The label colours its whole rectangle, not only the cells its text covers.
  fill_brush(canvas, brush);
  // Kept from one paint to the next, so that a label is laid out without an allocation.
  thread_local std::u32string line;
  dalk::detail::u8_string_to_u32_string(text, line);
  std::size_t const cells = dalk::text::drawable_in_place(line);
  // Row height / 2 would be row 0 of an empty canvas, which lies outside it.
  if (width <= 0 || height <= 0) {
    return;
  }
  // Cutting keeps the start whatever the alignment, so the offset below is never negative. A
  // wide character without room for all its cells becomes spaces, so a cut text always fills
  // the width.
  int const length = static_cast<int>(std::min(cells, static_cast<std::size_t>(width)));
  if (cells > static_cast<std::size_t>(width)) {
    for (int cut = dalk::text::cut_to_cells(line, width); cut < width; ++cut) {
      line.push_back(U' ');
    }
  }
  int const row = height / 2;
  int x = find_align_offset(align, width, length);
  for (char32_t const symbol : line) {
    canvas[{x, row}].symbol = symbol;
    int const symbol_cells = dalk::text::cells(symbol);
    // The covered cells are left blank, not holding what was painted there before.
    for (int covered = 1; covered < symbol_cells; ++covered) {
      canvas[{x + covered, row}].symbol = U' ';
    }
    x += symbol_cells;
  }
}

Label::Label(Options options)
    : Widget{FocusPolicy::None, options.size_policy},
      text{std::move(options.text)},
      align{options.align},
      brush{std::move(options.brush)} {}

void Label::paint(Canvas canvas) {
  paint_label(canvas, text, align, brush);
}

bool Label::paint_key(PaintKey& key) const {
  key.add(std::string_view{text}).add(align).add(brush);
  return true;
}

std::locale digit_separator_locale(signed char spacing, std::locale base) {
  if (spacing < 0) {
    throw std::invalid_argument("digit_separator_locale: spacing must be non-negative");
  }
  class facet : public std::numpunct<char> {
   public:
    // Reference count 0: the locale that receives the facet owns and deletes it.
    explicit facet(signed char spacing) : std::numpunct<char>(std::size_t{0}), spacing_{spacing} {}

   protected:
    std::string do_grouping() const override { return std::string(1, static_cast<char>(spacing_)); }

   private:
    signed char spacing_;
  };
  return std::locale(base, new facet(spacing));
}

}  // namespace vn
