#include "dalk/terminfo.hpp"

#include <array>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace dalk {
namespace {

std::string get_env(char const* name) {
  char const* value = std::getenv(name);
  return value == nullptr ? std::string{} : std::string{value};
}

// Read once when the library is loaded; later changes to the environment are not seen.
std::string const TERM = get_env("TERM");
std::string const COLORTERM = get_env("COLORTERM");

struct Terminfo {
  std::string_view name;
  std::uint16_t colors;
};

constexpr std::array<Terminfo, 140> terminfo_db{{
    {"xterm-256color", 256},
    {"tmux-256color", 256},
    {"putty-256color", 256},
    {"vte-256color", 256},
    {"konsole-256color", 256},
    {"kitty", 256},
    {"xterm-kitty", 256},
    {"Apple_Terminal", 256},
    {"rxvt-unicode-256color", 256},
    {"rxvt-256color", 256},
    {"xterm-direct2", 256},
    {"xterm-direct", 256},
    {"screen.konsole-256color", 256},
    {"screen-256color", 256},
    {"screen.vte-256color", 256},
    {"stterm-256color", 256},
    {"screen.mlterm-256color", 256},
    {"screen.putty-256color", 256},
    {"screen.xterm-256color", 256},
    {"st-256color", 256},
    {"gnome-256color", 256},
    {"Eterm-256color", 256},
    {"nsterm", 256},
    {"nsterm-256color", 256},
    {"alacritty", 256},
    {"rxvt-unicode", 88},
    {"xterm-88color", 88},
    {"Eterm-88color", 88},
    {"rxvt-88color", 88},
    {"xterm-16color", 16},
    {"st-16color", 16},
    {"stterm-16color", 16},
    {"screen-16color", 16},
    {"rxvt-16color", 16},
    {"tmux", 8},
    {"cygwin", 8},
    {"putty", 8},
    {"linux", 8},
    {"konsole", 8},
    {"teraterm2.3", 8},
    {"teraterm", 8},
    {"xterm-xf86-v40", 8},
    {"xterm-noapp", 8},
    {"xterm-24", 8},
    {"xterm-r5", 8},
    {"xterm-xf86-v33", 8},
    {"xterm-hp", 8},
    {"xterm-x11hilite", 8},
    {"xterm-xf86-v44", 8},
    {"xterm-pcolor", 8},
    {"xterm-xfree86", 8},
    {"xterm-xf86-v333", 8},
    {"xterm-xf86-v43", 8},
    {"xterm-xi", 8},
    {"xterm-sun", 8},
    {"xterm-1005", 8},
    {"xterm-utf8", 8},
    {"xterm-1006", 8},
    {"xterm-x10mouse", 8},
    {"xterm-1002", 8},
    {"xterm-8bit", 8},
    {"xterm-vt220", 8},
    {"xterm", 8},
    {"xterm-bold", 8},
    {"xterm-color", 8},
    {"xterm-r6", 8},
    {"xterms", 8},
    {"xterm-old", 8},
    {"xterm-x11mouse", 8},
    {"xfce", 8},
    {"xterm-new", 8},
    {"xterm-sco", 8},
    {"xterm-mono", 8},
    {"xterm-nic", 8},
    {"xterm-1003", 8},
    {"xterm-vt52", 8},
    {"xterm-basic", 8},
    {"xterm-xf86-v32", 8},
    {"screen.Eterm", 8},
    {"screen.linux", 8},
    {"screen.putty", 8},
    {"screen.xterm-r6", 8},
    {"sun1", 8},
    {"sun2", 8},
    {"screen.vte", 8},
    {"screen.gnome", 8},
    {"screen.xterm-new", 8},
    {"screen.konsole", 8},
    {"st", 8},
    {"screen", 8},
    {"screen.rxvt", 8},
    {"screen.teraterm", 8},
    {"screen.xterm-xfree86", 8},
    {"stterm", 8},
    {"screen.mlterm", 8},
    {"screen.mrxvt", 8},
    {"sun", 8},
    {"mach", 8},
    {"mach-bold", 8},
    {"mlterm", 8},
    {"mach-color", 8},
    {"mach-gnu", 8},
    {"mach-gnu-color", 8},
    {"mrxvt", 8},
    {"gnome", 8},
    {"Eterm-color", 8},
    {"Eterm", 8},
    {"dumb", 8},
    {"rxvt-cygwin", 8},
    {"rxvt-color", 8},
    {"rxvt", 8},
    {"rxvt-basic", 8},
    {"rxvt-xpm", 8},
    {"rxvt-cygwin-native", 8},
    {"nxterm", 8},
    {"aterm", 8},
    {"ansis", 8},
    {"ansi", 8},
    {"ansi80x25", 8},
    {"hurd", 8},
    {"kon2", 8},
    {"kon", 8},
    {"vt100-nav", 8},
    {"vs100", 8},
    {"vt52", 8},
    {"vt200", 8},
    {"vte", 8},
    {"vwmterm", 8},
    {"vt100-am", 8},
    {"vt102", 8},
    {"vt100", 8},
    {"vt220", 8},
    {"jfbterm", 8},
    {"eterm-color", 8},
    {"eterm", 8},
    {"wsvt25m", 8},
    {"wsvt25", 8},
    {"pcansi", 8},
    {"bterm", 8},
    {"cons25", 8},
}};

// A short initializer list would leave empty names that match an unset TERM.
constexpr bool all_named() {
  for (auto const& record : terminfo_db) {
    if (record.name.empty()) {
      return false;
    }
  }
  return true;
}
static_assert(all_named());

Terminfo const& find_terminfo(std::string_view name) {
  for (auto const& record : terminfo_db) {
    if (record.name == name) {
      return record;
    }
  }
  throw std::runtime_error("find_terminfo(): term_name not found.");
}

}  // namespace

std::string_view TERM_var() {
  return TERM;
}

std::uint16_t color_palette_size() {
  // A failed lookup leaves the static uninitialized, so every call fails alike.
  static Terminfo const terminfo = find_terminfo(TERM);
  return terminfo.colors;
}

bool has_true_color() {
  return detail::has_true_color(TERM, COLORTERM);
}

std::uint16_t detail::palette_size_of(std::string_view term) {
  for (auto const& record : terminfo_db) {
    if (record.name == term) {
      return record.colors;
    }
  }
  return 0;
}

bool detail::has_true_color(std::string_view term, std::string_view colorterm) {
  return colorterm == "truecolor" || colorterm == "24bit" || term == "xterm-256color" ||
         term == "st-256color";
}

}  // namespace dalk
