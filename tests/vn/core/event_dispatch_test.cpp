#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <vn/vn.hpp>

namespace {

using Result = std::optional<std::optional<vn::QuitRequest>>;

// Handled, without a quit request.
bool continues(Result const& result) {
  return result.has_value() && !result->has_value();
}

// Records every handler call; a key press of 'q' asks to quit with code 5.
struct RecordingApp {
  std::optional<vn::QuitRequest> handle_key_press(dalk::Key key) {
    calls.push_back("key_press " + std::to_string(static_cast<std::uint32_t>(key)));
    if (key == dalk::key(U'q')) {
      return vn::QuitRequest{5};
    }
    return std::nullopt;
  }
  std::optional<vn::QuitRequest> handle_key_release(dalk::Key) { return record("key_release"); }
  std::optional<vn::QuitRequest> handle_mouse_press(dalk::Mouse m) {
    return record("mouse_press " + std::to_string(m.at.x) + "," + std::to_string(m.at.y));
  }
  std::optional<vn::QuitRequest> handle_mouse_release(dalk::Mouse) {
    return record("mouse_release");
  }
  std::optional<vn::QuitRequest> handle_mouse_wheel(dalk::Mouse) { return record("mouse_wheel"); }
  std::optional<vn::QuitRequest> handle_mouse_move(dalk::Mouse) { return record("mouse_move"); }
  std::optional<vn::QuitRequest> handle_resize(dalk::Area area) {
    // The paint grid already has the new size and is blank.
    bool blank = true;
    for (dalk::Glyph const& glyph : vn::Terminal::changes.glyphs) {
      blank = blank && glyph == dalk::Glyph{};
    }
    return record("resize " + std::to_string(area.width) + "x" + std::to_string(area.height) +
                  (vn::Terminal::changes.area == area && blank ? " ready" : " stale"));
  }
  std::optional<vn::QuitRequest> handle_timer(int id) {
    return record("timer " + std::to_string(id));
  }
  std::optional<vn::QuitRequest> handle_paste(std::string_view text) {
    return record("paste " + std::string{text});
  }
  std::optional<vn::QuitRequest> handle_focus(bool focused) {
    return record(focused ? "focus in" : "focus out");
  }

  std::optional<vn::QuitRequest> record(std::string call) {
    calls.push_back(std::move(call));
    return std::nullopt;
  }

