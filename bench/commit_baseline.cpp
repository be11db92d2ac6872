#include "commit_baseline.hpp"

#include <cstddef>
#include <optional>
#include <string_view>
#include <variant>

#include <dalk/sequence.hpp>
#include <dalk/terminal.hpp>
#include <vn/terminal.hpp>

namespace bench {
namespace {

constexpr char32_t displayable(char32_t symbol) {
  if (symbol < 0x20 || (symbol >= 0x7F && symbol <= 0x9F) ||
      (symbol >= 0xD800 && symbol <= 0xDFFF) || symbol > 0x10FFFF) {
    return U'\uFFFD';
  }
  return symbol;
}

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

}  // namespace

void baseline_commit_changes(vn::ScreenBuffer& screen, std::string& escape_buffer) {
  vn::ScreenBuffer& changes = vn::Terminal::changes;
  std::optional<dalk::Point> const& cursor = vn::Terminal::cursor;
  escape_buffer.clear();
  if (changes.area != screen.area) {
    screen.resize(changes.area);
    screen.fill(dalk::Glyph{U'\0', dalk::Brush{}});
  }

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
        out = dalk::detail::write_escape(out, dalk::Point{x, y});
        if (!same_brush(fresh.brush, current)) {
          out = dalk::detail::write_escape(out, fresh.brush);
          current = fresh.brush;
        }
        out = dalk::detail::write_u8(out, displayable(fresh.symbol));
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

  dalk::set(dalk::CursorMode::Hide);
  dalk::write(std::string_view{escape_buffer});
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

}  // namespace bench
