#include "dalk/terminal.hpp"

#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <iostream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <variant>
#include <vector>

#include "dalk/cluster.hpp"
#include "dalk/console_file.hpp"
#include "dalk/input_parser.hpp"
#include "dalk/io.hpp"
#include "dalk/is_urxvt.hpp"
#include "dalk/session/answer_store.hpp"
#include "dalk/session/appearance.hpp"
#include "dalk/session/extension_protocols.hpp"
#include "dalk/session/signal_bytes.hpp"
#include "dalk/session/terminal_internal.hpp"
#include "dalk/signals.hpp"
#include "dalk/terminfo.hpp"

namespace dalk {
namespace {

// The attributes of standard input found by the latest initialization. Before one succeeded
// there is nothing to restore: all-zero attributes would leave the terminal unusable.
termios original_termios{};
bool have_original_termios = false;

// Sets the attributes of standard input once pending output is written, dropping input not yet
// read. Waiting for the output can be cut short by a handler installed without SA_RESTART.
void set_attributes(termios const& attributes) {
  while (tcsetattr(0, TCSAFLUSH, &attributes) != 0 && errno == EINTR) {
  }
}

// Applies change to a fresh copy of the attributes of standard input.
template <typename Change>
void change_termios(Change change) {
  termios attributes{};
  tcgetattr(0, &attributes);
  change(attributes);
  set_attributes(attributes);
}

// The mouse report encoding asked for: urxvt's decimal one, or SGR everywhere else.
std::string mouse_encoding() {
  return detail::is_urxvt(TERM_var()) ? "1015" : "1006";
}

std::string screen_sequence(ScreenBuffer mode) {
  return mode == ScreenBuffer::Alternate ? "\x1b[?1049h" : "\x1b[?1049l";
}

std::string cursor_sequence(CursorMode mode) {
  return mode == CursorMode::Hide ? "\x1b[?25l" : "\x1b[?25h";
}

// First reset the tracking modes not wanted, then set the wanted one with the encoding.
std::string mouse_sequence(MouseMode mode) {
  std::string const encoding = mouse_encoding();
  switch (mode) {
    case MouseMode::Off:
      return "\x1b[?1000;1002;1003;" + encoding + "l";
    case MouseMode::Basic:
      return "\x1b[?1002;1003l\x1b[?1000;" + encoding + "h";
    case MouseMode::Drag:
      return "\x1b[?1000;1003l\x1b[?1002;" + encoding + "h";
    case MouseMode::Move:
      return "\x1b[?1000;1002l\x1b[?1003;" + encoding + "h";
  }
  return {};
}

std::string const auto_wrap_off = "\x1b[?7l";
std::string const auto_wrap_on = "\x1b[?7h";

// The kitty flags pushed: the table's row, or the flags the terminal's answers chose.
std::string kitty_push(unsigned flags) {
  return "\x1b[>" + std::to_string(flags) + "u";
}

// The session protocols of the extensions, turned on in the table's order after the modes.
std::string extensions_on(Extensions extensions, std::optional<unsigned> kitty_flags = {}) {
  std::string out;
  for (detail::ExtensionProtocol const& row : detail::extension_protocols) {
    if (row.span == detail::ProtocolSpan::Session && extensions.contains(row.extension)) {
      bool const chosen = row.extension == Extension::KittyKeyboard && kitty_flags;
      out += chosen ? kitty_push(*kitty_flags) : std::string{row.on};
    }
  }
  return out;
}

// Off again in the reverse order, before the modes go back.
std::string extensions_off(Extensions extensions) {
  std::string out;
  for (auto row = std::rbegin(detail::extension_protocols);
       row != std::rend(detail::extension_protocols); ++row) {
    if (row->span == detail::ProtocolSpan::Session && extensions.contains(row->extension)) {
      out += row->off;
    }
  }
  return out;
}

// What the input parser decodes for these extensions and signal mode.
InputParser::Options input_options(Extensions extensions, Signals signals) {
  InputParser::Options options;
  for (detail::ExtensionProtocol const& row : detail::extension_protocols) {
    if (row.decodes != nullptr && extensions.contains(row.extension)) {
      options.*row.decodes = true;
    }
  }
  options.signal_keys = signals == Signals::On;
  return options;
}

// The extensions of the latest initialization: those asked for, and of them those in force,
// which uninitialize_terminal() turns off. With TerminalAnswers the kitty flags are in force only
// once the terminal reported the protocol, and are the flags its answers chose.
struct Session {
  Extensions requested;
  Extensions active;
  std::optional<unsigned> kitty_flags;
  ScreenBuffer screen = ScreenBuffer::Normal;
  MouseMode mouse = MouseMode::Off;
  CursorMode cursor = CursorMode::Show;
  // A frame went out synchronized: every restoration ends synchronized output first, so that a
  // stop can never leave the terminal holding back what it shows.
  bool synchronized_frames = false;
};
Session session;

constexpr std::string_view synchronized_output_off =
    detail::protocol(Extension::SynchronizedOutput).off;

// With TerminalAnswers: the terminal has synchronized output. Read for every frame.
std::atomic<bool> synchronized_output_answered{false};

// What signal handlers write, prepared outside them.
detail::SignalBytes<128> signal_bytes;
volatile std::sig_atomic_t terminal_set_up = 0;
// The restoration bytes went out from a handler and nothing took the terminal back since: the
// next restoration would pop what is no longer pushed.
std::atomic<bool> restored_from_signal{false};
static_assert(std::atomic<bool>::is_always_lock_free, "used by signal handlers");

// How the session's writes and the handlers' restoration are ordered (OrderedWrite): bit 0, a
// write in progress; bits 1 to 7, the handlers holding the terminal; from bit 8 on, the signals
// recorded during the write, in the order they are raised again (terminations first).
std::atomic<int> write_order{0};
constexpr int writing = 1;
constexpr int one_holder = 2;
constexpr int holders = 0xfe;
// The thread whose handler holds the terminal (0: none). A handler on another thread waits for
// it: the holder stops the process, ends it, or takes the terminal back and lets go.
std::atomic<pid_t> terminal_holder{0};
static_assert(std::atomic<pid_t>::is_always_lock_free, "used by signal handlers");
constexpr int recorded_shift = 8;
constexpr std::array<int, 5> deferrable_signals{SIGTERM, SIGHUP, SIGQUIT, SIGINT, SIGTSTP};
// The writes this thread has open (OrderedWrite nests).
thread_local int open_writes = 0;

int recorded_bit(int sig) {
  for (std::size_t at = 0; at < deferrable_signals.size(); ++at) {
    if (deferrable_signals[at] == sig) {
      return 1 << (recorded_shift + static_cast<int>(at));
    }
  }
  return 0;
}
// The console keyboard as handlers see it: descriptor (-1 for none) and whether it was put
// into raw mode.
volatile std::sig_atomic_t console_descriptor = -1;
volatile std::sig_atomic_t console_raw = 0;

// Linux console keyboard request and modes (linux/kd.h).
constexpr unsigned long kdskbmode = 0x4B45;
constexpr long keyboard_raw = 0;
constexpr long keyboard_translated = 1;

// What the signal handlers write to restore the terminal and to take it back after a stop,
// for the session's extensions in force.
void prepare_signal_bytes() {
  std::string_view const frames_off = session.synchronized_frames ? synchronized_output_off : "";
  signal_bytes.publish(std::string{frames_off} + extensions_off(session.active) + auto_wrap_on +
                           screen_sequence(ScreenBuffer::Normal) + mouse_sequence(MouseMode::Off) +
                           cursor_sequence(CursorMode::Show),
                       auto_wrap_off + screen_sequence(session.screen) +
                           mouse_sequence(session.mouse) + cursor_sequence(session.cursor) +
                           extensions_on(session.active, session.kitty_flags));
}

// Reads input until the answer to the device attributes request (the fence) arrives or wait
// has passed. Events read meanwhile are given out again by the reader, in order; a sequence
// that cannot be decoded is dropped, as the reader would.
void wait_for_answers(std::chrono::milliseconds wait) {
  auto const deadline = std::chrono::steady_clock::now() + wait;
  std::vector<Event> read;
  while (!terminal_answers().fenced) {
    auto const left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      break;
    }
    detail::ReadResult result;
    try {
      result = detail::read_input(static_cast<int>(left.count()));
    } catch (InputEnded const&) {
      // No answer can come; the reader meets the end again and reports it, after start-up.
      break;
    }
    if (auto* event = std::get_if<Event>(&result)) {
      read.push_back(std::move(*event));
    }
  }
  for (Event& event : read) {
    detail::put_back(std::move(event));
  }
}

}  // namespace

