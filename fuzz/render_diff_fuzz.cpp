// The compact encodings against the default one: frames built from the input (a grid of up to
// 20x6, glyphs from ASCII, wide, combining, emoji and control-ish code points, a few brushes,
// partial changes, moved blocks, resizes, full redraws) are committed through the default
// encoding and through every output profile into libvterm screens, which must then agree cell
// by cell (characters, width, attributes, colours) and on the cursor. For a profile that adapts
// colours, the default encoding is given the frame with the same mapping applied. Any difference
// is a fault.
//
// The encodings may rely on the terminal advancing its cursor by a glyph's width, so only code
// points whose width libvterm and dalk::width agree on are painted; the target finds them itself
// by writing each candidate once into a scratch screen (agrees_with_libvterm). With ICU 72 and
// libvterm 0.1.4 they disagree on 1705 code points in 62 ranges: wide ones added since
// libvterm's tables were made, narrow for libvterm (Tangut, Khitan and Nushu U+16FE1 to
// U+18D08, Kana Supplement and Extended U+1AFF0 to U+1B2FB, regional indicators U+1F1E6 to
// U+1F1FF, emoji such as U+1F6D5, U+1F7E0 to U+1F7EB, U+1F90C, U+1F95F to U+1F9FF, U+1FA70 to
// U+1FAF8); unassigned code points of wide blocks and a few symbols that libvterm makes wide
// (U+2E9A, U+2EF4 to U+2EFF, U+2FD6 to U+2FEF, U+2FFC to U+2FFF, U+3040, U+3097, U+3100 to
// U+3104, U+31E4 to U+31EF, U+3248 to U+324F, U+4DC0 to U+4DFF, U+A48D, U+A4C7, U+FE53, U+FE67,
// U+FE6C to U+FE6F, U+FF00, U+1F93B, U+1F946); U+06DE and U+1734, which libvterm makes zero
// width; and U+302E and U+302F, spacing marks that libvterm still joins to the character
// written just before, wherever that stands (the cursor advances by 2 all the same, so the
// probe looks at the cells too). Zero-width code points are never written raw (they show as
// blanks), so their widths do not matter. libvterm 0.1.4 also mishandles an SGR of more than 16
// parameters, so brushes whose escape would need one are cut down to fewer traits.
#include <vterm.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <dalk/output_profile.hpp>
#include <dalk/transcode.hpp>
#include <dalk/width.hpp>
#include <vn/commit.hpp>
#include <vn/terminal.hpp>

#include "captured_output.hpp"
#include "fuzz_input.hpp"

namespace {

using dalk::Brush;
using dalk::ColorDepth;
using dalk::Glyph;

// libvterm (UTF-8, line wrapping off as the session leaves it) of a fixed size until resized.
class Screen {
 public:
  explicit Screen(dalk::Area area) : vterm_{vterm_new(area.height, area.width), &vterm_free} {
    vterm_set_utf8(vterm_.get(), 1);
    screen_ = vterm_obtain_screen(vterm_.get());
    callbacks_.settermprop = &Screen::set_property;
    vterm_screen_set_callbacks(screen_, &callbacks_, this);
    vterm_screen_reset(screen_, 1);
    feed("\x1b[?7l");
  }
  Screen(Screen const&) = delete;
  Screen& operator=(Screen const&) = delete;

  void resize(dalk::Area area) { vterm_set_size(vterm_.get(), area.height, area.width); }
  void feed(std::string_view bytes) {
    vterm_input_write(vterm_.get(), bytes.data(), bytes.size());
    vterm_screen_flush_damage(screen_);
  }
  VTermScreenCell cell(int x, int y) const {
    VTermScreenCell cell{};
    vterm_screen_get_cell(screen_, VTermPos{y, x}, &cell);
    // An erased cell holds no character; it shows a space.
    if (cell.chars[0] == 0) {
      cell.chars[0] = U' ';
    }
    return cell;
  }
  dalk::Point cursor() const {
    VTermPos at{};
    vterm_state_get_cursorpos(vterm_obtain_state(vterm_.get()), &at);
    return {at.col, at.row};
  }
  bool cursor_visible() const { return cursor_visible_; }

