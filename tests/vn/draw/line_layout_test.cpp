#include <gtest/gtest.h>

#include "support/layout_probe.hpp"

#include <array>
#include <functional>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include <vn/vn.hpp>

namespace {

using dalk::Area;
using dalk::Point;
using vn::SizePolicy;

using Probe = vennic::test::LayoutProbe;

template <typename Layout>
std::vector<vn::Widget const*> yielded(Layout& layout) {
  std::vector<vn::Widget const*> result;
  for (vn::Widget& child : layout.get_children()) {
    result.push_back(&child);
  }
  std::vector<vn::Widget const*> const_result;
  for (vn::Widget const& child : std::as_const(layout).get_children()) {
    const_result.push_back(&child);
  }
  EXPECT_EQ(result, const_result);
  return result;
}

void lay_out(vn::Widget& layout, Area size) {
  Area const previous = layout.size;
  layout.size = size;
  layout.resize(previous);
}

// What may hold children: widgets, things pointing at widgets, tuples of either.
static_assert(vn::ChildContainer<std::vector<vn::Label>>);
static_assert(vn::ChildContainer<std::vector<std::shared_ptr<vn::Widget>>>);
static_assert(vn::ChildContainer<std::pair<vn::Label, std::reference_wrapper<vn::Widget>>>);
static_assert(vn::ChildContainer<std::tuple<>>);
static_assert(!vn::ChildContainer<std::vector<int>>);
static_assert(!vn::ChildContainer<std::tuple<vn::Label, int>>);
static_assert(!vn::ChildContainer<std::vector<vn::Label const*>>);

TEST(ColumnTest, StacksActiveChildrenTopToBottomAtFullWidth) {
  vn::Column<std::vector<Probe>> column;
  column.children.resize(3);
  column.children[0].size = {2, 2};
  lay_out(column, {6, 10});
  EXPECT_EQ(column.children[0].at, (Point{0, 0}));
  EXPECT_EQ(column.children[1].at, (Point{0, 4}));
  EXPECT_EQ(column.children[2].at, (Point{0, 7}));
  EXPECT_EQ(column.children[0].size, (Area{6, 4}));
  EXPECT_EQ(column.children[1].size, (Area{6, 3}));
  EXPECT_EQ(column.children[2].size, (Area{6, 3}));
  // Resized after the geometry is set, with the previous size.
  EXPECT_EQ(column.children[0].previous_size, (Area{2, 2}));
  EXPECT_EQ(column.children[1].at_seen, (Point{0, 4}));
  EXPECT_EQ(column.children[1].size_seen, (Area{6, 3}));
}

TEST(ColumnTest, PoliciesApplyToTheHeight) {
  vn::Column<std::vector<Probe>> column;
  column.children.emplace_back(SizePolicy::fixed(1));
  column.children.emplace_back(SizePolicy::max(2));
  column.children.emplace_back(SizePolicy::fixed(1));
  lay_out(column, {30, 8});
  EXPECT_EQ(column.children[0].size, (Area{30, 1}));
  EXPECT_EQ(column.children[1].at, (Point{0, 1}));
  EXPECT_EQ(column.children[1].size, (Area{30, 2}));
  // Space nobody takes stays empty at the bottom.
  EXPECT_EQ(column.children[2].at, (Point{0, 3}));
  EXPECT_EQ(column.children[2].size, (Area{30, 1}));
}

TEST(ColumnTest, SkipsInactiveChildren) {
  vn::Column<std::vector<Probe>> column;
  column.children.resize(3);
  column.children[1].active = false;
  column.children[1].at = {5, 5};
  column.children[1].size = {9, 9};
  lay_out(column, {4, 9});
  EXPECT_EQ(column.children[0].size, (Area{4, 5}));
  EXPECT_EQ(column.children[2].at, (Point{0, 5}));
  EXPECT_EQ(column.children[2].size, (Area{4, 4}));
  EXPECT_EQ(column.children[1].at, (Point{5, 5}));
  EXPECT_EQ(column.children[1].size, (Area{9, 9}));
  EXPECT_EQ(column.children[1].resizes, 0);
}

TEST(ColumnTest, ZeroHeightGivesEveryChildZeroHeight) {
  vn::Column<std::vector<Probe>> column;
  column.children.emplace_back(SizePolicy::fixed(3));
  column.children.emplace_back();
  lay_out(column, {7, 0});
  EXPECT_EQ(column.children[0].size, (Area{7, 0}));
  EXPECT_EQ(column.children[1].at, (Point{0, 0}));
  EXPECT_EQ(column.children[1].size, (Area{7, 0}));
}

TEST(MixedChildrenTest, ConstructorsDeduceTheContainerInEitherOrder) {
  vn::Column column{std::vector<Probe>(2), vn::FocusPolicy::Strong};
  static_assert(std::is_same_v<decltype(column), vn::Column<std::vector<Probe>>>);
  vn::Row row{vn::FocusPolicy::None, SizePolicy::fixed(3), std::vector<Probe>(1)};
  static_assert(std::is_same_v<decltype(row), vn::Row<std::vector<Probe>>>);
  EXPECT_EQ(column.focus_policy, vn::FocusPolicy::Strong);
  EXPECT_EQ(column.children.size(), 2U);
  EXPECT_EQ(row.size_policy, SizePolicy::fixed(3));
  EXPECT_EQ(row.children.size(), 1U);
}

TEST(MixedChildrenTest, TupleOfDifferentWidgetTypes) {
  vn::Row row{std::tuple{vn::Label{{.text = "name", .size_policy = SizePolicy::fixed(5)}}, Probe{},
                         vn::Label{{.text = "ok", .size_policy = SizePolicy::fixed(4)}}}};
  static_assert(std::is_same_v<decltype(row), vn::Row<std::tuple<vn::Label, Probe, vn::Label>>>);
  lay_out(row, {20, 1});
  auto& [name, probe, ok] = row.children;
  EXPECT_EQ(name.at, (Point{0, 0}));
  EXPECT_EQ(name.size, (Area{5, 1}));
  EXPECT_EQ(probe.at, (Point{5, 0}));
  EXPECT_EQ(probe.size, (Area{11, 1}));
  EXPECT_EQ(ok.at, (Point{16, 0}));
  EXPECT_EQ(ok.size, (Area{4, 1}));
  EXPECT_EQ(yielded(row), (std::vector<vn::Widget const*>{&name, &probe, &ok}));

  // Painted through the tree like any other children.
  vn::ScreenBuffer buffer{{20, 1}};
  static_cast<void>(vn::detail::paint_tree(row, vn::Canvas{buffer, {0, 0}, buffer.area}));
  std::string line;
  for (int x = 0; x < 20; ++x) {
    line += dalk::detail::u32_to_u8(buffer[{x, 0}].symbol);
  }
  EXPECT_EQ(line, "name " + std::string(11, ' ') + " ok ");
}

TEST(MixedChildrenTest, InactiveTupleElementsAreSkipped) {
  auto column = vn::make_column(Probe{}, Probe{SizePolicy::fixed(2)}, Probe{});
  std::get<0>(column.children).active = false;
  lay_out(column, {3, 6});
  auto& [first, second, third] = column.children;
  EXPECT_EQ(first.resizes, 0);
  EXPECT_EQ(second.at, (Point{0, 0}));
  EXPECT_EQ(second.size, (Area{3, 2}));
  EXPECT_EQ(third.at, (Point{0, 2}));
  EXPECT_EQ(third.size, (Area{3, 4}));
}

TEST(MixedChildrenTest, PointerContainers) {
  Probe a;
  Probe b{SizePolicy::fixed(2)};
  vn::Column<std::vector<std::unique_ptr<vn::Widget>>> owning;
  owning.children.push_back(std::make_unique<Probe>());
  owning.children.push_back(nullptr);  // an empty pointer is no child
  owning.children.push_back(std::make_unique<Probe>(SizePolicy::fixed(1)));
  lay_out(owning, {4, 5});
  EXPECT_EQ(yielded(owning),
            (std::vector<vn::Widget const*>{owning.children[0].get(), owning.children[2].get()}));
  EXPECT_EQ(owning.children[0]->size, (Area{4, 4}));
  EXPECT_EQ(owning.children[2]->at, (Point{0, 4}));

  vn::Row<std::list<std::reference_wrapper<Probe>>> referring{{std::ref(a), std::ref(b)}};
  lay_out(referring, {10, 2});
  EXPECT_EQ(a.size, (Area{8, 2}));
  EXPECT_EQ(b.at, (Point{8, 0}));
  EXPECT_EQ(yielded(referring), (std::vector<vn::Widget const*>{&a, &b}));

  vn::Row<std::array<vn::Widget*, 2>> raw{{&b, &a}};
  b.active = false;
  lay_out(raw, {6, 1});
  EXPECT_EQ(a.at, (Point{0, 0}));
  EXPECT_EQ(a.size, (Area{6, 1}));

  vn::Row<std::vector<std::optional<Probe>>> optional;
  optional.children.emplace_back();
  optional.children.emplace_back(Probe{});
  EXPECT_EQ(yielded(optional), (std::vector<vn::Widget const*>{&*optional.children[1]}));
}

TEST(MixedChildrenTest, RowInsideAColumn) {
  Probe footer{SizePolicy::fixed(1)};
  auto form = vn::make_column(
      vn::make_row(vn::Label{{.text = "Name:", .size_policy = SizePolicy::fixed(6)}}, Probe{}),
      vn::Label{{.text = "", .size_policy = SizePolicy::flex(1.0F)}}, std::ref(footer));
  std::get<0>(form.children).size_policy = SizePolicy::fixed(1);
  lay_out(form, {20, 5});
  auto& row = std::get<0>(form.children);
  auto& [label, field] = row.children;
  EXPECT_EQ(row.at, (Point{0, 0}));
  EXPECT_EQ(row.size, (Area{20, 1}));
  EXPECT_EQ(label.size, (Area{6, 1}));
  EXPECT_EQ(field.at, (Point{6, 0}));
  EXPECT_EQ(field.size, (Area{14, 1}));
  EXPECT_EQ(std::get<1>(form.children).size, (Area{20, 3}));
  EXPECT_EQ(footer.at, (Point{0, 4}));

  // The whole tree, in pre-order.
  std::vector<vn::Widget const*> visited;
  vn::for_each_depth_first(form, [&](vn::Widget& w) { visited.push_back(&w); });
  EXPECT_EQ(visited, (std::vector<vn::Widget const*>{&form, &row, &label, &field,
                                                     &std::get<1>(form.children), &footer}));
}

TEST(MixedChildrenTest, LayoutsMoveWithTheirChildren) {
  auto row = vn::make_row(Probe{}, Probe{});
  vn::LifetimeView<Probe> view{std::get<1>(row.children)};
  auto moved = std::move(row);
  lay_out(moved, {4, 1});
  ASSERT_TRUE(view.valid());
  EXPECT_EQ(&view.get(), &std::get<1>(moved.children));
  EXPECT_EQ(view.get().at, (Point{2, 0}));
}

}  // namespace
