#include "dalk/terminal.hpp"

#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <stdexcept>
#include <string>

#include "dalk/console_file.hpp"
#include "dalk/is_urxvt.hpp"
#include "dalk/signals.hpp"
#include "dalk/terminfo.hpp"

namespace dalk {
namespace {

// The attributes of standard input found by the latest initialization.
termios original_termios{};

// Applies change to a fresh copy of the attributes of standard input. TCSAFLUSH also drops
// input that has not been read yet.
template <typename Change>
void change_termios(Change change) {
  termios attributes{};
  tcgetattr(0, &attributes);
  change(attributes);
  tcsetattr(0, TCSAFLUSH, &attributes);
}

// The mouse report encoding asked for: urxvt's decimal one, or SGR everywhere else.
std::string mouse_encoding() {
  return detail::is_urxvt(TERM_var()) ? "1015" : "1006";
}

}  // namespace

void set(Echo mode) {
  change_termios([mode](termios& t) {
    if (mode == Echo::Off) {
      t.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    } else {
      t.c_lflag |= ECHO;
    }
  });
}

void set(InputBuffer mode) {
  change_termios([mode](termios& t) {
    if (mode == InputBuffer::NoBuffer) {
      t.c_lflag &= ~static_cast<tcflag_t>(ICANON);
      t.c_cc[VMIN] = 1;
    } else {
      t.c_lflag |= ICANON;
    }
  });
}

void set(Signals mode) {
  change_termios([mode](termios& t) {
    if (mode == Signals::Off) {
      t.c_lflag &= ~static_cast<tcflag_t>(ISIG | IEXTEN);
      t.c_iflag &= ~static_cast<tcflag_t>(IXON);
    } else {
      t.c_lflag |= ISIG | IEXTEN;
      t.c_iflag |= IXON;
    }
  });
}

void set(KeyMode mode) {
  if (mode == KeyMode::Raw) {
    int const fd = detail::open_console_file();
    detail::tty_file_descriptor = fd;
    detail::set_keyboard_mode(fd, 0);
  } else if (detail::tty_file_descriptor) {
    detail::set_keyboard_mode(*detail::tty_file_descriptor, 1);
  }
}

void set(ScreenBuffer mode) {
  write(mode == ScreenBuffer::Alternate ? "\x1b[?1049h" : "\x1b[?1049l");
}

void set(CursorMode mode) {
  write(mode == CursorMode::Hide ? "\x1b[?25l" : "\x1b[?25h");
}

void set(MouseMode mode) {
  std::string const encoding = mouse_encoding();
  // First reset the tracking modes not wanted, then set the wanted one with the encoding.
  switch (mode) {
    case MouseMode::Off:
      write("\x1b[?1000;1002;1003;" + encoding + "l");
      break;
    case MouseMode::Basic:
      write("\x1b[?1002;1003l\x1b[?1000;" + encoding + "h");
      break;
    case MouseMode::Drag:
      write("\x1b[?1000;1003l\x1b[?1002;" + encoding + "h");
      break;
    case MouseMode::Move:
      write("\x1b[?1000;1002l\x1b[?1003;" + encoding + "h");
      break;
  }
}

void initialize_terminal(ScreenBuffer screen, MouseMode mouse, CursorMode cursor, Echo echo,
                         InputBuffer input, Signals signals, KeyMode keys,
                         bool install_interrupt_handler) {
  tcgetattr(0, &original_termios);
  std::setvbuf(stdout, nullptr, _IOFBF, 4096);
  detail::register_signals(install_interrupt_handler);
  // Enter then arrives as carriage return (13), not as line feed.
  change_termios([](termios& t) { t.c_iflag &= ~static_cast<tcflag_t>(ICRNL); });
  // Writing into the last column must not move the cursor to the next line.
  write("\x1b[?7l");
  try {
    set(echo, input, signals, screen, mouse, cursor, keys);
  } catch (std::runtime_error const& error) {
    try {
      uninitialize_terminal();
    } catch (std::runtime_error const&) {
      // The console could not be switched back; the first failure is the one worth reporting.
    }
    std::cerr << "Error: " << error.what() << '\n';
    std::exit(1);
  }
  flush();
}

void initialize_interactive_terminal(MouseMode mouse, KeyMode keys, Signals signals) {
  initialize_terminal(ScreenBuffer::Alternate, mouse, CursorMode::Hide, Echo::Off,
                      InputBuffer::NoBuffer, signals, keys, true);
}

void initialize_normal_terminal() {
  initialize_terminal(ScreenBuffer::Normal, MouseMode::Off, CursorMode::Show, Echo::On,
                      InputBuffer::Normal, Signals::On, KeyMode::Normal, true);
}

void uninitialize_terminal() {
  write("\x1b[?7h");
  set(ScreenBuffer::Normal, MouseMode::Off, CursorMode::Show);
  // A console keyboard that cannot be switched back must not keep the rest of the terminal
  // from being restored; the failure is rethrown once everything else is done.
  std::exception_ptr failure;
  try {
    set(KeyMode::Normal);
  } catch (std::runtime_error const&) {
    failure = std::current_exception();
  }
  flush();
  // Restoring the saved attributes also undoes echo, line input, signal keys and ICRNL.
  tcsetattr(0, TCSAFLUSH, &original_termios);
  if (detail::tty_file_descriptor) {
    // Standard descriptors can be the console themselves; they were not opened here and stay
    // open for the rest of the program.
    if (*detail::tty_file_descriptor > 2) {
      close(*detail::tty_file_descriptor);
    }
    detail::tty_file_descriptor.reset();
  }
  if (failure) {
    std::rethrow_exception(failure);
  }
}

int terminal_width() {
  winsize size{};
  if (ioctl(1, TIOCGWINSZ, &size) != 0) {
    throw std::runtime_error("terminal terminal_width(): Can't Read Window Size.");
  }
  return size.ws_col;
}

int terminal_height() {
  winsize size{};
  if (ioctl(0, TIOCGWINSZ, &size) != 0) {
    throw std::runtime_error("terminal terminal_height(): Can't Read Window Size.");
  }
  return size.ws_row;
}

Area terminal_area() {
  int const width = terminal_width();
  int const height = terminal_height();
  return Area{width, height};
}

}  // namespace dalk
