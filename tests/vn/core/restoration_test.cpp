// The terminal is put back on every way out of a running application: an exception leaving
// run(), an uncaught exception, the signals that end a process, and a stop (Ctrl+Z), after which
// the application takes the terminal back and repaints everything. Each test runs the event loop
// in a child on a pseudo-terminal and reads the exact bytes and attributes the child leaves.
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vn/vn.hpp>

#include "support/fake_terminal.hpp"
#include "support/process.hpp"
#include "support/pty.hpp"
#include "support/sanitizers.hpp"
#include "support/session_output.hpp"

using vennic::test::mouse_encoding;
using vennic::test::PtyChild;
using vennic::test::same_attributes;
using vennic::test::wait_for_go;

// Under ThreadSanitizer the tests that lost a signal in repeated runs skip themselves (the main
// thread, idle in the event queue's wait when the signal came, slept on); the others (a loop
// stuck in a handler, a flood of input, continuous frames) ran clean and run under it too.

namespace {

constexpr int columns = 20;
constexpr int rows = 5;

// A session without extensions, with the recommended ones, or without them but with a window
// title and a cursor shape set.
enum class Session { Basic, Extended, Dressed };

dalk::Extensions extensions_of(Session session) {
  return session == Session::Extended ? dalk::recommended_extensions : dalk::Extensions{};
}

// The end of every frame: the cursor shown at (1, 0), and with synchronized output the end of
// the update.
std::string frame_end(Session session = Session::Basic) {
  return std::string("\x1b[?25h\x1b[1;2H") + (session == Session::Extended ? "\x1b[?2026l" : "");
}

// The recommended extensions turn off first, after the end of synchronized output their frames
// used, and on last; the title and the shape come back last.
std::string restore_bytes(Session session = Session::Basic) {
  return (session == Session::Extended ? "\x1b[?2026l\x1b[?2027l\x1b[<u\x1b[?1004l\x1b[?2004l"
                                       : "") +
         std::string("\x1b[?7h\x1b[?1049l\x1b[?1000;1002;1003;") + mouse_encoding() + "l\x1b[?25h" +
         (session == Session::Dressed ? "\x1b[0 q\x1b[23;0t" : "");
}

// What initialization writes for the terminal object below (MouseMode::Basic): the extended
// session asks its questions before it pushes the kitty flags; the continue after a stop
// (queries empty) asks nothing. Dressed, the title saved and set, and the first frame's shape.
std::string interactive_bytes(Session session = Session::Basic,
                              std::string_view queries = vennic::test::start_up_queries) {
  return "\x1b[?7l\x1b[?1049h\x1b[?1002;1003l\x1b[?1000;" + mouse_encoding() + "h\x1b[?25l" +
         (session == Session::Extended
              ? "\x1b[?2004h\x1b[?1004h" + std::string(queries) + "\x1b[>7u\x1b[?2027h"
              : "") +
         (session == Session::Dressed ? "\x1b[22;0t\x1b]2;Tit\xef\xbf\xbdle\x1b\\\x1b[6 q" : "");
}

// The scheduling and signal state of a process and its threads, for failure messages.
std::string process_state(pid_t pid) {
  std::string state;
  std::string const base = "/proc/" + std::to_string(pid);
  std::ifstream status{base + "/status"};
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("State", 0) == 0 || line.rfind("Sig", 0) == 0 || line.rfind("ShdPnd", 0) == 0) {
      state += line + "\n";
    }
  }
  for (auto const& task : std::filesystem::directory_iterator(base + "/task")) {
    std::ifstream wchan{task.path() / "wchan"};
    std::ifstream task_status{task.path() / "status"};
    std::string line;
    std::string channel;
    std::getline(wchan, channel);
    state += task.path().filename().string() + " " + channel;
    while (std::getline(task_status, line)) {
      if (line.rfind("State", 0) == 0 || line.rfind("SigPnd", 0) == 0 ||
          line.rfind("SigBlk", 0) == 0) {
        state += " " + line;
      }
    }
    state += "\n";
  }
  return state;
}

