#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <vn/vn.hpp>

#include "support/process.hpp"

namespace {

using dalk::Area;
using dalk::Key;
using dalk::Mouse;
using dalk::Point;
using vn::FocusPolicy;
using vn::SizePolicy;
using vn::testing::Harness;
using Log = std::vector<std::string>;

std::string text(Point p) {
  return std::to_string(p.x) + "," + std::to_string(p.y);
}

// Records every call it receives into a shared log; fills its canvas with `fill` and asks for
// the cursor at `wanted_cursor` while painting.
class Recorder : public vn::Widget {
 public:
  Recorder(std::string name, Log& log, FocusPolicy policy = FocusPolicy::None,
           SizePolicy size = SizePolicy::flex(1.0F))
      : Widget{policy, size}, name{std::move(name)}, log{&log} {}

  void mouse_press(Mouse m) override {
    record("press " + text(m.at) + " b" + std::to_string(static_cast<int>(m.button)));
  }
  void mouse_release(Mouse m) override { record("release " + text(m.at)); }
  void mouse_wheel(Mouse m) override {
    record("wheel " + text(m.at) + " b" + std::to_string(static_cast<int>(m.button)));
  }
  void mouse_move(Mouse m) override { record("move " + text(m.at)); }
  void mouse_enter() override { record("enter"); }
  void mouse_leave() override { record("leave"); }
  void focus_in() override { record("focus_in"); }
  void focus_out() override { record("focus_out"); }
  void key_press(Key k) override { record("key " + std::to_string(static_cast<char32_t>(k))); }
  void key_release(Key k) override {
    record("key_release " + std::to_string(static_cast<char32_t>(k)));
  }
  void resize(Area previous) override {
    record("resize " + std::to_string(previous.width) + "x" + std::to_string(previous.height) +
           " -> " + std::to_string(size.width) + "x" + std::to_string(size.height));
  }
  void timer(int id) override { record("timer " + std::to_string(id)); }
  void paste(std::string_view text) override { record("paste " + std::string{text}); }
  void window_focus(bool focused) override {
    record(focused ? "window focus in" : "window focus out");
  }
  void terminal_answers(dalk::TerminalAnswers const& a) override { record("answers " + a.version); }
  void paint(vn::Canvas canvas) override {
    ++paints;
    if (fill != U'\0') {
      vn::put(canvas, {0, 0}, vn::shape::Fill{{fill, brush}, canvas.size});
    }
    cursor = wanted_cursor;
  }

  std::string name;
  Log* log;
  int paints = 0;
  char32_t fill = U'\0';
  dalk::Brush brush{};
  std::optional<Point> wanted_cursor;

 private:
  void record(std::string const& what) { log->push_back(name + " " + what); }
};

// head (a column) → [a (Click), b (Tab), c (Strong)], one row each.
struct Tree {
  Tree()
      : a{"a", log, FocusPolicy::Click, SizePolicy::fixed(1)},
        b{"b", log, FocusPolicy::Tab, SizePolicy::fixed(1)},
        c{"c", log, FocusPolicy::Strong, SizePolicy::fixed(1)} {}

