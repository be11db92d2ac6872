// A gallery-like widget tree of about 50 widgets: a row of labels, a row of buttons, a line
// edit, a text box with its scroll bar, check boxes with their labels, a data table in its
// own row, and a status line. Laid out by hand, top to bottom.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include <vn/vn.hpp>

namespace bench {

class TextPane : public vn::Widget {
 public:
  TextPane();
  void resize(vn::Area previous) override;
  lum::Generator<vn::Widget&> get_children() override;
  using vn::Widget::get_children;

  vn::TextBox text;
  vn::ScrollBar bar;
};

class CheckRow : public vn::Widget {
 public:
  explicit CheckRow(int count);
  void resize(vn::Area previous) override;
  lum::Generator<vn::Widget&> get_children() override;
  using vn::Widget::get_children;

  std::deque<vn::CheckBox> boxes;
  std::vector<vn::Label> labels;
};

class Gallery : public vn::Widget {
 public:
  Gallery();
  void resize(vn::Area previous) override;
  lum::Generator<vn::Widget&> get_children() override;
  using vn::Widget::get_children;

  /// Widgets in the tree, this one included.
  int count_widgets();

  vn::Row<std::vector<vn::Label>> labels;
  vn::Row<std::vector<vn::Button>> buttons;
  vn::LineEdit edit;
  TextPane pane;
  CheckRow checks;
  vn::Row<std::deque<vn::DataTable>> table_row;
  vn::Label status;
};

}  // namespace bench
