// A scrollable grid of text cells under a line of column headings, inside a rounded frame with
// ruled lines between rows and columns. The headings are labels in a row layout, the table's
// only child; the table paints its cells and rules where that layout put the headings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "dalk/io.hpp"
#include "dalk/sequence.hpp"
#include "lum/generator.hpp"
#include "nerv/signal.hpp"
#include "vn/align.hpp"
#include "vn/label.hpp"
#include "vn/layout.hpp"
#include "vn/screen_buffer.hpp"
#include "vn/scrollable.hpp"
#include "vn/selectable.hpp"
#include "vn/widget.hpp"

namespace vn {

/// Columns are added one at a time, rows as one text per column. Scrolls by one row per mouse
/// wheel step. A table given a focus policy (or focus) becomes selectable: while focused, Up,
/// Down, PageUp, PageDown, Home and End move a selected row and Enter activates it; a click
/// selects when its policy takes clicks. Event-loop thread only.
class DataTable : public Widget, public ReportingScrollable, public Selectable {
 public:
  struct Options {
    dalk::Color background = dalk::XColor::Default;
    dalk::Color foreground = dalk::XColor::Default;
    dalk::Color line_color = dalk::XColor::Default;
    SizePolicy size_policy = SizePolicy::flex(1.0F);
  };

  /// The default options, built at library load; equal to a default-constructed Options.
  static Options const init;

  /// Focus policy None; no columns, not scrolled.
  explicit DataTable(Options options);

  /// Appends a bold heading label in `color` with `align`, and a column of empty texts for the
  /// rows added so far. The heading has no width until the table is next resized.
  void add_column(std::string heading, Align align, dalk::Color color);
  /// Appends one row: text i goes to column i. A row without exactly one text per column
  /// throws std::runtime_error "DataTable::add_row: row size does not match column count."
  /// and adds nothing.
  void add_row(std::vector<std::string> row);
  /// The number of data rows.
  std::uint64_t row_count() const;
  /// Removes every row; the columns stay. Scroll offset and selection are reset.
  void clear_rows();
  /// Removes one row; rows below move up, and so does a selection below it. A row out of range
  /// throws std::out_of_range "DataTable::remove_row: row out of range.".
  void remove_row(std::uint64_t row);
  /// Replaces one row's texts; throws std::out_of_range "DataTable::set_row: row out of
  /// range." or, for a wrong number of texts, std::runtime_error "DataTable::set_row: row size
  /// does not match column count.", changing nothing.
  void set_row(std::uint64_t row, std::vector<std::string> texts);
  /// Replaces one cell's text; throws std::out_of_range "DataTable::set_cell: cell out of
  /// range.".
  void set_cell(std::uint64_t row, std::size_t column, std::string text);
  /// Fixes a column at `width` cells (at least 0), or with no width gives it back an equal
  /// share of what fixed columns leave; lays the headings out again. A column out of range
  /// throws std::out_of_range "DataTable::set_column_width: column out of range.".
  void set_column_width(std::size_t column, std::optional<int> width);

  /// The selected row, if any and still there.
  std::optional<std::size_t> selection() const override;
  /// Selects `row` (clamped to the rows there are; none when there are none) and scrolls it
  /// into view. Emits nothing.
  void select(std::size_t row) override;
  /// As select(row) for a row; none clears the selection.
  void select(std::optional<std::size_t> row);

  /// {scroll_offset, rows the canvas shows, row_count()}.
  ScrollState scroll_state() const override;
  /// As the wheel does, the last row may come to the top but not go past it. Emits nothing.
  void scroll_to(std::int64_t position) override;

  /// While focused: moves the selection and keeps it in view (with none, Home and End select
  /// the first and last rows and the other keys the top row shown); Enter emits `activated`
  /// for the selected row.
  void key_press(dalk::Key key) override;
  /// Left button, on a table whose focus policy takes clicks: selects the row under the
  /// pointer.
  void mouse_press(dalk::Mouse mouse) override;

  /// Scroll down: one row further, stopping with the last row on top; scroll up: one row back,
  /// stopping at the first. Other buttons are ignored.
  void mouse_wheel(dalk::Mouse mouse) override;
  /// Places the header just inside the frame, as wide as the table less the frame, one line
  /// high, and lays out the headings. The argument is not used.
  void resize(Area previous) override;
  /// Frame, rules and cell texts for the rows from scroll_offset on, in as many lines as the
  /// canvas has (two per row plus three, or one per row plus four when compact); the whole
  /// canvas takes `background`. Texts are measured in cells (dalk::width); those that do not
  /// fit their column are cut between code points and end in "…". The headings paint
  /// themselves beforehand. A selected row shown takes the selected brush inside the frame;
  /// while focused the top frame line is bold. Emits `scrolled` first when the scroll state
  /// differs from the last one reported.
  void paint(Canvas canvas) override;
  /// Yields `header` only.
  lum::Generator<Widget&> get_children() override;
  lum::Generator<Widget const&> get_children() const override;

  /// Background of every cell of the table's canvas (cell texts keep the default brush).
  dalk::Color background;
  /// Kept from the options; painting does not use it.
  dalk::Color foreground;
  /// Foreground of the frame, rules and junctions.
  dalk::Color line_color;
  /// Index of the first data row shown.
  std::uint64_t scroll_offset = 0;
  /// One heading per column, in column order.
  Row<std::vector<Label>> header;
  /// The cell texts (UTF-8) column by column; every column holds one text per row.
  std::vector<std::vector<std::string>> columns;

  /// One line per row and no rules between rows.
  bool compact = false;
  /// The selected row while the table has focus, and while it has not.
  dalk::Brush selected_brush{dalk::XColor::Default, dalk::XColor::Default, dalk::Trait::Inverse};
  dalk::Brush unfocused_selected_brush{dalk::XColor::Default, dalk::XColor::Default,
                                       dalk::Trait::Underline};
  /// Empty until a user or the application selects; kept within the rows when used.
  std::optional<std::uint64_t> selected;

  /// Enter on the selected row.
  nerv::Signal<void(std::size_t)> activated;

 private:
  // Text rows that fit in the table's height.
  std::uint64_t page() const;
};

}  // namespace vn
