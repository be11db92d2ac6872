#include "dalk/io.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <deque>
#include <exception>
#include <iterator>
#include <mutex>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "dalk/console_file.hpp"
#include "dalk/input_parser.hpp"
#include "dalk/scancode_decoder.hpp"
#include "dalk/session/answer_store.hpp"
#include "dalk/signals.hpp"
#include "dalk/terminal.hpp"

// The read functions: they wait, read what standard input has into a buffer, and feed the
// parser from it; console scancodes are read one byte per read(2).
namespace dalk {
namespace {

using detail::Interrupted;
using detail::NoEvent;
using detail::ReadResult;

// Inside a control sequence, a character or a scancode sequence, how long the next byte may
// take: terminals and keyboards send the bytes of one key together, so a longer gap means the
// rest is lost, and waiting on would swallow the next key presses as its continuation.
constexpr int sequence_byte_wait_ms = 100;

// The most one read(2) of standard input takes: inside a paste the reader returns to its
// caller after each buffer's worth, so a stop request and an interrupt cut through the paste.
constexpr std::size_t input_buffer_bytes = std::size_t{64} << 10U;

// A paste whose bytes stop coming for this long is delivered as far as it came: its closing
// bracket was lost, and waiting on would take every later key for pasted text.
constexpr int paste_stall_ms = 500;

// Kept as its bits: an atomic of a struct of bools is not lock-free everywhere (clang calls
// libatomic for it).
using OptionBits = std::uint32_t;

constexpr bool InputParser::Options::*option_flags[] = {
    &InputParser::Options::bracketed_paste,  &InputParser::Options::focus_reports,
    &InputParser::Options::kitty_keyboard,   &InputParser::Options::signal_keys,
    &InputParser::Options::terminal_answers,
};

constexpr OptionBits to_bits(InputParser::Options options) {
  OptionBits bits = 0;
  for (std::size_t i = 0; i < std::size(option_flags); ++i) {
    bits |= (options.*option_flags[i] ? 1U : 0U) << i;
  }
  return bits;
}

constexpr InputParser::Options from_bits(OptionBits bits) {
  InputParser::Options options;
  for (std::size_t i = 0; i < std::size(option_flags); ++i) {
    options.*option_flags[i] = ((bits >> i) & 1U) != 0;
  }
  return options;
}

// What reading standard input keeps for the whole process. Made when the library is loaded and
// never destroyed: the input thread may still be reading, and a signal handler waking it, while
// the statics are destroyed at exit.
struct TerminalInput {
  // Remembers the button of the latest mouse press and an open paste from one read to the
  // next. Only the input thread reads.
  InputParser parser;
  // Set by initialization on its thread while the input thread reads.
  std::atomic<OptionBits> options{to_bits(InputParser::Options{})};
  // The descriptor of input_wake_descriptor() as handlers see it; -1 until it is created.
  volatile std::sig_atomic_t wake_descriptor = -1;
  // Held while the wake descriptor is created.
  std::mutex wake_creation;
  // Events read while start-up waited for the terminal's answers, given out first.
  std::deque<Event> put_back;
  // Bytes read from standard input and not yet fed to the parser: [next, end). Only the input
  // thread reads.
  std::array<char, input_buffer_bytes> buffer{};
  std::size_t next = 0;
  std::size_t end = 0;
  // When bytes came last: a paste stalls counting from there.
  std::chrono::steady_clock::time_point last_read;
  // The last read ended by an exception, perhaps in the middle of a sequence.
  bool broken_off = false;
};

TerminalInput& terminal_input = *new TerminalInput;

// A read that gave no byte: error is its errno, 0 for end of input. End of input and EIO (the
// terminal hung up, or cannot be read any more) end reading for good.
[[noreturn]] void throw_read_failure(int error) {
  if (error == 0 || error == EIO) {
    throw InputEnded{};
  }
  throw std::runtime_error("read_byte(fd): Failed: " + std::to_string(error));
}

// A descriptor that poll reports hung up, failed or closed, with nothing left to read.
bool is_hung_up(pollfd const& entry) {
  return (entry.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

// Empties the wake-up descriptor, so that the next wait sleeps again.
void drain_wake(int wake) {
  std::uint64_t count = 0;
  // Non-blocking: nothing to read just means another reader got there first.
  [[maybe_unused]] ssize_t const n = ::read(wake, &count, sizeof count);
}

// Polls entries and, in the same wait, the watched descriptors, whose results are copied back.
int poll_with(std::span<pollfd> entries, std::span<pollfd> watched, int timeout) {
  if (watched.empty()) {
    return poll(entries.data(), entries.size(), timeout);
  }
  // Only the input thread waits with watched descriptors; the buffer is reused across waits.
  thread_local std::vector<pollfd> all;
  all.assign(entries.begin(), entries.end());
  all.insert(all.end(), watched.begin(), watched.end());
  int const ready = poll(all.data(), all.size(), timeout);
  std::copy_n(all.begin(), entries.size(), entries.begin());
  std::copy(all.begin() + static_cast<std::ptrdiff_t>(entries.size()), all.end(), watched.begin());
  return ready;
}

bool any_ready(std::span<pollfd const> watched) {
  return std::any_of(watched.begin(), watched.end(),
                     [](pollfd const& entry) { return entry.revents != 0; });
}

// A wake descriptor of -1 is left out of the wait (poll passes over negative descriptors). A
// ready watched descriptor ends the wait as a wake-up does.
bool is_stdin_empty(int timeout, int wake = -1, std::span<pollfd> watched = {}) {
  std::array<pollfd, 2> entries{{{0, POLLIN, 0}, {wake, POLLIN, 0}}};
  int const ready = poll_with(entries, watched, timeout);
  if (ready == 0) {
    return true;
  }
  if (ready < 0) {
    // A signal cut the wait short; the caller looks at the flags and waits again.
    if (errno == EINTR) {
      return true;
    }
    throw std::runtime_error("io is_file_readable(): Poll Error");
  }
  if ((entries[0].revents & POLLIN) != 0) {
    return false;
  }
  bool const woken = (entries[1].revents & POLLIN) != 0;
  if (woken) {
    drain_wake(wake);
  }
  if (woken || any_ready(watched)) {
    return true;
  }
  if (is_hung_up(entries[0])) {
    throw InputEnded{};
  }
  throw std::logic_error("io is_file_readable(): logic_error.");
}

// Whether fd has a byte (or a hang-up, which the read then reports) within timeout ms. A
// signal does not cut the wait short: the rest of the sequence may still be on its way.
bool is_byte_waiting(int fd, int timeout, char const* poll_error) {
  auto const deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout);
  for (;;) {
    pollfd entry{fd, POLLIN, 0};
    int const ready = poll(&entry, 1, timeout);
    if (ready > 0) {
      return true;
    }
    if (ready == 0) {
      return false;
    }
    if (errno != EINTR) {
      throw std::runtime_error(poll_error);
    }
    auto const left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      return false;
    }
    timeout = static_cast<int>(left.count());
  }
}

// A byte read from standard input and not yet fed counts as waiting in every wait.
bool is_buffered() {
  return terminal_input.next < terminal_input.end;
}

// Standard input opened anew without blocking, so that a read never waits: the bytes a wait
// saw can be gone by the read (a Ctrl+Z's restoration drops unread input), and a read that
// waited then would hold the input thread past an interrupt until the next key. The flag
// belongs to this open file alone, not to the one standard input shares with the shell.
// -1 where it cannot be opened so: the read then goes to descriptor 0.
class NonBlockingInput {
 public:
  NonBlockingInput()
      : fd_{::open("/proc/self/fd/0", O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)} {}
  NonBlockingInput(NonBlockingInput const&) = delete;
  NonBlockingInput& operator=(NonBlockingInput const&) = delete;
  ~NonBlockingInput() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
  }
  int fd() const { return fd_ >= 0 ? fd_ : 0; }

