// The tree dispatcher's own rules beyond the plain dispatch functions: Tab passes over widgets
// a paint does not reach, and hover ends when the pointer leaves a child for its bare parent.
#include <gtest/gtest.h>

#include <string>
#include <vector>
#include <vn/vn.hpp>

namespace {

using Log = std::vector<std::string>;

class Node : public vn::Widget {
 public:
  Node(std::string name, Log& log, vn::FocusPolicy policy = vn::FocusPolicy::None)
      : Widget{policy, vn::SizePolicy::flex()}, name{std::move(name)}, log{&log} {}
  void mouse_enter() override { log->push_back(name + " enter"); }
  void mouse_leave() override { log->push_back(name + " leave"); }
  lum::Generator<vn::Widget&> get_children() override {
    for (Node* child : children) {
      co_yield *child;
    }
  }
  using vn::Widget::get_children;
  std::string name;
  Log* log;
  std::vector<Node*> children;
};

TEST(TreeDispatchTest, TabAndShiftTabPassOverUnpaintedWidgets) {
  Log log;
  using vn::FocusPolicy;
  Node head{"head", log}, a{"a", log, FocusPolicy::Tab}, hidden{"hidden", log},
      h1{"h1", log, FocusPolicy::Tab}, off{"off", log, FocusPolicy::Tab},
      c{"c", log, FocusPolicy::Tab};
  head.children = {&a, &hidden, &off, &c};
  hidden.children = {&h1};
  hidden.active = false;
  off.active = false;
  vn::testing::Harness screen{head, {10, 2}};
  struct Step {
    dalk::Key key;
    vn::Widget* focused;
  };
  vn::Focus::set(a);
  for (Step const step : {Step{dalk::Key::Tab, &c}, Step{dalk::Key::Tab, &a},
                          Step{dalk::Key::BackTab, &c}, Step{dalk::Key::BackTab, &a}}) {
    screen.key_press(step.key);
    EXPECT_EQ(vn::Focus::get(), step.focused);
  }
  // From a hidden widget focus comes back into view.
  vn::Focus::set(h1);
  screen.key_press(dalk::Key::Tab);
  EXPECT_EQ(vn::Focus::get(), &a);
}

TEST(TreeDispatchTest, PointerLeavingAChildForTheBareParentLeavesIt) {
  Log log;
  Node head{"head", log}, panel{"panel", log}, button{"button", log};
  head.children = {&panel};
  panel.children = {&button};
  panel.at = {2, 0};
  panel.size = {4, 1};
  button.size = {2, 1};
  vn::testing::Harness screen{head, {10, 2}};
  screen.move_to({2, 0});
  screen.move_to({8, 1});
  EXPECT_EQ(log, (Log{"panel enter", "button enter", "panel leave", "button leave"}));
}

}  // namespace
