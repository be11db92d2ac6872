// The progress bar's cells: eighth-cell precision, clamping, the label and the percentage.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>
#include <vn/vn.hpp>

namespace {

TEST(ProgressBarTest, FillsInEighths) {
  struct Case {
    double value;
    std::string row;
  };
  for (Case const& c : std::vector<Case>{{0.0, "          "},
                                         {0.5, "█████     "},
                                         {0.55, "█████▌    "},
                                         {0.0125, "▏         "},
                                         {0.0875, "▉         "},
                                         {1.0, "██████████"},
                                         {-3.0, "          "},
                                         {7.0, "██████████"},
                                         {std::nan(""), "          "}}) {
    vn::ProgressBar bar{{.value = c.value}};
    vn::testing::Harness screen{bar, {10, 1}};
    EXPECT_EQ(screen.line(0), c.row) << c.value;
  }
}

TEST(ProgressBarTest, LabelAndPercentTakeTheirCells) {
  vn::ProgressBar bar{{.value = 0.5, .label = "CPU", .show_percent = true}};
  vn::testing::Harness screen{bar, {20, 3}};
  EXPECT_EQ(screen.line(1), "CPU ██████       50%");
  bar.set_value(1.5);
  screen.paint();
  EXPECT_EQ(bar.value(), 1.0);
  EXPECT_EQ(screen.line(1), "CPU ███████████ 100%");
  screen.resize({5, 1});
  EXPECT_EQ(screen.line(0), "CPU  ");
}

}  // namespace
