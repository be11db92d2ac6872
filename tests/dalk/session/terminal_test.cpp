#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dalk/dalk.hpp>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/fake_terminal.hpp"
#include "support/privileges.hpp"
#include "support/process.hpp"
#include "support/pty.hpp"
#include "support/sanitizers.hpp"

using namespace std::chrono_literals;
using vennic::test::console_reachable;
using vennic::test::console_reachable_status;
using vennic::test::drop_root;
using vennic::test::PtyChild;
using vennic::test::same_attributes;
using vennic::test::still_root_status;
using vennic::test::wait_until;

namespace {

constexpr std::string_view restore_xterm = "\x1b[?7h\x1b[?1049l\x1b[?1000;1002;1003;1006l\x1b[?25h";
constexpr std::string_view restore_urxvt = "\x1b[?7h\x1b[?1049l\x1b[?1000;1002;1003;1015l\x1b[?25h";

// What restoration writes under the TERM this test process was started with.
std::string restore_bytes() {
  return dalk::detail::is_urxvt(dalk::TERM_var()) ? std::string(restore_urxvt)
                                                  : std::string(restore_xterm);
}

// The mode-setting helper program on a pty, with nothing but TERM (and PATH) in its
// environment.
PtyChild start_helper(std::string const& term, std::vector<std::string> const& args) {
  std::vector<std::string> argv{VENNIC_TERMINAL_HELPER};
  argv.insert(argv.end(), args.begin(), args.end());
  return PtyChild::start_program(argv, {"TERM=" + term, "PATH=/usr/bin:/bin"});
}

// Runs the helper through initialization and restoration; returns the bytes written by each.
struct InitAndRestore {
  std::string init;
  std::string restore;
  vennic::test::ExitStatus status;
};

InitAndRestore init_and_restore(std::string const& term, std::vector<std::string> const& args,
                                std::string_view expected_init) {
  auto helper = start_helper(term, args);
  InitAndRestore result;
  helper.wait_for_output(expected_init);
  // Anything written after the expected bytes would show up here.
  helper.read_for(100ms);
  result.init = helper.output();
  kill(helper.pid(), SIGUSR1);
  result.status = helper.wait_exit();
  result.restore = helper.output().substr(result.init.size());
  return result;
}

bool stdin_has_input() {
  pollfd entry{0, POLLIN, 0};
  return poll(&entry, 1, 0) == 1;
}

std::string describe(std::optional<dalk::Event> const& event) {
  if (!event) {
    return "none";
  }
  if (auto const* resize = std::get_if<dalk::Resize>(&*event)) {
    return "Resize " + std::to_string(resize->area.width) + "x" +
           std::to_string(resize->area.height);
  }
  if (auto const* press = std::get_if<dalk::KeyPress>(&*event)) {
    return "KeyPress " + std::to_string(static_cast<char32_t>(press->key));
  }
  return "other " + std::to_string(event->index());
}

}  // namespace

