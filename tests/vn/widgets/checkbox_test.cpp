#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <vn/vn.hpp>

#include "support/screen_text.hpp"

namespace {

using dalk::Brush;
using dalk::Glyph;
using dalk::Key;
using dalk::Mouse;
using dalk::Trait;
using dalk::XColor;
using vennic::test::screen_rows;
using vn::CheckBox;
using Rows = std::vector<std::string>;
using State = CheckBox::State;

Brush const bold{XColor::Default, XColor::Default, Trait::Bold};
Brush const red_on_green{XColor::Green, XColor::Red, Trait::Underline};

// Records every emission of both signals, in order.
struct Recorder {
  explicit Recorder(CheckBox& box) {
    box.checked.connect([this] { events.push_back("checked"); });
    box.unchecked.connect([this] { events.push_back("unchecked"); });
  }
  std::vector<std::string> events;
};

// Untouched cells show as '.', so the expectations show which cells the box wrote.
class CheckBoxPaintTest : public ::testing::Test {
 protected:
  CheckBoxPaintTest() { buffer.fill(Glyph{U'.', {}}); }

  Rows paint(CheckBox& box, dalk::Area size) {
    box.paint(vn::Canvas{buffer, {1, 1}, size});
    return screen_rows(buffer, {1, 1}, {5, 2});
  }
  Glyph const& cell(int x) const { return buffer[{1 + x, 1}]; }

