// Runs the width probe (tests/programs/width_probe.cpp) in real terminals, xterm and kitty on a
// virtual X display, and checks how far each one advanced the cursor over each sample against
// the cells the library expects. Skips when Xvfb, xterm or kitty is missing. Every wait is
// bounded; every process started is ended.
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <dalk/answers.hpp>
#include <dalk/text.hpp>

#include "programs/width_samples.hpp"
#include "support/display.hpp"

namespace {

using namespace std::chrono_literals;
using vennic::test::Child;
using vennic::test::find_program;
using vennic::test::VirtualDisplay;

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