// The modes by TERM (urxvt asks for its own mouse encoding), then each extension's sequences
// after the modes and before them at restoration; those of several in a fixed order.
// Synchronized output and quiet idling write nothing here.
TEST(TerminalModesTest, InitializationAndRestorationBytes) {
  std::string const modes = "\x1b[?7l\x1b[?1049h\x1b[?1002;1003l\x1b[?1000;1006h\x1b[?25l";
  struct Case {
    char const* term;
    std::vector<std::string> args;
    std::string init;
    std::string_view off;
    std::string_view restore = restore_xterm;
  };
  std::string const all_on = "\x1b[?2004h\x1b[?1004h" + std::string(vennic::test::start_up_queries);
  Case const cases[] = {
      {"xterm-256color", {"interactive", "basic"}, modes, ""},
      {"rxvt-unicode-256color",
       {"interactive", "move"},
       "\x1b[?7l\x1b[?1049h\x1b[?1000;1002l\x1b[?1003;1015h\x1b[?25l",
       "",
       restore_urxvt},
      {"xterm", {"normal"}, "\x1b[?7l\x1b[?1049l\x1b[?1000;1002;1003;1006l\x1b[?25h", ""},
      {"xterm-256color", {"interactive", "basic", "paste"}, modes + "\x1b[?2004h", "\x1b[?2004l"},
      {"xterm-256color", {"interactive", "basic", "focus"}, modes + "\x1b[?1004h", "\x1b[?1004l"},
      {"xterm-256color", {"interactive", "basic", "kitty"}, modes + "\x1b[>7u", "\x1b[<u"},
      {"xterm-256color", {"interactive", "basic", "sync"}, modes, ""},
      {"xterm-256color", {"interactive", "basic", "quiet"}, modes, ""},
      {"xterm-256color",
       {"interactive", "basic", "kitty", "paste"},
       modes + "\x1b[?2004h\x1b[>7u",
       "\x1b[<u\x1b[?2004l"},
      // A terminal that does not answer gets no kitty flags, and no pop.
      {"xterm-256color", {"interactive", "basic", "all"}, modes + all_on, "\x1b[?1004l\x1b[?2004l"},
  };
  for (auto const& c : cases) {
    auto const run = init_and_restore(c.term, c.args, c.init);
    EXPECT_EQ(run.init, c.init) << c.args.back();
    EXPECT_EQ(run.restore, std::string(c.off) + std::string(c.restore)) << c.args.back();
    EXPECT_TRUE(run.status.exited);
    EXPECT_EQ(run.status.exit_status, 0) << c.args.back();
  }
}

TEST(TerminalModesTest, MouseSequencesByTerm) {
  struct Case {
    char const* term;
    char const* mode;
    std::string_view bytes;
  };
  Case const cases[] = {
      {"xterm-256color", "off", "\x1b[?1000;1002;1003;1006l"},
      {"xterm-256color", "basic", "\x1b[?1002;1003l\x1b[?1000;1006h"},
      {"xterm-256color", "drag", "\x1b[?1000;1003l\x1b[?1002;1006h"},
      {"xterm-256color", "move", "\x1b[?1000;1002l\x1b[?1003;1006h"},
      {"rxvt-unicode-256color", "off", "\x1b[?1000;1002;1003;1015l"},
      {"rxvt-unicode-256color", "basic", "\x1b[?1002;1003l\x1b[?1000;1015h"},
      {"rxvt-unicode-256color", "drag", "\x1b[?1000;1003l\x1b[?1002;1015h"},
      {"rxvt-unicode", "move", "\x1b[?1000;1002l\x1b[?1003;1015h"},
      {"", "drag", "\x1b[?1000;1003l\x1b[?1002;1006h"},
  };
  for (auto const& c : cases) {
    auto helper = start_helper(c.term, {"mouse", c.mode});
    auto const status = helper.wait_exit();
    EXPECT_EQ(status.exit_status, 0) << c.term << " " << c.mode;
    EXPECT_EQ(helper.output(), c.bytes) << c.term << " " << c.mode;
  }
}

// Signal keys on or off, flow control is off for the session: Enter arrives as carriage return
// now that ICRNL is off, Ctrl+S and Ctrl+Q as keys and, with signal keys off, Ctrl+C as its byte.
TEST(TerminalModesTest, InitializationSetsAttributesAndRestorationPutsThemBack) {
  for (auto const signals : {dalk::Signals::On, dalk::Signals::Off}) {
    bool const on = signals == dalk::Signals::On;
    auto child = PtyChild::start([signals, on] {
      termios before{};
      tcgetattr(0, &before);
      dalk::initialize_interactive_terminal(dalk::MouseMode::Off, dalk::KeyMode::Normal, signals);
      termios during{};
      tcgetattr(0, &during);
      if ((during.c_lflag & (ISIG | IEXTEN)) != (on ? ISIG | IEXTEN : 0U)) {
        return 10;
      }
      std::fputs("held\n", stderr);
      for (char const* expected :
           {"KeyPress 19", "KeyPress 17", on ? "KeyPress 13" : "KeyPress 3"}) {
        auto const event = dalk::read(5000);
        if (describe(event) != expected || dalk::sigint_flag != 0) {
          std::fprintf(stderr, "got %s\n", describe(event).c_str());
          return 11;
        }
      }
      dalk::uninitialize_terminal();
      termios after{};
      tcgetattr(0, &after);
      return same_attributes(before, after) && (after.c_iflag & IXON) != 0 ? 0 : 12;
    });
    ASSERT_TRUE(child.wait_for_output("held"));
    // The parent sees the same attributes from the master side.
    termios const seen = child.attributes();
    EXPECT_EQ(seen.c_iflag & (ICRNL | IXON), 0U);
    EXPECT_EQ(seen.c_lflag & (ECHO | ICANON), 0U);
    EXPECT_EQ(seen.c_cc[VMIN], 1);
    child.write(on ? "\x13\x11\r" : "\x13\x11\x03");
    auto const status = child.wait_exit();
    EXPECT_EQ(status.exit_status, 0) << child.output();
    EXPECT_NE(child.output().find(restore_bytes()), std::string::npos);
  }
}

