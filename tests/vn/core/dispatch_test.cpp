#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>
#include <vn/vn.hpp>

namespace {

using dalk::Key;
using dalk::Mouse;
using vn::FocusPolicy;
using vn::Point;

using Log = std::vector<std::string>;

std::string point_text(Point p) {
  return std::to_string(p.x) + "," + std::to_string(p.y);
}

// A widget that records every call it receives, with its name, into a shared log.
class Recorder : public vn::Widget {
 public:
  Recorder(std::string name, Log& log, FocusPolicy policy = FocusPolicy::None)
      : Widget{policy, vn::SizePolicy::flex(1.0F)}, name{std::move(name)}, log{&log} {}

  void mouse_press(Mouse m) override { record("press " + point_text(m.at)); }
  void mouse_release(Mouse m) override { record("release " + point_text(m.at)); }
  void mouse_wheel(Mouse m) override { record("wheel " + point_text(m.at)); }
  void mouse_move(Mouse m) override { record("move " + point_text(m.at)); }
  void mouse_enter() override { record("enter"); }
  void mouse_leave() override { record("leave"); }
  void focus_in() override { record("focus_in"); }
  void focus_out() override { record("focus_out"); }
  void key_press(Key k) override { record("key " + std::to_string(static_cast<char32_t>(k))); }
  void key_release(Key k) override {
    record("key_release " + std::to_string(static_cast<char32_t>(k)));
  }
  void resize(vn::Area previous) override {
    record("resize " + std::to_string(previous.width) + "x" + std::to_string(previous.height) +
           " -> " + std::to_string(size.width) + "x" + std::to_string(size.height));
  }
  void timer(int id) override { record("timer " + std::to_string(id)); }
  void paint(vn::Canvas canvas) override {
    record("paint");
    if (fill != U'\0') {
      for (int y = 0; y < canvas.size.height; ++y) {
        for (int x = 0; x < canvas.size.width; ++x) {
          canvas[{x, y}].symbol = fill;
        }
      }
    }
  }
  using vn::Widget::get_children;
  lum::Generator<vn::Widget&> get_children() override {
    for (Recorder* child : children) {
      co_yield *child;
    }
  }

  void place(Point p, vn::Area a) {
    at = p;
    size = a;
  }

  std::string name;
  Log* log;
  std::vector<Recorder*> children;
  char32_t fill = U'\0';

 private:
  void record(std::string what) { log->push_back(name + " " + what); }
};

Mouse at(int x, int y, Mouse::Button button = Mouse::Button::Left) {
  return Mouse{{x, y}, button, {}};
}

class DispatchTest : public ::testing::Test {
 protected:
  void TearDown() override { vn::Focus::in_focus_ = {}; }
  Log log;
};

}  // namespace

TEST_F(DispatchTest, PressTwoLevelsDownFocusesBeforePressAndSkipsParents) {
  Recorder head{"head", log}, a{"a", log}, a1{"a1", log, FocusPolicy::Click};
  head.children = {&a};
  a.children = {&a1};
  head.place({0, 0}, {20, 10});
  a.place({2, 3}, {10, 5});
  a1.place({1, 1}, {4, 2});
  vn::detail::dispatch_mouse_press(head, at(4, 5));
  EXPECT_EQ(log, (Log{"a1 focus_in", "a1 press 1,1"}));
  EXPECT_EQ(vn::Focus::get(), &a1);
}

TEST_F(DispatchTest, OverlappingSiblingsFirstActiveWins) {
  Recorder head{"head", log}, first{"first", log}, second{"second", log};
  head.children = {&first, &second};
  first.place({0, 0}, {5, 5});
  second.place({2, 2}, {5, 5});
  vn::detail::dispatch_mouse_release(head, at(3, 3));
  first.active = false;
  vn::detail::dispatch_mouse_release(head, at(3, 3));
  EXPECT_EQ(log, (Log{"first release 3,3", "second release 1,1"}));
}

TEST_F(DispatchTest, PressOutsideEveryChildGoesToTheHead) {
  Recorder head{"head", log, FocusPolicy::Strong}, child{"child", log};
  head.children = {&child};
  child.place({0, 0}, {2, 2});
  vn::detail::dispatch_mouse_press(head, at(50, 40));
  EXPECT_EQ(log, (Log{"head focus_in", "head press 50,40"}));
}

