// Sets terminal modes on request, for tests that run it on a pseudo-terminal with a chosen
// TERM (the library reads TERM once, when it is loaded, so the variable must be in place
// before the program starts).
//
//   terminal_helper interactive <off|basic|drag|move> [paste|focus|sync|kitty|quiet|all]...
//                                                       initialize with those extensions, wait
//                                                       for SIGUSR1, restore
//   terminal_helper normal                              the same with the normal terminal
//   terminal_helper mouse <off|basic|drag|move>         write one mouse mode and flush
#include <dalk/dalk.hpp>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <optional>
#include <string_view>
#include <thread>

namespace {

volatile std::sig_atomic_t go_on = 0;

void on_usr1(int) {
  go_on = 1;
}

std::optional<dalk::MouseMode> mouse_mode(std::string_view name) {
  if (name == "off") {
    return dalk::MouseMode::Off;
  }
  if (name == "basic") {
    return dalk::MouseMode::Basic;
  }
  if (name == "drag") {
    return dalk::MouseMode::Drag;
  }
  if (name == "move") {
    return dalk::MouseMode::Move;
  }
  return std::nullopt;
}

std::optional<dalk::Extensions> extension(std::string_view name) {
  if (name == "paste") {
    return dalk::Extension::BracketedPaste;
  }
  if (name == "focus") {
    return dalk::Extension::FocusReports;
  }
  if (name == "sync") {
    return dalk::Extension::SynchronizedOutput;
  }
  if (name == "kitty") {
    return dalk::Extension::KittyKeyboard;
  }
  if (name == "quiet") {
    return dalk::Extension::QuietIdle;
  }
  if (name == "all") {
    return dalk::recommended_extensions;
  }
  return std::nullopt;
}

// Holds the initialized terminal until the test says so (bounded), then restores it.
int hold_then_restore() {
  for (int i = 0; i < 4000 && go_on == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  dalk::uninitialize_terminal();
  return go_on == 1 ? 0 : 3;
}

}  // namespace

int main(int argc, char** argv) {
  std::signal(SIGUSR1, on_usr1);
  std::string_view const command = argc > 1 ? argv[1] : "";
  auto const mode = mouse_mode(argc > 2 ? argv[2] : "");
  if (command == "interactive" && mode) {
    dalk::Extensions extensions;
    for (int i = 3; i < argc; ++i) {
      auto const named = extension(argv[i]);
      if (!named) {
        std::fputs("unknown extension\n", stderr);
        return 2;
      }
      extensions |= *named;
    }
    dalk::initialize_interactive_terminal(*mode, dalk::KeyMode::Normal, dalk::Signals::On,
                                          extensions);
    return hold_then_restore();
  }
  if (command == "normal") {
    dalk::initialize_normal_terminal();
    return hold_then_restore();
  }
  if (command == "mouse" && mode) {
    dalk::set(*mode);
    dalk::flush();
    return 0;
  }
  std::fputs("usage: terminal_helper interactive|normal|mouse [off|basic|drag|move]\n", stderr);
  return 2;
}