// A paste split across writes comes whole, a focus report as one event; a kitty report of
// Ctrl+C with signal keys on raises the interrupt as the line discipline would, and gives no
// event.
TEST(TerminalModesTest, ExtensionReportsArriveThroughTheReadFunctions) {
  auto child = PtyChild::start([] {
    dalk::initialize_interactive_terminal(dalk::MouseMode::Off, dalk::KeyMode::Normal,
                                          dalk::Signals::On, dalk::recommended_extensions);
    std::fputs("held\n", stderr);
    int result = 0;
    auto const pasted = dalk::read();
    auto const* paste = std::get_if<dalk::Paste>(&pasted);
    if (paste == nullptr || paste->text != "two\rlines") {
      result = 10;
    }
    auto const focus = dalk::read(5000);
    if (result == 0 && (!focus || *focus != dalk::Event{dalk::Focus{false}})) {
      result = 11;
    }
    std::fputs("next\n", stderr);
    // The interrupt gives nothing to read; bounded, as the signal may come a little later.
    if (result == 0 && (dalk::read(5000) || !wait_until([] { return dalk::sigint_flag == 1; }))) {
      result = 12;
    }
    auto const escape = dalk::read(5000);
    if (result == 0 && describe(escape) != "KeyPress 27") {
      result = 13;
    }
    dalk::uninitialize_terminal();
    return result;
  });
  // A terminal that has the kitty keyboard, so the flags are pushed.
  child.reply_to_queries(vennic::test::kitty_replies);
  ASSERT_TRUE(child.wait_for_output("held"));
  child.write("\x1b[200~two\r");
  child.read_for(50ms);
  child.write("lines\x1b[20");
  child.read_for(50ms);
  child.write("1~\x1b[O");
  ASSERT_TRUE(child.wait_for_output("next"));
  child.write("\x1b[99;5u");
  child.read_for(50ms);
  child.write("\x1b[27u");
  auto const status = child.wait_exit();
  EXPECT_TRUE(status.exited);
  EXPECT_EQ(status.exit_status, 0) << child.output();
}

TEST(TerminalModesTest, EchoOnAfterOffLeavesOtherFlags) {
  auto child = PtyChild::start([] {
    termios before{};
    tcgetattr(0, &before);
    dalk::set(dalk::Echo::Off);
    termios off{};
    tcgetattr(0, &off);
    dalk::set(dalk::Echo::On, dalk::InputBuffer::NoBuffer, dalk::InputBuffer::Normal);
    termios after{};
    tcgetattr(0, &after);
    if ((off.c_lflag & ECHO) != 0 || (off.c_lflag | ECHO) != before.c_lflag) {
      return 10;
    }
    // Line input back on leaves VMIN as NoBuffer set it.
    after.c_cc[VMIN] = before.c_cc[VMIN];
    return same_attributes(before, after) ? 0 : 11;
  });
  EXPECT_EQ(child.wait_exit().exit_status, 0) << child.output();
}

