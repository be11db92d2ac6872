// The interrupt and window-size signals become flags that the input thread reads. A second
// interrupt before the program ends restores the terminal and exits with status 1.
#pragma once

#include <csignal>

namespace dalk {

/// 1 once an interrupt signal has arrived; never reset by the library.
extern volatile std::sig_atomic_t sigint_flag;

namespace detail {

/// 1 while a window-size change waits to be reported as a Resize event.
extern volatile std::sig_atomic_t window_resize_sig;

/// Registers terminal restoration with at_quick_exit and installs the SIGWINCH handler and,
/// if asked, the SIGINT handler. Throws std::runtime_error "register_SIGWINCH(): std::signal
/// call" or "register_SIGINT(): std::signal call".
void register_signals(bool install_interrupt_handler);

}  // namespace detail
}  // namespace dalk

/// Sets dalk::sigint_flag; a second interrupt calls quick_exit(1).
void sigint_handler(int sig);
/// Sets dalk::detail::window_resize_sig.
void resize_handler(int sig);
