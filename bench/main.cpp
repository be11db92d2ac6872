// Runs the suite and prints one Markdown table of medians over the repetitions, with the
// Vennic/ncurses ratios and the targets. Google Benchmark's own report goes to stderr.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "benchmarks.hpp"

namespace {

// Medians over the repetitions of one benchmark: seconds per iteration and counters.
struct Result {
  double seconds = 0;
  std::map<std::string, double> counters;
};

class CollectingReporter : public benchmark::ConsoleReporter {
 public:
  CollectingReporter() : benchmark::ConsoleReporter{OO_Tabular} {}

  void ReportRuns(std::vector<Run> const& runs) override {
    for (Run const& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred || run.iterations == 0) {
        continue;
      }
      auto& samples = samples_[run.run_name.function_name];
      samples.seconds.push_back(run.real_accumulated_time / static_cast<double>(run.iterations));
      for (auto const& [name, counter] : run.counters) {
        samples.counters[name].push_back(counter.value);
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  std::optional<Result> get(std::string const& name) const {
    auto const it = samples_.find(name);
    if (it == samples_.end()) {
      return std::nullopt;
    }
    Result result;
    result.seconds = median(it->second.seconds);
    for (auto const& [counter, values] : it->second.counters) {
      result.counters[counter] = median(values);
    }
    return result;
  }

 private:
  struct Samples {
    std::vector<double> seconds;
    std::map<std::string, std::vector<double>> counters;
  };

  static double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    std::size_t const n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
  }

  std::map<std::string, Samples> samples_;
};

std::string fixed(double value, int digits) {
  std::ostringstream out;
  out.setf(std::ios::fixed);
  out.precision(digits);
  out << value;
  return out.str();
}

// Three significant digits, at most.
std::string significant(double value) {
  if (value >= 100) {
    return fixed(value, 0);
  }
  if (value >= 10) {
    return fixed(value, 1);
  }
  return fixed(value, 2);
}

std::string duration(double seconds) {
  if (seconds >= 1) {
    return significant(seconds) + " s";
  }
  if (seconds >= 1e-3) {
    return significant(seconds * 1e3) + " ms";
  }
  if (seconds >= 1e-6) {
    return significant(seconds * 1e6) + " µs";
  }
  return significant(seconds * 1e9) + " ns";
}

std::string bytes(double count) {
  if (count >= 1e6) {
    return significant(count / 1e6) + " MB";
  }
  if (count >= 1e3) {
    return significant(count / 1e3) + " kB";
  }
  return fixed(count, 0) + " B";
}

std::string rate(double per_second, std::string const& unit) {
  if (per_second >= 1e6) {
    return significant(per_second / 1e6) + " M " + unit + "/s";
  }
  if (per_second >= 1e3) {
    return significant(per_second / 1e3) + " k " + unit + "/s";
  }
  return significant(per_second) + " " + unit + "/s";
}

std::string const none = "—";

class Table {
 public:
  explicit Table(CollectingReporter const& results) : results_{results} {}

  void row(std::string const& what, std::string const& vennic, std::string const& ncurses = none,
           std::string const& ratio = none, std::string const& target = none,
           std::string const& met = none) {
    rows_.push_back("| " + what + " | " + vennic + " | " + ncurses + " | " + ratio + " | " +
                    target + " | " + met + " |");
  }

  // A frame workload: CPU per frame and bytes per frame of both sides, and their ratio.
  void frame(std::string const& what, std::string const& vennic_name,
             std::string const& ncurses_name, std::optional<double> target) {
    auto const v = results_.get(vennic_name);
    auto const n = results_.get(ncurses_name);
    auto const cell = [](std::optional<Result> const& r) {
      if (!r) {
        return none;
      }
      auto const b = r->counters.find("bytes");
      return duration(r->seconds) +
             (b == r->counters.end() ? std::string{} : " · " + bytes(b->second));
    };
    std::string ratio = none;
    std::string met = none;
    if (v && n && n->seconds > 0) {
      double const r = v->seconds / n->seconds;
      ratio = fixed(r, 2) + "x";
      if (target) {
        met = r <= *target ? "yes" : "**no**";
      }
    }
    row(what, cell(v), cell(n), ratio, target ? "≤ " + fixed(*target, 2) + "x" : none, met);
  }

  // One measurement against another of Vennic's own: both times in the Vennic column, the
  // ratio in the ratio column.
  void versus(std::string const& what, std::string const& name, std::string const& reference,
              double target) {
    auto const v = results_.get(name);
    auto const r = results_.get(reference);
    if (!v || !r || r->seconds <= 0) {
      return;
    }
    double const ratio = v->seconds / r->seconds;
    row(what, duration(v->seconds) + " vs " + duration(r->seconds), none, fixed(ratio, 2) + "x",
        "≤ " + fixed(target, 2) + "x", ratio <= target ? "yes" : "**no**");
  }

