// The screen buffer that widgets paint into and the terminal object that owns the interactive
// session: its constructor starts the input thread and switches the terminal into interactive
// mode, its destructor restores it. All events reach the program through one process-wide
// queue; timers feed it from threads of their own.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <list>
#include <map>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "dalk/io.hpp"
#include "dalk/sequence.hpp"
#include "dalk/terminal.hpp"

namespace vn {

/// A grid of glyphs in row-major order: cell (x, y) is glyphs[y * width + x].
struct ScreenBuffer {
  /// width x height blank glyphs (space, default brush).
  explicit ScreenBuffer(dalk::Area area = {0, 0});

  /// The cell at p, which must lie inside the area.
  dalk::Glyph& operator[](dalk::Point p);
  dalk::Glyph const& operator[](dalk::Point p) const;
  /// New cells are blank; surviving cells keep their index, not their (x, y).
  void resize(dalk::Area new_area);
  void fill(dalk::Glyph const& glyph);

  dalk::Area area;
  std::vector<dalk::Glyph> glyphs;
};

/// A view into a screen buffer: an absolute origin and the extent its owner may paint. Element
/// access does not clip; the drawing functions clip to `size`.
struct Canvas {
  dalk::Glyph& operator[](dalk::Point p) { return buffer[{at.x + p.x, at.y + p.y}]; }
  dalk::Glyph const& operator[](dalk::Point p) const { return buffer[{at.x + p.x, at.y + p.y}]; }

  ScreenBuffer& buffer;
  dalk::Point at;
  dalk::Area size;
};

/// The value Application::run() returns.
struct QuitRequest {
  int return_code = 0;
};

namespace event {

/// A tick of the timer with this id.
struct Timer {
  int id = 0;
};

/// A function run on the event-loop thread; a returned request ends the loop.
struct Custom {
  std::function<std::optional<QuitRequest>()> function;
};

/// An interrupt signal arrived; the loop ends with return code 1.
struct Interrupt {};

}  // namespace event

/// The terminal layer's seven input events followed by the widget layer's own three.
using Event = std::variant<dalk::MousePress, dalk::MouseRelease, dalk::MouseWheel, dalk::MouseMove,
                           dalk::KeyPress, dalk::KeyRelease, dalk::Resize, event::Timer,
                           event::Custom, event::Interrupt>;

/// An unbounded multi-producer queue; pop() waits while it is empty.
template <typename T>
class ConcurrentQueue {
 public:
  /// Appends item; callable from any thread. The node is allocated outside the lock.
  void enqueue(T item) {
    std::list<T> node;
    node.push_back(std::move(item));
    {
      std::lock_guard lock{mutex};
      queue.splice(queue.end(), node);
    }
    condition.notify_one();
  }

  /// Removes and returns the oldest item, waiting while there is none.
  T pop() {
    std::unique_lock lock{mutex};
    condition.wait(lock, [this] { return !queue.empty(); });
    return take_front(lock);
  }

  /// Like pop(), but gives up after timeout.
  std::optional<T> pop_for(std::chrono::milliseconds timeout) {
    std::unique_lock lock{mutex};
    if (!condition.wait_for(lock, timeout, [this] { return !queue.empty(); })) {
      return std::nullopt;
    }
    return take_front(lock);
  }

  std::mutex mutex;
  std::condition_variable condition;
  std::list<T> queue;

 private:
  T take_front(std::unique_lock<std::mutex>& lock) {
    std::list<T> node;
    node.splice(node.end(), queue, queue.begin());
    lock.unlock();
    return std::move(node.front());
  }
};

/// The thread behind one started timer: calls callback once per period, fixed-rate, and sees
/// a stop request within 16 ms.
class TimerThread {
 public:
  /// Idle: no thread.
  TimerThread() = default;
  TimerThread(std::chrono::milliseconds period, std::function<void()> callback);

  static void run(std::stop_token stop, std::function<void()> const& callback,
                  std::chrono::milliseconds period);

