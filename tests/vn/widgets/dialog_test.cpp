// The dialog through the test kit: how it paints above the tree, and that while it is open
// neither keys nor clicks reach what lies below it.
#include <gtest/gtest.h>

#include <vector>
#include <vn/vn.hpp>

namespace {

// Children at fixed places.
class Panel : public vn::Widget {
 public:
  explicit Panel(std::vector<std::pair<vn::Widget*, dalk::Point>> placed)
      : Widget{vn::FocusPolicy::None, vn::SizePolicy::flex()}, children{std::move(placed)} {
    for (auto& [child, at] : children) {
      child->at = at;
      child->size = {4, 1};
    }
  }
  lum::Generator<vn::Widget&> get_children() override {
    for (auto& [child, at] : children) {
      co_yield *child;
    }
  }
  using vn::Widget::get_children;
  std::vector<std::pair<vn::Widget*, dalk::Point>> children;
};

struct DialogTest : ::testing::Test {
  vn::CheckBox below{vn::CheckBox::init};
  Panel tree{{{&below, {0, 0}}}};
  vn::CheckBox first{vn::CheckBox::init};
  vn::CheckBox second{vn::CheckBox::init};
  Panel content{{{&first, {0, 0}}, {&second, {4, 0}}}};
  vn::Dialog dialog{{.title = "Title", .size = {10, 4}}, content};
  vn::testing::Harness screen{tree, {20, 6}};
  int closings = 0;

  void SetUp() override {
    dialog.closed.connect([this] { ++closings; });
    vn::Focus::set(below);
    dialog.open();
    screen.paint();
  }
};

TEST_F(DialogTest, PaintsCentredWithTitleAboveTheTree) {
  EXPECT_EQ(screen.lines(), (std::vector<std::string>{
                                "[ ]                 ",
                                "     ┌─Title──┐     ",
                                "     │[ ] [ ] │     ",
                                "     │        │     ",
                                "     └────────┘     ",
                                "                    ",
                            }));
}

TEST_F(DialogTest, PlacedWhereTheApplicationSays) {
  dialog.position = dalk::Point{0, 2};
  screen.paint();
  EXPECT_EQ(screen.find("┌─Title"), (dalk::Point{0, 2}));
  dialog.position = dalk::Point{15, 4};  // kept on the screen
  screen.paint();
  EXPECT_EQ(screen.find("┌─Title"), (dalk::Point{10, 2}));
}

TEST_F(DialogTest, KeysAndClicksDoNotReachWhatIsBelow) {
  EXPECT_EQ(vn::Focus::get(), &first);
  screen.key_press(dalk::Key::Enter);
  screen.click({0, 0});
  EXPECT_EQ(first.get_state(), vn::CheckBox::State::Checked);
  EXPECT_EQ(below.get_state(), vn::CheckBox::State::Unchecked);
  screen.click({10, 2});
  EXPECT_EQ(second.get_state(), vn::CheckBox::State::Checked);
}

TEST_F(DialogTest, TabAndShiftTabStayInside) {
  struct Step {
    dalk::Key key;
    vn::Widget* focused;
  };
  for (Step const step : {Step{dalk::Key::Tab, &second}, Step{dalk::Key::Tab, &first},
                          Step{dalk::Key::BackTab, &second}, Step{dalk::Key::BackTab, &first}}) {
    screen.key_press(step.key);
    EXPECT_EQ(vn::Focus::get(), step.focused);
  }
}

TEST_F(DialogTest, EscapeClosesAndGivesFocusBack) {
  screen.key_press(dalk::Key::Escape);
  EXPECT_FALSE(dialog.is_open());
  EXPECT_EQ(closings, 1);
  EXPECT_EQ(vn::Focus::get(), &below);
  EXPECT_EQ(screen.line(2), "                    ");
  screen.click({0, 0});
  EXPECT_EQ(below.get_state(), vn::CheckBox::State::Checked);
  dialog.close();
  EXPECT_EQ(closings, 1);
}

TEST_F(DialogTest, EscapeCanBeLeftToTheContent) {
  dialog.close_on_escape = false;
  screen.key_press(dalk::Key::Escape);
  EXPECT_TRUE(dialog.is_open());
}

TEST_F(DialogTest, DestroyedContentAndDialogAreHarmless) {
  {
    vn::Label gone{vn::Label::init};
    vn::Dialog other{{.title = "x", .size = {6, 3}}, gone};
    other.open();
    screen.paint();
  }
  EXPECT_EQ(vn::Focus::get(), &first);
  screen.paint();
  EXPECT_EQ(screen.line(1), "     ┌─Title──┐     ");
  screen.key_press(dalk::Key::Enter);
  EXPECT_EQ(first.get_state(), vn::CheckBox::State::Checked);
}

}  // namespace
