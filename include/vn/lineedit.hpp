// A one-line text entry: takes printable characters from the keyboard (optionally filtered), offers
// the usual cursor and deletion keys, scrolls horizontally to keep the cursor in view, shows a
// dimmed placeholder while empty and unfocused, and emits the whole text when Enter is pressed.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "dalk/io.hpp"
#include "dalk/sequence.hpp"
#include "nerv/signal.hpp"
#include "vn/screen_buffer.hpp"
#include "vn/widget.hpp"

namespace vn {

/// The text is UTF-8 and the cursor and scroll positions are byte indices into it. A character
/// is a code point with the code points of width 0 (combining marks, joiners) after it; cursor
/// moves, Delete and clicks step over whole characters and Backspace takes back one code point,
/// so the text stays valid UTF-8 and both positions stay on character boundaries. Characters
/// are shown composed (NFC) and take dalk::width cells each (two for wide ones); columns and
/// widths count cells. After every cursor move by a key, scroll_offset <= cursor_index and the
/// cells of the character at the cursor (one cell at the end) lie within the first width cells
/// shown (width being the widget's width, at least 1), as far as they fit.
class LineEdit : public Widget {
 public:
  /// What a paste inserts.
  enum class PasteMode {
    /// The first line only; nothing is submitted. A pasted paragraph never submits a form.
    FirstLine,
    /// Every line, each line break emitting `submitted` as Enter would: the keys it would be
    /// typed with, applied one line at a time.
    Lines,
  };

  struct Options {
    /// UTF-8.
    std::string text{};
    dalk::Brush brush{};
    /// Shown while the text is empty and the edit has no focus.
    std::string placeholder{};
    dalk::Brush placeholder_brush{dalk::XColor::Default, dalk::XColor::BrightBlack, {}};
    /// When engaged, decides whether a typed character (one code point) is inserted; an engaged
    /// empty function throws std::bad_function_call when a printable key arrives. A function
    /// over `char` converts, and judges ASCII as before.
    std::optional<std::function<bool(char32_t)>> validator{};
    FocusPolicy focus_policy = FocusPolicy::Strong;
    SizePolicy size_policy = SizePolicy::flex(1.0F);
    PasteMode paste_mode = PasteMode::FirstLine;
    /// The cursor's shape while the edit has focus; empty: the terminal's own, and no bytes.
    std::optional<dalk::CursorShape> cursor_shape{};
  };

  /// The default options, equal to a default-constructed Options.
  static Options const init;

  /// The cursor starts at the beginning of the text.
  explicit LineEdit(Options options);

  /// Moves the cursor by n characters (negative: left), clamped to the text, then scrolls to
  /// keep it in view. A cursor beyond the end of a text the application shortened counts from
  /// where it stands, so the result is the same as clamp(cursor_index + n, 0, text.size()) for
  /// ASCII text.
  void increment_cursor(int n);

  /// Enter emits `submitted`; Backspace (the code point before the cursor), Delete (the
  /// character after it), Home, End, ArrowLeft, ArrowRight edit and move. A printable key
  /// (dalk::text::is_typeable: a Unicode scalar value that is not a control, a noncharacter
  /// or a console-only key 0x40000 to 0x4FFFF) passing the validator is inserted before the cursor;
  /// a combining mark joins the character before it. Every other key, and every key with a
  /// modifier, is ignored.
  void key_press(dalk::Key key) override;
  /// Inserts at the cursor, as one edit per line, the characters of `text` that typing them
  /// would insert: printable and, when there is one, accepted by the validator; a malformed
  /// UTF-8 sequence counts as U+FFFD, a line break is "\r\n", "\r" or "\n". With
  /// PasteMode::FirstLine only what precedes the first line break is inserted; with
  /// PasteMode::Lines each line break emits `submitted` and the next line follows. The cursor
  /// ends after what was inserted and scrolls into view.
  void paste(std::string_view text) override;
  /// Any button: puts the cursor before the character whose cells hold the clicked column, or
  /// at the end of the text for a column past it. Does not scroll.
  void mouse_press(dalk::Mouse mouse) override;
  /// Row 0 shows the text (or the placeholder) from scroll_offset, character by character, as
  /// many whole characters as fit in the width; a wide one that does not fit leaves a space.
  /// Other cells are left alone. Sets `cursor` to the width of the text shown before it while
  /// that lies within the width. Positions beyond the end of a text the application shortened
  /// are pulled back to its end.
  void paint(Canvas canvas) override;
  /// The texts, brushes, positions and width; false while `cursor` is not the one the paint
  /// sets, so that a cursor set from outside is put right.
  bool paint_key(PaintKey& key) const override;

  std::string text;
  dalk::Brush brush;
  std::string placeholder;
  dalk::Brush placeholder_brush;
  std::optional<std::function<bool(char32_t)>> validator;
  PasteMode paste_mode;
  /// Emitted with `text` when Enter is pressed; the text stays as it is.
  nerv::Signal<void(std::string const&)> submitted;
  /// Byte index of the cursor in `text`, 0 to text.size(), on a character boundary.
  std::size_t cursor_index = 0;
  /// Byte index of the first character shown, on a character boundary.
  std::size_t scroll_offset = 0;

 private:
  void insert_typed(std::u32string_view line);
  void move_cursor(long long n);
  void adjust_scroll();
  std::size_t scroll_for_cursor_at_right() const;
  int view_width() const;
};

inline LineEdit::Options const LineEdit::init{};

}  // namespace vn