  std::vector<std::string> calls;
};

// Handles key presses only.
struct KeysOnlyApp {
  std::optional<vn::QuitRequest> handle_key_press(dalk::Key) {
    ++presses;
    return std::nullopt;
  }
  int presses = 0;
};

TEST(ApplyEventTest, EachAlternativeReachesItsHandler) {
  RecordingApp app;
  dalk::Mouse const mouse{{4, 2}, dalk::Mouse::Button::Left, {}};
  vn::Terminal::changes = vn::ScreenBuffer{{2, 2}};
  vn::Terminal::changes[{1, 1}].symbol = U'x';

  std::vector<vn::Event> const events = {dalk::KeyPress{dalk::key(U'a')},
                                         dalk::KeyRelease{dalk::key(U'a')},
                                         dalk::MousePress{mouse},
                                         dalk::MouseRelease{mouse},
                                         dalk::MouseWheel{mouse},
                                         dalk::MouseMove{mouse},
                                         dalk::Resize{{5, 3}},
                                         vn::event::Timer{8},
                                         dalk::Paste{"pasted"},
                                         dalk::Focus{false},
                                         dalk::Focus{true}};
  for (vn::Event const& event : events) {
    EXPECT_TRUE(continues(vn::apply_event(event, app)));
  }
  EXPECT_EQ(app.calls, (std::vector<std::string>{"key_press 97", "key_release", "mouse_press 4,2",
                                                 "mouse_release", "mouse_wheel", "mouse_move",
                                                 "resize 5x3 ready", "timer 8", "paste pasted",
                                                 "focus out", "focus in"}));
}

TEST(ApplyEventTest, QuitRequests) {
  RecordingApp app;
  Result const quit_by_key = vn::apply_event(dalk::KeyPress{dalk::key(U'q')}, app);
  ASSERT_TRUE(quit_by_key && *quit_by_key);
  EXPECT_EQ((*quit_by_key)->return_code, 5);

  Result const interrupt = vn::apply_event(vn::event::Interrupt{}, app);
  ASSERT_TRUE(interrupt && *interrupt);
  EXPECT_EQ((*interrupt)->return_code, 1);

  Result const custom = vn::apply_event(
      vn::event::Custom{[]() -> std::optional<vn::QuitRequest> { return vn::QuitRequest{7}; }},
      app);
  ASSERT_TRUE(custom && *custom);
  EXPECT_EQ((*custom)->return_code, 7);

  EXPECT_TRUE(continues(
      vn::apply_event(vn::event::Custom{[] { return std::optional<vn::QuitRequest>{}; }}, app)));
  EXPECT_THROW(vn::apply_event(vn::event::Custom{}, app), std::bad_function_call);
  EXPECT_EQ(app.calls.size(), 1U);
}

TEST(ApplyEventTest, MissingHandlerGivesEmptyResult) {
  KeysOnlyApp app;
  EXPECT_TRUE(continues(vn::apply_event(dalk::KeyPress{dalk::Key::Enter}, app)));
  EXPECT_FALSE(vn::apply_event(vn::event::Timer{1}, app).has_value());
  EXPECT_FALSE(vn::apply_event(dalk::MouseMove{}, app).has_value());
  EXPECT_FALSE(vn::apply_event(dalk::Paste{"x"}, app).has_value());
  EXPECT_FALSE(vn::apply_event(dalk::Focus{true}, app).has_value());
  // The paint grid follows the terminal even so.
  EXPECT_FALSE(vn::apply_event(dalk::Resize{{6, 1}}, app).has_value());
  EXPECT_EQ(vn::Terminal::changes.area, (dalk::Area{6, 1}));
  EXPECT_EQ(vn::Terminal::changes.glyphs.size(), 6U);
  EXPECT_EQ(app.presses, 1);
}

// Records the sizes its resize handler gets.
struct ResizeApp {
  std::optional<vn::QuitRequest> handle_resize(dalk::Area area) {
    areas.push_back(area);
    return std::nullopt;
  }
  std::vector<dalk::Area> areas;
};

TEST(ApplyEventTest, ResizeShapesTheGivenGridAndCountsNegativeExtentsAsZero) {
  ResizeApp app;
  vn::Terminal::changes = vn::ScreenBuffer{{2, 2}};
  vn::ScreenBuffer grid{{3, 1}};
  grid[{0, 0}].symbol = U'x';

  EXPECT_TRUE(continues(vn::apply_event(dalk::Resize{{4, 2}}, app, grid)));
  EXPECT_EQ(grid.area, (dalk::Area{4, 2}));
  EXPECT_EQ(grid.glyphs, std::vector<dalk::Glyph>(8));
  EXPECT_EQ(vn::Terminal::changes.area, (dalk::Area{2, 2}));

  EXPECT_TRUE(continues(vn::apply_event(dalk::Resize{{-3, 2}}, app, grid)));
  EXPECT_EQ(grid.area, (dalk::Area{0, 2}));
  EXPECT_TRUE(grid.glyphs.empty());
  EXPECT_TRUE(continues(vn::apply_event(dalk::Resize{{5, -1}}, app)));
  EXPECT_EQ(vn::Terminal::changes.area, (dalk::Area{5, 0}));
  EXPECT_EQ(app.areas, (std::vector<dalk::Area>{{4, 2}, {0, 2}, {5, 0}}));
}

TEST(ConcurrentQueueTest, KeepsOrderAndWakesWaitingConsumer) {
  vn::ConcurrentQueue<int> queue;
  queue.enqueue(1);
  queue.enqueue(2);
  EXPECT_EQ(queue.pop(), 1);
  EXPECT_EQ(queue.pop(), 2);

  auto consumer = std::async(std::launch::async, [&] { return queue.pop(); });
  EXPECT_EQ(consumer.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
  std::jthread producer{[&] { queue.enqueue(3); }};
  bool const woke = consumer.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
  if (!woke) {
    queue.enqueue(0);  // lets the consumer end, so the test fails instead of hanging
  }
  ASSERT_TRUE(woke);
  EXPECT_EQ(consumer.get(), 3);
}

}  // namespace
