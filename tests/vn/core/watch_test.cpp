// Watching descriptors: in a session on a pseudo-terminal the input thread polls them; without
// one (the harness) the library's watcher thread does.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include <vn/vn.hpp>

#include "support/pty.hpp"

namespace {

using vennic::test::PtyChild;

struct Pipe {
  Pipe() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
      throw std::runtime_error("pipe2 failed");
    }
    reader = fds[0];
    writer = fds[1];
  }
  int reader = -1;
  int writer = -1;
};

// CPU time (user and system, all threads) the process has used, in clock ticks.
long cpu_ticks(pid_t pid) {
  std::ifstream stat{"/proc/" + std::to_string(pid) + "/stat"};
  std::string const text{std::istreambuf_iterator<char>{stat}, {}};
  // The fields after the command's closing parenthesis; utime and stime are the 12th and 13th.
  std::istringstream fields{text.substr(text.rfind(')') + 2)};
  std::string field;
  long ticks = 0;
  for (int i = 1; i <= 13 && fields >> field; ++i) {
    if (i >= 12) {
      ticks += std::stol(field);
    }
  }
  return ticks;
}

// The child: a session watching `data` (what comes is echoed as "<text>", the end ends the
// run) and `closing` (watched from before the session; its first call closes it). Reports the
// calls made for `closing` after the terminal is restored.
int run_watching(Pipe data, Pipe closing, dalk::Extensions extensions) {
  close(data.writer);
  close(closing.writer);
  int closing_calls = 0;
  int code = -1;
  bool closing_watched = true;
  {
    vn::WatchHandle closing_watch = vn::watch(closing.reader, [&] {
      ++closing_calls;
      char byte = 0;
      if (read(closing.reader, &byte, 1) == 1) {
        close(closing.reader);
      }
    });
    vn::Label head{{.text = "watching"}};
    vn::Application app{head, vn::Terminal{extensions}};
    vn::WatchHandle data_watch;
    data_watch = vn::watch(data.reader, [&] {
      char buffer[256];
      ssize_t const n = read(data.reader, buffer, sizeof buffer);
      if (n > 0) {
        std::fprintf(stderr, "<%.*s>", static_cast<int>(n), buffer);
      } else {
        std::fprintf(stderr, "<end %zd>", n);
        data_watch.stop();
        vn::quit(5);
      }
    });
    code = app.run();
    closing_watched = closing_watch.is_watching();
  }
  std::fprintf(stderr, "\nclosed one watched: %d, calls: %d; returned: %d\nend of report\n",
               closing_watched ? 1 : 0, closing_calls, code);
  return 0;
}

TEST(WatchTest, SessionDeliversDataAndEndAndLetsClosedDescriptorsGo) {
  for (dalk::Extensions const extensions :
       {dalk::Extensions{}, dalk::Extensions{dalk::Extension::QuietIdle}}) {
    Pipe data;
    Pipe closing;
    auto child = PtyChild::start(
        [data, closing, extensions] { return run_watching(data, closing, extensions); }, 20, 3);
    close(data.reader);
    close(closing.reader);
    // The first frame, cell by cell.
    ASSERT_TRUE(child.wait_for_output("\x1b[2;14Hg")) << child.output();
    ASSERT_EQ(write(data.writer, "hello", 5), 5);
    ASSERT_TRUE(child.wait_for_output("<hello>")) << child.output();
    ASSERT_EQ(write(closing.writer, "x", 1), 1);
    ASSERT_EQ(write(data.writer, "world", 5), 5);
    ASSERT_TRUE(child.wait_for_output("<world>")) << child.output();
    // Idle watching, the closed descriptor included, costs next to nothing (none measured);
    // polling the closed one in a loop took a quarter of the second or more.
    long const before = cpu_ticks(child.pid());
    child.read_for(std::chrono::seconds(1));
    long const used = cpu_ticks(child.pid()) - before;
    EXPECT_LT(used, sysconf(_SC_CLK_TCK) / 10) << extensions.value();
    close(closing.writer);
    close(data.writer);
    ASSERT_TRUE(child.wait_for_output("end of report")) << child.output();
    auto const status = child.wait_exit();
    EXPECT_TRUE(status.exited && status.exit_status == 0) << child.output();
    // The closed descriptor's last call found it closed; the end came as a read of 0.
    EXPECT_NE(child.output().find("<end 0>"), std::string::npos) << child.output();
    EXPECT_NE(child.output().find("closed one watched: 0, calls: 2; returned: 5"),
              std::string::npos)
        << child.output();
  }
}

TEST(WatchTest, NoCallAfterTheHandleGoesEvenWhenQueued) {
  vn::Label head{{.text = "x"}};
  vn::testing::Harness harness{head, {4, 1}};
  Pipe pipe;
  int calls = 0;
  std::optional<vn::WatchHandle> handle{vn::watch(pipe.reader, [&] { ++calls; })};
  EXPECT_TRUE(handle->is_watching());
  ASSERT_EQ(write(pipe.writer, "x", 1), 1);
  // The byte is never read: the descriptor stays readable, so a call follows each one run.
  for (int i = 0; i < 100 && calls == 0; ++i) {
    harness.run_queued(std::chrono::milliseconds(50));
  }
  ASSERT_GT(calls, 0);
  // Long enough for the next call to be queued; it must do nothing.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  int const before = calls;
  handle.reset();
  harness.run_queued(std::chrono::milliseconds(200));
  EXPECT_EQ(calls, before);
  close(pipe.reader);
  close(pipe.writer);
}

TEST(WatchTest, StoppedFromItsOwnFunctionAndEmptyOrBadArguments) {
  vn::Label head{{.text = "x"}};
  vn::testing::Harness harness{head, {4, 1}};
  Pipe pipe;
  int calls = 0;
  vn::WatchHandle handle;
  handle = vn::watch(pipe.reader, [&] {
    ++calls;
    handle.stop();
  });
  ASSERT_EQ(write(pipe.writer, "x", 1), 1);
  for (int i = 0; i < 100 && calls == 0; ++i) {
    harness.run_queued(std::chrono::milliseconds(50));
  }
  harness.run_queued(std::chrono::milliseconds(100));
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(handle.is_watching());
  EXPECT_FALSE(vn::watch(pipe.reader, {}).is_watching());
  EXPECT_THROW(static_cast<void>(vn::watch(-1, [] {})), std::invalid_argument);
  close(pipe.reader);
  close(pipe.writer);
}

}  // namespace
