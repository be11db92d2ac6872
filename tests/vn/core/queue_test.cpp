// The event queue's bound and coalescing: producers that can wait are held at the bound, resizes
// and timer ticks coalesce, quits go ahead, and vn::post waits only for a running loop on
// another thread.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <optional>
#include <thread>
#include <vn/vn.hpp>

#include "support/process.hpp"
#include "support/pty.hpp"

namespace {

using namespace std::chrono_literals;
using Queue = vn::ConcurrentQueue<int>;

std::optional<int> by_tens(int const& item) {
  return item >= 10 ? std::optional<int>{item / 10} : std::nullopt;
}

std::vector<int> drain(Queue& queue) {
  std::vector<int> items;
  while (auto item = queue.pop_for(0ms)) {
    items.push_back(*item);
  }
  return items;
}

TEST(BoundedQueueTest, WaitingProducersAreHeldAtTheBoundOthersPass) {
  Queue queue{4};
  for (int i = 1; i <= 4; ++i) {
    ASSERT_TRUE(queue.enqueue_within(i, 0ms));
  }
  int item = 5;
  auto const start = std::chrono::steady_clock::now();
  EXPECT_FALSE(queue.enqueue_within(item, 30ms));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 30ms);
  EXPECT_EQ(item, 5);  // left as it was
  queue.enqueue(6);
  queue.enqueue_front(0);
  EXPECT_EQ(drain(queue), (std::vector<int>{0, 1, 2, 3, 4, 6}));
}

TEST(BoundedQueueTest, WaitingProducerGoesOnOnceHalfIsDrained) {
  Queue queue{4};
  for (int i = 1; i <= 4; ++i) {
    queue.enqueue(i);
  }
  auto producer = std::async(std::launch::async, [&] {
    int item = 5;
    return queue.enqueue_within(item, 10s);
  });
  EXPECT_EQ(producer.wait_for(50ms), std::future_status::timeout);
  EXPECT_EQ(queue.pop(), 1);
  EXPECT_EQ(producer.wait_for(50ms), std::future_status::timeout);  // until half is drained
  EXPECT_EQ(queue.pop(), 2);
  ASSERT_EQ(producer.wait_for(10s), std::future_status::ready);
  EXPECT_TRUE(producer.get());
  EXPECT_EQ(drain(queue), (std::vector<int>{3, 4, 5}));
}

TEST(BoundedQueueTest, ReplacingTakesTheQueuedOnesPlaceEvenWhenFull) {
  Queue queue{3};
  auto const is_big = [](int const& queued) { return queued >= 100; };
  for (int item : {1, 100, 2}) {
    ASSERT_TRUE(item == 100 ? queue.enqueue_replacing_within(item, 0ms, is_big)
                            : queue.enqueue_within(item, 0ms));
  }
  int newer = 200;
  EXPECT_TRUE(queue.enqueue_replacing_within(newer, 0ms, is_big));
  EXPECT_EQ(drain(queue), (std::vector<int>{1, 200, 2}));
}

TEST(BoundedQueueTest, UrgentItemsGoAheadInTheirOwnOrder) {
  Queue queue;
  queue.enqueue(1);
  queue.enqueue_front(10);
  queue.enqueue(2);
  queue.enqueue_front(20);
  EXPECT_EQ(queue.pop(), 10);
  queue.enqueue_front(30);
  EXPECT_EQ(drain(queue), (std::vector<int>{20, 30, 1, 2}));
}

TEST(BoundedQueueTest, OneItemOfAKeyAtATime) {
  Queue queue{Queue::default_capacity, by_tens};
  EXPECT_TRUE(queue.enqueue_once(10));
  EXPECT_FALSE(queue.enqueue_once(11));  // key 1 queued
  EXPECT_TRUE(queue.enqueue_once(20));
  EXPECT_TRUE(queue.enqueue_once(3));  // no key
  EXPECT_TRUE(queue.enqueue_once(3));
  EXPECT_EQ(queue.pop(), 10);
  EXPECT_TRUE(queue.enqueue_once(12));
  EXPECT_EQ(drain(queue), (std::vector<int>{20, 3, 3, 12}));
  // Cleared from the outside: nothing holds a key back.
  EXPECT_TRUE(queue.enqueue_once(10));
  {
    std::lock_guard lock{queue.mutex};
    queue.queue.clear();
  }
  EXPECT_TRUE(queue.enqueue_once(10));
}

