// Tabs through the test kit: the bar, switching by click and keys, and that hidden pages are
// neither painted nor reached by Tab.
#include <gtest/gtest.h>

#include <vector>
#include <vn/vn.hpp>

namespace {

struct TabsTest : ::testing::Test {
  vn::CheckBox one{vn::CheckBox::init};
  vn::CheckBox two{vn::CheckBox::Options{.state = vn::CheckBox::State::Checked}};
  vn::Tabs tabs{vn::Tabs::Options{}};
  std::vector<int> changes;
  std::optional<vn::testing::Harness> screen;

  void SetUp() override {
    tabs.add("One", one);
    tabs.add("Two", two);
    tabs.changed.connect([this](int index) { changes.push_back(index); });
    screen.emplace(tabs, dalk::Area{12, 2});
  }
};

TEST_F(TabsTest, ShowsTheBarAndTheSelectedPage) {
  EXPECT_EQ(screen->lines(), (std::vector<std::string>{" One │ Two  ", "[ ]         "}));
  EXPECT_TRUE(screen->cell({1, 0}).brush.traits.contains(dalk::Trait::Inverse));
  EXPECT_FALSE(screen->cell({7, 0}).brush.traits.contains(dalk::Trait::Inverse));
  EXPECT_FALSE(two.active);
}

// Keys on the focused bar are among the shared selection cases.
TEST_F(TabsTest, ClickOnATitleSelectsItsPage) {
  screen->click({7, 0});
  EXPECT_EQ(tabs.selected(), 1);
  EXPECT_EQ(screen->line(1), "[X]         ");
  EXPECT_TRUE(screen->cell({7, 0}).brush.traits.contains(dalk::Trait::Bold));  // focused
  screen->click({5, 0});                                                       // the separator
  screen->click({11, 0});
  EXPECT_EQ(changes, (std::vector<int>{1}));
}

TEST_F(TabsTest, TabSkipsHiddenPagesAndSwitchingAwayMovesFocusToTheBar) {
  screen->click({0, 1});
  EXPECT_EQ(vn::Focus::get(), &one);
  screen->key_press(dalk::Key::Tab);
  EXPECT_EQ(vn::Focus::get(), &tabs);
  screen->key_press(dalk::Key::BackTab);
  EXPECT_EQ(vn::Focus::get(), &one);
  tabs.select(1);
  EXPECT_EQ(vn::Focus::get(), &tabs);
  screen->key_press(dalk::Key::Tab);
  EXPECT_EQ(vn::Focus::get(), &two);
}

TEST_F(TabsTest, DestroyedPageDropsOut) {
  {
    vn::Label gone{vn::Label::init};
    tabs.add("Gone", gone);
  }
  screen->paint();
  EXPECT_EQ(tabs.count(), 2);
  tabs.select(5);
  EXPECT_EQ(tabs.selected(), 0);
}

}  // namespace
