// Painting and committing a gallery-like tree (time and heap allocations per frame), custom
// events through the whole loop, and paint time of the data-heavy widgets against their size.
#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <dalk/text.hpp>
#include <dalk/width.hpp>
#include <vn/vn.hpp>

#include "benchmarks.hpp"
#include "gallery.hpp"
#include "support.hpp"

namespace bench {
namespace {

constexpr dalk::Area screen_area{200, 50};

vn::Canvas whole_screen() {
  return vn::Canvas{vn::Terminal::changes, {0, 0}, vn::Terminal::changes.area};
}

// The terminal-less part of a run: the paint grid at the screen's size, a fresh mirror.
struct Frames {
  Frames() {
    vn::Terminal::changes.resize(screen_area);
    vn::Terminal::changes.fill(dalk::Glyph{});
    vn::Terminal::cursor.reset();
  }
  void paint_and_commit(vn::Widget& head) {
    vn::Terminal::cursor = vn::detail::paint_tree(head, whole_screen());
    vn::detail::commit_changes(screen, escape_buffer);
  }
  vn::ScreenBuffer screen;
  std::string escape_buffer;
};

// Each frame follows one key press in the line edit: a character, then a Backspace.
void gallery_frame(benchmark::State& state) {
  ByteSink sink;
  StdoutToSink redirect{sink};
  Gallery gallery;
  vn::detail::dispatch_resize(gallery, screen_area);
  vn::Focus::set(gallery.edit);
  Frames frames;
  for (int warm_up = 0; warm_up < 4; ++warm_up) {
    vn::detail::dispatch_key_press(gallery,
                                   warm_up % 2 == 0 ? dalk::Key{'x'} : dalk::Key::Backspace);
    frames.paint_and_commit(gallery);
  }
  double paint_allocations = 0;
  double commit_allocations = 0;
  double paint_seconds = 0;
  double bytes = 0;
  bool type = true;
  for (auto _ : state) {
    vn::detail::dispatch_key_press(gallery, type ? dalk::Key{'x'} : dalk::Key::Backspace);
    type = !type;
    sink.rewind();
    std::uint64_t const before_paint = allocation_count();
    double const start = thread_cpu_seconds();
    vn::Terminal::cursor = vn::detail::paint_tree(gallery, whole_screen());
    double const painted = thread_cpu_seconds();
    std::uint64_t const before_commit = allocation_count();
    vn::detail::commit_changes(frames.screen, frames.escape_buffer);
    double const stop = thread_cpu_seconds();
    commit_allocations += static_cast<double>(allocation_count() - before_commit);
    paint_allocations += static_cast<double>(before_commit - before_paint);
    paint_seconds += painted - start;
    state.SetIterationTime(stop - start);
    bytes += static_cast<double>(sink.written());
  }
  vn::Focus::clear();
  using benchmark::Counter;
  state.counters["widgets"] = gallery.count_widgets();
  state.counters["paint_allocs"] = Counter(paint_allocations, Counter::kAvgIterations);
  state.counters["commit_allocs"] = Counter(commit_allocations, Counter::kAvgIterations);
  state.counters["paint_s"] = Counter(paint_seconds, Counter::kAvgIterations);
  state.counters["bytes"] = Counter(bytes, Counter::kAvgIterations);
}

// Handles only custom events, resizes and interrupts; paints a tree.
struct TreeApp {
  vn::Widget& head;
  std::optional<dalk::Point> handle_paint(vn::Canvas canvas) {
    return vn::detail::paint_tree(head, canvas);
  }
};

// vn::process_events, step for step, committing through the terminal-less commit.
int run_loop(TreeApp& app, Frames& frames) {
  for (;;) {
    vn::Event const event = vn::Terminal::event_queue.pop();
    auto const result = vn::apply_event(event, app);
    if (!result) {
      continue;
    }
    if (*result) {
      return (*result)->return_code;
    }
    vn::Terminal::cursor = app.handle_paint(whole_screen());
    vn::detail::commit_changes(frames.screen, frames.escape_buffer);
  }
}

// Custom events, each changing the status line, through queue, dispatch, paint and commit.
void custom_events(benchmark::State& state) {
  constexpr int events_per_run = 100;
  ByteSink sink;
  StdoutToSink redirect{sink};
  Gallery gallery;
  vn::detail::dispatch_resize(gallery, screen_area);
  Frames frames;
  frames.paint_and_commit(gallery);
  TreeApp app{gallery};
  int counter = 0;
  for (auto _ : state) {
    sink.rewind();
    double const start = thread_cpu_seconds();
    for (int i = 0; i < events_per_run; ++i) {
      vn::Terminal::event_queue.enqueue(vn::event::Custom{[&]() -> std::optional<vn::QuitRequest> {
        gallery.status.text = std::to_string(++counter);
        return std::nullopt;
      }});
    }
    vn::Terminal::event_queue.enqueue(
        vn::event::Custom{[]() -> std::optional<vn::QuitRequest> { return vn::QuitRequest{0}; }});
    int const code = run_loop(app, frames);
    double const stop = thread_cpu_seconds();
    benchmark::DoNotOptimize(code);
    state.SetIterationTime(stop - start);
  }
  state.counters["items"] = benchmark::Counter(
      events_per_run * static_cast<double>(state.iterations()), benchmark::Counter::kAvgIterations);
  state.counters["widgets"] = gallery.count_widgets();
}

// A tree of labels in nested columns and rows, ten to a column, ten columns to a row.
struct LabelTree {
  using Labels = vn::Column<std::vector<vn::Label>>;
  using Columns = vn::Row<std::vector<Labels>>;

