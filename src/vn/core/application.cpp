#include "vn/application.hpp"

#include <utility>

namespace vn {

Application::Application(Widget& head, Terminal terminal)
    : TreeDispatcher{head}, terminal{std::move(terminal)} {}

int Application::run() {
  return process_events(terminal, *this);
}

}  // namespace vn
