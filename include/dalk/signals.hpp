// The interrupt and window-size signals become flags that the input thread reads. A second
// interrupt before the program ends restores the terminal and exits with status 1. Signals that
// end or stop the process (SIGTERM, SIGHUP, SIGQUIT, SIGTSTP) restore the terminal first; after
// a stop the terminal is taken back and repainted.
#pragma once

#include <csignal>

namespace dalk {

/// 1 once an interrupt signal has arrived; never reset by the library.
extern volatile std::sig_atomic_t sigint_flag;

namespace detail {

/// 1 while a window-size change waits to be reported as a Resize event.
extern volatile std::sig_atomic_t window_resize_sig;

/// The flags are plain `volatile std::sig_atomic_t`, but a handler runs on whichever thread the
/// signal interrupts while another thread reads them: these read and write them with atomic
/// operations (lock-free, so also safe inside a handler).
inline std::sig_atomic_t load_flag(volatile std::sig_atomic_t const& flag) {
  return __atomic_load_n(&flag, __ATOMIC_ACQUIRE);
}
inline void store_flag(volatile std::sig_atomic_t& flag, std::sig_atomic_t value) {
  __atomic_store_n(&flag, value, __ATOMIC_RELEASE);
}
/// Sets the flag to value and returns what it held, in one step: a signal in between is not lost.
inline std::sig_atomic_t exchange_flag(volatile std::sig_atomic_t& flag, std::sig_atomic_t value) {
  return __atomic_exchange_n(&flag, value, __ATOMIC_ACQ_REL);
}

/// Registers terminal restoration with at_quick_exit (once per process) and installs the SIGWINCH
/// handler and, if asked, the SIGINT handler; also termination_handler for SIGTERM, SIGHUP and
/// SIGQUIT and suspend_handler for SIGTSTP, each unless the program already ignores or handles that
/// signal, and a std::terminate handler that restores the terminal before the previous one runs.
/// Throws std::runtime_error "register_<SIGNAL>(): std::signal call" (SIGWINCH, SIGINT, ...).
void register_signals(bool install_interrupt_handler);

}  // namespace detail
}  // namespace dalk

/// Sets dalk::sigint_flag and wakes a quiet input wait; a second interrupt calls quick_exit(1).
void sigint_handler(int sig);
/// Sets dalk::detail::window_resize_sig and wakes a quiet input wait.
void resize_handler(int sig);
/// SIGTERM, SIGHUP, SIGQUIT: restores the terminal if it is set up (async-signal-safe: write(2)
/// of prepared bytes, tcsetattr) and puts back the streams move_streams_to() moved, then ends the
/// process through the signal's default action.
void termination_handler(int sig);
/// SIGTSTP: restores the terminal, stops the process with the default action; at SIGCONT puts
/// back the attributes and modes in force before the stop and sets window_resize_sig, so a
/// Resize with the current size follows and the widget layer repaints the whole screen.
void suspend_handler(int sig);
