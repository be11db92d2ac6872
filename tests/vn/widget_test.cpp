#include <gtest/gtest.h>

#include <vn/vn.hpp>

TEST(WidgetTest, FreshWidgetDefaults) {
  vn::Widget w{vn::FocusPolicy::None, vn::SizePolicy::flex(1.0F)};
  EXPECT_TRUE(w.active);
  EXPECT_EQ(w.size, (vn::Area{0, 0}));
  EXPECT_FALSE(w.cursor.has_value());
  EXPECT_TRUE(vn::LifetimeView<vn::Widget>{w}.valid());
}
