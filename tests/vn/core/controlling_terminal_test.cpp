// A program between a pipe and a file runs its session on the controlling terminal: the items
// come from the pipe, the screen and the restoration go to the terminal, the result to the file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vn/vn.hpp>

#include "support/process.hpp"
#include "support/programs.hpp"
#include "support/pty.hpp"
#include "support/session_output.hpp"
#include "support/vterm_screen.hpp"

using vennic::test::PtyChild;

namespace {

std::string read_file(std::filesystem::path const& path) {
  std::ifstream in{path, std::ios::binary};
  return {std::istreambuf_iterator<char>{in}, std::istreambuf_iterator<char>{}};
}

struct PickerCase {
  char const* name;
  bool output_to_file;
  std::string expected_report;
};

void PrintTo(PickerCase const& picker_case, std::ostream* out) {
  *out << picker_case.name;
}

class ControllingTerminalTest : public testing::TestWithParam<PickerCase> {};

// Only the streams that are not terminals move; the other stays where it was.
TEST_P(ControllingTerminalTest, PipeInResultOutSessionOnTheTerminal) {
  if (vennic::test::pipe_picker_path == nullptr) {
    GTEST_SKIP() << "pipe_picker was not built";
  }
  PickerCase const& param = GetParam();
  std::filesystem::path const chosen_file =
      std::filesystem::path{testing::TempDir()} / ("chosen_" + std::to_string(getpid()) + ".txt");
  std::filesystem::remove(chosen_file);
  int items[2] = {-1, -1};
  ASSERT_EQ(pipe2(items, O_CLOEXEC), 0);
  std::string const program = vennic::test::pipe_picker_path;
  std::string const file = chosen_file.string();
  bool const to_file = param.output_to_file;
  auto child = PtyChild::start(
      [&] {
        dup2(items[0], 0);
        if (to_file) {
          int const out = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
          dup2(out, 1);
        }
        execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        return 127;
      },
      20, 6);
  close(items[0]);
  std::string const piped = "alpha\nbeta\ngamma\n";
  ASSERT_EQ(write(items[1], piped.data(), piped.size()), static_cast<ssize_t>(piped.size()));
  close(items[1]);

  vennic::test::VtermScreen screen{20, 6};
  // The items came through the pipe, the frames go to the terminal.
  ASSERT_TRUE(wait_for_screen(child, screen, [&] { return screen.contains("  gamma"); }))
      << screen.text();
  EXPECT_EQ(screen.row(0), "3 items             ");
  EXPECT_EQ(screen.row(1), "> alpha             ");
  child.write("j");
  ASSERT_TRUE(wait_for_screen(child, screen, [&] { return screen.contains("> beta"); }))
      << screen.text();
  child.write("\r");
  auto const status = child.wait_exit();
  EXPECT_TRUE(status.exited && status.exit_status == 0) << child.output();

  std::string const& out = child.output();
  std::string const restore =
      "\x1b[?7h\x1b[?1049l\x1b[?1000;1002;1003;" + vennic::test::mouse_encoding() + "l\x1b[?25h";
  std::size_t const entered = out.find("\x1b[?7l\x1b[?1049h");
  std::size_t const restored = out.find(restore);
  ASSERT_NE(entered, std::string::npos) << out;
  ASSERT_NE(restored, std::string::npos) << out;
  EXPECT_LT(entered, restored);
  // After the restoration only what the program printed once the session was over.
  EXPECT_EQ(out.substr(restored + restore.size()), param.expected_report);
  if (to_file) {
    EXPECT_EQ(read_file(chosen_file), "beta\n");
    std::filesystem::remove(chosen_file);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Streams, ControllingTerminalTest,
    testing::Values(PickerCase{"InputAndOutput", true, "\r\nkept: input output\r\n"},
                    PickerCase{"InputOnly", false, "\r\nkept: input\r\nbeta\r\n"}),
    [](testing::TestParamInfo<PickerCase> const& info) { return std::string{info.param.name}; });

// Shows a word; throws on x.
class Thrower : public vn::Widget {
 public:
  Thrower() : vn::Widget{vn::FocusPolicy::Strong, vn::SizePolicy{}} {}
  void paint(vn::Canvas canvas) override { vn::put(canvas, {0, 0}, "ready"); }
  void key_press(dalk::Key key) override {
    if (key == dalk::key(U'x')) {
      throw std::runtime_error("widget failed");
    }
  }
};

// The program's own terminate handler runs once the terminal is restored and the file is back
// on standard output.
TEST(ControllingTerminalObjectTest, UncaughtExceptionPutsTheStreamBackAfterTheTerminal) {
  std::filesystem::path const file = std::filesystem::path{testing::TempDir()} /
                                     ("terminated_" + std::to_string(getpid()) + ".txt");
  std::string const path = file.string();
  auto child = PtyChild::start(
      [&] {
        int const out = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        dup2(out, 1);
        std::set_terminate([] {
          constexpr std::string_view said = "terminated\n";
          static_cast<void>(write(1, said.data(), said.size()));
          std::_Exit(9);
        });
        // Nothing unwinds through a noexcept function: std::terminate runs at once.
        []() noexcept {
          Thrower thrower;
          vn::Focus::set(thrower);
          vn::Application{thrower, vn::Terminal{{.controlling_terminal = true}}}.run();
        }();
        return 10;
      },
      20, 6);
  vennic::test::VtermScreen screen{20, 6};
  ASSERT_TRUE(wait_for_screen(child, screen, [&] { return screen.contains("ready"); }))
      << screen.text();
  child.write("x");
  auto const status = child.wait_exit();
  EXPECT_TRUE(status.exited && status.exit_status == 9) << child.output();
  std::string const restore =
      "\x1b[?7h\x1b[?1049l\x1b[?1000;1002;1003;" + vennic::test::mouse_encoding() + "l\x1b[?25h";
  EXPECT_TRUE(child.output().ends_with(restore)) << child.output();
  EXPECT_EQ(read_file(file), "terminated\n");
  std::filesystem::remove(file);
}

// Without a controlling terminal nothing is written, moved or left open.
TEST(ControllingTerminalObjectTest, RefusedWithoutAControllingTerminal) {
  auto const result = vennic::test::run_in_child([] {
    if (setsid() < 0) {
      return 3;
    }
    auto const open_descriptors = [] {
      return std::distance(std::filesystem::directory_iterator{"/proc/self/fd"},
                           std::filesystem::directory_iterator{});
    };
    int items[2] = {-1, -1};
    if (pipe(items) != 0) {
      return 4;
    }
    dup2(items[0], 0);
    close(items[0]);
    long const before = static_cast<long>(open_descriptors());
    std::string outcome = "constructed";
    try {
      vn::Terminal terminal{{.controlling_terminal = true}};
    } catch (std::runtime_error const& error) {
      outcome = error.what();
    }
    struct stat input {};
    fstat(0, &input);
    std::fprintf(stderr, "%s; %ld descriptors more; input %s\n", outcome.c_str(),
                 static_cast<long>(open_descriptors()) - before,
                 S_ISFIFO(input.st_mode) ? "still the pipe" : "moved");
    return 0;
  });
  EXPECT_TRUE(result.exited && result.exit_status == 0) << result.output;
  EXPECT_EQ(result.output,
            "Terminal(): no controlling terminal (/dev/tty): No such device or address; "
            "0 descriptors more; input still the pipe\n");
}

}  // namespace
