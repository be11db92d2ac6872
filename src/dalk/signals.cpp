#include "dalk/signals.hpp"

#include <cstdlib>
#include <stdexcept>

#include "dalk/terminal.hpp"

namespace dalk {

volatile std::sig_atomic_t sigint_flag = 0;

namespace detail {

volatile std::sig_atomic_t window_resize_sig = 0;

namespace {

// An exception must not cross the C library's exit path.
void restore_at_quick_exit() {
  try {
    uninitialize_terminal();
  } catch (...) {
  }
}

}  // namespace

void register_signals(bool install_interrupt_handler) {
  // Registered on every initialization: a second interrupt may end the process from any state
  // in which the terminal was set up.
  std::at_quick_exit(restore_at_quick_exit);
  if (std::signal(SIGWINCH, resize_handler) == SIG_ERR) {
    throw std::runtime_error("register_SIGWINCH(): std::signal call");
  }
  if (install_interrupt_handler && std::signal(SIGINT, sigint_handler) == SIG_ERR) {
    throw std::runtime_error("register_SIGINT(): std::signal call");
  }
}

}  // namespace detail
}  // namespace dalk

void sigint_handler(int sig) {
  if (sig != SIGINT) {
    return;
  }
  // The first interrupt only asks the program to quit; a second one means it did not listen.
  if (dalk::sigint_flag == 1) {
    std::quick_exit(1);
  }
  dalk::sigint_flag = 1;
}

void resize_handler(int sig) {
  if (sig == SIGWINCH) {
    dalk::detail::window_resize_sig = 1;
  }
}