 private:
  static int set_property(VTermProp property, VTermValue* value, void* user) {
    if (property == VTERM_PROP_CURSORVISIBLE) {
      static_cast<Screen*>(user)->cursor_visible_ = value->boolean != 0;
    }
    return 1;
  }

  std::unique_ptr<VTerm, decltype(&vterm_free)> vterm_;
  VTermScreen* screen_ = nullptr;
  VTermScreenCallbacks callbacks_{};
  bool cursor_visible_ = true;
};

// Whether libvterm advances the cursor by dalk::width(c) columns when c is written, and gives c
// cells of its own, for the code points an encoding writes raw (one or two columns wide and
// displayable).
bool agrees_with_libvterm(char32_t c) {
  if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
    return true;  // shown as U+FFFD
  }
  int const columns = dalk::width(c);
  if (columns == 0) {
    return true;  // shown as a blank
  }
  static std::unordered_map<char32_t, bool> known;
  if (auto const found = known.find(c); found != known.end()) {
    return found->second;
  }
  Screen scratch{{8, 1}};
  scratch.feed("\x1b[Hx" + dalk::detail::u32_to_u8(std::u32string(1, c)));
  bool const agrees = scratch.cursor().x == 1 + columns && scratch.cell(0, 0).chars[1] == 0;
  known.emplace(c, agrees);
  return agrees;
}

char32_t code_point(Reader& in) {
  static constexpr std::array<char32_t, 24> special{
      U'\0',         U'\x07',   U'\x1b',   U'\x7f',       U'\u0085',     U'\u009b',
      U'\u00ad',     U'\u200b', U'\u200d', U'\u2028',     U'\ufe0f',     U'\ufeff',
      U'\ufffd',     U'\u1160', U'\u3000', U'\U0001b100', U'\U0001f1e6', U'\U000e0001',
      U'\U0010ffff', 0xD800,    0xDFFF,    0x110000,      0xFFFFFFFF,    U'\u0e33'};
  std::uint8_t const kind = in.byte();
  switch (kind % 9) {
    case 0:
    case 1:
      return 0x20 + in.byte() % 0x5F;
    case 2:
      return U' ';
    case 3:
      return 0x3000 + in.word(2) % 0x7000;  // CJK: wide
    case 4:
      return 0x1F300 + in.word(2) % 0x800;  // emoji and pictographs
    case 5:
      return 0x300 + in.byte() % 0x70;  // combining marks
    case 6:
      return special[in.byte() % special.size()];
    case 7:
      return 0xA0 + in.word(2) % 0x2000;  // Latin and other scripts
    default:
      return in.word(3) % 0x110100;
  }
}

// The number of parameters of the longest SGR in the brush's escape.
std::size_t longest_sgr(Brush const& brush) {
  std::size_t longest = 0;
  std::string const escape = dalk::escape(brush);
  for (std::size_t at = escape.find("\x1b["); at != std::string::npos;
       at = escape.find("\x1b[", at + 2)) {
    std::size_t const end = escape.find('m', at);
    std::string_view const parameters{escape.data() + at + 2, end - at - 2};
    std::size_t count = 1;
    for (char const c : parameters) {
      count += c == ';' || c == ':' ? 1 : 0;
    }
    longest = std::max(longest, count);
  }
  return longest;
}

dalk::Color color(Reader& in) {
  switch (in.byte() % 4) {
    case 0:
    case 1:
      return dalk::XColor::Default;
    case 2: {
      // Now and then a value outside the palette, which every encoding writes as asked.
      std::uint8_t const index = in.byte();
      return dalk::XColor{static_cast<std::uint16_t>(index == 0 ? 300 : index)};
    }
    default: {
      std::uint8_t const red = in.byte();
      std::uint8_t const green = in.byte();
      return dalk::TrueColor{red, green, in.byte()};
    }
  }
}

