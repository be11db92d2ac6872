// Frame workloads painted and committed by Vennic and by ncurses into the same kind of sink,
// timed in thread CPU per frame. The model advances outside the timed region.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include <vn/vn.hpp>

#include "benchmarks.hpp"
#include "commit_baseline.hpp"
#include "ncurses_frames.hpp"
#include "support.hpp"
#include "workload.hpp"

namespace bench {
namespace {

struct Size {
  int width;
  int height;
};

constexpr Size sizes[] = {{80, 24}, {200, 50}, {400, 120}};
constexpr Workload workloads[] = {Workload::FullChange, Workload::Sparse, Workload::Scroll,
                                  Workload::Static, Workload::TextOnly};

// What a widget would do: every cell of the frame is painted, changed or not, as the event
// loop repaints the whole tree.
void paint(FrameScript const& model, vn::ScreenBuffer& grid = vn::Terminal::changes) {
  auto& glyphs = grid.glyphs;
  for (std::size_t i = 0; i < glyphs.size(); ++i) {
    glyphs[i] = dalk::Glyph{static_cast<char32_t>(model.symbol[i]),
                            dalk::Brush{dalk::XColor{model.bg[i]}, dalk::XColor{model.fg[i]}, {}}};
  }
}

// Times `frame` after each `step` (outside the timing), with the bytes it wrote and the heap
// allocations it made.
template <typename Step, typename Frame>
void time_frames(benchmark::State& state, ByteSink& sink, Step const& step, Frame const& frame) {
  double bytes = 0;
  double allocations = 0;
  for (auto _ : state) {
    step();
    sink.rewind();
    std::uint64_t const allocated = allocation_count();
    double const start = thread_cpu_seconds();
    frame();
    double const stop = thread_cpu_seconds();
    allocations += static_cast<double>(allocation_count() - allocated);
    state.SetIterationTime(stop - start);
    bytes += static_cast<double>(sink.written());
  }
  state.counters["bytes"] = benchmark::Counter(bytes, benchmark::Counter::kAvgIterations);
  state.counters["allocs"] = benchmark::Counter(allocations, benchmark::Counter::kAvgIterations);
}

// The frame as an application paints it: one widget shows the model and gives the model's
// version as its paint key, so a frame in which nothing changed keeps its cells.
class ModelView : public vn::Widget {
 public:
  explicit ModelView(FrameScript const& model)
      : vn::Widget{vn::FocusPolicy::None, vn::SizePolicy::flex()}, model_{model} {}
  void paint(vn::Canvas canvas) override { bench::paint(model_, canvas.buffer); }
  bool paint_key(vn::PaintKey& key) const override {
    key.add(version);
    return true;
  }
  std::uint64_t version = 0;