TEST_F(DispatchTest, FocusPoliciesOnPress) {
  Recorder head{"head", log}, none{"none", log, FocusPolicy::None},
      tab{"tab", log, FocusPolicy::Tab}, click{"click", log, FocusPolicy::Click},
      strong{"strong", log, FocusPolicy::Strong};
  head.children = {&none, &tab, &click, &strong};
  none.place({0, 0}, {1, 1});
  tab.place({1, 0}, {1, 1});
  click.place({2, 0}, {1, 1});
  strong.place({3, 0}, {1, 1});
  for (int x = 0; x < 4; ++x) {
    vn::detail::dispatch_mouse_press(head, at(x, 0));
  }
  // Pressing the focused widget again still calls focus_out then focus_in.
  vn::detail::dispatch_mouse_press(head, at(3, 0));
  EXPECT_EQ(log, (Log{"none press 0,0", "tab press 0,0", "click focus_in", "click press 0,0",
                      "click focus_out", "strong focus_in", "strong press 0,0", "strong focus_out",
                      "strong focus_in", "strong press 0,0"}));
}

TEST_F(DispatchTest, TabAndShiftTabWrapAround) {
  Recorder head{"head", log}, a{"a", log, FocusPolicy::Tab}, b{"b", log, FocusPolicy::None},
      c{"c", log, FocusPolicy::Strong};
  head.children = {&a, &b, &c};
  vn::Focus::set(c);
  log.clear();
  vn::detail::dispatch_key_press(head, Key::Tab);
  EXPECT_EQ(vn::Focus::get(), &a);
  EXPECT_EQ(log, (Log{"c focus_out", "a focus_in", "c key 9"}));
  log.clear();
  vn::detail::dispatch_key_press(head, Key::BackTab);
  EXPECT_EQ(vn::Focus::get(), &c);
  EXPECT_EQ(log, (Log{"a focus_out", "c focus_in", "a key 156"}));
}

TEST_F(DispatchTest, TabReachesInactiveWidgetsInPreOrder) {
  Recorder head{"head", log}, a{"a", log}, a1{"a1", log, FocusPolicy::Tab},
      b{"b", log, FocusPolicy::Tab};
  head.children = {&a, &b};
  a.children = {&a1};
  a.active = false;
  vn::Focus::set(b);
  vn::detail::dispatch_key_press(head, Key::Tab);
  EXPECT_EQ(vn::Focus::get(), &a1);
}

TEST_F(DispatchTest, TabMovingNoFocusIsAnOrdinaryKey) {
  // From a widget that takes focus by click only, and on the only Tab-capable widget.
  Recorder head{"head", log}, click{"click", log, FocusPolicy::Click},
      only{"only", log, FocusPolicy::Strong};
  head.children = {&click, &only};
  vn::Focus::set(click);
  vn::detail::dispatch_key_press(head, Key::Tab);
  vn::Focus::set(only);
  vn::detail::dispatch_key_press(head, Key::Tab);
  vn::detail::dispatch_key_press(head, Key::BackTab);
  EXPECT_EQ(log, (Log{"click focus_in", "click key 9", "click focus_out", "only focus_in",
                      "only key 9", "only key 156"}));
}

TEST_F(DispatchTest, KeysWithModifiersNeverMoveFocus) {
  Recorder head{"head", log}, a{"a", log, FocusPolicy::Tab}, b{"b", log, FocusPolicy::Tab};
  head.children = {&a, &b};
  vn::Focus::set(a);
  vn::detail::dispatch_key_press(head, Key::Tab | dalk::Mod::Ctrl);
  EXPECT_EQ(vn::Focus::get(), &a);
}

TEST_F(DispatchTest, KeysWithoutFocusAreDropped) {
  Recorder head{"head", log, FocusPolicy::Strong};
  {
    Recorder gone{"gone", log, FocusPolicy::Strong};
    vn::Focus::set(gone);
  }
  EXPECT_EQ(vn::Focus::get(), nullptr);  // a destroyed focused widget is no focus
  vn::detail::dispatch_key_press(head, Key::Tab);
  vn::detail::dispatch_key_press(head, dalk::key(U'x'));
  vn::detail::dispatch_key_release(dalk::key(U'x'));
  EXPECT_EQ(log, (Log{"gone focus_in"}));
}

TEST_F(DispatchTest, MoveInsideNestedWidgetLeavesThenEnters) {
  Recorder head{"head", log}, panel{"panel", log}, button{"button", log};
  head.children = {&panel};
  panel.children = {&button};
  panel.place({10, 5}, {20, 10});
  button.place({2, 2}, {6, 1});
  Point previous{13, 7};
  vn::detail::dispatch_mouse_move(head, previous, at(14, 7, Mouse::Button::None));
  EXPECT_EQ(log,
            (Log{"panel leave", "button leave", "panel enter", "button enter", "button move 2,0"}));
  EXPECT_EQ(previous, (Point{14, 7}));
}

