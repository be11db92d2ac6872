#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <vn/vn.hpp>

namespace {

vn::Widget make_widget() {
  return vn::Widget{vn::FocusPolicy::None, vn::SizePolicy::flex(1.0F)};
}

// A widget with a name and children held by pointer, enough to build small trees.
class Node : public vn::Widget {
 public:
  explicit Node(std::string node_name)
      : Widget{vn::FocusPolicy::Tab, vn::SizePolicy::fixed(1)}, name{std::move(node_name)} {}

  using Widget::get_children;
  lum::Generator<Widget&> get_children() override {
    for (Node* child : children) {
      co_yield *child;
    }
  }

  std::string name;
  std::vector<Node*> children;
};

std::string name_of(vn::Widget const& widget) {
  return static_cast<Node const&>(widget).name;
}

// head -> (A -> (A1, A2), B)
struct Tree {
  Tree() {
    head.children = {&a, &b};
    a.children = {&a1, &a2};
  }
  Node head{"head"};
  Node a{"A"};
  Node a1{"A1"};
  Node a2{"A2"};
  Node b{"B"};
};

}  // namespace

TEST(WidgetTest, FreshWidgetDefaults) {
  vn::Widget w = make_widget();
  EXPECT_TRUE(w.active);
  EXPECT_EQ(w.at, (vn::Point{0, 0}));
  EXPECT_EQ(w.size, (vn::Area{0, 0}));
  EXPECT_FALSE(w.cursor.has_value());
  EXPECT_TRUE(vn::LifetimeView<vn::Widget>{w}.valid());
  EXPECT_FALSE(vn::LifetimeView<vn::Widget>{}.valid());
}

TEST(WidgetTest, MoveConstructionRepointsViews) {
  vn::Widget a = make_widget();
  a.at = {3, 4};
  a.size = {5, 6};
  a.active = false;
  a.cursor = vn::Point{1, 1};
  vn::LifetimeView<vn::Widget> view{a};

  vn::Widget c{std::move(a)};
  ASSERT_TRUE(view.valid());
  EXPECT_EQ(&view.get(), &c);
  EXPECT_EQ(a.lifetime, nullptr);  // NOLINT(bugprone-use-after-move): the contract of a move
  EXPECT_EQ(c.at, (vn::Point{3, 4}));
  EXPECT_EQ(c.size, (vn::Area{5, 6}));
  EXPECT_FALSE(c.active);
  EXPECT_EQ(c.cursor, (vn::Point{1, 1}));
}

TEST(WidgetTest, MoveAssignmentExpiresTargetViewsAndRepointsSource) {
  vn::Widget a = make_widget();
  vn::Widget b = make_widget();
  a.size = {7, 2};
  vn::LifetimeView<vn::Widget> view_of_a{a};
  vn::LifetimeView<vn::Widget> view_of_b{b};

  b = std::move(a);
  EXPECT_FALSE(view_of_b.valid());
  ASSERT_TRUE(view_of_a.valid());
  EXPECT_EQ(&view_of_a.get(), &b);
  EXPECT_EQ(b.size, (vn::Area{7, 2}));
  // A view made afterwards sees the same identity.
  EXPECT_EQ(&vn::LifetimeView<vn::Widget>{b}.get(), &b);
}

TEST(WidgetTest, DestructionExpiresEveryView) {
  vn::LifetimeView<vn::Widget> first;
  vn::LifetimeView<vn::Widget> second;
  {
    vn::Widget w = make_widget();
    first = vn::LifetimeView<vn::Widget>{w};
    second = vn::LifetimeView<vn::Widget>{w};
    EXPECT_TRUE(first.valid());
  }
  EXPECT_FALSE(first.valid());
  EXPECT_FALSE(second.valid());
}

TEST(WidgetTest, DerivedViewReturnsDerivedObject) {
  Node n{"n"};
  vn::LifetimeView<Node> view{n};
  Node moved{std::move(n)};
  EXPECT_EQ(&view.get(), &moved);
  EXPECT_EQ(view.get().name, "n");
}

TEST(WidgetTreeTest, LoneWidgetIsVisitedOnce) {
  vn::Widget w = make_widget();
  int calls = 0;
  vn::for_each_depth_first(w, [&](vn::Widget& visited) {
    EXPECT_EQ(&visited, &w);
    ++calls;
  });
  EXPECT_EQ(calls, 1);
  EXPECT_THROW(vn::for_each_depth_first(w, {}), std::bad_function_call);
}

TEST(WidgetTreeTest, PreOrderIncludesInactiveWidgets) {
  Tree tree;
  tree.a.active = false;
  std::vector<std::string> order;
  vn::for_each_depth_first(tree.head, [&](vn::Widget& w) { order.push_back(name_of(w)); });
  EXPECT_EQ(order, (std::vector<std::string>{"head", "A", "A1", "A2", "B"}));
}

TEST(WidgetTreeTest, FindIfStopsCallingPredicateAtFirstMatch) {
  Tree tree;
  std::vector<std::string> asked;
  vn::Widget* found = vn::find_if_depth_first(tree.head, [&](vn::Widget const& w) {
    asked.push_back(name_of(w));
    return name_of(w) == "A1" || name_of(w) == "B";
  });
  EXPECT_EQ(found, &tree.a1);
  EXPECT_EQ(asked, (std::vector<std::string>{"head", "A", "A1"}));

  EXPECT_EQ(vn::find_if_depth_first(tree.head, [](vn::Widget const&) { return false; }), nullptr);
}

TEST(WidgetTreeTest, ActiveFilterSkipsInactiveChildren) {
#if defined(__clang__) && __clang_major__ < 15
  GTEST_SKIP() << "clang 14 cannot instantiate std::views::filter of libstdc++ 12";
#else
  Tree tree;
  tree.a.active = false;
  std::vector<std::string> active;
  for (vn::Widget& child : tree.head.get_children() | std::views::filter(vn::filter::is_active)) {
    active.push_back(name_of(child));
  }
  EXPECT_EQ(active, (std::vector<std::string>{"B"}));
  static_assert(vn::InputRangeOf<decltype(tree.head.get_children() |
                                          std::views::filter(vn::filter::is_active)),
                                 vn::Widget>);
  static_assert(vn::WidgetDerived<Node>);
  static_assert(!vn::WidgetDerived<int>);
#endif
}

TEST(SizePolicyTest, Factories) {
  EXPECT_EQ(vn::SizePolicy::fixed(3), (vn::SizePolicy{3, 3, 0.0F}));
  EXPECT_EQ(vn::SizePolicy::flex(2.5F), (vn::SizePolicy{0, 2147483647, 2.5F}));
  EXPECT_EQ(vn::SizePolicy::bounded(5, 2), (vn::SizePolicy{5, 2, 1.0F}));
  EXPECT_EQ(vn::SizePolicy::min(4), (vn::SizePolicy{4, 2147483647, 1.0F}));
  EXPECT_EQ(vn::SizePolicy::max(4), (vn::SizePolicy{0, 4, 1.0F}));
}
