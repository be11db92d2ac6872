// The input side: the event queue with one and four producers, decoding of key and mouse
// sequences through dalk::read, and key-to-screen latency of a small application in a
// pseudo-terminal.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <variant>
#include <vector>

#include <vn/vn.hpp>

#include "benchmarks.hpp"
#include "support.hpp"

namespace bench {
namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Wall time: the producers run on threads of their own.
void queue_throughput(benchmark::State& state, int producers) {
  constexpr int items = 100'000;
  vn::ConcurrentQueue<vn::Event> queue;
  for (auto _ : state) {
    Clock::time_point const start = Clock::now();
    {
      std::vector<std::jthread> threads;
      for (int p = 0; p < producers; ++p) {
        threads.emplace_back([&queue, share = items / producers] {
          for (int i = 0; i < share; ++i) {
            queue.enqueue(dalk::KeyPress{dalk::Key{'a'}});
          }
        });
      }
      for (int i = 0; i < items / producers * producers; ++i) {
        benchmark::DoNotOptimize(queue.pop());
      }
    }
    state.SetIterationTime(seconds_since(start));
  }
  state.counters["items"] =
      benchmark::Counter(static_cast<double>(items) * static_cast<double>(state.iterations()),
                         benchmark::Counter::kAvgIterations);
}

// Standard input is a pipe holding a batch of complete sequences; every read finds the rest
// of its sequence waiting, as it does when a terminal sends it.
void decode(benchmark::State& state, std::vector<std::string> const& sequences) {
  constexpr int batch_events = 512;
  std::string batch;
  for (int i = 0; i < batch_events; ++i) {
    batch += sequences[static_cast<std::size_t>(i) % sequences.size()];
  }
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) {
    state.SkipWithError("pipe failed");
    return;
  }
  int const saved_stdin = dup(0);
  dup2(pipe_fds[0], 0);
  for (auto _ : state) {
    if (write(pipe_fds[1], batch.data(), batch.size()) != static_cast<ssize_t>(batch.size())) {
      state.SkipWithError("short write");
      break;
    }
    double const start = thread_cpu_seconds();
    for (int i = 0; i < batch_events; ++i) {
      auto event = dalk::read(16);
      if (!event) {
        state.SkipWithError("no event decoded");
        break;
      }
      benchmark::DoNotOptimize(event);
    }
    double const stop = thread_cpu_seconds();
    state.SetIterationTime(stop - start);
  }
  dup2(saved_stdin, 0);
  close(saved_stdin);
  close(pipe_fds[0]);
  close(pipe_fds[1]);
  state.counters["items"] = benchmark::Counter(
      batch_events * static_cast<double>(state.iterations()), benchmark::Counter::kAvgIterations);
  state.counters["bytes"] =
      benchmark::Counter(static_cast<double>(batch.size()), benchmark::Counter::kDefaults);
}

std::vector<std::string> const key_sequences{
    "\x1b[A", "\x1b[1;5C", "\x1b[3~", "\x1b[15;2~", "\x1bOP", "a", "Z", "\xc3\xa9", "\x7f", "\r"};
std::vector<std::string> const mouse_sequences{"\x1b[<0;12;5M", "\x1b[<0;12;5m", "\x1b[<35;40;20M",
                                               "\x1b[<64;3;3M", "\x1b[<65;100;40M"};

// Reads what the application writes and tells when a frame is complete: a frame ends with
// the show-cursor sequence and a cursor move. Text outside escape sequences is collected,
// so the typed character can be looked for in it.
class FrameReader {
 public:
  explicit FrameReader(int fd) : fd_{fd} {}

  // Reads until one frame has ended; false on time-out or end of output.
  bool read_frame(std::string& text, std::chrono::milliseconds timeout) {
    text.clear();
    Clock::time_point const deadline = Clock::now() + timeout;
    for (;;) {
      while (next_ < buffer_.size()) {
        if (consume(buffer_[next_++], text)) {
          return true;
        }
      }
      buffer_.clear();
      next_ = 0;
      auto const left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) {
        return false;
      }
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left.count())) <= 0) {
        return false;
      }
      char chunk[8192];
      ssize_t const got = ::read(fd_, chunk, sizeof chunk);
      if (got <= 0) {
        return false;
      }
      buffer_.assign(chunk, static_cast<std::size_t>(got));
    }
  }

 private:
  // True when c completes a frame.
  bool consume(char c, std::string& text) {
    switch (state_) {
      case State::Text:
        if (c == '\x1b') {
          state_ = State::Escape;
        } else {
          text += c;
        }
        return false;
      case State::Escape:
        state_ = c == '[' ? State::Sequence : State::Text;
        sequence_.clear();
        return false;
      case State::Sequence:
        sequence_ += c;
        if (c < 0x40 || c > 0x7E) {
          return false;
        }
        state_ = State::Text;
        if (sequence_ == "?25h") {
          cursor_shown_ = true;
          return false;
        }
        if (cursor_shown_ && c == 'H') {
          cursor_shown_ = false;
          return true;
        }
        cursor_shown_ = false;
        return false;
    }
    return false;
  }

  enum class State { Text, Escape, Sequence };
  int fd_;
  State state_ = State::Text;
  std::string sequence_;
  bool cursor_shown_ = false;
  std::string buffer_;
  std::size_t next_ = 0;
};