 private:
  int fd_;
};

// Reads what standard input has into the empty buffer, after a wait said a byte is there; end
// of input or a failure throws. False when nothing was there after all: the bytes were dropped
// meanwhile, or a terminal in line mode (as from a Ctrl+Z until the process takes the terminal
// back at fg) gave the end-of-file character. A terminal that hung up is one no more.
bool fill_buffer() {
  NonBlockingInput const input;
  ssize_t n = 0;
  do {
    n = ::read(input.fd(), terminal_input.buffer.data(), terminal_input.buffer.size());
  } while (n < 0 && errno == EINTR);
  if ((n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) || (n == 0 && isatty(0) == 1)) {
    return false;
  }
  if (n <= 0) {
    throw_read_failure(n == 0 ? 0 : errno);
  }
  terminal_input.next = 0;
  terminal_input.end = static_cast<std::size_t>(n);
  terminal_input.last_read = std::chrono::steady_clock::now();
  return true;
}

char next_byte() {
  return terminal_input.buffer[terminal_input.next++];
}

// Whether a byte is buffered or comes on standard input within timeout ms (it is then read).
bool byte_within(int timeout) {
  if (is_buffered()) {
    return true;
  }
  return is_byte_waiting(0, timeout, "io is_file_readable(): Poll Error") && fill_buffer();
}

// Milliseconds until an open paste counts as stalled (0 once it is); -1 with no paste open.
int paste_stall_left() {
  if (terminal_input.parser.wait() != InputParser::Wait::Paste) {
    return -1;
  }
  auto const since = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - terminal_input.last_read);
  return static_cast<int>(std::max<long long>(0, paste_stall_ms - since.count()));
}

