// Terminal restoration from signal handlers. Only async-signal-safe calls are made (write(2),
// ioctl, tcgetattr, tcsetattr), on bytes and attributes that initialization prepared, so a
// handler may restore the terminal whatever the interrupted thread was doing.
#pragma once

#include <termios.h>

namespace dalk::detail {

/// Whether the terminal is set up: between an initialization and uninitialize_terminal().
bool is_terminal_set_up();

/// Orders the session's writes (a frame, a flush, the set-up and restoration bytes) with the
/// signal handlers' restoration. While a write is in progress, a handler that would write
/// records its signal instead (hold_terminal_or_defer) and the writer raises it on its own
/// thread once its last byte is out; a writer waits while a handler holds the terminal (from
/// its restoration until its re-entry after a stop, or until the process ends). Reentrant on
/// one thread; writers on other threads wait their turn.
class OrderedWrite {
 public:
  OrderedWrite();
  ~OrderedWrite();
  OrderedWrite(OrderedWrite const&) = delete;
  OrderedWrite& operator=(OrderedWrite const&) = delete;
};

/// For a handler about to restore the terminal. Async-signal-safe. True: it holds the terminal
/// (no write and no other thread's handler starts until release_terminal()); it waits while
/// another thread's handler holds it. False: a write is in progress; sig is recorded and raised
/// again by the writer once its write is done, and the handler returns at once.
bool hold_terminal_or_defer(int sig);
/// Ends a hold. Async-signal-safe.
void release_terminal();

/// What uninitialize_terminal() does, with write(2) of prepared bytes instead of the stdout
/// stream: restoration bytes (first the end of synchronized output once a frame used it),
/// console keyboard back to translated mode, the saved attributes. Leaves the terminal marked
/// as set up, and keeps the console descriptor open. The bytes go out once until the next
/// re-entry, so what was pushed is popped once. Returns whether it wrote them; does nothing
/// when the terminal is not set up.
bool restore_terminal_from_signal();

/// Called by the frame writer inside its OrderedWrite for a synchronized frame: from then on
/// every restoration of the session ends synchronized output first.
void note_synchronized_frame();

/// Takes the terminal back into the state it had before restore_terminal_from_signal():
/// attributes (the given ones, read before the restoration), the console keyboard's raw mode
/// if initialization asked for it, and the mode sequences initialization wrote. Only after a
/// restore_terminal_from_signal() that wrote.
void reenter_terminal_from_signal(termios const& attributes);

/// What put_back_streams() does, without flushing stdout: for the handlers that end the process,
/// after they restored the terminal. Async-signal-safe.
void put_back_streams_from_signal();

}  // namespace dalk::detail