  vn::ScreenBuffer buffer{dalk::Area{7, 4}};
};

TEST(CheckBoxTest, DefaultsAndPolicies) {
  CheckBox::Options const defaults{};
  EXPECT_EQ(CheckBox::init.state, State::Unchecked);
  EXPECT_EQ(CheckBox::init.checked_glyphs, dalk::detail::utf32_to_glyphs(U"[X]"));
  EXPECT_EQ(CheckBox::init.unchecked_glyphs, dalk::detail::utf32_to_glyphs(U"[ ]"));
  EXPECT_EQ(CheckBox::init.in_focus_brush, bold);
  EXPECT_EQ(CheckBox::init.focus_policy, vn::FocusPolicy::Strong);
  EXPECT_EQ(defaults.checked_glyphs, CheckBox::init.checked_glyphs);
  EXPECT_EQ(defaults.unchecked_glyphs, CheckBox::init.unchecked_glyphs);

  CheckBox box{CheckBox::init};
  // Four cells, not three, whatever the glyphs.
  EXPECT_EQ(box.size_policy, vn::SizePolicy::fixed(4));
  EXPECT_EQ(box.focus_policy, vn::FocusPolicy::Strong);
  EXPECT_EQ(box.get_state(), State::Unchecked);

  CheckBox::Options options;
  options.state = State::Checked;
  options.focus_policy = vn::FocusPolicy::Tab;
  CheckBox checked{options};
  EXPECT_EQ(checked.get_state(), State::Checked);
  EXPECT_EQ(checked.focus_policy, vn::FocusPolicy::Tab);
}

// Each call from a start state: one signal per change, none for a call that changes nothing,
// and every slot sees the new state.
TEST(CheckBoxTest, ChangesEmitOnceAndSlotsSeeTheNewState) {
  using Call = void (*)(CheckBox&);
  Call const toggle = [](CheckBox& b) { b.toggle(); };
  Call const check = [](CheckBox& b) { b.check(); };
  Call const uncheck = [](CheckBox& b) { b.uncheck(); };
  Call const set_checked = [](CheckBox& b) { b.set_state(State::Checked); };
  Call const set_unchecked = [](CheckBox& b) { b.set_state(State::Unchecked); };
  struct Case {
    State start;
    std::vector<Call> calls;
    std::vector<std::string> events;
    State end;
  };
  for (Case const& c : std::vector<Case>{
           {State::Unchecked, {toggle, toggle}, {"checked", "unchecked"}, State::Unchecked},
           {State::Checked, {toggle, toggle}, {"unchecked", "checked"}, State::Checked},
           {State::Unchecked, {uncheck, set_unchecked}, {}, State::Unchecked},
           {State::Unchecked, {check, check, set_checked}, {"checked"}, State::Checked},
           {State::Checked, {set_unchecked, uncheck}, {"unchecked"}, State::Unchecked},
           {State::Unchecked,
            {set_checked, uncheck, check, toggle},
            {"checked", "unchecked", "checked", "unchecked"},
            State::Unchecked}}) {
    CheckBox box{{.state = c.start}};
    std::vector<std::string> events;
    box.checked.connect(
        [&] { events.push_back(box.get_state() == State::Checked ? "checked" : "?"); });
    box.unchecked.connect(
        [&] { events.push_back(box.get_state() == State::Unchecked ? "unchecked" : "?"); });
    for (Call const call : c.calls) {
      call(box);
    }
    EXPECT_EQ(events, c.events);
    EXPECT_EQ(box.get_state(), c.end);
  }
}

TEST(CheckBoxTest, EnterAndLeftClickToggleNothingElseDoes) {
  CheckBox box{CheckBox::init};
  Recorder recorder{box};
  box.key_press(Key::Enter);
  EXPECT_EQ(box.get_state(), State::Checked);
  // Anywhere in the box.
  box.mouse_press(Mouse{{3, 0}, Mouse::Button::Left, {}});
  EXPECT_EQ(box.get_state(), State::Unchecked);
  EXPECT_EQ(recorder.events, (std::vector<std::string>{"checked", "unchecked"}));

  box.key_press(Key::Space);
  box.key_press(dalk::key(U'x'));
  box.key_press(Key::Enter | dalk::Mod::Shift);
  box.mouse_press(Mouse{{0, 0}, Mouse::Button::Right, {}});
  box.mouse_press(Mouse{{0, 0}, Mouse::Button::Middle, {}});
  box.mouse_wheel(Mouse{{0, 0}, Mouse::Button::ScrollUp, {}});
  box.mouse_wheel(Mouse{{0, 0}, Mouse::Button::ScrollDown, {}});
  box.mouse_release(Mouse{{0, 0}, Mouse::Button::Left, {}});
  EXPECT_EQ(box.get_state(), State::Unchecked);
  EXPECT_EQ(recorder.events.size(), 2U);
}

TEST_F(CheckBoxPaintTest, ShowsTheGlyphsOfTheCurrentStateInTheTopRow) {
  CheckBox box{CheckBox::init};
  EXPECT_EQ(paint(box, {4, 2}), (Rows{"[ ]..", "....."}));
  EXPECT_EQ(cell(1).brush, Brush{});
  box.focus_in();
  box.key_press(Key::Enter);
  EXPECT_EQ(paint(box, {4, 2}), (Rows{"[X]..", "....."}));
  for (int x = 0; x < 3; ++x) {
    EXPECT_EQ(cell(x).brush, bold) << x;
  }
}

TEST_F(CheckBoxPaintTest, FocusBrushReplacesTheGlyphsOwnBrushes) {
  CheckBox::Options options;
  options.unchecked_glyphs = {Glyph{U'<', red_on_green}, Glyph{U'>', red_on_green}};
  CheckBox box{options};
  box.focus_in();
  EXPECT_EQ(paint(box, {4, 1}), (Rows{"<>...", "....."}));
  EXPECT_EQ(cell(0), (Glyph{U'<', bold}));
  EXPECT_EQ(cell(1), (Glyph{U'>', bold}));
  // Only the painted copy changed: the glyphs keep their brushes for later paints.
  EXPECT_EQ(box.unchecked_glyphs[0].brush, red_on_green);

  box.focus_out();
  paint(box, {4, 1});
  EXPECT_EQ(cell(0), (Glyph{U'<', red_on_green}));
  EXPECT_EQ(cell(1), (Glyph{U'>', red_on_green}));
}

TEST_F(CheckBoxPaintTest, NarrowAndEmptyCanvases) {
  CheckBox box{CheckBox::init};
  EXPECT_EQ(paint(box, {2, 1}), (Rows{"[ ...", "....."}));
  buffer.fill(Glyph{U'.', {}});
  EXPECT_EQ(paint(box, {4, 0}), (Rows{".....", "....."}));
  EXPECT_EQ(paint(box, {0, 3}), (Rows{".....", "....."}));
}

TEST_F(CheckBoxPaintTest, EmptyGlyphVectorsPaintNothingButStillToggle) {
  CheckBox box{CheckBox::Options{State::Unchecked, {}, {}, bold, vn::FocusPolicy::Strong}};
  Recorder recorder{box};
  box.focus_in();
  EXPECT_EQ(paint(box, {4, 1}), (Rows{".....", "....."}));
  box.toggle();
  EXPECT_EQ(box.get_state(), State::Checked);
  EXPECT_EQ(paint(box, {4, 1}), (Rows{".....", "....."}));
  EXPECT_EQ(recorder.events, std::vector<std::string>{"checked"});
}

TEST_F(CheckBoxPaintTest, ChangedGlyphsShowAtTheNextPaint) {
  CheckBox box{CheckBox::init};
  box.unchecked_glyphs = dalk::detail::utf32_to_glyphs(U"( )");
  EXPECT_EQ(paint(box, {4, 1}), (Rows{"( )..", "....."}));
}

}  // namespace