// A window larger than the bound counts as the bound, in each direction on its own.
TEST(TerminalModesTest, WindowSizeComesFromTheTerminal) {
  struct Case {
    int columns, rows;
    dalk::Area reported;
  };
  int const most_columns = dalk::max_terminal_columns;
  int const most_rows = dalk::max_terminal_rows;
  for (auto const c :
       {Case{100, 30, {100, 30}}, Case{65535, 65535, {most_columns, most_rows}},
        Case{most_columns + 1, 7, {most_columns, 7}}, Case{9, most_rows + 1, {9, most_rows}}}) {
    auto child = PtyChild::start(
        [c] {
          bool const ok = dalk::terminal_width() == c.reported.width &&
                          dalk::terminal_height() == c.reported.height &&
                          dalk::terminal_area() == c.reported;
          return ok ? 0 : 10;
        },
        c.columns, c.rows);
    EXPECT_EQ(child.wait_exit().exit_status, 0) << c.columns << "x" << c.rows;
  }
}

TEST(TerminalModesTest, WindowSizeOfANonTerminalThrows) {
  // run_in_child sends stdout into a pipe; stdin becomes one too.
  auto const result = vennic::test::run_in_child([] {
    vennic::test::StdinPipe pipe;
    EXPECT_THROW_MSG(dalk::terminal_width(), std::runtime_error,
                     "terminal terminal_width(): Can't Read Window Size.");
    EXPECT_THROW_MSG(dalk::terminal_height(), std::runtime_error,
                     "terminal terminal_height(): Can't Read Window Size.");
    EXPECT_THROW_MSG(dalk::terminal_area(), std::runtime_error,
                     "terminal terminal_width(): Can't Read Window Size.");
    return ::testing::Test::HasFailure() ? 1 : 0;
  });
  EXPECT_EQ(result.exit_status, 0) << result.output;
}

TEST(TerminalModesTest, RestorationWithoutInitializationKeepsAttributes) {
  auto child = PtyChild::start([] {
    termios before{};
    tcgetattr(0, &before);
    dalk::uninitialize_terminal();
    termios after{};
    tcgetattr(0, &after);
    return same_attributes(before, after) ? 0 : 10;
  });
  auto const status = child.wait_exit();
  EXPECT_EQ(status.exit_status, 0) << child.output();
  EXPECT_NE(child.output().find(restore_bytes()), std::string::npos);
}

TEST(TerminalModesTest, KeyModeNormalWithoutConsoleDoesNothing) {
  auto const written = vennic::test::capture_stdout([] {
    dalk::set(dalk::KeyMode::Normal);
    dalk::flush();
  });
  EXPECT_EQ(written, "");
  EXPECT_FALSE(dalk::detail::tty_file_descriptor.has_value());
}

TEST(TerminalModesTest, RestorationClosesAndForgetsTheConsoleDescriptor) {
  // /dev/null stands in for a console whose keyboard cannot be switched back: the rest of the
  // terminal is still restored and the descriptor closed before the failure is reported.
  auto child = PtyChild::start([] {
    termios before{};
    tcgetattr(0, &before);
    dalk::initialize_interactive_terminal(dalk::MouseMode::Off, dalk::KeyMode::Normal,
                                          dalk::Signals::On);
    int const fd = open("/dev/null", O_RDWR);
    dalk::detail::tty_file_descriptor = fd;
    try {
      dalk::uninitialize_terminal();
      return 10;
    } catch (std::runtime_error const& error) {
      if (std::string(error.what()) != "set_keyboard_mode(): Failed.") {
        return 11;
      }
    }
    termios after{};
    tcgetattr(0, &after);
    if (!same_attributes(before, after)) {
      return 12;
    }
    if (dalk::detail::tty_file_descriptor.has_value() || fcntl(fd, F_GETFD) != -1) {
      return 13;
    }
    // Standard input stands in for a console that was found among the open descriptors: it
    // is not closed.
    dalk::detail::tty_file_descriptor = 0;
    try {
      dalk::uninitialize_terminal();
    } catch (std::runtime_error const&) {
    }
    if (dalk::detail::tty_file_descriptor.has_value() || fcntl(0, F_GETFD) == -1) {
      return 14;
    }
    return 0;
  });
  auto const status = child.wait_exit();
  EXPECT_EQ(status.exit_status, 0) << child.output();
  EXPECT_NE(child.output().find(restore_bytes()), std::string::npos);
}

