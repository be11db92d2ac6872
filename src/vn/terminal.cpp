#include "vn/terminal.hpp"

namespace vn {

// Definition order matters: statics die in reverse order, so the timer threads are joined
// before the queue they enqueue into is destroyed.
ScreenBuffer Terminal::changes{};
std::optional<dalk::Point> Terminal::cursor{};
ConcurrentQueue<Event> Terminal::event_queue{};
std::map<int, TimerThread> Terminal::timers{};

ScreenBuffer::ScreenBuffer(dalk::Area area)
    : area{area},
      glyphs(static_cast<std::size_t>(area.width) * static_cast<std::size_t>(area.height)) {}

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

}  // namespace vn
