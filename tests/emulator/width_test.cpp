// Runs the width probe (tests/programs/width_probe.cpp) in real terminals, xterm and kitty on a
// virtual X display, and checks how far each one advanced the cursor over each sample against
// the cells the library expects. Skips when Xvfb, xterm or kitty is missing. Every wait is
// bounded; every process started is ended.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <dalk/answers.hpp>
#include <dalk/text.hpp>

#include "programs/width_samples.hpp"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// What a DECRQM value says of mode 2027.
dalk::ModeReport mode_report(int value) {
  switch (value) {
    case 0:
      return dalk::ModeReport::NotRecognized;
    case 1:
      return dalk::ModeReport::Set;
    case 2:
      return dalk::ModeReport::Reset;
    case 3:
      return dalk::ModeReport::PermanentlySet;
    case 4:
      return dalk::ModeReport::PermanentlyReset;
    default:
      return dalk::ModeReport::Unknown;
  }
}

// The cells the library gives `utf8` under `model`.
int expected_advance(std::string_view utf8, dalk::text::WidthModel model) {
  dalk::text::set_width_model(model);
  int const cells = dalk::text::cells(utf8);
  dalk::text::set_width_model(dalk::text::WidthModel::CodePoints);
  return cells;
}

// The terminal's name and version from the probe's record of its XTVERSION answer
// ("\\eP>|XTerm(379)\\e\\\\...").
std::string version_of(std::string const& xtversion) {
  auto const start = xtversion.find(">|");
  if (start == std::string::npos) {
    return {};
  }
  return xtversion.substr(start + 2, xtversion.find("\\e", start) - start - 2);
}

std::optional<std::string> find_program(std::string_view name) {
  char const* path = std::getenv("PATH");
  std::istringstream folders{path ? path : "/usr/bin:/bin"};
  for (std::string folder; std::getline(folders, folder, ':');) {
    auto const candidate = std::filesystem::path{folder} / name;
    if (::access(candidate.c_str(), X_OK) == 0)
      return candidate.string();
  }
  return std::nullopt;
}

// A child process in a process group of its own; the group is ended when this goes.
class Child {
 public:
  Child(std::vector<std::string> const& arguments, std::vector<std::string> const& environment,
        int keep_fd = -1) {
    std::vector<char*> argv;
    for (auto const& argument : arguments)
      argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::setpgid(0, 0);
      for (auto const& variable : environment)
        ::putenv(const_cast<char*>(variable.c_str()));
      int const null = ::open("/dev/null", O_RDWR);
      ::dup2(null, 0);
      ::dup2(null, 1);
      ::dup2(null, 2);
      for (int fd = 3; fd < 256; ++fd)
        if (fd != keep_fd)
          ::close(fd);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    if (pid_ > 0)
      ::setpgid(pid_, pid_);
  }
  Child(Child const&) = delete;
  Child& operator=(Child const&) = delete;
  ~Child() {
    if (pid_ <= 0 || ended_)
      return;
    ::kill(-pid_, SIGTERM);
    if (!wait_for_end(2s)) {
      ::kill(-pid_, SIGKILL);
      wait_for_end(2s);
    }
  }

  bool started() const { return pid_ > 0; }

  // Whether the process ended within `limit`.
  bool wait_for_end(std::chrono::milliseconds limit) {
    auto const deadline = Clock::now() + limit;
    while (!ended_) {
      int status = 0;
      auto const got = ::waitpid(pid_, &status, WNOHANG);
      if (got == pid_ || got < 0) {
        ended_ = true;
        // What the terminal started may outlive it.
        ::kill(-pid_, SIGKILL);
        break;
      }
      if (Clock::now() >= deadline)
        break;
      std::this_thread::sleep_for(20ms);
    }
    return ended_;
  }

 private:
  pid_t pid_ = -1;
  bool ended_ = false;
};

