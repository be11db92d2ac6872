// Input that fails or ends under the example programs and a small application: standard input
// /dev/null, a terminal that goes away (with SIGHUP taken or ignored), a storm of signals while
// keys are typed, and Ctrl+Z and fg during a flood of keys under a job-controlling shell. Each
// ends as documented, never in a loop or an abort, with the terminal restored; each case runs
// 20 times.
#include <fcntl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>
#include <vn/vn.hpp>

#include "support/fake_terminal.hpp"
#include "support/programs.hpp"
#include "support/pty.hpp"
#include "support/sanitizers.hpp"

namespace {

using namespace std::chrono_literals;
using vennic::test::event_viewer_path;
using vennic::test::gallery_path;
using vennic::test::PtyChild;
using vennic::test::wait_for_go;

// Fewer under the sanitizers, which slow every run down several times.
constexpr int repeats = vennic::test::memory_sanitized ? 5 : 20;

std::string const input_ended = "Error: io read(): End of input.\n";

// Execs program with standard error in the file errors (the terminal may be gone when it
// reports); prepare runs first, in the child.
int exec_program(char const* program, std::string const& errors,
                 std::function<void()> const& prepare) {
  prepare();
  int const fd = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  dup2(fd, 2);
  close(fd);
  char const* const argv[] = {program, nullptr};
  char const* const environment[] = {"TERM=xterm-256color", nullptr};
  execve(program, const_cast<char* const*>(argv), const_cast<char* const*>(environment));
  return 127;
}

std::string read_file(std::string const& path) {
  std::ifstream in{path};
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

std::string errors_file() {
  return ::testing::TempDir() + "input_failure_" + std::to_string(getpid());
}

void standard_input_null() {
  dup2(open("/dev/null", O_RDONLY), 0);
}

void ignore_hang_up() {
  std::signal(SIGHUP, SIG_IGN);
}

struct EndCase {
  char const* const& program;
  std::function<void()> prepare;
  bool hang_up;         // the terminal goes away once the program has set it up
  int signal;           // the program ends by this signal, or
  std::string message;  // exits with status 1 after writing this on standard error
};

TEST(InputFailureTest, EndOfInputAndHangUpEndTheProgram) {
  if (gallery_path == nullptr || event_viewer_path == nullptr) {
    GTEST_SKIP() << "examples not built";
  }
  std::vector<EndCase> const cases = {
      {gallery_path, standard_input_null, false, 0,
       "Error: Terminal(): standard input is not a terminal\n"},
      {event_viewer_path, standard_input_null, false, 0, input_ended},
      {gallery_path, [] {}, true, SIGHUP, ""},
      {gallery_path, ignore_hang_up, true, 0, input_ended},
      {event_viewer_path, ignore_hang_up, true, 0, input_ended},
  };
  std::string const errors = errors_file();
  for (auto const& c : cases) {
    for (int run = 0; run < repeats; ++run) {
      auto child = PtyChild::start([&] { return exec_program(c.program, errors, c.prepare); });
      if (c.hang_up) {
        ASSERT_TRUE(child.wait_for_output("\x1b[?1049h", 5s)) << c.program;
        child.hang_up();
      }
      auto const status = child.wait_exit(5s);
      ASSERT_FALSE(status.timed_out) << c.program << " run " << run;
      if (c.signal != 0 && vennic::test::signals_deferred && status.exited) {
        // The hang-up was taken late, after the input thread found the terminal gone: the
        // program ended as for end of input.
        EXPECT_EQ(status.exit_status, 1) << c.program;
        EXPECT_EQ(read_file(errors), input_ended) << c.program << " run " << run;
      } else if (c.signal != 0) {
        EXPECT_TRUE(status.signaled) << c.program;
        EXPECT_EQ(status.signal, c.signal) << c.program;
      } else {
        EXPECT_TRUE(status.exited) << c.program << " run " << run;
        EXPECT_EQ(status.exit_status, 1) << c.program;
        ASSERT_EQ(read_file(errors), c.message) << c.program << " run " << run;
      }
      // What was set up is undone: the alternate screen, if entered, is left last.
      std::string const& out = child.output();
      if (!c.hang_up && out.find("\x1b[?1049h") != std::string::npos) {
        EXPECT_EQ(out.rfind("\x1b[?1049"), out.rfind("\x1b[?1049l")) << c.program;
      }
    }
  }
  std::remove(errors.c_str());
}

// Records the letters typed, quits on q.
struct KeyLog {
  std::optional<vn::QuitRequest> handle_key_press(dalk::Key key) {
    if (key == dalk::key(U'q')) {
      return vn::QuitRequest{0};
    }
    typed += static_cast<char>(static_cast<char32_t>(key));
    return std::nullopt;
  }
  std::optional<vn::QuitRequest> handle_resize(dalk::Area) { return std::nullopt; }
  std::optional<dalk::Point> handle_paint(vn::Canvas canvas) {
    canvas[{0, 0}].symbol = U'K';
    return std::nullopt;
  }
  std::string typed;
};

// SIGUSR1 is caught without SA_RESTART, so each one cuts the waits and reads of every thread
// short; the keys typed meanwhile arrive whole and in order.
TEST(InputFailureTest, KeysArriveWholeThroughASignalStorm) {
  VENNIC_SKIP_WHERE_SIGNALS_ARE_LOST();
  std::string const letters = "abcdefghijklmnoprstuvwxyz0123456789";
  for (int run = 0; run < repeats; ++run) {
    auto child = PtyChild::start(
        [] {
          struct sigaction action {};
          action.sa_handler = [](int) {};
          sigaction(SIGUSR1, &action, nullptr);
          wait_for_go();
          KeyLog log;
          int status = 0;
          {
            vn::Terminal terminal{dalk::MouseMode::Off, dalk::KeyMode::Normal, dalk::Signals::On};
            status = vn::process_events(terminal, log);
          }
          std::fprintf(stderr, "typed %s\n", log.typed.c_str());
          return status;
        },
        20, 5);
    ASSERT_TRUE(child.wait_for_output("ready"));
    termios const before = child.attributes();
    child.write("go\n");
    ASSERT_TRUE(child.wait_for_output("\x1b[?25l"));
    std::atomic<bool> storming{true};
    std::thread storm{[&] {
      while (storming) {
        kill(child.pid(), SIGUSR1);
        std::this_thread::sleep_for(20us);
      }
    }};
    for (char const letter : letters) {
      child.write(std::string(1, letter));
      child.read_for(1ms);
    }
    child.read_for(20ms);
    storming = false;
    storm.join();
    child.write("q");
    auto const status = child.wait_exit(5s);
    EXPECT_EQ(status.exit_status, 0) << child.output();
    ASSERT_NE(child.output().find("typed " + letters + "\r\n"), std::string::npos)
        << "run " << run << ": " << child.output();
    EXPECT_TRUE(vennic::test::same_attributes(child.attributes(), before));
  }
}

// A shell with job control on the terminal: it runs program as a job in the foreground, takes
// the terminal back when the job stops, and gives it back with SIGCONT (fg) a moment later. It
// reports the stops and ends with the job's status.
int job_control_shell(char const* program, std::string const& errors) {
  std::signal(SIGTTOU, SIG_IGN);
  wait_for_go();
  pid_t const job = fork();
  if (job == 0) {
    setpgid(0, 0);
    tcsetpgrp(0, getpid());
    std::signal(SIGTTOU, SIG_DFL);
    _exit(exec_program(program, errors, [] {}));
  }
  setpgid(job, job);
  tcsetpgrp(0, job);
  int stops = 0;
  int status = 0;
  while (waitpid(job, &status, WUNTRACED) == job && WIFSTOPPED(status)) {
    ++stops;
    tcsetpgrp(0, getpgrp());
    std::this_thread::sleep_for(2ms);
    tcsetpgrp(0, job);
    kill(-job, SIGCONT);
  }
  std::fprintf(stderr, "stops %d\n", stops);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Ctrl+Z in the middle of a flood of keys, then fg, three times; then Ctrl+C. The keys that
// come before the stop is taken, or after fg before the terminal is taken back, are read with
// the terminal in line mode.
TEST(InputFailureTest, StopAndContinueDuringAFloodOfKeys) {
  VENNIC_SKIP_WHERE_SIGNALS_ARE_LOST();
  if (gallery_path == nullptr) {
    GTEST_SKIP() << "examples not built";
  }
  std::string const errors = errors_file();
  // End-of-file characters among the keys: the terminal is in line mode around each stop.
  std::string flood;
  while (flood.size() < 2000) {
    flood += "xyz\x04\x04";
  }
  for (int run = 0; run < repeats; ++run) {
    auto child = PtyChild::start([&] { return job_control_shell(gallery_path, errors); });
    child.reply_to_queries(vennic::test::xterm_replies);
    ASSERT_TRUE(child.wait_for_output("ready"));
    termios const before = child.attributes();
    child.write("go\n");
    // Each stop leaves the alternate screen, each continue enters it again.
    for (int stop = 0; stop < 3; ++stop) {
      ASSERT_TRUE(child.wait_for_output("\x1b[?1049h", 5s)) << "run " << run;
      child.discard_output();
      child.write(flood + "\x1a" + flood);
      ASSERT_TRUE(child.wait_for_output("\x1b[?1049l", 5s)) << "run " << run;
      child.discard_output(child.output().size() - child.output().rfind("\x1b[?1049l"));
    }
    ASSERT_TRUE(child.wait_for_output("\x1b[?1049h", 5s));
    child.read_for(5ms);
    child.write("\x03");
    auto const status = child.wait_exit(5s);
    EXPECT_EQ(status.exit_status, 1) << "run " << run << ": " << read_file(errors);
    EXPECT_NE(child.output().find("stops 3"), std::string::npos) << child.output();
    EXPECT_EQ(read_file(errors), "") << "run " << run;
    EXPECT_TRUE(vennic::test::same_attributes(child.attributes(), before));
  }
  std::remove(errors.c_str());
}

}  // namespace
