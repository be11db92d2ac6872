// Reading the bytes a terminal session wrote: how often a sequence comes, and the mouse
// encoding the session turns on under this process's TERM.
#pragma once

#include <cstddef>
#include <string>

#include <dalk/is_urxvt.hpp>
#include <dalk/terminfo.hpp>

namespace vennic::test {

/// The number of places needle starts at in text.
inline std::size_t occurrences(std::string const& text, std::string const& needle) {
  std::size_t found = 0;
  for (auto at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) {
    ++found;
  }
  return found;
}

/// The mode number of the mouse encoding a session sets: urxvt's under rxvt-unicode, else SGR.
inline std::string mouse_encoding() {
  return dalk::detail::is_urxvt(dalk::TERM_var()) ? "1015" : "1006";
}

}  // namespace vennic::test
