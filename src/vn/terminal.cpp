#include "vn/terminal.hpp"

#include <exception>
#include <utility>
#include <variant>

#include "dalk/input_parser.hpp"
#include "dalk/signals.hpp"

namespace vn {

// Definition order matters: statics die in reverse order, so the timer threads are joined
// before the queue they enqueue into is destroyed.
ScreenBuffer Terminal::changes{};
std::optional<dalk::Point> Terminal::cursor{};
ConcurrentQueue<Event> Terminal::event_queue{};
std::map<int, TimerThread> Terminal::timers{};

namespace {

Event to_event(dalk::Event const& input) {
  return std::visit([](auto const& alternative) { return Event{alternative}; }, input);
}

// The input thread's body. It touches no member of the Terminal object, so the object may be
// moved while the thread runs. quiet_idle: whether the session asked for Extension::QuietIdle.
void read_loop(std::stop_token const& stop, bool quiet_idle) {
  static_cast<void>(quiet_idle);
  std::exception_ptr failure;
  try {
    Terminal::event_queue.enqueue(dalk::Resize{dalk::terminal_area()});
    while (!stop.stop_requested()) {
      if (dalk::detail::load_flag(dalk::sigint_flag) == 1) {
        Terminal::event_queue.enqueue(event::Interrupt{});
        // Kitty key reports of the signal keys are raised only while input is read: go on
        // reading (and dropping) it, so a second Ctrl+C still ends a program that does not quit.
        while (dalk::detail::terminal_input_options().kitty_keyboard && !stop.stop_requested()) {
          static_cast<void>(dalk::detail::read_input(16));
        }
        return;
      }
      // Anything but an event is passed over: nothing came in time, a sequence the decoder
      // cannot decode (its bytes are consumed), or a signal cut the console's wait short.
      auto input = dalk::detail::read_input(16);
      if (auto const* event = std::get_if<dalk::Event>(&input)) {
        Terminal::event_queue.enqueue(to_event(*event));
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

}  // namespace

Terminal::Terminal(dalk::MouseMode mouse_mode, dalk::KeyMode key_mode, dalk::Signals signals,
                   dalk::Extensions extensions)
    : extensions{extensions},
      screen{},
      read_thread{[quiet_idle = extensions.contains(dalk::Extension::QuietIdle)](
                      std::stop_token stop) { read_loop(stop, quiet_idle); }},
      escape_buffer{} {
  // The thread is already running; a failure here joins it through the member's destructor.
  dalk::initialize_interactive_terminal(mouse_mode, key_mode, signals, extensions);
}

Terminal::~Terminal() {
  if (read_thread.get_stop_source().stop_possible()) {
    read_thread.request_stop();
  }
  // Also for a moved-from object: see the class comment.
  dalk::uninitialize_terminal();
}

void Terminal::run_read_loop(std::stop_token stop) {
  read_loop(stop, false);
}

dalk::Area Terminal::size() {
  return dalk::terminal_area();
}

void Terminal::commit_changes() {
  detail::commit_changes(screen, escape_buffer,
                         extensions.contains(dalk::Extension::SynchronizedOutput));
}

}  // namespace vn
