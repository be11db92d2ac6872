// Whole programs under a flood on a pseudo-terminal: megabytes of random input into the log
// viewer and the gallery, or an application thread posting 100,000 functions a second. Their
// memory stays within a bound of its idle size, and the quit key typed after the flood still
// ends them promptly with the terminal restored.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <string_view>

#include "support/programs.hpp"
#include "support/pty.hpp"
#include "support/sanitizers.hpp"
#include "support/vterm_screen.hpp"

namespace {

using namespace std::chrono_literals;
using vennic::test::gallery_path;
using vennic::test::logview_path;
using vennic::test::post_flood_path;
using vennic::test::PtyChild;
using Clock = std::chrono::steady_clock;

// The ordinary suite floods 10 MB, which the programs take at about a megabyte a second here;
// ASan and TSan, several times slower, flood 500 KB and get more time to quit.
// VENNIC_FLOOD_BYTES sets another amount.
std::size_t flood_bytes() {
  char const* const set = std::getenv("VENNIC_FLOOD_BYTES");
  return set != nullptr ? std::stoul(set) : vennic::test::memory_sanitized ? 500'000 : 10'000'000;
}
constexpr auto quit_limit = vennic::test::memory_sanitized ? 10s : 2s;
constexpr long growth_limit_kib = 64 * 1024;

long resident_kib(pid_t pid) {
  std::ifstream status{"/proc/" + std::to_string(pid) + "/status"};
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) {
      return std::stol(line.substr(6));
    }
  }
  return -1;
}

// Random bytes from a fixed seed, without those that would end the program before its quit key.
std::string random_input(std::size_t size, std::string_view left_out) {
  std::mt19937 generator{25};
  std::uniform_int_distribution<int> byte{0, 255};
  std::string input;
  input.reserve(size);
  while (input.size() < size) {
    auto const c = static_cast<char>(byte(generator));
    if (left_out.find(c) == std::string_view::npos) {
      input.push_back(c);
    }
  }
  return input;
}

struct FloodCase {
  char const* name;
  char const* const* path;
  std::string_view ready;     // on screen once the program has started
  std::string_view left_out;  // random bytes the flood leaves out (empty: posts, no bytes)
  std::string_view quit_key;
  int exit_status;
};

void PrintTo(FloodCase const& c, std::ostream* out) {
  *out << c.name;
}

// Left out besides the signal keys (Ctrl+C, Ctrl+Z, Ctrl+\): Enter, which presses the focused
// button or menu item (Quit among them), and the programs' own quit and menu keys. The log
// viewer's quit key is Ctrl+C, which it takes as a key at any time (its Ctrl+Q waits while a
// dialog is open, and the flood opens its help: Escape never comes alone inside a flood).
FloodCase const flood_cases[] = {
    {"logview", &logview_path, "rows 50,000 of 50,000", "\x03\x1a\x1c\r\x11q\x0f", "\x03", 1},
    {"gallery", &gallery_path, "Window 100x30", "\x03\x1a\x1c\r", "\x03", 1},
    {"posts", &post_flood_path, "ready", "", "q", 0},
};

class FloodTest : public ::testing::TestWithParam<FloodCase> {};

TEST_P(FloodTest, MemoryStaysBoundedAndTheQuitKeyEndsItPromptly) {
  FloodCase const& c = GetParam();
  if (*c.path == nullptr) {
    GTEST_SKIP() << "not built";
  }
  auto child =
      PtyChild::start_program({*c.path}, {"TERM=xterm-256color", "LC_ALL=C.UTF-8"}, 100, 30);
  vennic::test::VtermScreen screen{100, 30};
  ASSERT_TRUE(vennic::test::wait_for_screen(child, screen, [&] {
    return screen.contains(c.ready);
  })) << screen.text();
  child.read_for(300ms);
  long const idle = resident_kib(child.pid());
  long peak = idle;
  auto sampled = Clock::now();
  auto const sample = [&] {
    if (Clock::now() - sampled >= 10ms) {
      sampled = Clock::now();
      peak = std::max(peak, resident_kib(child.pid()));
    }
  };
  auto const flood_start = Clock::now();
  if (c.left_out.empty()) {
    child.write("p");
    for (auto const end = Clock::now() + 2s; Clock::now() < end;) {
      child.read_for(10ms);
      child.discard_output(65536);
      sample();
    }
  } else {
    child.flood(random_input(flood_bytes(), c.left_out), sample);
  }
  auto const quit_pressed = Clock::now();
  // A string terminator first: random bytes may have left an OSC or DCS string open (an answer
  // the program waits to see ended), which would take the quit key in.
  child.write("\x1b\\" + std::string{c.quit_key});
  vennic::test::ExitStatus const status = child.wait_exit(quit_limit + 8s);
  auto const quit_time = Clock::now() - quit_pressed;
  std::printf("%s: flood %.1f s, quit %.2f s, memory %ld KiB idle, %ld KiB peak\n", c.name,
              std::chrono::duration<double>(quit_pressed - flood_start).count(),
              std::chrono::duration<double>(quit_time).count(), idle, peak);
  EXPECT_TRUE(status.exited && status.exit_status == c.exit_status)
      << "exited " << status.exited << " status " << status.exit_status << " signal "
      << status.signal;
  EXPECT_LT(quit_time, quit_limit);
  EXPECT_GT(idle, 0);
  // ASan's quarantine and TSan's shadow memory grow by hundreds of MB: growth says nothing
  // about the program there.
  if (!vennic::test::memory_sanitized) {
    EXPECT_LT(peak - idle, growth_limit_kib);
  }
  // The terminal is put back: main screen, cursor shown.
  std::string const& output = child.output();
  std::size_t const restored = output.rfind("\x1b[?1049l");
  EXPECT_NE(restored, std::string::npos);
  EXPECT_NE(output.find("\x1b[?25h", restored == std::string::npos ? 0 : restored),
            std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Programs, FloodTest, ::testing::ValuesIn(flood_cases),
                         [](auto const& info) { return std::string{info.param.name}; });

}  // namespace
