// The terminal object and the event loop on a pseudo-terminal. Each test runs the loop in a
// child process (the queue, the signal flags and the terminal modes are process-wide); the
// test plays the terminal and reads what the child reports.
#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <vn/vn.hpp>

#include "support/pty.hpp"

namespace {

using vennic::test::PtyChild;

std::string const default_brush = "\x1b[49m\x1b[39m\x1b[22;23;24;25;27;28;29m";

std::size_t count(std::string const& text, std::string const& needle) {
  std::size_t found = 0;
  for (auto at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) {
    ++found;
  }
  return found;
}

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
int run_loop(std::function<void()> on_start) {
  std::string report;
  {
    vn::Terminal terminal{};
    LoopApp app;
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
  EXPECT_EQ(count(child.output(), default_brush), 1U);
}

TEST(TerminalLoopTest, EventsRunInEnqueueOrderWithOnePaintAndCommitEach) {
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
  EXPECT_EQ(report_of(child),
            "calls: resize 10x3|paint|key 97|paint|mouse_move 3,2|paint|timer 4|paint|paint| "
            "returned: 7");
  // One commit per painted event: a full one, then only the changed counter cell.
  EXPECT_EQ(count(child.output(), default_brush), 5U);
  EXPECT_NE(child.output().find("\x1b[?25l\x1b[1;1H5" + default_brush + "\x1b[?25h\x1b[1;2H"),
            std::string::npos);
}

TEST(TerminalLoopTest, InterruptReturnsOneWithoutPainting) {
  auto child = PtyChild::start([] { return run_loop([] { std::raise(SIGINT); }); }, 10, 3);
  EXPECT_EQ(report_of(child), "calls: resize 10x3|paint| returned: 1");
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
        // Standard output is no terminal, so the first Resize cannot be built.
        int const null = open("/dev/null", O_WRONLY);
        int const saved = dup(1);
        dup2(null, 1);
        std::string outcome;
        {
          vn::Terminal terminal{};
          LoopApp app;
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
  EXPECT_NE(
      child.output().find("threw: terminal terminal_width(): Can't Read Window Size. after: \r\n"),
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

}  // namespace
