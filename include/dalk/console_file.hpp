// The Linux console keyboard: finding a console descriptor and switching its keyboard between
// raw scancodes and translated input.
#pragma once

#include <optional>

namespace dalk::detail {

/// The console opened by set(KeyMode::Raw); while it holds a value the read functions also
/// take scancodes from it. Emptied when uninitialize_terminal() closes it.
extern std::optional<int> tty_file_descriptor;

/// The first candidate console whose keyboard type is a console keyboard. Throws
/// std::runtime_error "open_console_file(): Can't open console file. Try sudo.".
int open_console_file();

/// KDGKBMODE; throws std::runtime_error "current_keyboard_mode(): Failed.".
long current_keyboard_mode(int fd);

/// KDSKBMODE (0 raw scancodes, 1 translated); throws std::runtime_error
/// "set_keyboard_mode(): Failed.".
void set_keyboard_mode(int fd, long mode);

}  // namespace dalk::detail