  // The compact encoding against ncurses: both ratios, CPU and bytes, against their targets.
  void compact_frame(std::string const& what, std::string const& name,
                     std::string const& ncurses_name, double cpu_target,
                     std::optional<double> bytes_target) {
    auto const v = results_.get(name);
    auto const n = results_.get(ncurses_name);
    if (!v || !n || n->seconds <= 0) {
      return;
    }
    double const vb = v->counters.at("bytes");
    double const nb = n->counters.at("bytes");
    double const cpu = v->seconds / n->seconds;
    std::string ratio = "CPU " + fixed(cpu, 2) + "x";
    std::string target = "CPU ≤ " + fixed(cpu_target, 2) + "x";
    bool met = cpu <= cpu_target;
    if (nb > 0) {
      ratio += " · bytes " + fixed(vb / nb, 2) + "x";
    }
    if (bytes_target) {
      target += " · bytes ≤ " + fixed(*bytes_target, 2) + "x";
      met = met && nb > 0 && vb / nb <= *bytes_target;
    }
    row(what, duration(v->seconds) + " · " + bytes(vb), duration(n->seconds) + " · " + bytes(nb),
        ratio, target, met ? "yes" : "**no**");
  }

  std::optional<Result> get(std::string const& name) const { return results_.get(name); }

  void print(std::ostream& out) const {
    out << "| Measurement | Vennic | ncurses | Vennic/ncurses | Target | Met |\n";
    out << "|---|---|---|---|---|---|\n";
    for (auto const& r : rows_) {
      out << r << '\n';
    }
  }

