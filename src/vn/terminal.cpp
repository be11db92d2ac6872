#include "vn/terminal.hpp"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <stdexcept>
#include <string_view>
#include <typeinfo>
#include <utility>
#include <variant>

#include "dalk/signals.hpp"

namespace vn {

// Definition order matters: statics die in reverse order, so the timer threads are joined
// before the queue they enqueue into is destroyed.
ScreenBuffer Terminal::changes{};
std::optional<dalk::Point> Terminal::cursor{};
ConcurrentQueue<Event> Terminal::event_queue{};
std::map<int, TimerThread> Terminal::timers{};

ScreenBuffer::ScreenBuffer(dalk::Area initial_area)
    : area{initial_area},
      glyphs(static_cast<std::size_t>(initial_area.width) *
             static_cast<std::size_t>(initial_area.height)) {}

dalk::Glyph& ScreenBuffer::operator[](dalk::Point p) {
  return glyphs[static_cast<std::size_t>(p.y * area.width + p.x)];
}

dalk::Glyph const& ScreenBuffer::operator[](dalk::Point p) const {
  return glyphs[static_cast<std::size_t>(p.y * area.width + p.x)];
}

void ScreenBuffer::resize(dalk::Area new_area) {
  area = new_area;
  glyphs.resize(static_cast<std::size_t>(area.width) * static_cast<std::size_t>(area.height));
}

void ScreenBuffer::fill(dalk::Glyph const& glyph) {
  std::fill(glyphs.begin(), glyphs.end(), glyph);
}

namespace {

std::atomic<bool> full_redraw_requested{false};

// A control character would move the cursor, ring, erase or start a sequence on the
// terminal (and U+0000 would end the output string early), so it is shown as U+FFFD; so are
// surrogates and values above U+10FFFF, which have no well-formed UTF-8 encoding.
constexpr char32_t displayable(char32_t symbol) {
  if (symbol < 0x20 || (symbol >= 0x7F && symbol <= 0x9F) ||
      (symbol >= 0xD800 && symbol <= 0xDFFF) || symbol > 0x10FFFF) {
    return U'\uFFFD';
  }
  return symbol;
}

// Equality of colours without the generic variant comparison: the commit compares every
// cell of every frame, and this is most of what it does when little has changed.
bool same_color(dalk::Color const& a, dalk::Color const& b) {
  auto const* const xa = std::get_if<dalk::XColor>(&a);
  auto const* const xb = std::get_if<dalk::XColor>(&b);
  if (xa != nullptr && xb != nullptr) {
    return xa->value == xb->value;
  }
  if (xa != nullptr || xb != nullptr) {
    return false;
  }
  return *std::get_if<dalk::TrueColor>(&a) == *std::get_if<dalk::TrueColor>(&b);
}

bool same_brush(dalk::Brush const& a, dalk::Brush const& b) {
  return a.traits == b.traits && same_color(a.foreground, b.foreground) &&
         same_color(a.background, b.background);
}

bool same_glyph(dalk::Glyph const& a, dalk::Glyph const& b) {
  return a.symbol == b.symbol && same_brush(a.brush, b.brush);
}

Event to_event(dalk::Event const& input) {
  return std::visit([](auto const& alternative) { return Event{alternative}; }, input);
}

// The input thread's body. It touches no member of the Terminal object, so the object may be
// moved while the thread runs.
void read_loop(std::stop_token const& stop) {
  std::exception_ptr failure;
  try {
    Terminal::event_queue.enqueue(dalk::Resize{dalk::terminal_area()});
    while (!stop.stop_requested()) {
      if (dalk::detail::load_flag(dalk::sigint_flag) == 1) {
        Terminal::event_queue.enqueue(event::Interrupt{});
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

Terminal::Terminal(dalk::MouseMode mouse_mode, dalk::KeyMode key_mode, dalk::Signals signals)
    : screen{}, read_thread{[](std::stop_token stop) { read_loop(stop); }}, escape_buffer{} {
  // The thread is already running; a failure here joins it through the member's destructor.
  dalk::initialize_interactive_terminal(mouse_mode, key_mode, signals);
}

Terminal::~Terminal() {
  if (read_thread.get_stop_source().stop_possible()) {
    read_thread.request_stop();
  }
  // Also for a moved-from object: see the class comment.
  dalk::uninitialize_terminal();
}

void Terminal::run_read_loop(std::stop_token stop) {
  read_loop(stop);
}

dalk::Area Terminal::size() {
  return dalk::terminal_area();
}

void Terminal::commit_changes() {
  detail::commit_changes(screen, escape_buffer);
}

void detail::request_full_redraw() {
  full_redraw_requested = true;
}

void detail::commit_changes(ScreenBuffer& screen, std::string& escape_buffer) {
  ScreenBuffer& changes = Terminal::changes;
  std::optional<dalk::Point> const& cursor = Terminal::cursor;
  escape_buffer.clear();
  if (full_redraw_requested.exchange(false) || changes.area != screen.area) {
    // No painted glyph normally equals U+0000 with the default brush, so every cell is
    // rewritten: the only full redraw there is.
    screen.resize(changes.area);
    screen.fill(dalk::Glyph{U'\0', dalk::Brush{}});
  }

  // Cells are encoded into a chunk on the stack that joins the buffer a few kilobytes at a
  // time; appending each sequence to the string on its own cost more than encoding it.
  constexpr std::size_t chunk_size = 8192;
  constexpr std::size_t max_cell = dalk::detail::max_point_escape_size +
                                   dalk::detail::max_brush_escape_size + dalk::detail::max_u8_size;
  char chunk[chunk_size + max_cell];
  char* out = chunk;
  dalk::Brush current{};
  for (int y = 0; y < changes.area.height; ++y) {
    auto const row = static_cast<std::size_t>(y) * static_cast<std::size_t>(changes.area.width);
    for (int x = 0; x < changes.area.width; ++x) {
      dalk::Glyph& fresh = changes.glyphs[row + static_cast<std::size_t>(x)];
      dalk::Glyph& shown = screen.glyphs[row + static_cast<std::size_t>(x)];
      if (!same_glyph(fresh, shown)) {
        // Every changed cell gets its own cursor move: the terminal's advance is never
        // trusted.
        out = dalk::detail::write_escape(out, dalk::Point{x, y});
        if (!same_brush(fresh.brush, current)) {
          out = dalk::detail::write_escape(out, fresh.brush);
          current = fresh.brush;
        }
        out = dalk::detail::write_u8(out, displayable(fresh.symbol));
        // The mirror keeps the painted glyph, so change detection ignores the replacement.
        shown = fresh;
        if (out >= chunk + chunk_size) {
          escape_buffer.append(chunk, out);
          out = chunk;
        }
      }
    }
  }
  out = dalk::detail::write_escape(out, dalk::Brush{});
  escape_buffer.append(chunk, out);
  changes.fill(dalk::Glyph{});

  // The cursor stays hidden while the cells are drawn, so it does not flicker across them.
  dalk::set(dalk::CursorMode::Hide);
  dalk::write(std::string_view{escape_buffer});
  // A cursor off the screen cannot be shown; its sequence would carry a negative or
  // out-of-range position.
  bool const cursor_on_screen = cursor && cursor->x >= 0 && cursor->y >= 0 &&
                                cursor->x < changes.area.width && cursor->y < changes.area.height;
  if (cursor_on_screen) {
    dalk::set(dalk::CursorMode::Show);
    dalk::write(dalk::escape(*cursor));
  } else {
    dalk::set(dalk::CursorMode::Hide);
  }
  dalk::flush();
}

}  // namespace vn
