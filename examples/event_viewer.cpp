// Shows what the terminal sends: every decoded event becomes one line with its kind, the key
// value with its name and modifiers, the mouse button, cell and modifiers, or the new size.
// Uses the terminal layer alone. Ctrl+C quits and puts the terminal back as it was.
// With --raw, keys come as scancodes from the Linux console keyboard (presses and releases);
// this needs a console and usually root. Signal keys are off then, so Ctrl+C on the console
// keyboard quits.
#include <cstdio>
#include <cstring>
#include <dalk/dalk.hpp>
#include <exception>
#include <string>
#include <variant>

namespace {

// Keys come from the console's scancodes.
bool raw_keys = false;

std::string hex(char32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(value));
  return buffer;
}

std::string modifier_names(dalk::Key key) {
  std::string names;
  auto add = [&](dalk::Mod mod, char const* name) {
    if (dalk::has_modifier(key, mod)) {
      names += names.empty() ? "" : "+";
      names += name;
    }
  };
  add(dalk::Mod::Shift, "Shift");
  add(dalk::Mod::Ctrl, "Ctrl");
  add(dalk::Mod::Alt, "Alt");
  add(dalk::Mod::Meta, "Meta");
  return names;
}

struct KeyName {
  dalk::Key key;
  char const* name;
};

constexpr KeyName key_names[] = {
    {dalk::Key::Tab, "Tab"},
    {dalk::Key::Enter, "Enter"},
    {dalk::Key::Escape, "Escape"},
    {dalk::Key::Space, "Space"},
    {dalk::Key::Backspace, "Backspace"},
    {dalk::Key::Home, "Home"},
    {dalk::Key::Insert, "Insert"},
    {dalk::Key::Delete, "Delete"},
    {dalk::Key::End, "End"},
    {dalk::Key::PageUp, "PageUp"},
    {dalk::Key::PageDown, "PageDown"},
    {dalk::Key::F1, "F1"},
    {dalk::Key::F2, "F2"},
    {dalk::Key::F3, "F3"},
    {dalk::Key::F4, "F4"},
    {dalk::Key::F5, "F5"},
    {dalk::Key::F6, "F6"},
    {dalk::Key::F7, "F7"},
    {dalk::Key::F8, "F8"},
    {dalk::Key::F9, "F9"},
    {dalk::Key::F10, "F10"},
    {dalk::Key::F11, "F11"},
    {dalk::Key::F12, "F12"},
    {dalk::Key::ArrowDown, "ArrowDown"},
    {dalk::Key::ArrowUp, "ArrowUp"},
    {dalk::Key::ArrowLeft, "ArrowLeft"},
    {dalk::Key::ArrowRight, "ArrowRight"},
    {dalk::Key::BackTab, "BackTab"},
    {dalk::Key::Begin, "Begin"},
    {dalk::Key::LeftControl, "LeftControl"},
    {dalk::Key::RightControl, "RightControl"},
    {dalk::Key::LeftShift, "LeftShift"},
    {dalk::Key::RightShift, "RightShift"},
    {dalk::Key::LeftAlt, "LeftAlt"},
    {dalk::Key::RightAlt, "RightAlt"},
    {dalk::Key::CapsLock, "CapsLock"},
    {dalk::Key::NumLock, "NumLock"},
    {dalk::Key::ScrollLock, "ScrollLock"},
    {dalk::Key::PrintScreen, "PrintScreen"},
    {dalk::Key::SysRq, "SysRq"},
    {dalk::Key::Pause, "Pause"},
    {dalk::Key::Break, "Break"},
    {dalk::Key::ExtendedHome, "ExtendedHome"},
    {dalk::Key::ExtendedArrowUp, "ExtendedArrowUp"},
    {dalk::Key::ExtendedPageUp, "ExtendedPageUp"},
    {dalk::Key::ExtendedEnd, "ExtendedEnd"},
    {dalk::Key::ExtendedArrowDown, "ExtendedArrowDown"},
    {dalk::Key::ExtendedPageDown, "ExtendedPageDown"},
    {dalk::Key::ExtendedInsert, "ExtendedInsert"},
    {dalk::Key::ExtendedDelete, "ExtendedDelete"},
    {dalk::Key::KeypadEnter, "KeypadEnter"},
    {dalk::Key::KeypadMultiply, "KeypadMultiply"},
    {dalk::Key::KeypadMinus, "KeypadMinus"},
    {dalk::Key::KeypadPlus, "KeypadPlus"},
    {dalk::Key::KeypadDecimal, "KeypadDecimal"},
    {dalk::Key::Keypad0, "Keypad0"},
    {dalk::Key::Keypad1, "Keypad1"},
    {dalk::Key::Keypad2, "Keypad2"},
    {dalk::Key::Keypad3, "Keypad3"},
    {dalk::Key::Keypad4, "Keypad4"},
    {dalk::Key::Keypad5, "Keypad5"},
    {dalk::Key::Keypad6, "Keypad6"},
    {dalk::Key::Keypad7, "Keypad7"},
    {dalk::Key::Keypad8, "Keypad8"},
    {dalk::Key::Keypad9, "Keypad9"},
};

