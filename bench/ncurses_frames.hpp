// The ncurses side of the frame workloads, kept in its own translation unit because the
// curses header defines macros (clear, refresh, move, timeout, ...) that clash with ordinary
// names.
#pragma once

#include <vector>

#include "workload.hpp"

namespace bench {

/// A wide-character ncurses screen of the given size on a non-terminal output descriptor,
/// for TERM xterm-256color, with default colours and one extended pair per (fg, bg) made at
/// set-up. Only one exists at a time.
class NcursesScreen {
 public:
  NcursesScreen(int width, int height, int output_fd);
  ~NcursesScreen();
  NcursesScreen(NcursesScreen const&) = delete;
  NcursesScreen& operator=(NcursesScreen const&) = delete;

  /// Writes the cells of `runs` from the model (setcchar per cell, mvadd_wchnstr per run),
  /// then one refresh.
  void frame(FrameScript const& model, std::vector<Run> const& runs);

 private:
  struct State;
  State* state_;
};

}  // namespace bench
