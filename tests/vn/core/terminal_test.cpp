// The terminal object and the event loop on a pseudo-terminal. Each test runs the loop in a
// child process (the queue, the signal flags and the terminal modes are process-wide); the
// test plays the terminal and reads what the child reports.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <vn/vn.hpp>

#include "support/privileges.hpp"
#include "support/pty.hpp"
#include "support/session_output.hpp"

namespace {

using vennic::test::occurrences;
using vennic::test::PtyChild;
using vennic::test::same_attributes;

std::string const default_brush = "\x1b[49m\x1b[39m\x1b[22;23;24;25;27;28;29m";
// The end of every frame of LoopApp: the cursor shown at (1, 0).
std::string const frame_end = "\x1b[?25h\x1b[1;2H";
dalk::Extensions const quiet_idle = dalk::Extension::QuietIdle;

// A test application: logs every handler call, paints the number of paints so far in the
// top-left cell (default brush, so each commit writes exactly one default-brush sequence) and
// shows the cursor at (1, 0). The first resize runs `on_start`, from inside the loop.
struct LoopApp {
  std::optional<vn::QuitRequest> handle_key_press(dalk::Key key) {
    log("key " + std::to_string(static_cast<std::uint32_t>(key)));
    if (key == dalk::key(U'k')) {
      return vn::QuitRequest{11};
    }
    return std::nullopt;
  }
  std::optional<vn::QuitRequest> handle_key_release(dalk::Key) { return log("key_release"); }
  std::optional<vn::QuitRequest> handle_mouse_press(dalk::Mouse) { return log("mouse_press"); }
  std::optional<vn::QuitRequest> handle_mouse_release(dalk::Mouse) { return log("mouse_release"); }
  std::optional<vn::QuitRequest> handle_mouse_wheel(dalk::Mouse) { return log("mouse_wheel"); }
  std::optional<vn::QuitRequest> handle_mouse_move(dalk::Mouse m) {
    return log("mouse_move " + std::to_string(m.at.x) + "," + std::to_string(m.at.y));
  }
  std::optional<vn::QuitRequest> handle_resize(dalk::Area area) {
    log("resize " + std::to_string(area.width) + "x" + std::to_string(area.height));
    if (on_start) {
      auto start = std::move(on_start);
      on_start = nullptr;
      start();
    }
    return std::nullopt;
  }
  std::optional<vn::QuitRequest> handle_timer(int id) { return log("timer " + std::to_string(id)); }
  std::optional<dalk::Point> handle_paint(vn::Canvas canvas) {
    ++paints;
    log("paint");
    if (canvas.size.width > 0 && canvas.size.height > 0) {
      canvas[{0, 0}].symbol = static_cast<char32_t>(U'0' + paints % 10);
    }
    return dalk::Point{1, 0};
  }

  std::optional<vn::QuitRequest> log(std::string const& call) {
    calls += call + "|";
    return std::nullopt;
  }

