// The terminal object that owns the interactive session: its constructor starts the input
// thread and switches the terminal into interactive mode, its destructor restores it. All events
// reach the program through one process-wide queue; timers feed it from threads of their own.
// Including this header brings in the whole module (screen buffer, events, queue, timers,
// commit); widgets include only the pieces they use.
#pragma once

#include <map>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>

#include "dalk/io.hpp"
#include "dalk/sequence.hpp"
#include "dalk/terminal.hpp"
#include "vn/commit.hpp"
#include "vn/concurrent_queue.hpp"
#include "vn/event.hpp"
#include "vn/screen_buffer.hpp"
#include "vn/timer.hpp"
#include "vn/timer_thread.hpp"

namespace vn {

namespace detail {

/// The key that coalesces Terminal::event_queue's items: a timer tick's timer id, nothing for
/// other events.
std::optional<int> timer_tick_key(Event const& event);

}  // namespace detail

/// The interactive session. Construct it and move it into an Application; the session moves
/// with the object, and only the object holding it restores the terminal when it is destroyed
/// (a moved-from one does nothing), so `vn::Application app{head, vn::Terminal{}}; app.run();`
/// runs with the terminal still interactive, as the one-expression form does.
///
/// The input thread enqueues a Resize with the terminal's size first, then every event it
/// reads, until stop is requested or an interrupt arrives. While the queue holds its bound
/// (ConcurrentQueue::default_capacity events) it waits, looking at the stop request and the
/// interrupt flag every 16 ms, and reads nothing: the terminal's own buffer holds the rest. A
/// Resize replaces one still queued, in that one's place, so only the latest size is handled.
/// On an interrupt it puts event::Interrupt ahead of the events still queued and ends (with the
/// kitty keyboard on it first goes on reading, and dropping, input until stop is requested, so
/// key reports of a second Ctrl+C are still raised). A sequence it cannot decode, or whose next
/// byte does not come within about 100 ms, is dropped and reading goes on. When the input
/// itself fails (end of input or a failed read, a hang-up, a failed poll, an unreadable window
/// size) the thread ends and enqueues, past the bound, an event::Custom whose function rethrows
/// that exception, so it leaves run() on the event-loop thread and the application unwinds with
/// the terminal restored. No exception ever leaves the input thread.
class Terminal {
 public:
  /// How a session is set up; each member's default is the constructors' default.
  struct Options {
    dalk::MouseMode mouse_mode = dalk::MouseMode::Move;
    dalk::KeyMode key_mode = dalk::KeyMode::Normal;
    dalk::Signals signals = dalk::Signals::On;
    dalk::Extensions extensions = {};
    /// Run on the controlling terminal ("/dev/tty") where standard input or output is not a
    /// terminal (`producer | app > chosen.txt`): those of the two that are not are moved aside
    /// for the session's life (redirected_input(), redirected_output()) and the terminal put in
    /// their place; they come back once the terminal is restored, on every way the session
    /// ends. Off: such streams are refused, as by the other constructors.
    bool controlling_terminal = false;
  };

  /// Switches the terminal into interactive mode (alternate screen, hidden cursor, no echo,
  /// unbuffered input, mouse reporting, and the extensions: none by default, which writes
  /// exactly the basic session's bytes; dalk::recommended_extensions for those every terminal
  /// can take), then starts the input thread; with Extension::QuietIdle that thread sleeps until
  /// input, a signal or the stop request. Throws std::runtime_error "Terminal(): standard input is
  /// not a terminal" (or "standard output") before anything is written, and std::logic_error
  /// "Terminal(): a terminal session is already live" while another object (or a dalk
  /// initialization) holds the session: one at a time, as the input decoder is one.
  explicit Terminal(dalk::MouseMode mouse_mode = dalk::MouseMode::Move,
                    dalk::KeyMode key_mode = dalk::KeyMode::Normal,
                    dalk::Signals signals = dalk::Signals::On, dalk::Extensions extensions = {});
  /// The same with the default modes and the given extensions:
  /// `vn::Terminal{dalk::recommended_extensions}`.
  explicit Terminal(dalk::Extensions extensions);
  /// The same with every setting named: `vn::Terminal{{.controlling_terminal = true}}`. With
  /// controlling_terminal and a standard stream that is no terminal, throws std::runtime_error
  /// "Terminal(): no controlling terminal (/dev/tty): <strerror>" when there is none, before
  /// anything is written or moved.
  explicit Terminal(Options options);
  /// Takes over other's session; other no longer restores anything. One object holds a
  /// session, so a terminal is moved, never copied.
  Terminal(Terminal&& other) noexcept;
  /// Ends this object's own session first (as the destructor does), then takes over other's.
  Terminal& operator=(Terminal&& other) noexcept;
  /// Stops and joins the input thread, then restores the terminal, if this object holds the
  /// session. A failure to restore (the console keyboard stays raw) is reported on standard
  /// error as "Error: <message>" once everything else is restored; nothing is thrown.
  ~Terminal();

