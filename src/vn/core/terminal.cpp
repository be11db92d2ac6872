#include "vn/terminal.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>

#include "dalk/input_parser.hpp"
#include "dalk/output_profile.hpp"
#include "dalk/session/terminal_internal.hpp"
#include "dalk/signals.hpp"
#include "dalk/terminfo.hpp"
#include "vn/core/watch_internal.hpp"

namespace vn {

namespace detail {

std::optional<int> timer_tick_key(Event const& event) {
  if (auto const* tick = std::get_if<event::Timer>(&event)) {
    return tick->id;
  }
  return std::nullopt;
}

}  // namespace detail

// Definition order matters: statics die in reverse order, so the timer threads are joined
// before the queue they enqueue into is destroyed.
ScreenBuffer Terminal::changes{};
std::optional<dalk::Point> Terminal::cursor{};
std::optional<dalk::CursorShape> Terminal::cursor_shape{};
ConcurrentQueue<Event> Terminal::event_queue{ConcurrentQueue<Event>::default_capacity,
                                             &detail::timer_tick_key};
std::map<int, TimerThread> Terminal::timers{};

namespace {

Event to_event(dalk::Event&& input) {
  return std::visit([](auto&& alternative) { return Event{std::move(alternative)}; },
                    std::move(input));
}

// Wakes the quiet wait of the input thread when its stop is requested.
struct WakeInput {
  void operator()() const noexcept { dalk::detail::wake_input(); }
};

// How long the input thread waits for room in the queue before it looks at the stop token and
// the interrupt flag again.
constexpr auto room_wait_slice = std::chrono::milliseconds(16);

// Queues an input event, waiting while the queue holds its bound: the thread then reads no
// more, and the terminal's own buffer holds the rest. A resize replaces one still queued, so
// only the latest size is handled. Gives up (dropping the event) once stop is requested or an
// interrupt has come.
void enqueue_input(Event event, std::stop_token const& stop) {
  auto const is_resize = [](Event const& queued) {
    return std::holds_alternative<dalk::Resize>(queued);
  };
  bool const resize = is_resize(event);
  while (!(resize
               ? Terminal::event_queue.enqueue_replacing_within(event, room_wait_slice, is_resize)
               : Terminal::event_queue.enqueue_within(event, room_wait_slice))) {
    if (stop.stop_requested() || dalk::detail::load_flag(dalk::sigint_flag) == 1) {
      return;
    }
  }
}

// The input thread's body. It touches no member of the Terminal object, so the object may be
// moved while the thread runs. Quiet, it sleeps until input, a signal, the stop request or a
// watched descriptor; otherwise it looks at the stop token and the interrupt flag every 16 ms.
// Its waits poll the watched descriptors (vn::watch) along with the input.
void read_loop(std::stop_token const& stop, bool quiet) {
  std::exception_ptr failure;
  try {
    int const wake = quiet ? dalk::detail::input_wake_descriptor() : -1;
    std::optional<std::stop_callback<WakeInput>> wake_on_stop;
    if (quiet) {
      wake_on_stop.emplace(stop, WakeInput{});
    }
    std::optional<detail::InputWatching> watching{std::in_place};
    enqueue_input(dalk::Resize{dalk::terminal_area()}, stop);
    while (!stop.stop_requested()) {
      if (dalk::detail::load_flag(dalk::sigint_flag) == 1) {
        // The watcher thread polls the watched descriptors from now on.
        watching.reset();
        // Ahead of the events still queued: a flood of input must not hold the interrupt back.
        Terminal::event_queue.enqueue_front(event::Interrupt{});
        // Kitty key reports of the signal keys are raised only while input is read: go on
        // reading (and dropping) it, so a second Ctrl+C still ends a program that does not quit.
        while (dalk::detail::terminal_input_options().kitty_keyboard && !stop.stop_requested()) {
          static_cast<void>(dalk::detail::read_input(16));
        }
        return;
      }
      // Anything but an event is passed over: nothing came in time, a wake-up, a sequence the
      // decoder cannot decode or that was cut short (its bytes are consumed), or a signal cut
      // the console's wait short.
      std::span<pollfd> const watched = watching->descriptors();
      auto input =
          dalk::detail::read_input(quiet ? -1 : 16, watching->wake_descriptor(wake), watched);
      watching->post_ready();
      if (auto* event = std::get_if<dalk::Event>(&input)) {
        enqueue_input(to_event(std::move(*event)), stop);
      }
    }
  } catch (...) {
    // An exception must not leave the thread (std::terminate would leave the terminal raw).
    failure = std::current_exception();
  }
  if (!failure) {
    return;
  }
  // The event loop rethrows it, so the application unwinds and the terminal is restored. It is
  // handed over only once this thread's handler has let go of the exception: from then on the
  // exception object belongs to the loop alone, reached through the queue's lock.
  try {
    Terminal::event_queue.enqueue(
        event::Custom{[failure = std::move(failure)]() -> std::optional<QuitRequest> {
          std::rethrow_exception(failure);
        }});
  } catch (...) {
    // Out of memory while reporting: the thread ends silently rather than aborting.
  }
}

// Restores the terminal; a failure is reported on standard error instead of thrown.
void restore_reporting_failure() noexcept {
  try {
    dalk::uninitialize_terminal();
  } catch (std::exception const& error) {
    // Everything else is restored by now; a destructor must not end the process over it.
    std::fprintf(stderr, "Error: %s\n", error.what());
  } catch (...) {
    std::fputs("Error: the terminal could not be restored\n", stderr);
  }
}

}  // namespace

Terminal::Terminal(dalk::MouseMode mouse_mode, dalk::KeyMode key_mode, dalk::Signals signals,
                   dalk::Extensions extensions)
    : Terminal{Options{mouse_mode, key_mode, signals, extensions, false}} {}

Terminal::Terminal(dalk::Extensions extensions)
    : Terminal{dalk::MouseMode::Move, dalk::KeyMode::Normal, dalk::Signals::On, extensions} {}

Terminal::Terminal(Options options)
    : extensions{options.extensions}, screen{}, read_thread{}, escape_buffer{} {
  if (options.controlling_terminal && (isatty(0) == 0 || isatty(1) == 0)) {
    // Nothing moves while another session holds the terminal.
    if (dalk::detail::is_terminal_set_up()) {
      throw std::logic_error("Terminal(): a terminal session is already live");
    }
    int const tty = open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (tty < 0) {
      throw std::runtime_error(std::string("Terminal(): no controlling terminal (/dev/tty): ") +
                               std::strerror(errno));
    }
    kept_streams_ = dalk::move_streams_to(tty);
  }
  // Before any byte is written: escape sequences must not end up in a file or a pipe.
  if (isatty(0) == 0) {
    throw std::runtime_error("Terminal(): standard input is not a terminal");
  }
  if (isatty(1) == 0) {
    throw std::runtime_error("Terminal(): standard output is not a terminal");
  }
  if (dalk::detail::is_terminal_set_up()) {
    put_back_kept_streams();
    throw std::logic_error("Terminal(): a terminal session is already live");
  }
  // The input thread starts only once the terminal is set up: a failed initialization exits the
  // process, whose static destructors must not run under the thread, and the thread reads the
  // console descriptor that initialization opens.
  try {
    dalk::initialize_interactive_terminal(options.mouse_mode, options.key_mode, options.signals,
                                          extensions);
  } catch (...) {
    put_back_kept_streams();
    throw;
  }
  bool const quiet = extensions.contains(dalk::Extension::QuietIdle);
  try {
    read_thread = std::jthread{[quiet](std::stop_token stop) { read_loop(stop, quiet); }};
  } catch (...) {
    restore_reporting_failure();
    put_back_kept_streams();
    throw;
  }
}

Terminal::Terminal(Terminal&& other) noexcept
    : extensions{other.extensions},
      screen{std::move(other.screen)},
      read_thread{std::move(other.read_thread)},
      escape_buffer{std::move(other.escape_buffer)},
      output_state_{std::move(other.output_state_)},
      holds_session_{std::exchange(other.holds_session_, false)},
      kept_streams_{std::exchange(other.kept_streams_, {})} {}

Terminal& Terminal::operator=(Terminal&& other) noexcept {
  if (this != &other) {
    end_session();
    extensions = other.extensions;
    screen = std::move(other.screen);
    read_thread = std::move(other.read_thread);
    escape_buffer = std::move(other.escape_buffer);
    output_state_ = std::move(other.output_state_);
    holds_session_ = std::exchange(other.holds_session_, false);
    kept_streams_ = std::exchange(other.kept_streams_, {});
  }
  return *this;
}

Terminal::~Terminal() {
  end_session();
}

void Terminal::end_session() noexcept {
  if (!holds_session_) {
    return;
  }
  holds_session_ = false;
  // Joined before the terminal is restored: restoration drops unread input (a byte the thread
  // was told of would then never come) and closes the console descriptor the thread waits on.
  // Every wait of the thread is bounded or woken by the stop request, so the join is short.
  if (read_thread.joinable()) {
    read_thread.request_stop();
    read_thread.join();
  }
  restore_reporting_failure();
  put_back_kept_streams();
}

// After the terminal's last byte: what the program prints from now on goes where it was sent.
void Terminal::put_back_kept_streams() noexcept {
  if (kept_streams_.input >= 0 || kept_streams_.output >= 0) {
    kept_streams_ = {};
    dalk::put_back_streams();
  }
}

void Terminal::run_read_loop(std::stop_token stop, bool quiet) {
  read_loop(stop, quiet);
}

dalk::Area Terminal::size() {
  return dalk::terminal_area();
}

dalk::TerminalAnswers Terminal::answers() const {
  return dalk::terminal_answers();
}

void Terminal::commit_changes() {
  // The shape goes out with the frame, when it changes; only while the cursor shows does it
  // matter. The Linux console has no DECSCUSR: its CSI q sets the keyboard LEDs, so there the
  // shape is only recorded.
  bool shape_written = false;
  if (cursor) {
    dalk::CursorShape const wanted = cursor_shape.value_or(dalk::CursorShape::Default);
    if (output_state_.cursor_shape.value_or(dalk::CursorShape::Default) != wanted) {
      output_state_.cursor_shape = wanted;
      if (dalk::TERM_var() != "linux") {
        dalk::set(wanted);
        shape_written = true;
      }
    }
  }
  detail::OutputProfile profile = detail::output_profile(extensions);
  profile.colors = dalk::session_color_depth(extensions);
  bool const synchronized = extensions.contains(dalk::Extension::SynchronizedOutput) &&
                            (!extensions.contains(dalk::Extension::TerminalAnswers) ||
                             dalk::synchronized_output_confirmed());
  detail::commit_changes(screen, escape_buffer, output_state_, profile, synchronized);
  if (shape_written) {
    // A commit that found nothing to write did not flush.
    dalk::flush();
  }
}

}  // namespace vn
