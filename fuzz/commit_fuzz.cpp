// The change commit under random painting, brushes, cursor positions and resizes. Its output is
// parsed as a terminal would: nothing but cursor moves inside the screen, SGR sequences, the
// cursor-visibility pair and printable UTF-8 may appear, every character must follow a cursor
// move, and after each commit the parsed screen (characters and the brush sequence in force for
// each) must show exactly what was painted. Characters take their dalk::width in cells, writing
// over either half of a wide one blanks the whole of it, as on a terminal, and no zero-width
// character may be written.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <dalk/dalk.hpp>
#include <dalk/width.hpp>
#include <vn/terminal.hpp>

#include "captured_output.hpp"
#include "fuzz_input.hpp"

namespace {

dalk::Color color(Reader& in) {
  switch (in.byte() % 3) {
    case 0:
      return dalk::XColor{in.byte()};
    case 1:
      return dalk::XColor::Default;
    default: {
      std::uint8_t const red = in.byte();
      std::uint8_t const green = in.byte();
      return dalk::TrueColor{red, green, in.byte()};
    }
  }
}

dalk::Glyph glyph(Reader& in) {
  dalk::Glyph g;
  switch (in.byte() % 4) {
    case 0:
      g.symbol = 0x20 + in.byte() % 0x5F;
      break;
    case 1:
      g.symbol = in.byte();
      break;
    case 2:
      g.symbol = in.word(2);
      break;
    default:
      g.symbol = in.word(4);
      break;
  }
  if (in.byte() % 2 == 0) {
    g.brush.background = color(in);
    g.brush.foreground = color(in);
    g.brush.traits = dalk::Traits{static_cast<dalk::Trait>(in.word(2))};
  }
  return g;
}

// What the terminal should show for a painted code point.
char32_t shown(char32_t c) {
  if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
    return U'\uFFFD';
  }
  return c;
}

// The terminal as the parser sees it.
struct Cell {
  std::optional<char32_t> symbol;  // empty: never written since the last resize
  std::string brush;
  bool covered = false;  // the second cell of the wide character to its left
};

// A cell blanked by a write over the other half of its wide character; no painted glyph shows
// as this, so it must have been written again.
constexpr char32_t erased = 0xFFFFFFFE;

struct Model {
  dalk::Area area;
  std::vector<Cell> cells;
  std::string brush = dalk::escape(dalk::Brush{});

  void resize(dalk::Area a) {
    area = a;
    cells.assign(static_cast<std::size_t>(a.width) * static_cast<std::size_t>(a.height), Cell{});
  }
};

bool parse_number(std::string_view& s, int& value) {
  std::size_t digits = 0;
  value = 0;
  while (digits < s.size() && s[digits] >= '0' && s[digits] <= '9' && digits < 6) {
    value = value * 10 + (s[digits] - '0');
    ++digits;
  }
  s.remove_prefix(digits);
  return digits > 0;
}

// One well-formed UTF-8 character from the front of s.
char32_t take_character(std::string_view& s) {
  auto const lead = static_cast<unsigned char>(s[0]);
  std::size_t const length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  require(s.size() >= length);
  std::u32string decoded;
  try {
    decoded = dalk::detail::u8_string_to_u32_string(s.substr(0, length));
  } catch (std::runtime_error const&) {
    std::abort();
  }
  require(decoded.size() == 1);
  s.remove_prefix(length);
  return decoded[0];
}