 private:
  CollectingReporter const& results_;
  std::vector<std::string> rows_;
};

struct WorkloadInfo {
  char const* id;
  char const* what;
  std::optional<double> target;
};

WorkloadInfo const workloads[] = {
    {"W1", "every cell new character and colours", 0.25},
    {"W2", "2 % of cells change", 0.25},
    {"W3", "rows scroll up, new row at bottom", 1.0},
    {"W4", "nothing changes (ncurses given every cell)", 0.5},
    {"W5", "every character changes, default colours", 0.6},
};

void add_frames(Table& table, std::string const& size, bool targets) {
  for (auto const& w : workloads) {
    std::string const prefix = std::string{"commit/"} + w.id + "/" + size;
    table.frame(std::string{w.id} + " " + w.what + ", " + size + " (CPU · bytes per frame)",
                prefix + "/vennic", prefix + "/ncurses",
                targets ? w.target : std::optional<double>{});
    // The idle frame: at most what ncurses spends when it is told that nothing changed. A
    // run paints through a dispatcher that keeps the cells of unchanged widgets ("kept"); the
    // frame painted whole is shown for comparison.
    if (std::string{w.id} == "W4") {
      table.frame(
          std::string{"W4 nothing changes (ncurses given nothing), whole frame painted, "} + size,
          prefix + "/vennic", prefix + "/ncurses_nothing", std::nullopt);
      if (table.get(prefix + "/kept")) {
        table.frame(std::string{"W4 nothing changes (ncurses given nothing), cells kept, "} + size,
                    prefix + "/kept", prefix + "/ncurses_nothing",
                    targets ? std::optional<double>{1.0} : std::nullopt);
      }
    }
  }
}

// The compact encoding at 200x50; W4's bytes are not compared (ncurses given every cell
// writes nothing either way).
void add_compact_frames(Table& table) {
  std::optional<double> const bytes_targets[] = {1.0, 1.0, 2.0, std::nullopt, 1.0};
  for (std::size_t i = 0; i < std::size(workloads); ++i) {
    WorkloadInfo const& w = workloads[i];
    std::string const prefix = std::string{"commit/"} + w.id + "/200x50";
    table.compact_frame(std::string{w.id} + " " + w.what + ", 200x50, compact encoding",
                        prefix + "/compact", prefix + "/ncurses", 0.5, bytes_targets[i]);
  }
}

void build_table(Table& table) {
  add_frames(table, "200x50", true);
  add_compact_frames(table);
  // Painting through a dispatcher that keeps cells costs what a whole paint does when
  // everything changes.
  for (auto const& w : workloads) {
    std::string const prefix = std::string{"commit/"} + w.id + "/200x50";
    table.versus(std::string{w.id} + " 200x50: cells kept vs whole frame painted, CPU (ratio)",
                 prefix + "/kept", prefix + "/vennic", 1.05);
  }
  // The compact encoding's CPU against the default encoding's on the same frames.
  for (auto const& w : workloads) {
    std::string const prefix = std::string{"commit/"} + w.id + "/200x50";
    table.versus(std::string{w.id} + " 200x50: compact encoding vs default encoding, CPU (ratio)",
                 prefix + "/compact", prefix + "/vennic", 1.5);
  }
  add_frames(table, "80x24", false);
  add_frames(table, "400x120", false);

  // The width rules on narrow text: the commit against a copy of the one before them. Within
  // a few per cent is noise on a shared machine.
  for (auto const& w : workloads) {
    for (char const* size : {"200x50", "80x24"}) {
      std::string const prefix = std::string{"commit/"} + w.id + "/" + size;
      table.versus(std::string{w.id} + " " + size + ": commit now vs before wide glyphs (ratio)",
                   prefix + "/vennic", prefix + "/baseline", 1.05);
    }
  }
  table.versus("Paint + commit, 200x50 of labels: wide text vs the same cells of ASCII (ratio)",
               "text/wide", "text/ascii", 1.5);
  table.versus(
      "Paint + commit, 200x50 of labels: mixed-script characters (clusters) vs ASCII (ratio)",
      "text/mixed", "text/ascii", 2.0);

  // Allocations per commit, the worst of every frame workload and size.
  std::optional<double> worst;
  for (auto const& w : workloads) {
    for (char const* size : {"80x24", "200x50", "400x120"}) {
      if (auto const r = table.get(std::string{"commit/"} + w.id + "/" + size + "/vennic")) {
        double const a = r->counters.at("allocs");
        worst = std::max(worst.value_or(0.0), a);
      }
    }
  }
  if (worst) {
    table.row("Heap allocations per paint + commit, steady state (worst of W1–W5, all sizes)",
              fixed(*worst, 2), none, none, "0", *worst == 0 ? "yes" : "**no**");
  }
  if (auto const g = table.get("gallery/frame")) {
    std::string const widgets = fixed(g->counters.at("widgets"), 0);
    table.row("Gallery tree (" + widgets + " widgets, 200x50), one key per frame: paint + commit",
              duration(g->seconds) + " (paint " + duration(g->counters.at("paint_s")) + ") · " +
                  bytes(g->counters.at("bytes")));
    double const commit = g->counters.at("commit_allocs");
    table.row("Gallery tree: heap allocations per frame, commit", fixed(commit, 2), none, none, "0",
              commit == 0 ? "yes" : "**no**");
    table.row("Gallery tree: heap allocations per frame, paint",
              fixed(g->counters.at("paint_allocs"), 1));
  }
  for (int labels : {100, 1'000, 10'000, 100'000}) {
    std::string const name = "tree/labels:" + std::to_string(labels);
    if (auto const t = table.get(name)) {
      double const allocations = t->counters.at("allocs");
      bool const bounded = labels != 10'000 || allocations <= 100;
      table.row("Tree of " + std::to_string(labels) +
                    " labels, one event changing one label: dispatch, paint and commit · heap "
                    "allocations",
                duration(t->seconds) + " · " + fixed(allocations, 0), none, none,
                labels == 10'000 ? "≤ 100 allocations" : none,
                labels == 10'000 ? (bounded ? "yes" : "**no**") : none);
    }
  }
  for (int labels : {100, 1'000, 10'000, 100'000}) {
    std::string const name = "tree/labels:" + std::to_string(labels) + "/whole";
    if (auto const t = table.get(name)) {
      table.row("Tree of " + std::to_string(labels) +
                    " labels, one event changing one label, whole tree painted",
                duration(t->seconds) + " · " + fixed(t->counters.at("allocs"), 0));
    }
  }
  table.versus("Tree of labels, one event: 10,000 labels vs 100 (ratio)", "tree/labels:10000",
               "tree/labels:100", 3.0);
  table.versus("Tree of labels, one event: 100,000 labels vs 100 (ratio)", "tree/labels:100000",
               "tree/labels:100", 10.0);
  table.versus("Tree of labels, one event: 10,000 labels, cells kept vs whole tree painted (ratio)",
               "tree/labels:10000", "tree/labels:10000/whole", 1.0);
  if (auto const e = table.get("events/custom")) {
    double const per_event = e->seconds / e->counters.at("items");
    table.row("Custom events through queue, dispatch, paint and commit (" +
                  fixed(e->counters.at("widgets"), 0) + " widgets, thread CPU)",
              rate(1 / per_event, "events") + " (" + duration(per_event) + " each)");
  }
  for (int producers : {1, 4}) {
    if (auto const q = table.get("queue/producers:" + std::to_string(producers))) {
      table.row("Queue enqueue + pop, " + std::to_string(producers) + " producer thread" +
                    (producers > 1 ? "s" : "") + " (wall time)",
                rate(q->counters.at("items") / q->seconds, "items"));
    }
  }
  if (auto const l = table.get("latency/key_to_screen")) {
    table.row("Key-to-screen latency in a pty, line edit + label (1,000 keys): median",
              duration(l->counters.at("p50_s")));
    table.row("Key-to-screen latency: 99th percentile", duration(l->counters.at("p99_s")));
  }
  // Ordinary keys never wait: the escape wait only follows an escape byte.
  table.versus("Key-to-screen median, escape wait on (default) vs 0 (ratio)",
               "latency/key_to_screen", "latency/key_to_screen_escape_wait_0", 1.1);
  if (auto const p = table.get("input/paste_2mb")) {
    table.row(
        "2 MB bracketed paste written into a pty until the reader has it as one Paste",
        duration(p->seconds) + " (" + rate(p->counters.at("bytes") / p->seconds, "bytes") + ")",
        none, none, "< 1 s", p->seconds < 1 ? "yes" : "**no**");
  }
  for (char const* kind : {"answers", "silent", "off"}) {
    if (auto const t = table.get(std::string{"startup/"} + kind)) {
      table.row(std::string{"Start-up to the first frame, terminal answers: "} + kind,
                duration(t->seconds));
    }
  }
  table.versus("Start-up, a terminal answering at once vs the answers off (ratio)",
               "startup/answers", "startup/off", 1.5);
  for (char const* kind : {"keys", "mouse"}) {
    if (auto const d = table.get(std::string{"decode/"} + kind)) {
      table.row(std::string{"Decoding "} + kind + " sequences through dalk::read from a pipe",
                rate(d->counters.at("items") / d->seconds, "sequences"));
    }
  }
  for (char const* rows : {"10", "100", "10000", "1000000"}) {
    if (auto const t = table.get(std::string{"datatable/rows:"} + rows)) {
      table.row(std::string{"DataTable paint, 200x23 showing 10 rows, "} + rows + " rows",
                duration(t->seconds));
    }
  }
  table.versus("DataTable paint, 1,000,000 rows vs 100 rows (ratio)", "datatable/rows:1000000",
               "datatable/rows:100", 1.5);
  table.versus("List paint, 120x40, 1,000,000 items vs 100 items (ratio)", "list/items:1000000",
               "list/items:100", 1.5);
  for (char const* kind : {"datatable", "list"}) {
    if (auto const f = table.get(std::string{"filter/"} + kind)) {
      table.row(std::string{"Filtering 50,000 log rows by a message substring into a "} + kind +
                    " and repainting (" + fixed(f->counters.at("rows"), 0) + " rows shown)",
                duration(f->seconds), none, none, "< 20 ms", f->seconds < 0.020 ? "yes" : "**no**");
    }
  }
  for (auto const& [size, label] :
       {std::pair{"1024", "1 KiB"}, std::pair{"65536", "64 KiB"}, std::pair{"1048576", "1 MiB"}}) {
    if (auto const t = table.get(std::string{"textbox/bytes:"} + size)) {
      double const per_kib = t->seconds / (t->counters.at("items") / 1024);
      table.row(std::string{"TextBox repaint, 100x40, "} + label + " of text",
                duration(t->seconds) + " (" + duration(per_kib) + " per KiB)");
    }
  }
  for (auto const& [size, label, limit] :
       {std::tuple{"20480", "20 KiB", 0.05}, std::tuple{"81920", "80 KiB", 0.2}}) {
    if (auto const t = table.get(std::string{"textbox/paste:"} + size)) {
      table.row(std::string{"TextBox 80x24, bracketed paste of "} + label + ": paste + paint",
                duration(t->seconds), none, none, "< " + duration(limit),
                t->seconds < limit ? "yes" : "**no**");
    }
  }
  table.versus("TextBox 80x24, unbracketed paste (a key and a paint per byte), 80 KiB vs 20 KiB",
               "textbox/keys:81920", "textbox/keys:20480", 5.0);
  table.versus("TextBox 80x24, append a line + paint, 100,000 lines vs 100",
               "textbox/append/lines:100000", "textbox/append/lines:100", 2.0);
}

}  // namespace

int main(int argc, char** argv) {
  // As the library's terminal set-up does: stdout fully buffered with 4096 bytes.
  std::setvbuf(stdout, nullptr, _IOFBF, 4096);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  bench::register_commit_benchmarks();
  bench::register_widget_benchmarks();
  bench::register_textbox_benchmarks();
  bench::register_list_benchmarks();
  bench::register_input_benchmarks();
  CollectingReporter reporter;
  reporter.SetOutputStream(&std::cerr);
  reporter.SetErrorStream(&std::cerr);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  Table table{reporter};
  build_table(table);
  table.print(std::cout);
  std::cout.flush();
  return 0;
}