// A time-out (-1: none) shortened so that a wait ends when an open paste stalls.
int bounded_by_paste(int timeout) {
  int const left = paste_stall_left();
  if (left < 0 || (timeout >= 0 && timeout < left)) {
    return timeout;
  }
  return left;
}

// The paste as far as it came, once it has stalled.
std::optional<Event> stalled_paste() {
  if (paste_stall_left() != 0 || is_buffered()) {
    return std::nullopt;
  }
  auto result = terminal_input.parser.cut_paste();
  if (auto* event = std::get_if<Event>(&result)) {
    return std::move(*event);
  }
  return std::nullopt;
}

char read_byte(int fd) {
  char byte = 0;
  ssize_t n = 0;
  do {
    n = ::read(fd, &byte, 1);
  } while (n < 0 && errno == EINTR);
  if (n != 1) {
    throw_read_failure(n == 0 ? 0 : errno);
  }
  return byte;
}

InputParser::Options load_terminal_options() {
  return from_bits(terminal_input.options.load());
}

// One event or undecodable sequence from standard input; a waiting resize comes first.
// Inside a paste it returns NoEvent once a buffer's worth is fed and when no byte comes within
// the wait; blocking, it waits for a paste's bytes in slices, else only takes what is waiting.
ReadResult read_terminal(bool blocking = true) {
  InputParser& parser = terminal_input.parser;
  // A sequence a failed read or poll broke off is dropped: start afresh. An open paste goes on:
  // its bytes may pause longer than a read waits, and what comes after the pause must not be
  // taken for typed keys. The escape held after Escape, Escape stays: it may begin a sequence.
  if (terminal_input.broken_off && parser.wait() != InputParser::Wait::Paste) {
    parser.reset();
  }
  terminal_input.broken_off = true;
  struct MarkWhole {
    ~MarkWhole() {
      if (std::uncaught_exceptions() == 0) {
        terminal_input.broken_off = false;
      }
    }
  } const mark_whole;
  parser.set_options(load_terminal_options());
  if (!terminal_input.put_back.empty()) {
    Event event = std::move(terminal_input.put_back.front());
    terminal_input.put_back.pop_front();
    return event;
  }
  bool read_some = false;
  for (;;) {
    InputParser::Result result;
    switch (parser.wait()) {
      case InputParser::Wait::Nothing:
        // Short slices, so a resize signal is seen even while no byte arrives; a waiting
        // resize goes ahead of waiting input.
        for (;;) {
          if (detail::exchange_flag(detail::window_resize_sig, 0) == 1) {
            return Event{Resize{terminal_area()}};
          }
          if (is_buffered()) {
            break;
          }
          if (!is_stdin_empty(30)) {
            if (!fill_buffer()) {
              return NoEvent{};
            }
            read_some = true;
            break;
          }
        }
        result = parser.feed(next_byte());
        break;
      case InputParser::Wait::AlreadyWaiting:
        result = byte_within(static_cast<int>(escape_wait().count())) ? parser.feed(next_byte())
                                                                      : parser.wait_ran_out();
        break;
      case InputParser::Wait::Unfinished:
        if (!byte_within(sequence_byte_wait_ms)) {
          // What was read is dropped; the next byte starts afresh.
          parser.reset();
          return Undecodable{
              std::make_exception_ptr(std::runtime_error("io read(): Sequence cut short."))};
        }
        result = parser.feed(next_byte());
        break;
      case InputParser::Wait::Paste:
        // The reader gets back to its stop and interrupt checks after each buffer's worth.
        if (!is_buffered() && read_some) {
          return NoEvent{};
        }
        if (!is_buffered()) {
          int const slice = blocking ? std::min(sequence_byte_wait_ms, paste_stall_left()) : 0;
          if (!byte_within(slice)) {
            if (auto event = stalled_paste()) {
              return *std::move(event);
            }
            return NoEvent{};
          }
          read_some = true;
        }
        terminal_input.next +=
            parser.take_pasted(std::string_view{terminal_input.buffer.data() + terminal_input.next,
                                                terminal_input.end - terminal_input.next});
        if (!is_buffered()) {
          continue;
        }
        result = parser.feed(next_byte());
        break;
    }
    if (auto* event = std::get_if<Event>(&result)) {
      return std::move(*event);
    }
    if (auto* undecodable = std::get_if<Undecodable>(&result)) {
      return std::move(*undecodable);
    }
    if (auto const* answer = std::get_if<Answer>(&result)) {
      if (auto changed = detail::record_answer(*answer)) {
        return Event{AnswersChanged{*std::move(changed)}};
      }
      // Back to the caller, whose wait is bounded: no more input may follow an answer.
      return NoEvent{};
    }
    // A key report that stands for a signal key: raised as the line discipline would have,
    // and the reader returns to look at the flags.
    if (auto const* signal = std::get_if<InputParser::Signal>(&result)) {
      kill(getpid(), signal->number);
      return NoEvent{};
    }
    // A sequence dropped whole (a string that is no answer): back to the caller, whose wait is
    // bounded, rather than waiting here for more input that may never come.
    if (parser.wait() == InputParser::Wait::Nothing) {
      return NoEvent{};
    }
  }
}