  std::jthread thread;
};

/// Makes the event loop receive event::Timer with this timer's id once per period. Created,
/// started and stopped on the event-loop thread only.
class Timer {
 public:
  /// Takes the next id; starts at once when launch is true.
  Timer(std::chrono::milliseconds duration, bool launch);
  Timer(Timer&& other) noexcept;
  Timer& operator=(Timer&& other) noexcept;
  Timer(Timer const&) = delete;
  Timer& operator=(Timer const&) = delete;
  ~Timer();

  /// (Re)starts the period from now; waits for a previous thread of this id to end.
  void start();
  /// Asks the thread to end without waiting; a tick may still arrive afterwards.
  void stop();
  int id() const { return id_; }
  std::chrono::milliseconds duration() const { return duration_; }
  bool is_running() const { return running_; }

  /// The id the next timer gets; the first timer of a process has id 0.
  static int next_id_;

 private:
  int id_;
  std::chrono::milliseconds duration_;
  bool running_ = false;
};

namespace detail {

/// The body of Terminal::commit_changes on the two members it uses: the mirror of the screen
/// and the reused output buffer. Reads Terminal::changes and Terminal::cursor; lets tests and
/// benchmarks commit without setting up a terminal. Event-loop thread only.
void commit_changes(ScreenBuffer& screen, std::string& escape_buffer);

/// Makes the next commit rewrite every cell, as after a change of size: the terminal's contents
/// may have been lost (a window-size signal, a resume after a stop). Every Resize event asks for
/// it. Any thread.
void request_full_redraw();

}  // namespace detail

/// The interactive session. Construct it, move it into an Application and call run() in the
/// same expression: every Terminal object, moved-from ones included, restores the terminal
/// when it is destroyed, so none may outlive the loop.
///
/// The input thread enqueues a Resize with the terminal's size first, then every event it
/// reads, until stop is requested or an interrupt arrives (it then enqueues event::Interrupt
/// and ends). A sequence it cannot decode is dropped and reading goes on. When the input
/// itself fails (end of input or a failed read, a hang-up, a failed poll, an unreadable
/// window size) the thread ends and enqueues an event::Custom whose function rethrows that
/// exception, so it leaves run() on the event-loop thread and the application unwinds with
/// the terminal restored. No exception ever leaves the input thread.
class Terminal {
 public:
  /// Starts the input thread, then switches the terminal into interactive mode: alternate
  /// screen, hidden cursor, no echo, unbuffered input, mouse reporting.
  explicit Terminal(dalk::MouseMode mouse_mode = dalk::MouseMode::Move,
                    dalk::KeyMode key_mode = dalk::KeyMode::Normal,
                    dalk::Signals signals = dalk::Signals::On);
  Terminal(Terminal&&) noexcept = default;
  Terminal& operator=(Terminal&&) noexcept = default;
  Terminal(Terminal const&) = delete;
  Terminal& operator=(Terminal const&) = delete;
  /// Stops the input thread and restores the terminal (also for a moved-from object).
  ~Terminal();

  /// Writes the cells of `changes` that differ from what is on screen, then places or hides
  /// the cursor, in one flush; blanks `changes` for the next frame. Control characters
  /// (U+0000 to U+001F, U+007F to U+009F), surrogates and values above U+10FFFF are written as
  /// U+FFFD; the mirror keeps the painted glyph. A cursor outside the screen stays hidden.
  /// Event-loop thread only.
  void commit_changes();
  /// The input thread's body (see the class comment); started by the constructor. Uses no
  /// member of this object, only the stop token and the static queue.
  void run_read_loop(std::stop_token stop);
  /// The terminal's current size, asked afresh (dalk::terminal_area(); throws its errors).
  dalk::Area size();

  /// The frame being painted.
  static ScreenBuffer changes;
  /// Absolute cursor position for this frame, from the focused widget.
  static std::optional<dalk::Point> cursor;
  static ConcurrentQueue<Event> event_queue;
  /// Running timer threads by timer id; destroyed (joined) before the queue at exit.
  static std::map<int, TimerThread> timers;

  /// Mirror of the terminal's contents.
  ScreenBuffer screen;
  std::jthread read_thread;
  /// Output of one commit, reused across frames.
  std::string escape_buffer;
};

}  // namespace vn
