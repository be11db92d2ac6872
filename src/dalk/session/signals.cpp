#include "dalk/signals.hpp"

#include <pthread.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <exception>
#include <stdexcept>
#include <string>

#include "dalk/io.hpp"
#include "dalk/session/terminal_internal.hpp"
#include "dalk/terminal.hpp"

namespace dalk {

volatile std::sig_atomic_t sigint_flag = 0;

namespace detail {

volatile std::sig_atomic_t window_resize_sig = 0;

namespace {

// Runs from the second interrupt's handler: only async-signal-safe restoration. Whatever the
// stdout buffer still holds is dropped with the process.
void restore_at_quick_exit() {
  restore_terminal_from_signal();
  put_back_streams_from_signal();
}

std::terminate_handler previous_terminate = nullptr;

// An uncaught exception ends the process without unwinding, so no destructor restores the
// terminal; the default handler's message then lands on the normal screen.
[[noreturn]] void restore_then_terminate() {
  restore_terminal_from_signal();
  put_back_streams_from_signal();
  if (previous_terminate != nullptr) {
    previous_terminate();
  }
  std::abort();
}

using Handler = void (*)(int);

// Installs a handler with interrupted system calls restarted, said explicitly: some runtimes'
// std::signal (ThreadSanitizer's) leaves SA_RESTART out, and a frame's write cut short by EINTR
// would lose its end. The session's signals are blocked while it runs, so that no handler of
// this thread runs inside another (one on another thread waits for the terminal instead).
// Async-signal-safe.
bool install(int sig, Handler handler) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  for (int const session_signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP, SIGWINCH, sig}) {
    sigaddset(&action.sa_mask, session_signal);
  }
  action.sa_flags = SA_RESTART;
  return sigaction(sig, &action, nullptr) == 0;
}

// Installs handler unless the program chose another disposition first: a signal it ignores
// (nohup's SIGHUP, a shell without job control's SIGTSTP) or handles itself stays that way.
void install_unless_taken(int sig, Handler handler, char const* name) {
  struct sigaction current {};
  if (sigaction(sig, nullptr, &current) == 0) {
    bool const default_or_ours = (current.sa_flags & SA_SIGINFO) == 0 &&
                                 (current.sa_handler == SIG_DFL || current.sa_handler == handler);
    if (!default_or_ours) {
      return;
    }
  }
  if (!install(sig, handler)) {
    throw std::runtime_error(std::string("register_") + name + "(): std::signal call");
  }
}

}  // namespace

void register_signals(bool install_interrupt_handler) {
  // Once per process (the number of exit hooks is bounded): a second interrupt may end the
  // process from any state in which the terminal was set up.
  static bool const exit_hook_registered = std::at_quick_exit(restore_at_quick_exit) == 0;
  static_cast<void>(exit_hook_registered);
  if (!install(SIGWINCH, resize_handler)) {
    throw std::runtime_error("register_SIGWINCH(): std::signal call");
  }
  if (install_interrupt_handler && !install(SIGINT, sigint_handler)) {
    throw std::runtime_error("register_SIGINT(): std::signal call");
  }
  install_unless_taken(SIGTERM, termination_handler, "SIGTERM");
  install_unless_taken(SIGHUP, termination_handler, "SIGHUP");
  install_unless_taken(SIGQUIT, termination_handler, "SIGQUIT");
  install_unless_taken(SIGTSTP, suspend_handler, "SIGTSTP");
  std::terminate_handler const current = std::get_terminate();
  if (current != restore_then_terminate) {
    previous_terminate = current;
    std::set_terminate(restore_then_terminate);
  }
}

}  // namespace detail
}  // namespace dalk

void sigint_handler(int sig) {
  if (sig != SIGINT) {
    return;
  }
  // The first interrupt only asks the program to quit; a second one means it did not listen.
  // The terminal stays held until the process is gone.
  if (dalk::detail::exchange_flag(dalk::sigint_flag, 1) == 1 &&
      dalk::detail::hold_terminal_or_defer(SIGINT)) {
    std::quick_exit(1);
  }
  dalk::detail::wake_input();
}

void resize_handler(int sig) {
  if (sig == SIGWINCH) {
    dalk::detail::store_flag(dalk::detail::window_resize_sig, 1);
    dalk::detail::wake_input();
  }
}

void termination_handler(int sig) {
  if (sig != SIGTERM && sig != SIGHUP && sig != SIGQUIT) {
    return;
  }
  // Held until the process is gone: no frame follows the restoration.
  if (!dalk::detail::hold_terminal_or_defer(sig)) {
    return;
  }
  dalk::detail::restore_terminal_from_signal();
  dalk::detail::put_back_streams_from_signal();
  // End the way the signal would have: the parent sees the signal, not an exit status. The
  // signal stays blocked until this handler returns, and is then taken with its default action.
  std::signal(sig, SIG_DFL);
  raise(sig);
}

void suspend_handler(int sig) {
  if (sig != SIGTSTP || !dalk::detail::hold_terminal_or_defer(SIGTSTP)) {
    return;
  }
  int const saved_errno = errno;
  bool const set_up = dalk::detail::is_terminal_set_up();
  termios interactive{};
  bool const have_interactive = set_up && tcgetattr(0, &interactive) == 0;
  bool const restored = dalk::detail::restore_terminal_from_signal();

  // Stop with the default action, so the shell sees an ordinary stop. The process halts inside
  // raise() and goes on from there at SIGCONT. In an orphaned process group the kernel discards
  // the stop, and the terminal is taken back at once.
  std::signal(SIGTSTP, SIG_DFL);
  sigset_t stop_signal;
  sigemptyset(&stop_signal);
  sigaddset(&stop_signal, SIGTSTP);
  pthread_sigmask(SIG_UNBLOCK, &stop_signal, nullptr);
  raise(SIGTSTP);
  pthread_sigmask(SIG_BLOCK, &stop_signal, nullptr);
  dalk::detail::install(SIGTSTP, suspend_handler);

  if (have_interactive && restored) {
    dalk::detail::reenter_terminal_from_signal(interactive);
    // The screen was lost meanwhile: the decoder reports a Resize, and the widget layer
    // repaints everything on every Resize.
    dalk::detail::store_flag(dalk::detail::window_resize_sig, 1);
    dalk::detail::wake_input();
  }
  dalk::detail::release_terminal();
  errno = saved_errno;
}