unsigned char read_scancode_byte(int fd) {
  return static_cast<unsigned char>(read_byte(fd));
}

bool is_scancode_byte_waiting(int fd, int timeout) {
  return is_byte_waiting(fd, timeout, "read_and_parse_scancode(): Poll Error");
}

// Reads the bytes of one scancode sequence: the first as it comes, the one after a prefix if it
// comes within the sequence wait, those that only confirm a longer sequence if they come within
// the confirmation wait.
std::optional<Event> read_and_parse_scancode(int fd) {
  ScancodeDecoder decoder;
  auto event = decoder.feed(read_scancode_byte(fd));
  for (;;) {
    switch (decoder.wait()) {
      case ScancodeDecoder::Wait::Nothing:
        return event;
      case ScancodeDecoder::Wait::NextByte:
        // A prefix whose byte does not come gives no event.
        if (!is_scancode_byte_waiting(fd, sequence_byte_wait_ms)) {
          return std::nullopt;
        }
        event = decoder.feed(read_scancode_byte(fd));
        break;
      case ScancodeDecoder::Wait::Confirmation:
        event = is_scancode_byte_waiting(fd, ScancodeDecoder::confirmation_wait_ms)
                    ? decoder.feed(read_scancode_byte(fd))
                    : decoder.wait_ran_out();
        break;
    }
  }
}