std::string key_name(dalk::Key key) {
  for (auto const& entry : key_names) {
    if (entry.key == dalk::strip_modifiers(key)) {
      return entry.name;
    }
  }
  auto const value = static_cast<char32_t>(dalk::strip_modifiers(key));
  if (raw_keys && value == 0) {
    return "scancode without a key";
  }
  if (value < 32) {
    // Control keys arrive as the control characters they type.
    return std::string("Ctrl+") + static_cast<char>('@' + value);
  }
  if (value >= 128 && value < 160) {
    return "special key without a name";
  }
  if (value >= 0x40000 && value < 0x50000) {
    return "console key";
  }
  if (value == 0xFFFD) {
    return "replacement character (malformed input)";
  }
  return "'" + dalk::detail::u32_to_u8(value) + "'";
}

std::string button_name(dalk::Mouse::Button button) {
  switch (button) {
    case dalk::Mouse::Button::Left:
      return "Left";
    case dalk::Mouse::Button::Middle:
      return "Middle";
    case dalk::Mouse::Button::Right:
      return "Right";
    case dalk::Mouse::Button::None:
      return "None";
    case dalk::Mouse::Button::ScrollUp:
      return "ScrollUp";
    case dalk::Mouse::Button::ScrollDown:
      return "ScrollDown";
  }
  return "button " + std::to_string(static_cast<unsigned>(button));
}

std::string pad(std::string text, std::size_t width) {
  if (text.size() < width) {
    text.append(width - text.size(), ' ');
  }
  return text;
}

std::string describe_key(char const* kind, dalk::Key key) {
  std::string line = pad(kind, 13) + hex(static_cast<char32_t>(key)) + "  " + key_name(key);
  std::string const mods = modifier_names(key);
  if (!mods.empty()) {
    line += "  with " + mods;
  }
  return line;
}

std::string describe_mouse(char const* kind, dalk::Mouse const& mouse) {
  std::string line = pad(kind, 13) + pad(button_name(mouse.button), 11) + "at (" +
                     std::to_string(mouse.at.x) + ", " + std::to_string(mouse.at.y) + ")";
  std::string mods;
  auto add = [&](bool held, char const* name) {
    if (held) {
      mods += mods.empty() ? "" : "+";
      mods += name;
    }
  };
  add(mouse.modifiers.shift, "Shift");
  add(mouse.modifiers.ctrl, "Ctrl");
  add(mouse.modifiers.alt, "Alt");
  if (!mods.empty()) {
    line += "  with " + mods;
  }
  return line;
}

