// The two editing widgets, TextBox and LineEdit, under random keys, clicks, wheel steps, scroll
// and cursor requests, size changes and paints, with wide characters and combining marks among
// the text and the keys. Nothing may crash or throw; after every paint the cursor and scroll
// offsets are in range and on character boundaries (never between a character and its marks)
// and the text is well-formed UTF-8; a text box line holds at most its width in cells unless it
// is one character; the cursor a paint reports lies inside the canvas, and a paint touches no
// cell outside it nor leaves half of a wide character at its right edge.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <type_traits>

#include <vn/vn.hpp>

#include "fuzz_input.hpp"

namespace {

bool is_well_formed(std::string const& text) {
  try {
    dalk::detail::u8_string_to_u32_string(text);
    return true;
  } catch (std::runtime_error const&) {
    return false;
  }
}

bool on_boundary(std::string const& text, std::size_t index) {
  if (index == 0 || index >= text.size()) {
    return index <= text.size();
  }
  if ((static_cast<unsigned char>(text[index]) & 0xC0U) == 0x80U) {
    return false;
  }
  // A mark belongs to the character before it.
  std::u32string const rest = dalk::detail::u8_string_to_u32_string(text.substr(index));
  return dalk::width(rest.front()) != 0;
}

// Wide characters, marks that compose and marks that do not, joiners and selectors.
constexpr char32_t unusual[] = {U'日',     U'本',     U'語',     U'😀',      U'\u0301',
                                U'\u0308', U'\u20DD', U'\u200D', U'\uFE0F', U'\u1161',
                                U'\u3099', U'か',     U'é'};

// Well-formed text of up to 24 code points: mostly ASCII, spaces and line feeds, some others.
std::string some_text(Reader& in) {
  std::u32string text;
  int const length = in.byte() % 25;
  for (int i = 0; i < length; ++i) {
    std::uint8_t const kind = in.byte();
    char32_t c = U'a' + kind % 26;
    if (kind % 7 == 0) {
      c = U' ';
    } else if (kind % 11 == 0) {
      c = U'\n';
    } else if (kind % 13 == 0) {
      c = in.word(3) % 0x110000;
      if (c >= 0xD800 && c <= 0xDFFF) {
        c = U'\uFFFD';
      }
    } else if (kind % 17 == 0) {
      c = unusual[in.byte() % std::size(unusual)];
    }
    text += c;
  }
  return dalk::detail::u32_to_u8(text);
}

dalk::Key some_key(Reader& in) {
  static constexpr dalk::Key special[] = {
      dalk::Key::Enter,     dalk::Key::Tab,        dalk::Key::Backspace, dalk::Key::Delete,
      dalk::Key::Home,      dalk::Key::End,        dalk::Key::ArrowUp,   dalk::Key::ArrowDown,
      dalk::Key::ArrowLeft, dalk::Key::ArrowRight, dalk::Key::PageUp,    dalk::Key::PageDown,
      dalk::Key::Escape,    dalk::Key::BackTab,    dalk::Key::Insert,    dalk::Key::Space};
  std::uint8_t const kind = in.byte();
  dalk::Key key{};
  switch (kind % 4) {
    case 0:
    case 1:
      key = special[in.byte() % std::size(special)];
      break;
    case 2:
      key = kind % 8 == 6 ? dalk::key(unusual[in.byte() % std::size(unusual)])
                          : dalk::key(32 + in.byte() % 95);
      break;
    default:
      key = dalk::key(in.word(4));
      break;
  }
  if (kind >= 0xF0) {
    key = key | dalk::Mod::Ctrl;
  }
  return key;
}

dalk::Mouse some_mouse(Reader& in) {
  dalk::Mouse mouse;
  mouse.at = dalk::Point{static_cast<std::int8_t>(in.byte()), static_cast<std::int8_t>(in.byte())};
  static constexpr dalk::Mouse::Button buttons[] = {
      dalk::Mouse::Button::Left, dalk::Mouse::Button::Middle,   dalk::Mouse::Button::Right,
      dalk::Mouse::Button::None, dalk::Mouse::Button::ScrollUp, dalk::Mouse::Button::ScrollDown};
  mouse.button = buttons[in.byte() % std::size(buttons)];
  return mouse;
}

// Paints w into the middle of a larger grid of marked cells, as the event loop would; nothing
// outside its canvas may change, and the cursor it reports lies inside the canvas.
bool paint_inside(vn::Widget& w) {
  dalk::Area const size = w.size;
  // The event loop paints only widgets with cells to paint.
  if (size.width <= 0 || size.height <= 0) {
    return false;
  }
  vn::ScreenBuffer grid{{size.width + 4, size.height + 2}};
  dalk::Glyph const mark{U'#', dalk::Brush{dalk::XColor{1}, dalk::XColor{2}, {}}};
  grid.fill(mark);
  dalk::Point const at{2, 1};
  w.paint(vn::Canvas{grid, at, size});
  for (int y = 0; y < grid.area.height; ++y) {
    for (int x = 0; x < grid.area.width; ++x) {
      bool const inside = x >= at.x && x < at.x + size.width && y >= at.y && y < at.y + size.height;
      if (!inside) {
        require(grid[{x, y}] == mark);
      }
    }
  }
  // Never half a wide character: one that starts in the last column would be cut by the edge.
  for (int y = at.y; y < at.y + size.height; ++y) {
    require(dalk::width(grid[{at.x + size.width - 1, y}].symbol) < 2);
  }
  if (w.cursor) {
    require(w.cursor->x >= 0 && w.cursor->x < size.width && w.cursor->y >= 0 &&
            w.cursor->y < size.height);
  }
  return true;
}

bool starts_character(std::u32string_view text, std::size_t i) {
  return i == 0 || i >= text.size() || dalk::width(text[i]) != 0 || text[i - 1] == U'\n';
}

void check(vn::TextBox const& box) {
  require(is_well_formed(box.text));
  std::u32string_view const text = box.code_points;
  require(box.cursor_index <= text.size() && starts_character(text, box.cursor_index));
  require(!box.layout_cache.empty());
  require(box.scroll_offset >= 0 && box.scroll_offset < static_cast<int>(box.layout_cache.size()));
  require(box.get_scroll_length() >= 1);
  // The lines of the paint's layout: cut between characters, none wider than the box unless
  // it is a single character.
  std::size_t start = 0;
  for (std::u32string_view const line : box.layout_cache) {
    require(line.data() == text.data() + start || line.empty());
    require(starts_character(text, start));
    std::u32string shown{line};
    if (!shown.empty() && shown.back() == U'\n') {
      shown.pop_back();
    }
    std::size_t const cells = line.size() - shown.size() + dalk::width(dalk::nfc(shown));
    bool const one_character =
        std::all_of(line.begin() + (line.empty() ? 0 : 1), line.end(),
                    [](char32_t c) { return dalk::width(c) == 0 && c != U'\n'; });
    require(cells <= static_cast<std::size_t>(std::max(box.size.width, 0)) || one_character);
    start += line.size();
  }
  require(start == text.size());
  // The layout kept across edits is the one the whole text gives.
  vn::TextBox fresh{{.text = box.text, .wrap = box.wrap}};
  fresh.size = box.size;
  fresh.update_layout_cache();
  require(std::equal(box.layout_cache.begin(), box.layout_cache.end(), fresh.layout_cache.begin(),
                     fresh.layout_cache.end()));
}

void check(vn::LineEdit const& edit) {
  require(is_well_formed(edit.text));
  require(edit.cursor_index <= edit.text.size() && on_boundary(edit.text, edit.cursor_index));
  require(edit.scroll_offset <= edit.text.size() && on_boundary(edit.text, edit.scroll_offset));
}

template <typename W>
void drive(W& w, Reader& in) {
  for (int steps = 0; steps < 64 && in.more(); ++steps) {
    switch (in.byte() % 10) {
      case 0:
        w.size = dalk::Area{in.byte() % 41, in.byte() % 13};
        break;
      case 1:
      case 2:
        w.key_press(some_key(in));
        break;
      case 3:
        w.mouse_press(some_mouse(in));
        break;
      case 4:
        w.mouse_wheel(some_mouse(in));
        break;
      case 5:
        // The application replaces the text.
        w.text = some_text(in);
        break;
      case 6:
        if constexpr (std::is_same_v<W, vn::TextBox>) {
          w.set_scroll_offset(static_cast<std::int16_t>(in.word(2)));
        } else {
          w.increment_cursor(static_cast<std::int8_t>(in.byte()));
        }
        break;
      case 7: {
        // A paste, well-formed or not.
        std::string pasted = some_text(in);
        pasted += static_cast<char>(in.byte());
        w.paste(pasted);
        break;
      }
      default:
        // Offsets past a text the application replaced are pulled back by the next paint.
        if (paint_inside(w)) {
          check(w);
        }
        break;
    }
  }
  if (paint_inside(w)) {
    check(w);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
  Reader in{data, size};
  bool const text_box = in.byte() % 2 == 0;
  std::string const text = some_text(in);
  if (text_box) {
    vn::TextBox::Options options;
    options.text = text;
    options.wrap = in.byte() % 2 == 0 ? vn::TextBox::Wrap::Word : vn::TextBox::Wrap::Character;
    options.align = static_cast<vn::Align>(in.byte() % 3);
    vn::TextBox box{options};
    drive(box, in);
  } else {
    vn::LineEdit::Options options;
    options.text = text;
    options.placeholder = some_text(in);
    vn::LineEdit edit{options};
    drive(edit, in);
  }
  return 0;
}
