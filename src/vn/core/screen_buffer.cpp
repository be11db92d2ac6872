#include "vn/screen_buffer.hpp"

#include <algorithm>
#include <cstddef>

namespace vn {

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
  ++generation;
}

void ScreenBuffer::fill(dalk::Glyph const& glyph) {
  std::fill(glyphs.begin(), glyphs.end(), glyph);
  ++generation;
}

}  // namespace vn