Brush brush(Reader& in) {
  Brush b{color(in), color(in), {}};
  auto bits = static_cast<std::uint16_t>(in.word(2));
  for (;;) {
    b.traits = dalk::Traits{static_cast<dalk::Trait>(bits)};
    if (longest_sgr(b) <= 16) {
      return b;
    }
    bits &= static_cast<std::uint16_t>(bits - 1);  // the lowest trait goes
  }
}

struct Writer {
  Writer(vn::detail::OutputProfile p, bool is_reference, dalk::Area area)
      : profile{p}, reference{is_reference}, screen{std::make_unique<Screen>(area)} {}

  vn::detail::OutputProfile profile;
  bool reference;  // the default encoding for this colour depth
  vn::ScreenBuffer mirror;
  vn::detail::OutputState state;
  std::string buffer;
  std::unique_ptr<Screen> screen;
};

// One reference and its profiles per colour depth.
std::vector<Writer> writers(dalk::Area area) {
  std::vector<Writer> all;
  for (ColorDepth const depth : {ColorDepth::TrueColor, ColorDepth::Palette256,
                                 ColorDepth::Palette16, ColorDepth::Palette8, ColorDepth::None}) {
    all.emplace_back(vn::detail::OutputProfile{false, false, depth}, true, area);
    all.emplace_back(vn::detail::OutputProfile{true, false, depth}, false, area);
    all.emplace_back(vn::detail::OutputProfile{true, true, depth}, false, area);
    if (depth != ColorDepth::TrueColor) {
      all.emplace_back(vn::detail::OutputProfile{false, false, depth}, false, area);
    }
  }
  return all;
}

bool same_cell(VTermScreenCell const& a, VTermScreenCell const& b) {
  for (int i = 0; i < VTERM_MAX_CHARS_PER_CELL; ++i) {
    if (a.chars[i] != b.chars[i]) {
      return false;
    }
    if (a.chars[i] == 0) {
      break;
    }
  }
  if (a.width != b.width) {
    return false;
  }
  // The second cell of a wide character keeps whatever attributes it had before.
  if (a.chars[0] == 0xFFFFFFFF) {
    return true;
  }
  return a.attrs.bold == b.attrs.bold && a.attrs.underline == b.attrs.underline &&
         a.attrs.italic == b.attrs.italic && a.attrs.blink == b.attrs.blink &&
         a.attrs.reverse == b.attrs.reverse && a.attrs.strike == b.attrs.strike &&
         vterm_color_is_equal(&a.fg, &b.fg) != 0 && vterm_color_is_equal(&a.bg, &b.bg) != 0;
}

void describe(char const* what, VTermScreenCell const& cell) {
  auto const color = [](VTermColor const& c) {
    return VTERM_COLOR_IS_INDEXED(&c)
               ? "index " + std::to_string(c.indexed.idx)
               : "rgb " + std::to_string(c.rgb.red) + "," + std::to_string(c.rgb.green) + "," +
                     std::to_string(c.rgb.blue);
  };
  std::fprintf(stderr,
               "  %s U+%04X U+%04X (width %d) bold %d underline %d italic %d blink %d reverse %d "
               "strike %d, foreground %s%s, background %s%s\n",
               what, cell.chars[0], cell.chars[1], cell.width, cell.attrs.bold,
               cell.attrs.underline, cell.attrs.italic, cell.attrs.blink, cell.attrs.reverse,
               cell.attrs.strike, color(cell.fg).c_str(),
               VTERM_COLOR_IS_DEFAULT_FG(&cell.fg) ? " (default)" : "", color(cell.bg).c_str(),
               VTERM_COLOR_IS_DEFAULT_BG(&cell.bg) ? " (default)" : "");
}

void compare(Writer const& reference, Writer const& writer, dalk::Area area,
             std::optional<dalk::Point> cursor) {
  for (int y = 0; y < area.height; ++y) {
    for (int x = 0; x < area.width; ++x) {
      VTermScreenCell const a = reference.screen->cell(x, y);
      VTermScreenCell const b = writer.screen->cell(x, y);
      if (!same_cell(a, b)) {
        std::fprintf(stderr, "profile compact=%d repeat=%d colors=%d, cell (%d, %d):\n",
                     writer.profile.compact, writer.profile.repeat,
                     static_cast<int>(writer.profile.colors), x, y);
        describe("shows", b);
        describe("instead of", a);
        std::abort();
      }
    }
  }
  require(writer.screen->cursor_visible() == reference.screen->cursor_visible());
  // A cursor off the screen is hidden wherever it was left.
  if (cursor && cursor->x < area.width && cursor->y < area.height) {
    require(writer.screen->cursor() == reference.screen->cursor());
  }
}