void stop_child(pid_t child, int master) {
  char const interrupt = '\x03';
  (void)!write(master, &interrupt, 1);
  Clock::time_point const deadline = Clock::now() + std::chrono::seconds(3);
  for (;;) {
    char drain[4096];
    pollfd p{master, POLLIN, 0};
    if (poll(&p, 1, 10) > 0) {
      (void)!read(master, drain, sizeof drain);
    }
    int status = 0;
    if (waitpid(child, &status, WNOHANG) == child) {
      return;
    }
    if (Clock::now() > deadline) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      return;
    }
  }
}

// Starts the latency application in an 80x24 pseudo-terminal; -1 if forkpty failed. mode: its
// argument (null for none); escape_wait_ms: its escape wait, -1 for the library's default.
pid_t start_latency_app(int& master, char const* mode, int escape_wait_ms) {
  winsize size{};
  size.ws_row = 24;
  size.ws_col = 80;
  pid_t const child = forkpty(&master, nullptr, nullptr, &size);
  if (child == 0) {
    setenv("TERM", "xterm-256color", 1);
    if (escape_wait_ms >= 0) {
      setenv("VENNIC_ESCAPE_WAIT_MS", std::to_string(escape_wait_ms).c_str(), 1);
    }
    execl(VENNIC_LATENCY_APP, VENNIC_LATENCY_APP, mode, static_cast<char*>(nullptr));
    _exit(127);
  }
  return child;
}

// One run of 1,000 keys; the iteration time is the median latency. escape_wait_ms: the escape
// wait the application runs with, -1 for the library's default.
void key_to_screen_latency(benchmark::State& state, int escape_wait_ms) {
  constexpr int keys = 1000;
  for (auto _ : state) {
    int master = -1;
    pid_t const child = start_latency_app(master, nullptr, escape_wait_ms);
    if (child < 0) {
      state.SkipWithError("forkpty failed");
      return;
    }
    FrameReader reader{master};
    std::string text;
    if (!reader.read_frame(text, std::chrono::seconds(10))) {
      stop_child(child, master);
      close(master);
      state.SkipWithError("the application drew no first frame");
      return;
    }
    std::vector<double> latencies;
    latencies.reserve(keys);
    int missing = 0;
    for (int i = 0; i < keys; ++i) {
      char const key = static_cast<char>('a' + i % 26);
      Clock::time_point const start = Clock::now();
      if (write(master, &key, 1) != 1 || !reader.read_frame(text, std::chrono::seconds(5))) {
        break;
      }
      latencies.push_back(seconds_since(start));
      if (text.find(key) == std::string::npos) {
        ++missing;
      }
    }
    stop_child(child, master);
    close(master);
    if (latencies.size() != keys || missing != 0) {
      state.SkipWithError("frames went missing or did not show the typed key");
      return;
    }
    std::sort(latencies.begin(), latencies.end());
    double const median = latencies[keys / 2];
    double const p99 = latencies[keys * 99 / 100];
    state.SetIterationTime(median);
    state.counters["p50_s"] = median;
    state.counters["p99_s"] = p99;
  }
}