  Log log;
  Recorder a;
  Recorder b;
  Recorder c;
  vn::Column<std::vector<vn::Widget*>> head{{&a, &b, &c}};
};

TEST(HarnessTest, StartsLikeARunWithAResizeAndAPaint) {
  Log log;
  Recorder head{"head", log};
  head.size = {3, 3};
  head.fill = U'x';
  Harness screen{head, {4, 2}};
  EXPECT_EQ(log, (Log{"head resize 3x3 -> 4x2"}));
  EXPECT_EQ(head.paints, 1);
  EXPECT_EQ(screen.size(), (Area{4, 2}));
  EXPECT_EQ(screen.lines(), (Log{"xxxx", "xxxx"}));
}

TEST(HarnessTest, ClearsFocusWhenConstructed) {
  Log log;
  Recorder old_focus{"old", log, FocusPolicy::Strong};
  vn::Focus::set(old_focus);
  Recorder head{"head", log};
  Harness screen{head, {1, 1}};
  EXPECT_EQ(vn::Focus::get(), nullptr);
  EXPECT_EQ(log, (Log{"old focus_in", "old focus_out", "head resize 0x0 -> 1x1"}));
}

TEST(HarnessTest, PaintsAfterEveryDeliveredEvent) {
  Log log;
  Recorder head{"head", log, FocusPolicy::Strong};
  Harness screen{head, {2, 2}};
  vn::Focus::set(head);
  screen.key_press(Key::Enter);
  screen.key_release(Key::Enter);
  screen.click({0, 0});
  screen.wheel_up({0, 0});
  screen.move_to({1, 1});
  screen.tick(3);
  screen.resize({3, 3});
  screen.type("ab");
  screen.paste("cd");
  screen.window_focus(false);
  // The first paint, then one per event: the click is two events, the text two keys, the paste
  // one.
  EXPECT_EQ(head.paints, 1 + 2 + 2 + 1 + 1 + 1 + 1 + 2 + 1 + 1);
}

TEST(HarnessTest, FocusByClickGoesToTheWidgetUnderThePointer) {
  Tree tree;
  Harness screen{tree.head, {5, 3}};
  tree.log.clear();
  screen.press({2, 0});
  EXPECT_EQ(tree.log, (Log{"a focus_in", "a press 2,0 b0"}));
  tree.log.clear();
  // b is reachable by Tab only: a press does not move focus to it.
  screen.press({4, 1}, Mouse::Button::Right);
  EXPECT_EQ(tree.log, (Log{"b press 4,0 b2"}));
  EXPECT_EQ(vn::Focus::get(), &tree.a);
  tree.log.clear();
  screen.click({1, 2});
  EXPECT_EQ(tree.log, (Log{"a focus_out", "c focus_in", "c press 1,0 b0", "c release 1,0"}));
}

TEST(HarnessTest, TabAndShiftTabFollowTheFocusPolicies) {
  Tree tree;
  Harness screen{tree.head, {5, 3}};
  vn::Focus::set(tree.c);
  tree.log.clear();
  screen.key_press(Key::Tab);  // wraps around past the last Tab-capable widget
  EXPECT_EQ(tree.log, (Log{"c focus_out", "b focus_in", "c key 9"}));
  tree.log.clear();
  screen.key_press(Key::BackTab);
  EXPECT_EQ(tree.log, (Log{"b focus_out", "c focus_in", "b key 156"}));
  tree.log.clear();
  // From a widget that takes focus by click only, Tab is an ordinary key.
  vn::Focus::set(tree.a);
  tree.log.clear();
  screen.type("\t");
  EXPECT_EQ(tree.log, (Log{"a key 9"}));
}

TEST(HarnessTest, KeysWithoutFocusAreDropped) {
  Tree tree;
  Harness screen{tree.head, {5, 3}};
  tree.log.clear();
  screen.key_press(Key::Tab);
  screen.key_release(dalk::key(U'x'));
  EXPECT_TRUE(tree.log.empty());
}

TEST(HarnessTest, TypeSendsOneKeyPerCodePoint) {
  Log log;
  Recorder head{"head", log, FocusPolicy::Strong};
  Harness screen{head, {1, 1}};
  vn::Focus::set(head);
  log.clear();
  screen.type("é€\n\r");
  EXPECT_EQ(log, (Log{"head key 233", "head key 8364", "head key 13", "head key 13"}));
  log.clear();
  EXPECT_THROW_MSG(screen.type("ok\xff"), std::runtime_error, "Invalid UTF-8 sequence");
  EXPECT_TRUE(log.empty());
}

TEST(HarnessTest, APasteReachesTheFocusedWidgetOnlyAndWhole) {
  Tree tree;
  Harness screen{tree.head, {5, 3}};
  tree.log.clear();
  screen.paste("dropped");  // nothing has focus
  EXPECT_TRUE(tree.log.empty());
  vn::Focus::set(tree.b);
  tree.log.clear();
  // Tab and newlines inside a paste are text, not keys that move focus.
  screen.paste("two\tlines\n");
  EXPECT_EQ(tree.log, (Log{"b paste two\tlines\n"}));
  EXPECT_EQ(vn::Focus::get(), &tree.b);
}

// So do the terminal's answers.
TEST(HarnessTest, WindowFocusReachesEveryWidget) {
  Tree tree;
  Harness screen{tree.head, {5, 3}};
  tree.b.active = false;
  vn::Focus::set(tree.c);
  tree.log.clear();
  screen.window_focus(false);
  screen.window_focus(true);
  dalk::TerminalAnswers answers;
  answers.version = "kitty(0.26.5)";
  screen.deliver(dalk::AnswersChanged{answers});
  EXPECT_EQ(tree.log,
            (Log{"a window focus out", "b window focus out", "c window focus out",
                 "a window focus in", "b window focus in", "c window focus in",
                 "a answers kitty(0.26.5)", "b answers kitty(0.26.5)", "c answers kitty(0.26.5)"}));
  EXPECT_EQ(vn::Focus::get(), &tree.c);
}

TEST(HarnessTest, MouseMovesSendLeaveAndEnterAlongThePaths) {
  Tree tree;
  Harness screen{tree.head, {5, 3}};
  screen.move_to({0, 0});  // from (0, 0) to (0, 0): nothing to leave
  tree.log.clear();
  screen.move_to({3, 2});
  EXPECT_EQ(tree.log, (Log{"a leave", "c enter", "c move 3,0"}));
  tree.log.clear();
  screen.mouse_move(Mouse{{4, 2}, Mouse::Button::Left, {}});
  EXPECT_EQ(tree.log, (Log{"c leave", "c enter", "c move 4,0"}));
  tree.log.clear();
  screen.wheel_down({1, 1});
  EXPECT_EQ(tree.log, (Log{"b wheel 1,0 b65"}));
}

TEST(HarnessTest, TheCursorIsTheFocusedWidgetsInScreenCells) {
  Tree tree;
  Harness screen{tree.head, {5, 3}};
  tree.c.wanted_cursor = Point{2, 0};
  tree.b.wanted_cursor = Point{1, 0};
  EXPECT_EQ(screen.cursor(), std::nullopt);
  screen.click({0, 2});
  EXPECT_EQ(screen.cursor(), (Point{2, 2}));
  screen.key_press(Key::Tab);
  EXPECT_EQ(screen.cursor(), (Point{1, 1}));
  // Focus set by the test shows after the next paint, as after the next event in a run.
  vn::Focus::set(tree.c);
  EXPECT_EQ(screen.cursor(), (Point{1, 1}));
  screen.paint();
  EXPECT_EQ(screen.cursor(), (Point{2, 2}));
  // A focused widget that is not painted shows no cursor.
  tree.c.active = false;
  screen.paint();
  EXPECT_EQ(screen.cursor(), std::nullopt);
}

TEST(HarnessTest, ResizesReachTheWholeTree) {
  Tree tree;
  Harness screen{tree.head, {5, 3}};
  tree.log.clear();
  screen.resize({7, 4});
  EXPECT_EQ(tree.head.size, (Area{7, 4}));
  EXPECT_EQ(tree.log, (Log{"a resize 5x1 -> 7x1", "b resize 5x1 -> 7x1", "c resize 5x1 -> 7x1"}));
  EXPECT_EQ(screen.size(), (Area{7, 4}));
  EXPECT_EQ(screen.lines().size(), 4U);
  screen.resize({-2, 1});
  EXPECT_EQ(screen.size(), (Area{0, 1}));
  EXPECT_EQ(tree.head.size, (Area{0, 1}));
}

TEST(HarnessTest, TimerTicksReachEveryWidget) {
  Tree tree;
  Harness screen{tree.head, {5, 3}};
  tree.b.active = false;
  vn::Timer timer{std::chrono::milliseconds{30}, false};
  tree.log.clear();
  screen.tick(timer);
  std::string const tick = "timer " + std::to_string(timer.id());
  EXPECT_EQ(tree.log, (Log{"a " + tick, "b " + tick, "c " + tick}));
  EXPECT_FALSE(timer.is_running());
}

TEST(HarnessTest, DeliverAppliesEventsLikeTheLoop) {
  Log log;
  Recorder head{"head", log};
  Harness screen{head, {2, 1}};
  int const paints = head.paints;
  bool ran = false;
  EXPECT_EQ(screen.deliver(vn::event::Custom{[&]() -> std::optional<vn::QuitRequest> {
    ran = true;
    return std::nullopt;
  }}),
            std::nullopt);
  EXPECT_TRUE(ran);
  EXPECT_EQ(head.paints, paints + 1);
  // A quit request is handed back and, as in the loop, not painted.
  auto const quit = screen.deliver(
      vn::event::Custom{[]() -> std::optional<vn::QuitRequest> { return vn::QuitRequest{7}; }});
  ASSERT_TRUE(quit.has_value());
  EXPECT_EQ(quit->return_code, 7);
  EXPECT_EQ(screen.deliver(vn::event::Interrupt{})->return_code, 1);
  EXPECT_EQ(head.paints, paints + 1);
  EXPECT_EQ(screen.deliver(dalk::MousePress{{{1, 0}, Mouse::Button::Middle, {}}}), std::nullopt);
  EXPECT_EQ(log.back(), "head press 1,0 b1");
}

TEST(HarnessTest, ReadsTextCellsAndRegions) {
  Log log;
  Recorder head{"head", log};
  head.fill = U'─';
  head.brush = dalk::Brush{dalk::XColor::Red, dalk::XColor::Default, {}};
  Harness screen{head, {4, 3}};
  EXPECT_EQ(screen.line(2), "────");
  EXPECT_EQ(screen.cell({3, 2}).symbol, U'─');
  EXPECT_EQ(screen.cell({3, 2}).brush, head.brush);
  EXPECT_EQ(screen.lines({2, 1}, {5, 5}), (Log{"──", "──"}));
  EXPECT_EQ(screen.lines({4, 0}, {1, 1}), (Log{""}));
  EXPECT_TRUE(screen.lines({-9, -9}, {2, 2}).empty());
  EXPECT_THROW_MSG(screen.line(3), std::out_of_range, "Harness::line(): y is outside the screen");
  EXPECT_THROW_MSG(static_cast<void>(screen.cell({4, 0})), std::out_of_range,
                   "Harness::cell(): p is outside the screen");
  EXPECT_THROW_MSG(static_cast<void>(screen.cell({0, -1})), std::out_of_range,
                   "Harness::cell(): p is outside the screen");
}

TEST(HarnessTest, ControlCharactersReadAsTheReplacementCharacter) {
  Log log;
  Recorder head{"head", log};
  head.fill = U'\n';
  Harness screen{head, {2, 1}};
  EXPECT_EQ(screen.line(0), "\uFFFD\uFFFD");
  EXPECT_EQ(screen.cell({0, 0}).symbol, U'\n');
}

TEST(HarnessTest, FindsTextOnTheScreen) {
  vn::Label title{{.text = "Vennic ✓", .align = vn::Align::Right}};
  Harness screen{title, {10, 3}};
  EXPECT_EQ(screen.find("c ✓"), (Point{7, 1}));
  EXPECT_EQ(screen.find("  V"), (Point{0, 1}));
  EXPECT_EQ(screen.find(" "), (Point{0, 0}));
  EXPECT_EQ(screen.find("✓ V"), std::nullopt);
  EXPECT_EQ(screen.find("Vennic ✓ and more"), std::nullopt);
  EXPECT_EQ(screen.find(""), std::nullopt);
}

// Paints its glyphs into row 0 cell by cell, as they are given.
class CellPainter : public vn::Widget {
 public:
  explicit CellPainter(std::u32string cells)
      : Widget{FocusPolicy::None, SizePolicy::flex()}, cells_{std::move(cells)} {}
  void paint(vn::Canvas canvas) override {
    for (int x = 0; x < canvas.size.width && x < static_cast<int>(cells_.size()); ++x) {
      canvas[{x, 0}].symbol = cells_[static_cast<std::size_t>(x)];
    }
  }

