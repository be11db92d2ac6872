#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <vn/vn.hpp>

namespace {

using dalk::Area;
using dalk::Point;
using vn::testing::Harness;
using Lines = std::vector<std::string>;

// Fills its whole canvas with one code point and records its resizes.
struct Filler : vn::Widget {
  explicit Filler(char32_t symbol = U'x')
      : Widget{vn::FocusPolicy::None, vn::SizePolicy::flex(1.0F)}, symbol{symbol} {}
  void resize(Area previous) override { previous_sizes.push_back(previous); }
  void paint(vn::Canvas canvas) override {
    vn::put(canvas, {0, 0}, vn::shape::Fill{{symbol, {}}, canvas.size});
  }
  char32_t symbol;
  std::vector<Area> previous_sizes;
};

TEST(BorderedTest, ChildSitsInsideTheFrameAndTheTitleInTheTopWall) {
  vn::Bordered box{vn::Border::light("Files"), Filler{}};
  Harness screen{box, {10, 4}};
  EXPECT_EQ(box.child.at, (Point{1, 1}));
  EXPECT_EQ(box.child.size, (Area{8, 2}));
  EXPECT_EQ(box.child.previous_sizes, (std::vector<Area>{{0, 0}}));
  EXPECT_EQ(screen.lines(), (Lines{
                                "┌─Files──┐",
                                "│xxxxxxxx│",
                                "│xxxxxxxx│",
                                "└────────┘",
                            }));
  screen.resize({7, 3});
  EXPECT_EQ(box.child.size, (Area{5, 1}));
  EXPECT_EQ(box.child.previous_sizes.back(), (Area{8, 2}));
}

TEST(BorderedTest, TitleIsCutToLeaveAWallCellBeforeTheCorner) {
  vn::Bordered box{vn::Border::round("Long title"), Filler{}};
  Harness screen{box, {8, 3}};
  EXPECT_EQ(screen.line(0), "╭─Long─╮");
  screen.resize({5, 3});
  EXPECT_EQ(screen.line(0), "╭─L─╮");
  screen.resize({4, 3});
  EXPECT_EQ(screen.line(0), "╭──╮");
  box.border = vn::Border::twin("");
  screen.paint();
  EXPECT_EQ(screen.lines(), (Lines{"╔══╗", "║xx║", "╚══╝"}));
}

// Read back as a terminal shows it: a wide character once.
struct WideTitleCase {
  char const* what;
  char const* title;
  int width;
  char const* top;
};

class BorderedWideTitleTest : public ::testing::TestWithParam<WideTitleCase> {};

TEST_P(BorderedWideTitleTest, TitleIsCutByCellsAndNeverSplitsACharacter) {
  vn::Bordered box{vn::Border::light(GetParam().title), Filler{}};
  Harness screen{box, {GetParam().width, 3}};
  EXPECT_EQ(screen.line(0), GetParam().top);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BorderedWideTitleTest,
    ::testing::Values(WideTitleCase{"Fits", "日本語", 10, "┌─日本語─┐"},
                      // The wall shows where a wide character has no room.
                      WideTitleCase{"CutLeavesTheWall", "日本語", 9, "┌─日本──┐"},
                      WideTitleCase{"NarrowThenWide", "a日本", 8, "┌─a日──┐"},
                      WideTitleCase{"NoRoomForTheFirst", "日", 5, "┌───┐"},
                      WideTitleCase{"ComposedAndEmoji", "e\u0301😀", 8, "┌─é😀──┐"}),
    [](::testing::TestParamInfo<WideTitleCase> const& info) {
      return std::string{info.param.what};
    });

TEST(BorderedTest, FrameTakesTheBordersBrushAndTheTitleTheLabels) {
  dalk::Brush const frame_brush{dalk::XColor::Blue, dalk::XColor::BrightWhite, {}};
  dalk::Brush const title_brush{dalk::XColor::Default, dalk::XColor::Yellow, {}};
  vn::Bordered box{vn::Border::bold({.brush = frame_brush,
                                     .label = vn::Label{{.text = "T", .brush = title_brush}}}),
                   Filler{}};
  Harness screen{box, {6, 3}};
  for (Point p : {Point{0, 0}, Point{1, 0}, Point{3, 0}, Point{5, 0}, Point{0, 1}, Point{5, 1},
                  Point{0, 2}, Point{3, 2}, Point{5, 2}}) {
    EXPECT_EQ(screen.cell(p).brush, frame_brush) << p.x << "," << p.y;
  }
  EXPECT_EQ(screen.cell({2, 0}).symbol, U'T');
  EXPECT_EQ(screen.cell({2, 0}).brush, title_brush);
  // The child's cells keep the child's brush.
  EXPECT_EQ(screen.cell({1, 1}).brush, dalk::Brush{});
}

TEST(BorderedTest, TinySizesAreSafe) {
  vn::Bordered box{vn::Border::light("Title"), Filler{}};
  Harness screen{box, {0, 0}};
  EXPECT_TRUE(screen.lines().empty());
  EXPECT_EQ(box.child.size, (Area{0, 0}));
  screen.resize({1, 1});
  EXPECT_EQ(box.child.size, (Area{0, 0}));
  EXPECT_EQ(screen.lines().size(), 1U);
  EXPECT_NE(screen.line(0), "x");
  screen.resize({2, 2});
  EXPECT_EQ(box.child.size, (Area{0, 0}));
  EXPECT_EQ(screen.lines(), (Lines{"┌┐", "└┘"}));
  screen.resize({3, 1});
  EXPECT_EQ(box.child.size, (Area{1, 0}));
  screen.resize({1, 5});
  EXPECT_EQ(box.child.size, (Area{0, 3}));
}

TEST(BorderedTest, ChildByReferenceOrPointer) {
  Filler shared{U'r'};
  vn::Bordered by_reference{vn::Border::ascii(""), std::ref(shared)};
  Harness screen{by_reference, {4, 3}};
  EXPECT_EQ(screen.lines(), (Lines{"+--+", "|rr|", "+--+"}));

  vn::Bordered<std::unique_ptr<vn::Widget>> empty{vn::Border::ascii("no child"), nullptr};
  Harness empty_screen{empty, {6, 3}};
  EXPECT_EQ(empty_screen.lines(), (Lines{"+-no-+", "|    |", "+----+"}));
}

TEST(BorderedTest, FocusAndMouseReachTheChild) {
  vn::Bordered box{vn::Border::light("Name"), vn::LineEdit{{.text = "Ada"}}};
  Harness screen{box, {12, 3}};
  screen.click({3, 1});
  EXPECT_EQ(vn::Focus::get(), &box.child);
  EXPECT_EQ(screen.cursor(), (Point{3, 1}));
  screen.type("m");
  EXPECT_EQ(screen.line(1), "│Adma      │");
}

TEST(BorderedTest, InsideALayout) {
  auto column = vn::make_column(vn::Bordered{vn::Border::light("A"), Filler{U'a'}},
                                vn::Bordered{vn::Border::light("B"), Filler{U'b'}});
  Harness screen{column, {5, 6}};
  EXPECT_EQ(screen.lines(), (Lines{
                                "┌─A─┐",
                                "│aaa│",
                                "└───┘",
                                "┌─B─┐",
                                "│bbb│",
                                "└───┘",
                            }));
}

}  // namespace