 private:
  FrameScript const& model_;
};

// Paint through a dispatcher that keeps cells, and the commit, as a run does them.
void vennic_kept(benchmark::State& state, Workload workload, Size size) {
  FrameScript model{workload, size.width, size.height};
  ByteSink sink;
  StdoutToSink redirect{sink};
  vn::Terminal::changes.resize({size.width, size.height});
  vn::Terminal::changes.fill(dalk::Glyph{});
  vn::Terminal::cursor.reset();
  ModelView view{model};
  view.size = {size.width, size.height};
  vn::TreeDispatcher app{view};
  app.reuse_cells = true;
  vn::ScreenBuffer screen;
  std::string escape_buffer;
  auto const frame = [&] {
    vn::Terminal::cursor =
        app.handle_paint(vn::Canvas{vn::Terminal::changes, {0, 0}, vn::Terminal::changes.area});
    vn::detail::commit_changes(screen, escape_buffer);
  };
  for (int warm_up = 0; warm_up < 2; ++warm_up) {
    frame();
    model.step();
    ++view.version;
  }
  time_frames(
      state, sink,
      [&] {
        model.step();
        if (!model.runs.empty()) {
          ++view.version;
        }
      },
      frame);
}

using Commit = void (*)(vn::ScreenBuffer&, std::string&);

void default_commit(vn::ScreenBuffer& screen, std::string& escape_buffer) {
  vn::detail::commit_changes(screen, escape_buffer);
}

void compact_commit(vn::ScreenBuffer& screen, std::string& escape_buffer) {
  static vn::detail::OutputProfile const profile =
      vn::detail::output_profile(dalk::Extension::CompactOutput | dalk::Extension::RepeatGlyph);
  vn::detail::commit_changes(screen, escape_buffer, profile);
}

void vennic_commit(benchmark::State& state, Workload workload, Size size,
                   Commit commit = &default_commit) {
  FrameScript model{workload, size.width, size.height};
  ByteSink sink;
  StdoutToSink redirect{sink};
  vn::Terminal::changes.resize({size.width, size.height});
  vn::Terminal::changes.fill(dalk::Glyph{});
  vn::Terminal::cursor.reset();
  vn::ScreenBuffer screen;
  std::string escape_buffer;
  // The first commit draws everything; one more frame warms the buffers up.
  for (int warm_up = 0; warm_up < 2; ++warm_up) {
    paint(model);
    commit(screen, escape_buffer);
    model.step();
  }
  time_frames(
      state, sink, [&] { model.step(); },
      [&] {
        paint(model);
        commit(screen, escape_buffer);
      });
}

enum class NcursesInput { Changes, EveryCell, Nothing };

void ncurses_commit(benchmark::State& state, Workload workload, Size size, NcursesInput input) {
  FrameScript model{workload, size.width, size.height};
  ByteSink sink;
  NcursesScreen screen{size.width, size.height, sink.fd()};
  std::vector<Run> const every_cell = model.all_rows();
  std::vector<Run> const nothing;
  auto const runs = [&]() -> std::vector<Run> const& {
    switch (input) {
      case NcursesInput::EveryCell:
        return every_cell;
      case NcursesInput::Nothing:
        return nothing;
      case NcursesInput::Changes:
        break;
    }
    return model.runs;
  };
  screen.frame(model, every_cell);
  model.step();
  screen.frame(model, runs());
  double bytes = 0;
  for (auto _ : state) {
    model.step();
    sink.rewind();
    double const start = thread_cpu_seconds();
    screen.frame(model, runs());
    double const stop = thread_cpu_seconds();
    state.SetIterationTime(stop - start);
    bytes += static_cast<double>(sink.written());
  }
  state.counters["bytes"] = benchmark::Counter(bytes, benchmark::Counter::kAvgIterations);
}

}  // namespace

void register_commit_benchmarks() {
  for (Size const size : sizes) {
    for (Workload const workload : workloads) {
      std::string const prefix = "commit/" + workload_name(workload) + "/" +
                                 std::to_string(size.width) + "x" + std::to_string(size.height);
      benchmark::RegisterBenchmark(
          (prefix + "/vennic").c_str(),
          [=](benchmark::State& state) { vennic_commit(state, workload, size); })
          ->UseManualTime()
          ->Unit(benchmark::kMicrosecond);
      // The same frames in the compact encoding (with REP, as xterm has it), and painted
      // through a dispatcher that keeps cells.
      if (size.width == 200) {
        benchmark::RegisterBenchmark(
            (prefix + "/kept").c_str(),
            [=](benchmark::State& state) { vennic_kept(state, workload, size); })
            ->UseManualTime()
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(
            (prefix + "/compact").c_str(),
            [=](benchmark::State& state) { vennic_commit(state, workload, size, &compact_commit); })
            ->UseManualTime()
            ->Unit(benchmark::kMicrosecond);
      }
      // The same frames through the commit as it was before wide glyphs.
      benchmark::RegisterBenchmark((prefix + "/baseline").c_str(),
                                   [=](benchmark::State& state) {
                                     vennic_commit(state, workload, size, &baseline_commit_changes);
                                   })
          ->UseManualTime()
          ->Unit(benchmark::kMicrosecond);
      // W4 gives ncurses every cell, as Vennic is given; "nothing" is ncurses at its best.
      NcursesInput const input =
          workload == Workload::Static ? NcursesInput::EveryCell : NcursesInput::Changes;
      benchmark::RegisterBenchmark(
          (prefix + "/ncurses").c_str(),
          [=](benchmark::State& state) { ncurses_commit(state, workload, size, input); })
          ->UseManualTime()
          ->Unit(benchmark::kMicrosecond);
      if (workload == Workload::Static) {
        benchmark::RegisterBenchmark((prefix + "/ncurses_nothing").c_str(),
                                     [=](benchmark::State& state) {
                                       ncurses_commit(state, workload, size, NcursesInput::Nothing);
                                     })
            ->UseManualTime()
            ->Unit(benchmark::kMicrosecond);
      }
    }
  }
}

}  // namespace bench