// Parses one commit's output into the model and checks its shape.
void parse(std::string_view out, Model& model, std::optional<dalk::Point> cursor) {
  require(out.substr(0, 6) == "\x1b[?25l");
  std::optional<dalk::Point> at;
  bool after_sgr = false;
  std::string run;
  std::optional<dalk::Point> last_move;
  std::string last_visibility;
  while (!out.empty()) {
    if (out[0] != '\x1b') {
      char32_t const c = take_character(out);
      require(c >= 0x20 && !(c >= 0x7F && c <= 0x9F));
      // The terminal's own advance is never relied on.
      require(at.has_value());
      int const cells = dalk::width(c);
      // A lone zero-width character would join its neighbour; a wide one in the last column
      // would wrap or be cut.
      require(cells != 0 && at->x + cells <= model.area.width);
      Cell* const row = &model.cells[static_cast<std::size_t>(at->y * model.area.width)];
      auto const erase = [&](int x) {
        row[x].symbol = erased;
        row[x].covered = false;
      };
      for (int x = at->x; x < at->x + cells; ++x) {
        if (row[x].covered) {
          erase(x - 1);
        }
        if (x + 1 < model.area.width && row[x + 1].covered) {
          erase(x + 1);
        }
      }
      row[at->x] = Cell{c, model.brush, false};
      if (cells == 2) {
        row[at->x + 1] = Cell{erased, model.brush, true};
      }
      at.reset();
      after_sgr = false;
      continue;
    }
    require(out.size() >= 3 && out[1] == '[');
    out.remove_prefix(2);
    if (out.substr(0, 4) == "?25l" || out.substr(0, 4) == "?25h") {
      last_visibility = std::string(out.substr(0, 4));
      out.remove_prefix(4);
      after_sgr = false;
      continue;
    }
    std::string_view const parameters_start = out;
    int row = 0;
    if (parse_number(out, row) && !out.empty() && out[0] == ';') {
      out.remove_prefix(1);
      int column = 0;
      if (parse_number(out, column) && !out.empty() && out[0] == 'H') {
        out.remove_prefix(1);
        require(row >= 1 && row <= model.area.height && column >= 1 && column <= model.area.width);
        at = dalk::Point{column - 1, row - 1};
        last_move = at;
        after_sgr = false;
        continue;
      }
    }
    // Otherwise only SGR: digits and semicolons, then 'm'.
    out = parameters_start;
    std::size_t const end = out.find_first_not_of("0123456789;");
    require(end != std::string_view::npos && out[end] == 'm');
    std::string const sequence = "\x1b[" + std::string(out.substr(0, end + 1));
    out.remove_prefix(end + 1);
    if (!after_sgr) {
      run.clear();
    }
    run += sequence;
    model.brush = run;
    after_sgr = true;
  }
  // The commit ends with the default brush, then the cursor shown on its cell or hidden.
  require(model.brush == dalk::escape(dalk::Brush{}));
  bool const inside = cursor && cursor->x >= 0 && cursor->y >= 0 && cursor->x < model.area.width &&
                      cursor->y < model.area.height;
  if (inside) {
    require(last_visibility == "?25h" && at == cursor);
  } else {
    require(last_visibility == "?25l" && !at.has_value());
  }
}

void check_screen(Model const& model, vn::ScreenBuffer const& painted) {
  require(model.area == painted.area);
  int const width = model.area.width;
  for (std::size_t i = 0; i < model.cells.size(); ++i) {
    dalk::Glyph const& expected = painted.glyphs[i];
    Cell const& cell = model.cells[i];
    auto const x = static_cast<int>(i % static_cast<std::size_t>(width));
    int const cells = dalk::width(expected.symbol);
    require(!cell.covered);
    if (!cell.symbol) {
      // A NUL glyph with the default brush right after a resize counts as already shown.
      require(expected == dalk::Glyph{U'\0', dalk::Brush{}});
      continue;
    }
    if (cells == 2 && x + 1 < width) {
      // What was painted in the second cell does not show.
      require(model.cells[i + 1].covered);
      ++i;
    }
    bool const drawn_raw = cells == 1 || (cells == 2 && x + 1 < width);
    require(*cell.symbol == (drawn_raw ? shown(expected.symbol) : U' '));
    require(cell.brush == dalk::escape(expected.brush));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
  // The commit writes to standard output; a memory file takes its place.
  capture_output("commit");

  Reader in{data, size};
  vn::ScreenBuffer& changes = vn::Terminal::changes;
  changes.resize({0, 0});
  vn::Terminal::cursor.reset();
  vn::ScreenBuffer screen;
  std::string escape_buffer;
  Model model;

  auto commit = [&] {
    vn::ScreenBuffer const painted = changes;
    // The mirror is rewritten whenever the size differs or a full redraw was asked for; the
    // parsed screen then starts from nothing.
    if (screen.area != changes.area) {
      model.resize(changes.area);
    }
    vn::detail::commit_changes(screen, escape_buffer);
    parse(take_output(), model, vn::Terminal::cursor);
    check_screen(model, painted);
    for (auto const& g : changes.glyphs) {
      require(g == dalk::Glyph{});
    }
  };

  while (in.more()) {
    dalk::Area const area = changes.area;
    switch (in.byte() % 8) {
      case 0: {
        // What the event loop does for a Resize event.
        int const width = in.byte() % 48;
        int const height = in.byte() % 16;
        changes.resize({width, height});
        changes.fill(dalk::Glyph{});
        vn::detail::request_full_redraw();
        model.resize({width, height});
        break;
      }
      case 1:
        if (area.width > 0 && area.height > 0) {
          int const x = in.byte() % area.width;
          int const y = in.byte() % area.height;
          changes[{x, y}] = glyph(in);
        }
        break;
      case 2:
        if (area.width > 0 && area.height > 0) {
          int const y = in.byte() % area.height;
          int const x = in.byte() % area.width;
          int const length = in.byte() % (area.width - x + 1);
          dalk::Glyph const g = glyph(in);
          for (int i = 0; i < length; ++i) {
            changes[{x + i, y}] = g;
          }
        }
        break;
      case 3:
        changes.fill(glyph(in));
        break;
      case 4:
        vn::Terminal::cursor.reset();
        break;
      case 5: {
        auto const x = static_cast<std::int8_t>(in.byte());
        auto const y = static_cast<std::int8_t>(in.byte());
        vn::Terminal::cursor = dalk::Point{x, y};
        break;
      }
      default:
        commit();
        break;
    }
  }
  commit();
  return 0;
}