// The number of "\e[<row>;<column>H" sequences in text.
std::size_t count_cursor_moves(std::string const& text) {
  std::size_t moves = 0;
  for (auto at = text.find("\x1b["); at != std::string::npos; at = text.find("\x1b[", at + 1)) {
    auto const end = text.find_first_not_of("0123456789;", at + 2);
    moves += end != std::string::npos && end > at + 2 && text[end] == 'H' ? 1 : 0;
  }
  return moves;
}

// Paints a letter at the origin and puts the cursor at (1, 0); quits on q, throws on x.
class Marker : public vn::Widget {
 public:
  Marker() : vn::Widget{vn::FocusPolicy::Strong, vn::SizePolicy{}} { cursor = dalk::Point{1, 0}; }
  void paint(vn::Canvas canvas) override { canvas[{0, 0}].symbol = U'M'; }
  void key_press(dalk::Key key) override {
    if (key == dalk::key(U'x')) {
      throw std::runtime_error("widget failed");
    }
  }
};

struct MarkerApp {
  std::optional<vn::QuitRequest> handle_key_press(dalk::Key key) {
    if (key == dalk::key(U'q')) {
      return vn::QuitRequest{5};
    }
    marker.key_press(key);
    return std::nullopt;
  }
  std::optional<vn::QuitRequest> handle_resize(dalk::Area) { return std::nullopt; }
  std::optional<dalk::Point> handle_paint(vn::Canvas canvas) {
    marker.paint(canvas);
    return dalk::Point{1, 0};
  }
  Marker marker;
};

vn::Terminal marker_terminal(Session session) {
  // The three-argument form for a basic session: it must write exactly what it always has.
  if (session == Session::Basic) {
    return vn::Terminal{dalk::MouseMode::Basic, dalk::KeyMode::Normal, dalk::Signals::On};
  }
  return vn::Terminal{dalk::MouseMode::Basic, dalk::KeyMode::Normal, dalk::Signals::On,
                      extensions_of(session)};
}

int run_marker_loop(Session session = Session::Basic) {
  wait_for_go();
  vn::Terminal terminal = marker_terminal(session);
  if (session == Session::Dressed) {
    // Control characters are left out, malformed UTF-8 becomes U+FFFD.
    dalk::set_title("T\ai\x1b\xc2\x85t\xffle");
    vn::Terminal::cursor_shape = dalk::CursorShape::SteadyBar;
  }
  MarkerApp app;
  return vn::process_events(terminal, app);
}

// Starts the child, records the attributes it starts with, lets it go and waits for the first
// frame. Returns the attributes; `frame` is the offset just after the first frame.
termios start_and_wait_for_frame(PtyChild& child, std::size_t& frame,
                                 Session session = Session::Basic) {
  termios before{};
  // The extended session's terminal answers like kitty: the flags are pushed, frames synchronized.
  child.reply_to_queries(session == Session::Extended ? vennic::test::kitty_replies : "");
  EXPECT_TRUE(child.wait_for_output("ready"));
  before = child.attributes();
  child.write("go\n");
  EXPECT_TRUE(child.wait_for_output(frame_end(session))) << child.output();
  frame = child.output().find(frame_end(session)) + frame_end(session).size();
  return before;
}

void expect_ended_by(int sig, std::function<void(PtyChild&)> const& send,
                     Session session = Session::Basic) {
  auto child = PtyChild::start(
      [session] {
        // SIGQUIT's default action would write a core file.
        prctl(PR_SET_DUMPABLE, 0);
        return run_marker_loop(session);
      },
      columns, rows);
  std::size_t frame = 0;
  termios const before = start_and_wait_for_frame(child, frame, session);
  send(child);
  auto const status = child.wait_exit();
  EXPECT_TRUE(status.signaled) << child.output();
  EXPECT_EQ(status.signal, sig);
  EXPECT_EQ(child.output().substr(frame), restore_bytes(session));
  EXPECT_TRUE(same_attributes(child.attributes(), before));
}

