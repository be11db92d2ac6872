// The popup menu through the test kit: its look, choosing by keys and by mouse, and closing.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>
#include <vn/vn.hpp>

namespace {

struct MenuTest : ::testing::Test {
  vn::CheckBox below{vn::CheckBox::init};
  std::vector<std::string> log;
  vn::Menu menu{{.items = {{"Open", [this] { log.push_back("open"); }},
                           {"Save", [this] { log.push_back("save"); }},
                           {"Quit", {}}}}};
  vn::testing::Harness screen{below, {12, 6}};

  void SetUp() override {
    menu.chosen.connect([this](int index) { log.push_back(std::to_string(index)); });
    screen.click({0, 0});
    menu.open_at({2, 0});
    screen.paint();
  }
};

TEST_F(MenuTest, PaintsItemsWithTheFirstHighlighted) {
  EXPECT_EQ(screen.lines(), (std::vector<std::string>{
                                "[X┌──────┐  ",
                                "  │ Open │  ",
                                "  │ Save │  ",
                                "  │ Quit │  ",
                                "  └──────┘  ",
                                "            ",
                            }));
  EXPECT_TRUE(screen.cell({4, 1}).brush.traits.contains(dalk::Trait::Inverse));
  EXPECT_FALSE(screen.cell({4, 2}).brush.traits.contains(dalk::Trait::Inverse));
}

TEST_F(MenuTest, KeysMoveTheHighlightAndEnterChooses) {
  struct Case {
    std::vector<dalk::Key> keys;
    std::vector<std::string> log;
  };
  using K = dalk::Key;
  for (Case const& c : std::vector<Case>{{{K::Enter}, {"open", "0"}},
                                         {{K::ArrowDown, K::Enter}, {"save", "1"}},
                                         {{K::ArrowDown, K::KeypadEnter}, {"save", "1"}},
                                         {{K::PageDown, K::Enter}, {"2"}},
                                         {{K::ArrowUp, K::Enter}, {"2"}},
                                         {{K::End, K::ArrowDown, K::Enter}, {"open", "0"}},
                                         {{K::Escape}, {}}}) {
    log.clear();
    menu.open_at({2, 0});
    for (K const key : c.keys) {
      screen.key_press(key);
    }
    EXPECT_EQ(log, c.log);
    EXPECT_FALSE(menu.is_open());
    EXPECT_EQ(vn::Focus::get(), &below);
  }
}

TEST_F(MenuTest, ClickChoosesAndClickOutsideCloses) {
  screen.move_to({5, 2});
  EXPECT_EQ(menu.highlighted(), 1);
  screen.click({5, 3});
  EXPECT_EQ(log, (std::vector<std::string>{"2"}));
  EXPECT_FALSE(menu.is_open());
  menu.open_at({2, 0});
  screen.click({0, 5});
  EXPECT_FALSE(menu.is_open());
  EXPECT_TRUE(log.size() == 1);
  // Covered cells are out of the mouse's reach while it is open.
  menu.open_at({0, 0});
  screen.click({0, 0});
  EXPECT_EQ(below.get_state(), vn::CheckBox::State::Checked);
}

TEST_F(MenuTest, StaysOnTheScreenNearItsEdge) {
  menu.open_at({10, 4});
  screen.paint();
  EXPECT_EQ(screen.find("┌──────┐"), (dalk::Point{4, 1}));
}

TEST(MenuLifetimeTest, ActionMayDestroyTheMenu) {
  vn::CheckBox below{vn::CheckBox::init};
  vn::testing::Harness screen{below, {12, 6}};
  for (bool const by_click : {false, true}) {
    auto menu = std::make_unique<vn::Menu>(vn::Menu::init);
    bool ran = false;
    menu->items = {{"Close", [&] {
                      ran = true;
                      menu.reset();
                    }}};
    menu->chosen.connect([](int) { ADD_FAILURE() << "chosen after the menu was destroyed"; });
    menu->activated.connect([](std::size_t) { ADD_FAILURE() << "activated after it was gone"; });
    menu->open_at({0, 0});
    by_click ? screen.click({2, 1}) : screen.key_press(dalk::Key::Enter);
    EXPECT_TRUE(ran);
    EXPECT_EQ(menu, nullptr);
  }
}

}  // namespace
