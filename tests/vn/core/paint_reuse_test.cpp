// A dispatcher that keeps cells must paint every frame as a fresh paint of the whole tree does:
// random trees with overlapping widgets, keyed and unkeyed, go through random changes, and each
// frame is compared cell by cell with one painted from a blank grid.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "dalk/sequence.hpp"
#include "vn/dispatch.hpp"
#include "vn/focus.hpp"
#include "vn/label.hpp"
#include "vn/layout.hpp"
#include "vn/overlay.hpp"
#include "vn/put.hpp"

#include "support/fresh_frame.hpp"

namespace {

using dalk::Area;
using dalk::Point;

// A parent that draws a frame of `mark` over its children (painted after them); keyed.
class Frame : public vn::Widget {
 public:
  Frame() : vn::Widget{vn::FocusPolicy::Strong, vn::SizePolicy::flex()} {}
  void paint(vn::Canvas canvas) override {
    for (int x = 0; x < canvas.size.width; ++x) {
      canvas[{x, 0}].symbol = mark;
      canvas[{x, canvas.size.height - 1}].brush = brush;
    }
    for (int y = 0; y < canvas.size.height; ++y) {
      canvas[{0, y}].symbol = mark;
    }
  }
  bool paint_key(vn::PaintKey& key) const override {
    key.add(mark).add(brush);
    return true;
  }
  using vn::Widget::get_children;
  lum::Generator<vn::Widget&> get_children() override {
    for (auto& child : children) {
      co_yield *child;
    }
  }
  char32_t mark = U'#';
  dalk::Brush brush{};
  std::vector<std::unique_ptr<vn::Widget>> children;
};

// Shows a counter and says nothing of its paint: painted every frame. Its cursor follows what
// it paints, as an editor's does.
class Counter : public vn::Widget {
 public:
  Counter() : vn::Widget{vn::FocusPolicy::Strong, vn::SizePolicy::flex()} {}
  void paint(vn::Canvas canvas) override {
    cursor = Point{count % 3, 0};
    vn::paint_label(canvas, std::to_string(count), vn::Align::Left,
                    dalk::Brush{dalk::XColor::Blue, dalk::XColor::Default, {}});
  }
  int count = 0;
};

class Popup : public vn::Overlay {
 public:
  Popup() : vn::Overlay{vn::FocusPolicy::Strong, vn::SizePolicy::flex()} {}
  Area preferred_size(Area) const override { return wanted; }
  Point preferred_position(Area, Area) const override { return where; }
  using vn::Widget::get_children;
  lum::Generator<vn::Widget&> get_children() override { co_yield text; }
  void resize(Area) override { text.size = size; }
  Area wanted{8, 3};
  Point where{3, 2};
  vn::Label text{vn::Label::Options{"popup"}};
};

char const* const texts[] = {
    "", "a", "hello", "日本語", "e\u0301t\u00e9", "👍🏽 ok", "x y z", "wide 全角"};

class PaintReuseTest : public ::testing::Test {
 protected:
  void TearDown() override {
    popup.close();
    vn::Focus::in_focus_ = {};
  }

  // Every widget of the tree, for picking one to change.
  std::vector<vn::Widget*> widgets() {
    std::vector<vn::Widget*> all;
    vn::for_each_depth_first(head, [&](vn::Widget& w) { all.push_back(&w); });
    return all;
  }

  vn::Label& random_label() {
    std::vector<vn::Label*> labels;
    vn::for_each_depth_first(head, [&](vn::Widget& w) {
      if (auto* label = dynamic_cast<vn::Label*>(&w)) {
        labels.push_back(label);
      }
    });
    return labels.empty() ? status : *labels[pick(labels.size())];
  }

  std::size_t pick(std::size_t n) {
    return std::uniform_int_distribution<std::size_t>{0, n - 1}(random);
  }
  int between(int low, int high) { return std::uniform_int_distribution<int>{low, high}(random); }

