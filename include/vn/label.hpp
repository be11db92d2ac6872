// The one-line text display: a widget that fills its rectangle with a brush and writes one
// line of text into its middle row. Buttons and the data table's headings are built from it.
// Also a locale utility for grouping the digits of numbers formatted into label texts.
#pragma once

#include <locale>
#include <string>
#include <string_view>

#include "dalk/sequence.hpp"
#include "vn/align.hpp"
#include "vn/screen_buffer.hpp"
#include "vn/widget.hpp"

namespace vn {

/// Paints one line of text as a Label does, for widgets that draw their own: gives every cell
/// of the canvas `brush`, then writes the UTF-8 `text` (laid out as dalk::text::drawable gives
/// it, each code point taking dalk::width cells, the second cell of a wide one a space) into
/// row height / 2 (the lower middle row of an even height), aligned by `align` on its width in
/// cells. A text wider than the canvas is cut to its first width cells whatever the alignment;
/// a wide code point left with one cell becomes a space. Only code points are written over the
/// brush; other cells keep theirs. A canvas of width or height 0 receives nothing. Invalid
/// UTF-8 throws std::runtime_error "Invalid UTF-8 sequence" after the brush was applied and
/// before any code point is written.
void paint_label(Canvas canvas, std::string_view text, Align align, dalk::Brush brush);

namespace detail {

/// The earlier spelling of vn::paint_label.
using vn::paint_label;

}  // namespace detail

/// One line of text, painted over its whole rectangle with its brush. Takes no focus and no
/// input; `text`, `align` and `brush` may be changed at any time and take effect at the next
/// paint.
class Label : public Widget {
 public:
  struct Options {
    /// UTF-8.
    std::string text{};
    Align align = Align::Center;
    dalk::Brush brush{};
    SizePolicy size_policy = SizePolicy::flex(1.0F);
  };

  /// The default options, equal to a default-constructed Options.
  static Options const init;

  /// Focus policy None, size policy from the options.
  explicit Label(Options options);

  /// Calls paint_label with the current text, alignment and brush.
  void paint(Canvas canvas) override;
  /// The text, alignment and brush.
  bool paint_key(PaintKey& key) const override;

  std::string text;
  Align align;
  dalk::Brush brush;
};

// Defined here, inline, so that statics of other translation units built at load (option
// defaults of composite widgets) can copy it in any initialization order.
inline Label::Options const Label::init{};

/// A copy of `base` whose numpunct<char> facet groups digits in runs of `spacing` from the
/// right (spacing 0: no grouping). Every other numpunct behaviour (decimal point, separator
/// ',', true/false names) is the standard base facet's, not base's. A negative spacing throws
/// std::invalid_argument "digit_separator_locale: spacing must be non-negative".
std::locale digit_separator_locale(signed char spacing, std::locale base);

}  // namespace vn