// Xvfb on a display number it picks itself; empty display when it did not start within 10 s.
class VirtualDisplay {
 public:
  explicit VirtualDisplay(std::string const& xvfb) {
    int ready[2];
    if (::pipe(ready) != 0)
      return;
    server_ = std::make_unique<Child>(
        std::vector<std::string>{xvfb, "-displayfd", std::to_string(ready[1]), "-screen", "0",
                                 "1024x768x24", "-nolisten", "tcp"},
        std::vector<std::string>{}, ready[1]);
    ::close(ready[1]);
    // Xvfb writes the display number and a line feed once it accepts clients.
    std::string number;
    auto const deadline = Clock::now() + 10s;
    while (Clock::now() < deadline && number.find('\n') == std::string::npos) {
      pollfd wait{ready[0], POLLIN, 0};
      if (::poll(&wait, 1, 100) <= 0)
        continue;
      char buffer[16];
      auto const got = ::read(ready[0], buffer, sizeof buffer);
      if (got <= 0)
        break;
      number.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(ready[0]);
    if (number.find('\n') != std::string::npos)
      display_ = ":" + number.substr(0, number.find('\n'));
  }

  std::string const& display() const { return display_; }

 private:
  std::unique_ptr<Child> server_;
  std::string display_;
};

// What the probe wrote: its answers and the columns per sample, per model.
struct ProbeResult {
  std::string xtversion;
  int mode_2027 = -1;
  std::map<std::size_t, int> code_points;
  std::map<std::size_t, int> clusters;
};

std::optional<ProbeResult> read_result(std::filesystem::path const& file) {
  std::ifstream in{file};
  if (!in)
    return std::nullopt;
  ProbeResult result;
  for (std::string line; std::getline(in, line);) {
    std::istringstream words{line};
    std::string kind;
    words >> kind;
    if (kind == "xtversion") {
      std::getline(words >> std::ws, result.xtversion);
    } else if (kind == "mode2027") {
      words >> result.mode_2027;
    } else if (kind == "codepoints" || kind == "clusters") {
      std::size_t index = 0;
      int columns = -1;
      words >> index >> columns;
      (kind == "codepoints" ? result.code_points : result.clusters)[index] = columns;
    }
  }
  return result;
}

enum class Terminal { Xterm, Kitty };

class EmulatorWidth : public testing::Test {
 protected:
  void SetUp() override {
    auto const xvfb = find_program("Xvfb");
    xterm_ = find_program("xterm");
    kitty_ = find_program("kitty");
    if (!xvfb || !xterm_ || !kitty_)
      GTEST_SKIP() << "needs Xvfb, xterm and kitty";
    display_ = std::make_unique<VirtualDisplay>(*xvfb);
    ASSERT_FALSE(display_->display().empty()) << "Xvfb did not start";
    folder_ =
        std::filesystem::temp_directory_path() / ("vennic-width-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override {
    if (!folder_.empty())
      std::filesystem::remove_all(folder_);
  }

  // Runs the probe in the terminal and returns what it wrote.
  std::optional<ProbeResult> probe_in(Terminal terminal) {
    auto const out = folder_ / "result.txt";
    std::vector<std::string> const environment{"DISPLAY=" + display_->display(), "LC_ALL=C.UTF-8",
                                               "LIBGL_ALWAYS_SOFTWARE=1"};
    std::vector<std::string> arguments;
    if (terminal == Terminal::Xterm)
      arguments = {*xterm_, "-geometry", "80x24+0+0", "-e", VENNIC_WIDTH_PROBE, out.string()};
    else
      arguments = {*kitty_,
                   "--config",
                   "NONE",
                   "-o",
                   "remember_window_size=no",
                   "-o",
                   "initial_window_width=80c",
                   "-o",
                   "initial_window_height=24c",
                   VENNIC_WIDTH_PROBE,
                   out.string()};
    Child child{arguments, environment};
    if (!child.started() || !child.wait_for_end(60s))
      return std::nullopt;
    return read_result(out);
  }

  // Every sample advances the terminal by the cells the library gives it under the model it
  // takes from the terminal's answers; where mode 2027 can be set, under whole clusters with it
  // set too.
  void check(Terminal terminal) {
    auto const result = probe_in(terminal);
    ASSERT_TRUE(result) << "the probe wrote nothing within 60 s";
    dalk::TerminalAnswers answers;
    answers.version = version_of(result->xtversion);
    dalk::text::WidthModel const model = dalk::width_model_for(answers);
    auto const& samples = vennic::test::width_samples;
    ASSERT_EQ(result->code_points.size(), samples.size()) << result->xtversion;
    for (std::size_t i = 0; i < samples.size(); ++i) {
      EXPECT_EQ(result->code_points.at(i), expected_advance(samples[i].utf8, model))
          << samples[i].name << " in " << answers.version;
    }
    answers.grapheme_clusters = mode_report(result->mode_2027);
    if (dalk::width_model_for(answers) == dalk::text::WidthModel::Clusters) {
      ASSERT_EQ(result->clusters.size(), samples.size()) << result->xtversion;
      for (std::size_t i = 0; i < samples.size(); ++i) {
        EXPECT_EQ(result->clusters.at(i),
                  expected_advance(samples[i].utf8, dalk::text::WidthModel::Clusters))
            << samples[i].name << " with mode 2027 in " << answers.version;
      }
    }
  }

  std::optional<std::string> xterm_;
  std::optional<std::string> kitty_;
  std::unique_ptr<VirtualDisplay> display_;
  std::filesystem::path folder_;
};

TEST_F(EmulatorWidth, Xterm) {
  check(Terminal::Xterm);
}

TEST_F(EmulatorWidth, Kitty) {
  check(Terminal::Kitty);
}

}  // namespace