  std::unique_ptr<vn::Widget> random_leaf() {
    switch (pick(3)) {
      case 0:
        return std::make_unique<Counter>();
      case 1: {
        auto column = std::make_unique<vn::Column<std::vector<vn::Label>>>();
        for (int i = between(1, 4); i > 0; --i) {
          column->children.emplace_back(vn::Label::Options{texts[pick(std::size(texts))]});
        }
        return column;
      }
      default:
        return std::make_unique<vn::Label>(vn::Label::Options{texts[pick(std::size(texts))]});
    }
  }

  void place_randomly(vn::Widget& w) {
    w.at = {between(-3, area.width), between(-2, area.height)};
    w.size = {between(0, 14), between(0, 6)};
    vn::detail::dispatch_resize(w, w.size);
  }

  void build() {
    for (int i = 0; i < 3; ++i) {
      auto frame = std::make_unique<Frame>();
      for (int k = between(1, 3); k > 0; --k) {
        frame->children.push_back(random_leaf());
        place_randomly(*frame->children.back());
      }
      head.children.push_back(std::move(frame));
      place_randomly(*head.children.back());
    }
    head.size = area;
  }

  // One random change of public state, focus or structure.
  void change() {
    std::vector<vn::Widget*> const all = widgets();
    vn::Widget& w = *all[pick(all.size())];
    switch (pick(12)) {
      case 0:
      case 1:
        random_label().text = texts[pick(std::size(texts))];
        break;
      case 2:
        random_label().brush.background = dalk::XColor{static_cast<std::uint16_t>(pick(8))};
        break;
      case 3:
        random_label().align = static_cast<vn::Align>(pick(3));
        break;
      case 4:
        if (&w != &head) {
          w.active = !w.active;
        }
        break;
      case 5:
        if (&w != &head) {
          place_randomly(w);
        }
        break;
      case 6:
        vn::Focus::set(w);
        w.cursor = pick(2) == 0 ? std::nullopt : std::optional<Point>{Point{between(0, 3), 0}};
        break;
      case 7: {
        auto& frame = static_cast<Frame&>(*head.children[pick(head.children.size())]);
        frame.mark = pick(2) == 0 ? U'#' : U'*';
        frame.brush.foreground = dalk::XColor{static_cast<std::uint16_t>(pick(4))};
        if (frame.children.size() > 1) {
          std::swap(frame.children.front(), frame.children.back());
        }
        break;
      }
      case 8: {
        auto& frame = static_cast<Frame&>(*head.children[pick(head.children.size())]);
        if (pick(2) == 0 && frame.children.size() < 5) {
          frame.children.push_back(random_leaf());
          place_randomly(*frame.children.back());
        } else if (!frame.children.empty()) {
          frame.children.erase(frame.children.begin() +
                               static_cast<std::ptrdiff_t>(pick(frame.children.size())));
        }
        break;
      }
      case 9:
        vn::for_each_depth_first(head, [](vn::Widget& each) {
          if (auto* counter = dynamic_cast<Counter*>(&each)) {
            counter->count += 7;
          }
        });
        break;
      case 10:
        if (popup.is_open()) {
          popup.close();
        } else {
          popup.where = {between(-2, area.width - 2), between(-1, area.height - 1)};
          popup.wanted = {between(1, 12), between(1, 5)};
          popup.open();
        }
        break;
      default:
        // Nothing changes: the frame is painted from what it kept.
        break;
    }
  }

