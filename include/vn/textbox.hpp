// A multi-line text editor and viewer. The text is kept as UTF-8 and edited as a UTF-32 copy,
// broken into display lines that fit the widget's width in cells (at line feeds, and at spaces or
// between any two characters when a line is full), scrolled by whole lines so that the cursor
// stays visible. Every
// paint reports the scroll position and line count through `scrolled`, which a scroll bar can
// follow (vn::link).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dalk/io.hpp"
#include "dalk/sequence.hpp"
#include "nerv/signal.hpp"
#include "vn/align.hpp"
#include "vn/screen_buffer.hpp"
#include "vn/scrollable.hpp"
#include "vn/widget.hpp"

namespace vn {

namespace detail {
class TextLayout;
}  // namespace detail

/// Editable multi-line text. A character is a code point with the code points of width 0
/// (combining marks, joiners) after it, a line feed always one of its own; characters are shown
/// composed (NFC), each taking dalk::width cells, and columns count cells. The cursor is an index
/// of code points on a character boundary; vertical movement, clicks and scrolling work on the
/// display lines of the last paint. Event-loop thread only.
class TextBox : public Widget, public Scrollable {
 public:
  /// How a full line is broken. Only Word (1) breaks at spaces; every other value behaves as
  /// Character. A character is never split, so a wide one that does not fit starts the next line.
  enum class Wrap : std::int32_t {
    /// After as many characters as fit in the width.
    Character = 0,
    /// After the last space among the characters that fit; a word without one is cut.
    Word = 1,
  };

  struct Options {
    /// UTF-8.
    std::string text{};
    Wrap wrap = Wrap::Word;
    Align align = Align::Left;
    dalk::Brush brush{};
    /// None by default: an editable text box needs another policy or Focus::set.
    FocusPolicy focus_policy = FocusPolicy::None;
    SizePolicy size_policy = SizePolicy::flex(1.0F);
    /// The cursor's shape while the box has focus; empty: the terminal's own, and no bytes.
    std::optional<dalk::CursorShape> cursor_shape{};
  };

  /// The default options, equal to a default-constructed Options.
  static Options const init;

  /// Takes the policies and the text from the options and lays the text out at width 0 (one
  /// empty line) until the first paint.
  explicit TextBox(Options options);
  ~TextBox() override;
  TextBox(TextBox&& other) noexcept;
  TextBox& operator=(TextBox&& other) noexcept;

  /// Converts `text` into `code_points` and cuts it into display lines of at most the widget's
  /// width in cells (a line feed takes one): a line ends after its first line feed, and a full
  /// line (the next character does not fit) is broken after its last space (Wrap::Word) or
  /// after its last whole character. A character wider than the width gets a line of its own.
  /// A text ending in a line feed gets one more, empty, line; an empty text or a width of 0
  /// gives one empty line. Invalid UTF-8 throws
  /// std::runtime_error "Invalid UTF-8 sequence"; `code_points` then holds the valid prefix and
  /// the lines are cut from it, so the widget stays consistent.
  void update_layout_cache();

  /// Shows display line `offset` (clamped to the lines there are) in the top row. A cursor
  /// outside the view is placed on the top or bottom visible line, on the character covering
  /// its column where that line is long enough. Emits nothing; the next paint reports the new
  /// position.
  void set_scroll_offset(int offset);

  /// The number of display lines of the last layout, at least 1.
  int get_scroll_length() const;

  /// {scroll_offset, height, get_scroll_length()}.
  ScrollState scroll_state() const override;
  /// set_scroll_offset, with the position clamped to an int first.
  void scroll_to(std::int64_t position) override;
  /// Connected to `scrolled`: called on every paint.
  nerv::Identifier on_scroll(std::function<void(ScrollState)> f) override;

  /// Left button: moves the cursor before the character whose cells hold the clicked cell, or
  /// to the clicked line's last character when the click lies beyond its end, or to its first
  /// when the click lies left of it (centred and right-aligned lines). Clicks below the last
  /// line land on the last line.
  void mouse_press(dalk::Mouse mouse) override;

  /// One display line per step, through set_scroll_offset.
  void mouse_wheel(dalk::Mouse mouse) override;

  /// Enter inserts a line feed; Backspace (the code point before the cursor), Delete (the
  /// character after it), Home, End (whole text) and the four arrows (up and down to the
  /// character covering the cursor's column) edit and move; any other key value that can be
  /// typed (dalk::text::is_typeable: a Unicode scalar value, no modifier bits, neither a
  /// control character nor a noncharacter, outside the console's key range 0x40000 to
  /// 0x4FFFF) is inserted at the cursor, a combining mark joining the character before it. Every
  /// edit rewrites `text` at once. The layout is not rebuilt until the next paint.
  void key_press(dalk::Key key) override;

  /// Inserts the whole of `text` at the cursor as one edit and puts the cursor after it: each
  /// line break ("\r\n", "\r" or "\n") becomes a line feed, other control characters but tab
  /// are dropped, and a malformed UTF-8 sequence becomes U+FFFD. `text` is rewritten at once.
  void paste(std::string_view text) override;

  /// Brings the layout up to date, keeps the cursor's line in view, emits `scrolled` (on every
  /// paint), colours the whole canvas with `brush` and writes the visible lines (line feeds are
  /// never drawn); what a slot changed in code_points is drawn, cut again, and `text` waits for
  /// the next paint. The widget's own edits are laid out from the display line they touch on;
  /// `text` or `code_points` changed from outside, a new width or wrap mode lay the whole text
  /// out again from `text`. Sets `cursor` to the cursor's cell: at the end of the text after a full
  /// last line, on the row below where the next character goes (scrolled into view when the
  /// box is two rows or more); otherwise kept on the last column when it falls past the right
  /// edge (a right-aligned line grows leftwards); empty when a slot scrolled its line out of
  /// view. Invalid UTF-8 in `text` throws as update_layout_cache does, before anything is
  /// emitted or drawn.
  void paint(Canvas canvas) override;

  /// UTF-8. A change takes effect at the next paint. Assigning it, or changing its length,
  /// is always noticed; an in-place change of a long text that keeps its length and touches
  /// only a few bytes may not be: call update_layout_cache() after such a change.
  std::string text;
  Wrap wrap;
  /// Horizontal alignment of every display line.
  Align align;
  /// Brush of every cell of the widget.
  dalk::Brush brush;
  /// Emitted by every paint with (scroll_offset, number of display lines).
  nerv::Signal<void(int, int)> scrolled;
  /// The display line shown in the top row.
  int scroll_offset = 0;
  /// Index into code_points, 0 to its length; larger values are clamped before use, and one
  /// inside a character counts as its start.
  std::size_t cursor_index = 0;
  /// UTF-32 copy of text, rebuilt from it by a layout after an outside change and edited in
  /// place by keys and pastes. A change made here from outside is noticed as one of `text` is,
  /// and, as before, replaced from `text` at the next paint.
  std::u32string code_points;
  /// The display lines, views into code_points; never empty.
  std::vector<std::u32string_view> layout_cache;

 private:
  // The display lines and the record of edits since they were laid out (kept in step with
  // `text` and `code_points` by the box's own edits; noticed when the application changes them).
  std::unique_ptr<detail::TextLayout> layout_;
  detail::TextLayout& layout();
};

// Defined here, inline, like Label::init, so that statics elsewhere may copy it at load.
inline TextBox::Options const TextBox::init{};

}  // namespace vn
