// Terminal restoration from signal handlers. Only async-signal-safe calls are made (write(2),
// ioctl, tcgetattr, tcsetattr), on bytes and attributes that initialization prepared, so a
// handler may restore the terminal whatever the interrupted thread was doing.
#pragma once

#include <termios.h>

namespace dalk::detail {

/// Whether the terminal is set up: between an initialization and uninitialize_terminal().
bool is_terminal_set_up();

/// What uninitialize_terminal() does, with write(2) of prepared bytes instead of the stdout
/// stream: restoration bytes, console keyboard back to translated mode, the saved attributes.
/// Leaves the terminal marked as set up, and keeps the console descriptor open. Does nothing
/// when the terminal is not set up.
void restore_terminal_from_signal();

/// Takes the terminal back into the state it had before restore_terminal_from_signal():
/// attributes (the given ones, read before the restoration), the console keyboard's raw mode
/// if initialization asked for it, and the mode sequences initialization wrote.
void reenter_terminal_from_signal(termios const& attributes);

}  // namespace dalk::detail