  std::function<void()> on_start;
  std::string calls;
  int paints = 0;
};

// Runs the loop in the child and reports on standard error (the pty): the calls, then the
// return code or the exception that left the loop.
template <typename App = LoopApp>
int run_loop(std::function<void()> on_start, dalk::Extensions extensions = {}) {
  std::string report;
  {
    vn::Terminal terminal{dalk::MouseMode::Move, dalk::KeyMode::Normal, dalk::Signals::On,
                          extensions};
    App app;
    app.on_start = std::move(on_start);
    try {
      int const code = vn::process_events(terminal, app);
      report = "calls: " + app.calls + " returned: " + std::to_string(code);
    } catch (std::exception const& error) {
      report = "calls: " + app.calls + " threw: " + error.what();
    }
  }
  // After the terminal is restored, so the report is not lost in the alternate screen.
  std::fprintf(stderr, "\n%s\nend of report\n", report.c_str());
  return 0;
}

std::string report_of(PtyChild& child) {
  EXPECT_TRUE(child.wait_for_output("end of report"));
  auto const status = child.wait_exit();
  EXPECT_TRUE(status.exited && status.exit_status == 0) << child.output();
  auto const begin = child.output().find("calls: ");
  auto const end = child.output().find("\r\nend of report");
  if (begin == std::string::npos || end == std::string::npos) {
    return {};
  }
  return child.output().substr(begin, end - begin);
}

TEST(TerminalLoopTest, FirstEventIsResizeToTerminalSize) {
  auto child = PtyChild::start(
      [] {
        return run_loop([] {
          vn::Terminal::event_queue.enqueue(vn::event::Custom{
              []() -> std::optional<vn::QuitRequest> { return vn::QuitRequest{9}; }});
        });
      },
      20, 5);
  EXPECT_EQ(report_of(child), "calls: resize 20x5|paint| returned: 9");
  // The first commit rewrote every cell: 100 cursor moves, the painted "1" at the origin, and
  // the cursor shown at (1, 0).
  EXPECT_NE(child.output().find("\x1b[?25l\x1b[1;1H1\x1b[1;2H "), std::string::npos);
  EXPECT_NE(child.output().find("\x1b[5;20H " + default_brush + "\x1b[?25h\x1b[1;2H"),
            std::string::npos);
  EXPECT_EQ(occurrences(child.output(), default_brush), 1U);
}

// The report without its paints, for runs whose events may come faster than frames.
std::string without_paints(std::string report) {
  for (std::size_t at = 0; (at = report.find("paint|", at)) != std::string::npos;) {
    report.erase(at, 6);
  }
  return report;
}

TEST(TerminalLoopTest, EventsRunInEnqueueOrderAndQueuedOnesShareAPaint) {
  auto child = PtyChild::start(
      [] {
        return run_loop([] {
          auto& queue = vn::Terminal::event_queue;
          queue.enqueue(dalk::KeyPress{dalk::key(U'a')});
          queue.enqueue(dalk::MouseMove{dalk::Mouse{{3, 2}, dalk::Mouse::Button::None, {}}});
          queue.enqueue(vn::event::Timer{4});
          queue.enqueue(vn::event::Custom{[] { return std::optional<vn::QuitRequest>{}; }});
          queue.enqueue(vn::event::Custom{
              []() -> std::optional<vn::QuitRequest> { return vn::QuitRequest{7}; }});
          queue.enqueue(dalk::KeyPress{dalk::key(U'z')});
        });
      },
      10, 3);
  std::string const report = report_of(child);
  EXPECT_EQ(without_paints(report),
            "calls: resize 10x3|key 97|mouse_move 3,2|timer 4| returned: 7");
  // The first frame at once; the events queued behind one another paint only when a frame
  // interval has passed, so on a machine that keeps up not at all before the quit.
  EXPECT_EQ(report.rfind("calls: resize 10x3|paint|", 0), 0U) << report;
  // One commit per paint: a full one, then only the changed counter cell.
  EXPECT_EQ(occurrences(child.output(), default_brush), occurrences(report, "paint|"));
}

TEST(TerminalLoopTest, BurstIsPaintedOnceDrained) {
  auto child = PtyChild::start(
      [] {
        return run_loop([] {
          for (int i = 0; i < 200; ++i) {
            vn::Terminal::event_queue.enqueue(
                vn::event::Custom{[] { return std::optional<vn::QuitRequest>{}; }});
          }
          vn::Terminal::event_queue.enqueue(dalk::KeyPress{dalk::key(U'b')});
        });
      },
      10, 3);
  ASSERT_TRUE(child.wait_for_output(frame_end));
  child.read_for(std::chrono::milliseconds(300));
  child.write("k");
  std::string const report = report_of(child);
  EXPECT_NE(report.find("key 98|paint|key 107| returned: 11"), std::string::npos) << report;
  // Not one frame per event: a few at most, should the machine stall a frame interval.
  EXPECT_LE(occurrences(report, "paint|"), 10U) << report;
}

TEST(TerminalLoopTest, InterruptReturnsOneWithoutPainting) {
  // A quiet input thread is woken by the handler, which here runs on the loop's thread.
  for (dalk::Extensions const extensions : {dalk::Extensions{}, quiet_idle}) {
    auto child = PtyChild::start(
        [extensions] { return run_loop([] { std::raise(SIGINT); }, extensions); }, 10, 3);
    EXPECT_EQ(report_of(child), "calls: resize 10x3|paint| returned: 1") << extensions.value();
  }
}

TEST(TerminalLoopTest, UndecodableSequencesAreDroppedAndReadingGoesOn) {
  auto child = PtyChild::start([] { return run_loop(nullptr); }, 10, 3);
  // Typed once the first frame is on screen, so the loop is running.
  ASSERT_TRUE(child.wait_for_output("\x1b[?25h\x1b[1;2H"));
  child.write("\x1b[X");                        // unknown final byte
  child.write("\x1b[~");                        // no parameter
  child.write("\x1b[1;<A");                     // non-numeric modifier
  child.write("\x1b[1;99999999999999999999A");  // modifier out of range
  child.write("\x1b[2;1A");                     // unknown modifier
  child.write("k");
  EXPECT_EQ(report_of(child), "calls: resize 10x3|paint|key 107| returned: 11");
}

TEST(TerminalLoopTest, UnreadableWindowSizeLeavesTheLoop) {
  auto child = PtyChild::start(
      [] {
        int const saved = dup(1);
        std::string outcome;
        {
          vn::Terminal terminal{};
          LoopApp app;
          // From inside the loop: standard output stops being a terminal, so the Resize of the
          // next window-size signal cannot be built.
          app.on_start = [] {
            std::fflush(stdout);
            int const null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            close(null);
            std::raise(SIGWINCH);
          };
          try {
            outcome = "returned: " + std::to_string(vn::process_events(terminal, app));
          } catch (std::runtime_error const& error) {
            outcome = std::string("threw: ") + error.what() + " after: " + app.calls;
          }
        }
        std::fflush(stdout);
        dup2(saved, 1);
        std::fprintf(stderr, "\n%s\nend of report\n", outcome.c_str());
        return 0;
      },
      10, 3);
  ASSERT_TRUE(child.wait_for_output("end of report")) << child.output();
  EXPECT_NE(child.output().find("threw: terminal terminal_width(): Can't Read Window Size. after: "
                                "resize 10x3|paint|\r\n"),
            std::string::npos)
      << child.output();
  auto const status = child.wait_exit();
  EXPECT_TRUE(status.exited && status.exit_status == 0) << child.output();
}

TEST(TerminalLoopTest, HangUpLeavesTheLoopAndRestoresTheTerminal) {
  // The child reports through a pipe: its terminal is gone by then.
  int report_pipe[2];
  ASSERT_EQ(pipe(report_pipe), 0);
  auto child = PtyChild::start(
      [&] {
        close(report_pipe[0]);
        // A hang-up also sends SIGHUP, which would end the process before the loop sees it.
        std::signal(SIGHUP, SIG_IGN);
        std::string outcome;
        std::string restored;
        {
          std::optional<vn::Terminal> terminal{std::in_place};
          LoopApp app;
          try {
            outcome = "returned: " + std::to_string(vn::process_events(*terminal, app));
          } catch (std::exception const& error) {
            outcome = std::string("threw: ") + error.what();
          }
          // The hung-up terminal takes no output; catch what the destructor writes.
          std::fflush(stdout);
          FILE* file = std::tmpfile();
          dup2(fileno(file), 1);
          terminal.reset();
          std::fflush(stdout);
          std::rewind(file);
          char buffer[256];
          std::size_t const n = std::fread(buffer, 1, sizeof buffer, file);
          restored.assign(buffer, n);
        }
        std::string const report = outcome + "\nrestored: " + restored + "\nend of report";
        ssize_t const written = ::write(report_pipe[1], report.data(), report.size());
        return written == static_cast<ssize_t>(report.size()) ? 0 : 1;
      },
      10, 3);
  close(report_pipe[1]);
  ASSERT_TRUE(child.wait_for_output("\x1b[?25h\x1b[1;2H"));
  // Closing the master side hangs the terminal up; /dev/null takes over the descriptor number,
  // which the harness still owns.
  int const null = open("/dev/null", O_RDONLY);
  ASSERT_GE(null, 0);
  ASSERT_GE(dup2(null, child.master()), 0);
  close(null);
  auto const status = child.wait_exit();
  EXPECT_TRUE(status.exited && status.exit_status == 0);

  std::string report;
  char buffer[512];
  for (ssize_t n = 0; (n = read(report_pipe[0], buffer, sizeof buffer)) > 0;) {
    report.append(buffer, static_cast<std::size_t>(n));
  }
  close(report_pipe[0]);
  EXPECT_EQ(report.rfind("threw: ", 0), 0U) << report;
  EXPECT_EQ(report.find("io parse"), std::string::npos) << report;
  EXPECT_NE(report.find("restored: \x1b[?7h\x1b[?1049l"), std::string::npos) << report;
  EXPECT_NE(report.find("\x1b[?25h\nend of report"), std::string::npos) << report;
}

// Quits from a timer started by the key g, while the input thread may still be inside the
// sequence typed after it.
struct TimedQuitApp : LoopApp {
  std::optional<vn::QuitRequest> handle_key_press(dalk::Key key) {
    log("key " + std::to_string(static_cast<std::uint32_t>(key)));
    if (key == dalk::key(U'g')) {
      timer.emplace(std::chrono::milliseconds(50), true);
    }
    return std::nullopt;
  }
  std::optional<vn::QuitRequest> handle_timer(int) { return vn::QuitRequest{3}; }
  std::optional<vn::Timer> timer;
};

TEST(TerminalLoopTest, UnfinishedSequenceDoesNotHoldUpTheEnd) {
  for (dalk::Extensions const extensions : {dalk::Extensions{}, quiet_idle}) {
    auto child = PtyChild::start(
        [extensions] { return run_loop<TimedQuitApp>(nullptr, extensions); }, 10, 3);
    ASSERT_TRUE(child.wait_for_output(frame_end));
    // The sequence never ends; the destructor joins the input thread all the same.
    child.write("g\x1b[1");
    EXPECT_TRUE(child.wait_for_output("end of report", std::chrono::seconds(2))) << child.output();
    EXPECT_EQ(report_of(child), "calls: resize 10x3|paint|key 103|paint| returned: 3")
        << extensions.value();
  }
}

TEST(TerminalLoopTest, UnfinishedCharacterDoesNotSwallowTheNextKeys) {
  auto child = PtyChild::start([] { return run_loop(nullptr); }, 10, 3);
  ASSERT_TRUE(child.wait_for_output(frame_end));
  // A lead byte of three; the keys typed well after it are keys of their own.
  child.write("\xE9");
  child.read_for(std::chrono::milliseconds(500));
  child.write("abk");
  EXPECT_EQ(without_paints(report_of(child)),
            "calls: resize 10x3|key 97|key 98|key 107| returned: 11");
}

// The queue's bound and more: what is past the bound waits in the terminal's own buffer (4 KiB),
// which must still take the Ctrl+C for the terminal to raise its signal.
constexpr std::size_t queue_bound = vn::ConcurrentQueue<vn::Event>::default_capacity;
constexpr std::size_t flood_keys = queue_bound + 2000;

std::size_t queued_events() {
  std::lock_guard lock{vn::Terminal::event_queue.mutex};
  return vn::Terminal::event_queue.queue.size();
}

// The first key waits until the whole flood is queued; then every key takes a millisecond, so
// the queue would take far longer than the test allows to drain.
struct FloodApp {
  std::optional<vn::QuitRequest> handle_key_press(dalk::Key) {
    if (!flooded) {
      flooded = true;
      bool const all = vennic::test::wait_until([] { return queued_events() >= queue_bound; });
      std::fputs(all ? "\nqueue full\n" : "\nqueue short\n", stderr);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return std::nullopt;
  }
  std::optional<vn::QuitRequest> handle_resize(dalk::Area) { return std::nullopt; }
  std::optional<dalk::Point> handle_paint(vn::Canvas) { return dalk::Point{1, 0}; }
  bool flooded = false;
};

TEST(TerminalLoopTest, InterruptGoesAheadOfQueuedInput) {
  auto child = PtyChild::start(
      [] {
        std::string report;
        {
          vn::Terminal terminal{};
          FloodApp app;
          int const code = vn::process_events(terminal, app);
          std::size_t const left = queued_events();
          report = "returned: " + std::to_string(code) +
                   (left > queue_bound / 2 ? " most keys left" : " left: " + std::to_string(left));
        }
        std::fprintf(stderr, "\n%s\nend of report\n", report.c_str());
        return 0;
      },
      10, 3);
  ASSERT_TRUE(child.wait_for_output(frame_end));
  child.write(std::string(flood_keys, 'a'));
  ASSERT_TRUE(child.wait_for_output("queue full")) << child.output().substr(0, 200);
  auto const interrupted = std::chrono::steady_clock::now();
  child.write("\x03");
  // Draining the queue and the terminal's buffer would take 3 s; the bound is loose on purpose.
  EXPECT_TRUE(child.wait_for_output("end of report", std::chrono::seconds(5)));
  EXPECT_LT(std::chrono::steady_clock::now() - interrupted, std::chrono::seconds(5));
  EXPECT_NE(child.output().find("returned: 1 most keys left"), std::string::npos)
      << child.output().substr(child.output().size() > 200 ? child.output().size() - 200 : 0);
  auto const status = child.wait_exit();
  EXPECT_TRUE(status.exited && status.exit_status == 0);
}

// Threads of this process; sanitizers may run threads of their own, so only changes count.
long thread_count() {
  return static_cast<long>(std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                                         std::filesystem::directory_iterator{}));
}

TEST(TerminalObjectTest, RefusesStandardStreamsThatAreNoTerminal) {
  auto child = PtyChild::start([] {
    for (int const fd : {0, 1}) {
      std::fflush(stdout);
      FILE* file = std::tmpfile();
      int const saved = dup(fd);
      dup2(fileno(file), fd);
      long const threads_before = thread_count();
      std::string outcome;
      try {
        vn::Terminal terminal{};
        outcome = "constructed";
      } catch (std::runtime_error const& error) {
        outcome = error.what();
      }
      std::fflush(stdout);
      long const written = lseek(fileno(file), 0, SEEK_END);
      dup2(saved, fd);
      close(saved);
      std::fclose(file);
      std::fprintf(stderr, "%d: %s, %ld written, %ld threads started\n", fd, outcome.c_str(),
                   written, thread_count() - threads_before);
    }
    return 0;
  });
  auto const status = child.wait_exit();
  EXPECT_TRUE(status.exited && status.exit_status == 0) << child.output();
  // Nothing reached the file, nor the terminal, and no thread was started.
  EXPECT_EQ(child.output(),
            "0: Terminal(): standard input is not a terminal, 0 written, 0 threads started\r\n"
            "1: Terminal(): standard output is not a terminal, 0 written, 0 threads started\r\n");
}

TEST(TerminalObjectTest, DestructorReportsAFailedKeyboardSwitchBack) {
  auto child = PtyChild::start([] {
    termios before{};
    tcgetattr(0, &before);
    {
      std::optional<vn::Terminal> terminal{std::in_place};
      // /dev/null stands in for a console whose keyboard cannot be switched back; the input
      // thread is stopped first, so it never reads from it.
      terminal->read_thread.request_stop();
      terminal->read_thread.join();
      dalk::detail::tty_file_descriptor = open("/dev/null", O_RDWR);
      terminal.reset();
    }
    termios after{};
    tcgetattr(0, &after);
    std::fputs(same_attributes(before, after) ? "attributes restored\n" : "attributes left\n",
               stderr);
    return 0;
  });
  auto const status = child.wait_exit();
  EXPECT_TRUE(status.exited && status.exit_status == 0) << child.output();
  std::string const& out = child.output();
  auto const restored = out.find("\x1b[?7h\x1b[?1049l");
  auto const error = out.find("Error: set_keyboard_mode(): Failed.\r\nattributes restored\r\n");
  ASSERT_NE(restored, std::string::npos) << out;
  EXPECT_NE(error, std::string::npos) << out;
  EXPECT_LT(restored, error);
}

TEST(TerminalObjectTest, FailedRawKeyboardExitsWithoutAnInputThread) {
  auto child = PtyChild::start([] {
    // Never ask for the console keyboard as root: a real console may be attached.
    if (!vennic::test::drop_root()) {
      return vennic::test::still_root_status;
    }
    if (vennic::test::console_reachable()) {
      return vennic::test::console_reachable_status;
    }
    // Runs before the library's static destructors, which were registered earlier.
    static long threads_before = thread_count();
    std::atexit([] {
      std::fprintf(stderr, "threads left at exit: %ld\n", thread_count() - threads_before);
    });
    vn::Terminal terminal{dalk::MouseMode::Off, dalk::KeyMode::Raw};
    return 10;
  });
  auto const status = child.wait_exit();
  if (status.exited && status.exit_status == vennic::test::console_reachable_status) {
    GTEST_SKIP() << "a console device can be opened without root here";
  }
  ASSERT_NE(status.exit_status, vennic::test::still_root_status) << "could not give up root";
  EXPECT_TRUE(status.exited && status.exit_status == 1) << child.output();
  EXPECT_NE(child.output().find("Error: open_console_file(): Can't open console file. Try sudo.\r\n"
                                "threads left at exit: 0\r\n"),
            std::string::npos)
      << child.output();
}

// The thread ids of the calling process.
std::set<std::string> task_ids() {
  std::set<std::string> ids;
  for (auto const& task : std::filesystem::directory_iterator("/proc/self/task")) {
    ids.insert(task.path().filename().string());
  }
  return ids;
}

// Context switches of a thread of the child: each wake from a wait counts one.
long context_switches(pid_t pid, std::string const& tid) {
  std::ifstream status{"/proc/" + std::to_string(pid) + "/task/" + tid + "/status"};
  long switches = -1;
  for (std::string line; std::getline(status, line);) {
    auto const colon = line.find(':');
    if (line.find("ctxt_switches") != std::string::npos && colon != std::string::npos) {
      switches = std::max(switches, 0L) + std::stol(line.substr(colon + 1));
    }
  }
  return switches;
}

TEST(TerminalLoopTest, QuietIdleInputThreadSleepsUntilInputOrResize) {
  struct Case {
    dalk::Extensions extensions;
    long fewest;
    long most;
  };
  // Loose on purpose: waking every 16 ms makes about 60 switches a second.
  Case const cases[] = {{dalk::Extensions{}, 10, 100000}, {quiet_idle, 0, 3}};
  for (auto const& c : cases) {
    auto child = PtyChild::start(
        [extensions = c.extensions] {
          // The input thread is the one the terminal object starts. ThreadSanitizer starts a
          // helper thread with the first thread of a process: one started before makes sure
          // that the helper is running before the count.
          std::thread{[] {}}.join();
          return run_loop(
              [before = task_ids()] {
                for (std::string const& id : task_ids()) {
                  if (before.count(id) == 0) {
                    std::fprintf(stderr, "input thread %s;", id.c_str());
                  }
                }
              },
              extensions);
        },
        10, 3);
    ASSERT_TRUE(child.wait_for_output(frame_end));
    auto const at = child.output().find("input thread ");
    ASSERT_NE(at, std::string::npos) << child.output();
    std::string const tid = child.output().substr(at + 13, child.output().find(';', at) - at - 13);
    long const before = context_switches(child.pid(), tid);
    child.read_for(std::chrono::seconds(1));
    long const after = context_switches(child.pid(), tid);
    ASSERT_GE(before, 0);
    EXPECT_GE(after - before, c.fewest) << c.extensions.value();
    EXPECT_LE(after - before, c.most) << c.extensions.value();
    // Still woken by what it waits for: a key, a resize, the quit.
    child.write("a");
    ASSERT_TRUE(child.wait_for_output("\x1b[1;1H2"));
    child.set_size(30, 8);
    ASSERT_TRUE(child.wait_for_output("\x1b[1;1H3"));
    child.write("k");
    EXPECT_EQ(report_of(child),
              "calls: resize 10x3|paint|key 97|paint|resize 30x8|paint|key 107| returned: 11");
  }
}

}  // namespace
