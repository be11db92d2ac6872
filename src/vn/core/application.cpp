#include "vn/application.hpp"

#include <utility>

namespace vn {

Application::Application(Widget& head, Terminal terminal)
    : TreeDispatcher{head}, terminal{std::move(terminal)} {
  // Its grid, Terminal::changes, is written by its own paint alone.
  reuse_cells = true;
}

int Application::run() {
  return process_events(terminal, *this);
}

}  // namespace vn