// A 2 MB bracketed paste written into a pseudo-terminal until the reading child has it as
// one Paste event; wall time.
void paste_throughput(benchmark::State& state) {
  std::string const paste = "\x1b[200~" + std::string(std::size_t{2} << 20U, 'p') + "\x1b[201~";
  for (auto _ : state) {
    int master = -1;
    pid_t const child = forkpty(&master, nullptr, nullptr, nullptr);
    if (child < 0) {
      state.SkipWithError("forkpty failed");
      return;
    }
    if (child == 0) {
      dalk::initialize_interactive_terminal(dalk::MouseMode::Off, dalk::KeyMode::Normal,
                                            dalk::Signals::Off, dalk::Extension::BracketedPaste);
      (void)!::write(1, "ready\n", 6);
      for (Clock::time_point const end = Clock::now() + std::chrono::seconds(60);
           Clock::now() < end;) {
        if (auto event = dalk::read(100); event && std::holds_alternative<dalk::Paste>(*event)) {
          (void)!::write(1, "pasted\n", 7);
          break;
        }
      }
      dalk::uninitialize_terminal();
      _exit(0);
    }
    std::string seen;
    auto const wait_for = [&](std::string const& needle) {
      for (Clock::time_point const end = Clock::now() + std::chrono::seconds(60);
           seen.find(needle) == std::string::npos && Clock::now() < end;) {
        char chunk[4096];
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 100) > 0) {
          ssize_t const got = ::read(master, chunk, sizeof chunk);
          if (got <= 0) {
            return false;
          }
          seen.append(chunk, static_cast<std::size_t>(got));
        }
      }
      return seen.find(needle) != std::string::npos;
    };
    bool ok = wait_for("ready");
    Clock::time_point const start = Clock::now();
    std::thread writer{[&] {
      for (std::size_t at = 0; ok && at < paste.size();) {
        ssize_t const n = ::write(master, paste.data() + at, paste.size() - at);
        if (n <= 0) {
          break;
        }
        at += static_cast<std::size_t>(n);
      }
    }};
    ok = ok && wait_for("pasted");
    double const took = seconds_since(start);
    writer.join();
    stop_child(child, master);
    close(master);
    if (!ok) {
      state.SkipWithError("the paste did not arrive");
      return;
    }
    state.SetIterationTime(took);
  }
  state.counters["bytes"] = static_cast<double>(paste.size());
}

// What a terminal answers to start-up's questions at once: kitty's words, then the fence.
constexpr std::string_view prompt_replies =
    "\x1bP>|kitty(0.35.2)\x1b\\\x1b[?2026;2$y\x1b[?2027;2$y\x1b[?2004;2$y\x1b[?1004;2$y"
    "\x1b[?0u\x1bP1+r524742=382F382F38\x1b\\\x1b[?62;22c";

// Time from the start of the application to its first frame (the cursor shown and placed).
// mode: the application's argument; replies: typed back once it asks, or nothing.
void start_up(benchmark::State& state, char const* mode, std::string_view replies) {
  for (auto _ : state) {
    int master = -1;
    Clock::time_point const start = Clock::now();
    pid_t const child = start_latency_app(master, mode, -1);
    if (child < 0) {
      state.SkipWithError("forkpty failed");
      return;
    }
    std::string out;
    bool answered = replies.empty();
    Clock::time_point const deadline = start + std::chrono::seconds(5);
    auto const frame_end = [&out] {
      std::size_t const shown = out.find("\x1b[?25h\x1b[");
      return shown != std::string::npos && out.find('H', shown + 6) != std::string::npos;
    };
    while (!frame_end() && Clock::now() < deadline) {
      pollfd p{master, POLLIN, 0};
      char buffer[4096];
      if (poll(&p, 1, 10) > 0) {
        ssize_t const n = read(master, buffer, sizeof buffer);
        out.append(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
      }
      if (!answered && out.find("\x1b[c") != std::string::npos) {
        answered = write(master, replies.data(), replies.size()) > 0;
      }
    }
    double const seconds = seconds_since(start);
    stop_child(child, master);
    close(master);
    if (!frame_end()) {
      state.SkipWithError("the application drew no first frame");
      return;
    }
    state.SetIterationTime(seconds);
  }
}

}  // namespace

void register_input_benchmarks() {
  benchmark::RegisterBenchmark(
      "startup/answers",
      [](benchmark::State& state) { start_up(state, "answers", prompt_replies); })
      ->UseManualTime()
      ->Iterations(10)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("startup/silent",
                               [](benchmark::State& state) { start_up(state, "answers", {}); })
      ->UseManualTime()
      ->Iterations(10)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("startup/off",
                               [](benchmark::State& state) { start_up(state, "no-answers", {}); })
      ->UseManualTime()
      ->Iterations(10)
      ->Unit(benchmark::kMillisecond);
  for (int producers : {1, 4}) {
    benchmark::RegisterBenchmark(
        ("queue/producers:" + std::to_string(producers)).c_str(),
        [producers](benchmark::State& state) { queue_throughput(state, producers); })
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::RegisterBenchmark("decode/keys",
                               [](benchmark::State& state) { decode(state, key_sequences); })
      ->UseManualTime()
      ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("decode/mouse",
                               [](benchmark::State& state) { decode(state, mouse_sequences); })
      ->UseManualTime()
      ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("latency/key_to_screen",
                               [](benchmark::State& state) { key_to_screen_latency(state, -1); })
      ->UseManualTime()
      ->Iterations(1)
      ->Repetitions(1)
      ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("latency/key_to_screen_escape_wait_0",
                               [](benchmark::State& state) { key_to_screen_latency(state, 0); })
      ->UseManualTime()
      ->Iterations(1)
      ->Repetitions(1)
      ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("input/paste_2mb", paste_throughput)
      ->UseManualTime()
      ->Iterations(1)
      ->Unit(benchmark::kMillisecond);
}

}  // namespace bench