namespace detail {

void write_all_from_signal(std::string_view bytes) {
  int const saved_errno = errno;
  while (!bytes.empty()) {
    ssize_t const n = ::write(1, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      break;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  errno = saved_errno;
}

bool is_terminal_set_up() {
  return terminal_set_up == 1;
}

// A handler never writes in the middle of a frame (nor of any other write of the session): it
// records its signal and returns, and the writer raises the signal on its own thread right after
// its last byte, when the handler then runs in full. While a handler holds the terminal, writers
// wait, so no frame follows the restoration bytes until a continue has set the terminal up again.
OrderedWrite::OrderedWrite() {
  if (open_writes++ > 0) {
    return;
  }
  int idle = 0;
  while (!write_order.compare_exchange_weak(idle, writing, std::memory_order_acq_rel)) {
    if (idle != 0) {
      // Another thread writes, or a handler holds the terminal until the process stops or ends.
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    idle = 0;
  }
}

OrderedWrite::~OrderedWrite() {
  if (--open_writes > 0) {
    return;
  }
  // The bytes are out: the title and the shape they set are now the ones to put back.
  publish_appearance_changes();
  int const state = write_order.exchange(0, std::memory_order_acq_rel);
  for (int const sig : deferrable_signals) {
    if ((state & recorded_bit(sig)) != 0) {
      raise(sig);
    }
  }
}

bool hold_terminal_or_defer(int sig) {
  auto const self = static_cast<pid_t>(::syscall(SYS_gettid));
  for (;;) {
    int state = write_order.load(std::memory_order_acquire);
    if ((state & writing) != 0) {
      if (write_order.compare_exchange_weak(state, state | recorded_bit(sig),
                                            std::memory_order_acq_rel)) {
        return false;
      }
      continue;
    }
    pid_t owner = 0;
    if (!terminal_holder.compare_exchange_strong(owner, self, std::memory_order_acq_rel) &&
        owner != self) {
      timespec const pause{0, 100'000};
      nanosleep(&pause, nullptr);
      continue;
    }
    // Unless a write began meanwhile: then the signal is recorded for it.
    if (write_order.compare_exchange_strong(state, state + one_holder, std::memory_order_acq_rel)) {
      return true;
    }
    if (owner == 0) {
      terminal_holder.store(0, std::memory_order_release);
    }
  }
}

void release_terminal() {
  int const left = write_order.fetch_sub(one_holder, std::memory_order_acq_rel) - one_holder;
  if ((left & holders) == 0) {
    terminal_holder.store(0, std::memory_order_release);
  }
}

void note_synchronized_frame() {
  if (terminal_set_up == 1 && !session.synchronized_frames) {
    session.synchronized_frames = true;
    prepare_signal_bytes();
  }
}

bool restore_terminal_from_signal() {
  if (terminal_set_up != 1 || restored_from_signal.exchange(true)) {
    return false;
  }
  int const saved_errno = errno;
  write_all_from_signal(signal_bytes.restore());
  write_appearance_restoration_from_signal();
  if (console_descriptor >= 0) {
    ioctl(console_descriptor, kdskbmode, keyboard_translated);
  }
  if (have_original_termios) {
    tcsetattr(0, TCSAFLUSH, &original_termios);
  }
  errno = saved_errno;
  return true;
}

void reenter_terminal_from_signal(termios const& attributes) {
  if (terminal_set_up != 1 || !restored_from_signal.exchange(false)) {
    return;
  }
  int const saved_errno = errno;
  tcsetattr(0, TCSAFLUSH, &attributes);
  if (console_descriptor >= 0 && console_raw == 1) {
    ioctl(console_descriptor, kdskbmode, keyboard_raw);
  }
  write_all_from_signal(signal_bytes.reenter());
  write_appearance_reentry_from_signal();
  errno = saved_errno;
}

}  // namespace detail

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
  // Kitty key reports of the signal keys are raised as signals only while the terminal would.
  InputParser::Options options = detail::terminal_input_options();
  options.signal_keys = mode == Signals::On;
  detail::set_terminal_input_options(options);
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
    console_descriptor = fd;
    detail::set_keyboard_mode(fd, keyboard_raw);
    console_raw = 1;
  } else if (detail::tty_file_descriptor) {
    console_raw = 0;
    detail::set_keyboard_mode(*detail::tty_file_descriptor, keyboard_translated);
  }
}

void set(ScreenBuffer mode) {
  write(screen_sequence(mode));
}

void set(CursorMode mode) {
  write(cursor_sequence(mode));
}

void set(MouseMode mode) {
  write(mouse_sequence(mode));
}

namespace {

void set_up_session(ScreenBuffer screen, MouseMode mouse, CursorMode cursor, Echo echo,
                    InputBuffer input, Signals signals, KeyMode keys,
                    bool install_interrupt_handler, Extensions extensions,
                    std::optional<std::string>& failure) {
  // Ready before the handlers can run: from here on a signal that ends or stops the process
  // puts back what was found.
  terminal_set_up = 0;
  restored_from_signal = false;
  if (tcgetattr(0, &original_termios) == 0) {
    have_original_termios = true;
  }
  bool const asks = extensions.contains(Extension::TerminalAnswers);
  session = Session{extensions, extensions, std::nullopt, screen, mouse, cursor};
  if (asks) {
    session.active.remove(Extension::KittyKeyboard);
  }
  // Only a terminal that answers it has mode 2027 gets it.
  session.active.remove(Extension::GraphemeClusters);
  text::set_width_model(text::WidthModel::CodePoints);
  prepare_signal_bytes();
  terminal_set_up = 1;
  std::setvbuf(stdout, nullptr, _IOFBF, 4096);
  detail::register_signals(install_interrupt_handler);
  // Enter then arrives as carriage return (13), not as line feed.
  change_termios([](termios& t) { t.c_iflag &= ~static_cast<tcflag_t>(ICRNL); });
  // Writing into the last column must not move the cursor to the next line.
  write(auto_wrap_off);
  try {
    set(echo, input, signals, screen, mouse, cursor, keys);
  } catch (std::runtime_error const& error) {
    try {
      uninitialize_terminal();
    } catch (std::runtime_error const&) {
      // The console could not be switched back; the first failure is the one worth reporting.
    }
    failure = error.what();
    return;
  }
  // Character-at-a-time input is an interactive session: Ctrl+S and Ctrl+Q are keys for the
  // application, not flow control that would freeze its output.
  if (input == InputBuffer::NoBuffer) {
    change_termios([](termios& t) { t.c_iflag &= ~static_cast<tcflag_t>(IXON); });
  }
  // The parser knows the reports before the terminal can send them.
  detail::set_terminal_input_options(input_options(session.active, signals));
  write(extensions_on(session.active));
  synchronized_output_answered = false;
  if (asks) {
    detail::begin_answer_wait();
    write(detail::protocol(Extension::TerminalAnswers).on);
  }
  flush();
}

}  // namespace

void initialize_terminal(ScreenBuffer screen, MouseMode mouse, CursorMode cursor, Echo echo,
                         InputBuffer input, Signals signals, KeyMode keys,
                         bool install_interrupt_handler, Extensions extensions) {
  // One session at a time: a second would share the input decoder and the restoration.
  if (terminal_set_up == 1) {
    throw std::logic_error("initialize_terminal(): a terminal session is already live");
  }
  bool const asks = extensions.contains(Extension::TerminalAnswers);
  std::optional<std::string> failure;
  {
    // A signal arriving before the set-up bytes are out is acted on once they are.
    detail::OrderedWrite const ordered;
    set_up_session(screen, mouse, cursor, echo, input, signals, keys, install_interrupt_handler,
                   extensions, failure);
  }
  if (failure) {
    put_back_streams();
    std::cerr << "Error: " << *failure << '\n';
    std::exit(1);
  }
  if (asks) {
    wait_for_answers(answer_wait());
    detail::end_answer_wait();
    use_answers(terminal_answers());
  }
}

namespace {

// Pushes the kitty flags where the terminal reported the protocol; synchronized output where
// it has it.
void push_kitty_flags(TerminalAnswers const& answers) {
  if (session.requested.contains(Extension::SynchronizedOutput) &&
      detail::has_synchronized_output(answers)) {
    synchronized_output_answered = true;
  }
  if (!session.requested.contains(Extension::KittyKeyboard) ||
      session.active.contains(Extension::KittyKeyboard)) {
    return;
  }
  std::optional<unsigned> const flags = detail::kitty_flags_for(answers);
  if (!flags) {
    return;
  }
  // The push and the bytes that pop it are published together, between the handlers' writes.
  detail::OrderedWrite const ordered;
  session.active.insert(Extension::KittyKeyboard);
  session.kitty_flags = flags;
  prepare_signal_bytes();
  // The parser reads key reports before the terminal can send one.
  InputParser::Options options = detail::terminal_input_options();
  options.kitty_keyboard = true;
  detail::set_terminal_input_options(options);
  write(kitty_push(*flags));
  flush();
}

// Measures text the way the terminal lays it out (width_model_for); mode 2027 is turned on
// where the terminal reported it.
void measure_text_as(TerminalAnswers const& answers) {
  text::WidthModel const model = width_model_for(answers);
  if (model == text::WidthModel::Clusters &&
      !session.active.contains(Extension::GraphemeClusters)) {
    detail::OrderedWrite const ordered;
    session.active.insert(Extension::GraphemeClusters);
    prepare_signal_bytes();
    write(detail::protocol(Extension::GraphemeClusters).on);
    flush();
  }
  text::set_width_model(model);
}

}  // namespace

void use_answers(TerminalAnswers const& answers) {
  if (terminal_set_up != 1 || !session.requested.contains(Extension::TerminalAnswers)) {
    return;
  }
  push_kitty_flags(answers);
  if (session.requested.contains(Extension::GraphemeClusters)) {
    measure_text_as(answers);
  }
}

bool synchronized_output_confirmed() {
  return synchronized_output_answered.load(std::memory_order_relaxed);
}

void initialize_interactive_terminal(MouseMode mouse, KeyMode keys, Signals signals,
                                     Extensions extensions) {
  initialize_terminal(ScreenBuffer::Alternate, mouse, CursorMode::Hide, Echo::Off,
                      InputBuffer::NoBuffer, signals, keys, true, extensions);
}

void initialize_normal_terminal() {
  initialize_terminal(ScreenBuffer::Normal, MouseMode::Off, CursorMode::Show, Echo::On,
                      InputBuffer::Normal, Signals::On, KeyMode::Normal, true);
}

void uninitialize_terminal() {
  detail::OrderedWrite const ordered;
  // Restored here; handlers that run from now on have nothing to put back.
  terminal_set_up = 0;
  detail::set_terminal_input_options({});
  // A handler that restored without taking the terminal back left nothing to pop.
  bool const bytes_restored = restored_from_signal.exchange(false);
  std::string const appearance = detail::take_appearance_restoration();
  if (!bytes_restored) {
    if (session.synchronized_frames) {
      write(synchronized_output_off);
    }
    write(extensions_off(session.active));
    write(auto_wrap_on);
    set(ScreenBuffer::Normal, MouseMode::Off, CursorMode::Show);
    write(appearance);
  }
  session.active = {};
  session.synchronized_frames = false;
  text::set_width_model(text::WidthModel::CodePoints);
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
  if (have_original_termios) {
    set_attributes(original_termios);
  }
  if (detail::tty_file_descriptor) {
    // Standard descriptors can be the console themselves; they were not opened here and stay
    // open for the rest of the program.
    console_descriptor = -1;
    console_raw = 0;
    if (*detail::tty_file_descriptor > 2) {
      close(*detail::tty_file_descriptor);
    }
    detail::tty_file_descriptor.reset();
  }
  if (failure) {
    std::rethrow_exception(failure);
  }
}

namespace {

// A terminal that hung up answers EIO: its input has ended as well.
[[noreturn]] void throw_size_failure(char const* message) {
  if (errno == EIO) {
    throw InputEnded{};
  }
  throw std::runtime_error(message);
}

}  // namespace

int terminal_width() {
  winsize size{};
  if (ioctl(1, TIOCGWINSZ, &size) != 0) {
    throw_size_failure("terminal terminal_width(): Can't Read Window Size.");
  }
  return std::min<int>(size.ws_col, max_terminal_columns);
}

int terminal_height() {
  winsize size{};
  if (ioctl(0, TIOCGWINSZ, &size) != 0) {
    throw_size_failure("terminal terminal_height(): Can't Read Window Size.");
  }
  return std::min<int>(size.ws_row, max_terminal_rows);
}

Area terminal_area() {
  int const width = terminal_width();
  int const height = terminal_height();
  return Area{width, height};
}

}  // namespace dalk
