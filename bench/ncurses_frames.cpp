#define NCURSES_WIDECHAR 1
#include "ncurses_frames.hpp"

#include <ncursesw/curses.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace bench {

struct NcursesScreen::State {
  SCREEN* screen = nullptr;
  FILE* output = nullptr;
  FILE* input = nullptr;
  std::vector<cchar_t> line;
};

NcursesScreen::NcursesScreen(int width, int height, int output_fd) : state_{new State} {
  std::setlocale(LC_ALL, "C.UTF-8");
  // The output is no terminal, so ncurses takes its size from the environment.
  setenv("LINES", std::to_string(height).c_str(), 1);
  setenv("COLUMNS", std::to_string(width).c_str(), 1);
  state_->output = fdopen(dup(output_fd), "w");
  state_->input = std::fopen("/dev/null", "r");
  state_->screen = newterm("xterm-256color", state_->output, state_->input);
  unsetenv("LINES");
  unsetenv("COLUMNS");
  if (state_->screen == nullptr || LINES != height || COLS != width) {
    throw std::runtime_error("NcursesScreen: newterm failed");
  }
  start_color();
  use_default_colors();
  for (int fg = 0; fg < 256; ++fg) {
    for (int bg = 0; bg < 256; ++bg) {
      if (fg != bg) {
        init_extended_pair(
            pair_number(static_cast<std::uint16_t>(fg), static_cast<std::uint16_t>(bg)), fg, bg);
      }
    }
  }
  curs_set(0);
  // The cursor is hidden: no need to put it anywhere after an update.
  leaveok(stdscr, TRUE);
  state_->line.resize(static_cast<std::size_t>(width));
}

NcursesScreen::~NcursesScreen() {
  endwin();
  delscreen(state_->screen);
  std::fclose(state_->output);
  std::fclose(state_->input);
  delete state_;
}

void NcursesScreen::frame(FrameScript const& model, std::vector<Run> const& runs) {
  wchar_t text[2] = {0, 0};
  for (Run const& run : runs) {
    for (int k = 0; k < run.length; ++k) {
      auto const i = static_cast<std::size_t>(run.y * model.width + run.x + k);
      text[0] = static_cast<wchar_t>(model.symbol[i]);
      int pair = pair_number(model.fg[i], model.bg[i]);
      setcchar(&state_->line[static_cast<std::size_t>(k)], text, A_NORMAL, 0, &pair);
    }
    mvadd_wchnstr(run.y, run.x, state_->line.data(), run.length);
  }
  refresh();
}

}  // namespace bench
