// The text box fed as a terminal feeds it: a bracketed paste (one event, one paint), the same
// text unbracketed (a key per code point, each followed by a paint, as the event loop paints
// after every event), and a line appended to a short and to a long text.
#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <random>
#include <string>

#include <vn/vn.hpp>

#include "benchmarks.hpp"
#include "support.hpp"

namespace bench {
namespace {

constexpr dalk::Area box_area{80, 24};

// Lines of up to 70 bytes of words, as text copied from a document or a log.
std::string pasted_text(std::size_t bytes) {
  static char const* const words[] = {"terminal", "widget", "the", "of",     "escape", "sequence",
                                      "cell",     "paint",  "a",   "commit", "layout", "scrolling"};
  std::mt19937 random{11};
  std::uniform_int_distribution<std::size_t> pick{0, std::size(words) - 1};
  std::string text;
  std::size_t line = 0;
  while (text.size() < bytes) {
    std::string const word = words[pick(random)];
    if (line + word.size() > 70) {
      text += '\n';
      line = 0;
    }
    text += word + ' ';
    line += word.size() + 1;
  }
  text.resize(bytes);
  return text;
}

// A focused, empty text box on a harness of its own.
struct FocusedBox {
  FocusedBox() : screen{box, box_area} { vn::Focus::set(box); }
  vn::TextBox box{{.focus_policy = vn::FocusPolicy::Strong}};
  vn::testing::Harness screen;
};

template <typename Feed>
void time_feed(benchmark::State& state, std::size_t bytes, Feed const& feed) {
  std::string const text = pasted_text(bytes);
  for (auto _ : state) {
    FocusedBox fresh;
    double const start = thread_cpu_seconds();
    feed(fresh.screen, text);
    double const stop = thread_cpu_seconds();
    state.SetIterationTime(stop - start);
    if (fresh.box.text != text) {
      state.SkipWithError("the box does not hold the pasted text");
      return;
    }
  }
}

// Boxes are kept across repetitions: the long one takes a while to fill. Each iteration
// appends one more line, so both grow alike; a few hundred a run leave the short one short.
void append_line(benchmark::State& state, std::size_t lines) {
  static std::map<std::size_t, std::unique_ptr<FocusedBox>> boxes;
  auto& held = boxes[lines];
  if (!held) {
    held = std::make_unique<FocusedBox>();
    std::string text;
    for (std::size_t line = 0; line < lines; ++line) {
      text += "line " + std::to_string(line) + " of the text\n";
    }
    held->box.text = std::move(text);
  }
  vn::Focus::set(held->box);
  held->screen.paint();
  held->screen.key_press(dalk::Key::End);
  for (auto _ : state) {
    double const start = thread_cpu_seconds();
    held->screen.paste("one more line of the text\n");
    double const stop = thread_cpu_seconds();
    state.SetIterationTime(stop - start);
  }
}

// Feeding a text of the given size through feed(screen, text), timed in milliseconds.
template <typename Feed>
auto* register_feed(std::string const& name, std::size_t bytes, Feed const& feed) {
  return benchmark::RegisterBenchmark(
             (name + ":" + std::to_string(bytes)).c_str(),
             [bytes, feed](benchmark::State& state) { time_feed(state, bytes, feed); })
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond);
}

}  // namespace

void register_textbox_benchmarks() {
  for (std::size_t bytes : {20U << 10, 80U << 10}) {
    register_feed(
        "textbox/paste", bytes,
        [](vn::testing::Harness& screen, std::string const& text) { screen.paste(text); });
    register_feed("textbox/keys", bytes, [](vn::testing::Harness& screen, std::string const& text) {
      screen.type(text);
    })->Iterations(3);
  }
  for (std::size_t lines : {100U, 100000U}) {
    benchmark::RegisterBenchmark(("textbox/append/lines:" + std::to_string(lines)).c_str(),
                                 [lines](benchmark::State& state) { append_line(state, lines); })
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond)
        ->Iterations(500);
  }
}

}  // namespace bench
