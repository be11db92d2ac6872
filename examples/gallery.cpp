// The library's demonstration: every ready-made widget working together in one application.
// Labels in each alignment, buttons with fading highlights, check boxes that change what the
// other widgets do, a validated line edit, a text box with a linked scroll bar, a data table of a
// hundred rows, panels framed in every border style, every divider style, and an animation
// driven by a timer. A second page behind the text box holds a list, radio buttons, a progress
// bar moved by a function timer, and buttons opening a dialog and a popup menu. It fills any
// terminal size; larger terminals get a wider text box, more table rows and a longer event log.
//
// Tab and Shift+Tab move the focus, as do clicks; the wheel scrolls the text box, its scroll
// bar and the table; a click on a page title or F2 turns the page. Exit status: 0 when the Quit
// button ends it, 1 after Ctrl+C.
#include <cstdio>
#include <exception>
#include <string_view>

#include <dalk/output_profile.hpp>
#include <vn/vn.hpp>

#include "gallery.hpp"

using gallery_widgets::Gallery;

int main(int argc, char** argv) {
  Gallery gallery;
  // --fit-terminal: frames in the compact encoding, colours as TERM, COLORTERM and NO_COLOR say
  // the terminal can show them.
  bool const fit = argc > 1 && std::string_view{argv[1]} == "--fit-terminal";
  dalk::Extensions const output = fit ? dalk::output_extensions() : dalk::Extensions{};
  // The application owns the terminal and restores it when it goes away, as main returns: 0
  // after Quit, 1 after Ctrl+C or a failure (no terminal, or its input ended). The recommended
  // extensions bring pastes in whole, window focus changes and flicker-free frames where the
  // terminal has them.
  try {
    vn::Application application{
        gallery, vn::Terminal{dalk::MouseMode::Move, dalk::KeyMode::Normal, dalk::Signals::On,
                              dalk::recommended_extensions | output}};
    // F2 turns the page wherever the focus is, while no dialog or menu is open.
    application.bind(dalk::Key::F2, [&gallery] {
      if (!gallery.overlay_open()) {
        gallery.next_page();
      }
    });
    return application.run();
  } catch (std::exception const& error) {
    std::fprintf(stderr, "Error: %s\n", error.what());
    return 1;
  }
}