TEST(TerminalModesTest, KeyboardModeRequestsFailOnANonConsole) {
  int const fd = open("/dev/null", O_RDWR);
  ASSERT_GE(fd, 0);
  EXPECT_THROW_MSG(dalk::detail::current_keyboard_mode(fd), std::runtime_error,
                   "current_keyboard_mode(): Failed.");
  EXPECT_THROW_MSG(dalk::detail::set_keyboard_mode(fd, 1), std::runtime_error,
                   "set_keyboard_mode(): Failed.");
  close(fd);
}

TEST(TerminalModesTest, IsUrxvtLooksForRxvtUnicode) {
  EXPECT_TRUE(dalk::detail::is_urxvt("rxvt-unicode"));
  EXPECT_TRUE(dalk::detail::is_urxvt("rxvt-unicode-256color"));
  EXPECT_TRUE(dalk::detail::is_urxvt("screen.rxvt-unicode"));
  EXPECT_FALSE(dalk::detail::is_urxvt("rxvt"));
  EXPECT_FALSE(dalk::detail::is_urxvt("rxvt-256color"));
  EXPECT_FALSE(dalk::detail::is_urxvt(""));
}

TEST(TerminalSignalsTest, FirstInterruptSetsFlagSecondRestoresAndExits) {
  // The ordinary and ASan suites cover it.
  VENNIC_SKIP_WHERE_SIGNALS_ARE_LOST();
  auto child = PtyChild::start([] {
    dalk::initialize_interactive_terminal(dalk::MouseMode::Off, dalk::KeyMode::Normal,
                                          dalk::Signals::On);
    std::fputs("ready\n", stderr);
    if (!wait_until([] { return dalk::sigint_flag == 1; })) {
      return 10;
    }
    // Only the flag: the terminal is still set up.
    termios now{};
    tcgetattr(0, &now);
    if ((now.c_lflag & ECHO) != 0) {
      return 11;
    }
    std::fputs("flag=1\n", stderr);
    wait_until([] { return false; });
    return 12;
  });
  ASSERT_TRUE(child.wait_for_output("ready"));
  child.write("\x03");
  ASSERT_TRUE(child.wait_for_output("flag=1")) << child.output();
  EXPECT_TRUE(child.running());
  EXPECT_EQ(child.output().find("\x1b[?7h"), std::string::npos);
  std::size_t const before = child.output().size();
  child.write("\x03");
  auto const status = child.wait_exit();
  EXPECT_TRUE(status.exited);
  EXPECT_EQ(status.exit_status, 1);
  EXPECT_NE(child.output().find(restore_bytes(), before), std::string::npos);
}

// One session at a time: a second initialization is refused and writes nothing; once the first
// is over another starts. The exit hook is registered once however many sessions the process
// had, and a second interrupt's exit restores once.
TEST(TerminalSignalsTest, OneLiveSessionAndOneExitHook) {
  auto child = PtyChild::start([] {
    for (int session = 0; session < 40; ++session) {
      dalk::initialize_normal_terminal();
      dalk::uninitialize_terminal();
    }
    dalk::initialize_interactive_terminal(dalk::MouseMode::Off, dalk::KeyMode::Normal,
                                          dalk::Signals::On);
    std::fputs("live\n", stderr);
    try {
      dalk::initialize_normal_terminal();
      return 10;
    } catch (std::logic_error const& error) {
      std::fprintf(stderr, "%s\n", error.what());
    }
    std::quick_exit(3);
    return 11;
  });
  EXPECT_EQ(child.wait_exit().exit_status, 3);
  std::string const& out = child.output();
  std::size_t const live = out.find("live\r\n");
  ASSERT_NE(live, std::string::npos) << out;
  EXPECT_EQ(
      out.substr(live),
      "live\r\ninitialize_terminal(): a terminal session is already live\r\n" + restore_bytes());
}

TEST(TerminalSignalsTest, HandlersOnlySetTheirFlags) {
  auto const result = vennic::test::run_in_child([] {
    dalk::detail::register_signals(false);
    // Without the interrupt handler SIGINT keeps its default action.
    if (std::signal(SIGINT, SIG_DFL) != SIG_DFL) {
      return 10;
    }
    resize_handler(SIGINT);
    sigint_handler(SIGWINCH);
    if (dalk::detail::window_resize_sig != 0 || dalk::sigint_flag != 0) {
      return 11;
    }
    std::raise(SIGWINCH);
    if (dalk::detail::window_resize_sig != 1 || dalk::sigint_flag != 0) {
      return 12;
    }
    dalk::detail::register_signals(true);
    std::raise(SIGINT);
    return dalk::sigint_flag == 1 ? 0 : 13;
  });
  EXPECT_EQ(result.exit_status, 0) << result.output;
}