ReadResult from_scancodes(std::optional<Event> event) {
  if (event) {
    return *event;
  }
  return NoEvent{};
}

// Waits for standard input and the console together: 0 when standard input is readable (it
// wins when both are), fd when only the console is, -1 after the time-out (cut short when an
// open paste stalls), a signal, a byte on the wake descriptor (which is drained; -1 leaves it
// out) or a ready watched descriptor.
int timeout_wait_for_reads(int fd, int timeout, int wake = -1, std::span<pollfd> watched = {}) {
  std::array<pollfd, 3> entries{{{0, POLLIN, 0}, {fd, POLLIN, 0}, {wake, POLLIN, 0}}};
  int const ready = poll_with(entries, watched, bounded_by_paste(timeout));
  if (ready == 0) {
    return -1;
  }
  if (ready < 0) {
    if (errno == EINTR) {
      return -1;
    }
    throw std::runtime_error("timeout_wait_for_reads(): Poll Error");
  }
  if ((entries[0].revents & POLLIN) != 0) {
    return 0;
  }
  if ((entries[1].revents & POLLIN) != 0) {
    return fd;
  }
  bool const woken = (entries[2].revents & POLLIN) != 0;
  if (woken) {
    drain_wake(wake);
  }
  if (woken || any_ready(watched)) {
    return -1;
  }
  if (is_hung_up(entries[0]) || is_hung_up(entries[1])) {
    throw InputEnded{};
  }
  throw std::logic_error("timeout_wait_for_reads(): logic_error.");
}

// A program run on the console itself reads its scancodes from the very device that is its
// standard input: both descriptors share one input queue, so every byte there is a scancode
// and there is no separate byte stream to take mouse reports from.
bool is_standard_input(int console) {
  if (console == 0) {
    return true;
  }
  struct stat input {};
  struct stat other {};
  if (fstat(0, &input) != 0 || fstat(console, &other) != 0) {
    return false;
  }
  if (input.st_dev == other.st_dev && input.st_ino == other.st_ino) {
    return true;
  }
  return S_ISCHR(input.st_mode) && S_ISCHR(other.st_mode) && input.st_rdev == other.st_rdev;
}

// Terminal input while the console delivers the keys: its key presses are dropped, mouse and
// resize events pass.
ReadResult without_key_presses(ReadResult result) {
  if (auto const* event = std::get_if<Event>(&result);
      event != nullptr && std::holds_alternative<KeyPress>(*event)) {
    return NoEvent{};
  }
  return result;
}

// Never NoEvent or Interrupted: codes without an event are passed over.
ReadResult read_with_console(int console) {
  if (is_standard_input(console)) {
    for (;;) {
      if (detail::load_flag(detail::window_resize_sig) == 1) {
        return read_terminal();  // reports the resize without reading a byte
      }
      if (timeout_wait_for_reads(console, -1) != -1) {
        if (auto event = read_and_parse_scancode(console)) {
          return *event;
        }
      }
    }
  }
  for (;;) {
    int const ready = is_buffered() ? 0 : timeout_wait_for_reads(console, -1);
    if (auto event = ready == -1 ? stalled_paste() : std::nullopt) {
      return *std::move(event);
    }
    if (ready == 0 || detail::load_flag(detail::window_resize_sig) == 1) {
      auto result = without_key_presses(read_terminal());
      if (!std::holds_alternative<NoEvent>(result)) {
        return result;
      }
    } else if (ready == console) {
      if (auto event = read_and_parse_scancode(console)) {
        return *event;
      }
    }
    // -1: a signal cut the wait short and left no resize to report.
  }
}

