// Line styles: Border describes a frame (its eight box-drawing code points, a brush and a label)
// for drawing with the Frame forms of put; Divider is a widget one cell thick that fills its
// area with a vertical or horizontal rule to separate its neighbours in a layout.
#pragma once

#include <string>

#include "dalk/sequence.hpp"
#include "vn/label.hpp"
#include "vn/put.hpp"
#include "vn/terminal.hpp"
#include "vn/widget.hpp"

namespace vn {

/// A frame style with a brush and a label carried along. A value; nothing here draws it.
struct Border {
  struct Options {
    dalk::Brush brush{};
    Label label{Label::Options{}};
  };

  // Each style comes as two factories. From a text: the default brush and a label holding the
  // text, with the other fields of Label::init. From options: their brush and label, unchanged.

  /// ┌ ┐ └ ┘ with ─ and │.
  static Border light(std::string text);
  static Border light(Options options);
  /// ╭ ╮ ╰ ╯ with ─ and │.
  static Border round(std::string text);
  static Border round(Options options);
  /// ╔ ╗ ╚ ╝ with ═ and ║.
  static Border twin(std::string text);
  static Border twin(Options options);
  /// ┏ ┓ ┗ ┛ with ━ and ┃.
  static Border bold(std::string text);
  static Border bold(Options options);
  /// ┌ ┐ └ ┘ with ╌ and ╎.
  static Border dashed(std::string text);
  static Border dashed(Options options);
  /// ┌ ┐ └ ┘ with ┄ and ┆.
  static Border dotted(std::string text);
  static Border dotted(Options options);
  /// + corners with - and |.
  static Border ascii(std::string text);
  static Border ascii(Options options);
  /// ╒ ╕ ╘ ╛ with double ═ and single │.
  static Border twin_horizontal(std::string text);
  static Border twin_horizontal(Options options);
  /// ╓ ╖ ╙ ╜ with single ─ and double ║.
  static Border twin_vertical(std::string text);
  static Border twin_vertical(Options options);

  shape::Frame frame;
  dalk::Brush brush;
  Label label;
};

/// A rule that fills its whole area: its vertical code point when exactly one cell wide, its
/// horizontal one otherwise, whatever its height. Always 1 cell thick in a layout; takes no
/// focus and no input. Its label is kept but not painted.
class Divider : public Widget {
 public:
  struct Lines {
    char32_t vertical = U'│';
    char32_t horizontal = U'─';
  };

  struct Options {
    /// Replaced by the style's code points in every factory.
    Lines lines{};
    dalk::Brush brush{};
    Label label{Label::Options{}};
  };

  /// Focus policy None and SizePolicy::fixed(1), whatever the options.
  explicit Divider(Options options);

  // Each style comes as two factories. From a text: default options whose label holds the
  // text. From options: their brush and label, with `lines` replaced by the style's.

  /// │ and ─.
  static Divider light(std::string text);
  static Divider light(Options options);
  /// ┃ and ━.
  static Divider bold(std::string text);
  static Divider bold(Options options);
  /// ║ and ═.
  static Divider twin(std::string text);
  static Divider twin(Options options);
  /// ╎ and ╌.
  static Divider dashed(std::string text);
  static Divider dashed(Options options);
  /// ┆ and ┄.
  static Divider dotted(std::string text);
  static Divider dotted(Options options);
  /// | and -.
  static Divider ascii(std::string text);
  static Divider ascii(Options options);
  /// Spaces: only the brush's background shows.
  static Divider empty(std::string text);
  static Divider empty(Options options);

  /// Every cell of the canvas becomes the chosen code point with `brush`.
  void paint(Canvas canvas) override;

  Lines lines;
  dalk::Brush brush;
  /// Stored only; the divider does not paint it.
  Label label;
};

}  // namespace vn
