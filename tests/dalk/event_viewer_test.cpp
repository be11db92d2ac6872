// The event viewer example, run under tmux as a person would: keys typed, the window resized,
// Ctrl+C to leave. With --raw, outside a console, it ends with the console error.
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "support/privileges.hpp"
#include "support/pty.hpp"

using namespace std::chrono_literals;

namespace {

#ifdef VENNIC_EVENT_VIEWER
constexpr char const* viewer_path = VENNIC_EVENT_VIEWER;
#else
constexpr char const* viewer_path = nullptr;
#endif

bool have_tmux() {
  return std::system("command -v tmux >/dev/null 2>&1") == 0;
}

// A tmux server of its own (unique socket, no configuration), killed at the end.
class Tmux {
 public:
  Tmux() : socket_{"vennic-viewer-" + std::to_string(getpid())} {}
  Tmux(Tmux const&) = delete;
  Tmux& operator=(Tmux const&) = delete;
  ~Tmux() { run("kill-server"); }

  // Runs one tmux command, bounded by a time-out; returns its standard output.
  std::string run(std::string const& arguments) const {
    std::string const command =
        "env -u TMUX timeout 10 tmux -L " + socket_ + " -f /dev/null " + arguments + " 2>/dev/null";
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
      std::array<char, 4096> buffer{};
      std::size_t n = 0;
      while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        output.append(buffer.data(), n);
      }
      pclose(pipe);
    }
    return output;
  }

  std::string screen() const { return run("capture-pane -p"); }

  // Polls the screen until it shows text; false after the time-out.
  bool wait_for_screen(std::string const& text, std::chrono::milliseconds limit = 10s) const {
    auto const deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
      if (screen().find(text) != std::string::npos) {
        return true;
      }
      if (std::chrono::steady_clock::now() >= deadline) {
        return false;
      }
      std::this_thread::sleep_for(50ms);
    }
  }

 private:
  std::string socket_;
};

}  // namespace

TEST(EventViewerTest, ShowsKeysAndResizesAndRestoresOnCtrlC) {
  if (viewer_path == nullptr) {
    GTEST_SKIP() << "examples are not built";
  }
  if (!have_tmux()) {
    GTEST_SKIP() << "tmux is not installed";
  }
  Tmux tmux;
  // The shell reports the exit status on the normal screen and keeps the pane open.
  tmux.run("new-session -d -x 80 -y 24 \"'" + std::string(viewer_path) +
           "'; echo viewer-exit=\\$?; sleep 60\"");
  ASSERT_TRUE(tmux.wait_for_screen("Event viewer (80x24)")) << tmux.screen();

  tmux.run("send-keys a");
  EXPECT_TRUE(tmux.wait_for_screen("KeyPress     0x00000061  'a'")) << tmux.screen();
  tmux.run("send-keys C-Left");
  EXPECT_TRUE(tmux.wait_for_screen("ArrowLeft  with Ctrl")) << tmux.screen();

  tmux.run("resize-window -x 100 -y 30");
  EXPECT_TRUE(tmux.wait_for_screen("Resize       100x30")) << tmux.screen();

  tmux.run("send-keys C-c");
  ASSERT_TRUE(tmux.wait_for_screen("viewer-exit=0")) << tmux.screen();
  // Back on the normal screen: the event lines stayed on the alternate one.
  std::string const screen = tmux.screen();
  EXPECT_EQ(screen.find("KeyPress"), std::string::npos) << screen;
  EXPECT_EQ(screen.find("Event viewer"), std::string::npos) << screen;
}

TEST(EventViewerTest, RawKeysOutsideAConsoleEndWithTheError) {
  if (viewer_path == nullptr) {
    GTEST_SKIP() << "examples are not built";
  }
  // Never as root: a real console keyboard may be attached.
  auto child = vennic::test::PtyChild::start([] {
    if (!vennic::test::drop_root()) {
      return vennic::test::still_root_status;
    }
    if (vennic::test::console_reachable()) {
      return vennic::test::console_reachable_status;
    }
    execl(viewer_path, "event_viewer", "--raw", static_cast<char*>(nullptr));
    return 127;
  });
  auto const status = child.wait_exit();
  if (status.exited && status.exit_status == vennic::test::console_reachable_status) {
    GTEST_SKIP() << "a console device can be opened without root here";
  }
  ASSERT_NE(status.exit_status, vennic::test::still_root_status) << "could not give up root";
  EXPECT_TRUE(status.exited);
  EXPECT_EQ(status.exit_status, 1) << child.output();
  EXPECT_NE(child.output().find("Error: open_console_file(): Can't open console file. Try sudo."),
            std::string::npos)
      << child.output();
  EXPECT_EQ(child.output().find("Event viewer"), std::string::npos) << child.output();
}