TEST(TerminalRestorationTest, ExceptionLeavingRunRestoresThroughTheDestructor) {
  auto child = PtyChild::start(
      [] {
        wait_for_go();
        Marker marker;
        vn::Focus::set(marker);
        try {
          vn::Application{marker, vn::Terminal{dalk::MouseMode::Basic}}.run();
        } catch (std::runtime_error const& error) {
          std::fprintf(stderr, "\ncaught: %s\n", error.what());
          return 0;
        }
        return 10;
      },
      columns, rows);
  std::size_t frame = 0;
  termios const before = start_and_wait_for_frame(child, frame);
  child.write("x");
  EXPECT_TRUE(child.wait_for_output("caught: widget failed"));
  EXPECT_EQ(child.wait_exit().exit_status, 0);
  // Only the object holding the session restores; the moved-from argument does not.
  EXPECT_EQ(child.output().substr(frame), restore_bytes() + "\r\ncaught: widget failed\r\n");
  EXPECT_TRUE(same_attributes(child.attributes(), before));
}

// Quits with code 5 on q.
class Quitter : public Marker {
 public:
  void key_press(dalk::Key key) override {
    if (key == dalk::key(U'q')) {
      vn::quit(5);
    }
  }
};

// The application built in one statement and run in the next: the temporary terminal dies
// before run(), and the session must still be live during the run and restored once after it.
TEST(TerminalRestorationTest, SessionMovedIntoAnApplicationStaysLiveUntilItEnds) {
  auto child = PtyChild::start(
      [] {
        wait_for_go();
        Quitter quitter;
        vn::Focus::set(quitter);
        vn::Application app{quitter, vn::Terminal{dalk::MouseMode::Basic}};
        return app.run();
      },
      columns, rows);
  std::size_t frame = 0;
  termios const before = start_and_wait_for_frame(child, frame);
  EXPECT_EQ(child.attributes().c_lflag & ECHO, 0U);
  // Nothing was restored before the first frame: the modes went out once, and stay.
  std::string const& out = child.output();
  EXPECT_EQ(out.find(restore_bytes()), std::string::npos) << out;
  EXPECT_NE(out.find(interactive_bytes()), std::string::npos) << out;
  child.write("q");
  auto const status = child.wait_exit();
  EXPECT_EQ(status.exit_status, 5) << out;
  // The key is painted before the quit it posted is taken; then one restoration, at the end.
  std::size_t const restored = out.find(restore_bytes(), frame);
  ASSERT_NE(restored, std::string::npos) << out;
  EXPECT_EQ(out.substr(restored), restore_bytes());
  EXPECT_EQ(out.substr(restored - frame_end().size(), frame_end().size()), frame_end());
  EXPECT_TRUE(same_attributes(child.attributes(), before));
}

void expect_uncaught_exception_restores(Session session) {
  auto child = PtyChild::start(
      [session] {
        prctl(PR_SET_DUMPABLE, 0);
        // Nothing unwinds through a noexcept function: std::terminate runs at once, and no
        // destructor restores the terminal.
        [session]() noexcept {
          wait_for_go();
          Marker marker;
          vn::Focus::set(marker);
          vn::Application{marker, marker_terminal(session)}.run();
        }();
        return 10;
      },
      columns, rows);
  std::size_t frame = 0;
  termios const before = start_and_wait_for_frame(child, frame, session);
  child.write("x");
  auto const status = child.wait_exit();
  EXPECT_TRUE(status.signaled) << child.output();
  EXPECT_EQ(status.signal, SIGABRT);
  // The terminal comes back first, so the runtime's message lands on the normal screen.
  std::string const restore = restore_bytes(session);
  EXPECT_EQ(child.output().substr(frame, restore.size()), restore);
  EXPECT_NE(child.output().find("terminate called", frame), std::string::npos) << child.output();
  EXPECT_TRUE(same_attributes(child.attributes(), before));
}

