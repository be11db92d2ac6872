#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vn/vn.hpp>

#include "support/process.hpp"

using namespace std::chrono_literals;
using vennic::test::run_in_child;

namespace {

// Timer threads may still be enqueueing: the queue is emptied under its lock.
void clear_queue() {
  std::lock_guard lock{vn::Terminal::event_queue.mutex};
  vn::Terminal::event_queue.queue.clear();
}

// The id of the next timer tick in the queue, skipping nothing; -1 if none came in time.
int next_tick(std::chrono::milliseconds limit) {
  auto event = vn::Terminal::event_queue.pop_for(limit);
  if (!event || !std::holds_alternative<vn::event::Timer>(*event)) {
    return -1;
  }
  return std::get<vn::event::Timer>(*event).id;
}

bool thread_running(int id) {
  return vn::Terminal::timers.at(id).thread.joinable();
}

void expect_child_passes(std::function<int()> const& body) {
  auto const result = run_in_child(body, 30s);
  EXPECT_TRUE(result.exited) << result.output;
  EXPECT_EQ(result.exit_status, 0) << result.output;
}

}  // namespace

TEST(TimerTest, IdsStartAtZeroAndCount) {
  expect_child_passes([] {
    vn::Timer first{100ms, false};
    vn::Timer second{100ms, false};
    return first.id() == 0 && second.id() == 1 && vn::Timer::next_id_ == 2 ? 0 : 1;
  });
}

TEST(TimerTest, NotLaunchedStartsNoThread) {
  expect_child_passes([] {
    vn::Timer timer{50ms, false};
    if (thread_running(timer.id()) || timer.is_running()) {
      return 1;
    }
    // No tick arrives while the timer is idle.
    return next_tick(200ms) == -1 ? 0 : 2;
  });
}

TEST(TimerTest, TicksArriveWithTheTimersId) {
  expect_child_passes([] {
    vn::Timer other{1000ms, false};
    vn::Timer timer{100ms, true};
    auto const start = std::chrono::steady_clock::now();
    for (int i = 0; i < 3; ++i) {
      if (next_tick(5s) != timer.id()) {
        return 1;
      }
    }
    // Three ticks of a fixed-rate 100 ms timer cannot come before 300 ms.
    return std::chrono::steady_clock::now() - start >= 290ms ? 0 : 2;
  });
}

TEST(TimerTest, StopThenStartRestartsThePeriod) {
  expect_child_passes([] {
    vn::Timer timer{300ms, true};
    timer.stop();
    if (timer.is_running()) {
      return 1;
    }
    std::this_thread::sleep_for(100ms);
    clear_queue();
    auto const restart = std::chrono::steady_clock::now();
    timer.start();
    if (next_tick(5s) != timer.id()) {
      return 2;
    }
    // The first tick after start() comes one whole period after it.
    return std::chrono::steady_clock::now() - restart >= 290ms ? 0 : 3;
  });
}

TEST(TimerTest, DestroyingARunningTimerStopsItsThread) {
  expect_child_passes([] {
    int id = 0;
    {
      vn::Timer timer{20ms, true};
      id = timer.id();
    }
    // The thread notices the stop within its 16 ms check interval.
    std::this_thread::sleep_for(200ms);
    clear_queue();
    if (next_tick(200ms) != -1) {
      return 1;
    }
    return vn::Terminal::timers.at(id).thread.get_stop_token().stop_requested() ? 0 : 2;
  });
}

TEST(TimerTest, MoveAssignmentStopsOnlyTheTargetsThread) {
  expect_child_passes([] {
    vn::Timer target{20ms, true};
    vn::Timer source{20ms, true};
    int const target_id = target.id();
    int const source_id = source.id();
    target = std::move(source);
    if (source.is_running() || !target.is_running() || target.id() != source_id) {
      return 1;
    }
    if (!vn::Terminal::timers.at(target_id).thread.get_stop_token().stop_requested()) {
      return 2;
    }
    if (vn::Terminal::timers.at(source_id).thread.get_stop_token().stop_requested()) {
      return 3;
    }
    // Ticks go on under the source's id, now owned by the target.
    std::this_thread::sleep_for(100ms);
    clear_queue();
    return next_tick(2s) == source_id ? 0 : 4;
  });
}

TEST(TimerTest, MovedFromTimerDestructionDoesNothing) {
  expect_child_passes([] {
    vn::Timer moved{20ms, true};
    int const id = moved.id();
    {
      vn::Timer taken{std::move(moved)};
      vn::Timer gone{std::move(moved)};
    }
    // Only `taken` stopped the thread; moved and gone were not running.
    return vn::Terminal::timers.at(id).thread.get_stop_token().stop_requested() ? 0 : 1;
  });
}

TEST(TimerTest, MissedTicksAreSkippedAndTheRhythmKept) {
  using time_point = std::chrono::steady_clock::time_point;
  struct Row {
    std::chrono::milliseconds due, now, period, expected;
  };
  Row const rows[] = {
      {100ms, 100ms, 100ms, 200ms},        // on time
      {100ms, 199ms, 100ms, 200ms},        // late, but before the next tick
      {100ms, 200ms, 100ms, 300ms},        // the next tick is due already: skipped
      {100ms, 60'100ms, 100ms, 60'200ms},  // stopped for a minute: one tick, not 600
      {30ms, 1000ms, 30ms, 1020ms},        // the first tick of the rhythm after now
      {5ms, 5ms, 0ms, 6ms},                // below 1 ms: 1 ms
      {5ms, 7ms, -3ms, 8ms},
  };
  for (Row const& row : rows) {
    EXPECT_EQ(vn::TimerThread::following_tick(time_point{row.due}, time_point{row.now}, row.period),
              time_point{row.expected})
        << row.due.count() << " " << row.now.count() << " " << row.period.count();
  }
}

TEST(TimerTest, PeriodsBelowAMillisecondTickEveryMillisecond) {
  for (auto const period : {0ms, -5ms}) {
    std::atomic<int> ticks{0};
    auto const start = std::chrono::steady_clock::now();
    {
      vn::TimerThread thread{period, [&ticks] { ++ticks; }};
      std::this_thread::sleep_for(100ms);
    }
    auto const elapsed = std::chrono::steady_clock::now() - start;
    // At most one tick a millisecond; unclamped, it was millions.
    EXPECT_GE(ticks.load(), 1);
    EXPECT_LE(ticks.load(), std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
  }
}

TEST(TimerTest, ProcessExitsCleanlyWithTimersRunning) {
  auto const result = run_in_child(
      [] {
        static vn::Timer fast{1ms, true};
        vn::Timer slow{5ms, true};
        std::this_thread::sleep_for(50ms);
        // Returning from the child body leaves both running; exit() runs static destructors.
        std::exit(0);
        return 0;
      },
      30s);
  EXPECT_TRUE(result.exited) << result.output;
  EXPECT_EQ(result.exit_status, 0) << result.output;
}
