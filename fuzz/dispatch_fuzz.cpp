// Events through the dispatcher into the gallery's widget tree (examples/gallery.hpp), under the
// test harness: key presses and releases (special keys, text, any code point, with modifiers),
// mouse presses, releases, wheel steps and moves at any cell the terminal can report (off the
// screen included), pastes of valid UTF-8, resizes from 0x0 to 400x150, window focus, ticks of
// the gallery's timers and of unknown ones, what the gallery's own timers queued, answers and
// bare repaints. Every delivery repaints the tree, as the event loop does. A crash, a sanitizer
// report or an exception is a fault: widget code documents none for these events.
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include <dalk/transcode.hpp>
#include <vn/testing.hpp>
#include <vn/vn.hpp>

#include "fuzz_input.hpp"
#include "gallery.hpp"

namespace {

using dalk::Key;

constexpr std::array<Key, 34> special_keys{
    Key::Tab,          Key::BackTab,  Key::Enter,       Key::Escape,    Key::Space,
    Key::Backspace,    Key::Home,     Key::End,         Key::Insert,    Key::Delete,
    Key::PageUp,       Key::PageDown, Key::ArrowUp,     Key::ArrowDown, Key::ArrowLeft,
    Key::ArrowRight,   Key::F1,       Key::F2,          Key::F3,        Key::F5,
    Key::F10,          Key::F12,      Key::Begin,       Key::LeftShift, Key::RightControl,
    Key::KeypadEnter,  Key::Keypad5,  Key::PrintScreen, Key::Pause,     Key::ExtendedDelete,
    Key::ExtendedHome, Key::Break,    Key::CapsLock,    Key::SysRq};

// A key as the parser can report one: a code point or special key, and modifier bits.
Key key(Reader& in) {
  std::uint8_t const kind = in.byte();
  char32_t value = 0;
  switch (kind % 4) {
    case 0:
      value = static_cast<char32_t>(special_keys[in.byte() % special_keys.size()]);
      break;
    case 1:
      value = 0x20 + in.byte() % 0x5F;
      break;
    case 2:
      value = in.byte() % 0x80;
      break;
    default:
      value = in.word(3) % 0x110000;
      break;
  }
  // The top four bits of the kind byte are the modifiers, now and then.
  return dalk::key(value) | ((kind & 0x0CU) == 0 ? (kind & 0xF0U) << 23U : 0U);
}

// A cell the terminal can report: mostly on or near the screen, now and then anywhere in the
// parser's bounds (-1 to 65534).
dalk::Point cell(Reader& in, dalk::Area screen) {
  std::uint8_t const kind = in.byte();
  if (kind % 8 == 0) {
    return {static_cast<int>(in.word(2) % 65536) - 1, static_cast<int>(in.word(2) % 65536) - 1};
  }
  return {in.byte() % (screen.width + 3) - 1, in.byte() % (screen.height + 3) - 1};
}

dalk::Mouse mouse(Reader& in, dalk::Area screen) {
  static constexpr std::array<dalk::Mouse::Button, 6> buttons{
      dalk::Mouse::Button::Left, dalk::Mouse::Button::Middle,   dalk::Mouse::Button::Right,
      dalk::Mouse::Button::None, dalk::Mouse::Button::ScrollUp, dalk::Mouse::Button::ScrollDown};
  dalk::Mouse m;
  m.at = cell(in, screen);
  std::uint8_t const bits = in.byte();
  m.button = buttons[bits % buttons.size()];
  m.modifiers = {(bits & 0x10U) != 0, (bits & 0x20U) != 0, (bits & 0x40U) != 0};
  return m;
}

dalk::Area area(Reader& in) {
  std::uint8_t const kind = in.byte();
  switch (kind % 8) {
    case 0:
      return {0, 0};
    case 1:
      return {static_cast<int>(in.word(2) % 401), static_cast<int>(in.word(2) % 151)};
    default:
      return {in.byte() % 121, in.byte() % 41};
  }
}

// Valid UTF-8, as the parser delivers every paste.
std::string paste(Reader& in) {
  std::u32string text;
  for (int length = in.byte() % 48; length > 0; --length) {
    std::uint8_t const kind = in.byte();
    char32_t c = kind % 4 == 0 ? in.word(3) % 0x110000 : 0x20 + kind % 0x60;
    if (c >= 0xD800 && c <= 0xDFFF) {
      c = U'\uFFFD';
    }
    text.push_back(kind == 0xFF ? U'\n' : c);
  }
  return dalk::detail::u32_to_u8(text);
}

// The gallery under the harness, and the events the input describes.
void run(Reader& in) {
  int const first_timer = vn::Timer::next_id_;
  gallery_widgets::Gallery gallery;
  vn::testing::Harness harness{gallery, area(in)};
  int const timers = vn::Timer::next_id_ - first_timer + 1;
  // F2 turns the page, as the example binds it.
  harness.dispatcher().bind(Key::F2, [&gallery] {
    if (!gallery.overlay_open()) {
      gallery.next_page();
    }
  });

  for (int events = 0; events < 256 && in.more(); ++events) {
    dalk::Area const screen = harness.size();
    switch (in.byte() % 16) {
      case 0:
      case 1:
        harness.key_press(special_keys[in.byte() % 4]);  // Tab, BackTab, Enter, Escape
        break;
      case 2:
      case 3:
        harness.key_press(key(in));
        break;
      case 4:
        harness.key_release(key(in));
        break;
      case 5:
      case 6:
        harness.mouse_press(mouse(in, screen));
        break;
      case 7:
        harness.mouse_release(mouse(in, screen));
        break;
      case 8:
        harness.mouse_wheel(mouse(in, screen));
        break;
      case 9:
        harness.mouse_move(mouse(in, screen));
        break;
      case 10:
        harness.paste(paste(in));
        break;
      case 11:
        harness.resize(area(in));
        break;
      case 12:
        harness.window_focus(in.byte() % 2 == 0);
        break;
      case 13:
        // The gallery's own timers and ids no timer has.
        harness.tick(first_timer - 1 + static_cast<int>(in.byte()) % (timers + 1));
        break;
      case 14:
        static_cast<void>(harness.run_queued());
        break;
      default:
        if (in.byte() % 2 == 0) {
          static_cast<void>(harness.deliver(dalk::AnswersChanged{}));
        } else {
          harness.paint();
        }
        break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
  Reader in{data, size};
  int const first_timer = vn::Timer::next_id_;
  run(in);
  // A timer's thread is joined only when its id's entry goes, and entries stay for the
  // process's life: the gallery's are dropped, so that threads do not pile up over a long run
  // and each input frees what it allocated (libFuzzer then has no leak to look for).
  for (int id = first_timer; id < vn::Timer::next_id_; ++id) {
    vn::Terminal::timers.erase(id);
  }
  // Ticks queued too late to be delivered.
  while (vn::Terminal::event_queue.pop_for(std::chrono::milliseconds{0})) {
  }
  return 0;
}