TEST_F(DispatchTest, MoveBetweenHeadAndChildSendsNoEnterOrLeave) {
  Recorder head{"head", log}, child{"child", log};
  head.children = {&child};
  child.place({5, 5}, {2, 2});
  Point previous{0, 0};
  vn::detail::dispatch_mouse_move(head, previous, at(5, 5, Mouse::Button::None));
  vn::detail::dispatch_mouse_move(head, previous, at(0, 0, Mouse::Button::None));
  EXPECT_EQ(log, (Log{"child move 0,0", "head move 0,0"}));
}

TEST_F(DispatchTest, TimerTicksReachEveryWidgetInPreOrder) {
  Recorder head{"head", log}, a{"a", log}, a1{"a1", log}, b{"b", log};
  head.children = {&a, &b};
  a.children = {&a1};
  a.active = false;
  vn::detail::dispatch_timer(head, 7);
  EXPECT_EQ(log, (Log{"head timer 7", "a timer 7", "a1 timer 7", "b timer 7"}));
}

TEST_F(DispatchTest, ResizeStoresTheNewSizeAndPassesTheOld) {
  Recorder head{"head", log};
  head.size = {80, 24};
  vn::detail::dispatch_resize(head, {100, 30});
  EXPECT_EQ(log, (Log{"head resize 80x24 -> 100x30"}));
}

TEST_F(DispatchTest, ParentsPaintAfterAndOverTheirChildren) {
  Recorder head{"head", log}, child{"child", log}, hidden{"hidden", log};
  head.children = {&child, &hidden};
  head.place({0, 0}, {4, 1});
  child.place({0, 0}, {2, 1});
  hidden.place({2, 0}, {2, 1});
  hidden.active = false;
  child.fill = U'c';
  head.fill = U'h';
  vn::ScreenBuffer buffer{{4, 1}};
  vn::detail::paint_tree(head, vn::Canvas{buffer, {0, 0}, buffer.area});
  EXPECT_EQ(log, (Log{"child paint", "head paint"}));
  EXPECT_EQ((buffer[{0, 0}].symbol), U'h');
}

TEST_F(DispatchTest, CursorOfTheFocusedWidgetIsAbsolute) {
  Recorder head{"head", log}, panel{"panel", log}, edit{"edit", log, FocusPolicy::Strong};
  head.children = {&panel};
  panel.children = {&edit};
  head.place({0, 0}, {40, 20});
  panel.place({8, 3}, {20, 10});
  edit.place({2, 2}, {5, 1});
  edit.cursor = Point{2, 0};
  vn::ScreenBuffer buffer{{40, 20}};
  vn::Canvas canvas{buffer, {0, 0}, buffer.area};
  EXPECT_EQ(vn::detail::paint_tree(head, canvas), std::nullopt);
  vn::Focus::set(edit);
  EXPECT_EQ(vn::detail::paint_tree(head, canvas), (Point{12, 5}));
  edit.cursor.reset();
  EXPECT_EQ(vn::detail::paint_tree(head, canvas), std::nullopt);
  edit.cursor = Point{0, 0};
  panel.active = false;
  EXPECT_EQ(vn::detail::paint_tree(head, canvas), std::nullopt);
}

TEST_F(DispatchTest, WidgetsReachingPastTheScreenStayInsideIt) {
  Recorder head{"head", log}, right{"right", log}, left{"left", log}, below{"below", log};
  head.children = {&right, &left, &below};
  head.place({0, 0}, {10, 2});
  right.place({8, 0}, {5, 2});
  left.place({-2, 1}, {4, 1});
  below.place({0, 2}, {3, 3});
  right.fill = left.fill = below.fill = U'x';
  vn::ScreenBuffer buffer{{10, 2}};
  vn::detail::paint_tree(head, vn::Canvas{buffer, {0, 0}, buffer.area});
  // The right widget is cut at the screen's edge; the others start outside it and are skipped.
  EXPECT_EQ(log, (Log{"right paint", "head paint"}));
  EXPECT_EQ(buffer.glyphs.size(), 20U);
  int written = 0;
  for (auto const& glyph : buffer.glyphs) {
    written += glyph.symbol == U'x' ? 1 : 0;
  }
  EXPECT_EQ(written, 4);
}

