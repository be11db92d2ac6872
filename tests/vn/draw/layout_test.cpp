#include <gtest/gtest.h>

#include "support/layout_probe.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include <vn/vn.hpp>

namespace {

using dalk::Area;
using dalk::Point;
using vn::SizePolicy;
using Lengths = std::vector<int>;

std::vector<vn::Widget> widgets_with(std::vector<SizePolicy> const& policies) {
  std::vector<vn::Widget> widgets;
  for (SizePolicy policy : policies) {
    widgets.emplace_back(vn::FocusPolicy::None, policy);
  }
  return widgets;
}

Lengths distribute(std::vector<SizePolicy> const& policies, int total) {
  std::vector<vn::Widget> widgets = widgets_with(policies);
  return vn::detail::distribute_length(widgets, total);
}

SizePolicy const flex = SizePolicy::flex(1.0F);

TEST(DistributeLengthTest, EqualFlexibleChildren) {
  EXPECT_EQ(distribute({flex, flex, flex}, 10), (Lengths{4, 3, 3}));
  EXPECT_EQ(distribute({flex, flex, flex, flex}, 10), (Lengths{3, 3, 2, 2}));
  EXPECT_EQ(distribute({flex, flex, flex}, 100), (Lengths{34, 33, 33}));
  EXPECT_EQ(distribute(std::vector<SizePolicy>(7, flex), 80),
            (Lengths{12, 12, 12, 11, 11, 11, 11}));
}

TEST(DistributeLengthTest, MixedPolicies) {
  EXPECT_EQ(distribute({SizePolicy::fixed(2), flex, SizePolicy::flex(2.0F)}, 11),
            (Lengths{2, 3, 6}));
  EXPECT_EQ(distribute({SizePolicy::bounded(0, 2), flex}, 10), (Lengths{2, 8}));
  EXPECT_EQ(distribute({SizePolicy::min(3), flex}, 10), (Lengths{7, 3}));
  EXPECT_EQ(distribute({flex, SizePolicy::flex(0.0F)}, 7), (Lengths{7, 0}));
  EXPECT_EQ(distribute({SizePolicy{0, 10, 0.0F}, flex}, 5), (Lengths{0, 5}));
}

TEST(DistributeLengthTest, MaximumsCanLeaveSpaceEmpty) {
  EXPECT_EQ(distribute({SizePolicy::max(3), SizePolicy::max(3)}, 10), (Lengths{3, 3}));
}

TEST(DistributeLengthTest, MinimumsThatDoNotFitShrinkFirstChildrenFirst) {
  std::vector<SizePolicy> const fives(3, SizePolicy::fixed(5));
  EXPECT_EQ(distribute(fives, 15), (Lengths{5, 5, 5}));
  EXPECT_EQ(distribute(fives, 12), (Lengths{4, 4, 4}));
  EXPECT_EQ(distribute({SizePolicy::fixed(10), SizePolicy::fixed(10)}, 15), (Lengths{7, 8}));
  EXPECT_EQ(distribute({SizePolicy::fixed(1), SizePolicy::fixed(6)}, 3), (Lengths{0, 3}));
}

TEST(DistributeLengthTest, HugeMinimumsShrinkWithoutCellByCellWork) {
  SizePolicy const huge = SizePolicy::min(2000000000);
  EXPECT_EQ(distribute({huge, huge}, 10), (Lengths{5, 5}));
  EXPECT_EQ(distribute({huge, huge, SizePolicy::fixed(3)}, 11), (Lengths{5, 6, 0}));
}

TEST(DistributeLengthTest, ZeroTotalOrNoActiveChildren) {
  EXPECT_EQ(distribute({SizePolicy::fixed(4), flex, SizePolicy::min(3)}, 0), (Lengths{0, 0, 0}));
  EXPECT_EQ(distribute({}, 10), Lengths{});
  std::vector<vn::Widget> widgets = widgets_with({flex, flex});
  for (vn::Widget& widget : widgets) {
    widget.active = false;
  }
  EXPECT_EQ(vn::detail::distribute_length(widgets, 10), Lengths{});
}

TEST(DistributeLengthTest, InactiveChildrenGetNoEntry) {
  std::vector<vn::Widget> widgets = widgets_with({flex, SizePolicy::fixed(5), flex});
  widgets[1].active = false;
  EXPECT_EQ(vn::detail::distribute_length(widgets, 9), (Lengths{5, 4}));
}

// The one-cell-at-a-time procedure, written out literally, as a reference for the faster
// whole-pass steps of the library's version.
Lengths reference_distribution(std::vector<SizePolicy> const& policies, int total) {
  std::size_t const count = policies.size();
  if (total == 0) {
    return Lengths(count, 0);
  }
  std::vector<float> lengths(count);
  Lengths result(count);
  for (std::size_t i = 0; i < count; ++i) {
    lengths[i] = static_cast<float>(policies[i].minimum);
    result[i] = policies[i].minimum;
  }
  auto const sum = [&] {
    std::int64_t s = 0;
    for (int r : result) {
      s += r;
    }
    return s;
  };
  if (sum() < total) {
    float remaining = static_cast<float>(total - sum());
    while (remaining > 0.0F && count > 0) {
      float flexibility = 0.0F;
      for (std::size_t i = 0; i < count; ++i) {
        if (lengths[i] < static_cast<float>(policies[i].maximum)) {
          flexibility += policies[i].flexibility;
        }
      }
      if (flexibility == 0.0F) {
        break;
      }
      float grown = 0.0F;
      for (std::size_t i = 0; i < count; ++i) {
        if (lengths[i] < static_cast<float>(policies[i].maximum)) {
          float const share = policies[i].flexibility / flexibility * remaining;
          float const growth =
              std::min(share, static_cast<float>(policies[i].maximum) - lengths[i]);
          lengths[i] += growth;
          grown += growth;
        }
      }
      remaining -= grown;
      if (grown == 0.0F) {
        break;
      }
    }
    for (std::size_t i = 0; i < count; ++i) {
      result[i] = static_cast<int>(lengths[i]);
    }
    std::int64_t leftover = total - sum();
    while (leftover > 0) {
      bool gave = false;
      for (std::size_t i = 0; i < count && leftover > 0; ++i) {
        if (result[i] < policies[i].maximum) {
          ++result[i];
          --leftover;
          gave = true;
        }
      }
      if (!gave) {
        break;
      }
    }
  } else {
    while (sum() > total) {
      for (std::size_t i = 0; i < count && sum() > total; ++i) {
        if (result[i] > 0) {
          --result[i];
        }
      }
    }
  }
  return result;
}

TEST(DistributeLengthTest, MatchesTheCellByCellProcedure) {
  std::mt19937 random{12345};
  auto const pick = [&](int low, int high) {
    return std::uniform_int_distribution<int>{low, high}(random);
  };
  float const flexibilities[] = {0.0F, 0.5F, 1.0F, 1.0F, 2.0F, 3.0F};
  for (int round = 0; round < 3000; ++round) {
    std::vector<SizePolicy> policies(static_cast<std::size_t>(pick(0, 7)));
    for (SizePolicy& policy : policies) {
      policy.minimum = pick(0, 20);
      policy.maximum =
          pick(0, 3) == 0 ? std::numeric_limits<std::int32_t>::max() : policy.minimum + pick(0, 30);
      policy.flexibility = flexibilities[pick(0, 5)];
    }
    int const total = pick(0, 150);
    ASSERT_EQ(distribute(policies, total), reference_distribution(policies, total))
        << "round " << round << ", total " << total;
  }
}

TEST(DistributeLengthTest, TakesTheChildrenGenerator) {
  vn::Row<std::vector<vn::Widget>> row{widgets_with({flex, flex, flex})};
  EXPECT_EQ(vn::detail::distribute_length(row.get_children(), 10), (Lengths{4, 3, 3}));
}

using Probe = vennic::test::LayoutProbe;

TEST(RowTest, PlacesActiveChildrenEdgeToEdge) {
  vn::Row<std::vector<Probe>> row;
  row.children.resize(3);
  row.children[0].size = {1, 1};
  row.size = {10, 2};
  row.resize({0, 0});
  EXPECT_EQ(row.children[0].at, (Point{0, 0}));
  EXPECT_EQ(row.children[1].at, (Point{4, 0}));
  EXPECT_EQ(row.children[2].at, (Point{7, 0}));
  EXPECT_EQ(row.children[0].size, (Area{4, 2}));
  EXPECT_EQ(row.children[2].size, (Area{3, 2}));
  // Each child is resized after its geometry is set, with the size it had before.
  EXPECT_EQ(row.children[0].previous_size, (Area{1, 1}));
  EXPECT_EQ(row.children[0].size_seen, (Area{4, 2}));
  EXPECT_EQ(row.children[1].at_seen, (Point{4, 0}));
  EXPECT_EQ(row.children[1].previous_size, (Area{0, 0}));
}

TEST(RowTest, SkipsInactiveChildren) {
  vn::Row<std::vector<Probe>> row;
  row.children.resize(3);
  row.children[1].active = false;
  row.children[1].at = {5, 5};
  row.children[1].size = {9, 9};
  row.size = {9, 1};
  row.resize({0, 0});
  EXPECT_EQ(row.children[0].at, (Point{0, 0}));
  EXPECT_EQ(row.children[0].size, (Area{5, 1}));
  EXPECT_EQ(row.children[2].at, (Point{5, 0}));
  EXPECT_EQ(row.children[2].size, (Area{4, 1}));
  EXPECT_EQ(row.children[1].at, (Point{5, 5}));
  EXPECT_EQ(row.children[1].size, (Area{9, 9}));
  EXPECT_EQ(row.children[1].resizes, 0);
}

TEST(RowTest, SpaceTheChildrenDoNotTakeStaysAtTheRight) {
  vn::Row<std::vector<Probe>> row;
  row.children.emplace_back(SizePolicy::max(3));
  row.children.emplace_back(SizePolicy::fixed(2));
  row.size = {10, 1};
  row.resize({0, 0});
  EXPECT_EQ(row.children[1].at, (Point{3, 0}));
  EXPECT_EQ(row.children[1].size, (Area{2, 1}));
}

TEST(RowTest, EmptyRowLaysOutNothing) {
  vn::Row<std::vector<Probe>> row;
  row.size = {10, 1};
  row.resize({0, 0});
  EXPECT_TRUE(row.children.empty());
}

TEST(RowTest, YieldsEveryElementInOrder) {
  vn::Row<std::vector<Probe>> row;
  row.children.resize(3);
  row.children[1].active = false;
  std::vector<vn::Widget const*> yielded;
  for (vn::Widget& child : row.get_children()) {
    yielded.push_back(&child);
  }
  vn::Row<std::vector<Probe>> const& const_row = row;
  std::vector<vn::Widget const*> const_yielded;
  for (vn::Widget const& child : const_row.get_children()) {
    const_yielded.push_back(&child);
  }
  std::vector<vn::Widget const*> const expected{&row.children[0], &row.children[1],
                                                &row.children[2]};
  EXPECT_EQ(yielded, expected);
  EXPECT_EQ(const_yielded, expected);
}

TEST(RowTest, LabelRowFromTheTreeWalk) {
  vn::Row<std::vector<vn::Label>> row{vn::FocusPolicy::None, SizePolicy::flex(1.0F)};
  row.children.emplace_back(vn::Label::Options{.text = "one"});
  row.children.emplace_back(vn::Label::Options{.text = "two"});
  row.size = {7, 1};
  row.resize({0, 0});
  EXPECT_EQ(row.children[1].at, (Point{4, 0}));
  EXPECT_EQ(row.children[1].size, (Area{3, 1}));
  int visited = 0;
  vn::for_each_depth_first(row, [&](vn::Widget&) { ++visited; });
  EXPECT_EQ(visited, 3);
}

}  // namespace
