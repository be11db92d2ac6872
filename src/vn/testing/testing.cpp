#include "vn/testing.hpp"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "dalk/cluster.hpp"
#include "dalk/transcode.hpp"
#include "dalk/width.hpp"
#include "vn/application.hpp"
#include "vn/focus.hpp"
#include "vn/loop.hpp"
#include "vn/put.hpp"
#include "vn/terminal.hpp"

namespace vn::testing {
namespace {

// As the commit sends it: a control character would act on the terminal, so it is shown as
// U+FFFD.
char32_t displayed(char32_t symbol) {
  if (symbol < 0x20 || (symbol >= 0x7F && symbol <= 0x9F)) {
    return U'\uFFFD';
  }
  return symbol;
}

// One shown character of a row: where it starts and what the terminal shows there.
struct ShownCell {
  int x;
  char32_t symbol;
};

// Row y as the commit puts it on the terminal: a wide glyph shows once and the cells it covers
// are skipped; a wide glyph without room for all its cells and a lone zero-width code point show
// as spaces.
std::vector<ShownCell> shown_row(ScreenBuffer const& screen, int y) {
  std::vector<ShownCell> row;
  int const width = screen.area.width;
  for (int x = 0; x < width; ++x) {
    char32_t const symbol = screen[{x, y}].symbol;
    int const cells = detail::cell_width(symbol);
    if (cells >= 1 && cells <= width - x) {
      row.push_back({x, displayed(symbol)});
      x += cells - 1;
    } else {
      row.push_back({x, U' '});
    }
  }
  return row;
}

}  // namespace

Harness::Harness(Widget& head, dalk::Area size) : dispatcher_{head} {
  Focus::clear();
  resize(size);
}

void Harness::key_press(dalk::Key key) {
  static_cast<void>(deliver(dalk::KeyPress{key}));
}

void Harness::key_release(dalk::Key key) {
  static_cast<void>(deliver(dalk::KeyRelease{key}));
}

void Harness::type(std::string_view text) {
  // Decoded whole first, so malformed text delivers nothing.
  std::u32string const code_points = dalk::detail::u8_string_to_u32_string(text);
  for (char32_t const c : code_points) {
    key_press(c == U'\n' ? dalk::Key::Enter : dalk::key(c));
  }
}

void Harness::press(dalk::Point at, dalk::Mouse::Button button) {
  mouse_press(dalk::Mouse{at, button, {}});
}

void Harness::mouse_press(dalk::Mouse mouse) {
  static_cast<void>(deliver(dalk::MousePress{mouse}));
}

void Harness::release(dalk::Point at, dalk::Mouse::Button button) {
  mouse_release(dalk::Mouse{at, button, {}});
}

void Harness::mouse_release(dalk::Mouse mouse) {
  static_cast<void>(deliver(dalk::MouseRelease{mouse}));
}

void Harness::click(dalk::Point at, dalk::Mouse::Button button) {
  press(at, button);
  release(at, button);
}

void Harness::wheel_up(dalk::Point at) {
  mouse_wheel(dalk::Mouse{at, dalk::Mouse::Button::ScrollUp, {}});
}

void Harness::wheel_down(dalk::Point at) {
  mouse_wheel(dalk::Mouse{at, dalk::Mouse::Button::ScrollDown, {}});
}

void Harness::mouse_wheel(dalk::Mouse mouse) {
  static_cast<void>(deliver(dalk::MouseWheel{mouse}));
}

void Harness::move_to(dalk::Point at) {
  mouse_move(dalk::Mouse{at, dalk::Mouse::Button::None, {}});
}

void Harness::mouse_move(dalk::Mouse mouse) {
  static_cast<void>(deliver(dalk::MouseMove{mouse}));
}

void Harness::resize(dalk::Area size) {
  static_cast<void>(deliver(dalk::Resize{size}));
}

void Harness::paste(std::string_view text) {
  static_cast<void>(deliver(dalk::Paste{std::string{text}}));
}

void Harness::window_focus(bool focused) {
  static_cast<void>(deliver(dalk::Focus{focused}));
}

void Harness::tick(int timer_id) {
  static_cast<void>(deliver(event::Timer{timer_id}));
}

void Harness::tick(Timer const& timer) {
  tick(timer.id());
}

std::optional<QuitRequest> Harness::deliver(Event const& event) {
  // The event loop's dispatch, resize rule included, onto this harness's screen.
  auto const result = apply_event(event, dispatcher_, screen_);
  if (!result) {
    // Not handled: the loop does not paint either (TreeDispatcher handles every event).
    return std::nullopt;
  }
  if (*result) {
    return *result;
  }
  paint();
  return std::nullopt;
}

std::optional<QuitRequest> Harness::run_queued(std::chrono::milliseconds wait) {
  detail::EventLoopScope const loop_thread;
  std::optional<Event> event = Terminal::event_queue.pop_for(wait);
  while (event) {
    if (auto request = deliver(*event)) {
      return request;
    }
    event = Terminal::event_queue.pop_for(std::chrono::milliseconds{0});
  }
  return std::nullopt;
}

void Harness::paint() {
  // Every frame starts blank, as the commit leaves the paint grid, unless the dispatcher keeps
  // the cells of the frame before, as a run's does.
  if (!dispatcher_.reuse_cells) {
    screen_.fill(dalk::Glyph{});
  }
  cursor_ = dispatcher_.handle_paint(Canvas{screen_, {0, 0}, screen_.area});
}

std::vector<std::string> Harness::lines() const {
  return lines({0, 0}, screen_.area);
}

std::vector<std::string> Harness::lines(dalk::Point at, dalk::Area size) const {
  int const left = std::max(at.x, 0);
  int const top = std::max(at.y, 0);
  // In 64 bits: a huge size added to a position must not wrap around.
  auto const right = static_cast<int>(
      std::min<long long>(static_cast<long long>(at.x) + size.width, screen_.area.width));
  auto const bottom = static_cast<int>(
      std::min<long long>(static_cast<long long>(at.y) + size.height, screen_.area.height));
  std::vector<std::string> rows;
  for (int y = top; y < bottom; ++y) {
    std::u32string row;
    for (ShownCell const& cell : shown_row(screen_, y)) {
      if (cell.x >= left && cell.x < right) {
        dalk::text::append_code_points(cell.symbol, row);
      }
    }
    rows.push_back(dalk::detail::u32_to_u8(row));
  }
  return rows;
}

std::string Harness::line(int y) const {
  if (y < 0 || y >= screen_.area.height) {
    throw std::out_of_range("Harness::line(): y is outside the screen");
  }
  return lines({0, y}, {screen_.area.width, 1}).front();
}

dalk::Glyph const& Harness::cell(dalk::Point p) const {
  if (p.x < 0 || p.y < 0 || p.x >= screen_.area.width || p.y >= screen_.area.height) {
    throw std::out_of_range("Harness::cell(): p is outside the screen");
  }
  return screen_[p];
}

std::optional<dalk::Point> Harness::find(std::string_view text) const {
  // The screen holds composed text, so a decomposed search text is composed too.
  std::u32string const wanted = dalk::nfc(dalk::detail::u8_string_to_u32_string(text));
  if (wanted.empty()) {
    return std::nullopt;
  }
  for (int y = 0; y < screen_.area.height; ++y) {
    // The row's code points, each with the cell it shows in.
    std::u32string points;
    std::vector<int> columns;
    for (ShownCell const& cell : shown_row(screen_, y)) {
      dalk::text::append_code_points(cell.symbol, points);
      columns.resize(points.size(), cell.x);
    }
    std::size_t const at = points.find(wanted);
    if (at != std::u32string::npos) {
      return dalk::Point{columns[at], y};
    }
  }
  return std::nullopt;
}

}  // namespace vn::testing