 private:
  std::u32string cells_;
};

TEST(HarnessTest, ReadsTheScreenAsATerminalShowsIt) {
  // A wide glyph shows once and hides what its second cell holds; in the last column, and as a
  // zero-width code point alone in a cell, a space shows.
  CellPainter head{U"日x本yz\u0301a日"};
  Harness screen{head, {8, 1}};
  EXPECT_EQ(screen.line(0), "日本z a ");
  EXPECT_EQ(screen.lines({1, 0}, {4, 1}), (Log{"本z"}));
  EXPECT_EQ(screen.lines({2, 0}, {1, 1}), (Log{"本"}));
  EXPECT_EQ(screen.cell({1, 0}).symbol, U'x');
  EXPECT_EQ(screen.find("本z"), (Point{2, 0}));
  EXPECT_EQ(screen.find("a "), (Point{6, 0}));
  EXPECT_EQ(screen.find("x"), std::nullopt);
}

TEST(HarnessTest, FindComposesTheTextItLooksFor) {
  vn::Label label{{.text = "caf\u00E9", .align = vn::Align::Left}};
  Harness screen{label, {6, 1}};
  EXPECT_EQ(screen.find("cafe\u0301"), (Point{0, 0}));
}

TEST(HarnessTest, KeysSeeTheLayoutOfThePreviousPaint) {
  // The text box moves the cursor up by display lines, which only painting works out.
  vn::TextBox box{{.text = "", .focus_policy = FocusPolicy::Strong}};
  Harness screen{box, {5, 3}};
  screen.click({0, 0});
  screen.type("one two six");
  EXPECT_EQ(screen.lines(), (Log{"one  ", "two  ", "six  "}));
  EXPECT_EQ(screen.cursor(), (Point{3, 2}));
  screen.key_press(Key::ArrowUp);
  EXPECT_EQ(screen.cursor(), (Point{3, 1}));
  screen.type("!");
  EXPECT_EQ(box.text, "one two! six");
}

TEST(HarnessTest, TinyScreens) {
  Tree tree;
  tree.c.fill = U'c';
  Harness screen{tree.head, {0, 0}};
  EXPECT_TRUE(screen.lines().empty());
  EXPECT_EQ(screen.find("c"), std::nullopt);
  screen.click({0, 0});
  // Three one-row children on one row: the first ones give up their cells.
  screen.resize({1, 1});
  EXPECT_EQ(screen.lines(), (Log{"c"}));
}

}  // namespace