std::string describe(dalk::Event const& event) {
  return std::visit(
      lum::Overload{
          [](dalk::MousePress const& e) { return describe_mouse("MousePress", e.mouse); },
          [](dalk::MouseRelease const& e) { return describe_mouse("MouseRelease", e.mouse); },
          [](dalk::MouseWheel const& e) { return describe_mouse("MouseWheel", e.mouse); },
          [](dalk::MouseMove const& e) { return describe_mouse("MouseMove", e.mouse); },
          [](dalk::KeyPress const& e) { return describe_key("KeyPress", e.key); },
          [](dalk::KeyRelease const& e) { return describe_key("KeyRelease", e.key); },
          [](dalk::Resize const& e) {
            return pad("Resize", 13) + std::to_string(e.area.width) + "x" +
                   std::to_string(e.area.height);
          },
          [](dalk::Paste const& e) {
            return pad("Paste", 13) + std::to_string(e.text.size()) + " bytes";
          },
          [](dalk::Focus const& e) { return pad("Focus", 13) + (e.focused ? "gained" : "lost"); },
          [](dalk::AnswersChanged const& e) {
            return pad("Answers", 13) + (e.answers.version.empty() ? "?" : e.answers.version);
          },
      },
      event);
}

// New lines go at the bottom; the alternate screen scrolls older ones away.
void show(std::string const& line) {
  dalk::write("\r\n" + line);
  dalk::flush();
}

// Ctrl+C typed on the console keyboard, seen as scancodes: the keys arrive one by one.
class ConsoleInterrupt {
 public:
  // True once C goes down while a Control key is held.
  bool seen(dalk::Event const& event) {
    if (auto const* press = std::get_if<dalk::KeyPress>(&event)) {
      if (is_control(press->key)) {
        control_held_ = true;
      }
      return control_held_ && press->key == dalk::key(U'c');
    }
    if (auto const* release = std::get_if<dalk::KeyRelease>(&event)) {
      if (is_control(release->key)) {
        control_held_ = false;
      }
    }
    return false;
  }

 private:
  static bool is_control(dalk::Key key) {
    return key == dalk::Key::LeftControl || key == dalk::Key::RightControl;
  }
  bool control_held_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  // --extensions: the recommended protocols (pastes whole, focus, kitty key reports where the
  // terminal has them), so their events can be watched too.
  dalk::Extensions extensions{};
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--raw") == 0) {
      raw_keys = true;
    } else if (std::strcmp(argv[i], "--extensions") == 0) {
      extensions = dalk::recommended_extensions;
    } else {
      std::fprintf(stderr, "Usage: %s [--raw] [--extensions]\n", argv[0]);
      return 2;
    }
  }
  // On the console itself the scancodes share standard input's line discipline, where signal
  // keys would turn some of them into signals (0x1C, Enter going down, into SIGQUIT).
  dalk::initialize_interactive_terminal(
      dalk::MouseMode::Move, raw_keys ? dalk::KeyMode::Raw : dalk::KeyMode::Normal,
      raw_keys ? dalk::Signals::Off : dalk::Signals::On, extensions);
  std::string size;
  try {
    auto const area = dalk::terminal_area();
    size = " (" + std::to_string(area.width) + "x" + std::to_string(area.height) + ")";
  } catch (std::exception const&) {
  }
  dalk::write(dalk::escape(dalk::BlankScreen{}) + dalk::escape(dalk::Point{0, 0}));
  if (raw_keys) {
    dalk::write("Event viewer" + size +
                ", console keys: press and release keys. Ctrl+C on the console keyboard quits.");
  } else {
    dalk::write("Event viewer" + size + ": press keys, click, scroll, resize. Ctrl+C quits.");
  }
  dalk::flush();

  ConsoleInterrupt interrupt;
  // Set when standard input ended or hung up: nothing more will come.
  std::string ended;
  while (dalk::sigint_flag == 0) {
    try {
      // Short waits, so the interrupt flag is seen soon after Ctrl+C.
      if (auto const event = dalk::read(16)) {
        show(describe(*event));
        if (raw_keys && interrupt.seen(*event)) {
          break;
        }
      }
    } catch (dalk::InputEnded const& error) {
      ended = error.what();
      break;
    } catch (std::exception const& error) {
      show(pad("Error", 13) + error.what());
    }
  }
  dalk::uninitialize_terminal();
  if (!ended.empty()) {
    std::fprintf(stderr, "Error: %s\n", ended.c_str());
    return 1;
  }
  return 0;
}
