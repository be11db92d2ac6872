#include "vn/label.hpp"

#include <cstddef>
#include <stdexcept>
#include <utility>

#include "dalk/transcode.hpp"
#include "vn/put.hpp"

namespace vn {

namespace detail {

void paint_label(Canvas canvas, std::string_view text, Align align, dalk::Brush brush) {
  int const width = canvas.size.width;
  int const height = canvas.size.height;
  // The label colours its whole rectangle, not only the cells its text covers.
  fill_brush(canvas, brush);
  std::u32string line = dalk::detail::u8_string_to_u32_string(text);
  // Row height / 2 would be row 0 of an empty canvas, which lies outside it.
  if (width <= 0 || height <= 0) {
    return;
  }
  // Cutting keeps the start whatever the alignment, so the offset below is never negative.
  if (line.size() > static_cast<std::size_t>(width)) {
    line.resize(static_cast<std::size_t>(width));
  }
  int const length = static_cast<int>(line.size());
  int const x0 = find_align_offset(align, width, length);
  int const row = height / 2;
  for (int i = 0; i < length; ++i) {
    canvas[{x0 + i, row}].symbol = line[static_cast<std::size_t>(i)];
  }
}

}  // namespace detail

Label::Label(Options options)
    : Widget{FocusPolicy::None, options.size_policy},
      text{std::move(options.text)},
      align{options.align},
      brush{std::move(options.brush)} {}

void Label::paint(Canvas canvas) {
  detail::paint_label(canvas, text, align, brush);
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