bool posted_within(std::chrono::milliseconds limit) {
  auto poster = std::async(std::launch::async, [] { vn::post([] {}); });
  return poster.wait_for(limit) == std::future_status::ready;
}

TEST(PostTest, WaitsForRoomOnlyWhileALoopRunsOnAnotherThread) {
  auto const result = vennic::test::run_in_child([] {
    auto& queue = vn::Terminal::event_queue;
    for (std::size_t i = 0; i < queue.capacity; ++i) {
      vn::post([] {});
    }
    // Full, and no loop runs: queued at once.
    if (!posted_within(1s)) {
      return 1;
    }
    {
      vn::detail::EventLoopScope const loop;
      // The loop's own thread never waits.
      vn::post([] {});
      std::atomic<bool> done{false};
      std::jthread poster{[&] {
        vn::post([] {});
        done = true;
      }};
      std::this_thread::sleep_for(100ms);
      if (done) {
        return 2;
      }
      while (queue.size() > queue.capacity / 2) {
        static_cast<void>(queue.pop());
      }
      poster.join();
    }
    return 0;
  });
  EXPECT_TRUE(result.exited && result.exit_status == 0) << result.exit_status << result.output;
}

TEST(QueueCoalescingTest, ATimersTickIsQueuedOnceAndQuitGoesAhead) {
  auto const result = vennic::test::run_in_child([] {
    auto& queue = vn::Terminal::event_queue;
    vn::Timer fast{1ms, true};
    std::this_thread::sleep_for(100ms);
    fast.stop();
    std::this_thread::sleep_for(50ms);  // past the thread's last look at its stop request
    vn::quit(4);
    std::size_t ticks = 0;
    bool quit_first = false;
    for (bool first = true; auto event = queue.pop_for(0ms); first = false) {
      if (std::holds_alternative<vn::event::Timer>(*event)) {
        ++ticks;
      } else if (first) {
        auto& custom = std::get<vn::event::Custom>(*event);
        quit_first = custom.function().value_or(vn::QuitRequest{0}).return_code == 4;
      }
    }
    return ticks == 1 && quit_first ? 0 : 1;
  });
  EXPECT_TRUE(result.exited && result.exit_status == 0) << result.output;
}

TEST(QueueCoalescingTest, ResizesCoalesceToTheLatestAndStopEndsAWaitingInputThread) {
  auto child = vennic::test::PtyChild::start(
      [] {
        auto& queue = vn::Terminal::event_queue;
        std::string report;
        auto const started = std::chrono::steady_clock::now();
        {
          vn::Terminal terminal{};
          // Nothing takes events: input fills the queue, then the thread waits.
          std::fputs("started\n", stderr);
          vennic::test::wait_until([&] { return queue.size() >= queue.capacity; });
          report = "full " + std::to_string(queue.size());
        }
        auto const ended = std::chrono::steady_clock::now() - started;
        std::size_t resizes = 0;
        dalk::Area last{};
        while (auto event = queue.pop_for(0ms)) {
          if (auto* resize = std::get_if<dalk::Resize>(&*event)) {
            ++resizes;
            last = resize->area;
          }
        }
        std::fprintf(stderr, "%s, %zu resize %dx%d, %s\nend of report\n", report.c_str(), resizes,
                     last.width, last.height, ended < 5s ? "prompt" : "slow");
        return 0;
      },
      10, 3);
  ASSERT_TRUE(child.wait_for_output("started"));
  for (int width = 11; width <= 20; ++width) {
    child.set_size(width, 4, true);
  }
  child.read_for(200ms);
  child.write(std::string(3000, 'a'));
  ASSERT_TRUE(child.wait_for_output("end of report"));
  EXPECT_NE(child.output().find("full 1024, 1 resize 20x4, prompt"), std::string::npos)
      << child.output().substr(child.output().rfind("started"));
  EXPECT_TRUE(child.wait_exit().exited);
}

}  // namespace
