// The frame workloads shared by the Vennic and ncurses sides: a model of the screen (one
// character and one colour pair per cell) advanced frame by frame by a fixed-seed generator,
// and the runs of cells that changed in the last step. Characters are '!' to '~'; colours are
// palette indices 0 to 255 with the foreground unlike the background, or both default.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace bench {

enum class Workload {
  FullChange,  // W1: every cell gets a new character and new colours each frame
  Sparse,      // W2: 2 % of the cells, distinct and random, change each frame
  Scroll,      // W3: rows move up by one, a new row enters at the bottom
  Static,      // W4: nothing changes
  TextOnly,    // W5: every character changes, default colours
};

/// "W1" to "W5".
std::string workload_name(Workload workload);

/// The value standing for the terminal's default colour.
inline constexpr std::uint16_t default_color = 256;

/// The extended colour pair of (fg, bg): 0 for default on default, else 1 to 65280.
int pair_number(std::uint16_t fg, std::uint16_t bg);

/// A horizontal run of cells to write.
struct Run {
  int y = 0;
  int x = 0;
  int length = 0;
};

class FrameScript {
 public:
  FrameScript(Workload workload, int width, int height, std::uint32_t seed = 20240607);

  /// Advances the model by one frame and records the changed runs.
  void step();
  /// Runs covering every cell, one per row.
  std::vector<Run> all_rows() const;

  int width;
  int height;
  std::vector<char> symbol;
  std::vector<std::uint16_t> fg;
  std::vector<std::uint16_t> bg;
  /// The runs of cells that differ from the previous frame.
  std::vector<Run> runs;

 private:
  char random_symbol();
  char new_symbol(char old);
  void new_colors(std::uint16_t& f, std::uint16_t& b);
  void compute_runs();

  Workload workload_;
  std::mt19937 random_;
  std::vector<char> previous_symbol_;
  std::vector<std::uint16_t> previous_fg_;
  std::vector<std::uint16_t> previous_bg_;
  std::vector<std::size_t> picks_;
};

}  // namespace bench
