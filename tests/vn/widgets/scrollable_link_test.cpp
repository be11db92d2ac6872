#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include <vn/vn.hpp>

namespace {

using dalk::Mouse;
using vn::ScrollBar;
using vn::ScrollState;

// Thirty lines, rows or items of each kind, each shown in a 10 x 9 area.
std::unique_ptr<vn::TextBox> text_box() {
  std::string text;
  for (int i = 0; i < 30; ++i) {
    text += "line\n";
  }
  text.pop_back();
  return std::make_unique<vn::TextBox>(vn::TextBox::Options{text});
}

std::unique_ptr<vn::List> list() {
  auto l = std::make_unique<vn::List>(vn::List::init);
  for (int i = 0; i < 30; ++i) {
    l->items.push_back(std::to_string(i));
  }
  return l;
}

std::unique_ptr<vn::DataTable> table() {
  auto t = std::make_unique<vn::DataTable>(vn::DataTable::init);
  t->add_column("n", vn::Align::Left, dalk::XColor::Default);
  for (int i = 0; i < 30; ++i) {
    t->add_row({std::to_string(i)});
  }
  return t;
}

void wheel_down(ScrollBar& bar) {
  bar.mouse_wheel(Mouse{{0, 0}, Mouse::Button::ScrollDown, {}});
}

// Widget paints move the bar; bar actions scroll the widget; either may die first.
template <typename W>
void check_link(std::unique_ptr<W> widget, ScrollState first, std::int64_t last) {
  auto bar = std::make_unique<ScrollBar>(ScrollBar::init);
  vn::link(static_cast<vn::Scrollable&>(*widget), *bar);
  vn::testing::Harness screen{*widget, {10, 9}};
  EXPECT_EQ(widget->scroll_state(), first);
  EXPECT_EQ(bar->scrollable_length, 30);
  EXPECT_EQ(bar->position, 0);

  wheel_down(*bar);
  screen.paint();
  EXPECT_EQ(widget->scroll_state().position, 1);
  EXPECT_EQ(bar->position, 1);

  bar->size = {1, 9};
  bar->mouse_press(Mouse{{0, 8}, Mouse::Button::Left, {}});  // the bottom: past the end
  screen.paint();
  EXPECT_EQ(widget->scroll_state().position, last);
  EXPECT_EQ(bar->position, last);

  // A moved widget keeps its link.
  W moved{std::move(*widget)};
  bar->increment_position(-3);
  bar->new_position.emit(bar->position);
  EXPECT_EQ(moved.scroll_state().position, last - 3);

  bar.reset();
  vn::testing::Harness again{moved, {10, 9}};
  EXPECT_EQ(moved.scroll_state().total, 30);
}

TEST(ScrollableLinkTest, TextBox) {
  check_link(text_box(), ScrollState{0, 9, 30}, 29);
}

TEST(ScrollableLinkTest, List) {
  check_link(list(), ScrollState{0, 9, 30}, 21);
}

TEST(ScrollableLinkTest, DataTable) {
  check_link(table(), ScrollState{0, 3, 30}, 29);
}

TEST(ScrollableLinkTest, TheWidgetMayGoFirst) {
  auto box = list();
  ScrollBar bar{ScrollBar::init};
  vn::link(*box, bar);
  bar.scrollable_length = 30;
  box.reset();
  wheel_down(bar);
  EXPECT_EQ(bar.position, 1);
}

struct Loose : vn::Scrollable {
  ScrollState scroll_state() const override { return {}; }
  void scroll_to(std::int64_t /*position*/) override {}
  nerv::Identifier on_scroll(std::function<void(ScrollState)> /*f*/) override { return 0; }
};

TEST(ScrollableLinkTest, OnlyWidgetsLink) {
  Loose loose;
  ScrollBar bar{ScrollBar::init};
  EXPECT_THROW(vn::link(loose, bar), std::invalid_argument);
  EXPECT_TRUE(bar.new_position.connections.empty());
}

}  // namespace