// The extensions come on after the modes, every frame is one synchronized update, and the
// destructor turns the extensions off first.
TEST(TerminalRestorationTest, ExtendedSessionSynchronizesFramesAndRestoresThroughTheDestructor) {
  auto child = PtyChild::start([] { return run_marker_loop(Session::Extended); }, columns, rows);
  std::size_t frame = 0;
  termios const before = start_and_wait_for_frame(child, frame, Session::Extended);
  std::string const& out = child.output();
  std::size_t const entered = out.find(interactive_bytes(Session::Extended));
  ASSERT_NE(entered, std::string::npos) << out;
  std::size_t const first_frame = entered + interactive_bytes(Session::Extended).size();
  EXPECT_EQ(out.substr(first_frame, 8), "\x1b[?2026h");
  EXPECT_EQ(out.find("\x1b[?2026h", first_frame + 1), std::string::npos);
  child.write("q");
  auto const status = child.wait_exit();
  EXPECT_EQ(status.exit_status, 5) << out;
  EXPECT_EQ(out.substr(frame), restore_bytes(Session::Extended));
  EXPECT_TRUE(same_attributes(child.attributes(), before));
}

TEST(TerminalRestorationTest, DestructorPutsTheTitleAndTheCursorShapeBack) {
  auto child = PtyChild::start([] { return run_marker_loop(Session::Dressed); }, columns, rows);
  std::size_t frame = 0;
  termios const before = start_and_wait_for_frame(child, frame, Session::Dressed);
  EXPECT_NE(child.output().find(interactive_bytes(Session::Dressed)), std::string::npos);
  child.write("q");
  EXPECT_EQ(child.wait_exit().exit_status, 5);
  EXPECT_EQ(child.output().substr(frame), restore_bytes(Session::Dressed));
  EXPECT_TRUE(same_attributes(child.attributes(), before));
}

TEST(TerminalRestorationTest, UncaughtExceptionRestoresBeforeTerminatingExtensionsFirst) {
  expect_uncaught_exception_restores(Session::Basic);
  expect_uncaught_exception_restores(Session::Extended);
}

// The extensions go off too, and the title and the cursor shape come back.
TEST(TerminalRestorationTest, TerminationSignalsRestoreAndEndTheProcessBySignal) {
  VENNIC_SKIP_WHERE_SIGNALS_ARE_LOST();
  for (Session const session : {Session::Basic, Session::Extended, Session::Dressed}) {
    expect_ended_by(
        SIGTERM, [](PtyChild& child) { kill(child.pid(), SIGTERM); }, session);
  }
  expect_ended_by(SIGHUP, [](PtyChild& child) { kill(child.pid(), SIGHUP); });
  // Ctrl+\ with signal keys on; as a kitty key report it is raised as the line discipline
  // raises the byte.
  expect_ended_by(SIGQUIT, [](PtyChild& child) { child.write("\x1c"); });
  expect_ended_by(
      SIGQUIT, [](PtyChild& child) { child.write("\x1b[92;5u"); }, Session::Extended);
}

// Gets stuck in the handler of the key s, so the loop never sees an interrupt's event.
struct BusyApp : MarkerApp {
  std::optional<vn::QuitRequest> handle_key_press(dalk::Key key) {
    if (key == dalk::key(U's')) {
      std::fputs("busy\n", stderr);
      vennic::test::wait_until([] { return false; }, std::chrono::seconds(20));
    }
    return std::nullopt;
  }
};

