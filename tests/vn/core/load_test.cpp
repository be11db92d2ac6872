// The event queue under load: four threads post custom events while timers tick and keys
// arrive on the pty. Every event must reach the loop exactly once and in its producer's order,
// and the memory the queue took must come back after each round. The loop runs in a child on a
// pseudo-terminal; it reports through a pipe.
#include <malloc.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>
#include <vn/vn.hpp>

#include "support/pty.hpp"
#include "support/sanitizers.hpp"

using namespace std::chrono_literals;
using vennic::test::PtyChild;

namespace {

constexpr int producers = 4;
constexpr int events_per_producer = 50'000;
constexpr long events_per_round = long{producers} * events_per_producer;

// Loop-thread state: the next sequence number expected from each producer.
std::array<long, producers> next_expected{};
bool out_of_order = false;
std::atomic<long> delivered{0};

struct LoadApp {
  std::optional<vn::QuitRequest> handle_key_press(dalk::Key) {
    ++keys;
    return std::nullopt;
  }
  std::optional<vn::QuitRequest> handle_timer(int) {
    ++ticks;
    return std::nullopt;
  }
  std::optional<vn::QuitRequest> handle_resize(dalk::Area) { return std::nullopt; }
  std::optional<dalk::Point> handle_paint(vn::Canvas canvas) {
    // A tick may come ahead of the first Resize, while the grid is still empty.
    if (canvas.size.width == 0 || canvas.size.height == 0) {
      return std::nullopt;
    }
    canvas[{0, 0}].symbol = static_cast<char32_t>(U'0' + ticks % 10);
    return std::nullopt;
  }
  long keys = 0;
  long ticks = 0;
};

void produce(int producer, long first, long count) {
  for (long seq = first; seq < first + count; ++seq) {
    // Two ints: the function object fits std::function's inline storage.
    vn::Terminal::event_queue.enqueue(
        vn::event::Custom{[producer, seq]() -> std::optional<vn::QuitRequest> {
          auto& expected = next_expected[static_cast<std::size_t>(producer)];
          if (seq != expected) {
            out_of_order = true;
          }
          expected = seq + 1;
          delivered.fetch_add(1, std::memory_order_relaxed);
          return std::nullopt;
        }});
  }
}

long resident_kib() {
  std::ifstream statm{"/proc/self/statm"};
  long size = 0;
  long resident = 0;
  statm >> size >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

struct Round {
  long resident_kib = 0;
  long heap_in_use = 0;
};

// The child: runs the loop with two timers, drives the rounds from a thread of its own and
// writes a report line to `report_fd` at the end.
int run_rounds(int rounds, int report_fd) {
  // One allocator arena for every thread: with one per producer, how much each arena keeps
  // depends on which thread happened to take which arena in which round.
  mallopt(M_ARENA_MAX, 1);
  std::vector<Round> measured;
  bool all_delivered = true;
  LoadApp app;
  {
    vn::Terminal terminal{dalk::MouseMode::Off};
    vn::Timer fast{1ms, true};
    vn::Timer slow{7ms, true};
    std::thread driver{[&] {
      for (int round = 0; round < rounds && all_delivered; ++round) {
        std::vector<std::thread> threads;
        for (int p = 0; p < producers; ++p) {
          threads.emplace_back(produce, p, long{round} * events_per_producer,
                               long{events_per_producer});
        }
        for (auto& thread : threads) {
          thread.join();
        }
        long const target = (round + 1) * events_per_round;
        auto const deadline = std::chrono::steady_clock::now() + 240s;
        while (delivered.load() < target && std::chrono::steady_clock::now() < deadline) {
          std::this_thread::sleep_for(2ms);
        }
        all_delivered = delivered.load() == target;
        // How deep the queue got depends on scheduling, and the allocator keeps the freed
        // nodes of the deepest round for reuse: handing them back first makes resident memory
        // show what the process still holds.
        malloc_trim(0);
        measured.push_back({resident_kib(), static_cast<long>(mallinfo2().uordblks)});
      }
      vn::Terminal::event_queue.enqueue(
          vn::event::Custom{[]() -> std::optional<vn::QuitRequest> { return vn::QuitRequest{0}; }});
    }};
    vn::process_events(terminal, app);
    driver.join();
  }
  std::ostringstream report;
  report << "delivered " << delivered.load() << " in_order " << !out_of_order << " complete "
         << all_delivered;
  for (std::size_t p = 0; p < next_expected.size(); ++p) {
    report << " next" << p << " " << next_expected[p];
  }
  report << " keys " << app.keys << " ticks " << app.ticks << " memory";
  for (auto const& round : measured) {
    report << " " << round.resident_kib << "/" << round.heap_in_use;
  }
  report << "\n";
  std::string const text = report.str();
  return ::write(report_fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) ? 0 : 1;
}

struct Report {
  long delivered = 0;
  bool in_order = false;
  bool complete = false;
  std::array<long, producers> next{};
  long keys = 0;
  long ticks = 0;
  std::vector<Round> rounds;
  std::string text;
};

Report run_load(int rounds) {
  int report_pipe[2];
  EXPECT_EQ(pipe(report_pipe), 0);
  auto child = PtyChild::start(
      [&] {
        close(report_pipe[0]);
        return run_rounds(rounds, report_pipe[1]);
      },
      8, 2);
  close(report_pipe[1]);
  // Keys arrive all along; the frames the child writes are read and dropped.
  auto const deadline = std::chrono::steady_clock::now() + 600s;
  while (child.running() && std::chrono::steady_clock::now() < deadline) {
    child.read_for(20ms);
    child.discard_output(4096);
    if (child.running()) {
      try {
        child.write("ab");
      } catch (std::runtime_error const&) {
        // The child closed the terminal while ending.
      }
    }
  }
  auto const status = child.wait_exit(1s);
  EXPECT_TRUE(status.exited && status.exit_status == 0)
      << "exited " << status.exited << " status " << status.exit_status << " signal "
      << status.signal << "\n"
      << child.output();

  Report report;
  char buffer[4096];
  for (ssize_t n = 0; (n = read(report_pipe[0], buffer, sizeof buffer)) > 0;) {
    report.text.append(buffer, static_cast<std::size_t>(n));
  }
  close(report_pipe[0]);
  std::istringstream in{report.text};
  std::string word;
  in >> word >> report.delivered >> word >> report.in_order >> word >> report.complete;
  for (auto& next : report.next) {
    in >> word >> next;
  }
  in >> word >> report.keys >> word >> report.ticks >> word;
  for (std::string pair; in >> pair;) {
    auto const slash = pair.find('/');
    report.rounds.push_back({std::stol(pair.substr(0, slash)), std::stol(pair.substr(slash + 1))});
  }
  return report;
}

void expect_every_event_once_in_order(Report const& report, int rounds) {
  EXPECT_TRUE(report.complete) << report.text;
  EXPECT_TRUE(report.in_order) << report.text;
  EXPECT_EQ(report.delivered, rounds * events_per_round) << report.text;
  for (long next : report.next) {
    EXPECT_EQ(next, long{rounds} * events_per_producer) << report.text;
  }
  // The other producers were heard from while the custom events poured in.
  EXPECT_GT(report.keys, 0) << report.text;
  EXPECT_GT(report.ticks, 0) << report.text;
}

TEST(QueueLoadTest, EveryEventDeliveredOnceAndInOrderPerProducer) {
  Report const report = run_load(1);
  expect_every_event_once_in_order(report, 1);
}

TEST(QueueLoadTest, MemoryReturnsAfterEveryRound) {
  if (vennic::test::memory_sanitized) {
    GTEST_SKIP() << "resident memory under ASan or TSan measures the sanitizer's own pools";
  }
  constexpr int rounds = 10;
  Report const report = run_load(rounds);
  expect_every_event_once_in_order(report, rounds);
  ASSERT_EQ(report.rounds.size(), static_cast<std::size_t>(rounds)) << report.text;
  // Round 1 warms up the allocator; from round 2 on nothing may pile up.
  Round const second = report.rounds[1];
  Round const last = report.rounds.back();
  EXPECT_LT(last.heap_in_use - second.heap_in_use, 1024L * 1024) << report.text;
  EXPECT_LT(last.resident_kib - second.resident_kib, 4L * 1024) << report.text;
}

}  // namespace
