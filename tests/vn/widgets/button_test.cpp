#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <limits>
#include <string>
#include <variant>
#include <vector>

#include <vn/vn.hpp>

#include "support/process.hpp"
#include "support/screen_text.hpp"

using namespace std::chrono_literals;

namespace {

using dalk::Area;
using dalk::Brush;
using dalk::Key;
using dalk::Mouse;
using dalk::TrueColor;
using dalk::XColor;
using Rows = std::vector<std::string>;
using vennic::test::screen_rows;

Mouse button_event(Mouse::Button button) {
  return Mouse{{0, 0}, button, {}};
}

struct Counts {
  int pressed = 0;
  int released = 0;
};

void count_signals(vn::BasicButton& button, Counts& counts) {
  button.pressed.connect([&counts] { ++counts.pressed; });
  button.released.connect([&counts] { ++counts.released; });
}

// Fade timers are process-wide and their threads feed the global event queue, so every test
// that starts one runs in a child; the child's failures are printed into its output.
void expect_in_child(std::function<void()> const& body) {
  auto const result = vennic::test::run_in_child(
      [&body] {
        body();
        return ::testing::Test::HasFailure() ? 1 : 0;
      },
      30s);
  EXPECT_TRUE(result.exited) << result.output;
  EXPECT_EQ(result.exit_status, 0) << result.output;
}

vn::Button fade_button(std::chrono::milliseconds fade_in, std::chrono::milliseconds fade_out) {
  return vn::Button{{.decoration = vn::Fade{[](vn::Canvas, float) {}, fade_in, fade_out}}};
}

vn::Button::FadeInternal& fade_of(vn::Button& button) {
  return std::get<vn::Button::FadeInternal>(button.decoration);
}

bool stop_requested(vn::Button::FadeInternal const& fade) {
  return vn::Terminal::timers.at(fade.timer.id()).thread.get_stop_token().stop_requested();
}

// Ticks the fade's own timer n times and returns the progress after each tick.
std::vector<float> tick(vn::Button& button, int n) {
  std::vector<float> seen;
  for (int i = 0; i < n; ++i) {
    button.timer(fade_of(button).timer.id());
    seen.push_back(fade_of(button).progress);
  }
  return seen;
}

TEST(BasicButtonTest, EnterAndLeftClicksEmitNothingElseDoes) {
  vn::BasicButton button{vn::BasicButton::init};
  EXPECT_EQ(button.focus_policy, vn::FocusPolicy::Strong);
  Counts counts;
  count_signals(button, counts);
  for (auto const other : {Mouse::Button::Right, Mouse::Button::Middle}) {
    button.mouse_press(button_event(other));
    button.mouse_release(button_event(other));
  }
  for (Key const key : {Key::Space, Key::Tab, Key::Enter | dalk::Mod::Ctrl, dalk::key(U'\n')}) {
    button.key_press(key);
  }
  EXPECT_EQ(counts.pressed, 0);
  EXPECT_EQ(counts.released, 0);

  button.key_press(Key::Enter);
  EXPECT_EQ(counts.pressed, 1);
  EXPECT_EQ(counts.released, 0);
  button.mouse_press(button_event(Mouse::Button::Left));
  EXPECT_EQ(counts.pressed, 2);
  button.mouse_release(button_event(Mouse::Button::Left));
  EXPECT_EQ(counts.released, 1);
}

TEST(ButtonTest, DefaultsMatchInit) {
  vn::Button::Options const defaults{};
  EXPECT_EQ(vn::Button::init.label.text, "");
  EXPECT_EQ(vn::Button::init.label.align, vn::Align::Center);
  EXPECT_EQ(vn::Button::init.focus_policy, vn::FocusPolicy::Strong);
  EXPECT_EQ(vn::Button::init.size_policy, vn::SizePolicy::flex(1.0F));
  ASSERT_TRUE(std::holds_alternative<std::function<void(vn::Canvas)>>(vn::Button::init.decoration));
  EXPECT_TRUE(std::get<0>(vn::Button::init.decoration));
  EXPECT_TRUE(vn::Button::init.pressed_mod);
  EXPECT_TRUE(vn::Button::init.focused_mod);
  EXPECT_EQ(defaults.focus_policy, vn::Button::init.focus_policy);

  vn::Button button{vn::Button::init};
  EXPECT_EQ(button.focus_policy, vn::FocusPolicy::Strong);
  EXPECT_FALSE(button.is_pressed);
  EXPECT_FALSE(button.is_focused);
}

TEST(ButtonTest, DefaultButtonPaintsItsEmptyLabelAndEmits) {
  vn::ScreenBuffer buffer{Area{6, 3}};
  buffer.fill(dalk::Glyph{U'.', Brush{XColor::Red, XColor::Red, {}}});
  vn::Button button{{}};
  Counts counts;
  count_signals(button, counts);
  button.paint(vn::Canvas{buffer, {1, 1}, {4, 1}});
  EXPECT_EQ(screen_rows(buffer), (Rows{"......", "......", "......"}));
  EXPECT_EQ((buffer[{1, 1}].brush), Brush{});
  EXPECT_EQ((buffer[{0, 1}].brush), (Brush{XColor::Red, XColor::Red, {}}));

  button.key_press(Key::Enter);
  button.mouse_press(button_event(Mouse::Button::Left));
  button.mouse_release(button_event(Mouse::Button::Left));
  button.mouse_press(button_event(Mouse::Button::Right));
  button.mouse_release(button_event(Mouse::Button::Middle));
  EXPECT_EQ(counts.pressed, 2);
  EXPECT_EQ(counts.released, 1);
}

class ButtonPaintTest : public ::testing::Test {
 protected:
  Rows paint() {
    buffer.fill(dalk::Glyph{});
    button.paint(vn::Canvas{buffer, {0, 0}, {6, 1}});
    return screen_rows(buffer);
  }

