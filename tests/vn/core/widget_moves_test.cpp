// Every widget of the library moves (so it can live in containers and layouts); copies would
// duplicate lifetime handles and are not offered.
#include <gtest/gtest.h>

#include <type_traits>
#include <vn/vn.hpp>

namespace {

template <typename... W>
constexpr bool all_move_only = ((std::is_move_constructible_v<W> && std::is_move_assignable_v<W> &&
                                 !std::is_copy_constructible_v<W>)&&...);

static_assert(all_move_only<vn::Widget, vn::Label, vn::BasicButton, vn::Button, vn::CheckBox,
                            vn::LineEdit, vn::TextBox, vn::ScrollBar, vn::DataTable, vn::Divider,
                            vn::Row<std::vector<vn::Label>>>);

}  // namespace

TEST(WidgetMovesTest, WidgetsLiveInVectors) {
  std::vector<vn::CheckBox> boxes;
  boxes.emplace_back(vn::CheckBox::Options{});
  boxes.emplace_back(vn::CheckBox::Options{});
  vn::LifetimeView<vn::CheckBox> first{boxes.front()};
  boxes.reserve(100);  // reallocation moves the widgets; views follow them
  ASSERT_TRUE(first.valid());
  EXPECT_EQ(&first.get(), &boxes.front());
}
