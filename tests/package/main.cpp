// Uses the installed library through its public headers; prints "ok" when the answers are right.
#include <cstdio>
#include <dalk/dalk.hpp>
#include <string>

int main() {
  std::string const move = dalk::escape(dalk::Point{4, 9});
  std::u32string const text = dalk::detail::u8_string_to_u32_string("h\xC3\xA9");
  std::string const back = dalk::detail::u32_to_u8(text);
  bool const right = move == "\x1b[10;5H" && text == U"h\u00E9" && back == "h\xC3\xA9";
  std::puts(right ? "ok" : "wrong answers");
  return right ? 0 : 1;
}
