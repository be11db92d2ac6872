#include "support/vterm_screen.hpp"

#include <vterm.h>

#include <cstdint>

#include <dalk/transcode.hpp>

namespace vennic::test {

struct VtermScreen::State {
  VTermScreenCallbacks callbacks{};
  bool cursor_visible = true;
};

namespace {

int set_property(VTermProp property, VTermValue* value, void* user) {
  if (property == VTERM_PROP_CURSORVISIBLE) {
    *static_cast<bool*>(user) = value->boolean != 0;
  }
  return 1;
}

ScreenColor convert(VTermColor const& color, bool foreground) {
  ScreenColor result;
  if (foreground ? VTERM_COLOR_IS_DEFAULT_FG(&color) : VTERM_COLOR_IS_DEFAULT_BG(&color)) {
    return result;
  }
  if (VTERM_COLOR_IS_INDEXED(&color)) {
    result.kind = ScreenColor::Kind::Indexed;
    result.index = color.indexed.idx;
  } else {
    result.kind = ScreenColor::Kind::Rgb;
    result.rgb = dalk::TrueColor{color.rgb.red, color.rgb.green, color.rgb.blue};
  }
  return result;
}

}  // namespace

VtermScreen::VtermScreen(int columns, int rows)
    : vterm_{vterm_new(rows, columns)},
      state_{std::make_unique<State>()},
      columns_{columns},
      rows_{rows} {
  vterm_set_utf8(vterm_, 1);
  screen_ = vterm_obtain_screen(vterm_);
  state_->callbacks.settermprop = &set_property;
  vterm_screen_set_callbacks(screen_, &state_->callbacks, &state_->cursor_visible);
  vterm_screen_enable_altscreen(screen_, 1);
  vterm_screen_reset(screen_, 1);
}

VtermScreen::~VtermScreen() {
  vterm_free(vterm_);
}

void VtermScreen::resize(int columns, int rows) {
  columns_ = columns;
  rows_ = rows;
  vterm_set_size(vterm_, rows, columns);
}

void VtermScreen::feed(std::string_view bytes) {
  vterm_input_write(vterm_, bytes.data(), bytes.size());
  vterm_screen_flush_damage(screen_);
}

void VtermScreen::follow(std::string const& output) {
  if (output.size() > followed_) {
    feed(std::string_view{output}.substr(followed_));
    followed_ = output.size();
  }
}

ScreenCell VtermScreen::cell(int x, int y) const {
  VTermScreenCell shown{};
  vterm_screen_get_cell(screen_, VTermPos{y, x}, &shown);
  ScreenCell result;
  // libvterm marks the second cell of a wide character with (uint32_t)-1.
  bool const covered = shown.chars[0] == static_cast<std::uint32_t>(-1);
  result.symbol = shown.chars[0] == 0 || covered ? U' ' : static_cast<char32_t>(shown.chars[0]);
  result.width = covered ? 0 : shown.width;
  result.bold = shown.attrs.bold != 0;
  result.italic = shown.attrs.italic != 0;
  result.reverse = shown.attrs.reverse != 0;
  result.foreground = convert(shown.fg, true);
  result.background = convert(shown.bg, false);
  return result;
}

std::u32string VtermScreen::row32(int y, std::vector<int>* columns) const {
  std::u32string row;
  for (int x = 0; x < columns_; ++x) {
    ScreenCell const shown = cell(x, y);
    if (shown.width == 0) {
      continue;
    }
    row.push_back(shown.symbol);
    if (columns != nullptr) {
      columns->push_back(x);
    }
  }
  return row;
}

std::string VtermScreen::row(int y) const {
  return dalk::detail::u32_to_u8(row32(y));
}

std::string VtermScreen::text() const {
  std::string text;
  for (int y = 0; y < rows_; ++y) {
    text += row(y);
    text += '\n';
  }
  return text;
}

std::optional<dalk::Point> VtermScreen::find(std::string_view text) const {
  std::u32string const needle = dalk::detail::u8_string_to_u32_string(text);
  for (int y = 0; y < rows_; ++y) {
    std::vector<int> columns;
    std::size_t const at = row32(y, &columns).find(needle);
    if (at != std::u32string::npos) {
      return dalk::Point{columns[at], y};
    }
  }
  return std::nullopt;
}

dalk::Point VtermScreen::cursor() const {
  VTermPos position{};
  vterm_state_get_cursorpos(vterm_obtain_state(vterm_), &position);
  return {position.col, position.row};
}

bool VtermScreen::cursor_visible() const {
  return state_->cursor_visible;
}

bool wait_for_screen(PtyChild& child, VtermScreen& screen, std::function<bool()> const& condition,
                     std::chrono::milliseconds limit) {
  auto const deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    screen.follow(child.output());
    if (condition()) {
      return true;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    child.read_for(std::chrono::milliseconds(20));
  }
}

}  // namespace vennic::test