TEST(TerminalSignalsTest, ResizeComesAheadOfWaitingInput) {
  auto child = PtyChild::start([] {
    dalk::initialize_interactive_terminal(dalk::MouseMode::Off, dalk::KeyMode::Normal,
                                          dalk::Signals::On);
    std::fputs("ready\n", stderr);
    if (!wait_until([] { return dalk::detail::window_resize_sig == 1 && stdin_has_input(); })) {
      return 10;
    }
    std::string const first = describe(dalk::read(16));
    std::string const second = describe(dalk::read(2000));
    std::fprintf(stderr, "first=%s;second=%s;\n", first.c_str(), second.c_str());
    // A blocking read with no input waiting still sees the next resize.
    std::fputs("waiting\n", stderr);
    std::string const third = describe(dalk::read());
    std::fprintf(stderr, "third=%s;\n", third.c_str());
    dalk::uninitialize_terminal();
    return 0;
  });
  ASSERT_TRUE(child.wait_for_output("ready"));
  child.write("a");
  child.set_size(100, 30);
  EXPECT_TRUE(child.wait_for_output("first=Resize 100x30;second=KeyPress 97;")) << child.output();
  ASSERT_TRUE(child.wait_for_output("waiting"));
  child.set_size(90, 20);
  EXPECT_TRUE(child.wait_for_output("third=Resize 90x20;")) << child.output();
  EXPECT_EQ(child.wait_exit().exit_status, 0) << child.output();
}

TEST(ConsoleFileTest, RawKeysOnAPseudoTerminalRestoreAndExit) {
  auto child = PtyChild::start([] {
    // Never ask for the console keyboard as root: a real console may be attached.
    if (!drop_root()) {
      return still_root_status;
    }
    if (console_reachable()) {
      return console_reachable_status;
    }
    static termios before{};
    tcgetattr(0, &before);
    std::atexit([] {
      termios after{};
      tcgetattr(0, &after);
      std::fputs(same_attributes(before, after) ? "attributes restored\n" : "attributes left\n",
                 stderr);
    });
    dalk::initialize_interactive_terminal(dalk::MouseMode::Off, dalk::KeyMode::Raw,
                                          dalk::Signals::On);
    return 10;
  });
  auto const status = child.wait_exit();
  if (status.exited && status.exit_status == console_reachable_status) {
    GTEST_SKIP() << "a console device can be opened without root here";
  }
  ASSERT_NE(status.exit_status, still_root_status) << "could not give up root";
  EXPECT_TRUE(status.exited);
  EXPECT_EQ(status.exit_status, 1) << child.output();
  std::string const& out = child.output();
  auto const error = out.find("Error: open_console_file(): Can't open console file. Try sudo.\r\n");
  ASSERT_NE(error, std::string::npos) << out;
  auto const restored = out.find(restore_bytes());
  ASSERT_NE(restored, std::string::npos) << out;
  EXPECT_LT(restored, error);
  EXPECT_NE(out.find("attributes restored", error), std::string::npos) << out;
}

TEST(ConsoleFileTest, NoConsoleOnAPseudoTerminal) {
  auto child = PtyChild::start([] {
    if (!drop_root()) {
      return still_root_status;
    }
    if (console_reachable()) {
      return console_reachable_status;
    }
    try {
      dalk::detail::open_console_file();
      return 10;
    } catch (std::runtime_error const& error) {
      return std::string(error.what()) == "open_console_file(): Can't open console file. Try sudo."
                 ? 0
                 : 11;
    }
  });
  auto const status = child.wait_exit();
  if (status.exited && status.exit_status == console_reachable_status) {
    GTEST_SKIP() << "a console device can be opened without root here";
  }
  EXPECT_EQ(status.exit_status, 0) << child.output();
}