  vn::ScreenBuffer buffer{Area{6, 1}};
  vn::Button button{{
      .label = {.text = "ok", .align = vn::Align::Left},
      .pressed_mod = [](vn::Label& l) { l.text += "P"; },
      .focused_mod =
          [](vn::Label& l) {
            l.text += "F";
            l.brush.foreground = XColor::Green;
          },
  }};
};

TEST_F(ButtonPaintTest, PressedLookOnlyWhileTheMouseHoldsTheButton) {
  EXPECT_EQ(paint(), Rows{"ok    "});
  button.mouse_press(button_event(Mouse::Button::Left));
  EXPECT_TRUE(button.is_pressed);
  EXPECT_EQ(paint(), Rows{"okP   "});
  button.mouse_release(button_event(Mouse::Button::Left));
  EXPECT_EQ(paint(), Rows{"ok    "});

  // Enter emits but does not hold the button down.
  button.key_press(Key::Enter);
  EXPECT_FALSE(button.is_pressed);
  EXPECT_EQ(paint(), Rows{"ok    "});
  // Other buttons leave the state alone.
  button.mouse_press(button_event(Mouse::Button::Right));
  EXPECT_EQ(paint(), Rows{"ok    "});
}

TEST_F(ButtonPaintTest, FocusedThenPressedOnTheSameLabel) {
  button.focus_in();
  EXPECT_TRUE(button.is_focused);
  EXPECT_EQ(paint(), Rows{"okF   "});
  EXPECT_EQ((buffer[{4, 0}].brush.foreground), dalk::Color{XColor::Green});
  button.mouse_press(button_event(Mouse::Button::Left));
  EXPECT_EQ(paint(), Rows{"okFP  "});
  // The modifications never reach the stored label.
  EXPECT_EQ(button.label.text, "ok");
  EXPECT_EQ(button.label.brush, Brush{});
  button.focus_out();
  EXPECT_EQ(paint(), Rows{"okP   "});
}

TEST_F(ButtonPaintTest, LabelChangesShowAtTheNextPaint) {
  button.label.text = "go";
  button.label.align = vn::Align::Right;
  EXPECT_EQ(paint(), Rows{"    go"});
}

TEST(ButtonDecorationTest, PlainDecorationPaintsOverTheLabel) {
  vn::ScreenBuffer buffer{Area{4, 1}};
  vn::Button button{{
      .label = {.text = "abcd"},
      .decoration = std::function<void(vn::Canvas)>{[](vn::Canvas c) {
        c[{0, 0}].symbol = U'[';
      }},
  }};
  button.paint(vn::Canvas{buffer, {0, 0}, {4, 1}});
  EXPECT_EQ(screen_rows(buffer), Rows{"[bcd"});
}

TEST(ButtonDecorationTest, EmptyDecorationsAndModsAreSkipped) {
  vn::ScreenBuffer buffer{Area{4, 1}};
  vn::Button plain{{.label = {.text = "ab"},
                    .decoration = std::function<void(vn::Canvas)>{},
                    .pressed_mod = {},
                    .focused_mod = {}}};
  plain.focus_in();
  plain.mouse_press(button_event(Mouse::Button::Left));
  plain.paint(vn::Canvas{buffer, {0, 0}, {4, 1}});
  EXPECT_EQ(screen_rows(buffer), Rows{" ab "});

  vn::Button faded{{.label = {.text = "cd"}, .decoration = vn::Fade{{}, 100ms, 100ms}}};
  faded.paint(vn::Canvas{buffer, {0, 0}, {4, 1}});
  EXPECT_EQ(screen_rows(buffer), Rows{" cd "});
}

TEST(ButtonDecorationTest, StartSelectOnPlainDecorationDoesNothing) {
  int const next_id = vn::Timer::next_id_;
  auto const timers = vn::Terminal::timers.size();
  vn::Button button{{}};
  button.start_select();
  button.mouse_enter();
  button.end_select();
  button.timer(0);
  EXPECT_TRUE(std::holds_alternative<std::function<void(vn::Canvas)>>(button.decoration));
  EXPECT_EQ(vn::Timer::next_id_, next_id);
  EXPECT_EQ(vn::Terminal::timers.size(), timers);
}

TEST(ButtonFadeTest, FadeStartsAtRestWithAStoppedThirtyMillisecondTimer) {
  vn::Button button = fade_button(100ms, 50ms);
  auto& fade = fade_of(button);
  EXPECT_EQ(fade.fade_in, 100ms);
  EXPECT_EQ(fade.fade_out, 50ms);
  EXPECT_EQ(fade.direction, 1);
  EXPECT_EQ(fade.progress, 0.0F);
  EXPECT_EQ(fade.timer.duration(), 30ms);
  EXPECT_FALSE(fade.timer.is_running());
  EXPECT_FALSE(vn::Terminal::timers.at(fade.timer.id()).thread.joinable());
}

TEST(ButtonFadeTest, ProgressSequencesAreExactInSinglePrecision) {
  expect_in_child([] {
    vn::Button hundred = fade_button(100ms, 100ms);
    hundred.start_select();
    EXPECT_TRUE(fade_of(hundred).timer.is_running());
    EXPECT_EQ(tick(hundred, 3), (std::vector<float>{0.3F, 0.6F, 0.90000004F}));
    EXPECT_TRUE(fade_of(hundred).timer.is_running());
    EXPECT_FALSE(stop_requested(fade_of(hundred)));
    EXPECT_EQ(tick(hundred, 1), std::vector<float>{1.0F});
    EXPECT_FALSE(fade_of(hundred).timer.is_running());
    EXPECT_TRUE(stop_requested(fade_of(hundred)));

    vn::Button ninety = fade_button(90ms, 90ms);
    ninety.mouse_enter();
    EXPECT_EQ(tick(ninety, 2), (std::vector<float>{0.33333334F, 0.6666667F}));
    EXPECT_TRUE(fade_of(ninety).timer.is_running());
    EXPECT_EQ(tick(ninety, 1), std::vector<float>{1.0F});
    EXPECT_FALSE(fade_of(ninety).timer.is_running());

    vn::Button sixty = fade_button(60ms, 60ms);
    sixty.focus_in();
    EXPECT_EQ(tick(sixty, 1), std::vector<float>{0.5F});
    EXPECT_TRUE(fade_of(sixty).timer.is_running());
    EXPECT_EQ(tick(sixty, 1), std::vector<float>{1.0F});
    EXPECT_FALSE(fade_of(sixty).timer.is_running());
  });
}

TEST(ButtonFadeTest, LeavingInMidFadeTurnsItRoundWithFadeOut) {
  expect_in_child([] {
    vn::Button button = fade_button(90ms, 60ms);
    button.mouse_enter();
    EXPECT_EQ(tick(button, 2), (std::vector<float>{0.33333334F, 0.6666667F}));
    button.mouse_leave();
    EXPECT_EQ(fade_of(button).direction, -1);
    // The running timer is kept, not restarted.
    EXPECT_TRUE(fade_of(button).timer.is_running());
    EXPECT_FALSE(stop_requested(fade_of(button)));
    // 0.6666667 - 30/60 in single precision, then cut off at 0.
    EXPECT_EQ(tick(button, 1), std::vector<float>{0.16666669F});
    EXPECT_TRUE(fade_of(button).timer.is_running());
    EXPECT_EQ(tick(button, 1), std::vector<float>{0.0F});
    EXPECT_FALSE(fade_of(button).timer.is_running());
    EXPECT_TRUE(stop_requested(fade_of(button)));
  });
}

TEST(ButtonFadeTest, TimerRestartsFromRestAndStopsAtTheEndAgain) {
  expect_in_child([] {
    vn::Button button = fade_button(60ms, 60ms);
    button.start_select();
    tick(button, 2);
    ASSERT_FALSE(fade_of(button).timer.is_running());
    // Resting at 1: selecting again restarts the timer, and the next tick finds the end.
    button.start_select();
    EXPECT_TRUE(fade_of(button).timer.is_running());
    EXPECT_FALSE(stop_requested(fade_of(button)));
    EXPECT_EQ(tick(button, 1), std::vector<float>{1.0F});
    EXPECT_FALSE(fade_of(button).timer.is_running());

    button.focus_out();
    EXPECT_FALSE(button.is_focused);
    EXPECT_TRUE(fade_of(button).timer.is_running());
    EXPECT_EQ(tick(button, 2), (std::vector<float>{0.5F, 0.0F}));
    EXPECT_FALSE(fade_of(button).timer.is_running());
  });
}

TEST(ButtonFadeTest, OnlyItsOwnTimerMovesTheFade) {
  expect_in_child([] {
    vn::Button button = fade_button(60ms, 60ms);
    button.start_select();
    int const own = fade_of(button).timer.id();
    button.timer(own + 1);
    button.timer(own - 1);
    EXPECT_EQ(fade_of(button).progress, 0.0F);
    button.timer(own);
    EXPECT_EQ(fade_of(button).progress, 0.5F);
  });
}

TEST(ButtonFadeTest, ZeroDurationJumpsToTheEnd) {
  expect_in_child([] {
    vn::Button button = fade_button(0ms, 0ms);
    button.start_select();
    EXPECT_EQ(tick(button, 1), std::vector<float>{1.0F});
    EXPECT_FALSE(fade_of(button).timer.is_running());
    button.end_select();
    EXPECT_EQ(tick(button, 1), std::vector<float>{0.0F});
    EXPECT_FALSE(fade_of(button).timer.is_running());
  });
}

TEST(ButtonFadeTest, FadePaintsWithTheCurrentProgress) {
  expect_in_child([] {
    std::vector<float> painted;
    vn::Button button{{.label = {.text = "x"},
                       .decoration = vn::Fade{[&painted](vn::Canvas c, float progress) {
                                                painted.push_back(progress);
                                                c[{0, 0}].symbol = U'*';
                                              },
                                              60ms, 60ms}}};
    vn::ScreenBuffer buffer{Area{3, 1}};
    button.paint(vn::Canvas{buffer, {0, 0}, {3, 1}});
    button.start_select();
    tick(button, 1);
    button.paint(vn::Canvas{buffer, {0, 0}, {3, 1}});
    EXPECT_EQ(painted, (std::vector<float>{0.0F, 0.5F}));
    EXPECT_EQ(screen_rows(buffer), Rows{"*x "});
  });
}

TEST(ButtonFadeTest, DestroyingAFadingButtonStopsItsTimer) {
  expect_in_child([] {
    int id = -1;
    {
      vn::Button button = fade_button(100ms, 100ms);
      button.start_select();
      id = fade_of(button).timer.id();
      EXPECT_FALSE(vn::Terminal::timers.at(id).thread.get_stop_token().stop_requested());
    }
    EXPECT_TRUE(vn::Terminal::timers.at(id).thread.get_stop_token().stop_requested());
  });
}

// Halves round away from zero, the ends give the end colours, extrapolation is clamped per
// channel (also far beyond the range of long), and NaN gives `from`.
TEST(GradientBlendTest, BlendsRoundsAndClamps) {
  struct Case {
    TrueColor from;
    TrueColor to;
    float t;
    TrueColor blended;
  };
  float const infinity = std::numeric_limits<float>::infinity();
  float const nan = std::numeric_limits<float>::quiet_NaN();
  for (Case const& c : std::vector<Case>{{{0, 0, 0}, {255, 255, 255}, 0.5F, {128, 128, 128}},
                                         {{255, 255, 255}, {0, 0, 0}, 0.5F, {128, 128, 128}},
                                         {{10, 20, 30}, {20, 20, 0}, 0.25F, {13, 20, 23}},
                                         {{12, 200, 99}, {250, 3, 99}, 0.0F, {12, 200, 99}},
                                         {{12, 200, 99}, {250, 3, 99}, 1.0F, {250, 3, 99}},
                                         {{100, 200, 50}, {200, 100, 50}, 2.0F, {255, 0, 50}},
                                         {{100, 200, 50}, {200, 100, 50}, -1.0F, {0, 255, 50}},
                                         {{0, 255, 7}, {255, 0, 7}, 1e30F, {255, 0, 7}},
                                         {{0, 255, 7}, {255, 0, 7}, infinity, {255, 0, 7}},
                                         {{1, 2, 3}, {4, 5, 6}, nan, {1, 2, 3}}}) {
    EXPECT_EQ(vn::gradient_blend(c.from, c.to, c.t), c.blended) << c.t;
  }
}

}  // namespace
