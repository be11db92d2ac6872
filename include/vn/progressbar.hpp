// A horizontal progress bar on one row: an optional label on the left, the bar filled from the
// left in eighths of a cell (U+258F to U+2589 for the last, partial cell, U+2588 for full ones),
// and optionally the value as a percentage on the right.
#pragma once

#include <string>

#include "dalk/sequence.hpp"
#include "vn/screen_buffer.hpp"
#include "vn/widget.hpp"

namespace vn {

/// Takes no focus and no input. Event-loop thread only.
class ProgressBar : public Widget {
 public:
  struct Options {
    /// Clamped to 0..1.
    double value = 0.0;
    /// Drawn before the bar, followed by a space; none when empty.
    std::string label{};
    /// " 42%" after the bar.
    bool show_percent = false;
    /// The bar's cells, filled or not.
    dalk::Brush bar_brush{};
  };

  /// The default options, equal to a default-constructed Options.
  static Options const init;

  explicit ProgressBar(Options options);

  /// Clamped to 0..1; NaN counts as 0.
  void set_value(double value);
  double value() const { return value_; }

  /// Uses the middle row of the canvas.
  void paint(Canvas canvas) override;
  /// The value, the label, show_percent and the bar's brush.
  bool paint_key(PaintKey& key) const override;

  std::string label;
  bool show_percent;
  dalk::Brush bar_brush;

 private:
  double value_ = 0.0;
};

// Defined here, inline, so that statics elsewhere may copy it at load.
inline ProgressBar::Options const ProgressBar::init{};

}  // namespace vn