TEST_F(DispatchTest, GeometryAtTheEdgesOfIntNeverWraps) {
  constexpr int max = std::numeric_limits<int>::max();
  constexpr int min = std::numeric_limits<int>::min();
  struct Row {
    Point child_at;
    vn::Area child_size;
    Point press;
    std::string expected;
  };
  Row const rows[] = {
      {{max, max}, {max, max}, {max, max}, "child press 0,0"},
      {{max - 1, 0}, {max, 1}, {min, 0}, "head press -2147483648,0"},
      {{min, min}, {max, max}, {-2, -2}, "child press 2147483646,2147483646"},
      {{min, min}, {max, max}, {-1, -1}, "head press -1,-1"},
      {{0, 0}, {max, max}, {max, 0}, "head press 2147483647,0"},
  };
  for (Row const& row : rows) {
    Log rows_log;
    Recorder head{"head", rows_log}, child{"child", rows_log};
    head.children = {&child};
    child.place(row.child_at, row.child_size);
    vn::detail::dispatch_mouse_press(head, at(row.press.x, row.press.y));
    EXPECT_EQ(rows_log, Log{row.expected}) << row.expected;
  }

  // Offsets past the range saturate: nothing is painted out there, and a cursor out there is
  // reported at the edge of the range.
  Recorder head{"head", log}, far{"far", log}, farther{"farther", log},
      edit{"edit", log, FocusPolicy::Strong};
  head.children = {&far, &edit};
  far.children = {&farther};
  head.place({0, 0}, {4, 2});
  far.place({max, max}, {1, 1});
  farther.place({1, 1}, {1, 1});
  edit.place({1, 1}, {1, 1});
  edit.cursor = Point{max, max};
  far.fill = farther.fill = U'x';
  vn::Focus::set(edit);
  vn::ScreenBuffer buffer{{4, 2}};
  EXPECT_EQ(vn::detail::paint_tree(head, vn::Canvas{buffer, {0, 0}, buffer.area}),
            (Point{max, max}));
  EXPECT_EQ(log, (Log{"edit focus_in", "edit paint", "head paint"}));
}

// The dispatcher's own rules beyond the plain ones: Tab passes over widgets a paint does not
// reach, hover ends when the pointer leaves a child for its bare parent, and bound keys act
// before the focused widget while no overlay is open.
using TreeDispatchTest = DispatchTest;

TEST_F(TreeDispatchTest, TabAndShiftTabPassOverUnpaintedWidgets) {
  Recorder head{"head", log}, a{"a", log, FocusPolicy::Tab}, hidden{"hidden", log},
      h1{"h1", log, FocusPolicy::Tab}, off{"off", log, FocusPolicy::Tab},
      c{"c", log, FocusPolicy::Tab};
  head.children = {&a, &hidden, &off, &c};
  hidden.children = {&h1};
  hidden.active = false;
  off.active = false;
  vn::testing::Harness screen{head, {10, 2}};
  struct Step {
    Key key;
    vn::Widget* focused;
  };
  vn::Focus::set(a);
  for (Step const step :
       {Step{Key::Tab, &c}, Step{Key::Tab, &a}, Step{Key::BackTab, &c}, Step{Key::BackTab, &a}}) {
    screen.key_press(step.key);
    EXPECT_EQ(vn::Focus::get(), step.focused);
  }
  // From a hidden widget focus comes back into view.
  vn::Focus::set(h1);
  screen.key_press(Key::Tab);
  EXPECT_EQ(vn::Focus::get(), &a);
}

TEST_F(TreeDispatchTest, PointerLeavingAChildForTheBareParentLeavesIt) {
  Recorder head{"head", log}, panel{"panel", log}, button{"button", log};
  head.children = {&panel};
  panel.children = {&button};
  panel.place({2, 0}, {4, 1});
  button.place({0, 0}, {2, 1});
  vn::testing::Harness screen{head, {10, 2}};
  log.clear();
  screen.move_to({2, 0});
  screen.move_to({8, 1});
  EXPECT_EQ(log, (Log{"panel enter", "button enter", "button move 0,0", "button paint",
                      "panel paint", "head paint", "panel leave", "button leave", "head move 8,1",
                      "button paint", "panel paint", "head paint"}));
}

TEST_F(TreeDispatchTest, BoundKeysActAfterAnOverlaysOwnKeysAndBeforeTheFocusedWidget) {
  vn::LineEdit edit{vn::LineEdit::init};
  vn::Label note{vn::Label::init};
  vn::Dialog dialog{{.size = {4, 3}}, note};
  vn::testing::Harness screen{edit, {8, 3}};
  vn::TreeDispatcher& dispatcher = screen.dispatcher();
  std::string ran;
  vn::BindingId const q = dispatcher.bind(dalk::key(U'q'), [&] { ran += "q"; });
  dispatcher.bind(Key::F2, [&] { ran += "F2"; });
  vn::BindingId const later = dispatcher.bind(Key::F2, [&] { ran += "f2"; });
  vn::Focus::set(edit);
  screen.type("aq");
  screen.key_press(Key::F2);
  dispatcher.unbind(later);
  dispatcher.unbind(q);
  screen.type("q");
  dialog.open();
  screen.key_press(Key::F2);
  dispatcher.bind(Key::Escape, [&] { ran += "Escape"; });
  screen.key_press(Key::Escape);  // the dialog claims its Escape first
  EXPECT_FALSE(dialog.is_open());
  EXPECT_EQ(ran, "qf2F2");
  EXPECT_EQ(edit.text, "aq");
}
