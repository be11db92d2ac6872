// A first Vennic application: type a name, press Enter or click Greet, and the label answers.
// Tab moves between the line edit and the buttons; Quit ends it with status 0, Ctrl+C with 1.
#include <exception>
#include <functional>
#include <iostream>
#include <string>
#include <vn/vn.hpp>

int main() {
  // The widgets: the application owns them, and they stay where they are.
  vn::Label greeting{{.text = "Who are you? Type your name."}};
  vn::LineEdit name{
      {.placeholder = "your name, then Enter", .size_policy = vn::SizePolicy::fixed(1)}};
  vn::Button greet{{.label = {.text = "Greet"}}};
  vn::Button quit{{.label = {.text = "Quit"}}};

  // Signals announce what the user did.
  auto say_hello = [&] {
    greeting.text = "Hello, " + (name.text.empty() ? std::string("stranger") : name.text) + "!";
  };
  name.submitted.connect([&](std::string const&) { say_hello(); });
  greet.pressed.connect(say_hello);
  // Ends run() with status 0 after this event, ahead of any still queued.
  quit.pressed.connect([] { vn::quit(0); });

  // Layouts refer to the widgets; the frame holds the whole column.
  auto buttons = vn::make_row(std::ref(greet), std::ref(quit));
  buttons.size_policy = vn::SizePolicy::fixed(1);
  auto column = vn::make_column(std::ref(greeting), std::ref(name), std::ref(buttons));
  vn::Bordered window{vn::Border::round("Tutorial"), std::ref(column)};

  vn::Focus::set(name);
  // The terminal is interactive while the application lives, and restored afterwards. The
  // recommended extensions turn on the terminal protocols an interactive program wants. What
  // run() throws (a widget's exception, or dalk::InputEnded once the terminal's input ends)
  // leaves it after the terminal is restored.
  try {
    return vn::Application{window, vn::Terminal{dalk::recommended_extensions}}.run();
  } catch (std::exception const& error) {
    std::cerr << "Error: " << error.what() << '\n';
    return 1;
  }
}