  explicit LabelTree(std::size_t labels) {
    for (std::size_t row = 0; row < std::max<std::size_t>(labels / 100, 1); ++row) {
      std::vector<Labels> columns;
      for (std::size_t column = 0; column < 10; ++column) {
        std::vector<vn::Label> cells;
        for (std::size_t k = 0; k < 10; ++k) {
          cells.emplace_back(vn::Label::Options{"label " + std::to_string(k)});
        }
        columns.emplace_back(std::move(cells));
      }
      head.children.emplace_back(std::move(columns));
    }
  }

  vn::Label& first() { return head.children.front().children.front().children.front(); }

  vn::Column<std::vector<Columns>> head;
};

// One event that changes one label of a tree of `labels`, through dispatch, paint and commit as
// an Application does them (cells of unchanged widgets kept, or, with `whole`, the whole tree
// painted); heap allocations per event.
void label_tree_event(benchmark::State& state, std::size_t labels, bool whole) {
  ByteSink sink;
  StdoutToSink redirect{sink};
  LabelTree tree{labels};
  vn::detail::dispatch_resize(tree.head, screen_area);
  Frames frames;
  vn::TreeDispatcher app{tree.head};
  app.reuse_cells = !whole;
  bool flip = false;
  auto const event = [&] {
    vn::Event const change{vn::event::Custom{[&]() -> std::optional<vn::QuitRequest> {
      tree.first().text = flip ? "ON" : "off";
      flip = !flip;
      return std::nullopt;
    }}};
    vn::apply_event(change, app);
    vn::Terminal::cursor = app.handle_paint(whole_screen());
    vn::detail::commit_changes(frames.screen, frames.escape_buffer);
  };
  for (int warm_up = 0; warm_up < 4; ++warm_up) {
    event();
  }
  double allocations = 0;
  for (auto _ : state) {
    sink.rewind();
    std::uint64_t const before = allocation_count();
    double const start = thread_cpu_seconds();
    event();
    double const stop = thread_cpu_seconds();
    allocations += static_cast<double>(allocation_count() - before);
    state.SetIterationTime(stop - start);
  }
  state.counters["allocs"] = benchmark::Counter(allocations, benchmark::Counter::kAvgIterations);
}

// Paint alone, into a buffer of its own, timed in thread CPU.
template <typename W>
void time_paint(benchmark::State& state, W& widget, vn::Area area) {
  vn::ScreenBuffer buffer{area};
  vn::detail::paint_tree(widget, vn::Canvas{buffer, {0, 0}, area});
  for (auto _ : state) {
    double const start = thread_cpu_seconds();
    vn::detail::paint_tree(widget, vn::Canvas{buffer, {0, 0}, area});
    double const stop = thread_cpu_seconds();
    state.SetIterationTime(stop - start);
  }
}

// Tables are kept across repetitions: the largest takes a while to fill.
vn::DataTable& table_with_rows(std::size_t rows) {
  static std::map<std::size_t, std::unique_ptr<vn::DataTable>> tables;
  auto& table = tables[rows];
  if (!table) {
    table = std::make_unique<vn::DataTable>(vn::DataTable::Options{});
    table->add_column("Id", vn::Align::Right, dalk::XColor::BrightCyan);
    table->add_column("Name", vn::Align::Left, dalk::XColor::BrightYellow);
    table->add_column("Value", vn::Align::Right, dalk::XColor::BrightGreen);
    for (std::size_t row = 0; row < rows; ++row) {
      table->add_row({std::to_string(row), "item-" + std::to_string(row % 100000),
                      std::to_string(row * 7919 % 1000003)});
    }
  }
  return *table;
}

// 23 lines show exactly ten rows, so every table paints the same number of cells.
constexpr dalk::Area table_area{200, 23};

void datatable_paint(benchmark::State& state, std::size_t rows) {
  vn::DataTable& table = table_with_rows(rows);
  vn::detail::dispatch_resize(table, table_area);
  table.scroll_offset = rows > 10 ? rows / 2 : 0;
  time_paint(state, table, table_area);
}

std::string words_text(std::size_t bytes) {
  static char const* const words[] = {"terminal", "widget", "the", "of",     "escape", "sequence",
                                      "cell",     "paint",  "a",   "commit", "layout", "scrolling"};
  std::mt19937 random{7};
  std::uniform_int_distribution<std::size_t> pick{0, std::size(words) - 1};
  std::uniform_int_distribution<int> paragraph{0, 39};
  std::string text;
  while (text.size() < bytes) {
    text += words[pick(random)];
    text += paragraph(random) == 0 ? '\n' : ' ';
  }
  text.resize(bytes);
  return text;
}

constexpr dalk::Area text_area{100, 40};

void textbox_paint(benchmark::State& state, std::size_t bytes) {
  vn::TextBox box{vn::TextBox::Options{words_text(bytes)}};
  vn::detail::dispatch_resize(box, text_area);
  time_paint(state, box, text_area);
  state.counters["items"] =
      benchmark::Counter(static_cast<double>(bytes) * static_cast<double>(state.iterations()),
                         benchmark::Counter::kAvgIterations);
}

// A screen of left-aligned labels, one a row, each a whole row of text.
using TextScreen = vn::Column<std::vector<vn::Label>>;

// Text one row wide made of `alphabet`, starting `shift` code points in: each frame shifts it,
// so every cell changes and the commit writes the whole screen.
std::string row_text(std::u32string_view alphabet, int cells, std::size_t shift) {
  std::u32string text;
  for (int used = 0; used < cells;) {
    char32_t const c = alphabet[(shift + text.size()) % alphabet.size()];
    text.push_back(c);
    used += dalk::width(c);
  }
  return dalk::detail::u32_to_u8(text);
}

// Text one row wide made of whole characters (grapheme clusters) of `characters`, starting
// `shift` characters in: each frame shifts it by one character, so every cell changes.
std::string cluster_row_text(std::span<std::u32string_view const> characters, int cells,
                             std::size_t shift) {
  std::u32string text;
  for (int used = 0, i = 0; used < cells; ++i) {
    std::u32string_view const c =
        characters[(shift + static_cast<std::size_t>(i)) % characters.size()];
    text += c;
    used += dalk::text::character_cells(c);
  }
  return dalk::detail::u32_to_u8(text);
}

// Painting and committing a screen of labels whose rows are made by `make_row(cells, shift)`.
template <typename MakeRow>
void row_screen(benchmark::State& state, MakeRow const& make_row) {
  ByteSink sink;
  StdoutToSink redirect{sink};
  TextScreen screen{vn::FocusPolicy::None, vn::SizePolicy::flex()};
  for (int row = 0; row < screen_area.height; ++row) {
    screen.children.emplace_back(vn::Label::Options{.align = vn::Align::Left});
  }
  vn::detail::dispatch_resize(screen, screen_area);
  Frames frames;
  std::size_t shift = 0;
  // Every frame's texts are made before the timing starts: an application changes its texts
  // outside the paint.
  auto const next_texts = [&] {
    ++shift;
    for (std::size_t row = 0; row < screen.children.size(); ++row) {
      screen.children[row].text = make_row(screen_area.width, shift + row);
    }
  };
  for (int warm_up = 0; warm_up < 2; ++warm_up) {
    next_texts();
    frames.paint_and_commit(screen);
  }
  double bytes = 0;
  for (auto _ : state) {
    next_texts();
    sink.rewind();
    double const start = thread_cpu_seconds();
    frames.paint_and_commit(screen);
    double const stop = thread_cpu_seconds();
    state.SetIterationTime(stop - start);
    bytes += static_cast<double>(sink.written());
  }
  state.counters["bytes"] = benchmark::Counter(bytes, benchmark::Counter::kAvgIterations);
}

// Characters of many scripts, most of several code points, interleaved so that neighbours
// differ: Devanagari conjuncts and vowel signs, Thai with tone marks, pointed Hebrew, Arabic
// with harakat, emoji ZWJ sequences, flags, keycaps, CJK and accented Latin (all composed).
constexpr std::u32string_view mixed_characters[] = {
    U"\u0915\u094D\u0937\u093F",                    // क्षि
    U"\u0E19\u0E49\u0E33",                          // น้ำ
    U"\u05E9\u05B8\u05C1",                          // שָׁ
    U"\u0633\u0650\u0651",                          // سِّ
    U"\U0001F469\u200D\U0001F4BB",                  // woman technologist
    U"\U0001F1EB\U0001F1F7",                        // flag of France
    U"1\uFE0F\u20E3",                               // keycap 1
    U"\u6F22",                                      // 漢
    U"\u00E9",                                      // é
    U"\u0938\u094D\u0924\u0947",                    // स्ते
    U"\u0E17\u0E35\u0E48",                          // ที่
    U"\u05D1\u05BC",                                // בּ
    U"\u0628\u064E",                                // بَ
    U"\U0001F468\u200D\U0001F469\u200D\U0001F467",  // family: man, woman, girl
    U"\U0001F1EF\U0001F1F5",                        // flag of Japan
    U"#\uFE0F\u20E3",                               // keycap #
    U"\u5B57",                                      // 字
    U"a",
    U"\u0928",                            // न
    U"\u0E01\u0E33",                      // กำ
    U"\u05DC\u05B9",                      // לֹ
    U"\u0645\u064F",                      // مُ
    U"\U0001F3F3\uFE0F\u200D\U0001F308",  // rainbow flag
    U"\U0001F1E7\U0001F1F7",              // flag of Brazil
    U"\u8A9E",                            // 語
    U"\u00F1",                            // ñ
    U" ",
};

// Painting and committing a screen of text: ASCII, or wide characters (CJK, kana, Hangul,
// emoji) covering the same cells with half as many code points.
void text_screen(benchmark::State& state, std::u32string_view alphabet) {
  row_screen(state,
             [alphabet](int cells, std::size_t shift) { return row_text(alphabet, cells, shift); });
}

constexpr std::u32string_view ascii_alphabet =
    U"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 .,;:-";
constexpr std::u32string_view wide_alphabet =
    U"日本語テキスト漢字表示端末画面文字幅ひらがなカタカナ한국어텍스트😀😃😄😁😆🌍🌏";

}  // namespace

void register_widget_benchmarks() {
  benchmark::RegisterBenchmark("gallery/frame", gallery_frame)
      ->UseManualTime()
      ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("events/custom", custom_events)
      ->UseManualTime()
      ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("text/ascii",
                               [](benchmark::State& state) { text_screen(state, ascii_alphabet); })
      ->UseManualTime()
      ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("text/wide",
                               [](benchmark::State& state) { text_screen(state, wide_alphabet); })
      ->UseManualTime()
      ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("text/mixed",
                               [](benchmark::State& state) {
                                 row_screen(state, [](int cells, std::size_t shift) {
                                   return cluster_row_text(mixed_characters, cells, shift);
                                 });
                               })
      ->UseManualTime()
      ->Unit(benchmark::kMicrosecond);
  for (std::size_t labels : {100, 1'000, 10'000, 100'000}) {
    for (bool const whole : {false, true}) {
      benchmark::RegisterBenchmark(
          ("tree/labels:" + std::to_string(labels) + (whole ? "/whole" : "")).c_str(),
          [labels, whole](benchmark::State& state) { label_tree_event(state, labels, whole); })
          ->UseManualTime()
          ->Unit(benchmark::kMicrosecond);
    }
  }
  for (std::size_t rows : {10, 100, 10'000, 1'000'000}) {
    benchmark::RegisterBenchmark(("datatable/rows:" + std::to_string(rows)).c_str(),
                                 [rows](benchmark::State& state) { datatable_paint(state, rows); })
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond);
  }
  for (std::size_t bytes : {1U << 10, 64U << 10, 1U << 20}) {
    benchmark::RegisterBenchmark(("textbox/bytes:" + std::to_string(bytes)).c_str(),
                                 [bytes](benchmark::State& state) { textbox_paint(state, bytes); })
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond);
  }
}

}  // namespace bench
