// Line styles: Border describes a frame (its eight box-drawing code points, a brush and a label)
// for drawing with the Frame forms of put; Bordered draws one around a child widget, with the
// label as its title; Divider is a widget one cell thick that fills its area with a vertical or
// horizontal rule to separate its neighbours in a layout.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>

#include "dalk/sequence.hpp"
#include "vn/label.hpp"
#include "vn/layout.hpp"
#include "vn/put.hpp"
#include "vn/screen_buffer.hpp"
#include "vn/widget.hpp"

namespace vn {

/// A frame style with a brush and a label carried along. A value; nothing here draws it.
struct Border {
  struct Options {
    dalk::Brush brush{};
    Label label{Label::Options{}};
  };

  Border(shape::Frame frame, dalk::Brush brush, Label label);
  /// A copy holds a label of its own, equal to the original's in text, alignment, brush and
  /// widget fields.
  Border(Border const& other);
  Border(Border&& other) noexcept = default;
  Border& operator=(Border const& other);
  Border& operator=(Border&& other) noexcept = default;
  ~Border() = default;

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

namespace detail {

/// Draws `border` on the outer ring of the canvas: the frame with the border's brush, then the
/// label's text as a title in the top wall from column 2, with the label's brush, cut so that
/// it ends before the last wall cell (a canvas narrower than 5 cells shows no title). The title
/// is laid out as put lays out text (detail::drawable_text, cells by dalk::width) and cut
/// between code points, so a wide one that does not fit leaves the wall. Malformed UTF-8 in the
/// title is drawn up to its first malformed character.
void paint_border(Canvas canvas, Border const& border);

/// What paint_border reads of `border`, with `title` standing for its label's text: the frame's
/// code points, its brush, the title and the label's brush.
void add_border_key(PaintKey& key, Border const& border, std::string_view title);

}  // namespace detail

/// A frame around one child widget. The child sits one cell inside every edge (its size is the
/// border's less 2 in each direction, never below 0); the frame is drawn on the ring around it,
/// so what the child paints stays visible, and the border's label text is the title in the top
/// wall (see detail::paint_border; the label's alignment is not used). `child` is a widget held
/// by value, a std::reference_wrapper to one, or a pointer-like value (an empty one is no
/// child), as in a Row. `border` may be changed at any time and shows at the next paint.
template <typename Child>
requires ChildElement<Child>
class Bordered : public Widget {
 public:
  struct Options {
    Border border = Border::light("");
    /// The bordered widget's own policies.
    FocusPolicy focus_policy = FocusPolicy::None;
    SizePolicy size_policy = SizePolicy::flex(1.0F);
  };

  /// The default options, equal to a default-constructed Options.
  static Options const init;

  Bordered(Options options, Child inner)
      : Bordered{std::move(options.border), std::move(inner), options.focus_policy,
                 options.size_policy} {}
  /// The focus and size policies are the bordered widget's own.
  Bordered(Border frame, Child inner, FocusPolicy focus = FocusPolicy::None,
           SizePolicy policy = SizePolicy::flex(1.0F))
      : Widget{focus, policy}, border{std::move(frame)}, child{std::move(inner)} {}

  /// Places the child one cell inside every edge and resizes it with its previous size.
  void resize(Area /*previous*/) override {
    if (Widget* inner = detail::child_pointer(child)) {
      Area const previous = inner->size;
      inner->at = {1, 1};
      inner->size = {std::max(size.width - 2, 0), std::max(size.height - 2, 0)};
      inner->resize(previous);
    }
  }

  /// Draws the frame and the title over the ring; the child paints itself.
  void paint(Canvas canvas) override { detail::paint_border(canvas, border); }
  /// The border (detail::add_border_key).
  bool paint_key(PaintKey& key) const override {
    detail::add_border_key(key, border, border.label.text);
    return true;
  }

  /// The child, unless it is an empty pointer.
  lum::Generator<Widget&> get_children() override {
    if (Widget* inner = detail::child_pointer(child)) {
      co_yield *inner;
    }
  }
  lum::Generator<Widget const&> get_children() const override {
    if (Widget const* inner = detail::child_pointer(child)) {
      co_yield *inner;
    }
  }

  Border border;
  Child child;
};

template <typename Child>
requires ChildElement<Child>
inline typename Bordered<Child>::Options const Bordered<Child>::init{};

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

  /// The defaults, equal to a default-constructed Options, to read: the label makes the
  /// options move-only, so a changed copy starts from Options{}.
  static Options const init;

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
  /// The code point chosen by the width, and the brush.
  bool paint_key(PaintKey& key) const override;

  Lines lines;
  dalk::Brush brush;
  /// Stored only; the divider does not paint it.
  Label label;
};

// Defined here, inline, so that statics elsewhere may read it at load.
inline Divider::Options const Divider::init{};

}  // namespace vn