// ctrl_c: the bytes the terminal sends for Ctrl+C.
void expect_second_interrupt_restores(Session session, std::string const& ctrl_c) {
  auto child = PtyChild::start(
      [session] {
        wait_for_go();
        vn::Terminal terminal = marker_terminal(session);
        BusyApp app;
        return vn::process_events(terminal, app);
      },
      columns, rows);
  std::size_t frame = 0;
  termios const before = start_and_wait_for_frame(child, frame, session);
  child.write("s");
  ASSERT_TRUE(child.wait_for_output("busy\r\n", std::chrono::seconds(10), frame));
  std::size_t const busy = child.output().find("busy\r\n", frame) + 6;
  child.write(ctrl_c);
  child.read_for(std::chrono::milliseconds(100));
  child.write(ctrl_c);
  auto const status = child.wait_exit();
  EXPECT_TRUE(status.exited) << child.output();
  EXPECT_EQ(status.exit_status, 1);
  EXPECT_EQ(child.output().substr(busy), restore_bytes(session));
  EXPECT_TRUE(same_attributes(child.attributes(), before));
}

TEST(TerminalRestorationTest, SecondInterruptWhileTheLoopIsBusyRestoresAndExits) {
  expect_second_interrupt_restores(Session::Basic, "\x03");
  // With the extensions: the legacy byte, and Ctrl+C as a kitty key report, which the input thread
  // raises.
  expect_second_interrupt_restores(Session::Extended, "\x03");
  expect_second_interrupt_restores(Session::Extended, "\x1b[99;5u");
}

// Ctrl+C typed behind 4 MB of an 8 MB paste ends the program soon after the terminal takes it
// (once the reader has come that far), with the terminal restored.
TEST(TerminalRestorationTest, InterruptCutsThroughAPaste) {
  auto child = PtyChild::start([] { return run_marker_loop(Session::Extended); }, columns, rows);
  std::size_t frame = 0;
  termios const before = start_and_wait_for_frame(child, frame, Session::Extended);
  std::atomic<std::int64_t> interrupt_sent{0};
  std::thread writer{[&] {
    std::string const half(std::size_t{4} << 20U, 'p');
    try {
      child.write("\x1b[200~" + half + "\x03");
      interrupt_sent = std::chrono::steady_clock::now().time_since_epoch().count();
      child.write(half + "\x1b[201~");
    } catch (std::runtime_error const&) {
      // The child ended before the rest was written.
    }
  }};
  auto const status = child.wait_exit(std::chrono::seconds(20));
  auto const ended = std::chrono::steady_clock::now().time_since_epoch().count();
  writer.join();
  EXPECT_TRUE(status.exited);
  EXPECT_EQ(status.exit_status, 1);
  ASSERT_NE(interrupt_sent.load(), 0);
  EXPECT_LT(std::chrono::steady_clock::duration{ended - interrupt_sent}, std::chrono::seconds(2));
  // Restored, echo is on again: the rest of the paste may follow as echoed text.
  EXPECT_NE(child.output().find(restore_bytes(Session::Extended), frame), std::string::npos);
  EXPECT_TRUE(same_attributes(child.attributes(), before));
}

void own_handler(int, siginfo_t*, void*) {}

TEST(TerminalRestorationTest, SignalsTheProgramTookStayItsOwn) {
  auto const result = vennic::test::run_in_child([] {
    struct sigaction own {};
    own.sa_sigaction = own_handler;
    own.sa_flags = SA_SIGINFO;
    sigaction(SIGTERM, &own, nullptr);
    std::signal(SIGHUP, SIG_IGN);
    dalk::detail::register_signals(true);
    struct sigaction now {};
    sigaction(SIGTERM, nullptr, &now);
    if ((now.sa_flags & SA_SIGINFO) == 0 || now.sa_sigaction != own_handler) {
      return 10;
    }
    if (std::signal(SIGHUP, SIG_IGN) != SIG_IGN) {
      return 11;
    }
    if (std::signal(SIGQUIT, SIG_DFL) != termination_handler ||
        std::signal(SIGTSTP, SIG_DFL) != suspend_handler) {
      return 12;
    }
    return 0;
  });
  EXPECT_EQ(result.exit_status, 0) << result.output;
}

