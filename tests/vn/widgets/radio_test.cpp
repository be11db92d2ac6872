// The radio group through the test kit: rows, keys, mouse, signal and focus look.
#include <gtest/gtest.h>

#include <vector>
#include <vn/vn.hpp>

namespace {

struct RadioTest : ::testing::Test {
  vn::RadioGroup group{{.choices = {"Red", "Green", "Blue"}}};
  vn::testing::Harness screen{group, {10, 3}};
  std::vector<int> changes;
  void SetUp() override {
    group.changed.connect([this](int index) { changes.push_back(index); });
  }
};

TEST_F(RadioTest, ShowsOneChoicePerRow) {
  EXPECT_EQ(screen.lines(), (std::vector<std::string>{"(•) Red   ", "( ) Green ", "( ) Blue  "}));
}

// Keys are among the shared selection cases.
TEST_F(RadioTest, ClicksSelect) {
  screen.click({0, 2});
  EXPECT_EQ(group.selected(), 2);
  EXPECT_TRUE(screen.cell({4, 2}).brush.traits.contains(dalk::Trait::Bold));
  EXPECT_EQ(screen.line(2), "(•) Blue  ");
  screen.click({0, 2});
  EXPECT_EQ(changes, (std::vector<int>{2}));
}

TEST_F(RadioTest, OnlyVisibleRowsAndClampedChoices) {
  screen.resize({10, 1});
  EXPECT_EQ(screen.lines(), (std::vector<std::string>{"(•) Red   "}));
  group.select(2);
  group.set_choices({"Only"});
  EXPECT_EQ(group.selected(), 0);
  group.set_choices({});
  EXPECT_EQ(group.selected(), -1);
  screen.click({0, 0});
  EXPECT_EQ(changes, (std::vector<int>{2}));
}

}  // namespace