  Area const area{30, 12};
  std::mt19937 random{20261210};
  vn::Row<std::vector<std::unique_ptr<vn::Widget>>> head;
  Popup popup;
  // Picked when the tree has no label left.
  vn::Label status{vn::Label::Options{"status"}};
};

TEST_F(PaintReuseTest, EveryFrameIsThatOfAFreshPaint) {
  build();
  vn::TreeDispatcher kept{head};
  kept.reuse_cells = true;
  vn::ScreenBuffer grid{area};
  int reused = 0;
  for (int frame = 0; frame < 10000; ++frame) {
    for (int changes = between(0, 2); changes > 0; --changes) {
      change();
    }
    std::optional<Point> const cursor = kept.handle_paint(vn::Canvas{grid, {0, 0}, area});
    auto const fresh = vennic::test::fresh_frame(head, area);
    ASSERT_TRUE(grid.glyphs == fresh.grid.glyphs)
        << "frame " << frame << ", " << vennic::test::first_difference(grid, fresh.grid);
    ASSERT_EQ(cursor, fresh.cursor) << "frame " << frame;
    auto const rows_painted = std::count(grid.painted_rows.begin(), grid.painted_rows.end(), 1);
    reused += rows_painted < area.height ? 1 : 0;
    // As a commit leaves a kept grid.
    std::fill(grid.painted_rows.begin(), grid.painted_rows.end(), std::uint8_t{0});
  }
  // Many frames leave some rows alone: cells were kept.
  EXPECT_GT(reused, 1000);
}

// Two dispatchers taking turns on one grid: neither takes the other's frame for its own.
TEST(PaintReuseSharedGridTest, DispatchersTakingTurnsPaintTheirOwnTrees) {
  Area const area{12, 3};
  vn::Label first{vn::Label::Options{"first"}};
  vn::Label second{vn::Label::Options{"second"}};
  first.size = second.size = area;
  vn::TreeDispatcher a{first};
  vn::TreeDispatcher b{second};
  a.reuse_cells = true;
  vn::ScreenBuffer grid{area};
  for (int frame = 0; frame < 6; ++frame) {
    b.reuse_cells = frame % 4 < 2;
    vn::TreeDispatcher& painter = frame % 2 == 0 ? a : b;
    painter.handle_paint(vn::Canvas{grid, {0, 0}, area});
    ASSERT_EQ(grid.glyphs, vennic::test::fresh_frame(painter.head, area).grid.glyphs)
        << "frame " << frame;
  }
}

// A row whose class yields a child of its own besides `children`.
class RowWithBadge : public vn::Row<std::vector<vn::Label>> {
 public:
  using vn::Widget::get_children;
  lum::Generator<vn::Widget&> get_children() override {
    for (vn::Label& label : children) {
      co_yield label;
    }
    co_yield badge;
  }
  vn::Label badge{vn::Label::Options{"!"}};
};

TEST(VisitChildrenTest, ADerivedLayoutIsWalkedByItsOwnSequence) {
  RowWithBadge row;
  row.children.emplace_back(vn::Label::Options{"a"});
  std::vector<vn::Widget*> visited;
  struct Collect final : vn::ChildVisitor {
    explicit Collect(std::vector<vn::Widget*>& into) : into{into} {}
    void visit(vn::Widget& child) override { into.push_back(&child); }
    std::vector<vn::Widget*>& into;
  } collect{visited};
  row.visit_children(collect);
  EXPECT_EQ(visited, (std::vector<vn::Widget*>{&row.children[0], &row.badge}));

  vn::Row<std::vector<vn::Label>> plain;
  plain.children.emplace_back(vn::Label::Options{"a"});
  plain.children.emplace_back(vn::Label::Options{"b"});
  visited.clear();
  plain.visit_children(collect);
  EXPECT_EQ(visited, (std::vector<vn::Widget*>{&plain.children[0], &plain.children[1]}));
}

// Cells laid out under one width model are not kept under another.
TEST(PaintReuseWidthTest, AChangeOfWidthModelPaintsEverythingAgain) {
  Area const area{12, 1};
  vn::Label flag{vn::Label::Options{"👩‍💻 ab", vn::Align::Left}};
  flag.size = area;
  vn::TreeDispatcher kept{flag};
  kept.reuse_cells = true;
  vn::ScreenBuffer grid{area};
  for (auto const model : {dalk::text::WidthModel::CodePoints, dalk::text::WidthModel::Clusters,
                           dalk::text::WidthModel::CodePoints}) {
    dalk::text::set_width_model(model);
    kept.handle_paint(vn::Canvas{grid, {0, 0}, area});
    ASSERT_EQ(grid.glyphs, vennic::test::fresh_frame(flag, area).grid.glyphs);
  }
}

}  // namespace