// Moves a block of rows up or down inside itself, as a scrolling list does.
void move_block(vn::ScreenBuffer& frame, Reader& in) {
  int const height = frame.area.height;
  auto const width = static_cast<std::ptrdiff_t>(frame.area.width);
  int top = in.byte() % height;
  int bottom = in.byte() % height;
  if (top > bottom) {
    std::swap(top, bottom);
  }
  int const span = bottom - top + 1;
  if (span < 2) {
    return;
  }
  int const distance = 1 + in.byte() % (span - 1);
  auto const start = [&](int y) { return frame.glyphs.begin() + y * width; };
  if (in.byte() % 2 == 0) {
    std::copy(start(top + distance), start(bottom + 1), start(top));
  } else {
    std::copy_backward(start(top), start(bottom + 1 - distance), start(bottom + 1));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
  // The commit writes to standard output; a memory file takes its place.
  capture_output("render_diff");

  Reader in{data, size};
  auto const size_from = [&in] { return dalk::Area{1 + in.byte() % 20, 1 + in.byte() % 6}; };
  dalk::Area area = size_from();
  std::vector<Writer> all = writers(area);
  vn::ScreenBuffer frame{area};
  std::array<Brush, 4> brushes{Brush{}, brush(in), brush(in), brush(in)};
  vn::Terminal::changes = vn::ScreenBuffer{area};
  // Each input starts from a full redraw in every state.
  vn::detail::request_full_redraw();

  for (int frames = 0; frames < 64 && in.more(); ++frames) {
    std::uint8_t const op = in.byte();
    if (op % 16 == 0) {
      area = size_from();
      frame = vn::ScreenBuffer{area};
      for (Writer& writer : all) {
        writer.screen->resize(area);
      }
    } else if (op % 16 == 1) {
      brushes[in.byte() % brushes.size()] = brush(in);
    }
    if (op % 8 == 2) {
      move_block(frame, in);
    }
    // A few changes, each a run of one glyph.
    int const changes = in.byte() % 6;
    for (int i = 0; i < changes; ++i) {
      auto position = static_cast<std::size_t>(in.byte()) % frame.glyphs.size();
      char32_t symbol = code_point(in);
      if (!agrees_with_libvterm(symbol)) {
        symbol = U'?';
      }
      Glyph const glyph{symbol, brushes[in.byte() % brushes.size()]};
      for (int run = 1 + in.byte() % 12; run > 0 && position < frame.glyphs.size(); --run) {
        frame.glyphs[position++] = glyph;
      }
    }
    std::optional<dalk::Point> cursor;
    if (std::uint8_t const c = in.byte(); c % 2 == 0) {
      cursor = dalk::Point{c / 2 % (area.width + 1), in.byte() % (area.height + 1)};
    }
    if (op % 32 == 3) {
      vn::detail::request_full_redraw();
    }
    bool const synchronized = op >= 128;

    for (Writer& writer : all) {
      vn::Terminal::changes.resize(area);
      vn::Terminal::changes.glyphs = frame.glyphs;
      if (writer.reference) {
        for (Glyph& glyph : vn::Terminal::changes.glyphs) {
          glyph.brush = dalk::adapt(glyph.brush, writer.profile.colors);
        }
      }
      vn::Terminal::cursor = cursor;
      vn::detail::commit_changes(writer.mirror, writer.buffer, writer.state, writer.profile,
                                 synchronized);
      writer.screen->feed(take_output());
    }
    Writer const* reference = nullptr;
    for (Writer const& writer : all) {
      if (writer.reference) {
        reference = &writer;
      } else {
        compare(*reference, writer, area, cursor);
      }
    }
  }
  vn::Terminal::cursor.reset();
  return 0;
}