// With the dispatcher keeping cells, the harness shows what a paint of the whole tree shows,
// after every step.
TEST(HarnessTest, KeepingCellsShowsWhatAWholePaintShows) {
  vn::LineEdit name{{.placeholder = "name", .size_policy = vn::SizePolicy::fixed(1)}};
  vn::CheckBox subscribe{vn::CheckBox::init};
  vn::Label status{{.text = "Who are you?"}};
  name.submitted.connect([&](std::string const& text) { status.text = "Hello, " + text; });
  auto column = vn::make_column(std::ref(name), std::ref(subscribe), std::ref(status));
  vn::Bordered window{vn::Border::round("Form"), std::ref(column)};
  vn::testing::Harness harness{window, {30, 8}};
  harness.dispatcher().reuse_cells = true;
  auto const same_as_whole = [&] {
    vn::ScreenBuffer whole{harness.size()};
    std::optional<dalk::Point> const cursor =
        vn::detail::paint_tree(window, vn::Canvas{whole, {0, 0}, whole.area});
    return whole.glyphs == harness.screen().glyphs && cursor == harness.cursor();
  };
  harness.click({3, 1});
  EXPECT_TRUE(same_as_whole());
  for (char const c : std::string{"Ada"}) {
    harness.key_press(dalk::key(c));
    EXPECT_TRUE(same_as_whole());
  }
  harness.key_press(dalk::Key::Enter);
  EXPECT_TRUE(same_as_whole());
  std::vector<std::string> const lines = harness.lines();
  EXPECT_NE(std::find_if(lines.begin(), lines.end(),
                         [](std::string const& line) {
                           return line.find("Hello, Ada") != std::string::npos;
                         }),
            lines.end());
  harness.key_press(dalk::Key::Tab);
  harness.key_press(dalk::Key::Enter);
  EXPECT_TRUE(same_as_whole());
  harness.resize({24, 6});
  EXPECT_TRUE(same_as_whole());
}