  /// Writes the cells of `changes` that differ from what is on screen, then places or hides
  /// the cursor, in one flush (inside "\e[?2026h" ... "\e[?2026l" with SynchronizedOutput,
  /// with TerminalAnswers only where the terminal has it; in true colour with ColorsFromAnswers
  /// where the terminal answered that it shows it); blanks `changes` for the next frame. Control
  /// characters (U+0000 to U+001F, U+007F to U+009F), surrogates and values above U+10FFFF are
  /// written as U+FFFD; the mirror keeps the painted glyph. A cursor outside the screen stays
  /// hidden. Event-loop thread only.
  void commit_changes();
  /// The input thread's body (see the class comment); started by the constructor. Uses no
  /// member of this object, only the stop token and the static queue. quiet: sleep until
  /// input, a signal or the stop request instead of waking every 16 ms.
  void run_read_loop(std::stop_token stop, bool quiet = false);
  /// The terminal's current size, asked afresh (dalk::terminal_area(); throws its errors).
  dalk::Area size();
  /// What the terminal has answered so far (dalk::terminal_answers()); empty without
  /// Extension::TerminalAnswers. Widgets hear later changes through Widget::terminal_answers().
  dalk::TerminalAnswers answers() const;
  /// The program's own standard input, moved aside by Options::controlling_terminal (a pipe or a
  /// file, to read with read(2) or fdopen), or -1 when standard input was a terminal and stayed.
  /// Close-on-exec; it belongs to the session: once the session ends it is closed and the
  /// stream is back on descriptor 0.
  int redirected_input() const { return kept_streams_.input; }
  /// The same for standard output: write the program's result here during the session, or to
  /// stdout once the session is over.
  int redirected_output() const { return kept_streams_.output; }

  /// The frame being painted.
  static ScreenBuffer changes;
  /// Absolute cursor position for this frame, from the focused widget.
  static std::optional<dalk::Point> cursor;
  /// The cursor's shape for this frame, from the focused widget (Widget::cursor_shape); empty:
  /// the terminal's own. A commit that shows the cursor writes the shape when it differs from
  /// the one shown (dalk::set(CursorShape)), nothing while no widget ever asked for one, nor
  /// under TERM=linux (the console's CSI q sets its keyboard LEDs).
  static std::optional<dalk::CursorShape> cursor_shape;
  /// Every event for the loop, bounded for input and posts (vn::ConcurrentQueue); a timer's
  /// tick is queued once at a time (enqueue_once, keyed by detail::timer_tick_key).
  static ConcurrentQueue<Event> event_queue;
  /// Running timer threads by timer id; destroyed (joined) before the queue at exit.
  static std::map<int, TimerThread> timers;

  /// The extensions the session was started with.
  dalk::Extensions extensions;
  /// Mirror of the terminal's contents.
  ScreenBuffer screen;
  std::jthread read_thread;
  /// Output of one commit, reused across frames.
  std::string escape_buffer;

 private:
  void end_session() noexcept;
  void put_back_kept_streams() noexcept;

  // What the commit keeps between frames besides `screen` and `escape_buffer`.
  detail::OutputState output_state_;

  // False once the session has moved to another object.
  bool holds_session_ = true;

  // The standard streams this session moved aside, put back when it ends.
  dalk::KeptStreams kept_streams_;
};

}  // namespace vn