TEST(TerminalRestorationTest, IgnoredHangUpStaysIgnored) {
  auto child = PtyChild::start(
      [] {
        std::signal(SIGHUP, SIG_IGN);
        return run_marker_loop();
      },
      columns, rows);
  std::size_t frame = 0;
  start_and_wait_for_frame(child, frame);
  kill(child.pid(), SIGHUP);
  child.write("q");
  auto const status = child.wait_exit();
  EXPECT_TRUE(status.exited) << child.output();
  EXPECT_EQ(status.exit_status, 5);
  EXPECT_EQ(child.output().substr(frame), restore_bytes());
}

// Ctrl+Z stops the application with the terminal restored; SIGCONT takes the terminal back and
// repaints the whole screen. A stop needs job control: the child on the pty plays the shell and
// runs the application in a process group of its own, in the foreground, and reports the stop
// it sees through waitpid.
// ctrl_z: the bytes the terminal sends for Ctrl+Z.
void expect_stop_and_continue(Session session, std::string const& ctrl_z) {
  auto child = PtyChild::start(
      [session] {
        return vennic::test::run_foreground_job([session] { return run_marker_loop(session); });
      },
      columns, rows);
  std::size_t frame = 0;
  termios const before = start_and_wait_for_frame(child, frame, session);
  std::string const& out = child.output();
  pid_t const application = vennic::test::foreground_job(child);
  ASSERT_GT(application, 0);

  child.write(ctrl_z);
  std::string const stopped = "\r\nstopped by " + std::to_string(SIGTSTP) + "\r\n";
  ASSERT_TRUE(child.wait_for_output(stopped, std::chrono::seconds(10), frame))
      << out << process_state(application);
  EXPECT_EQ(out.substr(frame), restore_bytes(session) + stopped);
  EXPECT_TRUE(same_attributes(child.attributes(), before));

  std::size_t const resumed = out.size();
  kill(-application, SIGCONT);
  // The modes come back, then a Resize to the same size repaints every cell.
  std::string const last_cell =
      "\x1b[" + std::to_string(rows) + ";" + std::to_string(columns) + "H ";
  ASSERT_TRUE(child.wait_for_output(last_cell, std::chrono::seconds(10), resumed)) << out;
  ASSERT_TRUE(
      child.wait_for_output(frame_end(session), std::chrono::seconds(10), out.find(last_cell)));
  std::string const after = out.substr(resumed);
  EXPECT_EQ(after.rfind(interactive_bytes(session, ""), 0), 0U) << after;
  EXPECT_NE(after.find("\x1b[1;1HM"), std::string::npos);
  for (int row = 1; row <= rows; ++row) {
    for (int column = 1; column <= columns; ++column) {
      std::string const move = "\x1b[" + std::to_string(row) + ";" + std::to_string(column) + "H";
      EXPECT_NE(after.find(move), std::string::npos) << move;
    }
  }
  // One frame: every cell with its own cursor move, and the cursor one more.
  EXPECT_EQ(count_cursor_moves(after), static_cast<std::size_t>(columns * rows + 1)) << after;
  termios const interactive = child.attributes();
  EXPECT_EQ(interactive.c_lflag & (ECHO | ICANON), 0U);
  EXPECT_EQ(interactive.c_iflag & ICRNL, 0U);

  child.write("q");
  auto const status = child.wait_exit();
  EXPECT_TRUE(status.exited);
  EXPECT_EQ(status.exit_status, 5) << out;
  EXPECT_TRUE(same_attributes(child.attributes(), before));
}

// The extensions, the title and the cursor shape go back at the stop and come back on at the
// continue, after the modes.
TEST(TerminalRestorationTest, StopRestoresAndContinueRepaintsEverything) {
  VENNIC_SKIP_WHERE_SIGNALS_ARE_LOST();
  expect_stop_and_continue(Session::Basic, "\x1a");
  expect_stop_and_continue(Session::Extended, "\x1a");
  // Ctrl+Z as a kitty key report, which the input thread raises.
  expect_stop_and_continue(Session::Extended, "\x1b[122;5u");
  expect_stop_and_continue(Session::Dressed, "\x1a");
}

}  // namespace
