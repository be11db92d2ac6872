// Reports, in a fresh process, what the library says about its load-time state: the terminal
// capabilities taken from TERM and COLORTERM, or the initial recorded colours and traits.
// Tests run it with an environment of their choosing.
#include <cstdio>
#include <cstdlib>
#include <dalk/dalk.hpp>
#include <exception>
#include <string>
#include <string_view>
#include <variant>

namespace {

void print_palette_size() {
  try {
    std::printf("color_palette_size=%u\n", static_cast<unsigned>(dalk::color_palette_size()));
  } catch (std::exception const& error) {
    std::printf("color_palette_size threw: %s\n", error.what());
  }
}

// With "--setenv", the environment changes before the first question, which must not matter.
int terminfo(bool change_environment) {
  if (change_environment) {
    setenv("TERM", "xterm-256color", 1);
    setenv("COLORTERM", "truecolor", 1);
  }
  std::printf("TERM_var=%s\n", std::string{dalk::TERM_var()}.c_str());
  print_palette_size();
  print_palette_size();
  std::printf("has_true_color=%s\n", dalk::has_true_color() ? "true" : "false");
  return 0;
}

std::string describe(dalk::Color const& color) {
  if (auto const* x = std::get_if<dalk::XColor>(&color)) {
    return "xcolor " + std::to_string(x->value);
  }
  auto const& t = std::get<dalk::TrueColor>(color);
  return "truecolor " + std::to_string(t.red) + "," + std::to_string(t.green) + "," +
         std::to_string(t.blue);
}

int state() {
  std::printf(
      "background=%s\nforeground=%s\ntraits=%u\n", describe(dalk::background_color()).c_str(),
      describe(dalk::foreground_color()).c_str(), static_cast<unsigned>(dalk::traits().value()));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string_view const command = argc > 1 ? argv[1] : "";
  std::string_view const option = argc > 2 ? argv[2] : "";
  if (command == "terminfo") {
    return terminfo(option == "--setenv");
  }
  if (command == "state") {
    return state();
  }
  std::fprintf(stderr, "usage: vennic_probe terminfo [--setenv] | state\n");
  return 2;
}
