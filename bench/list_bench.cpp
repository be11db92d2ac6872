// Paint time of the list against its length, and filtering a log of 50,000 rows into a data
// table and into a list, repaint included.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <vn/vn.hpp>

#include "benchmarks.hpp"
#include "support.hpp"

namespace bench {
namespace {

constexpr dalk::Area list_area{120, 40};

// Lists are kept across repetitions: the longest takes a while to fill.
vn::List& list_with_items(std::size_t count) {
  static std::map<std::size_t, std::unique_ptr<vn::List>> lists;
  auto& list = lists[count];
  if (!list) {
    list = std::make_unique<vn::List>(vn::List::init);
    list->items.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
      list->items.push_back("entry " + std::to_string(i) + ": the quick brown fox");
    }
  }
  return *list;
}

void list_paint(benchmark::State& state, std::size_t count) {
  vn::List& list = list_with_items(count);
  vn::detail::dispatch_resize(list, list_area);
  list.select(count / 2);
  vn::ScreenBuffer buffer{list_area};
  for (auto _ : state) {
    double const start = thread_cpu_seconds();
    vn::detail::paint_tree(list, vn::Canvas{buffer, {0, 0}, list_area});
    double const stop = thread_cpu_seconds();
    state.SetIterationTime(stop - start);
  }
}

struct LogRow {
  std::string time;
  std::string level;
  std::string message;
};

// A log of 50,000 rows; one message in about 37 mentions a timeout.
std::vector<LogRow> const& log_rows() {
  static std::vector<LogRow> const rows = [] {
    static char const* const levels[] = {"INFO", "WARN", "ERROR", "DEBUG"};
    static char const* const subjects[] = {"request", "session", "worker", "cache", "socket"};
    std::vector<LogRow> made;
    made.reserve(50'000);
    for (std::size_t i = 0; i < 50'000; ++i) {
      std::string message = std::string{subjects[i % 5]} + " " + std::to_string(i * 7919 % 100000);
      message += i % 37 == 0 ? " failed: connection timeout after 30 s"
                             : " handled in " + std::to_string(i % 900) + " ms by the pool";
      made.push_back({"12:" + std::to_string(10 + i % 50) + ":" + std::to_string(10 + i % 49),
                      levels[i % 4], std::move(message)});
    }
    return made;
  }();
  return rows;
}

constexpr dalk::Area log_area{160, 45};

// Alternates between two filters so that every iteration changes the rows.
std::string_view filter_for(std::size_t iteration) {
  return iteration % 2 == 0 ? std::string_view{"timeout"} : std::string_view{"cache 4"};
}

// Times refilling the widget for each filter in turn and repainting it; refill(needle) returns
// how many rows the widget then shows.
template <typename Widget, typename Refill>
void time_filtering(benchmark::State& state, Widget& widget, Refill const& refill) {
  vn::detail::dispatch_resize(widget, log_area);
  vn::ScreenBuffer buffer{log_area};
  std::size_t iteration = 0;
  double shown = 0;
  for (auto _ : state) {
    std::string_view const needle = filter_for(iteration++);
    double const start = thread_cpu_seconds();
    auto const rows = refill(needle);
    vn::detail::paint_tree(widget, vn::Canvas{buffer, {0, 0}, log_area});
    double const stop = thread_cpu_seconds();
    state.SetIterationTime(stop - start);
    shown += static_cast<double>(rows);
  }
  state.counters["rows"] = benchmark::Counter(shown, benchmark::Counter::kAvgIterations);
}

void filter_table(benchmark::State& state) {
  auto const& rows = log_rows();
  vn::DataTable table{vn::DataTable::init};
  table.add_column("Time", vn::Align::Left, dalk::XColor::BrightCyan);
  table.add_column("Level", vn::Align::Left, dalk::XColor::BrightYellow);
  table.add_column("Message", vn::Align::Left, dalk::XColor::BrightGreen);
  table.compact = true;
  table.set_column_width(0, 10);
  table.set_column_width(1, 7);
  time_filtering(state, table, [&](std::string_view needle) {
    table.clear_rows();
    for (LogRow const& row : rows) {
      if (row.message.find(needle) != std::string::npos) {
        table.add_row({row.time, row.level, row.message});
      }
    }
    return table.row_count();
  });
}

// The list shows the matches through a model over their indices: nothing is copied.
void filter_list(benchmark::State& state) {
  auto const& rows = log_rows();
  std::vector<std::size_t> matches;
  vn::List list{vn::List::init};
  list.model = {[&] { return matches.size(); },
                [&](std::size_t i) {
                  LogRow const& row = rows[matches[i]];
                  return row.time + "  " + row.level + "  " + row.message;
                }};
  time_filtering(state, list, [&](std::string_view needle) {
    matches.clear();
    for (std::size_t i = 0; i < rows.size(); ++i) {
      if (rows[i].message.find(needle) != std::string::npos) {
        matches.push_back(i);
      }
    }
    list.select(0);
    return matches.size();
  });
}

}  // namespace

void register_list_benchmarks() {
  for (std::size_t count : {100, 1'000'000}) {
    benchmark::RegisterBenchmark(("list/items:" + std::to_string(count)).c_str(),
                                 [count](benchmark::State& state) { list_paint(state, count); })
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond);
  }
  benchmark::RegisterBenchmark("filter/datatable", filter_table)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("filter/list", filter_list)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond);
}

}  // namespace bench
