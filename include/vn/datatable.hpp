// A scrollable grid of text cells under a line of column headings, inside a rounded frame with
// ruled lines between rows and columns. The headings are labels in a row layout, the table's
// only child; the table paints its cells and rules where that layout put the headings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dalk/io.hpp"
#include "dalk/sequence.hpp"
#include "lum/generator.hpp"
#include "vn/align.hpp"
#include "vn/label.hpp"
#include "vn/layout.hpp"
#include "vn/screen_buffer.hpp"
#include "vn/widget.hpp"

namespace vn {

/// Columns are added one at a time, rows as one text per column; both are only ever added.
/// Scrolls by one row per mouse wheel step. Event-loop thread only.
class DataTable : public Widget {
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

  /// Scroll down: one row further, stopping with the last row on top; scroll up: one row back,
  /// stopping at the first. Other buttons are ignored.
  void mouse_wheel(dalk::Mouse mouse) override;
  /// Places the header just inside the frame, as wide as the table less the frame, one line
  /// high, and lays out the headings. The argument is not used.
  void resize(Area previous) override;
  /// Frame, rules and cell texts for the rows from scroll_offset on, in as many lines as the
  /// canvas has (two per row plus three); the whole canvas takes `background`. Texts are
  /// measured in cells (dalk::width); those that do not fit their column are cut between code
  /// points and end in "…". The headings paint themselves beforehand.
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
};

}  // namespace vn