ReadResult read_with_console(int console, int timeout, int wake, std::span<pollfd> watched) {
  if (is_standard_input(console)) {
    if (detail::load_flag(detail::window_resize_sig) != 1 &&
        timeout_wait_for_reads(console, timeout, wake, watched) == -1) {
      return NoEvent{};
    }
    if (detail::load_flag(detail::window_resize_sig) == 1) {
      return read_terminal();  // reports the resize without reading a byte
    }
    return from_scancodes(read_and_parse_scancode(console));
  }
  // The resize flag is not looked at here: a waiting resize comes out with the next byte on
  // standard input, ahead of that byte's event.
  int const ready = is_buffered() ? 0 : timeout_wait_for_reads(console, timeout, wake, watched);
  if (ready == -1) {
    if (auto event = stalled_paste()) {
      return *std::move(event);
    }
    return NoEvent{};
  }
  if (ready == 0) {
    return without_key_presses(read_terminal(false));
  }
  // Standard input may have become readable meanwhile, and then it goes first again. A signal
  // that cuts this wait short changes nothing: the console was readable, and still is.
  if (timeout_wait_for_reads(console, 0) == 0) {
    return without_key_presses(read_terminal(false));
  }
  return from_scancodes(read_and_parse_scancode(console));
}

// What dalk::read gives or throws for a result.
std::optional<Event> event_or_throw(ReadResult result) {
  if (auto* event = std::get_if<Event>(&result)) {
    return std::move(*event);
  }
  if (auto const* undecodable = std::get_if<Undecodable>(&result)) {
    std::rethrow_exception(undecodable->error);
  }
  if (std::holds_alternative<Interrupted>(result)) {
    throw std::logic_error("do_maybe_alt_blocking_read(): signal int.");
  }
  return std::nullopt;
}

}  // namespace

InputEnded::InputEnded() : std::runtime_error{"io read(): End of input."} {}

InputEnded::~InputEnded() = default;

// While the console keyboard is in raw mode (detail::tty_file_descriptor holds a descriptor),
// keys come from its scancodes and the key presses of the terminal's byte stream are dropped;
// mouse and resize events still come from the byte stream.

Event read() {
  // The blocking reads give an event or an undecodable sequence, which throws; a raised signal
  // key gives nothing, and reading goes on.
  for (;;) {
    if (auto event = event_or_throw(detail::tty_file_descriptor
                                        ? read_with_console(*detail::tty_file_descriptor)
                                        : read_terminal())) {
      return *std::move(event);
    }
  }
}

std::optional<Event> read(int timeout) {
  return event_or_throw(detail::read_input(timeout));
}

void detail::set_terminal_input_options(InputParser::Options options) {
  terminal_input.options.store(to_bits(options));
}

InputParser::Options detail::terminal_input_options() {
  return load_terminal_options();
}

void detail::put_back(Event event) {
  terminal_input.put_back.push_back(std::move(event));
}

detail::ReadResult detail::read_input(int timeout, int wake, std::span<pollfd> watched) {
  if (tty_file_descriptor) {
    return read_with_console(*tty_file_descriptor, timeout, wake, watched);
  }
  // A resize waits for the end of an open paste: the paste's bytes come first.
  bool const resize_first =
      load_flag(window_resize_sig) == 1 && terminal_input.parser.wait() != InputParser::Wait::Paste;
  if (!resize_first && terminal_input.put_back.empty() && !is_buffered() &&
      is_stdin_empty(bounded_by_paste(timeout), wake, watched)) {
    if (auto event = stalled_paste()) {
      return *std::move(event);
    }
    return NoEvent{};
  }
  return read_terminal(false);
}

int detail::input_wake_descriptor() {
  // Created once and kept for the life of the process: a handler may write to it at any time.
  std::lock_guard const lock{terminal_input.wake_creation};
  if (load_flag(terminal_input.wake_descriptor) < 0) {
    int const fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (fd < 0) {
      throw std::runtime_error("io input_wake_descriptor(): eventfd Failed: " +
                               std::to_string(errno));
    }
    store_flag(terminal_input.wake_descriptor, fd);
  }
  return load_flag(terminal_input.wake_descriptor);
}

void detail::wake_input() {
  int const fd = load_flag(terminal_input.wake_descriptor);
  if (fd < 0) {
    return;
  }
  int const saved_errno = errno;
  std::uint64_t const one = 1;
  // Non-blocking: a full counter already wakes the reader.
  [[maybe_unused]] ssize_t const n = ::write(fd, &one, sizeof one);
  errno = saved_errno;
}

}  // namespace dalk
