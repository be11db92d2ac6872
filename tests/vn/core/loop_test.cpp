// Ending the loop and running code on its thread from other threads, and function timers,
// through the test kit (which takes queued events as the loop does).
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vn/vn.hpp>

namespace {

using namespace std::chrono_literals;

TEST(LoopTest, PostedFunctionsRunOnTheHarnessThreadInOrder) {
  vn::Label label{vn::Label::init};
  vn::testing::Harness screen{label, {8, 1}};
  std::thread::id ran_on;
  std::jthread poster{[&] {
    vn::post([&] { label.text = "first"; });
    vn::post([&] {
      label.text += ",second";
      ran_on = std::this_thread::get_id();
    });
    vn::post({});
  }};
  poster.join();
  EXPECT_EQ(screen.run_queued(1s), std::nullopt);
  EXPECT_EQ(label.text, "first,second");
  EXPECT_EQ(ran_on, std::this_thread::get_id());
  EXPECT_EQ(screen.line(0), "first,se");
}

TEST(LoopTest, QuitFromAnotherThreadEndsWithItsCode) {
  vn::Label label{vn::Label::init};
  vn::testing::Harness screen{label, {8, 1}};
  std::jthread quitter{[] { vn::quit(7); }};
  quitter.join();
  vn::post([&] { label.text = "late"; });
  auto const request = screen.run_queued(1s);
  ASSERT_TRUE(request.has_value());
  EXPECT_EQ(request->return_code, 7);
  EXPECT_EQ(label.text, "");
}

TEST(LoopTest, FunctionTimersRepeatOrFireOnce) {
  vn::Label label{vn::Label::init};
  vn::testing::Harness screen{label, {8, 1}};
  int repeats = 0;
  int once = 0;
  vn::TimerHandle every = vn::every(1h, [&] { ++repeats; });
  vn::TimerHandle after = vn::after(1h, [&] { ++once; });
  for (int i = 0; i < 3; ++i) {
    screen.tick(every.id());
    screen.tick(after.id());
  }
  EXPECT_EQ(repeats, 3);
  EXPECT_EQ(once, 1);
  EXPECT_TRUE(every.is_running());
  EXPECT_FALSE(after.is_running());
  vn::TimerHandle moved = std::move(every);
  screen.tick(moved.id());
  EXPECT_EQ(repeats, 4);
  moved.stop();
  screen.tick(moved.id());
  EXPECT_EQ(repeats, 4);
}

TEST(LoopTest, FunctionTimerTicksArriveThroughTheQueue) {
  vn::Label label{vn::Label::init};
  vn::testing::Harness screen{label, {8, 1}};
  int ticks = 0;
  vn::TimerHandle timer = vn::every(10ms, [&] { ++ticks; });
  auto const limit = std::chrono::steady_clock::now() + 10s;
  while (ticks < 2 && std::chrono::steady_clock::now() < limit) {
    static_cast<void>(screen.run_queued(50ms));
  }
  EXPECT_GE(ticks, 2);
}

TEST(LoopTest, EachDispatcherRunsItsOwnFunctionTimers) {
  int ticks = 0;
  vn::TimerHandle early = vn::every(1h, [&] { ++ticks; });  // waits for the first harness
  vn::Label label{vn::Label::init};
  vn::testing::Harness first{label, {8, 1}}, second{label, {8, 1}};
  vn::TimerHandle late = vn::every(1h, [&] { ticks += 10; });  // the latest harness's
  for (int const id : {early.id(), late.id()}) {
    first.tick(id);
    second.tick(id);
  }
  EXPECT_EQ(ticks, 11);
}

}  // namespace
